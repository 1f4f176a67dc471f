#include "extract/entry_filter.h"

#include <algorithm>

#include "base/ustring.h"
#include "platform/locale.h"

std::u16string NormalizeFilterText(const std::u16string& text) {
    return platform::LowerCase(Trim(text));
}

std::vector<std::u16string> FilterEntries(std::vector<std::u16string> entries, const std::u16string& text) {
    const std::u16string filter = NormalizeFilterText(text);
    if (!filter.empty()) {
        std::erase_if(entries, [&](const std::u16string& entry) { return entry.find(filter) == entry.npos; });
    }
    return entries;
}
