#pragma once
// Paths as the Win32 wide-character calls take them.
#include <string>

namespace platform {

// The path with "\" separators, made absolute and given the "\\?\" prefix, so that paths longer than
// MAX_PATH (260 characters) work everywhere. Device paths ("\\.\...") and prefixed paths stay as they are.
std::wstring Win32Path(const std::u16string& path);

// Between the program's UTF-16 strings and the wide strings of the Win32 calls (both UTF-16 there).
inline std::wstring ToWide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}
inline std::u16string FromWide(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

} // namespace platform
