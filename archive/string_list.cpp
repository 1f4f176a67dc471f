#include "archive/string_list.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/locale.h"

int TStringList::Add(std::u16string string, int64_t object) {
    if (!FSorted) {
        FItems.push_back(Item{std::move(string), object});
        return Count() - 1;
    }
    const auto place =
        std::upper_bound(FItems.begin(), FItems.end(), string, [](const auto& s, const Item& item) {
            return platform::CompareTextIgnoreCase(s, item.string) < 0;
        });
    const auto index = static_cast<int>(place - FItems.begin());
    FItems.insert(place, Item{std::move(string), object});
    IndexEqualRuns([this](size_t i) {
        return platform::CompareTextIgnoreCase(FItems[i].string, FItems[i + 1].string) == 0;
    });
    return index;
}

template <typename SameAsNext> void TStringList::IndexEqualRuns(SameAsNext&& sameAsNext) {
    FEqualRuns.reset();
    const size_t count = FItems.size();
    for (size_t first = 0; first < count;) {
        size_t last = first + 1;
        while (last < count && sameAsNext(last - 1)) {
            ++last;
        }
        if (last - first > 1) {
            if (FEqualRuns == nullptr) {
                FEqualRuns = std::make_unique<EqualRuns>();
            }
            std::vector<uint32_t>& ordered = FEqualRuns->ordered;
            const auto orderedAt = static_cast<uint32_t>(ordered.size());
            for (size_t i = first; i < last; ++i) {
                ordered.push_back(static_cast<uint32_t>(i));
            }
            std::stable_sort(ordered.begin() + orderedAt, ordered.end(),
                             [this](uint32_t a, uint32_t b) { return FItems[a].string < FItems[b].string; });
            FEqualRuns->runs.push_back(
                {static_cast<uint32_t>(first), static_cast<uint32_t>(last), orderedAt});
        }
        first = last;
    }
}

namespace {

// The first eight units of a string, lower-cased and packed so that comparing keys compares those units.
// Valid only when they are all ASCII; a shorter string is padded with zeros, which sort first, as a string
// sorts before the longer ones it begins. Two strings with different valid keys compare as their keys do, so
// most comparisons of a sort never look at the strings themselves.
struct SortKey {
    uint64_t high = 0; // units 0..3
    uint64_t low = 0;  // units 4..7
    uint32_t index = 0;
    bool valid = true;
};

// Lower-cases the ASCII capitals among four 16-bit units below 0x80: a unit from 'A' to 'Z' gets 0x20 added.
uint64_t LowerAsciiUnits(uint64_t units) {
    constexpr uint64_t kLanes = 0x0001000100010001ull;
    const uint64_t atLeastA = units + kLanes * (0x80 - u'A');   // bit 7 set where the unit >= 'A'
    const uint64_t aboveZ = units + kLanes * (0x80 - u'Z' - 1); // bit 7 set where the unit > 'Z'
    const uint64_t capitals = atLeastA & ~aboveZ & (kLanes * 0x80);
    return units | (capitals >> 2);
}

// Unit 0 (loaded little-endian, lowest) to the top, unit 3 to the bottom.
uint64_t ReverseUnits(uint64_t units) {
    return (units << 48) | ((units & 0xFFFF0000u) << 16) | ((units >> 16) & 0xFFFF0000u) | (units >> 48);
}

SortKey MakeSortKey(const std::u16string& text, uint32_t index) {
    uint64_t halves[2] = {};
    if (text.size() >= 8) {
        std::memcpy(halves, text.data(), sizeof halves);
    } else {
        std::memcpy(halves, text.data(), text.size() * sizeof(char16_t));
    }
    SortKey key;
    key.index = index;
    key.valid = ((halves[0] | halves[1]) & 0xFF80FF80FF80FF80ull) == 0;
    key.high = ReverseUnits(LowerAsciiUnits(halves[0]));
    key.low = ReverseUnits(LowerAsciiUnits(halves[1]));
    return key;
}

// Whether two keys alone order their strings: both valid and different.
bool KeysDecide(const SortKey& a, const SortKey& b) {
    return a.valid && b.valid && (a.high != b.high || a.low != b.low);
}

// A stable sort of count keys. A binary insertion sort needs as few comparisons as a merge sort on short
// lists and no buffer; both are stable, so the order is the same.
template <typename Less> void SortKeys(SortKey* keys, size_t count, Less less) {
    constexpr size_t kInsertionSortUpTo = 64;
    if (count > kInsertionSortUpTo) {
        std::stable_sort(keys, keys + count, less);
        return;
    }
    for (size_t next = 1; next < count; ++next) {
        const SortKey moving = keys[next];
        SortKey* place = std::upper_bound(keys, keys + next, moving, less);
        std::copy_backward(place, keys + next, keys + next + 1);
        *place = moving;
    }
}

// Position i takes the item that was at keys[i].index: follow each cycle of that permutation, moving every
// item once. Afterwards keys[i].index is i.
void MoveToKeyOrder(TStringList::Item* items, SortKey* keys, size_t count) {
    for (size_t start = 0; start < count; ++start) {
        if (keys[start].index == start) {
            continue;
        }
        TStringList::Item held = std::move(items[start]);
        size_t at = start;
        for (;;) {
            const size_t from = keys[at].index;
            keys[at].index = static_cast<uint32_t>(at); // in place now
            if (from == start) {
                items[at] = std::move(held);
                break;
            }
            items[at] = std::move(items[from]);
            at = from;
        }
    }
}

} // namespace

