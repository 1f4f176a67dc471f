#include "base/ustring.h"

#include <cstdint>
#include <cstring>

namespace {
constexpr char32_t kReplacement = 0xFFFD;

char* EncodeCodePoint(char32_t cp, char* to) {
    if (cp < 0x80) {
        *to++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *to++ = static_cast<char>(0xC0 | (cp >> 6));
        *to++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *to++ = static_cast<char>(0xE0 | (cp >> 12));
        *to++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *to++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *to++ = static_cast<char>(0xF0 | (cp >> 18));
        *to++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *to++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *to++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return to;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}
} // namespace

size_t EncodeUtf8(std::u16string_view text, char* to) {
    char* const start = to;
    const size_t n = text.size();
    size_t i = 0;
    // ASCII, the common case of names, four units at a time.
    while (i + 4 <= n) {
        uint64_t units = 0;
        std::memcpy(&units, text.data() + i, sizeof units);
        if ((units & 0xFF80FF80FF80FF80ull) != 0) {
            break;
        }
        // The low byte of each unit, in order.
        const auto bytes = static_cast<uint32_t>((units & 0xFF) | ((units >> 8) & 0xFF00) |
                                                 ((units >> 16) & 0xFF0000) | ((units >> 24) & 0xFF000000));
        std::memcpy(to, &bytes, sizeof bytes);
        to += 4;
        i += 4;
    }
    while (i < n) {
        const char32_t unit = text[i];
        if (unit < 0x80) {
            *to++ = static_cast<char>(unit);
            ++i;
            continue;
        }
        char32_t cp = unit;
        ++i;
        if (unit >= 0xD800 && unit <= 0xDBFF && i < n && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
            cp = 0x10000 + ((unit - 0xD800) << 10) + (text[i] - 0xDC00);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            cp = kReplacement;
        }
        to = EncodeCodePoint(cp, to);
    }
    return static_cast<size_t>(to - start);
}

void AppendUtf8(std::string& out, std::u16string_view text) {
    const size_t start = out.size();
    out.resize(start + kMaxUtf8BytesPerUnit * text.size());
    out.resize(start + EncodeUtf8(text, out.data() + start));
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    AppendUtf8(out, text);
    return out;
}

std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<uint8_t>(text[i]);
        if (lead < 0x80) {
            out += static_cast<char16_t>(lead);
            ++i;
            continue;
        }
        // 0xF5 to 0xFF lead nothing: they would start code points above U+10FFFF.
        const int extra = lead >= 0xF0 && lead <= 0xF4   ? 3
                          : lead >= 0xE0 && lead <= 0xEF ? 2
                          : lead >= 0xC2 && lead <= 0xDF ? 1
                                                         : -1;
        if (extra < 0 || i + extra >= text.size()) {
            out += static_cast<char16_t>(kReplacement);
            ++i;
            continue;
        }
        char32_t cp = lead & (0x3F >> extra);
        bool valid = true;
        for (int k = 1; k <= extra; ++k) {
            const auto cont = static_cast<uint8_t>(text[i + k]);
            if ((cont & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (cont & 0x3F);
        }
        const bool overlong = (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000);
        if (!valid || overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += static_cast<char16_t>(kReplacement);
            ++i;
            continue;
        }
        AppendUtf16(out, cp);
        i += extra + 1;
    }
    return out;
}

std::u16string_view Trim(std::u16string_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && text[first] <= u' ') {
        ++first;
    }
    while (last > first && text[last - 1] <= u' ') {
        --last;
    }
    return text.substr(first, last - first);
}

std::u16string IntToStr(long long value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

std::u16string UIntToStr(unsigned long long value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}
