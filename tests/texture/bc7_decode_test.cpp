// BC7: hand-checked blocks of every mode (the expected pixels worked out by hand from the fields, in the
// comments), partitions and anchors, and the block without a mode.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "fixtures/dds_writer.h"
#include "texture/bc7_decode.h"

namespace {

using fixture::Bc7Fields;
using Rgba = std::array<int, 4>;

struct PixelExpectation {
    int pixel;
    Rgba rgba;
};

struct HandCase {
    std::string name;
    Bc7Fields fields;
    std::vector<PixelExpectation> expected;
};

std::array<Rgba, 16> Decode(const std::vector<uint8_t>& block) {
    uint8_t pixels[64];
    DecodeBc7Block(block.data(), pixels);
    std::array<Rgba, 16> out;
    for (int i = 0; i < 16; ++i) {
        out[i] = {pixels[4 * i], pixels[4 * i + 1], pixels[4 * i + 2], pixels[4 * i + 3]};
    }
    return out;
}

std::vector<HandCase> HandCases() {
    std::vector<HandCase> cases;
    {
        // Mode 0, partition 0 (subsets 0011 0011 0211 2222, anchors 0, 3, 15): each subset one colour.
        // 4-bit values and a p-bit widen to 5 bits: 15·2+1 = 31 → 255, 0·2+1 = 1 → 8, 15·2+0 = 30 → 247.
        Bc7Fields f;
        f.mode = 0;
        f.endpoints = {{{15, 0, 0}, {15, 0, 0}, {0, 15, 0}, {0, 15, 0}, {0, 0, 15}, {0, 0, 15}}};
        f.pBits = {1, 1, 0, 0, 1, 1};
        f.indices = {0, 0, 0, 3, 0, 0, 0, 0, 0, 7, 0, 0, 0, 0, 0, 3};
        cases.push_back({"mode0_three_subsets",
                         f,
                         {{0, {255, 8, 8, 255}},
                          {2, {0, 247, 0, 255}},
                          {3, {0, 247, 0, 255}},
                          {9, {8, 8, 255, 255}},
                          {11, {0, 247, 0, 255}},
                          {15, {8, 8, 255, 255}}}});
    }
    {
        // Mode 1, partition 17 (subset 1 = pixels 1, 2, 3, 7; its anchor is pixel 2, stored in 2 bits).
        // Subset 0: (63,0,0)+p1 → (255,2,2), (0,0,0)+p1 → (2,2,2). Subset 1: (0,0,63)+p0 → (0,0,253), black.
        // 3-bit weights: index 3 → 27, index 4 → 37.
        Bc7Fields f;
        f.mode = 1;
        f.partition = 17;
        f.endpoints = {{{63, 0, 0}, {0, 0, 0}, {0, 0, 63}, {0, 0, 0}}};
        f.pBits = {1, 0};
        f.indices = {3, 7, 3, 4, 4, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        cases.push_back({"mode1_anchor_inside_the_block",
                         f,
                         {{0, {148, 2, 2, 255}}, // (37·255 + 27·2 + 32) >> 6
                          {1, {0, 0, 0, 255}},
                          {2, {0, 0, 146, 255}}, // (37·253 + 32) >> 6
                          {3, {0, 0, 107, 255}}, // (27·253 + 32) >> 6
                          {4, {109, 2, 2, 255}}, // (27·255 + 37·2 + 32) >> 6
                          {5, {2, 2, 2, 255}},
                          {6, {255, 2, 2, 255}},
                          {7, {0, 0, 253, 255}}}});
    }
    {
        // Mode 2, partition 0: 5-bit values without p-bits; second endpoints 16 → 132. Weight of index 1: 21.
        Bc7Fields f;
        f.mode = 2;
        f.endpoints = {{{31, 0, 0}, {16, 16, 16}, {0, 31, 0}, {16, 16, 16}, {0, 0, 31}, {16, 16, 16}}};
        f.indices = {0, 1, 0, 1, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 1};
        cases.push_back({"mode2_three_subsets_two_bit_indices",
                         f,
                         {{0, {255, 0, 0, 255}},
                          {1, {215, 43, 43, 255}}, // (43·255 + 21·132 + 32) >> 6, (21·132 + 32) >> 6
                          {3, {43, 215, 43, 255}},
                          {9, {132, 132, 132, 255}},
                          {15, {43, 43, 215, 255}}}});
    }
    {
        // Mode 3, partition 0 (subset 1 = columns 2 and 3): 7-bit values with a p-bit per endpoint.
        // (127,0,64)+p1 → (255,1,129); subset 1: (10,20,30)+p0 → (20,40,60), +p1 → (21,41,61).
        Bc7Fields f;
        f.mode = 3;
        f.endpoints = {{{127, 0, 64}, {0, 0, 0}, {10, 20, 30}, {10, 20, 30}}};
        f.pBits = {1, 0, 0, 1};
        f.indices = {0, 2, 3, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
        cases.push_back({"mode3_endpoint_p_bits",
                         f,
                         {{0, {255, 1, 129, 255}},
                          {1, {84, 0, 42, 255}}, // weight 43: (21·255 + 32) >> 6, (21·129 + 32) >> 6
                          {2, {21, 41, 61, 255}},
                          {4, {0, 0, 0, 255}},
                          {15, {20, 40, 60, 255}}}});
    }
    {
        // Mode 4 without rotation: colour from the 2-bit indices, alpha from the 3-bit ones.
        // (31,0,0,a63) → (255,0,0,255); (0,0,31,a0) → (0,0,255,0).
        Bc7Fields f;
        f.mode = 4;
        f.endpoints = {{{31, 0, 0, 63}, {0, 0, 31, 0}}};
        f.indices = {1, 1};
        f.secondaryIndices = {3, 4};
        cases.push_back({"mode4_separate_alpha_indices",
                         f,
                         {{0, {171, 0, 84, 147}}, // colour weight 21; alpha weight 27: (37·255 + 32) >> 6
                          {1, {171, 0, 84, 108}}, // alpha weight 37: (27·255 + 32) >> 6
                          {2, {255, 0, 0, 255}}}});
        // The same with the index selection bit (colour from the 3-bit indices) and red swapped with alpha.
        f.rotation = 1;
        f.indexSelection = 1;
        cases.push_back({"mode4_index_selection_and_rotation",
                         f,
                         {{1, {171, 0, 147, 108}}, // before the swap: (108, 0, 147, 171)
                          {2, {255, 0, 0, 255}}}});
    }
    {
        // Mode 5, green swapped with alpha: (127,0,0,a200) → (255,0,0,200); (0,127,0,a10) → (0,255,0,10).
        Bc7Fields f;
        f.mode = 5;
        f.rotation = 2;
        f.endpoints = {{{127, 0, 0, 200}, {0, 127, 0, 10}}};
        f.indices = {0, 0, 0, 0, 0, 3};
        f.secondaryIndices = {0, 0, 0, 0, 0, 2};
        cases.push_back({"mode5_rotation",
                         f,
                         {{0, {255, 200, 0, 0}},
                          {5, {0, 72, 0, 255}}}}); // alpha weight 43: (21·200 + 43·10 + 32) >> 6 = 72
    }
    {
        // Mode 6: 7-bit colour and alpha with a p-bit per endpoint, 4-bit indices.
        // (10,20,30,40)+p1 → (21,41,61,81); (100,110,120,127)+p0 → (200,220,240,254).
        Bc7Fields f;
        f.mode = 6;
        f.endpoints = {{{10, 20, 30, 40}, {100, 110, 120, 127}}};
        f.pBits = {1, 0};
        f.indices = {0, 8, 15};
        cases.push_back({"mode6_four_bit_indices",
                         f,
                         {{0, {21, 41, 61, 81}},
                          {1, {116, 136, 156, 173}}, // weight 34: (30·21 + 34·200 + 32) >> 6 …
                          {2, {200, 220, 240, 254}}}});
    }
    {
        // Mode 7, partition 1 (subset 1 = column 3): 5-bit colour and alpha with p-bits.
        // (31,0,0,31)+p1 → (255,4,4,255); zero+p0 → 0; (0,31,0,16)+p0 → (0,251,0,130).
        Bc7Fields f;
        f.mode = 7;
        f.partition = 1;
        f.endpoints = {{{31, 0, 0, 31}, {0, 0, 0, 0}, {0, 31, 0, 16}, {0, 31, 0, 16}}};
        f.pBits = {1, 0, 0, 0};
        f.indices = {0, 2, 0, 1};
        cases.push_back({"mode7_colour_and_alpha_subsets",
                         f,
                         {{0, {255, 4, 4, 255}},
                          {1, {84, 1, 1, 84}}, // weight 43: (21·255 + 32) >> 6, (21·4 + 32) >> 6
                          {3, {0, 251, 0, 130}},
                          {15, {0, 251, 0, 130}}}});
    }
    return cases;
}

TEST(Bc7Decode, HandCheckedBlocksOfEveryMode) {
    for (const HandCase& c : HandCases()) {
        SCOPED_TRACE(c.name);
        const std::array<Rgba, 16> pixels = Decode(fixture::Bc7Block(c.fields));
        for (const PixelExpectation& e : c.expected) {
            EXPECT_EQ(pixels[e.pixel], e.rgba) << "pixel " << e.pixel;
        }
    }
}

TEST(Bc7Decode, ABlockWithoutAModeIsTransparentBlack) {
    std::vector<uint8_t> block(16, 0xFF);
    block[0] = 0;
    for (const Rgba& pixel : Decode(block)) {
        EXPECT_EQ(pixel, (Rgba{0, 0, 0, 0}));
    }
}

// Every partition of modes 1 (two subsets) and 2 (three subsets), each subset its own colour, and every
// anchor index at its largest value: a pixel of the wrong subset or an anchor read with the wrong width
// shows as a wrong colour.
TEST(Bc7Decode, EveryPartitionAndAnchor) {
    for (int mode : {1, 2}) {
        const int subsets = fixture::Bc7Subsets(mode);
        const int bits = mode == 1 ? 6 : 5;
        const int maxIndex = mode == 1 ? 7 : 3;
        const int full = mode == 1 ? 253 : 255; // 63 with a zero p-bit widens to 253
        for (int partition = 0; partition < 64; ++partition) {
            SCOPED_TRACE("mode " + std::to_string(mode) + " partition " + std::to_string(partition));
            Bc7Fields f;
            f.mode = mode;
            f.partition = partition;
            const uint32_t top = (1u << bits) - 1;
            for (int s = 0; s < subsets; ++s) {
                // First endpoint: one channel full; second: black. The largest index gives black.
                f.endpoints[2 * s] = {s == 0 ? top : 0, s == 1 ? top : 0, s == 2 ? top : 0, 0};
            }
            int anchors[3];
            for (int s = 0; s < subsets; ++s) {
                anchors[s] = fixture::Bc7Anchor(subsets, partition, s);
                EXPECT_EQ(bc7::AnchorOf(subsets, partition, s), anchors[s]);
                EXPECT_EQ(bc7::SubsetOf(subsets, partition, anchors[s]), s) << "anchor outside its subset";
                f.indices[anchors[s]] = uint8_t(maxIndex >> 1); // the largest that fits in the short field
            }
            // And the pixel after each anchor at the largest full-width index: black.
            for (int s = 0; s < subsets; ++s) {
                if (anchors[s] < 15 && f.indices[anchors[s] + 1] == 0) {
                    f.indices[anchors[s] + 1] = uint8_t(maxIndex);
                }
            }
            const std::array<Rgba, 16> pixels = Decode(fixture::Bc7Block(f));
            for (int pixel = 0; pixel < 16; ++pixel) {
                const int subset = bc7::SubsetOf(subsets, partition, pixel);
                if (f.indices[pixel] == maxIndex) {
                    EXPECT_EQ(pixels[pixel], (Rgba{0, 0, 0, 255})) << "pixel " << pixel;
                } else if (f.indices[pixel] == 0) {
                    EXPECT_EQ(pixels[pixel][subset], full) << "pixel " << pixel << " subset " << subset;
                    EXPECT_EQ(pixels[pixel][0] + pixels[pixel][1] + pixels[pixel][2], full)
                        << "pixel " << pixel;
                } else {
                    // The anchor: between the subset's colour and black, in its own channel only.
                    EXPECT_GT(pixels[pixel][subset], 0) << "pixel " << pixel;
                    EXPECT_LT(pixels[pixel][subset], full) << "pixel " << pixel;
                }
            }
        }
    }
}

} // namespace
