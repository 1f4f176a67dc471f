#include "data_folder/row_extraction.h"

#include <algorithm>

TRowExtractSummary ExtractRows(TDataFolder& folder, std::vector<TOverrideTable::TRowIndex> rows,
                               const std::u16string& destination, const TRowExtractOptions& options,
                               const TRowExtractListener& listener, const std::atomic<bool>* cancel) {
    const TOverrideTable& table = folder.table;
    TRowExtractSummary summary;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (options.winnersOnly) {
        const auto lost = std::remove_if(rows.begin(), rows.end(), [&](TOverrideTable::TRowIndex row) {
            return table.State(row) != TRowState::Winner;
        });
        summary.leftOut = static_cast<int>(rows.end() - lost);
        rows.erase(lost, rows.end());
    }

    // Rows of one path stand together in load order: of the chosen ones, the last is written.
    std::vector<std::vector<TEntryRef>> bySource(folder.sources.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const TSourceRow& row = table.Rows()[rows[i]];
        const bool laterHasPath = i + 1 < rows.size() && table.ComparePaths(rows[i], rows[i + 1]) == 0;
        if (!laterHasPath) {
            bySource[row.source].push_back(row.entry);
            continue;
        }
        ++summary.overridden;
        if (listener.overridden) {
            size_t winner = i + 1;
            while (winner + 1 < rows.size() && table.ComparePaths(rows[winner], rows[winner + 1]) == 0) {
                ++winner;
            }
            listener.overridden(folder.sources[row.source], folder.EntryString(rows[i]),
                                folder.sources[table.Rows()[rows[winner]].source]);
        }
    }

    int total = 0;
    for (size_t source = 0; source < bySource.size(); ++source) {
        if (!folder.sources[source].reader) {
            // Loose files are files already: nothing to extract.
            summary.leftOut += static_cast<int>(bySource[source].size());
            bySource[source].clear();
        }
        total += static_cast<int>(bySource[source].size());
    }
    int doneBefore = 0;
    for (size_t source = 0; source < bySource.size(); ++source) {
        std::vector<TEntryRef>& entries = bySource[source];
        if (entries.empty()) {
            continue;
        }
        if (summary.cancelled || !summary.noSpace.empty() || !summary.writeError.empty()) {
            summary.notDone += static_cast<int>(entries.size());
            continue;
        }
        const TDataSource& from = folder.sources[source];
        std::sort(entries.begin(), entries.end()); // the archive's listing order
        ExtractListener perArchive;
        perArchive.notExtracted = [&](const std::u16string& entry, const std::u16string& reason) {
            if (listener.notExtracted) {
                listener.notExtracted(from, entry, reason);
            }
        };
        perArchive.progress = [&](int done, int) {
            if (listener.progress) {
                listener.progress(doneBefore + done, total);
            }
        };
        const int count = static_cast<int>(entries.size());
        const ExtractSummary done = ExtractEntries(*from.reader, std::move(entries), destination,
                                                   options.extract, perArchive, cancel);
        doneBefore += count;
        summary.written += done.written;
        summary.empty += done.empty;
        summary.failed += done.failed;
        summary.cancelled = done.cancelled;
        summary.noSpace = done.noSpace;
        summary.stoppedAt = done.stoppedAt;
        summary.writeError = done.writeError;
        summary.notDone += done.notDone;
    }
    return summary;
}
