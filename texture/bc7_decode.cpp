// BC7: a mode number in unary (the lowest set bit of the first byte), then the mode's fields from the lowest
// bit up: partition, rotation, index selection, the endpoints channel by channel (red of every endpoint,
// then green, blue, alpha), the p-bits, and the indices, one bit shorter at each subset's anchor pixel.
#include "texture/bc7_decode.h"

#include <bit>
#include <cstring>
#include <utility>

#include "base/little_endian.h"

namespace {

struct ModeInfo {
    uint8_t subsets;
    uint8_t partitionBits;
    uint8_t rotationBits;
    uint8_t indexSelectionBits;
    uint8_t colourBits;
    uint8_t alphaBits;
    uint8_t endpointPBits; // one p-bit per endpoint
    uint8_t sharedPBits;   // one p-bit per subset
    uint8_t indexBits;
    uint8_t secondaryIndexBits;
};

constexpr ModeInfo kModes[8] = {
    {3, 4, 0, 0, 4, 0, 1, 0, 3, 0}, {2, 6, 0, 0, 6, 0, 0, 1, 3, 0}, {3, 6, 0, 0, 5, 0, 0, 0, 2, 0},
    {2, 6, 0, 0, 7, 0, 1, 0, 2, 0}, {1, 0, 2, 1, 5, 6, 0, 0, 2, 3}, {1, 0, 2, 0, 7, 8, 0, 0, 2, 2},
    {1, 0, 0, 0, 7, 7, 1, 0, 4, 0}, {2, 6, 0, 0, 5, 5, 1, 0, 2, 0},
};

// Two-subset partitions: bit i is the subset of pixel i.
constexpr uint16_t kPartitions2[64] = {
    0xCCCC, 0x8888, 0xEEEE, 0xECC8, 0xC880, 0xFEEC, 0xFEC8, 0xEC80, 0xC800, 0xFFEC, 0xFE80, 0xE800, 0xFFE8,
    0xFF00, 0xFFF0, 0xF000, 0xF710, 0x008E, 0x7100, 0x08CE, 0x008C, 0x7310, 0x3100, 0x8CCE, 0x088C, 0x3110,
    0x6666, 0x366C, 0x17E8, 0x0FF0, 0x718E, 0x399C, 0xAAAA, 0xF0F0, 0x5A5A, 0x33CC, 0x3C3C, 0x55AA, 0x9696,
    0xA55A, 0x73CE, 0x13C8, 0x324C, 0x3BDC, 0x6996, 0xC33C, 0x9966, 0x0660, 0x0272, 0x04E4, 0x4E40, 0x2720,
    0xC936, 0x936C, 0x39C6, 0x639C, 0x9336, 0x9CC6, 0x817E, 0xE718, 0xCCF0, 0x0FCC, 0x7744, 0xEE22,
};

// Three-subset partitions: bits 2i and 2i+1 are the subset of pixel i.
constexpr uint32_t kPartitions3[64] = {
    0xAA685050, 0x6A5A5040, 0x5A5A4200, 0x5450A0A8, 0xA5A50000, 0xA0A05050, 0x5555A0A0, 0x5A5A5050,
    0xAA550000, 0xAA555500, 0xAAAA5500, 0x90909090, 0x94949494, 0xA4A4A4A4, 0xA9A59450, 0x2A0A4250,
    0xA5945040, 0x0A425054, 0xA5A5A500, 0x55A0A0A0, 0xA8A85454, 0x6A6A4040, 0xA4A45000, 0x1A1A0500,
    0x0050A4A4, 0xAAA59090, 0x14696914, 0x69691400, 0xA08585A0, 0xAA821414, 0x50A4A450, 0x6A5A0200,
    0xA9A58000, 0x5090A0A8, 0xA8A09050, 0x24242424, 0x00AA5500, 0x24924924, 0x24499224, 0x50A50A50,
    0x500AA550, 0xAAAA4444, 0x66660000, 0xA5A0A5A0, 0x50A050A0, 0x69286928, 0x44AAAA44, 0x66666600,
    0xAA444444, 0x54A854A8, 0x95809580, 0x96969600, 0xA85454A8, 0x80959580, 0xAA141414, 0x96960000,
    0xAAAA1414, 0xA05050A0, 0xA0A5A5A0, 0x96000000, 0x40804080, 0xA9A8A9A8, 0xAAAAAA44, 0x2A4A5254,
};

// The anchor pixel of subset 1 of the two-subset partitions, and of subsets 1 and 2 of the three-subset ones.
constexpr uint8_t kAnchors2[64] = {
    15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 2,  8, 2,  2, 8,
    8,  15, 2,  8,  2,  2,  8,  8,  2,  2,  15, 15, 6,  8,  2,  8,  15, 15, 2, 8,  2, 2,
    2,  15, 15, 6,  6,  2,  6,  8,  15, 15, 2,  2,  15, 15, 15, 15, 15, 2,  2, 15,
};
constexpr uint8_t kAnchors3Second[64] = {
    3,  3,  15, 15, 8, 3,  15, 15, 8,  8,  6, 6,  6, 5,  3, 3,  3,  3,  8,  15, 3,  3,
    6,  10, 5,  8,  8, 6,  8,  5,  15, 15, 8, 15, 3, 5,  6, 10, 8,  15, 15, 3,  15, 5,
    15, 15, 15, 15, 3, 15, 5,  5,  5,  8,  5, 10, 5, 10, 8, 13, 15, 12, 3,  3,
};
constexpr uint8_t kAnchors3Third[64] = {
    15, 8, 8, 3,  15, 15, 3,  8,  15, 15, 15, 15, 15, 15, 15, 8,  15, 8,  15, 3,  15, 8,
    15, 8, 3, 15, 6,  10, 15, 15, 10, 8,  15, 3,  15, 10, 10, 8,  9,  10, 6,  15, 8,  15,
    3,  6, 6, 8,  15, 3,  15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 3,  15, 15, 8,
};

// Interpolation weights (of 64) for 2-, 3- and 4-bit indices.
constexpr uint8_t kWeights2[4] = {0, 21, 43, 64};
constexpr uint8_t kWeights3[8] = {0, 9, 18, 27, 37, 46, 55, 64};
constexpr uint8_t kWeights4[16] = {0, 4, 9, 13, 17, 21, 26, 30, 34, 38, 43, 47, 51, 55, 60, 64};

const uint8_t* WeightsFor(int indexBits) {
    return indexBits == 2 ? kWeights2 : indexBits == 3 ? kWeights3 : kWeights4;
}

// The block's 128 bits, read from the lowest up.
class BitReader {
public:
    explicit BitReader(const uint8_t* block) : low_(LoadLE64(block)), high_(LoadLE64(block + 8)) {}

