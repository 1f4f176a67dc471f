// The browser list: sorting by header clicks (stable in both directions, on the stored keys), the filter box
// with its clear button, and the selection that rows keep while the filter hides them.
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>

#include "app/image_list.h"
#include "app/node_data.h"
#include "fixtures/file_tree.h"
#include "tests/app/app_test_support.h"

namespace apptest {
namespace {

// The reader lists folders, then files, in name order (case-insensitive, "\" before letters):
//   0 \readme.txt   1 a_b\x.txt   2 ab\notes   3 ab\y.dds   4 meshes\z.hkx
//   5 meshes\actors\a.nif   6 meshes\actors\b.nif
// The sort comparison maps only a..z to A..Z, so "_" sorts after the letters: AB < A_B.
fixture::ArchiveSpec SortArchive() {
    return Recipe({
        {"meshes\\actors", {Entry("b.nif", "b"), Entry("a.nif", "a")}},
        {"ab", {Entry("y.dds", "y"), Entry("notes", "n")}},
        {"meshes", {Entry("z.hkx", "z")}},
        {"a_b", {Entry("x.txt", "x")}},
        RootFolder({Entry("readme.txt", "r")}),
    });
}
const QStringList kSortEntries = {
    "\\readme.txt",          "a_b\\x.txt",           "ab\\notes", "ab\\y.dds", "meshes\\z.hkx",
    "meshes\\actors\\a.nif", "meshes\\actors\\b.nif"};

QStringList InOrder(std::initializer_list<int> rows) {
    QStringList entries;
    for (int row : rows) {
        entries.append(kSortEntries[row]);
    }
    return entries;
}

class BrowserListTest : public WindowTest {};

TEST_F(BrowserListTest, HeaderClicksSortStablyStartingFromPathAscending) {
    CreateWindow();
    OpenByDialog(WriteArchive("sort.bsa", SortArchive()));
    ASSERT_EQ(VisibleEntries(), kSortEntries) << "filled in the archive's order, unsorted";
    EXPECT_EQ(ColumnTexts(1).first(), "\\");

    EXPECT_FALSE(Tree()->header()->isSortIndicatorShown()) << "not sorted yet";
    struct Click {
        int column;
        Qt::MouseButton button;
        QStringList expected;
    };
    const Click clicks[] = {
        {1, Qt::LeftButton, InOrder({5, 6, 4, 1, 2, 3, 0})},  // Path was the sort column: descending first
        {1, Qt::LeftButton, InOrder({0, 2, 3, 1, 4, 5, 6})},  // ascending; the empty folder first
        {2, Qt::LeftButton, InOrder({5, 6, 2, 0, 1, 3, 4})},  // File: the name without its extension
        {2, Qt::LeftButton, InOrder({4, 3, 1, 0, 2, 6, 5})},  // File descending
        {0, Qt::LeftButton, InOrder({2, 3, 4, 6, 5, 1, 0})},  // extension: none first; equal ones keep order
        {2, Qt::RightButton, InOrder({2, 3, 4, 6, 5, 1, 0})}, // only the left button sorts
        {1, Qt::LeftButton, InOrder({0, 2, 3, 1, 4, 6, 5})},  // a new column starts ascending
        {1, Qt::LeftButton, InOrder({6, 5, 4, 1, 2, 3, 0})},  // equal folders keep their order both ways
    };
    for (const Click& click : clicks) {
        ClickHeader(click.column, click.button);
        EXPECT_EQ(VisibleEntries(), click.expected) << "column " << click.column;
        // The arrow on the column last sorted, pointing its way.
        const QHeaderView* header = Tree()->header();
        EXPECT_TRUE(header->isSortIndicatorShown());
        EXPECT_EQ(header->sortIndicatorSection(), Model().SortColumn()) << "column " << click.column;
        EXPECT_EQ(header->sortIndicatorOrder(), Model().SortDirection()) << "column " << click.column;
    }
    EXPECT_EQ(Model().SortColumn(), 1);
    EXPECT_EQ(Model().SortDirection(), Qt::DescendingOrder);
}

// Where two lists of rows first differ, readably; empty when they are equal.
std::string FirstDifference(const QStringList& shown, const QStringList& expected) {
    for (qsizetype row = 0; row < std::min(shown.size(), expected.size()); ++row) {
        if (shown[row] != expected[row]) {
            return "row " + std::to_string(row) + " shows \"" + Utf8(shown[row]) + "\" where \"" +
                   Utf8(expected[row]) + "\" belongs";
        }
    }
    if (shown.size() != expected.size()) {
        return std::to_string(shown.size()) + " rows where " + std::to_string(expected.size()) + " belong";
    }
    return "";
}

// Random rows (folders, stems and extensions that repeat, names that differ only in case, names beyond
// ASCII) and random header clicks: after each click the rows stand exactly as a plain stable sort of their
// previous order by BrowserTreeCompareNodes on the clicked column, in the header's direction. Half way a
// filter hides some rows; they are sorted all the same.
TEST_F(BrowserListTest, HeaderClicksMatchAStableSortByTheComparison) {
    constexpr uint32_t kSeed = 20261210;
    SCOPED_TRACE("seed " + std::to_string(kSeed));
    std::mt19937 random(kSeed);
    const auto pick = [&](const auto& pool) { return pool[random() % std::size(pool)]; };

    // Names in Windows-1252: \xC4 is \u00c4, \xE9 \u00e9, \xC9 \u00c9, \xDF \u00df.
    const char* const folders[] = {"",    "meshes", "Meshes\\Actors", "textures\\\xC4rmel",
                                   "a_b", "ab",     "Sound\\FX",      "textures"};
    const char* const stems[] = {"a",         "A",   "body", "Body",         "BODY",    "\xE9t\xE9",
                                 "\xC9T\xC9", "b_c", "bc",   "stra\xDF\x65", "strasse", "x"};
    const char* const extensions[] = {".nif", ".NIF", ".dds", ".Dds", ".txt", ""};
    std::map<std::string, std::set<std::string>> names; // by folder; unique within a folder
    for (int i = 0; i < 150; ++i) {
        names[pick(folders)].insert(std::string(pick(stems)) + pick(extensions));
    }
    std::vector<fixture::FolderSpec> folderSpecs;
    int rows = 0;
    for (const auto& [folder, files] : names) {
        std::vector<fixture::EntrySpec> entries;
        for (const std::string& file : files) {
            entries.push_back(Entry(file, "x", fixture::Storage::Raw));
            ++rows;
        }
        folderSpecs.push_back(folder.empty() ? RootFolder(std::move(entries))
                                             : fixture::FolderSpec{folder, std::move(entries)});
    }
    fixture::ArchiveSpec recipe = Recipe(std::move(folderSpecs));
    recipe.orderByHash = false; // names that differ only in case share a hash

    CreateWindow();
    OpenByDialog(WriteArchive("oracle.bsa", recipe));
    std::vector<TNodeDataBrw> expected;
    for (const QString& entry : AllEntries()) {
        expected.emplace_back(entry.toStdU16String(), 0);
    }
    ASSERT_EQ(static_cast<int>(expected.size()), rows);

    const QString filter = "a";
    int sortColumn = TBrowserModel::kPathColumn;
    bool ascending = true;
    std::string clicked;
    for (int click = 0; click < 60; ++click) {
        if (click == 30) {
            TypeFilter(filter);
        }
        // The text columns, whose order BrowserTreeCompareNodes gives.
        const int column = static_cast<int>(random() % (TBrowserModel::kFileColumn + 1));
        clicked += std::to_string(column);
        SCOPED_TRACE("header clicks on columns " + clicked);
        ClickHeader(column);

        // The sorted column turns round; another one starts ascending.
        ascending = column == sortColumn ? !ascending : true;
        sortColumn = column;
        ASSERT_EQ(Model().SortColumn(), sortColumn);
        ASSERT_EQ(Model().SortDirection(), ascending ? Qt::AscendingOrder : Qt::DescendingOrder);

        std::stable_sort(expected.begin(), expected.end(), [&](const TNodeDataBrw& a, const TNodeDataBrw& b) {
            const int order = BrowserTreeCompareNodes(a, b, column);
            return ascending ? order < 0 : order > 0;
        });
        QStringList all;
        QStringList visible;
        for (const TNodeDataBrw& node : expected) {
            all.append(Q(node.filename));
            if (click < 30 || all.back().contains(filter)) {
                visible.append(all.back());
            }
        }
        ASSERT_EQ(FirstDifference(AllEntries(), all), "") << "all rows";
        ASSERT_EQ(FirstDifference(VisibleEntries(), visible), "") << "visible rows";
    }
}

TEST_F(BrowserListTest, SortKeepsTheSelectionAndTheCurrentRowWithTheirRows) {
    CreateWindow();
    OpenByDialog(WriteArchive("sort.bsa", SortArchive()));
    ClickRow(1);                      // a_b\x.txt
    ClickRow(4, Qt::ControlModifier); // meshes\z.hkx, current
    ClickHeader(2);                   // File ascending: a b notes readme x y z
    QItemSelectionModel* selection = Tree()->selectionModel();
    QStringList selected;
    for (const QModelIndex& index : selection->selectedRows(2)) {
        selected.append(index.data().toString());
    }
    selected.sort();
    EXPECT_EQ(selected, QStringList({"x.txt", "z.hkx"}));
    EXPECT_EQ(selection->currentIndex().siblingAtColumn(2).data().toString(), "z.hkx");
    EXPECT_EQ(Model().SelectedCount(), 2);
}

TEST_F(BrowserListTest, FilterShowsRowsContainingTheTrimmedLowerCasedText) {
    const fixture::ArchiveSpec recipe = Recipe({
        {"textures\\armor", {Entry("iron.dds", "1"), Entry("IRONBOOTS.dds", "2"), Entry("steel.dds", "3")}},
        {"meshes", {Entry("iron_ore.nif", "4"), Entry("gold.nif", "5")}},
    });
    CreateWindow();
    OpenByDialog(WriteArchive("filter.bsa", recipe));
    const QStringList all = VisibleEntries();
    ASSERT_EQ(all.size(), 5);

    TypeFilter("  IRON  ");
    EXPECT_EQ(VisibleEntries(), QStringList({"meshes\\iron_ore.nif", "textures\\armor\\iron.dds"}))
        << "IRONBOOTS has the text in capitals only";
    EXPECT_EQ(Model().NodeCount(), 5);

    QLineEdit* box = Control<QLineEdit>("ButtonedEdit1");
    box->setText("\tTextures\\ARMOR\\ ");
    EXPECT_EQ(VisibleEntries(), QStringList({"textures\\armor\\iron.dds", "textures\\armor\\IRONBOOTS.dds",
                                             "textures\\armor\\steel.dds"}));
    box->setText("no such text");
    EXPECT_EQ(Model().rowCount(), 0);

    // The clear button, clicked as a user does.
    QToolButton* clear = nullptr;
    for (QToolButton* button : box->findChildren<QToolButton*>()) {
        if (button->defaultAction() == Action("ButtonedEdit1RightButton")) {
            clear = button;
        }
    }
    ASSERT_NE(clear, nullptr);
    QTest::mouseClick(clear, Qt::LeftButton);
    EXPECT_EQ(box->text(), "");
    EXPECT_EQ(VisibleEntries(), all);

    // Rows sorted while filtered come back sorted.
    TypeFilter("nif");
    ClickHeader(1);
    box->clear();
    EXPECT_EQ(VisibleEntries(),
              QStringList({"textures\\armor\\iron.dds", "textures\\armor\\IRONBOOTS.dds",
                           "textures\\armor\\steel.dds", "meshes\\gold.nif", "meshes\\iron_ore.nif"}));
}

// Clicks the button a line edit shows for one of its actions, as a user does.
void ClickLineEditAction(QLineEdit* box, QAction* action) {
    for (QToolButton* button : box->findChildren<QToolButton*>()) {
        if (button->defaultAction() == action) {
            QTest::mouseClick(button, Qt::LeftButton);
            return;
        }
    }
    ADD_FAILURE() << "no button for " << action->objectName().toStdString();
}

TEST_F(BrowserListTest, WildcardsAndRegularExpressionsSelectRowsAndABadPatternSaysWhy) {
    const fixture::ArchiveSpec recipe = Recipe({
        {"textures\\armor\\iron", {Entry("cuirass.dds", "1"), Entry("boots.DDS", "2")}},
        {"textures\\sky", {Entry("clouds.dds", "3")}},
        {"meshes\\armor\\iron", {Entry("cuirass.nif", "4")}},
    });
    CreateWindow();
    OpenByDialog(WriteArchive("patterns.bsa", recipe));
    QLineEdit* box = Control<QLineEdit>("ButtonedEdit1");
    QAction* regex = Action("FilterRegexButton");
    struct Case {
        bool regex;
        QString typed;
        QStringList shown;
    };
    const Case cases[] = {
        // Lower-cased as plain text is, and compared with the entry strings as they are.
        {false, "*.DDS", {"textures\\armor\\iron\\cuirass.dds", "textures\\sky\\clouds.dds"}},
        {false,
         "textures\\*iron*",
         {"textures\\armor\\iron\\boots.DDS", "textures\\armor\\iron\\cuirass.dds"}},
        {false, "*\\??????.dds", {"textures\\sky\\clouds.dds"}},
        {false, "armor*", {}}, // a pattern matches the whole entry string
        {false,
         "armor",
         {"meshes\\armor\\iron\\cuirass.nif", "textures\\armor\\iron\\boots.DDS",
          "textures\\armor\\iron\\cuirass.dds"}},
        {true, "^meshes|clouds", {"meshes\\armor\\iron\\cuirass.nif", "textures\\sky\\clouds.dds"}},
        {true,
         "\\.DDS$",
         {"textures\\armor\\iron\\boots.DDS", "textures\\armor\\iron\\cuirass.dds",
          "textures\\sky\\clouds.dds"}}, // regardless of case
    };
    for (const Case& c : cases) {
        if (regex->isChecked() != c.regex) {
            ClickLineEditAction(box, regex);
        }
        box->clear();
        TypeFilter(c.typed);
        QStringList shown = VisibleEntries();
        shown.sort();
        EXPECT_EQ(shown, c.shown) << c.typed.toStdString();
        EXPECT_TRUE(box->toolTip().isEmpty());
    }
    // A pattern that does not compile leaves the rows as they were and says why, in colour.
    const QStringList before = VisibleEntries();
    const QColor normal = box->palette().color(QPalette::Base);
    TypeFilter("(");
    EXPECT_EQ(VisibleEntries(), before);
    EXPECT_TRUE(box->toolTip().startsWith("Not a valid regular expression: "))
        << box->toolTip().toStdString();
    EXPECT_NE(box->palette().color(QPalette::Base), normal);
    ClickLineEditAction(box, regex); // the same text as plain text is fine
    EXPECT_TRUE(box->toolTip().isEmpty());
    EXPECT_EQ(box->palette().color(QPalette::Base), normal);
    EXPECT_EQ(VisibleEntries(), QStringList());
}

TEST_F(BrowserListTest, RowMenuCopiesPathsAndNamesOfTheSelectedRowsAndPreviews) {
    CreateWindow();
    OpenByDialog(WriteArchive("menu.bsa", Recipe({{"textures\\a", {Entry("x.txt", "1"), Entry("y.txt", "2")}},
                                                  {"meshes", {Entry("z.nif", "3")}}})));
    const QStringList rows = VisibleEntries();
    ASSERT_EQ(rows.size(), 3);
    ClickRow(0);
    ClickRow(2, Qt::ControlModifier);
    QTreeView* list = Control<QTreeView>("BrowserTree");
    // A right-click on a row, as the window system delivers it.
    const auto openMenu = [&](int modelRow) -> QMenu* {
        const QPoint at = list->visualRect(Model().index(modelRow, 2)).center();
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &click);
        return Form().findChild<QMenu*>("RowMenu");
    };
    QMenu* menu = openMenu(2);
    ASSERT_NE(menu, nullptr);
    QStringList actions;
    for (QAction* action : menu->actions()) {
        actions.append(action->text());
    }
    EXPECT_EQ(actions, QStringList({"Preview", "Extract\u2026", "Extract here without folders\u2026", "",
                                    "Copy path", "Copy file name"}));
    menu->findChild<QAction*>("RowMenuCopyPath")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), rows[0] + "\n" + rows[2]);
    menu->close();
    QApplication::processEvents();

    menu = openMenu(0);
    ASSERT_NE(menu, nullptr);
    menu->findChild<QAction*>("RowMenuCopyName")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              rows[0].mid(rows[0].lastIndexOf('\\') + 1) + "\n" + rows[2].mid(rows[2].lastIndexOf('\\') + 1));
    menu->findChild<QAction*>("RowMenuPreview")->trigger();
    menu->close();
    QApplication::processEvents();
    QWidget* preview = Form().findChild<QWidget*>("PreviewWindow");
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->windowTitle().startsWith(rows[0]));
    preview->close();

    // The selected files alone, side by side in the folder picked.
    const std::filesystem::path out = temp_.Path() / "flat";
    dialogs_.pickAnswers.push_back(Q(out));
    menu = openMenu(0);
    ASSERT_NE(menu, nullptr);
    menu->findChild<QAction*>("RowMenuExtractFlat")->trigger();
    menu->close();
    std::set<std::string> written;
    for (const auto& [name, bytes] : fixture::TreeOf(out)) {
        written.insert(name);
    }
    EXPECT_EQ(written, (std::set<std::string>{rows[0].mid(rows[0].lastIndexOf('\\') + 1).toStdString(),
                                              rows[2].mid(rows[2].lastIndexOf('\\') + 1).toStdString()}));
}

