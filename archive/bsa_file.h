#pragma once
// TwbBSAFile: one open BSA archive (versions 104 and 105). The constructor opens the file and reads the whole
// index (archive/bsa_index.h); entries are then named by their place in the listing (TEntryRef), found by
// name, described and read.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/bsa_index.h"
#include "base/bytes.h"
#include "base/exceptions.h"
#include "streams/read_only_cached_file_stream.h"

// Where TwbBSAFile::ReadEntryInPieces puts an entry's bytes.
class TEntryDestination {
public:
    virtual ~TEntryDestination() = default;
    // Called once, after the entry's stored sizes were checked and before its first byte: the stream that
    // takes its size bytes.
    virtual TStream& Begin(uint64_t size) = 0;
};

class Lz4Workspace;

class TwbBSAFile {
public:
    // Opens aFileName and reads its index. Raises the stream's open error, Exception "<file> is not a valid
    // BSA file" / " is an unsupported version: N" / " has unexpected Offset: N", EReadError for an index that
    // runs past the end of the file, and Exception for counts the file cannot hold. No object results then.
    explicit TwbBSAFile(const std::u16string& aFileName);
    ~TwbBSAFile();
    TwbBSAFile(const TwbBSAFile&) = delete;
    TwbBSAFile& operator=(const TwbBSAFile&) = delete;

    // A reader of the same open archive for another thread. It shares this reader's index, read-only (this
    // reader must outlive it), and reads entries through its own handle duplicated from this reader's, so
    // that it reads the very file this reader opened even when the path names another one by now. Raises
    // EStreamError "Cannot open %s." with the system's reason when no handle can be had.
    std::unique_ptr<TwbBSAFile> shareIndex() const;

    // The index: every entry in listing order (folders and files in case-insensitive name order), its folder,
    // name and record, and lookups by name.
    const TBsaIndex& Index() const { return *bfIndex; }
    // The entry string of an entry: its folder + "\" + its file name.
    std::u16string EntryString(TEntryRef entry) const;
    // The entry folder\fileName (extension included), both compared case-insensitively; of several, the one
    // whose names are identical to those given (see TBsaIndex::Find). O(log n).
    std::optional<TEntryRef> FindEntry(std::u16string_view folder, std::u16string_view fileName) const {
        return bfIndex->Find(folder, fileName);
    }
    // The entry an entry string names (folder + "\" + file name, as EntryString gives it; see
    // archive/entry_string.h for where the file name begins).
    std::optional<TEntryRef> FindEntry(std::u16string_view entryString) const;

    // How an entry is stored: compressed or raw, and the bytes it takes in the file (embedded name and size
    // prefix included). Reads nothing.
    struct TEntryStorage {
        bool compressed = false;
        uint32_t storedSize = 0;
    };
    TEntryStorage EntryStorage(TEntryRef entry) const;
    // The bytes an entry decodes to at least, from the index alone (nothing is read): a raw entry's stored
    // bytes but an embedded name; a compressed one's packed bytes, less what a compressor adds to data it
    // cannot shrink (LZ4's legacy blocks at most 1/255 and 16 bytes, zlib's stored blocks less; 1/128 and 64
    // are set aside). Only a crafted entry decodes to less: one with nothing packed, which stands for its
    // size in zero bytes. 0 for an entry whose stored bytes cannot be read.
    uint64_t EntryLeastSize(TEntryRef entry) const;

    // The size each entry decodes to, by TEntryRef: a compressed entry's is the 32-bit word that opens its
    // stored data (after the embedded name when the archive embeds names), a raw one's its stored bytes less
    // the embedded name. Read in file-offset order through the archive's stream, a few bytes per entry.
    // kUnknownEntrySize for an entry whose stored bytes lie outside the file or cannot hold their prefix,
    // whose bytes cannot be read, or whose stated size its packed bytes cannot make (as reading it would
    // refuse); the others are still read. Once *cancel (when given) is set it stops, the entries not reached
    // left unknown. Raises nothing but std::bad_alloc.
    static constexpr uint32_t kUnknownEntrySize = UINT32_MAX;
    std::vector<uint32_t> ReadEntrySizes(const std::atomic<bool>* cancel = nullptr);

    // How an entry's data is packed. Version 105 packs with LZ4 either as frames or as a legacy stream.
    enum class Packing { Raw, Zlib, Lz4Frame, Lz4Legacy, Lz4Unrecognised };
    // For LZ4, told by the magic number of its first part after any skippable frames (Lz4Unrecognised when
    // neither follows, or the entry's bytes lie outside the file). Reads a few bytes of the entry; raises
    // only the stream's read errors.
    Packing EntryPacking(TEntryRef entry);

