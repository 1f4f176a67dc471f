#include "data_folder/plugin_list.h"

#include <set>

#include "data_folder/settings_text.h"
#include "platform/locale.h"

std::vector<std::u16string> ReadActivePlugins(std::string_view bytes, TGameEdition edition) {
    std::vector<std::u16string> plugins;
    std::set<std::u16string> folded; // of those in plugins, to keep each once
    for (const std::string_view line : SettingsLines(bytes)) {
        const std::u16string decoded = SettingsText(line);
        std::u16string_view text = decoded;
        if (text.empty() || text[0] == u'#') {
            continue;
        }
        const bool starred = text[0] == u'*';
        if (starred) {
            text = TrimSettingsText(text.substr(1));
        } else if (edition == TGameEdition::SpecialEdition) {
            continue; // listed, not active
        }
        if (text.empty()) {
            continue;
        }
        if (folded.insert(platform::FoldCase(text)).second) {
            plugins.emplace_back(text);
        }
    }
    return plugins;
}
