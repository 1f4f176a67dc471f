#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "base/exceptions.h"
#include "fixtures/system_errors.h"
#include "fixtures/temp_folder.h"
#include "platform/file.h"
#include "streams/read_only_cached_file_stream.h"
#include "tests/raises.h"

using fixture::TempFolder;
using test_support::Error;
using test_support::Raises;

namespace {
std::vector<uint8_t> Numbered(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 256);
    }
    return bytes;
}

// Overwrites the file on disk behind the stream's back: what the stream still returns unchanged came from its
// cache, which shows exactly which bytes were cached.
void Scribble(const std::filesystem::path& path, size_t at, size_t count) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(at));
    const std::string marks(count, '\xEE');
    file.write(marks.data(), static_cast<std::streamsize>(count));
    ASSERT_TRUE(file.good()) << "cannot write " << path;
}

// The stream opens its file for reading and shares it with readers only; the tests that scribble give it a
// handle of their own that lets others write too.
class ScribbleableFile {
public:
    explicit ScribbleableFile(const std::u16string& name) {
#ifdef _WIN32
        handle_ = reinterpret_cast<platform::FileHandle>(CreateFileW(
            reinterpret_cast<const wchar_t*>(name.c_str()), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
#else
        handle_ = platform::FileOpenRead(name);
#endif
    }
    ~ScribbleableFile() {
        platform::FileClose(handle_);
    }
    ScribbleableFile(const ScribbleableFile&) = delete;
    ScribbleableFile& operator=(const ScribbleableFile&) = delete;
    platform::FileHandle Handle() const {
        return handle_;
    }

private:
    platform::FileHandle handle_;
};
} // namespace

TEST(TwbReadOnlyCachedFileStream, CacheSizeDefaultsTo16384) {
    TempFolder dir;
    const auto name = dir.Write("f.bin", Numbered(10));
    struct Case {
        int32_t requested;
        int32_t expected;
    };
    for (const Case c : {Case{0, 16384}, Case{-5, 16384}, Case{100, 100}}) {
        TwbReadOnlyCachedFileStream stream(name, c.requested);
        EXPECT_EQ(stream.CacheSize(), c.expected) << c.requested;
    }
    EXPECT_EQ(TwbReadOnlyCachedFileStream(name).CacheSize(), 16384);
}

TEST(TwbReadOnlyCachedFileStream, GivenHandleStaysOpenAfterwards) {
    TempFolder dir;
    const auto name = dir.Write("f.bin", Numbered(10));
    const platform::FileHandle handle = platform::FileOpenRead(name);
    ASSERT_NE(handle, platform::kInvalidFileHandle);
    {
        TwbReadOnlyCachedFileStream stream(name, 0, handle);
        uint8_t byte = 0;
        stream.ReadBuffer(&byte, 1);
        EXPECT_EQ(byte, Numbered(1)[0]);
    }
    int64_t size = 0;
    EXPECT_TRUE(platform::FileGetSize(handle, &size)) << "the stream closed a handle it did not own";
    platform::FileClose(handle);
}

TEST(TwbReadOnlyCachedFileStream, MissingFileMessage) {
    TempFolder dir;
    const auto name = dir.U16("missing.bsa");
    EXPECT_TRUE(Raises([&] { TwbReadOnlyCachedFileStream stream(name); },
                       Error<EStreamError>(u"Cannot open " + name + u".  " +
                                           fixture::SystemText(fixture::kErrorFileNotFound))));
}

TEST(TwbReadOnlyCachedFileStream, LazySeekAnywhere) {
    TempFolder dir;
    TwbReadOnlyCachedFileStream stream(dir.Write("f.bin", Numbered(1000)));
    EXPECT_EQ(stream.Size(), 1000);
    EXPECT_EQ(stream.Seek(int64_t{0}, TSeekOrigin::soEnd), 1000);
    EXPECT_EQ(stream.Seek(int64_t{-10}, TSeekOrigin::soBeginning), -10);
    EXPECT_EQ(stream.Position(), -10);
    EXPECT_EQ(stream.Seek(int64_t{5}, TSeekOrigin::soEnd), 1005);
    EXPECT_EQ(stream.Seek(int64_t{3}, static_cast<TSeekOrigin>(7)), 1005);

    // Only a transfer judges the position: reading before the file's start fails to move the file pointer.
    stream.SetPosition(-10);
    uint8_t byte = 0;
    EXPECT_TRUE(Raises([&] { stream.Read(&byte, 1); },
                       Error<EStreamError>(u"SetFilePointerEx failed for " + stream.FileName() + u".  " +
                                           fixture::SystemText(fixture::kErrorNegativePosition))));
}

#ifdef _WIN32
// While the reader holds the archive, others may read it but nobody may change it under the reader.
TEST(TwbReadOnlyCachedFileStream, OthersMayReadButNotWriteTheOpenFile) {
    TempFolder dir;
    const auto name = dir.Write("f.bin", Numbered(10));
    const auto path = reinterpret_cast<const wchar_t*>(name.c_str());
    TwbReadOnlyCachedFileStream stream(name);
    const HANDLE reader = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    const HANDLE writer = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}
#endif

TEST(TwbReadOnlyCachedFileStream, WritingRaises) {
    TempFolder dir;
    TwbReadOnlyCachedFileStream stream(dir.Write("f.bin", Numbered(10)));
    EXPECT_TRUE(
        Raises([&] { stream.Write("x", 1); }, Error<EAssertionFailed>(u"Cannot write to this stream")));
    EXPECT_EQ(stream.Position(), 0);
}

TEST(TwbReadOnlyCachedFileStream, ShortReadsAtTheEnd) {
    TempFolder dir;
    TwbReadOnlyCachedFileStream stream(dir.Write("f.bin", Numbered(5)));
    uint8_t out[20] = {};
    EXPECT_EQ(stream.Read(out, 10), 5);
    EXPECT_EQ(stream.LastError(), TwbReadOnlyCachedFileStream::kErrorHandleEof);
    EXPECT_EQ(stream.Read(out, 10), 0);
    EXPECT_EQ(stream.Read(out, 0), 0);
    EXPECT_EQ(stream.Read(out, -1), 0);
    stream.SetPosition(0);
    EXPECT_TRUE(Raises([&] { stream.ReadBuffer(out, 6); }, Error<EReadError>(kReadErrorText)));
    EXPECT_EQ(stream.Position(), 5); // advanced over the bytes moved before the failure

    // A direct read (larger than the cache) at the end returns 0 without an error code.
    TwbReadOnlyCachedFileStream small(dir.U16("f.bin"), 4);
    small.SetPosition(5);
    EXPECT_EQ(small.Read(out, 8), 0);
    EXPECT_EQ(small.LastError(), 0u);
}

TEST(TwbReadOnlyCachedFileStream, ReadsUpToTheCacheSizeGoThroughTheCache) {
    TempFolder dir;
    const auto content = Numbered(3 * 16384);
    const ScribbleableFile file(dir.Write("f.bin", content));
    TwbReadOnlyCachedFileStream stream(u"f.bin", 0, file.Handle());
    std::vector<uint8_t> out(16385);

    ASSERT_EQ(stream.Read(out.data(), 16384), 16384);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 16384, content.begin()));
    Scribble(dir / "f.bin", 0, 16384);

    // 16385 bytes bypass the cache and see the new bytes; the cache still holds the old first block.
    stream.SetPosition(0);
    ASSERT_EQ(stream.Read(out.data(), 16385), 16385);
    EXPECT_EQ(out[0], 0xEE);
    EXPECT_EQ(out[16384], content[16384]);
    stream.SetPosition(100);
    uint8_t byte = 0;
    stream.ReadBuffer(&byte, 1);
    EXPECT_EQ(byte, content[100]);
}