// The folder tree's items below item, each as "caption" and its children indented by two spaces.
QStringList TreeLines(const QTreeWidgetItem* item, const QString& indent = QString()) {
    QStringList lines{indent + item->text(0)};
    for (int child = 0; child < item->childCount(); ++child) {
        lines += TreeLines(item->child(child), indent + "  ");
    }
    return lines;
}

TEST_F(BrowserListTest, FolderTreeCountsFilesNarrowsTheListExtractsASubtreeAndIsRemembered) {
    const fixture::ArchiveSpec recipe = Recipe({
        {"textures\\armor\\iron", {Entry("cuirass.dds", "1"), Entry("boots.dds", "2")}},
        {"textures\\sky", {Entry("clouds.dds", "3")}},
        {"meshes", {Entry("iron.nif", "4")}},
    });
    TForm1& form = CreateWindow();
    OpenByDialog(WriteArchive("folders.bsa", recipe));
    auto* tree = Control<QTreeWidget>("FolderTree");
    EXPECT_FALSE(tree->isVisible()) << "hidden until the user shows it";
    Action("FolderTree1")->trigger();
    ASSERT_TRUE(tree->isVisible());
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    tree->expandAll();
    EXPECT_EQ(TreeLines(tree->topLevelItem(0)),
              QStringList({"(all) (4)", "  meshes (1)", "  textures (3)", "    armor (2)", "      iron (2)",
                           "    sky (1)"}));

    // A click on a folder, as a user does: the list shows its subtree, together with the filter box.
    const auto clickFolder = [&](const QString& caption) {
        const QList<QTreeWidgetItem*> found = tree->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(found.size(), 1) << caption.toStdString();
        tree->scrollToItem(found[0]);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(found[0]).center());
    };
    clickFolder("textures (3)");
    QStringList shown = VisibleEntries();
    shown.sort();
    EXPECT_EQ(shown, QStringList({"textures\\armor\\iron\\boots.dds", "textures\\armor\\iron\\cuirass.dds",
                                  "textures\\sky\\clouds.dds"}));
    TypeFilter("iron");
    shown = VisibleEntries();
    shown.sort();
    EXPECT_EQ(shown, QStringList({"textures\\armor\\iron\\boots.dds", "textures\\armor\\iron\\cuirass.dds"}));
    Control<QLineEdit>("ButtonedEdit1")->clear();
    clickFolder("sky (1)");
    EXPECT_EQ(VisibleEntries(), QStringList({"textures\\sky\\clouds.dds"}));

    // Extracting a folder writes its subtree and nothing else.
    const std::filesystem::path out = temp_.Path() / "out";
    dialogs_.pickAnswers.push_back(Q(out));
    const QList<QTreeWidgetItem*> armor = tree->findItems("armor (2)", Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(armor.size(), 1);
    const QPoint at = tree->visualItemRect(armor[0]).center();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree->viewport(), &rightClick);
    auto* menu = form.findChild<QMenu*>("FolderMenu");
    ASSERT_NE(menu, nullptr);
    menu->findChild<QAction*>("FolderMenuExtract")->trigger();
    menu->close();
    EXPECT_EQ(fixture::TreeOf(out),
              (std::map<std::string, std::vector<uint8_t>>{{"textures/armor/iron/boots.dds", {'2'}},
                                                           {"textures/armor/iron/cuirass.dds", {'1'}}}));

    // Hidden, the tree narrows nothing; the choice is remembered.
    Action("FolderTree1")->trigger();
    EXPECT_FALSE(tree->isVisible());
    EXPECT_EQ(VisibleEntries().size(), 4);
    form.close();
    EXPECT_NE(fixture::ReadText(binFolder_ / "prefs.ini").find("[view]\nfolderTree=0\n"), std::string::npos);
    { std::ofstream(binFolder_ / "prefs.ini", std::ios::binary) << "[view]\nfolderTree=1\n"; }
    CreateWindow();
    EXPECT_TRUE(Control<QTreeWidget>("FolderTree")->isVisible());
    EXPECT_TRUE(Action("FolderTree1")->isChecked());
}

