#include "platform/directories.h"

#include <cerrno>
#include <climits>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "base/ustring.h"
#include "platform/file.h"

namespace platform {

bool DirectoryExists(const std::u16string& path) {
    struct stat info {};
    return !path.empty() && stat(NativePath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ForceDirectories(const std::u16string& path) {
    std::string native = NativePath(path);
    while (native.size() > 1 && native.back() == '/') {
        native.pop_back();
    }
    if (native.empty()) {
        return false;
    }
    // Create each prefix in turn; existing folders are fine, anything else stops the walk.
    for (size_t slash = native.find('/', 1);; slash = native.find('/', slash + 1)) {
        const std::string prefix = native.substr(0, slash);
        if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    return DirectoryExists(path);
}

std::u16string ExecutablePath() {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) {
        return {};
    }
    return FromUtf8(std::string_view(buffer.data(), static_cast<size_t>(n)));
}

std::u16string CurrentDirectory() {
    std::vector<char> buffer(PATH_MAX + 1);
    if (getcwd(buffer.data(), buffer.size()) == nullptr) {
        return {};
    }
    return FromUtf8(buffer.data());
}

} // namespace platform
