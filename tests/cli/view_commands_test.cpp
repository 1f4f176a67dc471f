// `cat` and `render` on archives built by the test writers: the bytes `cat` writes, the PNG `render` writes
// for each mip level and face, and the reasons both give when they cannot.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/view_commands.h"
#include "fixtures/bsa_writer.h"
#include "fixtures/dds_writer.h"
#include "fixtures/temp_folder.h"
#include "tests/cli/cli_process.h"

namespace {

using fixture::Bytes;
using fixture::TempFolder;

// A BC1 cube map of 8×4 with 4 mips; every level of every face filled with its own red level.
Bytes CubeTexture() {
    fixture::DdsSpec ddsRecipe;
    ddsRecipe.width = 8;
    ddsRecipe.height = 4;
    ddsRecipe.mipCount = 4;
    ddsRecipe.caps2 = fixture::kDdsCubeMap | fixture::kDdsAllFaces;
    for (int face = 0; face < 6; ++face) {
        for (int mip = 0; mip < 4; ++mip) {
            const Bytes block = fixture::Bc1Block(uint16_t((face * 4 + mip + 1) << 11), 0, {});
            for (int b = 0; b < (mip == 0 ? 2 : 1); ++b) {
                ddsRecipe.data.insert(ddsRecipe.data.end(), block.begin(), block.end());
            }
        }
    }
    return fixture::BuildDds(ddsRecipe);
}

fixture::ArchiveSpec TextureArchive(uint32_t version) {
    const fixture::Storage packed = version == 105 ? fixture::Storage::Lz4Frame : fixture::Storage::Zlib;
    fixture::ArchiveSpec recipe;
    recipe.version = version;
    recipe.folders = {{"textures\\sky", {{"cube.dds", CubeTexture(), packed}}},
                      {"interface", {{"notes.txt", fixture::CompressibleBytes(3000, 1), packed}}}};
    return recipe;
}

// What a FILE* received, read back from a temporary file.
class Capture {
public:
    Capture() : file_(std::tmpfile()) {}
    ~Capture() { std::fclose(file_); }
    FILE* File() const { return file_; }
    std::string Text() const {
        std::fflush(file_);
        std::rewind(file_);
        std::string text;
        for (int c; (c = std::fgetc(file_)) != EOF;) {
            text += char(c);
        }
        return text;
    }

private:
    FILE* file_;
};

// Width and height of a PNG as EncodePng writes it (IHDR first).
struct PngSize {
    uint32_t width;
    uint32_t height;
};
PngSize ReadPngSize(const Bytes& png) {
    auto word = [&](size_t at) {
        return uint32_t{png.at(at)} << 24 | uint32_t{png.at(at + 1)} << 16 | uint32_t{png.at(at + 2)} << 8 |
               png.at(at + 3);
    };
    return {word(16), word(20)};
}

TEST(CliCat, WritesTheEntryBytesOfEitherVersion) {
    for (uint32_t version : {104u, 105u}) {
        SCOPED_TRACE("version " + std::to_string(version));
        TempFolder dir;
        const fixture::ArchiveSpec recipe = TextureArchive(version);
        const std::u16string archive = dir.Write("a.bsa", fixture::BuildArchive(recipe));
        for (const char* entry : {"interface\\notes.txt", "TEXTURES/Sky/Cube.dds"}) {
            SCOPED_TRACE(entry);
            Capture out;
            Capture errors;
            EXPECT_EQ(CatEntry(archive, FromUtf8(entry), out.File(), errors.File()), 0);
            const Bytes& expected = std::string(entry).find("notes") != std::string::npos
                                        ? recipe.folders[1].files[0].data
                                        : recipe.folders[0].files[0].data;
            EXPECT_EQ(out.Text(), std::string(expected.begin(), expected.end()));
            EXPECT_EQ(errors.Text(), "");
        }
    }
}

TEST(CliCat, SaysWhyItCannot) {
    TempFolder dir;
    const std::u16string archive = dir.Write("a.bsa", fixture::BuildArchive(TextureArchive(105)));
    Capture out;
    Capture errors;
    EXPECT_EQ(CatEntry(archive, u"interface\\missing.txt", out.File(), errors.File()), 1);
    EXPECT_EQ(errors.Text(), "interface\\missing.txt: not found in the archive\n");
    EXPECT_EQ(out.Text(), "");
    // A name's control characters are escaped: the line cannot drive the terminal or forge another line.
    Capture errors1;
    EXPECT_EQ(CatEntry(archive, u"interface\\a\x1b[2J\nb.txt", out.File(), errors1.File()), 1);
    EXPECT_EQ(errors1.Text(), "interface\\a\\033[2J\\nb.txt: not found in the archive\n");
    Capture errors2;
    EXPECT_EQ(CatEntry(dir.U16("none.bsa"), u"a\\b.txt", out.File(), errors2.File()), 1);
    EXPECT_NE(errors2.Text().find("none.bsa"), std::string::npos) << errors2.Text();
}

TEST(CliRender, WritesEachMipAndFace) {
    TempFolder dir;
    const std::u16string archive = dir.Write("a.bsa", fixture::BuildArchive(TextureArchive(105)));
    struct Case {
        uint32_t mip, face, width, height;
    };
    for (const Case& c : {Case{0, 0, 8, 4}, Case{1, 5, 4, 2}, Case{3, 2, 1, 1}}) {
        SCOPED_TRACE("mip " + std::to_string(c.mip) + " face " + std::to_string(c.face));
        Capture errors;
        ASSERT_EQ(RenderEntry(archive, u"textures\\sky\\cube.dds", dir.U16("out.png"), c.mip, c.face,
                              errors.File()),
                  0)
            << errors.Text();
        EXPECT_EQ(errors.Text(), "BC1 (DXT1), 8\u00d74, 4 mip levels, 6 cube faces\n");
        const PngSize size = ReadPngSize(fixture::ReadWholeFile(dir / "out.png"));
        EXPECT_EQ(size.width, c.width);
        EXPECT_EQ(size.height, c.height);
    }
}

TEST(CliRender, SaysWhyItCannotAndLeavesNoFile) {
    TempFolder dir;
    const std::u16string archive = dir.Write("a.bsa", fixture::BuildArchive(TextureArchive(104)));
    struct Case {
        const char* entry;
        uint32_t mip, face;
        std::string message;
    };
    const Case cases[] = {
        {"interface\\notes.txt", 0, 0,
         "interface\\notes.txt: not a DDS file: it does not begin with \"DDS \"\n"},
        {"textures\\sky\\cube.dds", 4, 0,
         "BC1 (DXT1), 8\u00d74, 4 mip levels, 6 cube faces\ntextures\\sky\\cube.dds: the texture has no face "
         "0, mip "
         "level 4 (it has 6 faces and 4 mip levels)\n"},
        {"textures\\sky\\cube.dds", 0, 6,
         "BC1 (DXT1), 8\u00d74, 4 mip levels, 6 cube faces\ntextures\\sky\\cube.dds: the texture has no face "
         "6, mip "
         "level 0 (it has 6 faces and 4 mip levels)\n"},
        {"textures\\sky\\none.dds", 0, 0, "textures\\sky\\none.dds: not found in the archive\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        Capture errors;
        EXPECT_EQ(RenderEntry(archive, FromUtf8(c.entry), dir.U16("out.png"), c.mip, c.face, errors.File()),
                  1);
        EXPECT_EQ(errors.Text(), c.message);
        EXPECT_FALSE(std::filesystem::exists(dir / "out.png"));
        EXPECT_FALSE(std::filesystem::exists(dir / "out.png.part"));
    }
}

// The commands through the real program: the exit status and what reaches stdout.
TEST(CliViewCommands, ThroughTheProgram) {
    TempFolder dir;
    const fixture::ArchiveSpec recipe = TextureArchive(105);
    dir.Write("a.bsa", fixture::BuildArchive(recipe));
    const auto run = [&](const std::vector<std::string>& args) {
        return cli_test::RunCliProcess(args, dir / "out", dir / "err");
    };
    const std::string archive = (dir / "a.bsa").string();
    EXPECT_EQ(run({"cat", archive, "textures\\sky\\cube.dds"}), 0);
    EXPECT_EQ(fixture::ReadWholeFile(dir / "out"), recipe.folders[0].files[0].data);
    EXPECT_EQ(run({"render", archive, "textures/sky/cube.dds", (dir / "x.png").string(), "--face", "1",
                   "--mip", "1"}),
              0);
    EXPECT_TRUE(std::filesystem::exists(dir / "x.png"));
#ifndef _WIN32
    // Paths that are not UTF-8 reach the file system byte for byte.
    std::filesystem::copy_file(dir / "a.bsa", dir / "b\xff.bsa");
    EXPECT_EQ(
        run({"render", (dir / "b\xff.bsa").string(), "textures/sky/cube.dds", (dir / "y\xfe.png").string()}),
        0);
    EXPECT_TRUE(std::filesystem::exists(dir / "y\xfe.png"));
    EXPECT_EQ(run({"cat", (dir / "b\xff.bsa").string(), "textures/sky/cube.dds"}), 0);
#endif
    EXPECT_EQ(run({"cat", archive, "textures/sky/other.dds"}), 1);
    EXPECT_EQ(run({"cat", archive}), 2);
    EXPECT_EQ(run({"render", archive, "textures/sky/cube.dds", "x.png", "--mip", "-1"}), 2);
    EXPECT_EQ(run({"render", archive, "textures/sky/cube.dds", "x.png", "--size", "3"}), 2);
}

} // namespace
