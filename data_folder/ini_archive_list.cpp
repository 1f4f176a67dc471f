#include "data_folder/ini_archive_list.h"

#include "data_folder/settings_text.h"
#include "platform/locale.h"

namespace {

bool SameName(std::u16string_view a, std::u16string_view b) {
    return platform::CompareTextIgnoreCase(a, b) == 0;
}

std::vector<std::u16string> SplitArchiveNames(std::u16string_view value) {
    std::vector<std::u16string> names;
    while (true) {
        const size_t comma = value.find(u',');
        const std::u16string_view name = TrimSettingsText(value.substr(0, comma));
        if (!name.empty()) {
            names.emplace_back(name);
        }
        if (comma == std::u16string_view::npos) {
            return names;
        }
        value.remove_prefix(comma + 1);
    }
}

} // namespace

TIniArchiveLists ReadIniArchiveLists(std::string_view bytes) {
    TIniArchiveLists lists;
    bool inArchive = false;
    for (const std::string_view line : SettingsLines(bytes)) {
        const std::u16string text = SettingsText(line);
        if (text.empty() || text[0] == u';' || text[0] == u'#') {
            continue;
        }
        if (text[0] == u'[') {
            const size_t close = text.find(u']');
            inArchive =
                close != std::u16string::npos &&
                SameName(TrimSettingsText(std::u16string_view(text).substr(1, close - 1)), u"Archive");
            continue;
        }
        const size_t equals = text.find(u'=');
        if (!inArchive || equals == std::u16string::npos) {
            continue;
        }
        const std::u16string_view key = TrimSettingsText(std::u16string_view(text).substr(0, equals));
        const std::u16string_view value = std::u16string_view(text).substr(equals + 1);
        if (SameName(key, u"sResourceArchiveList")) {
            lists.list = SplitArchiveNames(value);
        } else if (SameName(key, u"sResourceArchiveList2")) {
            lists.list2 = SplitArchiveNames(value);
        }
    }
    return lists;
}

TIniArchiveLists MergeIniArchiveLists(const std::vector<TIniArchiveLists>& byPrecedence) {
    TIniArchiveLists merged;
    for (const TIniArchiveLists& lists : byPrecedence) {
        if (!merged.list && lists.list) {
            merged.list = lists.list;
        }
        if (!merged.list2 && lists.list2) {
            merged.list2 = lists.list2;
        }
    }
    return merged;
}
