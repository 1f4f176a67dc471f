#include "extract/entry_text.h"

#include <algorithm>
#include <string_view>

#include "base/ustring.h"
#include "base/utf8.h"
#include "platform/locale.h"

bool DecodeAsText(std::span<const uint8_t> bytes, std::u16string& text) {
    for (const uint8_t b : bytes) {
        if ((b < 0x20 && b != '\t' && b != '\n' && b != '\f' && b != '\r') || b == 0x7F) {
            return false;
        }
    }
    const std::string_view chars(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (IsValidUtf8(chars)) {
        // A byte order mark says how the text is stored; it is no part of it.
        constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
        text = DecodeUtf8(chars.starts_with(kByteOrderMark) ? chars.substr(kByteOrderMark.size()) : chars,
                          kUtf8Text);
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
