#pragma once
// Extracting rows of several archives of a Data folder at once, and of its loose files, which are copied as
// an archive's entries are written. Where rows of several sources share a path (as the game compares paths),
// only the one of the latest source in load order among them is written, as the game would see it (a loose
// file, when one is shown, since those come last); the others are reported as overridden, which is no
// failure. "Winners only" keeps just the rows that win with the sources taking part now: what the game sees.
// Each source's rows are then extracted with ExtractEntries, one source after another in load order, so that
// the files and reports are the same for any number of jobs.
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "data_folder/data_folder.h"
#include "extract/extract_selection.h"

struct TRowExtractOptions {
    ExtractOptions extract;
    bool winnersOnly = false;
};

struct TRowExtractListener {
    // A row not extracted, with ExtractEntries' reason; in load order of the archives, list order within one.
    std::function<void(const TDataSource& source, const std::u16string& entry, const std::u16string& reason)>
        notExtracted;
    // A row not written because the row of a later archive has its path, before any entry is written, in row
    // order.
    std::function<void(const TDataSource& source, const std::u16string& entry, const TDataSource& winner)>
        overridden;
    // After each entry written or failed, with the number done and the total to write.
    std::function<void(int done, int total)> progress;
};

struct TRowExtractSummary {
    int written = 0;
    int empty = 0;
    int failed = 0;
    int overridden = 0; // rows of a path another chosen row has, from a later archive
    int leftOut = 0;    // rows that do not win, with winnersOnly
    bool cancelled = false;
    // As in ExtractSummary, of the archive whose run stopped; no later archive is started then.
    std::u16string noSpace;
    std::u16string stoppedAt;
    std::u16string writeError;
    int notDone = 0;
};

// Extracts the rows (places in folder.table.Rows(), in any order; each once) below destination.
TRowExtractSummary ExtractRows(TDataFolder& folder, std::vector<TOverrideTable::TRowIndex> rows,
                               const std::u16string& destination, const TRowExtractOptions& options,
                               const TRowExtractListener& listener,
                               const std::atomic<bool>* cancel = nullptr);
