// Writes the seed corpus of the fuzz targets: small archives of every storage kind and flag combination for
// fuzz_archive, small LZ4 and zlib payloads for fuzz_lz4 and fuzz_zlib (each behind the 4-byte
// little-endian destination length those targets read first), and small textures for fuzz_dds.
//
//   fuzz_seed_corpus OUT      writes OUT/archive/*.bsa, OUT/lz4/*.bin, OUT/zlib/*.bin, OUT/dds/*.dds
//
// The output is the same bytes on every run. Seeds stay small (a few KiB) so that the fuzzer mutates
// structure, not bulk.
#include <array>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/bsa_writer.h"
#include "tests/support/dds_writer.h"

namespace {

namespace fs = std::filesystem;
using fixture::ArchiveSpec;
using fixture::EntrySpec;
using fixture::FolderSpec;
using fixture::Storage;
using Bytes = std::vector<uint8_t>;

class CorpusWriter {
public:
    explicit CorpusWriter(fs::path folder) : folder_(std::move(folder)) { fs::create_directories(folder_); }

    void Write(const std::string& name, const Bytes& bytes) {
        std::ofstream out(folder_ / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            throw std::runtime_error("cannot write " + (folder_ / name).string());
        }
        ++written_;
    }

    // A decoder seed: the destination length, then the packed bytes.
    void WritePayload(const std::string& name, uint32_t destinationLength, const Bytes& packed) {
        Bytes seed;
        for (int i = 0; i < 4; ++i) {
            seed.push_back(static_cast<uint8_t>(destinationLength >> (8 * i)));
        }
        seed.insert(seed.end(), packed.begin(), packed.end());
        Write(name, seed);
    }

