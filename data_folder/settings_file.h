#pragma once
// Reading one of the game's small text files (an INI file, plugins.txt) whole, telling a file that is not
// there from one that is there but cannot be read.
#include <string>

struct TSettingsFile {
    enum class State { Read, Missing, Unreadable };
    State state = State::Missing;
    std::string bytes;  // when Read
    std::u16string why; // when Unreadable: the system's reason, or "larger than 16 MiB"
};

// The file at path (a native path). Nothing raises.
TSettingsFile ReadSettingsFile(const std::u16string& path);

// Larger files are refused: no INI file or plugin list comes near this.
inline constexpr int64_t kMaxSettingsFileBytes = 16 << 20;
