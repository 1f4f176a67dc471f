#include "extract/extract_selection.h"

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "base/exceptions.h"
#include "extract/destination_folder.h"
#include "extract/entry_path.h"
#include "extract/entry_source.h"
#include "extract/entry_writer.h"
#include "extract/extract_entry.h"
#include "extract/extraction_plan.h"
#include "extract/space_budget.h"
#include "platform/directories.h"
#include "platform/file.h"

namespace {

// One entry through the shared extraction step. A write error comes back as the entry's outcome, which the
// run reports or stops at.
TExtractOutcome ExtractOne(TEntrySource& source, const TExtractionPlan& plan, size_t position,
                           TDestinationFolder& destination, const std::atomic<bool>* cancel) {
    try {
        return ExtractEntry(source, plan, position, destination, cancel);
    } catch (const Exception& e) {
        return {TExtractOutcome::Kind::WriteFailed, e.Message()};
    } catch (const std::bad_alloc&) {
        return {TExtractOutcome::Kind::Unreadable, u"out of memory"};
    }
}

// Open files that a run leaves to the rest of the process: the standard streams, the archive as the caller
// opened it, what libraries keep open.
constexpr size_t kFilesLeftToTheProcess = 64;
// Files each worker holds open besides the folders it keeps: its own handle to the archive, its temporary
// file, the destination folder, and the next folder while the walk opens it.
constexpr size_t kFilesPerWorker = 4;

struct TOpenFileShare {
    int workers;
    size_t foldersPerWorker; // TDestinationRules::maxOpenFolders
};

// How many workers may run and how many folders each may keep open, so that all of them together stay below
// limit (platform::OpenFileLimit) whatever the depth of the archive's folders. Keeping folders open only
// spares walks; one per worker is enough to work.
TOpenFileShare ShareOpenFiles(size_t limit, int workers) {
    if (limit == SIZE_MAX) {
        return {workers, SIZE_MAX};
    }
    const size_t available = limit > kFilesLeftToTheProcess ? limit - kFilesLeftToTheProcess : 0;
    const int fitting = static_cast<int>(
        std::clamp<size_t>(available / (kFilesPerWorker + 1), 1, static_cast<size_t>(workers)));
    const size_t perWorker = available / static_cast<size_t>(fitting);
    return {fitting, perWorker > kFilesPerWorker + 1 ? perWorker - kFilesPerWorker : 1};
}

// The space budget of the run, or a message when the entries that are written cannot fit in the destination's
// free space whatever they hold. Nothing when the system cannot tell the free space.
std::optional<TSpaceBudget> SpaceBudget(const TEntrySource& source, const TExtractionPlan& plan,
                                        const std::u16string& destination, std::u16string& noSpace) {
    uint64_t freeBytes = 0;
    if (!platform::FreeDiskSpace(destination, freeBytes)) {
        return std::nullopt;
    }
    // Usually the whole archive fits: then no entry needs looking up.
    if (source.LeastSizesBound() > freeBytes) {
        uint64_t needed = 0;
        for (size_t position = 0; position < plan.Size(); ++position) {
            if (plan.ToBeWritten(position)) {
                needed += source.EntryLeastSize(plan.Entry(position));
            }
        }
        if (needed > freeBytes) {
            noSpace = NotEnoughSpaceMessage(destination, needed, freeBytes);
            return std::nullopt;
        }
    }
    return std::make_optional<TSpaceBudget>(destination, freeBytes);
}

bool IsSet(const std::atomic<bool>* flag) {
    return flag != nullptr && flag->load(std::memory_order_relaxed);
}

// The summary once the run is over: what a cancel, the lack of space or a write error left undone.
ExtractSummary Finished(ExtractSummary& summary, size_t finished, size_t total) {
    summary.notDone = static_cast<int>(total - finished);
    summary.cancelled = finished < total && summary.noSpace.empty() && summary.writeError.empty();
    return std::move(summary);
}

} // namespace

ExtractSummary ExtractEntries(TwbBSAFile& archive, std::vector<TEntryRef> selection,
                              const std::u16string& destination, const ExtractOptions& options,
                              const ExtractListener& listener, const std::atomic<bool>* cancel) {
    TArchiveEntries source(archive);
    return ExtractEntries(source, std::move(selection), destination, options, listener, cancel);
}

