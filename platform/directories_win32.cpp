#include "platform/directories.h"

#include <windows.h>
// After windows.h, which they need.
#include <knownfolders.h>
#include <shlobj.h>

#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <vector>

#include "platform/win32_path.h"

namespace platform {
namespace {

// Read only by FreeDiskSpace; null outside tests.
std::atomic<FreeDiskSpaceFake> gFreeDiskSpaceFake{nullptr};

bool IsDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Length of the part of a prefixed path that is not a folder of its own: "\\?\C:\" or
// "\\?\UNC\server\share\".
size_t RootLength(const std::wstring& path) {
    const std::wstring unc = L"\\\\?\\UNC\\";
    if (path.rfind(unc, 0) == 0) {
        const size_t server = path.find(L'\\', unc.size());
        const size_t share = server == std::wstring::npos ? server : path.find(L'\\', server + 1);
        return share == std::wstring::npos ? path.size() : share + 1;
    }
    const size_t drive = path.find(L'\\', 4);
    return drive == std::wstring::npos ? path.size() : drive + 1;
}

} // namespace

bool FreeDiskSpace(const std::u16string& path, uint64_t& freeBytes) {
    if (const FreeDiskSpaceFake fake = gFreeDiskSpaceFake.load(); fake != nullptr) {
        freeBytes = fake(path);
        return true;
    }
    // GetDiskFreeSpaceExW takes any existing folder of the volume; one not made yet is asked of its parent.
    std::wstring folder = Win32Path(path);
    while (folder.size() > 1 && folder.back() == L'\\') {
        folder.pop_back();
    }
    ULARGE_INTEGER available{};
    while (!GetDiskFreeSpaceExW((folder + L'\\').c_str(), &available, nullptr, nullptr)) {
        const DWORD reason = GetLastError();
        const size_t separator = folder.find_last_of(L'\\');
        if ((reason != ERROR_FILE_NOT_FOUND && reason != ERROR_PATH_NOT_FOUND) ||
            separator == std::wstring::npos || separator + 1 < RootLength(folder)) {
            SetLastError(reason);
            return false;
        }
        folder.resize(separator);
    }
    freeBytes = available.QuadPart;
    return true;
}

void SetFreeDiskSpaceForTesting(FreeDiskSpaceFake fake) {
    gFreeDiskSpaceFake.store(fake);
}

bool DirectoryExists(const std::u16string& path) {
    return !path.empty() && IsDirectory(Win32Path(path));
}

bool ForceDirectories(const std::u16string& path) {
    if (path.empty()) {
        return false;
    }
    std::wstring full = Win32Path(path);
    while (full.size() > 1 && full.back() == L'\\') {
        full.pop_back();
    }
    // Create each folder below the root in turn; existing folders are fine, anything else stops the walk.
    for (size_t slash = full.find(L'\\', RootLength(full));; slash = full.find(L'\\', slash + 1)) {
        const std::wstring prefix = full.substr(0, slash);
        if (!CreateDirectoryW(prefix.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
        if (slash == std::wstring::npos) {
            break;
        }
    }
    return IsDirectory(full);
}

std::u16string ExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return FromWide({buffer.data(), length});
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::u16string CurrentDirectory() {
    const DWORD needed = GetCurrentDirectoryW(0, nullptr);
    std::vector<wchar_t> buffer(needed + 1);
    const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0 || length >= buffer.size()) {
        return {};
    }
    std::u16string directory = FromWide({buffer.data(), length});
    // "C:\" keeps its separator; every other folder loses it.
    if (directory.size() > 3 && directory.back() == u'\\') {
        directory.pop_back();
    }
    return directory;
}

std::u16string AbsolutePath(const std::u16string& path) {
    const auto separator = [](char16_t c) { return c == u'\\' || c == u'/'; };
    const bool absolute = (path.size() >= 2 && separator(path[0]) && separator(path[1])) ||
                          (path.size() >= 3 && path[1] == u':' && separator(path[2]));
    if (absolute || path.empty()) {
        return path;
    }
    // "x", "\x" and "C:x" name a file relative to the current folder or drive. The system resolves "." and
    // ".." in such paths by their text anyway, so the full path it gives names the same file.
    const std::wstring wide = ToWide(path);
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return path;
    }
    std::vector<wchar_t> buffer(needed);
    const DWORD length = GetFullPathNameW(wide.c_str(), needed, buffer.data(), nullptr);
    if (length == 0 || length >= needed) {
        return path;
    }
    return FromWide({buffer.data(), length});
}

size_t FileNameStart(std::u16string_view path) {
    const size_t delimiter = path.find_last_of(u"\\/:");
    return delimiter == std::u16string_view::npos ? 0 : delimiter + 1;
}

std::u16string UserSettingsFolder() {
    // The user's roaming application data. Read from the C library's copy of the environment, which is the
    // one a change made while the program runs (_putenv) reaches for certain.
    const wchar_t* appData = _wgetenv(L"APPDATA");
    if (appData == nullptr || appData[0] == L'\0') {
        return {};
    }
    std::u16string folder = FromWide(appData);
    for (char16_t& unit : folder) {
        if (unit == u'/') {
            unit = u'\\';
        }
    }
    while (folder.size() > 1 && folder.back() == u'\\') {
        folder.pop_back();
    }
    return folder + u"\\Parlivex";
}

std::u16string LocalApplicationDataFolder() {
    const wchar_t* localAppData = _wgetenv(L"LOCALAPPDATA");
    if (localAppData == nullptr || localAppData[0] == L'\0') {
        return {};
    }
    std::u16string folder = FromWide(localAppData);
    for (char16_t& unit : folder) {
        if (unit == u'/') {
            unit = u'\\';
        }
    }
    while (folder.size() > 1 && folder.back() == u'\\') {
        folder.pop_back();
    }
    return folder;
}

std::u16string DocumentsFolder() {
    PWSTR documents = nullptr;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_Documents, KF_FLAG_DEFAULT, nullptr, &documents);
    std::u16string folder;
    if (SUCCEEDED(result) && documents != nullptr) {
        folder = FromWide(documents);
    }
    CoTaskMemFree(documents); // owed even when the call failed; null is allowed
    while (folder.size() > 1 && folder.back() == u'\\') {
        folder.pop_back();
    }
    return folder;
}

