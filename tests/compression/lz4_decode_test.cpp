// The LZ4 stream decoder: what well-formed sources decode to, the failure reported for each kind of damage,
// what each part counts and whether it failed, and the checks that the archive reader relies on: a failed
// part or a wrong total raises.
#include "compression/lz4_decode.h"

#include <gtest/gtest.h>
#include <lz4frame.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "base/ustring.h"
#include "compression/preallocated_memory_stream.h"
#include "fixtures/bsa_writer.h"
#include "tests/raises.h"

// How a part's result shows in a failure message; found by argument-dependent lookup, so it lives beside the
// type.
void PrintTo(const Lz4PartResult& result, std::ostream* out) {
    *out << result.produced << (result.failed ? " bytes, failed" : " bytes");
}

namespace {

using Bytes = std::vector<uint8_t>;
using test_support::Error;
using test_support::Raises;

constexpr char16_t kSizeMismatch[] = u"lz4 decompression size mismatch";
constexpr uint32_t kSkippableMagic = 0x184D2A50;

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

Bytes LE32(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
            static_cast<uint8_t>(value >> 24)};
}

Bytes Prefix(const Bytes& bytes, size_t length) {
    return Bytes(bytes.begin(), bytes.begin() + length);
}

// One compressed block holding a literal count but no literal: no LZ4 decoder accepts it.
const Bytes kDamagedBlock = Concat({LE32(1), {0x10}});

// A frame of the fixture writer (7-byte descriptor, no block checksums) taken apart, so that fixtures can
// cut, replace or damage single blocks.
struct FrameLayout {
    Bytes header;              // magic number and descriptor
    std::vector<Bytes> blocks; // each with its 4-byte size field
    Bytes trailer;             // end mark and any content checksum
};

FrameLayout SplitFrame(const Bytes& frame) {
    FrameLayout layout;
    layout.header = Prefix(frame, 7);
    size_t at = 7;
    for (;;) {
        const uint32_t word =
            frame[at] | frame[at + 1] << 8 | frame[at + 2] << 16 | uint32_t{frame[at + 3]} << 24;
        if (word == 0) {
            break;
        }
        const size_t length = 4 + (word & 0x7FFFFFFF);
        layout.blocks.emplace_back(frame.begin() + at, frame.begin() + at + length);
        at += length;
    }
    layout.trailer.assign(frame.begin() + at, frame.end());
    return layout;
}

// The frame's first block behind a descriptor of version 0, which no decoder accepts.
Bytes WithInvalidDescriptor(const FrameLayout& frame) {
    Bytes header = frame.header;
    header[4] = 0x00;
    return Concat({header, frame.blocks[0], frame.trailer});
}

// The same for a legacy stream: magic number, then size-prefixed blocks.
std::vector<Bytes> LegacyBlocks(const Bytes& legacy) {
    std::vector<Bytes> blocks;
    for (size_t at = 4; at < legacy.size();) {
        const uint32_t size =
            legacy[at] | legacy[at + 1] << 8 | legacy[at + 2] << 16 | uint32_t{legacy[at + 3]} << 24;
        blocks.emplace_back(legacy.begin() + at, legacy.begin() + at + 4 + size);
        at += 4 + size;
    }
    return blocks;
}

// 150,000 bytes: three blocks of a 64 KiB frame or of a legacy stream cut into 64 KiB blocks.
const Bytes& FrameData() {
    static const Bytes data = fixture::CompressibleBytes(150000, 1);
    return data;
}
const Bytes& SmallBlockFrame() {
    static const Bytes frame = fixture::Lz4Frame(FrameData(), {.blockSizeId = 4});
    return frame;
}
const Bytes& LegacyData() {
    static const Bytes data = fixture::CompressibleBytes(150000, 2);
    return data;
}
const Bytes& SmallBlockLegacy() {
    static const Bytes legacy = fixture::Lz4Legacy(LegacyData(), 64 * 1024);
    return legacy;
}

// The descriptor options of a frame that liblz4 writes.
struct FrameOptions {
    LZ4F_blockSizeID_t blockSize = LZ4F_max64KB;
    bool linkedBlocks = false;
    bool contentSize = false;
    bool blockChecksums = false;
    bool contentChecksum = false;
    unsigned dictionaryId = 0; // 0: none
};

