#include "cli/extract_job.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "archive/archive_session.h"
#include "archive/entry_path.h"
#include "archive/entry_writer.h"
#include "base/exceptions.h"

namespace {

enum class Outcome { Written, Empty, Failed };

struct EntryResult {
    Outcome outcome = Outcome::Failed;
    std::u16string reason;
};

// One entry, exactly as the window extracts it: split, refuse unsafe paths, fetch, skip empty, write.
EntryResult ExtractOne(TArchiveSession& archive, const std::u16string& entry, const std::u16string& destination) {
    const rFileData parts = SplitEntryPath(entry);
    if (const auto unsafe = UnsafeEntryPathReason(parts)) {
        return {Outcome::Failed, u"refused: " + *unsafe};
    }
    TBytes data;
    try {
        if (!archive->getFile(parts.fPath, parts.fName, parts.fExt, true, data)) {
            return {Outcome::Failed, u"not found in the archive"};
        }
    } catch (const Exception& e) {
        return {Outcome::Failed, e.Message()};
    } catch (const std::bad_alloc&) {
        return {Outcome::Failed, u"out of memory"};
    }
    if (data.empty()) {
        return {Outcome::Empty, {}};
    }
    try {
        WriteEntryFile(EntryDestinationFolder(destination, parts), EntryDestinationFile(destination, parts), data);
    } catch (const Exception& e) {
        return {Outcome::Failed, e.Message()};
    } catch (const std::bad_alloc&) {
        return {Outcome::Failed, u"out of memory"};
    }
    return {Outcome::Written, {}};
}

// Entries with the same string name the same file: they go to one worker, in list order, so that two
// workers never write one file at the same time.
std::vector<std::vector<size_t>> GroupSameEntries(const std::vector<std::u16string>& entries) {
    std::vector<std::vector<size_t>> groups;
    std::unordered_map<std::u16string, size_t> groupOf;
    groups.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto [place, added] = groupOf.try_emplace(entries[i], groups.size());
        if (added) {
            groups.emplace_back();
        }
        groups[place->second].push_back(i);
    }
    return groups;
}

} // namespace

ExtractSummary ExtractEntries(const std::u16string& archivePath, const std::vector<std::u16string>& entries,
                              const std::u16string& destination, int jobs, const ExtractProgress& progress) {
    const int workers = static_cast<int>(std::clamp<size_t>(static_cast<size_t>(std::max(jobs, 1)), 1,
                                                            std::max<size_t>(entries.size(), 1)));
    // One worker goes through the list in order; several share it out by groups of equal entries.
    std::vector<std::vector<size_t>> groups;
    if (workers == 1) {
        groups.reserve(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            groups.push_back({i});
        }
    } else {
        groups = GroupSameEntries(entries);
    }

    ExtractSummary summary;
    auto collect = [&](size_t index, EntryResult& result) {
        switch (result.outcome) {
        case Outcome::Written:
            ++summary.written;
            break;
        case Outcome::Empty:
            ++summary.empty;
            break;
        case Outcome::Failed:
            summary.failures.push_back({entries[index], std::move(result.reason)});
            break;
        }
        if (progress) {
            progress(static_cast<int>(index + 1), static_cast<int>(entries.size()));
        }
    };

    // Each worker takes the next group of entries and hands every result to deliver.
    std::atomic<size_t> nextGroup{0};
    auto work = [&](const std::function<void(size_t, EntryResult&)>& deliver) {
        TArchiveSession archive;
        std::u16string openError;
        try {
            ArchiveOpen(archive, archivePath);
        } catch (const Exception& e) {
            openError = e.Message();
        }
        for (size_t g = nextGroup++; g < groups.size(); g = nextGroup++) {
            for (size_t index : groups[g]) {
                EntryResult result = archive ? ExtractOne(archive, entries[index], destination)
                                             : EntryResult{Outcome::Failed, openError};
                deliver(index, result);
            }
        }
        ArchiveFree(archive);
    };

    if (workers == 1) {
        work(collect);
        return summary;
    }

    // Several workers, this thread one of them: results arrive in any order and are reported in list order,
    // by this thread only, whenever it is between two entries of its own and at the end. No worker ever waits
    // for another or wakes this thread: with as many workers as cores, every switch would cost working time.
    std::vector<std::optional<EntryResult>> results(entries.size());
    std::mutex resultsLock;
    auto store = [&](size_t index, EntryResult& result) {
        std::lock_guard lock(resultsLock);
        results[index] = std::move(result);
    };
    size_t nextToReport = 0;
    auto reportArrived = [&] {
        while (nextToReport < entries.size()) {
            std::optional<EntryResult> result;
            {
                std::lock_guard lock(resultsLock);
                if (!results[nextToReport]) {
                    return;
                }
                result.swap(results[nextToReport]);
            }
            collect(nextToReport, *result);
            ++nextToReport;
        }
    };
    {
        std::vector<std::jthread> threads;
        for (int i = 1; i < workers; ++i) {
            threads.emplace_back([&] { work(store); });
        }
        work([&](size_t index, EntryResult& result) {
            store(index, result);
            reportArrived();
        });
    } // the other workers are done here
    reportArrived();
    return summary;
}
