#pragma once
// The extraction of a selection, for the window and the command-line tool: many entries of one open archive
// written below a destination folder with ExtractEntry, on one or several worker threads. The workers share
// the archive's index and each reads through a handle of its own. The result is the same whatever the number
// of workers: the same files with the same bytes, and the same reports in the order of the entry list.
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "archive/bsa_file.h"

class TEntrySource;

struct ExtractOptions {
    int jobs = 1; // < 1 means one
    // A file or folder that cannot be made or written ends the run (the window asks so); otherwise it fails
    // its entry only.
    bool stopAtWriteError = false;
    // Every entry's file into the destination itself, without the folders of its entry string; entries of
    // one file name then collide, and the first is written.
    bool withoutFolders = false;
};

struct ExtractSummary {
    int written = 0;
    int empty = 0;          // entries of zero bytes, written as empty files
    int failed = 0;         // entries handed to ExtractListener::notExtracted
    bool cancelled = false; // the cancel flag stopped the run before every entry was done
    // NotEnoughSpaceMessage when the destination's free space stopped the run: before it began, when the
    // entries need more than is free whatever they hold, or before the first entry (in list order) that did
    // not fit. Entries not done then are neither counted nor reported; which of the later entries were
    // written before the stop depends on the workers' pace, as with a cancel.
    std::u16string noSpace;
    // With stopAtWriteError, when a write error ended the run: the entry and the stream's message. That entry
    // is not among the failed ones.
    std::u16string stoppedAt;
    std::u16string writeError;
    // Entries neither written nor reported: left undone by a cancel, the lack of space or a write error.
    int notDone = 0;
};

// What the caller hears while the run goes on, in entry-list order; each call comes from one worker at a
// time, not always the caller's thread.
struct ExtractListener {
    // An entry that was not extracted, with the reason (ExtractOutcomeReason), as soon as it and every entry
    // before it are done: the run keeps no list of them. Entries left out by cancelling are not among them.
    std::function<void(const std::u16string& entry, const std::u16string& reason)> notExtracted;
    // After each entry, with the number of entries done so far.
    std::function<void(int done, int total)> progress;
};

// Extracts the selection (entries of archive, in the order whose earlier entries win collisions and whose
// order the reports follow) below destination (a native folder path) with ExtractEntry. Fewer than
// options.jobs workers run when the process's limit of open files leaves too few for them. Entries refused
// for their path or colliding with an earlier entry's destination (TExtractionPlan) are reported without
// being fetched. Failures of single entries, write errors included unless they stop the run, are reported,
// never raised. A worker that cannot get a handle of its own to the archive takes no entries; the others do
// them all. The run writes no more than the destination's file system had free when it began (see
// TSpaceBudget). Once *cancel (when given) is set, no entry is started any more and the entries being written
// are dropped, their temporary files removed; the summary then tells so and counts what was done before.
ExtractSummary ExtractEntries(TwbBSAFile& archive, std::vector<TEntryRef> selection,
                              const std::u16string& destination, const ExtractOptions& options,
                              const ExtractListener& listener, const std::atomic<bool>* cancel = nullptr);
// The same for entries of any source (extract/entry_source.h), each worker reading through a source shared
// from it (TEntrySource::Share).
ExtractSummary ExtractEntries(TEntrySource& source, std::vector<TEntryRef> selection,
                              const std::u16string& destination, const ExtractOptions& options,
                              const ExtractListener& listener, const std::atomic<bool>* cancel = nullptr);
