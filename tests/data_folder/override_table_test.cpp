// Several archives as one list: the winner of each path, archives left out, conflicts, the counts, lookups,
// a folder with a damaged archive, and extraction of rows of several archives.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "base/ustring.h"
#include "data_folder/data_folder.h"
#include "data_folder/row_extraction.h"
#include "fixtures/file_tree.h"
#include "fixtures/temp_folder.h"
#include "tests/data_folder/data_folder_test_util.h"

using data_folder_test::WriteTestArchive;

namespace {

// Each row as "entry@archive:W|O|L".
std::vector<std::string> RowsText(const TDataFolder& folder,
                                  const std::vector<TOverrideTable::TRowIndex>& rows) {
    std::vector<std::string> text;
    for (const TOverrideTable::TRowIndex row : rows) {
        const TRowState state = folder.table.State(row);
        text.push_back(ToUtf8(folder.EntryString(row)) + "@" + ToUtf8(folder.SourceOf(row).name) + ":" +
                       (state == TRowState::Winner       ? "W"
                        : state == TRowState::Overridden ? "O"
                                                         : "L"));
    }
    return text;
}

std::vector<TOverrideTable::TRowIndex> AllRows(const TDataFolder& folder) {
    std::vector<TOverrideTable::TRowIndex> rows(folder.table.Rows().size());
    for (size_t i = 0; i < rows.size(); ++i) {
        rows[i] = static_cast<TOverrideTable::TRowIndex>(i);
    }
    return rows;
}

class ThreeArchives : public ::testing::Test {
protected:
    void SetUp() override {
        // Paths that differ in case and in "/" for "\" are one path; a.txt in all three, b.txt in 1 and 3.
        paths = {
            WriteTestArchive(temp, "one.bsa", 105,
                             {{"meshes\\a.txt", "1a"}, {"meshes\\b.txt", "1b"}, {"meshes\\only1.txt", "1"}}),
            WriteTestArchive(temp, "two.bsa", 105, {{"MESHES\\A.TXT", "2a"}, {"zz\\only2.txt", "2"}}),
            WriteTestArchive(temp, "three.bsa", 105, {{"meshes\\a.txt", "3a"}, {"Meshes\\B.txt", "3b"}})};
        folder = OpenArchivesInOrder(paths, 2);
        ASSERT_TRUE(folder->failed.empty());
    }
    fixture::TempFolder temp;
    std::vector<std::u16string> paths;
    std::unique_ptr<TDataFolder> folder;
};

TEST_F(ThreeArchives, LaterArchivesWinEachPath) {
    EXPECT_EQ(RowsText(*folder, AllRows(*folder)),
              (std::vector<std::string>{"meshes\\a.txt@one.bsa:O", "meshes\\A.TXT@two.bsa:O",
                                        "meshes\\a.txt@three.bsa:W", "meshes\\b.txt@one.bsa:O",
                                        "meshes\\B.txt@three.bsa:W", "meshes\\only1.txt@one.bsa:W",
                                        "zz\\only2.txt@two.bsa:W"}));
    EXPECT_EQ(RowsText(*folder, folder->table.ConflictRows()),
              (std::vector<std::string>{"meshes\\a.txt@one.bsa:O", "meshes\\A.TXT@two.bsa:O",
                                        "meshes\\a.txt@three.bsa:W", "meshes\\b.txt@one.bsa:O",
                                        "meshes\\B.txt@three.bsa:W"}));
    const uint32_t wins[] = {1, 1, 2};
    const uint32_t losses[] = {2, 1, 0};
    for (size_t source = 0; source < 3; ++source) {
        EXPECT_EQ(folder->table.Wins(source), wins[source]) << source;
        EXPECT_EQ(folder->table.Losses(source), losses[source]) << source;
    }
}

TEST_F(ThreeArchives, LeavingAnArchiveOutRecomputesTheWinners) {
    folder->table.SetTakingPart({true, true, false});
    EXPECT_EQ(RowsText(*folder, folder->table.ConflictRows()),
              (std::vector<std::string>{"meshes\\a.txt@one.bsa:O", "meshes\\A.TXT@two.bsa:W"}));
    EXPECT_EQ(folder->table.State(4), TRowState::Left);
    EXPECT_EQ(folder->table.State(3), TRowState::Winner);
    EXPECT_EQ(folder->table.Wins(0), 2u);
    EXPECT_EQ(folder->table.Losses(0), 1u);
    folder->table.SetTakingPart({false, false, false});
    EXPECT_TRUE(folder->table.ConflictRows().empty());
    EXPECT_FALSE(folder->table.WinnerOf(0).has_value());
    folder->table.SetTakingPart({true, true, true});
    EXPECT_EQ(folder->table.WinnerOf(0), 2u);
}

TEST_F(ThreeArchives, FindsAPathAsTheGameWould) {
    for (const std::u16string path : {u"meshes\\a.txt", u"Meshes/A.txt", u"MESHES\\a.TXT"}) {
        const auto [first, end] = folder->table.FindPath(path);
        EXPECT_EQ(first, 0u);
        EXPECT_EQ(end, 3u);
    }
    EXPECT_EQ(folder->table.FindPath(u"zz/only2.txt"), std::make_pair(6u, 7u));
    for (const std::u16string path : {u"meshes\\c.txt", u"meshes", u"a.txt", u"meshes\\\u4e00.txt"}) {
        const auto [first, end] = folder->table.FindPath(path);
        EXPECT_EQ(first, end) << ToUtf8(path);
    }
}

TEST_F(ThreeArchives, ExtractsTheWinnerOfEachPathAndReportsTheOthers) {
    for (const bool winnersOnly : {false, true}) {
        for (const int jobs : {1, 3}) {
            SCOPED_TRACE(std::to_string(jobs) + (winnersOnly ? " winners only" : ""));
            const std::filesystem::path out =
                temp.Path() / ("out" + std::to_string(jobs) + (winnersOnly ? "w" : ""));
            std::vector<std::string> overridden;
            TRowExtractListener listener;
            listener.overridden = [&](const TDataSource& source, const std::u16string& entry,
                                      const TDataSource& winner) {
                overridden.push_back(ToUtf8(source.name + u":" + entry + u">" + winner.name));
            };
            listener.notExtracted = [](const TDataSource&, const std::u16string& entry,
                                       const std::u16string& why) {
                ADD_FAILURE() << ToUtf8(entry + u": " + why);
            };
            TRowExtractOptions options;
            options.extract.jobs = jobs;
            options.winnersOnly = winnersOnly;
            // Every row but two.bsa's only2.txt.
            const TRowExtractSummary summary =
                ExtractRows(*folder, {5, 4, 3, 2, 1, 0}, out.u16string(), options, listener);
            EXPECT_EQ(summary.written, 3);
            EXPECT_EQ(summary.failed, 0);
            if (winnersOnly) {
                EXPECT_EQ(summary.leftOut, 3);
                EXPECT_TRUE(overridden.empty());
            } else {
                EXPECT_EQ(overridden, (std::vector<std::string>{"one.bsa:meshes\\a.txt>three.bsa",
                                                                "two.bsa:meshes\\A.TXT>three.bsa",
                                                                "one.bsa:meshes\\b.txt>three.bsa"}));
            }
            EXPECT_EQ(fixture::ReadWholeFile(out / "meshes" / "a.txt"), fixture::TextBytes("3a"));
            EXPECT_EQ(fixture::ReadWholeFile(out / "meshes" / "B.txt"), fixture::TextBytes("3b"));
            EXPECT_EQ(fixture::ReadWholeFile(out / "meshes" / "only1.txt"), fixture::TextBytes("1"));
            EXPECT_FALSE(std::filesystem::exists(out / "zz"));
        }
    }
    // Rows chosen without the path's winner: the latest chosen one is written.
    const std::filesystem::path out = temp.Path() / "partial";
    const TRowExtractSummary summary = ExtractRows(*folder, {0, 1}, out.u16string(), {}, {});
    EXPECT_EQ(summary.written, 1);
    EXPECT_EQ(summary.overridden, 1);
    EXPECT_EQ(fixture::ReadWholeFile(out / "meshes" / "A.TXT"), fixture::TextBytes("2a"));
}

TEST(RowExtraction, RowsOfTwoArchivesThatLandOnOneFileDoNotReplaceEachOther) {
    // Different paths to the game, one file on disk: file names alike without folders, and a "." folder.
    fixture::TempFolder temp;
    const std::u16string one = WriteTestArchive(
        temp, "one.bsa", 105, {{"b\\x.txt", "1x"}, {"m\\.\\y.txt", "1y"}, {"n\\z.txt", "1z"}});
    const std::u16string two =
        WriteTestArchive(temp, "two.bsa", 104, {{"a\\x.txt", "2x"}, {"m\\y.txt", "2y"}, {"n\\w.txt", "2w"}});
    const std::unique_ptr<TDataFolder> folder = OpenArchivesInOrder({one, two}, 1);
    ASSERT_TRUE(folder->failed.empty());
    struct Case {
        bool withoutFolders;
        std::vector<std::pair<std::string, std::string>> files; // written: file below out, its bytes
        std::vector<std::string> reports;
    };
    const std::vector<Case> cases = {
        {false,
         {{"a/x.txt", "2x"}, {"b/x.txt", "1x"}, {"m/y.txt", "2y"}, {"n/w.txt", "2w"}, {"n/z.txt", "1z"}},
         {"one.bsa:m\\.\\y.txt: same destination as m\\y.txt"}},
        {true,
         {{"x.txt", "2x"}, {"y.txt", "2y"}, {"w.txt", "2w"}, {"z.txt", "1z"}},
         {"one.bsa:b\\x.txt: same destination as a\\x.txt",
          "one.bsa:m\\.\\y.txt: same destination as m\\y.txt"}},
    };
    for (const Case& c : cases) {
        for (const int jobs : {1, 3}) {
            SCOPED_TRACE(std::to_string(jobs) + (c.withoutFolders ? " without folders" : ""));
            const std::filesystem::path out =
                temp.Path() / ("out" + std::to_string(jobs) + (c.withoutFolders ? "f" : ""));
            std::vector<std::string> reports;
            TRowExtractListener listener;
            listener.notExtracted = [&](const TDataSource& source, const std::u16string& entry,
                                        const std::u16string& why) {
                reports.push_back(ToUtf8(source.name + u":" + entry + u": " + why));
            };
            TRowExtractOptions options;
            options.extract.jobs = jobs;
            options.extract.withoutFolders = c.withoutFolders;
            const TRowExtractSummary summary =
                ExtractRows(*folder, AllRows(*folder), out.u16string(), options, listener);
            EXPECT_EQ(reports, c.reports);
            EXPECT_EQ(summary.failed, static_cast<int>(c.reports.size()));
            EXPECT_EQ(summary.written, static_cast<int>(c.files.size()));
            for (const auto& [file, bytes] : c.files) {
                EXPECT_EQ(fixture::ReadWholeFile(out / file), fixture::TextBytes(bytes)) << file;
            }
        }
    }
}

TEST(OverrideTable, RowsStandInPathOrderWhateverTheArchivesOwnOrder) {
    // "/" sorts before "1" in an archive's order but counts as "\\", which sorts after it; a folder twice in
    // one archive; folders of one name in other case and with "/" across archives.
    fixture::TempFolder temp;
    fixture::ArchiveSpec first = data_folder_test::Recipe(105, {{"f\\a/b.txt", "1"}, {"f\\a1b.txt", "1"}});
    first.folders.push_back(
        {"f", {{"a0.txt", fixture::TextBytes("1")}, {"a1b.txt", fixture::TextBytes("1b")}}});
    const std::u16string one = temp.Write("one.bsa", fixture::BuildArchive(first));
    const std::u16string two = WriteTestArchive(
        temp, "two.bsa", 104, {{"F\\A1B.TXT", "2"}, {"g/h\\x.txt", "2"}, {"g\\h\\y.txt", "2"}});
    const std::unique_ptr<TDataFolder> folder = OpenArchivesInOrder({one, two}, 1);
    ASSERT_TRUE(folder->failed.empty());
    const TOverrideTable& table = folder->table;
    for (TOverrideTable::TRowIndex row = 1; row < table.Rows().size(); ++row) {
        EXPECT_LE(table.ComparePaths(row - 1, row), 0) << row;
    }
    EXPECT_EQ(
        RowsText(*folder, table.ConflictRows()),
        (std::vector<std::string>{"f\\a1b.txt@one.bsa:O", "f\\a1b.txt@one.bsa:O", "f\\A1B.TXT@two.bsa:W"}));
    EXPECT_EQ(table.FindPath(u"G\\H/X.TXT").second - table.FindPath(u"G\\H/X.TXT").first, 1u);
    EXPECT_EQ(table.FindPath(u"g/h/y.txt").second - table.FindPath(u"g/h/y.txt").first, 1u);
}

TEST(DataFolder, DamagedArchiveIsListedAsFailedAndTheRestOpen) {
    fixture::TempFolder temp;
    WriteTestArchive(temp, "Skyrim - Meshes.bsa", 104, {{"meshes\\a.nif", "a"}});
    WriteTestArchive(temp, "Skyrim - Misc.bsa", 104, {{"meshes\\a.nif", "b"}});
    temp.Write("Broken.bsa", {'B', 'S', 'A', 0, 104, 0, 0, 0});
    temp.Write("notes.txt", {'x'});
    std::filesystem::create_directories(temp.Path() / "folder.bsa");
    std::u16string why;
    const std::unique_ptr<TDataFolder> folder = OpenDataFolder(temp.Path().u16string(), {}, why);
    ASSERT_TRUE(folder);
    ASSERT_EQ(folder->failed.size(), 1u);
    EXPECT_EQ(folder->failed[0].path, temp.U16("Broken.bsa"));
    EXPECT_FALSE(folder->failed[0].reason.empty());
    ASSERT_EQ(folder->sources.size(), 2u);
    EXPECT_EQ(folder->sources[1].name, u"Skyrim - Misc.bsa");
    EXPECT_EQ(folder->sources[1].placed.rule, TLoadRule::SkyrimPrefix);
    EXPECT_EQ(RowsText(*folder, folder->table.ConflictRows()),
              (std::vector<std::string>{"meshes\\a.nif@Skyrim - Meshes.bsa:O",
                                        "meshes\\a.nif@Skyrim - Misc.bsa:W"}));
}

TEST(DataFolder, ArchivesNotLoadedTakeNoPartUntilTakenIn) {
    fixture::TempFolder temp;
    WriteTestArchive(temp, "Skyrim - Meshes.bsa", 105, {{"meshes\\a.nif", "a"}});
    WriteTestArchive(temp, "Mod.bsa", 105, {{"meshes\\a.nif", "b"}});
    WriteTestArchive(temp, "Update.bsa", 105, {{"meshes\\a.nif", "c"}});
    std::u16string why;
    TDataFolderOptions options;
    options.files.plugins = temp.U16("none.txt");
    const std::unique_ptr<TDataFolder> folder = OpenDataFolder(temp.Path().u16string(), options, why);
    ASSERT_TRUE(folder);
    EXPECT_EQ(RowsText(*folder, AllRows(*folder)),
              (std::vector<std::string>{"meshes\\a.nif@Skyrim - Meshes.bsa:O", "meshes\\a.nif@Update.bsa:W",
                                        "meshes\\a.nif@Mod.bsa:L"}));
    EXPECT_FALSE(folder->sources[2].loaded);
    folder->table.SetTakingPart({true, true, true});
    EXPECT_EQ(folder->table.State(2), TRowState::Winner);
}

TEST(DataFolder, LooseFilesOverrideEveryArchive) {
    fixture::TempFolder temp;
    WriteTestArchive(temp, "Skyrim - Meshes.bsa", 105, {{"meshes\\a.nif", "a"}, {"meshes\\b.nif", "b"}});
    std::filesystem::create_directories(temp.Path() / "Meshes" / "Sub");
    std::ofstream(temp.Path() / "Meshes" / "A.NIF") << "loose";
    std::ofstream(temp.Path() / "Meshes" / "Sub" / "c.nif") << "c";
    std::ofstream(temp.Path() / "Mod.esp") << "a plugin, not a resource";
    std::u16string why;
    TDataFolderOptions options;
    options.looseFiles = true;
    const std::unique_ptr<TDataFolder> folder = OpenDataFolder(temp.Path().u16string(), options, why);
    ASSERT_TRUE(folder);
    ASSERT_EQ(folder->sources.size(), 2u);
    EXPECT_EQ(folder->sources[1].name, kLooseFilesName);
    EXPECT_EQ(RowsText(*folder, AllRows(*folder)),
              (std::vector<std::string>{"meshes\\a.nif@Skyrim - Meshes.bsa:O", "Meshes\\A.NIF@loose files:W",
                                        "meshes\\b.nif@Skyrim - Meshes.bsa:W",
                                        "Meshes\\Sub\\c.nif@loose files:W"}));
    // Each loose row leads to its file.
    const TDataSource& loose = folder->sources[1];
    const TSourceRow& row = folder->table.Rows()[1];
    EXPECT_EQ(loose.loose->paths.at(loose.Index().File(row.entry).Offset),
              (temp.Path() / "Meshes" / "A.NIF").u16string());
    // What the game sees is extracted: the archive's b.nif and the loose files, not the archive's a.nif.
    const std::filesystem::path out = temp.Path() / "out";
    TRowExtractOptions extractOptions;
    extractOptions.winnersOnly = true;
    const TRowExtractSummary summary =
        ExtractRows(*folder, AllRows(*folder), out.u16string(), extractOptions, {});
    EXPECT_EQ(summary.written, 3);
    EXPECT_EQ(summary.leftOut, 1);
    // By lower-cased path: where case does not tell files apart, Meshes is the meshes folder made first.
    std::map<std::string, std::vector<uint8_t>> written;
    for (auto& [path, bytes] : fixture::TreeOf(out)) {
        std::string lower = path;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        written[lower] = bytes;
    }
    EXPECT_EQ(written,
              (std::map<std::string, std::vector<uint8_t>>{{"meshes/a.nif", fixture::TextBytes("loose")},
                                                           {"meshes/b.nif", fixture::TextBytes("b")},
                                                           {"meshes/sub/c.nif", fixture::TextBytes("c")}}));
}

TEST(DataFolder, UnreadableFolderSaysWhy) {
    fixture::TempFolder temp;
    std::u16string why;
    EXPECT_FALSE(OpenDataFolder(temp.U16("missing"), {}, why));
    EXPECT_FALSE(why.empty());
}

// Opened off a front-end's thread: each archive counted once as it is done, and a raised flag stops the
// opening with nothing, whether it is raised before the first archive or between two.
TEST(DataFolder, OpeningReportsEachArchiveAndStopsWhenCancelled) {
    fixture::TempFolder temp;
    for (const char* name : {"Skyrim - A.bsa", "Skyrim - B.bsa", "Skyrim - C.bsa"}) {
        WriteTestArchive(temp, name, 105, {{"meshes\a.nif", name}});
    }
    temp.Write("Broken.bsa", {'B', 'S', 'A', 0});
    for (const int jobs : {1, 3}) {
        std::atomic<bool> cancel{false};
        std::mutex reports;
        std::vector<size_t> done;
        TDataFolderOptions options;
        options.jobs = jobs;
        options.control.cancel = &cancel;
        options.control.archiveDone = [&](size_t count, size_t total) {
            const std::lock_guard<std::mutex> lock(reports);
            EXPECT_EQ(total, 4u);
            done.push_back(count);
        };
        std::u16string why;
        const std::unique_ptr<TDataFolder> folder = OpenDataFolder(temp.Path().u16string(), options, why);
        ASSERT_TRUE(folder);
        EXPECT_EQ(folder->sources.size(), 3u);
        std::sort(done.begin(), done.end());
        EXPECT_EQ(done, (std::vector<size_t>{1, 2, 3, 4})) << jobs;

        // Raised after the first archive: no other is opened, and nothing is handed back.
        done.clear();
        options.control.archiveDone = [&](size_t count, size_t) {
            const std::lock_guard<std::mutex> lock(reports);
            done.push_back(count);
            cancel = true;
        };
        EXPECT_FALSE(OpenDataFolder(temp.Path().u16string(), options, why));
        EXPECT_EQ(why, kOpeningCancelled);
        EXPECT_LE(done.size(), static_cast<size_t>(jobs)) << jobs;
        EXPECT_FALSE(OpenArchivesInOrder({temp.U16("Skyrim - A.bsa")}, jobs, options.control));
    }
}

} // namespace