    // The next `count` (0…8) bits.
    uint32_t Read(int count) {
        if (count == 0) {
            return 0;
        }
        uint64_t bits;
        if (position_ >= 64) {
            bits = high_ >> (position_ - 64);
        } else if (position_ + count <= 64) {
            bits = low_ >> position_;
        } else {
            bits = low_ >> position_ | high_ << (64 - position_);
        }
        position_ += count;
        return uint32_t(bits) & ((1u << count) - 1);
    }

    void Skip(int count) { position_ += count; }

    // The 64 bits from the current position on (zeros past the end of the block).
    uint64_t Window() const {
        if (position_ == 0) {
            return low_;
        }
        if (position_ < 64) {
            return low_ >> position_ | high_ << (64 - position_);
        }
        return position_ < 128 ? high_ >> (position_ - 64) : 0;
    }

private:
    uint64_t low_ = 0;
    uint64_t high_ = 0;
    int position_ = 0;
};

// A quantised endpoint value of `bits` bits widened to 8 by repeating its top bits.
uint8_t Unquantize(uint32_t value, int bits) {
    value <<= 8 - bits;
    return uint8_t(value | value >> bits);
}

uint8_t Interpolate(uint8_t first, uint8_t second, int weight) {
    return uint8_t(((64 - weight) * first + weight * second + 32) >> 6);
}

} // namespace

namespace bc7 {

int SubsetOf(int subsets, int partition, int pixel) {
    if (subsets == 2) {
        return (kPartitions2[partition] >> pixel) & 1;
    }
    if (subsets == 3) {
        return (kPartitions3[partition] >> (2 * pixel)) & 3;
    }
    return 0;
}

int AnchorOf(int subsets, int partition, int subset) {
    if (subset == 0) {
        return 0;
    }
    if (subsets == 2) {
        return kAnchors2[partition];
    }
    return subset == 1 ? kAnchors3Second[partition] : kAnchors3Third[partition];
}

} // namespace bc7

