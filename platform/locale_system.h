#pragma once
// The system's half of the locale services, behind the ASCII fast paths of locale.cpp: ICU on Linux
// (locale_icu.cpp), the Win32 locale API on Windows (locale_win32.cpp). Both give the same answers for
// the names archives hold.
#include <string>
#include <string_view>

namespace platform::system_locale {

// Lower-cases every letter, independent of the user's language.
std::u16string LowerCase(std::u16string_view text);

// Compares the case-folded texts in code point order: negative, zero or positive. "ß" folds to "ss" and
// the Kelvin sign to "k", so each equals its folded form.
int CompareFolded(std::u16string_view a, std::u16string_view b);

} // namespace platform::system_locale
