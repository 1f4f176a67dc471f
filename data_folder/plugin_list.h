#pragma once
// The active plugins of a plugins.txt, in load order.
#include <string>
#include <string_view>
#include <vector>

// Which game reads the Data folder: Skyrim (archives of version 104) or Skyrim Special Edition (version 105).
enum class TGameEdition { Skyrim, SpecialEdition };

// The plugins the file makes active, in file order, each once (names compare case-insensitively; the first
// place counts), trimmed (see data_folder/settings_text.h for the text). Lines starting with "#" are
// comments. Special Edition marks an active plugin with a "*" before its name and lists inactive ones without
// it; Skyrim lists only active plugins (a "*" there is dropped: no file name holds one). Never fails.
std::vector<std::u16string> ReadActivePlugins(std::string_view bytes, TGameEdition edition);
