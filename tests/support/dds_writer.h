#pragma once
// The DDS test writer: builds DDS files (classic header, DX10 extension, cube maps, mips, damaged headers)
// and packs blocks of every compressed format from their fields, for the texture tests, the fuzz seed corpus
// and the benchmarks. It stands apart from the decoders so that they are never tested with their own code.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace fixture {

using Bytes = std::vector<uint8_t>;

// Pixel format flags and caps2 bits of the classic header.
inline constexpr uint32_t kDdsAlphaPixels = 0x1;
inline constexpr uint32_t kDdsAlpha = 0x2;
inline constexpr uint32_t kDdsFourCc = 0x4;
inline constexpr uint32_t kDdsRgb = 0x40;
inline constexpr uint32_t kDdsLuminance = 0x20000;
inline constexpr uint32_t kDdsCubeMap = 0x200;
inline constexpr uint32_t kDdsAllFaces = 0xFC00;
inline constexpr uint32_t kDdsVolume = 0x200000;

constexpr uint32_t FourCc(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 | uint32_t(uint8_t(text[2])) << 16 |
           uint32_t(uint8_t(text[3])) << 24;
}

struct DdsSpec {
    uint32_t width = 4;
    uint32_t height = 4;
    uint32_t mipCount = 1;
    uint32_t depth = 0;
    uint32_t caps2 = 0;
    // The pixel format: a FourCC (with kDdsFourCc) or bit masks (with kDdsRgb, kDdsLuminance, kDdsAlpha…).
    uint32_t formatFlags = kDdsFourCc;
    uint32_t fourCc = FourCc("DXT1");
    uint32_t bitCount = 0;
    std::array<uint32_t, 4> masks = {}; // red, green, blue, alpha
    // The DX10 extension, written when fourCc is "DX10".
    uint32_t dxgiFormat = 98; // BC7_UNORM
    uint32_t resourceDimension = 3;
    uint32_t miscFlag = 0;
    uint32_t arraySize = 1;
    // Damage: the header's own size fields.
    uint32_t headerSize = 124;
    uint32_t pixelFormatSize = 32;
    // Everything after the header(s): the surfaces.
    Bytes data;
};

Bytes BuildDds(const DdsSpec& spec);

// `blockCount` blocks of `blockBytes` random bytes (the same for the same seed). With `bc7Modes`, the first
// byte of each block names BC7 mode (block index mod 8), so that every mode is equally present.
Bytes RandomBlocks(uint32_t blockBytes, size_t blockCount, uint32_t seed, bool bc7Modes = false);
// The bytes of the first `mipCount` mip levels of a width × height block-compressed surface.
size_t BlockSurfaceBytes(uint32_t width, uint32_t height, uint32_t blockBytes, uint32_t mipCount);

// Block packers: each block from its stored fields.
// BC1 (and the colour half of BC2/BC3): two RGB565 colours and 16 indices of 2 bits, pixel 0 first.
Bytes Bc1Block(uint16_t colour0, uint16_t colour1, const std::array<uint8_t, 16>& indices);
// A BC3 alpha / BC4 / BC5 channel block: two endpoints and 16 indices of 3 bits.
Bytes ChannelBlock(uint8_t value0, uint8_t value1, const std::array<uint8_t, 16>& indices);
// BC2's explicit alpha: 16 values of 4 bits.
Bytes Bc2AlphaBlock(const std::array<uint8_t, 16>& alphas);

// A BC7 block from its fields, in the order the format stores them. Endpoint values are the stored
// (quantised) ones, endpoints[2 * subset + end] = {r, g, b, a}; pBits per endpoint (modes 0, 3, 6, 7) or per
// subset (mode 1); indices without the anchor bits dropped (the packer drops them: an anchor index must
// fit in one bit less).
struct Bc7Fields {
    int mode = 6;
    int partition = 0;
    int rotation = 0;
    int indexSelection = 0;
    std::array<std::array<uint32_t, 4>, 6> endpoints = {};
    std::array<uint32_t, 6> pBits = {};
    std::array<uint8_t, 16> indices = {};
    std::array<uint8_t, 16> secondaryIndices = {};
};
Bytes Bc7Block(const Bc7Fields& fields);

// The anchor pixels of BC7 subsets (the packer needs them; the tests check the decoder against them).
int Bc7Anchor(int subsets, int partition, int subset);
int Bc7Subsets(int mode);

} // namespace fixture
