#include <gtest/gtest.h>

#include "base/ustring.h"
#include "cli/terminal_text.h"

TEST(TerminalText, EscapesEveryControlCharacterAndRawByte) {
    const struct {
        std::u16string text;
        std::string shown;
    } cases[] = {
        {u"plain caf\u00e9\\x.dds", "plain caf\xC3\xA9\\x.dds"}, // "\" is the entry separator: left alone
        {u"a\tb\nc\rd", "a\\tb\\nc\\rd"},
        {std::u16string(u"\0\x01\x1b\x1f\x7f", 5), "\\000\\001\\033\\037\\177"},
        {u"\u0085\u009b[2J", "\\u0085\\u009b[2J"}, // C1 controls, CSI among them
        {std::u16string{u'x', char16_t(0xDCF5), char16_t(0xDC80)},
         "x\\xf5\\x80"},                                                          // bytes of a non-UTF-8 path
        {std::u16string{char16_t(0xD800), char16_t(0xDC80)}, "\xF0\x90\x82\x80"}, // a pair is a character
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TerminalText(c.text), c.shown);
        // The listing copies names that need no escape as they are: none may be missed.
        if (c.shown != ToUtf8(c.text)) {
            EXPECT_TRUE(NeedsTerminalEscape(c.text)) << c.shown;
        }
    }
}
