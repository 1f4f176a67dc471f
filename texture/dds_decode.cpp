#include "texture/dds_decode.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/bounds.h"
#include "texture/bc7_decode.h"
#include "texture/block_decode.h"
#include "texture/texture_error.h"

namespace {

// One channel of an uncompressed pixel: where it lies and how to widen it to 8 bits.
struct ChannelReader {
    explicit ChannelReader(uint32_t mask)
        : shift(mask == 0 ? 0 : std::countr_zero(mask)), maximum(mask == 0 ? 0 : mask >> shift) {}

    // The channel's value in 0…255 (rounded), or `absent` when the pixel has no such channel.
    uint8_t Read(uint32_t pixel, uint8_t absent) const {
        if (maximum == 0) {
            return absent;
        }
        const uint64_t value = (pixel >> shift) & maximum;
        return uint8_t((value * 255 + maximum / 2) / maximum);
    }

    int shift;
    uint32_t maximum;
};

// Rows firstRow to endRow (exclusive) of an uncompressed surface.
void DecodeMasked(const DdsInfo& info, const uint8_t* surface, uint32_t width, uint32_t firstRow,
                  uint32_t endRow, uint8_t* rgba) {
    const ChannelReader red(info.masks.red);
    const ChannelReader green(info.masks.green);
    const ChannelReader blue(info.masks.blue);
    const ChannelReader alpha(info.masks.alpha);
    const uint32_t pixelBytes = info.bitsPerPixel / 8;
    const size_t rowBytes = (size_t{width} * info.bitsPerPixel + 7) / 8;
    for (uint32_t y = firstRow; y < endRow; ++y) {
        const uint8_t* row = surface + y * rowBytes;
        uint8_t* out = rgba + size_t{y} * width * 4;
        for (uint32_t x = 0; x < width; ++x, out += 4) {
            uint32_t pixel = 0;
            for (uint32_t byte = 0; byte < pixelBytes; ++byte) {
                pixel |= uint32_t{row[x * pixelBytes + byte]} << (8 * byte);
            }
            out[0] = red.Read(pixel, 0);
            if (info.masks.luminance) {
                out[1] = out[2] = out[0];
            } else {
                out[1] = green.Read(pixel, 0);
                out[2] = blue.Read(pixel, 0);
            }
            out[3] = alpha.Read(pixel, 255);
        }
    }
}

void DecodeBlock(TextureFormat format, const uint8_t* block, uint8_t* pixels) {
    switch (format) {
    case TextureFormat::kBc1:
        DecodeBc1Block(block, pixels);
        break;
    case TextureFormat::kBc2:
        DecodeBc2Block(block, pixels);
        break;
    case TextureFormat::kBc3:
        DecodeBc3Block(block, pixels);
        break;
    case TextureFormat::kBc4Unsigned:
    case TextureFormat::kBc4Signed:
        DecodeBc4Block(block, pixels, format == TextureFormat::kBc4Signed);
        break;
    case TextureFormat::kBc5Unsigned:
    case TextureFormat::kBc5Signed:
        DecodeBc5Block(block, pixels, format == TextureFormat::kBc5Signed);
        break;
    case TextureFormat::kBc7:
        DecodeBc7Block(block, pixels);
        break;
    default:
        break;
    }
}

// Decodes the rows of blocks firstBlockRow to endBlockRow (exclusive) with one block decoder, chosen once.
template <typename BlockDecoder>
void DecodeBlockRows(const uint8_t* blocks, uint32_t blockBytes, uint32_t width, uint32_t height,
                     uint32_t firstBlockRow, uint32_t endBlockRow, uint8_t* rgba, BlockDecoder decode) {
    const uint32_t blocksWide = (width + 3) / 4;
    const size_t rowStride = size_t{width} * 4;
    blocks += size_t{firstBlockRow} * blocksWide * blockBytes;
    uint8_t pixels[64];
    for (uint32_t blockY = firstBlockRow; blockY < endBlockRow; ++blockY) {
        const uint32_t rows = std::min<uint32_t>(4, height - 4 * blockY);
        for (uint32_t blockX = 0; blockX < blocksWide; ++blockX) {
            decode(blocks, pixels);
            blocks += blockBytes;
            const uint32_t columns = std::min<uint32_t>(4, width - 4 * blockX);
            uint8_t* out = rgba + size_t{4 * blockY} * rowStride + size_t{4 * blockX} * 4;
            if (rows == 4 && columns == 4) {
                // The common case, with copies of a size known here.
                for (uint32_t row = 0; row < 4; ++row) {
                    std::memcpy(out + row * rowStride, pixels + 16 * row, 16);
                }
                continue;
            }
            for (uint32_t row = 0; row < rows; ++row) {
                std::memcpy(out + row * rowStride, pixels + 16 * row, 4 * columns);
            }
        }
    }
}

// Rows of blocks firstBlockRow to endBlockRow (exclusive) of a block-compressed surface.
void DecodeBlockBand(TextureFormat format, const uint8_t* blocks, uint32_t width, uint32_t height,
                     uint32_t firstBlockRow, uint32_t endBlockRow, uint8_t* rgba) {
    const uint32_t blockBytes = BlockBytes(format);
    switch (format) {
    case TextureFormat::kBc1:
        DecodeBlockRows(blocks, blockBytes, width, height, firstBlockRow, endBlockRow, rgba,
                        [](const uint8_t* block, uint8_t* pixels) { DecodeBc1Block(block, pixels); });
        break;
    case TextureFormat::kBc3:
        DecodeBlockRows(blocks, blockBytes, width, height, firstBlockRow, endBlockRow, rgba, DecodeBc3Block);
        break;
    case TextureFormat::kBc7:
        DecodeBlockRows(blocks, blockBytes, width, height, firstBlockRow, endBlockRow, rgba, DecodeBc7Block);
        break;
    default:
        DecodeBlockRows(
            blocks, blockBytes, width, height, firstBlockRow, endBlockRow, rgba,
            [format](const uint8_t* block, uint8_t* pixels) { DecodeBlock(format, block, pixels); });
        break;
    }
}

// Below this many pixels a surface is decoded on the calling thread alone: starting a thread would cost
// more than it saves.
constexpr size_t kPixelsWorthAThread = 256 * 1024;

// How many rows a band decodes between two looks at the cancel flag: a few milliseconds of work at most.
constexpr uint32_t kRowsBetweenCancelChecks = 16;

// Runs decodeBand(first, end) over bands of [0, rows) on up to `threads` threads, the calling one among
// them. A thread that cannot be started leaves its band to the calling thread. With a cancel flag, each band
// goes in steps and stops at the first step after the flag was raised.
template <typename DecodeBand>
void DecodeInBands(uint32_t rows, unsigned threads, const std::atomic<bool>* cancelled,
                   DecodeBand decodeRows) {
    auto decodeBand = [&decodeRows, cancelled](uint32_t first, uint32_t end) {
        if (cancelled == nullptr) {
            decodeRows(first, end);
            return;
        }
        for (uint32_t step = first; step < end && !cancelled->load(std::memory_order_relaxed);) {
            const uint32_t stepEnd =
                end - step > kRowsBetweenCancelChecks ? step + kRowsBetweenCancelChecks : end;
            decodeRows(step, stepEnd);
            step = stepEnd;
        }
    };
    threads = std::clamp<unsigned>(threads, 1, std::max<uint32_t>(rows, 1));
    std::vector<std::thread> helpers;
    uint32_t first = 0;
    for (unsigned band = 1; band < threads; ++band) {
        const uint32_t end = uint32_t(uint64_t{rows} * band / threads);
        try {
            helpers.emplace_back(decodeBand, first, end);
        } catch (const std::system_error&) {
            break; // this band and the rest are decoded below
        }
        first = end;
    }
    decodeBand(first, rows);
    for (std::thread& helper : helpers) {
        helper.join();
    }
}

} // namespace

