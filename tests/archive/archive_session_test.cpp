// The archive session: opening into an empty session only, listing entry strings, fetching entries by the
// parts of those strings with every error turned into false, and releasing the reader with its file.
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/archive_session.h"
#include "base/ustring.h"
#include "extract/entry_path.h"
#include "fixtures/system_errors.h"
#include "tests/archive/archive_test_util.h"

namespace {

using archive_test::Bytes;
using archive_test::Entry;
using fixture::Storage;
using test_support::Error;
using test_support::Raises;

const std::vector<uint8_t> kJunk = {0xDE, 0xAD, 0xBE, 0xEF};

// Root files in a folder with an empty name and in ".", nested folders, both kinds of storage, an empty entry
// and a damaged one.
fixture::ArchiveSpec SessionArchive() {
    fixture::ArchiveSpec recipe;
    recipe.version = 105;
    recipe.flags = 0x7;
    fixture::EntrySpec damaged = Entry("broken.nif", fixture::CompressibleBytes(800, 1), Storage::Lz4Frame);
    damaged.packedOverride = std::vector<uint8_t>(30, 0x42);
    recipe.folders = {
        {"", {Entry("readme.txt", Bytes("root readme"))}, uint8_t{0}},
        {".", {Entry("notes.txt", Bytes("dot notes"), Storage::Lz4Frame)}},
        {"meshes\\actors",
         {Entry("Body.NIF", fixture::CompressibleBytes(20000, 2), Storage::Lz4Frame), damaged,
          Entry("empty.nif", {})}},
        {"sound\\fx",
         {Entry("a.b.wav", fixture::RandomBytes(3000, 3)), Entry("noext", Bytes("no extension"))}},
    };
    return recipe;
}

// Expected bytes by entry string.
std::map<std::string, std::vector<uint8_t>> ExpectedEntries(const fixture::ArchiveSpec& recipe) {
    std::map<std::string, std::vector<uint8_t>> entries;
    for (const fixture::FolderSpec& folder : recipe.folders) {
        for (const fixture::EntrySpec& entry : folder.files) {
            entries[folder.name + "\\" + entry.name] = entry.data;
        }
    }
    return entries;
}

class ArchiveSessionTest : public ::testing::Test {
protected:
    void SetUp() override { path = temp.Write("session.bsa", fixture::BuildArchive(recipe)); }

