#pragma once
// TwbReadOnlyCachedFileStream: the stream through which archives are read. Reads ahead into its cache so that
// the many small field reads of an archive index cost one system call pair per cache fill; reads larger than
// the cache go straight into the caller's buffer. Its view is the whole file as it was when opened.
#include "streams/base_cached_file_stream.h"

class TwbReadOnlyCachedFileStream : public TwbBaseCachedFileStream {
public:
    // Opens the file for reading ("Cannot open %s." + two spaces + the system's text when it cannot) unless a
    // handle is given (then the caller keeps owning it). cacheSize 0 or less means 16384.
    explicit TwbReadOnlyCachedFileStream(std::u16string fileName, int32_t cacheSize = 0,
                                         platform::FileHandle handle = 0);

    // Copies up to count bytes from the position; fewer at the end of the file or after a read error (told by
    // the result and LastError(): 38 after a cached read ran into the end). Raises only when the file pointer
    // cannot be moved.
    int32_t Read(void* buffer, int32_t count) override;
    using TwbBaseCachedFileStream::Write;
    // Reads count bytes at the position with one read straight into buffer, as Read does for counts larger
    // than the cache, whatever count is; the cache is neither used nor changed. For data that is read once
    // and whose neighbourhood is not read next, such as whole archive entries.
    int32_t ReadUncached(void* buffer, int32_t count);

    int64_t ViewStart() const { return FViewStart; }
    int64_t ViewLength() const { return FViewLength; }

    static constexpr uint32_t kErrorHandleEof = 38;

protected:
    platform::FileHandle CreateHandle(uint32_t flagsAndAttributes) override;
    int64_t GetStreamSize() override { return FViewLength; }

private:
    int64_t FViewStart = 0;
    int64_t FViewLength = 0;
};
