// Entry lookup and entry data: case-insensitive lookup, the compression rule (archive flag 0x4 and size-word
// bit 30), embedded names, zlib in version 104 and LZ4 in version 105, the sizes an entry can state, and
// damaged entries, which fail one by one and leave the archive usable.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "archive/bsa_file.h"
#include "base/ustring.h"
#include "compression/zlib_decompress.h"
#include "tests/archive/archive_test_util.h"

namespace {

using archive_test::Entry;
using archive_test::Fetch;
using archive_test::FetchInPieces;
using archive_test::GetFile;
using archive_test::OpenFixture;
using archive_test::PackingOf;
using archive_test::ReadError;
using archive_test::TextBytes;
using fixture::Storage;
using test_support::Error;
using test_support::ExpectedError;
using test_support::Raises;

constexpr uint32_t kToggle = 0x40000000;

const std::vector<uint8_t> kJunk = {0xDE, 0xAD, 0xBE, 0xEF};

TEST(BsaEntryLookup, FolderAndFileAreFoundWhateverTheirCase) {
    fixture::ArchiveSpec recipe;
    recipe.folders = {{"Meshes\\Actors", {Entry("Body.NIF", TextBytes("body"))}}};
    const fixture::TempFolder temp;
    const auto opened = OpenFixture(temp, recipe);
    for (const auto& [folder, name, ext] :
         std::vector<std::tuple<std::u16string, std::u16string, std::u16string>>{
             {u"MESHES\\ACTORS", u"body", u".nif"},
             {u"meshes\\actors", u"Body", u".NIF"},
             {u"Meshes\\Actors", u"body.nif", u""},
         }) {
        SCOPED_TRACE(ToUtf8(folder + u"\\" + name + ext));
        TBytes buffer = kJunk;
        EXPECT_TRUE(GetFile(*opened.bsa, folder, name, ext, true, buffer));
        EXPECT_EQ(buffer, TextBytes("body"));
    }
}

TEST(BsaEntryLookup, MissingEntriesGiveFalseAndAnEmptyBuffer) {
    fixture::ArchiveSpec recipe;
    recipe.folders = {{"meshes\\actors", {Entry("body.nif", TextBytes("body"))}}, {"meshes", {}}};
    const fixture::TempFolder temp;
    const auto opened = OpenFixture(temp, recipe);
    for (const auto& [folder, name, ext] :
         std::vector<std::tuple<std::u16string, std::u16string, std::u16string>>{
             {u"meshes\\actor", u"body", u".nif"},
             {u"meshes\\actors\\", u"body", u".nif"},
             {u"", u"body", u".nif"},
             {u"meshes", u"body", u".nif"},
             {u"meshes\\actors", u"body", u""},
             {u"meshes\\actors", u"body", u".nif "},
         }) {
        SCOPED_TRACE(ToUtf8(folder + u"|" + name + u"|" + ext));
        TBytes buffer = kJunk;
        EXPECT_FALSE(GetFile(*opened.bsa, folder, name, ext, true, buffer));
        EXPECT_TRUE(buffer.empty());
        buffer = kJunk;
        EXPECT_FALSE(GetFile(*opened.bsa, folder, name, ext, false, buffer));
        EXPECT_TRUE(buffer.empty());
    }
}

// Names that differ only in case, and names that only a folding with expansions (\u00df to "ss") would make
// equal: each listed entry string yields the bytes of its own entry, and the listing keeps its order.
TEST(BsaEntryLookup, EveryListedEntryYieldsItsOwnBytes) {
    struct Case {
        std::string label;
        std::vector<fixture::FolderSpec> folders;                    // records in this order
        std::vector<std::pair<std::u16string, std::string>> listing; // entry string, its bytes
    };
    const std::vector<Case> cases = {
        {"file names differing in case",
         {{"textures", {Entry("a.dds", TextBytes("lower")), Entry("A.dds", TextBytes("upper"))}}},
         {{u"textures\\a.dds", "lower"}, {u"textures\\A.dds", "upper"}}},
        {"accented names differing in case",
         {{"x",
           {Entry("\xC9"
                  "COLE.txt",
                  TextBytes("upper")),
            Entry("\xE9"
                  "cole.txt",
                  TextBytes("lower"))}}},
         {{u"x\\\u00c9COLE.txt", "upper"}, {u"x\\\u00e9cole.txt", "lower"}}},
        {"sharp s beside ss",
         {{"x",
           {Entry("stra\xDF"
                  "e.txt",
                  TextBytes("sharp")),
            Entry("strasse.txt", TextBytes("double"))}}},
         {{u"x\\strasse.txt", "double"}, {u"x\\stra\u00dfe.txt", "sharp"}}},
        {"folders with sharp s and ss",
         {{"ma\xDF"
           "e",
           {Entry("f.txt", TextBytes("sharp"))}},
          {"masse", {Entry("f.txt", TextBytes("double"))}}},
         {{u"masse\\f.txt", "double"}, {u"ma\u00dfe\\f.txt", "sharp"}}},
        {"names differing in case in a folder between plain ones",
         {{"a", {Entry("x.dds", TextBytes("a"))}},
          {"b", {Entry("c.dds", TextBytes("lower")), Entry("C.dds", TextBytes("upper"))}},
          {"c", {Entry("y.dds", TextBytes("c"))}}},
         {{u"a\\x.dds", "a"}, {u"b\\c.dds", "lower"}, {u"b\\C.dds", "upper"}, {u"c\\y.dds", "c"}}},
        {"two folder records that lower-case alike",
         {{"Textures", {Entry("b.dds", TextBytes("first"))}},
          {"textures", {Entry("a.dds", TextBytes("second"))}}},
         {{u"textures\\b.dds", "first"}, {u"textures\\a.dds", "second"}}},
        {"two folder records and names differing in case",
         {{"Textures", {Entry("A.dds", TextBytes("first"))}},
          {"textures", {Entry("a.dds", TextBytes("second"))}}},
         {{u"textures\\A.dds", "first"}, {u"textures\\a.dds", "second"}}},
    };
    const fixture::TempFolder temp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fixture::ArchiveSpec recipe;
        recipe.orderByHash = false;
        recipe.folders = c.folders;
        const auto opened = OpenFixture(temp, recipe);
        std::vector<std::u16string> expectedListing;
        for (const auto& [entry, bytes] : c.listing) {
            expectedListing.push_back(entry);
        }
        EXPECT_EQ(archive_test::EntryStrings(*opened.bsa), expectedListing);
        for (const auto& [entry, bytes] : c.listing) {
            const size_t slash = entry.rfind(u'\\');
            EXPECT_EQ(Fetch(*opened.bsa, entry.substr(0, slash), entry.substr(slash + 1)), TextBytes(bytes))
                << ToUtf8(entry);
        }
    }
}

