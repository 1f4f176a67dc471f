#include "tests/support/bsa_writer.h"

#include <lz4.h>
#include <lz4frame.h>
#include <lz4hc.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace fixture {
namespace {

constexpr uint32_t kHeaderSize = 36;
constexpr uint32_t kFolderRecordSize104 = 16;
constexpr uint32_t kFolderRecordSize105 = 24;
constexpr uint32_t kFileRecordSize = 16;
constexpr uint32_t kArchiveCompressedByDefault = 0x4;
constexpr uint32_t kArchiveEmbeddedNames = 0x100;
constexpr uint32_t kSizeCompressionToggle = 0x40000000;

constexpr uint32_t kLz4LegacyMagic = 0x184C2102;
constexpr uint32_t kLz4SkippableMagic = 0x184D2A50;

void AppendU8(std::vector<uint8_t>& out, uint8_t value) {
    out.push_back(value);
}
void AppendU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}
void AppendU64(std::vector<uint8_t>& out, uint64_t value) {
    AppendU32(out, static_cast<uint32_t>(value));
    AppendU32(out, static_cast<uint32_t>(value >> 32));
}
void AppendBytes(std::vector<uint8_t>& out, std::string_view bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}
void PutU32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t CheckedU32(uint64_t value, const std::string& what) {
    if (value > UINT32_MAX)
        throw std::length_error(what + " does not fit in 32 bits");
    return static_cast<uint32_t>(value);
}

// ---- Name hash ----

std::string NormalizedName(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        else if (c == '/')
            c = '\\';
    }
    return out;
}

uint32_t HashChars(std::string_view s) {
    uint32_t hash = 0;
    for (unsigned char c : s)
        hash = hash * 0x1003F + c;
    return hash;
}

// Low word from the first, last, second-last characters and the length; high word from the middle.
uint64_t HashStem(std::string_view s) {
    if (s.empty())
        return 0;
    const auto at = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(s[i])); };
    const size_t n = s.size();
    const uint32_t low =
        at(n - 1) + (n > 2 ? at(n - 2) << 8 : 0) + (static_cast<uint32_t>(n) << 16) + (at(0) << 24);
    const uint32_t high = n > 3 ? HashChars(s.substr(1, n - 3)) : 0;
    return (static_cast<uint64_t>(high) << 32) | low;
}

// ---- Skippable frames around LZ4 payloads ----

std::vector<uint8_t> WithSkippableFrames(const Lz4Options& opt, const std::vector<uint8_t>& body) {
    if (opt.skippableFramesBefore == 0 && !opt.skippableFrameAfter)
        return body;
    std::vector<uint8_t> out;
    const auto appendSkippable = [&](int i) {
        const uint8_t content[8] = {'s', 'k', 'i', 'p', static_cast<uint8_t>(i), 0xA5, 0x5A, 0xFF};
        const auto frame = SkippableFrame(static_cast<uint32_t>(i), content);
        out.insert(out.end(), frame.begin(), frame.end());
    };
    for (int i = 0; i < opt.skippableFramesBefore; ++i)
        appendSkippable(i);
    out.insert(out.end(), body.begin(), body.end());
    if (opt.skippableFrameAfter)
        appendSkippable(opt.skippableFramesBefore);
    return out;
}

int SmallestBlockSizeId(size_t size) {
    if (size <= (64u << 10))
        return 4;
    if (size <= (256u << 10))
        return 5;
    if (size <= (1u << 20))
        return 6;
    return 7;
}

struct Lz4FrameContextDeleter {
    void operator()(LZ4F_cctx* context) const { LZ4F_freeCompressionContext(context); }
};

size_t CheckLz4F(size_t result) {
    if (LZ4F_isError(result))
        throw std::runtime_error(std::string("LZ4 frame compression failed: ") + LZ4F_getErrorName(result));
    return result;
}

// ---- Deterministic content ----

// splitmix64: tiny, fast, and the same on every platform (unlike the standard distributions).
class SeededRandom {
public:
    explicit SeededRandom(uint32_t seed) : state_(0x9E3779B97F4A7C15ull * (seed + 1ull)) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

private:
    uint64_t state_;
};

// ---- Where the archive goes ----

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void WriteAt(uint64_t offset, std::span<const uint8_t> bytes) = 0;
};

