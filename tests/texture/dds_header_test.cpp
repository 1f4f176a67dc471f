// The DDS header and surface layout: every accepted kind of header, the exact reason for each refused one, a
// truncation sweep, and mip levels, cube faces and uncompressed formats decoded from where they lie.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/dds_writer.h"
#include "tests/raises.h"
#include "texture/dds_decode.h"
#include "texture/dds_header.h"
#include "texture/texture_error.h"

namespace {

using test_support::Error;
using test_support::Raises;

using fixture::Bytes;
using fixture::DdsSpec;
using fixture::FourCc;

DdsSpec FourCcSpec(const char (&code)[5], uint32_t width, uint32_t height, size_t dataBytes) {
    DdsSpec ddsRecipe;
    ddsRecipe.width = width;
    ddsRecipe.height = height;
    ddsRecipe.fourCc = FourCc(code);
    ddsRecipe.data.assign(dataBytes, 0);
    return ddsRecipe;
}

DdsSpec Dx10Spec(uint32_t dxgiFormat, uint32_t width, uint32_t height, size_t dataBytes) {
    DdsSpec ddsRecipe = FourCcSpec("DX10", width, height, dataBytes);
    ddsRecipe.dxgiFormat = dxgiFormat;
    return ddsRecipe;
}

DdsSpec MaskedSpec(uint32_t flags, uint32_t bits, std::array<uint32_t, 4> masks, uint32_t width,
                   uint32_t height) {
    DdsSpec ddsRecipe;
    ddsRecipe.width = width;
    ddsRecipe.height = height;
    ddsRecipe.formatFlags = flags;
    ddsRecipe.bitCount = bits;
    ddsRecipe.masks = masks;
    ddsRecipe.data.assign(size_t{width} * height * bits / 8, 0);
    return ddsRecipe;
}

struct AcceptedCase {
    std::string name;
    DdsSpec ddsRecipe;
    std::string formatName;
    TextureFormat format;
    uint32_t layers;
    uint32_t mips;
    size_t dataOffset;
};

TEST(DdsHeader, AcceptedHeaders) {
    DdsSpec mipped = FourCcSpec("DXT5", 8, 4, 32 + 16 + 16 + 16); // 8×4, 4×2, 2×1, 1×1
    mipped.mipCount = 4;
    DdsSpec cube = FourCcSpec("DXT1", 4, 4, 6 * 8);
    cube.caps2 = fixture::kDdsCubeMap | fixture::kDdsAllFaces;
    DdsSpec partialCube = FourCcSpec("DXT1", 4, 4, 3 * 8);
    partialCube.caps2 = fixture::kDdsCubeMap | 0x400 | 0x1000 | 0x4000;
    DdsSpec cubeArray = Dx10Spec(98, 4, 4, 12 * 16);
    cubeArray.miscFlag = 0x4;
    cubeArray.arraySize = 2;
    DdsSpec array = Dx10Spec(71, 4, 4, 3 * 8);
    array.arraySize = 3;
    const std::vector<AcceptedCase> cases = {
        {"dxt1", FourCcSpec("DXT1", 4, 4, 8), "BC1 (DXT1)", TextureFormat::kBc1, 1, 1, 128},
        {"dxt3", FourCcSpec("DXT3", 4, 4, 16), "BC2 (DXT3)", TextureFormat::kBc2, 1, 1, 128},
        {"dxt5_mips", mipped, "BC3 (DXT5)", TextureFormat::kBc3, 1, 4, 128},
        {"ati1", FourCcSpec("ATI1", 4, 4, 8), "BC4 (ATI1)", TextureFormat::kBc4Unsigned, 1, 1, 128},
        {"bc4s", FourCcSpec("BC4S", 4, 4, 8), "BC4 signed", TextureFormat::kBc4Signed, 1, 1, 128},
        {"ati2", FourCcSpec("ATI2", 4, 4, 16), "BC5 (ATI2)", TextureFormat::kBc5Unsigned, 1, 1, 128},
        {"bc5s", FourCcSpec("BC5S", 4, 4, 16), "BC5 signed", TextureFormat::kBc5Signed, 1, 1, 128},
        {"dx10_bc7", Dx10Spec(98, 4, 4, 16), "BC7", TextureFormat::kBc7, 1, 1, 148},
        {"dx10_bc7_srgb", Dx10Spec(99, 4, 4, 16), "BC7 sRGB", TextureFormat::kBc7, 1, 1, 148},
        {"dx10_bc5_snorm", Dx10Spec(84, 4, 4, 16), "BC5 signed", TextureFormat::kBc5Signed, 1, 1, 148},
        {"dx10_bc6h", Dx10Spec(95, 4, 4, 16), "BC6H", TextureFormat::kBc6hUnsigned, 1, 1, 148},
        {"dx10_bgra", Dx10Spec(87, 2, 2, 16), "B8G8R8A8", TextureFormat::kMasked, 1, 1, 148},
        {"dx10_b5g6r5", Dx10Spec(85, 2, 2, 8), "B5G6R5", TextureFormat::kMasked, 1, 1, 148},
        {"cube_all_faces", cube, "BC1 (DXT1)", TextureFormat::kBc1, 6, 1, 128},
        {"cube_three_faces", partialCube, "BC1 (DXT1)", TextureFormat::kBc1, 3, 1, 128},
        {"dx10_cube_array", cubeArray, "BC7", TextureFormat::kBc7, 12, 1, 148},
        {"dx10_array", array, "BC1", TextureFormat::kBc1, 3, 1, 148},
        {"a8r8g8b8", MaskedSpec(0x41, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 2, 2), "B8G8R8A8",
         TextureFormat::kMasked, 1, 1, 128},
        {"x8r8g8b8", MaskedSpec(0x40, 32, {0xFF0000, 0xFF00, 0xFF, 0}, 2, 2), "B8G8R8X8",
         TextureFormat::kMasked, 1, 1, 128},
        {"a8b8g8r8", MaskedSpec(0x41, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, 2, 2), "R8G8B8A8",
         TextureFormat::kMasked, 1, 1, 128},
        {"r8g8b8", MaskedSpec(0x40, 24, {0xFF0000, 0xFF00, 0xFF, 0}, 2, 2), "B8G8R8", TextureFormat::kMasked,
         1, 1, 128},
        {"r5g6b5", MaskedSpec(0x40, 16, {0xF800, 0x7E0, 0x1F, 0}, 2, 2), "B5G6R5", TextureFormat::kMasked, 1,
         1, 128},
        {"a1r5g5b5", MaskedSpec(0x41, 16, {0x7C00, 0x3E0, 0x1F, 0x8000}, 2, 2), "B5G5R5A1",
         TextureFormat::kMasked, 1, 1, 128},
        {"l8", MaskedSpec(0x20000, 8, {0xFF, 0, 0, 0}, 2, 2), "L8", TextureFormat::kMasked, 1, 1, 128},
        {"a8l8", MaskedSpec(0x20001, 16, {0xFF, 0, 0, 0xFF00}, 2, 2), "L8A8", TextureFormat::kMasked, 1, 1,
         128},
        {"a8", MaskedSpec(0x2, 8, {0, 0, 0, 0xFF}, 2, 2), "A8", TextureFormat::kMasked, 1, 1, 128},
    };
    for (const AcceptedCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = fixture::BuildDds(c.ddsRecipe);
        const DdsInfo info = ReadDdsHeader(file);
        EXPECT_EQ(info.formatName, c.formatName);
        EXPECT_EQ(info.format, c.format);
        EXPECT_EQ(info.layerCount, c.layers);
        EXPECT_EQ(info.mipCount, c.mips);
        EXPECT_EQ(info.dataOffset, c.dataOffset);
        EXPECT_EQ(info.dataOffset + info.layerCount * info.layerBytes, file.size())
            << "surfaces fill the file";
    }
}

// The face each layer of a cube map holds: a cube map of the classic header stores only the faces its flags
// name, so its second layer is not always -X.
TEST(DdsHeader, CubeFaceOfEachLayer) {
    const auto cubeOf = [](uint32_t faceFlags, uint32_t faces) {
        DdsSpec cube = FourCcSpec("DXT1", 4, 4, faces * 8);
        cube.caps2 = fixture::kDdsCubeMap | faceFlags;
        return cube;
    };
    DdsSpec cubeArray = Dx10Spec(98, 4, 4, 12 * 16);
    cubeArray.miscFlag = 0x4;
    cubeArray.arraySize = 2;
    const struct {
        const char* what;
        DdsSpec ddsRecipe;
        std::vector<uint32_t> faces;
    } cases[] = {
        {"all six", cubeOf(fixture::kDdsAllFaces, 6), {0, 1, 2, 3, 4, 5}},
        {"+X, +Y, +Z", cubeOf(0x400 | 0x1000 | 0x4000, 3), {0, 2, 4}},
        {"-X and -Z", cubeOf(0x800 | 0x8000, 2), {1, 5}},
        {"-Z alone", cubeOf(0x8000, 1), {5}},
        {"an array of two cubes", cubeArray, {0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5}},
    };
    for (const auto& c : cases) {
        const Bytes file = fixture::BuildDds(c.ddsRecipe);
        const DdsInfo info = ReadDdsHeader(file);
        ASSERT_TRUE(info.cubeMap) << c.what;
        ASSERT_EQ(info.layerCount, c.faces.size()) << c.what;
        for (uint32_t layer = 0; layer < info.layerCount; ++layer) {
            EXPECT_EQ(CubeFaceOfLayer(info, layer), c.faces[layer]) << c.what << ", layer " << layer;
        }
    }
}

struct RefusedCase {
    std::string name;
    Bytes file;
    std::string message;
};

Bytes Build(DdsSpec ddsRecipe) {
    return fixture::BuildDds(ddsRecipe);
}

TEST(DdsHeader, RefusedHeadersSayWhy) {
    DdsSpec badHeaderSize = FourCcSpec("DXT1", 4, 4, 8);
    badHeaderSize.headerSize = 120;
    DdsSpec tooManyMips = FourCcSpec("DXT1", 4, 4, 8 * 4);
    tooManyMips.mipCount = 4;
    DdsSpec mipsShort = FourCcSpec("DXT1", 8, 8, 32 + 8 + 8 + 8 - 1);
    mipsShort.mipCount = 4;
    DdsSpec volume = FourCcSpec("DXT1", 4, 4, 8 * 4);
    volume.caps2 = fixture::kDdsVolume;
    volume.depth = 4;
    DdsSpec hugeArray = Dx10Spec(98, 4, 4, 16);
    hugeArray.arraySize = 0xFFFFFFFF;
    DdsSpec hugeCubeArray = Dx10Spec(98, 4, 4, 16);
    hugeCubeArray.arraySize = 0x30000000;
    hugeCubeArray.miscFlag = 0x4;
    DdsSpec emptyArray = Dx10Spec(98, 4, 4, 16);
    emptyArray.arraySize = 0;
    DdsSpec cubeWithoutFaces = FourCcSpec("DXT1", 4, 4, 8);
    cubeWithoutFaces.caps2 = fixture::kDdsCubeMap;
    const Bytes dx10Cut = [] {
        Bytes file = fixture::BuildDds(Dx10Spec(98, 4, 4, 0));
        file.resize(140);
        return file;
    }();
    const std::string notShown = "not a texture this program can show: ";
    const std::vector<RefusedCase> cases = {
        {"empty", {}, "not a DDS file: it does not begin with \"DDS \""},
        {"png", {0x89, 'P', 'N', 'G', 0, 0, 0, 0}, "not a DDS file: it does not begin with \"DDS \""},
        {"header_cut",
         {'D', 'D', 'S', ' ', 124, 0, 0, 0},
         "damaged DDS file: 8 bytes cannot hold its 128-byte header"},
        {"dx10_header_cut", dx10Cut,
         "damaged DDS file: 140 bytes cannot hold its header and DX10 extension (148 bytes)"},
        {"header_size", Build(badHeaderSize),
         "damaged DDS file: header size 120 and pixel format size 32 (124 and 32 expected)"},
        {"zero_width", Build(FourCcSpec("DXT1", 0, 4, 8)),
         "damaged DDS file: size 0\u00d74 (1 to 16384 each expected)"},
        {"too_tall", Build(FourCcSpec("DXT1", 4, 16385, 8)),
         "damaged DDS file: size 4\u00d716385 (1 to 16384 each expected)"},
        {"too_many_mips", Build(tooManyMips),
         "damaged DDS file: 4 mip levels, but a 4\u00d74 texture has at most 3"},
        {"top_level_short", Build(FourCcSpec("DXT5", 8, 8, 63)),
         "damaged DDS file: its surfaces need 64 bytes after the header, 63 are present"},
        {"mips_short", Build(mipsShort),
         "damaged DDS file: its surfaces need 56 bytes after the header, 55 are present"},
        {"huge_array", Build(hugeArray),
         "damaged DDS file: its surfaces need 68719476720 bytes after the header, 16 are present"},
        {"huge_cube_array", Build(hugeCubeArray), "damaged DDS file: an array of 805306368 cube maps"},
        {"empty_array", Build(emptyArray), "damaged DDS file: an array of 0 textures"},
        {"cube_without_faces", Build(cubeWithoutFaces), "damaged DDS file: a cube map without faces"},
        {"volume", Build(volume), notShown + "a volume texture"},
        {"unknown_fourcc", Build(FourCcSpec("RXGB", 4, 4, 16)), notShown + "FourCC \"RXGB\" (1111971922)"},
        {"unknown_dxgi", Build(Dx10Spec(2, 4, 4, 64)), notShown + "DXGI format 2"},
        {"overlapping_masks", Build(MaskedSpec(0x41, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF}, 2, 2)),
         notShown + "channel masks that do not fit a 32-bit pixel"},
        {"mask_beyond_pixel", Build(MaskedSpec(0x40, 16, {0xFF0000, 0xFF00, 0xFF, 0}, 2, 2)),
         notShown + "channel masks that do not fit a 16-bit pixel"},
        {"odd_bit_count", Build(MaskedSpec(0x40, 12, {0xF00, 0xF0, 0xF, 0}, 2, 2)),
         notShown + "uncompressed pixels of 12 bits (8, 16, 24 or 32 expected)"},
        {"no_format", Build(MaskedSpec(0, 32, {}, 2, 2)),
         notShown + "pixel format flags 0 name no format it knows"},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(Raises([&] { ReadDdsHeader(c.file); }, Error<ETextureError>(c.message)));
    }
}

