#include "data_folder/archive_diff.h"

#include <algorithm>

#include "data_folder/entry_comparison.h"
#include "data_folder/override_table.h"

bool TArchiveDiff::Unreadable() const {
    return std::any_of(differences.begin(), differences.end(), [](const TArchiveDifference& difference) {
        return difference.kind == TArchiveDifference::Kind::Unreadable;
    });
}

TArchiveDiff DiffArchives(TwbBSAFile& first, TwbBSAFile& second,
                          const std::function<void(size_t done, size_t total)>& progress,
                          const std::atomic<bool>* cancel) {
    std::vector<TArchiveDifference> differences;
    TArchiveDiff diff = DiffArchivesInto(
        first, second, [&](TArchiveDifference&& difference) { differences.push_back(std::move(difference)); },
        progress, cancel);
    diff.differences = std::move(differences);
    return diff;
}

TArchiveDiff DiffArchivesInto(TwbBSAFile& first, TwbBSAFile& second,
                              const std::function<void(TArchiveDifference&& difference)>& found,
                              const std::function<void(size_t done, size_t total)>& progress,
                              const std::atomic<bool>* cancel) {
    const TOverrideTable table({&first.Index(), &second.Index()});
    TwbBSAFile* readers[] = {&first, &second};
    const std::vector<TSourceRow>& rows = table.Rows();

    // Each path once: its last entry in each archive (the one the game sees).
    struct TPath {
        std::optional<TEntryRef> entries[2];
    };
    std::vector<TPath> paths;
    size_t inBoth = 0;
    for (TOverrideTable::TRowIndex row = 0; row < rows.size();) {
        const auto [begin, end] = table.PathRows(row);
        TPath path;
        for (TOverrideTable::TRowIndex at = begin; at < end; ++at) {
            path.entries[rows[at].source] = rows[at].entry;
        }
        inBoth += path.entries[0] && path.entries[1] ? 1 : 0;
        paths.push_back(path);
        row = end;
    }

    TArchiveDiff diff;
    size_t done = 0;
    for (const TPath& path : paths) {
        if (cancel != nullptr && cancel->load()) {
            diff.cancelled = true;
            break;
        }
        TArchiveDifference difference;
        const int named = path.entries[0] ? 0 : 1;
        difference.entry = readers[named]->EntryString(*path.entries[named]);
        for (int side = 0; side < 2; ++side) {
            if (path.entries[side]) {
                difference.entries[side] = *path.entries[side];
            }
        }
        if (!path.entries[1]) {
            difference.kind = TArchiveDifference::Kind::OnlyInFirst;
        } else if (!path.entries[0]) {
            difference.kind = TArchiveDifference::Kind::OnlyInSecond;
        } else {
            const TEntryComparison compared =
                CompareEntryContents(first, *path.entries[0], second, *path.entries[1]);
            if (progress) {
                progress(++done, inBoth);
            }
            if (compared.outcome == TEntryComparison::Outcome::Same) {
                ++diff.same;
                continue;
            }
            if (compared.outcome == TEntryComparison::Outcome::Failed) {
                difference.kind = TArchiveDifference::Kind::Unreadable;
                difference.side = compared.failedSide;
                difference.reason = compared.reason;
            }
        }
        found(std::move(difference));
    }
    return diff;
}