class MemorySink final : public ByteSink {
public:
    explicit MemorySink(std::vector<uint8_t>& out) : out_(out) {}
    void WriteAt(uint64_t offset, std::span<const uint8_t> bytes) override {
        if (bytes.empty())
            return;
        const uint64_t end = offset + bytes.size();
        if (end > out_.size())
            out_.resize(static_cast<size_t>(end));
        std::memcpy(out_.data() + offset, bytes.data(), bytes.size());
    }

private:
    std::vector<uint8_t>& out_;
};

// Seeks only when a write does not continue the previous one; a seek past the end leaves a sparse hole.
class FileSink final : public ByteSink {
public:
    explicit FileSink(const std::string& path)
        : path_(path), file_(std::filesystem::path(std::u8string(path.begin(), path.end())),
                             std::ios::binary | std::ios::trunc) {
        if (!file_)
            Fail("cannot create ");
    }
    void WriteAt(uint64_t offset, std::span<const uint8_t> bytes) override {
        if (bytes.empty())
            return;
        if (offset != position_ && !file_.seekp(static_cast<std::streamoff>(offset)))
            Fail("cannot seek in ");
        if (!file_.write(reinterpret_cast<const char*>(bytes.data()),
                         static_cast<std::streamsize>(bytes.size())))
            Fail("cannot write ");
        position_ = offset + bytes.size();
    }
    void Close() {
        file_.close();
        if (!file_)
            Fail("cannot close ");
    }

private:
    [[noreturn]] void Fail(const char* what) const {
        throw std::runtime_error(what + path_ + ": " + std::strerror(errno));
    }
    std::string path_;
    std::ofstream file_;
    uint64_t position_ = 0;
};

// ---- The archive writer ----

struct PlannedEntry {
    const EntrySpec* recipe;
    const FolderSpec* folder;
    size_t specIndex;
    uint64_t hash;
    uint64_t recordOffset = 0, dataOffset = 0, payloadOffset = 0, storedBytes = 0;
    uint32_t sizeWord = 0, offsetWord = 0; // as the record holds them
};

struct PlannedFolder {
    const FolderSpec* recipe;
    uint64_t hash;
    std::vector<size_t> entries; // indices into the flat entry list, in record order
    uint64_t recordOffset = 0, blockOffset = 0;
    uint8_t nameLength = 0; // the block's length byte; that many name bytes follow it
};

uint32_t FileFlagFor(std::string_view fileName) {
    const size_t dot = fileName.rfind('.');
    const std::string ext = NormalizedName(dot == std::string_view::npos ? "" : fileName.substr(dot));
    if (ext == ".nif")
        return 0x1; // meshes
    if (ext == ".dds")
        return 0x2; // textures
    if (ext == ".xml" || ext == ".swf")
        return 0x4; // menus
    if (ext == ".wav" || ext == ".xwm" || ext == ".mp3")
        return 0x8; // sounds
    if (ext == ".fuz" || ext == ".lip")
        return 0x10; // voices
    return 0x100;    // miscellaneous: .pex, .hkx, .txt, .lod...
}

std::string EmbeddedNameOf(const FolderSpec& folder, const EntrySpec& entry) {
    if (entry.embeddedNameOverride)
        return *entry.embeddedNameOverride;
    if (folder.name.empty() || folder.name == ".")
        return entry.name;
    return folder.name + "\\" + entry.name;
}

std::vector<uint8_t> EncodePayload(const EntrySpec& entry) {
    switch (entry.storage) {
    case Storage::Zlib:
        return ZlibCompress(entry.data);
    case Storage::Lz4Frame:
        return Lz4Frame(entry.data, entry.lz4);
    case Storage::Lz4Legacy:
        return WithSkippableFrames(entry.lz4, Lz4Legacy(entry.data));
    case Storage::Raw:
        break;
    }
    return {entry.data.begin(), entry.data.end()};
}

class ArchiveWriter {
public:
    explicit ArchiveWriter(const ArchiveSpec& recipe) : spec_(recipe) { Plan(); }

    void Write(ByteSink& sink, Layout* layout) {
        WriteEntryData(sink);
        ResolveRecordWords();
        if (spec_.folderBlocksAt != 0 && spec_.folderBlocksAt < dataEnd_)
            throw std::invalid_argument("folderBlocksAt lies inside the entry data");
        const std::vector<uint8_t> head = HeaderAndFolderRecords();
        const std::vector<uint8_t> blocks = FolderBlocksAndNames();
        sink.WriteAt(0, head);
        sink.WriteAt(blocksAt_, blocks);
        if (layout)
            FillLayout(*layout);
    }

private:
    bool IsVersion105() const { return spec_.version == 105; }

