#pragma once
// TEntryBatch: the files of small entries written many at a time, where the system can
// (platform::TFileBatch): an entry's bytes are kept here instead of being written at once, and Run writes the
// entries kept, each whole under its name or not at all, exactly as one by one. An entry that the batch did
// not write leaves nothing behind and is extracted again one by one, which finds and reports why. One per
// worker, used on the thread that made it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "extract/space_budget.h"
#include "platform/file_batch.h"

class TEntryBatch {
public:
    TEntryBatch();
    ~TEntryBatch();
    TEntryBatch(const TEntryBatch&) = delete;
    TEntryBatch& operator=(const TEntryBatch&) = delete;

    // Whether entries are batched at all (false where the system cannot submit files together).
    bool Works() const { return files_.Works(); }
    bool Empty() const { return entries_.empty(); }
    bool Full() const { return entries_.size() == files_.Capacity(); }
    // The selection's place of the first entry kept; only when not Empty.
    size_t FirstPosition() const { return entries_.front().position; }
    // Whether the entry at position was kept by the last Keep.
    bool Kept(size_t position) const { return !entries_.empty() && entries_.back().position == position; }

    // Whether an entry of size bytes to be written inside folder is kept here rather than written at once: a
    // small one, while there is room, in a folder where the batch writes (platform::TFileBatch::WritesIn).
    // The entries kept at once are those of one folder.
    bool Takes(uint64_t size, platform::FolderHandle folder);
    // Keeps the entry at position (a selection's place), to be written as name inside folder with temporary
    // files beginning with prefix: the stream takes its size bytes. space (may be nullptr) has already given
    // them; they go back when the entry is not written after all. Keep only what Takes allows; the folder
    // must stay open until Run.
    TStream& Keep(size_t position, platform::FolderHandle folder, const std::u16string& prefix,
                  const std::u16string& name, uint64_t size, TSpaceBudget* space);
    // Forgets the entry kept last, whose bytes did not all come: nothing of it is written.
    void DropLast();

    // Writes the entries kept and empties the batch, handing each position to done in the order they were
    // kept with whether its file now has all its bytes under its name. With cancelled set, nothing is
    // written.
    template <typename Done> void Run(bool cancelled, Done done) {
        std::vector<bool> written;
        RunFiles(cancelled, written);
        for (size_t i = 0; i < written.size(); ++i) {
            done(positions_[i], static_cast<bool>(written[i]));
        }
    }

private:
    class TBytesStream;
    struct TKept {
        size_t position;
        uint32_t at; // its bytes in bytes_
        uint32_t size;
        TSpaceBudget* space;
    };
    void RunFiles(bool cancelled, std::vector<bool>& written);

    platform::TFileBatch files_;
    std::unique_ptr<uint8_t[]> bytes_;
    uint32_t used_ = 0;
    std::vector<TKept> entries_;
    std::vector<platform::FolderHandle> folders_;
    platform::FolderHandle folderChecked_ = platform::kInvalidFolderHandle; // the kept entries' folder
    bool writesInFolder_ = false;                                           // whether the batch writes there
    std::vector<std::u16string> names_;
    std::u16string prefix_;
    std::unique_ptr<TBytesStream> stream_;
    std::vector<size_t> positions_; // of the last Run
};
