// Runs the real parlivex-cli on archives built by the test writer and compares what it writes byte by byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>
#include <thread>
#ifndef _WIN32
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "archive/bsa_file.h"
#include "base/ustring.h"
#include "cli/usage.h"
#include "compression/library_versions.h"
#include "extract/extract_selection.h"
#include "fixtures/bsa_writer.h"
#include "fixtures/file_tree.h"
#include "fixtures/links.h"
#include "fixtures/system_errors.h"
#include "fixtures/temp_folder.h"
#include "parlivex_version.h"
#include "tests/cli/cli_process.h"

using namespace fixture;
namespace fs = std::filesystem;
#ifndef _WIN32
using cli_test::CliCommand;
using cli_test::Quote;
#endif

namespace {

using fixture::ReadText;
using fixture::TreeOf;

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// A path as the program's arguments and messages carry it: UTF-8.
std::string U8(const fs::path& path) {
    return ToUtf8(path.u16string());
}

// A line of the tool on stderr: its prefix, the text, the line end.
std::string Message(const std::string& text) {
    return "parlivex-cli: " + text + "\n";
}

// The lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// Runs the tool with stdout into a file; on Linux stdout may go where stdoutTo says instead (">/dev/full",
// ">&-") and commandPrefix may come before the command.
CliRun RunCli(const TempFolder& dir, const std::vector<std::string>& args, const std::string& stdoutTo = "",
              const std::string& commandPrefix = "") {
    const fs::path out = dir / "cli.out";
    const fs::path err = dir / "cli.err";
    std::ofstream(out).close();
    CliRun run;
#ifdef _WIN32
    EXPECT_TRUE(stdoutTo.empty() && commandPrefix.empty());
    run.exitCode = cli_test::RunCliProcess(args, out, err);
#else
    run.exitCode = cli_test::RunCliProcess(args, out, err, stdoutTo, commandPrefix);
#endif
    run.out = ReadText(out);
    run.err = ReadText(err);
    return run;
}

// An archive like the games' own: nested folders, root files in ".", every storage kind of its version,
// a name in Windows-1252, a record that shares another's data, an entry of zero bytes.
ArchiveSpec MixedArchive(uint32_t version, uint32_t flags) {
    const Storage packed = version == 105 ? Storage::Lz4Frame : Storage::Zlib;
    ArchiveSpec recipe;
    recipe.version = version;
    recipe.flags = flags;
    EntrySpec big{"body.nif", CompressibleBytes(300000, 1), packed};
    big.lz4.blockSizeId = 4; // several 64 KiB blocks
    EntrySpec checked{"skeleton.hkx", CompressibleBytes(70000, 2), packed};
    checked.lz4.contentChecksum = true;
    checked.lz4.skippableFramesBefore = 2;
    recipe.folders = {
        {"meshes\\actors\\character", {big, checked, {"Raw Mesh.NIF", RandomBytes(5000, 3), Storage::Raw}}},
        {"textures\\armor\\iron",
         {{"iron.dds", CompressibleBytes(20000, 4), packed},
          {"iron_n.dds", RandomBytes(16384, 5), packed},
          {"caf\xE9.dds", CompressibleBytes(100, 6), Storage::Raw}}},
        {"sound\\fx",
         {{"hit.wav", CompressibleBytes(9000, 7), Storage::Raw},
          {"empty.wav", {}, Storage::Raw},
          {"same.xwm", {}, Storage::Raw}}},
        {".", {{"readme.txt", CompressibleBytes(1234, 8), packed}}},
    };
    if (version == 105) {
        recipe.folders[1].files.push_back({"legacy.dds", CompressibleBytes(50000, 9), Storage::Lz4Legacy});
    }
    recipe.folders[2].files[2].sharesDataWith = 6; // same.xwm points at hit.wav's data
    return recipe;
}

std::map<std::string, std::vector<uint8_t>> ExpectedTree(const ArchiveSpec& recipe) {
    std::map<std::string, std::vector<uint8_t>> tree;
    std::vector<const EntrySpec*> all;
    for (const auto& folder : recipe.folders) {
        for (const auto& file : folder.files) {
            all.push_back(&file);
        }
    }
    size_t index = 0;
    for (const auto& folder : recipe.folders) {
        std::string dir = folder.name == "." ? "" : folder.name + "/";
        for (auto& c : dir) {
            c = c == '\\' ? '/' : c;
        }
        for (const auto& file : folder.files) {
            const auto& data = file.sharesDataWith ? all[*file.sharesDataWith]->data : file.data;
            ++index;
            std::string name;
            for (unsigned char c : file.name) { // Windows-1252 to UTF-8, enough for the Latin-1 range
                if (c < 0x80) {
                    name += static_cast<char>(c);
                } else {
                    name += static_cast<char>(0xC0 | (c >> 6));
                    name += static_cast<char>(0x80 | (c & 0x3F));
                }
            }
            tree[dir + name] = data;
        }
    }
    return tree;
}

} // namespace

class CliExtractTest : public testing::TestWithParam<std::tuple<uint32_t, uint32_t>> {};

TEST_P(CliExtractTest, ExtractsEveryByteWithAnyNumberOfJobs) {
    const auto [version, flags] = GetParam();
    TempFolder dir;
    const ArchiveSpec recipe = MixedArchive(version, flags);
    WriteArchiveFile(recipe, (dir / "mixed.bsa").string());
    const auto expected = ExpectedTree(recipe);

    for (const char* jobs : {"1", "3"}) {
        const fs::path out = dir / (std::string("out") + jobs);
        const CliRun run =
            RunCli(dir, {"extract", (dir / "mixed.bsa").string(), out.string(), "--jobs", jobs});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(TreeOf(out), expected) << "jobs " << jobs;
    }
    // A second run into the same folder replaces the files with the same bytes.
    const CliRun again = RunCli(dir, {"extract", (dir / "mixed.bsa").string(), (dir / "out1").string()});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(TreeOf(dir / "out1"), expected);
}

INSTANTIATE_TEST_SUITE_P(VersionsAndFlags, CliExtractTest,
                         testing::Values(std::make_tuple(105u, 0x3u), std::make_tuple(105u, 0x7u),
                                         std::make_tuple(105u, 0x107u), std::make_tuple(104u, 0x3u),
                                         std::make_tuple(104u, 0x7u), std::make_tuple(104u, 0x103u)));

TEST(CliExtract, FilterKeepsMatchingEntries) {
    TempFolder dir;
    WriteArchiveFile(MixedArchive(105, 0x7), (dir / "a.bsa").string());
    const CliRun run =
        RunCli(dir, {"extract", (dir / "a.bsa").string(), (dir / "out").string(), "--filter", "  IRON "});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const auto tree = TreeOf(dir / "out");
    EXPECT_EQ(tree.size(), 4u); // everything below textures\armor\iron
    EXPECT_TRUE(tree.count("textures/armor/iron/iron_n.dds"));
}

