#pragma once
// Text inside the program is UTF-16, as on the desktop it was written for; these helpers cross to UTF-8
// where the operating system or a terminal wants it.
#include <string>
#include <string_view>

using UnicodeString = std::u16string;

// UTF-16 to UTF-8. Unpaired surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view text);
// The same, appended to out.
void AppendUtf8(std::string& out, std::u16string_view text);
// The same, written to `to`, which must have room for kMaxUtf8BytesPerUnit bytes per unit of text. Returns
// the bytes written.
inline constexpr size_t kMaxUtf8BytesPerUnit = 3;
size_t EncodeUtf8(std::u16string_view text, char* to);

// UTF-8 to UTF-16. Invalid sequences become U+FFFD.
std::u16string FromUtf8(std::string_view text);

// The text without leading and trailing spaces and control characters (code 32 or less).
std::u16string_view Trim(std::u16string_view text);

// Decimal text of an unsigned or signed number, for messages.
std::u16string IntToStr(long long value);
std::u16string UIntToStr(unsigned long long value);