TEST_F(BrowserListTest, OpeningAnotherArchiveShowsAllItsRowsDespiteTheFilterText) {
    CreateWindow();
    OpenByDialog(WriteArchive("sort.bsa", SortArchive()));
    TypeFilter("meshes");
    ASSERT_EQ(Model().rowCount(), 3);
    OpenByDialog(WriteArchive("sort2.bsa", SortArchive()));
    EXPECT_EQ(Control<QLineEdit>("ButtonedEdit1")->text(), "meshes");
    EXPECT_EQ(VisibleEntries(), kSortEntries);
    TypeFilter("\\a"); // the next change filters again: "meshes\a"
    EXPECT_EQ(VisibleEntries(), QStringList({"meshes\\actors\\a.nif", "meshes\\actors\\b.nif"}));
}

TEST_F(BrowserListTest, HiddenRowsKeepTheirSelection) {
    CreateWindow();
    OpenByDialog(WriteArchive("sort.bsa", SortArchive()));
    ClickRow(0);                      // \readme.txt
    ClickRow(5, Qt::ControlModifier); // meshes\actors\a.nif
    ClickRow(6, Qt::ControlModifier); // meshes\actors\b.nif

    TypeFilter("s"); // hides \readme.txt and a_b\x.txt
    ASSERT_EQ(VisibleEntries(), QStringList({"ab\\notes", "ab\\y.dds", "meshes\\z.hkx",
                                             "meshes\\actors\\a.nif", "meshes\\actors\\b.nif"}));
    EXPECT_EQ(Tree()->selectionModel()->selectedRows().size(), 2);
    ClickRow(0, Qt::ControlModifier); // ab\notes joins the selection
    ClickRow(4, Qt::ControlModifier); // b.nif leaves it

    Control<QLineEdit>("ButtonedEdit1")->clear();
    QStringList selected;
    for (const QModelIndex& index : Tree()->selectionModel()->selectedRows()) {
        selected.append(VisibleEntries().at(index.row()));
    }
    selected.sort();
    EXPECT_EQ(selected, QStringList({"\\readme.txt", "ab\\notes", "meshes\\actors\\a.nif"}));
    EXPECT_EQ(Model().SelectedCount(), 3);
}