TEST(TwbReadOnlyCachedFileStream, ReadAcrossTheCacheEndFillsOnceMore) {
    TempFolder dir;
    const auto content = Numbered(3 * 16384);
    const ScribbleableFile file(dir.Write("f.bin", content));
    TwbReadOnlyCachedFileStream stream(u"f.bin", 0, file.Handle());
    uint8_t out[4] = {};
    stream.ReadBuffer(out, 1); // first fill: [0, 16384)
    Scribble(dir / "f.bin", 16382, 4);
    stream.SetPosition(16382);
    stream.ReadBuffer(out, 4);
    EXPECT_EQ(out[0], content[16382]); // from the first fill
    EXPECT_EQ(out[1], content[16383]);
    EXPECT_EQ(out[2], 0xEE); // from the second fill at 16384
    EXPECT_EQ(out[3], 0xEE);
}

TEST(TwbReadOnlyCachedFileStream, ReadStringLen) {
    TempFolder dir;
    const std::vector<uint8_t> bytes = {5, 'a', 'b', 'c', 'd', 0, 0, 3, 'a', 'b', 'c', 2, 0xE9, 0x80};
    TwbReadOnlyCachedFileStream stream(dir.Write("f.bin", bytes));
    EXPECT_EQ(stream.ReadStringLen(true), u"abcd");
    EXPECT_EQ(stream.Position(), 6);
    EXPECT_EQ(stream.ReadStringLen(true), u"");
    EXPECT_EQ(stream.Position(), 7);
    EXPECT_EQ(stream.ReadStringLen(false), u"abc");
    EXPECT_EQ(stream.ReadStringLen(false), u"\u00e9\u20ac");
    EXPECT_TRUE(Raises([&] { stream.ReadStringLen(false); }, Error<EReadError>(kReadErrorText)));
}

