#include "extract/entry_writer.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>

#include "archive/entry_string.h"
#include "base/exceptions.h"
#include "platform/file.h"

namespace {

// Temporary files begin with this: hidden, and easy to tell for the one who finds one left by a crash.
constexpr char16_t kTemporaryPrefix[] = u".parlivex-";

uint64_t SystemRandomBits() {
    std::random_device device;
    return (uint64_t{device()} << 32) | device();
}

std::u16string Hexadecimal(uint64_t bits) {
    std::u16string text(16, u'0');
    for (size_t i = text.size(); i-- > 0; bits >>= 4) {
        text[i] = u"0123456789abcdef"[bits & 0xF];
    }
    return text;
}

// The folder and file names of entries that could begin as a temporary file's name does, in the form under
// which the file system tells names apart. Such a name begins with a dot, whatever the case rules: only
// those are looked at closely, so that the usual archive costs one pass over its entry strings.
std::vector<std::u16string> NamesLikeTemporaryFiles(const std::vector<std::u16string>& entries) {
    std::u16string fixedKey = kTemporaryPrefix;
    platform::ToFileNameKey(fixedKey);
    std::vector<std::u16string> names;
    for (const std::u16string& entry : entries) {
        for (size_t start = 0; start < entry.size();) {
            size_t end = entry.find(kEntryDelimiter, start);
            end = end == std::u16string::npos ? entry.size() : end;
            if (entry[start] == u'.' && end - start >= fixedKey.size()) {
                std::u16string key = entry.substr(start, end - start);
                platform::ToFileNameKey(key);
                if (key.starts_with(fixedKey)) {
                    names.push_back(std::move(key));
                }
            }
            start = end + 1;
        }
    }
    return names;
}

[[noreturn]] void RaiseLastError(const std::u16string& fixedText) {
    throw EStreamError(fixedText, platform::SystemErrorText(platform::LastErrorCode()));
}

bool Cancelled(const std::atomic<bool>* cancel) {
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

} // namespace

// A new file under a temporary name in the target folder, removed again unless it was given its final name.
class TEntryFileWriter::TTemporaryFile {
public:
    TTemporaryFile(platform::FolderHandle folder, const std::u16string& prefix,
                   const std::function<std::u16string()>& file)
        : folder_(folder) {
        handle_ = platform::FileCreateUnique(folder, prefix, name_);
        if (handle_ == platform::kInvalidFileHandle) {
            RaiseLastError(u"Cannot create " + file() + u".");
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
    void Commit(const std::u16string& finalName, const std::function<std::u16string()>& file,
                std::optional<uint32_t> permissions) {
        if (permissions && !platform::FileSetPermissions(handle_, *permissions)) {
            RaiseLastError(u"Cannot create " + file() + u".");
        }
        const platform::FileHandle handle = handle_;
        handle_ = platform::kInvalidFileHandle;
        if (!platform::FileCloseChecked(handle)) {
            RaiseLastError(u"FileWrite failed for " + file() + u".");
        }
        if (!platform::FileReplace(folder_, name_, finalName)) {
            RaiseLastError(u"Cannot create " + file() + u".");
        }
        name_.clear();
    }

private:
    platform::FolderHandle folder_;
    platform::FileHandle handle_ = platform::kInvalidFileHandle;
    std::u16string name_; // empty once the file has its final name
};

// The temporary file's bytes, written as they come with positioned writes, looking at the cancel flag between
// blocks.
class TEntryFileWriter::TFileStream : public TStream {
public:
    TFileStream(platform::FileHandle handle, const std::function<std::u16string()>& file,
                const std::atomic<bool>* cancel)
        : handle_(handle), file_(file), cancel_(cancel) {}

    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void* buffer, int32_t count) override {
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        for (int32_t done = 0; done < count;) {
            if (Cancelled(cancel_)) {
                throw TWriteCancelled{};
            }
            const int32_t block = std::min(kCancelCheckBytes, count - done);
            const int32_t written = platform::FileWriteAt(handle_, bytes + done, block, position_);
            if (written <= 0) {
                RaiseLastError(u"FileWrite failed for " + file_() + u".");
            }
            done += written;
            position_ += written;
        }
        return std::max(count, 0);
    }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override {
        if (origin == TSeekOrigin::soBeginning) {
            position_ = offset;
        } else if (origin == TSeekOrigin::soCurrent) {
            position_ += offset;
        }
        return position_;
    }
    using TStream::Seek;

private:
    platform::FileHandle handle_;
    const std::function<std::u16string()>& file_;
    const std::atomic<bool>* cancel_;
    int64_t position_ = 0;
};

TEntryFileWriter::TEntryFileWriter(platform::FolderHandle folder, std::u16string name,
                                   std::function<std::u16string()> file,
                                   const std::u16string& temporaryPrefix, const std::atomic<bool>* cancel)
    : file_(std::move(file)), name_(std::move(name)) {
    temporary_ = std::make_unique<TTemporaryFile>(folder, temporaryPrefix, file_);
    stream_ = std::make_unique<TFileStream>(temporary_->Handle(), file_, cancel);
}

TEntryFileWriter::~TEntryFileWriter() = default;

TStream& TEntryFileWriter::Stream() {
    return *stream_;
}

void TEntryFileWriter::Commit(std::optional<uint32_t> permissions) {
    temporary_->Commit(name_, file_, permissions);
}

std::u16string ChooseTemporaryPrefix(const std::vector<std::u16string>& entries,
                                     const std::function<uint64_t()>& random) {
    const std::vector<std::u16string> taken = NamesLikeTemporaryFiles(entries);
    while (true) {
        const std::u16string prefix =
            kTemporaryPrefix + Hexadecimal(random ? random() : SystemRandomBits()) + u"-";
        std::u16string prefixKey = prefix;
        platform::ToFileNameKey(prefixKey);
        if (std::none_of(taken.begin(), taken.end(),
                         [&](const std::u16string& name) { return name.starts_with(prefixKey); })) {
            return prefix;
        }
    }
}

bool WriteEntryFile(platform::FolderHandle folder, const std::u16string& name, const std::u16string& file,
                    const TBytes& data, const std::u16string& temporaryPrefix,
                    const std::atomic<bool>* cancel, std::optional<uint32_t> permissions) {
    if (data.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        throw ERangeError();
    }
    try {
        TEntryFileWriter writer(
            folder, name, [&file] { return file; }, temporaryPrefix, cancel);
        writer.Stream().WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
        writer.Commit(permissions);
    } catch (const TWriteCancelled&) {
        return false;
    }
    return true;
}