// Archives can make many entries look alike: thousands of folder records of one name, names equal up to case.
// However many there are, every lookup finds the entry its listed name gives in a few binary-search steps;
// searching every folder of a name in turn made extracting such an archive take time quadratic in its size.
TEST(BsaEntryLookup, LookupsStayLogarithmicWhateverTheNamesShare) {
    constexpr size_t kCount = 1 << 14;
    // Every lower/upper-case mix of a 14-letter name is its own entry.
    const auto caseVariant = [](size_t bits) {
        std::string name = "abcdefghijklmn";
        for (size_t i = 0; i < name.size(); ++i) {
            if ((bits >> i) & 1) {
                name[i] = static_cast<char>(name[i] - 'a' + 'A');
            }
        }
        return name + ".txt";
    };
    struct Case {
        std::string label;
        std::function<std::vector<fixture::FolderSpec>()> folders;
        bool namesRepeat; // every entry string is the same: the first entry answers for all
    };
    const std::vector<Case> cases = {
        {"many folders of one name, a file each",
         [] {
             std::vector<fixture::FolderSpec> folders(kCount);
             for (size_t i = 0; i < kCount; ++i) {
                 folders[i] = {"a", {Entry("f" + std::to_string(i) + ".txt", TextBytes(std::to_string(i)))}};
             }
             return folders;
         },
         false},
        {"many folders of one name, one file name",
         [] {
             std::vector<fixture::FolderSpec> folders(kCount);
             for (size_t i = 0; i < kCount; ++i) {
                 folders[i] = {"a", {Entry("f.txt", TextBytes(std::to_string(i)))}};
             }
             return folders;
         },
         true},
        {"one folder of names equal up to case",
         [&] {
             std::vector<fixture::FolderSpec> folders(1, {"a", {}});
             for (size_t i = 0; i < kCount; ++i) {
                 folders[0].files.push_back(Entry(caseVariant(i), TextBytes(std::to_string(i))));
             }
             return folders;
         },
         false},
    };
    const fixture::TempFolder temp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fixture::ArchiveSpec recipe;
        recipe.orderByHash = false;
        recipe.folders = c.folders();
        const auto opened = OpenFixture(temp, recipe);
        const TwbBSAFile& bsa = *opened.bsa;
        ASSERT_EQ(bsa.FileCount(), kCount);
        const uint64_t stepsBefore = bsa.Index().LookupSteps();
        for (TEntryRef entry = 0; entry < kCount; ++entry) {
            const std::optional<TEntryRef> found =
                bsa.FindEntry(bsa.Index().FolderOf(entry).Name, bsa.Index().FileName(entry));
            ASSERT_EQ(found, std::optional<TEntryRef>(c.namesRepeat ? 0 : entry))
                << ToUtf8(bsa.EntryString(entry));
        }
        // A binary search of 2^14 entries takes 15 steps; a lookup does a handful of them.
        const uint64_t stepsPerLookup = (bsa.Index().LookupSteps() - stepsBefore) / kCount;
        EXPECT_LE(stepsPerLookup, 6u * 15u);
    }
}

