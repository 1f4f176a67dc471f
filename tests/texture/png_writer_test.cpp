// The PNG writer: the file is read back chunk by chunk (signature, CRCs, IHDR, the inflated and unfiltered
// rows) and must give back the pixels exactly.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "tests/raises.h"
#include "texture/png_writer.h"
#include "texture/texture_error.h"

namespace {

using test_support::Error;
using test_support::Raises;

uint32_t ReadBigEndian(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 |
           bytes[at + 3];
}

// Reads a PNG as EncodePng writes it (8-bit RGBA, Sub-filtered rows); fails the test on any inconsistency.
RgbaImage ReadPng(const std::vector<uint8_t>& png) {
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(png.size() >= 8 && std::equal(signature, signature + 8, png.begin()));
    RgbaImage image;
    std::vector<uint8_t> compressed;
    std::vector<std::string> types;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = ReadBigEndian(png, at);
        const std::string type(png.begin() + std::ptrdiff_t(at + 4), png.begin() + std::ptrdiff_t(at + 8));
        EXPECT_LE(at + 12 + length, png.size());
        const uint32_t crc = uint32_t(crc32(0, png.data() + at + 4, 4 + length));
        EXPECT_EQ(ReadBigEndian(png, at + 8 + length), crc) << type;
        if (type == "IHDR") {
            image.width = ReadBigEndian(png, at + 8);
            image.height = ReadBigEndian(png, at + 12);
            EXPECT_EQ(png[at + 16], 8);
            EXPECT_EQ(png[at + 17], 6);
        } else if (type == "IDAT") {
            compressed.insert(compressed.end(), png.begin() + std::ptrdiff_t(at + 8),
                              png.begin() + std::ptrdiff_t(at + 8 + length));
        }
        types.push_back(type);
        at += 12 + length;
    }
    EXPECT_EQ(types.front(), "IHDR");
    EXPECT_EQ(types.back(), "IEND");
    const size_t rowBytes = size_t{image.width} * 4;
    std::vector<uint8_t> filtered((rowBytes + 1) * image.height);
    uLongf filteredLength = uLongf(filtered.size());
    EXPECT_EQ(uncompress(filtered.data(), &filteredLength, compressed.data(), uLong(compressed.size())),
              Z_OK);
    EXPECT_EQ(filteredLength, filtered.size());
    for (uint32_t y = 0; y < image.height; ++y) {
        const uint8_t* row = filtered.data() + y * (rowBytes + 1);
        EXPECT_EQ(row[0], 1) << "Sub filter";
        for (size_t i = 0; i < rowBytes; ++i) {
            const uint8_t left = i >= 4 ? image.pixels[y * rowBytes + i - 4] : 0;
            image.pixels.push_back(uint8_t(row[1 + i] + left));
        }
    }
    return image;
}

TEST(PngWriter, RoundTripsPixelsExactly) {
    for (auto [width, height] : {std::pair{1u, 1u}, {3u, 2u}, {64u, 33u}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        RgbaImage image;
        image.width = width;
        image.height = height;
        for (uint32_t i = 0; i < width * height * 4; ++i) {
            image.pixels.push_back(uint8_t(i * 37 + i / 7));
        }
        const RgbaImage back = ReadPng(EncodePng(image));
        EXPECT_EQ(back.width, width);
        EXPECT_EQ(back.height, height);
        EXPECT_EQ(back.pixels, image.pixels);
    }
}

TEST(PngWriter, RefusesPixelsThatDoNotMatchTheSize) {
    RgbaImage image;
    image.width = 2;
    image.height = 2;
    image.pixels.resize(15);
    EXPECT_TRUE(Raises([&] { EncodePng(image); },
                       Error<ETextureError>("cannot write a PNG of 2\u00d72 pixels from 15 bytes")));
    image.width = 0;
    image.pixels.clear();
    EXPECT_TRUE(Raises([&] { EncodePng(image); },
                       Error<ETextureError>("cannot write a PNG of 0\u00d72 pixels from 0 bytes")));
}

} // namespace
