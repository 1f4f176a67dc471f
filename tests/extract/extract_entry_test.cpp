// The one extraction step and the plan it follows: every outcome of one entry, entries that would write one
// file or a file where another needs a folder, and what is already in the destination (links to elsewhere, a
// file where a folder goes).
#include <atomic>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/ustring.h"
#include "extract/destination_folder.h"
#include "extract/extract_entry.h"
#include "extract/extraction_plan.h"
#include "fixtures/links.h"
#include "fixtures/system_errors.h"
#include "platform/file.h"
#include "tests/archive/archive_test_util.h"

namespace {

namespace fs = std::filesystem;
using archive_test::Entry;
using archive_test::TextBytes;
using fixture::ReadWholeFile;
using test_support::Error;
using test_support::Raises;
using Kind = TExtractOutcome::Kind;

// Every regular file and link below root, by its path relative to root, with its bytes (links: "-> target").
std::map<std::string, std::string> TreeWithLinks(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(item.path(), root).generic_string();
        if (item.is_symlink()) {
            tree[relative] = "-> " + fs::read_symlink(item.path()).string();
        } else if (item.is_regular_file()) {
            const auto bytes = ReadWholeFile(item.path());
            tree[relative] = std::string(bytes.begin(), bytes.end());
        }
    }
    return tree;
}

// The entries that the entry strings name, in their order; a string given again names the next entry listed
// under it, so that records of one name can be told apart.
std::vector<TEntryRef> Select(const TwbBSAFile& bsa, const std::vector<std::u16string>& entries) {
    std::vector<TEntryRef> selection;
    std::map<std::u16string, TEntryRef> next;
    for (const std::u16string& wanted : entries) {
        TEntryRef entry = next.contains(wanted) ? next[wanted] : 0;
        while (entry < bsa.FileCount() && bsa.EntryString(entry) != wanted) {
            ++entry;
        }
        EXPECT_LT(entry, bsa.FileCount()) << "no entry " << ToUtf8(wanted);
        selection.push_back(entry);
        next[wanted] = entry + 1;
    }
    return selection;
}

// One entry extracted on its own.
TExtractOutcome Extract(TwbBSAFile& bsa, const std::u16string& entry, TDestinationFolder& folder,
                        const std::atomic<bool>* cancel = nullptr) {
    const TExtractionPlan plan(bsa, Select(bsa, {entry}));
    return ExtractEntry(bsa, plan, 0, folder, cancel);
}

fixture::ArchiveSpec Archive() {
    fixture::EntrySpec damaged =
        Entry("broken.nif", fixture::CompressibleBytes(4000, 1), fixture::Storage::Zlib);
    damaged.packedOverride = std::vector<uint8_t>(50, 0xAB);
    fixture::ArchiveSpec recipe;
    recipe.version = 104;
    recipe.folders = {
        {"meshes", {Entry("good.nif", TextBytes("good")), damaged, Entry("zero.nif", {})}},
        {"textures", {Entry("a.dds", TextBytes("texture"))}},
        {"..\\up", {Entry("evil.txt", TextBytes("evil"))}},
        {"meshes", {Entry("good.nif", TextBytes("another good"))}}, // a second record of one folder
    };
    recipe.orderByHash = false;
    return recipe;
}

