#include "streams/base_cached_file_stream.h"

#include <cstring>
#include <string>
#include <utility>

#include "base/exceptions.h"
#include "base/ustring.h"
#include "platform/locale.h"

TwbBaseCachedFileStream::TwbBaseCachedFileStream(std::u16string fileName, int32_t cacheSize,
                                                 platform::FileHandle handle)
    : FFileName(std::move(fileName)), FGivenHandle(handle), FRequestedCacheSize(cacheSize) {}

void TwbBaseCachedFileStream::Initialize(uint32_t flagsAndAttributes) {
    FOwnsHandle = (FGivenHandle == 0);
    FHandle = FOwnsHandle ? CreateHandle(flagsAndAttributes) : FGivenHandle;
    FCacheSize = FRequestedCacheSize <= 0 ? kDefaultCacheSize : FRequestedCacheSize;
    // Not cleared: only bytes that a transfer put there are ever read from it.
    FCache.reset(new uint8_t[static_cast<size_t>(FCacheSize)]);
}

TwbBaseCachedFileStream::~TwbBaseCachedFileStream() {
    FCache.reset();
    if (FOwnsHandle && FHandle != 0) {
        platform::FileClose(FHandle);
    }
}

int32_t TwbBaseCachedFileStream::Read(void*, int32_t) {
    throw EAssertionFailed(u"Cannot read from this stream");
}

int32_t TwbBaseCachedFileStream::Write(const void*, int32_t) {
    throw EAssertionFailed(u"Cannot write to this stream");
}

int64_t TwbBaseCachedFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    // Wrapping arithmetic: a position anywhere is allowed and only judged by a transfer.
    switch (origin) {
    case TSeekOrigin::soBeginning:
        FPosition = offset;
        break;
    case TSeekOrigin::soCurrent:
        FPosition = static_cast<int64_t>(static_cast<uint64_t>(FPosition) + static_cast<uint64_t>(offset));
        break;
    case TSeekOrigin::soEnd:
        FPosition =
            static_cast<int64_t>(static_cast<uint64_t>(GetStreamSize()) + static_cast<uint64_t>(offset));
        break;
    default:
        break;
    }
    return FPosition;
}

void TwbBaseCachedFileStream::SetSize(int32_t newSize) {
    SetSize(int64_t{newSize});
}

void TwbBaseCachedFileStream::SetSize(int64_t newSize) {
    Seek(newSize, TSeekOrigin::soBeginning);
    FileSeek(newSize, 0);
    if (!platform::FileSetEnd(FHandle, FFilePointer)) {
        RaiseLastErrorFmt(u"SetEndOfFile for %s.");
    }
}

int64_t TwbBaseCachedFileStream::GetStreamSize() {
    int64_t size = 0;
    if (!platform::FileGetSize(FHandle, &size)) {
        RaiseLastErrorFmt(u"GetFileSizeEx failed for %s.");
    }
    return size;
}

int64_t TwbBaseCachedFileStream::FileSeek(int64_t offset, uint8_t) {
    // Transfers name their position, so the file pointer is ours to keep. The system is asked only about
    // positions that a file system may refuse (negative ones, or beyond 4 GiB), so that those still fail
    // here, with the system's reason.
    if (offset < 0 || offset > kPositionAlwaysValid) {
        int64_t newPosition = 0;
        if (!platform::FileSeekTo(FHandle, offset, &newPosition)) {
            RaiseLastErrorFmt(u"SetFilePointerEx failed for %s.");
        }
    }
    FFilePointer = offset;
    return offset;
}

void TwbBaseCachedFileStream::CheckFailedTransferPosition(uint32_t code) {
    // A file that cannot be positioned at all (a pipe) fails the positioned transfer; moving the file
    // pointer is what fails first for such a file.
    int64_t newPosition = 0;
    if (!platform::FileSeekTo(FHandle, FFilePointer, &newPosition)) {
        RaiseLastErrorFmt(u"SetFilePointerEx failed for %s.");
    }
    FLastError = code;
}

int32_t TwbBaseCachedFileStream::FileRead(void* buffer, int32_t count) {
    const int32_t n = platform::FileReadAt(FHandle, buffer, count, FFilePointer);
    if (n < 0) {
        CheckFailedTransferPosition(platform::LastErrorCode());
        return -1;
    }
    FLastError = 0;
    FFilePointer += n;
    return n;
}

int32_t TwbBaseCachedFileStream::FileWrite(const void* buffer, int32_t count) {
    const int32_t n = platform::FileWriteAt(FHandle, buffer, count, FFilePointer);
    if (n < 0) {
        CheckFailedTransferPosition(platform::LastErrorCode());
        return -1;
    }
    FLastError = 0;
    FFilePointer += n;
    return n;
}

void TwbBaseCachedFileStream::RaiseErrorCode(const std::u16string& message, uint32_t code) const {
    throw EStreamError(std::u16string(Trim(message)), platform::SystemErrorText(code));
}

void TwbBaseCachedFileStream::RaiseLastError(const std::u16string& message) const {
    RaiseErrorCode(message, platform::LastErrorCode());
}

void TwbBaseCachedFileStream::RaiseLastErrorFmt(const char16_t* format) const {
    // Read the error code before building the message: building it must not disturb it.
    const uint32_t code = platform::LastErrorCode();
    std::u16string message(format);
    const size_t placeholder = message.find(u"%s");
    if (placeholder != std::u16string::npos) {
        message.replace(placeholder, 2, FFileName);
    }
    RaiseErrorCode(message, code);
}

std::u16string TwbBaseCachedFileStream::ReadStringLen(bool term) {
    uint8_t length = 0;
    ReadBuffer(&length, 1);
    if (length == 0) {
        return {};
    }
    char bytes[256];
    ReadBuffer(bytes, length);
    const size_t kept = term ? length - 1u : length;
    return platform::AnsiToUnicode(std::string_view(bytes, kept));
}

std::u16string TwbBaseCachedFileStream::ReadStringTerm() {
    std::string bytes;
    ReadStringTermBytes(bytes);
    return platform::AnsiToUnicode(bytes);
}

void TwbBaseCachedFileStream::ReadStringTermBytes(std::string& bytes) {
    // Fast path: the name lies in the cache; take it without a call per byte. Near the end of the cached
    // bytes that holds too when its zero byte is still among them.
    if (FCacheStart <= FPosition && FPosition < FCacheEnd) {
        const uint8_t* start = FCache.get() + (FPosition - FCacheStart);
        const auto cached = static_cast<size_t>(FCacheEnd - FPosition);
        const void* zero = std::memchr(start, 0, cached);
        if (zero != nullptr) {
            const auto length = static_cast<size_t>(static_cast<const uint8_t*>(zero) - start);
            if (length <= static_cast<size_t>(kMaxTermStringLength)) {
                FPosition += static_cast<int64_t>(length) + 1;
                bytes.append(reinterpret_cast<const char*>(start), length);
                return;
            }
        }
    }
    const size_t begin = bytes.size();
    for (;;) {
        char c = 0;
        ReadBuffer(&c, 1);
        if (c == 0) {
            break;
        }
        if (bytes.size() - begin == static_cast<size_t>(kMaxTermStringLength)) {
            throw EStreamError(FFileName + u" holds a name longer than " + IntToStr(kMaxTermStringLength) +
                               u" characters");
        }
        bytes += c;
    }
}
