#pragma once
// Where the load order's rules come from: the game's INI files and plugins.txt, found where the game keeps
// them or given by the user, read, and reported: which file decided, and why a file that should have could
// not.
#include <optional>
#include <string>
#include <vector>

#include "data_folder/load_order.h"

// Files the user gave (native paths); empty: look where the game keeps them.
struct TLoadOrderFiles {
    std::u16string ini;
    std::u16string plugins;
    // The user's Documents folder, whose My Games folder holds the game's own INI files; unset: the system's
    // (platform::DocumentsFolder()); "": none.
    std::optional<std::u16string> documents;
    // The user's local application data folder, which holds plugins.txt in the game's folder; unset: the
    // system's (platform::LocalApplicationDataFolder()); "": none.
    std::optional<std::u16string> localApplicationData;
    // Where either of those is none, the folder of the Wine or Proton prefix that holds the Data folder
    // counts instead (data_folder/wine_prefix.h).
};

// One file the rules looked at.
struct TSettingsSource {
    enum class State {
        Used,          // read, and it gave what was looked for
        Missing,       // nothing at the path
        Unreadable,    // there, but could not be read: why says so
        NothingListed, // read, without the lists looked for (INI files only)
        NoPlace,       // no path to look at: no local application data folder, of the system or of a prefix
    };
    std::u16string path;
    State state = State::Missing;
    std::u16string why;
};

// What decided the order.
struct TLoadOrderReport {
    TGameEdition edition = TGameEdition::Skyrim;
    // The INI files looked at, the one whose keys count most first: the one given, or SkyrimPrefs.ini and
    // Skyrim.ini in <Documents>/My Games/Skyrim[ Special Edition], then SkyrimPrefs.ini, Skyrim.ini and
    // Skyrim_Default.ini in the game's folder (the Data folder's parent), any case.
    std::vector<TSettingsSource> iniFiles;
    bool iniGiven = false; // iniFiles is the one file the user gave: missing, it is said to be
    // The one given, or <local application data>/Skyrim[ Special Edition]/plugins.txt.
    TSettingsSource plugins;
    bool iniDecided = false;     // an INI file named the first archives (else: "Skyrim - " in name order)
    bool pluginsDecided = false; // plugins.txt gave the active plugins (else: the masters only)
};

// Reads the rules' inputs for the Data folder dataFolder (a native path; "" for archives given one by one,
// which have no game folder: then only files given count) and says in report what decided.
TLoadOrderInputs ReadLoadOrderInputs(const std::u16string& dataFolder, const TLoadOrderFiles& given,
                                     TGameEdition edition, TLoadOrderReport& report);

// Two lines for people, one per rule:
//   first archives: INI list of /games/Skyrim/Skyrim.ini
//   first archives: "Skyrim - " archives in name order (no INI file lists archives; /g/Skyrim.ini: Permission
//   denied) plugins: /home/u/plugins.txt plugins: the masters only (plugins.txt not found: /path/plugins.txt)
std::u16string DescribeIniRule(const TLoadOrderReport& report);
std::u16string DescribePluginsRule(const TLoadOrderReport& report);
