#include "data_folder/wine_prefix.h"

#include <algorithm>
#include <vector>

#include "platform/directories.h"
#include "platform/locale.h"

namespace {

// Steam's numbers for the two games, which name their Proton prefixes.
constexpr char16_t kSkyrimAppId[] = u"72850";
constexpr char16_t kSpecialEditionAppId[] = u"489830";

std::vector<std::u16string> Components(const std::u16string& path) {
    std::vector<std::u16string> parts;
    std::u16string part;
    for (const char16_t c : path) {
        if (c == u'/' || c == platform::kPathDelimiter) {
            parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(std::move(part));
    return parts;
}

// The first count components joined again ("" first: the root).
std::u16string JoinComponents(const std::vector<std::u16string>& parts, size_t count) {
    std::u16string path;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) {
            path += platform::kPathDelimiter;
        }
        path += parts[i];
    }
    return path;
}

std::u16string Join(std::u16string folder, std::u16string_view name) {
    if (folder.empty() || folder.back() != platform::kPathDelimiter) {
        folder += platform::kPathDelimiter;
    }
    return folder.append(name);
}

bool Named(const std::u16string& part, std::u16string_view name) {
    return platform::CompareTextIgnoreCase(part, name) == 0;
}

std::u16string_view GameFolderName(TGameEdition edition) {
    return edition == TGameEdition::SpecialEdition ? u"Skyrim Special Edition" : u"Skyrim";
}

// The first of the folders below profile that exists, or "".
std::u16string FirstFolder(const std::u16string& profile, std::initializer_list<std::u16string_view> names) {
    for (const std::u16string_view name : names) {
        std::u16string path = profile;
        for (const std::u16string& part : Components(std::u16string(name))) {
            path = Join(path, part);
        }
        if (platform::DirectoryExists(path)) {
            return path;
        }
    }
    return {};
}

TPrefixUserFolders FoldersOf(const std::u16string& profile) {
    return {FirstFolder(profile, {u"AppData/Local", u"Local Settings/Application Data"}),
            FirstFolder(profile, {u"Documents", u"My Documents"})};
}

// The user profile of a plain Wine prefix: the user folder that has the game's folder in its local
// application data, else the first in name order.
std::u16string WineProfile(const std::u16string& prefix, TGameEdition edition) {
    const std::u16string users = Join(Join(prefix, u"drive_c"), u"users");
    std::vector<platform::FolderItem> items;
    if (!platform::ListFolder(users, items)) {
        return {};
    }
    std::vector<std::u16string> names;
    for (const platform::FolderItem& item : items) {
        if (item.kind == platform::FolderItem::Kind::Folder && !Named(item.name, u"Public")) {
            names.push_back(item.name);
        }
    }
    std::sort(names.begin(), names.end());
    for (const std::u16string& name : names) {
        const std::u16string local = FoldersOf(Join(users, name)).localApplicationData;
        if (!local.empty() && platform::DirectoryExists(Join(local, GameFolderName(edition)))) {
            return Join(users, name);
        }
    }
    return names.empty() ? std::u16string() : Join(users, names.front());
}

} // namespace

TPrefixUserFolders FindPrefixUserFolders(const std::u16string& dataFolder, TGameEdition edition) {
    const std::vector<std::u16string> parts = Components(platform::AbsolutePath(dataFolder));
    // Proton first: a Steam library may itself lie inside some Wine prefix.
    for (size_t i = parts.size(); i-- > 1;) {
        if (Named(parts[i - 1], u"steamapps") && Named(parts[i], u"common")) {
            const std::u16string prefix =
                Join(Join(Join(JoinComponents(parts, i), u"compatdata"),
                          edition == TGameEdition::SpecialEdition ? kSpecialEditionAppId : kSkyrimAppId),
                     u"pfx");
            const std::u16string profile = Join(Join(Join(prefix, u"drive_c"), u"users"), u"steamuser");
            if (platform::DirectoryExists(profile)) {
                return FoldersOf(profile);
            }
        }
    }
    for (size_t i = parts.size(); i-- > 0;) {
        if (Named(parts[i], u"drive_c")) {
            const std::u16string profile = WineProfile(JoinComponents(parts, i), edition);
            return profile.empty() ? TPrefixUserFolders{} : FoldersOf(profile);
        }
    }
    return {};
}
