// bench_generate [FOLDER]: writes the benchmark archives with the test writer, from fixed seeds, into FOLDER
// (default: $PARLIVEX_BENCH_DATA, or bench-data beside the repository). What is already there is kept:
//   large-v105.bsa, large-v104.bsa   60,000 entries, 1 GiB of content (meshes, textures, sound)
//   small-v105.bsa, small-v104.bsa   200,000 entries, 200 MiB of content
//   large.tree/, small.tree/         the same files as a plain folder tree
//   kind-raw.bsa, kind-zlib.bsa, kind-lz4.bsa   2,000 entries, 128 MiB, one storage kind each
//   zeros-v104.bsa                   two entries of 1 GiB of zeros each, zlib, in about 2 MB
//   datafolder-v105/                 a Data folder: 20 archives, 1,000,000 entries of a few bytes, some
//                                    overriding others (see bench_data.h)
//   compare-older.bsa, compare-newer.bsa   two versions of an archive that differ in 200,000 paths
// and beside each archive of the first three sets "<archive>.payloads", where each entry's payload lies, and
// "<archive>.paths", each entry's entry string (see bench_data.h).
// Content is about 2:1 compressible; LZ4 entries are single frames with the smallest block size that holds
// the entry, independent blocks and no checksums, as the games' own tools write them.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>
#include <zlib.h>

#include "bench/bench_data.h"
#include "fixtures/bsa_writer.h"

namespace {

namespace fs = std::filesystem;
using fixture::ArchiveSpec;
using fixture::EntrySpec;
using fixture::FolderSpec;
using fixture::Storage;

// splitmix64, so that the same seed gives the same data everywhere.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 12345) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
    size_t Below(size_t n) { return static_cast<size_t>(Next() % n); }

private:
    uint64_t state_;
};

struct Category {
    const char* top;
    std::vector<const char*> groups;
    std::vector<const char*> extensions;
    bool raw; // sound is stored uncompressed, as in the games' archives
};

const std::vector<Category>& Categories() {
    static const std::vector<Category> categories{
        {"meshes",
         {"actors\\character", "actors\\draugr", "architecture\\whiterun", "architecture\\solitude",
          "clutter", "weapons\\iron", "armor\\steel", "dungeons\\nordic", "landscape\\trees", "furniture",
          "effects"},
         {".nif", ".nif", ".nif", ".hkx", ".tri"},
         false},
        {"textures",
         {"actors\\character", "architecture\\windhelm", "clutter", "weapons\\daedric", "armor\\glass",
          "landscape", "dungeons\\dwemer", "effects\\gradients", "terrain\\tamriel"},
         {".dds"},
         false},
        {"sound",
         {"fx\\ambient", "fx\\npc\\draugr", "fx\\magic", "fx\\ui", "voice\\skyrim.esm\\malenord"},
         {".wav", ".xwm", ".fuz"},
         true},
        {"scripts", {"", "source"}, {".pex", ".psc"}, false},
        {"interface", {"", "controls", "fonts"}, {".swf", ".txt"}, false},
    };
    return categories;
}

const char* const kWords[] = {"iron",   "steel",  "draugr", "nord",  "helmet", "door",  "chest",  "barrel",
                              "sword",  "shield", "wall",   "floor", "torch",  "rock",  "tree",   "bridge",
                              "tower",  "gate",   "table",  "chair", "bed",    "cup",   "plate",  "bottle",
                              "candle", "banner", "rug",    "cave",  "ruin",   "stair", "pillar", "arch"};
constexpr size_t kWordCount = std::size(kWords);

// Entry sizes, spread evenly on a logarithmic scale: most between minSize and kneeSize, and just enough
// between kneeSize and maxSize (large textures, long sounds) for the sizes to add up to about totalBytes;
// then scaled to hit totalBytes exactly.
std::vector<uint32_t> EntrySizes(const bench::DataSet& set, Random& random) {
    const auto logUniformMean = [](double low, double high) { return (high - low) / std::log(high / low); };
    const double bodyMean = logUniformMean(set.minSize, set.kneeSize);
    const double tailMean = logUniformMean(set.kneeSize, set.maxSize);
    const double wantedMean = static_cast<double>(set.totalBytes) / static_cast<double>(set.entries);
    const double tailShare = std::clamp((wantedMean - bodyMean) / (tailMean - bodyMean), 0.0, 1.0);

    std::vector<double> drawn(set.entries);
    double sum = 0;
    for (double& size : drawn) {
        const bool tail = random.Unit() < tailShare;
        const double low = tail ? set.kneeSize : set.minSize;
        const double high = tail ? set.maxSize : set.kneeSize;
        size = low * std::pow(high / low, random.Unit());
        sum += size;
    }
    const double scale = static_cast<double>(set.totalBytes) / sum;
    std::vector<uint32_t> sizes(set.entries);
    uint64_t total = 0;
    for (size_t i = 0; i < sizes.size(); ++i) {
        sizes[i] = static_cast<uint32_t>(std::clamp(drawn[i] * scale, 1.0, static_cast<double>(set.maxSize)));
        total += sizes[i];
    }
    // The rounding remainder goes to the largest entry.
    auto largest = std::max_element(sizes.begin(), sizes.end());
    *largest = static_cast<uint32_t>(static_cast<int64_t>(*largest) + static_cast<int64_t>(set.totalBytes) -
                                     static_cast<int64_t>(total));
    return sizes;
}