// A frame built by liblz4's own frame compression, for descriptor options the games' tools never use. The
// library keeps the block size asked for only when the data is larger than the next smaller one.
Bytes LibraryFrame(const Bytes& data, const FrameOptions& options) {
    LZ4F_preferences_t preferences{};
    preferences.frameInfo.blockSizeID = options.blockSize;
    preferences.frameInfo.blockMode = options.linkedBlocks ? LZ4F_blockLinked : LZ4F_blockIndependent;
    preferences.frameInfo.contentSize = options.contentSize ? data.size() : 0;
    preferences.frameInfo.blockChecksumFlag =
        options.blockChecksums ? LZ4F_blockChecksumEnabled : LZ4F_noBlockChecksum;
    preferences.frameInfo.contentChecksumFlag =
        options.contentChecksum ? LZ4F_contentChecksumEnabled : LZ4F_noContentChecksum;
    preferences.frameInfo.dictID = options.dictionaryId;
    Bytes out(LZ4F_compressFrameBound(data.size(), &preferences));
    const size_t written = LZ4F_compressFrame(out.data(), out.size(), data.data(), data.size(), &preferences);
    if (LZ4F_isError(written)) {
        throw std::runtime_error(LZ4F_getErrorName(written));
    }
    out.resize(written);
    return out;
}

// FrameData() in frames of 64 KiB blocks made by the library: with its content size (a 15-byte header), and
// with a dictionary id (no dictionary was used, but a decoder cannot know that).
const Bytes& ContentSizeFrame() {
    static const Bytes frame = LibraryFrame(FrameData(), {.contentSize = true});
    return frame;
}
const Bytes& DictionaryFrame() {
    static const Bytes frame = LibraryFrame(FrameData(), {.dictionaryId = 0xDEADBEEF});
    return frame;
}

// Lz4DecompressBuffer into a destination of exactly `destinationLength` bytes (so that a stray write is a
// sanitizer finding), returning what the destination holds.
Bytes DecompressBuffer(const Bytes& packed, size_t destinationLength) {
    Bytes destination(destinationLength);
    Lz4DecompressBuffer(packed.data(), static_cast<int32_t>(packed.size()), destination.data(),
                        static_cast<int32_t>(destination.size()));
    return destination;
}

std::string Show(const Lz4ErrorLog& errors) {
    std::string text;
    for (const std::u16string& error : errors) {
        text += "[" + ToUtf8(error) + "] ";
    }
    return text;
}

void ExpectSizeMismatch(const Bytes& packed, size_t destinationLength) {
    EXPECT_TRUE(
        Raises([&] { DecompressBuffer(packed, destinationLength); }, Error<Exception>(kSizeMismatch)));
}

