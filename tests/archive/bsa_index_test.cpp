// The index reader: header checks, counts and offsets the file cannot hold, truncated archives, the listing's
// order and names, and version-105 archives whose folder blocks lie above 4 GiB.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/bsa_file.h"
#include "base/ustring.h"
#include "fixtures/system_errors.h"
#include "tests/archive/archive_test_util.h"

namespace {

using archive_test::Entry;
using archive_test::GetFile;
using archive_test::OpenFixture;
using archive_test::PackingOf;
using archive_test::PatchU32;
using archive_test::PatchU64;
using archive_test::ReadError;
using archive_test::TextBytes;
using test_support::Error;
using test_support::ExpectedError;
using test_support::Raises;

constexpr uint64_t kHeaderSize = 36;

// Two folders, three small raw entries: the archive most tests bend.
fixture::ArchiveSpec SmallArchive(uint32_t version) {
    fixture::ArchiveSpec recipe;
    recipe.version = version;
    recipe.folders = {
        {"meshes\\actors",
         {Entry("body.nif", TextBytes("body bytes")), Entry("head.nif", TextBytes("head bytes"))}},
        {"textures", {Entry("iron.dds", TextBytes("iron bytes"))}},
    };
    return recipe;
}

uint64_t FolderRecordSize(uint32_t version) {
    return version == 105 ? 24 : 16;
}

// A folder record's block offset: 8 bytes at 16 in version 105, 4 bytes at 12 in version 104.
void PatchBlockOffset(std::vector<uint8_t>& bytes, uint32_t version, uint64_t recordOffset, uint64_t value) {
    if (version == 105) {
        PatchU64(bytes, recordOffset + 16, value);
    } else {
        PatchU32(bytes, recordOffset + 12, static_cast<uint32_t>(value));
    }
}

std::vector<std::string> Listing(const TwbBSAFile& bsa) {
    std::vector<std::string> entries;
    for (const std::u16string& entry : archive_test::EntryStrings(bsa)) {
        entries.push_back(ToUtf8(entry));
    }
    return entries;
}

::testing::AssertionResult OpenRaises(const std::u16string& path, const ExpectedError& expected) {
    return Raises([&] { TwbBSAFile bsa(path); }, expected);
}

ExpectedError Invalid(const std::u16string& path, const std::string& what) {
    return Error<Exception>(ToUtf8(path) + " is not a valid BSA file" + what);
}

TEST(BsaIndexHeader, RefusesFilesThatAreNotSupportedArchives) {
    struct Case {
        const char* label;
        std::function<void(fixture::ArchiveSpec&)> bend;
        std::string expectedText;
    };
    const std::vector<Case> cases = {
        {"fourth signature byte not zero", [](auto& s) { s.signature = "BSAx"; }, " is not a valid BSA file"},
        {"signature BS", [](auto& s) { s.signature = std::string("BS\0\0", 4); }, " is not a valid BSA file"},
        {"lower-case signature", [](auto& s) { s.signature = std::string("bsa\0", 4); },
         " is not a valid BSA file"},
        {"version 103", [](auto& s) { s.version = 103; }, " is an unsupported version: 103"},
        {"version 106", [](auto& s) { s.version = 106; }, " is an unsupported version: 106"},
        {"version 0", [](auto& s) { s.version = 0; }, " is an unsupported version: 0"},
        {"version above 2^31", [](auto& s) { s.version = 0x80000068; },
         " is an unsupported version: 2147483752"},
        {"folder records at 0", [](auto& s) { s.folderRecordOffsetOverride = 0; },
         " has unexpected Offset: 0"},
        {"folder records at 4294967295", [](auto& s) { s.folderRecordOffsetOverride = 0xFFFFFFFF; },
         " has unexpected Offset: 4294967295"},
    };
    const fixture::TempFolder temp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fixture::ArchiveSpec recipe = SmallArchive(104);
        c.bend(recipe);
        const std::u16string path = temp.Write("bad.bsa", fixture::BuildArchive(recipe));
        EXPECT_TRUE(OpenRaises(path, Error<Exception>(ToUtf8(path) + c.expectedText)));
    }
}

