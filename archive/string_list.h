#pragma once
// TStringList: an ordered list of UTF-16 strings, each carrying an integer. Unsorted it keeps insertion order
// and allows duplicates; it is filled unsorted and switched to sorted once, after which it is ordered and
// searched case-insensitively (by Unicode case folding) with a binary search.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStringList {
public:
    struct Item {
        std::u16string string;
        int64_t object = 0;
    };

    int Count() const { return static_cast<int>(FItems.size()); }
    const std::u16string& Strings(int index) const { return FItems[static_cast<size_t>(index)].string; }
    int64_t Objects(int index) const { return FItems[static_cast<size_t>(index)].object; }
    const std::vector<Item>& Items() const { return FItems; }

    // Unsorted: appends. Sorted: inserts at its place, after any equal strings. Returns the index.
    int Add(std::u16string string, int64_t object = 0);
    void Clear() {
        FItems.clear();
        FEqualRuns.reset();
    }
    void Reserve(size_t count) { FItems.reserve(count); }

    bool Sorted() const { return FSorted; }
    // Switching to sorted sorts the list once (equal strings keep their relative order).
    void SetSorted(bool sorted);

    // Binary search of a sorted list. True when found; index is then the first equal string, otherwise the
    // place where the string would be inserted.
    bool Find(std::u16string_view string, int& index) const;
    // Index of the string (case-insensitive), or -1. Binary search when sorted, linear otherwise.
    int IndexOf(std::u16string_view string) const;
    // Sorted list: of the strings equal to string (case-insensitive), the one identical to it unit for unit
    // when there is one, otherwise the first; -1 when none is equal. Binary searches only, also when many
    // strings differ only in case.
    int IndexOfExact(std::u16string_view string) const;

private:
    // A run of two or more equal strings of the sorted list, [first, last), with its positions in the order
    // of their exact units at ordered[orderedAt, orderedAt + last - first).
    struct EqualRun {
        uint32_t first;
        uint32_t last;
        uint32_t orderedAt;
    };
    // Finds the runs of equal strings; sameAsNext(i) may answer false quickly for strings i and i + 1 that
    // it knows to differ, and otherwise compares them.
    template <typename SameAsNext> void IndexEqualRuns(SameAsNext&& sameAsNext);

    struct EqualRuns {
        std::vector<EqualRun> runs; // by first
        std::vector<uint32_t> ordered;
    };

    std::vector<Item> FItems;
    bool FSorted = false;
    // Only lists that hold equal strings have them; an archive has many small lists, so they cost the
    // others one pointer.
    std::unique_ptr<EqualRuns> FEqualRuns;
};
