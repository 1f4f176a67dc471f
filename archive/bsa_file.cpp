#include "archive/bsa_file.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>
#include <utility>

#include "base/exceptions.h"
#include "base/ustring.h"
#include "compression/lz4_decode.h"
#include "compression/zlib_decompress.h"
#include "platform/locale.h"

namespace {

constexpr uint32_t kHeaderSize = 36;
constexpr uint32_t kFolderRecordSize104 = 16;
constexpr uint32_t kFolderRecordSize105 = 24;
constexpr uint32_t kFileRecordSize = 16;
constexpr uint32_t kVersionSkyrim = 104;
constexpr uint32_t kVersionSkyrimSE = 105;

constexpr uint32_t kArchiveCompressedByDefault = 0x4; // bit 30 of a size word then marks a raw entry
constexpr uint32_t kArchiveEmbeddedNames = 0x100;     // every entry's data starts with a counted name
constexpr uint32_t kSizeCompressionToggle = 0x40000000;
constexpr uint32_t kUncompressedSizePrefix = 4;

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

uint32_t LoadU32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

uint64_t LoadU64(const uint8_t* bytes) {
    return LoadU32(bytes) | uint64_t{LoadU32(bytes + 4)} << 32;
}

uint32_t ReadU32(TStream& stream) {
    uint8_t bytes[4];
    stream.ReadBuffer(bytes, 4);
    return LoadU32(bytes);
}

} // namespace

TwbBSAFile::TwbBSAFile(const std::u16string& aFileName) : bfFileName(aFileName) {
    bfStream = std::make_unique<TwbReadOnlyCachedFileStream>(aFileName);
    // A failure leaves through here; the members already built release themselves.
    ReadFullIndex();
}

TwbBSAFile::TwbBSAFile(const TwbBSAFile& indexOwner, platform::FileHandle handle)
    : bfFileName(indexOwner.bfFileName), bfVersion(indexOwner.bfVersion), bfOffset(indexOwner.bfOffset),
      bfFlags(indexOwner.bfFlags), bfFileFlags(indexOwner.bfFileFlags),
      bfStartDataOffset(indexOwner.bfStartDataOffset), fileCount(indexOwner.fileCount), bfIndex(&indexOwner),
      bfOwnedHandle(handle) {
    try {
        bfStream = std::make_unique<TwbReadOnlyCachedFileStream>(bfFileName, 0, handle);
    } catch (...) {
        platform::FileClose(handle);
        throw;
    }
}

std::unique_ptr<TwbBSAFile> TwbBSAFile::shareIndex() const {
    const platform::FileHandle handle = platform::FileDuplicate(bfStream->Handle());
    if (handle == platform::kInvalidFileHandle) {
        throw EStreamError(u"Cannot open " + bfFileName + u".  " +
                           platform::SystemErrorText(platform::LastErrorCode()));
    }
    return std::unique_ptr<TwbBSAFile>(new TwbBSAFile(*bfIndex, handle));
}

TwbBSAFile::~TwbBSAFile() {
    // The archive file is closed before the index goes.
    bfStream.reset();
    if (bfOwnedHandle != 0) {
        platform::FileClose(bfOwnedHandle);
    }
}