    int Written() const { return written_; }

private:
    fs::path folder_;
    int written_ = 0;
};

Bytes Text(std::string_view text) {
    return {text.begin(), text.end()};
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

EntrySpec Entry(std::string name, Bytes data, Storage storage) {
    EntrySpec entry;
    entry.name = std::move(name);
    entry.data = std::move(data);
    entry.storage = storage;
    return entry;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

// An archive laid out like the games' own: nested folders, a "." folder and an empty-named one for root
// files, compressed and raw entries side by side (so some size words carry the toggle bit whatever the
// archive's default), names with upper case and a Windows-1252 letter.
ArchiveSpec TypicalArchive(uint32_t version, uint32_t flags, Storage packed) {
    ArchiveSpec recipe;
    recipe.version = version;
    recipe.flags = flags;
    recipe.folders = {
        {"meshes\\actors\\character",
         {Entry("Body.NIF", fixture::CompressibleBytes(400, 1), packed),
          Entry("hands.nif", fixture::CompressibleBytes(150, 2), Storage::Raw)}},
        {"textures\\caf\xe9", {Entry("wall_n.dds", fixture::RandomBytes(60, 3), packed)}},
        {".", {Entry("readme.txt", Text("Read me first.\r\n"), Storage::Raw)}},
        {"", {Entry("root.ini", Text("[General]\r\nkey=1\r\n"), packed)}},
    };
    return recipe;
}

void WriteArchiveSeeds(CorpusWriter& out) {
    const auto write = [&](const std::string& name, const ArchiveSpec& recipe) {
        out.Write(name + ".bsa", fixture::BuildArchive(recipe));
    };

    // Every flag combination seen in real archives (and the two bits that matter alone), in both versions,
    // with the version's own codec.
    for (uint32_t version : {104u, 105u}) {
        const Storage packed = version == 104 ? Storage::Zlib : Storage::Lz4Frame;
        for (uint32_t flags :
             {0x0u, 0x3u, 0x4u, 0x7u, 0x13u, 0x43u, 0x100u, 0x103u, 0x107u, 0x11Fu, 0x347u}) {
            write("v" + std::to_string(version) + "-flags-" + Hex(flags),
                  TypicalArchive(version, flags, packed));
        }
    }

    // Version 105's other LZ4 shapes: legacy streams, skippable frames around a frame, content checksums,
    // declared block sizes larger than the data.
    const auto lz4Entry = [](std::string name, fixture::Lz4Options options) {
        EntrySpec entry = Entry(std::move(name), fixture::CompressibleBytes(700, 4), Storage::Lz4Frame);
        entry.lz4 = options;
        return entry;
    };
    ArchiveSpec shapes;
    shapes.version = 105;
    shapes.flags = 0x7;
    shapes.folders = {{"sound\\fx",
                       {Entry("legacy.wav", fixture::CompressibleBytes(500, 5), Storage::Lz4Legacy),
                        lz4Entry("skip.wav", {.skippableFramesBefore = 2, .skippableFrameAfter = true}),
                        lz4Entry("check.wav", {.blockSizeId = 7, .contentChecksum = true}),
                        lz4Entry("b256.wav", {.blockSizeId = 5}), lz4Entry("b1m.wav", {.blockSizeId = 6})}}};
    write("v105-lz4-shapes", shapes);
    shapes.flags = 0x107;
    write("v105-lz4-shapes-names", shapes);

    // Each version's entries in the other version's codec: nothing in an entry selects the decoder.
    ArchiveSpec crossed = TypicalArchive(104, 0x7, Storage::Lz4Frame);
    write("v104-with-lz4", crossed);
    crossed = TypicalArchive(105, 0x7, Storage::Zlib);
    write("v105-with-zlib", crossed);

    // Stated sizes at their edges: nothing packed, a zero uncompressed size over junk, bit 31 in a size word,
    // zlib stored blocks and a stream that ends before the stated size.
    for (uint32_t version : {104u, 105u}) {
        const Storage packed = version == 104 ? Storage::Zlib : Storage::Lz4Frame;
        EntrySpec nothingPacked = Entry("zeros.bin", {}, packed);
        nothingPacked.packedOverride = Bytes{};
        nothingPacked.uncompressedSizeOverride = 100;
        EntrySpec zeroSize = Entry("empty.bin", {}, packed);
        zeroSize.packedOverride = Text("junk");
        zeroSize.uncompressedSizeOverride = 0;
        EntrySpec bit31 = Entry("big.bin", Text("bit 31"), Storage::Raw);
        bit31.extraSizeBits = 0x80000000;
        EntrySpec shorter = Entry("short.bin", Text("shorter than stated"), packed);
        shorter.uncompressedSizeOverride = 40;
        EntrySpec shared = Entry("shared.bin", {}, Storage::Raw);
        shared.sharesDataWith = 3;
        ArchiveSpec edges;
        edges.version = version;
        edges.flags = 0x107;
        edges.folders = {{"edges", {nothingPacked, zeroSize, bit31, shorter, shared}}};
        write("v" + std::to_string(version) + "-size-edges", edges);
        edges.flags = 0x7;
        write("v" + std::to_string(version) + "-size-edges-no-names", edges);
    }
    ArchiveSpec stored;
    stored.version = 104;
    stored.flags = 0x3;
    EntrySpec storedEntry =
        Entry("stored.txt", Text("zlib level 0 keeps the bytes as they are"), Storage::Zlib);
    storedEntry.packedOverride = fixture::ZlibCompress(storedEntry.data, 0);
    stored.folders = {{"docs", {storedEntry}}};
    write("v104-zlib-stored-block", stored);

    // Index shapes: no folders, a folder without files, a name whose length byte lies, an embedded name of
    // another entry, records in name order instead of hash order, the unused v105 word zero.
    ArchiveSpec empty;
    empty.version = 105;
    write("v105-no-folders", empty);
    empty.version = 104;
    empty.folders = {{"nothing", {}}, {"one", {Entry("a.txt", Text("a"), Storage::Raw)}}};
    write("v104-empty-folder", empty);
    ArchiveSpec lying = TypicalArchive(105, 0x103, Storage::Raw);
    lying.folders[0].nameLengthOverride = 3;
    lying.folders[1].files[0].embeddedNameOverride = "meshes\\actors\\character\\hands.nif";
    lying.orderByHash = false;
    lying.v105FolderUnknown = 0;
    write("v105-lying-lengths", lying);

    // A few refusals, so that the checks of the header are in the corpus from the start.
    ArchiveSpec refused = TypicalArchive(104, 0x3, Storage::Raw);
    refused.signature = "BSB";
    write("bad-signature", refused);
    refused = TypicalArchive(103, 0x3, Storage::Raw);
    write("version-103", refused);
    refused = TypicalArchive(105, 0x3, Storage::Raw);
    refused.folderRecordOffsetOverride = 0;
    write("offset-0", refused);
    refused.folderRecordOffsetOverride.reset();
    refused.folderCountOverride = 0x10000;
    write("folder-count-too-large", refused);
}

void WriteLz4Seeds(CorpusWriter& out) {
    const Bytes text = fixture::CompressibleBytes(1500, 11);
    const Bytes noise = fixture::RandomBytes(300, 12);
    const auto size = [](const Bytes& data) { return static_cast<uint32_t>(data.size()); };
    const auto skippable = [](uint32_t nibble) { return fixture::SkippableFrame(nibble, Text("8 bytes!")); };

    out.WritePayload("frame", size(text), fixture::Lz4Frame(text));
    out.WritePayload("frame-one-short", size(text) - 1, fixture::Lz4Frame(text));
    out.WritePayload("frame-checksum", size(text), fixture::Lz4Frame(text, {.contentChecksum = true}));
    for (int id : {5, 6, 7}) {
        out.WritePayload("frame-block-id-" + std::to_string(id), size(text),
                         fixture::Lz4Frame(text, {.blockSizeId = id}));
    }
    out.WritePayload("frame-incompressible", size(noise), fixture::Lz4Frame(noise));
    out.WritePayload("frame-empty", 0, fixture::Lz4Frame({}));
    out.WritePayload("skippable-frame-skippable", size(text),
                     Concat({skippable(0), skippable(15), fixture::Lz4Frame(text), skippable(3)}));
    out.WritePayload("two-frames", size(text) + size(noise),
                     Concat({fixture::Lz4Frame(text), fixture::Lz4Frame(noise)}));
    out.WritePayload("legacy-blocks", size(text), fixture::Lz4Legacy(text, 512));
    out.WritePayload("legacy-then-frame", size(text) + size(noise),
                     Concat({fixture::Lz4Legacy(text, 700), fixture::Lz4Frame(noise)}));
    out.WritePayload("frame-trailing-junk", size(text),
                     Concat({fixture::Lz4Frame(text), Bytes{0xDE, 0xAD, 0xBE, 0xEF}}));
    out.WritePayload("frame-stray-bytes", size(text), Concat({fixture::Lz4Frame(text), Bytes{0x01, 0x02}}));
    Bytes truncated = fixture::Lz4Frame(text);
    truncated.resize(truncated.size() / 2);
    out.WritePayload("frame-truncated", size(text), truncated);
    out.WritePayload("empty-source", 0, {});
    out.WritePayload("unknown-magic", 4, Text("\x01\x02\x03\x04zzzz"));
}

void WriteZlibSeeds(CorpusWriter& out) {
    const Bytes text = fixture::CompressibleBytes(1500, 21);
    const Bytes noise = fixture::RandomBytes(300, 22);
    const auto size = [](const Bytes& data) { return static_cast<uint32_t>(data.size()); };

    for (int level : {0, 1, 6, 9}) {
        out.WritePayload("level-" + std::to_string(level), size(text), fixture::ZlibCompress(text, level));
    }
    out.WritePayload("incompressible", size(noise), fixture::ZlibCompress(noise));
    out.WritePayload("empty", 0, fixture::ZlibCompress({}));
    out.WritePayload("destination-one-short", size(text) - 1, fixture::ZlibCompress(text));
    out.WritePayload("destination-larger", size(text) + 100, fixture::ZlibCompress(text));
    out.WritePayload("trailing-bytes", size(text), Concat({fixture::ZlibCompress(text), Text("tail")}));
    Bytes truncated = fixture::ZlibCompress(text);
    truncated.resize(truncated.size() - 3);
    out.WritePayload("truncated", size(text), truncated);
    // Header bytes 78 BB: the preset-dictionary flag, then a dictionary id.
    out.WritePayload("preset-dictionary", 16, Bytes{0x78, 0xBB, 0x00, 0x00, 0x00, 0x01, 0x03, 0x00});
}

// Small textures of every format the DDS decoder knows: mips, cube maps (whole and partial), arrays, the
// uncompressed layouts, odd sizes, and a few refusals.
void WriteDdsSeeds(CorpusWriter& out) {
    using fixture::DdsSpec;
    using fixture::FourCc;
    struct BlockSeed {
        const char* name;
        uint32_t fourCc;
        uint32_t dxgiFormat;
        uint32_t blockBytes;
    };
    const BlockSeed blockSeeds[] = {
        {"dxt1", FourCc("DXT1"), 0, 8},        {"dxt3", FourCc("DXT3"), 0, 16},
        {"dxt5", FourCc("DXT5"), 0, 16},       {"ati1", FourCc("ATI1"), 0, 8},
        {"bc4s", FourCc("BC4S"), 0, 8},        {"ati2", FourCc("ATI2"), 0, 16},
        {"bc5s", FourCc("BC5S"), 0, 16},       {"dx10-bc1", FourCc("DX10"), 71, 8},
        {"dx10-bc3", FourCc("DX10"), 77, 16},  {"dx10-bc5s", FourCc("DX10"), 84, 16},
        {"dx10-bc6h", FourCc("DX10"), 95, 16}, {"dx10-bc7", FourCc("DX10"), 98, 16},
    };
    uint32_t seed = 1;
    for (const BlockSeed& format : blockSeeds) {
        const bool bc7 = format.dxgiFormat == 98;
        DdsSpec spec;
        spec.fourCc = format.fourCc;
        spec.dxgiFormat = format.dxgiFormat;
        // 16×8 with all five mips.
        spec.width = 16;
        spec.height = 8;
        spec.mipCount = 5;
        spec.data = fixture::RandomBlocks(
            format.blockBytes, fixture::BlockSurfaceBytes(16, 8, format.blockBytes, 5) / format.blockBytes,
            seed++, bc7);
        out.Write(std::string(format.name) + "-mips.dds", fixture::BuildDds(spec));
        // 5×3, one level: partial blocks at the right and bottom edges.
        spec.width = 5;
        spec.height = 3;
        spec.mipCount = 1;
        spec.data = fixture::RandomBlocks(format.blockBytes, 2, seed++, bc7);
        out.Write(std::string(format.name) + "-odd-size.dds", fixture::BuildDds(spec));
    }
    // Cube maps: six faces of 4×4 with 3 mips (legacy and DX10), three faces of a partial one, a DX10 array.
    DdsSpec cube;
    cube.width = cube.height = 4;
    cube.mipCount = 3;
    cube.caps2 = fixture::kDdsCubeMap | fixture::kDdsAllFaces;
    cube.data = fixture::RandomBlocks(8, 6 * 3, seed++);
    out.Write("cube-dxt1.dds", fixture::BuildDds(cube));
    cube.caps2 = fixture::kDdsCubeMap | 0x400 | 0x2000 | 0x8000;
    cube.data.resize(3 * 3 * 8);
    out.Write("cube-partial-dxt1.dds", fixture::BuildDds(cube));
    DdsSpec dx10Cube;
    dx10Cube.fourCc = FourCc("DX10");
    dx10Cube.miscFlag = 0x4;
    dx10Cube.data = fixture::RandomBlocks(16, 6, seed++, true);
    out.Write("cube-bc7.dds", fixture::BuildDds(dx10Cube));
    DdsSpec array = dx10Cube;
    array.miscFlag = 0;
    array.arraySize = 3;
    array.data.resize(3 * 16);
    out.Write("array-bc7.dds", fixture::BuildDds(array));

    // Uncompressed layouts, 3×2 pixels.
    struct MaskedSeed {
        const char* name;
        uint32_t flags;
        uint32_t bits;
        std::array<uint32_t, 4> masks;
    };
    const MaskedSeed maskedSeeds[] = {
        {"a8r8g8b8", fixture::kDdsRgb | fixture::kDdsAlphaPixels, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}},
        {"x8r8g8b8", fixture::kDdsRgb, 32, {0xFF0000, 0xFF00, 0xFF, 0}},
        {"a8b8g8r8", fixture::kDdsRgb | fixture::kDdsAlphaPixels, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}},
        {"a2b10g10r10",
         fixture::kDdsRgb | fixture::kDdsAlphaPixels,
         32,
         {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}},
        {"r8g8b8", fixture::kDdsRgb, 24, {0xFF0000, 0xFF00, 0xFF, 0}},
        {"r5g6b5", fixture::kDdsRgb, 16, {0xF800, 0x7E0, 0x1F, 0}},
        {"a1r5g5b5", fixture::kDdsRgb | fixture::kDdsAlphaPixels, 16, {0x7C00, 0x3E0, 0x1F, 0x8000}},
        {"a4r4g4b4", fixture::kDdsRgb | fixture::kDdsAlphaPixels, 16, {0xF00, 0xF0, 0xF, 0xF000}},
        {"l8", fixture::kDdsLuminance, 8, {0xFF, 0, 0, 0}},
        {"a8l8", fixture::kDdsLuminance | fixture::kDdsAlphaPixels, 16, {0xFF, 0, 0, 0xFF00}},
        {"a8", fixture::kDdsAlpha, 8, {0, 0, 0, 0xFF}},
    };
    for (const MaskedSeed& format : maskedSeeds) {
        DdsSpec spec;
        spec.width = 3;
        spec.height = 2;
        spec.mipCount = 2;
        spec.formatFlags = format.flags;
        spec.bitCount = format.bits;
        spec.masks = format.masks;
        spec.data = fixture::RandomBlocks(1, (3 * 2 + 1) * format.bits / 8, seed++);
        out.Write(std::string(format.name) + ".dds", fixture::BuildDds(spec));
    }
    for (uint32_t dxgi : {87u, 88u, 28u, 85u, 86u, 115u, 49u, 61u, 65u}) {
        DdsSpec spec;
        spec.fourCc = FourCc("DX10");
        spec.dxgiFormat = dxgi;
        spec.width = 2;
        spec.height = 2;
        spec.data = fixture::RandomBlocks(1, 16, seed++);
        out.Write("dx10-format-" + std::to_string(dxgi) + ".dds", fixture::BuildDds(spec));
    }

    // Refusals: a volume texture, too many mips, data one byte short.
    DdsSpec volume;
    volume.caps2 = fixture::kDdsVolume;
    volume.depth = 4;
    volume.data = fixture::RandomBlocks(8, 4, seed++);
    out.Write("volume.dds", fixture::BuildDds(volume));
    DdsSpec tooManyMips;
    tooManyMips.mipCount = 4;
    tooManyMips.data = fixture::RandomBlocks(8, 4, seed++);
    out.Write("too-many-mips.dds", fixture::BuildDds(tooManyMips));
    DdsSpec short1;
    short1.fourCc = FourCc("DXT5");
    short1.data = fixture::RandomBlocks(1, 15, seed++);
    out.Write("one-byte-short.dds", fixture::BuildDds(short1));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT\n", argv[0]);
        return 2;
    }
    try {
        const fs::path root = argv[1];
        CorpusWriter archives(root / "archive");
        CorpusWriter lz4(root / "lz4");
        CorpusWriter zlib(root / "zlib");
        CorpusWriter dds(root / "dds");
        WriteArchiveSeeds(archives);
        WriteLz4Seeds(lz4);
        WriteZlibSeeds(zlib);
        WriteDdsSeeds(dds);
        std::printf("%d archive, %d lz4, %d zlib and %d dds seeds written below %s\n", archives.Written(),
                    lz4.Written(), zlib.Written(), dds.Written(), root.string().c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "fuzz_seed_corpus: %s\n", error.what());
        return 1;
    }
    return 0;
}