bool ListFolder(const std::u16string& path, std::vector<FolderItem>& items) {
    items.clear();
    std::wstring folder = Win32Path(path);
    if (!folder.empty() && folder.back() != L'\\') {
        folder += L'\\';
    }
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        FolderItem item;
        item.name = FromWide(name);
        DWORD attributes = found.dwFileAttributes;
        uint64_t size = (uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            item.link = true;
            // What the link leads to: opened through it (the listing describes the link itself).
            attributes = INVALID_FILE_ATTRIBUTES;
            const HANDLE target = CreateFileW((folder + name).c_str(), FILE_READ_ATTRIBUTES,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            if (target != INVALID_HANDLE_VALUE) {
                BY_HANDLE_FILE_INFORMATION information{};
                if (GetFileInformationByHandle(target, &information)) {
                    attributes = information.dwFileAttributes;
                    size = (uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
                }
                CloseHandle(target);
            }
        }
        item.kind = attributes == INVALID_FILE_ATTRIBUTES          ? FolderItem::Kind::Other
                    : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FolderItem::Kind::Folder
                    : (attributes & FILE_ATTRIBUTE_DEVICE) != 0    ? FolderItem::Kind::Other
                                                                   : FolderItem::Kind::File;
        if (item.kind == FolderItem::Kind::File) {
            item.size = size;
        }
        items.push_back(std::move(item));
    } while (FindNextFileW(search, &found));
    const DWORD error = GetLastError();
    FindClose(search);
    SetLastError(error);
    return error == ERROR_NO_MORE_FILES;
}

} // namespace platform
