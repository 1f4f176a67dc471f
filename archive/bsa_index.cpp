#include "archive/bsa_index.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <utility>

#include "archive/entry_string.h"
#include "archive/name_order.h"
#include "platform/locale.h"

namespace {

// Names are found by their offset in one block, which 32 bits address.
constexpr size_t kMaxNameBytes = std::numeric_limits<uint32_t>::max();

// The first place in [first, end) at which before(place) is false; it is true at every place before it and
// false at every place after. Binary search; steps counts the calls of before.
template <typename Before>
uint32_t PartitionPoint(uint32_t first, uint32_t end, uint64_t& steps, Before before) {
    for (uint32_t count = end - first; count > 0;) {
        const uint32_t half = count / 2;
        ++steps;
        if (before(first + half)) {
            first += half + 1;
            count -= half + 1;
        } else {
            count = half;
        }
    }
    return first;
}

// The places of the sorted range [first, end) that compare(place) finds equal (0): it is negative for the
// places before them and positive after. Two binary searches.
template <typename Compare>
std::pair<uint32_t, uint32_t> EqualRange(uint32_t first, uint32_t end, uint64_t& steps, Compare compare) {
    const uint32_t lower =
        PartitionPoint(first, end, steps, [&](uint32_t place) { return compare(place) < 0; });
    const uint32_t upper =
        PartitionPoint(lower, end, steps, [&](uint32_t place) { return compare(place) <= 0; });
    return {lower, upper};
}

// Whether the entries first..end are in the order less gives.
template <typename Less> bool RefsAreSorted(TEntryRef first, TEntryRef end, const Less& less) {
    for (TEntryRef entry = first; entry + 1 < end; ++entry) {
        if (less(entry + 1, entry)) {
            return false;
        }
    }
    return true;
}

} // namespace

void TBsaIndex::AddFolder(std::u16string lowerCasedName) {
    TwbBSAFolderRec folder;
    folder.Name = std::move(lowerCasedName);
    folders_.push_back(std::move(folder));
    built_.push_back({static_cast<uint32_t>(files_.size()), 0});
}

void TBsaIndex::ReserveFiles(size_t count) {
    files_.reserve(count);
}

void TBsaIndex::ReserveNames(size_t bytes) {
    names_.reserve(std::min(bytes, kMaxNameBytes));
}

void TBsaIndex::AddFileRecord(uint32_t sizeWord, uint32_t offset) {
    TwbBSAFileRec file;
    file.Size = sizeWord;
    file.Offset = offset;
    file.folder = static_cast<uint32_t>(folders_.size() - 1);
    files_.push_back(file);
    ++built_.back().recordCount;
}

bool TBsaIndex::AddFileName(std::string_view bytes) {
    if (names_.size() + bytes.size() + 1 > kMaxNameBytes) {
        return false;
    }
    files_[namedFiles_++].nameAt = static_cast<uint32_t>(names_.size());
    names_.insert(names_.end(), bytes.begin(), bytes.end());
    names_.push_back('\0');
    return true;
}

void TBsaIndex::Finish() {
    // Records that never got a name (none, when the reader read the whole index) get an empty one.
    while (namedFiles_ < files_.size()) {
        AddFileName({});
    }
    std::vector<uint32_t> builtAtPlace;
    PutFoldersInListingOrder(builtAtPlace);
    OrderForLookups(PutFilesInListingOrder(builtAtPlace));
    built_ = {};
}

std::string_view TBsaIndex::FileNameBytes(TEntryRef entry) const {
    return std::string_view(names_.data() + files_[entry].nameAt);
}

std::u16string TBsaIndex::FileName(TEntryRef entry) const {
    return platform::AnsiToUnicode(FileNameBytes(entry));
}

// Folders by their case folds, in code point order, records of one fold in stored order; then the groups of
// equal folds.
void TBsaIndex::PutFoldersInListingOrder(std::vector<uint32_t>& builtAtPlace) {
    const size_t count = folders_.size();
    std::vector<std::u16string> folded(count);
    for (size_t i = 0; i < count; ++i) {
        folded[i] = platform::FoldCase(folders_[i].Name);
    }
    builtAtPlace.resize(count);
    std::iota(builtAtPlace.begin(), builtAtPlace.end(), 0u);
    std::stable_sort(builtAtPlace.begin(), builtAtPlace.end(), [&](uint32_t a, uint32_t b) {
        return platform::CompareCodePointOrder(folded[a], folded[b]) < 0;
    });
    std::vector<TwbBSAFolderRec> listed(count);
    for (size_t place = 0; place < count; ++place) {
        listed[place] = std::move(folders_[builtAtPlace[place]]);
    }
    folders_ = std::move(listed);

    for (size_t first = 0; first < count;) {
        size_t end = first + 1;
        while (end < count && folded[builtAtPlace[end]] == folded[builtAtPlace[first]]) {
            ++end;
        }
        for (size_t i = first; i < end; ++i) {
            folders_[i].groupEnd = static_cast<uint32_t>(end);
        }
        first = end;
    }
}

