// TStream and TCustomMemoryStream, the behaviour every stream of the program builds on: exact transfers, the
// 32-bit range of the 64-bit forms, seeking and measuring; and the texts of the program's exceptions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>

#include "base/exceptions.h"
#include "base/memory_stream.h"
#include "tests/raises.h"

namespace {

using test_support::Error;
using test_support::Raises;

// A memory stream over a fixed block that counts its Read and Write calls; a write is cut at the end of the
// block.
class CountingStream : public TCustomMemoryStream {
public:
    CountingStream(void* memory, int32_t size) { SetPointer(memory, size); }
    int32_t Read(void* buffer, int32_t count) override {
        ++reads;
        return TCustomMemoryStream::Read(buffer, count);
    }
    int32_t Write(const void* buffer, int32_t count) override {
        ++writes;
        if (FPosition < 0 || FPosition >= FSize || count <= 0) {
            return 0;
        }
        const int32_t taken = std::min(count, FSize - FPosition);
        std::memcpy(static_cast<uint8_t*>(FMemory) + FPosition, buffer, static_cast<size_t>(taken));
        FPosition += taken;
        return taken;
    }
    int reads = 0;
    int writes = 0;
};

TEST(TStream, ExactTransfersRaiseWhenBytesFallShort) {
    uint8_t block[6] = {1, 2, 3, 4, 5, 6};
    CountingStream stream(block, 6);
    uint8_t out[8] = {};
    stream.ReadBuffer(out, 4);
    EXPECT_EQ(out[3], 4);
    EXPECT_TRUE(Raises([&] { stream.ReadBuffer(out, 4); }, Error<EReadError>(kReadErrorText))); // 2 remain
    EXPECT_TRUE(Raises([&] { stream.ReadBuffer(out, 1); }, Error<EReadError>(kReadErrorText))); // none remain

    stream.SetPosition(0);
    const uint8_t in[4] = {9, 9, 9, 9};
    stream.WriteBuffer(in, 4);
    EXPECT_EQ(block[3], 9);
    EXPECT_TRUE(Raises([&] { stream.WriteBuffer(in, 4); }, Error<EWriteError>(kWriteErrorText))); // 2 remain
    EXPECT_TRUE(
        Raises([&] { stream.WriteBuffer(in, 1); }, Error<EWriteError>(kWriteErrorText))); // none remain
    EXPECT_EQ(stream.reads, 3);
    EXPECT_EQ(stream.writes, 3); // one call per transfer
}

TEST(TStream, CountOfZeroAsksForNothing) {
    // Not even where nothing could move.
    uint8_t block[6] = {};
    CountingStream stream(block, 6);
    uint8_t buffer[4] = {};
    stream.SetPosition(100);
    stream.ReadBuffer(buffer, 0);
    stream.WriteBuffer(buffer, 0);
    EXPECT_EQ(stream.reads, 0);
    EXPECT_EQ(stream.writes, 0);
}

TEST(TStream, SixtyFourBitFormsRefuseValuesOutsideThirtyTwoBits) {
    struct Case {
        const char* label;
        std::function<void(TStream&)> call;
    };
    const int64_t kMax = std::numeric_limits<int64_t>::max();
    const Case cases[] = {
        {"seek to 2^32", [](TStream& s) { s.Seek(int64_t{1} << 32, TSeekOrigin::soBeginning); }},
        {"position 3 * 2^31", [](TStream& s) { s.SetPosition(int64_t{3} << 31); }},
        {"seek 2^31 on", [](TStream& s) { s.Seek(int64_t{1} << 31, TSeekOrigin::soCurrent); }},
        {"seek 2^31 + 1 back", [](TStream& s) { s.Seek(-(int64_t{1} << 31) - 1, TSeekOrigin::soCurrent); }},
        {"seek 2^63 - 1 on", [&](TStream& s) { s.Seek(kMax, TSeekOrigin::soCurrent); }},
        {"size -2^40", [](TStream& s) { s.SetSize(int64_t{-1} << 40); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        uint8_t block[6] = {};
        CountingStream stream(block, 6);
        stream.SetPosition(3);
        EXPECT_TRUE(Raises([&] { c.call(stream); }, Error<ERangeError>(kRangeErrorText)));
        EXPECT_EQ(stream.Position(), 3);
        EXPECT_EQ(stream.Size(), 6);
    }

    // The extremes of the 32-bit range are accepted.
    uint8_t block[6] = {};
    CountingStream stream(block, 6);
    EXPECT_EQ(stream.Seek(int64_t{std::numeric_limits<int32_t>::max()}, TSeekOrigin::soBeginning),
              std::numeric_limits<int32_t>::max());
    EXPECT_EQ(stream.Seek(int64_t{std::numeric_limits<int32_t>::min()}, TSeekOrigin::soBeginning),
              std::numeric_limits<int32_t>::min());
    stream.SetSize(int64_t{100}); // in range: the base's SetSize does nothing
    EXPECT_EQ(stream.Size(), 6);
}

TEST(TStream, SizeRestoresThePosition) {
    char block[10] = {};
    CountingStream stream(block, 10);
    stream.SetPosition(3);
    EXPECT_EQ(stream.Size(), 10);
    EXPECT_EQ(stream.Position(), 3);
    EXPECT_EQ(stream.Seek(-2, 2), 8);
    EXPECT_EQ(stream.Seek(0, 9), 8); // unknown origin leaves the position
}

TEST(TCustomMemoryStream, SeeksByEachOriginWithoutBounds) {
    uint8_t block[10] = {};
    CountingStream stream(block, 10);
    EXPECT_EQ(stream.Seek(int32_t{4}, uint16_t{0}), 4);
    EXPECT_EQ(stream.Seek(int32_t{-6}, uint16_t{1}), -2);
    EXPECT_EQ(stream.Seek(int32_t{-3}, uint16_t{2}), 7);
    EXPECT_EQ(stream.Seek(int32_t{5}, uint16_t{7}), 7); // unknown origin: position kept
    EXPECT_EQ(stream.Seek(int64_t{20}, TSeekOrigin::soEnd), 30);
    stream.SetPosition(1);
    EXPECT_EQ(stream.Position(), 1);
}

TEST(TCustomMemoryStream, ReadsOnlyInsideTheBlock) {
    char block[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
    CountingStream stream(block, 6);
    char out[10] = {};
    EXPECT_EQ(stream.Read(out, 10), 6);
    EXPECT_EQ(std::memcmp(out, "abcdef", 6), 0);
    EXPECT_EQ(stream.Read(out, 10), 0);
    stream.SetPosition(-1);
    EXPECT_EQ(stream.Read(out, 1), 0);
    stream.SetPosition(0);
    EXPECT_EQ(stream.Read(out, -3), 0);
    EXPECT_EQ(stream.Position(), 0);
}

TEST(Exception, AssertionTextNamesUnitAndLine) {
    EXPECT_TRUE(Raises([] { RaiseAssertionFailed(u"utils_Streams", 685); },
                       Error<EAssertionFailed>(u"Echec de l'assertion (utils_Streams, ligne 685)")));
}

TEST(Exception, WhatGivesTheMessageInUtf8) {
    EXPECT_STREQ(EAssertionFailed(u"Echec de l'assertion (utils_Streams, ligne 685)").what(),
                 "Echec de l'assertion (utils_Streams, ligne 685)");
    EXPECT_STREQ(EWriteError().what(), "Erreur d'\xC3\xA9\x63riture dans le flux");
}

} // namespace