void TwbBSAFile::ReadFullIndex() {
    TwbReadOnlyCachedFileStream& stream = *bfStream;
    const uint64_t fileSize = static_cast<uint64_t>(stream.Size());
    fileCount = 0;

    // Header. Each check raises at once, so later fields are not read.
    stream.SetPosition(0);
    char signature[4];
    stream.ReadBuffer(signature, 4);
    size_t signatureLength = 0;
    while (signatureLength < 4 && signature[signatureLength] != '\0') {
        ++signatureLength;
    }
    if (std::string_view(signature, signatureLength) != "BSA") {
        throw Exception(bfFileName + u" is not a valid BSA file");
    }
    bfVersion = ReadU32(stream);
    if (bfVersion != kVersionSkyrim && bfVersion != kVersionSkyrimSE) {
        throw Exception(bfFileName + u" is an unsupported version: " + UIntToStr(bfVersion));
    }
    bfOffset = ReadU32(stream);
    if (bfOffset != kHeaderSize) {
        throw Exception(bfFileName + u" has unexpected Offset: " + UIntToStr(bfOffset));
    }
    bfFlags = ReadU32(stream);
    const uint32_t folderCount = ReadU32(stream);
    ReadU32(stream); // file count: the records say how many there are
    ReadU32(stream); // total folder-name length
    const uint32_t totalFileNameLength = ReadU32(stream);
    bfFileFlags = ReadU32(stream);

    // The whole header was read, so the file holds at least kHeaderSize bytes.
    const bool is105 = bfVersion == kVersionSkyrimSE;
    const uint64_t folderRecordSize = is105 ? kFolderRecordSize105 : kFolderRecordSize104;
    // Every folder takes its record and at least the length byte of its block.
    if (uint64_t{folderCount} * (folderRecordSize + 1) > fileSize - kHeaderSize) {
        throw Exception(bfFileName + u" is not a valid BSA file: folder count " + UIntToStr(folderCount) +
                        u" does not fit in the file");
    }
    bfFolders.resize(folderCount);

    // First pass: folder records, folder names and file records; two position changes per folder. The
    // folder records are read together first, so that the cache serves them (and then the folder blocks) in
    // runs instead of being refilled at every change.
    // What the index claims must fit in the bytes after the folder records: each folder's block (its name
    // and 16 bytes per file record) and the zero byte of each file's name. Blocks of one archive never
    // share bytes, so folder records that point at one block cannot multiply it, and all that is kept of
    // the index stays within a small multiple of the file's size.
    const uint64_t indexRoom = fileSize - kHeaderSize - uint64_t{folderCount} * folderRecordSize;
    uint64_t indexClaimed = 0;
    struct FolderRecord {
        uint32_t fileCount;
        uint64_t blockOffset;
    };
    std::vector<FolderRecord> folderRecords(folderCount);
    stream.SetPosition(kHeaderSize);
    for (uint32_t i = 0; i < folderCount; ++i) {
        uint8_t record[kFolderRecordSize105];
        stream.ReadBuffer(record, static_cast<int32_t>(folderRecordSize));
        bfFolders[i].Hash = static_cast<int64_t>(LoadU64(record));
        folderRecords[i].fileCount = LoadU32(record + 8);
        // Version 105 has an unused word here (real archives hold arbitrary values), then 8 bytes of offset.
        folderRecords[i].blockOffset = is105 ? LoadU64(record + 16) : LoadU32(record + 12);
    }

    std::vector<uint8_t> fileRecords;
    for (uint32_t i = 0; i < folderCount; ++i) {
        TwbBSAFolderRec& folder = bfFolders[i];
        const uint32_t folderFileCount = folderRecords[i].fileCount;
        const uint64_t blockOffset = folderRecords[i].blockOffset;

        // The stored offset counts the total file-name length in; a block before the file or past its end
        // cannot be read.
        if (blockOffset < totalFileNameLength || blockOffset - totalFileNameLength > fileSize) {
            throw EReadError();
        }
        stream.SetPosition(static_cast<int64_t>(blockOffset - totalFileNameLength));
        folder.Name = platform::LowerCase(stream.ReadStringLen(true));

        const uint64_t recordsStart = static_cast<uint64_t>(stream.Position());
        const uint64_t nameBytes = recordsStart - (blockOffset - totalFileNameLength);
        const uint64_t recordBytes = uint64_t{folderFileCount} * kFileRecordSize;
        indexClaimed += nameBytes + recordBytes + folderFileCount; // and a zero byte per file name
        if (recordBytes > fileSize - recordsStart || indexClaimed > indexRoom) {
            if (folderFileCount == 0) {
                throw Exception(bfFileName + u" is not a valid BSA file: folder " + UIntToStr(i) +
                                u" does not fit in the file");
            }
            throw Exception(bfFileName + u" is not a valid BSA file: folder " + UIntToStr(i) + u" holds " +
                            UIntToStr(folderFileCount) + u" file records that do not fit in the file");
        }
        folder.Files.resize(folderFileCount);
        // The folder's file records in runs of at most a cache's worth, so that they come out of the cache.
        constexpr uint32_t kRecordsPerRun = TwbBaseCachedFileStream::kDefaultCacheSize / kFileRecordSize;
        fileRecords.resize(size_t{std::min(folderFileCount, kRecordsPerRun)} * kFileRecordSize);
        for (uint32_t first = 0; first < folderFileCount; first += kRecordsPerRun) {
            const uint32_t count = std::min(folderFileCount - first, kRecordsPerRun);
            const int64_t runStart = stream.Position();
            stream.ReadBuffer(fileRecords.data(), static_cast<int32_t>(count * kFileRecordSize));
            for (uint32_t j = 0; j < count; ++j) {
                const uint8_t* record = fileRecords.data() + size_t{j} * kFileRecordSize;
                TwbBSAFileRec& file = folder.Files[first + j];
                file.Hash = static_cast<int64_t>(LoadU64(record));
                file.uTableIndex = static_cast<uint32_t>(runStart + int64_t{j} * kFileRecordSize + 8);
                file.Size = LoadU32(record + 8);
                file.Offset = LoadU32(record + 12);
            }
        }
        fileCount += folderFileCount;
    }

    // Not needed any more: released before the names and maps take their room.
    folderRecords = {};

    // Second pass: the file names, in one sequential run from where the last folder block ends.
    bfFolderMap = std::make_unique<TStringList>();
    bfFolderMap->Reserve(bfFolders.size());
    for (size_t i = 0; i < bfFolders.size(); ++i) {
        TwbBSAFolderRec& folder = bfFolders[i];
        bfFolderMap->Add(folder.Name, static_cast<int64_t>(i));
        folder.Map = std::make_unique<TStringList>();
        folder.Map->Reserve(folder.Files.size());
        for (size_t j = 0; j < folder.Files.size(); ++j) {
            folder.Files[j].Name = stream.ReadStringTerm();
            folder.Map->Add(folder.Files[j].Name, static_cast<int64_t>(j));
        }
        folder.Map->SetSorted(true);
    }
    bfFolderMap->SetSorted(true);
    bfStartDataOffset = stream.Position();
}

