// TGA layout: an 18-byte header, the image ID (as many bytes as the header's first says), the colour map,
// then the pixels, each stored as the header's pixel size says: raw, or in run-length packets (a count byte
// whose top bit marks a run of one pixel repeated, else that many raw pixels, 1 to 128 either way). Rows
// go bottom first unless the descriptor says top first; true colour is stored blue, green, red (, alpha).
#include "texture/tga_decode.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "texture/texture_error.h"

namespace {

constexpr size_t kHeaderBytes = 18;

// Offsets in the header.
constexpr size_t kIdLengthAt = 0;
constexpr size_t kColourMapTypeAt = 1;
constexpr size_t kImageTypeAt = 2;
constexpr size_t kMapFirstEntryAt = 3;
constexpr size_t kMapLengthAt = 5;
constexpr size_t kMapEntryBitsAt = 7;
constexpr size_t kWidthAt = 12;
constexpr size_t kHeightAt = 14;
constexpr size_t kPixelBitsAt = 16;
constexpr size_t kDescriptorAt = 17;

// Image types; the run-length ones are the raw ones + 8.
constexpr uint8_t kColourMapped = 1;
constexpr uint8_t kTrueColour = 2;
constexpr uint8_t kGrey = 3;
constexpr uint8_t kRunLength = 8;

// Descriptor bits.
constexpr uint8_t kRightToLeft = 0x10;
constexpr uint8_t kTopToBottom = 0x20;

// Run-length packets: the top bit of the count byte marks a run; the others hold the count less one.
constexpr uint8_t kRunPacket = 0x80;

using Rgba = std::array<uint8_t, 4>;

uint16_t ReadU16(std::span<const uint8_t> file, size_t at) {
    return LoadLE16(file.data() + at);
}

[[noreturn]] void NotShown(const std::string& what) {
    throw ETextureError("not a TGA image this program shows: " + what);
}

[[noreturn]] void Damaged(const std::string& what) {
    throw ETextureError("damaged TGA file: " + what);
}

// One stored pixel of `bytes` bytes as RGBA (true colour: blue, green, red, alpha; grey: one level).
Rgba TrueColourOrGrey(const uint8_t* stored, uint32_t bytes) {
    switch (bytes) {
    case 1:
        return {stored[0], stored[0], stored[0], 255};
    case 3:
        return {stored[2], stored[1], stored[0], 255};
    default:
        return {stored[2], stored[1], stored[0], stored[3]};
    }
}

// What the header says, checked against itself and the size of the file.
struct TgaLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t type = 0; // without the run-length bit
    bool runLength = false;
    uint32_t pixelBytes = 0;
    uint8_t descriptor = 0;
    size_t pixelsAt = 0;         // where the pixels start
    std::vector<Rgba> colourMap; // colour-mapped pictures only
    uint16_t firstEntry = 0;     // the index of the map's first entry
};

TgaLayout ReadLayout(std::span<const uint8_t> file) {
    if (file.size() < kHeaderBytes) {
        Damaged(std::to_string(file.size()) + " bytes cannot hold its 18-byte header");
    }
    TgaLayout layout;
    const uint8_t imageType = file[kImageTypeAt];
    layout.type = imageType & ~kRunLength;
    layout.runLength = (imageType & kRunLength) != 0;
    if ((imageType & ~(kRunLength | 3)) != 0 || layout.type == 0) {
        NotShown("image type " + std::to_string(imageType) + " (it shows types 1, 2, 3, 9, 10 and 11)");
    }
    const uint8_t mapType = file[kColourMapTypeAt];
    if (mapType > 1) {
        Damaged("colour map type " + std::to_string(mapType) + " (expected 0 or 1)");
    }
    const uint32_t pixelBits = file[kPixelBitsAt];
    layout.pixelBytes = pixelBits / 8;
    const std::string bitsName = std::to_string(pixelBits) + "-bit ";
    if (layout.type == kTrueColour && pixelBits != 24 && pixelBits != 32) {
        NotShown(bitsName + "true colour (it shows 24 and 32 bits)");
    }
    if (layout.type == kGrey && pixelBits != 8) {
        NotShown(bitsName + "grey (it shows 8 bits)");
    }
    const uint32_t mapEntryBits = file[kMapEntryBitsAt];
    const uint32_t mapLength = ReadU16(file, kMapLengthAt);
    if (layout.type == kColourMapped) {
        if (pixelBits != 8) {
            NotShown(bitsName + "colour indexes (it shows 8 bits)");
        }
        if (mapType == 0 || mapLength == 0) {
            Damaged("a colour-mapped picture without a colour map");
        }
        if (mapEntryBits != 24 && mapEntryBits != 32) {
            NotShown(std::to_string(mapEntryBits) + "-bit colour map entries (it shows 24 and 32 bits)");
        }
    }
    layout.width = ReadU16(file, kWidthAt);
    layout.height = ReadU16(file, kHeightAt);
    if (layout.width == 0 || layout.height == 0) {
        Damaged("no pixels (width " + std::to_string(layout.width) + ", height " +
                std::to_string(layout.height) + ")");
    }
    layout.descriptor = file[kDescriptorAt];

    // The image ID and the colour map (skipped unless the pixels are indexes into it).
    const size_t mapAt = kHeaderBytes + file[kIdLengthAt];
    const size_t mapBytes = mapType == 1 ? size_t{mapLength} * ((mapEntryBits + 7) / 8) : 0;
    layout.pixelsAt = mapAt + mapBytes;
    if (layout.pixelsAt > file.size()) {
        Damaged("its header, image ID and colour map need " + std::to_string(layout.pixelsAt) + " bytes, " +
                std::to_string(file.size()) + " are present");
    }
    if (layout.type == kColourMapped) {
        const uint32_t entryBytes = mapEntryBits / 8;
        layout.firstEntry = ReadU16(file, kMapFirstEntryAt);
        layout.colourMap.reserve(mapLength);
        for (uint32_t entry = 0; entry < mapLength; ++entry) {
            layout.colourMap.push_back(
                TrueColourOrGrey(file.data() + mapAt + size_t{entry} * entryBytes, entryBytes));
        }
    }
    return layout;
}

