// Reaching an archive and its entries: opened, listed, an entry found once by its entry string, described and
// read through its reference, every failure of the reader turned into a reason, and a destination's own write
// errors passed on as they are; the archive's file closed with its reader.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/ustring.h"
#include "extract/entry_fetch.h"
#include "fixtures/memory_streams.h"
#include "fixtures/system_errors.h"
#include "tests/archive/archive_test_util.h"

namespace {

using archive_test::Entry;
using archive_test::TextBytes;
using fixture::Storage;
using test_support::Error;
using test_support::Raises;

fixture::ArchiveSpec Archive() {
    fixture::EntrySpec damaged = Entry("broken.nif", fixture::CompressibleBytes(4000, 1), Storage::Zlib);
    damaged.packedOverride = std::vector<uint8_t>(50, 0xAB);
    fixture::ArchiveSpec recipe;
    recipe.version = 104;
    recipe.folders = {
        {"meshes\\actors", {Entry("Body.NIF", TextBytes("body")), damaged}},
        {"", {Entry("root.txt", TextBytes("root"))}},
        {".", {Entry("dot.txt", TextBytes("dot"))}},
        {"big", {Entry("large.bin", fixture::CompressibleBytes(3 << 20, 2), Storage::Zlib)}},
    };
    return recipe;
}

TEST(EntryFetch, EntryStringsAsListedOrTypedFindTheirEntry) {
    const fixture::TempFolder temp;
    const archive_test::OpenedArchive archive = archive_test::OpenFixture(temp, Archive());
    const TwbBSAFile& bsa = *archive.bsa;
    const struct {
        std::u16string entry;
        std::optional<std::u16string> found; // the listed entry string it names
    } cases[] = {
        {u"meshes\\actors\\Body.NIF", u"meshes\\actors\\Body.NIF"},
        {u"MESHES\\ACTORS\\body.nif", u"meshes\\actors\\Body.NIF"},
        {u"meshes/actors/Body.NIF", u"meshes\\actors\\Body.NIF"},
        {u"\\root.txt", u"\\root.txt"},
        {u".\\dot.txt", u".\\dot.txt"},
        {u"root.txt", u"\\root.txt"}, // no folder part: the folder with an empty name
        {u"meshes\\actors\\", std::nullopt},
        {u"meshes\\actors", std::nullopt},
        {u"meshes\\actors\\Body.NIF ", std::nullopt},
        {u"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.entry));
        const std::optional<TEntryRef> found = FindEntryByString(bsa, c.entry);
        ASSERT_EQ(found.has_value(), c.found.has_value());
        if (found) {
            EXPECT_EQ(bsa.EntryString(*found), *c.found);
        }
    }
}

TEST(EntryFetch, ReadsTheEntryOrSaysWhyNot) {
    const fixture::TempFolder temp;
    const archive_test::OpenedArchive archive = archive_test::OpenFixture(temp, Archive());
    TwbBSAFile& bsa = *archive.bsa;
    TBytes buffer = TextBytes("junk");
    const TFetchResult good = FetchEntry(bsa, *FindEntryByString(bsa, u"meshes\\actors\\body.nif"), buffer);
    EXPECT_TRUE(good);
    EXPECT_TRUE(good.reason.empty());
    EXPECT_EQ(buffer, TextBytes("body"));

    const TFetchResult broken =
        FetchEntry(bsa, *FindEntryByString(bsa, u"meshes\\actors\\broken.nif"), buffer);
    EXPECT_FALSE(broken);
    EXPECT_EQ(ToUtf8(broken.reason), "zlib data damaged: Erreur");
    EXPECT_FALSE(broken.unexpected);
    EXPECT_TRUE(buffer.empty());
}

// A destination whose stream refuses bytes: its own error passes on, never taken for the entry's.
class TFailingDestination : public TEntryDestination, private TStream {
public:
    TStream& Begin(uint64_t size) override {
        told = size;
        return *this;
    }
    std::optional<uint64_t> told;

private:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t) override { throw EWriteError(); }
    int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
    using TStream::Seek;
};

class TCollectingDestination : public TEntryDestination {
public:
    TStream& Begin(uint64_t) override { return sink; }
    fixture::TByteSink sink;
};

TEST(EntryFetch, InPiecesTheDestinationsErrorsPassAndTheReadersBecomeReasons) {
    const fixture::TempFolder temp;
    const archive_test::OpenedArchive archive = archive_test::OpenFixture(temp, Archive());
    TwbBSAFile& bsa = *archive.bsa;
    const TEntryRef large = *FindEntryByString(bsa, u"big\\large.bin");

    TCollectingDestination collected;
    EXPECT_TRUE(FetchEntryInPieces(bsa, large, collected));
    EXPECT_TRUE(collected.sink.written == fixture::CompressibleBytes(3 << 20, 2));

    TFailingDestination failing;
    EXPECT_TRUE(
        Raises([&] { (void)FetchEntryInPieces(bsa, large, failing); }, Error<EWriteError>(kWriteErrorText)));
    EXPECT_EQ(failing.told, std::optional<uint64_t>(3 << 20));

    TCollectingDestination damaged;
    const TFetchResult broken =
        FetchEntryInPieces(bsa, *FindEntryByString(bsa, u"meshes\\actors\\broken.nif"), damaged);
    EXPECT_FALSE(broken);
    EXPECT_EQ(ToUtf8(broken.reason), "zlib data damaged: Erreur");
}

// zlib's own texts say nothing of what failed: the reason names it, whole or in pieces, small or large.
TEST(EntryFetch, ZlibFailuresSayThatTheZlibDataIsDamaged) {
    const fixture::TempFolder temp;
    const std::vector<uint8_t> large = fixture::CompressibleBytes(3 << 20, 3);
    fixture::EntrySpec damagedLarge = Entry("damaged.bin", large, Storage::Zlib);
    damagedLarge.packedOverride = fixture::ZlibCompress(large);
    (*damagedLarge.packedOverride)[damagedLarge.packedOverride->size() / 2] ^= 0xFF;
    fixture::EntrySpec longer = Entry("longer.bin", fixture::CompressibleBytes(4000, 4), Storage::Zlib);
    longer.uncompressedSizeOverride = 3000; // the stream holds more than the entry says
    fixture::EntrySpec dictionary = Entry("dictionary.bin", TextBytes("needs a dictionary"), Storage::Zlib);
    dictionary.packedOverride = std::vector<uint8_t>{0x78, 0x20, 0, 0, 0, 1, 0x4B, 0x04, 0}; // FDICT set
    fixture::ArchiveSpec recipe = Archive();
    recipe.folders.push_back({"z", {damagedLarge, dictionary, longer}});
    const archive_test::OpenedArchive archive = archive_test::OpenFixture(temp, recipe);
    TwbBSAFile& bsa = *archive.bsa;
    const std::string tooSmall =
        "zlib data damaged: Erreur ZLib : le tampon de destination est peut-\xC3\xAAtre "
        "trop petit";
    const struct {
        std::u16string entry;
        std::string reason;
    } cases[] = {
        {u"meshes\\actors\\broken.nif", "zlib data damaged: Erreur"},
        {u"z\\damaged.bin", "zlib data damaged: Erreur"},
        {u"z\\longer.bin", "zlib data damaged: Erreur"},
        {u"z\\dictionary.bin", tooSmall},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.entry));
        const TEntryRef entry = *FindEntryByString(bsa, c.entry);
        TBytes buffer;
        const TFetchResult whole = FetchEntry(bsa, entry, buffer);
        EXPECT_EQ(ToUtf8(whole.reason), c.reason);
        TCollectingDestination collected;
        const TFetchResult inPieces = FetchEntryInPieces(bsa, entry, collected);
        EXPECT_EQ(ToUtf8(inPieces.reason), c.reason);
    }
}