// Names that differ only in case, or that only a folding with expansions would make equal, are distinct
// files on Linux: each gets its own bytes, with any number of jobs.
TEST(CliExtract, NamesEqualUpToCaseEachGetTheirOwnBytes) {
    TempFolder dir;
    ArchiveSpec recipe;
    recipe.folders = {{"textures", {{"A.dds", {'1'}}, {"a.dds", {'2'}}}},
                      {"Textures", {{"b.dds", {'3'}}}},
                      {"x",
                       {{"\xE9"
                         "cole.txt",
                         {'4'}},
                        {"\xC9"
                         "COLE.txt",
                         {'5'}}}},
                      {"x",
                       {{"stra\xDF"
                         "e.txt",
                         {'6'}},
                        {"strasse.txt", {'7'}}}},
                      {"ma\xDF"
                       "e",
                       {{"f.txt", {'8'}}}},
                      {"masse", {{"f.txt", {'9'}}}}};
    WriteArchiveFile(recipe, (dir / "case.bsa").string());
#ifdef _WIN32
    // Windows tells files apart regardless of case: the later of two names equal up to case is reported as
    // writing the same file, the first keeps its bytes. "\u00df" and "ss" still differ.
    const std::map<std::string, std::vector<uint8_t>> expected = {
        {"textures/A.dds", {'1'}},    {"textures/b.dds", {'3'}}, {"x/\u00c9COLE.txt", {'5'}},
        {"x/stra\u00dfe.txt", {'6'}}, {"x/strasse.txt", {'7'}},  {"ma\u00dfe/f.txt", {'8'}},
        {"masse/f.txt", {'9'}}};
    const std::string expectedErr = Message("textures\\a.dds: same destination as textures\\A.dds") +
                                    Message("x\\\u00e9cole.txt: same destination as x\\\u00c9COLE.txt") +
                                    Message((dir / "case.bsa").string() + ": 2 of 9 entries failed");
#else
    const std::map<std::string, std::vector<uint8_t>> expected = {
        {"textures/A.dds", {'1'}},   {"textures/a.dds", {'2'}},   {"textures/b.dds", {'3'}},
        {"x/\u00e9cole.txt", {'4'}}, {"x/\u00c9COLE.txt", {'5'}}, {"x/stra\u00dfe.txt", {'6'}},
        {"x/strasse.txt", {'7'}},    {"ma\u00dfe/f.txt", {'8'}},  {"masse/f.txt", {'9'}}};
    const std::string expectedErr;
#endif
    for (const char* jobs : {"1", "4"}) {
        SCOPED_TRACE(jobs);
        const fs::path out = dir / (std::string("out") + jobs);
        const CliRun run =
            RunCli(dir, {"extract", (dir / "case.bsa").string(), out.string(), "--jobs", jobs});
        EXPECT_EQ(run.exitCode, expectedErr.empty() ? 0 : 1) << run.err;
        EXPECT_EQ(run.err, expectedErr);
        EXPECT_EQ(TreeOf(out), expected);
    }
}

TEST(CliExtract, UnsafeAndDamagedEntriesAreReportedTheRestIsWritten) {
    TempFolder dir;
    ArchiveSpec recipe;
    recipe.version = 104;
    recipe.flags = 0x3;
    EntrySpec damaged{"broken.nif", CompressibleBytes(4000, 1), Storage::Zlib};
    damaged.packedOverride = std::vector<uint8_t>(50, 0xAB);
    recipe.folders = {{"..\\..\\escape", {{"evil.txt", {'x'}}}},
                      {"c:\\windows", {{"evil.dll", {'x'}}}},
                      {"meshes", {damaged, {"good.nif", {'g', 'o', 'o', 'd'}}}},
                      {"\\\\server\\share", {{"evil.txt", {'x'}}}}};
    WriteArchiveFile(recipe, (dir / "hostile.bsa").string());
    const fs::path out = dir / "deep" / "out";
    const CliRun run = RunCli(dir, {"extract", (dir / "hostile.bsa").string(), out.string()});
    EXPECT_EQ(run.exitCode, 1);
    const std::vector<std::string> lines = Lines(run.err);
    for (const std::string& expected : {Message("..\\..\\escape\\evil.txt: refused: '..' component"),
                                        Message("c:\\windows\\evil.dll: refused: drive prefix"),
                                        Message("\\\\server\\share\\evil.txt: refused: absolute path"),
                                        Message("meshes\\broken.nif: zlib data damaged: Erreur")}) {
        EXPECT_EQ(std::count(lines.begin(), lines.end(), expected.substr(0, expected.size() - 1)), 1)
            << expected << run.err;
    }
    EXPECT_TRUE(run.err.ends_with(Message((dir / "hostile.bsa").string() + ": 4 of 5 entries failed")))
        << run.err;
    EXPECT_EQ(TreeOf(dir / "deep"),
              (std::map<std::string, std::vector<uint8_t>>{{"out/meshes/good.nif", {'g', 'o', 'o', 'd'}}}));
    for (const auto& [path, bytes] : TreeOf(dir.Path())) {
        EXPECT_EQ(path.find("evil"), std::string::npos) << path;
    }
}

// Entries whose folders differ only by "." and empty components write one file: the first in list order, with
// its own bytes; every later one is reported. The same files, bytes, reports and exit status for any --jobs.
TEST(CliExtract, EntriesWithOneDestinationWriteItOnceWithAnyNumberOfJobs) {
    TempFolder dir;
    ArchiveSpec recipe;
    for (const char* folder : {"a\\b", "a\\.\\b", ".\\a\\b", "a\\\\b"}) {
        recipe.folders.push_back(
            {folder, {{"x.bin", RandomBytes(100000, static_cast<uint32_t>(recipe.folders.size()))}}});
    }
    for (int i = 0; i < 40; ++i) {
        recipe.folders[0].files.push_back({"f" + std::to_string(i) + ".bin", RandomBytes(3000, 100 + i)});
    }
    WriteArchiveFile(recipe, (dir / "same.bsa").string());
    const CliRun list = RunCli(dir, {"list", (dir / "same.bsa").string()});
    ASSERT_EQ(list.exitCode, 0);
    std::vector<std::string> xEntries; // the four x.bin entries in list order
    for (size_t start = 0, end; (end = list.out.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = list.out.substr(start, end - start);
        if (line.ends_with("x.bin")) {
            xEntries.push_back(line);
        }
    }
    ASSERT_EQ(xEntries.size(), 4u);
    const size_t firstFolder =
        std::find_if(recipe.folders.begin(), recipe.folders.end(),
                     [&](const FolderSpec& f) { return xEntries[0] == f.name + "\\x.bin"; }) -
        recipe.folders.begin();
    ASSERT_LT(firstFolder, recipe.folders.size());

    std::string firstErr;
    for (const char* jobs : {"1", "2", "4"}) {
        SCOPED_TRACE(jobs);
        const fs::path out = dir / (std::string("out") + jobs);
        const CliRun run =
            RunCli(dir, {"extract", (dir / "same.bsa").string(), out.string(), "--jobs", jobs});
        EXPECT_EQ(run.exitCode, 1);
        std::string expectedErr;
        for (size_t i = 1; i < 4; ++i) {
            expectedErr += Message(xEntries[i] + ": same destination as " + xEntries[0]);
        }
        expectedErr += Message((dir / "same.bsa").string() + ": 3 of 44 entries failed");
        EXPECT_EQ(run.err, expectedErr);
        const auto tree = TreeOf(out);
        EXPECT_EQ(tree.size(), 41u);
        EXPECT_EQ(tree.at("a/b/x.bin"), recipe.folders[firstFolder].files[0].data);
    }
}

// An entry whose file would stand where an earlier entry needs a folder, or whose folder would stand where an
// earlier entry's file is, is reported with the earlier one; the earlier one is written. Decided in list
// order before the run: the same files, reports and exit status for any --jobs.
TEST(CliExtract, FileAndFolderAtOneNameAreDecidedInListOrder) {
    TempFolder dir;
    ArchiveSpec recipe;
    // ".\\y\\sub" sorts before "y": there the folder comes first.
    recipe.folders = {
        {"x", {{"sub", {'F'}}}}, {"x\\sub", {{"f.txt", {'t'}}}},          {".\\y\\sub", {{"f.txt", {'t'}}}},
        {"y", {{"sub", {'F'}}}}, {"z", {{"a", {'F'}}, {"b.txt", {'b'}}}}, {"z\\a\\b\\c", {{"d.txt", {'d'}}}}};
    WriteArchiveFile(recipe, (dir / "clash.bsa").string());
    ASSERT_EQ(Lines(RunCli(dir, {"list", (dir / "clash.bsa").string()}).out),
              (std::vector<std::string>{".\\y\\sub\\f.txt", "x\\sub", "x\\sub\\f.txt", "y\\sub", "z\\a",
                                        "z\\b.txt", "z\\a\\b\\c\\d.txt"}));
    const std::string expectedErr = Message("x\\sub\\f.txt: folder in its path is the file of x\\sub") +
                                    Message("y\\sub: destination is a folder for .\\y\\sub\\f.txt") +
                                    Message("z\\a\\b\\c\\d.txt: folder in its path is the file of z\\a") +
                                    Message((dir / "clash.bsa").string() + ": 3 of 7 entries failed");
    const std::map<std::string, std::vector<uint8_t>> expected = {
        {"x/sub", {'F'}}, {"y/sub/f.txt", {'t'}}, {"z/a", {'F'}}, {"z/b.txt", {'b'}}};
    for (const char* jobs : {"1", "2", "4"}) {
        SCOPED_TRACE(jobs);
        const fs::path out = dir / (std::string("out") + jobs);
        const CliRun run =
            RunCli(dir, {"extract", (dir / "clash.bsa").string(), out.string(), "--jobs", jobs});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, expectedErr);
        EXPECT_EQ(TreeOf(out), expected);
    }
}

