#pragma once
// Folders and the executable's location, in native paths.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The native path separator: '/' here, '\' on Windows.
#ifdef _WIN32
inline constexpr char16_t kPathDelimiter = u'\\';
#else
inline constexpr char16_t kPathDelimiter = u'/';
#endif

bool DirectoryExists(const std::u16string& path);
// Creates the folder and every missing parent. True when the folder exists afterwards; otherwise false, with
// the reason (the first creation that failed, or "not a directory" for a file in the way) in LastErrorCode().
bool ForceDirectories(const std::u16string& path);
// The bytes the calling user may still write on the file system that holds the folder at path, or that will
// hold it (its nearest existing parent is asked), without the space kept for the superuser. False when the
// system cannot tell, with the reason in LastErrorCode().
bool FreeDiskSpace(const std::u16string& path, uint64_t& freeBytes);
// For tests: a stand-in that FreeDiskSpace asks instead of the system, as if the disk were that full;
// nullptr, the default, removes it. Set it only while nothing else asks.
using FreeDiskSpaceFake = uint64_t (*)(const std::u16string& path);
void SetFreeDiskSpaceForTesting(FreeDiskSpaceFake fake);

// Full path of the running executable; empty when the system cannot tell.
std::u16string ExecutablePath();
// The process's current directory, without a trailing separator (except for the root).
std::u16string CurrentDirectory();
// path when it is absolute, else path below the current directory; nothing else is changed (no "." or ".."
// is resolved, which a link in the path could make wrong).
std::u16string AbsolutePath(const std::u16string& path);

// Where the last name of a native path begins: after its last separator ("/"; on Windows also "\" and the ":"
// of a drive, as in "C:x.bsa"); 0 when it has none.
size_t FileNameStart(std::u16string_view path);

// The folder where this user's settings of the program belong, without a trailing separator; it may not
// exist yet. Linux: $XDG_CONFIG_HOME/parlivex, or ~/.config/parlivex when that variable is unset, empty or
// not an absolute path. Windows: %APPDATA%\Parlivex. Empty when the system names no such place.
std::u16string UserSettingsFolder();

// The user's local application data folder, where games keep their lists of active plugins, without a
// trailing separator. Windows: %LOCALAPPDATA%. Linux has no such folder for Windows games: always empty.
std::u16string LocalApplicationDataFolder();

// The user's Documents folder, where games keep their own INI files under "My Games", without a trailing
// separator. Windows: the known folder Documents (wherever the user moved it). Linux has no such folder for
// Windows games: always empty.
std::u16string DocumentsFolder();

// A name in a folder, and what it is (a link counts as what it leads to; one that leads nowhere is Other).
struct FolderItem {
    enum class Kind { File, Folder, Other };
    std::u16string name;
    Kind kind = Kind::Other;
    bool link = false; // the name itself is a link (Windows: a reparse point)
    uint64_t size = 0; // a file's bytes, as the listing found them (through a link: its target's)
};
// The names in the folder at path, without "." and "..", in no particular order. False when the folder cannot
// be read, with the reason in LastErrorCode() (platform/file.h).
bool ListFolder(const std::u16string& path, std::vector<FolderItem>& items);

} // namespace platform