// Asked only whether the entry exists, the reader must not touch its data: here the data lies past the end
// of the file, which a read would report.
TEST(BsaEntryLookup, ExistenceTestReadsNoData) {
    fixture::ArchiveSpec recipe;
    recipe.folders = {{"meshes", {Entry("a.nif", TextBytes("a"))}}};
    recipe.folders[0].files[0].offsetOverride = 0xFFFFFF00;
    const fixture::TempFolder temp;
    const auto opened = OpenFixture(temp, recipe);
    TBytes buffer = kJunk;
    EXPECT_TRUE(GetFile(*opened.bsa, u"meshes", u"a", u".nif", false, buffer));
    EXPECT_TRUE(buffer.empty());
}

struct StorageCase {
    uint32_t version;
    uint32_t flags;
    Storage storage;
    bool toggleBitExpected; // bit 30 of the size word: compression differs from the archive's default
    fixture::Lz4Options lz4 = {};
};

// The reader decides from the archive flag and bit 30 alone; a wrong decision decodes raw bytes or returns
// packed ones, and the round trip fails.
TEST(BsaEntryData, CompressionFollowsTheArchiveFlagAndTheToggleBit) {
    fixture::Lz4Options bigBlocksWithChecksum;
    bigBlocksWithChecksum.blockSizeId = 7;
    bigBlocksWithChecksum.contentChecksum = true;
    fixture::Lz4Options skippable;
    skippable.skippableFramesBefore = 2;
    skippable.skippableFrameAfter = true;
    fixture::Lz4Options withContentSize; // as some packers write them: a 15-byte frame header
    withContentSize.contentSize = true;
    const std::vector<StorageCase> cases = {
        {104, 0x3, Storage::Raw, false},
        {104, 0x3, Storage::Zlib, true},
        {104, 0x7, Storage::Zlib, false},
        {104, 0x7, Storage::Raw, true},
        {104, 0x103, Storage::Raw, false},
        {104, 0x103, Storage::Zlib, true},
        {104, 0x107, Storage::Zlib, false},
        {104, 0x107, Storage::Raw, true},
        {105, 0x3, Storage::Raw, false},
        {105, 0x3, Storage::Lz4Frame, true},
        {105, 0x7, Storage::Lz4Frame, false},
        {105, 0x7, Storage::Raw, true},
        {105, 0x103, Storage::Lz4Frame, true},
        {105, 0x107, Storage::Raw, true},
        {105, 0x107, Storage::Lz4Frame, false, bigBlocksWithChecksum},
        {105, 0x7, Storage::Lz4Frame, false, skippable},
        {105, 0x7, Storage::Lz4Frame, false, withContentSize},
        {105, 0x7, Storage::Lz4Legacy, false},
    };
    const std::vector<uint8_t> data = fixture::CompressibleBytes(150000, 3); // several 64 KiB LZ4 blocks
    const fixture::TempFolder temp;
    for (const StorageCase& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + ", flags " + std::to_string(c.flags) +
                     ", storage " + std::to_string(static_cast<int>(c.storage)));
        fixture::ArchiveSpec recipe;
        recipe.version = c.version;
        recipe.flags = c.flags;
        recipe.folders = {
            {"meshes\\actors", {Entry("body.nif", data, c.storage), Entry("empty.nif", {}, c.storage)}}};
        recipe.folders[0].files[0].lz4 = c.lz4;
        const auto opened = OpenFixture(temp, recipe);
        const fixture::EntryLayout& entry = opened.layout.FindEntry("meshes\\actors", "body.nif");
        ASSERT_EQ((entry.sizeWord & kToggle) != 0, c.toggleBitExpected);

        EXPECT_EQ(Fetch(*opened.bsa, u"meshes\\actors", u"body.nif"), data);
        EXPECT_TRUE(Fetch(*opened.bsa, u"meshes\\actors", u"empty.nif").empty());

        // What the preview names the storage by: LZ4 frames and legacy streams told apart.
        static constexpr TwbBSAFile::Packing kPackingOf[] = {
            TwbBSAFile::Packing::Raw, TwbBSAFile::Packing::Zlib, TwbBSAFile::Packing::Lz4Frame,
            TwbBSAFile::Packing::Lz4Legacy};
        TwbBSAFile::Packing packing{};
        ASSERT_TRUE(PackingOf(*opened.bsa, u"meshes\\actors", u"body.nif", packing));
        EXPECT_EQ(packing, kPackingOf[static_cast<int>(c.storage)]);
    }
}

