// The decoded sizes of all entries, read from the entries' first bytes: every way an entry is stored gives
// the size it decodes to, damaged entries give an unknown size without stopping the others, and a truncated
// file or a cancel leaves the entries not read unknown.
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "archive/bsa_file.h"
#include "tests/archive/archive_test_util.h"

namespace entry_sizes {

using archive_test::Entry;
using archive_test::OpenFixture;
using archive_test::TextBytes;
using fixture::Storage;

constexpr uint32_t kToggleBit = 0x40000000;
constexpr uint32_t kUnknown = TwbBSAFile::kUnknownEntrySize;

// Every entry's size as read whole.
std::vector<uint32_t> SizesReadWhole(TwbBSAFile& bsa) {
    std::vector<uint32_t> sizes;
    TBytes buffer;
    for (TEntryRef entry = 0; entry < bsa.FileCount(); ++entry) {
        bsa.ReadEntry(entry, buffer);
        sizes.push_back(static_cast<uint32_t>(buffer.size()));
    }
    return sizes;
}

TEST(EntrySizes, EveryStorageGivesTheSizeItDecodesTo) {
    struct Case {
        uint32_t version, flags;
    };
    // Raw and compressed by default, with and without embedded names, in both versions.
    const Case cases[] = {{104, 0x3}, {104, 0x7}, {104, 0x103}, {104, 0x107},
                          {105, 0x3}, {105, 0x7}, {105, 0x103}, {105, 0x107}};
    const fixture::TempFolder temp;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.version) + " flags " + std::to_string(c.flags));
        const bool byDefault = (c.flags & 0x4) != 0;
        const Storage packed = c.version == 105 ? Storage::Lz4Frame : Storage::Zlib;
        fixture::ArchiveSpec recipe;
        recipe.version = c.version;
        recipe.flags = c.flags;
        // Each file both ways: stored as the archive says by default, and the other way by the toggle bit.
        std::vector<fixture::EntrySpec> files;
        for (const auto& [name, size] : {std::pair{"a.nif", 3000}, {"b.dds", 70000}, {"empty.txt", 0}}) {
            files.push_back(
                Entry(name, fixture::CompressibleBytes(size, 3), byDefault ? packed : Storage::Raw));
            fixture::EntrySpec other = Entry(std::string("t_") + name, fixture::CompressibleBytes(size, 4),
                                             byDefault ? Storage::Raw : packed);
            other.extraSizeBits = kToggleBit;
            files.push_back(other);
        }
        // A record that shares another's data (and so its embedded name, which may be longer than its own).
        fixture::EntrySpec shared = Entry("shared_with_a_longer_name.nif", {});
        shared.sharesDataWith = 0;
        files.push_back(shared);
        recipe.folders = {{"meshes\\x", files}, {"textures", {Entry("c.dds", TextBytes("cccc"), packed)}}};
        const auto opened = OpenFixture(temp, recipe);

        const std::vector<uint32_t> sizes = opened.bsa->ReadEntrySizes();
        EXPECT_EQ(sizes, SizesReadWhole(*opened.bsa));
    }
}

