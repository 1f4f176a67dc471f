#include "tests/support/dds_writer.h"

#include <algorithm>
#include <stdexcept>

namespace fixture {

namespace {

void PutU32(Bytes& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[at + i] = uint8_t(value >> (8 * i));
    }
}

// Bits appended from the lowest up, as BC7 stores them.
class BitWriter {
public:
    void Write(uint32_t value, int count) {
        if (count < 32 && value >> count != 0) {
            throw std::invalid_argument("BC7 field value does not fit its bits");
        }
        for (int i = 0; i < count; ++i, ++position_) {
            if (position_ >= 128) {
                throw std::invalid_argument("BC7 fields exceed 128 bits");
            }
            bytes_[position_ / 8] |= uint8_t(((value >> i) & 1) << (position_ % 8));
        }
    }
    Bytes Take() const {
        if (position_ != 128) {
            throw std::invalid_argument("BC7 fields do not fill 128 bits");
        }
        return bytes_;
    }

private:
    Bytes bytes_ = Bytes(16);
    int position_ = 0;
};

struct Mode {
    int subsets, partitionBits, rotationBits, indexSelectionBits, colourBits, alphaBits, endpointPBits,
        sharedPBits, indexBits, secondaryIndexBits;
};
constexpr Mode kModes[8] = {
    {3, 4, 0, 0, 4, 0, 1, 0, 3, 0}, {2, 6, 0, 0, 6, 0, 0, 1, 3, 0}, {3, 6, 0, 0, 5, 0, 0, 0, 2, 0},
    {2, 6, 0, 0, 7, 0, 1, 0, 2, 0}, {1, 0, 2, 1, 5, 6, 0, 0, 2, 3}, {1, 0, 2, 0, 7, 8, 0, 0, 2, 2},
    {1, 0, 0, 0, 7, 7, 1, 0, 4, 0}, {2, 6, 0, 0, 5, 5, 1, 0, 2, 0},
};

// The anchor of the second subset of two-subset partitions, and of the second and third of three-subset ones.
constexpr uint8_t kAnchor2[64] = {15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15,
                                  15, 2,  8,  2,  2,  8,  8,  15, 2,  8,  2,  2,  8,  8,  2,  2,
                                  15, 15, 6,  8,  2,  8,  15, 15, 2,  8,  2,  2,  2,  15, 15, 6,
                                  6,  2,  6,  8,  15, 15, 2,  2,  15, 15, 15, 15, 15, 2,  2,  15};
constexpr uint8_t kAnchor3a[64] = {3, 3,  15, 15, 8, 3,  15, 15, 8,  8,  6,  6,  6,  5,  3,  3,
                                   3, 3,  8,  15, 3, 3,  6,  10, 5,  8,  8,  6,  8,  5,  15, 15,
                                   8, 15, 3,  5,  6, 10, 8,  15, 15, 3,  15, 5,  15, 15, 15, 15,
                                   3, 15, 5,  5,  5, 8,  5,  10, 5,  10, 8,  13, 15, 12, 3,  3};
constexpr uint8_t kAnchor3b[64] = {15, 8, 8,  3,  15, 15, 3,  8,  15, 15, 15, 15, 15, 15, 15, 8,
                                   15, 8, 15, 3,  15, 8,  15, 8,  3,  15, 6,  10, 15, 15, 10, 8,
                                   15, 3, 15, 10, 10, 8,  9,  10, 6,  15, 8,  15, 3,  6,  6,  8,
                                   15, 3, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 3,  15, 15, 8};

} // namespace

int Bc7Subsets(int mode) {
    return kModes[mode].subsets;
}

int Bc7Anchor(int subsets, int partition, int subset) {
    if (subset == 0) {
        return 0;
    }
    if (subsets == 2) {
        return kAnchor2[partition];
    }
    return subset == 1 ? kAnchor3a[partition] : kAnchor3b[partition];
}

Bytes BuildDds(const DdsSpec& spec) {
    const bool dx10 = (spec.formatFlags & kDdsFourCc) != 0 && spec.fourCc == FourCc("DX10");
    Bytes out(dx10 ? 148 : 128);
    PutU32(out, 0, FourCc("DDS "));
    PutU32(out, 4, spec.headerSize);
    PutU32(out, 8, 0x1007 | (spec.mipCount > 1 ? 0x20000 : 0)); // caps, height, width, pixel format, mips
    PutU32(out, 12, spec.height);
    PutU32(out, 16, spec.width);
    PutU32(out, 24, spec.depth);
    PutU32(out, 28, spec.mipCount);
    PutU32(out, 76, spec.pixelFormatSize);
    PutU32(out, 80, spec.formatFlags);
    PutU32(out, 84, (spec.formatFlags & kDdsFourCc) != 0 ? spec.fourCc : 0);
    PutU32(out, 88, spec.bitCount);
    for (int i = 0; i < 4; ++i) {
        PutU32(out, 92 + 4 * i, spec.masks[i]);
    }
    PutU32(out, 108, 0x1000 | (spec.mipCount > 1 ? 0x400008 : 0) | (spec.caps2 != 0 ? 0x8 : 0));
    PutU32(out, 112, spec.caps2);
    if (dx10) {
        PutU32(out, 128, spec.dxgiFormat);
        PutU32(out, 132, spec.resourceDimension);
        PutU32(out, 136, spec.miscFlag);
        PutU32(out, 140, spec.arraySize);
    }
    out.insert(out.end(), spec.data.begin(), spec.data.end());
    return out;
}

