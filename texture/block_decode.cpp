// BC1 to BC5. Interpolated values are truncated, as the common reference decoders do, so that alpha (which
// comes out of the same arithmetic) agrees with them exactly.
#include "texture/block_decode.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "base/little_endian.h"

namespace {

void Expand565(uint16_t colour, uint8_t* rgb) {
    const uint32_t red = colour >> 11;
    const uint32_t green = (colour >> 5) & 0x3F;
    const uint32_t blue = colour & 0x1F;
    rgb[0] = uint8_t(red << 3 | red >> 2);
    rgb[1] = uint8_t(green << 2 | green >> 4);
    rgb[2] = uint8_t(blue << 3 | blue >> 2);
}

// The eight values of a BC3 alpha / BC4 / BC5 channel block, for unsigned (0…255) or signed (-127…127,
// -128 read as -127) endpoints.
template <typename Value> void ChannelPalette(Value first, Value second, int* palette) {
    palette[0] = first;
    palette[1] = second;
    if (first > second) {
        for (int i = 1; i <= 6; ++i) {
            palette[i + 1] = ((7 - i) * first + i * second) / 7;
        }
    } else {
        for (int i = 1; i <= 4; ++i) {
            palette[i + 1] = ((5 - i) * first + i * second) / 5;
        }
        palette[6] = std::is_signed_v<Value> ? -127 : 0;
        palette[7] = std::is_signed_v<Value> ? 127 : 255;
    }
}

// Decodes the 8-byte channel block into `out` with the given stride (one byte per pixel written).
void DecodeChannelBlock(const uint8_t* block, uint8_t* out, int stride, bool isSigned) {
    int palette[8];
    if (isSigned) {
        const int8_t first = std::max<int8_t>(-127, int8_t(block[0]));
        const int8_t second = std::max<int8_t>(-127, int8_t(block[1]));
        ChannelPalette(first, second, palette);
        for (int& value : palette) {
            // -127…127 onto 0…255, rounded.
            value = ((value + 127) * 255 + 127) / 254;
        }
    } else {
        ChannelPalette(block[0], block[1], palette);
    }
    // 16 indices of 3 bits, little-endian over bytes 2 to 7.
    const uint64_t indices = LoadLE48(block + 2);
    for (int pixel = 0; pixel < 16; ++pixel) {
        out[pixel * stride] = uint8_t(palette[(indices >> (3 * pixel)) & 7]);
    }
}

// The four colours of a BC1 colour block as RGBA8 pixels in memory order. Opaque colours have alpha 255.
void ColourPalette(const uint8_t* block, bool allowOneBitAlpha, uint32_t* palette) {
    const uint16_t first = LoadLE16(block);
    const uint16_t second = LoadLE16(block + 2);
    uint8_t colours[4][4];
    Expand565(first, colours[0]);
    Expand565(second, colours[1]);
    colours[0][3] = colours[1][3] = 255;
    if (first > second || !allowOneBitAlpha) {
        for (int c = 0; c < 3; ++c) {
            colours[2][c] = uint8_t((2 * colours[0][c] + colours[1][c]) / 3);
            colours[3][c] = uint8_t((colours[0][c] + 2 * colours[1][c]) / 3);
        }
        colours[2][3] = colours[3][3] = 255;
    } else {
        for (int c = 0; c < 3; ++c) {
            colours[2][c] = uint8_t((colours[0][c] + colours[1][c]) / 2);
            colours[3][c] = 0;
        }
        colours[2][3] = 255;
        colours[3][3] = 0;
    }
    std::memcpy(palette, colours, sizeof colours);
}

// The blue channel of a unit normal whose red and green channels hold x and y (0…255 for -1…1), for every
// pair: a square root per pixel would cost more than the rest of the decoding.
struct NormalZTable {
    uint8_t z[256][256];
    NormalZTable() {
        for (int red = 0; red < 256; ++red) {
            for (int green = 0; green < 256; ++green) {
                const float x = red / 127.5f - 1.0f;
                const float y = green / 127.5f - 1.0f;
                const float zValue = std::sqrt(std::max(0.0f, 1.0f - x * x - y * y));
                z[red][green] = uint8_t(std::lround((zValue + 1.0f) * 127.5f));
            }
        }
    }
};

const NormalZTable& NormalZ() {
    static const NormalZTable table;
    return table;
}

} // namespace