bool TwbBSAFile::exportFileList(TStringList& fileList) const {
    bool appended = false;
    fileList.Reserve(static_cast<size_t>(fileList.Count()) + fileCount);
    forEachEntry([&](const std::u16string& folderName, const std::u16string& fileName) {
        std::u16string entry;
        entry.reserve(folderName.size() + 1 + fileName.size());
        entry.append(folderName).append(1, u'\\').append(fileName);
        fileList.Add(std::move(entry));
        appended = true;
    });
    return appended;
}

bool TwbBSAFile::getFile(const std::u16string& folder, const std::u16string& filename,
                         const std::u16string& ext, bool getFile, TBytes& buffer) {
    buffer.clear();
    const TwbBSAFileRec* record = FindEntry(folder, filename + ext);
    if (record == nullptr) {
        return false;
    }
    if (getFile) {
        // Assigned only once the whole entry was read, so a failure leaves buffer empty.
        buffer = ReadEntryData(record->Offset, record->Size);
    }
    return true;
}

bool TwbBSAFile::entryStorage(const std::u16string& folder, const std::u16string& fileName, bool& compressed,
                              uint32_t& storedSize) const {
    const TwbBSAFileRec* record = FindEntry(folder, fileName);
    if (record == nullptr) {
        return false;
    }
    storedSize = record->Size;
    compressed = IsCompressed(storedSize);
    return true;
}