Bytes RandomBlocks(uint32_t blockBytes, size_t blockCount, uint32_t seed, bool bc7Modes) {
    Bytes out(blockBytes * blockCount);
    uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    for (uint8_t& byte : out) {
        // xorshift64*: fast and the same everywhere.
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        byte = uint8_t((state * 0x2545F4914F6CDD1Dull) >> 56);
    }
    if (bc7Modes) {
        for (size_t block = 0; block < blockCount; ++block) {
            const int mode = int(block % 8);
            uint8_t& first = out[block * blockBytes];
            first = uint8_t(first << (mode + 1) | 1u << mode);
        }
    }
    return out;
}

size_t BlockSurfaceBytes(uint32_t width, uint32_t height, uint32_t blockBytes, uint32_t mipCount) {
    size_t total = 0;
    for (uint32_t mip = 0; mip < mipCount; ++mip) {
        const size_t w = std::max<uint32_t>(1, width >> mip);
        const size_t h = std::max<uint32_t>(1, height >> mip);
        total += (w + 3) / 4 * ((h + 3) / 4) * blockBytes;
    }
    return total;
}

Bytes Bc1Block(uint16_t colour0, uint16_t colour1, const std::array<uint8_t, 16>& indices) {
    uint32_t packed = 0;
    for (int i = 0; i < 16; ++i) {
        packed |= uint32_t(indices[i] & 3) << (2 * i);
    }
    return {uint8_t(colour0), uint8_t(colour0 >> 8), uint8_t(colour1),      uint8_t(colour1 >> 8),
            uint8_t(packed),  uint8_t(packed >> 8),  uint8_t(packed >> 16), uint8_t(packed >> 24)};
}

Bytes ChannelBlock(uint8_t value0, uint8_t value1, const std::array<uint8_t, 16>& indices) {
    uint64_t packed = 0;
    for (int i = 0; i < 16; ++i) {
        packed |= uint64_t(indices[i] & 7) << (3 * i);
    }
    Bytes out = {value0, value1};
    for (int i = 0; i < 6; ++i) {
        out.push_back(uint8_t(packed >> (8 * i)));
    }
    return out;
}

Bytes Bc2AlphaBlock(const std::array<uint8_t, 16>& alphas) {
    Bytes out(8);
    for (int i = 0; i < 16; ++i) {
        out[i / 2] |= uint8_t((alphas[i] & 0xF) << (4 * (i % 2)));
    }
    return out;
}

Bytes Bc7Block(const Bc7Fields& fields) {
    const Mode& mode = kModes[fields.mode];
    BitWriter bits;
    bits.Write(1u << fields.mode, fields.mode + 1);
    bits.Write(uint32_t(fields.partition), mode.partitionBits);
    bits.Write(uint32_t(fields.rotation), mode.rotationBits);
    bits.Write(uint32_t(fields.indexSelection), mode.indexSelectionBits);
    const int endpoints = 2 * mode.subsets;
    for (int channel = 0; channel < 4; ++channel) {
        const int channelBits = channel < 3 ? mode.colourBits : mode.alphaBits;
        for (int e = 0; e < endpoints; ++e) {
            bits.Write(fields.endpoints[e][channel], channelBits);
        }
    }
    if (mode.endpointPBits != 0) {
        for (int e = 0; e < endpoints; ++e) {
            bits.Write(fields.pBits[e], 1);
        }
    } else if (mode.sharedPBits != 0) {
        for (int s = 0; s < mode.subsets; ++s) {
            bits.Write(fields.pBits[s], 1);
        }
    }
    for (int pixel = 0; pixel < 16; ++pixel) {
        bool anchor = false;
        for (int s = 0; s < mode.subsets; ++s) {
            anchor = anchor || Bc7Anchor(mode.subsets, fields.partition, s) == pixel;
        }
        bits.Write(fields.indices[pixel], mode.indexBits - (anchor ? 1 : 0));
    }
    if (mode.secondaryIndexBits != 0) {
        for (int pixel = 0; pixel < 16; ++pixel) {
            bits.Write(fields.secondaryIndices[pixel], mode.secondaryIndexBits - (pixel == 0 ? 1 : 0));
        }
    }
    return bits.Take();
}

} // namespace fixture