// Each folder's files by name, folded; the records are put in that order. Names stay where they are: each
// record says where its name begins. Returns, for each folder, whether its files are in lookup order too.
std::vector<bool> TBsaIndex::PutFilesInListingOrder(const std::vector<uint32_t>& builtAtPlace) {
    const TNameOrder& order = TNameOrder::Get();
    // The name's first eight folded bytes decide most comparisons; its length spares looking for its end.
    struct TKey {
        uint64_t prefix;
        uint32_t record;
        uint32_t length;
    };
    const auto name = [this](const TKey& key) {
        return std::string_view(names_.data() + files_[key.record].nameAt, key.length);
    };
    std::vector<TKey> keys;
    std::vector<bool> inLookupOrder(folders_.size(), true);
    TFileArray<TwbBSAFileRec> listed;
    listed.reserve(files_.size());
    for (uint32_t place = 0; place < folders_.size(); ++place) {
        const TBuildFolder& built = built_[builtAtPlace[place]];
        keys.clear();
        for (uint32_t record = built.firstRecord; record < built.firstRecord + built.recordCount; ++record) {
            const std::string_view bytes = FileNameBytes(record);
            keys.push_back({order.PrefixKey(bytes), record, static_cast<uint32_t>(bytes.size())});
        }
        std::stable_sort(keys.begin(), keys.end(), [&](const TKey& a, const TKey& b) {
            if (a.prefix != b.prefix) {
                return a.prefix < b.prefix;
            }
            return order.Compare(name(a), name(b)) < 0;
        });
        // Only names equal up to case can stand out of lookup order: when their bytes descend.
        for (size_t i = 1; i < keys.size(); ++i) {
            const TKey& a = keys[i - 1];
            const TKey& b = keys[i];
            if (a.prefix == b.prefix && order.Compare(name(a), name(b)) == 0 && name(a) > name(b)) {
                inLookupOrder[place] = false;
                break;
            }
        }
        TwbBSAFolderRec& folder = folders_[place];
        folder.firstFile = static_cast<TEntryRef>(listed.size());
        folder.fileCount = built.recordCount;
        for (const TKey& key : keys) {
            TwbBSAFileRec file = files_[key.record];
            file.folder = place;
            listed.push_back(file);
        }
    }
    files_ = std::move(listed);
    return inLookupOrder;
}

// Within each group of folders: by folded name, then by name, then by place in the listing. Usually each
// folder is a group of its own and its names differ up to case, so the listing is that order already and
// no array of it is kept.
void TBsaIndex::OrderForLookups(const std::vector<bool>& folderInLookupOrder) {
    const TNameOrder& order = TNameOrder::Get();
    const auto lookupLess = [&](TEntryRef a, TEntryRef b) {
        const std::string_view nameA = FileNameBytes(a);
        const std::string_view nameB = FileNameBytes(b);
        if (const int folded = order.Compare(nameA, nameB); folded != 0) {
            return folded < 0;
        }
        if (const int exact = nameA.compare(nameB); exact != 0) {
            return exact < 0;
        }
        return a < b;
    };
    byName_ = {};
    for (size_t group = 0; group < folders_.size(); group = folders_[group].groupEnd) {
        const TwbBSAFolderRec& last = folders_[folders_[group].groupEnd - 1];
        const TEntryRef first = folders_[group].firstFile;
        const TEntryRef end = last.firstFile + last.fileCount;
        const bool oneFolder = folders_[group].groupEnd == group + 1;
        if (oneFolder && folderInLookupOrder[group]) {
            continue;
        }
        if (byName_.empty() && RefsAreSorted(first, end, lookupLess)) {
            continue;
        }
        if (byName_.empty()) {
            byName_.resize(files_.size());
            std::iota(byName_.begin(), byName_.end(), 0u);
        }
        if (!std::is_sorted(byName_.begin() + first, byName_.begin() + end, lookupLess)) {
            std::sort(byName_.begin() + first, byName_.begin() + end, lookupLess);
        }
    }
}

std::optional<TEntryRef> TBsaIndex::Find(std::u16string_view entryString) const {
    const size_t nameStart = EntryFileNameStart(entryString);
    std::u16string_view folder = entryString.substr(0, nameStart);
    if (!folder.empty() && folder.back() == kEntryDelimiter) {
        folder.remove_suffix(1);
    }
    return Find(folder, entryString.substr(nameStart));
}

std::optional<TEntryRef> TBsaIndex::Find(std::u16string_view folder, std::u16string_view fileName) const {
    uint64_t steps = 0;
    const auto result = [&](std::optional<TEntryRef> entry) {
        lookupSteps_.fetch_add(steps, std::memory_order_relaxed);
        return entry;
    };
    // The group of folders equal to folder up to case: the first of them is where the search lands.
    const auto group = std::partition_point(folders_.begin(), folders_.end(), [&](const TwbBSAFolderRec& f) {
        ++steps;
        return platform::CompareTextIgnoreCase(f.Name, folder) < 0;
    });
    if (group == folders_.end() || platform::CompareTextIgnoreCase(group->Name, folder) != 0) {
        return result(std::nullopt);
    }
    const TwbBSAFolderRec& last = folders_[group->groupEnd - 1];
    // The group's places in lookup order, and the entry at each.
    const auto entryAt = [this](TEntryRef place) { return byName_.empty() ? place : byName_[place]; };

    // The group's entries whose name is equal up to case...
    const TNameOrder& order = TNameOrder::Get();
    const std::u16string folded = platform::FoldCase(fileName);
    const auto [equalFirst, equalEnd] =
        EqualRange(group->firstFile, last.firstFile + last.fileCount, steps, [&](TEntryRef place) {
            return order.CompareToFolded(FileNameBytes(entryAt(place)), folded);
        });
    if (equalFirst == equalEnd) {
        return result(std::nullopt);
    }
    // ...and of them the first whose name is identical.
    std::string bytes;
    if (!platform::UnicodeToAnsi(fileName, bytes)) {
        return result(entryAt(equalFirst));
    }
    const auto [sameFirst, sameEnd] = EqualRange(equalFirst, equalEnd, steps, [&](TEntryRef place) {
        return FileNameBytes(entryAt(place)).compare(bytes);
    });
    if (sameFirst == sameEnd) {
        return result(entryAt(equalFirst));
    }
    return result(entryAt(sameFirst));
}
