// DDS header layout: the 4-byte magic "DDS ", a 124-byte header with a 32-byte pixel format inside it, then,
// when the pixel format's FourCC is "DX10", a 20-byte extension. The surfaces follow: layer by layer, each
// with all of its mip levels, the full-size level first.
#include "texture/dds_header.h"

#include <algorithm>
#include <bit>

#include "base/bounds.h"
#include "base/little_endian.h"
#include "texture/texture_error.h"

namespace {

constexpr size_t kMagicBytes = 4;
constexpr size_t kHeaderBytes = 124;
constexpr size_t kDx10HeaderBytes = 20;
constexpr uint32_t kPixelFormatBytes = 32;

// Offsets from the start of the file.
constexpr size_t kHeaderSizeAt = 4;
constexpr size_t kHeightAt = 12;
constexpr size_t kWidthAt = 16;
constexpr size_t kDepthAt = 24;
constexpr size_t kMipCountAt = 28;
constexpr size_t kPixelFormatSizeAt = 76;
constexpr size_t kPixelFormatFlagsAt = 80;
constexpr size_t kFourCcAt = 84;
constexpr size_t kBitCountAt = 88;
constexpr size_t kRedMaskAt = 92;
constexpr size_t kGreenMaskAt = 96;
constexpr size_t kBlueMaskAt = 100;
constexpr size_t kAlphaMaskAt = 104;
constexpr size_t kCaps2At = 112;
constexpr size_t kDxgiFormatAt = 128;
constexpr size_t kResourceDimensionAt = 132;
constexpr size_t kMiscFlagAt = 136;
constexpr size_t kArraySizeAt = 140;

// Pixel format flags.
constexpr uint32_t kPfAlphaPixels = 0x1;
constexpr uint32_t kPfAlpha = 0x2;
constexpr uint32_t kPfFourCc = 0x4;
constexpr uint32_t kPfRgb = 0x40;
constexpr uint32_t kPfLuminance = 0x20000;

// Caps2 flags.
constexpr uint32_t kCaps2CubeMap = 0x200;
constexpr uint32_t kCaps2CubeFaces = 0xFC00; // +X, -X, +Y, -Y, +Z, -Z
constexpr uint32_t kCaps2Volume = 0x200000;

// The DX10 extension.
constexpr uint32_t kDimensionTexture1D = 2;
constexpr uint32_t kDimensionTexture2D = 3;
constexpr uint32_t kDimensionTexture3D = 4;
constexpr uint32_t kMiscTextureCube = 0x4;

uint32_t ReadU32(std::span<const uint8_t> file, size_t at) {
    return LoadLE32(file.data() + at);
}

struct BlockFormatName {
    uint32_t fourCc;
    TextureFormat format;
    const char* name;
};

// The FourCCs of the classic header.
constexpr BlockFormatName kFourCcFormats[] = {
    {FourCc("DXT1"), TextureFormat::kBc1, "BC1 (DXT1)"},
    {FourCc("DXT2"), TextureFormat::kBc2, "BC2 (DXT2)"},
    {FourCc("DXT3"), TextureFormat::kBc2, "BC2 (DXT3)"},
    {FourCc("DXT4"), TextureFormat::kBc3, "BC3 (DXT4)"},
    {FourCc("DXT5"), TextureFormat::kBc3, "BC3 (DXT5)"},
    {FourCc("ATI1"), TextureFormat::kBc4Unsigned, "BC4 (ATI1)"},
    {FourCc("BC4U"), TextureFormat::kBc4Unsigned, "BC4"},
    {FourCc("BC4S"), TextureFormat::kBc4Signed, "BC4 signed"},
    {FourCc("ATI2"), TextureFormat::kBc5Unsigned, "BC5 (ATI2)"},
    {FourCc("BC5U"), TextureFormat::kBc5Unsigned, "BC5"},
    {FourCc("BC5S"), TextureFormat::kBc5Signed, "BC5 signed"},
};

struct DxgiFormat {
    uint32_t code;
    TextureFormat format;
    const char* name;
    bool srgb;
    uint32_t bitsPerPixel; // uncompressed formats
    ChannelMasks masks;    // uncompressed formats
};

// The DXGI formats of the DX10 extension that this program shows (and BC6H, which it describes).
constexpr DxgiFormat kDxgiFormats[] = {
    {70, TextureFormat::kBc1, "BC1", false, 0, {}},
    {71, TextureFormat::kBc1, "BC1", false, 0, {}},
    {72, TextureFormat::kBc1, "BC1 sRGB", true, 0, {}},
    {73, TextureFormat::kBc2, "BC2", false, 0, {}},
    {74, TextureFormat::kBc2, "BC2", false, 0, {}},
    {75, TextureFormat::kBc2, "BC2 sRGB", true, 0, {}},
    {76, TextureFormat::kBc3, "BC3", false, 0, {}},
    {77, TextureFormat::kBc3, "BC3", false, 0, {}},
    {78, TextureFormat::kBc3, "BC3 sRGB", true, 0, {}},
    {79, TextureFormat::kBc4Unsigned, "BC4", false, 0, {}},
    {80, TextureFormat::kBc4Unsigned, "BC4", false, 0, {}},
    {81, TextureFormat::kBc4Signed, "BC4 signed", false, 0, {}},
    {82, TextureFormat::kBc5Unsigned, "BC5", false, 0, {}},
    {83, TextureFormat::kBc5Unsigned, "BC5", false, 0, {}},
    {84, TextureFormat::kBc5Signed, "BC5 signed", false, 0, {}},
    {94, TextureFormat::kBc6hUnsigned, "BC6H", false, 0, {}},
    {95, TextureFormat::kBc6hUnsigned, "BC6H", false, 0, {}},
    {96, TextureFormat::kBc6hSigned, "BC6H signed", false, 0, {}},
    {97, TextureFormat::kBc7, "BC7", false, 0, {}},
    {98, TextureFormat::kBc7, "BC7", false, 0, {}},
    {99, TextureFormat::kBc7, "BC7 sRGB", true, 0, {}},
    {27, TextureFormat::kMasked, "R8G8B8A8", false, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000, false}},
    {28, TextureFormat::kMasked, "R8G8B8A8", false, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000, false}},
    {29, TextureFormat::kMasked, "R8G8B8A8 sRGB", true, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000, false}},
    {87, TextureFormat::kMasked, "B8G8R8A8", false, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000, false}},
    {90, TextureFormat::kMasked, "B8G8R8A8", false, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000, false}},
    {91, TextureFormat::kMasked, "B8G8R8A8 sRGB", true, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000, false}},
    {88, TextureFormat::kMasked, "B8G8R8X8", false, 32, {0xFF0000, 0xFF00, 0xFF, 0, false}},
    {92, TextureFormat::kMasked, "B8G8R8X8", false, 32, {0xFF0000, 0xFF00, 0xFF, 0, false}},
    {93, TextureFormat::kMasked, "B8G8R8X8 sRGB", true, 32, {0xFF0000, 0xFF00, 0xFF, 0, false}},
    {85, TextureFormat::kMasked, "B5G6R5", false, 16, {0xF800, 0x7E0, 0x1F, 0, false}},
    {86, TextureFormat::kMasked, "B5G5R5A1", false, 16, {0x7C00, 0x3E0, 0x1F, 0x8000, false}},
    {115, TextureFormat::kMasked, "B4G4R4A4", false, 16, {0xF00, 0xF0, 0xF, 0xF000, false}},
    {49, TextureFormat::kMasked, "R8G8", false, 16, {0xFF, 0xFF00, 0, 0, false}},
    {61, TextureFormat::kMasked, "R8", false, 8, {0xFF, 0, 0, 0, true}},
    {65, TextureFormat::kMasked, "A8", false, 8, {0, 0, 0, 0xFF, false}},
};

