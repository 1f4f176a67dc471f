#include "texture/mip_choice.h"

uint32_t DrawnMipLevel(const DdsInfo& info, uint32_t shown, uint32_t drawnWidth, uint32_t drawnHeight) {
    uint32_t level = shown;
    while (level + 1 < info.mipCount && MipWidth(info, level + 1) >= drawnWidth &&
           MipHeight(info, level + 1) >= drawnHeight) {
        ++level;
    }
    return level;
}
