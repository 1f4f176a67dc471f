#include "platform/file.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <io.h>

#include "base/ustring.h"
#include "platform/win32_path.h"

namespace platform {
namespace {

HANDLE Handle(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

FileHandle Opened(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? kInvalidFileHandle : reinterpret_cast<FileHandle>(handle);
}

OVERLAPPED At(int64_t position) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(position));
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(position) >> 32);
    return at;
}

// Read only by FileReadAt; null outside tests.
std::atomic<ReadFault> gReadFault{nullptr};

} // namespace

std::wstring Win32Path(const std::u16string& path) {
    std::wstring wide = ToWide(path);
    for (wchar_t& c : wide) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    if (wide.rfind(L"\\\\?\\", 0) == 0 || wide.rfind(L"\\\\.\\", 0) == 0 || wide.empty()) {
        return wide;
    }
    // Relative paths, "." and ".." are resolved here: the prefixed form is taken literally by the system.
    DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return wide;
    }
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        return wide;
    }
    full.resize(length);
    if (full.rfind(L"\\\\.\\", 0) == 0) {
        return full; // a device name such as CON: the system answers for it
    }
    if (full.rfind(L"\\\\", 0) == 0) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

FileHandle FileOpenRead(const std::u16string& path) {
    // Others may read the archive while it is open, but nobody may change it under the reader.
    return Opened(CreateFileW(Win32Path(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

RegularFileOpen FileOpenReadRegular(const std::u16string& path, FileHandle& file) {
    const std::wstring wide = Win32Path(path);
    const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        // A folder is not opened this way ("access denied"): said for what it is.
        const DWORD reason = GetLastError();
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return RegularFileOpen::NotRegular;
        }
        SetLastError(reason);
        return RegularFileOpen::Failed;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return RegularFileOpen::NotRegular;
    }
    file = Opened(handle);
    return RegularFileOpen::Opened;
}

FileHandle FileCreate(const std::u16string& path) {
    return Opened(CreateFileW(Win32Path(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool FileSeekTo(FileHandle file, int64_t position, int64_t* newPosition) {
    LARGE_INTEGER distance{};
    distance.QuadPart = position;
    LARGE_INTEGER result{};
    if (!SetFilePointerEx(Handle(file), distance, &result, FILE_BEGIN)) {
        return false;
    }
    if (newPosition != nullptr) {
        *newPosition = result.QuadPart;
    }
    return true;
}

void SetReadFaultForTesting(ReadFault fault) {
    gReadFault.store(fault);
}

int32_t FileReadAt(FileHandle file, void* buffer, int32_t count, int64_t position) {
    if (const ReadFault fault = gReadFault.load(std::memory_order_relaxed); fault != nullptr) {
        if (const uint32_t code = fault(file, position, count); code != 0) {
            SetLastError(code);
            return -1;
        }
    }
    int32_t total = 0;
    while (total < count) {
        OVERLAPPED at = At(position + total);
        DWORD n = 0;
        if (!ReadFile(Handle(file), static_cast<char*>(buffer) + total, static_cast<DWORD>(count - total), &n,
                      &at)) {
            // A positioned read at or past the end reports the end as an error: it is the end of the data.
            if (GetLastError() == ERROR_HANDLE_EOF) {
                break;
            }
            return -1;
        }
        if (n == 0) {
            break;
        }
        total += static_cast<int32_t>(n);
    }
    SetLastError(0);
    return total;
}

int32_t FileWriteAt(FileHandle file, const void* buffer, int32_t count, int64_t position) {
    int32_t total = 0;
    while (total < count) {
        OVERLAPPED at = At(position + total);
        DWORD n = 0;
        if (!WriteFile(Handle(file), static_cast<const char*>(buffer) + total,
                       static_cast<DWORD>(count - total), &n, &at)) {
            return total > 0 ? total : -1;
        }
        if (n == 0) {
            return total > 0 ? total : -1;
        }
        total += static_cast<int32_t>(n);
    }
    SetLastError(0);
    return total;
}

bool FileGetSize(FileHandle file, int64_t* size) {
    LARGE_INTEGER result{};
    if (!GetFileSizeEx(Handle(file), &result)) {
        return false;
    }
    *size = result.QuadPart;
    return true;
}

bool FileSetEnd(FileHandle file, int64_t size) {
    return FileSeekTo(file, size, nullptr) && SetEndOfFile(Handle(file));
}

void FileClose(FileHandle file) {
    CloseHandle(Handle(file));
}

bool FileCloseChecked(FileHandle file) {
    // What the system has taken is in its cache, as after close() on Linux: a failure to write it to the disk
    // later is the system's to report, and FlushFileBuffers for every file would make extraction crawl.
    return CloseHandle(Handle(file)) != 0;
}

FileHandle FileDuplicate(FileHandle file) {
    HANDLE duplicate = nullptr;
    const HANDLE process = GetCurrentProcess();
    if (!DuplicateHandle(process, Handle(file), process, &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        return kInvalidFileHandle;
    }
    return reinterpret_cast<FileHandle>(duplicate);
}

void SetStandardOutputBinary() {
    _setmode(_fileno(stdout), _O_BINARY);
}

size_t OpenFileLimit() {
    return SIZE_MAX;
}

uint32_t LastErrorCode() {
    return GetLastError();
}

std::u16string SystemErrorText(uint32_t code) {
    wchar_t text[256];
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        code, 0, text, 256, nullptr);
    std::u16string result = length == 0 ? u"System error " + UIntToStr(code) : FromWide({text, length});
    while (!result.empty() && (result.back() <= u' ' || result.back() == u'.')) {
        result.pop_back();
    }
    return result;
}

} // namespace platform
