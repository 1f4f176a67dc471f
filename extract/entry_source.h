#pragma once
// Where the entries that an extraction writes or a preview shows come from: an open archive, or files that
// are listed as an archive's index lists its entries (a Data folder's loose files). Every failure to read is
// a reason, as in extract/entry_fetch.h; nothing raises from a read but the destination's own errors.
#include <cstdint>
#include <memory>
#include <string>

#include "archive/bsa_file.h"
#include "base/bytes.h"
#include "extract/entry_fetch.h"

class TEntrySource {
public:
    virtual ~TEntrySource() = default;

    // Every entry, in listing order, with the lookups by name.
    virtual const TBsaIndex& Index() const = 0;
    // The entry's folder + "\" + its file name.
    std::u16string EntryString(TEntryRef entry) const;

    // The bytes the entry holds at least, from what is known without reading it (see
    // TwbBSAFile::EntryLeastSize), and a quick bound no less than the sum of that over every entry: when the
    // destination has room for the bound, an extraction need not look at each entry.
    virtual uint64_t EntryLeastSize(TEntryRef entry) const = 0;
    virtual uint64_t LeastSizesBound() const = 0;

    // How the entry is stored.
    virtual TFetchResult Describe(TEntryRef entry, TEntryDescription& description) = 0;
    // The entry's bytes, whole, into buffer (emptied on failure).
    virtual TFetchResult Fetch(TEntryRef entry, TBytes& buffer) = 0;
    // The entry's bytes piece by piece into the stream destination gives, in bounded memory whatever the
    // entry's size. An error raised by that stream passes out as it is; the stream may have received part of
    // the entry when a later part fails.
    virtual TFetchResult FetchInPieces(TEntryRef entry, TEntryDestination& destination) = 0;

    // A source of the same entries for another thread, which reads through handles of its own (this source
    // must outlive it). Raises Exception when it cannot be made.
    virtual std::unique_ptr<TEntrySource> Share() const = 0;
};

// An open archive's entries.
class TArchiveEntries final : public TEntrySource {
public:
    explicit TArchiveEntries(TwbBSAFile& archive) : archive_(archive) {}

    TwbBSAFile& Archive() const { return archive_; }

    const TBsaIndex& Index() const override { return archive_.Index(); }
    uint64_t EntryLeastSize(TEntryRef entry) const override { return archive_.EntryLeastSize(entry); }
    uint64_t LeastSizesBound() const override;
    TFetchResult Describe(TEntryRef entry, TEntryDescription& description) override {
        return DescribeEntry(archive_, entry, description);
    }
    TFetchResult Fetch(TEntryRef entry, TBytes& buffer) override {
        return FetchEntry(archive_, entry, buffer);
    }
    TFetchResult FetchInPieces(TEntryRef entry, TEntryDestination& destination) override {
        return FetchEntryInPieces(archive_, entry, destination);
    }
    // Through TwbBSAFile::shareIndex.
    std::unique_ptr<TEntrySource> Share() const override;

private:
    // Set for a shared source: the reader it owns.
    explicit TArchiveEntries(std::unique_ptr<TwbBSAFile> shared)
        : archive_(*shared), owned_(std::move(shared)) {}

    TwbBSAFile& archive_;
    std::unique_ptr<TwbBSAFile> owned_;
};