ExtractSummary ExtractEntries(TEntrySource& source, std::vector<TEntryRef> selection,
                              const std::u16string& destination, const ExtractOptions& options,
                              const ExtractListener& listener, const std::atomic<bool>* cancel) {
    const size_t count = selection.size();
    const int jobs = options.jobs;
    const TOpenFileShare share = ShareOpenFiles(
        platform::OpenFileLimit(), static_cast<int>(std::clamp<size_t>(static_cast<size_t>(std::max(jobs, 1)),
                                                                       1, std::max<size_t>(count, 1))));
    const int workers = share.workers;
    // Decided for the whole selection before any worker starts, so that it does not depend on who does what
    // when.
    const TExtractionPlan plan(source.Index(), std::move(selection), options.withoutFolders);
    TDestinationRules rules;
    rules.temporaryPrefix = ChooseTemporaryPrefix(plan.DotNames());
    rules.maxOpenFolders = share.foldersPerWorker;

    ExtractSummary summary;
    std::optional<TSpaceBudget> space = SpaceBudget(source, plan, destination, summary.noSpace);
    if (!summary.noSpace.empty()) {
        summary.notDone = static_cast<int>(count);
        return summary;
    }
    rules.space = space ? &*space : nullptr;
    std::atomic<bool> writeErrorStop{false};
    const auto stopped = [&] {
        return IsSet(cancel) || (space && space->Exhausted()) ||
               writeErrorStop.load(std::memory_order_relaxed);
    };

    size_t finished = 0; // entries done to the end, reported or not
    // Takes in the outcome of the entry at index, in the selection's order: counts it and hands it on.
    auto collect = [&](size_t index, const TExtractOutcome& outcome) {
        switch (outcome.kind) {
        case TExtractOutcome::Kind::Written:
            ++summary.written;
            break;
        case TExtractOutcome::Kind::Empty:
            ++summary.empty;
            break;
        case TExtractOutcome::Kind::Cancelled:
            break;
        case TExtractOutcome::Kind::NoSpace:
            if (summary.noSpace.empty()) {
                summary.noSpace = outcome.detail; // the first in list order: one message for the run
            }
            break;
        case TExtractOutcome::Kind::WriteFailed:
            if (options.stopAtWriteError) {
                if (summary.writeError.empty()) {
                    summary.stoppedAt = source.EntryString(plan.Entry(index));
                    summary.writeError = outcome.detail;
                }
                writeErrorStop = true;
                break;
            }
            ++summary.failed;
            if (listener.notExtracted) {
                listener.notExtracted(source.EntryString(plan.Entry(index)), ExtractOutcomeReason(outcome));
            }
            break;
        default:
            ++summary.failed;
            if (listener.notExtracted) {
                listener.notExtracted(source.EntryString(plan.Entry(index)), ExtractOutcomeReason(outcome));
            }
            break;
        }
        const bool done = outcome.kind != TExtractOutcome::Kind::Cancelled &&
                          outcome.kind != TExtractOutcome::Kind::NoSpace &&
                          !(outcome.kind == TExtractOutcome::Kind::WriteFailed && options.stopAtWriteError);
        finished += done ? 1 : 0;
        if (listener.progress) {
            listener.progress(static_cast<int>(index + 1), static_cast<int>(count));
        }
    };

    // Each worker takes the next entry of the list, waits while it is too far ahead of the entries handed
    // on (room), and hands its outcome to deliver. Every entry taken is done, if only as Cancelled, so that
    // the entries are handed on without a gap.
    std::atomic<size_t> nextEntry{0};
    auto work = [&](TEntrySource& reader, const std::function<void(size_t)>& room,
                    const std::function<void(size_t, TExtractOutcome &&)>& deliver) {
        TDestinationFolder folder(destination, rules);
        while (!stopped()) {
            const size_t index = nextEntry++;
            if (index >= count) {
                break;
            }
            room(index);
            deliver(index, ExtractOne(reader, plan, index, folder, cancel));
        }
    };

    if (workers == 1) {
        work(
            source, [](size_t) {}, [&](size_t index, TExtractOutcome&& outcome) { collect(index, outcome); });
        return Finished(summary, finished, count);
    }

    // Several workers, this thread one of them. Outcomes arrive in any order and are handed on in list order
    // by the worker that completes the next one of the list, one worker at a time, while the others go on.
    // Only the outcomes waiting for an earlier entry are kept: a worker never runs more than kWindow entries
    // ahead of the next one to hand on, and waits if it would (only while one entry takes as long as
    // thousands of others), so that a run of failing entries never piles up their reports.
    constexpr size_t kWindow = 4096;
    const size_t window = std::min(kWindow, count);
    std::vector<std::optional<TExtractOutcome>> waiting(window);
    std::mutex lock;
    std::condition_variable handedOn;
    std::atomic<size_t> nextToHandOn{0}; // changed under lock
    bool handingOn = false;
    auto room = [&](size_t index) {
        if (index < nextToHandOn.load() + window) {
            return;
        }
        std::unique_lock guard(lock);
        handedOn.wait(guard, [&] { return index < nextToHandOn.load() + window; });
    };
    auto deliver = [&](size_t index, TExtractOutcome&& outcome) {
        std::unique_lock guard(lock);
        waiting[index % window] = std::move(outcome);
        if (handingOn) {
            return; // the worker handing on takes this one too when its turn comes
        }
        handingOn = true;
        for (size_t next = nextToHandOn.load(); waiting[next % window]; next = nextToHandOn.load()) {
            const TExtractOutcome ready = std::move(*waiting[next % window]);
            waiting[next % window].reset();
            nextToHandOn.store(next + 1);
            guard.unlock();
            collect(next, ready);
            guard.lock();
        }
        handingOn = false;
        handedOn.notify_all();
    };
    {
        // Every other worker reads through a handle of its own; one that cannot get one stays out.
        std::vector<std::unique_ptr<TEntrySource>> readers;
        for (int i = 1; i < workers; ++i) {
            try {
                readers.push_back(source.Share());
            } catch (const Exception&) {
                break;
            }
        }
        std::vector<std::jthread> threads;
        for (const auto& reader : readers) {
            threads.emplace_back([&, shared = reader.get()] { work(*shared, room, deliver); });
        }
        work(source, room, deliver);
    } // the other workers are done here, and every entry taken is handed on
    return Finished(summary, finished, count);
}