TEST(TwbReadOnlyCachedFileStream, ReadStringTermByEitherPath) {
    TempFolder dir;
    std::vector<uint8_t> bytes = {0, 'c', 'a', 'f', 0xE9, 0};
    const std::string longName(300, 'n');
    bytes.insert(bytes.end(), longName.begin(), longName.end());
    bytes.push_back(0);
    bytes.resize(bytes.size() + 300, 'x'); // trailing bytes so the fast path has 256 cached bytes
    const auto name = dir.Write("f.bin", bytes);

    // Byte by byte: a fresh stream has nothing cached.
    TwbReadOnlyCachedFileStream slow(name);
    EXPECT_EQ(slow.ReadStringTerm(), u"");
    EXPECT_EQ(slow.Position(), 1);
    // From the cache: the first read filled it.
    TwbReadOnlyCachedFileStream fast(name);
    uint8_t byte = 0;
    fast.ReadBuffer(&byte, 1);
    fast.SetPosition(0);
    EXPECT_EQ(fast.ReadStringTerm(), u"");
    EXPECT_EQ(fast.Position(), 1);

    for (auto* stream : {&slow, &fast}) {
        EXPECT_EQ(stream->ReadStringTerm(), u"caf\u00e9");
        EXPECT_EQ(stream->ReadStringTerm(), FromUtf8(longName)); // longer than 255: read whole
        EXPECT_EQ(stream->Position(), 6 + 301);
    }
}

TEST(TwbReadOnlyCachedFileStream, ReadStringTermRefusesRunawayNames) {
    TempFolder dir;
    const auto name = dir.Write("f.bin", std::vector<uint8_t>(5000, 'a'));
    TwbReadOnlyCachedFileStream stream(name);
    EXPECT_TRUE(Raises([&] { stream.ReadStringTerm(); },
                       Error<EStreamError>(name + u" holds a name longer than 4096 characters")));
    const auto unterminated = dir.Write("g.bin", std::vector<uint8_t>(10, 'a'));
    TwbReadOnlyCachedFileStream atEnd(unterminated);
    EXPECT_TRUE(Raises([&] { atEnd.ReadStringTerm(); }, Error<EReadError>(kReadErrorText)));
}

TEST(TwbReadOnlyCachedFileStream, ReadUncachedLeavesTheCache) {
    TempFolder dir;
    const auto content = Numbered(3 * 16384);
    const ScribbleableFile file(dir.Write("f.bin", content));
    TwbReadOnlyCachedFileStream stream(u"f.bin", 0, file.Handle());
    uint8_t byte = 0;
    stream.ReadBuffer(&byte, 1); // the cache now holds [0, 16384)
    Scribble(dir / "f.bin", 0, 200);

    uint8_t out[10] = {};
    stream.SetPosition(100);
    ASSERT_EQ(stream.ReadUncached(out, 10), 10); // small, yet from the file
    EXPECT_EQ(out[0], 0xEE);
    EXPECT_EQ(stream.Position(), 110);
    stream.ReadBuffer(out, 1); // the cache was neither used nor refilled
    EXPECT_EQ(out[0], content[110]);

    stream.SetPosition(3 * 16384 - 4);
    EXPECT_EQ(stream.ReadUncached(out, 10), 4);
    EXPECT_EQ(stream.ReadUncached(out, 0), 0);
}