std::string Num(uint64_t value) {
    return std::to_string(value);
}

[[noreturn]] void Refuse(const std::string& reason) {
    throw ETextureError("not a texture this program can show: " + reason);
}

bool IsContiguous(uint32_t mask) {
    return mask == 0 || std::has_single_bit((mask >> std::countr_zero(mask)) + 1ull);
}

// The name of an uncompressed format from its masks, lowest bits first as DXGI names them: "B8G8R8A8",
// "B5G6R5", "L8A8", unused bits as X ("B8G8R8X8").
std::string MaskedFormatName(uint32_t bitsPerPixel, const ChannelMasks& masks) {
    struct Channel {
        char letter;
        uint32_t mask;
    };
    Channel channels[] = {
        {masks.luminance ? 'L' : 'R', masks.red}, {'G', masks.green}, {'B', masks.blue}, {'A', masks.alpha}};
    std::string name;
    uint32_t bit = 0;
    while (bit < bitsPerPixel) {
        const Channel* found = nullptr;
        for (const Channel& channel : channels) {
            if (channel.mask != 0 && uint32_t(std::countr_zero(channel.mask)) == bit) {
                found = &channel;
            }
        }
        if (found != nullptr) {
            const uint32_t width = uint32_t(std::popcount(found->mask));
            name += found->letter;
            name += Num(width);
            bit += width;
            continue;
        }
        // Unused bits up to the next channel or the end of the pixel.
        uint32_t next = bitsPerPixel;
        for (const Channel& channel : channels) {
            const uint32_t start = channel.mask == 0 ? 32 : uint32_t(std::countr_zero(channel.mask));
            if (start > bit && start < next) {
                next = start;
            }
        }
        name += 'X';
        name += Num(next - bit);
        bit = next;
    }
    return name;
}

