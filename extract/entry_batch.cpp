#include "extract/entry_batch.h"

#include <algorithm>
#include <cstring>

#include "base/exceptions.h"

namespace {

// Files per batch, and the bytes they hold at most: a batch of small entries is a few hundred KiB.
constexpr size_t kFilesPerBatch = 64;
constexpr uint32_t kBatchBytes = 1 << 20;
// Entries larger than this are written one by one: for them a system call less per step is no gain.
constexpr uint64_t kLargestBatched = 64 * 1024;

} // namespace

// The bytes of the entry kept last, into its room in the batch; never more than its size.
class TEntryBatch::TBytesStream : public TStream {
public:
    void Reset(uint8_t* to, uint32_t size) {
        to_ = to;
        size_ = size;
        position_ = 0;
    }
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void* buffer, int32_t count) override {
        const int32_t taken = std::clamp<int32_t>(count, 0, static_cast<int32_t>(size_ - position_));
        std::memcpy(to_ + position_, buffer, static_cast<size_t>(taken));
        position_ += static_cast<uint32_t>(taken);
        return taken;
    }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override {
        if (origin == TSeekOrigin::soCurrent && offset == 0) {
            return position_;
        }
        throw ERangeError(); // the reader only appends
    }
    using TStream::Seek;

private:
    uint8_t* to_ = nullptr;
    uint32_t size_ = 0;
    uint32_t position_ = 0;
};

TEntryBatch::TEntryBatch() : files_(kFilesPerBatch) {
    if (files_.Works()) {
        bytes_ = std::make_unique<uint8_t[]>(kBatchBytes);
        stream_ = std::make_unique<TBytesStream>();
        entries_.reserve(kFilesPerBatch);
    }
}

TEntryBatch::~TEntryBatch() {
    std::vector<bool> written;
    RunFiles(true, written); // gives back the space of entries never written
}

bool TEntryBatch::Takes(uint64_t size, platform::FolderHandle folder) {
    if (!Works() || size == 0 || size > kLargestBatched || Full() || used_ + size > kBatchBytes) {
        return false;
    }
    // Asked once for each batch's folder, not for every entry.
    if (Empty() || folder != folderChecked_) {
        folderChecked_ = folder;
        writesInFolder_ = files_.WritesIn(folder);
    }
    return writesInFolder_;
}

TStream& TEntryBatch::Keep(size_t position, platform::FolderHandle folder, const std::u16string& prefix,
                           const std::u16string& name, uint64_t size, TSpaceBudget* space) {
    const auto bytes = static_cast<uint32_t>(size);
    entries_.push_back({position, used_, bytes, space});
    folders_.push_back(folder);
    names_.push_back(name);
    prefix_ = prefix;
    stream_->Reset(bytes_.get() + used_, bytes);
    used_ += bytes;
    return *stream_;
}

void TEntryBatch::DropLast() {
    used_ = entries_.back().at;
    entries_.pop_back();
    folders_.pop_back();
    names_.pop_back();
}

void TEntryBatch::RunFiles(bool cancelled, std::vector<bool>& written) {
    positions_.clear();
    written.clear();
    if (!cancelled) {
        for (size_t i = 0; i < entries_.size(); ++i) {
            files_.Add(folders_[i], prefix_, names_[i], bytes_.get() + entries_[i].at, entries_[i].size);
        }
        files_.Run(written);
    }
    written.resize(entries_.size(), false);
    for (size_t i = 0; i < entries_.size(); ++i) {
        positions_.push_back(entries_[i].position);
        if (!written[i] && entries_[i].space != nullptr) {
            entries_[i].space->Give(entries_[i].size);
        }
    }
    entries_.clear();
    folders_.clear();
    names_.clear();
    used_ = 0;
}