// Packed bytes that open with no LZ4 part, or a skippable frame whose length runs past the entry, are named
// as such; nothing outside the entry is read to find that out.
TEST(BsaEntryData, PackingOfBytesThatAreNoLz4) {
    fixture::ArchiveSpec recipe;
    recipe.version = 105;
    recipe.flags = 0x107;
    recipe.folders = {{"meshes",
                       {Entry("junk.nif", TextBytes("abc"), Storage::Lz4Frame),
                        Entry("skip.nif", TextBytes("abc"), Storage::Lz4Frame)}}};
    recipe.folders[0].files[0].packedOverride = std::vector<uint8_t>{1, 2, 3, 4, 5};
    recipe.folders[0].files[1].packedOverride =
        std::vector<uint8_t>{0x5F, 0x2A, 0x4D, 0x18, 0xF0, 0xFF, 0xFF, 0x7F};
    const fixture::TempFolder temp;
    const auto opened = OpenFixture(temp, recipe);
    for (const char16_t* name : {u"junk.nif", u"skip.nif"}) {
        TwbBSAFile::Packing packing{};
        ASSERT_TRUE(PackingOf(*opened.bsa, u"meshes", name, packing));
        EXPECT_EQ(packing, TwbBSAFile::Packing::Lz4Unrecognised);
    }
    TwbBSAFile::Packing packing{};
    EXPECT_FALSE(PackingOf(*opened.bsa, u"meshes", u"none.nif", packing));
}

// Embedded names hold a path that may be another entry's (two records can share data): stepped over by their
// length, never compared with the entry's own name.
TEST(BsaEntryData, EmbeddedNamesAreSteppedOverNeverChecked) {
    for (uint32_t version : {104u, 105u}) {
        SCOPED_TRACE(version);
        const Storage packed = version == 105 ? Storage::Lz4Frame : Storage::Zlib;
        fixture::ArchiveSpec recipe;
        recipe.version = version;
        recipe.flags = 0x103;
        recipe.folders = {
            {"textures",
             {Entry("a.dds", TextBytes("raw a")), Entry("b.dds", fixture::CompressibleBytes(2000, 4), packed),
              Entry("c.dds", TextBytes("raw c")), Entry("d.dds", TextBytes("raw d"))}},
            {"textures\\copy", {Entry("a.dds", {}), Entry("b.dds", {})}},
        };
        recipe.folders[0].files[2].embeddedNameOverride = std::string(255, 'z');
        recipe.folders[0].files[3].embeddedNameOverride = "";
        recipe.folders[1].files[0].sharesDataWith = 0;
        recipe.folders[1].files[1].sharesDataWith = 1;
        const fixture::TempFolder temp;
        const auto opened = OpenFixture(temp, recipe);

        EXPECT_EQ(Fetch(*opened.bsa, u"textures", u"a.dds"), TextBytes("raw a"));
        EXPECT_EQ(Fetch(*opened.bsa, u"textures", u"b.dds"), fixture::CompressibleBytes(2000, 4));
        EXPECT_EQ(Fetch(*opened.bsa, u"textures", u"c.dds"), TextBytes("raw c"));
        EXPECT_EQ(Fetch(*opened.bsa, u"textures", u"d.dds"), TextBytes("raw d"));
        EXPECT_EQ(Fetch(*opened.bsa, u"textures\\copy", u"a.dds"), TextBytes("raw a"));
        EXPECT_EQ(Fetch(*opened.bsa, u"textures\\copy", u"b.dds"), fixture::CompressibleBytes(2000, 4));
    }
}

