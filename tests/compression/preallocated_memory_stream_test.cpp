// The stream over a caller's memory block (the TStream and TCustomMemoryStream behaviour it builds on has its
// own suite, in tests/base).
#include "compression/preallocated_memory_stream.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "base/exceptions.h"
#include "tests/raises.h"

namespace {

using test_support::Error;
using test_support::Raises;

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
    EXPECT_TRUE(Raises([&] { stream.SetSize(int64_t{1} << 31); }, Error<ERangeError>(kRangeErrorText)));
    EXPECT_EQ(stream.Size(), 6);
}

TEST(PreallocatedMemoryStream, OnlyTheLow32BitsOfTheCreationSizeCount) {
    uint8_t block[6] = {1, 2, 3, 4, 5, 6};
    TPreallocatedMemoryStream stream(block, (int64_t{1} << 32) + 6);
    EXPECT_EQ(stream.Size(), 6);
    uint8_t buffer[10];
    EXPECT_EQ(stream.Read(buffer, 10), 6);
}

} // namespace