TEST(EntryFetch, DescribesHowAnEntryIsStored) {
    const fixture::TempFolder temp;
    const struct {
        uint32_t version;
        Storage storage;
        std::string packing;
    } cases[] = {
        {104, Storage::Raw, "raw"},
        {104, Storage::Zlib, "zlib"},
        {105, Storage::Lz4Frame, "LZ4 frame"},
        {105, Storage::Lz4Legacy, "LZ4 legacy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.packing);
        fixture::ArchiveSpec recipe;
        recipe.version = c.version;
        recipe.folders = {{"f", {Entry("e.bin", fixture::CompressibleBytes(1000, 3), c.storage)}}};
        const archive_test::OpenedArchive archive = archive_test::OpenFixture(temp, recipe);
        TEntryDescription description;
        ASSERT_TRUE(DescribeEntry(*archive.bsa, *FindEntryByString(*archive.bsa, u"f\\e.bin"), description));
        EXPECT_EQ(ToUtf8(PackingName(description.packing)), c.packing);
        EXPECT_EQ(description.storage.compressed, c.storage != Storage::Raw);
        EXPECT_EQ(description.storage.storedSize, archive.layout.entries[0].storedBytes);
    }
}

// Root files in a folder with an empty name and in ".", nested folders, both kinds of storage, an empty entry
// and a damaged one.
fixture::ArchiveSpec MixedArchive() {
    fixture::ArchiveSpec recipe;
    recipe.version = 105;
    recipe.flags = 0x7;
    fixture::EntrySpec damaged = Entry("broken.nif", fixture::CompressibleBytes(800, 1), Storage::Lz4Frame);
    damaged.packedOverride = std::vector<uint8_t>(30, 0x42);
    recipe.folders = {
        {"", {Entry("readme.txt", TextBytes("root readme"))}, uint8_t{0}},
        {".", {Entry("notes.txt", TextBytes("dot notes"), Storage::Lz4Frame)}},
        {"meshes\\actors",
         {Entry("Body.NIF", fixture::CompressibleBytes(20000, 2), Storage::Lz4Frame), damaged,
          Entry("empty.nif", {})}},
        {"sound\\fx",
         {Entry("a.b.wav", fixture::RandomBytes(3000, 3)), Entry("noext", TextBytes("no extension"))}},
    };
    return recipe;
}

TEST(ArchiveAccess, ListedEntriesAreFoundAndReadBackExactly) {
    const fixture::TempFolder temp;
    const fixture::ArchiveSpec recipe = MixedArchive();
    const std::u16string path = temp.Write("mixed.bsa", fixture::BuildArchive(recipe));
    TOpenedArchive opened = OpenArchive(path);
    ASSERT_TRUE(opened.result) << ToUtf8(opened.result.reason);
    TwbBSAFile& bsa = *opened.reader;

    std::map<std::string, std::vector<uint8_t>> expected;
    for (const fixture::FolderSpec& folder : recipe.folders) {
        for (const fixture::EntrySpec& entry : folder.files) {
            expected[folder.name + "\\" + entry.name] = entry.data;
        }
    }
    std::vector<std::string> listed;
    for (TEntryRef entry = 0; entry < bsa.FileCount(); ++entry) {
        const std::u16string entryString = bsa.EntryString(entry);
        listed.push_back(ToUtf8(entryString));
        SCOPED_TRACE(listed.back());
        ASSERT_EQ(bsa.FindEntry(entryString), std::optional<TEntryRef>(entry));
        TBytes buffer = TextBytes("junk");
        const TFetchResult fetched = FetchEntry(bsa, entry, buffer);
        if (listed.back() == "meshes\\actors\\broken.nif") {
            EXPECT_EQ(ToUtf8(fetched.reason), "lz4 decompression size mismatch");
            EXPECT_TRUE(buffer.empty());
        } else {
            EXPECT_TRUE(fetched);
            EXPECT_EQ(buffer, expected.at(listed.back()));
        }
    }
    EXPECT_EQ(listed, (std::vector<std::string>{"\\readme.txt", ".\\notes.txt", "meshes\\actors\\Body.NIF",
                                                "meshes\\actors\\broken.nif", "meshes\\actors\\empty.nif",
                                                "sound\\fx\\a.b.wav", "sound\\fx\\noext"}));
}

TEST(ArchiveAccess, ArchivesThatCannotBeOpenedSayWhy) {
    const fixture::TempFolder temp;
    const std::u16string notAnArchive = temp.Write("text.bsa", TextBytes("This is not an archive at all."));
    const std::u16string missing = temp.U16("absent.bsa");
    std::vector<uint8_t> truncated = fixture::BuildArchive(MixedArchive());
    truncated.resize(100);
    const std::u16string truncatedPath = temp.Write("truncated.bsa", truncated);
    fixture::ArchiveSpec empty;
    empty.folders = {{"meshes", {}}};
    const std::u16string emptyPath = temp.Write("empty.bsa", fixture::BuildArchive(empty));

    const struct {
        std::u16string path;
        std::u16string reason; // empty: opens
    } cases[] = {
        {notAnArchive, notAnArchive + u" is not a valid BSA file"},
        {missing, u"Cannot open " + missing + u".  " + fixture::SystemText(fixture::kErrorFileNotFound)},
        {truncatedPath, truncatedPath + u" is not a valid BSA file: folder count 4 does not fit in the file"},
        {emptyPath, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.path));
        const TOpenedArchive opened = OpenArchive(c.path);
        EXPECT_EQ(opened.result.fetched, c.reason.empty());
        EXPECT_EQ(opened.result.reason, c.reason);
        EXPECT_FALSE(opened.result.unexpected);
        EXPECT_EQ(opened.reader != nullptr, c.reason.empty());
        if (opened.reader) {
            EXPECT_EQ(opened.reader->FileCount(), 0u); // its folder holds nothing to list
        }
    }
}

#ifdef __linux__
size_t OpenFileCount() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

// The reader holds its archive file open while it lives, and closes it when it goes, also after a failed
// open.
TEST(ArchiveAccess, TheReaderClosesItsFile) {
    const fixture::TempFolder temp;
    const std::vector<uint8_t> whole = fixture::BuildArchive(MixedArchive());
    const std::u16string path = temp.Write("mixed.bsa", whole);
    const std::u16string truncatedPath =
        temp.Write("truncated.bsa", std::vector<uint8_t>(whole.begin(), whole.begin() + 100));
    const size_t before = OpenFileCount();
    {
        TOpenedArchive opened = OpenArchive(path);
        EXPECT_EQ(OpenFileCount(), before + 1);
        TBytes buffer;
        EXPECT_TRUE(
            FetchEntry(*opened.reader, *opened.reader->FindEntry(u"meshes\\actors\\body.nif"), buffer));
        EXPECT_EQ(OpenFileCount(), before + 1);
    }
    EXPECT_EQ(OpenFileCount(), before);
    EXPECT_FALSE(OpenArchive(truncatedPath).result);
    EXPECT_EQ(OpenFileCount(), before);
}
#endif

} // namespace
