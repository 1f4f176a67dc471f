#include "extract/entry_source.h"

#include "archive/entry_string.h"

std::u16string TEntrySource::EntryString(TEntryRef entry) const {
    const TBsaIndex& index = Index();
    return ::EntryString(index.FolderOf(entry).Name, index.FileName(entry));
}

uint64_t TArchiveEntries::LeastSizesBound() const {
    // What the entries take in the archive: none decodes to less than EntryLeastSize says, which is no more.
    uint64_t bytes = 0;
    for (TEntryRef entry = 0; entry < archive_.FileCount(); ++entry) {
        bytes += archive_.EntryStorage(entry).storedSize;
    }
    return bytes;
}

std::unique_ptr<TEntrySource> TArchiveEntries::Share() const {
    return std::unique_ptr<TEntrySource>(new TArchiveEntries(archive_.shareIndex()));
}
