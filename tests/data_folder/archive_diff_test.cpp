// Two archives compared by content: one byte, case only, an entry missing, large entries compared piece by
// piece, and an entry that cannot be read.
#include <gtest/gtest.h>

#include "base/ustring.h"
#include "data_folder/archive_diff.h"
#include "data_folder/entry_comparison.h"
#include "fixtures/temp_folder.h"
#include "tests/data_folder/data_folder_test_util.h"

using data_folder_test::TestEntry;
using data_folder_test::WriteTestArchive;

namespace {

std::vector<std::string> DiffText(const TArchiveDiff& diff) {
    std::vector<std::string> text;
    for (const TArchiveDifference& difference : diff.differences) {
        const char* kind = difference.kind == TArchiveDifference::Kind::OnlyInFirst    ? "<"
                           : difference.kind == TArchiveDifference::Kind::OnlyInSecond ? ">"
                           : difference.kind == TArchiveDifference::Kind::Different    ? "!"
                                                                                       : "?";
        text.push_back(kind + std::string(" ") + ToUtf8(difference.entry));
    }
    return text;
}

TArchiveDiff Diff(const fixture::TempFolder& temp, uint32_t version, const std::vector<TestEntry>& a,
                  const std::vector<TestEntry>& b) {
    TwbBSAFile first(WriteTestArchive(temp, "a.bsa", version, a));
    TwbBSAFile second(WriteTestArchive(temp, "b.bsa", version, b));
    return DiffArchives(first, second);
}

TEST(ArchiveDiff, TableOfCases) {
    const std::vector<TestEntry> base = {{"meshes\\a.nif", "alpha"}, {"textures\\b.dds", "beta"}};
    const struct {
        const char* name;
        std::vector<TestEntry> second;
        std::vector<std::string> expected;
        size_t same;
    } cases[] = {
        {"equal", base, {}, 2},
        {"one byte differs",
         {{"meshes\\a.nif", "alphA"}, {"textures\\b.dds", "beta"}},
         {"! meshes\\a.nif"},
         1},
        {"case of the path only: the same entry",
         {{"MESHES\\A.nif", "alpha"}, {"Textures\\B.DDS", "beta"}},
         {},
         2},
        {"one entry missing", {{"meshes\\a.nif", "alpha"}}, {"< textures\\b.dds"}, 1},
        {"one entry added, another longer",
         {{"meshes\\a.nif", "alpha!"}, {"meshes\\c.nif", "c"}, {"textures\\b.dds", "beta"}},
         {"! meshes\\a.nif", "> meshes\\c.nif"},
         1},
    };
    for (const uint32_t version : {104u, 105u}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(version));
            fixture::TempFolder temp;
            const TArchiveDiff diff = Diff(temp, version, base, c.second);
            EXPECT_EQ(DiffText(diff), c.expected);
            EXPECT_EQ(diff.same, c.same);
            EXPECT_EQ(diff.Equal(), c.expected.empty());
        }
    }
}

TEST(ArchiveDiff, HandedOutAsFoundWithTheEntryOfEachArchive) {
    fixture::TempFolder temp;
    TwbBSAFile first(WriteTestArchive(temp, "a.bsa", 105,
                                      {{"a\\gone.dds", "g"}, {"a\\same.dds", "s"}, {"b\\changed.dds", "1"}}));
    TwbBSAFile second(WriteTestArchive(temp, "b.bsa", 105,
                                       {{"A\\Same.dds", "s"}, {"a\\new.dds", "n"}, {"B\\Changed.dds", "2"}}));
    std::vector<std::string> found;
    const TArchiveDiff diff = DiffArchivesInto(first, second, [&](TArchiveDifference&& difference) {
        std::string text = ToUtf8(difference.entry) + ":";
        for (int side = 0; side < 2; ++side) {
            const TwbBSAFile& archive = side == 0 ? first : second;
            const TEntryRef entry = difference.entries[side];
            text +=
                " " + (entry == TArchiveDifference::kNoDiffEntry ? "-" : ToUtf8(archive.EntryString(entry)));
        }
        found.push_back(text);
    });
    EXPECT_EQ(found, (std::vector<std::string>{"a\\gone.dds: a\\gone.dds -", "a\\new.dds: - a\\new.dds",
                                               "b\\changed.dds: b\\changed.dds b\\Changed.dds"}));
    EXPECT_TRUE(diff.differences.empty());
    EXPECT_EQ(diff.same, 1u);
}

TEST(ArchiveDiff, LargeEntriesComparedPieceByPiece) {
    // Larger than what is compared whole; the last byte or the length tells them apart.
    std::string large(9 << 20, 'x');
    for (size_t i = 0; i < large.size(); i += 4093) {
        large[i] = static_cast<char>('a' + i % 26);
    }
    std::string lastByte = large;
    lastByte.back() = '!';
    const std::string longer = large + "?";
    fixture::TempFolder temp;
    const std::vector<TestEntry> entries = {
        {"big\\same.bin", large}, {"big\\last.bin", large}, {"big\\length.bin", large}};
    const std::vector<TestEntry> other = {
        {"big\\same.bin", large}, {"big\\last.bin", lastByte}, {"big\\length.bin", longer}};
    const TArchiveDiff diff = Diff(temp, 105, entries, other);
    EXPECT_EQ(DiffText(diff), (std::vector<std::string>{"! big\\last.bin", "! big\\length.bin"}));
    EXPECT_EQ(diff.same, 1u);
}

TEST(ArchiveDiff, UnreadableEntryIsReportedWithTheArchive) {
    fixture::TempFolder temp;
    fixture::ArchiveSpec recipe =
        data_folder_test::Recipe(104, {{"a\\x.txt", "hello"}, {"a\\y.txt", "same"}});
    recipe.folders[0].files[0].packedOverride = std::vector<uint8_t>{1, 2, 3, 4, 5, 6};
    TwbBSAFile first(temp.Write("a.bsa", fixture::BuildArchive(recipe)));
    TwbBSAFile second(WriteTestArchive(temp, "b.bsa", 104, {{"a\\x.txt", "hello"}, {"a\\y.txt", "same"}}));
    const TArchiveDiff diff = DiffArchives(second, first);
    ASSERT_EQ(diff.differences.size(), 1u);
    EXPECT_EQ(diff.differences[0].kind, TArchiveDifference::Kind::Unreadable);
    EXPECT_EQ(diff.differences[0].side, 1);
    EXPECT_FALSE(diff.differences[0].reason.empty());
    EXPECT_TRUE(diff.Unreadable());
    EXPECT_EQ(diff.same, 1u);
}

} // namespace
