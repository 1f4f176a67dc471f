#include "archive/entry_filter.h"

#include <algorithm>

#include "platform/locale.h"

std::u16string NormalizeFilterText(const std::u16string& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && text[first] <= u' ') {
        ++first;
    }
    while (last > first && text[last - 1] <= u' ') {
        --last;
    }
    return platform::LowerCase(text.substr(first, last - first));
}

std::vector<std::u16string> FilterEntries(std::vector<std::u16string> entries, const std::u16string& text) {
    const std::u16string filter = NormalizeFilterText(text);
    if (!filter.empty()) {
        std::erase_if(entries, [&](const std::u16string& entry) { return entry.find(filter) == entry.npos; });
    }
    return entries;
}
