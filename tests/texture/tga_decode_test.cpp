// TGA pictures: each kind read (true colour, grey, colour-mapped; raw and run-length; the four row and column
// orders), the refusals with their exact messages, and truncation sweeps of a raw and a run-length file.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/raises.h"
#include "texture/texture_error.h"
#include "texture/tga_decode.h"

namespace {

using test_support::Error;
using test_support::Raises;
using Bytes = std::vector<uint8_t>;

// The fields of a TGA header, then what follows it.
struct TgaRecipe {
    uint8_t imageType = 2;
    uint8_t pixelBits = 24;
    uint16_t width = 2;
    uint16_t height = 2;
    uint8_t descriptor = 0;
    Bytes id{};
    uint8_t mapType = 0;
    uint16_t mapFirst = 0;
    uint16_t mapLength = 0;
    uint8_t mapEntryBits = 0;
    Bytes map{};
    Bytes pixels{}; // as stored
};

Bytes BuildTga(const TgaRecipe& recipe) {
    Bytes file = {uint8_t(recipe.id.size()),
                  recipe.mapType,
                  recipe.imageType,
                  uint8_t(recipe.mapFirst),
                  uint8_t(recipe.mapFirst >> 8),
                  uint8_t(recipe.mapLength),
                  uint8_t(recipe.mapLength >> 8),
                  recipe.mapEntryBits,
                  0,
                  0,
                  0,
                  0,
                  uint8_t(recipe.width),
                  uint8_t(recipe.width >> 8),
                  uint8_t(recipe.height),
                  uint8_t(recipe.height >> 8),
                  recipe.pixelBits,
                  recipe.descriptor};
    for (const Bytes* part : {&recipe.id, &recipe.map, &recipe.pixels}) {
        file.insert(file.end(), part->begin(), part->end());
    }
    return file;
}

// The decoded pixels as RGBA quadruples, top row first.
std::vector<uint32_t> Pixels(const RgbaImage& image) {
    std::vector<uint32_t> pixels;
    for (size_t at = 0; at < image.pixels.size(); at += 4) {
        pixels.push_back(uint32_t(image.pixels[at]) << 24 | uint32_t(image.pixels[at + 1]) << 16 |
                         uint32_t(image.pixels[at + 2]) << 8 | image.pixels[at + 3]);
    }
    return pixels;
}

constexpr uint32_t kRed = 0xFF0000FF, kGreen = 0x00FF00FF, kBlue = 0x0000FFFF, kWhite = 0xFFFFFFFF;

// Four pixels stored blue, green, red: in file order red, green, blue, white.
const Bytes kFourBgr = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255};

