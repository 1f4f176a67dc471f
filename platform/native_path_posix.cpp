#include "platform/native_path.h"

#include "base/ustring.h"
#include "base/utf8.h"

namespace platform {

std::u16string PathFromNative(std::string_view native) {
    return DecodeUtf8(native, kUtf8LinuxPath);
}

std::string NativePath(std::u16string_view path) {
    std::string native;
    AppendNativePath(native, path);
    return native;
}

void AppendNativePath(std::string& native, std::u16string_view path) {
    native.reserve(native.size() + path.size());
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
}

std::u16string PathFromFileUrl(std::string_view decodedUrlPath) {
    return PathFromNative(decodedUrlPath);
}

} // namespace platform