void TStringList::SetSorted(bool sorted) {
    if (sorted && !FSorted) {
        // The file lists of an archive's folders are mostly short: their keys stay on the stack.
        constexpr size_t kShortList = 64;
        SortKey shortKeys[kShortList];
        std::vector<SortKey> longKeys;
        SortKey* keys = shortKeys;
        const size_t count = FItems.size();
        if (count > kShortList) {
            longKeys.resize(count);
            keys = longKeys.data();
        }
        for (size_t i = 0; i < count; ++i) {
            keys[i] = MakeSortKey(FItems[i].string, static_cast<uint32_t>(i));
        }
        SortKeys(keys, count, [this](const SortKey& a, const SortKey& b) {
            if (KeysDecide(a, b)) {
                return a.high != b.high ? a.high < b.high : a.low < b.low;
            }
            return platform::CompareTextIgnoreCase(FItems[a.index].string, FItems[b.index].string) < 0;
        });
        MoveToKeyOrder(FItems.data(), keys, count);
        // keys[i] now describes FItems[i]: neighbours whose keys differ cannot be equal.
        IndexEqualRuns([&](size_t i) {
            if (KeysDecide(keys[i], keys[i + 1])) {
                return false;
            }
            return platform::CompareTextIgnoreCase(FItems[i].string, FItems[i + 1].string) == 0;
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

int TStringList::IndexOfExact(std::u16string_view string) const {
    int first = 0;
    if (!Find(string, first)) {
        return -1;
    }
    if (FItems[static_cast<size_t>(first)].string == string) {
        return first;
    }
    if (FEqualRuns == nullptr) {
        return first;
    }
    const std::vector<EqualRun>& runs = FEqualRuns->runs;
    const auto run = std::lower_bound(runs.begin(), runs.end(), static_cast<uint32_t>(first),
                                      [](const EqualRun& r, uint32_t at) { return r.first < at; });
    if (run == runs.end() || run->first != static_cast<uint32_t>(first)) {
        return first;
    }
    const auto begin = FEqualRuns->ordered.begin() + run->orderedAt;
    const auto end = begin + (run->last - run->first);
    const auto exact = std::lower_bound(begin, end, string, [this](uint32_t at, std::u16string_view s) {
        return std::u16string_view(FItems[at].string) < s;
    });
    if (exact != end && FItems[*exact].string == string) {
        return static_cast<int>(*exact);
    }
    return first;
}