// Sizes that real archives rely on: an entry with nothing packed stands for U zero bytes, a zero U reads
// nothing after the prefix, and a zlib stream that ends early leaves the rest zero.
TEST(BsaEntryData, StatedSizesShapeTheResult) {
    struct Case {
        std::string label;
        uint32_t version;
        uint32_t flags;
        std::function<fixture::EntrySpec()> entry;
        std::vector<uint8_t> expected;
    };
    const auto packedAs = [](Storage storage, std::vector<uint8_t> packed, uint32_t uncompressed) {
        fixture::EntrySpec entry = Entry("e.bin", {}, storage);
        entry.packedOverride = std::move(packed);
        entry.uncompressedSizeOverride = uncompressed;
        return entry;
    };
    const std::vector<uint8_t> zlibPayload = fixture::ZlibCompress(TextBytes("zlib data"));
    std::vector<uint8_t> dataThenZeros = TextBytes("zlib data");
    dataThenZeros.resize(dataThenZeros.size() + 10);
    // The most that the packed bytes could expand to is still accepted.
    const uint32_t largestU = static_cast<uint32_t>(zlibPayload.size() * 1032 + 64);
    std::vector<uint8_t> dataThenManyZeros = TextBytes("zlib data");
    dataThenManyZeros.resize(largestU);
    const std::vector<Case> cases = {
        {"U 0 with junk packed (104)", 104, 0x3, [&] { return packedAs(Storage::Zlib, kJunk, 0); }, {}},
        {"U 0 with junk packed (105)", 105, 0x3, [&] { return packedAs(Storage::Lz4Frame, kJunk, 0); }, {}},
        {"S 4, U 100 (104)", 104, 0x7, [&] { return packedAs(Storage::Zlib, {}, 100); },
         std::vector<uint8_t>(100)},
        {"S 4, U 16 MiB (105)", 105, 0x7, [&] { return packedAs(Storage::Lz4Frame, {}, 16 << 20); },
         std::vector<uint8_t>(16 << 20)},
        {"S 4, U 100 (105)", 105, 0x7, [&] { return packedAs(Storage::Lz4Frame, {}, 100); },
         std::vector<uint8_t>(100)},
        {"S 4 + name, U 7", 105, 0x107, [&] { return packedAs(Storage::Lz4Frame, {}, 7); },
         std::vector<uint8_t>(7)},
        {"S 4, U at one packed byte's deflate bound", 104, 0x7,
         [&] { return packedAs(Storage::Zlib, {}, 1032 + 64); }, std::vector<uint8_t>(1032 + 64)},
        {"raw, S 0", 104, 0x3, [] { return Entry("e.bin", {}); }, {}},
        {"raw, only the embedded name", 105, 0x103, [] { return Entry("e.bin", {}); }, {}},
        {"zlib stream shorter than U", 104, 0x3, [&] { return packedAs(Storage::Zlib, zlibPayload, 19); },
         dataThenZeros},
        {"U at the deflate expansion bound", 104, 0x3,
         [&] { return packedAs(Storage::Zlib, zlibPayload, largestU); }, dataThenManyZeros},
    };
    const fixture::TempFolder temp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fixture::ArchiveSpec recipe;
        recipe.version = c.version;
        recipe.flags = c.flags;
        recipe.folders = {{"f", {c.entry()}}};
        const auto opened = OpenFixture(temp, recipe);
        TBytes buffer = kJunk;
        EXPECT_NO_THROW(EXPECT_TRUE(GetFile(*opened.bsa, u"f", u"e", u".bin", true, buffer)));
        EXPECT_EQ(buffer, c.expected);
        EXPECT_EQ(FetchInPieces(*opened.bsa, u"f", u"e.bin"), c.expected);
    }
}