void DecodeBlocks(TextureFormat format, const uint8_t* blocks, uint32_t width, uint32_t height,
                  uint8_t* rgba) {
    DecodeBlockBand(format, blocks, width, height, 0, (height + 3) / 4, rgba);
}

RgbaImage DecodeDdsSurface(const DdsInfo& info, std::span<const uint8_t> file, uint32_t layer, uint32_t mip,
                           unsigned threads, const std::atomic<bool>* cancelled) {
    if (layer >= info.layerCount || mip >= info.mipCount) {
        const auto count = [](uint32_t n, const char* one, const char* many) {
            return std::to_string(n) + " " + (n == 1 ? one : many);
        };
        throw ETextureError(
            "the texture has no " + std::string(info.cubeMap ? "face " : "layer ") + std::to_string(layer) +
            ", mip level " + std::to_string(mip) + " (it has " +
            count(info.layerCount, info.cubeMap ? "face" : "layer", info.cubeMap ? "faces" : "layers") +
            " and " + count(info.mipCount, "mip level", "mip levels") + ")");
    }
    if (!CanDecode(info.format)) {
        throw ETextureError(info.formatName + " textures are not shown");
    }
    // ReadDdsHeader has checked that every surface lies inside the file it read; this guards against a
    // header paired with another file.
    const size_t offset = SurfaceOffset(info, layer, mip);
    if (!FitsIn(offset, MipBytes(info, mip), file.size())) {
        throw ETextureError("the texture's data does not match its header");
    }
    const uint8_t* surface = file.data() + offset;
    RgbaImage image;
    image.width = MipWidth(info, mip);
    image.height = MipHeight(info, mip);
    image.pixels.resize(size_t{image.width} * image.height * 4);
    if (size_t{image.width} * image.height < kPixelsWorthAThread) {
        threads = 1;
    }
    uint8_t* rgba = image.pixels.data();
    if (IsBlockCompressed(info.format)) {
        DecodeInBands((image.height + 3) / 4, threads, cancelled, [&](uint32_t first, uint32_t end) {
            DecodeBlockBand(info.format, surface, image.width, image.height, first, end, rgba);
        });
    } else {
        DecodeInBands(image.height, threads, cancelled, [&](uint32_t first, uint32_t end) {
            DecodeMasked(info, surface, image.width, first, end, rgba);
        });
    }
    return image;
}

RgbaImage DecodeDdsSurface(std::span<const uint8_t> file, uint32_t layer, uint32_t mip) {
    const DdsInfo info = ReadDdsHeader(file);
    return DecodeDdsSurface(info, file, layer, mip, 1);
}
