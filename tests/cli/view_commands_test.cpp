// `cat` and `render` on archives built by the test writers: the bytes `cat` writes, the PNG `render` writes
// for each mip level and face, and the reasons both give when they cannot.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "base/ustring.h"
#include "cli/view_commands.h"
#include "fixtures/bsa_writer.h"
#include "fixtures/dds_writer.h"
#include "fixtures/file_tree.h"
#include "fixtures/links.h"
#include "fixtures/system_errors.h"
#include "fixtures/temp_folder.h"
#include "tests/cli/cli_process.h"

namespace {

namespace fs = std::filesystem;
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

using fixture::NamesIn;

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
    EXPECT_EQ(errors.Text(), "parlivex-cli: interface\\missing.txt: not found in " + ToUtf8(archive) + "\n");
    EXPECT_EQ(out.Text(), "");
    // A name's control characters are escaped: the line cannot drive the terminal or forge another line.
    Capture errors1;
    EXPECT_EQ(CatEntry(archive, u"interface\\a\x1b[2J\nb.txt", out.File(), errors1.File()), 1);
    EXPECT_EQ(errors1.Text(),
              "parlivex-cli: interface\\a\\033[2J\\nb.txt: not found in " + ToUtf8(archive) + "\n");
    Capture errors2;
    EXPECT_EQ(CatEntry(dir.U16("none.bsa"), u"a\\b.txt", out.File(), errors2.File()), 1);
    EXPECT_EQ(errors2.Text(), "parlivex-cli: Cannot open " + ToUtf8(dir.U16("none.bsa")) + ".  " +
                                  ToUtf8(fixture::SystemText(fixture::kErrorFileNotFound)) + "\n");
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
        ASSERT_EQ(RenderEntry(archive, u"textures\\sky\\cube.dds", dir.U16("out.png"), c.mip, c.face, stdout,
                              errors.File()),
                  0)
            << errors.Text();
        EXPECT_EQ(
            errors.Text(),
            "parlivex-cli: textures\\sky\\cube.dds: BC1 (DXT1), 8\u00d74, 4 mip levels, 6 cube faces\n");
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
    const std::string info =
        "parlivex-cli: textures\\sky\\cube.dds: BC1 (DXT1), 8\u00d74, 4 mip levels, 6 cube faces\n";
    const Case cases[] = {
        {"interface\\notes.txt", 0, 0,
         "parlivex-cli: interface\\notes.txt: not a DDS file: it does not begin with \"DDS \"\n"},
        {"textures\\sky\\cube.dds", 4, 0,
         info +
             "parlivex-cli: textures\\sky\\cube.dds: the texture has no face 0, mip level 4 (it has 6 faces "
             "and 4 mip levels)\n"},
        {"textures\\sky\\cube.dds", 0, 6,
         info +
             "parlivex-cli: textures\\sky\\cube.dds: the texture has no face 6, mip level 0 (it has 6 faces "
             "and 4 mip levels)\n"},
        {"textures\\sky\\none.dds", 0, 0,
         "parlivex-cli: textures\\sky\\none.dds: not found in " + ToUtf8(archive) + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        Capture errors;
        EXPECT_EQ(
            RenderEntry(archive, FromUtf8(c.entry), dir.U16("out.png"), c.mip, c.face, stdout, errors.File()),
            1);
        EXPECT_EQ(errors.Text(), c.message);
        EXPECT_EQ(NamesIn(dir.Path()), std::vector<std::string>{"a.bsa"});
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

// render's OUT through the real program: "-" is standard output; an existing OUT is replaced only when it is
// a regular file (its mode kept) or a link to one (the link itself); anything else is refused with the
// reason and left as it was; the PNG goes through a temporary file nobody can plant.
class CliRenderOutput : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.Write("a.bsa", fixture::BuildArchive(TextureArchive(105)));
        fs::create_directories(work_);
    }

    // Renders the cube map's first level to out; prefix goes before the command (POSIX shell only).
    int Render(const std::string& out, const std::string& prefix = "") {
        const std::vector<std::string> args = {"render", (dir_ / "a.bsa").string(), "textures/sky/cube.dds",
                                               out};
#ifdef _WIN32
        EXPECT_TRUE(prefix.empty());
        return cli_test::RunCliProcess(args, dir_ / "out", dir_ / "err");
#else
        return cli_test::RunCliProcess(args, dir_ / "out", dir_ / "err", "", prefix);
#endif
    }
    std::string Errors() const {
        const Bytes err = fixture::ReadWholeFile(dir_ / "err");
        return std::string(err.begin(), err.end());
    }
    static bool IsPng(const Bytes& bytes) {
        const Bytes signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
        return bytes.size() > signature.size() &&
               std::equal(signature.begin(), signature.end(), bytes.begin());
    }

    static constexpr char kInfoLine[] =
        "parlivex-cli: textures/sky/cube.dds: BC1 (DXT1), 8\u00d74, 4 mip levels, 6 cube faces\n";
    TempFolder dir_;
    fs::path work_ = dir_ / "work"; // holds only what a test puts there and what render leaves
};

TEST_F(CliRenderOutput, DashWritesThePngToStandardOutput) {
    ASSERT_EQ(Render((work_ / "file.png").string()), 0);
    const Bytes file = fixture::ReadWholeFile(work_ / "file.png");
    fs::remove(work_ / "file.png");
#ifdef _WIN32
    EXPECT_EQ(Render("-"), 0);
#else
    // Run inside work_, where a file named "-" would appear.
    EXPECT_EQ(Render("-", "cd " + cli_test::Quote(work_.string()) + " && "), 0);
#endif
    EXPECT_EQ(Errors(), kInfoLine);
    EXPECT_TRUE(IsPng(file));
    EXPECT_EQ(fixture::ReadWholeFile(dir_ / "out"), file) << "the same bytes, none changed on the way";
    EXPECT_EQ(NamesIn(work_), std::vector<std::string>{});
}

// A link planted at the name the temporary file once had (OUT.png.part) leads nowhere: the temporary file
// is a new one of its own.
TEST_F(CliRenderOutput, PlantedTemporaryNameIsNeverWrittenThrough) {
    const Bytes victim = {'v', 'i', 'c', 't', 'i', 'm'};
    dir_.Write("work/victim", victim);
    if (!fixture::MakeSymlink(work_ / "victim", work_ / "x.png.part")) {
        GTEST_SKIP() << "this system cannot make symbolic links";
    }
    EXPECT_EQ(Render((work_ / "x.png").string()), 0) << Errors();
    EXPECT_EQ(fixture::ReadWholeFile(work_ / "victim"), victim);
    EXPECT_FALSE(fixture::IsLink(work_ / "x.png"));
    EXPECT_TRUE(IsPng(fixture::ReadWholeFile(work_ / "x.png")));
    EXPECT_EQ(NamesIn(work_), (std::vector<std::string>{"victim", "x.png", "x.png.part"}));
}

TEST_F(CliRenderOutput, ReplacesARegularFileKeepingItsModeAndALinkItself) {
    const Bytes old = {'o', 'l', 'd'};
    dir_.Write("work/x.png", old);
    dir_.Write("work/target", old);
    if (!fixture::MakeSymlink(work_ / "target", work_ / "link.png")) {
        GTEST_SKIP() << "this system cannot make symbolic links";
    }
#ifndef _WIN32
    ASSERT_EQ(chmod((work_ / "x.png").c_str(), 0600), 0);
#endif
    for (const char* name : {"x.png", "link.png"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Render((work_ / name).string()), 0) << Errors();
        EXPECT_FALSE(fixture::IsLink(work_ / name));
        EXPECT_TRUE(IsPng(fixture::ReadWholeFile(work_ / name)));
    }
    EXPECT_EQ(fixture::ReadWholeFile(work_ / "target"), old) << "never written through the link";
#ifndef _WIN32
    struct stat info {};
    ASSERT_EQ(stat((work_ / "x.png").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
#endif
    EXPECT_EQ(NamesIn(work_), (std::vector<std::string>{"link.png", "target", "x.png"}));
}

// "OUT: cannot write: <reason>", exit 1, and what had the name is left as it was.
TEST_F(CliRenderOutput, OutThatCannotBeWrittenIsRefusedWithTheReason) {
    struct Case {
        const char* what;
        fs::path out;
        std::function<bool()> prepare;
        std::string reason;
        fs::file_type left; // what out still is, not following a link
    };
    const std::vector<Case> cases = {
        {"a folder", work_ / "x.png", [&] { return fs::create_directory(work_ / "x.png"); }, "is a folder",
         fs::file_type::directory},
        {"a missing folder", work_ / "missing" / "x.png", [] { return true; },
         ToUtf8(fixture::SystemText(fixture::kErrorFileNotFound)), fs::file_type::not_found},
        {"no file name", work_ / "", [] { return true; }, "not a file name", fs::file_type::directory},
#ifndef _WIN32
        {"a FIFO", work_ / "x.png", [&] { return mkfifo((work_ / "x.png").c_str(), 0666) == 0; },
         "not a regular file", fs::file_type::fifo},
        // A device: as root, the old way of replacing what had the name would have destroyed /dev/null.
        {"a link to a device", work_ / "x.png",
         [&] { return fixture::MakeSymlink("/dev/null", work_ / "x.png"); },
         "a link to something that is not a regular file", fs::file_type::symlink},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(work_);
        fs::create_directories(work_);
        ASSERT_TRUE(c.prepare());
        const std::vector<std::string> before = NamesIn(work_);
        EXPECT_EQ(Render(c.out.string()), 1);
        EXPECT_EQ(Errors(), std::string(kInfoLine) + "parlivex-cli: " + c.out.string() +
                                ": cannot write: " + c.reason + "\n");
        EXPECT_EQ(fs::symlink_status(c.out).type(), c.left);
        EXPECT_EQ(NamesIn(work_), before) << "no temporary file left";
#ifndef _WIN32
        EXPECT_TRUE(fs::is_character_file("/dev/null"));
#endif
    }
}

#ifndef _WIN32
// Under a file size limit the write fails instead of the signal ending the tool half way.
TEST(CliRenderFileSize, LimitIsReportedAndLeavesTheOldFileAndNoTemporaryFile) {
    TempFolder dir;
    fixture::DdsSpec ddsRecipe;
    ddsRecipe.width = 512;
    ddsRecipe.height = 512;
    ddsRecipe.data = fixture::RandomBlocks(8, 128 * 128, 7); // noise: a PNG of several hundred KiB
    fixture::ArchiveSpec recipe;
    recipe.version = 105;
    recipe.folders = {{"textures", {{"noise.dds", fixture::BuildDds(ddsRecipe), fixture::Storage::Raw}}}};
    dir.Write("a.bsa", fixture::BuildArchive(recipe));
    fs::create_directories(dir / "work");
    const Bytes old = {'o', 'l', 'd'};
    dir.Write("work/x.png", old);
    const fs::path out = dir / "work" / "x.png";
    // 64 blocks of 512 bytes (of 1024 in some shells): far below the PNG, far above the messages.
    const int status =
        cli_test::RunCliProcess({"render", (dir / "a.bsa").string(), "textures/noise.dds", out.string()},
                                dir / "out", dir / "err", "", "ulimit -f 64 && ");
    const Bytes err = fixture::ReadWholeFile(dir / "err");
    const std::string errors(err.begin(), err.end());
    EXPECT_EQ(status, 1) << errors;
    const std::string expected =
        "parlivex-cli: " + out.string() + ": cannot write: " + ToUtf8(fixture::SystemText(EFBIG)) + "\n";
    EXPECT_TRUE(errors.size() >= expected.size() &&
                errors.substr(errors.size() - expected.size()) == expected)
        << errors;
    EXPECT_EQ(fixture::ReadWholeFile(out), old);
    EXPECT_EQ(NamesIn(dir / "work"), std::vector<std::string>{"x.png"});
}
#endif

} // namespace