// The uncompressed pixel formats of the classic header, described by their masks.
void ReadMaskedFormat(std::span<const uint8_t> file, uint32_t flags, DdsInfo& info) {
    info.format = TextureFormat::kMasked;
    info.bitsPerPixel = ReadU32(file, kBitCountAt);
    if (info.bitsPerPixel != 8 && info.bitsPerPixel != 16 && info.bitsPerPixel != 24 &&
        info.bitsPerPixel != 32) {
        Refuse("uncompressed pixels of " + Num(info.bitsPerPixel) + " bits (8, 16, 24 or 32 expected)");
    }
    ChannelMasks& masks = info.masks;
    if ((flags & (kPfRgb | kPfLuminance)) != 0) {
        masks.red = ReadU32(file, kRedMaskAt);
    }
    if ((flags & kPfRgb) != 0) {
        masks.green = ReadU32(file, kGreenMaskAt);
        masks.blue = ReadU32(file, kBlueMaskAt);
    }
    masks.luminance = (flags & kPfRgb) == 0 && (flags & kPfLuminance) != 0;
    if ((flags & (kPfAlphaPixels | kPfAlpha)) != 0) {
        masks.alpha = ReadU32(file, kAlphaMaskAt);
    }
    const uint64_t pixelMask = (uint64_t{1} << info.bitsPerPixel) - 1;
    uint32_t taken = 0;
    for (uint32_t mask : {masks.red, masks.green, masks.blue, masks.alpha}) {
        if (mask > pixelMask || !IsContiguous(mask) || (mask & taken) != 0) {
            Refuse("channel masks that do not fit a " + Num(info.bitsPerPixel) + "-bit pixel");
        }
        taken |= mask;
    }
    if (taken == 0) {
        Refuse("an uncompressed pixel format without channels");
    }
    info.formatName = MaskedFormatName(info.bitsPerPixel, masks);
}

void ReadDx10Format(std::span<const uint8_t> file, DdsInfo& info) {
    const uint32_t code = ReadU32(file, kDxgiFormatAt);
    for (const DxgiFormat& known : kDxgiFormats) {
        if (known.code == code) {
            info.format = known.format;
            info.formatName = known.name;
            info.srgb = known.srgb;
            info.bitsPerPixel = known.bitsPerPixel;
            info.masks = known.masks;
            return;
        }
    }
    Refuse("DXGI format " + Num(code));
}

