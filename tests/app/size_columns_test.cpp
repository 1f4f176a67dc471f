// The Size and Stored columns (hidden at first, shown from the header's menu and remembered), their cells
// while the sizes are read and once they are known, sorting by them, and the row counts in the status bar.
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QTest>
#include <QTreeView>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "fixtures/file_tree.h"
#include "tests/app/app_test_support.h"

namespace apptest {
namespace {

class SizeColumnsTest : public WindowTest {
protected:
    SizeColumnsTest() { QLocale::setDefault(QLocale::c()); }
    ~SizeColumnsTest() override {
        release_ = true;
        QLocale::setDefault(QLocale::system());
    }

    // The sizes job waits, once it has started, until release_ is set (or the job is cancelled).
    void HoldSizes() {
        release_ = false;
        Form().SetSizesJobHook([this](const std::atomic<bool>& cancelled) {
            while (!release_.load() && !cancelled.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    void WaitForSizes() {
        release_ = true;
        for (int i = 0; i < 500 && !Model().SizesKnown(); ++i) {
            QTest::qWait(10);
        }
        ASSERT_TRUE(Model().SizesKnown());
    }

    QMenu* OpenHeaderMenu() {
        QHeaderView* header = Tree()->header();
        const QPoint at(header->sectionViewportPosition(TBrowserModel::kFileColumn) + 5,
                        header->height() / 2);
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, header->mapToGlobal(at));
        QApplication::sendEvent(header->viewport(), &click);
        return Form().findChild<QMenu*>("HeaderMenu");
    }

    std::atomic<bool> release_{true};
};

TEST_F(SizeColumnsTest, HiddenAtFirstShownFromTheHeaderMenuAndRemembered) {
    TForm1& form = CreateWindow();
    QHeaderView* header = Tree()->header();
    for (int column = 0; column < TBrowserModel::kColumnCount; ++column) {
        EXPECT_EQ(header->isSectionHidden(column), column >= TBrowserModel::kSizeColumn) << column;
    }
    EXPECT_EQ(Model().headerData(TBrowserModel::kSizeColumn, Qt::Horizontal).toString(), "Size");
    EXPECT_EQ(Model().headerData(TBrowserModel::kStoredColumn, Qt::Horizontal).toString(), "Stored");

    QMenu* menu = OpenHeaderMenu();
    ASSERT_NE(menu, nullptr);
    QStringList items;
    for (const QAction* action : menu->actions()) {
        items.append(action->text() + (action->isChecked() ? " [x]" : " [ ]"));
    }
    EXPECT_EQ(items, QStringList({"Size [ ]", "Stored [ ]"}));
    menu->findChild<QAction*>("HeaderMenuSize")->trigger();
    menu->close();
    QApplication::processEvents();
    EXPECT_FALSE(header->isSectionHidden(TBrowserModel::kSizeColumn));
    EXPECT_TRUE(header->isSectionHidden(TBrowserModel::kStoredColumn));

    // Shown or hidden, the choice is what the next start shows.
    form.close();
    EXPECT_NE(fixture::ReadText(binFolder_ / "prefs.ini").find("[view]\nsizeColumn=1\nstoredColumn=0\n"),
              std::string::npos);
    { std::ofstream(binFolder_ / "prefs.ini", std::ios::binary) << "[view]\nsizeColumn=0\nstoredColumn=1\n"; }
    CreateWindow();
    header = Tree()->header();
    EXPECT_TRUE(header->isSectionHidden(TBrowserModel::kSizeColumn));
    EXPECT_FALSE(header->isSectionHidden(TBrowserModel::kStoredColumn));
    menu = OpenHeaderMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_FALSE(menu->findChild<QAction*>("HeaderMenuSize")->isChecked());
    EXPECT_TRUE(menu->findChild<QAction*>("HeaderMenuStored")->isChecked());
    menu->close();
}

TEST_F(SizeColumnsTest, CellsWaitForTheSizesWhichThenSortTheRows) {
    fixture::EntrySpec damaged = Entry("damaged.nif", "0123456789");
    damaged.uncompressedSizeOverride = 0x80000000; // more than its packed bytes can make
    const std::string text(3000, 'a');
    const fixture::ArchiveSpec recipe =
        Recipe({{"f",
                 {Entry("raw.wav", "12345", fixture::Storage::Raw), Entry("big.txt", text),
                  Entry("small.txt", "a"), damaged, Entry("empty.txt", "")}}});
    fixture::Layout layout;
    fixture::BuildArchive(recipe, &layout);
    const auto stored = [&](const char* name) { return layout.FindEntry("f", name).storedBytes; };

    TForm1& form = CreateWindow();
    form.ShowSizeColumn(TBrowserModel::kSizeColumn, true);
    form.ShowSizeColumn(TBrowserModel::kStoredColumn, true);
    HoldSizes();
    // A first archive whose sizes are never read: opening the next one cancels that job.
    OpenByDialog(WriteArchive("first.bsa", recipe));
    OpenByDialog(WriteArchive("sizes.bsa", recipe));
    ASSERT_EQ(VisibleEntries(),
              QStringList({"f\\big.txt", "f\\damaged.nif", "f\\empty.txt", "f\\raw.wav", "f\\small.txt"}));
    EXPECT_EQ(ColumnTexts(TBrowserModel::kSizeColumn),
              QStringList({"\u2026", "\u2026", "\u2026", "\u2026", "\u2026"}));
    EXPECT_EQ(ColumnTexts(TBrowserModel::kStoredColumn),
              QStringList({"\u2026", "\u2026", "\u2026", "raw", "\u2026"}));
    // Sorted by size before the sizes are known: sorted again when they come.
    ClickHeader(TBrowserModel::kSizeColumn);
    WaitForSizes();

    EXPECT_EQ(VisibleEntries(),
              QStringList({"f\\empty.txt", "f\\small.txt", "f\\raw.wav", "f\\big.txt", "f\\damaged.nif"}))
        << "ascending by size, the unknown size last";
    EXPECT_EQ(ColumnTexts(TBrowserModel::kSizeColumn),
              QStringList({"0 bytes", "1 byte", "5 bytes", "2.9 KiB", "?"}));
    const auto percent = [&](const char* name, uint64_t size) {
        return QString::number((stored(name) * 100 + size / 2) / size) + "%";
    };
    EXPECT_EQ(ColumnTexts(TBrowserModel::kStoredColumn),
              QStringList({"\u2013", percent("small.txt", 1), "raw", percent("big.txt", 3000), "?"}));
    EXPECT_EQ(Model().index(3, TBrowserModel::kSizeColumn).data(Qt::ToolTipRole).toString(),
              QString("3000 bytes, %1 bytes stored").arg(stored("big.txt")));
    ClickHeader(TBrowserModel::kSizeColumn);
    EXPECT_EQ(VisibleEntries(),
              QStringList({"f\\damaged.nif", "f\\big.txt", "f\\raw.wav", "f\\small.txt", "f\\empty.txt"}));

    // By Stored: the best compressed first, then raw entries, then what is not known.
    ClickHeader(TBrowserModel::kStoredColumn);
    EXPECT_EQ(VisibleEntries(),
              QStringList({"f\\big.txt", "f\\small.txt", "f\\empty.txt", "f\\raw.wav", "f\\damaged.nif"}));
}

TEST_F(SizeColumnsTest, StatusBarCountsRowsShownSelectedAndSelectedButHidden) {
    TForm1& form = CreateWindow();
    EXPECT_EQ(form.RowCountsText(), "");
    OpenByDialog(WriteArchive(
        "counts.bsa",
        Recipe(
            {{"f", {Entry("a.txt", "1"), Entry("b.txt", "2"), Entry("c.nif", "3"), Entry("d.nif", "4")}}})));
    EXPECT_EQ(form.RowCountsText(), "4 / 4 rows, 0 selected");
    ClickRow(0);
    ClickRow(2, Qt::ControlModifier);
    ClickRow(3, Qt::ControlModifier);
    EXPECT_EQ(form.RowCountsText(), "4 / 4 rows, 3 selected");
    TypeFilter(".txt");
    EXPECT_EQ(form.RowCountsText(), "2 / 4 rows, 3 selected (2 hidden by the filter)");
    EXPECT_TRUE(Control<QLabel>("StatusCounts")->isVisible());
    Action("CloseArchive1")->trigger();
    EXPECT_EQ(form.RowCountsText(), "");
}

} // namespace
} // namespace apptest
