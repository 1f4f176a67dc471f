#pragma once
// The filter rule of the window's filter box, shared with the command line. The typed text is trimmed of
// spaces and control characters and lower-cased. Without "*" or "?" an entry is kept when its entry string,
// compared as it is, contains that text; with them the text is a wildcard pattern the whole entry string
// must match ("*" any run of characters, "\" included; "?" any one character): "*.dds",
// "textures\*iron*".
#include <string>
#include <string_view>
#include <vector>

#include "archive/bsa_file.h"

std::u16string NormalizeFilterText(const std::u16string& text);

// Whether text matches pattern as a whole: "*" stands for any run of characters, "?" for any one, every other
// character for itself. Time linear in text for each "*"-free stretch of the pattern (no backtracking
// blow-up: at most length of text times length of pattern).
bool MatchesWildcard(std::u16string_view pattern, std::u16string_view text);

// What the filter box's text keeps.
class TEntryFilter {
public:
    explicit TEntryFilter(const std::u16string& text);
    bool KeepsAll() const { return text_.empty(); }
    bool IsWildcard() const { return wildcard_; }
    bool Keeps(std::u16string_view entryString) const;

private:
    std::u16string text_; // normalised
    bool wildcard_ = false;
};

// The entries of archive, in listing order, that the filter text keeps; all of them when it is empty.
std::vector<TEntryRef> FilterEntries(const TwbBSAFile& archive, const std::u16string& text);