// The set's folders and entries, stored the version 105 way (LZ4 frames; sound raw). Without content, the
// entries are empty but named and ordered as with it.
enum class Content { Full, NamesOnly };
ArchiveSpec BuildSpec(const bench::DataSet& set, Content content = Content::Full) {
    Random random(set.seed);
    const std::vector<uint32_t> sizes = EntrySizes(set, random);
    const auto& categories = Categories();
    // Shares of the folders: meshes, textures, sound, scripts, interface.
    const double shares[] = {0.42, 0.33, 0.17, 0.05, 0.03};

    ArchiveSpec recipe;
    recipe.version = 105;
    recipe.flags = set.archiveFlags;
    const size_t folderCount = std::max<size_t>(1, set.entries / set.filesPerFolder);
    size_t entry = 0;
    // Real archives hold no empty folders: the folders end with the entries.
    for (size_t f = 0; f < folderCount && entry < set.entries; ++f) {
        double pick = random.Unit();
        size_t c = 0;
        while (c + 1 < categories.size() && pick >= shares[c]) {
            pick -= shares[c];
            ++c;
        }
        const Category& category = categories[c];
        FolderSpec folder;
        folder.name = category.top;
        const std::string group = category.groups[random.Below(category.groups.size())];
        if (!group.empty()) {
            folder.name.append(1, '\\').append(group);
        }
        folder.name.append(1, '\\').append(kWords[random.Below(kWordCount)]).append(std::to_string(f));

        // Between half and one and a half times the average, the last folder takes the rest.
        const size_t wanted = set.filesPerFolder / 2 + random.Below(set.filesPerFolder + 1);
        const size_t count =
            f + 1 == folderCount ? set.entries - entry : std::min(wanted, set.entries - entry);
        for (size_t i = 0; i < count; ++i, ++entry) {
            EntrySpec file;
            char number[24];
            std::snprintf(number, sizeof number, "%02zu", i);
            file.name = std::string(kWords[random.Below(kWordCount)]) + kWords[random.Below(kWordCount)] +
                        number + category.extensions[random.Below(category.extensions.size())];
            if (content == Content::Full) {
                file.data = fixture::CompressibleBytes(sizes[entry],
                                                       set.seed * 1'000'003u + static_cast<uint32_t>(entry));
            }
            file.storage = category.raw ? Storage::Raw : Storage::Lz4Frame;
            folder.files.push_back(std::move(file));
        }
        recipe.folders.push_back(std::move(folder));
    }
    return recipe;
}

// Every entry in one storage kind: Lz4Frame becomes Zlib for version 104, or Raw for a raw archive.
void SetStorage(ArchiveSpec& recipe, uint32_t version, uint32_t flags, Storage compressed) {
    recipe.version = version;
    recipe.flags = flags;
    for (FolderSpec& folder : recipe.folders) {
        for (EntrySpec& file : folder.files) {
            if (file.storage != Storage::Raw) {
                file.storage = compressed;
            }
        }
    }
}

