// Fuzz target: the game's INI files and plugins.txt, which users and mod managers write by hand. The input's
// first byte chooses the game; the rest, up to a zero byte, is read as an INI file, and what follows as a
// plugins.txt. The archives both name are then placed by the load order's rules. Nothing may raise, and every
// archive must be placed exactly once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "data_folder/ini_archive_list.h"
#include "data_folder/load_order.h"
#include "data_folder/plugin_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const TGameEdition edition = (data[0] & 1) != 0 ? TGameEdition::SpecialEdition : TGameEdition::Skyrim;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t zero = rest.find('\0');
    const std::string_view ini = rest.substr(0, zero);
    const std::string_view plugins =
        zero == std::string_view::npos ? std::string_view() : rest.substr(zero + 1);

    TLoadOrderInputs inputs;
    inputs.ini = ReadIniArchiveLists(ini);
    inputs.activePlugins = ReadActivePlugins(plugins, edition);

    // The archives: those the INI names and those of the plugins, twice over in another version.
    std::vector<TArchiveCandidate> candidates;
    for (const auto* list : {&inputs.ini.list, &inputs.ini.list2}) {
        for (const std::u16string& name : list->value_or(std::vector<std::u16string>{})) {
            candidates.push_back({name, 105});
        }
    }
    for (const std::u16string& plugin : *inputs.activePlugins) {
        candidates.push_back({plugin + u".bsa", 104});
        candidates.push_back({plugin + u" - Textures.bsa", 105});
    }
    const std::vector<TPlacedArchive> placed = PlaceArchives(candidates, inputs);
    std::vector<bool> seen(candidates.size());
    for (const TPlacedArchive& archive : placed) {
        if (archive.candidate >= candidates.size() || seen[archive.candidate]) {
            std::abort();
        }
        seen[archive.candidate] = true;
    }
    if (placed.size() != candidates.size()) {
        std::abort();
    }
    return 0;
}
