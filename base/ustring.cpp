#include "base/ustring.h"

#include <cstdint>
#include <cstring>

#include "base/utf8.h"

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
    return DecodeUtf8(text, kUtf8Text);
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
