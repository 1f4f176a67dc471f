#include "platform/file.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/ustring.h"

namespace platform {
namespace {

// Descriptor 0 is free when the process runs without standard input; keep it for "no handle given".
FileHandle AvoidZero(int fd) {
    if (fd != 0) {
        return fd;
    }
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
    const int savedErrno = errno;
    close(fd);
    errno = savedErrno;
    return moved < 0 ? kInvalidFileHandle : moved;
}

int Fd(FileHandle file) {
    return static_cast<int>(file);
}

// Read only by FileReadAt; null outside tests.
std::atomic<ReadFault> gReadFault{nullptr};

} // namespace

FileHandle FileOpenRead(const std::u16string& path) {
    const int fd = open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return kInvalidFileHandle;
    }
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        errno = EISDIR;
        return kInvalidFileHandle;
    }
    return AvoidZero(fd);
}

RegularFileOpen FileOpenReadRegular(const std::u16string& path, FileHandle& file) {
    const std::string native = NativePath(path);
    // Without O_NONBLOCK, opening a FIFO would wait for a writer.
    const int fd = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0) {
        // A socket, or a device without its driver, cannot be opened at all: it is still no regular file.
        const int reason = errno;
        if (stat(native.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
            return RegularFileOpen::NotRegular;
        }
        errno = reason;
        return RegularFileOpen::Failed;
    }
    if (fstat(fd, &info) != 0) {
        const int reason = errno;
        close(fd);
        errno = reason;
        return RegularFileOpen::Failed;
    }
    if (!S_ISREG(info.st_mode)) {
        close(fd);
        return RegularFileOpen::NotRegular;
    }
    file = AvoidZero(fd);
    return file == kInvalidFileHandle ? RegularFileOpen::Failed : RegularFileOpen::Opened;
}

FileHandle FileCreate(const std::u16string& path) {
    const int fd = open(NativePath(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd < 0 ? kInvalidFileHandle : AvoidZero(fd);
}

bool FileSeekTo(FileHandle file, int64_t position, int64_t* newPosition) {
    const off_t result = lseek(Fd(file), static_cast<off_t>(position), SEEK_SET);
    if (result < 0) {
        return false;
    }
    if (newPosition != nullptr) {
        *newPosition = result;
    }
    return true;
}

void SetReadFaultForTesting(ReadFault fault) {
    gReadFault.store(fault);
}

int32_t FileReadAt(FileHandle file, void* buffer, int32_t count, int64_t position) {
    if (const ReadFault fault = gReadFault.load(std::memory_order_relaxed); fault != nullptr) {
        if (const uint32_t code = fault(file, position, count); code != 0) {
            errno = static_cast<int>(code);
            return -1;
        }
    }
    // A regular file may still deliver less than asked (signals, very large counts): keep reading until the
    // count is met or the end of the file is reached, as one synchronous read on the desktop does.
    int32_t total = 0;
    while (total < count) {
        const ssize_t n = pread(Fd(file), static_cast<char*>(buffer) + total,
                                static_cast<size_t>(count - total), static_cast<off_t>(position + total));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (n == 0) {
            break;
        }
        total += static_cast<int32_t>(n);
    }
    errno = 0;
    return total;
}

int32_t FileWriteAt(FileHandle file, const void* buffer, int32_t count, int64_t position) {
    int32_t total = 0;
    while (total < count) {
        const ssize_t n = pwrite(Fd(file), static_cast<const char*>(buffer) + total,
                                 static_cast<size_t>(count - total), static_cast<off_t>(position + total));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return total > 0 ? total : -1;
        }
        total += static_cast<int32_t>(n);
    }
    errno = 0;
    return total;
}

bool FileGetSize(FileHandle file, int64_t* size) {
    struct stat info {};
    if (fstat(Fd(file), &info) != 0) {
        return false;
    }
    *size = info.st_size;
    return true;
}

bool FileSetEnd(FileHandle file, int64_t size) {
    return ftruncate(Fd(file), static_cast<off_t>(size)) == 0;
}

void FileClose(FileHandle file) {
    close(Fd(file));
}

bool FileCloseChecked(FileHandle file) {
    // The descriptor is gone after close() whatever it returns, even on EINTR: never close it twice. An
    // EINTR leaves unknown whether the data reached the file, so it counts as a failure too.
    return close(Fd(file)) == 0;
}

FileHandle FileDuplicate(FileHandle file) {
    const int fd = fcntl(Fd(file), F_DUPFD_CLOEXEC, 1);
    return fd < 0 ? kInvalidFileHandle : fd;
}

void SetStandardOutputBinary() {}

size_t OpenFileLimit() {
    struct rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return SIZE_MAX;
    }
    return static_cast<size_t>(limit.rlim_cur);
}

uint32_t LastErrorCode() {
    return static_cast<uint32_t>(errno);
}

std::u16string SystemErrorText(uint32_t code) {
    std::u16string text = FromUtf8(std::strerror(static_cast<int>(code)));
    while (!text.empty() && (text.back() <= u' ' || text.back() == u'.')) {
        text.pop_back();
    }
    return text;
}

} // namespace platform