// Under a file size limit, the entry too large for it fails alone: reported with the system's reason, its
// temporary file removed, and the later entries still written.
TEST(CliExtract, FileSizeLimitFailsTheLargeEntryOnly) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no file size limit of a process";
#else
    TempFolder dir;
    ArchiveSpec recipe;
    recipe.folders = {
        {"a", {{"1small.txt", {'s'}}, {"2big.bin", RandomBytes(2 << 20, 1)}, {"3after.txt", {'z'}}}}};
    WriteArchiveFile(recipe, (dir / "a.bsa").string());
    for (const char* jobs : {"1", "2"}) {
        SCOPED_TRACE(jobs);
        const fs::path out = dir / (std::string("out") + jobs);
        // 512 KiB in the shell's 512-byte blocks (bash counts 1 KiB blocks: 1 MiB), below the big entry.
        const CliRun run = RunCli(dir, {"extract", (dir / "a.bsa").string(), out.string(), "--jobs", jobs},
                                  "", "ulimit -f 1024; ");
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, Message("a\\2big.bin: FileWrite failed for " + (out / "a" / "2big.bin").string() +
                                   ".  " + std::strerror(EFBIG)) +
                               Message((dir / "a.bsa").string() + ": 1 of 3 entries failed"));
        EXPECT_EQ(TreeOf(out), (std::map<std::string, std::vector<uint8_t>>{{"a/1small.txt", {'s'}},
                                                                            {"a/3after.txt", {'z'}}}));
    }
#endif
}

// However deep the archive's folders and however many workers, the run keeps fewer files open than the
// process may: under a low limit every entry is still written.
TEST(CliExtract, DeepFoldersWithManyJobsStayWithinTheOpenFileLimit) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows limits open handles by memory only, not by a number per process";
#else
    TempFolder dir;
    ArchiveSpec recipe;
    std::map<std::string, std::vector<uint8_t>> expected;
    for (int branch = 0; branch < 8; ++branch) {
        FolderSpec folder{"b" + std::to_string(branch % 10) +
                          std::string(1, static_cast<char>('a' + branch))};
        std::string path = folder.name;
        for (int depth = 1; depth < 24; ++depth) { // 24 folders deep
            folder.name += "\\c";
            path += "/c";
        }
        for (int i = 0; i < 4; ++i) {
            folder.files.push_back(
                {"f" + std::to_string(i) + ".txt", {static_cast<uint8_t>(branch), static_cast<uint8_t>(i)}});
            expected[path + "/" + folder.files.back().name] = folder.files.back().data;
        }
        recipe.folders.push_back(std::move(folder));
    }
    WriteArchiveFile(recipe, (dir / "deep.bsa").string());
    const fs::path out = dir / "out";
    const CliRun run = RunCli(dir, {"extract", (dir / "deep.bsa").string(), out.string(), "--jobs", "8"}, "",
                              "ulimit -n 128; ");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    // Read by their known paths: TreeOf's relative paths are slow at this depth.
    size_t files = 0;
    for (const auto& item : fs::recursive_directory_iterator(out)) {
        files += item.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(files, expected.size());
    for (const auto& [path, bytes] : expected) {
        EXPECT_EQ(ReadWholeFile(out / path), bytes) << path;
    }
#endif
}

// Entries whose stored sizes alone need more than the destination has free: one message with both figures,
// exit status 1, and not one file written.
TEST(CliExtract, EntriesLargerThanTheFreeSpaceAreNotStarted) {
#ifdef _WIN32
    GTEST_SKIP() << "the fixture is a sparse file, which Windows makes only when asked to";
#else
    TempFolder dir;
    ArchiveSpec recipe;
    recipe.version = 105;
    recipe.folderBlocksAt = uint64_t{3} << 30; // a hole of 3 GiB that holds the entries' claimed bytes
    recipe.folders = {{"big"}};
    for (int i = 0; i < 200; ++i) {
        EntrySpec claim{"e" + std::to_string(i) + ".bin"};
        claim.offsetOverride = 1 << 20;
        claim.sizeWordOverride = 0x3FFFFFFF; // raw, 1 GiB less a byte
        recipe.folders[0].files.push_back(claim);
    }
    WriteArchiveFile(recipe, (dir / "claims.bsa").string());
    if (fs::space(dir.Path()).available >= uint64_t{200} << 30) {
        GTEST_SKIP() << "this disk has room for all of it";
    }
    const fs::path out = dir / "out";
    const CliRun run = RunCli(dir, {"extract", (dir / "claims.bsa").string(), out.string(), "--jobs", "2"});
    EXPECT_EQ(run.exitCode, 1);
    const std::string figures = "parlivex-cli: Not enough free space in " + out.string() +
                                ": the entries need at least 214748364600 bytes (200.0 GiB), ";
    EXPECT_EQ(run.err.rfind(figures, 0), 0u) << run.err;
    EXPECT_TRUE(run.err.ends_with(" are free\n")) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
    EXPECT_TRUE(TreeOf(out).empty());
#endif
}