TEST(ExtractEntry, EveryOutcomeOfOneEntry) {
    const fixture::TempFolder temp;
    archive_test::OpenedArchive archive = archive_test::OpenFixture(temp, Archive());
    std::atomic<bool> cancelled{true};
    struct Case {
        std::vector<std::u16string> selection; // the last one is the entry looked at
        const std::atomic<bool>* cancel;
        Kind kind;
        std::string reason;
        std::map<std::string, std::string> tree; // below DEST afterwards, which starts with old files
    };
    const std::map<std::string, std::string> old = {{"meshes/good.nif", "old"}, {"meshes/zero.nif", "old"}};
    auto with = [&](std::string path, std::string bytes) {
        auto tree = old;
        tree[path] = bytes;
        return tree;
    };
    const Case cases[] = {
        {{u"meshes\\good.nif"}, nullptr, Kind::Written, "", with("meshes/good.nif", "good")},
        {{u"meshes\\zero.nif"}, nullptr, Kind::Empty, "", with("meshes/zero.nif", "")},
        {{u"..\\up\\evil.txt"}, nullptr, Kind::Refused, "refused: '..' component", old},
        {{u"meshes\\broken.nif"}, nullptr, Kind::Unreadable, "zlib data damaged: Erreur", old},
        {{u"meshes\\good.nif", u"meshes\\good.nif"},
         nullptr,
         Kind::SameDestination,
         "same destination as meshes\\good.nif",
         old},
        {{u"meshes\\good.nif"}, &cancelled, Kind::Cancelled, "cancelled", old},
        {{u"textures\\a.dds"}, nullptr, Kind::Written, "", with("textures/a.dds", "texture")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.selection.back()) + " " + (c.reason.empty() ? "written" : c.reason));
        const fs::path dest = temp / "dest";
        fs::remove_all(dest);
        fs::create_directories(dest / "meshes");
        for (const auto& [path, bytes] : old) {
            temp.Write("dest/" + path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
        }
        TDestinationFolder folder(FromUtf8(dest.string()));
        const TExtractionPlan plan(*archive.bsa, Select(*archive.bsa, c.selection));
        const TExtractOutcome outcome = ExtractEntry(*archive.bsa, plan, plan.Size() - 1, folder, c.cancel);
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(ToUtf8(ExtractOutcomeReason(outcome)), c.reason);
        EXPECT_EQ(outcome.WasWritten(), c.reason.empty());
        EXPECT_EQ(TreeWithLinks(dest), c.tree);
    }
}

// A link below the destination, to a folder outside or inside it, is never followed: the entry is refused
// like an unsafe path. The destination itself may be a link: the user chose it.
TEST(ExtractEntry, LinksBelowTheDestinationAreNeverFollowed) {
    const fixture::TempFolder temp;
    archive_test::OpenedArchive archive = archive_test::OpenFixture(temp, Archive());
    fs::create_directories(temp / "outside");
    fs::create_directories(temp / "real" / "dest");
    if (!fixture::MakeSymlink(temp / "real" / "dest", temp / "chosen")) {
        GTEST_SKIP() << "this system cannot make symbolic links";
    }
    const fs::path dest = temp / "chosen";
    fs::create_directories(temp / "real" / "dest" / "inside");
    ASSERT_TRUE(fixture::MakeSymlink(temp / "outside", dest / "textures"));
    ASSERT_TRUE(fixture::MakeSymlink(dest / "inside", dest / "meshes"));

    TDestinationFolder folder(FromUtf8(dest.string()));
    for (const char16_t* entry : {u"textures\\a.dds", u"meshes\\good.nif"}) {
        const TExtractOutcome outcome = Extract(*archive.bsa, entry, folder);
        EXPECT_EQ(outcome.kind, Kind::Refused);
        EXPECT_EQ(ToUtf8(ExtractOutcomeReason(outcome)), "refused: link in the path");
    }
    EXPECT_TRUE(fs::is_empty(temp / "outside"));
    EXPECT_TRUE(fs::is_empty(dest / "inside"));

    // With the link gone, the same folder object makes the folder and writes.
    ASSERT_TRUE(fixture::RemoveLink(dest / "textures"));
    EXPECT_EQ(Extract(*archive.bsa, u"textures\\a.dds", folder).kind, Kind::Written);
    EXPECT_EQ(ReadWholeFile(temp / "real" / "dest" / "textures" / "a.dds"), TextBytes("texture"));
}