void ConvertToRaw(ArchiveSpec& recipe) {
    for (FolderSpec& folder : recipe.folders) {
        for (EntrySpec& file : folder.files) {
            file.storage = Storage::Raw;
        }
    }
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Writes the archive to a temporary name, then renames it, so that a half-written archive is never taken
// for a finished one; the manifest goes first for the same reason.
void WriteArchive(const ArchiveSpec& recipe, const fs::path& path) {
    if (fs::exists(path)) {
        return;
    }
    const auto started = std::chrono::steady_clock::now();
    const fs::path temporary = path.string() + ".part";
    fixture::Layout layout;
    fixture::WriteArchiveFile(recipe, temporary.string(), &layout);

    std::vector<const EntrySpec*> inOrder; // the specs in the order the layout counts them
    for (const FolderSpec& folder : recipe.folders) {
        for (const EntrySpec& file : folder.files) {
            inOrder.push_back(&file);
        }
    }
    std::vector<bench::Payload> payloads;
    payloads.reserve(layout.entries.size());
    for (const fixture::EntryLayout& entry : layout.entries) {
        const EntrySpec& file = *inOrder[entry.specIndex];
        bench::Payload payload{};
        payload.kind = static_cast<uint32_t>(file.storage == Storage::Raw    ? bench::PayloadKind::Raw
                                             : file.storage == Storage::Zlib ? bench::PayloadKind::Zlib
                                                                             : bench::PayloadKind::Lz4Frame);
        payload.offset = entry.payloadOffset;
        payload.packedSize =
            static_cast<uint32_t>(entry.storedBytes - (entry.payloadOffset - entry.dataOffset));
        payload.unpackedSize = static_cast<uint32_t>(file.data.size());
        payloads.push_back(payload);
    }
    std::ofstream manifest(path.string() + ".payloads", std::ios::binary | std::ios::trunc);
    manifest.write(reinterpret_cast<const char*>(payloads.data()),
                   static_cast<std::streamsize>(payloads.size() * sizeof(bench::Payload)));
    if (!manifest.flush()) {
        throw std::runtime_error("cannot write the manifest of " + path.string());
    }
    fs::rename(temporary, path);
    std::printf("  %s: %.1f MiB in %.1f s\n", path.filename().c_str(),
                static_cast<double>(fs::file_size(path)) / (1 << 20), Seconds(started));
    std::fflush(stdout);
}

void WriteTree(const ArchiveSpec& recipe, const fs::path& path) {
    if (fs::exists(path)) {
        return;
    }
    const auto started = std::chrono::steady_clock::now();
    const fs::path temporary = path.string() + ".part";
    fs::remove_all(temporary);
    for (const FolderSpec& folder : recipe.folders) {
        std::string relative = folder.name;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        const fs::path directory = temporary / relative;
        fs::create_directories(directory);
        for (const EntrySpec& file : folder.files) {
            std::ofstream out(directory / file.name, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(file.data.data()),
                      static_cast<std::streamsize>(file.data.size()));
            if (!out.flush()) {
                throw std::runtime_error("cannot write " + (directory / file.name).string());
            }
        }
    }
    fs::rename(temporary, path);
    std::printf("  %s: %.1f s\n", path.filename().c_str(), Seconds(started));
    std::fflush(stdout);
}

// "<archive>.paths": the entry strings in record order, which depends on the names alone, so an archive of
// empty entries with the same names gives it without encoding anything.
void WritePaths(ArchiveSpec namesOnly, uint32_t version, const fs::path& archive) {
    const fs::path path = archive.string() + ".paths";
    if (fs::exists(path)) {
        return;
    }
    namesOnly.version = version;
    fixture::Layout layout;
    fixture::BuildArchive(namesOnly, &layout);
    const fs::path temporary = path.string() + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (const fixture::EntryLayout& entry : layout.entries) {
            out << entry.folder << '\\' << entry.name << '\n';
        }
        if (!out.flush()) {
            throw std::runtime_error("cannot write " + temporary.string());
        }
    }
    fs::rename(temporary, path);
}

// A crafted archive: two entries of 1 GiB of zeros, zlib-compressed to about 1 MB each, to show how much
// memory extracting an entry far larger than its stored bytes takes.
void WriteZeros(const fs::path& path) {
    if (fs::exists(path)) {
        return;
    }
    constexpr uint32_t kEntryBytes = uint32_t{1} << 30;
    z_stream stream{};
    if (deflateInit(&stream, Z_BEST_COMPRESSION) != Z_OK) {
        throw std::runtime_error("no zlib stream");
    }
    const std::vector<uint8_t> zeros(1 << 20);
    std::vector<uint8_t> packed(deflateBound(&stream, kEntryBytes));
    stream.next_out = packed.data();
    stream.avail_out = static_cast<uInt>(packed.size());
    for (uint32_t left = kEntryBytes; left > 0; left -= static_cast<uint32_t>(zeros.size())) {
        stream.next_in = const_cast<Bytef*>(zeros.data());
        stream.avail_in = static_cast<uInt>(zeros.size());
        const int flush = left == zeros.size() ? Z_FINISH : Z_NO_FLUSH;
        const int status = deflate(&stream, flush);
        if (stream.avail_in != 0 || status != (flush == Z_FINISH ? Z_STREAM_END : Z_OK)) {
            throw std::runtime_error("zlib could not compress the zeros");
        }
    }
    packed.resize(stream.total_out);
    deflateEnd(&stream);

    ArchiveSpec recipe;
    recipe.version = 104;
    recipe.flags = 0x7;
    FolderSpec folder;
    folder.name = "zeros";
    for (const char* name : {"first.bin", "second.bin"}) {
        EntrySpec file;
        file.name = name;
        file.storage = Storage::Zlib;
        file.packedOverride = packed;
        file.uncompressedSizeOverride = kEntryBytes;
        folder.files.push_back(std::move(file));
    }
    recipe.folders.push_back(std::move(folder));
    const fs::path temporary = path.string() + ".part";
    fixture::WriteArchiveFile(recipe, temporary.string());
    fs::rename(temporary, path);
    std::printf("  %s: %.1f MiB\n", path.filename().c_str(),
                static_cast<double>(fs::file_size(path)) / (1 << 20));
    std::fflush(stdout);
}