// f\a1.txt .. f\a5.txt and f\b5.txt; the filter "5" shows a5 and b5 only.
fixture::ArchiveSpec FiveAndOneArchive() {
    return Recipe({{"f",
                    {Entry("a1.txt", "1"), Entry("a2.txt", "2"), Entry("a3.txt", "3"), Entry("a4.txt", "4"),
                     Entry("a5.txt", "5"), Entry("b5.txt", "6")}}});
}

QStringList SelectedEntries(TBrowserModel& model) {
    QStringList selected;
    for (int row = 0; row < model.NodeCount(); ++row) {
        if (model.Selected(row)) {
            selected.append(QString::fromStdU16String(model.Node(row).filename));
        }
    }
    return selected;
}

TEST_F(BrowserListTest, ANewSelectionReplacesTheOldOneHiddenRowsIncluded) {
    const std::filesystem::path archive = WriteArchive("five.bsa", FiveAndOneArchive());
    const QStringList five = {"f\\a1.txt", "f\\a2.txt", "f\\a3.txt", "f\\a4.txt", "f\\a5.txt"};
    struct Gesture {
        const char* name;
        std::function<void()> act; // with a5 (current, selected) and b5 shown
        QStringList selected;
    };
    const auto click = [this](int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        return [this, row, modifiers] { ClickRow(row, modifiers); };
    };
    const auto key = [this](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        return [this, key, modifiers] { QTest::keyClick(Tree(), key, modifiers); };
    };
    const Gesture gestures[] = {
        {"click on the one selected row shown", click(0), {"f\\a5.txt"}},
        {"click on another row", click(1), {"f\\b5.txt"}},
        {"arrow down", key(Qt::Key_Down), {"f\\b5.txt"}},
        {"shift-click", click(1, Qt::ShiftModifier), {"f\\a5.txt", "f\\b5.txt"}},
        {"shift+arrow", key(Qt::Key_Down, Qt::ShiftModifier), {"f\\a5.txt", "f\\b5.txt"}},
        {"select all", key(Qt::Key_A, Qt::ControlModifier), {"f\\a5.txt", "f\\b5.txt"}},
        {"click on empty space",
         [this] {
             QTreeView* tree = Tree();
             QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                               QPoint(10, tree->viewport()->height() - 5));
         },
         {}},
        {"control-click adds", click(1, Qt::ControlModifier), five + QStringList{"f\\b5.txt"}},
        {"control-click removes", click(0, Qt::ControlModifier), five.mid(0, 4)},
    };
    CreateWindow();
    for (const Gesture& gesture : gestures) {
        SCOPED_TRACE(gesture.name);
        OpenByDialog(archive);
        Control<QLineEdit>("ButtonedEdit1")->clear();
        ClickRow(0);
        for (int row = 1; row < 5; ++row) {
            ClickRow(row, Qt::ControlModifier); // a5 ends up current
        }
        ASSERT_EQ(SelectedEntries(Model()), five);
        TypeFilter("5");
        ASSERT_EQ(VisibleEntries(), QStringList({"f\\a5.txt", "f\\b5.txt"}));
        Tree()->setFocus();

        gesture.act();
        EXPECT_EQ(SelectedEntries(Model()), gesture.selected);
        Control<QLineEdit>("ButtonedEdit1")->clear();
        QStringList shown;
        for (const QModelIndex& index : Tree()->selectionModel()->selectedRows()) {
            shown.append(VisibleEntries().at(index.row()));
        }
        shown.sort();
        EXPECT_EQ(shown, gesture.selected) << "the list shows what is selected";
    }

    // What the list shows selected is what is extracted, and nothing else is replaced.
    OpenByDialog(archive);
    SelectAllRows();
    TypeFilter("a5");
    ClickRow(0);
    ExtractTo(temp_.Path() / "out");
    EXPECT_EQ(Form().StatusPanelText(0), "1/1");
    EXPECT_TRUE(std::filesystem::exists(temp_.Path() / "out" / "f" / "a5.txt"));
    EXPECT_FALSE(std::filesystem::exists(temp_.Path() / "out" / "f" / "a1.txt"));
}