bool TwbBSAFile::entryPacking(const std::u16string& folder, const std::u16string& fileName,
                              Packing& packing) {
    const TwbBSAFileRec* record = FindEntry(folder, fileName);
    if (record == nullptr) {
        return false;
    }
    uint32_t storedSize = record->Size;
    if (!IsCompressed(storedSize)) {
        packing = Packing::Raw;
        return true;
    }
    if (bfVersion != kVersionSkyrimSE) {
        packing = Packing::Zlib;
        return true;
    }
    packing = Packing::Lz4Unrecognised;
    TwbReadOnlyCachedFileStream& stream = *bfStream;
    const uint64_t end = uint64_t{record->Offset} + storedSize;
    if (end > static_cast<uint64_t>(stream.Size())) {
        return true;
    }
    uint64_t position = record->Offset;
    if ((bfFlags & kArchiveEmbeddedNames) != 0) {
        if (position >= end) {
            return true;
        }
        stream.SetPosition(static_cast<int64_t>(position));
        uint8_t nameLength = 0;
        stream.ReadBuffer(&nameLength, 1);
        position += 1 + uint64_t{nameLength};
    }
    position += kUncompressedSizePrefix;
    // Skippable frames may come first; each is passed over by its stated length, so the loop ends within
    // the entry's bytes.
    while (position + 4 <= end) {
        stream.SetPosition(static_cast<int64_t>(position));
        const uint32_t magic = ReadU32(stream);
        if (magic == kLz4FrameMagic) {
            packing = Packing::Lz4Frame;
            return true;
        }
        if (magic == kLz4LegacyMagic) {
            packing = Packing::Lz4Legacy;
            return true;
        }
        if ((magic & kLz4SkippableMagicMask) != kLz4SkippableMagic || position + 8 > end) {
            return true;
        }
        position += 8 + uint64_t{ReadU32(stream)};
    }
    return true;
}

const TwbBSAFileRec* TwbBSAFile::FindEntry(std::u16string_view folder, std::u16string_view name) const {
    // Folder names are lower-cased when read, so several folder records may carry the same one, and file
    // names may differ only in case. An entry string that exportFileList gave names one entry exactly: that
    // one wins over the others that compare equal, so that every listed entry yields its own bytes.
    const TStringList& folderMap = *bfIndex->bfFolderMap;
    const std::vector<TwbBSAFolderRec>& folders = bfIndex->bfFolders;
    int folderIndex = 0;
    if (!folderMap.Find(folder, folderIndex)) {
        return nullptr;
    }
    const TwbBSAFileRec* firstSameName = nullptr;
    const TwbBSAFileRec* firstEqual = nullptr;
    for (int i = folderIndex; i < folderMap.Count(); ++i) {
        const std::u16string& folderName = folderMap.Strings(i);
        if (i != folderIndex && folderName != folderMap.Strings(i - 1) &&
            platform::CompareTextIgnoreCase(folderName, folder) != 0) {
            break;
        }
        const TwbBSAFolderRec& candidate = folders[static_cast<size_t>(folderMap.Objects(i))];
        const int fileIndex = candidate.Map->IndexOfExact(name);
        if (fileIndex < 0) {
            continue;
        }
        const TwbBSAFileRec& file = candidate.Files[static_cast<size_t>(candidate.Map->Objects(fileIndex))];
        if (file.Name == name) {
            if (folderName == folder) {
                return &file;
            }
            firstSameName = firstSameName != nullptr ? firstSameName : &file;
        }
        firstEqual = firstEqual != nullptr ? firstEqual : &file;
    }
    return firstSameName != nullptr ? firstSameName : firstEqual;
}

bool TwbBSAFile::IsCompressed(uint32_t& sizeWord) const {
    bool compressed = (sizeWord & kSizeCompressionToggle) != 0;
    sizeWord &= ~kSizeCompressionToggle;
    if ((bfFlags & kArchiveCompressedByDefault) != 0) {
        compressed = !compressed;
    }
    return compressed;
}