TEST(TgaDecode, EachKindAndOrderReadsItsPixels) {
    TgaRecipe withFooter;
    withFooter.pixels = kFourBgr;
    const char footer[] = "\0\0\0\0\0\0\0\0TRUEVISION-XFILE.";
    withFooter.pixels.insert(withFooter.pixels.end(), footer, footer + sizeof footer);
    const struct {
        const char* what;
        TgaRecipe recipe;
        uint16_t width;
        std::vector<uint32_t> pixels; // top row first
    } cases[] = {
        // Rows bottom first unless the descriptor says top first; columns right first when it says so.
        {"24-bit, bottom row first", {.pixels = kFourBgr}, 2, {kBlue, kWhite, kRed, kGreen}},
        {"top row first", {.descriptor = 0x20, .pixels = kFourBgr}, 2, {kRed, kGreen, kBlue, kWhite}},
        {"right column first", {.descriptor = 0x30, .pixels = kFourBgr}, 2, {kGreen, kRed, kWhite, kBlue}},
        {"bottom row and right column first",
         {.descriptor = 0x10, .pixels = kFourBgr},
         2,
         {kWhite, kBlue, kGreen, kRed}},
        {"image ID and a colour map that true colour does not use are stepped over",
         {.descriptor = 0x20,
          .id = {'i', 'd'},
          .mapType = 1,
          .mapLength = 2,
          .mapEntryBits = 15,
          .map = {1, 2, 3, 4},
          .pixels = kFourBgr},
         2,
         {kRed, kGreen, kBlue, kWhite}},
        {"the footer of TGA 2.0 is not needed, and ignored when there",
         withFooter,
         2,
         {kBlue, kWhite, kRed, kGreen}},
        {"32-bit keeps its alpha",
         {.pixelBits = 32, .width = 2, .height = 1, .descriptor = 0x28, .pixels = {1, 2, 3, 0, 4, 5, 6, 128}},
         2,
         {0x03020100, 0x06050480}},
        {"32-bit with every alpha zero is opaque",
         {.pixelBits = 32, .width = 2, .height = 1, .pixels = {1, 2, 3, 0, 4, 5, 6, 0}},
         2,
         {0x030201FF, 0x060504FF}},
        {"8-bit grey",
         {.imageType = 3, .pixelBits = 8, .width = 3, .height = 1, .pixels = {0, 128, 255}},
         3,
         {0x000000FF, 0x808080FF, kWhite}},
        {"colour-mapped, 24-bit entries from index 5",
         {.imageType = 1,
          .pixelBits = 8,
          .width = 3,
          .height = 1,
          .mapType = 1,
          .mapFirst = 5,
          .mapLength = 2,
          .mapEntryBits = 24,
          .map = {0, 0, 255, 255, 0, 0},
          .pixels = {6, 5, 6}},
         3,
         {kBlue, kRed, kBlue}},
        {"colour-mapped, 32-bit entries",
         {.imageType = 1,
          .pixelBits = 8,
          .width = 2,
          .height = 1,
          .mapType = 1,
          .mapLength = 1,
          .mapEntryBits = 32,
          .map = {10, 20, 30, 40},
          .pixels = {0, 0}},
         2,
         {0x1E140A28, 0x1E140A28}},
        // Run-length packets: a run of 3 then 1 raw pixel, across the rows.
        {"run-length 24-bit",
         {.imageType = 10, .descriptor = 0x20, .pixels = {0x82, 0, 0, 255, 0x00, 255, 255, 255}},
         2,
         {kRed, kRed, kRed, kWhite}},
        {"run-length 32-bit, raw packet first",
         {.imageType = 10,
          .pixelBits = 32,
          .width = 3,
          .height = 1,
          .pixels = {0x01, 1, 2, 3, 4, 5, 6, 7, 8, 0x80, 9, 9, 9, 9}},
         3,
         {0x03020104, 0x07060508, 0x09090909}},
        {"run-length grey, a run past the last pixel cut there",
         {.imageType = 11, .pixelBits = 8, .width = 3, .height = 1, .pixels = {0x00, 7, 0xFF, 200}},
         3,
         {0x070707FF, 0xC8C8C8FF, 0xC8C8C8FF}},
        {"run-length colour-mapped",
         {.imageType = 9,
          .pixelBits = 8,
          .width = 4,
          .height = 1,
          .mapType = 1,
          .mapLength = 2,
          .mapEntryBits = 24,
          .map = {0, 255, 0, 255, 255, 255},
          .pixels = {0x81, 0, 0x01, 1, 0}},
         4,
         {kGreen, kGreen, kWhite, kGreen}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const RgbaImage image = DecodeTga(BuildTga(c.recipe));
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.pixels.size() / c.width);
        EXPECT_EQ(Pixels(image), c.pixels);
    }
}

