#include "extract/entry_filter.h"

#include <algorithm>

#include "base/ustring.h"
#include "platform/locale.h"

std::u16string NormalizeFilterText(const std::u16string& text) {
    return platform::LowerCase(Trim(text));
}

std::vector<TEntryRef> FilterEntries(const TwbBSAFile& archive, const std::u16string& text) {
    const std::u16string filter = NormalizeFilterText(text);
    std::vector<TEntryRef> kept;
    kept.reserve(filter.empty() ? archive.FileCount() : 0);
    for (TEntryRef entry = 0; entry < archive.FileCount(); ++entry) {
        if (filter.empty() || archive.EntryString(entry).find(filter) != std::u16string::npos) {
            kept.push_back(entry);
        }
    }
    return kept;
}
