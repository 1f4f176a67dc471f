// A small BSA (version 104/105) archive writer for tests, fuzz corpora, benchmarks and the demo archive.
//
// It writes archives laid out the way the games' own tools lay them out (records ordered by name hash,
// lower-case folder names with a counted terminator, zero-terminated file names, zlib or LZ4-frame payloads
// behind a 4-byte uncompressed size), and lets a fixture bend any field that a reader must survive.
// It depends only on the standard library, zlib and liblz4: never on the reader it helps to test.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fixture {

enum class Storage { Raw, Zlib, Lz4Frame, Lz4Legacy };

struct Lz4Options {
    int blockSizeId = 0; // 4..7 (64 KiB, 256 KiB, 1 MiB, 4 MiB); 0 = smallest that holds the entry
    bool contentChecksum = false;
    int compressionLevel = 9; // LZ4 HC, as the games' tools use
    // Skippable frames (magic 0x184D2A50 + i, 8 bytes of content) before and after the frame.
    int skippableFramesBefore = 0;
    bool skippableFrameAfter = false;
};

struct EntrySpec {
    std::string name;            // file name with extension, Windows-1252 bytes, stored as given
    std::vector<uint8_t> data{}; // the entry's uncompressed bytes
    Storage storage = Storage::Raw;
    Lz4Options lz4{}; // for Lz4Frame; the skippable-frame options also wrap Lz4Legacy payloads

    // Overrides for damaged or unusual fixtures (empty = computed normally):
    std::optional<std::vector<uint8_t>> packedOverride{}; // written as the payload instead of encoding `data`
    std::optional<uint32_t> uncompressedSizeOverride{};   // the 4-byte prefix of compressed entries
    std::optional<uint32_t> sizeWordOverride{};           // the whole size word of the file record
    std::optional<uint32_t> offsetOverride{};             // the data offset of the file record
    std::optional<std::string> embeddedNameOverride{};    // with flag 0x100: the name stored before the data
    uint32_t extraSizeBits = 0; // OR-ed into the computed size word (e.g. 0x80000000)
    // Index, counting the files of all folders in the order given, of an earlier entry whose data this
    // record points at: it copies that record's offset and size word and stores no data of its own.
    std::optional<size_t> sharesDataWith{};
};

struct FolderSpec {
    // E.g. "meshes\\actors"; stored as given (real tools store lower case); may be "" or ".".
    std::string name;
    std::vector<EntrySpec> files{};
    // The length byte of the folder block. Exactly that many name bytes follow it: the name and its zero
    // terminator, cut short or padded with zeros. So 0 on an empty name writes no bytes at all.
    std::optional<uint8_t> nameLengthOverride{};
};

struct ArchiveSpec {
    uint32_t version = 105; // 104 or 105; any other value is written with 104's records
    uint32_t flags = 0x3;   // 0x4 = compressed by default; 0x100 = embedded names
    std::vector<FolderSpec> folders{};
    bool orderByHash = true; // records ascending by name hash, as real archives; false = as given
    uint32_t v105FolderUnknown = 0xB17D0010;              // the unused word of version-105 folder records
    std::string signature = std::string("BSA\0", 4);      // written as its first 4 bytes, zero-padded
    std::optional<uint32_t> folderRecordOffsetOverride{}; // header field at offset 8 (normally 36)
    std::optional<uint32_t> folderCountOverride{}, fileCountOverride{};
    std::optional<uint32_t> fileFlagsOverride{};
    // 0 = folder blocks right after the folder records. Otherwise the folder blocks and the name block are
    // placed at this absolute offset, and the entry data right after the folder records, below it (for
    // version-105 archives whose blocks lie above 4 GiB, written sparse by WriteArchiveFile).
    uint64_t folderBlocksAt = 0;
};

// Where things landed, so that tests can patch, cut or corrupt bytes precisely.
struct EntryLayout {
    std::string folder, name;
    size_t specIndex;       // its index counting all folders' files in the order given
    uint64_t recordOffset;  // of its 16-byte file record
    uint64_t dataOffset;    // where its stored data begins (that of the shared entry for a sharing record)
    uint64_t payloadOffset; // where the payload begins, after any embedded name and size prefix
    uint64_t storedBytes;   // bytes written for it at dataOffset (0 for a sharing record)
    uint32_t sizeWord;      // as written in the record
};
struct FolderLayout {
    std::string name;
    uint64_t recordOffset; // of its folder record
    uint64_t blockOffset;  // of its length byte
};
struct Layout {
    std::vector<FolderLayout> folders; // in record order
    std::vector<EntryLayout> entries;  // in record order
    uint64_t nameBlockOffset = 0, dataStart = 0, fileSize = 0;

    // The entry stored under folder\name; throws std::out_of_range when there is none.
    const EntryLayout& FindEntry(std::string_view folder, std::string_view name) const;
};

// The whole archive in memory. Throws std::invalid_argument for a recipe it cannot write (folderBlocksAt set,
// a bad sharesDataWith, a name over 255 bytes) and std::length_error when a size or offset overflows its
// field.
std::vector<uint8_t> BuildArchive(const ArchiveSpec& recipe, Layout* layout = nullptr);

// The same archive written to `path` (UTF-8), one entry at a time, so that archives of several GB need no more
// memory than their largest entry. A large folderBlocksAt leaves a sparse hole. Also throws
// std::runtime_error when the file cannot be written.
void WriteArchiveFile(const ArchiveSpec& recipe, const std::string& path, Layout* layout = nullptr);

// The TES4/TES5 name hash: of a folder path (whole), or of a file name (stem and extension hashed apart).
uint64_t FolderNameHash(std::string_view folderPath);
uint64_t FileNameHash(std::string_view fileName);

// Payload encoders, usable alone by decoder tests:
std::vector<uint8_t> ZlibCompress(std::span<const uint8_t> data, int level = Z_DEFAULT_COMPRESSION);
// One frame (magic 0x184D2204, 7-byte descriptor): independent blocks, no block checksums, no content
// size, no dictionary id; preceded and followed by the skippable frames that `opt` asks for.
std::vector<uint8_t> Lz4Frame(std::span<const uint8_t> data, const Lz4Options& opt = {});
// Legacy stream: magic 0x184C2102, then [u32 size][LZ4 block] per block of at most blockSize input bytes.
std::vector<uint8_t> Lz4Legacy(std::span<const uint8_t> data, size_t blockSize = 8 << 20,
                               int compressionLevel = 9);
// Magic 0x184D2A50 + (magicLowNibble & 0xF), the content's length, the content.
std::vector<uint8_t> SkippableFrame(uint32_t magicLowNibble, std::span<const uint8_t> content);

// Test content, the same bytes for the same seed on every platform:
// About 2:1 compressible by zlib and LZ4 HC alike, like meshes or text.
std::vector<uint8_t> CompressibleBytes(size_t n, uint32_t seed);
// Incompressible.
std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed);

} // namespace fixture