    void Plan() {
        for (const FolderSpec& folder : spec_.folders) {
            PlannedFolder planned{&folder, FolderNameHash(folder.name), {}};
            for (const EntrySpec& entry : folder.files) {
                const size_t index = entries_.size();
                if (entry.sharesDataWith && *entry.sharesDataWith >= index)
                    throw std::invalid_argument("sharesDataWith must name an earlier entry");
                entries_.push_back({&entry, &folder, index, FileNameHash(entry.name)});
                planned.entries.push_back(index);
                fileNamesLength_ += entry.name.size() + 1;
            }
            if (!folder.nameLengthOverride && folder.name.size() + 1 > 255)
                throw std::invalid_argument("folder name longer than 254 bytes: " + folder.name);
            planned.nameLength =
                folder.nameLengthOverride.value_or(static_cast<uint8_t>(folder.name.size() + 1));
            folderNamesLength_ += folder.name.size() + 1;
            folders_.push_back(std::move(planned));
        }
        if (spec_.orderByHash) {
            const auto byHash = [](const auto& a, const auto& b) { return a.hash < b.hash; };
            std::stable_sort(folders_.begin(), folders_.end(), byHash);
            for (PlannedFolder& folder : folders_)
                std::stable_sort(folder.entries.begin(), folder.entries.end(),
                                 [&](size_t a, size_t b) { return entries_[a].hash < entries_[b].hash; });
        }

        // Everything before the entry data has a size known without encoding a payload.
        const uint64_t recordSize = IsVersion105() ? kFolderRecordSize105 : kFolderRecordSize104;
        const uint64_t recordsEnd = kHeaderSize + recordSize * folders_.size();
        blocksAt_ = spec_.folderBlocksAt != 0 ? spec_.folderBlocksAt : recordsEnd;
        uint64_t at = blocksAt_;
        for (size_t i = 0; i < folders_.size(); ++i) {
            PlannedFolder& folder = folders_[i];
            folder.recordOffset = kHeaderSize + recordSize * i;
            folder.blockOffset = at;
            at += 1 + folder.nameLength;
            for (size_t index : folder.entries) {
                entries_[index].recordOffset = at;
                at += kFileRecordSize;
            }
        }
        nameBlockOffset_ = at;
        dataStart_ = spec_.folderBlocksAt != 0 ? recordsEnd : nameBlockOffset_ + fileNamesLength_;
    }

    // Entry data in record order, one entry encoded at a time.
    void WriteEntryData(ByteSink& sink) {
        const bool compressedByDefault = (spec_.flags & kArchiveCompressedByDefault) != 0;
        const bool embeddedNames = (spec_.flags & kArchiveEmbeddedNames) != 0;
        uint64_t at = dataStart_;
        for (const PlannedFolder& folder : folders_) {
            for (size_t index : folder.entries) {
                PlannedEntry& planned = entries_[index];
                const EntrySpec& entry = *planned.recipe;
                if (entry.sharesDataWith)
                    continue;
                planned.dataOffset = at;
                if (embeddedNames) {
                    const std::string name = EmbeddedNameOf(*planned.folder, entry);
                    if (name.size() > 255)
                        throw std::invalid_argument("embedded name longer than 255 bytes: " + name);
                    std::vector<uint8_t> prefix{static_cast<uint8_t>(name.size())};
                    AppendBytes(prefix, name);
                    sink.WriteAt(at, prefix);
                    at += prefix.size();
                }
                const bool compressed = entry.storage != Storage::Raw;
                if (compressed) {
                    const uint32_t uncompressed =
                        entry.uncompressedSizeOverride
                            ? *entry.uncompressedSizeOverride
                            : CheckedU32(entry.data.size(), "uncompressed size of " + entry.name);
                    std::vector<uint8_t> prefix;
                    AppendU32(prefix, uncompressed);
                    sink.WriteAt(at, prefix);
                    at += prefix.size();
                }
                planned.payloadOffset = at;
                if (entry.packedOverride) {
                    sink.WriteAt(at, *entry.packedOverride);
                    at += entry.packedOverride->size();
                } else if (!compressed) {
                    sink.WriteAt(at, entry.data);
                    at += entry.data.size();
                } else {
                    const std::vector<uint8_t> payload = EncodePayload(entry);
                    sink.WriteAt(at, payload);
                    at += payload.size();
                }
                planned.storedBytes = at - planned.dataOffset;

                if (!entry.sizeWordOverride && planned.storedBytes >= kSizeCompressionToggle)
                    throw std::length_error("stored size of " + entry.name + " reaches the compression bit");
                planned.sizeWord = static_cast<uint32_t>(planned.storedBytes);
                if (compressed != compressedByDefault)
                    planned.sizeWord |= kSizeCompressionToggle;
                if (!entry.offsetOverride)
                    planned.offsetWord = CheckedU32(planned.dataOffset, "data offset of " + entry.name);
            }
        }
        dataEnd_ = at;
    }

