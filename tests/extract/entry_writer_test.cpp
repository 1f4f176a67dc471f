// Writing one fetched entry: whole files only. The new bytes reach the final name in one rename after the
// last byte; whatever had the name (a file, a link, a hard link) is replaced and never written through; a
// failure or a cancel leaves the old file as it was and no temporary file behind.
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <string>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif
#include <vector>

#include <gtest/gtest.h>

#include "base/ustring.h"
#include "extract/entry_writer.h"
#include "fixtures/file_tree.h"
#include "fixtures/links.h"
#include "fixtures/system_errors.h"
#include "platform/file.h"
#include "platform/folder_files.h"
#include "tests/archive/archive_test_util.h"

namespace {

namespace fs = std::filesystem;
using archive_test::TextBytes;
using fixture::ReadWholeFile;
using test_support::Error;
using test_support::Raises;

// An open folder for the writer, closed at the end.
class OpenFolder {
public:
    explicit OpenFolder(const fs::path& path) : handle_(platform::FolderOpen(FromUtf8(path.string()))) {}
    ~OpenFolder() { platform::FolderClose(handle_); }
    platform::FolderHandle Handle() const { return handle_; }

private:
    platform::FolderHandle handle_;
};

using fixture::NamesIn;

bool Write(const fs::path& folder, const std::string& name, const std::vector<uint8_t>& data,
           const std::atomic<bool>* cancel = nullptr) {
    const OpenFolder open(folder);
    return WriteEntryFile(open.Handle(), FromUtf8(name), FromUtf8((folder / name).string()), data,
                          ChooseTemporaryPrefix({}), cancel);
}

TEST(WriteEntryFile, ReplacesWhateverHasTheNameAndNeverWritesThroughALink) {
    const std::vector<uint8_t> data = fixture::RandomBytes(2'500'000, 1); // several cancel-check blocks
    const std::vector<uint8_t> old = TextBytes("old content, longer than nothing");
    struct Case {
        const char* what;
        // False when this system cannot make what the case needs.
        std::function<bool(const fs::path& dest, const fs::path& outside)> prepare;
    };
    const Case cases[] = {
        {"nothing", [](const fs::path&, const fs::path&) { return true; }},
        {"a longer file",
         [&](const fs::path& dest, const fs::path&) {
             std::ofstream(dest / "x.bin", std::ios::binary) << std::string(3'000'000, 'o');
             return true;
         }},
        {"a link to a file outside",
         [](const fs::path& dest, const fs::path& outside) {
             return fixture::MakeSymlink(outside / "target", dest / "x.bin");
         }},
        {"a dangling link",
         [](const fs::path& dest, const fs::path& outside) {
             return fixture::MakeSymlink(outside / "missing", dest / "x.bin");
         }},
        {"a hard link to a file outside",
         [](const fs::path& dest, const fs::path& outside) {
             fs::create_hard_link(outside / "target", dest / "x.bin");
             return true;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fixture::TempFolder temp;
        const fs::path dest = temp / "dest";
        const fs::path outside = temp / "outside";
        fs::create_directories(dest);
        fs::create_directories(outside);
        temp.Write("outside/target", old);
        if (!c.prepare(dest, outside)) {
            GTEST_SKIP() << "this system cannot make symbolic links";
        }

        EXPECT_TRUE(Write(dest, "x.bin", data));
        EXPECT_FALSE(fixture::IsLink(dest / "x.bin"));
        EXPECT_EQ(ReadWholeFile(dest / "x.bin"), data);
        EXPECT_EQ(ReadWholeFile(outside / "target"), old) << "the file outside keeps its bytes";
        EXPECT_EQ(NamesIn(outside), std::vector<std::string>{"target"});
        EXPECT_EQ(NamesIn(dest), std::vector<std::string>{"x.bin"}) << "no temporary file left";
    }
}

TEST(WriteEntryFile, ZeroBytesReplaceAnExistingFileWithAnEmptyOne) {
    const fixture::TempFolder temp;
    temp.Write("x.txt", TextBytes("old"));
    EXPECT_TRUE(Write(temp.Path(), "x.txt", {}));
    EXPECT_TRUE(fs::exists(temp / "x.txt"));
    EXPECT_EQ(fs::file_size(temp / "x.txt"), 0u);
}

// Every way the write can end early: the old file stays whole under its name, nothing else is left, and a
// message names the final file, never the temporary one.
TEST(WriteEntryFile, FailureOrCancelLeavesTheOldFileAndNoTemporaryFile) {
    const std::vector<uint8_t> data = fixture::RandomBytes(3'000'000, 2);
    const std::vector<uint8_t> old = TextBytes("old");
    {
        SCOPED_TRACE("cancelled");
        const fixture::TempFolder temp;
        temp.Write("x.bin", old);
        std::atomic<bool> cancel{true};
        EXPECT_FALSE(Write(temp.Path(), "x.bin", data, &cancel));
        EXPECT_EQ(ReadWholeFile(temp / "x.bin"), old);
        EXPECT_EQ(NamesIn(temp.Path()), std::vector<std::string>{"x.bin"});
    }
    {
        SCOPED_TRACE("a folder has the name");
        const fixture::TempFolder temp;
        fs::create_directories(temp / "x.bin");
        const std::string file = (temp / "x.bin").string();
        EXPECT_TRUE(Raises([&] { Write(temp.Path(), "x.bin", data); },
                           Error<EStreamError>("Cannot create " + file + ".  " +
                                               ToUtf8(fixture::SystemText(fixture::kErrorIsAFolder)))));
        EXPECT_EQ(NamesIn(temp.Path()), std::vector<std::string>{"x.bin"});
    }
}

// The disk fills up half way: the old file stays whole under its name, nothing else is left.
TEST(WriteEntryFile, FullDiskLeavesTheOldFileAndNoTemporaryFile) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no file size limit of a process to make a write fail half way";
#else
    const std::vector<uint8_t> data = fixture::RandomBytes(3'000'000, 2);
    const std::vector<uint8_t> old = TextBytes("old");
    const fixture::TempFolder temp;
    temp.Write("x.bin", old);
    const std::string file = (temp / "x.bin").string();
    // A file size limit makes the write fail after 1 MiB, as a full disk would.
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 1 << 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const ::testing::AssertionResult raised =
        Raises([&] { Write(temp.Path(), "x.bin", data); },
               Error<EStreamError>("FileWrite failed for " + file + ".  " +
                                   ToUtf8(platform::SystemErrorText(EFBIG))));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedHandler);
    EXPECT_TRUE(raised);
    EXPECT_EQ(ReadWholeFile(temp / "x.bin"), old);
    EXPECT_EQ(NamesIn(temp.Path()), std::vector<std::string>{"x.bin"});
#endif
}

// The temporary files' prefix has random bits, and none of the run's folder or file names begins with it,
// whatever the case rules of the file system.
TEST(ChooseTemporaryPrefix, NoNameOfTheRunBeginsWithIt) {
    const std::u16string first = ChooseTemporaryPrefix({});
    EXPECT_TRUE(first.starts_with(u".parlivex-")) << ToUtf8(first);
    EXPECT_EQ(first.size(), std::u16string(u".parlivex-").size() + 16 + 1);
    EXPECT_NE(ChooseTemporaryPrefix({}), first) << "64 random bits";

    // A counter for bits: the first prefix is ".parlivex-0000000000000001-", the next ends in 2, and so on.
    uint64_t drawn = 0;
    const auto counting = [&drawn] { return ++drawn; };
    const std::u16string one = u".parlivex-0000000000000001-";
    const std::u16string two = u".parlivex-0000000000000002-";
    const struct {
        std::vector<std::u16string> entries;
        std::u16string chosen;
    } cases[] = {
        {{u"d\\x.bin", u".parlivex-0000000000000001", u"d\\.parlivex-0000000000000001"}, one},
        {{u"d\\" + one + u"7"}, two},
        {{u"d\\" + one + u"7\\x.bin"}, two},
        {{one + u"7\\x.bin"}, two},
        {{u"a\\b", u"c\\" + one, u"d\\" + two + u"99"}, u".parlivex-0000000000000003-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.entries.back()));
        drawn = 0;
        EXPECT_EQ(ToUtf8(ChooseTemporaryPrefix(c.entries, counting)), ToUtf8(c.chosen));
    }
    // Where case does not tell names apart, neither does the choice.
    drawn = 0;
    const std::u16string chosen = ChooseTemporaryPrefix({u"d\\.PARLIVEX-0000000000000001-7"}, counting);
    std::u16string probe = u".parlivex-";
    platform::ToFileNameKey(probe);
    EXPECT_EQ(ToUtf8(chosen), ToUtf8(probe == u".parlivex-" ? one : two));
}

} // namespace
