#pragma once
// The system's error codes for the failures the tests provoke, so that expected messages carry the text
// this system gives for them.
#include <cstdint>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#endif

#include "platform/file.h"

namespace fixture {

#ifdef _WIN32
inline constexpr uint32_t kErrorFileNotFound = ERROR_FILE_NOT_FOUND;
inline constexpr uint32_t kErrorFolderNotFound = ERROR_PATH_NOT_FOUND;
inline constexpr uint32_t kErrorFileOnTheWay = ERROR_PATH_NOT_FOUND; // a file where a folder should be
inline constexpr uint32_t kErrorIsAFolder = ERROR_ACCESS_DENIED;     // creating or opening a folder as a file
inline constexpr uint32_t kErrorNegativePosition = ERROR_NEGATIVE_SEEK;
#else
inline constexpr uint32_t kErrorFileNotFound = ENOENT;
inline constexpr uint32_t kErrorFolderNotFound = ENOENT;
inline constexpr uint32_t kErrorFileOnTheWay = ENOTDIR;
inline constexpr uint32_t kErrorIsAFolder = EISDIR;
inline constexpr uint32_t kErrorNegativePosition = EINVAL;
#endif

// The system's text for a code as the program shows it: "  " + SystemText(...) ends an error message.
inline std::u16string SystemText(uint32_t code) {
    return platform::SystemErrorText(code);
}

} // namespace fixture
