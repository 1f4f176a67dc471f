#include "archive/bsa_file.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

#include "archive/bsa_format.h"
#include "archive/entry_string.h"
#include "base/bounds.h"
#include "base/exceptions.h"
#include "base/little_endian.h"
#include "base/ustring.h"
#include "compression/lz4_decode.h"
#include "platform/locale.h"

using namespace bsa_format;

namespace {

uint32_t ReadU32(TStream& stream) {
    uint8_t bytes[4];
    stream.ReadBuffer(bytes, 4);
    return LoadLE32(bytes);
}

// The signature field holds "BSA" and a zero byte; it is taken as characters up to the first zero byte.
bool IsBsaSignature(const char (&signature)[4]) {
    const size_t length = static_cast<size_t>(std::find(signature, signature + 4, '\0') - signature);
    return std::string_view(signature, length) == "BSA";
}

} // namespace

TwbBSAFile::TwbBSAFile(const std::u16string& aFileName) : bfFileName(aFileName) {
    bfStream = std::make_unique<TwbReadOnlyCachedFileStream>(aFileName);
    bfOwnIndex = std::make_unique<TBsaIndex>();
    bfIndex = bfOwnIndex.get();
    // A failure leaves through here; the members already built release themselves.
    ReadFullIndex();
}

TwbBSAFile::TwbBSAFile(const TwbBSAFile& indexOwner, platform::FileHandle handle)
    : bfFileName(indexOwner.bfFileName), bfVersion(indexOwner.bfVersion), bfOffset(indexOwner.bfOffset),
      bfFlags(indexOwner.bfFlags), bfFileFlags(indexOwner.bfFileFlags),
      bfFolderRecordCount(indexOwner.bfFolderRecordCount), bfStartDataOffset(indexOwner.bfStartDataOffset),
      bfIndex(indexOwner.bfIndex), bfOwnedHandle(handle) {
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
    return std::unique_ptr<TwbBSAFile>(new TwbBSAFile(*this, handle));
}

TwbBSAFile::~TwbBSAFile() {
    // The archive file is closed before the index goes.
    bfStream.reset();
    if (bfOwnedHandle != 0) {
        platform::FileClose(bfOwnedHandle);
    }
}

// What the header says about where the rest of the index lies.
struct TwbBSAFile::TIndexLayout {
    uint64_t fileSize = 0;
    uint32_t folderCount = 0;
    uint64_t folderRecordSize = 0;
    // Every stored folder-block offset counts it in.
    uint32_t totalFileNameLength = 0;
};

// Where one folder's block lies and how many file records it holds, as its folder record says.
struct TwbBSAFile::TFolderBlockAt {
    uint32_t fileCount;
    uint64_t blockOffset;
};

// The index in file order: header, folder records, folder blocks (names and file records), then the file
// names with the maps. The folder and file records are read in runs that the cache serves; the names in one
// sequential run, so that no name costs a seek.
void TwbBSAFile::ReadFullIndex() {
    const TIndexLayout layout = ReadHeader();
    // The folder records' offsets and counts are released before the names take their room.
    ReadFolderBlocks(layout, ReadFolderRecords(layout));
    bfOwnIndex->ReserveNames(std::min<uint64_t>(layout.totalFileNameLength, layout.fileSize));
    ReadFileNames();
    bfStartDataOffset = bfStream->Position();
    bfOwnIndex->Finish();
}

