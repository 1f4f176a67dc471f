#pragma once
// The bytes of a Data folder's loose files, read as an archive's entries are read (extract/entry_source.h),
// so that they are previewed and extracted through the same steps. Each read opens the file anew at the path
// the walk found: a regular file only (a folder, FIFO or device put at its name since is refused, and never
// waited on), of the size the walk found (a file that changed since is refused: what is shown and written is
// what was listed). Copies go in pieces of kLooseFilePieceBytes, whatever the file's size.
#include <cstdint>
#include <memory>
#include <string>

#include "data_folder/loose_files.h"
#include "extract/entry_source.h"

inline constexpr int32_t kLooseFilePieceBytes = 1 << 20;

// Why a loose file was not read, besides the system's own reason ("No such file or directory").
inline constexpr char16_t kLooseFileNotRegular[] = u"no longer a regular file";
// "changed since the Data folder was read: 5 bytes then, 7 now"
std::u16string LooseFileChangedReason(uint64_t then, uint64_t now);
// "too large to read whole: 5000000000 bytes", for a file larger than an archive entry can be.
std::u16string LooseFileTooLargeReason(uint64_t size);

class TLooseFileEntries final : public TEntrySource {
public:
    // files must outlive this source and every source shared from it.
    explicit TLooseFileEntries(const TLooseFiles& files) : files_(files) {}

    const TBsaIndex& Index() const override { return *files_.index; }
    // A loose file holds exactly the bytes the walk found.
    uint64_t EntryLeastSize(TEntryRef entry) const override { return files_.Size(entry); }
    uint64_t LeastSizesBound() const override;
    // Raw, its size as stored (no larger than an archive could say: 4 GiB - 1).
    TFetchResult Describe(TEntryRef entry, TEntryDescription& description) override;
    // Whole, for a file no larger than an archive entry can be (4 GiB - 1 bytes).
    TFetchResult Fetch(TEntryRef entry, TBytes& buffer) override;
    TFetchResult FetchInPieces(TEntryRef entry, TEntryDestination& destination) override;
    // Holds no handle between reads: another of the same files.
    std::unique_ptr<TEntrySource> Share() const override {
        return std::make_unique<TLooseFileEntries>(files_);
    }

private:
    const TLooseFiles& files_;
    std::unique_ptr<uint8_t[]> piece_; // the copy's buffer, kept for the next file
};
