#include <gtest/gtest.h>

#include <string>

#include "base/ustring.h"
#include "platform/native_path.h"

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
