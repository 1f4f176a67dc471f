#include "streams/read_only_cached_file_stream.h"

#include <cstring>
#include <utility>

#include "base/exceptions.h"

TwbReadOnlyCachedFileStream::TwbReadOnlyCachedFileStream(std::u16string fileName, int32_t cacheSize,
                                                         platform::FileHandle handle)
    : TwbBaseCachedFileStream(std::move(fileName), cacheSize, handle) {
    Initialize();
    FViewStart = 0;
    FViewLength = TwbBaseCachedFileStream::GetStreamSize();
    FPosition = FCacheStart = FCacheEnd = 0;
}

platform::FileHandle TwbReadOnlyCachedFileStream::CreateHandle(uint32_t) {
    const platform::FileHandle handle = platform::FileOpenRead(FFileName);
    if (handle == platform::kInvalidFileHandle) {
        RaiseLastErrorFmt(u"Cannot open %s.");
    }
    return handle;
}

int32_t TwbReadOnlyCachedFileStream::Read(void* buffer, int32_t count) {
    if (count <= 0) {
        return 0;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    if (count > FCacheSize) {
        // Large reads go straight into the caller's buffer; the cache stays as it was.
        return ReadUncached(out, count);
    }
    int32_t copied = 0;
    int32_t remaining = count;
    while (remaining > 0) {
        if (FPosition < FCacheStart || FPosition >= FCacheEnd) {
            // Emptied before the fill: a fill that fails or raises leaves no bytes of an earlier fill behind
            // under the new position.
            FCacheStart = FCacheEnd = FPosition;
            FileSeek(FViewStart + FCacheStart, 0);
            const int32_t n = FileRead(FCache.get(), FCacheSize);
            if (n == -1) {
                break;
            }
            FCacheEnd = FCacheStart + n;
            if (n == 0) {
                FLastError = kErrorHandleEof;
                break;
            }
        }
        const int64_t available = FCacheEnd - FPosition;
        const int32_t chunk = available < remaining ? static_cast<int32_t>(available) : remaining;
        std::memcpy(out + copied, FCache.get() + (FPosition - FCacheStart), static_cast<size_t>(chunk));
        FPosition += chunk;
        copied += chunk;
        remaining -= chunk;
    }
    return copied;
}

int32_t TwbReadOnlyCachedFileStream::ReadUncached(void* buffer, int32_t count) {
    if (count <= 0) {
        return 0;
    }
    FileSeek(FViewStart + FPosition, 0);
    int32_t n = FileRead(buffer, count);
    if (n < -1) {
        RaiseAssertionFailed(u"utils_Streams", 559);
    }
    if (n < 0) {
        n = 0;
    }
    FPosition += n;
    return n;
}
