#include "platform/native_path.h"

#include <cstdint>

#include "base/utf8.h"

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

} // namespace

// Windows names files in UTF-16, and any sequence of units is a valid name, unpaired surrogates included. The
// bytes are UTF-8 in which an unpaired surrogate is written as its own three-byte sequence, as UTF-8 would if
// it allowed them: every UTF-16 path comes back from them unchanged. (Bytes that no Windows path gives, such
// as Latin-1 text, read as U+FFFD.)
std::u16string PathFromNative(std::string_view native) {
    return DecodeUtf8(native, kUtf8WindowsPath);
}

std::string NativePath(std::u16string_view path) {
    std::string native;
    AppendNativePath(native, path);
    return native;
}

void AppendNativePath(std::string& native, std::u16string_view path) {
    native.reserve(native.size() + path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        const char16_t unit = path[i];
        if (IsLeadSurrogate(unit) && i + 1 < path.size() && IsTrailSurrogate(path[i + 1])) {
            AppendCodePoint(native, 0x10000 + ((unit - 0xD800) << 10) + (path[i + 1] - 0xDC00));
            ++i;
        } else {
            AppendCodePoint(native, unit);
        }
    }
}

std::u16string PathFromFileUrl(std::string_view decodedUrlPath) {
    std::u16string path = PathFromNative(decodedUrlPath);
    // "/C:/a" is the drive path "C:/a".
    const auto isLetter = [](char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); };
    if (path.size() >= 3 && path[0] == u'/' && isLetter(path[1]) && path[2] == u':') {
        path.erase(0, 1);
    }
    for (char16_t& unit : path) {
        if (unit == u'/') {
            unit = u'\\';
        }
    }
    return path;
}

} // namespace platform
