#pragma once
// The filter rule of the window's filter box, shared with the command line: the typed text is trimmed of
// spaces and control characters and lower-cased; an entry is kept when its entry string, compared as it is,
// contains it.
#include <string>
#include <vector>

#include "archive/bsa_file.h"

std::u16string NormalizeFilterText(const std::u16string& text);
// The entries of archive, in listing order, whose entry strings contain the normalised filter text; all of
// them when it is empty.
std::vector<TEntryRef> FilterEntries(const TwbBSAFile& archive, const std::u16string& text);
