#pragma once
// Entry strings: how an entry is named outside the archive, its folder and its file name joined by "\"
// (textures\armor\iron.dds). The reader and the command-line tool build them here, and everything that
// takes one apart finds the file name here.
#include <string>
#include <string_view>

inline constexpr char16_t kEntryDelimiter = u'\\';

// folder + "\" + file.
inline std::u16string EntryString(std::u16string_view folder, std::u16string_view file) {
    std::u16string entry;
    entry.reserve(folder.size() + 1 + file.size());
    entry.append(folder).append(1, kEntryDelimiter).append(file);
    return entry;
}

// Where the file name of an entry string begins: after its last "\" or ":" (a ":" ends a folder part as a
// drive prefix does), or at 0 when it has neither.
inline size_t EntryFileNameStart(std::u16string_view entry) {
    const size_t delimiter = entry.find_last_of(u"\\:");
    return delimiter == std::u16string_view::npos ? 0 : delimiter + 1;
}
