#pragma once
// Folders and the executable's location, in native paths.
#include <string>

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
// Full path of the running executable; empty when the system cannot tell.
std::u16string ExecutablePath();
// The process's current directory, without a trailing separator (except for the root).
std::u16string CurrentDirectory();
// path when it is absolute, else path below the current directory; nothing else is changed (no "." or ".."
// is resolved, which a link in the path could make wrong).
std::u16string AbsolutePath(const std::u16string& path);

} // namespace platform
