// Checks the fixture writer against liblz4's and zlib's own decoders and against the archive layout, so
// that a fault in a fixture is never mistaken for a fault in the reader it feeds.
#include "tests/support/bsa_writer.h"

#include <gtest/gtest.h>
#include <lz4.h>
#include <lz4frame.h>
#include <zlib.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fixture {
namespace {

uint32_t U32At(std::span<const uint8_t> bytes, uint64_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | bytes[at + i];
    return value;
}
uint64_t U64At(std::span<const uint8_t> bytes, uint64_t at) {
    return U32At(bytes, at) | (static_cast<uint64_t>(U32At(bytes, at + 4)) << 32);
}
std::string StringAt(std::span<const uint8_t> bytes, uint64_t at, size_t length) {
    return {reinterpret_cast<const char*>(bytes.data() + at), length};
}

struct FrameDecoderDeleter {
    void operator()(LZ4F_dctx* context) const { LZ4F_freeDecompressionContext(context); }
};

// Decodes one LZ4 frame with the library; fails the test unless the frame ends exactly at the input's end.
std::vector<uint8_t> DecodeFrame(std::span<const uint8_t> frame, size_t expectedSize) {
    LZ4F_dctx* raw = nullptr;
    EXPECT_FALSE(LZ4F_isError(LZ4F_createDecompressionContext(&raw, LZ4F_VERSION)));
    const std::unique_ptr<LZ4F_dctx, FrameDecoderDeleter> context(raw);
    std::vector<uint8_t> out(expectedSize + 1); // one spare byte shows an over-long frame
    size_t outSize = out.size(), inSize = frame.size();
    const size_t hint = LZ4F_decompress(context.get(), out.data(), &outSize, frame.data(), &inSize, nullptr);
    EXPECT_FALSE(LZ4F_isError(hint)) << LZ4F_getErrorName(hint);
    EXPECT_EQ(hint, 0u) << "frame not complete";
    EXPECT_EQ(inSize, frame.size()) << "bytes after the frame";
    out.resize(outSize);
    return out;
}

struct FrameCase {
    size_t size;
    int blockSizeIdAsked;
    bool checksum;
    int blockSizeIdWritten;
};

TEST(WriterLz4FrameTest, DecodesBackAndHasTheSevenByteDescriptor) {
    const FrameCase cases[] = {
        {0, 0, false, 4},       {65'536, 0, false, 4},        {65'537, 0, false, 5},
        {262'145, 0, false, 6}, {(1 << 20) + 1, 0, false, 7}, {1'000, 7, true, 7},
        {300'000, 4, false, 4}, // several 64 KiB blocks
    };
    for (const FrameCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.size << ", block id " << c.blockSizeIdAsked);
        const std::vector<uint8_t> data = CompressibleBytes(c.size, 5);
        Lz4Options options;
        options.blockSizeId = c.blockSizeIdAsked;
        options.contentChecksum = c.checksum;
        const std::vector<uint8_t> frame = Lz4Frame(data, options);

        ASSERT_GE(frame.size(), 11u);
        EXPECT_EQ(U32At(frame, 0), 0x184D2204u);
        EXPECT_EQ(frame[4], c.checksum ? 0x64 : 0x60); // version 1, independent blocks, nothing else
        EXPECT_EQ(frame[5], c.blockSizeIdWritten << 4);

        LZ4F_dctx* raw = nullptr;
        ASSERT_FALSE(LZ4F_isError(LZ4F_createDecompressionContext(&raw, LZ4F_VERSION)));
        const std::unique_ptr<LZ4F_dctx, FrameDecoderDeleter> context(raw);
        LZ4F_frameInfo_t info;
        size_t headerSize = frame.size();
        ASSERT_FALSE(LZ4F_isError(LZ4F_getFrameInfo(context.get(), &info, frame.data(), &headerSize)));
        EXPECT_EQ(headerSize, 7u);
        EXPECT_EQ(info.blockSizeID, c.blockSizeIdWritten);
        EXPECT_EQ(info.blockMode, LZ4F_blockIndependent);
        EXPECT_EQ(info.blockChecksumFlag, LZ4F_noBlockChecksum);
        EXPECT_EQ(info.contentSize, 0u);
        EXPECT_EQ(info.dictID, 0u);

        EXPECT_EQ(DecodeFrame(frame, data.size()), data);
    }
}

TEST(WriterLz4FrameTest, SkippableFramesSurroundTheFrame) {
    const std::vector<uint8_t> data = CompressibleBytes(5'000, 9);
    Lz4Options options;
    options.skippableFramesBefore = 2;
    options.skippableFrameAfter = true;
    const std::vector<uint8_t> stream = Lz4Frame(data, options);

    EXPECT_EQ(U32At(stream, 0), 0x184D2A50u);
    EXPECT_EQ(U32At(stream, 4), 8u);
    EXPECT_EQ(U32At(stream, 16), 0x184D2A51u);
    EXPECT_EQ(U32At(stream, 20), 8u);
    const size_t after = stream.size() - 16;
    EXPECT_EQ(U32At(stream, after), 0x184D2A52u);
    EXPECT_EQ(U32At(stream, after + 4), 8u);
    const std::span<const uint8_t> frame = std::span(stream).subspan(32, after - 32);
    EXPECT_EQ(DecodeFrame(frame, data.size()), data);
}

TEST(WriterLz4LegacyTest, BlocksDecodeBackWithTheBlockApi) {
    struct Case {
        size_t size, blockSize, blocks;
    };
    const Case cases[] = {{0, 8 << 20, 0}, {2'500, 1'000, 3}, {(9 << 20), 8 << 20, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.size << ", blocks of " << c.blockSize);
        const std::vector<uint8_t> data = CompressibleBytes(c.size, 3);
        const std::vector<uint8_t> stream = Lz4Legacy(data, c.blockSize);

        ASSERT_GE(stream.size(), 4u);
        EXPECT_EQ(U32At(stream, 0), 0x184C2102u);
        std::vector<uint8_t> decoded, block(c.blockSize);
        size_t at = 4, blocks = 0;
        while (at < stream.size()) {
            const uint32_t packed = U32At(stream, at);
            ASSERT_LE(at + 4 + packed, stream.size());
            const int produced = LZ4_decompress_safe(
                reinterpret_cast<const char*>(stream.data() + at + 4), reinterpret_cast<char*>(block.data()),
                static_cast<int>(packed), static_cast<int>(block.size()));
            ASSERT_GT(produced, 0);
            decoded.insert(decoded.end(), block.begin(), block.begin() + produced);
            at += 4 + packed;
            ++blocks;
        }
        EXPECT_EQ(blocks, c.blocks);
        EXPECT_EQ(decoded, data);
    }
}

TEST(WriterZlibTest, InflatesBackToTheOriginal) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{200'000}}) {
        const std::vector<uint8_t> data = CompressibleBytes(size, 4);
        const std::vector<uint8_t> packed = ZlibCompress(data);
        ASSERT_GE(packed.size(), 2u);
        EXPECT_EQ(packed[0], 0x78); // a zlib header with a 32 KiB window
        std::vector<uint8_t> out(size + 1);
        uLongf outSize = static_cast<uLongf>(out.size());
        ASSERT_EQ(uncompress(out.data(), &outSize, packed.data(), static_cast<uLong>(packed.size())), Z_OK);
        out.resize(outSize);
        EXPECT_EQ(out, data);
    }
}

TEST(WriterContentTest, SameSeedSameBytesAndAboutHalfCompressible) {
    EXPECT_EQ(CompressibleBytes(10'000, 1), CompressibleBytes(10'000, 1));
    EXPECT_NE(CompressibleBytes(10'000, 1), CompressibleBytes(10'000, 2));
    EXPECT_EQ(RandomBytes(1'001, 1), RandomBytes(1'001, 1));
    EXPECT_NE(RandomBytes(1'001, 1), RandomBytes(1'001, 2));

    const std::vector<uint8_t> compressible = CompressibleBytes(1 << 20, 8);
    const double zlibRatio = static_cast<double>(ZlibCompress(compressible).size()) / compressible.size();
    const double lz4Ratio = static_cast<double>(Lz4Frame(compressible).size()) / compressible.size();
    EXPECT_GT(zlibRatio, 0.35);
    EXPECT_LT(zlibRatio, 0.65);
    EXPECT_GT(lz4Ratio, 0.35);
    EXPECT_LT(lz4Ratio, 0.65);
    EXPECT_GT(ZlibCompress(RandomBytes(1 << 16, 8)).size(), size_t{1} << 16);
}

EntrySpec Entry(std::string name, std::vector<uint8_t> data, Storage storage) {
    EntrySpec entry;
    entry.name = std::move(name);
    entry.data = std::move(data);
    entry.storage = storage;
    return entry;
}

// A version-105 archive compressed by default, with embedded names, a root folder and a shared record.
ArchiveSpec EmbeddedNamesArchive() {
    ArchiveSpec recipe;
    recipe.flags = 0x107;
    EntrySpec shared = Entry("copy.txt", {}, Storage::Raw);
    shared.sharesDataWith = 2; // readme.txt
    recipe.folders = {
        {"meshes\\actors",
         {Entry("Body.NIF", CompressibleBytes(3'000, 1), Storage::Lz4Frame),
          Entry("caf\xE9.txt", CompressibleBytes(100, 2), Storage::Raw)}},
        {".", {Entry("readme.txt", CompressibleBytes(500, 3), Storage::Lz4Frame), shared}},
    };
    return recipe;
}

TEST(WriterLayoutTest, OffsetsPointAtWhatTheySay) {
    const ArchiveSpec recipe = EmbeddedNamesArchive();
    Layout layout;
    const std::vector<uint8_t> archive = BuildArchive(recipe, &layout);
    const uint32_t fileNamesLength = 9 + 9 + 11 + 9;

    EXPECT_EQ(StringAt(archive, 0, 4), std::string("BSA\0", 4));
    const uint32_t expectedHeader[] = {105, 36, 0x107, 2, 4, 14 + 2, fileNamesLength};
    for (size_t i = 0; i < std::size(expectedHeader); ++i)
        EXPECT_EQ(U32At(archive, 4 + 4 * i), expectedHeader[i]) << "header field at " << 4 + 4 * i;
    EXPECT_EQ(layout.fileSize, archive.size());

    ASSERT_EQ(layout.folders.size(), 2u);
    uint64_t previousHash = 0;
    std::string namesInRecordOrder;
    for (size_t i = 0; i < layout.folders.size(); ++i) {
        const FolderLayout& folder = layout.folders[i];
        SCOPED_TRACE(folder.name);
        EXPECT_EQ(folder.recordOffset, 36 + 24 * i);
        const uint64_t hash = U64At(archive, folder.recordOffset);
        EXPECT_EQ(hash, FolderNameHash(folder.name));
        EXPECT_GE(hash, previousHash) << "folder records out of hash order";
        previousHash = hash;
        EXPECT_EQ(U32At(archive, folder.recordOffset + 8), 2u);
        EXPECT_EQ(U32At(archive, folder.recordOffset + 12), 0xB17D0010u);
        EXPECT_EQ(U64At(archive, folder.recordOffset + 16), folder.blockOffset + fileNamesLength);
        EXPECT_EQ(archive[folder.blockOffset], folder.name.size() + 1);
        EXPECT_EQ(StringAt(archive, folder.blockOffset + 1, folder.name.size() + 1), folder.name + '\0');

        uint64_t recordOffset = folder.blockOffset + 2 + folder.name.size();
        uint64_t previousFileHash = 0;
        for (const EntryLayout& entry : layout.entries) {
            if (entry.folder != folder.name)
                continue;
            EXPECT_EQ(entry.recordOffset, recordOffset);
            const uint64_t fileHash = U64At(archive, recordOffset);
            EXPECT_EQ(fileHash, FileNameHash(entry.name));
            EXPECT_GE(fileHash, previousFileHash) << "file records out of hash order";
            previousFileHash = fileHash;
            EXPECT_EQ(U32At(archive, recordOffset + 8), entry.sizeWord);
            EXPECT_EQ(U32At(archive, recordOffset + 12), entry.dataOffset);
            recordOffset += 16;
            namesInRecordOrder += entry.name + '\0';
        }
    }
    EXPECT_EQ(layout.nameBlockOffset + fileNamesLength, layout.dataStart);
    EXPECT_EQ(StringAt(archive, layout.nameBlockOffset, fileNamesLength), namesInRecordOrder);

    // Stored data: embedded name, size prefix when compressed, payload. Bit 30 marks the raw entry.
    const struct {
        const char* folder;
        const char* name;
        const char* embeddedName;
        size_t specIndex;
        bool compressed;
    } expected[] = {
        {"meshes\\actors", "Body.NIF", "meshes\\actors\\Body.NIF", 0, true},
        {"meshes\\actors", "caf\xE9.txt", "meshes\\actors\\caf\xE9.txt", 1, false},
        {".", "readme.txt", "readme.txt", 2, true},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.name);
        const EntryLayout& entry = layout.FindEntry(e.folder, e.name);
        const std::vector<uint8_t>& data = recipe.folders[e.specIndex / 2].files[e.specIndex % 2].data;
        EXPECT_EQ(entry.specIndex, e.specIndex);
        EXPECT_EQ(entry.sizeWord, entry.storedBytes | (e.compressed ? 0 : 0x40000000u));
        const size_t nameLength = std::strlen(e.embeddedName);
        EXPECT_EQ(archive[entry.dataOffset], nameLength);
        EXPECT_EQ(StringAt(archive, entry.dataOffset + 1, nameLength), e.embeddedName);
        const uint64_t payloadSize = entry.dataOffset + entry.storedBytes - entry.payloadOffset;
        const std::span<const uint8_t> payload = std::span(archive).subspan(entry.payloadOffset, payloadSize);
        if (e.compressed) {
            EXPECT_EQ(entry.payloadOffset, entry.dataOffset + 1 + nameLength + 4);
            EXPECT_EQ(U32At(archive, entry.payloadOffset - 4), data.size());
            EXPECT_EQ(DecodeFrame(payload, data.size()), data);
        } else {
            EXPECT_EQ(entry.payloadOffset, entry.dataOffset + 1 + nameLength);
            EXPECT_EQ(std::vector<uint8_t>(payload.begin(), payload.end()), data);
        }
    }
    const EntryLayout& readme = layout.FindEntry(".", "readme.txt");
    const EntryLayout& copy = layout.FindEntry(".", "copy.txt");
    EXPECT_EQ(copy.dataOffset, readme.dataOffset);
    EXPECT_EQ(copy.sizeWord, readme.sizeWord);
    EXPECT_EQ(copy.storedBytes, 0u);
}

TEST(WriterLayoutTest, Version104OrderAsGivenAndOverrides) {
    ArchiveSpec recipe;
    recipe.version = 104;
    recipe.flags = 0x3; // raw by default: the zlib entry carries bit 30
    recipe.orderByHash = false;
    EntrySpec packed = Entry("b.pex", CompressibleBytes(2'000, 6), Storage::Zlib);
    EntrySpec damaged = Entry("a.pex", CompressibleBytes(100, 7), Storage::Zlib);
    damaged.packedOverride = std::vector<uint8_t>{0xDE, 0xAD};
    damaged.uncompressedSizeOverride = 12345;
    damaged.extraSizeBits = 0x80000000;
    damaged.offsetOverride = 0xFFFFFFF0;
    FolderSpec unnamed{"", {Entry("z.txt", {'z'}, Storage::Raw)}, uint8_t{0}};
    recipe.folders = {{"scripts", {packed, damaged}}, unnamed};
    Layout layout;
    const std::vector<uint8_t> archive = BuildArchive(recipe, &layout);

    ASSERT_EQ(layout.folders.size(), 2u);
    EXPECT_EQ(layout.folders[0].name, "scripts");
    EXPECT_EQ(layout.folders[1].recordOffset, 36u + 16);
    EXPECT_EQ(U32At(archive, layout.folders[1].recordOffset + 12), layout.folders[1].blockOffset + 6 + 6 + 6);
    EXPECT_EQ(archive[layout.folders[1].blockOffset], 0); // no name bytes: the record follows at once
    EXPECT_EQ(layout.entries[2].recordOffset, layout.folders[1].blockOffset + 1);
    EXPECT_EQ(layout.entries[0].name, "b.pex");

    const EntryLayout& good = layout.entries[0];
    EXPECT_EQ(good.sizeWord, 0x40000000u | good.storedBytes);
    std::vector<uint8_t> inflated(2'000);
    uLongf inflatedSize = static_cast<uLongf>(inflated.size());
    EXPECT_EQ(uncompress(inflated.data(), &inflatedSize, archive.data() + good.payloadOffset,
                         static_cast<uLong>(good.storedBytes - 4)),
              Z_OK);
    EXPECT_EQ(inflated, recipe.folders[0].files[0].data);

    const EntryLayout& bad = layout.entries[1];
    EXPECT_EQ(bad.storedBytes, 4u + 2);
    EXPECT_EQ(bad.sizeWord, 0xC0000006u);
    EXPECT_EQ(U32At(archive, bad.recordOffset + 8), 0xC0000006u);
    EXPECT_EQ(U32At(archive, bad.recordOffset + 12), 0xFFFFFFF0u);
    EXPECT_EQ(U32At(archive, bad.dataOffset), 12345u);
    EXPECT_EQ(StringAt(archive, bad.payloadOffset, 2), "\xDE\xAD");
}

// Removes the file it names when the test ends, whatever the outcome.
struct TempFile {
    std::filesystem::path path;
    explicit TempFile(const std::string& name)
        : path(std::filesystem::temp_directory_path() /
               (name + "-" + std::to_string(std::random_device{}()) + ".bsa")) {}
    ~TempFile() { std::filesystem::remove(path); }
};

std::vector<uint8_t> ReadAt(const std::filesystem::path& path, uint64_t offset, size_t count) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<uint8_t> bytes(count);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

TEST(WriterFileTest, WritesTheSameBytesAsBuildArchive) {
    const ArchiveSpec recipe = EmbeddedNamesArchive();
    Layout inMemory, onDisk;
    const std::vector<uint8_t> expected = BuildArchive(recipe, &inMemory);
    const TempFile file("bsa-writer-same");
    WriteArchiveFile(recipe, file.path.string(), &onDisk);
    EXPECT_EQ(ReadAt(file.path, 0, expected.size() + 1), expected);
    EXPECT_EQ(onDisk.fileSize, inMemory.fileSize);
}

TEST(WriterFileTest, FolderBlocksAbove4GiBLeaveASparseHole) {
    ArchiveSpec recipe;
    recipe.folders = {{"textures", {Entry("sky.dds", CompressibleBytes(70'000, 1), Storage::Lz4Frame)}}};
    recipe.folderBlocksAt = 5ull << 30;
    const TempFile file("bsa-writer-sparse");
    Layout layout;
    WriteArchiveFile(recipe, file.path.string(), &layout);

    EXPECT_EQ(std::filesystem::file_size(file.path), layout.fileSize);
    EXPECT_EQ(layout.folders[0].blockOffset, 5ull << 30);
    EXPECT_EQ(layout.dataStart, 36u + 24);
    const std::vector<uint8_t> head = ReadAt(file.path, 0, 60);
    ASSERT_EQ(head.size(), 60u);
    EXPECT_EQ(U64At(head, 36 + 16), (5ull << 30) + 8); // block offset + "sky.dds\0"
    const std::vector<uint8_t> block = ReadAt(file.path, 5ull << 30, 10 + 16);
    ASSERT_EQ(block.size(), 26u);
    EXPECT_EQ(StringAt(block, 0, 10), std::string("\x09textures\0", 10));
    EXPECT_EQ(U32At(block, 10 + 12), 60u); // the data lies right after the folder record
    EXPECT_EQ(StringAt(ReadAt(file.path, layout.nameBlockOffset, 8), 0, 8), std::string("sky.dds\0", 8));

#ifndef _WIN32
    struct stat status {};
    ASSERT_EQ(::stat(file.path.c_str(), &status), 0);
    EXPECT_LT(static_cast<uint64_t>(status.st_blocks) * 512, 16u << 20) << "the hole was written out";
#endif
}

} // namespace
} // namespace fixture
