#pragma once
// Two archives compared (two versions of a mod, say): the paths only the first holds, those only the second
// holds, and those both hold with different bytes, compared by content (data_folder/entry_comparison.h), not
// by stored size. Paths compare as the game compares them: an entry whose path differs only in case, or in
// "/" for "\", is the same entry, and with the same bytes it is no difference. Of several entries of one path
// in one archive, the game's (the last in listing order) counts.
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "archive/bsa_file.h"

struct TArchiveDifference {
    enum class Kind { OnlyInFirst, OnlyInSecond, Different, Unreadable };
    Kind kind = Kind::Different;
    std::u16string entry; // the entry string, as the archive that has it (the first, when both) spells it
    // The entry in each archive (TEntryRef of the first, then of the second); kNoDiffEntry where that archive
    // does not hold the path.
    static constexpr TEntryRef kNoDiffEntry = UINT32_MAX;
    TEntryRef entries[2] = {kNoDiffEntry, kNoDiffEntry};
    // When Unreadable: which archive's entry could not be read (0 the first, 1 the second), and why.
    int side = 0;
    std::u16string reason;
};

struct TArchiveDiff {
    std::vector<TArchiveDifference> differences; // in path order
    size_t same = 0;                             // paths both hold with the same bytes
    bool cancelled = false;

    bool Equal() const { return differences.empty() && !cancelled; }
    bool Unreadable() const;
};

// Compares the archives. progress (when given) hears after each path both hold, with the number done and the
// number of such paths. Stops, telling so, once *cancel is set. Nothing raises.
TArchiveDiff DiffArchives(TwbBSAFile& first, TwbBSAFile& second,
                          const std::function<void(size_t done, size_t total)>& progress = {},
                          const std::atomic<bool>* cancel = nullptr);

// The same comparison, each difference handed to found as soon as it is known, in path order, instead of
// kept: the result's differences stay empty (its same and cancelled are set). For a caller that shows
// differences while the comparison goes on, or keeps them in a form of its own.
TArchiveDiff DiffArchivesInto(TwbBSAFile& first, TwbBSAFile& second,
                              const std::function<void(TArchiveDifference&& difference)>& found,
                              const std::function<void(size_t done, size_t total)>& progress = {},
                              const std::atomic<bool>* cancel = nullptr);
