#include "archive/bsa_file.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "archive/bsa_format.h"
#include "base/bounds.h"
#include "base/exceptions.h"
#include "base/little_endian.h"
#include "base/ustring.h"
#include "compression/lz4_decode.h"
#include "compression/preallocated_memory_stream.h"
#include "compression/zlib_decompress.h"

using namespace bsa_format;

namespace {

// The magic numbers that open the parts of an LZ4-packed entry.
constexpr uint32_t kLz4FrameMagic = 0x184D2204;
constexpr uint32_t kLz4LegacyMagic = 0x184C2102;
constexpr uint32_t kLz4SkippableMagic = 0x184D2A50; // to 0x184D2A5F
constexpr uint32_t kLz4SkippableMagicMask = 0xFFFFFFF0;

// The decoders take 32-bit signed lengths.
constexpr uint64_t kMaxEntryBytes = std::numeric_limits<int32_t>::max();
// The most a packed byte can expand to, and some slack for a stream's fixed parts: deflate reaches 1032:1,
// an LZ4 block 255:1.
constexpr uint64_t kZlibMaxRatio = 1032;
constexpr uint64_t kLz4MaxRatio = 255;
constexpr uint64_t kExpansionSlack = 64;
// A compressed entry with nothing packed stands for U zero bytes. Those bytes are backed by nothing in the
// file, so a 4-byte prefix may not make us allocate gigabytes; entries like that are small.
constexpr uint64_t kMaxUnbackedZeroBytes = 16 << 20;
// What may stand before an entry's payload: an embedded name (a length byte and up to 255 bytes) and the
// 4-byte uncompressed size.
constexpr uint32_t kLongestEntryPrefix = 1 + 255 + kUncompressedSizePrefix;
// The pieces in which ReadEntryInPieces moves raw bytes and zeros.
constexpr uint32_t kPieceBytes = 1 << 20;
// Entries up to these sizes are read with one read and decoded whole in memory the reader keeps for the next
// one; larger ones are read and decoded piece by piece.
constexpr uint32_t kWholeStoredBytes = 1 << 20;
constexpr uint32_t kWholeDecodedBytes = 4 << 20;

uint32_t ReadU32(TStream& stream) {
    uint8_t bytes[4];
    stream.ReadBuffer(bytes, 4);
    return LoadLE32(bytes);
}

// length bytes of the archive from start, read through the archive's stream, uncached (the pieces are large
// and read once), for the decoders that read their input as a stream. Positions past the end read nothing.
class TEntryPayloadStream : public TStream {
public:
    TEntryPayloadStream(TwbReadOnlyCachedFileStream& archive, int64_t start, int64_t length)
        : archive_(archive), start_(start), length_(length) {}

