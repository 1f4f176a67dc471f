#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "extract/entry_filter.h"
#include "tests/archive/archive_test_util.h"

namespace {

using archive_test::Entry;
using archive_test::TextBytes;

TEST(FilterEntries, TypedTextIsTrimmedAndLowerCasedEntriesAreNot) {
    fixture::ArchiveSpec recipe;
    recipe.folders = {
        {"textures\\armor", {Entry("Iron.dds", TextBytes("1")), Entry("iron2.dds", TextBytes("2"))}},
        {"meshes", {Entry("IRON.nif", TextBytes("3"))}},
        {"sound\\fx", {Entry("\xE9t\xE9.wav", TextBytes("4"))}}};
    const fixture::TempFolder temp;
    const archive_test::OpenedArchive opened = archive_test::OpenFixture(temp, recipe);
    const auto filtered = [&](const std::u16string& text) {
        std::vector<std::u16string> kept;
        for (const TEntryRef entry : FilterEntries(*opened.bsa, text)) {
            kept.push_back(opened.bsa->EntryString(entry));
        }
        return kept;
    };
    EXPECT_EQ(filtered(u"  IRON\t"), (std::vector<std::u16string>{u"textures\\armor\\iron2.dds"}));
    EXPECT_EQ(filtered(u"textures\\armor").size(), 2u);
    EXPECT_EQ(filtered(u"\u00c9T\u00c9"), (std::vector<std::u16string>{u"sound\\fx\\\u00e9t\u00e9.wav"}));
    EXPECT_EQ(filtered(u" \n "), archive_test::EntryStrings(*opened.bsa));
    // With "*" or "?" the text is a pattern for the whole entry string, normalised the same way.
    EXPECT_EQ(filtered(u"*.DDS"),
              (std::vector<std::u16string>{u"textures\\armor\\Iron.dds", u"textures\\armor\\iron2.dds"}));
    EXPECT_EQ(filtered(u"textures\\*iron?.dds"),
              (std::vector<std::u16string>{u"textures\\armor\\iron2.dds"}));
    EXPECT_TRUE(filtered(u"armor*").empty()) << "a pattern is anchored at the start";
}

TEST(MatchesWildcard, StarsAndQuestionMarks) {
    struct Case {
        std::u16string_view pattern, text;
        bool matches;
    };
    const Case cases[] = {
        {u"*", u"", true},
        {u"*", u"a\\b.dds", true},
        {u"?", u"", false},
        {u"?", u"\\", true},
        {u"*.dds", u"textures\\a.dds", true},
        {u"*.dds", u"textures\\a.dds.bak", false},
        {u"textures\\*iron*", u"textures\\armor\\iron\\x.dds", true},
        {u"textures\\*iron*", u"meshes\\iron.nif", false},
        {u"a*b*c", u"aXbYc", true},
        {u"a*b*c", u"aXcYb", false},
        {u"a*a*a*b", u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        {u"**x", u"x", true},
        {u"a?c", u"abc", true},
        {u"a?c", u"ac", false},
        {u"abc", u"abcd", false},
        {u"ABC", u"abc", false}, // compared as they are: the filter box lower-cases what is typed
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesWildcard(c.pattern, c.text), c.matches)
            << std::string(c.pattern.begin(), c.pattern.end()) << " / "
            << std::string(c.text.begin(), c.text.end());
    }
}

TEST(MatchesWildcard, WorkStaysBoundedOnPatternsMadeToBacktrack) {
    // 4,096 characters (the longest name an archive may hold) against many stars: each mismatch returns only
    // to the last star, so this ends at once instead of trying every split.
    const std::u16string text(4096, u'a');
    EXPECT_FALSE(MatchesWildcard(u"*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b", text));
    EXPECT_TRUE(MatchesWildcard(u"*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a", text));
}

} // namespace
