// The rows' data: the icon by extension, the "Path" and "File" cell texts, and the sort comparison.
#include <gtest/gtest.h>

#include <string>

#include "app/node_data.h"
#include "base/ustring.h"
#include "extract/entry_path.h"

namespace {

TEST(NodeDataTest, IconFollowsTheLowerCasedExtensionOfTheFilePart) {
    const std::pair<std::u16string, int> cases[] = {
        {u"scripts\\quest.PEX", 16}, {u"textures\\a.b.dds", 37},
        {u"sound\\x.Xwm", 62},       {u"sound\\x.wav", 62},
        {u"terrain\\t.lod", 68},     {u"meshes\\m.NIF", 69},
        {u"anim\\a.hkx", 17},        {u"voice\\v.fuz", 59},
        {u"a\\readme.txt", 1},       {u"a\\noext", 1},
        {u"folder.dds\\noext", 1},   {u"drive:file.dds", 37},
        {u"a\\x.H\u212AX", 17}, // the Kelvin sign lower-cases to k
    };
    for (const auto& [entry, icon] : cases) {
        EXPECT_EQ(TNodeDataBrw(entry, 0).icon, icon) << std::string(entry.begin(), entry.end());
    }
    const TNodeDataBrw placeholder(u"fbk_Opening_Archive", 31);
    EXPECT_EQ(placeholder.icon, 31);
    EXPECT_EQ(placeholder.Name(), u"fbk_Opening_Archive");
}

TEST(NodeDataTest, CellTextsSplitAtTheLastDelimiter) {
    const std::u16string_view cases[][3] = {
        {u"textures\\armor\\iron.dds", u"textures\\armor\\", u"iron.dds"},
        {u"\\readme.txt", u"\\", u"readme.txt"},
        {u"fbk_Nothing_Found", u"", u"fbk_Nothing_Found"},
        {u"c:x.txt", u"c:", u"x.txt"},
        {u"folder\\", u"folder\\", u""},
    };
    for (const auto& c : cases) {
        const TNodeDataBrw node(std::u16string(c[0]), 0);
        EXPECT_EQ(BrowserTreeGetText(node, 0), u"");
        EXPECT_EQ(BrowserTreeGetText(node, 1), c[1]);
        EXPECT_EQ(BrowserTreeGetText(node, 2), c[2]);
        EXPECT_EQ(BrowserTreeGetImageIndex(node, 0), node.icon);
        EXPECT_EQ(BrowserTreeGetImageIndex(node, 1), -1);
    }
}

TEST(NodeDataTest, SortKeysAreTheEntryPathParts) {
    for (const std::u16string entry :
         {u"textures\\armor\\iron.dds", u"a\\b.c\\noext", u"\\readme.txt", u"c:x.tar.gz", u"folder\\",
          u"x\\.hidden", u"a\\\\b\\x.bin", u"fbk_Nothing_Found", u"", u"trailing.\\name."}) {
        const TNodeDataBrw node(entry, 0);
        const rFileData parts = SplitEntryPath(entry);
        EXPECT_EQ(node.Folder(), parts.fPath) << ToUtf8(entry);
        EXPECT_EQ(node.Name(), parts.fName) << ToUtf8(entry);
        EXPECT_EQ(node.Ext(), parts.fExt) << ToUtf8(entry);
    }
}

int Sign(int value) {
    return (value > 0) - (value < 0);
}

TEST(NodeDataTest, SortComparisonFoldsOnlyAsciiLowerCaseLetters) {
    struct Case {
        std::u16string_view a, b;
        int sign;
    };
    const Case cases[] = {
        {u"textures\\Armor", u"TEXTURES\\armor", 0},
        {u"abc", u"abd", -1},
        {u"9", u"a", -1},
        {u"z", u"\\", -1}, // "\" after the letters
        {u"Z", u"_", -1},
        {u"ab", u"a_b", -1},
        {u"", u"a", -1},
        {u"abc", u"ab", 1}, // the shorter prefix first
        {u"\u00e9", u"\u00c9", 1},
        {u"\u00e9", u"z", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Sign(CompareSortKeys(c.a, c.b)), c.sign);
        EXPECT_EQ(Sign(CompareSortKeys(c.b, c.a)), -c.sign);
    }
    const TNodeDataBrw a(u"x\\b.dds", 0), b(u"y\\a.DDS", 0);
    EXPECT_LT(BrowserTreeCompareNodes(a, b, 1), 0);
    EXPECT_GT(BrowserTreeCompareNodes(a, b, 2), 0);
    EXPECT_EQ(BrowserTreeCompareNodes(a, b, 0), 0);
    EXPECT_EQ(BrowserTreeCompareNodes(a, b, 3, 7), 7) << "other columns leave the result";
}

} // namespace