    int32_t Read(void* buffer, int32_t count) override {
        const int64_t left = length_ - position_;
        if (count <= 0 || position_ < 0 || left <= 0) {
            return 0;
        }
        const auto wanted = static_cast<int32_t>(std::min<int64_t>(count, left));
        archive_.SetPosition(start_ + position_);
        const int32_t read = archive_.ReadUncached(buffer, wanted);
        if (read < wanted) {
            // The bytes were checked to lie in the file: a shorter read is a failure of the file itself.
            throw EReadError();
        }
        position_ += read;
        return read;
    }
    int32_t Write(const void*, int32_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override {
        switch (origin) {
        case TSeekOrigin::soBeginning:
            position_ = offset;
            break;
        case TSeekOrigin::soCurrent:
            position_ += offset;
            break;
        case TSeekOrigin::soEnd:
            position_ = length_ + offset;
            break;
        }
        return position_;
    }
    using TStream::Seek;

private:
    TwbReadOnlyCachedFileStream& archive_;
    const int64_t start_;
    const int64_t length_;
    int64_t position_ = 0;
};

void WriteZeros(TStream& destination, uint64_t count) {
    const auto zeros = std::make_unique<uint8_t[]>(std::min<uint64_t>(count, kPieceBytes));
    for (uint64_t left = count; left > 0;) {
        const auto piece = static_cast<int32_t>(std::min<uint64_t>(left, kPieceBytes));
        destination.WriteBuffer(zeros.get(), piece);
        left -= static_cast<uint64_t>(piece);
    }
}

} // namespace

TwbBSAFile::TEntryStorage TwbBSAFile::EntryStorage(TEntryRef entry) const {
    TEntryStorage storage;
    storage.storedSize = bfIndex->File(entry).Size;
    storage.compressed = IsCompressed(storage.storedSize);
    return storage;
}

void TwbBSAFile::ReadEntry(TEntryRef entry, TBytes& buffer) {
    buffer.clear();
    const TwbBSAFileRec& record = bfIndex->File(entry);
    // Assigned only once the whole entry was read, so a failure leaves buffer empty.
    buffer = ReadEntryData(record.Offset, record.Size);
}

TwbBSAFile::Packing TwbBSAFile::EntryPacking(TEntryRef entry) {
    const TwbBSAFileRec& record = bfIndex->File(entry);
    uint32_t storedSize = record.Size;
    if (!IsCompressed(storedSize)) {
        return Packing::Raw;
    }
    if (bfVersion != kVersionSkyrimSE) {
        return Packing::Zlib;
    }
    TwbReadOnlyCachedFileStream& stream = *bfStream;
    if (!FitsIn(record.Offset, storedSize, static_cast<uint64_t>(stream.Size()))) {
        return Packing::Lz4Unrecognised;
    }
    // Positions from here on are checked against the entry's own bytes.
    const uint64_t end = uint64_t{record.Offset} + storedSize;
    uint64_t position = record.Offset;
    if ((bfFlags & kArchiveEmbeddedNames) != 0) {
        if (!FitsIn(position, 1, end)) {
            return Packing::Lz4Unrecognised;
        }
        stream.SetPosition(static_cast<int64_t>(position));
        uint8_t nameLength = 0;
        stream.ReadBuffer(&nameLength, 1);
        position += 1 + uint64_t{nameLength};
    }
    position += kUncompressedSizePrefix;
    // Skippable frames may come first; each is passed over by its stated length, so the loop ends within
    // the entry's bytes.
    while (FitsIn(position, 4, end)) {
        stream.SetPosition(static_cast<int64_t>(position));
        const uint32_t magic = ReadU32(stream);
        if (magic == kLz4FrameMagic) {
            return Packing::Lz4Frame;
        }
        if (magic == kLz4LegacyMagic) {
            return Packing::Lz4Legacy;
        }
        if ((magic & kLz4SkippableMagicMask) != kLz4SkippableMagic || !FitsIn(position, 8, end)) {
            return Packing::Lz4Unrecognised;
        }
        position += 8 + uint64_t{ReadU32(stream)};
    }
    return Packing::Lz4Unrecognised;
}

uint64_t TwbBSAFile::EntryLeastSize(TEntryRef entry) const {
    const TEntryStorage storage = EntryStorage(entry);
    if (storage.storedSize > kMaxEntryBytes) {
        return 0;
    }
    uint64_t bytes = storage.storedSize;
    const auto less = [&bytes](uint64_t part) { bytes -= std::min(bytes, part); };
    if ((bfFlags & kArchiveEmbeddedNames) != 0) {
        less(kLongestEntryPrefix - kUncompressedSizePrefix);
    }
    if (storage.compressed) {
        less(kUncompressedSizePrefix);
        less(bytes / 128 + 64);
    }
    return bytes;
}

bool TwbBSAFile::IsCompressed(uint32_t& sizeWord) const {
    bool compressed = (sizeWord & kSizeCompressionToggle) != 0;
    sizeWord &= ~kSizeCompressionToggle;
    if ((bfFlags & kArchiveCompressedByDefault) != 0) {
        compressed = !compressed;
    }
    return compressed;
}

// A stored entry taken apart: where its payload (packed or raw) begins past the embedded name and the size
// prefix, how long it is, and the uncompressed size the prefix states.
struct TwbBSAFile::TStoredEntry {
    bool compressed = false;
    uint32_t payloadAt = 0;
    uint32_t payloadSize = 0;
    uint32_t uncompressedSize = 0; // 0 for a raw entry
};

void TwbBSAFile::CheckStoredBytes(uint32_t offset, uint32_t storedSize, bool compressed) const {
    // Nothing is read or allocated for a size the file cannot hold (bit 31 stays in the size: such a size
    // cannot be read).
    if (storedSize > kMaxEntryBytes || !FitsIn(offset, storedSize, static_cast<uint64_t>(bfStream->Size()))) {
        throw EReadError();
    }
    const bool embeddedName = (bfFlags & kArchiveEmbeddedNames) != 0;
    if (storedSize < (embeddedName ? 1u : 0u) + (compressed ? kUncompressedSizePrefix : 0u)) {
        throw DamagedPrefix(storedSize);
    }
}

Exception TwbBSAFile::DamagedPrefix(uint32_t storedSize) const {
    return Exception(bfFileName + u" has a damaged entry: stored size " + UIntToStr(storedSize) +
                     u" is smaller than its embedded name and size prefix");
}

// head holds the first min(storedSize, kLongestEntryPrefix) stored bytes, which CheckStoredBytes accepted.
TwbBSAFile::TStoredEntry TwbBSAFile::TakeApart(const uint8_t* head, uint32_t storedSize,
                                               bool compressed) const {
    uint64_t prefixBytes = compressed ? kUncompressedSizePrefix : 0;
    if ((bfFlags & kArchiveEmbeddedNames) != 0) {
        // The embedded name may belong to another record sharing this data: stepped over, never checked.
        prefixBytes += 1 + uint64_t{head[0]};
        if (storedSize < prefixBytes) {
            throw DamagedPrefix(storedSize);
        }
    }
    TStoredEntry entry;
    entry.compressed = compressed;
    entry.payloadAt = static_cast<uint32_t>(prefixBytes);
    entry.payloadSize = storedSize - entry.payloadAt;
    entry.uncompressedSize = compressed ? LoadLE32(head + prefixBytes - kUncompressedSizePrefix) : 0;
    return entry;
}

// An uncompressed size that the packed bytes cannot honestly make is refused before anything is allocated.
void TwbBSAFile::CheckUncompressedSize(const TStoredEntry& entry) const {
    const uint32_t packedSize = entry.payloadSize;
    const bool lz4 = bfVersion == kVersionSkyrimSE;
    const uint64_t largestHonestSize =
        packedSize != 0 ? uint64_t{packedSize} * (lz4 ? kLz4MaxRatio : kZlibMaxRatio) + kExpansionSlack
                        : kMaxUnbackedZeroBytes;
    if (entry.uncompressedSize > kMaxEntryBytes || entry.uncompressedSize > largestHonestSize) {
        throw Exception(bfFileName + u" has a damaged entry: uncompressed size " +
                        UIntToStr(entry.uncompressedSize) + u" cannot come from " + UIntToStr(packedSize) +
                        u" packed bytes");
    }
}

TBytes TwbBSAFile::ReadEntryData(uint32_t offset, uint32_t sizeWord) {
    const bool compressed = IsCompressed(sizeWord);
    const uint32_t storedSize = sizeWord;
    CheckStoredBytes(offset, storedSize, compressed);
    bfStream->SetPosition(offset);

    // The common raw entry: one read straight into the result.
    if (!compressed && (bfFlags & kArchiveEmbeddedNames) == 0) {
        TBytes data(storedSize);
        ReadExactlyUncached(data.data(), storedSize);
        return data;
    }
    // The whole stored entry in one read (entries are fetched in name order, not in the order they lie in the
    // file, so the stream's cache would only read ahead for nothing), then taken apart in memory.
    const uint8_t* stored = ReadStoredBytes(storedSize);
    const TStoredEntry entry = TakeApart(stored, storedSize, compressed);
    const uint8_t* payload = stored + entry.payloadAt;
    if (!compressed) {
        return TBytes(payload, payload + entry.payloadSize);
    }
    return DecodeEntry(entry, payload);
}

// The uncompressed bytes of a compressed entry: LZ4 in version 105, zlib in version 104. An entry with
// nothing packed stands for that many zero bytes.
TBytes TwbBSAFile::DecodeEntry(const TStoredEntry& entry, const uint8_t* payload) {
    CheckUncompressedSize(entry);
    const uint32_t uncompressedSize = entry.uncompressedSize;
    const uint32_t packedSize = entry.payloadSize;
    TBytes data(uncompressedSize);
    if (uncompressedSize > 0 && packedSize != 0) {
        if (bfVersion == kVersionSkyrimSE) {
            Lz4DecompressBuffer(payload, static_cast<int32_t>(packedSize), data.data(),
                                static_cast<int32_t>(uncompressedSize), nullptr, &Lz4Buffers());
        } else {
            ZlibDecompressBuffer(payload, static_cast<int32_t>(packedSize), data.data(),
                                 static_cast<int32_t>(uncompressedSize));
        }
    }
    return data;
}

void TwbBSAFile::ReadEntryInPieces(TEntryRef entry, TEntryDestination& destination) {
    const TwbBSAFileRec& record = bfIndex->File(entry);
    uint32_t storedSize = record.Size;
    const bool compressed = IsCompressed(storedSize);
    CheckStoredBytes(record.Offset, storedSize, compressed);
    bfStream->SetPosition(record.Offset);
    if (storedSize <= kWholeStoredBytes) {
        // The usual entry: one read, then from memory.
        const uint8_t* stored = ReadStoredBytes(storedSize);
        const TStoredEntry entryParts = TakeApart(stored, storedSize, compressed);
        const uint8_t* payload = stored + entryParts.payloadAt;
        TPreallocatedMemoryStream payloadStream(const_cast<uint8_t*>(payload), entryParts.payloadSize);
        WriteEntryInPieces(entryParts, payload, payloadStream, destination);
        return;
    }
    uint8_t head[kLongestEntryPrefix];
    ReadExactlyUncached(head, kLongestEntryPrefix);
    const TStoredEntry entryParts = TakeApart(head, storedSize, compressed);
    TEntryPayloadStream payloadStream(*bfStream, int64_t{record.Offset} + entryParts.payloadAt,
                                      entryParts.payloadSize);
    WriteEntryInPieces(entryParts, nullptr, payloadStream, destination);
}

// payload: the payload in memory, or null when it is only to be read from payloadStream.
void TwbBSAFile::WriteEntryInPieces(const TStoredEntry& entry, const uint8_t* payload, TStream& payloadStream,
                                    TEntryDestination& destination) {
    if (!entry.compressed) {
        TStream& out = destination.Begin(entry.payloadSize);
        if (payload != nullptr) {
            out.WriteBuffer(payload, static_cast<int32_t>(entry.payloadSize));
            return;
        }
        const auto piece = std::make_unique_for_overwrite<uint8_t[]>(kPieceBytes);
        for (int32_t read = 0;
             (read = payloadStream.Read(piece.get(), static_cast<int32_t>(kPieceBytes))) > 0;) {
            out.WriteBuffer(piece.get(), read);
        }
        return;
    }
    CheckUncompressedSize(entry);
    const uint32_t uncompressedSize = entry.uncompressedSize;
    if (payload != nullptr && uncompressedSize <= kWholeDecodedBytes) {
        // Decoded whole before the first byte leaves: a damaged entry writes nothing.
        const uint8_t* decoded = DecodeIntoScratch(entry, payload);
        destination.Begin(uncompressedSize).WriteBuffer(decoded, static_cast<int32_t>(uncompressedSize));
        return;
    }
    TStream& out = destination.Begin(uncompressedSize);
    if (uncompressedSize == 0) {
        return;
    }
    if (entry.payloadSize == 0) {
        WriteZeros(out, uncompressedSize);
    } else if (bfVersion == kVersionSkyrimSE) {
        Lz4DecodeAll(payloadStream, out, uncompressedSize, nullptr, &Lz4Buffers());
    } else {
        ZlibInflateStream(payloadStream, out, uncompressedSize);
    }
}

// The uncompressed bytes of a compressed entry (at most kWholeDecodedBytes) in memory kept for the next
// entry.
const uint8_t* TwbBSAFile::DecodeIntoScratch(const TStoredEntry& entry, const uint8_t* payload) {
    const uint32_t uncompressedSize = entry.uncompressedSize;
    if (bfDecodedSize < uncompressedSize) {
        bfDecoded.reset();
        bfDecodedSize = 0;
        bfDecoded = std::make_unique_for_overwrite<uint8_t[]>(uncompressedSize);
        bfDecodedSize = uncompressedSize;
    }
    uint8_t* decoded = bfDecoded.get();
    int64_t produced = 0;
    if (uncompressedSize > 0 && entry.payloadSize != 0) {
        if (bfVersion == kVersionSkyrimSE) {
            Lz4DecompressBuffer(payload, static_cast<int32_t>(entry.payloadSize), decoded,
                                static_cast<int32_t>(uncompressedSize), nullptr, &Lz4Buffers());
            produced = uncompressedSize;
        } else {
            produced = ZlibDecompressBuffer(payload, static_cast<int32_t>(entry.payloadSize), decoded,
                                            static_cast<int32_t>(uncompressedSize));
        }
    }
    // A zlib stream that ends early, and an entry with nothing packed, leave zeros.
    std::fill(decoded + produced, decoded + uncompressedSize, uint8_t{0});
    return decoded;
}

void TwbBSAFile::ReadExactlyUncached(uint8_t* buffer, uint32_t count) {
    if (count != 0 &&
        bfStream->ReadUncached(buffer, static_cast<int32_t>(count)) != static_cast<int32_t>(count)) {
        throw EReadError();
    }
}

Lz4Workspace& TwbBSAFile::Lz4Buffers() {
    // Kept while small: a frame of 4 MiB blocks needs two buffers of that size, which one such entry should
    // not hold for the rest of the run.
    constexpr size_t kKeptBufferBytes = 1 << 20;
    if (!bfLz4 || bfLz4->BufferBytes() > kKeptBufferBytes) {
        bfLz4.reset();
        bfLz4 = std::make_unique<Lz4Workspace>();
    }
    return *bfLz4;
}

const uint8_t* TwbBSAFile::ReadStoredBytes(uint32_t storedSize) {
    // Kept for the next entry up to a few MiB, so that fetching entry after entry does not allocate each
    // time; a larger one is released once the next entry is read.
    constexpr uint32_t kKeptScratchBytes = 8 << 20;
    if (bfScratchSize < storedSize || bfScratchSize > kKeptScratchBytes) {
        bfScratch.reset();
        bfScratchSize = 0;
        bfScratch = std::make_unique_for_overwrite<uint8_t[]>(std::max<size_t>(storedSize, 1));
        bfScratchSize = storedSize;
    }
    ReadExactlyUncached(bfScratch.get(), storedSize);
    return bfScratch.get();
}

// The decoded size of every entry, for listings that show it. The index gives only the stored size: a
// compressed entry's decoded size is the word at the start of its stored data, so each entry's first bytes
// are read, in the order they lie in the file.
std::vector<uint32_t> TwbBSAFile::ReadEntrySizes(const std::atomic<bool>* cancel) {
    const uint32_t count = FileCount();
    std::vector<uint32_t> sizes(count, kUnknownEntrySize);
    // How often the cancel flag is looked at.
    constexpr size_t kEntriesBetweenCancelChecks = 1024;
    const bool embeddedNames = (bfFlags & kArchiveEmbeddedNames) != 0;

    // (offset, entry) of the entries whose first bytes must be read; the others are known from the index.
    std::vector<std::pair<uint32_t, TEntryRef>> toRead;
    for (TEntryRef entry = 0; entry < count; ++entry) {
        const TEntryStorage storage = EntryStorage(entry);
        if (!storage.compressed && !embeddedNames) {
            try {
                CheckStoredBytes(bfIndex->File(entry).Offset, storage.storedSize, false);
                sizes[entry] = storage.storedSize;
            } catch (const Exception&) {
                // Stored bytes the file does not hold: unknown.
            }
        } else {
            toRead.emplace_back(bfIndex->File(entry).Offset, entry);
        }
    }
    std::sort(toRead.begin(), toRead.end());

    TwbReadOnlyCachedFileStream& stream = *bfStream;
    const int64_t cacheSize = stream.CacheSize();
    int64_t previousOffset = -cacheSize; // so that the first read is cached: it opens a run of entries
    uint8_t head[kLongestEntryPrefix];
    for (size_t i = 0; i < toRead.size(); ++i) {
        if (cancel != nullptr && i % kEntriesBetweenCancelChecks == 0 && cancel->load()) {
            break;
        }
        const auto [offset, entry] = toRead[i];
        uint32_t storedSize = bfIndex->File(entry).Size;
        const bool compressed = IsCompressed(storedSize);
        try {
            CheckStoredBytes(offset, storedSize, compressed);
            const uint32_t headSize = std::min(storedSize, kLongestEntryPrefix);
            stream.SetPosition(offset);
            // Entries close to the one before are in the stream's cache already, or come with the next fill;
            // a far one costs one small read, not a fill of the cache that nothing else would use.
            const bool near = int64_t{offset} - previousOffset < cacheSize;
            const int32_t read = near ? stream.Read(head, static_cast<int32_t>(headSize))
                                      : stream.ReadUncached(head, static_cast<int32_t>(headSize));
            previousOffset = offset;
            if (read != static_cast<int32_t>(headSize)) {
                continue;
            }
            const TStoredEntry parts = TakeApart(head, storedSize, compressed);
            if (compressed) {
                CheckUncompressedSize(parts);
                sizes[entry] = parts.uncompressedSize;
            } else {
                sizes[entry] = parts.payloadSize;
            }
        } catch (const Exception&) {
            // A damaged entry, or bytes that could not be read: its size stays unknown, the others go on.
        }
    }
    return sizes;
}
