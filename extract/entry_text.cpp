#include "extract/entry_text.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "base/ustring.h"
#include "base/utf8.h"
#include "platform/locale.h"

namespace {

// The control characters that text holds: tab, line feed, form feed and carriage return.
bool IsControlInText(char16_t unit) {
    return (unit < 0x20 && unit != u'\t' && unit != u'\n' && unit != u'\f' && unit != u'\r') || unit == 0x7F;
}

bool StartsWith(std::span<const uint8_t> bytes, std::string_view prefix) {
    return bytes.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), bytes.begin(),
                      [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

// UTF-16 units of two bytes each, in the byte order given; whole units, surrogates in pairs and no control
// characters, or not text.
bool DecodeUtf16(std::span<const uint8_t> bytes, bool littleEndian, std::u16string& text) {
    if (bytes.size() % 2 != 0) {
        return false;
    }
    std::u16string decoded(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < decoded.size(); ++i) {
        const uint8_t first = bytes[2 * i];
        const uint8_t second = bytes[2 * i + 1];
        decoded[i] = littleEndian ? char16_t(first | second << 8) : char16_t(second | first << 8);
    }
    for (size_t i = 0; i < decoded.size(); ++i) {
        const char16_t unit = decoded[i];
        if (IsControlInText(unit) || (unit >= 0xDC00 && unit <= 0xDFFF)) {
            return false;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 == decoded.size() || decoded[i + 1] < 0xDC00 || decoded[i + 1] > 0xDFFF) {
                return false;
            }
            ++i; // the low half of the pair
        }
    }
    text = std::move(decoded);
    return true;
}

} // namespace

bool DecodeAsText(std::span<const uint8_t> bytes, std::u16string& text) {
    // A byte order mark says how the text is stored; it is no part of it.
    if (StartsWith(bytes, "\xFF\xFE") || StartsWith(bytes, "\xFE\xFF")) {
        return DecodeUtf16(bytes.subspan(2), bytes[0] == 0xFF, text);
    }
    for (const uint8_t b : bytes) {
        if (IsControlInText(b)) {
            return false;
        }
    }
    const std::string_view chars(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
    if (chars.starts_with(kUtf8ByteOrderMark)) {
        // Said to be UTF-8: a byte that is not shows as U+FFFD.
        text = DecodeUtf8(chars.substr(kUtf8ByteOrderMark.size()), kUtf8Text);
        return true;
    }
    if (IsValidUtf8(chars)) {
        text = DecodeUtf8(chars, kUtf8Text);
        return true;
    }
    // Bytes that Windows-1252 leaves undefined are no text in it either.
    for (const uint8_t b : bytes) {
        if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
            return false;
        }
    }
    text = platform::AnsiToUnicode(chars);
    return true;
}

std::u16string HexView(std::span<const uint8_t> bytes) {
    const size_t shown = std::min(bytes.size(), kHexViewBytes);
    constexpr size_t kRowUnits = 8 + 2 + 16 * 3 + 1 + 1 + 16 + 1;
    std::u16string out;
    out.reserve((shown / 16 + 1) * kRowUnits + 64);
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    for (size_t row = 0; row < shown; row += 16) {
        for (int shift = 28; shift >= 0; shift -= 4) {
            out += kDigits[(row >> shift) & 15];
        }
        out += u"  ";
        for (size_t k = 0; k < 16; ++k) {
            if (row + k < shown) {
                out += kDigits[bytes[row + k] >> 4];
                out += kDigits[bytes[row + k] & 15];
                out += u' ';
            } else {
                out += u"   ";
            }
            if (k == 7) {
                out += u' ';
            }
        }
        out += u' ';
        for (size_t k = 0; k < 16 && row + k < shown; ++k) {
            const uint8_t b = bytes[row + k];
            out += b >= 0x20 && b < 0x7F ? char16_t(b) : u'.';
        }
        out += u'\n';
    }
    if (bytes.size() > shown) {
        out += u"\u2026 the first " + UIntToStr(shown) + u" of " + UIntToStr(bytes.size()) + u" bytes\n";
    }
    return out;
}