// Where a file can also be opened by a short (8.3) name, an entry named like one might write an earlier
// entry's file: it is refused there. Elsewhere it is an ordinary name.
TEST(CliExtract, NamesShapedLikeShortNamesAreRefusedWhereFilesHaveThem) {
    TempFolder dir;
    std::string alias = "LONGFI~1.TXT";
#ifdef _WIN32
    // The short name this system gives such a long name, when it gives one (Wine makes its own kind).
    fs::create_directories(dir / "probe");
    dir.Write("probe/longfilename.txt", {'p'});
    const std::wstring longPath = (dir / "probe" / "longfilename.txt").wstring();
    wchar_t shortPath[MAX_PATH] = {};
    const DWORD length = GetShortPathNameW(longPath.c_str(), shortPath, MAX_PATH);
    const std::string shortName = U8(fs::path(shortPath).filename());
    if (length > 0 && length < MAX_PATH && shortName != "longfilename.txt") {
        alias = shortName;
    }
#endif
    ArchiveSpec recipe;
    recipe.folders = {{"x", {{"longfilename.txt", {'L'}}, {alias, {'S'}}}}};
    WriteArchiveFile(recipe, (dir / "alias.bsa").string());
    for (const char* jobs : {"1", "2"}) {
        SCOPED_TRACE(jobs);
        const fs::path out = dir / (std::string("out") + jobs);
        const CliRun run =
            RunCli(dir, {"extract", (dir / "alias.bsa").string(), out.string(), "--jobs", jobs});
#ifdef _WIN32
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, Message("x\\" + alias + ": refused: name shaped like a short (8.3) name") +
                               Message((dir / "alias.bsa").string() + ": 1 of 2 entries failed"));
        EXPECT_EQ(TreeOf(out), (std::map<std::string, std::vector<uint8_t>>{{"x/longfilename.txt", {'L'}}}));
#else
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(TreeOf(out), (std::map<std::string, std::vector<uint8_t>>{{"x/longfilename.txt", {'L'}},
                                                                            {"x/" + alias, {'S'}}}));
#endif
    }
}

// Links already in DEST never lead a write outside it: a folder link makes the entry refused, a link or hard
// link at an entry's own name is replaced by the new file and its target keeps its bytes.
TEST(CliExtract, LinksInTheDestinationAreNeverWrittenThrough) {
    TempFolder dir;
    ArchiveSpec recipe;
    recipe.folders = {{"textures", {{"a.dds", {'n', 'e', 'w', '1'}}}},
                      {"meshes",
                       {{"linked.nif", {'n', 'e', 'w', '2'}},
                        {"hard.nif", {'n', 'e', 'w', '3'}},
                        {"dangling.nif", {'n', 'e', 'w', '4'}}}}};
    WriteArchiveFile(recipe, (dir / "a.bsa").string());
    const fs::path outside = dir / "outside";
    const fs::path out = dir / "out";
    fs::create_directories(outside);
    fs::create_directories(out / "meshes");
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    dir.Write("outside/file", old);
    dir.Write("outside/hard", old);
    if (!MakeSymlink(outside, out / "textures")) {
        GTEST_SKIP() << "this system cannot make symbolic links";
    }
    ASSERT_TRUE(MakeSymlink(outside / "file", out / "meshes" / "linked.nif"));
    fs::create_hard_link(outside / "hard", out / "meshes" / "hard.nif");
    ASSERT_TRUE(MakeSymlink(outside / "missing", out / "meshes" / "dangling.nif"));

    const CliRun run = RunCli(dir, {"extract", (dir / "a.bsa").string(), out.string(), "--jobs", "2"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, Message("textures\\a.dds: refused: link in the path") +
                           Message((dir / "a.bsa").string() + ": 1 of 4 entries failed"));
    EXPECT_EQ(TreeOf(outside), (std::map<std::string, std::vector<uint8_t>>{{"file", old}, {"hard", old}}));
    for (const char* name : {"linked.nif", "hard.nif", "dangling.nif"}) {
        EXPECT_FALSE(IsLink(out / "meshes" / name)) << name;
    }
    EXPECT_EQ(ReadWholeFile(out / "meshes" / "hard.nif"), (std::vector<uint8_t>{'n', 'e', 'w', '3'}));
    EXPECT_EQ(ReadWholeFile(out / "meshes" / "dangling.nif"), (std::vector<uint8_t>{'n', 'e', 'w', '4'}));
}

// The workers read the archive that was opened, through handles of their own, even when its path is gone or
// names another file by the time they run.
TEST(CliExtract, WorkersReadTheArchiveThatWasOpened) {
    TempFolder dir;
    ArchiveSpec recipe = MixedArchive(105, 0x7);
    WriteArchiveFile(recipe, (dir / "a.bsa").string());
    TwbBSAFile archive(FromUtf8((dir / "a.bsa").string()));
    std::vector<TEntryRef> entries(archive.FileCount());
    std::iota(entries.begin(), entries.end(), TEntryRef{0});
#ifdef _WIN32
    // Windows goes further: an open archive is shared for reading only, so nobody can remove or change it.
    std::error_code removed;
    fs::remove(dir / "a.bsa", removed);
    EXPECT_TRUE(removed) << "the open archive was removed";
#else
    fs::remove(dir / "a.bsa");
    dir.Write("a.bsa", {'n', 'o', 't', ' ', 'i', 't'});
#endif
    const ExtractSummary summary =
        ExtractEntries(archive, entries, FromUtf8((dir / "out").string()), ExtractOptions{3}, {});
    EXPECT_EQ(summary.failed, 0);
    EXPECT_FALSE(summary.cancelled);
    EXPECT_EQ(TreeOf(dir / "out"), ExpectedTree(recipe));
}

#ifdef _WIN32
namespace {

// Whether Ctrl+Break reaches a run of the tool in a process group of its own: one that prints an entry into
// a pipe nobody reads, and so waits, is sent one. Wine sends no console events to other processes.
bool CtrlBreakReachesAnotherProcessGroup(const TempFolder& dir) {
    ArchiveSpec recipe;
    recipe.folders = {{"probe", {{"big.bin", std::vector<uint8_t>(4 << 20, 'p')}}}};
    WriteArchiveFile(recipe, (dir / "probe.bsa").string());
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    if (!CreatePipe(&reader, &writer, &inherit, 0)) {
        return false;
    }
    SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
    const HANDLE nul = cli_test::InheritedFile(L"NUL", false);
    const HANDLE child = cli_test::StartCli({"cat", (dir / "probe.bsa").string(), "probe\\big.bin"}, nul,
                                            writer, writer, CREATE_NEW_PROCESS_GROUP);
    CloseHandle(nul);
    CloseHandle(writer);
    bool sent = false;
    if (child != nullptr) {
        // Once it has printed, it runs and waits for the pipe.
        DWORD printed = 0;
        while (PeekNamedPipe(reader, nullptr, 0, nullptr, &printed, nullptr) && printed == 0 &&
               WaitForSingleObject(child, 10) == WAIT_TIMEOUT) {
        }
        sent = printed > 0 && GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, GetProcessId(child));
        TerminateProcess(child, 1);
        cli_test::WaitForExit(child);
    }
    CloseHandle(reader);
    return sent;
}

} // namespace
#endif

