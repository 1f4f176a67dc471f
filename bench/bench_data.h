#pragma once
// The benchmark data: which archives bench_generate makes, where they live, and the side files it writes
// beside each archive so that bench_decode_limit and bench_extract_floor can decode and write the very same
// entries without our reader: the payload manifest ("<archive>.payloads", below) and the entry strings
// ("<archive>.paths": one line per entry, "folder\file" as the archive stores it, in record order).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

// One set of entries, written as a version 105 archive (LZ4), a version 104 archive (zlib), a plain folder
// tree with the same files, and (by bench/run) a tar of that tree.
struct DataSet {
    const char* name;    // "large" gives large-v105.bsa, large-v104.bsa, large.tree/
    uint32_t seed;       // everything in the set follows from it
    size_t entries;      // number of files
    uint64_t totalBytes; // their content, uncompressed
    uint32_t minSize;    // most entries lie between minSize and kneeSize, a few between kneeSize and maxSize
    uint32_t kneeSize;
    uint32_t maxSize;
    size_t filesPerFolder; // on average
    uint32_t archiveFlags; // 0x4: compressed by default; 0x100: embedded names (as texture archives have)
};

inline constexpr DataSet kLargeSet{"large", 1, 60'000, uint64_t{1} << 30, 300, 64 << 10, 4 << 20, 30, 0x107};
inline constexpr DataSet kSmallSet{"small", 2, 200'000, uint64_t{200} << 20, 100, 4 << 10, 16 << 10, 40, 0x7};
// Three archives of one storage kind each for the fetch benchmark: the same entries raw, zlib, LZ4.
inline constexpr DataSet kKindSet{"kind", 3, 2'000, uint64_t{128} << 20, 300, 64 << 10, 4 << 20, 25, 0x7};

// A game's Data folder at full size: kDataFolderArchives archives of version 105 in the folder
// "datafolder-v105" with kDataFolderEntries entries of a few bytes in all, each archive holding
// kDataFolderOverlap of the paths of the one before it in load order (their names sort as the load order:
// "Skyrim - Part00.bsa" first), the case of some names changed.
inline constexpr const char* kDataFolderName = "datafolder-v105";
inline constexpr size_t kDataFolderArchives = 20;
inline constexpr size_t kDataFolderEntries = 1'000'000;
inline constexpr size_t kDataFolderOverlap = 10'000;

// Two versions of one archive (version 105, entries of a few bytes) that differ in kCompareDifferences
// paths: of the kCompareOlderEntries paths of the older, every fourth is gone from the newer, every other
// one holds other bytes there, the rest the same; the newer adds a quarter as many paths of its own.
inline constexpr const char* kCompareOlderName = "compare-older.bsa";
inline constexpr const char* kCompareNewerName = "compare-newer.bsa";
inline constexpr size_t kCompareOlderEntries = 200'000;
inline constexpr size_t kCompareDifferences = kCompareOlderEntries; // 1/4 gone + 1/2 changed + 1/4 added

// The folder of the generated data: $PARLIVEX_BENCH_DATA, or bench-data beside the repository (the build
// defines PARLIVEX_BENCH_DEFAULT_DATA).
inline std::string DataFolder() {
    const char* folder = std::getenv("PARLIVEX_BENCH_DATA");
    return folder != nullptr && *folder != '\0' ? folder : PARLIVEX_BENCH_DEFAULT_DATA;
}

// One entry's payload as stored in an archive: where it starts, its stored and its decoded size.
enum class PayloadKind : uint32_t { Raw = 0, Zlib = 1, Lz4Frame = 2 };
struct Payload {
    uint32_t kind;
    uint32_t packedSize;
    uint32_t unpackedSize;
    uint32_t reserved;
    uint64_t offset;
};
static_assert(sizeof(Payload) == 24);

// "<archive>.payloads": the Payload records in record order, nothing else.
inline bool ReadManifest(const std::string& path, std::vector<Payload>& payloads) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    Payload payload{};
    while (std::fread(&payload, sizeof payload, 1, file) == 1) {
        payloads.push_back(payload);
    }
    std::fclose(file);
    return true;
}

} // namespace bench