TEST_F(BrowserListTest, ANewArchiveIsShownFromItsFirstRow) {
    fixture::FolderSpec many{"textures\\many", {}};
    for (int i = 0; i < 48; ++i) {
        many.files.push_back(Entry("file" + std::to_string(100 + i) + ".dds", "x"));
    }
    const std::filesystem::path first = WriteArchive("many1.bsa", Recipe({many}));
    const std::filesystem::path second = WriteArchive("many2.bsa", Recipe({many}));
    CreateWindow();
    OpenByDialog(first);
    Tree()->setFocus();
    QTest::keyClick(Tree(), Qt::Key_End);
    ASSERT_GT(Tree()->verticalScrollBar()->value(), 0);

    OpenByDialog(second);
    QApplication::processEvents();
    EXPECT_EQ(Tree()->verticalScrollBar()->value(), 0);
    EXPECT_EQ(Tree()->indexAt(QPoint(5, 2)).row(), 0);
}

TEST_F(BrowserListTest, ElidedCellsShowTheirWholeTextAsTooltip) {
    const std::string longName = std::string(120, 'w') + ".dds";
    CreateWindow();
    OpenByDialog(
        WriteArchive("tips.bsa", Recipe({{"textures", {Entry("a.dds", "a"), Entry(longName, "w")}}})));
    QTreeView* tree = Tree();
    const auto tooltipAt = [&](int row, int column) {
        QToolTip::hideText();
        EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }));
        const QRect cell = tree->visualRect(Model().index(row, column));
        QHelpEvent help(QEvent::ToolTip, cell.center(), tree->viewport()->mapToGlobal(cell.center()));
        QCoreApplication::sendEvent(tree->viewport(), &help);
        // A tooltip that is hidden goes after a moment; one that is shown is there at once.
        QTest::qWait(400);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(tooltipAt(1, 2), QString::fromStdString(longName));
    EXPECT_EQ(tooltipAt(0, 2), "") << "a text shown whole needs no tooltip";
    EXPECT_EQ(tooltipAt(1, 1), "");
    QToolTip::hideText();
}