// A walk that keeps few folders open holds no more than it may, and when the next entry's path leaves the
// open part it walks again from the destination: a link put there meanwhile is met and refused.
TEST(ExtractEntry, FoldersKeptOpenAreBoundedAndAWalkAgainNeverFollowsALink) {
    const fixture::TempFolder temp;
    fixture::ArchiveSpec recipe;
    recipe.folders = {{"a\\b\\c\\d", {Entry("x.txt", TextBytes("x")), Entry("y.txt", TextBytes("y"))}},
                      {"a\\b\\e", {Entry("z.txt", TextBytes("z"))}}};
    archive_test::OpenedArchive archive = archive_test::OpenFixture(temp, recipe);
    const fs::path dest = temp / "dest";
    TDestinationRules rules;
    rules.maxOpenFolders = 2;
    TDestinationFolder folder(FromUtf8(dest.string()), rules);
    for (const char16_t* entry : {u"a\\b\\c\\d\\x.txt", u"a\\b\\c\\d\\y.txt"}) {
        EXPECT_EQ(Extract(*archive.bsa, entry, folder).kind, Kind::Written);
        EXPECT_EQ(folder.OpenFolderCount(), 2u);
    }
    // a is swapped for a link to a copy outside; c and d are open, a and b are not.
    fs::create_directories(temp / "outside");
    std::error_code moved;
    fs::rename(dest / "a", temp / "outside" / "a", moved);
    if (moved) {
        GTEST_SKIP() << "a folder below open ones cannot be moved here (Windows keeps them in place)";
    }
    if (!fixture::MakeSymlink(temp / "outside" / "a", dest / "a")) {
        GTEST_SKIP() << "this system cannot make symbolic links";
    }
    const TExtractOutcome outcome = Extract(*archive.bsa, u"a\\b\\e\\z.txt", folder);
    EXPECT_EQ(outcome.kind, Kind::Refused);
    EXPECT_EQ(ToUtf8(ExtractOutcomeReason(outcome)), "refused: link in the path");
    EXPECT_FALSE(fs::exists(temp / "outside" / "a" / "b" / "e"));

    ASSERT_TRUE(fixture::RemoveLink(dest / "a"));
    fs::rename(temp / "outside" / "a", dest / "a");
    EXPECT_EQ(Extract(*archive.bsa, u"a\\b\\e\\z.txt", folder).kind, Kind::Written);
    EXPECT_EQ(folder.OpenFolderCount(), 2u);
    EXPECT_EQ(TreeWithLinks(dest),
              (std::map<std::string, std::string>{
                  {"a/b/c/d/x.txt", "x"}, {"a/b/c/d/y.txt", "y"}, {"a/b/e/z.txt", "z"}}));
}

TEST(ExtractEntry, FolderThatCannotBeMadeRaisesTheCreateErrorWithTheReason) {
    const fixture::TempFolder temp;
    archive_test::OpenedArchive archive = archive_test::OpenFixture(temp, Archive());
    fs::create_directories(temp / "dest");
    temp.Write("dest/meshes", TextBytes("a file where a folder should be"));
    TDestinationFolder folder(FromUtf8((temp / "dest").string()));
    const std::string file = (temp / "dest" / "meshes" / "good.nif").string();
    EXPECT_TRUE(Raises([&] { Extract(*archive.bsa, u"meshes\\good.nif", folder); },
                       Error<EStreamError>("Cannot create " + file + ".  " +
                                           ToUtf8(fixture::SystemText(fixture::kErrorFileOnTheWay)))));
}

// Entries whose folders differ only by "." and empty components (and, on Windows, whose names differ only by
// case) write one file: the first of them in the selection is written, each later one names it.
TEST(ExtractionPlan, LaterEntriesNameTheFirstOfTheirFile) {
    fixture::ArchiveSpec recipe;
    recipe.orderByHash = false;
    recipe.folders = {
        {"a\\b",
         {Entry("x.bin", TextBytes("1")), Entry("y.bin", TextBytes("2")), Entry("X.BIN", TextBytes("3"))}},
        {"a\\\\b", {Entry("x.bin", TextBytes("4"))}},
        {"a\\.\\b", {Entry("x.bin", TextBytes("5"))}},
        {".\\a\\b", {Entry("x.bin", TextBytes("6"))}},
        {"", {Entry("x.txt", TextBytes("7"))}, uint8_t{0}},
        {".", {Entry("x.txt", TextBytes("8"))}},
        {"..", {Entry("x.txt", TextBytes("9"))}},
        {"a\\..", {Entry("x.txt", TextBytes("10"))}},
        {"a\\b", {Entry("x.bin", TextBytes("11"))}}, // a second record of the folder, with the same name
    };
    const fixture::TempFolder temp;
    const archive_test::OpenedArchive archive = archive_test::OpenFixture(temp, recipe);
    const std::vector<std::u16string> entries = {
        u"a\\b\\x.bin", u"a\\\\b\\x.bin", u"a\\.\\b\\x.bin", u".\\a\\b\\x.bin",
        u"a\\b\\y.bin", u"a\\b\\X.BIN",   u"\\x.txt",        u".\\x.txt",
        u"..\\x.txt",   u"a\\..\\x.txt",  u"a\\b\\x.bin",
    };
#ifdef _WIN32
    const char16_t* const upperCase = u"a\\b\\x.bin"; // one file where case does not tell names apart
#else
    const char16_t* const upperCase = nullptr;
#endif
    const std::vector<const char16_t*> expected = {
        nullptr, u"a\\b\\x.bin", u"a\\b\\x.bin", u"a\\b\\x.bin", nullptr,        upperCase,
        nullptr, u"\\x.txt",     nullptr,        nullptr,        u"a\\b\\x.bin",
    };
    const TExtractionPlan plan(*archive.bsa, Select(*archive.bsa, entries));
    for (size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(ToUtf8(entries[i]));
        const std::optional<TExtractOutcome> decided = plan.Decided(i);
        if (expected[i] == nullptr) {
            EXPECT_TRUE(!decided || decided->kind == Kind::Refused);
        } else {
            ASSERT_TRUE(decided.has_value());
            EXPECT_EQ(decided->kind, Kind::SameDestination);
            EXPECT_EQ(decided->detail, expected[i]);
        }
    }
}

