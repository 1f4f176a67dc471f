#pragma once
// Text for a terminal or a line-oriented reader: names in an archive or on the command line may hold control
// characters, which printed as they are would break a listing into forged lines or drive the terminal.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Whether text holds a unit that AppendTerminalText escapes.
bool NeedsTerminalEscape(std::u16string_view text);

// Appends text as UTF-8 with every control character escaped: "\t", "\n" and "\r" by letter, the other C0
// controls and DEL as three octal digits ("\033"), the C1 controls as "\u0080" to "\u009f", and a byte of a
// path that was not UTF-8 as "\xf5" (see platform/native_path.h). "\" itself, the separator of entry strings,
// stays as it is.
void AppendTerminalText(std::string& out, std::u16string_view text);

// The same as a new string.
std::string TerminalText(std::u16string_view text);

// Names as an archive stores them (Windows-1252 bytes) straight to the text AppendTerminalText gives for
// them, without converting them to UTF-16 first: each byte stands for one character, so its form is looked up
// in a table built once from AppendTerminalText itself.
class TAnsiTerminalText {
public:
    TAnsiTerminalText();
    // The longest form of one byte ("\u0081").
    static constexpr size_t kMaxBytesPerByte = 6;
    // Writes the form of bytes at `to`, which must have room for kMaxBytesPerByte bytes per byte. Returns how
    // many it wrote.
    size_t Write(std::string_view bytes, char* to) const;

private:
    std::array<std::array<char, kMaxBytesPerByte>, 256> forms_{};
    std::array<uint8_t, 256> lengths_{};
};
