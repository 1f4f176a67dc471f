#pragma once
// The one extraction step of the window and the command-line tool: one entry of an open archive written below
// a destination folder, or the reason why not.
#include <atomic>
#include <string>

#include "archive/bsa_file.h"
#include "extract/destination_folder.h"

struct TExtractOutcome {
    enum class Kind {
        Written,         // the file now holds the entry's bytes
        Empty,           // the entry has no bytes: the file is now empty
        Refused,         // detail: why its path may not be written below the destination
        Unreadable,      // detail: the reader's message
        SameDestination, // detail: the earlier entry that writes this file
        FolderOfEarlier, // detail: the earlier entry that needs a folder where this file would be
        FileOfEarlier,   // detail: the earlier entry whose file is where this entry needs a folder
        NoSpace,         // detail: NotEnoughSpaceMessage; the destination's space budget has no room for it
        WriteFailed,     // detail: the stream's message; its file or a folder could not be made or written
        Cancelled,       // stopped by the cancel flag; nothing was written
    };
    Kind kind = Kind::Written;
    std::u16string detail;

    bool WasWritten() const { return kind == Kind::Written || kind == Kind::Empty; }
};

// Why an entry was not written, as the window and the command-line tool report it: "refused: <reason>",
// the reader's message, "same destination as <entry>", "destination is a folder
// for <entry>", "folder in its path is the file of <entry>", the lack of space or "cancelled". Empty for
// entries that were written.
std::u16string ExtractOutcomeReason(const TExtractOutcome& outcome);

class TEntrySource;
class TExtractionPlan;

// Extracts the entry at position of plan below destination, read through reader (the plan's archive, or a
// reader that shares its index). An entry the plan decided on (refused for its path, colliding with an
// earlier one) only reports that. Otherwise the entry's bytes go to its file as reader hands them out (piece
// by piece for a large entry): once its size is known, the bytes are taken from the destination's space
// budget (NoSpace, and nothing written, when they do not fit; given back when the entry is not written after
// all), its folder is opened below the destination without following links (Refused: "link in the path"), and
// a temporary file is written and renamed into place (see TEntryFileWriter). An entry that cannot be read is
// Unreadable with the reader's reason. With cancel given and set, stops before the next step or block:
// Cancelled, and the file is left as it was. A file or folder that cannot be made or written raises the
// stream's error ("Cannot create %s.", "FileWrite failed for %s.").
TExtractOutcome ExtractEntry(TwbBSAFile& reader, const TExtractionPlan& plan, size_t position,
                             TDestinationFolder& destination, const std::atomic<bool>* cancel = nullptr);
// The same for an entry of any source (extract/entry_source.h): its bytes as source hands them out.
TExtractOutcome ExtractEntry(TEntrySource& source, const TExtractionPlan& plan, size_t position,
                             TDestinationFolder& destination, const std::atomic<bool>* cancel = nullptr);