void ReadFourCcFormat(uint32_t fourCc, DdsInfo& info) {
    for (const BlockFormatName& known : kFourCcFormats) {
        if (known.fourCc == fourCc) {
            info.format = known.format;
            info.formatName = known.name;
            return;
        }
    }
    std::string shown;
    for (int i = 0; i < 4; ++i) {
        const char c = char(fourCc >> (8 * i));
        shown += c >= 0x20 && c < 0x7F ? c : '?';
    }
    Refuse("FourCC \"" + shown + "\" (" + Num(fourCc) + ")");
}

} // namespace

bool IsBlockCompressed(TextureFormat format) {
    return format != TextureFormat::kMasked;
}

uint32_t BlockBytes(TextureFormat format) {
    switch (format) {
    case TextureFormat::kBc1:
    case TextureFormat::kBc4Unsigned:
    case TextureFormat::kBc4Signed:
        return 8;
    case TextureFormat::kMasked:
        return 0;
    default:
        return 16;
    }
}

bool CanDecode(TextureFormat format) {
    return format != TextureFormat::kBc6hUnsigned && format != TextureFormat::kBc6hSigned;
}

uint32_t MipWidth(const DdsInfo& info, uint32_t mip) {
    return std::max<uint32_t>(1, info.width >> mip);
}

uint32_t MipHeight(const DdsInfo& info, uint32_t mip) {
    return std::max<uint32_t>(1, info.height >> mip);
}

uint64_t MipBytes(const DdsInfo& info, uint32_t mip) {
    const uint64_t width = MipWidth(info, mip);
    const uint64_t height = MipHeight(info, mip);
    if (IsBlockCompressed(info.format)) {
        return ((width + 3) / 4) * ((height + 3) / 4) * BlockBytes(info.format);
    }
    return (width * info.bitsPerPixel + 7) / 8 * height;
}

uint32_t CubeFaceOfLayer(const DdsInfo& info, uint32_t layer) {
    const int facesPerCube = std::popcount(unsigned{info.cubeFaces});
    int skipped = facesPerCube == 0 ? 0 : int(layer % uint32_t(facesPerCube));
    for (uint32_t face = 0; face < 6; ++face) {
        if ((info.cubeFaces >> face & 1) != 0 && skipped-- == 0) {
            return face;
        }
    }
    return layer % 6;
}

size_t SurfaceOffset(const DdsInfo& info, uint32_t layer, uint32_t mip) {
    uint64_t offset = info.dataOffset + uint64_t{layer} * info.layerBytes;
    for (uint32_t level = 0; level < mip; ++level) {
        offset += MipBytes(info, level);
    }
    return size_t(offset);
}

