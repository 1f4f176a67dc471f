#pragma once
// Helpers shared by the archive suites: fixture archives on disk, byte patches, and the error a short read
// raises.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "archive/bsa_file.h"
#include "base/bytes.h"
#include "base/exceptions.h"
#include "base/ustring.h"
#include "fixtures/bsa_writer.h"
#include "fixtures/file_tree.h"
#include "fixtures/memory_streams.h"
#include "fixtures/temp_folder.h"
#include "tests/raises.h"

namespace archive_test {

inline void PatchU32(std::vector<uint8_t>& bytes, uint64_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.at(at + i) = static_cast<uint8_t>(value >> (8 * i));
    }
}

inline void PatchU64(std::vector<uint8_t>& bytes, uint64_t at, uint64_t value) {
    PatchU32(bytes, at, static_cast<uint32_t>(value));
    PatchU32(bytes, at + 4, static_cast<uint32_t>(value >> 32));
}

// What a read that falls short raises, wherever in the archive it happens.
inline test_support::ExpectedError ReadError() {
    return test_support::Error<EReadError>(kReadErrorText);
}

using fixture::TextBytes;

// A fixture archive written to a temp folder and opened.
struct OpenedArchive {
    std::u16string path;
    fixture::Layout layout;
    std::unique_ptr<TwbBSAFile> bsa;
};

inline OpenedArchive OpenFixture(const fixture::TempFolder& temp, const fixture::ArchiveSpec& recipe,
                                 const std::string& name = "fixture.bsa") {
    OpenedArchive opened;
    opened.path = temp.Write(name, fixture::BuildArchive(recipe, &opened.layout));
    opened.bsa = std::make_unique<TwbBSAFile>(opened.path);
    return opened;
}

inline fixture::EntrySpec Entry(std::string name, std::vector<uint8_t> data,
                                fixture::Storage storage = fixture::Storage::Raw) {
    fixture::EntrySpec entry;
    entry.name = std::move(name);
    entry.data = std::move(data);
    entry.storage = storage;
    return entry;
}

// Whether folder\\name + ext is in the archive; when it is and read is set, its bytes into buffer (emptied
// first; a damaged entry raises the reader's error and leaves it empty).
inline bool GetFile(TwbBSAFile& bsa, const std::u16string& folder, const std::u16string& name,
                    const std::u16string& ext, bool read, TBytes& buffer) {
    buffer.clear();
    const std::optional<TEntryRef> entry = bsa.FindEntry(folder, name + ext);
    if (entry && read) {
        bsa.ReadEntry(*entry, buffer);
    }
    return entry.has_value();
}

// How folder\\file is packed; false when it is not in the archive.
inline bool PackingOf(TwbBSAFile& bsa, const std::u16string& folder, const std::u16string& file,
                      TwbBSAFile::Packing& packing) {
    const std::optional<TEntryRef> entry = bsa.FindEntry(folder, file);
    if (entry) {
        packing = bsa.EntryPacking(*entry);
    }
    return entry.has_value();
}

// Every entry string in listing order.
inline std::vector<std::u16string> EntryStrings(const TwbBSAFile& bsa) {
    std::vector<std::u16string> entries;
    for (TEntryRef entry = 0; entry < bsa.FileCount(); ++entry) {
        entries.push_back(bsa.EntryString(entry));
    }
    return entries;
}

// The entry's bytes by folder and full file name.
inline TBytes Fetch(TwbBSAFile& bsa, const std::u16string& folder, const std::u16string& file) {
    TBytes buffer;
    if (!GetFile(bsa, folder, file, u"", true, buffer)) {
        ADD_FAILURE() << "entry not found: " << ToUtf8(folder) << "\\" << ToUtf8(file);
    }
    return buffer;
}

// The same bytes read piece by piece; the size told before the first byte must be the size of what follows.
inline TBytes FetchInPieces(TwbBSAFile& bsa, const std::u16string& folder, const std::u16string& file) {
    const std::optional<TEntryRef> entry = bsa.FindEntry(folder, file);
    if (!entry) {
        ADD_FAILURE() << "entry not found: " << ToUtf8(folder) << "\\" << ToUtf8(file);
        return {};
    }
    struct TCollect : TEntryDestination {
        fixture::TByteSink sink;
        std::optional<uint64_t> size;
        TStream& Begin(uint64_t told) override {
            EXPECT_FALSE(size.has_value()) << "Begin told twice";
            size = told;
            return sink;
        }
    } collect;
    bsa.ReadEntryInPieces(*entry, collect);
    EXPECT_EQ(collect.size, std::optional<uint64_t>(collect.sink.written.size()));
    return collect.sink.written;
}

} // namespace archive_test
