#pragma once
// TGA pictures for the preview: true colour of 24 and 32 bits, grey of 8 bits and colour-mapped pictures of
// 8-bit indexes into a map of 24- or 32-bit colours, stored raw or in run-length packets, in any of the four
// row and column orders. The footer of TGA 2.0 and its extension area are neither needed nor read.
#include <cstdint>
#include <span>

#include "texture/dds_decode.h"

// The picture in the TGA file `file`, top row first. A 32-bit picture keeps its alpha unless every alpha
// byte is zero (writers that leave the fourth byte unused fill it so): it is then opaque, as are the others.
// Raises ETextureError when the file is not a TGA picture of these kinds or is damaged: cut short, run-length
// packets that do not cover the picture, a colour index outside the map. Everything is checked before the
// result is allocated, whose size the bytes present bound; nothing outside `file` is read.
RgbaImage DecodeTga(std::span<const uint8_t> file);