TEST(BsaIndexHeader, FileShorterThanItsSignatureFailsAsReadError) {
    const fixture::TempFolder temp;
    for (const std::string& content : {std::string(), std::string("B"), std::string("BSA")}) {
        SCOPED_TRACE(content.size());
        EXPECT_TRUE(OpenRaises(temp.Write("short.bsa", TextBytes(content)), ReadError()));
    }
}

TEST(BsaIndexHeader, MissingFileRaisesTheStreamsOpenError) {
    const fixture::TempFolder temp;
    const std::u16string path = temp.U16("absent.bsa");
    EXPECT_TRUE(OpenRaises(path, Error<EStreamError>(u"Cannot open " + path + u".  " +
                                                     fixture::SystemText(fixture::kErrorFileNotFound))));
}

// Every cut inside the index fails with the error of the part it cuts short; every cut inside the entry data
// still opens, and then exactly the entries whose data was cut fail to read.
TEST(BsaIndexTruncation, EveryCutFailsCleanlyOrReadsWhatIsThere) {
    const fixture::TempFolder temp;
    for (uint32_t version : {104u, 105u}) {
        fixture::ArchiveSpec recipe = SmallArchive(version);
        recipe.flags = 0x107; // compressed by default, embedded names
        recipe.folders[1].files[0] =
            Entry("iron.dds", fixture::CompressibleBytes(3000, 7),
                  version == 105 ? fixture::Storage::Lz4Frame : fixture::Storage::Zlib);
        fixture::Layout layout;
        const std::vector<uint8_t> whole = fixture::BuildArchive(recipe, &layout);
        const std::vector<std::string> fullListing = {"meshes\\actors\\body.nif", "meshes\\actors\\head.nif",
                                                      "textures\\iron.dds"};
        // What a cut inside the index raises, by the part it cuts short. Each count is checked against the
        // bytes that remain before its records are read: the folder records with a block length byte each,
        // then a folder's file records with a name byte for every file so far.
        const std::u16string cutPath = temp.U16("cut.bsa");
        const uint64_t folderRecordsFit = kHeaderSize + 2 * (FolderRecordSize(version) + 1);
        const uint64_t firstNameEnd = layout.folders[0].blockOffset + 1 + sizeof("meshes\\actors");
        const uint64_t firstFilesFit = firstNameEnd + 2 * 16 + 2;
        const uint64_t secondNameEnd = layout.folders[1].blockOffset + 1 + sizeof("textures");
        const uint64_t secondFilesFit = secondNameEnd + 1 * 16 + 3;
        struct Region {
            uint64_t end; // cuts before this offset, and after the previous region's end
            ExpectedError error;
        };
        const Region regions[] = {
            {kHeaderSize, ReadError()},
            {folderRecordsFit, Invalid(cutPath, ": folder count 2 does not fit in the file")},
            {firstNameEnd, ReadError()},
            {firstFilesFit, Invalid(cutPath, ": folder 0 holds 2 file records that do not fit in the file")},
            {secondNameEnd, ReadError()},
            {secondFilesFit, Invalid(cutPath, ": folder 1 holds 1 file records that do not fit in the file")},
            {layout.dataStart, ReadError()}, // the file names
        };
        for (size_t cut = 0; cut < whole.size(); ++cut) {
            SCOPED_TRACE("version " + std::to_string(version) + ", cut at " + std::to_string(cut));
            const std::u16string path =
                temp.Write("cut.bsa", std::vector<uint8_t>(whole.begin(), whole.begin() + cut));
            if (cut < layout.dataStart) {
                const auto region = std::find_if(std::begin(regions), std::end(regions),
                                                 [&](const Region& r) { return cut < r.end; });
                EXPECT_TRUE(OpenRaises(path, region->error));
                continue;
            }
            TwbBSAFile bsa(path);
            ASSERT_EQ(Listing(bsa), fullListing);
            for (const fixture::EntryLayout& entry : layout.entries) {
                const fixture::EntrySpec& entrySpec =
                    entry.folder == "textures" ? recipe.folders[1].files[0]
                                               : recipe.folders[0].files[entry.name == "body.nif" ? 0 : 1];
                TBytes buffer;
                const auto fetch = [&] {
                    GetFile(bsa, FromUtf8(entry.folder), FromUtf8(entry.name), u"", true, buffer);
                };
                if (entry.dataOffset + entry.storedBytes <= cut) {
                    EXPECT_NO_THROW(fetch()) << entry.name;
                    EXPECT_EQ(buffer, entrySpec.data);
                } else {
                    EXPECT_TRUE(Raises(fetch, ReadError())) << entry.name;
                    EXPECT_TRUE(buffer.empty());
                }
            }
        }
    }
}

