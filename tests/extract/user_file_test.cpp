// Writing a file at a path the user gave: the whole file or nothing, a regular file or a link at the name
// replaced and never written through, anything else refused and left as it was, and the system's reason for
// every failure.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include "base/ustring.h"
#include "extract/user_file.h"
#include "fixtures/bsa_writer.h"
#include "fixtures/file_tree.h"
#include "fixtures/links.h"
#include "fixtures/system_errors.h"
#include "fixtures/temp_folder.h"
#include "platform/file.h"
#include "platform/native_path.h"

namespace {

namespace fs = std::filesystem;
using fixture::ReadWholeFile;

const std::vector<uint8_t> kOld = {'o', 'l', 'd'};

using fixture::NamesIn;

// A path as the command line hands it over: its bytes, whatever they are.
std::u16string UserPath(const fs::path& path) {
    return platform::PathFromNative(path.string());
}

// A folder "dest" to write in and a folder "outside" with a file "target" that must keep its bytes.
struct Folders {
    fixture::TempFolder temp;
    fs::path dest = temp / "dest";
    fs::path outside = temp / "outside";
    Folders() {
        fs::create_directories(dest);
        fs::create_directories(outside);
        temp.Write("outside/target", kOld);
    }
};

TEST(WriteUserFile, WritesTheFileOrReplacesAFileOrLinkWithoutWritingThroughIt) {
    const std::vector<uint8_t> data = fixture::RandomBytes(100'000, 1);
    struct Case {
        const char* what;
        // False when this system cannot make what the case needs.
        std::function<bool(const Folders&)> prepare;
    };
    const Case cases[] = {
        {"nothing", [](const Folders&) { return true; }},
        {"a longer file",
         [](const Folders& f) {
             f.temp.Write("dest/out.png", std::vector<uint8_t>(300'000, 'o'));
             return true;
         }},
        {"a link to a file",
         [](const Folders& f) { return fixture::MakeSymlink(f.outside / "target", f.dest / "out.png"); }},
        {"a dangling link",
         [](const Folders& f) { return fixture::MakeSymlink(f.outside / "missing", f.dest / "out.png"); }},
        {"a hard link to a file",
         [](const Folders& f) {
             fs::create_hard_link(f.outside / "target", f.dest / "out.png");
             return true;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Folders f;
        if (!c.prepare(f)) {
            GTEST_SKIP() << "this system cannot make symbolic links";
        }
        std::u16string reason;
        EXPECT_TRUE(WriteUserFile(UserPath(f.dest / "out.png"), data, reason)) << ToUtf8(reason);
        EXPECT_FALSE(fixture::IsLink(f.dest / "out.png"));
        EXPECT_EQ(ReadWholeFile(f.dest / "out.png"), data);
        EXPECT_EQ(ReadWholeFile(f.outside / "target"), kOld) << "what a link led to keeps its bytes";
        EXPECT_EQ(NamesIn(f.outside), std::vector<std::string>{"target"});
        EXPECT_EQ(NamesIn(f.dest), std::vector<std::string>{"out.png"}) << "no temporary file left";
    }
}

TEST(WriteUserFile, RefusesWhatIsNotARegularFileAndLeavesItAsItWas) {
    struct Case {
        const char* what;
        std::function<bool(const Folders&)> prepare;
        std::u16string reason;
        fs::file_type left; // what the name still is, not following a link
    };
    const std::vector<Case> cases = {
        {"a folder", [](const Folders& f) { return fs::create_directory(f.dest / "out.png"); }, kIsAFolder,
         fs::file_type::directory},
        {"a link to a folder",
         [](const Folders& f) { return fixture::MakeSymlink(f.outside, f.dest / "out.png"); },
         kLinkToNonRegularFile, fs::file_type::symlink},
#ifndef _WIN32
        {"a FIFO", [](const Folders& f) { return mkfifo((f.dest / "out.png").c_str(), 0666) == 0; },
         kNotARegularFile, fs::file_type::fifo},
        {"a link to a FIFO",
         [](const Folders& f) {
             return mkfifo((f.outside / "fifo").c_str(), 0666) == 0 &&
                    fixture::MakeSymlink(f.outside / "fifo", f.dest / "out.png");
         },
         kLinkToNonRegularFile, fs::file_type::symlink},
        // A device; as root, replacing what the link leads to would destroy /dev/null.
        {"a link to a device",
         [](const Folders& f) { return fixture::MakeSymlink("/dev/null", f.dest / "out.png"); },
         kLinkToNonRegularFile, fs::file_type::symlink},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Folders f;
        if (!c.prepare(f)) {
            GTEST_SKIP() << "this system cannot make symbolic links";
        }
        std::u16string reason;
        EXPECT_FALSE(WriteUserFile(UserPath(f.dest / "out.png"), fixture::RandomBytes(1000, 2), reason));
        EXPECT_EQ(ToUtf8(reason), ToUtf8(c.reason));
        if (c.left == fs::file_type::symlink) {
            EXPECT_TRUE(fixture::IsLink(f.dest / "out.png")); // which the C++ library of Wine cannot tell
        } else {
            EXPECT_EQ(fs::symlink_status(f.dest / "out.png").type(), c.left);
        }
        EXPECT_EQ(NamesIn(f.dest), std::vector<std::string>{"out.png"}) << "no temporary file left";
        EXPECT_EQ(ReadWholeFile(f.outside / "target"), kOld);
#ifndef _WIN32
        EXPECT_TRUE(fs::is_character_file("/dev/null"));
#endif
    }
}

TEST(WriteUserFile, SaysTheSystemsReasonWhenTheFolderCannotBeOpened) {
    const Folders f;
    f.temp.Write("dest/file.txt", kOld);
#ifdef _WIN32
    const uint32_t fileOnTheWay = ERROR_DIRECTORY;
#else
    const uint32_t fileOnTheWay = fixture::kErrorFileOnTheWay;
#endif
    const struct {
        fs::path path;
        std::u16string reason;
    } cases[] = {
        {f.dest / "missing" / "out.png", fixture::SystemText(fixture::kErrorFileNotFound)},
        {f.dest / "file.txt" / "out.png", fixture::SystemText(fileOnTheWay)},
        {f.dest / "", kNotAFileName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.string());
        std::u16string reason;
        EXPECT_FALSE(WriteUserFile(UserPath(c.path), fixture::RandomBytes(1000, 3), reason));
        EXPECT_EQ(ToUtf8(reason), ToUtf8(c.reason));
        EXPECT_EQ(NamesIn(f.dest), std::vector<std::string>{"file.txt"});
    }
}

#ifndef _WIN32
// A replaced file keeps its permission bits, whatever the process's umask gives new files; its name may be
// any bytes.
TEST(WriteUserFile, KeepsThePermissionsOfTheFileItReplaces) {
    for (const char* name : {"out.png", "x\xfe.png"}) {
        for (const mode_t mode : {mode_t{0600}, mode_t{0751}}) {
            SCOPED_TRACE(std::string(name) + " mode " + std::to_string(mode));
            const Folders f;
            std::ofstream(f.dest / name) << "old";
            ASSERT_EQ(chmod((f.dest / name).c_str(), mode), 0);
            const std::vector<uint8_t> data = fixture::RandomBytes(1000, 4);
            std::u16string reason;
            EXPECT_TRUE(WriteUserFile(UserPath(f.dest / name), data, reason)) << ToUtf8(reason);
            EXPECT_EQ(ReadWholeFile(f.dest / name), data);
            struct stat info {};
            ASSERT_EQ(stat((f.dest / name).c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, mode);
            EXPECT_EQ(NamesIn(f.dest), std::vector<std::string>{name});
        }
    }
}

// A write beyond the file size limit fails with the system's reason; the old file stays, nothing else.
TEST(WriteUserFile, FileSizeLimitLeavesTheOldFileAndNoTemporaryFile) {
    const Folders f;
    f.temp.Write("dest/out.png", kOld);
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 1 << 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::u16string reason;
    const bool written =
        WriteUserFile(UserPath(f.dest / "out.png"), fixture::RandomBytes(200'000, 5), reason);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(ToUtf8(reason), ToUtf8(platform::SystemErrorText(EFBIG)));
    EXPECT_EQ(ReadWholeFile(f.dest / "out.png"), kOld);
    EXPECT_EQ(NamesIn(f.dest), std::vector<std::string>{"out.png"});
}
#endif

} // namespace
