#include <gtest/gtest.h>

#include <filesystem>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "base/exceptions.h"
#include "fixtures/system_errors.h"
#include "fixtures/temp_folder.h"
#include "streams/write_cached_file_stream.h"
#include "tests/raises.h"

using fixture::ReadWholeFile;
using fixture::TempFolder;
using test_support::Error;
using test_support::Raises;

namespace {
std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<uint8_t>(i % 251);
    }
    return bytes;
}
uintmax_t DiskSize(const std::filesystem::path& path) {
    return std::filesystem::file_size(path);
}
} // namespace

TEST(TwbWriteCachedFileStream, WritesWholeCacheBlocksThenTheRestAtRelease) {
    TempFolder dir;
    const auto data = Pattern(40000);
    {
        TwbWriteCachedFileStream stream(dir.U16("out.bin"));
        EXPECT_EQ(stream.Write(data.data(), 40000), 40000);
        EXPECT_EQ(DiskSize(dir / "out.bin"), 32768u); // two blocks of 16384 during the call
        EXPECT_EQ(stream.Size(), 40000);
    }
    EXPECT_EQ(ReadWholeFile(dir / "out.bin"), data);
}

TEST(TwbWriteCachedFileStream, SizeIsLogicalBeforeAnythingReachesTheFile) {
    TempFolder dir;
    TwbWriteCachedFileStream stream(dir.U16("out.bin"));
    stream.WriteBuffer("0123456789", 10);
    EXPECT_EQ(stream.Size(), 10);
    EXPECT_EQ(stream.Seek(int64_t{0}, TSeekOrigin::soEnd), 10);
    EXPECT_EQ(DiskSize(dir / "out.bin"), 0u);
    EXPECT_EQ(stream.Write("x", 0), 0);
    EXPECT_EQ(stream.Write("x", -4), 0);
    EXPECT_EQ(stream.FileSize(), 10);
}

TEST(TwbWriteCachedFileStream, SeeksInsideAndOutsideTheCachedSpan) {
    TempFolder dir;
    {
        TwbWriteCachedFileStream stream(dir.U16("inside.bin"));
        stream.WriteBuffer("abcde", 5);
        stream.SetPosition(2);
        stream.WriteBuffer("X", 1);
        EXPECT_EQ(DiskSize(dir / "inside.bin"), 0u); // still cached
    }
    EXPECT_EQ(ReadWholeFile(dir / "inside.bin"), (std::vector<uint8_t>{'a', 'b', 'X', 'd', 'e'}));

    {
        TwbWriteCachedFileStream stream(dir.U16("gap.bin"));
        stream.SetPosition(100);
        stream.WriteBuffer("z", 1);
        EXPECT_EQ(stream.FileSize(), 101);
    }
    const auto gap = ReadWholeFile(dir / "gap.bin");
    ASSERT_EQ(gap.size(), 101u);
    EXPECT_EQ(gap[100], 'z');

    const auto data = Pattern(20000);
    {
        TwbWriteCachedFileStream stream(dir.U16("back.bin"));
        stream.WriteBuffer(data.data(), 20000);
        EXPECT_EQ(DiskSize(dir / "back.bin"), 16384u);
        stream.SetPosition(0);
        stream.WriteBuffer("Q", 1); // flushes the 3616 cached bytes first
        EXPECT_EQ(DiskSize(dir / "back.bin"), 20000u);
    }
    auto expected = data;
    expected[0] = 'Q';
    EXPECT_EQ(ReadWholeFile(dir / "back.bin"), expected);
}

TEST(TwbWriteCachedFileStream, CreationEmptiesOrFails) {
    TempFolder dir;
    const auto existing = dir.Write("old.bin", Pattern(500));
    {
        TwbWriteCachedFileStream stream(existing);
        EXPECT_EQ(DiskSize(dir / "old.bin"), 0u);
    }
    const auto nowhere = dir.U16("no-such-folder/new.bin");
    EXPECT_TRUE(Raises([&] { TwbWriteCachedFileStream stream(nowhere); },
                       Error<EStreamError>(u"Cannot create " + nowhere + u".  " +
                                           fixture::SystemText(fixture::kErrorFolderNotFound))));
}

TEST(TwbWriteCachedFileStream, CloseReportsAFailedLastFlush) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    TwbWriteCachedFileStream stream(u"/dev/full");
    stream.WriteBuffer("abc", 3);
    EXPECT_TRUE(Raises([&] { stream.Close(); },
                       Error<EStreamError>(u"FileWrite failed for /dev/full.  No space left on device")));
}

TEST(TwbWriteCachedFileStream, FullCacheFailsInsideWrite) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    const auto data = Pattern(20000);
    TwbWriteCachedFileStream stream(u"/dev/full");
    EXPECT_TRUE(Raises([&] { stream.WriteBuffer(data.data(), 20000); },
                       Error<EStreamError>(u"FileWrite failed for /dev/full.  No space left on device")));
    EXPECT_EQ(stream.Position(), 16384); // the bytes taken before the failing flush
}

// Whole blocks with more bytes after them go to the file straight from the caller's buffer; the file must see
// the same blocks as through the cache: a block that ends the data stays cached until release, and a write
// into a partly filled cache first fills that block.
TEST(TwbWriteCachedFileStream, BlocksReachTheFileAsThroughTheCache) {
    TempFolder dir;
    const auto data = Pattern(70000);
    {
        TwbWriteCachedFileStream stream(dir.U16("exact.bin"));
        stream.WriteBuffer(data.data(), 32768);
        EXPECT_EQ(DiskSize(dir / "exact.bin"), 16384u); // the second block waits for more or for the release
    }
    EXPECT_EQ(ReadWholeFile(dir / "exact.bin"), std::vector<uint8_t>(data.begin(), data.begin() + 32768));
    {
        TwbWriteCachedFileStream stream(dir.U16("mixed.bin"));
        stream.WriteBuffer(data.data(), 100);
        stream.WriteBuffer(data.data() + 100, 69900);
        EXPECT_EQ(DiskSize(dir / "mixed.bin"), 65536u); // four whole blocks, the rest cached
    }
    EXPECT_EQ(ReadWholeFile(dir / "mixed.bin"), data);
}

// The transfers are positioned; a file that cannot be positioned fails as it would at moving the pointer.
#ifndef _WIN32
// (Windows writes to a pipe wherever it stands, whatever position the write names.)
TEST(TwbWriteCachedFileStream, UnseekableFileFailsAtPositioning) {
    int ends[2] = {};
    ASSERT_EQ(pipe(ends), 0);
    {
        TwbWriteCachedFileStream stream(u"pipe", 0, ends[1]);
        stream.WriteBuffer("abc", 3);
        EXPECT_TRUE(Raises([&] { stream.Close(); },
                           Error<EStreamError>(u"SetFilePointerEx failed for pipe.  Illegal seek")));
    }
    close(ends[0]);
    close(ends[1]);
}
#endif