// SIGTERM (on Windows Ctrl+Break) in the middle of a run: no more entries are taken, temporary files are
// removed, "interrupted", exit 130. Every file under its final name holds either its old bytes or the
// entry's, never a part or a mix.
TEST(CliExtract, TerminatedRunLeavesOnlyWholeFiles) {
    TempFolder dir;
#ifdef _WIN32
    // Ctrl+Break, as the console sends it, to the run's own process group. The run needs this process's
    // console for that: make one when there is none (fails harmlessly when there is).
    AllocConsole();
    if (!CtrlBreakReachesAnotherProcessGroup(dir)) {
        GTEST_SKIP()
            << "Ctrl+Break cannot be sent here (Wine does not send console events to other processes)";
    }
#endif
    ArchiveSpec recipe;
    recipe.version = 104;
    constexpr int kEntries = 6000;
    FolderSpec folder{"data"};
    for (int i = 0; i < kEntries; ++i) {
        folder.files.push_back(
            {"e" + std::to_string(10000 + i) + ".bin", RandomBytes(4000, static_cast<uint32_t>(i))});
    }
    recipe.folders.push_back(folder);
    WriteArchiveFile(recipe, (dir / "a.bsa").string());
    const fs::path out = dir / "out";
    fs::create_directories(out / "data");
    const std::vector<uint8_t> old(30000, 'o');
    for (const auto& file : folder.files) {
        dir.Write("out/data/" + file.name, old);
    }

    const std::string archivePath = (dir / "a.bsa").string();
    const std::string outPath = out.string();
    const std::string errPath = (dir / "err").string();
    // Waits until the run has replaced its first file.
    const fs::path first = out / "data" / folder.files[0].name;
    const auto waitForTheFirstFile = [&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (fs::file_size(first) == old.size() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    };
#ifdef _WIN32
    const HANDLE nul = cli_test::InheritedFile(L"NUL", false);
    const HANDLE nulOut = cli_test::InheritedFile(L"NUL", true);
    const HANDLE errFile = cli_test::InheritedFile(dir / "err", true);
    const HANDLE child = cli_test::StartCli({"extract", archivePath, outPath, "--jobs", "2"}, nul, nulOut,
                                            errFile, CREATE_NEW_PROCESS_GROUP);
    CloseHandle(nul);
    CloseHandle(nulOut);
    CloseHandle(errFile);
    ASSERT_NE(child, nullptr);
    // At the lowest priority the run cannot finish while this process waits for its turn to look.
    SetPriorityClass(child, IDLE_PRIORITY_CLASS);
    waitForTheFirstFile();
    if (!GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, GetProcessId(child))) {
        TerminateProcess(child, 1);
        cli_test::WaitForExit(child);
        FAIL() << "Ctrl+Break did not reach the run, though it reached a run of the tool before";
    }
    EXPECT_EQ(cli_test::WaitForExit(child), 130);
#else
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<std::string> args = {PARLIVEX_CLI_PATH, "extract", archivePath, outPath, "--jobs", "2"};
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, PARLIVEX_CLI_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // At the lowest priority the run cannot finish while this process waits for its turn to look.
    setpriority(PRIO_PROCESS, static_cast<id_t>(child), 19);
    waitForTheFirstFile();
    kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
#endif
    const auto err = ReadWholeFile(errPath);
    EXPECT_EQ(std::string(err.begin(), err.end()), Message(archivePath + ": extraction interrupted"));

    const auto tree = TreeOf(out);
    EXPECT_EQ(tree.size(), folder.files.size()) << "no temporary file left";
    size_t replaced = 0;
    for (const auto& file : folder.files) {
        const auto& bytes = tree.at("data/" + file.name);
        EXPECT_TRUE(bytes == old || bytes == file.data) << file.name;
        replaced += bytes == file.data ? 1 : 0;
    }
    EXPECT_GT(replaced, 0u);
    EXPECT_LT(replaced, folder.files.size()) << "the run was stopped before its end";
}

// On a terminal the run shows its progress on one line that each message wipes first and that is wiped at the
// end: what stays on the screen is the messages, each a whole line of its own.
TEST(CliExtract, ProgressOnATerminalLeavesOnlyTheMessages) {
#ifdef _WIN32
    GTEST_SKIP() << "the terminal here is a POSIX pseudo-terminal (script)";
#else
    if (std::system("command -v script >/dev/null") != 0) {
        GTEST_SKIP() << "no script(1) to run the tool on a terminal";
    }
    TempFolder dir;
    ArchiveSpec recipe;
    FolderSpec data{"data"};
    for (int i = 0; i < 300; ++i) {
        data.files.push_back({"e" + std::to_string(1000 + i) + ".bin", {static_cast<uint8_t>(i)}});
    }
    // Refused entries before the first progress and after the last but one.
    recipe.folders = {{"..", {{"up.txt", {'u'}}}}, data, {"data\\..\\x", {{"y.txt", {'y'}}}}};
    WriteArchiveFile(recipe, (dir / "a.bsa").string());
    const std::string command =
        CliCommand({"extract", (dir / "a.bsa").string(), (dir / "out").string(), "--jobs", "1"});
    const std::string capture = (dir / "terminal").string();
    ASSERT_EQ(
        std::system(("script -qec " + Quote(command) + " /dev/null </dev/null >" + Quote(capture)).c_str()) >>
            8,
        1);
    const std::string shown = ReadText(capture);
    EXPECT_NE(shown.find("\rparlivex-cli: 97/302"), std::string::npos) << shown;
    // The screen as the terminal draws it: "\r" goes back to the start of the line, text overwrites.
    std::vector<std::string> screen(1);
    size_t column = 0;
    for (const char c : shown) {
        if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            screen.emplace_back();
            column = 0;
        } else {
            std::string& line = screen.back();
            line.resize(std::max(line.size(), column + 1), ' ');
            line[column++] = c;
        }
    }
    std::vector<std::string> lines;
    for (std::string& line : screen) {
        line.erase(line.find_last_not_of(' ') + 1);
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"parlivex-cli: ..\\up.txt: refused: '..' component",
                                               "parlivex-cli: data\\..\\x\\y.txt: refused: '..' component",
                                               "parlivex-cli: " + (dir / "a.bsa").string() +
                                                   ": 2 of 302 entries failed"}))
        << shown;
    EXPECT_EQ(screen.back(), "") << "the cursor on a line of its own";
#endif
}

