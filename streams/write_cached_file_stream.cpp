#include "streams/write_cached_file_stream.h"

#include <cstring>
#include <utility>

#include "base/exceptions.h"

TwbWriteCachedFileStream::TwbWriteCachedFileStream(std::u16string fileName, int32_t cacheSize,
                                                   platform::FileHandle handle)
    : TwbBaseCachedFileStream(std::move(fileName), cacheSize, handle) {
    Initialize();
}

TwbWriteCachedFileStream::~TwbWriteCachedFileStream() {
    try {
        Flush();
    } catch (const Exception&) {
        // A destructor cannot report; code that must see the failure calls Close() first.
    }
}

platform::FileHandle TwbWriteCachedFileStream::CreateHandle(uint32_t) {
    const platform::FileHandle handle = platform::FileCreate(FFileName);
    if (handle == platform::kInvalidFileHandle) {
        RaiseLastErrorFmt(u"Cannot create %s.");
    }
    return handle;
}

int32_t TwbWriteCachedFileStream::Write(const void* buffer, int32_t count) {
    const auto* in = static_cast<const uint8_t*>(buffer);
    int32_t taken = 0;
    int32_t remaining = count;
    while (remaining > 0) {
        if (FPosition < FCacheStart || FPosition > FCacheEnd || FPosition - FCacheStart == FCacheSize) {
            Flush();
        }
        if (FPosition < FCacheStart || FPosition > FCacheEnd) {
            RaiseAssertionFailed(u"utils_Streams", 685);
        }
        if (FCacheEnd == FCacheStart && remaining > FCacheSize) {
            // A whole block with more bytes after it would only pass through the cache on its way to the
            // file: write it from the caller's buffer, as the flush would, and save the copy.
            WriteBlockDirectly(in + taken);
            taken += FCacheSize;
            remaining -= FCacheSize;
            continue;
        }
        const int64_t room = FCacheSize - (FPosition - FCacheStart);
        const int32_t chunk = room < remaining ? static_cast<int32_t>(room) : remaining;
        std::memcpy(FCache.get() + (FPosition - FCacheStart), in + taken, static_cast<size_t>(chunk));
        FPosition += chunk;
        if (FPosition > FCacheEnd) {
            FCacheEnd = FPosition;
        }
        taken += chunk;
        remaining -= chunk;
    }
    if (FPosition > FFileSize) {
        FFileSize = FPosition;
    }
    return taken;
}

void TwbWriteCachedFileStream::WriteBlockDirectly(const uint8_t* block) {
    FileSeek(FPosition, 0);
    if (FileWrite(block, FCacheSize) != FCacheSize) {
        // Leave the stream as the copy and the failed flush would have: the block cached, the position after
        // it.
        std::memcpy(FCache.get(), block, static_cast<size_t>(FCacheSize));
        FCacheEnd = FCacheStart + FCacheSize;
        FPosition = FCacheEnd;
        RaiseLastErrorFmt(u"FileWrite failed for %s.");
    }
    FPosition += FCacheSize;
    FCacheStart = FPosition;
    FCacheEnd = FPosition;
}

void TwbWriteCachedFileStream::Flush() {
    if (!FCache) {
        return;
    }
    const auto n = static_cast<int32_t>(FCacheEnd - FCacheStart);
    if (n > 0) {
        FileSeek(FCacheStart, 0);
        if (FileWrite(FCache.get(), n) != n) {
            RaiseLastErrorFmt(u"FileWrite failed for %s.");
        }
    }
    FCacheStart = FPosition;
    FCacheEnd = FPosition;
}

void TwbWriteCachedFileStream::Close() {
    // Release the handle and the cache whatever the flush says, then let its error through.
    struct ReleaseOnExit {
        TwbWriteCachedFileStream& stream;
        ~ReleaseOnExit() {
            stream.FCache.reset();
            if (stream.FOwnsHandle && stream.FHandle != 0) {
                platform::FileClose(stream.FHandle);
            }
            stream.FHandle = 0;
        }
    } release{*this};
    Flush();
}