void DecodeBc1Block(const uint8_t* block, uint8_t* rgba, bool allowOneBitAlpha) {
    uint32_t palette[4];
    ColourPalette(block, allowOneBitAlpha, palette);
    const uint32_t indices = LoadLE32(block + 4);
    for (int pixel = 0; pixel < 16; ++pixel) {
        std::memcpy(rgba + 4 * pixel, &palette[(indices >> (2 * pixel)) & 3], 4);
    }
}

void DecodeBc2Block(const uint8_t* block, uint8_t* rgba) {
    DecodeBc1Block(block + 8, rgba, false);
    for (int pixel = 0; pixel < 16; ++pixel) {
        const uint8_t nibble = (block[pixel / 2] >> (4 * (pixel % 2))) & 0xF;
        rgba[4 * pixel + 3] = uint8_t(nibble * 17);
    }
}

void DecodeBc3Block(const uint8_t* block, uint8_t* rgba) {
    // Colour and alpha in one pass: the colour palette with its alpha byte cleared, the alpha value put in.
    uint32_t colours[4];
    ColourPalette(block + 8, false, colours);
    uint8_t alphaBytes[4] = {0, 0, 0, 255};
    uint32_t alphaMask;
    std::memcpy(&alphaMask, alphaBytes, 4);
    const int alphaShift = std::countr_zero(alphaMask);
    for (uint32_t& colour : colours) {
        colour &= ~alphaMask;
    }
    // Both forms of the alpha palette, then one chosen without a branch: with random or noisy alpha the
    // choice changes from block to block, and a mispredicted branch per block cost more than the arithmetic.
    const uint32_t first = block[0];
    const uint32_t second = block[1];
    const uint32_t sevenSteps = first > second ? ~0u : 0u;
    uint32_t alphaWords[8];
    alphaWords[0] = first << alphaShift;
    alphaWords[1] = second << alphaShift;
    for (uint32_t i = 1; i <= 6; ++i) {
        const uint32_t seven = ((7 - i) * first + i * second) / 7;
        const uint32_t five = i <= 4 ? ((5 - i) * first + i * second) / 5 : (i == 5 ? 0u : 255u);
        alphaWords[i + 1] = ((seven & sevenSteps) | (five & ~sevenSteps)) << alphaShift;
    }
    uint64_t alphaIndices = LoadLE48(block + 2);
    uint32_t colourIndices = LoadLE32(block + 12);
    uint32_t pixels[16];
    for (int pixel = 0; pixel < 16; ++pixel) {
        pixels[pixel] = colours[colourIndices & 3] | alphaWords[alphaIndices & 7];
        colourIndices >>= 2;
        alphaIndices >>= 3;
    }
    std::memcpy(rgba, pixels, sizeof pixels);
}

void DecodeBc4Block(const uint8_t* block, uint8_t* rgba, bool isSigned) {
    DecodeChannelBlock(block, rgba, 4, isSigned);
    for (int pixel = 0; pixel < 16; ++pixel) {
        rgba[4 * pixel + 1] = rgba[4 * pixel + 2] = rgba[4 * pixel];
        rgba[4 * pixel + 3] = 255;
    }
}

void DecodeBc5Block(const uint8_t* block, uint8_t* rgba, bool isSigned) {
    DecodeChannelBlock(block, rgba, 4, isSigned);
    DecodeChannelBlock(block + 8, rgba + 1, 4, isSigned);
    const NormalZTable& zTable = NormalZ();
    for (int pixel = 0; pixel < 16; ++pixel) {
        rgba[4 * pixel + 2] = zTable.z[rgba[4 * pixel]][rgba[4 * pixel + 1]];
        rgba[4 * pixel + 3] = 255;
    }
}
