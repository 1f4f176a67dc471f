#include <windows.h>

#include <algorithm>
#include <utility>

#include "platform/locale_system.h"
#include "platform/win32_path.h"

namespace platform::system_locale {
namespace {

// One LCMapStringEx mapping with the invariant locale, so that the user's language never matters (no
// Turkish dotless i).
std::u16string Map(std::u16string_view text, DWORD flags) {
    if (text.empty()) {
        return {};
    }
    const auto source = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    const int needed =
        LCMapStringEx(LOCALE_NAME_INVARIANT, flags, source, length, nullptr, 0, nullptr, nullptr, 0);
    if (needed <= 0) {
        return std::u16string(text);
    }
    std::u16string out(static_cast<size_t>(needed), u'\0');
    LCMapStringEx(LOCALE_NAME_INVARIANT, flags, source, length, reinterpret_cast<wchar_t*>(out.data()),
                  needed, nullptr, nullptr, 0);
    return out;
}

// The letters whose one-letter case fold is not what upper- then lower-casing gives, or which the system's
// tables leave alone (Wine's do for all of them): each with its fold, as the Linux build's ICU has it.
constexpr std::pair<char16_t, char16_t> kSpecialFolds[] = {
    {u'\u00b5', u'\u03bc'}, // micro sign
    {u'\u017f', u's'},      // long s
    {u'\u0345', u'\u03b9'}, {u'\u03c2', u'\u03c3'}, {u'\u03d0', u'\u03b2'}, {u'\u03d1', u'\u03b8'},
    {u'\u03d5', u'\u03c6'}, {u'\u03d6', u'\u03c0'}, {u'\u03f0', u'\u03ba'}, {u'\u03f1', u'\u03c1'},
    {u'\u03f5', u'\u03b5'}, {u'\u1e9b', u'\u1e61'}, {u'\u1e9e', u'\u00df'}, {u'\u1fbe', u'\u03b9'},
    {u'\u2126', u'\u03c9'}, // ohm sign
    {u'\u212a', u'k'},      // Kelvin sign
    {u'\u212b', u'\u00e5'}, // angstrom sign
};

char16_t SpecialFold(char16_t unit) {
    for (const auto& [letter, fold] : kSpecialFolds) {
        if (unit == letter) {
            return fold;
        }
    }
    return unit;
}

// Simple (one-to-one) case folding as the Linux build does it with ICU: the letters above by the table, the
// rest upper-cased then lower-cased. "\u00df" stays itself, as it has no one-letter fold, and so does
// "\u0130" (its only fold grows it to "i" + combining dot).
std::u16string Fold(std::u16string_view text) {
    std::u16string special(text);
    for (char16_t& unit : special) {
        if (unit >= 0xB5) {
            unit = SpecialFold(unit);
        }
    }
    std::u16string folded = Map(Map(special, LCMAP_UPPERCASE), LCMAP_LOWERCASE);
    if (folded.size() == text.size()) {
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == u'\u0130') {
                folded[i] = u'\u0130';
            }
        }
    }
    return folded;
}

// UTF-16 units reordered so that comparing them gives code point order: surrogates (supplementary
// characters) after U+E000..U+FFFF.
char16_t CodePointOrder(char16_t c) {
    if (c >= 0xD800) {
        return static_cast<char16_t>(c >= 0xE000 ? c - 0x800 : c + 0x2000);
    }
    return c;
}

} // namespace

std::u16string LowerCase(std::u16string_view text) {
    // The three letter-like symbols whose lower case is an ordinary letter: Wine's casing tables leave them
    // alone, Windows' and ICU's do not.
    std::u16string symbols(text);
    for (char16_t& unit : symbols) {
        if (unit == u'\u2126' || unit == u'\u212a' || unit == u'\u212b') {
            unit = SpecialFold(unit);
        }
    }
    return Map(symbols, LCMAP_LOWERCASE);
}

std::u16string FoldCase(std::u16string_view text) {
    return Fold(text);
}

int CompareFolded(std::u16string_view a, std::u16string_view b) {
    const std::u16string foldedA = Fold(a);
    const std::u16string foldedB = Fold(b);
    const auto [atA, atB] = std::mismatch(foldedA.begin(), foldedA.end(), foldedB.begin(), foldedB.end());
    if (atA == foldedA.end() || atB == foldedB.end()) {
        return foldedA.size() == foldedB.size() ? 0 : (foldedA.size() < foldedB.size() ? -1 : 1);
    }
    return CodePointOrder(*atA) < CodePointOrder(*atB) ? -1 : 1;
}

bool Library(std::u16string&, std::u16string&) {
    return false;
}

} // namespace platform::system_locale