// The pixels as stored, in file order: raw ones in place, run-length ones expanded into `expanded`, which
// is sized only once the packets are known to cover the picture.
std::span<const uint8_t> StoredPixels(std::span<const uint8_t> file, const TgaLayout& layout,
                                      std::vector<uint8_t>& expanded) {
    const uint64_t pixels = uint64_t{layout.width} * layout.height;
    const std::span<const uint8_t> data = file.subspan(layout.pixelsAt);
    const uint32_t size = layout.pixelBytes;
    if (!layout.runLength) {
        if (pixels * size > data.size()) {
            Damaged("its pixels need " + std::to_string(pixels * size) + " bytes after the colour map, " +
                    std::to_string(data.size()) + " are present");
        }
        return data.first(size_t(pixels * size));
    }
    // First the packets are walked without writing, so that nothing is allocated for pixels they lack.
    uint64_t covered = 0;
    size_t at = 0;
    while (covered < pixels && at < data.size()) {
        const uint8_t head = data[at];
        const uint32_t count = (head & ~kRunPacket) + 1u;
        const size_t stored = size_t{head & kRunPacket ? 1u : count} * size;
        if (data.size() - at - 1 < stored) {
            break;
        }
        at += 1 + stored;
        covered += count;
    }
    if (covered < pixels) {
        Damaged("its run-length packets end after " + std::to_string(covered) + " of its " +
                std::to_string(pixels) + " pixels");
    }
    expanded.resize(size_t(pixels * size));
    uint8_t* out = expanded.data();
    const uint8_t* const end = out + expanded.size();
    at = 0;
    while (out < end) {
        const uint8_t head = data[at++];
        const uint32_t count = (head & ~kRunPacket) + 1u;
        // A packet may run past the last pixel: what lies beyond it is dropped.
        const size_t wanted = std::min<size_t>(size_t{count} * size, size_t(end - out));
        if (head & kRunPacket) {
            for (size_t filled = 0; filled < wanted; filled += size) {
                std::copy_n(&data[at], size, out + filled);
            }
            at += size;
        } else {
            std::copy_n(&data[at], wanted, out);
            at += size_t{count} * size;
        }
        out += wanted;
    }
    return expanded;
}

} // namespace

RgbaImage DecodeTga(std::span<const uint8_t> file) {
    const TgaLayout layout = ReadLayout(file);
    std::vector<uint8_t> expanded;
    const std::span<const uint8_t> stored = StoredPixels(file, layout, expanded);

    RgbaImage image;
    image.width = layout.width;
    image.height = layout.height;
    image.pixels.resize(size_t{layout.width} * layout.height * 4);
    const bool topFirst = (layout.descriptor & kTopToBottom) != 0;
    const bool rightFirst = (layout.descriptor & kRightToLeft) != 0;
    const uint32_t size = layout.pixelBytes;
    bool anyAlpha = false;
    for (uint32_t row = 0; row < layout.height; ++row) {
        const uint32_t y = topFirst ? row : layout.height - 1 - row;
        for (uint32_t column = 0; column < layout.width; ++column) {
            const uint32_t x = rightFirst ? layout.width - 1 - column : column;
            const uint8_t* pixel = stored.data() + (size_t{row} * layout.width + column) * size;
            Rgba rgba;
            if (layout.type == kColourMapped) {
                const uint32_t index = pixel[0];
                if (index < layout.firstEntry || index - layout.firstEntry >= layout.colourMap.size()) {
                    Damaged("colour index " + std::to_string(index) + " is outside its colour map of " +
                            std::to_string(layout.colourMap.size()) + " entries from " +
                            std::to_string(layout.firstEntry));
                }
                rgba = layout.colourMap[index - layout.firstEntry];
            } else {
                rgba = TrueColourOrGrey(pixel, size);
            }
            anyAlpha = anyAlpha || rgba[3] != 0;
            std::copy(rgba.begin(), rgba.end(), image.pixels.data() + (size_t{y} * layout.width + x) * 4);
        }
    }
    if (!anyAlpha) {
        for (size_t alpha = 3; alpha < image.pixels.size(); alpha += 4) {
            image.pixels[alpha] = 255;
        }
    }
    return image;
}
