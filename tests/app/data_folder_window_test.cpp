// Several archives in one list: a Data folder opened in load order, the Archive column, overridden rows
// dimmed with their winner in the tooltip, "Conflicts only", the archive pane's counts and tick boxes,
// extraction of rows of several archives (winners only, and overridden rows reported, not failed), a
// damaged archive listed as failed while the others open, archives dropped together, and the Data folder's
// loose files shown, previewed and extracted on request.
#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QDrag>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <cerrno>
#include <fstream>
#include <map>
#include <tuple>

#include "app/archive_pane.h"
#include "app/compare_window.h"
#include "app/preview_window.h"
#include "data_folder/data_folder.h"
#include "fixtures/file_tree.h"
#include "platform/file.h"
#include "tests/app/app_test_support.h"
#include "tests/app/archive_pane_menu.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;

// The files below a folder, with their bytes.
std::map<std::string, std::string> FilesWithBytes(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            const std::vector<uint8_t> bytes = fixture::ReadWholeFile(entry.path());
            files[fs::relative(entry.path(), folder).generic_string()] =
                std::string(bytes.begin(), bytes.end());
        }
    }
    return files;
}

// Three archives the game loads in this order without an INI file ("Skyrim - " first, then the masters'
// archives), each overriding the one before, and one it does not load.
class DataFolderWindowTest : public WindowTest {
protected:
    DataFolderWindowTest() {
        data_ = temp_.Path() / "game" / "Data";
        WriteArchive("game/Data/Skyrim - Base.bsa",
                     Recipe({{"meshes", {Entry("m.nif", "base m")}},
                             {"textures", {Entry("a.dds", "base a"), Entry("only.dds", "only base")}}}));
        WriteArchive("game/Data/Update.bsa", Recipe({{"meshes", {Entry("m.nif", "update m")}},
                                                     {"textures", {Entry("a.dds", "update a")}}}));
        WriteArchive("game/Data/Dawnguard.bsa", Recipe({{"textures", {Entry("a.dds", "dawnguard a")}}}));
        WriteArchive("game/Data/Mod.bsa", Recipe({{"textures", {Entry("a.dds", "mod a")}}}));
        // A plugins.txt of the user's would change the order: one without active plugins is given.
        plugins_ = temp_.Path() / "plugins.txt";
        std::ofstream(plugins_) << "# no plugins\nMod.esp\n";
    }

    TForm1& OpenData() {
        TForm1& form = CreateWindow();
        form.SetLoadOrderFiles({u"", U16(plugins_), u"", u""});
        dialogs_.pickAnswers.push_back(Q(data_));
        Action("OpenDataFolder1")->trigger();
        EXPECT_TRUE(WaitForOpening());
        return form;
    }

    QTreeWidget& ArchiveList() { return *Control<QTreeWidget>("ArchiveList"); }

    // "Extract winners only…" of the selected rows, answered with folder (made first): the files written.
    std::map<std::string, std::string> ExtractWinnersTo(const fs::path& folder) {
        fs::create_directories(folder);
        dialogs_.pickAnswers.push_back(Q(folder));
        Action("ExtractWinners1")->trigger();
        return FilesWithBytes(folder);
    }

    // The archive pane's rows: name, wins, losses, how it was placed, ticked or not.
    QStringList PaneRows() {
        QStringList rows;
        QTreeWidget& list = ArchiveList();
        for (int i = 0; i < list.topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = list.topLevelItem(i);
            const QVariant check = item->data(0, Qt::CheckStateRole);
            rows.append(QStringLiteral("%1%2 %3/%4 %5")
                            .arg(check.isValid() ? (check.toInt() == Qt::Checked ? "[x] " : "[ ] ") : "")
                            .arg(item->text(0), item->text(1), item->text(2), item->text(3)));
        }
        return rows;
    }

