#include "platform/native_path.h"

#include <cstdint>

namespace platform {
namespace {

bool IsLeadSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsTrailSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendCodePoint(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The code point of the sequence at the start of text and its length; 0 when it does not start with UTF-8
// in the wide sense used here: a surrogate code point may stand alone in three bytes.
size_t DecodeSequence(std::string_view text, char32_t& cp) {
    const auto lead = static_cast<uint8_t>(text[0]);
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    const size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    if (length == 0 || length > text.size()) {
        return 0;
    }
    cp = lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<uint8_t>(text[k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    // Overlong forms and code points above U+10FFFF are refused.
    if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
        return 0;
    }
    return length;
}

} // namespace

// Windows names files in UTF-16, and any sequence of units is a valid name, unpaired surrogates included. The
// bytes are UTF-8 in which an unpaired surrogate is written as its own three-byte sequence, as UTF-8 would if
// it allowed them: every UTF-16 path comes back from them unchanged. (Bytes that no Windows path gives, such
// as Latin-1 text, read as U+FFFD.)
std::u16string PathFromNative(std::string_view native) {
    std::u16string path;
    path.reserve(native.size());
    size_t i = 0;
    while (i < native.size()) {
        char32_t cp = 0;
        const size_t length = DecodeSequence(native.substr(i), cp);
        if (length == 0) {
            path += u'\uFFFD';
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            path += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            path += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            path += static_cast<char16_t>(cp);
        }
        i += length;
    }
    return path;
}

std::string NativePath(std::u16string_view path) {
    std::string native;
    native.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        const char16_t unit = path[i];
        if (IsLeadSurrogate(unit) && i + 1 < path.size() && IsTrailSurrogate(path[i + 1])) {
            AppendCodePoint(native, 0x10000 + ((unit - 0xD800) << 10) + (path[i + 1] - 0xDC00));
            ++i;
        } else {
            AppendCodePoint(native, unit);
        }
    }
    return native;
}

} // namespace platform
