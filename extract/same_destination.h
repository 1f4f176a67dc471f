#pragma once
// Entries of one extraction that would write the same file: a\b\x.bin, a\\b\x.bin, a\.\b\x.bin and
// .\a\b\x.bin all name DEST/a/b/x.bin, and on Windows, where case does not tell files apart, so does
// A\B\X.BIN. The first of them in list order is written; every later one is reported and not written, so
// that two workers never write one file and the result does not depend on the order in which the entries
// happen to be done.
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

class TSameDestinations {
public:
    // Looks at the whole list once. Entries refused for their path take part in nothing. entries must outlive
    // this object.
    explicit TSameDestinations(const std::vector<std::u16string>& entries);

    // The first entry of the list with the same destination as entries[index], or nullptr when entries[index]
    // is that first one (or is alone).
    const std::u16string* EarlierEntry(size_t index) const;

private:
    const std::vector<std::u16string>& entries_;
    std::unordered_map<size_t, size_t> firstOf_; // index of a later entry -> index of the first one
};