    // The shown rows as "entry @ archive", dimmed ones marked.
    QStringList ShownRows() {
        QStringList rows;
        const QColor dimmed = QPalette().color(QPalette::Disabled, QPalette::Text);
        for (int row = 0; row < Model().rowCount(); ++row) {
            const QVariant foreground =
                Model().index(row, TBrowserModel::kFileColumn).data(Qt::ForegroundRole);
            const bool isDimmed = foreground.isValid() && foreground.value<QColor>() == dimmed;
            rows.append(Model().index(row, TBrowserModel::kPathColumn).data().toString() +
                        Model().index(row, TBrowserModel::kFileColumn).data().toString() + " @ " +
                        Model().index(row, TBrowserModel::kArchiveColumn).data().toString() +
                        (isDimmed ? " (dimmed)" : ""));
        }
        return rows;
    }

    int ShownRowOf(const QString& shownRow) { return static_cast<int>(ShownRows().indexOf(shownRow)); }

    void Untick(const QString& archive, bool ticked = false) {
        const QList<QTreeWidgetItem*> found = ArchiveList().findItems(archive, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << Utf8(archive);
        found[0]->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
        QApplication::processEvents();
    }

    fs::path data_;
    fs::path plugins_;
};

TEST_F(DataFolderWindowTest, OpensTheFolderInLoadOrderWithOverriddenRowsDimmed) {
    TForm1& form = OpenData();
    ASSERT_NE(form.DataFolder(), nullptr);
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_TRUE(dialogs_.errors.empty());
    EXPECT_FALSE(Tree()->header()->isSectionHidden(TBrowserModel::kArchiveColumn));
    EXPECT_EQ(Model().headerData(TBrowserModel::kArchiveColumn, Qt::Horizontal).toString(), "Archive");
    // Mod.bsa is not loaded: its row is not shown.
    EXPECT_EQ(
        ShownRows(),
        QStringList({"meshes\\m.nif @ Skyrim - Base.bsa (dimmed)", "meshes\\m.nif @ Update.bsa",
                     "textures\\a.dds @ Skyrim - Base.bsa (dimmed)", "textures\\a.dds @ Update.bsa (dimmed)",
                     "textures\\a.dds @ Dawnguard.bsa", "textures\\only.dds @ Skyrim - Base.bsa"}));
    EXPECT_EQ(Model().index(2, TBrowserModel::kFileColumn).data(Qt::ToolTipRole).toString(),
              "From Skyrim - Base.bsa, overridden by Dawnguard.bsa");
    EXPECT_EQ(Model().index(4, TBrowserModel::kPathColumn).data(Qt::ToolTipRole).toString(),
              "From Dawnguard.bsa, which overrides 2 other archives");

    EXPECT_TRUE(Control<QDockWidget>("ArchiveDock")->isVisible());
    EXPECT_EQ(PaneRows(),
              QStringList({"[x] Skyrim - Base.bsa 1/2 name order (Skyrim - )",
                           "[x] Update.bsa 1/1 plugin Update.esm",
                           "[x] Dawnguard.bsa 1/0 plugin Dawnguard.esm", "[ ] Mod.bsa / not loaded"}));
    // What decided the order, in the pane and the status panel.
    const QString order = form.ArchivePane().OrderText();
    EXPECT_TRUE(order.contains("\"Skyrim - \" archives in name order")) << Utf8(order);
    EXPECT_TRUE(order.contains(Q(plugins_))) << Utf8(order);
    EXPECT_TRUE(form.StatusPanelText(1).startsWith(Q(data_))) << Utf8(form.StatusPanelText(1));
    EXPECT_TRUE(form.StatusPanelText(1).contains("name order")) << Utf8(form.StatusPanelText(1));
    EXPECT_EQ(form.RowCountsText(), "6 / 7 rows, 0 selected");

    // Closing goes back to the one-archive window.
    Action("CloseArchive1")->trigger();
    EXPECT_EQ(form.DataFolder(), nullptr);
    EXPECT_FALSE(Control<QDockWidget>("ArchiveDock")->isVisible());
    EXPECT_TRUE(Tree()->header()->isSectionHidden(TBrowserModel::kArchiveColumn));
    EXPECT_EQ(Model().NodeCount(), 0);
}

TEST_F(DataFolderWindowTest, ConflictsOnlyKeepsPathsOfSeveralArchivesTogetherWithTheFilterAndSorts) {
    OpenData();
    QAction* conflicts = Action("ConflictsOnly1");
    conflicts->trigger();
    EXPECT_TRUE(conflicts->isChecked());
    const QStringList both = {"meshes\\m.nif @ Skyrim - Base.bsa (dimmed)", "meshes\\m.nif @ Update.bsa",
                              "textures\\a.dds @ Skyrim - Base.bsa (dimmed)",
                              "textures\\a.dds @ Update.bsa (dimmed)", "textures\\a.dds @ Dawnguard.bsa"};
    EXPECT_EQ(ShownRows(), both);
    // Sorted by file name, descending: each path's rows stay together, in load order.
    ClickHeader(TBrowserModel::kFileColumn);
    ClickHeader(TBrowserModel::kFileColumn);
    EXPECT_EQ(ShownRows(), QStringList({both[0], both[1], both[2], both[3], both[4]}));
    ClickHeader(TBrowserModel::kFileColumn);
    EXPECT_EQ(ShownRows(), QStringList({both[2], both[3], both[4], both[0], both[1]}));
    TypeFilter("nif");
    EXPECT_EQ(ShownRows(), QStringList({both[0], both[1]}));
    conflicts->trigger();
    EXPECT_EQ(ShownRows(), QStringList({both[0], both[1]}));
}

TEST_F(DataFolderWindowTest, UntickingAnArchiveShowsTheListWithoutIt) {
    TForm1& form = OpenData();
    Untick("Dawnguard.bsa");
    EXPECT_EQ(ShownRows(),
              QStringList({"meshes\\m.nif @ Skyrim - Base.bsa (dimmed)", "meshes\\m.nif @ Update.bsa",
                           "textures\\a.dds @ Skyrim - Base.bsa (dimmed)", "textures\\a.dds @ Update.bsa",
                           "textures\\only.dds @ Skyrim - Base.bsa"}));
    EXPECT_EQ(PaneRows(),
              QStringList({"[x] Skyrim - Base.bsa 1/2 name order (Skyrim - )",
                           "[x] Update.bsa 2/0 plugin Update.esm", "[ ] Dawnguard.bsa / plugin Dawnguard.esm",
                           "[ ] Mod.bsa / not loaded"}));
    // An archive the game does not load, taken in, wins as the last.
    Untick("Mod.bsa", true);
    EXPECT_EQ(ShownRowOf("textures\\a.dds @ Mod.bsa"), 4);
    EXPECT_EQ(ShownRowOf("textures\\a.dds @ Update.bsa (dimmed)"), 3);
    Action("ConflictsOnly1")->trigger();
    EXPECT_EQ(ShownRows().size(), 5);
    EXPECT_EQ(form.DataFolder()->table.Wins(3), 1u);
}

TEST_F(DataFolderWindowTest, ExtractsWhatTheGameSeesAndReportsOverriddenRowsAsSuch) {
    const std::map<std::string, std::string> gameSees = {
        {"meshes/m.nif", "update m"}, {"textures/a.dds", "dawnguard a"}, {"textures/only.dds", "only base"}};
    OpenData();
    SelectAllRows();
    EXPECT_EQ(ExtractWinnersTo(temp_.Path() / "winners"), gameSees);
    EXPECT_TRUE(dialogs_.errors.empty());
    EXPECT_TRUE(dialogs_.messages.empty());

    // Every row: the same files, and the rows of earlier archives named as overridden, no failure.
    const fs::path all = temp_.Path() / "all";
    fs::create_directories(all);
    ExtractTo(all);
    EXPECT_EQ(FilesWithBytes(all), gameSees);
    EXPECT_TRUE(dialogs_.errors.empty());
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    const QString report = dialogs_.messages[0].text;
    EXPECT_TRUE(
        report.startsWith("3 files were written. 3 entries were overridden by the same path later in the "
                          "load order, whose file was written instead:"))
        << Utf8(report);
    EXPECT_TRUE(report.contains("Skyrim - Base.bsa: textures\\a.dds (overridden by Dawnguard.bsa)"))
        << Utf8(report);
    EXPECT_TRUE(report.contains("Update.bsa: textures\\a.dds (overridden by Dawnguard.bsa)")) << Utf8(report);
    EXPECT_TRUE(report.contains("Skyrim - Base.bsa: meshes\\m.nif (overridden by Update.bsa)"))
        << Utf8(report);

    // One overridden row alone is written: it is what was asked for.
    const fs::path one = temp_.Path() / "one";
    fs::create_directories(one);
    ClickRow(ShownRowOf("textures\\a.dds @ Skyrim - Base.bsa (dimmed)"));
    ExtractTo(one);
    EXPECT_EQ(FilesWithBytes(one), (std::map<std::string, std::string>{{"textures/a.dds", "base a"}}));
}

TEST_F(DataFolderWindowTest, DraggedRowsAndTheFolderTreesExtractWriteTheWinnerOfEachPath) {
    TForm1& form = OpenData();
    std::map<std::string, std::string> dragged;
    form.SetDragHook([&](QDrag&) { dragged = FilesWithBytes(fs::path(Utf8(form.DragFolder()))); });
    ClickRow(ShownRowOf("textures\\a.dds @ Skyrim - Base.bsa (dimmed)"));
    ClickRow(ShownRowOf("textures\\a.dds @ Dawnguard.bsa"), Qt::ControlModifier);
    DragRow(ShownRowOf("textures\\a.dds @ Dawnguard.bsa"));
    EXPECT_EQ(dragged, (std::map<std::string, std::string>{{"textures/a.dds", "dawnguard a"}}));
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_TRUE(dialogs_.messages[0].text.contains(
        "Skyrim - Base.bsa: textures\\a.dds (overridden by Dawnguard.bsa)"))
        << Utf8(dialogs_.messages[0].text);

    // The folder tree holds every archive's folders; its "Extract…" writes what the list shows below one.
    Action("FolderTree1")->trigger();
    auto* tree = Control<QTreeWidget>("FolderTree");
    const QList<QTreeWidgetItem*> textures =
        tree->findItems("textures", Qt::MatchStartsWith | Qt::MatchRecursive);
    ASSERT_EQ(textures.size(), 1);
    const fs::path out = temp_.Path() / "tree";
    fs::create_directories(out);
    dialogs_.pickAnswers.push_back(Q(out));
    form.ExtractFolderClick(u"textures");
    EXPECT_EQ(FilesWithBytes(out), (std::map<std::string, std::string>{{"textures/a.dds", "dawnguard a"},
                                                                       {"textures/only.dds", "only base"}}));
}

TEST_F(DataFolderWindowTest, EnterPreviewsTheRowsEntryFromItsOwnArchive) {
    OpenData();
    for (const auto& [row, bytes] : {std::pair{QString("meshes\\m.nif @ Skyrim - Base.bsa (dimmed)"), 6},
                                     std::pair{QString("meshes\\m.nif @ Update.bsa"), 8}}) {
        ClickRow(ShownRowOf(row));
        QTest::keyClick(Tree(), Qt::Key_Return);
        QApplication::processEvents();
        TPreviewWindow* preview = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<TPreviewWindow*>(widget); window && window->isVisible()) {
                preview = window;
            }
        }
        ASSERT_NE(preview, nullptr) << Utf8(row);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !preview->Busy(); }, 60000));
        EXPECT_TRUE(preview->InfoText().startsWith(QStringLiteral("Text, %1 bytes; ").arg(bytes)))
            << Utf8(preview->InfoText());
        preview->close();
        delete preview;
    }
}

