#pragma once
// Decoders of one 4×4 block of the BC1 to BC5 formats. Each reads exactly its block (8 or 16 bytes) and
// writes 16 RGBA8 pixels (64 bytes) in rows, top-left first. Every bit pattern is a valid block.
#include <cstdint>

// BC1 (DXT1). With `allowOneBitAlpha` (BC1 itself) a block whose first colour is not above the second has
// three colours and transparent black; without it (the colour half of BC2 and BC3) it always has four.
void DecodeBc1Block(const uint8_t* block, uint8_t* rgba, bool allowOneBitAlpha = true);
// BC2 (DXT3): 4-bit alpha per pixel, then a BC1 colour block.
void DecodeBc2Block(const uint8_t* block, uint8_t* rgba);
// BC3 (DXT5): an interpolated alpha block, then a BC1 colour block.
void DecodeBc3Block(const uint8_t* block, uint8_t* rgba);
// BC4 (ATI1): one channel, shown as grey with full alpha. Signed values -127…127 are shown as 0…255.
void DecodeBc4Block(const uint8_t* block, uint8_t* rgba, bool isSigned);
// BC5 (ATI2): two channels in red and green; blue is the third component of the unit normal they describe
// (normal maps are what BC5 holds), alpha is full.
void DecodeBc5Block(const uint8_t* block, uint8_t* rgba, bool isSigned);
