// Runs the real parlivex-cli on archives built by the test writer and compares what it writes byte by byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <thread>

#include "archive/bsa_file.h"
#include "base/ustring.h"
#include "cli/extract_job.h"
#include "tests/support/bsa_writer.h"
#include "tests/support/system_errors.h"
#include "tests/support/temp_folder.h"

using namespace fixture;
namespace fs = std::filesystem;

namespace {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// A path as the program's arguments and messages carry it: UTF-8.
std::string U8(const fs::path& path) {
    return ToUtf8(path.u16string());
}

#ifdef _WIN32
// One argument of a command line as the C runtime splits it: quoted, with the backslashes before a quote
// doubled.
std::wstring Quote(const std::string& arg) {
    const std::u16string text = FromUtf8(arg);
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const char16_t c : text) {
        if (c == u'\\') {
            ++backslashes;
        } else {
            if (c == u'"') {
                quoted.append(backslashes + 1,
                              L'\\'); // the backslashes before it, and the quote itself, escaped
            }
            backslashes = 0;
        }
        quoted += static_cast<wchar_t>(c);
    }
    quoted.append(backslashes, L'\\');
    return quoted + L"\"";
}

// Runs the tool with the arguments in UTF-16, as the system hands them over, its output going to files.
int RunProcess(const std::vector<std::string>& args, const fs::path& out, const fs::path& err) {
    std::wstring command = Quote(PARLIVEX_CLI_PATH);
    for (const auto& arg : args) {
        command += L" " + Quote(arg);
    }
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const auto open = [&](const wchar_t* path, DWORD access, DWORD disposition) {
        return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = open(L"NUL", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = open(out.c_str(), GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = open(err.c_str(), GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION process{};
    DWORD exitCode = static_cast<DWORD>(-1);
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(startup.hStdInput);
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
    return static_cast<int>(exitCode);
}
#else
std::string Quote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

int RunProcess(const std::vector<std::string>& args, const fs::path& out, const fs::path& err) {
    std::string command = Quote(PARLIVEX_CLI_PATH);
    for (const auto& arg : args) {
        command += " " + Quote(arg);
    }
    command += " >" + Quote(out.string()) + " 2>" + Quote(err.string()) + " </dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

CliRun RunCli(const TempFolder& dir, const std::vector<std::string>& args) {
    const fs::path out = dir / "cli.out";
    const fs::path err = dir / "cli.err";
    CliRun run;
    run.exitCode = RunProcess(args, out, err);
    const auto outBytes = ReadWholeFile(out);
    const auto errBytes = ReadWholeFile(err);
    run.out.assign(outBytes.begin(), outBytes.end());
    run.err.assign(errBytes.begin(), errBytes.end());
    return run;
}

// Every file below root, by its path relative to root, with its bytes.
std::map<std::string, std::vector<uint8_t>> TreeOf(const fs::path& root) {
    std::map<std::string, std::vector<uint8_t>> tree;
    if (!fs::exists(root)) {
        return tree;
    }
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (item.is_regular_file()) {
            tree[ToUtf8(fs::relative(item.path(), root).generic_u16string())] = ReadWholeFile(item.path());
        }
    }
    return tree;
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
    WriteArchiveFile(recipe, U8(dir / "mixed.bsa"));
    const auto expected = ExpectedTree(recipe);

    for (const char* jobs : {"1", "3"}) {
        const fs::path out = dir / (std::string("out") + jobs);
        const CliRun run = RunCli(dir, {"extract", U8(dir / "mixed.bsa"), U8(out), "--jobs", jobs});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(TreeOf(out), expected) << "jobs " << jobs;
    }
    // A second run into the same folder replaces the files with the same bytes.
    const CliRun again = RunCli(dir, {"extract", U8(dir / "mixed.bsa"), U8(dir / "out1")});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(TreeOf(dir / "out1"), expected);
}

INSTANTIATE_TEST_SUITE_P(VersionsAndFlags, CliExtractTest,
                         testing::Values(std::make_tuple(105u, 0x3u), std::make_tuple(105u, 0x7u),
                                         std::make_tuple(105u, 0x107u), std::make_tuple(104u, 0x3u),
                                         std::make_tuple(104u, 0x7u), std::make_tuple(104u, 0x103u)));

TEST(CliExtract, FilterKeepsMatchingEntries) {
    TempFolder dir;
    WriteArchiveFile(MixedArchive(105, 0x7), U8(dir / "a.bsa"));
    const CliRun run = RunCli(dir, {"extract", U8(dir / "a.bsa"), U8(dir / "out"), "--filter", "  IRON "});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const auto tree = TreeOf(dir / "out");
    EXPECT_EQ(tree.size(), 4u); // everything below textures\armor\iron
    EXPECT_TRUE(tree.count("textures/armor/iron/iron_n.dds"));
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
    WriteArchiveFile(recipe, U8(dir / "hostile.bsa"));
    const fs::path out = dir / "deep" / "out";
    const CliRun run = RunCli(dir, {"extract", U8(dir / "hostile.bsa"), U8(out)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("..\\..\\escape\\evil.txt: refused: '..' component"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("c:\\windows\\evil.dll: refused: drive prefix"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\\\\server\\share\\evil.txt: refused: absolute path"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("meshes\\broken.nif: Erreur"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("4 of 5 entries failed"), std::string::npos) << run.err;
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
            expectedErr += xEntries[i] + ": same destination as " + xEntries[0] + "\n";
        }
        expectedErr += "3 of 44 entries failed\n";
        EXPECT_EQ(run.err, expectedErr);
        const auto tree = TreeOf(out);
        EXPECT_EQ(tree.size(), 41u);
        EXPECT_EQ(tree.at("a/b/x.bin"), recipe.folders[firstFolder].files[0].data);
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
    fs::create_directory_symlink(outside, out / "textures");
    fs::create_symlink(outside / "file", out / "meshes" / "linked.nif");
    fs::create_hard_link(outside / "hard", out / "meshes" / "hard.nif");
    fs::create_symlink(outside / "missing", out / "meshes" / "dangling.nif");

    const CliRun run = RunCli(dir, {"extract", (dir / "a.bsa").string(), out.string(), "--jobs", "2"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "textures\\a.dds: refused: link in the path\n1 of 4 entries failed\n");
    EXPECT_EQ(TreeOf(outside), (std::map<std::string, std::vector<uint8_t>>{{"file", old}, {"hard", old}}));
    for (const char* name : {"linked.nif", "hard.nif", "dangling.nif"}) {
        EXPECT_FALSE(fs::is_symlink(out / "meshes" / name)) << name;
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
    std::vector<std::u16string> entries;
    archive.forEachEntry([&](const std::u16string& folder, const std::u16string& file) {
        entries.push_back(folder + u"\\" + file);
    });
    fs::remove(dir / "a.bsa");
    dir.Write("a.bsa", {'n', 'o', 't', ' ', 'i', 't'});
    const ExtractSummary summary =
        ExtractEntries(archive, entries, FromUtf8((dir / "out").string()), 3, nullptr);
    EXPECT_TRUE(summary.failures.empty());
    EXPECT_FALSE(summary.cancelled);
    EXPECT_EQ(TreeOf(dir / "out"), ExpectedTree(recipe));
}

// SIGTERM in the middle of a run: no more entries are taken, temporary files are removed, "interrupted", exit
// 130. Every file under its final name holds either its old bytes or the entry's, never a part or a mix.
TEST(CliExtract, TerminatedRunLeavesOnlyWholeFiles) {
    TempFolder dir;
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
    // Wait until the run has replaced its first file, then ask it to stop.
    const fs::path first = out / "data" / folder.files[0].name;
    for (int i = 0; i < 20000 && fs::file_size(first) == old.size(); ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    const auto err = ReadWholeFile(errPath);
    EXPECT_EQ(std::string(err.begin(), err.end()), "interrupted\n");

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

TEST(CliList, PrintsEntryStringsInNameOrderAsUtf8) {
    TempFolder dir;
    ArchiveSpec recipe;
    recipe.folders = {{"textures", {{"B.dds", {1}}, {"a.dds", {1}}}}, {"Meshes", {{"caf\xE9.nif", {1}}}}};
    WriteArchiveFile(recipe, U8(dir / "a.bsa"));
    const CliRun run = RunCli(dir, {"list", U8(dir / "a.bsa")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "meshes\\caf\xC3\xA9.nif\ntextures\\a.dds\ntextures\\B.dds\n");

    const CliRun info = RunCli(dir, {"info", U8(dir / "a.bsa")});
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
    WriteArchiveFile(recipe, U8(dir / "a.bsa"));
    const CliRun run = RunCli(dir, {"list", U8(dir / "a.bsa")});
    EXPECT_EQ(run.exitCode, 0);
    std::string all;
    for (const std::string& line : expected) {
        all += line;
    }
    ASSERT_GT(all.size(), size_t{1} << 17);
    EXPECT_EQ(run.out, all);
}

// Names beyond ASCII in the archive's path and in the destination reach the tool intact, on Windows too
// (where the ANSI command line would turn them into question marks).
TEST(CliCommands, NonAsciiArchiveAndDestinationNames) {
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
}

TEST(CliCommands, OpenFailuresAndUsage) {
    TempFolder dir;
    const auto notArchive = dir.Write("text.bsa", {'h', 'e', 'l', 'l', 'o'});
    for (const char* command : {"list", "info"}) {
        const CliRun run = RunCli(dir, {command, U8(dir / "text.bsa")});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, U8(dir / "text.bsa") + " is not a valid BSA file\n");
    }
    const CliRun missing = RunCli(dir, {"extract", U8(dir / "none.bsa"), U8(dir / "out")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err,
              "Cannot open " + U8(dir / "none.bsa") + ".  " + ToUtf8(SystemText(kErrorFileNotFound)) + "\n");
    EXPECT_FALSE(fs::exists(dir / "out"));

    EXPECT_EQ(RunCli(dir, {}).exitCode, 2);
    EXPECT_EQ(RunCli(dir, {"extract", "a.bsa", "out", "--jobs", "0"}).exitCode, 2);
    const CliRun help = RunCli(dir, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("parlivex-cli extract ARCHIVE DEST [--filter TEXT] [--jobs N]"),
              std::string::npos);
}
