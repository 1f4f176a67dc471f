#pragma once
// File names as the archive stores them (Windows-1252 bytes), compared without converting them:
// case-insensitively exactly as platform::CompareTextIgnoreCase compares their UTF-16 text, by a table built
// once from the platform's case folding. The index sorts and searches hundreds of thousands of names with
// these.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// Compares two byte strings through a table of ranks, byte by byte; on a common prefix the shorter first.
// Negative, zero or positive.
inline int CompareByRanks(const std::array<uint8_t, 256>& ranks, std::string_view a, std::string_view b) {
    const size_t common = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < common; ++i) {
        const uint8_t rankA = ranks[static_cast<uint8_t>(a[i])];
        const uint8_t rankB = ranks[static_cast<uint8_t>(b[i])];
        if (rankA != rankB) {
            return rankA < rankB ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

class TNameOrder {
public:
    // The one table, built on first use (thread-safe).
    static const TNameOrder& Get();

    // The simple case fold of the byte's character (always below U+D800, so unit order is code point order).
    char16_t Fold(uint8_t byte) const { return fold_[byte]; }
    // The folds' order in one byte: Rank(a) < Rank(b) exactly when Fold(a) < Fold(b); 0 for the zero byte
    // only, which no name holds.
    uint8_t Rank(uint8_t byte) const { return rank_[byte]; }

    // Case-insensitive comparison of two names: negative, zero or positive.
    int Compare(std::string_view a, std::string_view b) const { return CompareByRanks(rank_, a, b); }
    // The same against a text already folded with platform::FoldCase.
    int CompareToFolded(std::string_view name, std::u16string_view folded) const;
    // The first eight ranks of a name packed so that comparing two keys compares those ranks; a shorter name
    // is padded with zeros, which sort first. Names whose keys differ compare as their keys do.
    uint64_t PrefixKey(std::string_view name) const;

private:
    TNameOrder();

    std::array<char16_t, 256> fold_{};
    std::array<uint8_t, 256> rank_{};
};
