#include "platform/folder_files.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "base/ustring.h"
#include "platform/native_path.h"

namespace platform {
namespace {

int Fd(std::intptr_t handle) {
    return static_cast<int>(handle);
}

// Opens an existing folder name inside parent without following a link at it.
int OpenChildFolder(int parent, const char* name) {
    int fd = -1;
    do {
        fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// The system's bytes for a name: those a path taken from the command line was given in (native_path.h).
std::string NativeName(const std::u16string& name) {
    return NativePath(name);
}

// The same into buffer, whose memory serves name after name (a file's two names are converted for every
// entry extracted). Valid until buffer changes.
const char* NativeNameIn(std::string& buffer, const std::u16string& name) {
    buffer.clear();
    AppendNativePath(buffer, name);
    return buffer.c_str();
}

NameKind KindOf(mode_t mode) {
    return S_ISREG(mode)   ? NameKind::File
           : S_ISDIR(mode) ? NameKind::Folder
           : S_ISLNK(mode) ? NameKind::Link
                           : NameKind::Special;
}

bool IsLink(int parent, const char* name) {
    struct stat info {};
    return fstatat(parent, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode);
}

} // namespace

FolderHandle FolderOpen(const std::u16string& path) {
    const int fd = open(NativePath(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd < 0 ? kInvalidFolderHandle : fd;
}

ChildFolder FolderOpenChild(FolderHandle parent, const std::u16string& name, FolderHandle& child) {
    const std::string native = NativeName(name);
    int fd = OpenChildFolder(Fd(parent), native.c_str());
    if (fd < 0 && errno == ENOENT) {
        // Made by someone else in the meantime is as good as made here.
        if (mkdirat(Fd(parent), native.c_str(), 0777) != 0 && errno != EEXIST) {
            return ChildFolder::Failed;
        }
        fd = OpenChildFolder(Fd(parent), native.c_str());
    }
    if (fd < 0) {
        // O_NOFOLLOW says ELOOP for a link, O_DIRECTORY ENOTDIR for one to a non-folder: ask what is there.
        const int reason = errno;
        if ((reason == ELOOP || reason == ENOTDIR) && IsLink(Fd(parent), native.c_str())) {
            return ChildFolder::Link;
        }
        errno = reason;
        return ChildFolder::Failed;
    }
    child = fd;
    return ChildFolder::Opened;
}

void FolderClose(FolderHandle folder) {
    close(Fd(folder));
}

FileHandle FileCreateUnique(FolderHandle folder, const std::u16string& prefix, std::u16string& name) {
    // The process id keeps apart two programs extracting into one folder, the counter the threads of one.
    static std::atomic<uint64_t> counter{0};
    static const std::string processId = std::to_string(getpid()) + "-";
    // A run makes many files with one prefix: its bytes are worked out once per thread.
    thread_local std::u16string stemPrefix;
    thread_local std::string stem;
    thread_local std::u16string stemName;
    if (stem.empty() || prefix != stemPrefix) {
        stemPrefix = prefix;
        stem = ToUtf8(prefix) + processId;
        stemName = FromUtf8(stem);
    }
    thread_local std::string candidate;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char digits[24];
        char* const digitsEnd = std::to_chars(digits, digits + sizeof digits, counter++).ptr;
        candidate.assign(stem).append(digits, static_cast<size_t>(digitsEnd - digits));
        const int fd =
            openat(Fd(folder), candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            name.assign(stemName).append(digits, digitsEnd); // digits are ASCII
            // Descriptor 0 means "no handle" to the streams (it is free when the process runs without
            // standard input).
            if (fd == 0) {
                const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
                close(fd);
                if (moved < 0) {
                    unlinkat(Fd(folder), candidate.c_str(), 0);
                    return kInvalidFileHandle;
                }
                return moved;
            }
            return fd;
        }
        if (errno != EEXIST && errno != EINTR) {
            return kInvalidFileHandle;
        }
    }
    return kInvalidFileHandle;
}

bool FileReplace(FolderHandle folder, const std::u16string& from, const std::u16string& to) {
    thread_local std::string fromNative, toNative;
    return renameat(Fd(folder), NativeNameIn(fromNative, from), Fd(folder), NativeNameIn(toNative, to)) == 0;
}

bool FileRemove(FolderHandle folder, const std::u16string& name) {
    return unlinkat(Fd(folder), NativeName(name).c_str(), 0) == 0;
}

bool NameQuery(FolderHandle folder, const std::u16string& name, NameInfo& info) {
    const std::string native = NativeName(name);
    info = NameInfo{};
    struct stat found {};
    if (fstatat(Fd(folder), native.c_str(), &found, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT;
    }
    info.kind = KindOf(found.st_mode);
    if (info.kind == NameKind::File) {
        info.permissions = found.st_mode & 0777;
    }
    struct stat target {};
    if (info.kind == NameKind::Link && fstatat(Fd(folder), native.c_str(), &target, 0) == 0) {
        info.linkTarget = KindOf(target.st_mode);
    }
    return true;
}

bool FileSetPermissions(FileHandle file, uint32_t permissions) {
    return fchmod(Fd(file), static_cast<mode_t>(permissions & 0777)) == 0;
}

bool SplitFilePath(const std::u16string& path, std::u16string& folder, std::u16string& name) {
    const size_t slash = path.rfind(u'/');
    std::u16string last = slash == std::u16string::npos ? path : path.substr(slash + 1);
    if (last.empty() || last == u"." || last == u"..") {
        return false;
    }
    folder = slash == std::u16string::npos ? u"." : slash == 0 ? u"/" : path.substr(0, slash);
    name = std::move(last);
    return true;
}

void ToFileNameKey(std::u16string&) {}

bool FileSystemsMakeShortNames() {
    return false;
}

} // namespace platform
