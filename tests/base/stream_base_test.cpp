#include <gtest/gtest.h>

#include <cstring>

#include "base/exceptions.h"
#include "base/memory_stream.h"

namespace {
// A memory stream over a fixed block that counts its Read calls and refuses writes.
class CountingStream : public TCustomMemoryStream {
public:
    CountingStream(void* memory, int32_t size) { SetPointer(memory, size); }
    int32_t Read(void* buffer, int32_t count) override {
        ++reads;
        return TCustomMemoryStream::Read(buffer, count);
    }
    int32_t Write(const void*, int32_t) override { return 0; }
    int reads = 0;
};
} // namespace

TEST(TStream, ExactTransfersRaiseOnShortCounts) {
    char block[4] = {1, 2, 3, 4};
    CountingStream stream(block, 4);
    char out[8] = {};
    stream.ReadBuffer(out, 0);
    EXPECT_EQ(stream.reads, 0); // a count of 0 does nothing
    stream.ReadBuffer(out, 3);
    try {
        stream.ReadBuffer(out, 2);
        FAIL() << "short read accepted";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), u"Erreur de lecture du flux");
    }
    try {
        stream.WriteBuffer(out, 1);
        FAIL() << "short write accepted";
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.Message(), u"Erreur d'\u00e9criture dans le flux");
    }
}

TEST(TStream, SixtyFourBitFormsRefuseValuesOutsideThirtyTwoBits) {
    char block[4] = {};
    CountingStream stream(block, 4);
    EXPECT_THROW(stream.Seek(int64_t{1} << 32, TSeekOrigin::soBeginning), ERangeError);
    EXPECT_THROW(stream.SetSize(int64_t{-1} << 40), ERangeError);
    try {
        stream.SetPosition(int64_t{3} << 31);
    } catch (const ERangeError& e) {
        EXPECT_EQ(e.Message(), u"Erreur de v\u00e9rification d'\u00e9tendue");
    }
    stream.SetSize(int64_t{100}); // in range: the base's SetSize does nothing
    EXPECT_EQ(stream.Size(), 4);
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
    try {
        RaiseAssertionFailed(u"utils_Streams", 685);
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Message(), u"Echec de l'assertion (utils_Streams, ligne 685)");
        EXPECT_STREQ(e.what(), "Echec de l'assertion (utils_Streams, ligne 685)");
    }
}