TEST_F(BrowserListTest, TheCurrentRowHasNoFocusFrame) {
    CreateWindow();
    OpenByDialog(WriteArchive("sort.bsa", SortArchive()));
    QTreeView* tree = Tree();
    ClickRow(2);
    ClickRow(2, Qt::ControlModifier); // current, not selected
    const QRect row = tree->visualRect(Model().index(2, 1)).united(tree->visualRect(Model().index(2, 2)));
    Control<QLineEdit>("ButtonedEdit1")->setFocus();
    QApplication::processEvents();
    const QImage unfocused = tree->viewport()->grab(row).toImage();
    tree->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(tree->hasFocus());
    EXPECT_EQ(tree->viewport()->grab(row).toImage(), unfocused);
}

// The model alone, over rows made by hand: the comparison's folding, and the bookkeeping of hidden rows.
class BrowserModelTest : public ::testing::Test {
protected:
    BrowserModelTest() : model_(images_) {
        new QAbstractItemModelTester(&model_, QAbstractItemModelTester::FailureReportingMode::Warning,
                                     &model_);
    }
    ~BrowserModelTest() override {
        EXPECT_TRUE(ModelTesterComplaints().empty());
        ModelTesterComplaints().clear();
    }
    void Fill(std::initializer_list<const char16_t*> entries) {
        std::vector<TNodeDataBrw> nodes;
        for (const char16_t* entry : entries) {
            nodes.emplace_back(entry, 0);
        }
        model_.SetNodes(std::move(nodes));
    }
    QStringList Entries() {
        QStringList entries;
        for (int row = 0; row < model_.NodeCount(); ++row) {
            entries.append(Q(model_.Node(row).filename));
        }
        return entries;
    }