DdsInfo ReadDdsHeader(std::span<const uint8_t> file) {
    if (file.size() < kMagicBytes || ReadU32(file, 0) != FourCc("DDS ")) {
        throw ETextureError("not a DDS file: it does not begin with \"DDS \"");
    }
    if (file.size() < kMagicBytes + kHeaderBytes) {
        throw ETextureError("damaged DDS file: " + Num(file.size()) + " bytes cannot hold its " +
                            Num(kMagicBytes + kHeaderBytes) + "-byte header");
    }
    if (ReadU32(file, kHeaderSizeAt) != kHeaderBytes ||
        ReadU32(file, kPixelFormatSizeAt) != kPixelFormatBytes) {
        throw ETextureError("damaged DDS file: header size " + Num(ReadU32(file, kHeaderSizeAt)) +
                            " and pixel format size " + Num(ReadU32(file, kPixelFormatSizeAt)) +
                            " (124 and 32 expected)");
    }

    DdsInfo info;
    info.width = ReadU32(file, kWidthAt);
    info.height = ReadU32(file, kHeightAt);
    info.mipCount = std::max<uint32_t>(1, ReadU32(file, kMipCountAt));
    info.dataOffset = kMagicBytes + kHeaderBytes;
    const uint32_t caps2 = ReadU32(file, kCaps2At);
    const uint32_t formatFlags = ReadU32(file, kPixelFormatFlagsAt);
    const uint32_t fourCc = ReadU32(file, kFourCcAt);
    bool volume = (caps2 & kCaps2Volume) != 0 && ReadU32(file, kDepthAt) > 1;

    if ((formatFlags & kPfFourCc) != 0 && fourCc == FourCc("DX10")) {
        if (!FitsIn(info.dataOffset, kDx10HeaderBytes, file.size())) {
            throw ETextureError("damaged DDS file: " + Num(file.size()) +
                                " bytes cannot hold its header and DX10 extension (148 bytes)");
        }
        info.dataOffset += kDx10HeaderBytes;
        ReadDx10Format(file, info);
        const uint32_t dimension = ReadU32(file, kResourceDimensionAt);
        if (dimension == kDimensionTexture3D) {
            volume = true;
        } else if (dimension != kDimensionTexture2D && dimension != kDimensionTexture1D) {
            throw ETextureError("damaged DDS file: resource dimension " + Num(dimension) +
                                " (2, 3 or 4 expected)");
        }
        const uint32_t arraySize = ReadU32(file, kArraySizeAt);
        if (arraySize == 0) {
            throw ETextureError("damaged DDS file: an array of 0 textures");
        }
        info.cubeMap = (ReadU32(file, kMiscFlagAt) & kMiscTextureCube) != 0;
        // Each cube of an array has six faces; the count is checked against the file below.
        info.layerCount = arraySize;
        if (info.cubeMap) {
            if (arraySize > UINT32_MAX / 6) {
                throw ETextureError("damaged DDS file: an array of " + Num(arraySize) + " cube maps");
            }
            info.layerCount = arraySize * 6;
            info.cubeFaces = 0x3F;
        }
    } else if ((formatFlags & kPfFourCc) != 0) {
        ReadFourCcFormat(fourCc, info);
    } else if ((formatFlags & (kPfRgb | kPfLuminance | kPfAlpha)) != 0) {
        ReadMaskedFormat(file, formatFlags, info);
    } else {
        Refuse("pixel format flags " + Num(formatFlags) + " name no format it knows");
    }
    if (info.layerCount == 1 && (caps2 & kCaps2CubeMap) != 0) {
        // A cube map of the classic header stores the faces its flags name, in the order +X -X +Y -Y +Z -Z.
        info.cubeMap = true;
        info.layerCount = uint32_t(std::popcount(caps2 & kCaps2CubeFaces));
        info.cubeFaces = uint8_t((caps2 & kCaps2CubeFaces) >> std::countr_zero(kCaps2CubeFaces));
        if (info.layerCount == 0) {
            throw ETextureError("damaged DDS file: a cube map without faces");
        }
    }
    if (volume) {
        Refuse("a volume texture");
    }

    if (info.width == 0 || info.height == 0 || info.width > kMaxTextureDimension ||
        info.height > kMaxTextureDimension) {
        throw ETextureError("damaged DDS file: size " + Num(info.width) + "\u00d7" + Num(info.height) +
                            " (1 to " + Num(kMaxTextureDimension) + " each expected)");
    }
    const uint32_t levelsPossible = uint32_t(std::bit_width(std::max(info.width, info.height)));
    if (info.mipCount > levelsPossible) {
        throw ETextureError("damaged DDS file: " + Num(info.mipCount) + " mip levels, but a " +
                            Num(info.width) + "\u00d7" + Num(info.height) + " texture has at most " +
                            Num(levelsPossible));
    }
    for (uint32_t mip = 0; mip < info.mipCount; ++mip) {
        info.layerBytes += MipBytes(info, mip);
    }
    // layerCount × layerBytes may exceed 64 bits for a hostile array size: compare by division.
    const uint64_t present = file.size() - info.dataOffset;
    if (info.layerCount > present / info.layerBytes) {
        const uint64_t wanted = info.layerCount > UINT64_MAX / info.layerBytes
                                    ? UINT64_MAX
                                    : uint64_t{info.layerCount} * info.layerBytes;
        throw ETextureError("damaged DDS file: its surfaces need " + Num(wanted) +
                            " bytes after the header, " + Num(present) + " are present");
    }
    return info;
}
