// The load order's rules: the INI lists, the "Skyrim - " fallback, plugins.txt, the masters, "- Textures"
// archives of version 105 only, and archives that are not loaded; and the files they are read from.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/ustring.h"
#include "data_folder/ini_archive_list.h"
#include "data_folder/load_order.h"
#include "data_folder/load_order_settings.h"
#include "data_folder/plugin_list.h"
#include "data_folder/settings_file.h"
#include "fixtures/temp_folder.h"

namespace {

// The archives in load order as "name:rule" ("N" not loaded, "I" INI, "S" Skyrim - , "P" plugin).
std::string Placed(const std::vector<TArchiveCandidate>& candidates, const TLoadOrderInputs& inputs) {
    std::string text;
    for (const TPlacedArchive& placed : PlaceArchives(candidates, inputs)) {
        const char rule = placed.rule == TLoadRule::IniList        ? 'I'
                          : placed.rule == TLoadRule::SkyrimPrefix ? 'S'
                          : placed.rule == TLoadRule::Plugin       ? 'P'
                                                                   : 'N';
        text += (text.empty() ? "" : " ") + ToUtf8(candidates[placed.candidate].fileName) + ":" + rule;
    }
    return text;
}

std::vector<TArchiveCandidate> Candidates(const std::vector<std::string>& names, uint32_t version) {
    std::vector<TArchiveCandidate> candidates;
    for (const std::string& name : names) {
        candidates.push_back({FromUtf8(name), version});
    }
    return candidates;
}

TEST(LoadOrderRules, TableOfCases) {
    const std::vector<std::string> game = {"Skyrim - Textures0.bsa",
                                           "Skyrim - Meshes.bsa",
                                           "Update.bsa",
                                           "Dawnguard.bsa",
                                           "ModA.bsa",
                                           "ModB.bsa",
                                           "ModB - Textures.bsa",
                                           "Stray.bsa"};
    const struct {
        const char* name;
        std::string ini;     // "" for no INI file
        std::string plugins; // "-" for no plugins.txt
        uint32_t version;
        std::string expected;
    } cases[] = {
        {"no INI: Skyrim - in name order, masters, plugins not active are not loaded", "", "-", 105,
         "Skyrim - Meshes.bsa:S Skyrim - Textures0.bsa:S Update.bsa:P Dawnguard.bsa:P ModA.bsa:N "
         "ModB - Textures.bsa:N ModB.bsa:N Stray.bsa:N"},
        {"INI order first, then the plugins of plugins.txt in file order", //
         "[Archive]\nsResourceArchiveList=Skyrim - Textures0.bsa, Skyrim - Meshes.bsa\n",
         "*ModB.esp\n*ModA.esp\n", 105,
         "Skyrim - Textures0.bsa:I Skyrim - Meshes.bsa:I Update.bsa:P Dawnguard.bsa:P ModB.bsa:P "
         "ModB - Textures.bsa:P ModA.bsa:P Stray.bsa:N"},
        {"list2 follows list; an archive neither names is not loaded",
         "[Archive]\nsResourceArchiveList2=Skyrim - Meshes.bsa\n", "-", 105,
         "Skyrim - Meshes.bsa:I Update.bsa:P Dawnguard.bsa:P ModA.bsa:N ModB - Textures.bsa:N ModB.bsa:N "
         "Skyrim - Textures0.bsa:N Stray.bsa:N"},
        {"Special Edition: inactive lines and comments", "", "# comment\nModA.esp\n*ModB.esp\n#*ModA.esp\n",
         105,
         "Skyrim - Meshes.bsa:S Skyrim - Textures0.bsa:S Update.bsa:P Dawnguard.bsa:P ModB.bsa:P "
         "ModB - Textures.bsa:P ModA.bsa:N Stray.bsa:N"},
        {"Skyrim: every line active, - Textures archives not loaded", "", "ModA.esp\nModB.esp\n", 104,
         "Skyrim - Meshes.bsa:S Skyrim - Textures0.bsa:S Update.bsa:P Dawnguard.bsa:P ModA.bsa:P ModB.bsa:P "
         "ModB - Textures.bsa:N Stray.bsa:N"},
        {"names in any case, with spaces, CRLF",
         "[ARCHIVE]\r\n SRESOURCEARCHIVELIST = skyrim - meshes.BSA ,, \r\n", "  *MODA.ESP  \r\n", 105,
         "Skyrim - Meshes.bsa:I Update.bsa:P Dawnguard.bsa:P ModA.bsa:P ModB - Textures.bsa:N ModB.bsa:N "
         "Skyrim - Textures0.bsa:N Stray.bsa:N"},
        {"keys outside [Archive] and commented out do not count",
         "[General]\nsResourceArchiveList=ModA.bsa\n"
         "[Archive]\n;sResourceArchiveList=ModB.bsa\n",
         "-", 105,
         "Skyrim - Meshes.bsa:S Skyrim - Textures0.bsa:S Update.bsa:P Dawnguard.bsa:P ModA.bsa:N "
         "ModB - Textures.bsa:N ModB.bsa:N Stray.bsa:N"},
        {"a master in plugins.txt and an INI archive as a plugin's keep their first place",
         "[Archive]\nsResourceArchiveList=ModA.bsa\n", "*Dawnguard.esm\n*ModA.esp\n*Update.esm\n", 105,
         "ModA.bsa:I Update.bsa:P Dawnguard.bsa:P ModB - Textures.bsa:N ModB.bsa:N Skyrim - Meshes.bsa:N "
         "Skyrim - Textures0.bsa:N Stray.bsa:N"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TLoadOrderInputs inputs;
        inputs.ini = ReadIniArchiveLists(c.ini);
        if (c.plugins != "-") {
            inputs.activePlugins = ReadActivePlugins(
                c.plugins, c.version == 105 ? TGameEdition::SpecialEdition : TGameEdition::Skyrim);
        }
        EXPECT_EQ(Placed(Candidates(game, c.version), inputs), c.expected);
    }
}

TEST(LoadOrderRules, TexturesArchiveOnlyOfVersion105) {
    // Skyrim.esm's own "- Textures" archive too, in Special Edition.
    EXPECT_EQ(
        Placed({{u"Skyrim - Textures.bsa", 105}, {u"Update.bsa", 105}}, {{}, std::vector<std::u16string>{}}),
        "Skyrim - Textures.bsa:S Update.bsa:P");
    TLoadOrderInputs ini;
    ini.ini = ReadIniArchiveLists("[Archive]\nsResourceArchiveList=Update.bsa\n");
    EXPECT_EQ(Placed({{u"Skyrim - Textures.bsa", 105}, {u"Update.bsa", 105}}, ini),
              "Update.bsa:I Skyrim - Textures.bsa:P");
    EXPECT_EQ(Placed({{u"Skyrim - Textures.bsa", 104}, {u"Update.bsa", 104}}, ini),
              "Update.bsa:I Skyrim - Textures.bsa:N");
    // One folder, one version each in practice; the rule is per archive.
    const std::vector<TArchiveCandidate> candidates = {
        {u"ModA - Textures.bsa", 104}, {u"ModA.bsa", 105}, {u"ModB - Textures.bsa", 105}, {u"ModB.bsa", 105}};
    TLoadOrderInputs inputs;
    inputs.activePlugins = {u"ModB.esp", u"ModA.esp"};
    EXPECT_EQ(Placed(candidates, inputs),
              "ModB.bsa:P ModB - Textures.bsa:P ModA.bsa:P ModA - Textures.bsa:N");
    EXPECT_EQ(EditionOf(candidates), TGameEdition::SpecialEdition);
    EXPECT_EQ(EditionOf({{u"a.bsa", 104}}), TGameEdition::Skyrim);
}

TEST(LoadOrderRules, NamesInWindows1252OrUtf8) {
    // "Épée.esp" in Windows-1252 (C9 E9) and in UTF-8, and a UTF-8 byte order mark.
    const std::vector<TArchiveCandidate> candidates = {{u"\u00e9p\u00e9e.bsa", 105},
                                                       {u"Na\u00efve.bsa", 105}};
    for (const std::string& plugins : {std::string("*\xC9p\xE9"
                                                   "e.esp\n*NA\xC3\x8FVE.esp\n"),
                                       std::string("\xEF\xBB\xBF*\xC3\x89p\xC3\xA9"
                                                   "e.esp\n*na\xEFve.esp\n")}) {
        SCOPED_TRACE(plugins);
        TLoadOrderInputs inputs;
        inputs.activePlugins = ReadActivePlugins(plugins, TGameEdition::SpecialEdition);
        EXPECT_EQ(Placed(candidates, inputs), "\xC3\xA9p\xC3\xA9"
                                              "e.bsa:P Na\xC3\xAFve.bsa:P");
    }
    const TIniArchiveLists lists = ReadIniArchiveLists("[Archive]\nsResourceArchiveList=\xC9p\xE9"
                                                       "e.bsa\n");
    ASSERT_TRUE(lists.list);
    EXPECT_EQ(*lists.list, std::vector<std::u16string>{u"\u00c9p\u00e9e.bsa"});
}

TEST(LoadOrderRules, IniKeysTakenFromTheFirstFileThatHasThem) {
    const TIniArchiveLists prefs = ReadIniArchiveLists("[Archive]\nsResourceArchiveList2=b.bsa\n");
    const TIniArchiveLists main =
        ReadIniArchiveLists("[Archive]\nsResourceArchiveList=a.bsa\nsResourceArchiveList2=x.bsa\n");
    const TIniArchiveLists merged = MergeIniArchiveLists({prefs, main});
    EXPECT_EQ(merged.list.value(), std::vector<std::u16string>{u"a.bsa"});
    EXPECT_EQ(merged.list2.value(), std::vector<std::u16string>{u"b.bsa"});
    // A key given twice: the last counts; present but empty is a list of nothing.
    const TIniArchiveLists twice =
        ReadIniArchiveLists("[Archive]\nsResourceArchiveList=a\nsResourceArchiveList=b\n"
                            "sResourceArchiveList2=\n");
    EXPECT_EQ(twice.list.value(), std::vector<std::u16string>{u"b"});
    EXPECT_TRUE(twice.list2.value().empty());
}

// The files: found in the game folder in any case, the user's given ones, and unreadable ones reported.
class LoadOrderFiles : public ::testing::Test {
protected:
    void WriteFile(const std::filesystem::path& path, const std::string& text) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    fixture::TempFolder temp;
    std::filesystem::path game = temp.Path() / "Game";
    std::filesystem::path data = game / "Data";
};

TEST_F(LoadOrderFiles, IniFoundInTheGameFolderInAnyCase) {
    std::filesystem::create_directories(data);
    WriteFile(game / "skyrim.INI", "[Archive]\nsResourceArchiveList=a.bsa\n");
    TLoadOrderReport report;
    const TLoadOrderInputs inputs =
        ReadLoadOrderInputs(data.u16string(), {}, TGameEdition::SpecialEdition, report);
    EXPECT_TRUE(report.iniDecided);
    EXPECT_EQ(inputs.ini.list.value(), std::vector<std::u16string>{u"a.bsa"});
    EXPECT_EQ(ToUtf8(DescribeIniRule(report)),
              "first archives: INI list of " + (game / "skyrim.INI").string());
}

// The user's INI files in Documents/My Games/<game> count before the game folder's, for the game the
// archives belong to; Skyrim_Default.ini in the game folder counts last, and a given file replaces them all.
TEST_F(LoadOrderFiles, IniSearchOrderFromDocumentsToTheGameFolder) {
    const std::string seFolder = "Documents/My Games/Skyrim Special Edition/";
    const std::string skyrimFolder = "Documents/My Games/Skyrim/";
    struct Case {
        const char* name;
        TGameEdition edition;
        std::vector<std::pair<std::string, std::string>> files; // below the temporary folder
        std::string given;                                      // --ini, below the temporary folder
        std::vector<std::u16string> list;
        std::vector<std::string> used; // the files the report names
    };
    const std::string listA = "[Archive]\nsResourceArchiveList=a.bsa\n";
    const std::string listB = "[Archive]\nsResourceArchiveList=b.bsa\n";
    const std::string listC = "[Archive]\nsResourceArchiveList=c.bsa\n";
    const Case cases[] = {
        {"Special Edition's Documents first",
         TGameEdition::SpecialEdition,
         {{seFolder + "Skyrim.ini", listA}, {skyrimFolder + "Skyrim.ini", listC}, {"Game/Skyrim.ini", listB}},
         "",
         {u"a.bsa"},
         {seFolder + "Skyrim.ini", "Game/Skyrim.ini"}},
        {"the original game's Documents, any case",
         TGameEdition::Skyrim,
         {{skyrimFolder + "skyrimprefs.INI", listA},
          {seFolder + "Skyrim.ini", listC},
          {"Game/Skyrim.ini", listB}},
         "",
         {u"a.bsa"},
         {skyrimFolder + "skyrimprefs.INI", "Game/Skyrim.ini"}},
        {"Prefs before Skyrim.ini in Documents",
         TGameEdition::SpecialEdition,
         {{seFolder + "Skyrim.ini", listB}, {seFolder + "SkyrimPrefs.ini", listA}},
         "",
         {u"a.bsa"},
         {seFolder + "SkyrimPrefs.ini", seFolder + "Skyrim.ini"}},
        {"the game folder's when Documents has none",
         TGameEdition::SpecialEdition,
         {{skyrimFolder + "Skyrim.ini", listC}, {seFolder + "Other.ini", listC}, {"Game/Skyrim.ini", listB}},
         "",
         {u"b.bsa"},
         {"Game/Skyrim.ini"}},
        {"Skyrim_Default.ini last",
         TGameEdition::SpecialEdition,
         {{"Game/Skyrim_Default.ini", listB}, {seFolder + "SkyrimPrefs.ini", "[Display]\nx=1\n"}},
         "",
         {u"b.bsa"},
         {"Game/Skyrim_Default.ini"}},
        {"a given INI wins",
         TGameEdition::SpecialEdition,
         {{seFolder + "SkyrimPrefs.ini", listA}, {"Game/Skyrim.ini", listB}, {"mine.ini", listC}},
         "mine.ini",
         {u"c.bsa"},
         {"mine.ini"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fixture::TempFolder root;
        const auto at = [&](const std::string& relative) {
            return (root.Path() / relative).make_preferred();
        };
        std::filesystem::create_directories(at("Game/Data"));
        for (const auto& [relative, text] : c.files) {
            WriteFile(at(relative), text);
        }
        TLoadOrderFiles files;
        files.ini = c.given.empty() ? u"" : at(c.given).u16string();
        files.documents = at("Documents").u16string();
        TLoadOrderReport report;
        const TLoadOrderInputs inputs =
            ReadLoadOrderInputs(at("Game/Data").u16string(), files, c.edition, report);
        EXPECT_EQ(inputs.ini.list.value_or(std::vector<std::u16string>{}), c.list);
        std::string used;
        for (const std::string& relative : c.used) {
            used += (used.empty() ? "" : ", ") + at(relative).string();
        }
        EXPECT_EQ(ToUtf8(DescribeIniRule(report)), "first archives: INI list of " + used);
    }
}

// A game run through Proton or Wine keeps plugins.txt and its INI files in the prefix's Windows profile,
// which the Data folder's path leads to when the system has no such folders.
TEST_F(LoadOrderFiles, PrefixOfWineOrProtonHoldsTheUsersFiles) {
    const std::string seProfile = "lib/steamapps/compatdata/489830/pfx/drive_c/users/steamuser/";
    const std::string list = "[Archive]\nsResourceArchiveList=a.bsa\n";
    struct Case {
        const char* name;
        TGameEdition edition;
        std::string data; // the Data folder, below the temporary folder
        std::vector<std::string> files;
        std::string plugins; // the plugins.txt the report names; "" none
        std::string ini;     // the INI file used; "" none
    };
    const Case cases[] = {
        {"Proton, Special Edition",
         TGameEdition::SpecialEdition,
         "lib/steamapps/common/Skyrim Special Edition/Data",
         {seProfile + "AppData/Local/Skyrim Special Edition/plugins.txt",
          seProfile + "Documents/My Games/Skyrim Special Edition/Skyrim.ini"},
         seProfile + "AppData/Local/Skyrim Special Edition/plugins.txt",
         seProfile + "Documents/My Games/Skyrim Special Edition/Skyrim.ini"},
        {"Proton, the original game's prefix, library folders in other case",
         TGameEdition::Skyrim,
         "lib/SteamApps/Common/Skyrim/Data",
         {"lib/SteamApps/compatdata/72850/pfx/drive_c/users/steamuser/AppData/Local/Skyrim/plugins.txt",
          seProfile + "AppData/Local/Skyrim/plugins.txt"},
         "lib/SteamApps/compatdata/72850/pfx/drive_c/users/steamuser/AppData/Local/Skyrim/plugins.txt",
         ""},
        {"Wine: the user folder that has the game's, not Public",
         TGameEdition::SpecialEdition,
         "wine/drive_c/Games/Skyrim Special Edition/Data",
         {"wine/drive_c/users/Public/AppData/Local/Skyrim Special Edition/plugins.txt",
          "wine/drive_c/users/anna/AppData/Local/other.txt",
          "wine/drive_c/users/bert/AppData/Local/Skyrim Special Edition/plugins.txt",
          "wine/drive_c/users/bert/Documents/My Games/Skyrim Special Edition/SkyrimPrefs.ini"},
         "wine/drive_c/users/bert/AppData/Local/Skyrim Special Edition/plugins.txt",
         "wine/drive_c/users/bert/Documents/My Games/Skyrim Special Edition/SkyrimPrefs.ini"},
        {"older Wine's profile folders",
         TGameEdition::Skyrim,
         "w/drive_c/Skyrim/Data",
         {"w/drive_c/users/me/Local Settings/Application Data/Skyrim/plugins.txt",
          "w/drive_c/users/me/My Documents/My Games/Skyrim/Skyrim.ini"},
         "w/drive_c/users/me/Local Settings/Application Data/Skyrim/plugins.txt",
         "w/drive_c/users/me/My Documents/My Games/Skyrim/Skyrim.ini"},
        {"no prefix", TGameEdition::SpecialEdition, "Game/Data", {}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fixture::TempFolder root;
        const auto at = [&](const std::string& relative) {
            return (root.Path() / relative).make_preferred();
        };
        std::filesystem::create_directories(at(c.data));
        for (const std::string& file : c.files) {
            WriteFile(at(file), file.ends_with(".ini") ? list : "*Mod.esp\n");
        }
        TLoadOrderFiles files;
        files.documents = u"";
        files.localApplicationData = u"";
        TLoadOrderReport report;
        const TLoadOrderInputs inputs = ReadLoadOrderInputs(at(c.data).u16string(), files, c.edition, report);
        EXPECT_EQ(report.pluginsDecided, !c.plugins.empty());
        if (c.plugins.empty()) {
            EXPECT_EQ(report.plugins.state, TSettingsSource::State::NoPlace);
            EXPECT_EQ(ToUtf8(DescribePluginsRule(report)),
                      "plugins: the masters only (no plugins.txt given, and no Wine or Proton prefix holds "
                      "the folder)");
        } else {
            EXPECT_EQ(ToUtf8(DescribePluginsRule(report)), "plugins: " + at(c.plugins).string());
            EXPECT_EQ(inputs.activePlugins.value(), std::vector<std::u16string>{u"Mod.esp"});
        }
        EXPECT_EQ(report.iniDecided, !c.ini.empty());
        if (!c.ini.empty()) {
            EXPECT_EQ(ToUtf8(DescribeIniRule(report)), "first archives: INI list of " + at(c.ini).string());
        }
    }
    // The system's folders, where it has them, come first.
    fixture::TempFolder root;
    const std::filesystem::path local = root.Path() / "local";
    WriteFile(local / "Skyrim Special Edition" / "plugins.txt", "*Mine.esp\n");
    WriteFile(root.Path() / seProfile / "AppData/Local/Skyrim Special Edition/plugins.txt", "*Mod.esp\n");
    const std::filesystem::path protonData = root.Path() / "lib/steamapps/common/Skyrim Special Edition/Data";
    std::filesystem::create_directories(protonData);
    TLoadOrderFiles files;
    files.documents = u"";
    files.localApplicationData = local.u16string();
    TLoadOrderReport report;
    const TLoadOrderInputs inputs =
        ReadLoadOrderInputs(protonData.u16string(), files, TGameEdition::SpecialEdition, report);
    EXPECT_EQ(inputs.activePlugins.value(), std::vector<std::u16string>{u"Mine.esp"});
}

TEST_F(LoadOrderFiles, UnreadableFilesFallBackWithTheReason) {
    std::filesystem::create_directories(data);
    std::filesystem::create_directories(game / "Skyrim.ini"); // a folder where the file should be
    const std::filesystem::path plugins = temp.Path() / "plugins.txt";
    std::filesystem::create_directories(plugins);
    TLoadOrderReport report;
    const TLoadOrderInputs inputs = ReadLoadOrderInputs(
        data.u16string(), {u"", plugins.u16string(), u"", u""}, TGameEdition::SpecialEdition, report);
    EXPECT_FALSE(report.iniDecided);
    EXPECT_FALSE(report.pluginsDecided);
    EXPECT_FALSE(inputs.activePlugins.has_value());
    EXPECT_EQ(report.iniFiles.at(1).state, TSettingsSource::State::Unreadable);
    const std::string reason = ToUtf8(report.plugins.why);
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(ToUtf8(DescribeIniRule(report)),
              "first archives: \"Skyrim - \" archives in name order (no INI file "
              "lists archives; " +
                  (game / "Skyrim.ini").string() + ": " + reason + ")");
    EXPECT_EQ(ToUtf8(DescribePluginsRule(report)),
              "plugins: the masters only (" + plugins.string() + ": " + reason + ")");
}

TEST_F(LoadOrderFiles, GivenFilesReplaceTheSearch) {
    std::filesystem::create_directories(data);
    WriteFile(game / "Skyrim.ini", "[Archive]\nsResourceArchiveList=a.bsa\n");
    WriteFile(temp.Path() / "mine.ini", "[Archive]\nsResourceArchiveList=b.bsa\n");
    WriteFile(temp.Path() / "p.txt", "*b.esp\n");
    TLoadOrderReport report;
    const TLoadOrderInputs inputs = ReadLoadOrderInputs(
        data.u16string(),
        {(temp.Path() / "mine.ini").u16string(), (temp.Path() / "p.txt").u16string(), u"", u""},
        TGameEdition::SpecialEdition, report);
    EXPECT_EQ(inputs.ini.list.value(), std::vector<std::u16string>{u"b.bsa"});
    EXPECT_EQ(inputs.activePlugins.value(), std::vector<std::u16string>{u"b.esp"});
    EXPECT_EQ(report.iniFiles.size(), 1u);
    EXPECT_EQ(ToUtf8(DescribePluginsRule(report)), "plugins: " + (temp.Path() / "p.txt").string());
}

TEST_F(LoadOrderFiles, MissingPluginsFileSaysSo) {
    TLoadOrderReport report;
    const std::u16string missing = (temp.Path() / "none.txt").u16string();
    ReadLoadOrderInputs(data.u16string(), {u"", missing, u"", u""}, TGameEdition::Skyrim, report);
    EXPECT_EQ(report.plugins.state, TSettingsSource::State::Missing);
    EXPECT_EQ(DescribePluginsRule(report),
              u"plugins: the masters only (plugins.txt not found: " + missing + u")");
    EXPECT_EQ(ReadSettingsFile(missing).state, TSettingsFile::State::Missing);
}

// A file given that has gone since (a remembered choice) is named with the reason, as an unreadable one is;
// the game's own files that are not there are not named.
TEST_F(LoadOrderFiles, MissingIniFileGivenSaysSo) {
    std::filesystem::create_directories(data);
    TLoadOrderReport report;
    const std::filesystem::path missing = temp.Path() / "gone.ini";
    ReadLoadOrderInputs(data.u16string(), {missing.u16string(), u"", u"", u""}, TGameEdition::Skyrim, report);
    EXPECT_FALSE(report.iniDecided);
    EXPECT_EQ(ToUtf8(DescribeIniRule(report)),
              "first archives: \"Skyrim - \" archives in name order (no INI file lists archives; " +
                  missing.string() + ": not found)");
    ReadLoadOrderInputs(data.u16string(), {u"", u"", u"", u""}, TGameEdition::Skyrim, report);
    EXPECT_EQ(ToUtf8(DescribeIniRule(report)),
              "first archives: \"Skyrim - \" archives in name order (no INI file lists archives)");
}

} // namespace