    TImageList images_;
    TBrowserModel model_;
};

TEST_F(BrowserModelTest, FoldersDifferingInAsciiCaseOnlySortAsEqual) {
    Fill({u"textures\\Armor\\1.dds", u"TEXTURES\\armor\\2.dds", u"textures\\\u00e9\\3.dds",
          u"textures\\\u00c9\\4.dds", u"textures\\armor\\5.dds"});
    model_.SortNodes(1, Qt::AscendingOrder);
    // Only a..z fold: \u00c9 (0xC9) sorts before \u00e9 (0xE9), and both after the letters.
    EXPECT_EQ(Entries(),
              QStringList({"textures\\Armor\\1.dds", "TEXTURES\\armor\\2.dds", "textures\\armor\\5.dds",
                           "textures\\\u00c9\\4.dds", "textures\\\u00e9\\3.dds"}));
    model_.SortNodes(1, Qt::DescendingOrder);
    EXPECT_EQ(Entries(),
              QStringList({"textures\\\u00e9\\3.dds", "textures\\\u00c9\\4.dds", "textures\\Armor\\1.dds",
                           "TEXTURES\\armor\\2.dds", "textures\\armor\\5.dds"}));
}

// Keys that share long beginnings, differ in ASCII case, in length or in a unit past the 16th, with and
// without units above ASCII (which sort another way inside): every column sorts as a stable sort by the
// comparison.
TEST_F(BrowserModelTest, LongAndShortKeysSortAsTheComparisonSays) {
    std::mt19937 random(20261211);
    const std::u16string units = u"aAzZ_\\09.~ \u00e9\u00c9";
    const char16_t* const beginnings[] = {u"", u"textures\\armor\\", u"TEXTURES\\ARMOR\\ironhelmet", u"a_b"};
    for (const bool asciiOnly : {true, false}) {
        SCOPED_TRACE(asciiOnly ? "ASCII keys" : "keys with other units");
        std::vector<TNodeDataBrw> nodes;
        for (int i = 0; i < 400; ++i) {
            std::u16string entry = beginnings[random() % std::size(beginnings)];
            const size_t length = random() % 24;
            for (size_t unit = 0; unit < length; ++unit) {
                entry += units[random() % (units.size() - (asciiOnly ? 2 : 0))];
            }
            nodes.emplace_back(entry, 0);
        }
        std::vector<TNodeDataBrw> expected = nodes;
        model_.SetNodes(std::move(nodes));
        for (int column = 0; column <= TBrowserModel::kFileColumn; ++column) {
            for (const Qt::SortOrder direction : {Qt::AscendingOrder, Qt::DescendingOrder}) {
                SCOPED_TRACE(column);
                model_.SortNodes(column, direction);
                std::stable_sort(expected.begin(), expected.end(),
                                 [&](const TNodeDataBrw& a, const TNodeDataBrw& b) {
                                     const int order = BrowserTreeCompareNodes(a, b, column);
                                     return direction == Qt::AscendingOrder ? order < 0 : order > 0;
                                 });
                QStringList sorted;
                for (const TNodeDataBrw& node : expected) {
                    sorted.append(Q(node.filename));
                }
                ASSERT_EQ(Entries(), sorted);
            }
        }
    }
}