TEST(CliList, PrintsEntryStringsInNameOrderAsUtf8) {
    TempFolder dir;
    ArchiveSpec recipe;
    recipe.folders = {{"textures", {{"B.dds", {1}}, {"a.dds", {1}}}}, {"Meshes", {{"caf\xE9.nif", {1}}}}};
    WriteArchiveFile(recipe, (dir / "a.bsa").string());
    const CliRun run = RunCli(dir, {"list", (dir / "a.bsa").string()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "meshes\\caf\xC3\xA9.nif\ntextures\\a.dds\ntextures\\B.dds\n");

    const CliRun info = RunCli(dir, {"info", (dir / "a.bsa").string()});
    EXPECT_EQ(info.out, "version: 105\narchive flags: 0x00000003\nfolders: 2\nfiles: 3\n");
}

// More lines than the output buffer holds: every entry once, in order, across the writes.
TEST(CliList, ListsArchivesLongerThanItsOutputBuffer) {
    TempFolder dir;
    ArchiveSpec recipe;
    std::vector<std::string> expected;
    for (int f = 29; f >= 0; --f) {
        FolderSpec folder{"meshes\\folder" + std::to_string(100 + f)};
        for (int i = 99; i >= 0; --i) {
            const std::string name = "entry_with_a_long_name_" + std::to_string(1000 + i) + ".nif";
            folder.files.push_back({name, {1}});
            expected.push_back(folder.name + "\\" + name + "\n");
        }
        recipe.folders.push_back(std::move(folder));
    }
    std::sort(expected.begin(), expected.end());
    WriteArchiveFile(recipe, (dir / "a.bsa").string());
    const CliRun run = RunCli(dir, {"list", (dir / "a.bsa").string()});
    EXPECT_EQ(run.exitCode, 0);
    std::string all;
    for (const std::string& line : expected) {
        all += line;
    }
    ASSERT_GT(all.size(), size_t{1} << 17);
    EXPECT_EQ(run.out, all);
}

TEST(CliCommands, OpenFailuresAndUsage) {
    TempFolder dir;
    const auto notArchive = dir.Write("text.bsa", {'h', 'e', 'l', 'l', 'o'});
    for (const char* command : {"list", "info"}) {
        const CliRun run = RunCli(dir, {command, (dir / "text.bsa").string()});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, Message((dir / "text.bsa").string() + " is not a valid BSA file"));
    }
    // A header cut short fails with the stream's own text, which does not name the file nor say what it
    // means: the tool does.
    WriteArchiveFile(MixedArchive(105, 0x3), (dir / "full.bsa").string());
    const auto full = ReadWholeFile(dir / "full.bsa");
    dir.Write("cut.bsa", std::vector<uint8_t>(full.begin(), full.begin() + 10));
    for (const char* command : {"list", "info"}) {
        const CliRun run = RunCli(dir, {command, (dir / "cut.bsa").string()});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, Message((dir / "cut.bsa").string() +
                                   ": the file ends before its index: Erreur de lecture du flux"));
    }
    const CliRun missing = RunCli(dir, {"extract", (dir / "none.bsa").string(), (dir / "out").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, Message("Cannot open " + (dir / "none.bsa").string() + ".  " +
                                   ToUtf8(SystemText(kErrorFileNotFound))));
    EXPECT_FALSE(fs::exists(dir / "out"));

    const CliRun help = RunCli(dir, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out, kUsage);
    EXPECT_EQ(help.err, "");
}

// --version: the project's version, then the libraries as they report themselves at run time.
TEST(CliCommands, VersionNamesTheProjectAndTheLibraries) {
    TempFolder dir;
    const CliRun run = RunCli(dir, {"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "parlivex-cli " + std::string(kParlivexVersion) + "\n" +
                           ToUtf8(LibraryVersionsText(CoreLibraryVersions())) + "\n");
    EXPECT_EQ(run.out.rfind("parlivex-cli 1.", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("zlib 1."), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(", liblz4 1."), std::string::npos) << run.out;
}

TEST(CliCommands, MissingOrUnknownArgumentsPrintTheUsage) {
    TempFolder dir;
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{}, "no command given"},
        {{"list"}, "missing ARCHIVE after list"},
        {{"info"}, "missing ARCHIVE after info"},
        {{"extract"}, "missing ARCHIVE and DEST after extract"},
        {{"extract", "a.bsa"}, "missing DEST after extract"},
        {{"extract", "a.bsa", "out", "--filter"}, "missing TEXT after --filter"},
        {{"extract", "a.bsa", "out", "--jobs", "2", "--jobs"}, "missing N after --jobs"},
        {{"extract", "a.bsa", "out", "--force"}, "unexpected argument: --force"},
        {{"render", "a.bsa", "x.dds", "o.png", "--mip"}, "missing N after --mip"},
        {{"render", "a.bsa", "x.dds", "o.png", "--mip", "1", "--face"}, "missing N after --face"},
        {{"render", "a.bsa", "x.dds", "o.png", "--size", "1"}, "unexpected argument: --size"},
        {{"extract", "a.bsa", "out", "--jobs", "0"}, "--jobs takes a whole number from 1 to 256"},
        {{"render", "a.bsa", "x.dds", "o.png", "--face", "-1"}, "--face takes a whole number from 0"},
        {{"list", "a.bsa", "--force"}, "unexpected argument: --force"},
        {{"lst", "a.bsa"}, "unknown command: lst"},
        {{"cat", "a.bsa"}, "cat takes ARCHIVE ENTRY"},
        {{"cat", "a.bsa", "x", "y"}, "cat takes ARCHIVE ENTRY"},
        {{"render", "a.bsa", "x.dds"}, "render takes ARCHIVE ENTRY OUT.png"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const CliRun run = RunCli(dir, c.args);
        EXPECT_EQ(run.exitCode, 2);
        // The whole usage, whichever command went wrong.
        EXPECT_EQ(run.err, Message(c.message) + "\n" + kUsage);
        EXPECT_EQ(run.out, "");
    }
}

// Output that cannot be written is a failure, said as such; nothing was printed to the user's satisfaction.
TEST(CliOutput, UnwritableStdoutExitsWithWriteError) {
    TempFolder dir;
    WriteArchiveFile(MixedArchive(105, 0x3), (dir / "a.bsa").string());
    const std::string archive = (dir / "a.bsa").string();
    const std::vector<std::vector<std::string>> commands = {{"list", archive},
                                                            {"info", archive},
                                                            {"--help"},
                                                            {"--version"},
                                                            {"cat", archive, "sound\\fx\\hit.wav"}};
#ifdef _WIN32
    // No standard output handle at all; Windows has no device that is always full.
    for (const auto& args : commands) {
        SCOPED_TRACE(args[0]);
        const HANDLE errFile = cli_test::InheritedFile(dir / "cli.err", true);
        EXPECT_EQ(cli_test::WaitForExit(cli_test::StartCli(args, nullptr, nullptr, errFile)), 1);
        CloseHandle(errFile);
        EXPECT_EQ(ReadText(dir / "cli.err"),
                  Message("standard output: write error: " + std::string(std::strerror(EBADF))));
    }
#else
    const struct {
        std::string stdoutTo;
        int error;
    } outputs[] = {{">/dev/full", ENOSPC}, {">&-", EBADF}};
    for (const auto& args : commands) {
        for (const auto& output : outputs) {
            SCOPED_TRACE(args[0] + " " + output.stdoutTo);
            const CliRun run = RunCli(dir, args, output.stdoutTo);
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_EQ(run.err,
                      Message(std::string("standard output: write error: ") + std::strerror(output.error)));
        }
    }
#endif
}

// A reader that stops early ("| head -1") is no error to report, whether the tool gets SIGPIPE or, with the
// signal ignored, EPIPE; the listing is still not reported as complete.
TEST(CliOutput, ReaderThatGoesAwayEndsTheListingQuietly) {
    TempFolder dir;
    ArchiveSpec recipe;
    for (int f = 0; f < 50; ++f) { // some 300 KB of lines, far more than a pipe holds
        FolderSpec folder{"meshes\\folder" + std::to_string(f)};
        for (int i = 0; i < 100; ++i) {
            folder.files.push_back({"entry_with_a_long_name_" + std::to_string(i) + ".nif", {1}});
        }
        recipe.folders.push_back(std::move(folder));
    }
    WriteArchiveFile(recipe, (dir / "big.bsa").string());
    const fs::path err = dir / "cli.err";
#ifdef _WIN32
    // A pipe whose reader takes one line and closes it.
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    ASSERT_TRUE(CreatePipe(&reader, &writer, &inherit, 0));
    SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
    const HANDLE errFile = cli_test::InheritedFile(err, true);
    const HANDLE child = cli_test::StartCli({"list", (dir / "big.bsa").string()}, nullptr, writer, errFile);
    CloseHandle(writer);
    CloseHandle(errFile);
    char line[64];
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(reader, line, sizeof line, &read, nullptr));
    CloseHandle(reader);
    EXPECT_EQ(cli_test::WaitForExit(child), 1);
    EXPECT_EQ(ReadText(err), "");
#else
    const fs::path status = dir / "status";
    for (const bool ignored : {false, true}) {
        SCOPED_TRACE(ignored ? "SIGPIPE ignored" : "SIGPIPE as inherited");
        const std::string command = std::string(ignored ? "trap '' PIPE; " : "") + "{ " +
                                    CliCommand({"list", (dir / "big.bsa").string()}) + " 2>" +
                                    Quote(err.string()) + "; echo $? >" + Quote(status.string()) +
                                    "; } | true";
        ASSERT_EQ(std::system(command.c_str()), 0);
        EXPECT_EQ(ReadText(err), "");
        const int exitCode = std::stoi(ReadText(status));
        EXPECT_NE(exitCode, 0);
        if (ignored) {
            EXPECT_EQ(exitCode, 1);
        }
    }
#endif
}

