#include "data_folder/row_extraction.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>

#include "extract/extract_entry.h"
#include "platform/folder_files.h"

namespace {

// Where a row's file lands below the destination, in the form under which the file system tells names
// apart: its file name alone without folders, else its path without empty and "." components.
std::u16string DestinationKey(std::u16string_view entry, bool withoutFolders) {
    std::u16string key;
    if (withoutFolders) {
        const size_t slash = entry.find_last_of(u"\\/:");
        key = entry.substr(slash == std::u16string_view::npos ? 0 : slash + 1);
    } else {
        size_t begin = 0;
        while (begin <= entry.size()) {
            size_t end = entry.find_first_of(u"\\/", begin);
            if (end == std::u16string_view::npos) {
                end = entry.size();
            }
            const std::u16string_view part = entry.substr(begin, end - begin);
            if (!part.empty() && part != u".") {
                if (!key.empty()) {
                    key += u'\\';
                }
                key += part;
            }
            begin = end + 1;
        }
    }
    platform::ToFileNameKey(key);
    return key;
}

} // namespace

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
    std::vector<TOverrideTable::TRowIndex> toWrite;
    for (size_t i = 0; i < rows.size(); ++i) {
        const TSourceRow& row = table.Rows()[rows[i]];
        const bool laterHasPath = i + 1 < rows.size() && table.ComparePaths(rows[i], rows[i + 1]) == 0;
        if (!laterHasPath) {
            toWrite.push_back(rows[i]);
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

    // Rows of different paths that still land on one file (file names alike without folders, "." in a
    // path, names the game tells apart and the file system does not) would replace each other's files, as
    // the archives are extracted one after another. Each archive's own run settles its own rows; between
    // archives the first row in list order is written and a later one is reported, as within one. Found
    // through hashes of the keys, so that the keys of every row are never held at once.
    const bool flat = options.extract.withoutFolders;
    std::vector<std::pair<size_t, size_t>> hashes; // (key's hash, place in toWrite)
    hashes.reserve(toWrite.size());
    for (size_t i = 0; i < toWrite.size(); ++i) {
        hashes.emplace_back(std::hash<std::u16string>()(DestinationKey(folder.EntryString(toWrite[i]), flat)),
                            i);
    }
    std::sort(hashes.begin(), hashes.end());
    std::vector<size_t> collides(toWrite.size(), 0); // 1 + the earlier row's place in toWrite
    for (size_t begin = 0; begin < hashes.size();) {
        size_t end = begin + 1;
        while (end < hashes.size() && hashes[end].first == hashes[begin].first) {
            ++end;
        }
        // A run of one hash, in list order: each row against the earlier ones of another archive.
        std::vector<std::pair<std::u16string, size_t>> seen;
        for (size_t k = begin; end - begin > 1 && k < end; ++k) {
            const size_t place = hashes[k].second;
            const std::u16string entry = folder.EntryString(toWrite[place]);
            const std::u16string key = DestinationKey(entry, flat);
            const uint16_t source = table.Rows()[toWrite[place]].source;
            const auto earlier = std::find_if(seen.begin(), seen.end(), [&](const auto& held) {
                return held.first == key && table.Rows()[toWrite[held.second]].source != source;
            });
            if (earlier == seen.end()) {
                seen.emplace_back(key, place);
                continue;
            }
            collides[place] = earlier->second + 1;
        }
        begin = end;
    }
    for (size_t place = 0; place < toWrite.size(); ++place) {
        if (collides[place] == 0) {
            continue;
        }
        ++summary.failed;
        if (listener.notExtracted) {
            const TExtractOutcome outcome{TExtractOutcome::Kind::SameDestination,
                                          folder.EntryString(toWrite[collides[place] - 1])};
            listener.notExtracted(folder.SourceOf(toWrite[place]), folder.EntryString(toWrite[place]),
                                  ExtractOutcomeReason(outcome));
        }
    }
    std::vector<std::vector<TEntryRef>> bySource(folder.sources.size());
    for (size_t i = 0; i < toWrite.size(); ++i) {
        if (collides[i] == 0) {
            const TSourceRow& row = table.Rows()[toWrite[i]];
            bySource[row.source].push_back(row.entry);
        }
    }

    int total = 0;
    for (const std::vector<TEntryRef>& entries : bySource) {
        total += static_cast<int>(entries.size());
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
        const std::unique_ptr<TEntrySource> fromEntries = from.Entries();
        const ExtractSummary done = ExtractEntries(*fromEntries, std::move(entries), destination,
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