TEST_F(BrowserModelTest, FilterMapsVisibleRowsAndKeepsFlagsOfHiddenOnes) {
    Fill({u"a\\1.txt", u"b\\2.txt", u"a\\3.txt", u"b\\4.txt", u"a\\5.txt"});
    for (int row : {0, 1, 2}) {
        model_.SetSelected(row, true);
    }
    model_.Filter([](std::u16string_view entry) { return entry.starts_with(u"a\\"); });
    ASSERT_EQ(model_.rowCount(), 3);
    EXPECT_EQ(model_.ListRow(2), 4);
    EXPECT_EQ(model_.ModelRow(3), -1);
    EXPECT_EQ(model_.ModelRow(4), 2);
    // Visible rows 0 and 1 (list rows 0 and 2) form one range; hidden row 1 keeps its flag.
    const QItemSelection visible = model_.VisibleSelection();
    ASSERT_EQ(visible.size(), 1);
    EXPECT_EQ(visible[0].top(), 0);
    EXPECT_EQ(visible[0].bottom(), 1);
    EXPECT_EQ(visible[0].right(), TBrowserModel::kColumnCount - 1);
    EXPECT_TRUE(model_.Selected(1));

    model_.UpdateSelection(QItemSelection(model_.index(2, 0), model_.index(2, 2)),
                           QItemSelection(model_.index(0, 0), model_.index(0, 2)));
    EXPECT_EQ(model_.SelectedCount(), 3);
    EXPECT_FALSE(model_.Selected(0));
    EXPECT_TRUE(model_.Selected(4));
    model_.Filter(nullptr);
    EXPECT_EQ(model_.rowCount(), 5);
}

} // namespace
} // namespace apptest
