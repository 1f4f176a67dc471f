#include <gtest/gtest.h>

#include "base/string_list.h"

TEST(TStringList, UnsortedKeepsInsertionOrderAndDuplicates) {
    TStringList list;
    list.Add(u"b", 1);
    list.Add(u"a", 2);
    list.Add(u"b", 3);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Strings(0), u"b");
    EXPECT_EQ(list.Objects(2), 3);
    EXPECT_EQ(list.IndexOf(u"A"), 1);
}

TEST(TStringList, SortedOnceCaseInsensitiveAndFound) {
    TStringList list;
    for (const char16_t* name : {u"Zeta.dds", u"alpha.nif", u"Beta.hkx", u"\u00e9t\u00e9.txt", u"ALPHA.NIF"}) {
        list.Add(name, list.Count());
    }
    list.SetSorted(true);
    ASSERT_TRUE(list.Sorted());
    EXPECT_EQ(list.Strings(0), u"alpha.nif"); // equal names keep their order
    EXPECT_EQ(list.Strings(1), u"ALPHA.NIF");
    EXPECT_EQ(list.Strings(2), u"Beta.hkx");
    EXPECT_EQ(list.Strings(3), u"Zeta.dds");
    EXPECT_EQ(list.Strings(4), u"\u00e9t\u00e9.txt");

    int index = -1;
    EXPECT_TRUE(list.Find(u"aLpHa.NiF", index));
    EXPECT_EQ(index, 0);
    EXPECT_TRUE(list.Find(u"\u00c9T\u00c9.TXT", index));
    EXPECT_EQ(list.Objects(index), 3);
    EXPECT_FALSE(list.Find(u"gamma", index));
    EXPECT_EQ(index, 3); // where it would go: before Zeta
}

TEST(TStringList, AddToSortedListInsertsInPlace) {
    TStringList list;
    list.SetSorted(true);
    list.Add(u"c");
    list.Add(u"A");
    list.Add(u"b");
    EXPECT_EQ(list.Strings(0), u"A");
    EXPECT_EQ(list.Strings(1), u"b");
    EXPECT_EQ(list.Strings(2), u"c");
}
