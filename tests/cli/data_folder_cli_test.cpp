// parlivex-cli over several archives: list, which, conflicts, diff and extract of a folder, their JSON
// parsed, their exit statuses, and the rule of the order said.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/ustring.h"
#include "cli/json_writer.h"
#include "fixtures/bsa_writer.h"
#include "fixtures/file_tree.h"
#include "fixtures/temp_folder.h"
#include "tests/cli/cli_process.h"
#include "tests/cli/json_parse.h"

namespace data_folder_cli {

namespace fs = std::filesystem;

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

CliResult Cli(const fixture::TempFolder& dir, const std::vector<std::string>& args) {
    const fs::path out = dir / "cli.out";
    const fs::path err = dir / "cli.err";
    CliResult run;
    run.exitCode = cli_test::RunCliProcess(args, out, err);
    run.out = fixture::ReadText(out);
    run.err = fixture::ReadText(err);
    return run;
}

std::string Utf8Path(const fs::path& path) {
    return ToUtf8(path.u16string());
}

// An archive of version 105 with entries "folder\file" = text.
void WriteArchive(const fs::path& path, const std::vector<std::pair<std::string, std::string>>& entries,
                  uint32_t version = 105) {
    fixture::ArchiveSpec recipe;
    recipe.version = version;
    recipe.flags = 0x3;
    for (const auto& [entry, text] : entries) {
        const size_t split = entry.rfind('\\');
        const std::string folder = entry.substr(0, split);
        if (recipe.folders.empty() || recipe.folders.back().name != folder) {
            recipe.folders.push_back({folder});
        }
        recipe.folders.back().files.push_back({entry.substr(split + 1), fixture::TextBytes(text)});
    }
    fixture::WriteArchiveFile(recipe, Utf8Path(path));
}

// A Data folder: two game archives and a mod's, which plugins.txt makes active.
class DataFolderCli : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(data);
        WriteArchive(data / "Skyrim - Meshes.bsa", {{"meshes\\a.nif", "1"}, {"meshes\\b.nif", "1"}});
        WriteArchive(data / "Skyrim - Textures.bsa", {{"meshes\\a.nif", "2"}, {"textures\\t.dds", "2"}});
        WriteArchive(data / "Mod.bsa", {{"MESHES\\A.NIF", "3"}, {"textures\\t.dds", "3"}});
        std::ofstream(temp / "plugins.txt") << "# mine\n*Mod.esp\n";
    }
    fixture::TempFolder temp;
    fs::path data = temp.Path() / "Data";
    std::string plugins = Utf8Path(temp / "plugins.txt");
};

TEST_F(DataFolderCli, ListsEveryArchiveWithTheArchiveAfterEachEntry) {
    const CliResult run = Cli(temp, {"list", Utf8Path(data), "--plugins", plugins});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "meshes\\a.nif\tSkyrim - Meshes.bsa\n"
                       "meshes\\a.nif\tSkyrim - Textures.bsa\n"
                       "meshes\\A.NIF\tMod.bsa\n"
                       "meshes\\b.nif\tSkyrim - Meshes.bsa\n"
                       "textures\\t.dds\tSkyrim - Textures.bsa\n"
                       "textures\\t.dds\tMod.bsa\n");
    const std::string folder = Utf8Path(data);
    EXPECT_EQ(run.err, "parlivex-cli: " + folder +
                           ": first archives: \"Skyrim - \" archives in name order (no INI "
                           "file lists archives)\nparlivex-cli: " +
                           folder + ": plugins: " + plugins + "\n");
    // Archives given one by one load in the order given; one archive alone lists as ever.
    const CliResult given =
        Cli(temp, {"list", Utf8Path(data / "Mod.bsa"), Utf8Path(data / "Skyrim - Meshes.bsa")});
    EXPECT_EQ(given.exitCode, 0);
    EXPECT_EQ(given.out,
              "meshes\\A.NIF\tMod.bsa\nmeshes\\a.nif\tSkyrim - Meshes.bsa\nmeshes\\b.nif\tSkyrim - "
              "Meshes.bsa\ntextures\\t.dds\tMod.bsa\n");
    EXPECT_EQ(given.err, "");
    EXPECT_EQ(Cli(temp, {"list", Utf8Path(data / "Mod.bsa")}).out, "meshes\\A.NIF\ntextures\\t.dds\n");
}

