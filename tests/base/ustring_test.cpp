#include <gtest/gtest.h>

#include "base/ustring.h"

TEST(Utf8, RoundTripsEveryPlane) {
    const std::u16string text = u"ascii caf\u00e9 \u20ac \U0001F600 end";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(ToUtf8(u"caf\u00e9"), "caf\xC3\xA9");
}

TEST(Utf8, BrokenInputBecomesReplacementCharacters) {
    EXPECT_EQ(FromUtf8("a\xC3"), u"a\uFFFD");         // cut short
    EXPECT_EQ(FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD"); // overlong slash
    EXPECT_EQ(FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD"); // encoded surrogate
    EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}
