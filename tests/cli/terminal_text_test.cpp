#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/ustring.h"
#include "cli/terminal_text.h"
#include "platform/locale.h"

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

// The listing writes file names from the archive's bytes: every byte, alone or among others, must come out as
// the text of the name would.
TEST(TerminalText, ArchiveBytesComeOutAsTheirText) {
    std::string everyByte;
    for (int byte = 255; byte >= 0; --byte) {
        everyByte += static_cast<char>(byte);
    }
    std::vector<std::string> names = {"", "plain.dds", "caf\xE9 \x80\x81\x8D\x9F.txt", "a\tb\nc\x1b[2J\x7F",
                                      everyByte};
    for (int byte = 0; byte < 256; ++byte) {
        names.push_back(std::string(1, static_cast<char>(byte)) + "x");
    }
    const TAnsiTerminalText converter;
    for (const std::string& name : names) {
        std::string written(TAnsiTerminalText::kMaxBytesPerByte * name.size(), '\0');
        written.resize(converter.Write(name, written.data()));
        EXPECT_EQ(written, TerminalText(platform::AnsiToUnicode(name))) << name;
    }
}