TEST_F(DataFolderCli, ListFilterKeepsTheEntriesTheWindowsFilterBoxKeeps) {
    // The text is trimmed and lower-cased and the entry string compared as it is, whether one archive or
    // many.
    const std::string mod = Utf8Path(data / "Mod.bsa");
    const std::string folder = Utf8Path(data);
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"list", mod, "--filter", "t.dds"}, "textures\\t.dds\n"},
        {{"list", mod, "--filter", " *.NIF "}, ""},
        {{"list", mod, "--filter", "*"}, "meshes\\A.NIF\ntextures\\t.dds\n"},
        {{"list", folder, "--plugins", plugins, "--filter", "a.nif"},
         "meshes\\a.nif\tSkyrim - Meshes.bsa\nmeshes\\a.nif\tSkyrim - Textures.bsa\n"},
        {{"list", "--filter", "textures\\*", folder, "--plugins", plugins},
         "textures\\t.dds\tSkyrim - Textures.bsa\ntextures\\t.dds\tMod.bsa\n"},
        {{"list", mod, Utf8Path(data / "Skyrim - Meshes.bsa"), "--filter", "b."},
         "meshes\\b.nif\tSkyrim - Meshes.bsa\n"},
    };
    for (const auto& c : cases) {
        const CliResult run = Cli(temp, c.args);
        EXPECT_EQ(run.exitCode, 0) << c.args.back() << run.err;
        EXPECT_EQ(run.out, c.out) << c.args.back();
    }
    const CliResult json = Cli(temp, {"list", "--json", folder, "--plugins", plugins, "--filter", "t.dds"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const json_test::Value doc = json_test::Parse(json.out);
    ASSERT_EQ(doc["entries"].items.size(), 2u);
    EXPECT_EQ(doc["entries"][1]["archive"].text, "Mod.bsa");
    EXPECT_EQ(doc["archives"].items.size(), 3u); // the counts are of every entry still
    const CliResult missing = Cli(temp, {"list", mod, "--filter"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("missing TEXT after --filter"), std::string::npos) << missing.err;
}

TEST_F(DataFolderCli, ListJsonSaysTheOrderAndTheCounts) {
    const CliResult run = Cli(temp, {"list", "--json", Utf8Path(data), "--plugins", plugins});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json_test::Value doc = json_test::Parse(run.out);
    EXPECT_FALSE(doc["order"]["given"].boolean);
    EXPECT_FALSE(doc["order"]["ini"]["decided"].boolean);
    EXPECT_TRUE(doc["order"]["plugins"]["decided"].boolean);
    EXPECT_EQ(doc["order"]["plugins"]["file"]["path"].text, plugins);
    EXPECT_EQ(doc["order"]["edition"].text, "Skyrim Special Edition");
    const json_test::Value& archives = doc["archives"];
    ASSERT_EQ(archives.items.size(), 3u);
    const struct {
        const char* name;
        const char* rule;
        double wins, losses;
    } expected[] = {{"Skyrim - Meshes.bsa", "name order (Skyrim - )", 1, 1},
                    {"Skyrim - Textures.bsa", "name order (Skyrim - )", 0, 2},
                    {"Mod.bsa", "plugin Mod.esp", 2, 0}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(archives[i]["name"].text, expected[i].name);
        EXPECT_EQ(archives[i]["rule"].text, expected[i].rule);
        EXPECT_EQ(archives[i]["wins"].number, expected[i].wins);
        EXPECT_EQ(archives[i]["losses"].number, expected[i].losses);
        EXPECT_TRUE(archives[i]["loaded"].boolean);
    }
    ASSERT_EQ(doc["entries"].items.size(), 6u);
    EXPECT_EQ(doc["entries"][2]["entry"].text, "meshes\\A.NIF");
    EXPECT_EQ(doc["entries"][2]["archive"].text, "Mod.bsa");
    EXPECT_EQ(doc["entries"][2]["state"].text, "winner");
    EXPECT_EQ(doc["entries"][1]["state"].text, "overridden");
}

TEST_F(DataFolderCli, WithoutPluginsTheModIsNotLoaded) {
    const CliResult run =
        Cli(temp, {"which", Utf8Path(data), "Meshes/A.nif", "--plugins", Utf8Path(temp / "none.txt")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "Skyrim - Meshes.bsa\toverridden\tmeshes\\a.nif\n"
                       "Skyrim - Textures.bsa\twinner\tmeshes\\a.nif\n"
                       "Mod.bsa\tnot loaded\tmeshes\\A.NIF\n");
    EXPECT_NE(run.err.find(
                  "plugins: the masters only (plugins.txt not found: " + Utf8Path(temp / "none.txt") + ")"),
              std::string::npos);
}

TEST_F(DataFolderCli, WhichNamesTheWinnerAndWhatItOverrides) {
    const CliResult run =
        Cli(temp, {"which", "--json", Utf8Path(data), "meshes\\a.nif", "--plugins", plugins});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json_test::Value doc = json_test::Parse(run.out);
    EXPECT_EQ(doc["winner"].text, "Mod.bsa");
    ASSERT_EQ(doc["providers"].items.size(), 3u);
    EXPECT_EQ(doc["providers"][0]["archive"].text, "Skyrim - Meshes.bsa");
    EXPECT_EQ(doc["providers"][0]["state"].text, "overridden");
    EXPECT_EQ(doc["providers"][2]["state"].text, "winner");
    const CliResult missing = Cli(temp, {"which", Utf8Path(data), "meshes\\none.nif"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("parlivex-cli: meshes\\none.nif: no archive holds it\n"), std::string::npos);
    const json_test::Value none =
        json_test::Parse(Cli(temp, {"which", "--json", Utf8Path(data), "x\\y"}).out);
    EXPECT_EQ(none["winner"].kind, json_test::Value::Kind::Null);
}

TEST_F(DataFolderCli, ConflictsListsThePathsOfSeveralArchives) {
    const CliResult run = Cli(temp, {"conflicts", Utf8Path(data), "--plugins", plugins});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "meshes\\A.NIF\tMod.bsa\tSkyrim - Meshes.bsa\tSkyrim - Textures.bsa\n"
                       "textures\\t.dds\tMod.bsa\tSkyrim - Textures.bsa\n");
    const CliResult json = Cli(temp, {"conflicts", Utf8Path(data), "--json", "--plugins", plugins});
    const json_test::Value doc = json_test::Parse(json.out);
    ASSERT_EQ(doc["conflicts"].items.size(), 2u);
    EXPECT_EQ(doc["conflicts"][1]["entry"].text, "textures\\t.dds");
    EXPECT_EQ(doc["conflicts"][1]["winner"].text, "Mod.bsa");
    ASSERT_EQ(doc["conflicts"][1]["overridden"].items.size(), 1u);
    EXPECT_EQ(doc["conflicts"][1]["overridden"][0].text, "Skyrim - Textures.bsa");
}

TEST_F(DataFolderCli, LooseFilesOverrideEveryArchiveWhenAsked) {
    fs::create_directories(data / "textures");
    std::ofstream(data / "textures" / "T.dds") << "loose";
    const CliResult run =
        Cli(temp, {"which", Utf8Path(data), "textures\\t.dds", "--loose", "--plugins", plugins});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "Skyrim - Textures.bsa\toverridden\ttextures\\t.dds\n"
                       "Mod.bsa\toverridden\ttextures\\t.dds\n"
                       "loose files\twinner\ttextures\\T.dds\n");
    const CliResult without = Cli(temp, {"which", Utf8Path(data), "textures\\t.dds", "--plugins", plugins});
    EXPECT_EQ(without.out.find("loose"), std::string::npos);
    EXPECT_EQ(Cli(temp, {"list", Utf8Path(data / "Mod.bsa"), "--loose"}).exitCode, 2);
}

TEST_F(DataFolderCli, IniGivenDecidesTheFirstArchives) {
    std::ofstream(temp / "my.ini")
        << "[Archive]\nsResourceArchiveList=Skyrim - Textures.bsa, skyrim - meshes.bsa\n";
    const CliResult run =
        Cli(temp, {"conflicts", Utf8Path(data), "--ini", Utf8Path(temp / "my.ini"), "--json"});
    const json_test::Value doc = json_test::Parse(run.out);
    EXPECT_TRUE(doc["order"]["ini"]["decided"].boolean);
    EXPECT_EQ(doc["archives"][0]["name"].text, "Skyrim - Textures.bsa");
    EXPECT_EQ(doc["archives"][2]["rule"].text, "not loaded");
    EXPECT_EQ(doc["conflicts"][0]["winner"].text, "Skyrim - Meshes.bsa");
}

TEST_F(DataFolderCli, DamagedArchiveFailsAndTheOthersAreListed) {
    std::ofstream(data / "Broken.bsa", std::ios::binary) << "BSA";
    const CliResult run = Cli(temp, {"list", "--json", Utf8Path(data)});
    EXPECT_EQ(run.exitCode, 1);
    const json_test::Value doc = json_test::Parse(run.out);
    ASSERT_EQ(doc["failed"].items.size(), 1u);
    EXPECT_EQ(doc["failed"][0]["path"].text, Utf8Path(data / "Broken.bsa"));
    EXPECT_FALSE(doc["failed"][0]["reason"].text.empty());
    EXPECT_EQ(doc["archives"].items.size(), 3u);
    EXPECT_NE(run.err.find(Utf8Path(data / "Broken.bsa")), std::string::npos);
}

TEST_F(DataFolderCli, ExtractWinnersOnlyWritesWhatTheGameSees) {
    const fs::path out = temp / "out";
    const CliResult run = Cli(temp, {"extract", Utf8Path(data), Utf8Path(out), "--winners-only", "--jobs",
                                     "2", "--plugins", plugins});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(fixture::ReadText(out / "meshes" / "A.NIF"), "3");
    EXPECT_EQ(fixture::ReadText(out / "meshes" / "b.nif"), "1");
    EXPECT_EQ(fixture::ReadText(out / "textures" / "t.dds"), "3");
    // Every row: the overridden ones are said, not failed.
    const fs::path all = temp / "all";
    const CliResult every = Cli(temp, {"extract", Utf8Path(data), Utf8Path(all), "--plugins", plugins});
    EXPECT_EQ(every.exitCode, 0) << every.err;
    EXPECT_NE(every.err.find(": 3 entries overridden by a later archive's were not written\n"),
              std::string::npos);
    EXPECT_EQ(fixture::ReadText(all / "meshes" / "A.NIF"), "3");
}

TEST_F(DataFolderCli, ExtractWithLooseFilesCopiesTheLooseWinner) {
    fs::create_directories(data / "textures" / "extra");
    std::ofstream(data / "textures" / "t.dds") << "loose";
    std::ofstream(data / "textures" / "extra" / "x.txt") << "x";
    const fs::path out = temp / "out";
    const CliResult run = Cli(temp, {"extract", Utf8Path(data), Utf8Path(out), "--loose", "--winners-only",
                                     "--jobs", "2", "--plugins", plugins});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(fixture::ReadText(out / "textures" / "t.dds"), "loose");
    EXPECT_EQ(fixture::ReadText(out / "textures" / "extra" / "x.txt"), "x");
    EXPECT_EQ(fixture::ReadText(out / "meshes" / "b.nif"), "1");
    // Every row: the loose file still wins its path, and the report says what overrode what.
    const fs::path every = temp / "every";
    const CliResult all =
        Cli(temp, {"extract", Utf8Path(data), Utf8Path(every), "--loose", "--plugins", plugins});
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(fixture::ReadText(every / "textures" / "t.dds"), "loose");
    EXPECT_NE(
        all.err.find(": 4 entries overridden by a later archive's (2 by a loose file) were not written\n"),
        std::string::npos)
        << all.err;
    // Without --loose, the archives' winner.
    const fs::path archives = temp / "archives";
    const CliResult without =
        Cli(temp, {"extract", Utf8Path(data), Utf8Path(archives), "--winners-only", "--plugins", plugins});
    EXPECT_EQ(without.exitCode, 0) << without.err;
    EXPECT_EQ(fixture::ReadText(archives / "textures" / "t.dds"), "3");
    EXPECT_FALSE(fs::exists(archives / "textures" / "extra"));
}

TEST(DataFolderDiff, ExitStatusAndJson) {
    fixture::TempFolder temp;
    WriteArchive(temp / "a.bsa", {{"m\\one.nif", "same"}, {"m\\two.nif", "abc"}, {"m\\gone.nif", "x"}});
    WriteArchive(temp / "b.bsa", {{"M\\ONE.NIF", "same"}, {"m\\two.nif", "abd"}, {"m\\new.nif", "y"}}, 104);
    WriteArchive(temp / "c.bsa", {{"m\\one.nif", "same"}, {"m\\two.nif", "abc"}, {"m\\gone.nif", "x"}});
    const std::string a = Utf8Path(temp / "a.bsa"), b = Utf8Path(temp / "b.bsa"),
                      c = Utf8Path(temp / "c.bsa");
    const CliResult differ = Cli(temp, {"diff", a, b});
    EXPECT_EQ(differ.exitCode, 1);
    EXPECT_EQ(differ.out, "< m\\gone.nif\n> m\\new.nif\n! m\\two.nif\n");
    const CliResult equal = Cli(temp, {"diff", a, c});
    EXPECT_EQ(equal.exitCode, 0);
    EXPECT_EQ(equal.out, "");
    EXPECT_EQ(Cli(temp, {"diff", a, Utf8Path(temp / "none.bsa")}).exitCode, 2);
    const CliResult json = Cli(temp, {"diff", "--json", a, b});
    EXPECT_EQ(json.exitCode, 1);
    const json_test::Value doc = json_test::Parse(json.out);
    EXPECT_FALSE(doc["equal"].boolean);
    EXPECT_EQ(doc["same"].number, 1);
    EXPECT_EQ(doc["onlyInFirst"][0].text, "m\\gone.nif");
    EXPECT_EQ(doc["onlyInSecond"][0].text, "m\\new.nif");
    EXPECT_EQ(doc["different"][0].text, "m\\two.nif");
    EXPECT_TRUE(doc["unreadable"].items.empty());
}

TEST(DataFolderCliUsage, ErrorsOfTheNewCommands) {
    fixture::TempFolder temp;
    fs::create_directories(temp / "Data");
    const std::string folder = Utf8Path(temp / "Data");
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"which", folder}, "which takes DIR ENTRY"},
        {{"conflicts"}, "missing DIR after conflicts"},
        {{"diff", "a.bsa"}, "diff takes A.bsa B.bsa"},
        {{"diff", "a.bsa", "b.bsa", "--plugins", "p"}, "unexpected argument: --plugins"},
        {{"conflicts", folder, "--plugins"}, "missing FILE after --plugins"},
        {{"list", "a.bsa", "--json", "--ini", "x.ini"},
         "--plugins and --ini apply to a folder; archives given load in the order given"},
        {{"list", folder, "a.bsa"}, "give one folder or archives, not both: " + folder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const CliResult run = Cli(temp, c.args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err.substr(0, run.err.find('\n')), "parlivex-cli: " + c.message);
    }
}

