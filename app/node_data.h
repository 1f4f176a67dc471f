#pragma once
// One row of the browser list: the entry string, its split parts (the sort keys) and its icon.
#include <cstdint>
#include <string>
#include <string_view>

#include "archive/entry_string.h"

// Indexes into ImageList1 that the window uses.
namespace image_index {
inline constexpr int kOtherFile = 1;
inline constexpr int kOpenArchive = 9;
inline constexpr int kCross = 12;
inline constexpr int kMagnifier = 13;
inline constexpr int kScript = 16;
inline constexpr int kAnimation = 17;
inline constexpr int kExtract = 27;
inline constexpr int kOpening = 31;
inline constexpr int kNothingFound = 32;
inline constexpr int kTexture = 37;
inline constexpr int kVoice = 59;
inline constexpr int kSound = 62;
inline constexpr int kLod = 68;
inline constexpr int kMesh = 69;
} // namespace image_index

// The icon of a file by its extension (already lower-cased, dot included); kOtherFile when not in the table.
int IconForExtension(std::u16string_view lowerCaseExt);

// What a row stands for when it is no entry of the archive (the placeholders).
inline constexpr uint32_t kNoEntry = UINT32_MAX;

class TNodeDataBrw {
public:
    // s: an entry string or a placeholder text; i: an icon index, or 0 to choose it by the extension of s;
    // entry: the archive's entry the row shows (its place in the listing), or kNoEntry.
    TNodeDataBrw(std::u16string s, int32_t i, uint32_t entry = kNoEntry);

    // filename split as SplitEntryPath splits it, the sort keys: the folder part without its trailing "",
    // the file name without its extension, the extension with its dot. Views into filename.
    std::u16string_view Folder() const { return std::u16string_view(filename).substr(0, folderLength_); }
    std::u16string_view Name() const {
        return std::u16string_view(filename).substr(nameStart_, extStart_ - nameStart_);
    }
    std::u16string_view Ext() const { return std::u16string_view(filename).substr(extStart_); }

    std::u16string filename; // the entry string exactly as the archive lists it
    int32_t icon = 0;        // index into ImageList1
    uint32_t entry = kNoEntry;

private:
    // Where the parts of filename end and begin: a row holds its text once (200,000 rows are common).
    uint32_t folderLength_ = 0;
    uint32_t nameStart_ = 0;
    uint32_t extStart_ = 0;
};

// The "Path" cell: filename up to and including its last "\" or ":" (empty when there is none).
std::u16string_view EntryFolderText(std::u16string_view filename);
// The "File" cell: the rest of filename after that delimiter.
std::u16string_view EntryFileText(std::u16string_view filename);

// A row's cell text by column: the "Path" cell on column 1, the "File" cell on column 2, empty elsewhere.
std::u16string_view BrowserTreeGetText(const TNodeDataBrw& node, int column);
// A row's cell icon by column: its icon on column 0, none (-1) elsewhere.
int BrowserTreeGetImageIndex(const TNodeDataBrw& node, int column);

// The sort comparison: code unit by code unit after mapping 'a'..'z' onto 'A'..'Z' (nothing else is folded);
// of two strings where one is a prefix of the other the shorter is smaller. Negative, zero or positive.
int CompareSortKeys(std::u16string_view a, std::u16string_view b);

// Compares two rows by the sort key of a column: 0 the extension, 1 the folder, 2 the name without extension.
// Other columns leave result as it is.
int BrowserTreeCompareNodes(const TNodeDataBrw& node1, const TNodeDataBrw& node2, int column, int result = 0);