    const fixture::TempFolder temp;
    const fixture::ArchiveSpec recipe = SessionArchive();
    std::u16string path;
    TArchiveSession archive;
};

TEST_F(ArchiveSessionTest, ListedEntriesSplitAndFetchBackExactly) {
    ArchiveOpen(archive, path);
    ASSERT_TRUE(archive);
    TStringList list;
    list.Add(u"stale");
    ASSERT_TRUE(ArchiveExportFileList(archive, path, list));

    const auto expected = ExpectedEntries(recipe);
    std::vector<std::string> listed;
    for (const auto& item : list.Items()) {
        const std::string entry = ToUtf8(item.string);
        listed.push_back(entry);
        SCOPED_TRACE(entry);
        const rFileData parts = SplitEntryPath(item.string);
        TBytes buffer = kJunk;
        const bool fetched =
            ArchiveGetFile(archive, buffer, path, parts.fPath, parts.fName, parts.fExt, true);
        if (entry == "meshes\\actors\\broken.nif") {
            EXPECT_FALSE(fetched);
            EXPECT_TRUE(buffer.empty());
        } else {
            EXPECT_TRUE(fetched);
            EXPECT_EQ(buffer, expected.at(entry));
        }
    }
    const std::vector<std::string> expectedOrder = {
        "\\readme.txt",
        ".\\notes.txt",
        "meshes\\actors\\Body.NIF",
        "meshes\\actors\\broken.nif",
        "meshes\\actors\\empty.nif",
        "sound\\fx\\a.b.wav",
        "sound\\fx\\noext",
    };
    EXPECT_EQ(listed, expectedOrder);
}

TEST_F(ArchiveSessionTest, FetchFailuresGiveFalseWithAnEmptyBufferAndTheNextFetchWorks) {
    ArchiveOpen(archive, path);
    TBytes buffer = kJunk;
    EXPECT_FALSE(ArchiveGetFile(archive, buffer, path, u"meshes\\actors", u"broken", u".nif", true));
    EXPECT_TRUE(buffer.empty());
    buffer = kJunk;
    EXPECT_FALSE(ArchiveGetFile(archive, buffer, path, u"meshes\\actors", u"missing", u".nif", true));
    EXPECT_TRUE(buffer.empty());
    buffer = kJunk;
    EXPECT_FALSE(ArchiveGetFile(archive, buffer, path, u"meshes", u"Body", u".NIF", true));
    EXPECT_TRUE(buffer.empty());

    EXPECT_TRUE(ArchiveGetFile(archive, buffer, path, u"MESHES\\ACTORS", u"body", u".nif", true));
    EXPECT_EQ(buffer, fixture::CompressibleBytes(20000, 2));
}

TEST_F(ArchiveSessionTest, ExistenceTestNeverFillsTheBuffer) {
    ArchiveOpen(archive, path);
    TBytes buffer = kJunk;
    EXPECT_TRUE(ArchiveGetFile(archive, buffer, path, u"meshes\\actors", u"body", u".nif", false));
    EXPECT_TRUE(buffer.empty());
    // Existence says nothing about whether the data can be read.
    EXPECT_TRUE(ArchiveGetFile(archive, buffer, path, u"meshes\\actors", u"broken", u".nif", false));
    EXPECT_FALSE(ArchiveGetFile(archive, buffer, path, u"meshes\\actors", u"absent", u".nif", false));
    EXPECT_TRUE(buffer.empty());
}

TEST_F(ArchiveSessionTest, OpenOnAHeldSessionKeepsTheHeldReader) {
    fixture::ArchiveSpec other;
    other.folders = {{"other", {Entry("x.txt", Bytes("x"))}}};
    const std::u16string otherPath = temp.Write("other.bsa", fixture::BuildArchive(other));

    ArchiveOpen(archive, path);
    const TwbBSAFile* held = archive.get();
    ArchiveOpen(archive, otherPath);
    EXPECT_EQ(archive.get(), held);
    TStringList list;
    ASSERT_TRUE(ArchiveExportFileList(archive, otherPath, list));
    EXPECT_EQ(ToUtf8(list.Strings(0)), "\\readme.txt");

    ArchiveFree(archive);
    ArchiveOpen(archive, otherPath);
    ASSERT_TRUE(ArchiveExportFileList(archive, otherPath, list));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(ToUtf8(list.Strings(0)), "other\\x.txt");
}

TEST_F(ArchiveSessionTest, OpenErrorsPassOutAndLeaveTheSessionEmpty) {
    const std::u16string notAnArchive = temp.Write("text.bsa", Bytes("This is not an archive at all."));
    EXPECT_TRUE(Raises([&] { ArchiveOpen(archive, notAnArchive); },
                       Error<Exception>(notAnArchive + u" is not a valid BSA file")));
    EXPECT_FALSE(archive);

    const std::u16string missing = temp.U16("absent.bsa");
    EXPECT_TRUE(Raises([&] { ArchiveOpen(archive, missing); },
                       Error<EStreamError>(u"Cannot open " + missing + u".  " +
                                           fixture::SystemText(fixture::kErrorFileNotFound))));
    EXPECT_FALSE(archive);
}

TEST_F(ArchiveSessionTest, ArchiveWithoutEntriesListsNothingAfterClearing) {
    fixture::ArchiveSpec empty;
    empty.folders = {{"meshes", {}}};
    const std::u16string emptyPath = temp.Write("empty.bsa", fixture::BuildArchive(empty));
    ArchiveOpen(archive, emptyPath);
    TStringList list;
    list.Add(u"stale");
    EXPECT_FALSE(ArchiveExportFileList(archive, emptyPath, list));
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(ArchiveSessionTest, EmptySessionAnswersFalseAndFreeingTwiceIsHarmless) {
    TStringList list;
    list.Add(u"stale");
    EXPECT_FALSE(ArchiveExportFileList(archive, path, list));
    EXPECT_EQ(list.Count(), 0);
    TBytes buffer = kJunk;
    EXPECT_FALSE(ArchiveGetFile(archive, buffer, path, u"meshes\\actors", u"body", u".nif", true));
    EXPECT_TRUE(buffer.empty());

    ArchiveOpen(archive, path);
    ArchiveFree(archive);
    EXPECT_FALSE(archive);
    ArchiveFree(archive);
    EXPECT_FALSE(archive);
}

#ifdef __linux__
size_t OpenFileCount() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

// The reader holds its archive file open while held, and releasing it closes the file, also after a failed
// open.
TEST_F(ArchiveSessionTest, ReleasingTheReaderClosesItsFile) {
    const size_t before = OpenFileCount();
    ArchiveOpen(archive, path);
    EXPECT_EQ(OpenFileCount(), before + 1);
    TBytes buffer;
    ArchiveGetFile(archive, buffer, path, u"meshes\\actors", u"body", u".nif", true);
    EXPECT_EQ(OpenFileCount(), before + 1);
    ArchiveFree(archive);
    EXPECT_EQ(OpenFileCount(), before);

    std::vector<uint8_t> truncated = fixture::BuildArchive(recipe);
    truncated.resize(100);
    const std::u16string truncatedPath = temp.Write("truncated.bsa", truncated);
    EXPECT_TRUE(
        Raises([&] { ArchiveOpen(archive, truncatedPath); },
               Error<Exception>(truncatedPath +
                                u" is not a valid BSA file: folder count 4 does not fit in the file")));
    EXPECT_EQ(OpenFileCount(), before);
}
#endif

} // namespace