#ifndef _WIN32
// (Windows reads a pipe wherever it stands, whatever position the read names.)
TEST(TwbReadOnlyCachedFileStream, UnseekableFileFailsAtPositioning) {
    int ends[2] = {};
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(write(ends[1], "abc", 3), 3);
    TwbReadOnlyCachedFileStream stream(u"pipe", 0, ends[0]);
    uint8_t byte = 0;
    EXPECT_TRUE(Raises([&] { stream.Read(&byte, 1); },
                       Error<EStreamError>(u"SetFilePointerEx failed for pipe.  Illegal seek")));
    close(ends[0]);
    close(ends[1]);
}
#endif

// A name whose zero byte is still cached comes straight from the cache, however few bytes remain there; one
// that runs past the cached bytes is read on across the next fill.
TEST(TwbReadOnlyCachedFileStream, ReadStringTermAtTheEndOfTheCachedBytes) {
    TempFolder dir;
    const std::string text = std::string("abc\0", 4) + std::string("defghijklmnopqrstuvw\0", 21) + "xy";
    const auto name = dir.Write("f.bin", std::vector<uint8_t>(text.begin(), text.end()));
    const ScribbleableFile file(name);
    TwbReadOnlyCachedFileStream stream(name, 16, file.Handle());
    uint8_t byte = 0;
    stream.ReadBuffer(&byte, 1); // caches [0, 16)
    stream.SetPosition(0);
    Scribble(dir / "f.bin", 1, 1);
    EXPECT_EQ(stream.ReadStringTerm(), u"abc"); // from the cache: the scribble is not seen
    EXPECT_EQ(stream.ReadStringTerm(), u"defghijklmnopqrstuvw");
    EXPECT_EQ(stream.Position(), 25);
}

// A cache fill that fails, with a read error from the disk or raising for a position the file cannot take,
// leaves the cache empty: a later read near that position gets the file's bytes, never those of an earlier
// fill.
TEST(TwbReadOnlyCachedFileStream, FailedFillLeavesNoStaleBytes) {
    struct DiskError {
        DiskError() {
            platform::SetReadFaultForTesting(
                [](platform::FileHandle, int64_t, int32_t) -> uint32_t { return EIO; });
        }
        ~DiskError() { platform::SetReadFaultForTesting(nullptr); }
    };
    struct Case {
        const char* label;
        int64_t earlierFill; // a read here fills the cache first
        int64_t failedAt;    // the fill that fails
        bool diskError;      // EIO from the disk; otherwise a position that cannot be taken
        int64_t nextRead;
    };
    const Case cases[] = {
        {"disk error just before the cached bytes", 64, 60, true, 62},
        {"disk error further before them", 64, 40, true, 70},
        {"disk error after them", 64, 100, true, 104},
        {"position before the file", 0, -8, false, 4},
    };
    TempFolder dir;
    const auto content = Numbered(256);
    const auto name = dir.Write("f.bin", content);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TwbReadOnlyCachedFileStream stream(name, 16);
        uint8_t out[4] = {};
        stream.SetPosition(c.earlierFill);
        stream.ReadBuffer(out, 1);

        stream.SetPosition(c.failedAt);
        if (c.diskError) {
            const DiskError failing;
            EXPECT_EQ(stream.Read(out, 4), 0);
            EXPECT_EQ(stream.LastError(), static_cast<uint32_t>(EIO));
        } else {
            EXPECT_TRUE(Raises([&] { stream.Read(out, 4); },
                               Error<EStreamError>(u"SetFilePointerEx failed for " + name + u".  " +
                                                   fixture::SystemText(fixture::kErrorNegativePosition))));
        }

        stream.SetPosition(c.nextRead);
        ASSERT_EQ(stream.Read(out, 4), 4);
        EXPECT_EQ(std::vector<uint8_t>(out, out + 4),
                  std::vector<uint8_t>(content.begin() + c.nextRead, content.begin() + c.nextRead + 4));
    }
}
