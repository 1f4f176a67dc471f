#pragma once
// Locale services: the ANSI code page of archive names, lower-casing and case-insensitive comparison.
// ASCII text takes a fast path; everything else goes through ICU with the root locale, so the results do not
// depend on the user's language (no Turkish dotless i) and ASCII letters always map to ASCII letters.
#include <string>
#include <string_view>

namespace platform {

// 8-bit text in the ANSI code page (Windows-1252 on every platform here) to UTF-16.
std::u16string AnsiToUnicode(std::string_view bytes);
// The same for one byte.
char16_t AnsiCharToUnicode(unsigned char byte);
// The ANSI bytes of text, when every unit of it is a character of the code page (AnsiToUnicode gives text
// back from them); otherwise false.
bool UnicodeToAnsi(std::u16string_view text, std::string& bytes);

// Lower-cases every letter (full Unicode lower-casing, root locale).
std::u16string LowerCase(std::u16string_view text);

// Case-insensitive comparison by simple (one-to-one) Unicode case folding, in code point order: negative,
// zero or positive. Names that differ only in the case of letters compare equal; a letter that folds to
// several
// ("\u00df" to "ss") stays itself, so "stra\u00dfe" and "strasse" differ.
int CompareTextIgnoreCase(std::u16string_view a, std::u16string_view b);

// The text with every code point replaced by its simple case fold: the form in which CompareTextIgnoreCase
// compares. Two texts compare equal there exactly when their folds are identical, and folds compared unit by
// unit in code point order (CompareCodePointOrder) order the texts as CompareTextIgnoreCase does.
std::u16string FoldCase(std::u16string_view text);
// Compares UTF-16 texts in code point order (supplementary characters after U+E000..U+FFFF): negative, zero
// or positive.
int CompareCodePointOrder(std::u16string_view a, std::u16string_view b);

// The library behind the services above: its name and its version as it reports it at run time ("ICU",
// "72.1"). False where the system's own API serves them (Windows).
bool LocaleLibrary(std::u16string& name, std::u16string& version);

} // namespace platform
