// Reaching one entry: found once by its entry string, described and read through its reference, every failure
// of the reader turned into the entry's reason, and a destination's own write errors passed on as they are.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/ustring.h"
#include "extract/entry_fetch.h"
#include "fixtures/memory_streams.h"
#include "tests/archive/archive_test_util.h"

namespace {

using archive_test::Bytes;
using archive_test::Entry;
using fixture::Storage;
using test_support::Error;
using test_support::Raises;

fixture::ArchiveSpec Archive() {
    fixture::EntrySpec damaged = Entry("broken.nif", fixture::CompressibleBytes(4000, 1), Storage::Zlib);
    damaged.packedOverride = std::vector<uint8_t>(50, 0xAB);
    fixture::ArchiveSpec recipe;
    recipe.version = 104;
    recipe.folders = {
        {"meshes\\actors", {Entry("Body.NIF", Bytes("body")), damaged}},
        {"", {Entry("root.txt", Bytes("root"))}},
        {".", {Entry("dot.txt", Bytes("dot"))}},
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
    TBytes buffer = Bytes("junk");
    const TFetchResult good = FetchEntry(bsa, *FindEntryByString(bsa, u"meshes\\actors\\body.nif"), buffer);
    EXPECT_TRUE(good);
    EXPECT_TRUE(good.reason.empty());
    EXPECT_EQ(buffer, Bytes("body"));

    const TFetchResult broken =
        FetchEntry(bsa, *FindEntryByString(bsa, u"meshes\\actors\\broken.nif"), buffer);
    EXPECT_FALSE(broken);
    EXPECT_EQ(ToUtf8(broken.reason), "Erreur");
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
    EXPECT_EQ(ToUtf8(broken.reason), "Erreur");
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

} // namespace