// A good texture with mips and faces cut at every length: refused at every length but the whole, with the
// reason of the part the cut falls in.
TEST(DdsHeader, TruncationSweep) {
    DdsSpec ddsRecipe = Dx10Spec(98, 8, 8, 6 * (64 + 16 + 16 + 16));
    ddsRecipe.mipCount = 4;
    ddsRecipe.miscFlag = 0x4;
    const Bytes whole = fixture::BuildDds(ddsRecipe);
    constexpr size_t kHeaderEnd = 128;
    constexpr size_t kExtensionEnd = 148;
    ASSERT_EQ(whole.size(), kExtensionEnd + 672);
    for (size_t length = 0; length < whole.size(); ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        const Bytes cut(whole.begin(), whole.begin() + std::ptrdiff_t(length));
        const std::string cutLength = std::to_string(length);
        const std::string reason =
            length < 4 ? "not a DDS file: it does not begin with \"DDS \""
            : length < kHeaderEnd
                ? "damaged DDS file: " + cutLength + " bytes cannot hold its 128-byte header"
            : length < kExtensionEnd ? "damaged DDS file: " + cutLength +
                                           " bytes cannot hold its header and DX10 extension (148 bytes)"
                                     : "damaged DDS file: its surfaces need 672 bytes after the header, " +
                                           std::to_string(length - kExtensionEnd) + " are present";
        EXPECT_TRUE(Raises([&] { DecodeDdsSurface(cut, 5, 3); }, Error<ETextureError>(reason)));
    }
    EXPECT_EQ(DecodeDdsSurface(whole, 5, 3).width, 1u);
}

