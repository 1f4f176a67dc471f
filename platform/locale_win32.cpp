#include <windows.h>

#include <algorithm>

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

// Simple (one-to-one) case folding as the Linux build does it with ICU: upper-casing then lower-casing joins
// the letters that have several forms (final sigma, the Kelvin sign, the long s). "\u00df" stays itself, as
// it has no one-letter fold, and so does "\u0130" (its only fold grows it to "i" + combining dot).
std::u16string Fold(std::u16string_view text) {
    std::u16string folded = Map(Map(text, LCMAP_UPPERCASE), LCMAP_LOWERCASE);
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
    return Map(text, LCMAP_LOWERCASE);
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

} // namespace platform::system_locale