TEST_F(DataFolderWindowTest, LooseFilesOverrideTheArchivesAndArePreviewedAndExtractedAsTheGameSeesThem) {
    fs::create_directories(data_ / "textures");
    fs::create_directories(data_ / "meshes" / "extra");
    std::ofstream(data_ / "textures" / "a.dds", std::ios::binary) << "loose a";
    std::ofstream(data_ / "meshes" / "extra" / "other.nif", std::ios::binary) << "other";
    TForm1& form = OpenData();
    form.SetDragHook([&](QDrag&) {});
    QAction* loose = Action("LooseFiles1");
    ASSERT_TRUE(loose->isEnabled());
    EXPECT_FALSE(loose->isChecked());
    EXPECT_EQ(ShownRows().size(), 6);

    Action("FolderTree1")->trigger();
    loose->trigger();
    ASSERT_TRUE(WaitForOpening());
    ASSERT_TRUE(loose->isChecked());
    ASSERT_NE(form.DataFolder(), nullptr);
    EXPECT_EQ(
        ShownRows(),
        QStringList({"meshes\\m.nif @ Skyrim - Base.bsa (dimmed)", "meshes\\m.nif @ Update.bsa",
                     "meshes\\extra\\other.nif @ loose files", "textures\\a.dds @ Skyrim - Base.bsa (dimmed)",
                     "textures\\a.dds @ Update.bsa (dimmed)", "textures\\a.dds @ Dawnguard.bsa (dimmed)",
                     "textures\\a.dds @ loose files", "textures\\only.dds @ Skyrim - Base.bsa"}));
    EXPECT_EQ(Model()
                  .index(ShownRowOf("textures\\a.dds @ Dawnguard.bsa (dimmed)"), TBrowserModel::kFileColumn)
                  .data(Qt::ToolTipRole)
                  .toString(),
              "From Dawnguard.bsa, overridden by loose files");
    // The folder tree holds the loose files' folders; a loose file's size is the one the folder listing
    // found, stored as it is.
    EXPECT_EQ(Control<QTreeWidget>("FolderTree")
                  ->findItems("extra", Qt::MatchStartsWith | Qt::MatchRecursive)
                  .size(),
              1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Model().SizesKnown(); }, 60000));
    for (const auto& [row, size, stored] :
         {std::tuple{"meshes\\m.nif @ Update.bsa", "8 bytes", ""},
          std::tuple{"textures\\a.dds @ loose files", "7 bytes", "raw"},
          std::tuple{"meshes\\extra\\other.nif @ loose files", "5 bytes", "raw"}}) {
        EXPECT_EQ(Model().index(ShownRowOf(row), TBrowserModel::kSizeColumn).data().toString(), size) << row;
        if (*stored != '\0') {
            EXPECT_EQ(Model().index(ShownRowOf(row), TBrowserModel::kStoredColumn).data().toString(), stored)
                << row;
        }
    }

    // Enter previews a loose file's own bytes, as it does an archive's entry.
    ClickRow(ShownRowOf("meshes\\extra\\other.nif @ loose files"));
    QTest::keyClick(Tree(), Qt::Key_Return);
    QApplication::processEvents();
    TPreviewWindow* preview = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<TPreviewWindow*>(widget); window && window->isVisible()) {
            preview = window;
        }
    }
    ASSERT_NE(preview, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !preview->Busy(); }, 60000));
    EXPECT_EQ(preview->ShownKind(), TPreviewWindow::Kind::Text) << Utf8(preview->InfoText());
    EXPECT_EQ(preview->findChild<QPlainTextEdit*>("PreviewText")->toPlainText(), "other");
    EXPECT_TRUE(preview->InfoText().startsWith("Text, 5 bytes; raw, 5 bytes stored"))
        << Utf8(preview->InfoText());
    preview->close();
    delete preview;
    EXPECT_TRUE(dialogs_.messages.empty());

    // Winners only writes what the game sees: the loose files over every archive.
    const std::map<std::string, std::string> gameSees = {{"meshes/m.nif", "update m"},
                                                         {"meshes/extra/other.nif", "other"},
                                                         {"textures/a.dds", "loose a"},
                                                         {"textures/only.dds", "only base"}};
    SelectAllRows();
    EXPECT_EQ(ExtractWinnersTo(temp_.Path() / "winners"), gameSees);
    EXPECT_TRUE(dialogs_.errors.empty());
    EXPECT_TRUE(dialogs_.messages.empty());

    // Every row: the same files; the archives' rows a loose file overrides are named, no failure.
    const fs::path all = temp_.Path() / "all";
    fs::create_directories(all);
    ExtractTo(all);
    EXPECT_EQ(FilesWithBytes(all), gameSees);
    EXPECT_TRUE(dialogs_.errors.empty());
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    const QString report = dialogs_.messages[0].text;
    EXPECT_TRUE(report.startsWith("4 files were written. 4 entries were overridden")) << Utf8(report);
    EXPECT_TRUE(report.contains("Dawnguard.bsa: textures\\a.dds (overridden by loose files)"))
        << Utf8(report);
    dialogs_.messages.clear();

    // A loose row dragged out carries its file.
    std::map<std::string, std::string> dragged;
    form.SetDragHook([&](QDrag&) { dragged = FilesWithBytes(fs::path(Utf8(form.DragFolder()))); });
    ClickRow(ShownRowOf("textures\\a.dds @ loose files"));
    DragRow(ShownRowOf("textures\\a.dds @ loose files"));
    EXPECT_EQ(dragged, (std::map<std::string, std::string>{{"textures/a.dds", "loose a"}}));
    EXPECT_TRUE(dialogs_.errors.empty());

    // A loose file that went since the folder was read fails with the system's reason, never as written.
    fs::remove(data_ / "textures" / "a.dds");
    ClickRow(ShownRowOf("textures\\a.dds @ loose files"));
    const fs::path gone = temp_.Path() / "gone";
    fs::create_directories(gone);
    ExtractTo(gone);
    EXPECT_TRUE(FilesWithBytes(gone).empty());
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_TRUE(dialogs_.messages[0].text.contains(
        Q(u"loose files: textures\\a.dds (" + platform::SystemErrorText(ENOENT) + u")")))
        << Utf8(dialogs_.messages[0].text);

    // Off again: the archives alone.
    loose->trigger();
    ASSERT_TRUE(WaitForOpening());
    EXPECT_FALSE(loose->isChecked());
    EXPECT_EQ(ShownRows().size(), 6);
}

