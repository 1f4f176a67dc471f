#include "platform/folder_files.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "platform/win32_path.h"

// Win32 has no calls relative to an open folder. A folder here is its handle and its full path, and the path
// of what lies inside it is that path + "\" + name. Every folder of the walk stays open without
// FILE_SHARE_DELETE, so that nobody can rename, remove or replace it (by a junction, say) while names are
// made below it: the path stays the path of the folder that was opened and checked.

namespace platform {
namespace {

struct OpenFolder {
    HANDLE handle;
    std::wstring path; // "\\?\" form, without a trailing "\" unless it is a drive's root
};

OpenFolder* Folder(FolderHandle folder) {
    return reinterpret_cast<OpenFolder*>(folder);
}

std::wstring Inside(FolderHandle folder, const std::u16string& name) {
    std::wstring path = Folder(folder)->path;
    if (path.empty() || path.back() != L'\\') {
        path += L'\\';
    }
    return path + ToWide(name);
}

// Opens a folder for listing: others may read and write in it, but not rename or remove it.
HANDLE OpenFolderHandle(const std::wstring& path, DWORD flags) {
    return CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

DWORD AttributesOf(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileInformationByHandle(handle, &info) ? info.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

FolderHandle Wrapped(HANDLE handle, std::wstring path) {
    try {
        return reinterpret_cast<FolderHandle>(new OpenFolder{handle, std::move(path)});
    } catch (...) {
        CloseHandle(handle);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return kInvalidFolderHandle;
    }
}

} // namespace

FolderHandle FolderOpen(const std::u16string& path) {
    const std::wstring full = Win32Path(path);
    const HANDLE handle = OpenFolderHandle(full, 0);
    if (handle == INVALID_HANDLE_VALUE) {
        return kInvalidFolderHandle;
    }
    const DWORD attributes = AttributesOf(handle);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        CloseHandle(handle);
        SetLastError(ERROR_DIRECTORY);
        return kInvalidFolderHandle;
    }
    std::wstring opened = full;
    while (opened.size() > 7 && opened.back() == L'\\') { // keeps "\\?\C:\"
        opened.pop_back();
    }
    return Wrapped(handle, std::move(opened));
}

ChildFolder FolderOpenChild(FolderHandle parent, const std::u16string& name, FolderHandle& child) {
    const std::wstring path = Inside(parent, name);
    // A reparse point (junction, symbolic link, mount point) is opened as itself, never followed.
    HANDLE handle = OpenFolderHandle(path, FILE_FLAG_OPEN_REPARSE_POINT);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
        // Made by someone else in the meantime is as good as made here.
        if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            return ChildFolder::Failed;
        }
        handle = OpenFolderHandle(path, FILE_FLAG_OPEN_REPARSE_POINT);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        return ChildFolder::Failed;
    }
    const DWORD attributes = AttributesOf(handle);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD reason = GetLastError();
        CloseHandle(handle);
        SetLastError(reason);
        return ChildFolder::Failed;
    }
    // The name is asked too: Wine opens the target of a Unix symbolic link even so, but shows the link as a
    // reparse point by its name. Held open, the folder can no longer be swapped for something else.
    const DWORD byName = GetFileAttributesW(path.c_str());
    if (((attributes | (byName == INVALID_FILE_ATTRIBUTES ? 0 : byName)) & FILE_ATTRIBUTE_REPARSE_POINT) !=
        0) {
        CloseHandle(handle);
        return ChildFolder::Link;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        // A file where a folder should be: what the system says of a path through a file.
        CloseHandle(handle);
        SetLastError(ERROR_PATH_NOT_FOUND);
        return ChildFolder::Failed;
    }
    const FolderHandle wrapped = Wrapped(handle, path);
    if (wrapped == kInvalidFolderHandle) {
        return ChildFolder::Failed;
    }
    child = wrapped;
    return ChildFolder::Opened;
}

