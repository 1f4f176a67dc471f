// The comparison window, driven through its widgets: the rows and counts of a small comparison (an entry
// only in each archive, one with other bytes, one that cannot be read), header clicks, the filter box,
// Ctrl+C, extraction from either archive, and closing the window while the comparison runs. The model alone:
// rows that arrive in batches take the places a full sort and filter would give them.
#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>
#include <algorithm>
#include <fstream>
#include <thread>

#include "app/compare_model.h"
#include "app/compare_window.h"
#include "tests/app/app_test_support.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;

// A list as its lines, so that a failure prints them.
std::string Lines(const QStringList& list) {
    return Utf8(list.join('\n'));
}

class CompareWindowTest : public WindowTest {
protected:
    CompareWindowTest() {
        fixture::EntrySpec broken = Entry("broken.nif", "x", fixture::Storage::Zlib);
        broken.packedOverride = std::vector<uint8_t>{1, 2, 3, 4, 5, 6};
        older_ = WriteArchive(
            "mod/older.bsa",
            Recipe({{"meshes", {Entry("broken.nif", "x")}},
                    {"textures",
                     {Entry("a.dds", "same"), Entry("b.dds", "old b"), Entry("gone.dds", "gone")}}}));
        newer_ = WriteArchive("mod/newer.bsa", Recipe({{"meshes", {broken}},
                                                       {"Textures",
                                                        {Entry("A.dds", "same", fixture::Storage::Zlib),
                                                         Entry("b.dds", "new b!", fixture::Storage::Zlib),
                                                         Entry("new.dds", "new", fixture::Storage::Zlib)}}},
                                                      104));
        CreateWindow();
    }

    // The window over older and newer (or the archives given), shown, its rows checked by Qt's model tester.
    TCompareWindow& Open(const fs::path& first, const fs::path& second,
                         TCompareWindow::TBatchHook hook = {}) {
        compare_ = new TCompareWindow(U16(first), U16(second), dialogs_, &Form(), std::move(hook));
        new QAbstractItemModelTester(&compare_->Model(),
                                     QAbstractItemModelTester::FailureReportingMode::Warning, compare_);
        compare_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(compare_));
        return *compare_;
    }
    TCompareWindow& OpenAndWait() {
        Open(older_, newer_);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !compare_->Busy(); }, 60000));
        return *compare_;
    }

    // The rows shown, their cells joined by " | " (the reason of an unreadable entry cut at its first word).
    QStringList Rows() {
        QStringList rows;
        const QAbstractItemModel& model = *compare_->List().model();
        for (int row = 0; row < model.rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < model.columnCount(); ++column) {
                QString text = model.index(row, column).data().toString();
                if (text.startsWith("unreadable")) {
                    text = text.section(':', 0, 0) + ": \u2026";
                }
                cells.append(text);
            }
            rows.append(cells.join(" | "));
        }
        return rows;
    }
    QStringList Paths() {
        QStringList paths;
        const QAbstractItemModel& model = *compare_->List().model();
        for (int row = 0; row < model.rowCount(); ++row) {
            paths.append(model.index(row, TCompareModel::kEntryColumn).data().toString());
        }
        return paths;
    }
    QStringList SelectedPaths() {
        QStringList paths;
        for (const QModelIndex& index : compare_->List().selectionModel()->selectedRows()) {
            paths.append(index.data().toString());
        }
        paths.sort();
        return paths;
    }

    void ClickCompareHeader(int column) {
        QHeaderView* header = compare_->List().header();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
    void ClickPath(const QString& path, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        const int row = static_cast<int>(Paths().indexOf(path));
        ASSERT_GE(row, 0) << Utf8(path);
        QTreeView& list = compare_->List();
        const QModelIndex index = list.model()->index(row, 0);
        list.scrollTo(index);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, list.visualRect(index).center());
    }
    void TypeCompareFilter(const QString& text) {
        QLineEdit* filter = compare_->findChild<QLineEdit*>("CompareFilter");
        filter->selectAll();
        QTest::keyClick(filter, Qt::Key_Backspace);
        QTest::keyClicks(filter, text);
    }

    fs::path older_;
    fs::path newer_;
    TCompareWindow* compare_ = nullptr;
};