TEST(TgaDecode, RefusesWhatItCannotShowAndSaysWhy) {
    const struct {
        const char* what;
        TgaRecipe recipe;
        std::string message;
    } cases[] = {
        {"no image",
         {.imageType = 0},
         "not a TGA image this program shows: image type 0 (it shows types 1, 2, 3, 9, "
         "10 and 11)"},
        {"run-length without a kind",
         {.imageType = 8},
         "not a TGA image this program shows: image type 8 (it shows "
         "types 1, 2, 3, 9, 10 and 11)"},
        {"Huffman-coded",
         {.imageType = 32},
         "not a TGA image this program shows: image type 32 (it shows types 1, "
         "2, 3, 9, 10 and 11)"},
        {"16-bit true colour",
         {.pixelBits = 16},
         "not a TGA image this program shows: 16-bit true colour (it "
         "shows 24 and 32 bits)"},
        {"16-bit grey",
         {.imageType = 3, .pixelBits = 16},
         "not a TGA image this program shows: 16-bit grey (it "
         "shows 8 bits)"},
        {"16-bit indexes",
         {.imageType = 1,
          .pixelBits = 16,
          .mapType = 1,
          .mapLength = 1,
          .mapEntryBits = 24,
          .map = {1, 2, 3}},
         "not a TGA image this program shows: 16-bit colour indexes (it shows 8 bits)"},
        {"16-bit colour map entries",
         {.imageType = 1, .pixelBits = 8, .mapType = 1, .mapLength = 1, .mapEntryBits = 16, .map = {1, 2}},
         "not a TGA image this program shows: 16-bit colour map entries (it shows 24 and 32 bits)"},
        {"colour map type 2", {.mapType = 2}, "damaged TGA file: colour map type 2 (expected 0 or 1)"},
        {"colour-mapped without a map",
         {.imageType = 1, .pixelBits = 8},
         "damaged TGA file: a colour-mapped picture without a colour map"},
        {"no width", {.width = 0, .height = 5}, "damaged TGA file: no pixels (width 0, height 5)"},
        {"no height", {.width = 7, .height = 0}, "damaged TGA file: no pixels (width 7, height 0)"},
        {"a map longer than the file",
         {.id = {1, 2, 3}, .mapType = 1, .mapLength = 300, .mapEntryBits = 32},
         "damaged TGA file: its header, image ID and colour map need 1221 bytes, 21 are present"},
        {"the largest picture from a few bytes",
         {.width = 65535, .height = 65535, .pixels = kFourBgr},
         "damaged TGA file: its pixels need 12884508675 bytes after the colour map, 12 are present"},
        {"run-length packets for a few of many pixels",
         {.imageType = 10, .width = 65535, .height = 65535, .pixels = {0xFF, 1, 2, 3, 0xFF, 1, 2, 3}},
         "damaged TGA file: its run-length packets end after 256 of its 4294836225 pixels"},
        {"an index outside the map",
         {.imageType = 1,
          .pixelBits = 8,
          .width = 2,
          .height = 1,
          .mapType = 1,
          .mapFirst = 4,
          .mapLength = 1,
          .mapEntryBits = 24,
          .map = {1, 2, 3},
          .pixels = {4, 5}},
         "damaged TGA file: colour index 5 is outside its colour map of 1 entries from 4"},
        {"an index below the map's first",
         {.imageType = 9,
          .pixelBits = 8,
          .width = 2,
          .height = 1,
          .mapType = 1,
          .mapFirst = 4,
          .mapLength = 1,
          .mapEntryBits = 24,
          .map = {1, 2, 3},
          .pixels = {0x81, 3}},
         "damaged TGA file: colour index 3 is outside its colour map of 1 entries from 4"},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(Raises([&] { DecodeTga(BuildTga(c.recipe)); }, Error<ETextureError>(c.message)))
            << c.what;
    }
}

// Every length short of the whole file is refused with the message for what is missing; the whole file reads.
TEST(TgaDecode, TruncationSweep) {
    const TgaRecipe raw{.id = {'x'},
                        .mapType = 1,
                        .mapLength = 2,
                        .mapEntryBits = 24,
                        .map = Bytes(6, 9),
                        .pixels = kFourBgr};
    const Bytes rawFile = BuildTga(raw);
    constexpr size_t kPixelsAt = 18 + 1 + 6;
    ASSERT_EQ(rawFile.size(), kPixelsAt + 12);
    for (size_t length = 0; length < rawFile.size(); ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        const Bytes cut(rawFile.begin(), rawFile.begin() + std::ptrdiff_t(length));
        const std::string present = std::to_string(length);
        const std::string reason =
            length < 18          ? "damaged TGA file: " + present + " bytes cannot hold its 18-byte header"
            : length < kPixelsAt ? "damaged TGA file: its header, image ID and colour map need 25 bytes, " +
                                       present + " are present"
                                 : "damaged TGA file: its pixels need 12 bytes after the colour map, " +
                                       std::to_string(length - kPixelsAt) + " are present";
        EXPECT_TRUE(Raises([&] { DecodeTga(cut); }, Error<ETextureError>(reason)));
    }
    EXPECT_EQ(DecodeTga(rawFile).width, 2u);

    // Run-length: a run of 2, then 2 raw pixels; each packet counts only once it is whole.
    const TgaRecipe packed{.imageType = 10, .pixels = {0x81, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9}};
    const Bytes packedFile = BuildTga(packed);
    for (size_t length = 18; length < packedFile.size(); ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        const Bytes cut(packedFile.begin(), packedFile.begin() + std::ptrdiff_t(length));
        const int covered = length < 18 + 4 ? 0 : 2;
        EXPECT_TRUE(Raises([&] { DecodeTga(cut); },
                           Error<ETextureError>("damaged TGA file: its run-length packets end after " +
                                                std::to_string(covered) + " of its 4 pixels")));
    }
    EXPECT_EQ(Pixels(DecodeTga(packedFile)),
              (std::vector<uint32_t>{0x060504FF, 0x090807FF, 0x030201FF, 0x030201FF}));
}

} // namespace
