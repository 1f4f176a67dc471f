#pragma once
// Which mip level to draw a texture from when a level of it is shown smaller than its own size.
#include <cstdint>

#include "texture/dds_header.h"

// The level to decode when level `shown` of the texture is drawn at drawnWidth × drawnHeight pixels: the
// smallest level from `shown` on that is still at least that large both ways, so that, made smaller to the
// drawn size, it looks the same as `shown` would and takes a fraction of the decoding (a 4096×4096 texture
// fitted into a window of 500 pixels draws from 512×512). `shown` itself when it is drawn at its size or
// larger, or when no smaller level is stored. `shown` must be below info.mipCount.
uint32_t DrawnMipLevel(const DdsInfo& info, uint32_t shown, uint32_t drawnWidth, uint32_t drawnHeight);
