#pragma once
// TwbWriteCachedFileStream: the stream through which extracted files are written. Creates its file (or
// empties an existing one), gathers written bytes in its cache and writes them in cache-sized blocks; keeps a
// logical file size of its own.
#include "streams/base_cached_file_stream.h"

class TwbWriteCachedFileStream : public TwbBaseCachedFileStream {
public:
    // Creates the file ("Cannot create %s." + two spaces + the system's text when it cannot; the folder must
    // exist) unless a handle is given. cacheSize 0 or less means 16384.
    explicit TwbWriteCachedFileStream(std::u16string fileName, int32_t cacheSize = 0,
                                      platform::FileHandle handle = 0);
    // Flushes what is left, swallowing a failure, then closes. Call Close() to see that failure.
    ~TwbWriteCachedFileStream() override;

    // Always takes all count bytes (or raises the flush error); a count of 0 or less takes nothing.
    int32_t Write(const void* buffer, int32_t count) override;
    // Writes the cached bytes to the file ("FileWrite failed for %s." on a short write).
    void Flush();
    // Flushes and closes the file, raising the flush error; the handle and cache are released in every case.
    // The stream must not be used afterwards.
    void Close();

    int64_t FileSize() const { return FFileSize; }

protected:
    platform::FileHandle CreateHandle(uint32_t flagsAndAttributes) override;
    int64_t GetStreamSize() override { return FFileSize; }

private:
    // Writes FCacheSize bytes at the position, which must start an empty cache, and moves past them.
    void WriteBlockDirectly(const uint8_t* block);

    int64_t FFileSize = 0;
};