TEST(Lz4DecompressBuffer, DecodesWellFormedSources) {
    const Bytes& data = FrameData();
    const Bytes& legacyData = LegacyData();
    const Bytes incompressible = fixture::RandomBytes(150000, 3);
    const Bytes eightMiB = fixture::CompressibleBytes(8 << 20, 4);
    const Bytes stray = {0xDE, 0xAD, 0xBE, 0xEF};
    Bytes emptyLegacyStreams;
    for (int i = 0; i < 1000; ++i) {
        const Bytes magic = LE32(0x184C2102);
        emptyLegacyStreams.insert(emptyLegacyStreams.end(), magic.begin(), magic.end());
    }
    struct Case {
        const char* name;
        Bytes packed;
        Bytes expected;
    };
    const Case cases[] = {
        {"empty source", {}, {}},
        {"frame of no bytes", fixture::Lz4Frame({}), {}},
        {"frame of no bytes with a content checksum", fixture::Lz4Frame({}, {.contentChecksum = true}), {}},
        {"frame of 64 KiB blocks", SmallBlockFrame(), data},
        {"frame of 256 KiB blocks", fixture::Lz4Frame(data, {.blockSizeId = 5}), data},
        {"frame of 1 MiB blocks", fixture::Lz4Frame(data, {.blockSizeId = 6}), data},
        {"frame of 4 MiB blocks with a content checksum",
         fixture::Lz4Frame(data, {.blockSizeId = 7, .contentChecksum = true}), data},
        {"frame of stored blocks", fixture::Lz4Frame(incompressible, {.blockSizeId = 4}), incompressible},
        // Stored blocks with block checksums make the library ask for more than a block buffer holds.
        {"frame with block checksums", LibraryFrame(incompressible, {.blockChecksums = true}),
         incompressible},
        {"skippable frames of all sixteen magic numbers before a frame",
         fixture::Lz4Frame(data, {.skippableFramesBefore = 16}), data},
        {"skippable frame after a frame", fixture::Lz4Frame(data, {.skippableFrameAfter = true}), data},
        {"two frames", Concat({SmallBlockFrame(), fixture::Lz4Frame(legacyData)}),
         Concat({data, legacyData})},
        {"legacy stream of one block", fixture::Lz4Legacy(legacyData), legacyData},
        {"legacy stream of three blocks", SmallBlockLegacy(), legacyData},
        {"legacy block of the largest size", fixture::Lz4Legacy(eightMiB, 8 << 20, 1), eightMiB},
        // A frame's magic number is too large for a legacy block size and goes back to the dispatcher.
        {"legacy stream followed by a frame", Concat({SmallBlockLegacy(), SmallBlockFrame()}),
         Concat({legacyData, data})},
        {"frame followed by a legacy stream", Concat({SmallBlockFrame(), SmallBlockLegacy()}),
         Concat({data, legacyData})},
        // One run lends the same buffers to every part, growing them for larger blocks.
        {"parts of every block size, and a thousand legacy streams without blocks",
         Concat({SmallBlockFrame(), fixture::Lz4Frame(legacyData, {.blockSizeId = 7}), emptyLegacyStreams,
                 SmallBlockLegacy(), SmallBlockFrame()}),
         Concat({data, legacyData, legacyData, data})},
        {"frame followed by unrecognised bytes", Concat({SmallBlockFrame(), stray}), data},
        {"frame followed by two stray bytes", Concat({SmallBlockFrame(), Prefix(stray, 2)}), data},
        {"unrecognised bytes into an empty destination", stray, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes decoded;
        ASSERT_NO_THROW(decoded = DecompressBuffer(c.packed, c.expected.size()));
        EXPECT_TRUE(decoded == c.expected);
    }
}

// Every option of the frame descriptor that liblz4 writes, in every combination and with every block size:
// a content size makes the header 15 bytes long instead of 7 (a dictionary id 4 more), and the header must be
// read whole before the first block.
TEST(Lz4DecompressBuffer, DecodesFramesWithEveryDescriptorOption) {
    // More than 1 MiB, so that the library keeps even the largest block size; the random tail makes blocks
    // that are stored as they are.
    const Bytes data = Concat({fixture::CompressibleBytes(1100000, 8), fixture::RandomBytes(100000, 9)});
    const LZ4F_blockSizeID_t blockSizes[] = {LZ4F_max64KB, LZ4F_max256KB, LZ4F_max1MB, LZ4F_max4MB};
    for (const LZ4F_blockSizeID_t blockSize : blockSizes) {
        for (unsigned choice = 0; choice < 16; ++choice) {
            const FrameOptions options{.blockSize = blockSize,
                                       .linkedBlocks = (choice & 1) != 0,
                                       .contentSize = (choice & 2) != 0,
                                       .blockChecksums = (choice & 4) != 0,
                                       .contentChecksum = (choice & 8) != 0};
            SCOPED_TRACE(testing::Message() << "block size id " << blockSize
                                            << (options.linkedBlocks ? ", linked" : ", independent")
                                            << (options.contentSize ? ", content size" : "")
                                            << (options.blockChecksums ? ", block checksums" : "")
                                            << (options.contentChecksum ? ", content checksum" : ""));
            const Bytes frame = LibraryFrame(data, options);
            ASSERT_EQ(frame[5] >> 4, blockSize) << "the library chose another block size";

            Bytes destination(data.size());
            Lz4ErrorLog errors;
            ASSERT_NO_THROW(Lz4DecompressBuffer(frame.data(), static_cast<int32_t>(frame.size()),
                                                destination.data(), static_cast<int32_t>(destination.size()),
                                                &errors));
            EXPECT_TRUE(destination == data);
            EXPECT_TRUE(errors.empty()) << Show(errors);

            // With a dictionary id the same frame is refused after its header: no entry carries a dictionary.
            FrameOptions withDictionary = options;
            withDictionary.dictionaryId = 7;
            const Bytes refused = LibraryFrame(data, withDictionary);
            errors.clear();
            EXPECT_TRUE(Raises(
                [&] {
                    Lz4DecompressBuffer(refused.data(), static_cast<int32_t>(refused.size()),
                                        destination.data(), static_cast<int32_t>(destination.size()),
                                        &errors);
                },
                Error<Exception>(kSizeMismatch)));
            EXPECT_EQ(errors,
                      Lz4ErrorLog{u"can't decode frame: it needs dictionary 7, which entries do not carry"})
                << Show(errors);
        }
    }
}

// A reader passes one workspace to entry after entry: whatever frame failed before, the next frame decodes
// as it would with a workspace of its own. (The archive that showed a context reset after a failure to be
// not enough is fuzz/regressions/archive-lz4-entry-after-a-failed-one, replayed by FuzzReplay.archive.)
TEST(Lz4DecompressBuffer, AWorkspaceServesTheNextEntryAfterAnyFailure) {
    const Bytes data = Concat({fixture::CompressibleBytes(300000, 3), fixture::RandomBytes(20000, 4)});
    const FrameLayout small = SplitFrame(SmallBlockFrame());
    Bytes wrongChecksum = LibraryFrame(data, {.blockSize = LZ4F_max64KB, .contentChecksum = true});
    wrongChecksum.back() ^= 0x01;
    const std::pair<const char*, Bytes> failures[] = {
        {"a damaged block", Concat({small.header, kDamagedBlock, small.trailer})},
        {"a cut frame", Prefix(SmallBlockFrame(), SmallBlockFrame().size() / 2)},
        {"an invalid descriptor", WithInvalidDescriptor(small)},
        {"a wrong content checksum", wrongChecksum},
        {"a dictionary id", LibraryFrame(data, {.blockSize = LZ4F_max256KB, .dictionaryId = 7})},
        {"a linked frame cut in its second block",
         Prefix(LibraryFrame(data, {.blockSize = LZ4F_max64KB, .linkedBlocks = true}), 70000)},
    };
    Lz4Workspace workspace;
    for (const auto& [what, failing] : failures) {
        for (unsigned choice = 0; choice < 8; ++choice) {
            const FrameOptions options{.blockSize = (choice & 4) != 0 ? LZ4F_max256KB : LZ4F_max64KB,
                                       .linkedBlocks = (choice & 1) != 0,
                                       .contentSize = (choice & 2) != 0,
                                       .contentChecksum = true};
            SCOPED_TRACE(testing::Message() << "after " << what << ", frame choice " << choice);
            Bytes destination(data.size());
            EXPECT_ANY_THROW(Lz4DecompressBuffer(failing.data(), static_cast<int32_t>(failing.size()),
                                                 destination.data(), static_cast<int32_t>(destination.size()),
                                                 nullptr, &workspace));
            const Bytes frame = LibraryFrame(data, options);
            Lz4ErrorLog errors;
            ASSERT_NO_THROW(Lz4DecompressBuffer(frame.data(), static_cast<int32_t>(frame.size()),
                                                destination.data(), static_cast<int32_t>(destination.size()),
                                                &errors, &workspace))
                << Show(errors);
            EXPECT_TRUE(destination == data);
        }
    }
}

TEST(Lz4DecompressBuffer, RaisesSizeMismatchWhenTheCountDiffers) {
    const FrameLayout frame = SplitFrame(SmallBlockFrame());
    const size_t size = FrameData().size();
    struct Case {
        const char* name;
        Bytes packed;
        size_t destinationLength;
    };
    const Case cases[] = {
        {"empty source", {}, 1},
        {"frame into a destination one byte short", SmallBlockFrame(), size - 1},
        {"frame into a destination one byte long", SmallBlockFrame(), size + 1},
        {"unrecognised bytes", {0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 4}, 16},
        {"frame cut inside a block", Prefix(SmallBlockFrame(), SmallBlockFrame().size() / 2), size},
        {"frame with a damaged block",
         Concat({frame.header, frame.blocks[0], kDamagedBlock, frame.blocks[2], frame.trailer}), size},
        {"frame with an invalid descriptor", WithInvalidDescriptor(frame), 65536},
        {"frame with its content size into a destination one byte short", ContentSizeFrame(), size - 1},
        {"frame with its content size into a destination one byte long", ContentSizeFrame(), size + 1},
        {"frame that needs a dictionary", DictionaryFrame(), size},
        {"legacy stream cut inside a block", Prefix(SmallBlockLegacy(), SmallBlockLegacy().size() - 1),
         LegacyData().size()},
        // A skippable frame longer than the source hides whatever follows its length, at any length.
        {"frame inside a skippable frame of 2^31 - 1 bytes",
         Concat({LE32(kSkippableMagic), LE32(0x7FFFFFFF), SmallBlockFrame()}), size},
        {"frame inside a skippable frame of 2^31 bytes",
         Concat({LE32(kSkippableMagic + 1), LE32(0x80000000), SmallBlockFrame()}), size},
        {"frame inside a skippable frame of 2^32 - 1 bytes",
         Concat({LE32(kSkippableMagic + 15), LE32(0xFFFFFFFF), SmallBlockFrame()}), size},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectSizeMismatch(c.packed, c.destinationLength);
    }
}

// The header of one frame with the blocks and end of another: the header checksum covers the header alone, so
// the result is a frame whose header is sound but states a content size that its blocks do not make up.
Bytes WithHeaderOf(const Bytes& headerFrame, const Bytes& bodyFrame, size_t headerSize) {
    return Concat({Prefix(headerFrame, headerSize), Bytes(bodyFrame.begin() + headerSize, bodyFrame.end())});
}

// A part that fails a check fails the whole source, also when the bytes decoded add up to the destination's
// length: the end of a frame that is cut off or whose content checksum is wrong, a frame that a later part
// makes up for, a failed header where nothing was expected.
TEST(Lz4DecompressBuffer, RaisesWhenAPartFailsThoughTheCountMatches) {
    const Bytes& data = FrameData();
    const size_t size = data.size();
    const FrameLayout frame = SplitFrame(SmallBlockFrame());
    const Bytes lastBlockFrame = fixture::Lz4Frame(Bytes(data.begin() + 131072, data.end()));
    const Bytes checked = fixture::Lz4Frame(data, {.blockSizeId = 4, .contentChecksum = true});
    Bytes badContentChecksum = checked;
    badContentChecksum.back() ^= 0x01;
    // The last block's checksum lies just before the end mark.
    Bytes badBlockChecksum = LibraryFrame(data, {.blockChecksums = true});
    badBlockChecksum[badBlockChecksum.size() - 5] ^= 0x01;
    const Bytes oneByteMore = Concat({data, {0}});
    const Bytes oneByteLess = Prefix(data, size - 1);
    const std::vector<Bytes> legacy = LegacyBlocks(SmallBlockLegacy());
    const Bytes& legacyData = LegacyData();
    const Bytes legacyMagic = Prefix(SmallBlockLegacy(), 4);
    const std::u16string frameSizeWrong = u"Decompression error: ERROR_frameSize_wrong";

    struct Case {
        const char* name;
        Bytes packed;
        size_t destinationLength;
        Lz4ErrorLog errors; // decoding stops at the part that failed
    };
    const Case cases[] = {
        {"frame whose content checksum does not match",
         badContentChecksum,
         size,
         {u"Decompression error: ERROR_contentChecksum_invalid"}},
        {"frame cut inside its content checksum", Prefix(checked, checked.size() - 1), size, {u"Read error"}},
        {"frame cut inside its end mark",
         Prefix(SmallBlockFrame(), SmallBlockFrame().size() - 1),
         size,
         {u"Read error"}},
        {"frame whose last block checksum does not match, then a frame of that block's bytes",
         Concat({badBlockChecksum, lastBlockFrame}),
         size,
         {u"Decompression error: ERROR_blockChecksum_invalid"}},
        {"frame with a damaged last block, then a frame of that block's bytes",
         Concat({frame.header, frame.blocks[0], frame.blocks[1], kDamagedBlock, LE32(0), lastBlockFrame}),
         size,
         {u"Decompression error: ERROR_decompressionFailed"}},
        {"legacy stream with a damaged last block, then a legacy stream of that block's bytes",
         Concat({legacyMagic, legacy[0], legacy[1], kDamagedBlock,
                 fixture::Lz4Legacy(Bytes(legacyData.begin() + 131072, legacyData.end()))}),
         legacyData.size(),
         {u"Decoding Failed ! Corrupted input detected"}},
        {"frame stating one byte more than it holds",
         WithHeaderOf(LibraryFrame(oneByteMore, {.contentSize = true}), ContentSizeFrame(), 15),
         size,
         {frameSizeWrong}},
        {"frame stating one byte less than it holds",
         WithHeaderOf(LibraryFrame(oneByteLess, {.contentSize = true}), ContentSizeFrame(), 15),
         size,
         {frameSizeWrong}},
        {"frame header cut short, into an empty destination", Prefix(frame.header, 6), 0, {u"Read error"}},
        {"frame with an invalid descriptor, into an empty destination",
         WithInvalidDescriptor(frame),
         0,
         {u"can't decode frame header: ERROR_headerVersion_wrong"}},
        {"empty frame that needs a dictionary, into an empty destination",
         LibraryFrame({}, {.dictionaryId = 1}),
         0,
         {u"can't decode frame: it needs dictionary 1, which entries do not carry"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes destination(c.destinationLength);
        Lz4ErrorLog errors;
        EXPECT_TRUE(Raises(
            [&] {
                Lz4DecompressBuffer(c.packed.data(), static_cast<int32_t>(c.packed.size()),
                                    destination.data(), static_cast<int32_t>(destination.size()), &errors);
            },
            Error<Exception>(kSizeMismatch)));
        EXPECT_EQ(errors, c.errors) << Show(errors);
    }
}

TEST(Lz4DecompressBuffer, KeepsTheBytesDecodedBeforeAFailure) {
    const Bytes& data = FrameData();
    const FrameLayout frame = SplitFrame(SmallBlockFrame());
    constexpr uint8_t kUntouched = 0xEE;

    // Cut inside the third block: the first two blocks arrive, the rest of the destination is left alone.
    const Bytes cut = Concat({frame.header, frame.blocks[0], frame.blocks[1], Prefix(frame.blocks[2], 10)});
    Bytes destination(data.size(), kUntouched);
    EXPECT_TRUE(Raises(
        [&] {
            Lz4DecompressBuffer(cut.data(), static_cast<int32_t>(cut.size()), destination.data(),
                                static_cast<int32_t>(destination.size()));
        },
        Error<Exception>(kSizeMismatch)));
    EXPECT_TRUE(Bytes(destination.begin(), destination.begin() + 131072) == Prefix(data, 131072));
    EXPECT_TRUE(Bytes(destination.begin() + 131072, destination.end()) ==
                Bytes(data.size() - 131072, kUntouched));

    // A destination one byte short takes all it can hold; nothing lands beside it.
    Bytes shortDestination(data.size(), kUntouched);
    EXPECT_TRUE(Raises(
        [&] {
            Lz4DecompressBuffer(SmallBlockFrame().data(), static_cast<int32_t>(SmallBlockFrame().size()),
                                shortDestination.data(), static_cast<int32_t>(data.size() - 1));
        },
        Error<Exception>(kSizeMismatch)));
    EXPECT_TRUE(Prefix(shortDestination, data.size() - 1) == Prefix(data, data.size() - 1));
    EXPECT_EQ(shortDestination.back(), kUntouched);
}

// Once the count passes the destination, the write that passed it was cut at its end and no later part could
// change the outcome: decoding stops at that part, so a hostile source cannot keep the decoder busy with
// parts that follow the overrun. The log shows where it stopped: one failure, no more.
TEST(Lz4DecompressBuffer, StopsAtThePartThatOverrunsTheDestination) {
    Bytes manyParts;
    const Bytes smallFrame = fixture::Lz4Frame(fixture::CompressibleBytes(100, 7));
    for (int i = 0; i < 1000; ++i) {
        manyParts.insert(manyParts.end(), smallFrame.begin(), smallFrame.end());
    }
    struct Case {
        const char* name;
        Bytes overrunning; // the first part, which yields one byte more than the destination holds
        size_t destinationLength;
        std::u16string failure;
    };
    const Case cases[] = {
        {"frame", SmallBlockFrame(), FrameData().size() - 1, u"Write error : cannot write decoded block"},
        {"legacy stream", SmallBlockLegacy(), LegacyData().size() - 1,
         u"Write error : cannot write decoded block into output"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes packed = Concat({c.overrunning, manyParts});
        Bytes destination(c.destinationLength);
        Lz4ErrorLog errors;
        EXPECT_TRUE(Raises(
            [&] {
                Lz4DecompressBuffer(packed.data(), static_cast<int32_t>(packed.size()), destination.data(),
                                    static_cast<int32_t>(destination.size()), &errors);
            },
            Error<Exception>(kSizeMismatch)));
        EXPECT_EQ(errors, Lz4ErrorLog{c.failure}) << errors.size() << " failures logged";
    }
}

TEST(Lz4DecompressBuffer, NegativeLengthsTouchNothing) {
    const Bytes& frame = SmallBlockFrame();
    Bytes destination(16, 0xEE);
    EXPECT_TRUE(Raises(
        [&] {
            Lz4DecompressBuffer(frame.data(), static_cast<int32_t>(frame.size()), destination.data(), -1);
        },
        Error<Exception>(kSizeMismatch)));
    EXPECT_TRUE(destination == Bytes(16, 0xEE));

    // A negative source length is an empty source.
    EXPECT_NO_THROW(Lz4DecompressBuffer(frame.data(), -1, destination.data(), 0));
    EXPECT_TRUE(Raises([&] { Lz4DecompressBuffer(frame.data(), -1, destination.data(), 16); },
                       Error<Exception>(kSizeMismatch)));
    EXPECT_TRUE(destination == Bytes(16, 0xEE));
}

TEST(Lz4DecompressBuffer, SurvivesEveryTruncation) {
    // A frame of two blocks followed by a legacy stream of small blocks, cut at many lengths: every cut falls
    // short of the full count, whatever part it lands in.
    const Bytes frameData = fixture::CompressibleBytes(70000, 5);
    const Bytes legacyData = fixture::CompressibleBytes(3000, 6);
    const Bytes packed = Concat({fixture::Lz4Frame(frameData, {.blockSizeId = 4, .contentChecksum = true}),
                                 fixture::Lz4Legacy(legacyData, 1000)});
    const size_t total = frameData.size() + legacyData.size();
    for (size_t cut = 0; cut < packed.size(); ++cut) {
        if (cut > 64 && cut + 64 < packed.size() && cut % 13 != 0) {
            continue;
        }
        SCOPED_TRACE(cut);
        ExpectSizeMismatch(Prefix(packed, cut), total);
    }
}

// ---- Part by part: the text each failure reports, what the part counts and whether it failed ----

struct PartsRun {
    std::vector<Lz4PartResult> parts; // until Lz4DecodeStream reports that none follows
    Lz4ErrorLog errors;
};

PartsRun DecodeParts(const Bytes& packed, size_t destinationSize) {
    Bytes source = packed;
    Bytes destinationBlock(destinationSize);
    TPreallocatedMemoryStream sourceStream(source.data(), static_cast<int64_t>(source.size()));
    TPreallocatedMemoryStream destination(destinationBlock.data(), static_cast<int64_t>(destinationSize));
    PartsRun run;
    for (int part = 0; part < 100; ++part) {
        const std::optional<Lz4PartResult> result = Lz4DecodeStream(sourceStream, destination, &run.errors);
        if (!result) {
            return run;
        }
        run.parts.push_back(*result);
    }
    ADD_FAILURE() << "the decoder does not come to an end";
    return run;
}

Lz4PartResult Ended(int64_t produced) {
    return {produced, false};
}
Lz4PartResult Failed(int64_t produced) {
    return {produced, true};
}

TEST(Lz4DecodeStream, ReportsEachFailureAndCountsWhatThePartProduced) {
    const size_t size = FrameData().size();
    const FrameLayout frame = SplitFrame(SmallBlockFrame());
    const FrameLayout checkedFrame =
        SplitFrame(fixture::Lz4Frame(FrameData(), {.blockSizeId = 4, .contentChecksum = true}));
    const std::vector<Bytes> legacy = LegacyBlocks(SmallBlockLegacy());
    const Bytes legacyMagic = Prefix(SmallBlockLegacy(), 4);
    Bytes badChecksum = Concat({checkedFrame.header, checkedFrame.blocks[0], checkedFrame.blocks[1],
                                checkedFrame.blocks[2], checkedFrame.trailer});
    badChecksum.back() ^= 0x01;
    const std::u16string unrecognized = u"Stream followed by unrecognized data";

    struct Case {
        const char* name;
        Bytes packed;
        size_t destinationSize;
        std::vector<Lz4PartResult> parts;
        Lz4ErrorLog errors;
    };
    const Case cases[] = {
        {"three bytes where a magic number should start",
         {0x04, 0x22, 0x4D},
         0,
         {Ended(0)},
         {u"Unrecognized header : Magic Number unreadable"}},
        {"skippable frame without a complete length",
         Concat({LE32(kSkippableMagic), {8, 0}}),
         0,
         {Ended(0)},
         {u"Stream error : skippable size unreadable"}},
        {"skippable frame longer than a position can reach",
         Concat({LE32(kSkippableMagic + 3), LE32(0xFFFFFFF8)}),
         0,
         {Ended(0)},
         {u"Stream error : cannot skip skippable area"}},
        {"skippable frame running past the end of the source",
         Concat({LE32(kSkippableMagic + 15), LE32(0x7FFFFFFF), {1, 2, 3, 4}}),
         0,
         {},
         {}},
        {"unrecognised magic number first",
         {0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 4},
         0,
         {Ended(0)},
         {u"Unrecognized header : file cannot be decoded", unrecognized}},
        {"unrecognised data after a frame",
         Concat({SmallBlockFrame(), {0xDE, 0xAD, 0xBE, 0xEF}}),
         size,
         {Ended(size)},
         {unrecognized}},
        {"frame header cut short", Prefix(frame.header, 6), 0, {Failed(0)}, {u"Read error"}},
        {"frame descriptor invalid",
         WithInvalidDescriptor(frame),
         size,
         {Failed(0)},
         {u"can't decode frame header: ERROR_headerVersion_wrong", unrecognized}},
        {"frame header with a content size cut short",
         Prefix(ContentSizeFrame(), 14),
         0,
         {Failed(0)},
         {u"Read error"}},
        {"frame that needs a dictionary",
         DictionaryFrame(),
         size,
         {Failed(0)},
         {u"can't decode frame: it needs dictionary 3735928559, which entries do not carry", unrecognized}},
        {"frame block larger than its block size",
         Concat({frame.header, LE32(65537), Bytes(65537, 0), frame.trailer}),
         size,
         {Failed(0)},
         {u"Decompression error: ERROR_maxBlockSize_invalid", unrecognized}},
        {"frame cut inside its second block",
         Concat({frame.header, frame.blocks[0], Prefix(frame.blocks[1], 100)}),
         size,
         {Failed(65536)},
         {u"Read error"}},
        {"frame with a damaged second block",
         Concat({frame.header, frame.blocks[0], kDamagedBlock, frame.blocks[2], frame.trailer}),
         size,
         {Failed(65536)},
         {u"Decompression error: ERROR_decompressionFailed", unrecognized}},
        // The checksum follows the last block, so every byte has been produced and written by then: the frame
        // fails all the same.
        {"frame with a wrong content checksum",
         badChecksum,
         size,
         {Failed(size)},
         {u"Decompression error: ERROR_contentChecksum_invalid"}},
        {"frame into a destination one byte short",
         SmallBlockFrame(),
         size - 1,
         {Failed(size)},
         {u"Write error : cannot write decoded block"}},
        {"legacy stream cut inside its second block",
         Concat({legacyMagic, legacy[0], Prefix(legacy[1], 100)}),
         size,
         {Failed(65536)},
         {u"Error reading input file"}},
        {"legacy stream with one byte of a further block size",
         Concat({SmallBlockLegacy(), {0x05}}),
         size,
         {Ended(size)},
         {u"Error reading input file"}},
        {"legacy stream with two bytes of a further block size",
         Concat({SmallBlockLegacy(), {0x05, 0x00}}),
         size,
         {Ended(size)},
         {u"Error reading input file"}},
        {"legacy stream with three bytes of a further block size",
         Concat({SmallBlockLegacy(), {0xFF, 0xFF, 0xFF}}),
         size,
         {Ended(size)},
         {u"Error reading input file"}},
        {"legacy stream with a damaged block",
         Concat({legacyMagic, legacy[0], kDamagedBlock}),
         size,
         {Failed(65536)},
         {u"Decoding Failed ! Corrupted input detected"}},
        {"legacy stream into a destination one byte short",
         SmallBlockLegacy(),
         size - 1,
         {Failed(size)},
         {u"Write error : cannot write decoded block into output"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PartsRun run = DecodeParts(c.packed, c.destinationSize);
        EXPECT_EQ(run.parts, c.parts);
        EXPECT_EQ(run.errors, c.errors) << Show(run.errors);
    }
}

TEST(Lz4DecodeStream, LeavesTheSourceAtTheNextPart) {
    // The legacy decoder gives back the magic number that ends it; a frame stops right after its end mark.
    Bytes source = Concat({SmallBlockLegacy(), SmallBlockFrame(), LE32(kSkippableMagic), LE32(0)});
    Bytes destinationBlock(2 * FrameData().size());
    TPreallocatedMemoryStream sourceStream(source.data(), static_cast<int64_t>(source.size()));
    TPreallocatedMemoryStream destination(destinationBlock.data(),
                                          static_cast<int64_t>(destinationBlock.size()));

    EXPECT_EQ(Lz4DecodeStream(sourceStream, destination), Ended(int64_t(LegacyData().size())));
    EXPECT_EQ(sourceStream.Position(), int64_t(SmallBlockLegacy().size()));
    EXPECT_EQ(Lz4DecodeStream(sourceStream, destination), Ended(int64_t(FrameData().size())));
    EXPECT_EQ(sourceStream.Position(), int64_t(SmallBlockLegacy().size() + SmallBlockFrame().size()));
    EXPECT_EQ(Lz4DecodeStream(sourceStream, destination), std::nullopt);
    EXPECT_EQ(destination.Position(), int64_t(LegacyData().size() + FrameData().size()));
}

} // namespace
