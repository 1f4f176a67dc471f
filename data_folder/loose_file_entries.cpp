#include "data_folder/loose_file_entries.h"

#include <algorithm>
#include <new>
#include <string>

#include "base/ustring.h"
#include "platform/file.h"

namespace {

constexpr uint64_t kLargestEntry = UINT32_MAX;

std::u16string Number(uint64_t value) {
    return FromUtf8(std::to_string(value));
}

std::u16string SystemReason() {
    return platform::SystemErrorText(platform::LastErrorCode());
}

// One loose file open for reading, checked to be the regular file of the size the walk found.
class TOpenLooseFile {
public:
    TOpenLooseFile(const std::u16string& path, uint64_t expectedSize) : size_(expectedSize) {
        switch (platform::FileOpenReadRegular(path, handle_)) {
        case platform::RegularFileOpen::Opened:
            break;
        case platform::RegularFileOpen::NotRegular:
            reason_ = kLooseFileNotRegular;
            return;
        case platform::RegularFileOpen::Failed:
            reason_ = SystemReason();
            return;
        }
        CheckSize();
    }
    ~TOpenLooseFile() {
        if (handle_ != platform::kInvalidFileHandle) {
            platform::FileClose(handle_);
        }
    }
    TOpenLooseFile(const TOpenLooseFile&) = delete;
    TOpenLooseFile& operator=(const TOpenLooseFile&) = delete;

    // Empty when the file is open and still of its size.
    const std::u16string& Reason() const { return reason_; }

    // count bytes at position into buffer; false, with the reason, when fewer arrive (the file shrank).
    bool ReadAt(uint8_t* buffer, int32_t count, uint64_t position) {
        const int32_t read = platform::FileReadAt(handle_, buffer, count, static_cast<int64_t>(position));
        if (read < 0) {
            reason_ = SystemReason();
            return false;
        }
        if (read < count) {
            CheckSize();
            if (reason_.empty()) {
                reason_ = LooseFileChangedReason(size_, position + static_cast<uint64_t>(read));
            }
            return false;
        }
        return true;
    }

    // After the last byte: a file that grew or shrank meanwhile was not read as it was listed.
    bool StillOfItsSize() {
        CheckSize();
        return reason_.empty();
    }

private:
    void CheckSize() {
        int64_t now = 0;
        if (!platform::FileGetSize(handle_, &now)) {
            reason_ = SystemReason();
        } else if (static_cast<uint64_t>(now) != size_) {
            reason_ = LooseFileChangedReason(size_, static_cast<uint64_t>(now));
        }
    }

    platform::FileHandle handle_ = platform::kInvalidFileHandle;
    uint64_t size_;
    std::u16string reason_;
};

TFetchResult Failed(std::u16string reason) {
    TFetchResult result;
    result.reason = std::move(reason);
    return result;
}

TFetchResult Fetched() {
    TFetchResult result;
    result.fetched = true;
    return result;
}

} // namespace

std::u16string LooseFileChangedReason(uint64_t then, uint64_t now) {
    return u"changed since the Data folder was read: " + Number(then) + u" bytes then, " + Number(now) +
           u" now";
}

std::u16string LooseFileTooLargeReason(uint64_t size) {
    return u"too large to read whole: " + Number(size) + u" bytes";
}

uint64_t TLooseFileEntries::LeastSizesBound() const {
    uint64_t bytes = 0;
    for (const uint64_t size : files_.sizes) {
        bytes += size;
    }
    return bytes;
}

TFetchResult TLooseFileEntries::Describe(TEntryRef entry, TEntryDescription& description) {
    description.storage.compressed = false;
    description.storage.storedSize = static_cast<uint32_t>(std::min(files_.Size(entry), kLargestEntry));
    description.packing = TwbBSAFile::Packing::Raw;
    return Fetched();
}

TFetchResult TLooseFileEntries::Fetch(TEntryRef entry, TBytes& buffer) {
    buffer.clear();
    const uint64_t size = files_.Size(entry);
    if (size > kLargestEntry) {
        return Failed(LooseFileTooLargeReason(size));
    }
    TOpenLooseFile file(files_.Path(entry), size);
    if (!file.Reason().empty()) {
        return Failed(file.Reason());
    }
    try {
        buffer.resize(size);
    } catch (const std::bad_alloc&) {
        return Failed(u"out of memory");
    }
    for (uint64_t done = 0; done < size;) {
        const auto count = static_cast<int32_t>(std::min<uint64_t>(size - done, kLooseFilePieceBytes));
        if (!file.ReadAt(buffer.data() + done, count, done)) {
            buffer.clear();
            return Failed(file.Reason());
        }
        done += static_cast<uint64_t>(count);
    }
    if (!file.StillOfItsSize()) {
        buffer.clear();
        return Failed(file.Reason());
    }
    return Fetched();
}

TFetchResult TLooseFileEntries::FetchInPieces(TEntryRef entry, TEntryDestination& destination) {
    const uint64_t size = files_.Size(entry);
    TOpenLooseFile file(files_.Path(entry), size);
    if (!file.Reason().empty()) {
        return Failed(file.Reason());
    }
    if (!piece_) {
        piece_ = std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[kLooseFilePieceBytes]);
        if (!piece_) {
            return Failed(u"out of memory");
        }
    }
    // The destination's errors (a write error, a cancel) pass as they are.
    TStream& out = destination.Begin(size);
    for (uint64_t done = 0; done < size;) {
        const auto count = static_cast<int32_t>(std::min<uint64_t>(size - done, kLooseFilePieceBytes));
        if (!file.ReadAt(piece_.get(), count, done)) {
            return Failed(file.Reason());
        }
        out.WriteBuffer(piece_.get(), count);
        done += static_cast<uint64_t>(count);
    }
    if (!file.StillOfItsSize()) {
        return Failed(file.Reason());
    }
    return Fetched();
}
