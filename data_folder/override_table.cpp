#include "data_folder/override_table.h"

#include <algorithm>
#include <array>

#include "archive/name_order.h"
#include "platform/locale.h"

namespace {

// The archive's name order with "/" taken for "\": the ranks by which file names compare.
class TPathRanks {
public:
    static const TPathRanks& Get() {
        static const TPathRanks ranks;
        return ranks;
    }
    int Compare(std::string_view a, std::string_view b) const { return CompareByRanks(rank_, a, b); }

private:
    TPathRanks() {
        const TNameOrder& order = TNameOrder::Get();
        for (int byte = 0; byte < 256; ++byte) {
            rank_[byte] = order.Rank(static_cast<uint8_t>(byte == '/' ? '\\' : byte));
        }
    }
    std::array<uint8_t, 256> rank_{};
};

std::u16string FolderKey(std::u16string_view folder) {
    std::u16string key = platform::FoldCase(folder);
    std::replace(key.begin(), key.end(), u'/', u'\\');
    return key;
}

} // namespace

TOverrideTable::TOverrideTable(std::vector<const TBsaIndex*> sources) : sources_(std::move(sources)) {
    if (sources_.size() > kMaxSources) {
        sources_.resize(kMaxSources);
    }
    struct TFolderAt {
        const std::u16string* key;
        uint16_t source;
        uint32_t folder;
    };
    std::vector<TFolderAt> folders;
    size_t rowCount = 0;
    folderKeys_.resize(sources_.size());
    for (size_t source = 0; source < sources_.size(); ++source) {
        const std::vector<TwbBSAFolderRec>& listed = sources_[source]->Folders();
        folderKeys_[source].reserve(listed.size());
        for (const TwbBSAFolderRec& folder : listed) {
            folderKeys_[source].push_back(FolderKey(folder.Name));
        }
        rowCount += sources_[source]->FileCount();
    }
    for (size_t source = 0; source < sources_.size(); ++source) {
        for (uint32_t folder = 0; folder < folderKeys_[source].size(); ++folder) {
            folders.push_back({&folderKeys_[source][folder], static_cast<uint16_t>(source), folder});
        }
    }
    // Stable: folders of one key stay in load order, and in listing order within a source.
    std::stable_sort(folders.begin(), folders.end(), [](const TFolderAt& a, const TFolderAt& b) {
        return platform::CompareCodePointOrder(*a.key, *b.key) < 0;
    });

    const auto fileLess = [this](const TSourceRow& a, const TSourceRow& b) {
        return CompareFileNames(a, b) < 0;
    };
    rows_.reserve(rowCount);
    std::vector<size_t> runs; // where each source folder's rows begin, and the end
    for (size_t first = 0; first < folders.size();) {
        size_t end = first + 1;
        while (end < folders.size() && *folders[end].key == *folders[first].key) {
            ++end;
        }
        const size_t groupStart = rows_.size();
        runs.clear();
        bool runsSorted = true;
        for (size_t i = first; i < end; ++i) {
            const TwbBSAFolderRec& folder = sources_[folders[i].source]->Folders()[folders[i].folder];
            runs.push_back(rows_.size());
            for (TEntryRef entry = folder.firstFile; entry < folder.firstFile + folder.fileCount; ++entry) {
                rows_.push_back({entry, folders[i].source, 0, 0});
            }
            // A name holding "/" may stand elsewhere in the archive's own order than in this one.
            runsSorted = runsSorted && std::is_sorted(rows_.begin() + static_cast<ptrdiff_t>(runs.back()),
                                                      rows_.end(), fileLess);
        }
        runs.push_back(rows_.size());
        const auto at = [this](size_t place) { return rows_.begin() + static_cast<ptrdiff_t>(place); };
        if (!runsSorted) {
            std::stable_sort(at(groupStart), rows_.end(), fileLess);
        } else {
            // Neighbouring runs merged pairwise, log2(runs) rounds: stable, so rows of one name stay in load
            // order.
            while (runs.size() > 2) {
                std::vector<size_t> merged;
                for (size_t r = 0; r + 1 < runs.size(); r += 2) {
                    merged.push_back(runs[r]);
                    if (r + 2 < runs.size()) {
                        std::inplace_merge(at(runs[r]), at(runs[r + 1]), at(runs[r + 2]), fileLess);
                    }
                }
                if (merged.back() != runs.back()) {
                    merged.push_back(runs.back());
                }
                runs = std::move(merged);
            }
        }
        for (size_t row = groupStart; row < rows_.size(); ++row) {
            if (row == groupStart || CompareFileNames(rows_[row - 1], rows_[row]) != 0) {
                rows_[row].flags = kFirstOfPath;
            }
        }
        first = end;
    }
    SetTakingPart(std::vector<bool>(sources_.size(), true));
}

std::string_view TOverrideTable::FileName(const TSourceRow& row) const {
    return sources_[row.source]->FileNameBytes(row.entry);
}

int TOverrideTable::CompareFileNames(const TSourceRow& a, const TSourceRow& b) const {
    return TPathRanks::Get().Compare(FileName(a), FileName(b));
}

