#include "platform/directories.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

#include "platform/native_path.h"

namespace platform {
namespace {

// Read only by FreeDiskSpace; null outside tests.
std::atomic<FreeDiskSpaceFake> gFreeDiskSpaceFake{nullptr};

} // namespace

bool FreeDiskSpace(const std::u16string& path, uint64_t& freeBytes) {
    if (const FreeDiskSpaceFake fake = gFreeDiskSpaceFake.load(); fake != nullptr) {
        freeBytes = fake(path);
        return true;
    }
    std::string folder = NativePath(path);
    struct statvfs info {};
    while (statvfs(folder.empty() ? "." : folder.c_str(), &info) != 0) {
        // Not made yet: the folder it will be made in tells.
        const size_t slash = folder.find_last_of('/');
        if (errno != ENOENT || folder.empty() || folder == "/") {
            return false;
        }
        folder.resize(slash == std::string::npos ? 0 : std::max<size_t>(slash, 1));
    }
    freeBytes = uint64_t{info.f_bavail} * info.f_frsize;
    return true;
}

void SetFreeDiskSpaceForTesting(FreeDiskSpaceFake fake) {
    gFreeDiskSpaceFake.store(fake);
}

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
        errno = ENOENT;
        return false;
    }
    struct stat info {};
    if (stat(native.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        return true;
    }
    // Create each prefix in turn; existing folders are fine, anything else stops the walk with its reason.
    for (size_t slash = native.find('/', 1);; slash = native.find('/', slash + 1)) {
        const std::string prefix = native.substr(0, slash);
        if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    // The last mkdir may have met a file, or a link to one, of that name.
    if (stat(native.c_str(), &info) != 0) {
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

std::u16string ExecutablePath() {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) {
        return {};
    }
    return PathFromNative(std::string_view(buffer.data(), static_cast<size_t>(n)));
}

std::u16string CurrentDirectory() {
    std::vector<char> buffer(PATH_MAX + 1);
    if (getcwd(buffer.data(), buffer.size()) == nullptr) {
        return {};
    }
    return PathFromNative(buffer.data());
}

std::u16string AbsolutePath(const std::u16string& path) {
    if (!path.empty() && path[0] == u'/') {
        return path;
    }
    std::u16string absolute = CurrentDirectory();
    if (absolute.empty()) {
        return path; // still the same file to the system, only not spelled out
    }
    if (absolute.back() != u'/') {
        absolute += u'/';
    }
    return absolute + path;
}

size_t FileNameStart(std::u16string_view path) {
    const size_t slash = path.find_last_of(u'/');
    return slash == std::u16string_view::npos ? 0 : slash + 1;
}

std::u16string UserSettingsFolder() {
    // Relative paths in these variables are not to be used: they would name another folder from every
    // current folder.
    const auto absolute = [](const char* path) { return path != nullptr && path[0] == '/'; };
    // The folder with one "/" after it.
    const auto asFolder = [](std::string path) {
        while (!path.empty() && path.back() == '/') {
            path.pop_back();
        }
        return path + '/';
    };
    std::string folder;
    if (const char* configHome = std::getenv("XDG_CONFIG_HOME"); absolute(configHome)) {
        folder = asFolder(configHome);
    } else {
        const char* home = std::getenv("HOME");
        if (!absolute(home)) {
            const passwd* user = getpwuid(getuid());
            home = user != nullptr ? user->pw_dir : nullptr;
        }
        if (!absolute(home)) {
            return {};
        }
        folder = asFolder(home) + ".config/";
    }
    return PathFromNative(folder + "parlivex");
}

std::u16string LocalApplicationDataFolder() {
    return {};
}

std::u16string DocumentsFolder() {
    return {};
}

bool ListFolder(const std::u16string& path, std::vector<FolderItem>& items) {
    items.clear();
    const std::string folder = NativePath(path);
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr) {
        return false;
    }
    errno = 0;
    while (const dirent* found = readdir(listing)) {
        const std::string_view name = found->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        FolderItem item;
        item.name = PathFromNative(name);
        struct stat info {};
        const std::string itemPath = folder + "/" + std::string(name);
        if (lstat(itemPath.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
            item.link = true;
            if (stat(itemPath.c_str(), &info) != 0) {
                info.st_mode = 0;
            }
        }
        item.kind = S_ISREG(info.st_mode)   ? FolderItem::Kind::File
                    : S_ISDIR(info.st_mode) ? FolderItem::Kind::Folder
                                            : FolderItem::Kind::Other;
        if (item.kind == FolderItem::Kind::File) {
            item.size = static_cast<uint64_t>(info.st_size);
        }
        items.push_back(std::move(item));
        errno = 0;
    }
    const int error = errno;
    closedir(listing);
    errno = error;
    return error == 0;
}

} // namespace platform
