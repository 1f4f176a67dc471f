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
// Creates the folder and every missing parent. True when the folder exists afterwards.
bool ForceDirectories(const std::u16string& path);
// Full path of the running executable; empty when the system cannot tell.
std::u16string ExecutablePath();
// The process's current directory, without a trailing separator (except for the root).
std::u16string CurrentDirectory();

} // namespace platform
