#include "extract/entry_writer.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

#include "base/exceptions.h"
#include "platform/file.h"
#include "streams/write_cached_file_stream.h"

namespace {

// Temporary files begin with this: hidden, and easy to tell for the one who finds one left by a crash.
constexpr char16_t kTemporaryPrefix[] = u".parlivex-";

[[noreturn]] void RaiseLastError(const std::u16string& fixedText) {
    throw EStreamError(fixedText, platform::SystemErrorText(platform::LastErrorCode()));
}

// A new file under a temporary name in the target folder, removed again unless it was given its final name.
class TTemporaryFile {
public:
    TTemporaryFile(platform::FolderHandle folder, const std::u16string& file) : folder_(folder) {
        handle_ = platform::FileCreateUnique(folder, kTemporaryPrefix, name_);
        if (handle_ == platform::kInvalidFileHandle) {
            RaiseLastError(u"Cannot create " + file + u".");
        }
    }
    ~TTemporaryFile() {
        if (handle_ != platform::kInvalidFileHandle) {
            platform::FileClose(handle_);
        }
        if (!name_.empty()) {
            platform::FileRemove(folder_, name_);
        }
    }
    TTemporaryFile(const TTemporaryFile&) = delete;
    TTemporaryFile& operator=(const TTemporaryFile&) = delete;

    platform::FileHandle Handle() const { return handle_; }

    // Gives the file its permission bits when asked to, closes it, checking that the system took every byte,
    // then gives it the final name.
    void Commit(const std::u16string& finalName, const std::u16string& file,
                std::optional<uint32_t> permissions) {
        if (permissions && !platform::FileSetPermissions(handle_, *permissions)) {
            RaiseLastError(u"Cannot create " + file + u".");
        }
        const platform::FileHandle handle = handle_;
        handle_ = platform::kInvalidFileHandle;
        if (!platform::FileCloseChecked(handle)) {
            RaiseLastError(u"FileWrite failed for " + file + u".");
        }
        if (!platform::FileReplace(folder_, name_, finalName)) {
            RaiseLastError(u"Cannot create " + file + u".");
        }
        name_.clear();
    }

private:
    platform::FolderHandle folder_;
    platform::FileHandle handle_ = platform::kInvalidFileHandle;
    std::u16string name_; // empty once the file has its final name
};

bool Cancelled(const std::atomic<bool>* cancel) {
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

} // namespace

bool WriteEntryFile(platform::FolderHandle folder, const std::u16string& name, const std::u16string& file,
                    const TBytes& data, const std::atomic<bool>* cancel,
                    std::optional<uint32_t> permissions) {
    if (data.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        throw ERangeError();
    }
    TTemporaryFile temporary(folder, file);
    {
        // The stream writes the temporary file but names the final one in its messages.
        TwbWriteCachedFileStream stream(file, 0, temporary.Handle());
        const auto size = static_cast<int32_t>(data.size());
        for (int32_t done = 0; done < size;) {
            if (Cancelled(cancel)) {
                return false;
            }
            const int32_t block = std::min(kCancelCheckBytes, size - done);
            stream.WriteBuffer(data.data() + done, block);
            done += block;
        }
        stream.Close();
    }
    temporary.Commit(name, file, permissions);
    return true;
}
