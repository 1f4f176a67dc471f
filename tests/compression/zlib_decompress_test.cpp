// One-shot zlib inflation into the caller's buffer: what succeeds, and which exception each failure raises.
#include "compression/zlib_decompress.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "fixtures/bsa_writer.h"
#include "fixtures/memory_streams.h"
#include "tests/outcome.h"
#include "tests/raises.h"

namespace {

using Bytes = std::vector<uint8_t>;
using test_support::Error;
using test_support::Outcome;
using test_support::OutcomeOf;
using test_support::Raises;

constexpr uint8_t kUntouched = 0xEE;

// Deflates with the given window bits: 15 for a zlib stream, -15 for raw deflate data, 31 for gzip. A
// dictionary, when given, is preset (and announced in a zlib header).
Bytes Deflate(const Bytes& data, int windowBits, const Bytes& dictionary = {}) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    if (!dictionary.empty()) {
        deflateSetDictionary(&stream, dictionary.data(), static_cast<uInt>(dictionary.size()));
    }
    Bytes out(deflateBound(&stream, data.size()) + 64);
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) {
        throw std::runtime_error("deflate failed");
    }
    return out;
}

Bytes WithJunk(Bytes bytes) {
    bytes.insert(bytes.end(), {1, 2, 3});
    return bytes;
}

void Inflate(const Bytes& source, Bytes& destination, size_t destinationLength) {
    ZlibDecompressBuffer(source.data(), static_cast<int32_t>(source.size()), destination.data(),
                         static_cast<int32_t>(destinationLength));
}