TBytes TwbBSAFile::ReadEntryData(uint32_t offset, uint32_t sizeWord) {
    const bool compressed = IsCompressed(sizeWord);
    const uint32_t storedSize = sizeWord; // bit 31 stays: such a size cannot be read
    TwbReadOnlyCachedFileStream& stream = *bfStream;

    // Nothing is allocated for a size the file cannot hold.
    if (storedSize > kMaxEntryBytes || uint64_t{offset} + storedSize > static_cast<uint64_t>(stream.Size())) {
        throw EReadError();
    }
    const auto damagedPrefix = [&] {
        return Exception(bfFileName + u" has a damaged entry: stored size " + UIntToStr(storedSize) +
                         u" is smaller than its embedded name and size prefix");
    };
    const bool embeddedName = (bfFlags & kArchiveEmbeddedNames) != 0;
    const uint32_t sizePrefix = compressed ? kUncompressedSizePrefix : 0;
    stream.SetPosition(offset);

    // The common raw entry: one read straight into the result.
    if (!compressed && !embeddedName) {
        TBytes data(storedSize);
        ReadExactlyUncached(data.data(), storedSize);
        return data;
    }

    // Otherwise the whole stored entry in one read (entries are fetched in name order, not in the order they
    // lie in the file, so the stream's cache would only read ahead for nothing), then taken apart in memory.
    if (embeddedName && storedSize < 1 + sizePrefix) {
        throw damagedPrefix();
    }
    if (!embeddedName && storedSize < sizePrefix) {
        throw damagedPrefix();
    }
    const uint8_t* stored = ReadStoredEntry(storedSize);
    uint64_t prefixBytes = sizePrefix;
    if (embeddedName) {
        // The embedded name may belong to another record sharing this data: stepped over, never checked.
        prefixBytes += 1 + uint64_t{stored[0]};
        if (storedSize < prefixBytes) {
            throw damagedPrefix();
        }
    }
    const uint32_t packedSize = storedSize - static_cast<uint32_t>(prefixBytes);
    const uint8_t* packed = stored + prefixBytes;

    if (!compressed) {
        return TBytes(packed, packed + packedSize);
    }

    const uint32_t uncompressedSize = LoadU32(packed - kUncompressedSizePrefix);
    const uint64_t maxRatio = bfVersion == kVersionSkyrimSE ? kLz4MaxRatio : kZlibMaxRatio;
    const uint64_t largestHonestSize =
        packedSize != 0 ? uint64_t{packedSize} * maxRatio + kExpansionSlack : kMaxUnbackedZeroBytes;
    if (uncompressedSize > kMaxEntryBytes || uncompressedSize > largestHonestSize) {
        throw Exception(bfFileName + u" has a damaged entry: uncompressed size " +
                        UIntToStr(uncompressedSize) + u" cannot come from " + UIntToStr(packedSize) +
                        u" packed bytes");
    }
    TBytes data(uncompressedSize);
    // An entry with nothing packed stands for that many zero bytes.
    if (uncompressedSize > 0 && packedSize != 0) {
        if (bfVersion == kVersionSkyrimSE) {
            Lz4DecompressBuffer(packed, static_cast<int32_t>(packedSize), data.data(),
                                static_cast<int32_t>(uncompressedSize));
        } else {
            ZlibDecompressBuffer(packed, static_cast<int32_t>(packedSize), data.data(),
                                 static_cast<int32_t>(uncompressedSize));
        }
    }
    return data;
}

void TwbBSAFile::ReadExactlyUncached(uint8_t* buffer, uint32_t count) {
    if (count != 0 &&
        bfStream->ReadUncached(buffer, static_cast<int32_t>(count)) != static_cast<int32_t>(count)) {
        throw EReadError();
    }
}

const uint8_t* TwbBSAFile::ReadStoredEntry(uint32_t storedSize) {
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
