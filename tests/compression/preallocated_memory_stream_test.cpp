// The stream over a caller's memory block, and the TStream / TCustomMemoryStream behaviour it builds on.
#include "compression/preallocated_memory_stream.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "base/exceptions.h"

namespace {

constexpr uint8_t kGuard = 0xEE;

// A block of `size` bytes with guard bytes on both sides, so that a stray copy shows without a sanitizer.
struct GuardedBlock {
    static constexpr size_t kGuardBytes = 8;
    explicit GuardedBlock(size_t size) : bytes(size + 2 * kGuardBytes, kGuard), size(size) {}
    uint8_t* Data() { return bytes.data() + kGuardBytes; }
    bool GuardsIntact() const {
        for (size_t i = 0; i < kGuardBytes; ++i) {
            if (bytes[i] != kGuard || bytes[bytes.size() - 1 - i] != kGuard) {
                return false;
            }
        }
        return true;
    }
    std::vector<uint8_t> bytes;
    size_t size;
};

TEST(PreallocatedMemoryStream, WritesFillTheBlockAndStopAtItsEnd) {
    GuardedBlock block(10);
    const std::array<uint8_t, 4> chunks[] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}};
    {
        TPreallocatedMemoryStream stream(block.Data(), 10);
        EXPECT_EQ(stream.Write(chunks[0].data(), 4), 4);
        EXPECT_EQ(stream.Write(chunks[1].data(), 4), 4);
        EXPECT_EQ(stream.Write(chunks[2].data(), 4), 2);
        EXPECT_EQ(stream.Write(chunks[3].data(), 4), 0);
        EXPECT_EQ(stream.Position(), 10);
    }
    // The stream is gone; the block keeps exactly what was written and nothing lands beside it.
    EXPECT_EQ(std::vector<uint8_t>(block.Data(), block.Data() + 10),
              (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_TRUE(block.GuardsIntact());
}

TEST(PreallocatedMemoryStream, ReadsStopAtTheEndOfTheBlock) {
    uint8_t block[6] = {1, 2, 3, 4, 5, 6};
    TPreallocatedMemoryStream stream(block, 6);
    uint8_t buffer[10] = {};
    EXPECT_EQ(stream.Read(buffer, 10), 6);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 6), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(stream.Read(buffer, 10), 0);
    EXPECT_EQ(stream.Position(), 6);
}

TEST(PreallocatedMemoryStream, PositionsOutsideTheBlockMoveNoBytes) {
    // Seeking is never bounded; reads and writes judge the position. A position before the block must not
    // let a write land in front of it.
    struct Case {
        int64_t position;
    };
    for (const Case c :
         {Case{100}, Case{10}, Case{-1}, Case{-5}, Case{std::numeric_limits<int32_t>::min()}}) {
        SCOPED_TRACE(c.position);
        GuardedBlock block(10);
        TPreallocatedMemoryStream stream(block.Data(), 10);
        EXPECT_EQ(stream.Seek(c.position, TSeekOrigin::soBeginning), c.position);
        uint8_t bytes[4] = {1, 2, 3, 4};
        EXPECT_EQ(stream.Write(bytes, 4), 0);
        EXPECT_EQ(stream.Read(bytes, 4), 0);
        EXPECT_EQ(stream.Position(), c.position);
        EXPECT_EQ(std::vector<uint8_t>(block.bytes.begin(), block.bytes.end()),
                  std::vector<uint8_t>(block.bytes.size(), kGuard));
    }
}

TEST(PreallocatedMemoryStream, CountsOfZeroOrLessMoveNothing) {
    for (const int32_t count : {0, -1, std::numeric_limits<int32_t>::min()}) {
        SCOPED_TRACE(count);
        GuardedBlock block(10);
        TPreallocatedMemoryStream stream(block.Data(), 10);
        stream.Seek(int64_t{3}, TSeekOrigin::soBeginning);
        uint8_t bytes[4] = {1, 2, 3, 4};
        EXPECT_EQ(stream.Write(bytes, count), 0);
        EXPECT_EQ(stream.Read(bytes, count), 0);
        EXPECT_EQ(stream.Position(), 3);
        EXPECT_EQ(block.Data()[3], kGuard);
    }
}