namespace {

// One mode's decoder: with the mode's layout known at compile time, its loops unroll and its choices fold
// away, which keeps blocks of mixed modes fast.
template <int Mode> void DecodeMode(const uint8_t* block, uint8_t* rgba) {
    constexpr ModeInfo info = kModes[Mode];
    BitReader reader(block);
    reader.Skip(Mode + 1);
    const int partition = int(reader.Read(info.partitionBits));
    const int rotation = int(reader.Read(info.rotationBits));
    const bool indexSelection = reader.Read(info.indexSelectionBits) != 0;

    // endpoints[2 * subset + end][channel], first as stored, then widened to 8 bits.
    constexpr int endpointCount = 2 * info.subsets;
    uint32_t raw[6][4] = {};
    for (int channel = 0; channel < 3; ++channel) {
        for (int endpoint = 0; endpoint < endpointCount; ++endpoint) {
            raw[endpoint][channel] = reader.Read(info.colourBits);
        }
    }
    for (int endpoint = 0; info.alphaBits != 0 && endpoint < endpointCount; ++endpoint) {
        raw[endpoint][3] = reader.Read(info.alphaBits);
    }
    uint32_t pBits[6] = {};
    if (info.endpointPBits != 0) {
        for (int endpoint = 0; endpoint < endpointCount; ++endpoint) {
            pBits[endpoint] = reader.Read(1);
        }
    } else if (info.sharedPBits != 0) {
        for (int subset = 0; subset < info.subsets; ++subset) {
            pBits[2 * subset] = pBits[2 * subset + 1] = reader.Read(1);
        }
    }
    constexpr bool hasPBits = info.endpointPBits != 0 || info.sharedPBits != 0;
    uint8_t endpoints[6][4];
    for (int endpoint = 0; endpoint < endpointCount; ++endpoint) {
        for (int channel = 0; channel < 4; ++channel) {
            const int bits = channel < 3 ? info.colourBits : info.alphaBits;
            if (bits == 0) {
                endpoints[endpoint][channel] = 255;
            } else if (hasPBits) {
                endpoints[endpoint][channel] =
                    Unquantize(raw[endpoint][channel] << 1 | pBits[endpoint], bits + 1);
            } else {
                endpoints[endpoint][channel] = Unquantize(raw[endpoint][channel], bits);
            }
        }
    }

    // The subset of each pixel: one bit per pixel for two subsets, two for three.
    const uint32_t partitionMask = info.subsets == 2   ? kPartitions2[partition]
                                   : info.subsets == 3 ? kPartitions3[partition]
                                                       : 0;
    constexpr int subsetShift = info.subsets == 3 ? 2 : 1;
    constexpr uint32_t subsetMask = info.subsets == 3 ? 3 : 1;
    const int anchor1 = info.subsets > 1 ? bc7::AnchorOf(info.subsets, partition, 1) : 0;
    const int anchor2 = info.subsets > 2 ? bc7::AnchorOf(info.subsets, partition, 2) : 0;

    // Each set of indices takes at most 63 bits: read it from one 64-bit window.
    uint8_t indices[16];
    uint64_t window = reader.Window();
    for (int pixel = 0; pixel < 16; ++pixel) {
        const bool anchor = pixel == 0 || pixel == anchor1 || pixel == anchor2;
        const int bits = info.indexBits - (anchor ? 1 : 0);
        indices[pixel] = uint8_t(window & ((1u << bits) - 1));
        window >>= bits;
    }
    uint8_t secondary[16] = {};
    if (info.secondaryIndexBits != 0) {
        reader.Skip(16 * info.indexBits - 1);
        window = reader.Window();
        for (int pixel = 0; pixel < 16; ++pixel) {
            const int bits = info.secondaryIndexBits - (pixel == 0 ? 1 : 0);
            secondary[pixel] = uint8_t(window & ((1u << bits) - 1));
            window >>= bits;
        }
    }

    // Colour and alpha share the primary indices, except in modes 4 and 5, where alpha has its own (and in
    // mode 4 the index selection bit swaps the two sets).
    const uint8_t* colourIndices = indices;
    const uint8_t* alphaIndices = indices;
    int colourIndexBits = info.indexBits;
    int alphaIndexBits = info.indexBits;
    if (info.secondaryIndexBits != 0) {
        alphaIndices = secondary;
        alphaIndexBits = info.secondaryIndexBits;
        if (indexSelection) {
            std::swap(colourIndices, alphaIndices);
            std::swap(colourIndexBits, alphaIndexBits);
        }
    }
    const uint8_t* colourWeights = WeightsFor(colourIndexBits);
    const uint8_t* alphaWeights = WeightsFor(alphaIndexBits);
    for (int pixel = 0; pixel < 16; ++pixel) {
        const uint32_t subset = (partitionMask >> (subsetShift * pixel)) & subsetMask;
        const uint8_t* first = endpoints[2 * subset];
        const uint8_t* second = endpoints[2 * subset + 1];
        const int colourWeight = colourWeights[colourIndices[pixel]];
        const int alphaWeight = alphaWeights[alphaIndices[pixel]];
        uint8_t* out = rgba + 4 * pixel;
        for (int channel = 0; channel < 3; ++channel) {
            out[channel] = Interpolate(first[channel], second[channel], colourWeight);
        }
        out[3] = Interpolate(first[3], second[3], alphaWeight);
    }
    if (rotation != 0) {
        for (int pixel = 0; pixel < 16; ++pixel) {
            std::swap(rgba[4 * pixel + rotation - 1], rgba[4 * pixel + 3]);
        }
    }
}

} // namespace

void DecodeBc7Block(const uint8_t* block, uint8_t* rgba) {
    switch (std::countr_zero(block[0])) {
    case 0:
        return DecodeMode<0>(block, rgba);
    case 1:
        return DecodeMode<1>(block, rgba);
    case 2:
        return DecodeMode<2>(block, rgba);
    case 3:
        return DecodeMode<3>(block, rgba);
    case 4:
        return DecodeMode<4>(block, rgba);
    case 5:
        return DecodeMode<5>(block, rgba);
    case 6:
        return DecodeMode<6>(block, rgba);
    case 7:
        return DecodeMode<7>(block, rgba);
    default:
        // No bit set: no mode.
        std::memset(rgba, 0, 64);
        return;
    }
}