// Runs two jobs side by side (the encoders are slow); the first failure of either is raised here.
template <typename A, typename B> void RunSideBySide(A first, B second) {
    std::exception_ptr failure;
    std::thread other([&] {
        try {
            first();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    try {
        second();
    } catch (...) {
        other.join();
        throw;
    }
    other.join();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

bool AllExist(const std::vector<fs::path>& paths) {
    return std::all_of(paths.begin(), paths.end(), [](const fs::path& p) { return fs::exists(p); });
}

void GenerateSet(const bench::DataSet& set, const fs::path& folder) {
    const std::string base = (folder / set.name).string();
    const fs::path v105 = base + "-v105.bsa", v104 = base + "-v104.bsa", tree = base + ".tree";
    if (!AllExist({v105, v104, tree})) {
        std::printf("%s: %zu entries, %.0f MiB\n", set.name, set.entries,
                    static_cast<double>(set.totalBytes) / (1 << 20));
        const ArchiveSpec recipe = BuildSpec(set);
        ArchiveSpec spec104 = recipe;
        SetStorage(spec104, 104, set.archiveFlags, Storage::Zlib);
        RunSideBySide(
            [&] {
                WriteTree(recipe, tree);
                WriteArchive(recipe, v105);
            },
            [&] { WriteArchive(spec104, v104); });
    }
    if (!AllExist({v105.string() + ".paths", v104.string() + ".paths"})) {
        const ArchiveSpec namesOnly = BuildSpec(set, Content::NamesOnly);
        WritePaths(namesOnly, 105, v105);
        WritePaths(namesOnly, 104, v104);
    }
}

void GenerateKindSet(const fs::path& folder) {
    const bench::DataSet& set = bench::kKindSet;
    const std::string base = (folder / set.name).string();
    const fs::path raw = base + "-raw.bsa", zlib = base + "-zlib.bsa", lz4 = base + "-lz4.bsa";
    if (AllExist({raw, zlib, lz4})) {
        return;
    }
    std::printf("%s: %zu entries, %.0f MiB per storage kind\n", set.name, set.entries,
                static_cast<double>(set.totalBytes) / (1 << 20));
    ArchiveSpec recipe = BuildSpec(set);
    for (FolderSpec& f : recipe.folders) {
        for (EntrySpec& file : f.files) {
            file.storage = Storage::Lz4Frame; // sound too: one storage kind per archive
        }
    }
    ArchiveSpec specZlib = recipe;
    SetStorage(specZlib, 104, 0x7, Storage::Zlib);
    RunSideBySide([&] { WriteArchive(recipe, lz4); }, [&] { WriteArchive(specZlib, zlib); });
    ConvertToRaw(recipe);
    recipe.version = 105;
    recipe.flags = 0x3;
    WriteArchive(recipe, raw);
}

// Writes recipe at path through a temporary, so that a run cut short leaves no archive behind.
void WriteThroughTemporary(const ArchiveSpec& recipe, const fs::path& path) {
    const fs::path temporary = path.string() + ".part";
    fixture::WriteArchiveFile(recipe, temporary.string());
    fs::rename(temporary, path);
}

// The folder of the small entry p of the Data folder and the compared archives: 50 entries a folder, in
// folders named as the games name them.
constexpr size_t kFilesPerSmallFolder = 50;
std::string SmallEntryFolder(size_t p) {
    const Category& category = Categories()[p / kFilesPerSmallFolder % 3];
    char folderName[96];
    std::snprintf(folderName, sizeof folderName, "%s\\%s\\set%05zu", category.top,
                  category.groups[p / kFilesPerSmallFolder % category.groups.size()],
                  p / kFilesPerSmallFolder);
    return folderName;
}

// The Data folder: archive a holds the paths a * step .. a * step + perArchive - 1, so that it shares
// kDataFolderOverlap paths with the archive before it; in odd archives the shared ones are spelled in
// capitals.
void WriteDataFolder(const fs::path& folder) {
    const size_t perArchive = bench::kDataFolderEntries / bench::kDataFolderArchives;
    const size_t step = perArchive - bench::kDataFolderOverlap;
    fs::create_directories(folder);
    const auto started = std::chrono::steady_clock::now();
    bool wrote = false;
    for (size_t a = 0; a < bench::kDataFolderArchives; ++a) {
        char name[64];
        std::snprintf(name, sizeof name, "Skyrim - Part%02zu.bsa", a);
        const fs::path path = folder / name;
        if (fs::exists(path)) {
            continue;
        }
        ArchiveSpec recipe;
        recipe.version = 105;
        recipe.flags = 0x3; // uncompressed: the entries are a few bytes
        for (size_t p = a * step; p < a * step + perArchive; ++p) {
            if (recipe.folders.empty() || p % kFilesPerSmallFolder == 0) {
                FolderSpec folderSpec;
                folderSpec.name = SmallEntryFolder(p);
                recipe.folders.push_back(std::move(folderSpec));
            }
            const bool shared = p < a * step + bench::kDataFolderOverlap && a > 0;
            char fileName[96];
            std::snprintf(fileName, sizeof fileName, "%s_%s%07zu.dds", kWords[p % kWordCount],
                          (shared && a % 2 == 1) ? "PART" : "part", p);
            EntrySpec entry;
            entry.name = fileName;
            entry.data = {static_cast<uint8_t>(a), static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 8)};
            recipe.folders.back().files.push_back(std::move(entry));
        }
        WriteThroughTemporary(recipe, path);
        wrote = true;
    }
    if (wrote) {
        std::printf("  %s: %zu archives in %.1f s\n", folder.filename().c_str(), bench::kDataFolderArchives,
                    Seconds(started));
    }
}

// The two compared versions (see bench_data.h): path p of the older is gone from the newer when p % 4 is 0,
// holds other bytes there when it is odd, and the same when 2; the newer adds the paths after the older's.
void WriteComparedArchives(const fs::path& folder) {
    const auto started = std::chrono::steady_clock::now();
    bool wrote = false;
    for (const bool newer : {false, true}) {
        const fs::path path = folder / (newer ? bench::kCompareNewerName : bench::kCompareOlderName);
        if (fs::exists(path)) {
            continue;
        }
        ArchiveSpec recipe;
        recipe.version = 105;
        recipe.flags = 0x3; // uncompressed: the entries are a few bytes
        const size_t begin = newer ? 1 : 0;
        const size_t end = bench::kCompareOlderEntries + (newer ? bench::kCompareOlderEntries / 4 : 0);
        for (size_t p = begin; p < end; ++p) {
            const bool inOlder = p < bench::kCompareOlderEntries;
            if (newer && inOlder && p % 4 == 0) {
                continue;
            }
            std::string folderName = SmallEntryFolder(p);
            if (recipe.folders.empty() || recipe.folders.back().name != folderName) {
                FolderSpec folderSpec;
                folderSpec.name = std::move(folderName);
                recipe.folders.push_back(std::move(folderSpec));
            }
            char fileName[96];
            std::snprintf(fileName, sizeof fileName, "%s_%07zu.dds", kWords[p % kWordCount], p);
            EntrySpec entry;
            entry.name = fileName;
            const bool changed = newer && p % 2 == 1;
            entry.data = {static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 8),
                          changed ? uint8_t{1} : uint8_t{0}};
            recipe.folders.back().files.push_back(std::move(entry));
        }
        WriteThroughTemporary(recipe, path);
        wrote = true;
    }
    if (wrote) {
        std::printf("  %s, %s: in %.1f s\n", bench::kCompareOlderName, bench::kCompareNewerName,
                    Seconds(started));
    }
}

} // namespace

int main(int argc, char** argv) {
    try {
        const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::path(bench::DataFolder());
        fs::create_directories(folder);
        GenerateSet(bench::kLargeSet, folder);
        GenerateSet(bench::kSmallSet, folder);
        GenerateKindSet(folder);
        WriteZeros(folder / "zeros-v104.bsa");
        WriteDataFolder(folder / bench::kDataFolderName);
        WriteComparedArchives(folder);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_generate: %s\n", e.what());
        return 1;
    }
}
