// An entry's bytes as text or as a hex view: which bytes read as text and in which encoding, and the hex
// view's rows, its gap between the two halves, its ASCII column and where it stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/ustring.h"
#include "extract/entry_text.h"
#include "fixtures/file_tree.h"

namespace {

using fixture::TextBytes;

TEST(DecodeAsText, ByteOrderMarkThenUtf8ThenWindows1252AndNoControls) {
    const struct {
        const char* what;
        std::string bytes;
        bool text;
        std::u16string decoded;
    } cases[] = {
        {"nothing", "", true, u""},
        {"ascii with tab, line feed, form feed, carriage return", "a\tb\nc\fd\r\n", true, u"a\tb\nc\fd\r\n"},
        {"utf-8", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", true, u"caf\u00e9 \u20ac \U0001F600"},
        {"utf-8 after a byte order mark",
         "\xEF\xBB\xBF"
         "caf\xC3\xA9\xEF\xBB\xBF",
         true, u"caf\u00e9\ufeff"},
        {"windows-1252 when not utf-8", "caf\xE9", true, u"caf\u00e9"},
        {"windows-1252 quotes and euro", "\x93x\x94 \x80", true, u"\u201cx\u201d \u20ac"},
        // An encoded surrogate is no UTF-8: its bytes are read as Windows-1252.
        {"encoded surrogate", "\xED\xA0\x80", true, u"\u00ed\u00a0\u20ac"},
        {"utf-8 cut short at the end", "caf\xC3", true, u"caf\u00c3"},
        {"a control character", "a\x01z", false, u""},
        {"nul", std::string("a\0z", 3), false, u""},
        {"delete", "a\x7Fz", false, u""},
        {"escape", "\x1B[0m", false, u""},
        {"undefined in windows-1252: 81", "\x81", false, u""},
        {"undefined in windows-1252: 8D 8F 90 9D", "x\x8D\x8F\x90\x9D", false, u""},
        // A byte order mark names the encoding.
        {"utf-8 byte order mark before bytes that are not utf-8",
         "\xEF\xBB\xBF"
         "caf\xE9",
         true, u"caf\ufffd"},
        {"utf-8 byte order mark before a control character",
         "\xEF\xBB\xBF"
         "a\x01",
         false, u""},
        {"utf-16le, as the game's translations", std::string("\xFF\xFE$\0K\0\t\0\xE9\0\xAC\x20\r\0\n\0", 16),
         true, u"$K\t\u00e9\u20ac\r\n"},
        {"utf-16be", std::string("\xFE\xFF\0c\0\xE9\x20\xAC", 8), true, u"c\u00e9\u20ac"},
        {"utf-16le surrogate pair", std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), true, u"\U0001F600"},
        {"utf-16le byte order mark alone", "\xFF\xFE", true, u""},
        {"utf-16le of an odd length",
         std::string("\xFF\xFE"
                     "a\0b",
                     5),
         false, u""},
        {"utf-16le unpaired high surrogate",
         std::string("\xFF\xFE\x3D\xD8"
                     "a\0",
                     6),
         false, u""},
        {"utf-16le high surrogate at the end",
         std::string("\xFF\xFE"
                     "a\0\x3D\xD8",
                     6),
         false, u""},
        {"utf-16le lone low surrogate", std::string("\xFF\xFE\x00\xDE", 4), false, u""},
        {"utf-16le nul",
         std::string("\xFF\xFE"
                     "a\0\0\0",
                     6),
         false, u""},
        {"utf-16le control character", std::string("\xFF\xFE\x1B\0", 4), false, u""},
        {"utf-16be control character", std::string("\xFE\xFF\0\x7F", 4), false, u""},
    };
    for (const auto& c : cases) {
        std::u16string text = u"before";
        EXPECT_EQ(DecodeAsText(TextBytes(c.bytes), text), c.text) << c.what;
        EXPECT_EQ(text, c.text ? c.decoded : u"before") << c.what;
    }
}

TEST(HexView, RowsOfSixteenWithTheirAsciiColumn) {
    EXPECT_EQ(HexView({}), u"");
    std::vector<uint8_t> bytes = TextBytes("0123456789abcdef");
    for (const uint8_t b : {0x00, 0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xFF}) {
        bytes.push_back(b);
    }
    EXPECT_EQ(HexView(bytes),
              u"00000000  30 31 32 33 34 35 36 37  38 39 61 62 63 64 65 66  0123456789abcdef\n"
              u"00000010  00 1f 20 7e 7f 80 ff                              .. ~...\n");
}

TEST(HexView, StopsAfterItsFirstBytesAndSaysSo) {
    for (const size_t size : {kHexViewBytes - 1, kHexViewBytes, kHexViewBytes + 1, size_t{3} << 20}) {
        const std::vector<uint8_t> bytes(size, 0x41);
        const std::u16string view = HexView(bytes);
        const size_t rows = (std::min(size, kHexViewBytes) + 15) / 16;
        const std::u16string lastRow = u"0000fff0  ";
        EXPECT_NE(view.find(lastRow), std::u16string::npos) << size;
        if (size > kHexViewBytes) {
            const std::u16string end = u"\u2026 the first 65536 of " + UIntToStr(size) + u" bytes\n";
            EXPECT_EQ(std::count(view.begin(), view.end(), u'\n'), ptrdiff_t(rows + 1)) << size;
            EXPECT_TRUE(view.ends_with(end)) << size;
        } else {
            EXPECT_EQ(std::count(view.begin(), view.end(), u'\n'), ptrdiff_t(rows)) << size;
            EXPECT_EQ(view.find(u"\u2026"), std::u16string::npos) << size;
        }
    }
}

} // namespace