// A file where an earlier entry needs a folder, or a folder where an earlier entry's file is: the later entry
// names the earlier one and how they collide. Entries that collide or are refused make no folders of their
// own.
TEST(ExtractionPlan, FilesAndFoldersAtOneNameNameTheEarlierEntry) {
    fixture::ArchiveSpec recipe;
    recipe.orderByHash = false;
    recipe.folders = {
        {"x", {Entry("sub", TextBytes("1"))}},
        {"x\\sub", {Entry("f.txt", TextBytes("2")), Entry("g.txt", TextBytes("3"))}},
        {".\\y\\sub", {Entry("f.txt", TextBytes("4"))}},
        {"y", {Entry("sub", TextBytes("5")), Entry("SUB", TextBytes("6"))}},
        {"y\\sub", {Entry("f.txt", TextBytes("7"))}},
        {"y\\.\\sub", {Entry("h.txt", TextBytes("8"))}},
        {"..\\z", {Entry("a", TextBytes("9"))}},
        {"z", {Entry("a", TextBytes("10"))}},
        {"x\\sub\\f.txt", {Entry("deeper.txt", TextBytes("11"))}},
        {"w\\q", {Entry("r.txt", TextBytes("12"))}},
    };
    const fixture::TempFolder temp;
    const archive_test::OpenedArchive archive = archive_test::OpenFixture(temp, recipe);
    const std::vector<std::u16string> entries = {
        u"x\\sub",
        u"x\\sub\\f.txt",
        u"x\\sub\\g.txt",
        u".\\y\\sub\\f.txt",
        u"y\\sub",
        u"y\\sub\\f.txt",
        u"y\\.\\sub\\h.txt",
        u"..\\z\\a",
        u"z\\a",
        u"x\\sub\\f.txt\\deeper.txt",
        u"w\\q\\r.txt",
        u"y\\SUB",
    };
    struct Expected {
        std::optional<Kind> kind;
        const char16_t* earlier;
    };
#ifdef _WIN32
    const Expected upperCase = {Kind::FolderOfEarlier, u".\\y\\sub\\f.txt"};
#else
    const Expected upperCase = {std::nullopt, nullptr};
#endif
    const std::vector<Expected> expected = {
        {std::nullopt, nullptr},
        {Kind::FileOfEarlier, u"x\\sub"},
        {Kind::FileOfEarlier, u"x\\sub"},
        {std::nullopt, nullptr},
        {Kind::FolderOfEarlier, u".\\y\\sub\\f.txt"},
        {Kind::SameDestination, u".\\y\\sub\\f.txt"},
        {std::nullopt, nullptr},
        {std::nullopt, nullptr}, // refused for its path: it makes no folder z\\a
        {std::nullopt, nullptr},
        {Kind::FileOfEarlier, u"x\\sub"},
        {std::nullopt, nullptr},
        upperCase,
    };
    const TExtractionPlan plan(*archive.bsa, Select(*archive.bsa, entries));
    for (size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(ToUtf8(entries[i]));
        std::optional<TExtractOutcome> decided = plan.Decided(i);
        if (decided && decided->kind == Kind::Refused) {
            decided.reset();
        }
        ASSERT_EQ(decided.has_value(), expected[i].kind.has_value());
        if (decided) {
            EXPECT_EQ(decided->kind, *expected[i].kind);
            EXPECT_EQ(decided->detail, expected[i].earlier);
        }
    }
}

} // namespace
