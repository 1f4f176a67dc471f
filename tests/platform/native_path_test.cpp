#include <gtest/gtest.h>

#include <string>

#include "base/ustring.h"
#include "platform/native_path.h"

#ifndef _WIN32
// Every byte string comes back as it was: a path from the system opens that file again.
TEST(NativePath, RoundTripsAnyBytes) {
    const std::string cases[] = {
        "/plain/ascii.bsa",
        "back\\slash.bsa",
        "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80.bsa", // valid UTF-8 of 2, 3 and 4 bytes
        "\xF5\x80\x80.bsa",                              // a lead byte that starts nothing
        "caf\xE9.bsa",                                   // Latin-1
        "cut\xE2\x82",                                   // a sequence cut short at the end
        "\xC0\xAF \xE0\x80\xAF \xF0\x80\x80\xAF",        // overlong forms
        "\xED\xA0\x80\xED\xB2\x80",                      // encoded surrogates
        "\xF4\x90\x80\x80",                              // above U+10FFFF
        std::string("\x80\xBF\xFE\xFF", 4),
    };
    for (const std::string& bytes : cases) {
        EXPECT_EQ(platform::NativePath(platform::PathFromNative(bytes)), bytes);
    }
}

TEST(NativePath, ValidUtf8IsReadAsTextAndOtherBytesAsRawUnits) {
    EXPECT_EQ(platform::PathFromNative("caf\xC3\xA9\\x"), u"caf\u00e9\\x");
    EXPECT_EQ(platform::PathFromNative("\xF5\x80\x80"), (std::u16string{0xDCF5, 0xDC80, 0xDC80}));
    // A raw unit right after a character stays a byte; a unit that completes a pair stays a character.
    EXPECT_EQ(platform::NativePath(std::u16string{u'\u00e9', 0xDCE9}), "\xC3\xA9\xE9");
    EXPECT_EQ(platform::NativePath(std::u16string{0xD800, 0xDC80}), "\xF0\x90\x82\x80");
    EXPECT_EQ(platform::NativePath(u"\U0001F600"), ToUtf8(u"\U0001F600"));
}
#else
// Windows gives paths in UTF-16: every sequence of units comes back as it was, unpaired surrogates included.
TEST(NativePath, RoundTripsAnyUtf16) {
    const std::u16string cases[] = {
        u"C:\\plain\\ascii.bsa",
        u"caf\u00e9 \u20ac \U0001F600.bsa",
        std::u16string{u'a', 0xD800, u'b'},     // a lead surrogate alone
        std::u16string{0xDC80, 0xDCE9},         // trail surrogates alone
        std::u16string{0xDBFF},                 // a lead surrogate at the end
        std::u16string{0xDC00, 0xD800},         // in the wrong order
        std::u16string{0xD800, 0xD800, 0xDC00}, // a lone lead before a pair
    };
    for (const std::u16string& path : cases) {
        EXPECT_EQ(platform::PathFromNative(platform::NativePath(path)), path);
    }
}

TEST(NativePath, Utf8IsReadAsTextAndOtherBytesAsReplacement) {
    EXPECT_EQ(platform::NativePath(u"caf\u00e9\\x"), "caf\xC3\xA9\\x");
    EXPECT_EQ(platform::PathFromNative("caf\xC3\xA9\\x"), u"caf\u00e9\\x");
    EXPECT_EQ(platform::NativePath(u"\U0001F600"), ToUtf8(u"\U0001F600"));
    EXPECT_EQ(platform::PathFromNative("caf\xE9"), u"caf\uFFFD");
}
#endif