    // In the order given, so that a sharing record copies the finished words of the record it names.
    void ResolveRecordWords() {
        for (PlannedEntry& planned : entries_) {
            const EntrySpec& entry = *planned.recipe;
            if (entry.sharesDataWith) {
                const PlannedEntry& owner = entries_[*entry.sharesDataWith];
                planned.dataOffset = owner.dataOffset;
                planned.payloadOffset = owner.payloadOffset;
                planned.sizeWord = owner.sizeWord;
                planned.offsetWord = owner.offsetWord;
            }
            planned.sizeWord = entry.sizeWordOverride.value_or(planned.sizeWord | entry.extraSizeBits);
            planned.offsetWord = entry.offsetOverride.value_or(planned.offsetWord);
        }
    }

    std::vector<uint8_t> HeaderAndFolderRecords() const {
        uint32_t fileFlags = 0;
        for (const PlannedEntry& planned : entries_)
            fileFlags |= FileFlagFor(planned.recipe->name);

        std::vector<uint8_t> out;
        std::string signature = spec_.signature;
        signature.resize(4, '\0');
        AppendBytes(out, signature);
        AppendU32(out, spec_.version);
        AppendU32(out, spec_.folderRecordOffsetOverride.value_or(kHeaderSize));
        AppendU32(out, spec_.flags);
        AppendU32(out, spec_.folderCountOverride.value_or(static_cast<uint32_t>(folders_.size())));
        AppendU32(out, spec_.fileCountOverride.value_or(static_cast<uint32_t>(entries_.size())));
        AppendU32(out, CheckedU32(folderNamesLength_, "total folder-name length"));
        AppendU32(out, CheckedU32(fileNamesLength_, "total file-name length"));
        AppendU32(out, spec_.fileFlagsOverride.value_or(fileFlags));

        for (const PlannedFolder& folder : folders_) {
            AppendU64(out, folder.hash);
            AppendU32(out, static_cast<uint32_t>(folder.entries.size()));
            const uint64_t storedBlockOffset = folder.blockOffset + fileNamesLength_;
            if (IsVersion105()) {
                AppendU32(out, spec_.v105FolderUnknown);
                AppendU64(out, storedBlockOffset);
            } else {
                AppendU32(out, CheckedU32(storedBlockOffset, "folder-block offset"));
            }
        }
        return out;
    }

    std::vector<uint8_t> FolderBlocksAndNames() const {
        std::vector<uint8_t> out;
        for (const PlannedFolder& folder : folders_) {
            std::string name = folder.recipe->name;
            name.resize(folder.nameLength,
                        '\0'); // the terminator, or the cut or padding an override asks for
            AppendU8(out, folder.nameLength);
            AppendBytes(out, name);
            for (size_t index : folder.entries) {
                const PlannedEntry& planned = entries_[index];
                AppendU64(out, planned.hash);
                AppendU32(out, planned.sizeWord);
                AppendU32(out, planned.offsetWord);
            }
        }
        for (const PlannedFolder& folder : folders_) {
            for (size_t index : folder.entries) {
                AppendBytes(out, entries_[index].recipe->name);
                AppendU8(out, 0);
            }
        }
        return out;
    }

    void FillLayout(Layout& layout) const {
        layout = {};
        for (const PlannedFolder& folder : folders_) {
            layout.folders.push_back({folder.recipe->name, folder.recordOffset, folder.blockOffset});
            for (size_t index : folder.entries) {
                const PlannedEntry& p = entries_[index];
                layout.entries.push_back({folder.recipe->name, p.recipe->name, p.specIndex, p.recordOffset,
                                          p.dataOffset, p.payloadOffset, p.storedBytes, p.sizeWord});
            }
        }
        layout.nameBlockOffset = nameBlockOffset_;
        layout.dataStart = dataStart_;
        layout.fileSize = std::max(dataEnd_, nameBlockOffset_ + fileNamesLength_);
    }

