#include "cli/terminal_text.h"

#include <cstring>

#include "base/ustring.h"
#include "platform/locale.h"
#include "platform/native_path.h"

namespace {

bool IsEscaped(char16_t unit) {
    return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F) || platform::IsRawByteUnit(unit);
}

void AppendEscape(std::string& out, char16_t unit) {
    static constexpr char kHex[] = "0123456789abcdef";
    switch (unit) {
    case u'\t':
        out += "\\t";
        return;
    case u'\n':
        out += "\\n";
        return;
    case u'\r':
        out += "\\r";
        return;
    default:
        break;
    }
    if (platform::IsRawByteUnit(unit)) {
        const unsigned byte = platform::ByteOfRawUnit(unit);
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    } else if (unit < 0x80) {
        out += '\\';
        out += static_cast<char>('0' + ((unit >> 6) & 7));
        out += static_cast<char>('0' + ((unit >> 3) & 7));
        out += static_cast<char>('0' + (unit & 7));
    } else {
        out += "\\u00";
        out += kHex[unit >> 4];
        out += kHex[unit & 0xF];
    }
}

} // namespace

bool NeedsTerminalEscape(std::u16string_view text) {
    for (char16_t unit : text) {
        if (IsEscaped(unit)) {
            return true;
        }
    }
    return false;
}

void AppendTerminalText(std::string& out, std::u16string_view text) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        // A low surrogate that completes a pair is part of a character, not a raw byte.
        const bool pairedLow = i > 0 && text[i - 1] >= 0xD800 && text[i - 1] <= 0xDBFF;
        if (IsEscaped(text[i]) && !pairedLow) {
            AppendUtf8(out, text.substr(start, i - start));
            AppendEscape(out, text[i]);
            start = i + 1;
        }
    }
    AppendUtf8(out, text.substr(start));
}

std::string TerminalText(std::u16string_view text) {
    std::string out;
    AppendTerminalText(out, text);
    return out;
}

TAnsiTerminalText::TAnsiTerminalText() {
    for (int byte = 0; byte < 256; ++byte) {
        const char16_t character = platform::AnsiCharToUnicode(static_cast<unsigned char>(byte));
        const std::string form = TerminalText(std::u16string_view(&character, 1));
        std::memcpy(forms_[byte].data(), form.data(), form.size()); // at most kMaxBytesPerByte
        lengths_[byte] = static_cast<uint8_t>(form.size());
    }
}

size_t TAnsiTerminalText::Write(std::string_view bytes, char* to) const {
    char* const start = to;
    for (const char c : bytes) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte >= 0x20 && byte < 0x7F) { // printable ASCII, itself
            *to++ = c;
            continue;
        }
        std::memcpy(to, forms_[byte].data(), lengths_[byte]);
        to += lengths_[byte];
    }
    return static_cast<size_t>(to - start);
}
