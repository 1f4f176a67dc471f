#pragma once
// The system's half of the locale services, behind the ASCII fast paths of locale.cpp: ICU on Linux
// (locale_icu.cpp), the Win32 locale API on Windows (locale_win32.cpp). Both give the same answers for
// the names archives hold.
#include <string>
#include <string_view>

namespace platform::system_locale {

// Lower-cases every letter, independent of the user's language.
std::u16string LowerCase(std::u16string_view text);

// Compares the texts by simple (one-to-one) case folding in code point order: negative, zero or positive.
// The Kelvin sign equals "k"; "ß" and "ss" stay different names.
int CompareFolded(std::u16string_view a, std::u16string_view b);

// Every code point replaced by its simple (one-to-one) case fold, as CompareFolded folds them.
std::u16string FoldCase(std::u16string_view text);

// The library behind these services and its version as it reports it at run time; false where the system's
// own API serves.
bool Library(std::u16string& name, std::u16string& version);

} // namespace platform::system_locale
