#include "base/string_list.h"

#include <algorithm>
#include <utility>

#include "platform/locale.h"

int TStringList::Add(std::u16string string, int64_t object) {
    if (!FSorted) {
        FItems.push_back(Item{std::move(string), object});
        return Count() - 1;
    }
    const auto place = std::upper_bound(FItems.begin(), FItems.end(), string, [](const auto& s, const Item& item) {
        return platform::CompareTextIgnoreCase(s, item.string) < 0;
    });
    const auto index = static_cast<int>(place - FItems.begin());
    FItems.insert(place, Item{std::move(string), object});
    return index;
}

void TStringList::SetSorted(bool sorted) {
    if (sorted && !FSorted) {
        std::stable_sort(FItems.begin(), FItems.end(), [](const Item& a, const Item& b) {
            return platform::CompareTextIgnoreCase(a.string, b.string) < 0;
        });
    }
    FSorted = sorted;
}

bool TStringList::Find(std::u16string_view string, int& index) const {
    const auto place = std::lower_bound(FItems.begin(), FItems.end(), string, [](const Item& item, auto s) {
        return platform::CompareTextIgnoreCase(item.string, s) < 0;
    });
    index = static_cast<int>(place - FItems.begin());
    return place != FItems.end() && platform::CompareTextIgnoreCase(place->string, string) == 0;
}

int TStringList::IndexOf(std::u16string_view string) const {
    if (FSorted) {
        int index = 0;
        return Find(string, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i) {
        if (platform::CompareTextIgnoreCase(Strings(i), string) == 0) {
            return i;
        }
    }
    return -1;
}
