#pragma once
// TBsaIndex: what an archive's index says, held compactly: every file record in one array in listing order,
// every file name once, as the archive stores it (Windows-1252 bytes), in one block, the folders that hold
// files, and a second order of the entries in which lookups search. Finding an entry by name costs
// O(log n) binary-search steps whatever the archive holds (thousands of folders of one name, names equal up
// to case).
//
// Listing order: folders by name, then each folder's files by name, both compared case-insensitively as
// platform::CompareTextIgnoreCase does; records of equal names keep the order in which the archive stores
// them. Several folder records may carry one name: each keeps its own files, listed after one another.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/large_memory.h"

// An entry of an open archive: its place in the listing, 0 to FileCount() - 1.
using TEntryRef = uint32_t;

struct TwbBSAFileRec {
    uint32_t Size = 0;   // size word: bit 30 toggles compression, the other bits give the stored size
    uint32_t Offset = 0; // absolute file offset of the entry data
    uint32_t nameAt = 0; // where its name begins in the name block (it ends at a zero byte)
    uint32_t folder = 0; // its folder's place in the listing
};

struct TwbBSAFolderRec {
    std::u16string Name;     // folder path, lower-cased
    TEntryRef firstFile = 0; // its files are firstFile .. firstFile + fileCount - 1
    uint32_t fileCount = 0;
    // Its group: the folders equal to it up to case, which stand together in the listing before groupEnd and
    // which lookups search as one. Folder names are lower-cased Windows-1252 text, in which names equal up to
    // case are identical: a group is several records of one folder.
    uint32_t groupEnd = 0;
};

class TBsaIndex {
public:
    // Building, in the order the archive stores things: each folder that holds files with its file records,
    // then every file name in the order of the records. Finish puts everything in listing order; nothing is
    // added afterwards. The Reserve calls only save reallocations.
    void ReserveFiles(size_t count);
    void ReserveNames(size_t bytes);
    void AddFolder(std::u16string lowerCasedName);
    void AddFileRecord(uint32_t sizeWord, uint32_t offset); // to the folder added last
    // To the first record without a name yet; bytes hold no zero byte (the archive ends each name with one).
    // False, and nothing added, when the names would take more than 4 GiB.
    bool AddFileName(std::string_view bytes);
    void Finish();

    uint32_t FileCount() const { return static_cast<uint32_t>(files_.size()); }
    const TwbBSAFileRec& File(TEntryRef entry) const { return files_[entry]; }
    // The entry's file name as the archive stores it, and as text.
    std::string_view FileNameBytes(TEntryRef entry) const;
    std::u16string FileName(TEntryRef entry) const;
    // The folders that hold files, in listing order.
    const std::vector<TwbBSAFolderRec>& Folders() const { return folders_; }
    const TwbBSAFolderRec& FolderOf(TEntryRef entry) const { return folders_[files_[entry].folder]; }

    // The entry folder\fileName, both compared case-insensitively. Of several such entries: the first in the
    // listing whose file name is identical to the one asked for, unit for unit; otherwise one of them.
    // Nothing when there is none.
    std::optional<TEntryRef> Find(std::u16string_view folder, std::u16string_view fileName) const;
    // The same for an entry string (folder + "\" + file name; see archive/entry_string.h for where the file
    // name begins).
    std::optional<TEntryRef> Find(std::u16string_view entryString) const;

    // The binary-search steps all lookups so far have taken, for tests that hold lookups to O(log n).
    uint64_t LookupSteps() const { return lookupSteps_.load(std::memory_order_relaxed); }

private:
    struct TBuildFolder {
        uint32_t firstRecord;
        uint32_t recordCount;
    };
    void PutFoldersInListingOrder(std::vector<uint32_t>& listingOfBuilt);
    std::vector<bool> PutFilesInListingOrder(const std::vector<uint32_t>& listingOfBuilt);
    void OrderForLookups(const std::vector<bool>& folderInLookupOrder);

    // The arrays of every file are filled at once, so they are large blocks (fewer page faults to fill).
    template <typename T> using TFileArray = std::vector<T, LargeAllocator<T>>;
    TFileArray<TwbBSAFileRec> files_;
    TFileArray<char> names_; // every name followed by a zero byte, in the order the archive stores them
    std::vector<TwbBSAFolderRec> folders_;
    // The entries of each folder group sorted for lookups: by folded name, then by name, then by place in the
    // listing. Entries of one group stand in the range its folders span. Empty when that order is the
    // listing's, as it usually is.
    TFileArray<TEntryRef> byName_;
    std::vector<TBuildFolder> built_; // while building only
    size_t namedFiles_ = 0;
    mutable std::atomic<uint64_t> lookupSteps_{0};
};
