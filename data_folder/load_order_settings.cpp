#include "data_folder/load_order_settings.h"

#include "data_folder/settings_file.h"
#include "data_folder/wine_prefix.h"
#include "platform/directories.h"
#include "platform/locale.h"

namespace {

// The game reads the user's own files in Documents before those in its folder.
constexpr const char16_t* kUserIniNames[] = {u"SkyrimPrefs.ini", u"Skyrim.ini"};
constexpr const char16_t* kGameIniNames[] = {u"SkyrimPrefs.ini", u"Skyrim.ini", u"Skyrim_Default.ini"};

std::u16string_view GameFolderName(TGameEdition edition) {
    return edition == TGameEdition::SpecialEdition ? u"Skyrim Special Edition" : u"Skyrim";
}

std::u16string Join(const std::u16string& folder, std::u16string_view name) {
    if (folder.empty()) {
        return std::u16string(name);
    }
    std::u16string path = folder;
    if (path.back() != platform::kPathDelimiter) {
        path += platform::kPathDelimiter;
    }
    return path.append(name);
}

// The folder that holds folder, or "" when it has none.
std::u16string ParentFolder(const std::u16string& folder) {
    std::u16string path = platform::AbsolutePath(folder);
    while (path.size() > 1 && platform::FileNameStart(path) == path.size()) {
        path.pop_back(); // trailing separators
    }
    const size_t name = platform::FileNameStart(path);
    if (name == 0) {
        return {};
    }
    path.resize(name);
    while (path.size() > 1 && platform::FileNameStart(path) == path.size()) {
        path.pop_back();
    }
    return path;
}

// The name of the file in folder that is name up to case (the name as it is there), or name itself.
std::u16string NameInFolder(const std::vector<platform::FolderItem>& items, const std::u16string& name) {
    for (const platform::FolderItem& item : items) {
        if (platform::CompareTextIgnoreCase(item.name, name) == 0) {
            return item.name;
        }
    }
    return name;
}

TSettingsSource SourceOf(const std::u16string& path, const TSettingsFile& file) {
    TSettingsSource source;
    source.path = path;
    source.state = file.state == TSettingsFile::State::Read      ? TSettingsSource::State::Used
                   : file.state == TSettingsFile::State::Missing ? TSettingsSource::State::Missing
                                                                 : TSettingsSource::State::Unreadable;
    source.why = file.why;
    return source;
}

// "; <path>: <why>" for each file looked at that could not be read, and for a file given that is not there
// (those the game may keep are often missing, and not said to be).
std::u16string Unreadable(const std::vector<TSettingsSource>& sources, bool given) {
    std::u16string text;
    for (const TSettingsSource& source : sources) {
        if (source.state == TSettingsSource::State::Unreadable) {
            text += u"; " + source.path + u": " + source.why;
        } else if (given && source.state == TSettingsSource::State::Missing) {
            text += u"; " + source.path + u": not found";
        }
    }
    return text;
}

// The system's folders, or those given, with the prefix's where they are none.
TPrefixUserFolders UserFolders(const std::u16string& dataFolder, const TLoadOrderFiles& given,
                               TGameEdition edition) {
    TPrefixUserFolders folders{given.localApplicationData.value_or(platform::LocalApplicationDataFolder()),
                               given.documents.value_or(platform::DocumentsFolder())};
    if (!dataFolder.empty() && (folders.localApplicationData.empty() || folders.documents.empty())) {
        const TPrefixUserFolders prefix = FindPrefixUserFolders(dataFolder, edition);
        for (auto field : {&TPrefixUserFolders::localApplicationData, &TPrefixUserFolders::documents}) {
            if ((folders.*field).empty()) {
                folders.*field = prefix.*field;
            }
        }
    }
    return folders;
}

} // namespace