    // The entry's bytes (raw, zlib-inflated in version 104, LZ4-decoded in version 105) into buffer. A
    // damaged or truncated entry raises (EReadError, the decoders' errors, or Exception for sizes the entry
    // cannot hold) and leaves buffer empty; the object stays usable.
    void ReadEntry(TEntryRef entry, TBytes& buffer);
    // The same bytes written to the stream that destination gives, with the same failures; the destination's
    // own errors pass. An entry whose stored bytes fit in 1 MiB and whose decoded bytes fit in 4 MiB is read
    // and decoded whole, in memory this reader keeps for the next entry, before its first byte is written: a
    // damaged one writes nothing. A larger one is read and decoded piece by piece, in a few MiB of working
    // memory whatever its size, and may have written part of itself by the time it is found damaged.
    void ReadEntryInPieces(TEntryRef entry, TEntryDestination& destination);

    uint32_t Version() const { return bfVersion; }
    uint32_t Flags() const { return bfFlags; }
    uint32_t FileFlags() const { return bfFileFlags; }
    uint32_t FileCount() const { return bfIndex->FileCount(); }
    // The folder records the archive holds, also those without files (which the index leaves out).
    uint32_t FolderRecordCount() const { return bfFolderRecordCount; }
    const std::u16string& FileName() const { return bfFileName; }

private:
    // The reader that shareIndex returns: indexOwner's index, its own stream over handle (which it owns).
    TwbBSAFile(const TwbBSAFile& indexOwner, platform::FileHandle handle);
    // Reading the index, step by step in file order (ReadFullIndex runs them); see the constructor for
    // what they raise.
    struct TIndexLayout;
    struct TFolderBlockAt;
    void ReadFullIndex();
    TIndexLayout ReadHeader();
    std::vector<TFolderBlockAt> ReadFolderRecords(const TIndexLayout& layout);
    void ReadFolderBlocks(const TIndexLayout& layout, const std::vector<TFolderBlockAt>& blocks);
    void ReadFileRecords(uint32_t count);
    void ReadFileNames();
    // Exception "<file> is not a valid BSA file: <what> in the file", for a count or an offset the file
    // cannot hold.
    Exception NotInFile(const std::u16string& what) const;

    // Clears bit 30 of sizeWord and says whether the entry is compressed (bit 30 xor archive flag 0x4).
    bool IsCompressed(uint32_t& sizeWord) const;
    // Reading one entry: its stored bytes checked, taken apart, then decoded.
    struct TStoredEntry;
    // EReadError for stored bytes the file does not hold, Exception for a size too small for the prefix.
    void CheckStoredBytes(uint32_t offset, uint32_t storedSize, bool compressed) const;
    Exception DamagedPrefix(uint32_t storedSize) const;
    TStoredEntry TakeApart(const uint8_t* head, uint32_t storedSize, bool compressed) const;
    void CheckUncompressedSize(const TStoredEntry& entry) const;
    TBytes ReadEntryData(uint32_t offset, uint32_t sizeWord);
    TBytes DecodeEntry(const TStoredEntry& entry, const uint8_t* payload);
    void WriteEntryInPieces(const TStoredEntry& entry, const uint8_t* payload, TStream& payloadStream,
                            TEntryDestination& destination);
    const uint8_t* DecodeIntoScratch(const TStoredEntry& entry, const uint8_t* payload);
    // count bytes at the stream's position in one read, past the cache; EReadError when fewer arrive.
    void ReadExactlyUncached(uint8_t* buffer, uint32_t count);
    // The storedSize bytes at the stream's position, read whole into bfScratch.
    const uint8_t* ReadStoredBytes(uint32_t storedSize);
    // The LZ4 block buffers and frame context kept for the next entry; let go of first when an entry left
    // them larger than the scratch memory kept.
    Lz4Workspace& Lz4Buffers();

    std::unique_ptr<TwbReadOnlyCachedFileStream> bfStream;
    std::u16string bfFileName;
    uint32_t bfVersion = 0;
    uint32_t bfOffset = 0;
    uint32_t bfFlags = 0;
    uint32_t bfFileFlags = 0;
    uint32_t bfFolderRecordCount = 0;
    std::unique_ptr<TBsaIndex> bfOwnIndex; // none in a reader that shares another's
    int64_t bfStartDataOffset = 0;
    std::unique_ptr<uint8_t[]> bfScratch; // the last stored entry read whole
    uint32_t bfScratchSize = 0;
    std::unique_ptr<uint8_t[]> bfDecoded; // the last entry decoded whole for ReadEntryInPieces
    uint32_t bfDecodedSize = 0;
    std::unique_ptr<Lz4Workspace> bfLz4; // made at the first LZ4 entry
    // The index the lookups use: this reader's own, or that of the reader it shares it with.
    const TBsaIndex* bfIndex = nullptr;
    platform::FileHandle bfOwnedHandle = 0; // a shared reader's duplicated handle, closed after the stream
};
