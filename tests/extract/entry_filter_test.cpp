#include <gtest/gtest.h>

#include "extract/entry_filter.h"

TEST(FilterEntries, TypedTextIsTrimmedAndLowerCasedEntriesAreNot) {
    const std::vector<std::u16string> entries = {u"textures\\armor\\Iron.dds", u"textures\\armor\\iron.dds",
                                                 u"meshes\\IRON.nif", u"sound\\fx\\\u00e9t\u00e9.wav"};
    EXPECT_EQ(FilterEntries(entries, u"  IRON\t"),
              (std::vector<std::u16string>{u"textures\\armor\\iron.dds"}));
    EXPECT_EQ(FilterEntries(entries, u"textures\\armor").size(), 2u);
    EXPECT_EQ(FilterEntries(entries, u"\u00c9T\u00c9"), (std::vector<std::u16string>{entries[3]}));
    EXPECT_EQ(FilterEntries(entries, u" \n "), entries);
}