// Entries larger than the pieces they are read in, in every storage, with and without embedded names: the
// same bytes as a whole read. The large entry's stored bytes are read piece by piece too; the zeros pack into
// a few stored bytes that decode into many pieces.
TEST(BsaEntryData, LargeEntriesReadInPiecesGiveTheWholeEntry) {
    const std::vector<uint8_t> data = fixture::CompressibleBytes((3 << 20) + 777, 13);
    const std::vector<uint8_t> zeros(9 << 20, 0);
    const fixture::TempFolder temp;
    for (uint32_t flags : {0x3u, 0x103u}) {
        for (uint32_t version : {104u, 105u}) {
            SCOPED_TRACE(std::to_string(version) + (flags == 0x103 ? " with embedded names" : ""));
            fixture::ArchiveSpec recipe;
            recipe.version = version;
            recipe.flags = flags;
            recipe.folders = {{"f", {Entry("raw.bin", data)}}};
            const Storage packed = version == 104 ? Storage::Zlib : Storage::Lz4Frame;
            recipe.folders[0].files.push_back(Entry("zeros.bin", zeros, packed));
            if (version == 104) {
                recipe.folders[0].files.push_back(Entry("zlib.bin", data, Storage::Zlib));
            } else {
                fixture::EntrySpec frame = Entry("frame.bin", data, Storage::Lz4Frame);
                frame.lz4.blockSizeId = 4;
                frame.lz4.contentChecksum = true;
                frame.lz4.skippableFramesBefore = 2;
                recipe.folders[0].files.push_back(frame);
                recipe.folders[0].files.push_back(Entry("legacy.bin", data, Storage::Lz4Legacy));
            }
            const auto opened = OpenFixture(temp, recipe);
            for (const fixture::EntrySpec& entry : recipe.folders[0].files) {
                SCOPED_TRACE(entry.name);
                const std::u16string name = FromUtf8(entry.name);
                EXPECT_TRUE(FetchInPieces(*opened.bsa, u"f", name) == entry.data);
                EXPECT_TRUE(Fetch(*opened.bsa, u"f", name) == entry.data);
            }
        }
    }
}

// Nothing in the entry selects the method: the same LZ4 frame decodes in a version-105 archive and is a
// damaged zlib stream in a version-104 one.
TEST(BsaEntryData, TheHeaderVersionChoosesTheDecoder) {
    const std::vector<uint8_t> data = fixture::CompressibleBytes(4000, 5);
    const fixture::TempFolder temp;
    const auto openAs = [&](uint32_t version) {
        fixture::ArchiveSpec recipe;
        recipe.version = version;
        recipe.flags = 0x7;
        fixture::EntrySpec entry = Entry("e.bin", data, Storage::Zlib);
        entry.packedOverride = fixture::Lz4Frame(data);
        recipe.folders = {{"f", {entry}}};
        return OpenFixture(temp, recipe, "v" + std::to_string(version) + ".bsa");
    };

    EXPECT_EQ(Fetch(*openAs(105).bsa, u"f", u"e.bin"), data);

    const auto version104 = openAs(104);
    TBytes buffer = kJunk;
    EXPECT_TRUE(Raises([&] { GetFile(*version104.bsa, u"f", u"e", u".bin", true, buffer); },
                       Error<EDecompressionError>("Erreur")));
    EXPECT_TRUE(buffer.empty());
}

struct DamageCase {
    std::string label;
    uint32_t version;
    uint32_t flags;
    std::function<void(fixture::EntrySpec&)> bend;
    ExpectedError error;
    bool namesTheArchive; // the text follows the archive's file name
};

