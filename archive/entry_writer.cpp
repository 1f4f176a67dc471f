#include "archive/entry_writer.h"

#include <cstdint>
#include <limits>
#include <optional>

#include "base/exceptions.h"
#include "platform/directories.h"
#include "streams/write_cached_file_stream.h"

void WriteEntryFile(const std::u16string& folder, const std::u16string& file, const TBytes& data) {
    // One write call takes a 32-bit count; no entry the reader returns is larger.
    if (data.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        throw ERangeError();
    }
    // Most files go into folders made for earlier ones: try the file first, and make the folders (and try
    // again) only when that fails. A folder that cannot be made shows up as the file's creation error.
    std::optional<TwbWriteCachedFileStream> stream;
    try {
        stream.emplace(file);
    } catch (const EStreamError&) {
        platform::ForceDirectories(folder);
        stream.emplace(file);
    }
    stream->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
    stream->Close();
}