TEST(PreallocatedMemoryStream, SizeIsFixedAtCreation) {
    uint8_t block[6] = {};
    TPreallocatedMemoryStream stream(block, 6);
    stream.Seek(int64_t{2}, TSeekOrigin::soBeginning);
    EXPECT_EQ(stream.Size(), 6);
    EXPECT_EQ(stream.Position(), 2); // measuring the size puts the position back
    stream.SetSize(int32_t{100});
    stream.SetSize(int64_t{0});
    EXPECT_EQ(stream.Size(), 6);
    try {
        stream.SetSize(int64_t{1} << 31);
        FAIL() << "expected ERangeError";
    } catch (const ERangeError& e) {
        EXPECT_EQ(e.Message(), kRangeErrorText);
    }
    EXPECT_EQ(stream.Size(), 6);
}

TEST(PreallocatedMemoryStream, OnlyTheLow32BitsOfTheCreationSizeCount) {
    uint8_t block[6] = {1, 2, 3, 4, 5, 6};
    TPreallocatedMemoryStream stream(block, (int64_t{1} << 32) + 6);
    EXPECT_EQ(stream.Size(), 6);
    uint8_t buffer[10];
    EXPECT_EQ(stream.Read(buffer, 10), 6);
}

// ---- The TStream and TCustomMemoryStream behaviour the stream inherits ----

TEST(MemoryStreamBase, SeeksByEachOriginWithoutBounds) {
    uint8_t block[10] = {};
    TPreallocatedMemoryStream stream(block, 10);
    EXPECT_EQ(stream.Seek(int32_t{4}, uint16_t{0}), 4);
    EXPECT_EQ(stream.Seek(int32_t{-6}, uint16_t{1}), -2);
    EXPECT_EQ(stream.Seek(int32_t{-3}, uint16_t{2}), 7);
    EXPECT_EQ(stream.Seek(int32_t{5}, uint16_t{7}), 7); // unknown origin: position kept
    EXPECT_EQ(stream.Seek(int64_t{20}, TSeekOrigin::soEnd), 30);
    stream.SetPosition(1);
    EXPECT_EQ(stream.Position(), 1);
}

TEST(MemoryStreamBase, SeekOffsetsBeyond32BitsRaiseRangeError) {
    uint8_t block[10] = {};
    TPreallocatedMemoryStream stream(block, 10);
    stream.Seek(int64_t{3}, TSeekOrigin::soBeginning);
    for (const int64_t offset :
         {int64_t{1} << 31, -(int64_t{1} << 31) - 1, std::numeric_limits<int64_t>::max()}) {
        SCOPED_TRACE(offset);
        try {
            stream.Seek(offset, TSeekOrigin::soCurrent);
            FAIL() << "expected ERangeError";
        } catch (const ERangeError& e) {
            EXPECT_EQ(e.Message(), kRangeErrorText);
        }
        EXPECT_EQ(stream.Position(), 3);
    }
    // The extremes of the 32-bit range are accepted.
    EXPECT_EQ(stream.Seek(int64_t{std::numeric_limits<int32_t>::max()}, TSeekOrigin::soBeginning),
              std::numeric_limits<int32_t>::max());
    EXPECT_EQ(stream.Seek(int64_t{std::numeric_limits<int32_t>::min()}, TSeekOrigin::soBeginning),
              std::numeric_limits<int32_t>::min());
}

TEST(MemoryStreamBase, ExactTransfersRaiseWhenBytesFallShort) {
    uint8_t block[6] = {1, 2, 3, 4, 5, 6};
    TPreallocatedMemoryStream stream(block, 6);
    uint8_t buffer[8] = {};
    stream.ReadBuffer(buffer, 4);
    EXPECT_EQ(buffer[3], 4);
    try {
        stream.ReadBuffer(buffer, 4);
        FAIL() << "expected EReadError";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), kReadErrorText);
    }

    stream.SetPosition(0);
    stream.WriteBuffer(buffer, 4);
    try {
        stream.WriteBuffer(buffer, 4);
        FAIL() << "expected EWriteError";
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.Message(), kWriteErrorText);
    }

    // A count of 0 asks for nothing, even where nothing could move.
    stream.SetPosition(100);
    EXPECT_NO_THROW(stream.ReadBuffer(buffer, 0));
    EXPECT_NO_THROW(stream.WriteBuffer(buffer, 0));
}

} // namespace
