#include "base/utf8.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// The bytes of text from `from` on that are ASCII, counted eight at a time while they can be.
size_t AsciiRun(std::string_view text, size_t from) {
    size_t i = from;
    while (i + 8 <= text.size()) {
        uint64_t eight = 0;
        std::memcpy(&eight, text.data() + i, sizeof eight);
        if ((eight & 0x8080808080808080ull) != 0) {
            break;
        }
        i += 8;
    }
    while (i < text.size() && static_cast<uint8_t>(text[i]) < 0x80) {
        ++i;
    }
    return i - from;
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

Utf8Sequence DecodeUtf8Sequence(std::string_view text, Utf8Surrogates surrogates) {
    if (text.empty()) {
        return {};
    }
    const auto lead = static_cast<uint8_t>(text[0]);
    if (lead < 0x80) {
        return {lead, 1};
    }
    // The lead byte gives the length; the range of the second byte rules out overlong forms (E0, F0),
    // surrogates (ED) and code points past U+10FFFF (F4). Leads C0 and C1 only begin overlong forms, F5 and
    // above only code points past U+10FFFF.
    size_t length = 0;
    uint8_t secondLeast = 0x80;
    uint8_t secondMost = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) {
            secondLeast = 0xA0;
        } else if (lead == 0xED && surrogates == Utf8Surrogates::Refused) {
            secondMost = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) {
            secondLeast = 0x90;
        } else if (lead == 0xF4) {
            secondMost = 0x8F;
        }
    } else {
        return {};
    }
    if (text.size() < length) {
        return {};
    }
    const auto second = static_cast<uint8_t>(text[1]);
    if (second < secondLeast || second > secondMost) {
        return {};
    }
    char32_t cp = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<uint8_t>(text[k]);
        if ((next & 0xC0) != 0x80) {
            return {};
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    return {cp, length};
}

std::u16string DecodeUtf8(std::string_view text, Utf8Rules rules) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        // ASCII, the common case, goes as it is.
        const size_t ascii = AsciiRun(text, i);
        out.append(text.begin() + static_cast<std::ptrdiff_t>(i),
                   text.begin() + static_cast<std::ptrdiff_t>(i + ascii));
        i += ascii;
        if (i == text.size()) {
            break;
        }
        const Utf8Sequence sequence = DecodeUtf8Sequence(text.substr(i), rules.surrogates);
        if (sequence.length == 0) {
            const auto stray = static_cast<uint8_t>(text[i]);
            out += rules.strayBytes == Utf8StrayBytes::Replaced ? kReplacement
                                                                : static_cast<char16_t>(0xDC00 + stray);
            ++i;
            continue;
        }
        AppendUtf16(out, sequence.codePoint);
        i += sequence.length;
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        i += AsciiRun(text, i);
        if (i == text.size()) {
            break;
        }
        const size_t length = DecodeUtf8Sequence(text.substr(i), Utf8Surrogates::Refused).length;
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}