    const ArchiveSpec& spec_;
    std::vector<PlannedEntry> entries_;  // in the order given
    std::vector<PlannedFolder> folders_; // in record order
    uint64_t fileNamesLength_ = 0, folderNamesLength_ = 0;
    uint64_t blocksAt_ = 0, nameBlockOffset_ = 0, dataStart_ = 0, dataEnd_ = 0;
};

} // namespace

const EntryLayout& Layout::FindEntry(std::string_view folder, std::string_view name) const {
    for (const EntryLayout& entry : entries)
        if (entry.folder == folder && entry.name == name)
            return entry;
    throw std::out_of_range("no entry " + std::string(folder) + "\\" + std::string(name) + " in the layout");
}

std::vector<uint8_t> BuildArchive(const ArchiveSpec& recipe, Layout* layout) {
    if (recipe.folderBlocksAt != 0)
        throw std::invalid_argument("BuildArchive cannot place folder blocks apart; use WriteArchiveFile");
    std::vector<uint8_t> out;
    MemorySink sink(out);
    ArchiveWriter(recipe).Write(sink, layout);
    return out;
}

void WriteArchiveFile(const ArchiveSpec& recipe, const std::string& path, Layout* layout) {
    FileSink sink(path);
    ArchiveWriter(recipe).Write(sink, layout);
    sink.Close();
}

uint64_t FolderNameHash(std::string_view folderPath) {
    return HashStem(NormalizedName(folderPath));
}

uint64_t FileNameHash(std::string_view fileName) {
    const std::string name = NormalizedName(fileName);
    const size_t dot = name.rfind('.');
    const std::string_view stem = std::string_view(name).substr(0, dot);
    const std::string_view ext =
        dot == std::string::npos ? std::string_view() : std::string_view(name).substr(dot);
    uint64_t hash = HashStem(stem);
    if (ext.empty())
        return hash;
    hash += static_cast<uint64_t>(HashChars(ext)) << 32;

    // The four extensions the games knew first fold a code into the low word.
    uint32_t code = 0;
    if (ext == ".nif")
        code = 1;
    else if (ext == ".kf")
        code = 2;
    else if (ext == ".dds")
        code = 3;
    else if (ext == ".wav")
        code = 4;
    if (code != 0) {
        const uint32_t low = static_cast<uint32_t>(hash);
        const uint8_t a = static_cast<uint8_t>(((code & 0xFC) << 5) + (low >> 24));
        const uint8_t b = static_cast<uint8_t>(((code & 0xFE) << 6) + (low & 0xFF));
        const uint8_t c = static_cast<uint8_t>((code << 7) + ((low >> 8) & 0xFF));
        const uint32_t newLow = (low & 0x00FF0000) | (uint32_t{a} << 24) | (uint32_t{c} << 8) | b;
        hash = (hash & 0xFFFFFFFF00000000ull) | newLow;
    }
    return hash;
}

std::vector<uint8_t> ZlibCompress(std::span<const uint8_t> data, int level) {
    uLongf packedSize = compressBound(static_cast<uLong>(data.size()));
    std::vector<uint8_t> out(packedSize);
    const int result =
        compress2(out.data(), &packedSize, data.data(), static_cast<uLong>(data.size()), level);
    if (result != Z_OK)
        throw std::runtime_error("zlib compression failed: " + std::to_string(result));
    out.resize(packedSize);
    return out;
}