// A name cannot forge a listed entry or drive the terminal: control characters come out escaped, on stdout
// and on stderr.
TEST(CliNames, ControlCharactersArePrintedEscaped) {
    TempFolder dir;
    ArchiveSpec recipe;
    recipe.folders = {{"bad\nfolder", {{"esc\x1b[31m.dds", {1}}, {"tab\t.txt", {1}}}},
                      {"meshes", {{"del\x7f.nif", {1}}, {"fake.nif\nforged.nif", {1}}, {"plain.nif", {1}}}}};
    WriteArchiveFile(recipe, (dir / "names.bsa").string());
    const std::vector<std::string> escaped = {"bad\\nfolder\\esc\\033[31m.dds", "bad\\nfolder\\tab\\t.txt",
                                              "meshes\\del\\177.nif", "meshes\\fake.nif\\nforged.nif"};

    const CliRun list = RunCli(dir, {"list", (dir / "names.bsa").string()});
    EXPECT_EQ(list.exitCode, 0);
    std::vector<std::string> lines = Lines(list.out);
    std::vector<std::string> expected = escaped;
    expected.push_back("meshes\\plain.nif");
    std::sort(lines.begin(), lines.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);

    const CliRun extract = RunCli(dir, {"extract", (dir / "names.bsa").string(), (dir / "out").string()});
    EXPECT_EQ(extract.exitCode, 1);
    const std::vector<std::string> errors = Lines(extract.err);
    for (const std::string& name : escaped) {
        EXPECT_EQ(std::count(errors.begin(), errors.end(),
                             "parlivex-cli: " + name + ": refused: control character"),
                  1)
            << extract.err;
    }
    // The archive's own path, in a message of the reader.
    const std::string missing = (dir / "no\x1b[2Jsuch.bsa").string();
    const CliRun open = RunCli(dir, {"list", missing});
#ifdef _WIN32
    const uint32_t noSuchName = ERROR_INVALID_NAME; // Windows names hold no control characters
#else
    const uint32_t noSuchName = kErrorFileNotFound;
#endif
    EXPECT_EQ(open.err, Message("Cannot open " + (dir / "no\\033[2Jsuch.bsa").string() + ".  " +
                                ToUtf8(SystemText(noSuchName))));
    for (const CliRun* run : {&extract, &open}) {
        EXPECT_EQ(std::count_if(run->err.begin(), run->err.end(),
                                [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\n'; }),
                  0)
            << run->err;
    }
}

// Paths on the command line open that file and no other: "\" is part of a name here, and bytes that are not
// UTF-8 are kept. Beside each archive lies a decoy at the name a lossy reading would give.
TEST(CliPaths, ArgumentsReachTheFileSystemByteForByte) {
#ifdef _WIN32
    GTEST_SKIP()
        << "Windows paths are UTF-16 with no bytes to keep; CliPaths.NonAsciiArchiveAndDestinationNames "
           "covers them";
#endif
    TempFolder dir;
    fs::create_directories(dir / "back");
    const struct {
        std::string name;
        std::string decoy;
    } cases[] = {
        {"back\\slash.bsa", "back/slash.bsa"},
        {"\xF5\x80\x80.bsa", "\xE5\x80\x80.bsa"}, // once read as U+5000
        {"caf\xE9.bsa", "caf\xEF\xBF\xBD.bsa"},   // Latin-1, once read as U+FFFD
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.decoy);
        ArchiveSpec real;
        real.folders = {{"real", {{"x.txt", {'r'}}}}};
        ArchiveSpec decoy;
        decoy.folders = {{"decoy", {{"x.txt", {'d'}}}}};
        WriteArchiveFile(real, (dir / c.name).string());
        WriteArchiveFile(decoy, (dir / c.decoy).string());

        const CliRun list = RunCli(dir, {"list", (dir / c.name).string()});
        EXPECT_EQ(list.out, "real\\x.txt\n") << list.err;
        // The destination too is taken as it is.
        const fs::path out = dir / ("out-" + c.name);
        const CliRun extract = RunCli(dir, {"extract", (dir / c.name).string(), out.string()});
        EXPECT_EQ(extract.exitCode, 0) << extract.err;
        EXPECT_EQ(ReadWholeFile(out / "real" / "x.txt"), std::vector<uint8_t>{'r'});
    }
    // A byte that is not UTF-8 is shown as such in messages.
    const CliRun missing = RunCli(dir, {"info", (dir / "gone\xFF.bsa").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err,
              Message("Cannot open " + (dir / "gone\\xff.bsa").string() + ".  No such file or directory"));
}

// Names beyond ASCII in the archive's path and in the destination reach the tool intact, on Windows too
// (where the ANSI command line would turn them into question marks).
TEST(CliPaths, NonAsciiArchiveAndDestinationNames) {
    TempFolder dir;
    ArchiveSpec recipe;
    recipe.folders = {{"textures", {{"caf\xE9.dds", {1, 2, 3}}}}};
    const fs::path archive = dir.Path() / fs::path(u8"caf\u00e9 \u0436.bsa");
    WriteArchiveFile(recipe, U8(archive));
    const CliRun list = RunCli(dir, {"list", U8(archive)});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.out, "textures\\caf\xC3\xA9.dds\n");

    const fs::path out = dir.Path() / fs::path(u8"sortie-\u00e9");
    const CliRun extract = RunCli(dir, {"extract", U8(archive), U8(out)});
    EXPECT_EQ(extract.exitCode, 0) << extract.err;
    EXPECT_EQ(TreeOf(out),
              (std::map<std::string, std::vector<uint8_t>>{{"textures/caf\xC3\xA9.dds", {1, 2, 3}}}));
    // A message names the path as it was given.
    const CliRun missing = RunCli(dir, {"info", U8(dir.Path() / fs::path(u8"\u00e9t\u00e9.bsa"))});
    EXPECT_EQ(missing.err, Message("Cannot open " + U8(dir.Path() / fs::path(u8"\u00e9t\u00e9.bsa")) + ".  " +
                                   ToUtf8(SystemText(kErrorFileNotFound))));
}

// Whatever went wrong, each line on stderr is a message of one form: "parlivex-cli: ", the file it concerns
// (the archive, an entry of it, standard output; for a usage error the word at fault), what failed and why. A
// usage error's message is followed by the whole usage. Fixed texts of the core that do not say what they
// mean get the meaning before them; messages of the core that name the archive do not name it twice.
TEST(CliMessages, EveryFailureIsOneFormOfLineThatNamesItsFile) {
    TempFolder dir;
    const auto path = [&dir](const char* name) { return (dir / name).string(); };
    fs::create_directories(dir / "folder.bsa");
    dir.Write("empty.bsa", {});
    WriteArchiveFile(MixedArchive(105, 0x3), path("full.bsa"));
    const auto full = ReadWholeFile(dir / "full.bsa");
    dir.Write("twenty.bsa", std::vector<uint8_t>(full.begin(), full.begin() + 20));
    dir.Write("text.bsa", {'h', 'e', 'l', 'l', 'o'});
    ArchiveSpec old;
    old.version = 103;
    old.folders = {{"a", {{"b.txt", {'b'}}}}};
    WriteArchiveFile(old, path("old.bsa"));
    // A zlib entry whose payload is not zlib, and a raw entry whose bytes lie past the end of the file.
    ArchiveSpec damaged;
    damaged.version = 104;
    EntrySpec broken{"broken.nif", CompressibleBytes(4000, 1), Storage::Zlib};
    broken.packedOverride = std::vector<uint8_t>(50, 0xAB);
    EntrySpec beyond{"beyond.nif", {'x'}, Storage::Raw};
    beyond.offsetOverride = 1 << 20;
    damaged.folders = {{"meshes", {broken, beyond, {"good.nif", {'g'}}}}};
    WriteArchiveFile(damaged, path("damaged.bsa"));
    const std::string shortRead = ": the file ends before its index: Erreur de lecture du flux";

    const struct {
        const char* what;
        std::vector<std::string> args;
        int exitCode;
        std::string err;
        std::string names; // what every message line names
        std::string stdoutTo = "";
    } cases[] = {
        {"a missing archive",
         {"list", path("none.bsa")},
         1,
         Message("Cannot open " + path("none.bsa") + ".  " + ToUtf8(SystemText(kErrorFileNotFound))),
         path("none.bsa")},
        {"a folder as archive",
         {"info", path("folder.bsa")},
         1,
         Message("Cannot open " + path("folder.bsa") + ".  " + ToUtf8(SystemText(kErrorIsAFolder))),
         path("folder.bsa")},
        {"an empty file",
         {"list", path("empty.bsa")},
         1,
         Message(path("empty.bsa") + shortRead),
         path("empty.bsa")},
        {"a 20-byte file",
         {"extract", path("twenty.bsa"), path("out")},
         1,
         Message(path("twenty.bsa") + shortRead),
         path("twenty.bsa")},
#ifndef _WIN32
        {"/dev/null", {"cat", "/dev/null", "a\\b.txt"}, 1, Message("/dev/null" + shortRead), "/dev/null"},
#endif
        {"not a BSA file",
         {"render", path("text.bsa"), "a.dds", path("out.png")},
         1,
         Message(path("text.bsa") + " is not a valid BSA file"),
         path("text.bsa")},
        {"an unsupported version",
         {"list", path("old.bsa")},
         1,
         Message(path("old.bsa") + " is an unsupported version: 103"),
         path("old.bsa")},
        {"an unknown verb",
         {"lst", path("full.bsa")},
         2,
         Message("unknown command: lst") + "\n" + kUsage,
         "lst"},
        {"a missing argument",
         {"extract", path("full.bsa")},
         2,
         Message("missing DEST after extract") + "\n" + kUsage,
         "extract"},
#ifndef _WIN32
        {"a write error",
         {"list", path("full.bsa")},
         1,
         Message(std::string("standard output: write error: ") + std::strerror(ENOSPC)),
         "standard output",
         ">/dev/full"},
#endif
        {"a missing entry",
         {"cat", path("full.bsa"), "meshes\\none.nif"},
         1,
         Message("meshes\\none.nif: not found in " + path("full.bsa")),
         "meshes\\none.nif"},
        {"a damaged entry",
         {"cat", path("damaged.bsa"), "meshes/broken.nif"},
         1,
         Message("meshes/broken.nif: zlib data damaged: Erreur"),
         "meshes/broken.nif"},
        {"damaged entries in an extraction",
         {"extract", path("damaged.bsa"), path("out"), "--jobs", "2"},
         1,
         Message(
             "meshes\\beyond.nif: its stored bytes do not fit in the archive: Erreur de lecture du flux") +
             Message("meshes\\broken.nif: zlib data damaged: Erreur") +
             Message(path("damaged.bsa") + ": 2 of 3 entries failed"),
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CliRun run = RunCli(dir, c.args, c.stdoutTo);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.err, c.err);
        std::string messages = run.err;
        if (c.exitCode == 2) {
            ASSERT_TRUE(messages.ends_with("\n" + std::string(kUsage)));
            messages.resize(messages.size() - 1 - std::strlen(kUsage));
        }
        const std::vector<std::string> lines = Lines(messages);
        EXPECT_FALSE(lines.empty());
        for (const std::string& line : lines) {
            EXPECT_EQ(line.rfind("parlivex-cli: ", 0), 0u) << line;
            EXPECT_NE(line.find(c.names), std::string::npos) << line;
        }
    }
    EXPECT_FALSE(fs::exists(dir / "out.png"));
}

// A folder that cannot be made is reported with the system's reason, not as a missing folder.
TEST(CliMessages, FolderThatCannotBeMadeGivesTheRealReason) {
#ifdef _WIN32
    GTEST_SKIP() << "made unwritable by POSIX permissions, which Windows does not have";
#else
    // Permissions do not stop the superuser: run the tool as "nobody" then.
    std::string asUser;
    if (geteuid() == 0) {
        if (std::system("command -v setpriv >/dev/null") != 0) {
            GTEST_SKIP() << "running as root without setpriv";
        }
        asUser = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    TempFolder dir;
    fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    ArchiveSpec recipe;
    recipe.folders = {{"textures", {{"a.dds", {'a'}}}}};
    WriteArchiveFile(recipe, (dir / "a.bsa").string());
    const fs::path locked = dir / "locked";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    const std::string denied = std::strerror(EACCES);

    const CliRun destination =
        RunCli(dir, {"extract", (dir / "a.bsa").string(), (locked / "out").string()}, "", asUser);
    EXPECT_EQ(destination.exitCode, 1);
    EXPECT_EQ(destination.err, Message((locked / "out").string() + ": cannot create the folder: " + denied));

    const CliRun entry = RunCli(dir, {"extract", (dir / "a.bsa").string(), locked.string()}, "", asUser);
    EXPECT_EQ(entry.exitCode, 1);
    EXPECT_NE(entry.err.find(Message("textures\\a.dds: Cannot create " +
                                     (locked / "textures" / "a.dds").string() + ".  " + denied)),
              std::string::npos)
        << entry.err;
#endif
}