TEST(BsaIndexCounts, CountsTheFileCannotHoldAreRefusedBeforeAllocating) {
    const fixture::TempFolder temp;
    for (uint32_t version : {104u, 105u}) {
        fixture::Layout layout;
        const std::vector<uint8_t> good = fixture::BuildArchive(SmallArchive(version), &layout);
        const uint64_t recordsThatFit = (good.size() - kHeaderSize) / FolderRecordSize(version);
        // Each folder also needs the length byte of its block.
        const uint64_t foldersThatFit = (good.size() - kHeaderSize) / (FolderRecordSize(version) + 1);
        struct Case {
            std::string label;
            std::function<void(std::vector<uint8_t>&)> patch;
            std::string expectedWhat;
        };
        const std::vector<Case> cases = {
            {"folder count 4294967295", [](auto& b) { PatchU32(b, 16, 0xFFFFFFFF); },
             ": folder count 4294967295 does not fit in the file"},
            {"one folder record more than fits",
             [&](auto& b) { PatchU32(b, 16, static_cast<uint32_t>(recordsThatFit + 1)); },
             ": folder count " + std::to_string(recordsThatFit + 1) + " does not fit in the file"},
            {"one folder more than records and block length bytes leave room for",
             [&](auto& b) { PatchU32(b, 16, static_cast<uint32_t>(foldersThatFit + 1)); },
             ": folder count " + std::to_string(foldersThatFit + 1) + " does not fit in the file"},
            {"first folder's file count",
             [&](auto& b) { PatchU32(b, layout.folders[0].recordOffset + 8, 100000000); },
             ": folder 0 holds 100000000 file records that do not fit in the file"},
            {"second folder's file count",
             [&](auto& b) { PatchU32(b, layout.folders[1].recordOffset + 8, 0xFFFFFFFF); },
             ": folder 1 holds 4294967295 file records that do not fit in the file"},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE("version " + std::to_string(version) + ": " + c.label);
            std::vector<uint8_t> bytes = good;
            c.patch(bytes);
            const std::u16string path = temp.Write("counts.bsa", bytes);
            EXPECT_TRUE(OpenRaises(path, Invalid(path, c.expectedWhat)));
        }
    }
}

