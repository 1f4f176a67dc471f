// The level a texture is drawn from: the smallest from the level shown on that is still as large as it is
// drawn, both ways.
#include <gtest/gtest.h>

#include "texture/mip_choice.h"

namespace {

DdsInfo Texture(uint32_t width, uint32_t height, uint32_t mipCount) {
    DdsInfo info;
    info.width = width;
    info.height = height;
    info.mipCount = mipCount;
    return info;
}

TEST(DrawnMipLevel, SmallestLevelAsLargeAsDrawn) {
    const struct {
        const char* what;
        DdsInfo texture;
        uint32_t shown;
        uint32_t drawnWidth, drawnHeight;
        uint32_t level;
    } cases[] = {
        {"fitted into a window", Texture(4096, 4096, 13), 0, 500, 500, 3},
        {"exactly a level's size", Texture(4096, 4096, 13), 0, 512, 512, 3},
        {"one pixel more", Texture(4096, 4096, 13), 0, 513, 512, 2},
        {"at its own size", Texture(4096, 4096, 13), 0, 4096, 4096, 0},
        {"zoomed in", Texture(4096, 4096, 13), 0, 8192, 8192, 0},
        {"never larger than the level shown", Texture(4096, 4096, 13), 5, 500, 500, 5},
        {"from a smaller level shown", Texture(4096, 4096, 13), 2, 100, 100, 5},
        {"down to one pixel", Texture(4096, 4096, 13), 0, 1, 1, 12},
        {"one level only", Texture(4096, 4096, 1), 0, 100, 100, 0},
        {"fewer levels than the full chain", Texture(4096, 4096, 3), 0, 100, 100, 2},
        {"wide: the height decides", Texture(1024, 256, 11), 0, 300, 130, 0},
        {"wide: both fit", Texture(1024, 256, 11), 0, 300, 75, 1},
        {"tall: the width decides", Texture(64, 1024, 11), 0, 17, 100, 1},
        {"sides held at one pixel", Texture(8, 2, 4), 0, 1, 1, 3},
        {"a side held at one is still as large", Texture(8, 2, 4), 0, 2, 1, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DrawnMipLevel(c.texture, c.shown, c.drawnWidth, c.drawnHeight), c.level) << c.what;
    }
}

} // namespace