TEST_F(CompareWindowTest, ListsEachDifferenceWithBothSizesAndCountsThem) {
    TCompareWindow& compare = OpenAndWait();
    EXPECT_EQ(compare.SummaryText(),
              "1 only in older.bsa, 1 only in newer.bsa, 1 with different bytes, 1 the same, 1 unreadable");
    EXPECT_EQ(Lines(Rows()),
              Lines(QStringList({"meshes\\broken.nif | unreadable in newer.bsa: \u2026 | 1 byte | 1 byte",
                                 "textures\\b.dds | different bytes | 5 bytes | 6 bytes",
                                 "textures\\gone.dds | only in older.bsa | 4 bytes | ",
                                 "textures\\new.dds | only in newer.bsa |  | 3 bytes"})));
    EXPECT_FALSE(compare.Model().index(0, 1).data().toString().endsWith(": ")) << "the reason is shown";
    const QAbstractItemModel& model = *compare.List().model();
    EXPECT_EQ(model.headerData(TCompareModel::kSecondSizeColumn, Qt::Horizontal).toString(),
              "Size in newer.bsa");

    // Archives alike say so.
    compare.close();
    Open(older_, older_);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !compare_->Busy(); }, 60000));
    EXPECT_EQ(Utf8(compare_->SummaryText()), "The archives hold the same entries with the same bytes (4).");
    EXPECT_EQ(compare_->List().model()->rowCount(), 0);
}

TEST_F(CompareWindowTest, HeaderClicksSortEveryRowAndKeepTheSelection) {
    OpenAndWait();
    ClickPath("textures\\gone.dds");
    const struct {
        int column;
        QStringList paths; // after the click
    } clicks[] = {
        {TCompareModel::kDifferenceColumn,
         {"textures\\gone.dds", "textures\\new.dds", "textures\\b.dds", "meshes\\broken.nif"}},
        {TCompareModel::kDifferenceColumn,
         {"meshes\\broken.nif", "textures\\b.dds", "textures\\new.dds", "textures\\gone.dds"}},
        // No entry in that archive first, then an unknown size, then the sizes.
        {TCompareModel::kSecondSizeColumn,
         {"textures\\gone.dds", "meshes\\broken.nif", "textures\\new.dds", "textures\\b.dds"}},
        {TCompareModel::kEntryColumn,
         {"meshes\\broken.nif", "textures\\b.dds", "textures\\gone.dds", "textures\\new.dds"}},
        {TCompareModel::kEntryColumn,
         {"textures\\new.dds", "textures\\gone.dds", "textures\\b.dds", "meshes\\broken.nif"}},
    };
    for (const auto& click : clicks) {
        SCOPED_TRACE(click.column);
        ClickCompareHeader(click.column);
        EXPECT_EQ(Lines(Paths()), Lines(click.paths));
        EXPECT_EQ(Lines(SelectedPaths()), "textures\\gone.dds");
        EXPECT_EQ(compare_->List().currentIndex().data().toString(), "textures\\gone.dds");
    }
}