// Each check raises at once, so later fields are not read.
TwbBSAFile::TIndexLayout TwbBSAFile::ReadHeader() {
    TwbReadOnlyCachedFileStream& stream = *bfStream;
    stream.SetPosition(0);
    char signature[4];
    stream.ReadBuffer(signature, 4);
    if (!IsBsaSignature(signature)) {
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
    TIndexLayout layout;
    layout.folderCount = ReadU32(stream);
    ReadU32(stream); // file count: the records say how many there are
    ReadU32(stream); // total folder-name length
    layout.totalFileNameLength = ReadU32(stream);
    bfFileFlags = ReadU32(stream);
    // The whole header was read, so the file holds at least kHeaderSize bytes.
    layout.fileSize = static_cast<uint64_t>(stream.Size());
    layout.folderRecordSize = bfVersion == kVersionSkyrimSE ? kFolderRecordSize105 : kFolderRecordSize104;
    return layout;
}

// The folder records, read together first so that the cache serves them (and then the folder blocks) in runs
// instead of being refilled at every change of position.
std::vector<TwbBSAFile::TFolderBlockAt> TwbBSAFile::ReadFolderRecords(const TIndexLayout& layout) {
    TwbReadOnlyCachedFileStream& stream = *bfStream;
    const uint32_t folderCount = layout.folderCount;
    // Every folder takes its record and at least the length byte of its block.
    if (!FitsIn(kHeaderSize, uint64_t{folderCount} * (layout.folderRecordSize + 1), layout.fileSize)) {
        throw NotInFile(u"folder count " + UIntToStr(folderCount) + u" does not fit");
    }
    bfFolderRecordCount = folderCount;
    std::vector<TFolderBlockAt> blocks(folderCount);
    stream.SetPosition(kHeaderSize);
    for (uint32_t i = 0; i < folderCount; ++i) {
        uint8_t record[kFolderRecordSize105];
        stream.ReadBuffer(record, static_cast<int32_t>(layout.folderRecordSize));
        // The folder's name hash (8 bytes) is not kept: nothing checks it.
        blocks[i].fileCount = LoadLE32(record + 8);
        // Version 105 has an unused word here (real archives hold arbitrary values), then 8 bytes of offset.
        blocks[i].blockOffset =
            layout.folderRecordSize == kFolderRecordSize105 ? LoadLE64(record + 16) : LoadLE32(record + 12);
    }
    return blocks;
}

// What the index claims must fit in the bytes after the folder records: each folder's block (its name and 16
// bytes per file record) and the zero byte of each file's name. Blocks of one archive never share bytes, so
// folder records that point at one block cannot multiply it, and all that is kept of the index stays within a
// small multiple of the file's size.
void TwbBSAFile::ReadFolderBlocks(const TIndexLayout& layout, const std::vector<TFolderBlockAt>& blocks) {
    const uint64_t claimsStart = kHeaderSize + uint64_t{layout.folderCount} * layout.folderRecordSize;
    uint64_t claimed = 0;
    uint64_t claimedFiles = 0;
    for (const TFolderBlockAt& block : blocks) {
        claimedFiles += block.fileCount;
    }
    // Room for the records is made at once when the file can hold them all; a count it cannot hold is
    // refused folder by folder below.
    if (FitsIn(claimsStart, claimedFiles * (kFileRecordSize + 1), layout.fileSize)) {
        bfOwnIndex->ReserveFiles(claimedFiles);
    }
    for (uint32_t i = 0; i < layout.folderCount; ++i) {
        const uint64_t blockOffset = blocks[i].blockOffset;
        const uint32_t folderFileCount = blocks[i].fileCount;
        // The stored offset counts the total file-name length in; a block before the file or past its end
        // cannot be read.
        if (blockOffset < layout.totalFileNameLength ||
            !FitsIn(blockOffset - layout.totalFileNameLength, 0, layout.fileSize)) {
            throw EReadError();
        }
        const uint64_t blockStart = blockOffset - layout.totalFileNameLength;
        bfStream->SetPosition(static_cast<int64_t>(blockStart));
        std::u16string name = platform::LowerCase(bfStream->ReadStringLen(true));

        const uint64_t recordsStart = static_cast<uint64_t>(bfStream->Position());
        const uint64_t recordBytes = uint64_t{folderFileCount} * kFileRecordSize;
        // The block's name and records, and the zero byte of each of its files' names.
        claimed += (recordsStart - blockStart) + recordBytes + folderFileCount;
        if (!FitsIn(recordsStart, recordBytes, layout.fileSize) ||
            !FitsIn(claimsStart, claimed, layout.fileSize)) {
            throw NotInFile(folderFileCount == 0
                                ? u"folder " + UIntToStr(i) + u" does not fit"
                                : u"folder " + UIntToStr(i) + u" holds " + UIntToStr(folderFileCount) +
                                      u" file records that do not fit");
        }
        if (folderFileCount != 0) {
            // Nothing in a folder without files to list or to find: the index leaves it out (an archive of
            // empty folders would otherwise take many times its size in memory).
            bfOwnIndex->AddFolder(std::move(name));
            ReadFileRecords(folderFileCount);
        }
    }
}

// The folder's file records from the stream's position, in runs of at most a cache's worth, so that they come
// out of the cache.
void TwbBSAFile::ReadFileRecords(uint32_t count) {
    constexpr uint32_t kRecordsPerRun = TwbBaseCachedFileStream::kDefaultCacheSize / kFileRecordSize;
    uint8_t run[kRecordsPerRun * kFileRecordSize];
    for (uint32_t first = 0; first < count; first += kRecordsPerRun) {
        const uint32_t runCount = std::min(count - first, kRecordsPerRun);
        bfStream->ReadBuffer(run, static_cast<int32_t>(runCount * kFileRecordSize));
        for (uint32_t j = 0; j < runCount; ++j) {
            // The name hash (8 bytes) is not kept: nothing checks it.
            const uint8_t* record = run + size_t{j} * kFileRecordSize;
            bfOwnIndex->AddFileRecord(LoadLE32(record + 8), LoadLE32(record + 12));
        }
    }
}

// The file names, in one sequential run from where the last folder block ends, in the order of the records.
void TwbBSAFile::ReadFileNames() {
    TwbReadOnlyCachedFileStream& stream = *bfStream;
    std::string name;
    for (uint32_t i = 0; i < bfOwnIndex->FileCount(); ++i) {
        name.clear();
        stream.ReadStringTermBytes(name);
        if (!bfOwnIndex->AddFileName(name)) {
            throw NotInFile(u"file names of more than 4 GiB do not fit");
        }
    }
}

Exception TwbBSAFile::NotInFile(const std::u16string& what) const {
    return Exception(bfFileName + u" is not a valid BSA file: " + what + u" in the file");
}

std::u16string TwbBSAFile::EntryString(TEntryRef entry) const {
    return ::EntryString(bfIndex->FolderOf(entry).Name, bfIndex->FileName(entry));
}

std::optional<TEntryRef> TwbBSAFile::FindEntry(std::u16string_view entryString) const {
    return bfIndex->Find(entryString);
}