// Folder records may point at one and the same block; together they still cannot claim more than the file
// holds after its folder records: each its block (name and 16 bytes per file record) and a name byte per
// file. Otherwise a small file could make the reader keep an index many times its size.
TEST(BsaIndexCounts, FoldersSharingOneBlockCannotClaimMoreThanTheFileHolds) {
    struct Case {
        std::string label;
        std::string firstFolderName; // the shared block's name
        bool withFileRecords;        // each folder claims a quarter of the room in file records, or none
    };
    const std::vector<Case> cases = {
        {"file records", "folder0", true},
        {"empty folders with a long name", "f" + std::string(200, 'x'), false},
    };
    const fixture::TempFolder temp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fixture::ArchiveSpec recipe;
        recipe.version = 104;
        recipe.orderByHash = false;
        for (int i = 0; i < 40; ++i) {
            recipe.folders.push_back({i == 0 ? c.firstFolderName : "folder" + std::to_string(i),
                                      {Entry("f.txt", TextBytes("x"))}});
        }
        fixture::Layout layout;
        std::vector<uint8_t> bytes = fixture::BuildArchive(recipe, &layout);
        const uint64_t totalNameLength = bytes[28] | bytes[29] << 8 | bytes[30] << 16 | bytes[31] << 24;
        const uint64_t room = bytes.size() - kHeaderSize - 40 * 16;
        const uint64_t blockName = 1 + c.firstFolderName.size() + 1;
        const uint32_t perFolder = c.withFileRecords ? static_cast<uint32_t>(room / 4 / 17) : 0;
        for (const fixture::FolderLayout& folder : layout.folders) {
            PatchU32(bytes, folder.recordOffset + 8, perFolder);
            PatchU32(bytes, folder.recordOffset + 12,
                     static_cast<uint32_t>(layout.folders[0].blockOffset + totalNameLength));
        }
        // Folders 0 to n - 1 fit while n claims fit in the room.
        const uint64_t firstRefused = room / (blockName + 17 * uint64_t{perFolder});
        ASSERT_LT(firstRefused, layout.folders.size());
        ASSERT_GT(firstRefused, 0u);

        const std::u16string path = temp.Write("shared-blocks.bsa", bytes);
        const std::string what = c.withFileRecords ? " holds " + std::to_string(perFolder) +
                                                         " file records that do not fit in the file"
                                                   : " does not fit in the file";
        EXPECT_TRUE(OpenRaises(path, Invalid(path, ": folder " + std::to_string(firstRefused) + what)));
    }
}

TEST(BsaIndexOffsets, FolderBlockBeforeOrBeyondTheFileFailsAsReadError) {
    // The stored offset counts the total file-name length in; version 105 stores it in 8 bytes.
    struct Case {
        const char* label;
        std::vector<uint32_t> versions;
        std::function<uint64_t(uint64_t totalNameLength, uint64_t fileSize)> stored;
    };
    const std::vector<Case> cases = {
        {"0", {104, 105}, [](uint64_t, uint64_t) { return 0; }},
        {"one byte before the file", {104, 105}, [](uint64_t names, uint64_t) { return names - 1; }},
        {"at its size past the end", {104, 105}, [](uint64_t names, uint64_t size) { return names + size; }},
        {"2^32 - 1", {104, 105}, [](uint64_t, uint64_t) { return 0xFFFFFFFF; }},
        {"2^64 - 1", {105}, [](uint64_t, uint64_t) { return 0xFFFFFFFFFFFFFFFFull; }},
        {"2^63 on", {105}, [](uint64_t names, uint64_t) { return 0x8000000000000000ull + names; }},
        {"2^63 - 1", {105}, [](uint64_t, uint64_t) { return 0x7FFFFFFFFFFFFFFFull; }},
    };
    const fixture::TempFolder temp;
    for (const Case& c : cases) {
        for (uint32_t version : c.versions) {
            fixture::Layout layout;
            const std::vector<uint8_t> good = fixture::BuildArchive(SmallArchive(version), &layout);
            const uint64_t totalNameLength = good[28] | good[29] << 8 | good[30] << 16 | good[31] << 24;
            const uint64_t stored = c.stored(totalNameLength, good.size());
            SCOPED_TRACE("version " + std::to_string(version) + ", stored block offset " + c.label + " (" +
                         std::to_string(stored) + ")");
            std::vector<uint8_t> bytes = good;
            PatchBlockOffset(bytes, version, layout.folders[1].recordOffset, stored);
            EXPECT_TRUE(OpenRaises(temp.Write("offsets.bsa", bytes), ReadError()));
        }
    }
}

