#pragma once
// The BC7 block decoder: all eight modes, bit-exact with the Direct3D 11 decoding rules.
#include <cstdint>

// Decodes the 16-byte block into 16 RGBA8 pixels (64 bytes, rows top-left first). A block whose first byte
// is zero names no mode and decodes to transparent black, as the hardware does. Every other bit pattern is a
// valid block. Reads exactly 16 bytes.
void DecodeBc7Block(const uint8_t* block, uint8_t* rgba);

namespace bc7 {

// The subset (0, 1 or 2) of `pixel` (0…15) in `partition` (0…63) of a block with `subsets` (1…3) subsets,
// and the pixel whose index is stored one bit short for `subset`. Exposed for the tests.
int SubsetOf(int subsets, int partition, int pixel);
int AnchorOf(int subsets, int partition, int subset);

} // namespace bc7
