#pragma once
// Reaching an archive and its entries, the way every front-end does: the archive opened, an entry found once
// by its entry string, then described and read through its reference. The one place where the reader's
// failures, of whatever kind, become a reason: nothing raises from here but a destination's own errors.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "archive/bsa_file.h"
#include "base/bytes.h"

// Put before the zlib inflater's messages, which do not say what failed.
inline constexpr char16_t kZlibDamagedText[] = u"zlib data damaged: ";

// What reading or describing an entry came to.
struct TFetchResult {
    bool fetched = false;
    // Why not: the reader's message ("<archive> has a damaged entry: …", "lz4 decompression size mismatch";
    // zlib's fixed texts after kZlibDamagedText: "zlib data damaged: Erreur"), or "out of memory". Empty when
    // fetched.
    std::u16string reason;
    // The failure was of a kind the reader never raises: a fault of the program, which the fuzzers report.
    bool unexpected = false;

    explicit operator bool() const { return fetched; }
};

// An open archive, or why it could not be opened (the reader's message, which names the archive, or the
// stream's: "Cannot open <path>.  No such file or directory", "Erreur de lecture du flux").
struct TOpenedArchive {
    std::unique_ptr<TwbBSAFile> reader;
    TFetchResult result;
};
TOpenedArchive OpenArchive(const std::u16string& path);

// The entry an entry string names (folder + "\" + file, as the listing gives it; "/" counts as "\", as
// users type it), or nothing. See TwbBSAFile::FindEntry for which of several alike.
std::optional<TEntryRef> FindEntryByString(const TwbBSAFile& reader, std::u16string entry);
// The same in any index (a Data folder's loose files, say).
std::optional<TEntryRef> FindEntryByString(const TBsaIndex& index, std::u16string entry);

// The entry's bytes into buffer, whose memory is reused. On failure buffer is empty.
TFetchResult FetchEntry(TwbBSAFile& reader, TEntryRef entry, TBytes& buffer);

// The entry's bytes piece by piece into the stream destination gives (TwbBSAFile::ReadEntryInPieces), for
// entries too large to hold. An error raised by that stream (a write error) passes out as it is; every other
// failure is the result's reason, and the stream may have received part of the entry by then.
TFetchResult FetchEntryInPieces(TwbBSAFile& reader, TEntryRef entry, TEntryDestination& destination);

// How an entry is stored and packed, as the preview and the tools describe it.
struct TEntryDescription {
    TwbBSAFile::TEntryStorage storage;
    TwbBSAFile::Packing packing = TwbBSAFile::Packing::Raw;
};
// Reads a few bytes of the entry (see TwbBSAFile::EntryPacking); on failure the result says why.
TFetchResult DescribeEntry(TwbBSAFile& reader, TEntryRef entry, TEntryDescription& description);
// "raw", "zlib", "LZ4 frame", "LZ4 legacy" or "LZ4, unrecognised".
std::u16string PackingName(TwbBSAFile::Packing packing);