std::vector<uint8_t> Lz4Frame(std::span<const uint8_t> data, const Lz4Options& opt) {
    const int blockSizeId = opt.blockSizeId != 0 ? opt.blockSizeId : SmallestBlockSizeId(data.size());
    if (blockSizeId < 4 || blockSizeId > 7)
        throw std::invalid_argument("LZ4 block size id must be 4..7, not " + std::to_string(blockSizeId));

    LZ4F_preferences_t prefs;
    std::memset(&prefs, 0, sizeof prefs); // no content size, no dictionary id, no block checksums
    prefs.frameInfo.blockSizeID = static_cast<LZ4F_blockSizeID_t>(blockSizeId);
    prefs.frameInfo.blockMode = LZ4F_blockIndependent;
    prefs.frameInfo.contentChecksumFlag =
        opt.contentChecksum ? LZ4F_contentChecksumEnabled : LZ4F_noContentChecksum;
    prefs.frameInfo.frameType = LZ4F_frame;
    prefs.compressionLevel = opt.compressionLevel;

    // The streaming calls keep the block size asked for; LZ4F_compressFrame would shrink it to fit the input.
    LZ4F_cctx* rawContext = nullptr;
    CheckLz4F(LZ4F_createCompressionContext(&rawContext, LZ4F_VERSION));
    const std::unique_ptr<LZ4F_cctx, Lz4FrameContextDeleter> context(rawContext);

    std::vector<uint8_t> frame(LZ4F_HEADER_SIZE_MAX + LZ4F_compressBound(data.size(), &prefs));
    size_t used = CheckLz4F(LZ4F_compressBegin(context.get(), frame.data(), frame.size(), &prefs));
    used += CheckLz4F(LZ4F_compressUpdate(context.get(), frame.data() + used, frame.size() - used,
                                          data.data(), data.size(), nullptr));
    used += CheckLz4F(LZ4F_compressEnd(context.get(), frame.data() + used, frame.size() - used, nullptr));
    frame.resize(used);
    return WithSkippableFrames(opt, frame);
}

std::vector<uint8_t> Lz4Legacy(std::span<const uint8_t> data, size_t blockSize, int compressionLevel) {
    if (blockSize == 0 || blockSize > LZ4_MAX_INPUT_SIZE)
        throw std::invalid_argument("LZ4 legacy block size out of range");
    std::vector<uint8_t> out;
    AppendU32(out, kLz4LegacyMagic);
    for (size_t start = 0; start < data.size(); start += blockSize) {
        const int inputSize = static_cast<int>(std::min(blockSize, data.size() - start));
        const int bound = LZ4_compressBound(inputSize);
        const size_t sizeAt = out.size();
        out.resize(sizeAt + 4 + static_cast<size_t>(bound));
        const int packed = LZ4_compress_HC(reinterpret_cast<const char*>(data.data() + start),
                                           reinterpret_cast<char*>(out.data() + sizeAt + 4), inputSize, bound,
                                           compressionLevel);
        if (packed <= 0)
            throw std::runtime_error("LZ4 block compression failed");
        PutU32(out.data() + sizeAt, static_cast<uint32_t>(packed));
        out.resize(sizeAt + 4 + static_cast<size_t>(packed));
    }
    return out;
}

std::vector<uint8_t> SkippableFrame(uint32_t magicLowNibble, std::span<const uint8_t> content) {
    std::vector<uint8_t> out;
    AppendU32(out, kLz4SkippableMagic | (magicLowNibble & 0xF));
    AppendU32(out, CheckedU32(content.size(), "skippable frame content"));
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

// Random literals broken by copies of recent bytes: a mix that zlib and LZ4 HC both pack to about half.
std::vector<uint8_t> CompressibleBytes(size_t n, uint32_t seed) {
    SeededRandom random(seed ^ 0xC0FFEEu);
    std::vector<uint8_t> out;
    out.reserve(n);
    while (out.size() < n) {
        const uint64_t r = random.Next();
        const size_t room = n - out.size();
        if (out.size() < 64 || (r & 1) == 0) {
            const size_t count = std::min<size_t>(room, 6 + ((r >> 1) & 7));
            uint64_t literals = 0;
            for (size_t i = 0; i < count; ++i, literals >>= 8) {
                if (i % 8 == 0)
                    literals = random.Next();
                out.push_back(static_cast<uint8_t>(literals));
            }
        } else {
            const size_t count = std::min<size_t>(room, 8 + ((r >> 4) & 15));
            const size_t distance = 1 + (r >> 16) % std::min<size_t>(out.size(), 4096);
            for (size_t i = 0; i < count; ++i)
                out.push_back(out[out.size() - distance]);
        }
    }
    return out;
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    SeededRandom random(seed);
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; i += 8) {
        const uint64_t value = random.Next();
        for (size_t j = 0; j < 8 && i + j < n; ++j)
            out[i + j] = static_cast<uint8_t>(value >> (8 * j));
    }
    return out;
}

} // namespace fixture
