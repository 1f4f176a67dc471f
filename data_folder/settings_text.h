#pragma once
// The game's own text files (its INI files, plugins.txt) taken apart into lines of text. Users and mod
// managers write them in Windows-1252 or UTF-8, with or without a byte order mark, with any line ends and
// spaces around names; every reader of them goes through here.
#include <string>
#include <string_view>
#include <vector>

// The lines of bytes (ends: "\n", "\r\n" or "\r"), after a UTF-8 byte order mark at the start if any.
std::vector<std::string_view> SettingsLines(std::string_view bytes);

// A line's text: decoded as UTF-8 when it is valid UTF-8 throughout, otherwise as Windows-1252; spaces and
// tabs around it removed.
std::u16string SettingsText(std::string_view line);

// text without spaces and tabs at either end.
std::u16string_view TrimSettingsText(std::u16string_view text);