TEST(BsaIndexListing, FoldersAndFilesComeInCaseInsensitiveNameOrder) {
    const fixture::TempFolder temp;
    for (uint32_t version : {104u, 105u}) {
        SCOPED_TRACE(version);
        fixture::ArchiveSpec recipe;
        recipe.version = version;
        recipe.orderByHash = false; // records in the order below, which is not name order
        recipe.folders = {
            {"sound\\fx", {Entry("b.wav", {}), Entry("A.wav", {})}},
            {"Meshes\\Actors",
             {Entry("head.nif", {}), Entry("Body.NIF", {}), Entry("arm.nif", {}), Entry("_a.nif", {})}},
            {"interface", {Entry("x.swf", {})}},
            {"MESHES", {}}, // empty folders are counted, and list and hide nothing
            {"meshes", {Entry("c.nif", {})}},
            {"empty", {}},
        };
        const auto opened = OpenFixture(temp, recipe);
        EXPECT_EQ(opened.bsa->FolderRecordCount(), 6u);
        TBytes buffer;
        EXPECT_TRUE(GetFile(*opened.bsa, u"Meshes", u"C", u".nif", true, buffer));
        EXPECT_FALSE(GetFile(*opened.bsa, u"empty", u"c", u".nif", true, buffer));

        const std::vector<std::string> entries = Listing(*opened.bsa);
        const std::vector<std::string> expected = {
            "interface\\x.swf",         "meshes\\c.nif",
            "meshes\\actors\\_a.nif",   "meshes\\actors\\arm.nif",
            "meshes\\actors\\Body.NIF", "meshes\\actors\\head.nif",
            "sound\\fx\\A.wav",         "sound\\fx\\b.wav",
        };
        EXPECT_EQ(entries, expected);
    }
}

TEST(BsaIndexListing, RootFoldersLongNamesAndAnsiNamesRoundTrip) {
    const std::string longName = std::string(296, 'n') + ".dds"; // 300 characters in the name block
    fixture::ArchiveSpec recipe;
    recipe.version = 105;
    fixture::FolderSpec emptyName{"", {Entry("readme.txt", TextBytes("empty-name folder"))}, uint8_t{0}};
    recipe.folders = {
        emptyName,
        {".", {Entry("readme.txt", TextBytes("dot folder"))}},
        {"textures", {Entry(longName, TextBytes("long name"))}},
        {"\xC4rmel", {Entry("Caf\xE9.TXT", TextBytes("ansi"))}}, // Windows-1252: Ärmel, Café.TXT
    };
    const fixture::TempFolder temp;
    const auto opened = OpenFixture(temp, recipe);

    const std::vector<std::string> expected = {
        "\\readme.txt", ".\\readme.txt", "textures\\" + longName,
        "\xC3\xA4rmel\\Caf\xC3\xA9.TXT", // UTF-8 of ärmel\Café.TXT
    };
    EXPECT_EQ(Listing(*opened.bsa), expected);

    EXPECT_EQ(archive_test::Fetch(*opened.bsa, u"", u"README.TXT"), TextBytes("empty-name folder"));
    EXPECT_EQ(archive_test::Fetch(*opened.bsa, u".", u"readme.txt"), TextBytes("dot folder"));
    EXPECT_EQ(archive_test::Fetch(*opened.bsa, u"textures", FromUtf8(longName)), TextBytes("long name"));
    EXPECT_EQ(archive_test::Fetch(*opened.bsa, u"\u00C4RMEL", u"caf\u00E9.txt"), TextBytes("ansi"));
}

TEST(BsaIndexListing, ArchiveWithoutFoldersOpensAndListsNothing) {
    const fixture::TempFolder temp;
    for (uint32_t version : {104u, 105u}) {
        fixture::ArchiveSpec recipe;
        recipe.version = version;
        const auto opened = OpenFixture(temp, recipe);
        EXPECT_TRUE(Listing(*opened.bsa).empty());
        EXPECT_EQ(opened.bsa->FileCount(), 0u);
    }
}

