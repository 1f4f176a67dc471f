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

struct EntryReport {
    std::u16string entry;  // the entry string
    std::u16string reason; // why it was not extracted
};

struct ExtractSummary {
    int written = 0;
    int empty = 0; // entries of zero bytes, written as empty files
    std::vector<EntryReport>
        failures;           // in entry-list order; entries left out by cancelling are not among them
    bool cancelled = false; // the cancel flag stopped the run before every entry was done
};

// Called after each entry, in entry-list order, with the number of entries done so far.
using ExtractProgress = std::function<void(int done, int total)>;

// Extracts entries (entry strings of archive) below destination (a native folder path) with ExtractEntry.
// jobs < 1 means one worker. Failures of single entries, write errors included, are collected, never raised.
// A worker that cannot get a handle of its own to the archive takes no entries; the others do them all. Once
// *cancel (when given) is set, no entry is started any more and the entries being written are dropped, their
// temporary files removed; the summary then tells so and holds what was done before.
ExtractSummary ExtractEntries(TwbBSAFile& archive, const std::vector<std::u16string>& entries,
                              const std::u16string& destination, int jobs, const ExtractProgress& progress,
                              const std::atomic<bool>* cancel = nullptr);
