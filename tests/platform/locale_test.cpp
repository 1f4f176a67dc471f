#include <gtest/gtest.h>

#include "platform/locale.h"

using platform::CompareTextIgnoreCase;

TEST(AnsiToUnicode, MapsWindows1252) {
    EXPECT_EQ(platform::AnsiToUnicode("caf\xE9"), u"caf\u00e9");
    EXPECT_EQ(platform::AnsiToUnicode("\x80\x8A\x9F"), u"\u20ac\u0160\u0178");
    EXPECT_EQ(platform::AnsiToUnicode("\x81\x8D\x8F\x90\x9D"), u"\u0081\u008d\u008f\u0090\u009d");
    EXPECT_EQ(platform::AnsiToUnicode(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
}

// ASCII is widened eight bytes at a time: a byte of the upper half at any offset must still be mapped.
TEST(AnsiToUnicode, UpperHalfAtEveryOffset) {
    const std::string ascii = "textures\\armor\\iron";
    for (size_t at = 0; at <= ascii.size(); ++at) {
        for (const auto& [byte, unit] : {std::pair<char, char16_t>{'\x80', u'\u20ac'}, {'\xE9', u'\u00e9'}}) {
            const std::string bytes = ascii.substr(0, at) + byte + ascii.substr(at);
            const std::u16string expected =
                std::u16string(ascii.begin(), ascii.begin() + static_cast<std::ptrdiff_t>(at)) + unit +
                std::u16string(ascii.begin() + static_cast<std::ptrdiff_t>(at), ascii.end());
            EXPECT_EQ(platform::AnsiToUnicode(bytes), expected) << at;
        }
    }
}

TEST(LowerCase, AsciiStaysAsciiAndOtherLettersFold) {
    EXPECT_EQ(platform::LowerCase(u"Meshes\\Actors\\IRON.NIF"), u"meshes\\actors\\iron.nif");
    EXPECT_EQ(platform::LowerCase(u"I"), u"i"); // never a dotless i, whatever the user's language
    EXPECT_EQ(platform::LowerCase(u"\u00c9T\u00c9"), u"\u00e9t\u00e9");
}

struct CompareCase {
    const char16_t* a;
    const char16_t* b;
    int sign;
};

class CompareTextIgnoreCaseTest : public testing::TestWithParam<CompareCase> {};

TEST_P(CompareTextIgnoreCaseTest, OrdersByFoldedCodePoints) {
    const auto& c = GetParam();
    const int forward = CompareTextIgnoreCase(c.a, c.b);
    const int backward = CompareTextIgnoreCase(c.b, c.a);
    EXPECT_EQ(forward > 0 ? 1 : forward < 0 ? -1 : 0, c.sign);
    EXPECT_EQ(backward > 0 ? 1 : backward < 0 ? -1 : 0, -c.sign);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CompareTextIgnoreCaseTest,
    testing::Values(
        CompareCase{u"Body.NIF", u"body.nif", 0}, CompareCase{u"textures\\Armor", u"TEXTURES\\armor", 0},
        CompareCase{u"a", u"B", -1}, CompareCase{u"abc", u"ab", 1}, CompareCase{u"", u"a", -1},
        CompareCase{u"_x", u"a", -1}, CompareCase{u"Z", u"_", 1}, CompareCase{u"caf\u00c9", u"CAF\u00e9", 0},
        CompareCase{u"caf\u00e9", u"cafz", 1},
        // One-to-one folding: a letter never equals several.
        CompareCase{u"stra\u00dfe", u"STRASSE", 1}, CompareCase{u"ma\u00dfe", u"masse", 1},
        CompareCase{u"stra\u1e9ee", u"STRA\u00dfE", 0}, CompareCase{u"\u212a.dds", u"k.DDS", 0},
        CompareCase{u"\u03bf\u03c2", u"\u039f\u03a3", 0}, CompareCase{u"\u017fky.nif", u"SKY.nif", 0},
        CompareCase{u"x\\\u00e9cole.txt", u"x\\\u00c9COLE.txt", 0},
        // Beyond the basic plane, by code point: after U+FFFD.
        CompareCase{u"\U00010400.txt", u"\U00010428.TXT", 0}, CompareCase{u"\U00010400", u"\ufffd", 1},
        // Long shared prefixes, compared several units at a time first:
        CompareCase{u"meshes\\actors\\Draugr", u"MESHES\\ACTORS\\draugr", 0},
        CompareCase{u"meshes\\actors\\a", u"meshes\\actors\\B", -1},
        CompareCase{u"abcdefgh\u00e9", u"ABCDEFGH\u00c9", 0}, CompareCase{u"abcdefgh\u00e9", u"abcdefghz", 1},
        CompareCase{u"abcd\u00e9fgh", u"abcd\u00e9fgZ", -1}));
