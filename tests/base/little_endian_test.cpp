// The byte order of every integer in the files the program reads and the fixtures it is tested with. The
// fixture writer uses these helpers too, so a wrong order would pass every round trip: the expected values
// here are written out by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/little_endian.h"

namespace {

TEST(LittleEndian, LowestByteComesFirst) {
    const uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0xF8};
    EXPECT_EQ(LoadLE16(bytes), 0x0201u);
    EXPECT_EQ(LoadLE32(bytes), 0x04030201u);
    EXPECT_EQ(LoadLE64(bytes), 0xF807060504030201u);
    EXPECT_EQ(LoadLE32(bytes + 4), 0xF8070605u); // the top byte's high bit stays unsigned
    EXPECT_EQ(FourCc("DXT1"), 0x31545844u);
    EXPECT_EQ(FourCc("BSA\0"), 0x00415342u);

    uint8_t stored[4] = {};
    StoreLE32(stored, 0xA1B2C3D4);
    EXPECT_EQ(std::vector<uint8_t>(stored, stored + 4), (std::vector<uint8_t>{0xD4, 0xC3, 0xB2, 0xA1}));
    std::vector<uint8_t> appended{0xEE};
    AppendLE32(appended, 0x11223344);
    AppendLE64(appended, 0x8877665544332211);
    EXPECT_EQ(appended, (std::vector<uint8_t>{0xEE, 0x44, 0x33, 0x22, 0x11, 0x11, 0x22, 0x33, 0x44, 0x55,
                                              0x66, 0x77, 0x88}));
}

} // namespace
