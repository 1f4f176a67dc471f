#pragma once
// A minimal PNG encoder for decoded textures: 8-bit RGBA, no interlacing, one IDAT chunk, compressed with
// zlib.
#include <cstdint>
#include <vector>

#include "texture/dds_decode.h"

// The PNG file of `image` (width and height at least 1, pixels width × height × 4 bytes). Rows are filtered
// with the "Sub" filter, which suits smooth texture content. Raises ETextureError when zlib fails or the
// image is malformed; running out of memory lets the allocator's exception pass.
std::vector<uint8_t> EncodePng(const RgbaImage& image);
