#pragma once
// TwbBaseCachedFileStream: the base of the buffered file streams. A TStream over one file handle with its own
// 64-bit logical position (the file pointer moves only right before a raw transfer, never on Seek), one cache
// buffer of fixed size, and the string reads for the 8-bit names of archive files. It moves no data itself:
// Read and Write refuse; the read-only and the write stream supply them.
#include <cstdint>
#include <memory>
#include <string>

#include "base/stream.h"
#include "platform/file.h"

class TwbBaseCachedFileStream : public TStream {
public:
    static constexpr int32_t kDefaultCacheSize = 16384;

    ~TwbBaseCachedFileStream() override;

    // Raise EAssertionFailed "Cannot read from this stream" / "Cannot write to this stream".
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;

    // The lazy seek: computes FPosition only (soEnd from GetStreamSize); touches neither file nor cache and
    // checks no bounds. Any other origin value leaves the position. Returns the new position.
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    using TStream::Seek;
    // Forwards to the 64-bit SetSize.
    void SetSize(int32_t newSize) override;
    // Sets the position and the file's end to newSize ("SetEndOfFile for %s." on failure). Leaves the cache.
    void SetSize(int64_t newSize) override;
    int64_t GetSize() override { return GetStreamSize(); }

    // One length byte L, then L bytes of ANSI text; with term, the last of them (a terminator) is dropped.
    // L = 0 gives the empty string and reads nothing more. EReadError when the bytes are not there.
    std::u16string ReadStringLen(bool term);
    // ANSI text up to the first zero byte; the zero is consumed, not returned. Taken straight from the cache
    // when the zero byte lies among the bytes cached at the position, otherwise read byte by byte. Names of
    // up to kMaxTermStringLength characters are read whole; a longer run without a zero raises EStreamError
    // "<file> holds a name longer than 4096 characters". EReadError at the end of the file.
    std::u16string ReadStringTerm();
    // The same, the bytes as they are appended to bytes instead.
    void ReadStringTermBytes(std::string& bytes);
    static constexpr int32_t kMaxTermStringLength = 4096;

    const std::u16string& FileName() const { return FFileName; }
    uint32_t LastError() const { return FLastError; }
    int32_t CacheSize() const { return FCacheSize; }
    platform::FileHandle Handle() const { return FHandle; }

protected:
    // Descendants construct with the file name, a cache size (16384 when 0 or less) and a handle (0: the
    // stream opens the file itself through CreateHandle and owns it), then call Initialize from their own
    // constructor, where CreateHandle dispatches to them.
    TwbBaseCachedFileStream(std::u16string fileName, int32_t cacheSize, platform::FileHandle handle);
    void Initialize(uint32_t flagsAndAttributes = 128);

    // Opens FFileName the descendant's way; raises on failure.
    virtual platform::FileHandle CreateHandle(uint32_t flagsAndAttributes) = 0;
    // The size that Seek from the end and Size use: the file's size here ("GetFileSizeEx failed for %s.").
    virtual int64_t GetStreamSize();

    // Raw transfers for the descendants. FileSeek sets the file pointer (our own: the transfers are
    // positioned, so it costs no system call) and raises "SetFilePointerEx failed for %s." for a position the
    // file cannot take.
    int64_t FileSeek(int64_t offset, uint8_t moveMethod);
    // One read (write) at the file pointer, which then moves past the bytes moved; the count moved, or -1
    // with FLastError set. Raise only "SetFilePointerEx failed for %s.", for a file that cannot be
    // positioned.
    int32_t FileRead(void* buffer, int32_t count);
    int32_t FileWrite(const void* buffer, int32_t count);

    // EStreamError: message trimmed of characters <= ' ', two spaces, the system's text for the code.
    [[noreturn]] void RaiseErrorCode(const std::u16string& message, uint32_t code) const;
    [[noreturn]] void RaiseLastError(const std::u16string& message) const;
    // The format's single %s is filled with FFileName.
    [[noreturn]] void RaiseLastErrorFmt(const char16_t* format) const;

    platform::FileHandle FHandle = 0;
    bool FOwnsHandle = false;
    std::unique_ptr<uint8_t[]> FCache;
    int32_t FCacheSize = 0;
    int64_t FPosition = 0;
    int64_t FCacheStart = 0;
    int64_t FCacheEnd = 0;
    std::u16string FFileName;
    uint32_t FLastError = 0;

private:
    // Every file system takes a file pointer from 0 to here.
    static constexpr int64_t kPositionAlwaysValid = 0xFFFFFFFF;
    void CheckFailedTransferPosition(uint32_t code);

    int64_t FFilePointer = 0;
    platform::FileHandle FGivenHandle = 0;
    int32_t FRequestedCacheSize = 0;
};