TLoadOrderInputs ReadLoadOrderInputs(const std::u16string& dataFolder, const TLoadOrderFiles& given,
                                     TGameEdition edition, TLoadOrderReport& report) {
    report = {};
    report.edition = edition;
    TLoadOrderInputs inputs;
    const bool searches = given.ini.empty() || given.plugins.empty();
    const TPrefixUserFolders user = searches ? UserFolders(dataFolder, given, edition) : TPrefixUserFolders{};

    std::vector<std::u16string> iniPaths;
    if (!given.ini.empty()) {
        iniPaths.push_back(given.ini);
        report.iniGiven = true;
    } else if (!dataFolder.empty()) {
        const std::u16string& documents = user.documents;
        std::vector<platform::FolderItem> items;
        if (!documents.empty()) {
            const std::u16string userFolder = Join(Join(documents, u"My Games"), GameFolderName(edition));
            platform::ListFolder(userFolder, items);
            for (const char16_t* name : kUserIniNames) {
                iniPaths.push_back(Join(userFolder, NameInFolder(items, name)));
            }
        }
        const std::u16string gameFolder = ParentFolder(dataFolder);
        platform::ListFolder(gameFolder.empty() ? u"." : gameFolder, items);
        for (const char16_t* name : kGameIniNames) {
            iniPaths.push_back(Join(gameFolder, NameInFolder(items, name)));
        }
    }
    std::vector<TIniArchiveLists> lists;
    for (const std::u16string& path : iniPaths) {
        const TSettingsFile file = ReadSettingsFile(path);
        TSettingsSource source = SourceOf(path, file);
        if (file.state == TSettingsFile::State::Read) {
            lists.push_back(ReadIniArchiveLists(file.bytes));
            if (lists.back().Empty()) {
                source.state = TSettingsSource::State::NothingListed;
            }
        }
        report.iniFiles.push_back(std::move(source));
    }
    inputs.ini = MergeIniArchiveLists(lists);
    report.iniDecided = !inputs.ini.Empty();

    if (!given.plugins.empty()) {
        report.plugins.path = given.plugins;
    } else if (!user.localApplicationData.empty()) {
        report.plugins.path = Join(Join(user.localApplicationData, GameFolderName(edition)), u"plugins.txt");
    }
    if (report.plugins.path.empty()) {
        report.plugins.state = TSettingsSource::State::NoPlace;
    } else {
        const TSettingsFile file = ReadSettingsFile(report.plugins.path);
        report.plugins = SourceOf(report.plugins.path, file);
        if (file.state == TSettingsFile::State::Read) {
            inputs.activePlugins = ReadActivePlugins(file.bytes, edition);
        }
    }
    report.pluginsDecided = inputs.activePlugins.has_value();
    return inputs;
}

std::u16string DescribeIniRule(const TLoadOrderReport& report) {
    if (report.iniDecided) {
        std::u16string used;
        for (const TSettingsSource& source : report.iniFiles) {
            if (source.state == TSettingsSource::State::Used) {
                used += (used.empty() ? u"" : u", ") + source.path;
            }
        }
        return u"first archives: INI list of " + used + Unreadable(report.iniFiles, report.iniGiven);
    }
    std::u16string why = report.iniFiles.empty() ? u"no INI file given" : u"no INI file lists archives";
    return u"first archives: \"Skyrim - \" archives in name order (" + why +
           Unreadable(report.iniFiles, report.iniGiven) + u")";
}

std::u16string DescribePluginsRule(const TLoadOrderReport& report) {
    const TSettingsSource& source = report.plugins;
    switch (source.state) {
    case TSettingsSource::State::Used:
        return u"plugins: " + source.path;
    case TSettingsSource::State::Missing:
        return u"plugins: the masters only (plugins.txt not found: " + source.path + u")";
    case TSettingsSource::State::Unreadable:
        return u"plugins: the masters only (" + source.path + u": " + source.why + u")";
    case TSettingsSource::State::NothingListed:
    case TSettingsSource::State::NoPlace:
        break;
    }
    return u"plugins: the masters only (no plugins.txt given, and no Wine or Proton prefix holds the folder)";
}
