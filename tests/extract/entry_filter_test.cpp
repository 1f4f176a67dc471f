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
}

} // namespace