// Each damaged entry fails with its own error, leaves the caller's buffer empty, and the next entry of the
// same archive still reads.
TEST(BsaEntryDamage, EntriesThatCannotHoldTheirStatedSizesFailOneByOne) {
    const std::vector<uint8_t> zlibPayload = fixture::ZlibCompress(fixture::CompressibleBytes(300, 6));
    const std::vector<uint8_t> lz4Payload = fixture::Lz4Frame(fixture::CompressibleBytes(300, 6));
    const auto P = [](const std::vector<uint8_t>& payload) { return static_cast<uint64_t>(payload.size()); };
    const auto withPayload = [](std::vector<uint8_t> payload, uint64_t uncompressed) {
        return [payload, uncompressed](fixture::EntrySpec& e) {
            e.packedOverride = payload;
            e.uncompressedSizeOverride = static_cast<uint32_t>(uncompressed);
        };
    };
    // The damaged entry is "e.bin" in folder "f"; its embedded name (flag 0x100) is "f\e.bin", 7 bytes.
    const std::string smallStored = " has a damaged entry: stored size ";
    const std::string prefixText = " is smaller than its embedded name and size prefix";
    const std::vector<DamageCase> cases = {
        {"raw, stored size 0 with embedded names", 104, 0x103, [](auto& e) { e.sizeWordOverride = 0; },
         Error<Exception>(smallStored + "0" + prefixText), true},
        {"raw, stored size within the embedded name", 105, 0x103, [](auto& e) { e.sizeWordOverride = 7; },
         Error<Exception>(smallStored + "7" + prefixText), true},
        {"compressed, stored size 3", 104, 0x7, [](auto& e) { e.sizeWordOverride = 3; },
         Error<Exception>(smallStored + "3" + prefixText), true},
        {"compressed, stored size 0", 105, 0x7, [](auto& e) { e.sizeWordOverride = 0; },
         Error<Exception>(smallStored + "0" + prefixText), true},
        {"compressed, name and 3 prefix bytes", 105, 0x107, [](auto& e) { e.sizeWordOverride = 1 + 7 + 3; },
         Error<Exception>(smallStored + "11" + prefixText), true},
        {"compressed by toggle, stored size 2", 104, 0x3, [](auto& e) { e.sizeWordOverride = kToggle | 2; },
         Error<Exception>(smallStored + "2" + prefixText), true},
        {"U above 2^31 - 1", 104, 0x7, withPayload(zlibPayload, 0x80000000),
         Error<Exception>(" has a damaged entry: uncompressed size 2147483648 cannot come from " +
                          std::to_string(P(zlibPayload)) + " packed bytes"),
         true},
        {"U above 2^31 - 1 with nothing packed", 105, 0x7, withPayload({}, 0xFFFFFFFF),
         Error<Exception>(
             " has a damaged entry: uncompressed size 4294967295 cannot come from 0 packed bytes"),
         true},
        // Zero bytes backed by nothing in the file are bounded too.
        {"U above 16 MiB with nothing packed", 105, 0x7, withPayload({}, (16 << 20) + 1),
         Error<Exception>(" has a damaged entry: uncompressed size 16777217 cannot come from 0 packed bytes"),
         true},
        {"U beyond what deflate can expand to", 104, 0x7,
         withPayload(zlibPayload, P(zlibPayload) * 1032 + 65),
         Error<Exception>(" has a damaged entry: uncompressed size " +
                          std::to_string(P(zlibPayload) * 1032 + 65) + " cannot come from " +
                          std::to_string(P(zlibPayload)) + " packed bytes"),
         true},
        {"U beyond what LZ4 can expand to", 105, 0x7, withPayload(lz4Payload, P(lz4Payload) * 255 + 65),
         Error<Exception>(" has a damaged entry: uncompressed size " +
                          std::to_string(P(lz4Payload) * 255 + 65) + " cannot come from " +
                          std::to_string(P(lz4Payload)) + " packed bytes"),
         true},
        {"U at the LZ4 bound is decoded, and falls short", 105, 0x7,
         withPayload(lz4Payload, P(lz4Payload) * 255 + 64),
         Error<Exception>("lz4 decompression size mismatch"), false},
        {"stored size with bit 31", 104, 0x3, [](auto& e) { e.extraSizeBits = 0x80000000; }, ReadError(),
         false},
        {"stored size one byte past the file", 105, 0x3,
         [](auto& e) { e.sizeWordOverride = static_cast<uint32_t>(e.data.size() + 1); }, ReadError(), false},
        {"offset past the file", 105, 0x3, [](auto& e) { e.offsetOverride = 0xFFFFFFF0; }, ReadError(),
         false},
        {"damaged zlib stream", 104, 0x7, withPayload(std::vector<uint8_t>(40, 0x55), 300),
         Error<EDecompressionError>("Erreur"), false},
    };
    const fixture::TempFolder temp;
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.label);
        fixture::ArchiveSpec recipe;
        recipe.version = c.version;
        recipe.flags = c.flags;
        // The good entry comes first in the data, so the damaged one ends the file.
        recipe.orderByHash = false;
        const Storage packed = c.version == 105 ? Storage::Lz4Frame : Storage::Zlib;
        fixture::EntrySpec damaged =
            Entry("e.bin", TextBytes("0123456789"), (c.flags & 0x4) ? packed : Storage::Raw);
        c.bend(damaged);
        recipe.folders = {{"f", {Entry("good.bin", fixture::CompressibleBytes(500, 8), packed), damaged}}};
        const auto opened = OpenFixture(temp, recipe);

        TBytes buffer = kJunk;
        ExpectedError expected = c.error;
        if (c.namesTheArchive) {
            expected.text = opened.path + expected.text;
        }
        EXPECT_TRUE(Raises([&] { GetFile(*opened.bsa, u"f", u"e", u".bin", true, buffer); }, expected));
        EXPECT_TRUE(buffer.empty());
        EXPECT_EQ(Fetch(*opened.bsa, u"f", u"good.bin"), fixture::CompressibleBytes(500, 8));
        // Read piece by piece, it fails alike.
        EXPECT_TRUE(Raises([&] { FetchInPieces(*opened.bsa, u"f", u"e.bin"); }, expected));
        EXPECT_EQ(FetchInPieces(*opened.bsa, u"f", u"good.bin"), fixture::CompressibleBytes(500, 8));
    }
}