// Each mip level of each face filled with its own colour: decoding a surface reads its own blocks.
TEST(DdsSurface, MipLevelsAndFacesComeFromTheirOwnBytes) {
    // A 5×3 texture: mips 5×3 (2×1 blocks), 2×1 (1 block), 1×1 (1 block); three faces.
    DdsSpec ddsRecipe = FourCcSpec("DXT1", 5, 3, 0);
    ddsRecipe.mipCount = 3;
    ddsRecipe.caps2 = fixture::kDdsCubeMap | 0x400 | 0x800 | 0x1000;
    auto colour = [](uint32_t face, uint32_t mip) { return uint16_t((face * 3 + mip + 1) << 11); };
    for (uint32_t face = 0; face < 3; ++face) {
        for (uint32_t mip = 0; mip < 3; ++mip) {
            const int blocks = mip == 0 ? 2 : 1;
            for (int b = 0; b < blocks; ++b) {
                const Bytes block = fixture::Bc1Block(colour(face, mip), 0, {});
                ddsRecipe.data.insert(ddsRecipe.data.end(), block.begin(), block.end());
            }
        }
    }
    const Bytes file = fixture::BuildDds(ddsRecipe);
    for (uint32_t face = 0; face < 3; ++face) {
        for (uint32_t mip = 0; mip < 3; ++mip) {
            SCOPED_TRACE("face " + std::to_string(face) + " mip " + std::to_string(mip));
            const RgbaImage image = DecodeDdsSurface(file, face, mip);
            EXPECT_EQ(image.width, mip == 0 ? 5u : mip == 1 ? 2u : 1u);
            EXPECT_EQ(image.height, mip == 0 ? 3u : 1u);
            ASSERT_EQ(image.pixels.size(), size_t{image.width} * image.height * 4);
            const uint32_t red = colour(face, mip) >> 11;
            for (size_t i = 0; i < image.pixels.size(); i += 4) {
                ASSERT_EQ(image.pixels[i], (red << 3 | red >> 2)) << "pixel " << i / 4;
            }
        }
    }
    EXPECT_TRUE(
        Raises([&] { DecodeDdsSurface(file, 3, 0); },
               Error<ETextureError>("the texture has no face 3, mip level 0 (it has 3 faces and 3 mip "
                                    "levels)")));
}

