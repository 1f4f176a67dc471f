#pragma once
// What the window says after an extraction: the entries not written with their reason, those overridden by
// a later source, and what stopped a run early. Shared by the main window and the comparison window.
#include <QString>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// text without the run of c at its end; a text of nothing but c gives an empty text.
std::u16string StripTrailingChar(const std::u16string& text, char16_t c);

// How many entries that were not written the message after the run names.
inline constexpr size_t kNotWrittenEntriesNamed = 5;

// The entries of one extraction that were not written: the first few with their reason, and how many.
struct TNotExtractedEntries {
    std::vector<std::pair<std::u16string, std::u16string>> named;
    size_t count = 0;
    void Add(const std::u16string& entry, const std::u16string& reason);
};

// The message after an extraction that did not write every entry: how many were not written, and the first
// few with their reason.
QString NotWrittenEntriesMessage(const TNotExtractedEntries& notExtracted);

// The message after an extraction of rows of several archives where rows shared a path: those of earlier
// archives were not written, the latest one's was (written: the files written in all).
QString OverriddenEntriesMessage(const TNotExtractedEntries& overridden, int written);

// What ended an extraction before its last entry.
struct TExtractionStop {
    std::u16string reason; // the write error or the lack of space
    std::u16string entry;  // the entry the run stopped at; empty when it stopped for space, between entries
    int position = 0;      // that entry's place among the selected rows, from 1
    int total = 0;         // the selected rows
    int notAttempted = 0;  // entries after the stop that were never tried
};

// What ended a run early, from its summary (ExtractSummary, or the summary of rows of several archives),
// or nothing when it ran to its end. placeholders: the rows done before the run (folders chosen without
// entries), which count among total and before the stop.
template <class TSummary>
std::optional<TExtractionStop> StopOfRun(const TSummary& summary, int placeholders, int total) {
    if (summary.writeError.empty() && summary.noSpace.empty()) {
        return std::nullopt;
    }
    TExtractionStop stop;
    stop.total = total;
    if (!summary.writeError.empty()) {
        stop.reason = summary.writeError;
        stop.entry = summary.stoppedAt;
        // The entries before it are all done (written, empty or reported): it comes next.
        stop.position = placeholders + summary.written + summary.empty + summary.failed + 1;
        stop.notAttempted = summary.notDone - 1;
    } else {
        stop.reason = summary.noSpace;
        stop.notAttempted = summary.notDone;
    }
    return stop;
}

// The one message after an extraction that a write error or the lack of space ended: what stopped it and at
// which entry, the entries before that were not written with their reason, and how many were not attempted.
QString StoppedExtractionMessage(const TExtractionStop& stop, const TNotExtractedEntries& notExtracted);