// A stored size too small even for the embedded name's length byte is refused before that byte is read: here
// the data offset is the end of the file, where there is no byte to read.
TEST(BsaEntryDamage, StoredSizeZeroWithEmbeddedNamesIsRefusedBeforeReading) {
    fixture::ArchiveSpec recipe;
    recipe.version = 104;
    recipe.flags = 0x103;
    recipe.folders = {{"f", {Entry("e.bin", TextBytes("data"))}}};
    recipe.folders[0].files[0].sizeWordOverride = 0;
    recipe.folders[0].files[0].offsetOverride = static_cast<uint32_t>(fixture::BuildArchive(recipe).size());
    const fixture::TempFolder temp;
    const auto opened = OpenFixture(temp, recipe);
    TBytes buffer;
    EXPECT_TRUE(
        Raises([&] { GetFile(*opened.bsa, u"f", u"e", u".bin", true, buffer); },
               Error<Exception>(opened.path + u" has a damaged entry: stored size 0 is smaller than its "
                                              u"embedded name and size prefix")));
}

TEST(BsaEntryDamage, DamagedLz4StreamFailsAndLeavesTheArchiveUsable) {
    fixture::ArchiveSpec recipe;
    recipe.version = 105;
    recipe.flags = 0x7;
    fixture::EntrySpec damaged = Entry("bad.bin", fixture::CompressibleBytes(1000, 9), Storage::Lz4Frame);
    std::vector<uint8_t> frame = fixture::Lz4Frame(damaged.data);
    frame.resize(frame.size() / 2);
    damaged.packedOverride = frame;
    recipe.folders = {{"f", {damaged, Entry("good.bin", TextBytes("good"), Storage::Lz4Frame)}}};
    const fixture::TempFolder temp;
    const auto opened = OpenFixture(temp, recipe);

    TBytes buffer = kJunk;
    EXPECT_TRUE(Raises([&] { GetFile(*opened.bsa, u"f", u"bad", u".bin", true, buffer); },
                       Error<Exception>(u"lz4 decompression size mismatch")));
    EXPECT_TRUE(buffer.empty());
    EXPECT_EQ(Fetch(*opened.bsa, u"f", u"good.bin"), TextBytes("good"));
}

} // namespace
