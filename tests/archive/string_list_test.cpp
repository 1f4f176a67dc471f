#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "archive/string_list.h"
#include "base/ustring.h"
#include "platform/locale.h"

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
    for (const char16_t* name :
         {u"Zeta.dds", u"alpha.nif", u"Beta.hkx", u"\u00e9t\u00e9.txt", u"ALPHA.NIF"}) {
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

// Sorting goes by packed keys of the first units where it can; the order must be the comparison's own, also
// for case, letters beyond ASCII, prefixes, zero units and equal strings, in short and long lists alike.
TEST(TStringList, SortedOrderIsTheComparisonsStableOrder) {
    const std::u16string alphabet = u"aAbB_zZ.\\0\u00e9\u00c9\u00df";
    for (size_t count : {10u, 64u, 65u, 400u}) {
        SCOPED_TRACE(count);
        TStringList list;
        std::vector<TStringList::Item> expected;
        uint32_t state = static_cast<uint32_t>(count);
        for (size_t i = 0; i < count; ++i) {
            std::u16string text;
            state = state * 1103515245u + 12345u;
            const size_t length = (state >> 16) % 13;
            for (size_t k = 0; k < length; ++k) {
                state = state * 1103515245u + 12345u;
                // Mostly one letter so that many strings share long prefixes.
                const size_t pick = (state >> 16) % 40;
                text += pick < alphabet.size() ? alphabet[pick] : u'a';
            }
            if (i % 7 == 3) {
                text += u'\0'; // a zero unit is a unit like any other
            }
            list.Add(text, static_cast<int64_t>(i));
            expected.push_back({text, static_cast<int64_t>(i)});
        }
        std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
            return platform::CompareTextIgnoreCase(a.string, b.string) < 0;
        });
        list.SetSorted(true);
        ASSERT_EQ(list.Count(), static_cast<int>(count));
        for (size_t i = 0; i < count; ++i) {
            EXPECT_EQ(list.Objects(static_cast<int>(i)), expected[i].object) << i;
        }
    }
}

// Strings that differ only in case are found one by one, in short and long lists and after a sorted Add; a
// string that matches none of them exactly gets the first of its equals.
TEST(TStringList, IndexOfExactFindsTheIdenticalStringAmongEqualOnes) {
    // Every case variant of "abcdefghi" that flips letters 0, 4 and 8 (the packed sort keys cover 8 units),
    // in an order that is not the sorted one.
    std::vector<std::u16string> variants;
    for (int bits = 7; bits >= 0; --bits) {
        std::u16string text = u"abcdefghi.dds";
        for (int k = 0; k < 3; ++k) {
            if ((bits >> k & 1) != 0) {
                text[static_cast<size_t>(4 * k)] =
                    static_cast<char16_t>(text[static_cast<size_t>(4 * k)] - 32);
            }
        }
        variants.push_back(text);
    }
    const std::vector<std::u16string> others = {u"\u00e9cole.txt",
                                                u"\u00c9COLE.txt",
                                                u"stra\u00dfe.txt",
                                                u"strasse.txt",
                                                u"ma\u00dfe",
                                                u"masse",
                                                u"a",
                                                u"A"};
    for (size_t padding : {0u, 100u}) {
        SCOPED_TRACE(padding);
        TStringList list;
        for (size_t i = 0; i < padding; ++i) {
            list.Add(u"pad" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) +
                     std::u16string(i / 26, u'x'));
        }
        for (const auto& text : variants) {
            list.Add(text);
        }
        for (const auto& text : others) {
            list.Add(text);
        }
        list.SetSorted(true);
        list.Add(u"\u00c9cole.TXT"); // into the sorted list
        std::vector<std::u16string> all = variants;
        all.insert(all.end(), others.begin(), others.end());
        all.push_back(u"\u00c9cole.TXT");
        for (const auto& text : all) {
            const int index = list.IndexOfExact(text);
            ASSERT_GE(index, 0) << ToUtf8(text);
            EXPECT_EQ(list.Strings(index), text);
        }
        int first = -1;
        ASSERT_TRUE(list.Find(u"ABCDefghI.dds", first));
        EXPECT_EQ(list.IndexOfExact(u"ABCDefghI.dds"), first); // no identical one: the first equal one
        EXPECT_EQ(list.IndexOfExact(u"absent"), -1);
    }
}