TEST_F(DataFolderWindowTest, ADamagedArchiveIsListedAsFailedWhileTheOthersOpen) {
    std::ofstream(data_ / "Broken.bsa", std::ios::binary) << "BSA\0 this is no archive";
    OpenData();
    EXPECT_EQ(ShownRows().size(), 6);
    const QStringList rows = PaneRows();
    ASSERT_EQ(rows.size(), 5);
    EXPECT_TRUE(rows[4].startsWith("Broken.bsa / failed: ")) << Utf8(rows[4]);
    EXPECT_TRUE(dialogs_.errors.empty());
}

TEST_F(DataFolderWindowTest, ArchivesDroppedTogetherLoadInTheOrderGiven) {
    TForm1& form = CreateWindow();
    Drop({data_ / "Dawnguard.bsa", data_ / "Skyrim - Base.bsa"});
    ASSERT_TRUE(WaitForOpening());
    ASSERT_NE(form.DataFolder(), nullptr);
    EXPECT_EQ(ShownRows(),
              QStringList({"meshes\\m.nif @ Skyrim - Base.bsa", "textures\\a.dds @ Dawnguard.bsa (dimmed)",
                           "textures\\a.dds @ Skyrim - Base.bsa", "textures\\only.dds @ Skyrim - Base.bsa"}));
    EXPECT_EQ(form.ArchivePane().OrderText(), "Order: as given");
    EXPECT_FALSE(Action("LooseFiles1")->isEnabled()); // no Data folder to find them in

    // Chosen together in "Open archive": the same, in the order chosen.
    dialogs_.openManyAnswers.push_back({Q(data_ / "Skyrim - Base.bsa"), Q(data_ / "Dawnguard.bsa")});
    Action("Openarchive1")->trigger();
    ASSERT_TRUE(WaitForOpening());
    ASSERT_NE(form.DataFolder(), nullptr);
    EXPECT_EQ(ShownRowOf("textures\\a.dds @ Skyrim - Base.bsa (dimmed)"), 1);
    EXPECT_EQ(ShownRowOf("textures\\a.dds @ Dawnguard.bsa"), 2);

    // A folder dropped opens as a Data folder; a single archive as always, without the Archive column.
    Drop({data_});
    ASSERT_TRUE(WaitForOpening());
    EXPECT_EQ(form.DataFolder()->sources.size(), 4u);
    Drop({data_ / "Update.bsa"});
    EXPECT_EQ(form.DataFolder(), nullptr);
    EXPECT_TRUE(Tree()->header()->isSectionHidden(TBrowserModel::kArchiveColumn));
    EXPECT_EQ(VisibleEntries(), QStringList({"meshes\\m.nif", "textures\\a.dds"}));
}