TEST(BsaIndexRecords, HeaderAndRecordFieldsAreKeptAsStored) {
    const fixture::TempFolder temp;
    for (uint32_t version : {104u, 105u}) {
        SCOPED_TRACE(version);
        fixture::ArchiveSpec recipe = SmallArchive(version);
        recipe.flags = 0x347;
        recipe.fileFlagsOverride = 0x12345678;
        recipe.folders[0].files[1].extraSizeBits = 0x80000000; // kept in the size word as stored
        const auto opened = OpenFixture(temp, recipe);
        const TwbBSAFile& bsa = *opened.bsa;

        EXPECT_EQ(bsa.Version(), version);
        EXPECT_EQ(bsa.Flags(), 0x347u);
        EXPECT_EQ(bsa.FileFlags(), 0x12345678u);
        EXPECT_EQ(bsa.FileCount(), 3u);
        EXPECT_EQ(bsa.FolderRecordCount(), opened.layout.folders.size());
        size_t entryIndex = 0;
        for (size_t i = 0; i < opened.layout.folders.size(); ++i) {
            const std::u16string folderName = FromUtf8(opened.layout.folders[i].name);
            for (size_t j = 0; j < recipe.folders[i].files.size(); ++j) {
                const fixture::EntryLayout& entry = opened.layout.entries.at(entryIndex++);
                const std::optional<TEntryRef> found = bsa.FindEntry(folderName, FromUtf8(entry.name));
                ASSERT_TRUE(found.has_value()) << entry.name;
                EXPECT_EQ(ToUtf8(bsa.Index().FolderOf(*found).Name), opened.layout.folders[i].name);
                EXPECT_EQ(ToUtf8(bsa.Index().FileName(*found)), entry.name);
                EXPECT_EQ(bsa.Index().File(*found).Size, entry.sizeWord);
                EXPECT_EQ(bsa.Index().File(*found).Offset, entry.dataOffset);
            }
        }
        EXPECT_EQ(entryIndex, opened.layout.entries.size());
    }
}

// Version 105 keeps 8-byte folder-block offsets: blocks and names above 4 GiB, entry data below them. The
// file is sparse, so it costs next to no disk space. In a file that large, a stored size with bit 31 set
// still lies inside the file; it is refused as unreadable all the same.
TEST(BsaLargeArchive, Version105FolderBlocksAbove4GiBAreRead) {
    fixture::ArchiveSpec recipe;
    recipe.version = 105;
    recipe.flags = 0x7;
    recipe.folderBlocksAt = (5ull << 30) + 12345;
    recipe.folders = {
        {"meshes",
         {Entry("a.nif", fixture::CompressibleBytes(5000, 1), fixture::Storage::Lz4Frame),
          Entry("b.nif", TextBytes("raw bytes"))}},
        {"textures", {Entry("c.dds", fixture::CompressibleBytes(100, 2), fixture::Storage::Lz4Frame)}},
    };
    recipe.folders[1].files[0].sizeWordOverride = 0x80000010;
    const fixture::TempFolder temp;
    fixture::Layout layout;
    fixture::WriteArchiveFile(recipe, (temp / "large.bsa").string(), &layout);
    ASSERT_GT(layout.folders[0].blockOffset, 0xFFFFFFFFull);

    TwbBSAFile bsa(temp.U16("large.bsa"));
    EXPECT_EQ(Listing(bsa), (std::vector<std::string>{"meshes\\a.nif", "meshes\\b.nif", "textures\\c.dds"}));
    EXPECT_EQ(archive_test::Fetch(bsa, u"meshes", u"a.nif"), fixture::CompressibleBytes(5000, 1));
    EXPECT_EQ(archive_test::Fetch(bsa, u"meshes", u"b.nif"), TextBytes("raw bytes"));
    TBytes buffer;
    EXPECT_TRUE(Raises([&] { GetFile(bsa, u"textures", u"c", u".dds", true, buffer); }, ReadError()));
}

} // namespace