TEST(ZlibDecompressBuffer, InflatesIntoTheCallersBuffer) {
    const Bytes data = fixture::CompressibleBytes(100000, 7);
    const Bytes packed = fixture::ZlibCompress(data);

    // Exactly filled; the byte after the given length stays as it was.
    Bytes destination(data.size() + 1, kUntouched);
    Inflate(packed, destination, data.size());
    EXPECT_TRUE(Bytes(destination.begin(), destination.end() - 1) == data);
    EXPECT_EQ(destination.back(), kUntouched);

    // Room to spare: the bytes past the output keep their contents.
    Bytes roomy(data.size() + 100, kUntouched);
    Inflate(packed, roomy, roomy.size());
    EXPECT_TRUE(Bytes(roomy.begin(), roomy.begin() + data.size()) == data);
    EXPECT_TRUE(Bytes(roomy.begin() + data.size(), roomy.end()) == Bytes(100, kUntouched));

    // Bytes after the end of the stream are ignored.
    Bytes trailing = packed;
    trailing.insert(trailing.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    Bytes again(data.size());
    Inflate(trailing, again, again.size());
    EXPECT_TRUE(again == data);

    // A stream of no bytes into an empty buffer.
    Bytes empty(1, kUntouched);
    Inflate(fixture::ZlibCompress({}), empty, 0);
    EXPECT_EQ(empty[0], kUntouched);
}

TEST(ZlibDecompressBuffer, RaisesErreurForEveryNegativeZlibResult) {
    const Bytes data = fixture::CompressibleBytes(20000, 8);
    const Bytes packed = fixture::ZlibCompress(data);
    Bytes badAdler = packed;
    badAdler.back() ^= 0x01;
    Bytes badHeader = packed;
    badHeader[1] ^= 0x01; // the header check no longer holds
    struct Case {
        const char* name;
        Bytes source;
        size_t destinationLength;
    };
    const Case cases[] = {
        {"destination one byte too small", packed, data.size() - 1},
        {"stream without its Adler-32 trailer", Bytes(packed.begin(), packed.end() - 4), data.size()},
        {"stream cut in the middle", Bytes(packed.begin(), packed.begin() + packed.size() / 2), data.size()},
        {"Adler-32 mismatch", badAdler, data.size()},
        {"damaged header", badHeader, data.size()},
        {"raw deflate data", Deflate(data, -15), data.size()},
        {"gzip data", Deflate(data, 31), data.size()},
        {"no source bytes", {}, data.size()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes destination(c.destinationLength + 1, kUntouched);
        EXPECT_TRUE(Raises([&] { Inflate(c.source, destination, c.destinationLength); },
                           Error<EDecompressionError>(kZlibErrorText)));
        EXPECT_EQ(destination.back(), kUntouched);
    }
}

TEST(ZlibDecompressBuffer, RefusesUnusableBuffersWithoutTouchingThem) {
    const Bytes packed = fixture::ZlibCompress(fixture::CompressibleBytes(1000, 9));
    Bytes destination(1000, kUntouched);
    EXPECT_TRUE(Raises([&] { ZlibDecompressBuffer(packed.data(), -1, destination.data(), 1000); },
                       Error<EDecompressionError>(kZlibErrorText)));
    EXPECT_TRUE(Raises(
        [&] {
            ZlibDecompressBuffer(packed.data(), static_cast<int32_t>(packed.size()), destination.data(), -1);
        },
        Error<EDecompressionError>(kZlibErrorText)));
    EXPECT_TRUE(destination == Bytes(1000, kUntouched));
    EXPECT_TRUE(Raises(
        [&] { ZlibDecompressBuffer(packed.data(), static_cast<int32_t>(packed.size()), nullptr, 1000); },
        Error<EDecompressionError>(kZlibErrorText)));
}

TEST(ZlibDecompressBuffer, StreamNeedingAPresetDictionaryRaisesTheLongText) {
    const Bytes dictionary = {'m', 'e', 's', 'h', 'e', 's', '\\'};
    const Bytes packed = Deflate(fixture::CompressibleBytes(1000, 10), 15, dictionary);
    Bytes destination(1000);
    EXPECT_TRUE(Raises([&] { Inflate(packed, destination, destination.size()); },
                       Error<EZlibError>(kZlibBufferTooSmallText)));
}

// Inflating piece by piece gives what one call gives: the same bytes (zeros where a stream ends early), and
// the same error for every damaged, truncated, over-long or unusual stream, with awkward reads of the source.
TEST(ZlibInflateStream, MatchesTheOneCallInflationOnEveryInput) {
    const Bytes small = fixture::CompressibleBytes(3000, 11);
    const Bytes large = fixture::CompressibleBytes(3 * size_t{kZlibPieceBytes} + 12345, 12);
    const Bytes packedSmall = fixture::ZlibCompress(small);
    const Bytes packedLarge = fixture::ZlibCompress(large);
    const Bytes empty = fixture::ZlibCompress(Bytes{});
    struct Case {
        std::string label;
        Bytes source;
        size_t destinationLength;
    };
    std::vector<Case> cases = {
        {"exact", packedSmall, small.size()},
        {"exact, several pieces", packedLarge, large.size()},
        {"room to spare, filled with zeros", packedSmall, small.size() + 70000},
        {"room to spare after several pieces", packedLarge, large.size() + kZlibPieceBytes + 5},
        {"one byte too little", packedSmall, small.size() - 1},
        {"a piece too little", packedLarge, large.size() - kZlibPieceBytes},
        {"nothing to inflate into", packedSmall, 0},
        {"an empty stream into room", empty, 10},
        {"no source", {}, 10},
        {"no source into nothing", {}, 0},
        {"junk after the stream", WithJunk(packedSmall), small.size()},
        {"raw deflate data", Deflate(small, -15), small.size()},
        {"gzip data", Deflate(small, 31), small.size()},
        {"a preset dictionary", Deflate(small, 15, Bytes{'a', 'b'}), small.size()},
    };
    for (size_t cut : {size_t{1}, size_t{2}, size_t{6}, packedSmall.size() / 2, packedSmall.size() - 4,
                       packedSmall.size() - 1}) {
        cases.push_back({"cut to " + std::to_string(cut),
                         Bytes(packedSmall.begin(), packedSmall.begin() + cut), small.size()});
    }
    cases.push_back({"large cut in its middle",
                     Bytes(packedLarge.begin(), packedLarge.begin() + packedLarge.size() / 2), large.size()});
    Bytes damaged = packedSmall;
    damaged[damaged.size() / 2] ^= 0x5A;
    cases.push_back({"a damaged byte", damaged, small.size()});
    Bytes damagedCheck = packedSmall;
    damagedCheck.back() ^= 1;
    cases.push_back({"a damaged checksum", damagedCheck, small.size()});

    for (const Case& c : cases) {
        for (int32_t readLimit : {INT32_MAX, 7}) {
            SCOPED_TRACE(c.label + ", reads of at most " + std::to_string(readLimit));
            const Outcome whole = OutcomeOf([&] {
                Bytes destination(c.destinationLength, 0);
                Inflate(c.source, destination, c.destinationLength);
                return destination;
            });
            const Outcome pieces = OutcomeOf([&] {
                fixture::TByteSource source(c.source, readLimit);
                fixture::TByteSink destination;
                ZlibInflateStream(source, destination, static_cast<int64_t>(c.destinationLength));
                return destination.written;
            });
            EXPECT_EQ(pieces, whole);
        }
    }
}

} // namespace