void TOverrideTable::SetTakingPart(const std::vector<bool>& takingPart) {
    takingPart_ = takingPart;
    takingPart_.resize(sources_.size(), false);
    wins_.assign(sources_.size(), 0);
    losses_.assign(sources_.size(), 0);
    constexpr uint8_t kState = kWinner | kOverridden;
    const size_t count = rows_.size();
    for (size_t first = 0; first < count;) {
        size_t end = first + 1;
        while (end < count && (rows_[end].flags & kFirstOfPath) == 0) {
            ++end;
        }
        size_t winner = end;
        for (size_t row = first; row < end; ++row) {
            rows_[row].flags &= static_cast<uint8_t>(~kState);
            if (takingPart_[rows_[row].source]) {
                if (winner != end) {
                    rows_[winner].flags |= kOverridden;
                    ++losses_[rows_[winner].source];
                }
                winner = row;
            }
        }
        if (winner != end) {
            rows_[winner].flags |= kWinner;
            ++wins_[rows_[winner].source];
        }
        first = end;
    }
}

TRowState TOverrideTable::State(TRowIndex row) const {
    const uint8_t flags = rows_[row].flags;
    return (flags & kWinner) != 0       ? TRowState::Winner
           : (flags & kOverridden) != 0 ? TRowState::Overridden
                                        : TRowState::Left;
}

std::pair<TOverrideTable::TRowIndex, TOverrideTable::TRowIndex>
TOverrideTable::PathRows(TRowIndex row) const {
    TRowIndex first = row;
    while ((rows_[first].flags & kFirstOfPath) == 0) {
        --first;
    }
    TRowIndex end = row + 1;
    while (end < rows_.size() && (rows_[end].flags & kFirstOfPath) == 0) {
        ++end;
    }
    return {first, end};
}

std::optional<TOverrideTable::TRowIndex> TOverrideTable::WinnerOf(TRowIndex row) const {
    const auto [first, end] = PathRows(row);
    for (TRowIndex other = first; other < end; ++other) {
        if ((rows_[other].flags & kWinner) != 0) {
            return other;
        }
    }
    return std::nullopt;
}

std::vector<TOverrideTable::TRowIndex> TOverrideTable::ConflictRows() const {
    std::vector<TRowIndex> conflicts;
    const size_t count = rows_.size();
    for (size_t first = 0; first < count;) {
        size_t end = first + 1;
        size_t takingPart = takingPart_[rows_[first].source] ? 1 : 0;
        while (end < count && (rows_[end].flags & kFirstOfPath) == 0) {
            takingPart += takingPart_[rows_[end].source] ? 1 : 0;
            ++end;
        }
        if (takingPart > 1) {
            for (size_t row = first; row < end; ++row) {
                if (takingPart_[rows_[row].source]) {
                    conflicts.push_back(static_cast<TRowIndex>(row));
                }
            }
        }
        first = end;
    }
    return conflicts;
}

int TOverrideTable::ComparePaths(TRowIndex a, TRowIndex b) const {
    const TSourceRow& rowA = rows_[a];
    const TSourceRow& rowB = rows_[b];
    const std::u16string& folderA = folderKeys_[rowA.source][sources_[rowA.source]->File(rowA.entry).folder];
    const std::u16string& folderB = folderKeys_[rowB.source][sources_[rowB.source]->File(rowB.entry).folder];
    if (const int folders = platform::CompareCodePointOrder(folderA, folderB); folders != 0) {
        return folders;
    }
    return CompareFileNames(rowA, rowB);
}

std::pair<TOverrideTable::TRowIndex, TOverrideTable::TRowIndex>
TOverrideTable::FindPath(std::u16string_view path) const {
    std::u16string normal(path);
    std::replace(normal.begin(), normal.end(), u'/', u'\\');
    const size_t split = normal.find_last_of(u'\\');
    const std::u16string folder = FolderKey(
        split == std::u16string::npos ? std::u16string_view() : std::u16string_view(normal).substr(0, split));
    std::string file;
    if (!platform::UnicodeToAnsi(split == std::u16string::npos ? normal : normal.substr(split + 1), file)) {
        return {0, 0}; // no archive can hold the name
    }
    const auto compare = [&](const TSourceRow& row) {
        const std::u16string& rowFolder =
            folderKeys_[row.source][sources_[row.source]->File(row.entry).folder];
        if (const int folders = platform::CompareCodePointOrder(rowFolder, folder); folders != 0) {
            return folders;
        }
        return TPathRanks::Get().Compare(FileName(row), file);
    };
    const auto lower = std::partition_point(rows_.begin(), rows_.end(),
                                            [&](const TSourceRow& row) { return compare(row) < 0; });
    const auto upper =
        std::partition_point(lower, rows_.end(), [&](const TSourceRow& row) { return compare(row) <= 0; });
    return {static_cast<TRowIndex>(lower - rows_.begin()), static_cast<TRowIndex>(upper - rows_.begin())};
}
