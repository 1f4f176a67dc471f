#include <gtest/gtest.h>

#include "base/ustring.h"

TEST(Utf8, RoundTripsEveryPlane) {
    const std::u16string text = u"ascii caf\u00e9 \u20ac \U0001F600 end";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(ToUtf8(u"caf\u00e9"), "caf\xC3\xA9");
}

TEST(Utf8, BrokenInputBecomesReplacementCharacters) {
    EXPECT_EQ(FromUtf8("a\xC3"), u"a\uFFFD");                   // cut short
    EXPECT_EQ(FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");           // overlong slash
    EXPECT_EQ(FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD"); // encoded surrogate
    EXPECT_EQ(FromUtf8("\xF5\x80\x80"), u"\uFFFD\uFFFD\uFFFD"); // no code point has this lead byte
    EXPECT_EQ(FromUtf8("\xFF\x80"), u"\uFFFD\uFFFD");
    EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

// ASCII goes several units at a time: whatever lies next to it, at any offset, must come out the same.
TEST(Utf8, NonAsciiAtEveryOffsetOfAnAsciiRun) {
    const std::u16string ascii = u"meshes\\actors";
    const std::string asciiBytes = "meshes\\actors";
    for (const auto& [unit, bytes] : {std::pair<std::u16string, std::string>{u"\u00e9", "\xC3\xA9"},
                                      {u"\u20ac", "\xE2\x82\xAC"},
                                      {u"\U0001F600", "\xF0\x9F\x98\x80"},
                                      {std::u16string(1, char16_t(0xDC00)), "\xEF\xBF\xBD"}}) {
        for (size_t at = 0; at <= ascii.size(); ++at) {
            const std::u16string text = ascii.substr(0, at) + unit + ascii.substr(at);
            EXPECT_EQ(ToUtf8(text), asciiBytes.substr(0, at) + bytes + asciiBytes.substr(at)) << at;
            std::string appended = "x";
            AppendUtf8(appended, text);
            EXPECT_EQ(appended, "x" + ToUtf8(text));
        }
    }
}