void FolderClose(FolderHandle folder) {
    OpenFolder* open = Folder(folder);
    CloseHandle(open->handle);
    delete open;
}

FileHandle FileCreateUnique(FolderHandle folder, const std::u16string& prefix, std::u16string& name) {
    // The process id keeps apart two programs extracting into one folder, the counter the threads of one.
    static std::atomic<uint64_t> counter{0};
    const std::u16string stem = prefix + FromWide(std::to_wstring(GetCurrentProcessId())) + u"-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::u16string candidate = stem + FromWide(std::to_wstring(counter++));
        // CREATE_NEW fails on any name that is taken, a link included; the file is not shared while written.
        const HANDLE handle =
            CreateFileW(Inside(folder, candidate).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            name = candidate;
            return reinterpret_cast<FileHandle>(handle);
        }
        const DWORD reason = GetLastError();
        if (reason != ERROR_FILE_EXISTS && reason != ERROR_ALREADY_EXISTS) {
            return kInvalidFileHandle;
        }
    }
    return kInvalidFileHandle;
}

bool FileReplace(FolderHandle folder, const std::u16string& from, const std::u16string& to) {
    // A link at the final name is replaced itself: MoveFileExW never follows the target's name.
    return MoveFileExW(Inside(folder, from).c_str(), Inside(folder, to).c_str(), MOVEFILE_REPLACE_EXISTING) !=
           0;
}

bool FileRemove(FolderHandle folder, const std::u16string& name) {
    return DeleteFileW(Inside(folder, name).c_str()) != 0;
}

bool NameQuery(FolderHandle folder, const std::u16string& name, NameInfo& info) {
    const std::wstring path = Inside(folder, name);
    info = NameInfo{};
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD reason = GetLastError();
        return reason == ERROR_FILE_NOT_FOUND || reason == ERROR_PATH_NOT_FOUND;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        info.kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? NameKind::Folder : NameKind::File;
        return true;
    }
    info.kind = NameKind::Link;
    // What the link leads to: opened through it, only to look.
    const HANDLE target = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (target == INVALID_HANDLE_VALUE) {
        return true;
    }
    const DWORD targetAttributes = AttributesOf(target);
    if (GetFileType(target) != FILE_TYPE_DISK) {
        info.linkTarget = NameKind::Special;
    } else if (targetAttributes != INVALID_FILE_ATTRIBUTES) {
        info.linkTarget =
            (targetAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? NameKind::Folder : NameKind::File;
    }
    CloseHandle(target);
    return true;
}

bool FileSetPermissions(FileHandle, uint32_t) {
    return true;
}

bool SplitFilePath(const std::u16string& path, std::u16string& folder, std::u16string& name) {
    // As the system reads it: absolute, "." and ".." resolved, with "\\?\" before it.
    const std::wstring full = Win32Path(path);
    if (full.rfind(L"\\\\.\\", 0) == 0) {
        return false; // a device: "NUL", "CON", "COM1", "\\.\pipe\..."
    }
    const size_t separator = full.rfind(L'\\');
    if (separator == std::wstring::npos) {
        return false;
    }
    const std::wstring last = full.substr(separator + 1);
    if (last.empty() || last == L"." || last == L"..") {
        return false;
    }
    std::wstring parent = full.substr(0, separator);
    if (!parent.empty() && parent.back() == L':') {
        parent += L'\\'; // a drive's root
    }
    folder = FromWide(parent);
    name = FromWide(last);
    return true;
}

void ToFileNameKey(std::u16string& name) {
    if (name.empty()) {
        return;
    }
    // Without linguistic casing, each unit maps to one unit: the mapping of the file systems' own tables.
    std::wstring upper(name.size(), L'\0');
    const int length = static_cast<int>(name.size());
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, reinterpret_cast<const wchar_t*>(name.data()),
                      length, upper.data(), length, nullptr, nullptr, 0) == length) {
        name.assign(upper.begin(), upper.end());
    }
}

bool FileSystemsMakeShortNames() {
    return true;
}

} // namespace platform