TEST(EntrySizes, DamagedEntriesAreUnknownAndTheOthersStillRead) {
    struct Case {
        const char* label;
        uint32_t version, flags;
        std::function<void(fixture::EntrySpec&)> bend;
        uint32_t expected; // the damaged entry's size
    };
    const std::vector<uint8_t> lz4Payload = fixture::Lz4Frame(fixture::CompressibleBytes(300, 6));
    const auto stating = [](std::vector<uint8_t> payload, uint32_t uncompressed) {
        return [payload, uncompressed](fixture::EntrySpec& e) {
            e.packedOverride = payload;
            e.uncompressedSizeOverride = uncompressed;
        };
    };
    const Case cases[] = {
        {"raw, stored size 0 with embedded names", 104, 0x103, [](auto& e) { e.sizeWordOverride = 0; },
         kUnknown},
        {"raw, stored size within the embedded name", 105, 0x103, [](auto& e) { e.sizeWordOverride = 7; },
         kUnknown},
        {"compressed, stored size 3", 104, 0x7, [](auto& e) { e.sizeWordOverride = 3; }, kUnknown},
        {"compressed, name and 3 prefix bytes", 105, 0x107, [](auto& e) { e.sizeWordOverride = 1 + 7 + 3; },
         kUnknown},
        {"stated size above 2^31 - 1", 105, 0x7, stating(lz4Payload, 0x80000000), kUnknown},
        {"stated size beyond what LZ4 makes", 105, 0x7,
         stating(lz4Payload, static_cast<uint32_t>(lz4Payload.size() * 255 + 65)), kUnknown},
        {"stated size at the LZ4 bound", 105, 0x7,
         stating(lz4Payload, static_cast<uint32_t>(lz4Payload.size() * 255 + 64)),
         static_cast<uint32_t>(lz4Payload.size() * 255 + 64)},
        // The size word is sound: the packed bytes are only found damaged when they are decoded.
        {"damaged packed bytes", 104, 0x7, stating(std::vector<uint8_t>(40, 0x55), 300), 300},
        {"stored size with bit 31", 104, 0x3, [](auto& e) { e.extraSizeBits = 0x80000000; }, kUnknown},
        {"raw, stored size past the end of the file", 105, 0x3, [](auto& e) { e.sizeWordOverride = 1 << 20; },
         kUnknown},
        {"compressed, offset past the file", 105, 0x7, [](auto& e) { e.offsetOverride = 0xFFFFFFF0; },
         kUnknown},
        {"raw, offset past the file", 104, 0x3, [](auto& e) { e.offsetOverride = 0xFFFFFFF0; }, kUnknown},
    };
    const fixture::TempFolder temp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fixture::ArchiveSpec recipe;
        recipe.version = c.version;
        recipe.flags = c.flags;
        recipe.orderByHash = false;
        const Storage packed = c.version == 105 ? Storage::Lz4Frame : Storage::Zlib;
        const Storage storage = (c.flags & 0x4) ? packed : Storage::Raw;
        fixture::EntrySpec damaged = Entry("e.bin", TextBytes("0123456789"), storage);
        c.bend(damaged);
        // Good entries before and after it in the file.
        recipe.folders = {{"f",
                           {Entry("a.bin", fixture::CompressibleBytes(500, 8), storage), damaged,
                            Entry("z.bin", fixture::CompressibleBytes(700, 9), storage)}}};
        const auto opened = OpenFixture(temp, recipe);
        EXPECT_EQ(opened.bsa->ReadEntrySizes(), (std::vector<uint32_t>{500, c.expected, 700}));
    }
}

// An archive cut anywhere in its data: the entries whose stored bytes are all there keep their sizes (the
// size word comes first, but the whole entry must lie in the file, as reading it asks), the others are
// unknown.
TEST(EntrySizes, ATruncatedFileLeavesTheEntriesPastTheCutUnknown) {
    fixture::ArchiveSpec recipe;
    recipe.version = 105;
    recipe.flags = 0x107;
    recipe.orderByHash = false;
    std::vector<fixture::EntrySpec> files;
    for (int i = 0; i < 6; ++i) {
        files.push_back(Entry("e" + std::to_string(i) + ".bin", fixture::CompressibleBytes(200 + 50 * i, i),
                              i % 2 == 0 ? Storage::Lz4Frame : Storage::Raw));
        if (i % 2 == 1) {
            files.back().extraSizeBits = kToggleBit;
        }
    }
    recipe.folders = {{"f", files}};
    fixture::Layout layout;
    const std::vector<uint8_t> whole = fixture::BuildArchive(recipe, &layout);
    const fixture::TempFolder temp;
    for (uint64_t cut = layout.dataStart; cut <= whole.size(); cut += 7) {
        SCOPED_TRACE(cut);
        const std::u16string path = temp.Write(
            "cut.bsa", std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut)));
        TwbBSAFile bsa(path);
        const std::vector<uint32_t> sizes = bsa.ReadEntrySizes();
        for (const fixture::EntryLayout& entry : layout.entries) {
            const std::optional<TEntryRef> ref = bsa.FindEntry(u"f", FromUtf8(entry.name));
            ASSERT_TRUE(ref);
            const bool complete = entry.dataOffset + entry.storedBytes <= cut;
            EXPECT_EQ(sizes[*ref], complete ? 200 + 50 * entry.specIndex : kUnknown) << entry.name;
        }
    }
}

TEST(EntrySizes, ACancelBeforehandReadsNothing) {
    fixture::ArchiveSpec recipe;
    recipe.flags = 0x7;
    recipe.folders = {{"f", {Entry("a.bin", TextBytes("aaaa"), Storage::Lz4Frame)}}};
    const fixture::TempFolder temp;
    const auto opened = OpenFixture(temp, recipe);
    const std::atomic<bool> cancel{true};
    EXPECT_EQ(opened.bsa->ReadEntrySizes(&cancel), std::vector<uint32_t>{kUnknown});
    EXPECT_EQ(opened.bsa->ReadEntrySizes(), std::vector<uint32_t>{4});
}

} // namespace entry_sizes