TEST(JsonWriter, EveryStringParsesBackToItsText) {
    const std::u16string texts[] = {u"plain",
                                    u"quote \" and back\\slash",
                                    u"line\nfeed\ttab\r",
                                    u"\x01\x1f\x7f controls",
                                    u"\u00e9p\u00e9e \u4e00",
                                    u"\U0001F600 pair",
                                    u"/slash"};
    TJsonWriter json;
    json.BeginArray();
    for (const std::u16string& text : texts) {
        json.String(text);
    }
    json.BeginObject();
    json.Key("n");
    json.Number(18446744073709551615ull);
    json.Key("b");
    json.Bool(false);
    json.Key("z");
    json.Null();
    json.EndObject();
    json.EndArray();
    const json_test::Value doc = json_test::Parse(json.Text());
    ASSERT_EQ(doc.items.size(), std::size(texts) + 1);
    for (size_t i = 0; i < std::size(texts); ++i) {
        EXPECT_EQ(doc[i].text, ToUtf8(texts[i]));
    }
    EXPECT_FALSE(doc.items.back()["b"].boolean);
    // A lone surrogate (a path byte that is not UTF-8) stays an escape, which parses.
    EXPECT_EQ(JsonString(u"a\xdcf5"), "\"a\\udcf5\"");
    EXPECT_EQ(JsonString(u"\x1b"), "\"\\u001b\"");
}

} // namespace data_folder_cli