TEST_F(CompareWindowTest, FilterKeepsWhatTheMainWindowsFilterKeeps) {
    OpenAndWait();
    ClickPath("textures\\b.dds");
    ClickPath("textures\\new.dds", Qt::ControlModifier);
    const struct {
        const char* text;
        QStringList paths;
        QStringList selected;
    } cases[] = {
        {"b.dds", {"textures\\b.dds"}, {"textures\\b.dds"}},
        {"TEXTURES\\N", {"textures\\new.dds"}, {"textures\\new.dds"}},
        {"*.dds",
         {"textures\\b.dds", "textures\\gone.dds", "textures\\new.dds"},
         {"textures\\b.dds", "textures\\new.dds"}},
        {"m*s\\?roken.*", {"meshes\\broken.nif"}, {}},
        {"nothing", {}, {}},
        // Rows selected before the filter hid them are selected again.
        {"",
         {"meshes\\broken.nif", "textures\\b.dds", "textures\\gone.dds", "textures\\new.dds"},
         {"textures\\b.dds", "textures\\new.dds"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        TypeCompareFilter(c.text);
        EXPECT_EQ(Lines(Paths()), Lines(c.paths));
        EXPECT_EQ(Lines(SelectedPaths()), Lines(c.selected));
    }
    // Rows chosen while others are hidden replace them.
    TypeCompareFilter("gone");
    ClickPath("textures\\gone.dds");
    TypeCompareFilter("");
    EXPECT_EQ(Lines(SelectedPaths()), "textures\\gone.dds");
    TypeCompareFilter("gone");
    EXPECT_TRUE(compare_->SummaryText().endsWith(", 1 unreadable (1 shown)"))
        << Utf8(compare_->SummaryText());
}

TEST_F(CompareWindowTest, CtrlCCopiesTheSelectedPathsInTheOrderShown) {
    OpenAndWait();
    ClickCompareHeader(TCompareModel::kEntryColumn); // descending
    ClickPath("textures\\b.dds");
    ClickPath("meshes\\broken.nif", Qt::ControlModifier);
    ClickPath("textures\\new.dds", Qt::ControlModifier);
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(&compare_->List(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "textures\\new.dds\ntextures\\b.dds\nmeshes\\broken.nif");
}

TEST_F(CompareWindowTest, ExtractsTheSelectedEntriesOfEitherArchive) {
    OpenAndWait();
    for (const char* path : {"textures\\b.dds", "textures\\gone.dds", "textures\\new.dds"}) {
        ClickPath(path, Qt::ControlModifier);
    }
    const auto read = [](const fs::path& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    const struct {
        const char* action;
        const char* folder;
        std::vector<std::pair<std::string, std::string>> files; // written, with their bytes
        std::string absent;
    } cases[] = {
        {"CompareExtractFirst", "fromOlder", {{"b.dds", "old b"}, {"gone.dds", "gone"}}, "new.dds"},
        {"CompareExtractSecond", "fromNewer", {{"b.dds", "new b!"}, {"new.dds", "new"}}, "gone.dds"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        const fs::path destination = temp_.Path() / c.folder;
        fs::create_directories(destination);
        dialogs_.pickAnswers.push_back(Q(destination));
        compare_->findChild<QAction*>(c.action)->trigger();
        for (const auto& [name, bytes] : c.files) {
            EXPECT_EQ(read(destination / "textures" / name), bytes) << name;
        }
        EXPECT_FALSE(fs::exists(destination / "textures" / c.absent));
    }
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_TRUE(dialogs_.errors.empty());

    // The unreadable entry is reported, not written.
    ClickPath("meshes\\broken.nif");
    dialogs_.pickAnswers.push_back(Q(temp_.Path() / "fromNewer"));
    compare_->findChild<QAction*>("CompareExtractSecond")->trigger();
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_TRUE(dialogs_.messages[0].text.contains("meshes\\broken.nif")) << Utf8(dialogs_.messages[0].text);
    EXPECT_FALSE(fs::exists(temp_.Path() / "fromNewer" / "meshes" / "broken.nif"));
}

TEST_F(CompareWindowTest, RowsShowWhileTheComparisonRunsAndClosingStopsIt) {
    // Enough entries that progress is reported before the end.
    std::vector<fixture::EntrySpec> many[2];
    for (int i = 0; i < 10'000; ++i) {
        const std::string name = "e" + std::to_string(i) + ".txt";
        many[0].push_back(Entry(name, std::to_string(i), fixture::Storage::Raw));
        many[1].push_back(Entry(name, std::to_string(i % 2 == 0 ? i : -i), fixture::Storage::Raw));
    }
    const fs::path first = WriteArchive("many/first.bsa", Recipe({{"data", many[0]}}));
    const fs::path second = WriteArchive("many/second.bsa", Recipe({{"data", many[1]}}));
    // The comparison holds after its first rows were handed over, until the window is closed.
    std::atomic<bool> held{false};
    std::atomic<bool> releasedByCancel{false};
    Open(first, second, [&](const std::atomic<bool>& cancelled) {
        held.store(true);
        while (!cancelled.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        releasedByCancel.store(true);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return compare_->List().model()->rowCount() > 0; }, 60000));
    EXPECT_TRUE(held.load());
    EXPECT_TRUE(compare_->Busy());
    EXPECT_TRUE(compare_->SummaryText().startsWith("Comparing\u2026")) << Utf8(compare_->SummaryText());
    EXPECT_FALSE(compare_->findChild<QAction*>("CompareExtractFirst")->isEnabled());
    compare_->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(releasedByCancel.load());
    EXPECT_EQ(Form().findChild<TCompareWindow*>("CompareWindow"), nullptr);
    QApplication::processEvents(); // nothing queued to the window is left to run

    // Closed at once, while the archives are still being opened or their sizes read.
    Open(first, second);
    compare_->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Form().findChild<TCompareWindow*>("CompareWindow"), nullptr);
    QApplication::processEvents();
}

// Rows handed to the model in batches, under every sort and a filter, stand where sorting and filtering all
// of them at once puts them.
TEST(CompareModel, BatchesTakeTheirSortedPlaces) {
    // One archive names the rows on both sides: row i is its entry i, "rows\r<1000 + i>_keep" for every
    // third.
    constexpr int kRows = 100;
    std::vector<fixture::EntrySpec> files;
    for (int path = 0; path < kRows; ++path) {
        files.push_back(Entry("r" + std::to_string(1000 + path) + (path % 3 == 0 ? "_keep" : "_drop"), "x"));
    }
    fixture::TempFolder temp;
    const auto archive = std::make_shared<const TwbBSAFile>(
        temp.Write("rows.bsa", fixture::BuildArchive(Recipe({{"rows", files}}))));
    const auto makeBatch = [](int firstPath, int count) {
        TCompareBatch batch;
        for (int i = 0; i < count; ++i) {
            const int path = firstPath + i;
            TCompareRow row;
            row.kind = static_cast<TCompareKind>(path * 7 % 5);
            const bool inFirst = row.kind != TCompareKind::OnlyInSecond;
            const bool inSecond = row.kind != TCompareKind::OnlyInFirst;
            row.entries[0] = inFirst ? static_cast<TEntryRef>(path) : TCompareRow::kNoEntry;
            row.entries[1] = inSecond ? static_cast<TEntryRef>(path) : TCompareRow::kNoEntry;
            row.sizes[0] = path % 4 == 0 ? TCompareRow::kSizeUnknown : static_cast<uint32_t>(path * 37 % 11);
            row.sizes[1] = static_cast<uint32_t>(path % 6);
            if (row.kind == TCompareKind::UnreadableInFirst || row.kind == TCompareKind::UnreadableInSecond) {
                batch.reasons.emplace_back(static_cast<uint32_t>(i),
                                           u"damaged " +
                                               std::u16string(1, static_cast<char16_t>(u'0' + path % 10)));
            }
            batch.rows.push_back(row);
        }
        return batch;
    };
    const auto texts = [](const TCompareModel& model) {
        QStringList rows;
        for (int row = 0; row < model.rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < model.columnCount(); ++column) {
                cells.append(model.index(row, column).data().toString());
            }
            rows.append(cells.join('|'));
        }
        return rows;
    };
    for (int column = 0; column < TCompareModel::kColumnCount; ++column) {
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            for (const char16_t* filter : {u"", u"keep"}) {
                SCOPED_TRACE(std::to_string(column) + (order == Qt::AscendingOrder ? " up " : " down ") +
                             (filter[0] != 0 ? "filtered" : ""));
                TCompareModel inBatches(QStringLiteral("a.bsa"), QStringLiteral("b.bsa"));
                inBatches.SetArchives(archive, archive);
                QAbstractItemModelTester tester(&inBatches,
                                                QAbstractItemModelTester::FailureReportingMode::Warning);
                inBatches.SetFilter(filter);
                inBatches.sort(column, order);
                // Small batches land in a few runs; a large one under a size sort falls into many.
                inBatches.Append(makeBatch(0, 3));
                inBatches.Append(makeBatch(3, 7));
                inBatches.Append(makeBatch(10, 90));
                TCompareModel atOnce(QStringLiteral("a.bsa"), QStringLiteral("b.bsa"));
                atOnce.SetArchives(archive, archive);
                TCompareBatch all = makeBatch(0, kRows);
                atOnce.Append(std::move(all));
                atOnce.SetFilter(filter);
                atOnce.sort(column, order);
                EXPECT_EQ(Lines(texts(inBatches)), Lines(texts(atOnce)));
                EXPECT_EQ(inBatches.ShownCount(), filter[0] != 0 ? 34 : 100);
            }
        }
    }
}

} // namespace
} // namespace apptest