TEST(DdsSurface, Bc6hIsDescribedButNotShown) {
    const Bytes file = fixture::BuildDds(Dx10Spec(95, 4, 4, 16));
    EXPECT_TRUE(Raises([&] { DecodeDdsSurface(file); }, Error<ETextureError>("BC6H textures are not shown")));
}

// Uncompressed pixels of each layout decode to the same colour: a half-transparent orange (or grey).
TEST(DdsSurface, UncompressedFormats) {
    struct MaskedCase {
        std::string name;
        DdsSpec ddsRecipe;
        Bytes pixel; // one pixel, repeated over the 3×2 texture
        std::array<int, 4> rgba;
    };
    auto ddsRecipe = [](uint32_t flags, uint32_t bits, std::array<uint32_t, 4> masks) {
        DdsSpec s = MaskedSpec(flags, bits, masks, 3, 2);
        s.data.clear();
        return s;
    };
    const std::vector<MaskedCase> cases = {
        {"b8g8r8a8",
         ddsRecipe(0x41, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}),
         {0x10, 0x80, 0xFF, 0x7F},
         {255, 128, 16, 127}},
        {"b8g8r8x8",
         ddsRecipe(0x40, 32, {0xFF0000, 0xFF00, 0xFF, 0}),
         {0x10, 0x80, 0xFF, 0x00},
         {255, 128, 16, 255}},
        {"r8g8b8a8",
         ddsRecipe(0x41, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}),
         {0xFF, 0x80, 0x10, 0x7F},
         {255, 128, 16, 127}},
        {"b8g8r8", ddsRecipe(0x40, 24, {0xFF0000, 0xFF00, 0xFF, 0}), {0x10, 0x80, 0xFF}, {255, 128, 16, 255}},
        // 5 and 6 bits widened with rounding: 31 → 255, 32/63 → 130, 2/31 → 16.
        {"b5g6r5", ddsRecipe(0x40, 16, {0xF800, 0x7E0, 0x1F, 0}), {0x02, 0xFC}, {255, 130, 16, 255}},
        {"b4g4r4a4", ddsRecipe(0x41, 16, {0xF00, 0xF0, 0xF, 0xF000}), {0x81, 0x7F}, {255, 136, 17, 119}},
        {"l8", ddsRecipe(0x20000, 8, {0xFF, 0, 0, 0}), {0x66}, {0x66, 0x66, 0x66, 255}},
        {"l8a8", ddsRecipe(0x20001, 16, {0xFF, 0, 0, 0xFF00}), {0x66, 0x80}, {0x66, 0x66, 0x66, 0x80}},
        {"a8", ddsRecipe(0x2, 8, {0, 0, 0, 0xFF}), {0x80}, {0, 0, 0, 0x80}},
    };
    for (MaskedCase c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 0; i < 6; ++i) {
            c.ddsRecipe.data.insert(c.ddsRecipe.data.end(), c.pixel.begin(), c.pixel.end());
        }
        const RgbaImage image = DecodeDdsSurface(fixture::BuildDds(c.ddsRecipe));
        ASSERT_EQ(image.pixels.size(), 24u);
        for (size_t i = 0; i < 24; i += 4) {
            const std::array<int, 4> got = {image.pixels[i], image.pixels[i + 1], image.pixels[i + 2],
                                            image.pixels[i + 3]};
            EXPECT_EQ(got, c.rgba) << "pixel " << i / 4;
        }
    }
}