TEST_F(DataFolderWindowTest, APluginsFileGivenInThePaneReordersTheFolder) {
    TForm1& form = OpenData();
    const fs::path active = temp_.Path() / "active.txt";
    std::ofstream(active) << "*Mod.esp\n";
    dialogs_.openAnswers.push_back(Q(active));
    ChooseInPaneMenu(form, "ArchivePanePlugins", "Choose");
    ASSERT_TRUE(WaitForOpening());
    ASSERT_NE(form.DataFolder(), nullptr);
    EXPECT_EQ(PaneRows().last(), "[x] Mod.bsa 1/0 plugin Mod.esp");
    EXPECT_EQ(ShownRowOf("textures\\a.dds @ Mod.bsa"), 5);
    EXPECT_TRUE(form.ArchivePane().OrderText().contains(Q(active)));
}

TEST_F(DataFolderWindowTest, ComparesTwoArchivesOffTheWindowsThread) {
    CreateWindow();
    const fs::path older = WriteArchive(
        "mod/old.bsa",
        Recipe({{"textures", {Entry("a.dds", "same"), Entry("b.dds", "old b"), Entry("gone.dds", "gone")}}}));
    const fs::path newer =
        WriteArchive("mod/new.bsa", Recipe({{"textures",
                                             {Entry("A.dds", "same", fixture::Storage::Zlib),
                                              Entry("b.dds", "new b", fixture::Storage::Zlib),
                                              Entry("new.dds", "new", fixture::Storage::Zlib)}}},
                                           104));
    dialogs_.openAnswers = {Q(older), Q(newer)};
    Action("CompareArchives1")->trigger();
    auto* compare = Form().findChild<TCompareWindow*>("CompareWindow");
    ASSERT_NE(compare, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !compare->Busy(); }, 60000));
    EXPECT_EQ(compare->SummaryText(),
              "1 only in old.bsa, 1 only in new.bsa, 1 with different bytes, 1 the same");
    QStringList rows;
    const QAbstractItemModel& model = *compare->List().model();
    for (int i = 0; i < model.rowCount(); ++i) {
        rows.append(model.index(i, 0).data().toString() + " | " + model.index(i, 1).data().toString());
    }
    EXPECT_EQ(rows, QStringList({"textures\\b.dds | different bytes", "textures\\gone.dds | only in old.bsa",
                                 "textures\\new.dds | only in new.bsa"}));
    compare->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Form().findChild<TCompareWindow*>("CompareWindow"), nullptr);

    // An archive that cannot be read says so.
    const fs::path broken = temp_.Path() / "mod" / "broken.bsa";
    std::ofstream(broken) << "BSA";
    dialogs_.openAnswers = {Q(older), Q(broken)};
    Action("CompareArchives1")->trigger();
    compare = Form().findChild<TCompareWindow*>("CompareWindow");
    ASSERT_NE(compare, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !compare->Busy(); }, 60000));
    EXPECT_TRUE(compare->SummaryText().startsWith("Cannot compare: ")) << Utf8(compare->SummaryText());
}

} // namespace
} // namespace apptest
