#include "platform/native_path.h"

#include <cstdint>

#include "base/ustring.h"

namespace platform {
namespace {

// The length of the valid UTF-8 sequence at the start of text, or 0 when it does not start with one.
size_t ValidSequenceLength(std::string_view text) {
    const auto lead = static_cast<uint8_t>(text[0]);
    if (lead < 0x80) {
        return 1;
    }
    const size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    if (length == 0 || length > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        if ((static_cast<uint8_t>(text[k]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    // The second byte's range rules out overlong forms, surrogates and code points above U+10FFFF.
    const auto second = static_cast<uint8_t>(text[1]);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
        return 0;
    }
    return length;
}

} // namespace

std::u16string PathFromNative(std::string_view native) {
    std::u16string path;
    path.reserve(native.size());
    size_t i = 0;
    while (i < native.size()) {
        const size_t length = ValidSequenceLength(native.substr(i));
        if (length == 0) {
            path += static_cast<char16_t>(0xDC00 + static_cast<uint8_t>(native[i]));
            ++i;
            continue;
        }
        path += FromUtf8(native.substr(i, length));
        i += length;
    }
    return path;
}

std::string NativePath(std::u16string_view path) {
    std::string native;
    native.reserve(path.size());
    size_t start = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        const bool pairedLow = i > 0 && path[i - 1] >= 0xD800 && path[i - 1] <= 0xDBFF;
        if (IsRawByteUnit(path[i]) && !pairedLow) {
            AppendUtf8(native, path.substr(start, i - start));
            native += static_cast<char>(ByteOfRawUnit(path[i]));
            start = i + 1;
        }
    }
    AppendUtf8(native, path.substr(start));
    return native;
}

} // namespace platform
