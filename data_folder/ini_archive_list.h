#pragma once
// The archives a game's INI file names for loading first: the comma-separated file names of the keys
// sResourceArchiveList and sResourceArchiveList2 in its [Archive] section.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TIniArchiveLists {
    // Each key's names in the order given, trimmed, empty ones left out; nothing when the file lacks the key.
    std::optional<std::vector<std::u16string>> list;
    std::optional<std::vector<std::u16string>> list2;

    bool Empty() const { return !list && !list2; }
};

// The lists of an INI file's bytes (see data_folder/settings_text.h for the text). Section and key names
// compare case-insensitively; lines starting with ";" or "#" are comments; of a key given twice in the
// section, the last counts, as the game reads it. Never fails: anything else is ignored.
TIniArchiveLists ReadIniArchiveLists(std::string_view bytes);

// The lists of several INI files, each key from the first file that has it.
TIniArchiveLists MergeIniArchiveLists(const std::vector<TIniArchiveLists>& byPrecedence);
