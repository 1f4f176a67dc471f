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
        NotFound,        // the archive has no such entry
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
// "not found in the archive", the reader's message, "same destination as <entry>", "destination is a folder
// for <entry>", "folder in its path is the file of <entry>", the lack of space or "cancelled". Empty for
// entries that were written.
std::u16string ExtractOutcomeReason(const TExtractOutcome& outcome);

// Extracts the entry string entry (folder + "\" + file) of reader below destination: splits it, refuses a
// path that would leave the destination or cross a link in it, fetches the bytes and writes them as a whole
// file (see WriteEntryFile). With earlierEntry given (TSameDestinations), only reports SameDestination. With
// a space budget in the destination's rules, takes the entry's bytes from it before writing: NoSpace, and
// nothing written, when they do not fit (given back when the write fails or is cancelled). With
// cancel given and set, stops before the next step or block: Cancelled, and the file is left as it was.
// Failures of the entry itself come back as the outcome; a file or folder that cannot be made or written
// raises the stream's error ("Cannot create %s.", "FileWrite failed for %s."), which ends a run.
TExtractOutcome ExtractEntry(TwbBSAFile& reader, const std::u16string& entry, TDestinationFolder& destination,
                             const std::u16string* earlierEntry = nullptr,
                             const std::atomic<bool>* cancel = nullptr);
