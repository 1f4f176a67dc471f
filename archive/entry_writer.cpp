#include "archive/entry_writer.h"

#include <cstdint>
#include <limits>

#include "base/exceptions.h"
#include "platform/directories.h"
#include "streams/write_cached_file_stream.h"

void WriteEntryFile(const std::u16string& folder, const std::u16string& file, const TBytes& data) {
    // One write call takes a 32-bit count; no entry the reader returns is larger.
    if (data.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        throw ERangeError();
    }
    // A folder that cannot be made shows up as the file's creation error.
    platform::ForceDirectories(folder);
    TwbWriteCachedFileStream stream(file);
    stream.WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
    stream.Close();
}
