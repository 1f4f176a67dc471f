// The one UTF-8 decoder under each of its callers' rules: text (U+FFFD for stray bytes), Linux paths (stray
// bytes kept as U+DC80..U+DCFF) and Windows paths (surrogates in three bytes of their own accepted), and
// whether the bytes are UTF-8 proper.
#include <gtest/gtest.h>

#include <string>

#include "base/utf8.h"

namespace {

constexpr char16_t R = 0xFFFD;

struct DecoderCase {
    const char* what;
    std::string bytes;
    std::u16string text;      // kUtf8Text
    std::u16string linuxPath; // kUtf8LinuxPath
    std::u16string windows;   // kUtf8WindowsPath
    bool valid;
};

const DecoderCase kCases[] = {
    // Valid sequences of every length, at the edges of their ranges.
    {"empty", "", u"", u"", u"", true},
    {"ascii", "a\\b\x7F", u"a\\b\x7F", u"a\\b\x7F", u"a\\b\x7F", true},
    {"nul", std::string("a\0b", 3), std::u16string(u"a\0b", 3), std::u16string(u"a\0b", 3),
     std::u16string(u"a\0b", 3), true},
    {"two bytes, least and most", "\xC2\x80\xDF\xBF", u"\u0080\u07FF", u"\u0080\u07FF", u"\u0080\u07FF",
     true},
    {"three bytes, least and most", "\xE0\xA0\x80\xEF\xBF\xBF", u"\u0800\uFFFF", u"\u0800\uFFFF",
     u"\u0800\uFFFF", true},
    {"three bytes around the surrogates", "\xED\x9F\xBF\xEE\x80\x80", u"\uD7FF\uE000", u"\uD7FF\uE000",
     u"\uD7FF\uE000", true},
    {"four bytes, least and most", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", u"\U00010000\U0010FFFF",
     u"\U00010000\U0010FFFF", u"\U00010000\U0010FFFF", true},
    {"mixed", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", u"caf\u00e9 \u20ac \U0001F600",
     u"caf\u00e9 \u20ac \U0001F600", u"caf\u00e9 \u20ac \U0001F600", true},

    // Overlong forms: each byte stray.
    {"overlong two bytes (C0, C1)",
     "\xC0\xAF\xC1\xBF",
     {R, R, R, R},
     {0xDCC0, 0xDCAF, 0xDCC1, 0xDCBF},
     {R, R, R, R},
     false},
    {"overlong three bytes", "\xE0\x9F\xBF", {R, R, R}, {0xDCE0, 0xDC9F, 0xDCBF}, {R, R, R}, false},
    {"overlong four bytes",
     "\xF0\x8F\xBF\xBF",
     {R, R, R, R},
     {0xDCF0, 0xDC8F, 0xDCBF, 0xDCBF},
     {R, R, R, R},
     false},

    // Surrogate code points: stray bytes but on Windows, where they stand alone (a lead and a trail in a row
    // make a pair).
    {"lead surrogate", "\xED\xA0\x80", {R, R, R}, {0xDCED, 0xDCA0, 0xDC80}, {0xD800}, false},
    {"trail surrogate",
     "a\xED\xBF\xBFz",
     {u'a', R, R, R, u'z'},
     {u'a', 0xDCED, 0xDCBF, 0xDCBF, u'z'},
     {u'a', 0xDFFF, u'z'},
     false},
    {"surrogates in a row",
     "\xED\xA0\x80\xED\xB0\x80",
     {R, R, R, R, R, R},
     {0xDCED, 0xDCA0, 0xDC80, 0xDCED, 0xDCB0, 0xDC80},
     {0xD800, 0xDC00},
     false},

    // Past U+10FFFF: by the second byte after F4, by the lead byte from F5 on.
    {"F4 90", "\xF4\x90\x80\x80", {R, R, R, R}, {0xDCF4, 0xDC90, 0xDC80, 0xDC80}, {R, R, R, R}, false},
    {"F5 to FF lead nothing", "\xF5\x80\xFF", {R, R, R}, {0xDCF5, 0xDC80, 0xDCFF}, {R, R, R}, false},

    // Truncated sequences, at the end and before another character.
    {"two bytes cut at the end", "a\xC3", {u'a', R}, {u'a', 0xDCC3}, {u'a', R}, false},
    {"three bytes cut at the end", "\xE2\x82", {R, R}, {0xDCE2, 0xDC82}, {R, R}, false},
    {"four bytes cut at the end", "\xF0\x9F\x98", {R, R, R}, {0xDCF0, 0xDC9F, 0xDC98}, {R, R, R}, false},
    {"cut short by ascii", "\xE2\x82x", {R, R, u'x'}, {0xDCE2, 0xDC82, u'x'}, {R, R, u'x'}, false},
    {"cut short by another lead", "\xE2\xC3\xA9", {R, u'\u00e9'}, {0xDCE2, u'\u00e9'}, {R, u'\u00e9'}, false},

    // Continuation bytes with nothing to continue.
    {"stray continuation bytes", "\x80\xBF", {R, R}, {0xDC80, 0xDCBF}, {R, R}, false},
    {"one continuation too many", "\xC3\xA9\xA9", {u'\u00e9', R}, {u'\u00e9', 0xDCA9}, {u'\u00e9', R}, false},
    {"latin-1 text",
     "caf\xE9",
     {u'c', u'a', u'f', R},
     {u'c', u'a', u'f', 0xDCE9},
     {u'c', u'a', u'f', R},
     false},
};

TEST(Utf8Decoder, EachRuleOverTheTable) {
    for (const DecoderCase& c : kCases) {
        EXPECT_EQ(DecodeUtf8(c.bytes, kUtf8Text), c.text) << c.what;
        EXPECT_EQ(DecodeUtf8(c.bytes, kUtf8LinuxPath), c.linuxPath) << c.what;
        EXPECT_EQ(DecodeUtf8(c.bytes, kUtf8WindowsPath), c.windows) << c.what;
        EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << c.what;
    }
}

// ASCII is passed over eight bytes at a time: a sequence or a stray byte at any offset of a long ASCII run,
// and a cut sequence at its very end, come out as they do alone.
TEST(Utf8Decoder, AnyOffsetInALongAsciiRun) {
    const std::string ascii = "textures\\armor\\glass\\";
    for (const DecoderCase& c : kCases) {
        for (size_t at = 0; at <= ascii.size(); ++at) {
            const std::string bytes = ascii.substr(0, at) + c.bytes + ascii.substr(at);
            const std::u16string before(ascii.begin(), ascii.begin() + static_cast<std::ptrdiff_t>(at));
            const std::u16string after(ascii.begin() + static_cast<std::ptrdiff_t>(at), ascii.end());
            // A sequence cut short at the end of its case is read on into the ASCII after it, which stops it
            // all the same.
            EXPECT_EQ(DecodeUtf8(bytes, kUtf8LinuxPath), before + c.linuxPath + after)
                << c.what << " at " << at;
            EXPECT_EQ(IsValidUtf8(bytes), c.valid) << c.what << " at " << at;
        }
    }
}

TEST(Utf8Decoder, OneSequenceAtATime) {
    const struct {
        std::string bytes;
        Utf8Surrogates surrogates;
        char32_t codePoint;
        size_t length;
    } cases[] = {
        {"", Utf8Surrogates::Refused, 0, 0},
        {"A\xC3\xA9", Utf8Surrogates::Refused, U'A', 1},
        {"\xC3\xA9z", Utf8Surrogates::Refused, U'\u00e9', 2},
        {"\xF0\x9F\x98\x80", Utf8Surrogates::Refused, U'\U0001F600', 4},
        {"\xED\xA0\x80", Utf8Surrogates::Refused, 0, 0},
        {"\xED\xA0\x80", Utf8Surrogates::Accepted, 0xD800, 3},
        // Accepting surrogates loosens nothing else.
        {"\xE0\x9F\xBF", Utf8Surrogates::Accepted, 0, 0},
        {"\xF4\x90\x80\x80", Utf8Surrogates::Accepted, 0, 0},
        {"\xED\xA0", Utf8Surrogates::Accepted, 0, 0},
    };
    for (const auto& c : cases) {
        const Utf8Sequence sequence = DecodeUtf8Sequence(c.bytes, c.surrogates);
        EXPECT_EQ(sequence.length, c.length) << c.bytes;
        if (c.length != 0) {
            EXPECT_EQ(sequence.codePoint, c.codePoint) << c.bytes;
        }
    }
}

} // namespace