// A large surface is cut into bands of rows for several threads: every band lands where one thread puts it,
// including a last band that ends in a partial row of blocks and rows that do not divide evenly. With a
// cancel flag (left down), each band goes in steps of a few rows, which must join up just as well.
TEST(DdsSurface, ThreadsGiveTheSamePixelsAsOne) {
    DdsSpec bc7 = Dx10Spec(98, 1000, 522, 0);
    bc7.data = fixture::RandomBlocks(16, size_t{250} * 131, 3, true);
    DdsSpec masked = MaskedSpec(0x41, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 700, 401);
    masked.data = fixture::RandomBlocks(4, size_t{700} * 401, 5);
    for (const DdsSpec& ddsRecipe : {bc7, masked}) {
        const Bytes file = fixture::BuildDds(ddsRecipe);
        const DdsInfo info = ReadDdsHeader(file);
        const RgbaImage one = DecodeDdsSurface(info, file, 0, 0, 1);
        for (unsigned threads : {2u, 3u, 7u}) {
            EXPECT_TRUE(DecodeDdsSurface(info, file, 0, 0, threads).pixels == one.pixels)
                << info.formatName << ", " << threads << " threads";
        }
        const std::atomic<bool> down{false};
        for (unsigned threads : {1u, 3u}) {
            EXPECT_TRUE(DecodeDdsSurface(info, file, 0, 0, threads, &down).pixels == one.pixels)
                << info.formatName << ", " << threads << " threads, cancel flag down";
        }
    }
}

} // namespace
