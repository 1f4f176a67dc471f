#pragma once
// Where a Windows game run on Linux through Wine or Steam's Proton keeps the user's files: plugins.txt in the
// local application data folder and the INI files in Documents, both in the Windows user profile of the
// prefix that holds the game. The Data folder's path leads there:
//   <library>/steamapps/common/<game>/Data  ->  <library>/steamapps/compatdata/<app id>/pfx (Proton)
//   <prefix>/drive_c/.../Data               ->  <prefix> (Wine)
// and the profile is <prefix>/drive_c/users/<user>: "steamuser" under Proton, else the one user folder that
// has the game's folder (the first in name order when none has), "Public" never.
#include <string>

#include "data_folder/load_order.h"

struct TPrefixUserFolders {
    std::u16string localApplicationData; // AppData/Local, or "Local Settings/Application Data" of older Wine
    std::u16string documents;            // Documents, or "My Documents" of older Wine
};

// The folders of the prefix that holds dataFolder (a native path); a field is empty when the path lies in no
// prefix or the profile has no such folder.
TPrefixUserFolders FindPrefixUserFolders(const std::u16string& dataFolder, TGameEdition edition);
