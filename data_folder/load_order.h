#pragma once
// The order in which the game loads the archives of its Data folder, from the rules the game follows:
//
// 1. The archives its INI files name ([Archive] sResourceArchiveList, then sResourceArchiveList2), in that
//    order; when no INI file names any, the archives whose names begin with "Skyrim - ", in name order.
// 2. For each plugin in load order (the game's masters Skyrim.esm, Update.esm, Dawnguard.esm,
//    HearthFires.esm and Dragonborn.esm, then the active plugins of plugins.txt): the archive named after
//    the plugin (Dawnguard.esm: Dawnguard.bsa) and, for archives of version 105 (Special Edition),
//    "<plugin> - Textures.bsa".
// 3. Every other archive is not loaded by the game; they follow the others, in name order.
//
// Names compare case-insensitively; an archive takes the first place a rule gives it. A later archive
// overrides the files of an earlier one.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data_folder/ini_archive_list.h"
#include "data_folder/plugin_list.h"

// An archive to place: its file name (without folders) and its version.
struct TArchiveCandidate {
    std::u16string fileName;
    uint32_t version = 0;
};

// The rule that placed an archive.
// Given: archives given one by one, in their order; LooseFiles: the Data folder's own files, after every
// archive.
enum class TLoadRule { IniList, SkyrimPrefix, Plugin, NotLoaded, Given, LooseFiles };

struct TPlacedArchive {
    size_t candidate = 0; // its place in the candidates given
    TLoadRule rule = TLoadRule::NotLoaded;
    std::u16string plugin; // for Plugin: the plugin it belongs to, as written in the list
};

// What the rules read besides the archives' names: the INI files' lists (empty when no INI file names any
// archive) and the active plugins (nothing when no plugins.txt could be read: only the masters then).
struct TLoadOrderInputs {
    TIniArchiveLists ini;
    std::optional<std::vector<std::u16string>> activePlugins;
};

// The game that reads these archives: Special Edition when any of them is of version 105 (Skyrim cannot read
// those), Skyrim otherwise.
TGameEdition EditionOf(const std::vector<TArchiveCandidate>& candidates);

// Every candidate once, in load order, the loaded ones first.
std::vector<TPlacedArchive> PlaceArchives(const std::vector<TArchiveCandidate>& candidates,
                                          const TLoadOrderInputs& inputs);

// "INI list", "name order (Skyrim - )", "plugin Dawnguard.esm", "not loaded", "order given", "loose files".
std::u16string LoadRuleText(const TPlacedArchive& placed);
