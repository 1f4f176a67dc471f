#pragma once
// Extraction of many entries of one archive below a destination folder, on one or several worker threads.
// Each worker opens the archive on its own, so no reader is ever shared between threads. The result is the
// same whatever the number of workers: the same files with the same bytes, and the same reports in the
// order of the entry list.
#include <functional>
#include <string>
#include <vector>

struct EntryReport {
    std::u16string entry;  // the entry string
    std::u16string reason; // why it was not extracted
};

struct ExtractSummary {
    int written = 0;
    int empty = 0; // entries of zero bytes: nothing is written for them, as in the window
    std::vector<EntryReport> failures; // in entry-list order
};

// Called after each entry, in entry-list order, with the number of entries done so far.
using ExtractProgress = std::function<void(int done, int total)>;

// Extracts entries (entry strings of archivePath) below destination (a native folder path). jobs < 1 means
// one worker. Failures of single entries are collected, never raised; a reader that cannot be opened by a
// worker makes every entry of that worker fail with the reader's message.
ExtractSummary ExtractEntries(const std::u16string& archivePath, const std::vector<std::u16string>& entries,
                              const std::u16string& destination, int jobs, const ExtractProgress& progress);
