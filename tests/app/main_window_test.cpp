// The main window: its start, controls and layout, opening an archive from the menu, by a drop and from the
// command line, a failed open, closing the archive, and the error box of the handlers.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <fstream>

#include "app/dialogs.h"
#include "app/elided_label.h"
#include "app/image_list.h"
#include "data_folder/data_folder.h"
#include "fixtures/file_tree.h"
#include "fixtures/system_errors.h"
#include "platform/directories.h"
#include "platform/native_path.h"
#include "tests/app/app_test_support.h"

namespace apptest {
namespace {

QImage Picture(const QIcon& icon, QIcon::Mode mode = QIcon::Normal) {
    return icon.pixmap(QSize(16, 16), mode).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage Picture(const TImageList& images, int index) {
    return images.Image(index).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

bool IsBlank(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0) {
                return false;
            }
        }
    }
    return true;
}

// Three entries in two folders; the reader lists folders and files in name order.
fixture::ArchiveSpec SmallArchive() {
    return Recipe({
        {"textures", {Entry("iron.dds", "texture")}},
        {"meshes\\actors", {Entry("walk.hkx", "animation"), Entry("body.nif", "mesh")}},
    });
}
const QStringList kSmallArchiveEntries = {"meshes\\actors\\body.nif", "meshes\\actors\\walk.hkx",
                                          "textures\\iron.dds"};

fixture::ArchiveSpec OtherArchive() {
    return Recipe({{"sound\\fx", {Entry("swing.wav", "sound")}}});
}

class MainWindowTest : public WindowTest {};

TEST_F(MainWindowTest, StartsWithItsCaptionMenuAndControlsInPlace) {
    TForm1& form = CreateWindow();
    EXPECT_EQ(form.windowTitle(), "Parlivex (Skyrim/SkyrimSE) - v1.0.3");
    const TImageList* images = form.findChild<TImageList*>("ImageList1");
    ASSERT_NE(images, nullptr);

    ASSERT_NE(Control<QMenuBar>("MainMenu1"), nullptr);
    QMenu* files = Control<QMenu>("Files1");
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(files->title(), "&Files") << "Alt+F opens it";
    struct Item {
        const char* name;
        const char* text;
        int icon; // -1: none
        const char* shortcut;
        bool enabled; // with no archive open
        bool separator;
    };
    const Item items[] = {{"Openarchive1", "Open archive", 9, "Ctrl+O", true, false},
                          {"OpenDataFolder1", "Open Data folder\u2026", -1, "Ctrl+Shift+O", true, false},
                          {"CancelOpening1", "Cancel opening", -1, "Esc", false, false}, // hidden
                          {"extract1", "Extract selection", 27, "Ctrl+E", false, false},
                          {"ExtractWinners1", "Extract winners only\u2026", -1, "", false, false},
                          {"CompareArchives1", "Compare archives\u2026", -1, "", true, false},
                          {"N1", "", -1, "", true, true},
                          {"CloseArchive1", "CloseArchive", 12, "Ctrl+W", false, false},
                          {"N2", "", -1, "", true, true},
                          {"Exit1", "Exit", -1, "Ctrl+Q", true, false}};
    ASSERT_EQ(files->actions().size(), std::ssize(items));
    for (int i = 0; i < std::ssize(items); ++i) {
        QAction* action = files->actions().at(i);
        EXPECT_EQ(action->objectName(), items[i].name);
        EXPECT_EQ(action->text(), items[i].text);
        EXPECT_EQ(action->isSeparator(), items[i].separator);
        EXPECT_EQ(action->shortcut().toString(), items[i].shortcut) << items[i].name;
        EXPECT_EQ(action->isEnabled(), items[i].enabled) << items[i].name;
        if (items[i].icon >= 0) {
            EXPECT_EQ(Picture(action->icon()), Picture(*images, items[i].icon)) << items[i].name;
        } else {
            EXPECT_TRUE(action->icon().isNull()) << items[i].name;
        }
    }
    EXPECT_FALSE(Action("CancelOpening1")->isVisible()); // shown only while archives are being opened

    QLineEdit* filter = Control<QLineEdit>("ButtonedEdit1");
    EXPECT_EQ(filter->height(), 21);
    EXPECT_EQ(filter->width(), form.centralWidget()->width());
    QAction* left = Action("ButtonedEdit1LeftButton");
    QAction* right = Action("ButtonedEdit1RightButton");
    EXPECT_FALSE(left->isEnabled());
    EXPECT_EQ(Picture(left->icon(), QIcon::Disabled), Picture(*images, 13)) << "not greyed out";
    EXPECT_TRUE(right->isEnabled());
    EXPECT_EQ(Picture(right->icon()), Picture(*images, 12));

    QStatusBar* statusBar = Control<QStatusBar>("StatusBar1");
    EXPECT_EQ(statusBar->height(), 19);
    EXPECT_EQ(Control<QLabel>("StatusPanel0")->width(), 100);
    EXPECT_EQ(form.centralWidget()->width(), 603);
    EXPECT_EQ(form.centralWidget()->height() + statusBar->height(), 488);
    EXPECT_EQ(form.font().pointSize(), 8);

    // The list: flat rows, whole-row multi-selection, three movable columns without sort arrows.
    QTreeView* tree = Tree();
    QHeaderView* header = tree->header();
    EXPECT_EQ(tree->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(tree->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_FALSE(tree->rootIsDecorated());
    EXPECT_TRUE(tree->uniformRowHeights());
    EXPECT_FALSE(header->isSortIndicatorShown());
    EXPECT_TRUE(header->sectionsMovable());
    EXPECT_TRUE(header->isFirstSectionMovable());
    EXPECT_EQ(header->sectionResizeMode(1), QHeaderView::Interactive);
    const QStringList titles = {"", "Path", "File"};
    for (int column = 0; column < 3; ++column) {
        EXPECT_EQ(Model().headerData(column, Qt::Horizontal).toString(), titles[column]);
    }
    // The columns were laid out to fill 599 pixels; "Path" takes whatever the list's width differs by.
    EXPECT_EQ(header->sectionSize(0), 23);
    EXPECT_EQ(header->sectionSize(1), 276 + tree->viewport()->width() - 599);
    EXPECT_EQ(header->sectionSize(2), 300);

    // Tab order: the filter box first, the list next.
    QWidget* next = filter->nextInFocusChain();
    while (next != nullptr && next != filter &&
           !((next->focusPolicy() & Qt::TabFocus) && next->isVisible())) {
        next = next->nextInFocusChain();
    }
    EXPECT_EQ(next, tree);
    EXPECT_TRUE(form.acceptDrops());
}

TEST_F(MainWindowTest, PathAndFileShareTheListWidthAtEverySize) {
    TForm1& form = CreateWindow();
    QTreeView* tree = Tree();
    QHeaderView* header = tree->header();
    const int startPath = header->sectionSize(1);
    const QSize start = form.size();
    struct Case {
        int width;
        int minPath, minFile; // at least; both always fill the list exactly
    };
    const Case cases[] = {
        {start.width() + 100, startPath + 100, 300}, // wider: "Path" takes it all
        {start.width() - 60, startPath - 60, 300},   // a little narrower: still "Path" alone
        {240, 40, 80},                               // narrow: both shrink, neither collapses
        {start.width(), startPath, 300},             // back: as at the start
    };
    for (const Case& c : cases) {
        form.resize(c.width, start.height());
        QApplication::processEvents();
        SCOPED_TRACE(c.width);
        EXPECT_EQ(header->sectionSize(0), 23);
        EXPECT_GE(header->sectionSize(1), c.minPath);
        EXPECT_GE(header->sectionSize(2), c.minFile);
        EXPECT_EQ(header->length(), tree->viewport()->width());
        EXPECT_FALSE(tree->horizontalScrollBar()->isVisible());
    }
    EXPECT_EQ(header->sectionSize(1), startPath);
    EXPECT_EQ(header->sectionSize(2), 300);

    // A border moved by hand stays where it was put; the other column fills the rest.
    header->resizeSection(1, startPath - 50);
    EXPECT_EQ(header->sectionSize(1), startPath - 50);
    EXPECT_EQ(header->sectionSize(2), 350);
    form.resize(start.width() + 40, start.height());
    QApplication::processEvents();
    EXPECT_EQ(header->sectionSize(1), startPath - 10);
    EXPECT_EQ(header->sectionSize(2), 350);
}

TEST_F(MainWindowTest, ImageListHoldsSeventyOneSlotsWithOurPicturesWhereTheyAreUsed) {
    CreateWindow();
    const TImageList& images = *Form().findChild<TImageList*>("ImageList1");
    ASSERT_EQ(images.Count(), 71);
    const std::vector<int> used = {1, 9, 12, 13, 16, 17, 27, 31, 32, 37, 59, 62, 68, 69};
    std::vector<QImage> seen;
    for (int index = 0; index < images.Count(); ++index) {
        const QImage picture = Picture(images, index);
        EXPECT_EQ(picture.size(), QSize(16, 16));
        const bool isUsed = std::find(used.begin(), used.end(), index) != used.end();
        EXPECT_EQ(IsBlank(picture), !isUsed) << "slot " << index;
        if (isUsed) {
            EXPECT_EQ(std::find(seen.begin(), seen.end(), picture), seen.end())
                << "slot " << index << " repeats";
            seen.push_back(picture);
        }
    }
}

TEST_F(MainWindowTest, OpenArchiveFromTheMenuListsItsEntriesWithIcons) {
    const std::filesystem::path archive = WriteArchive("data/small.bsa", SmallArchive());
    TForm1& form = CreateWindow();

    Action("Openarchive1")->trigger(); // cancelled
    ASSERT_EQ(dialogs_.openCalls.size(), 1u);
    EXPECT_EQ(dialogs_.openCalls[0].initialFolder, Q(platform::CurrentDirectory()));
    EXPECT_EQ(dialogs_.openCalls[0].description, "bsa archives");
    EXPECT_EQ(dialogs_.openCalls[0].pattern, "*.bsa");
    EXPECT_FALSE(form.HasArchive());
    EXPECT_EQ(Model().rowCount(), 0);

    OpenByDialog(archive);
    EXPECT_TRUE(form.HasArchive());
    EXPECT_EQ(VisibleEntries(), kSmallArchiveEntries);
    EXPECT_EQ(ColumnTexts(1), QStringList({"meshes\\actors\\", "meshes\\actors\\", "textures\\"}));
    EXPECT_EQ(ColumnTexts(2), QStringList({"body.nif", "walk.hkx", "iron.dds"}));
    EXPECT_EQ(ColumnTexts(0), QStringList({"", "", ""}));
    EXPECT_EQ(IconOfRow(0), 69);
    EXPECT_EQ(IconOfRow(1), 17);
    EXPECT_EQ(IconOfRow(2), 37);
    const TImageList& images = *form.findChild<TImageList*>("ImageList1");
    EXPECT_EQ(Picture(qvariant_cast<QIcon>(Model().index(2, 0).data(Qt::DecorationRole))),
              Picture(images, 37));
    EXPECT_FALSE(Model().index(2, 1).data(Qt::DecorationRole).isValid());

    const std::u16string folder = U16(archive.parent_path()) + kSeparator;
    EXPECT_EQ(form.ArchivePath(), U16(archive));
    EXPECT_EQ(form.StatusPanelText(1), Q(archive));
    EXPECT_EQ(form.LastBsaDir(), folder);
    EXPECT_EQ(form.LastExtractDir(), folder) << "taken from the archive's folder while empty";
    EXPECT_EQ(dialogs_.messages.size(), 0u);

    // The next dialog starts in the archive's folder; an extraction folder already set stays.
    const std::filesystem::path other = WriteArchive("other/other.bsa", OtherArchive());
    OpenByDialog(other);
    EXPECT_EQ(dialogs_.openCalls.back().initialFolder, Q(folder));
    EXPECT_EQ(form.LastBsaDir(), U16(other.parent_path()) + kSeparator);
    EXPECT_EQ(form.LastExtractDir(), folder);
    EXPECT_EQ(VisibleEntries(), QStringList({"sound\\fx\\swing.wav"}));
}

TEST_F(MainWindowTest, ShowsTheOpeningRowWithTheHourglassWhileFilling) {
    const std::filesystem::path archive = WriteArchive("small.bsa", SmallArchive());
    CreateWindow();
    struct Seen {
        QStringList files;
        int icon;
        bool busy;
    };
    std::vector<Seen> resets;
    QObject::connect(&Model(), &QAbstractItemModel::modelReset, [&] {
        resets.push_back({ColumnTexts(2), Model().rowCount() > 0 ? IconOfRow(0) : -1,
                          QApplication::overrideCursor() != nullptr &&
                              QApplication::overrideCursor()->shape() == Qt::WaitCursor});
    });
    OpenByDialog(archive);
    ASSERT_EQ(resets.size(), 2u);
    EXPECT_EQ(resets[0].files, QStringList({"fbk_Opening_Archive"}));
    EXPECT_EQ(resets[0].icon, 31);
    EXPECT_TRUE(resets[0].busy);
    EXPECT_EQ(resets[1].files, QStringList({"body.nif", "walk.hkx", "iron.dds"}));
    EXPECT_TRUE(resets[1].busy);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindowTest, ArchiveWithoutEntriesShowsTheNothingFoundRow) {
    const std::filesystem::path archive = WriteArchive("empty.bsa", Recipe({}));
    CreateWindow();
    OpenByDialog(archive);
    EXPECT_EQ(ColumnTexts(1), QStringList({""}));
    EXPECT_EQ(ColumnTexts(2), QStringList({"fbk_Nothing_Found"}));
    EXPECT_EQ(IconOfRow(0), 32);
    EXPECT_TRUE(Form().HasArchive());
}

TEST_F(MainWindowTest, DropOpensTheDroppedArchivesTogetherAndIgnoresOtherFiles) {
    const std::filesystem::path first = WriteArchive("a/first.bsa", SmallArchive());
    const std::filesystem::path second = WriteArchive("b/second.bsa", OtherArchive());
    const std::filesystem::path upper = WriteArchive("c/ARCHIVE.BSA", OtherArchive());
    const std::filesystem::path text = temp_.Path() / "d" / "notes.txt";
    std::filesystem::create_directories(text.parent_path());
    std::ofstream(text) << "not an archive";
    TForm1& form = CreateWindow();

    // Several archives open as one list, in the order dropped (the list of several archives has its own
    // tests); one alone opens as it always did.
    Drop({first, second, upper});
    ASSERT_TRUE(WaitForOpening());
    ASSERT_NE(form.DataFolder(), nullptr);
    EXPECT_EQ(form.DataFolder()->sources.size(), 3u);
    Drop({first});
    EXPECT_EQ(form.DataFolder(), nullptr);
    EXPECT_EQ(form.ArchivePath(), U16(first));
    EXPECT_EQ(VisibleEntries(), kSmallArchiveEntries);

    Drop({text, second}); // the first file decides, and it is no archive
    EXPECT_EQ(form.ArchivePath(), U16(first));
    EXPECT_EQ(form.StatusPanelText(1), Q(first));
    EXPECT_EQ(form.LastBsaDir(), U16(first.parent_path()) + kSeparator);
    EXPECT_EQ(VisibleEntries(), kSmallArchiveEntries);
    EXPECT_TRUE(dialogs_.messages.empty());

    Drop({upper});
    EXPECT_EQ(form.ArchivePath(), U16(upper));
    EXPECT_EQ(VisibleEntries(), QStringList({"sound\\fx\\swing.wav"}));
}

TEST_F(MainWindowTest, DropOnAnyPartOfTheWindowOpensTheArchiveTheFilterBoxIncluded) {
    const std::filesystem::path archive = WriteArchive("drop/small.bsa", SmallArchive());
    TForm1& form = CreateWindow();
    QLineEdit* filter = Control<QLineEdit>("ButtonedEdit1");
    QWidget* const targets[] = {filter, Tree()->viewport(), Control<QStatusBar>("StatusBar1"),
                                Control<QMenuBar>("MainMenu1")};
    for (QWidget* target : targets) {
        SCOPED_TRACE(
            Utf8(target->objectName().isEmpty() ? target->parent()->objectName() : target->objectName()));
        Action("CloseArchive1")->trigger();
        ASSERT_FALSE(form.HasArchive());
        EXPECT_TRUE(Drop({archive}, target));
        EXPECT_EQ(form.ArchivePath(), U16(archive));
        EXPECT_EQ(VisibleEntries(), kSmallArchiveEntries) << "the filter box typed the address";
        EXPECT_EQ(filter->text(), "");
    }

    // Text dragged from elsewhere is still typed into the filter box.
    QMimeData text;
    text.setText("walk");
    EXPECT_TRUE(DropMime(text, filter));
    EXPECT_EQ(filter->text(), "walk");
    EXPECT_EQ(VisibleEntries(), QStringList({"meshes\\actors\\walk.hkx"}));
}

TEST_F(MainWindowTest, LongArchivePathIsElidedAndLeavesTheWindowItsSize) {
    // 250 characters in all.
    std::filesystem::path archive = temp_.Path();
    while (archive.string().size() < 250 - 60) {
        archive /= std::string(40, 'd');
    }
    archive /= std::string(250 - archive.string().size() - 5, 'n') + ".bsa";
    ASSERT_EQ(archive.string().size(), 250u);
    WriteArchive(std::filesystem::relative(archive, temp_.Path()).string(), SmallArchive());
    TForm1& form = CreateWindow();
    const QSize before = form.size();

    OpenByDialog(archive);
    QApplication::processEvents();
    EXPECT_TRUE(form.HasArchive());
    EXPECT_EQ(form.size(), before);
    EXPECT_LE(form.minimumSizeHint().width(), before.width());
    QLabel* panel = Control<QLabel>("StatusPanel1");
    EXPECT_EQ(form.StatusPanelText(1), Q(archive));
    EXPECT_EQ(panel->toolTip(), Q(archive));
    EXPECT_NE(panel->text(), Q(archive));
    EXPECT_TRUE(panel->text().contains(QChar(0x2026))) << Utf8(panel->text());
    EXPECT_LE(panel->fontMetrics().horizontalAdvance(panel->text()), panel->contentsRect().width());
    EXPECT_TRUE(panel->text().endsWith(".bsa")) << "the file name stays in sight";

    // A wider window shows more of it.
    const int shown = panel->text().size();
    form.resize(before.width() + 300, before.height());
    QApplication::processEvents();
    EXPECT_GT(panel->text().size(), shown);
}

// A path may hold a line break or other control characters: the panel shows them escaped, on one line.
TEST_F(MainWindowTest, ControlCharactersInTheArchivePathShowEscapedOnOneLine) {
    // Every character that would break the line or drive a terminal is shown escaped.
    const struct {
        QString text;
        QString shown;
    } cases[] = {
        {"a\rb", "a\\rb"},
        {QString("nul") + QChar(0) + "x", "nul\\000x"},
        {"del\x7f", "del\\177"},
        {QString("c1") + QChar(0x85), "c1\\u0085"},
        {QString("ls") + QChar(0x2028) + QChar(0x2029), "ls\\u2028\\u2029"},
        {"caf\u00e9 \\ / \u4e2d", "caf\u00e9 \\ / \u4e2d"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OneLineText(c.text), c.shown) << Utf8(c.text);
    }

    // An archive of such a name, where the system allows one (Windows does not).
    const std::filesystem::path archive = temp_.Path() / "two\nlines\t\x1b[31m.bsa";
    try {
        WriteArchive(archive.filename().string(), SmallArchive());
    } catch (const std::exception&) {
    }
    if (!std::filesystem::exists(archive)) {
        GTEST_SKIP() << "this system has no such file names";
    }
    TForm1& form = CreateWindow();
    form.resize(1400, form.height()); // room for the whole path beside the row counts
    OpenByDialog(archive);
    QApplication::processEvents();
    ASSERT_TRUE(form.HasArchive());
    QLabel* panel = Control<QLabel>("StatusPanel1");
    EXPECT_EQ(form.StatusPanelText(1), Q(archive)) << "the path itself, as it was opened";
    const QString shown = Q(temp_.Path()) + Q(kSeparator) + "two\\nlines\\t\\033[31m.bsa";
    EXPECT_EQ(panel->text(), shown);
    EXPECT_EQ(panel->toolTip(), shown);
    EXPECT_EQ(panel->sizeHint().height(), Control<QLabel>("StatusPanel0")->sizeHint().height()) << "one line";
}

TEST_F(MainWindowTest, KeyboardOpensExtractsClosesAndReachesTheFilterBox) {
    const std::filesystem::path archive = WriteArchive("keys/small.bsa", SmallArchive());
    TForm1& form = CreateWindow();
    QTreeView* tree = Tree();
    QLineEdit* filter = Control<QLineEdit>("ButtonedEdit1");
    const auto press = [](QWidget* to, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(to, key, modifiers);
        QApplication::processEvents();
    };

    dialogs_.openAnswers.push_back(Q(archive));
    tree->setFocus();
    press(tree, Qt::Key_O, Qt::ControlModifier);
    ASSERT_TRUE(form.HasArchive());
    EXPECT_TRUE(Action("extract1")->isEnabled());
    EXPECT_TRUE(Action("CloseArchive1")->isEnabled());

    tree->setFocus();
    press(tree, Qt::Key_Home);
    press(tree, Qt::Key_A, Qt::ControlModifier);
    dialogs_.pickAnswers.push_back(Q(temp_.Path() / "out"));
    press(tree, Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(form.StatusPanelText(0), "3/3");

    press(tree, Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(filter->hasFocus());
    QTest::keyClicks(filter, "nif");
    EXPECT_EQ(Model().rowCount(), 1);
    press(filter, Qt::Key_E, Qt::ControlModifier); // the menu's, not the box's "end of line"
    EXPECT_EQ(dialogs_.pickCalls.size(), 2u);
    press(filter, Qt::Key_Escape);
    EXPECT_EQ(filter->text(), "");
    EXPECT_EQ(Model().rowCount(), 3);
    tree->setFocus();
    press(tree, Qt::Key_Escape);
    EXPECT_TRUE(filter->hasFocus());

    press(filter, Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(form.HasArchive());
    EXPECT_EQ(Model().NodeCount(), 0);
    EXPECT_FALSE(Action("extract1")->isEnabled());
    EXPECT_FALSE(Action("CloseArchive1")->isEnabled());

    // Alt+F opens the menu.
    press(&form, Qt::Key_F, Qt::AltModifier);
    QMenu* files = Control<QMenu>("Files1");
    EXPECT_TRUE(files->isVisible());
    files->close();
}

// Ctrl+Q, from the list or the filter box, closes the window as its close button does: the archive is
// released and the preferences written.
TEST_F(MainWindowTest, ExitClosesTheWindowAndWritesThePreferences) {
    for (const char* from : {"BrowserTree", "ButtonedEdit1"}) {
        SCOPED_TRACE(from);
        TForm1& form = CreateWindow();
        const std::filesystem::path prefs = binFolder_ / "prefs.ini";
        ASSERT_EQ(form.PrefsFileName(), U16(prefs));
        std::filesystem::remove(prefs);
        const std::filesystem::path archive = WriteArchive("small.bsa", SmallArchive());
        OpenByDialog(archive);
        QWidget* focus = Control<QWidget>(from);
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Q, Qt::ControlModifier);
        EXPECT_FALSE(form.isVisible());
        EXPECT_FALSE(form.HasArchive());
        EXPECT_NE(fixture::ReadText(prefs).find("lastBsaDir=" + archive.parent_path().string()),
                  std::string::npos);
    }
}

TEST_F(MainWindowTest, CommandLineArgumentOpensLikeADrop) {
    const std::filesystem::path archive = WriteArchive("cmd/small.bsa", SmallArchive());
    TForm1& form = CreateWindow();
    form.OpenCommandLineArgument({"parlivex"});
    form.OpenCommandLineArgument({"parlivex", Q(temp_.Path() / "cmd" / "readme.txt")});
    EXPECT_FALSE(form.HasArchive());
    EXPECT_TRUE(form.ArchivePath().empty());

    // A relative path is taken from the current folder, as the file manager's own would be.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(Q(temp_.Path())));
    form.OpenCommandLineArgument({"parlivex", "cmd/small.bsa", "ignored.bsa"});
    QDir::setCurrent(previous);
    EXPECT_EQ(form.ArchivePath(), U16(archive));
    EXPECT_EQ(VisibleEntries(), kSmallArchiveEntries);
}

// The argument and a drop open the file they name and no other: "\\" is part of a name here, and bytes that
// are not UTF-8 are kept. Beside each archive lies a decoy at the name a lossy reading would give.
TEST_F(MainWindowTest, ArgumentAndDropOpenTheNamedFileByteForByte) {
#ifdef _WIN32
    GTEST_SKIP() << "names with \"\\\" and names that are not UTF-8 exist on Linux only";
#endif
    const struct {
        std::string name;
        std::string decoy;
    } cases[] = {
        {"back\\slash.bsa", "back/slash.bsa"},
        {"\xF5\x80\x80.bsa", "\xE5\x80\x80.bsa"},
        {"caf\xE9.bsa", "caf\xEF\xBF\xBD.bsa"},
    };
    TForm1& form = CreateWindow();
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(Q(temp_.Path())));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.decoy);
        WriteArchive("arg/" + c.name, Recipe({{"real", {Entry("arg.txt", "a")}}}));
        WriteArchive("arg/" + c.decoy, Recipe({{"decoy", {Entry("x.txt", "d")}}}));
        WriteArchive("drop/" + c.name, Recipe({{"real", {Entry("drop.txt", "d")}}}));
        WriteArchive("drop/" + c.decoy, Recipe({{"decoy", {Entry("x.txt", "d")}}}));

        // As main() hands it over: relative, taken from argv byte for byte.
        form.OpenCommandLineArgument({"parlivex", Q(platform::PathFromNative("arg/" + c.name))});
        EXPECT_EQ(form.ArchivePath(),
                  platform::PathFromNative((temp_.Path() / "arg").string() + "/" + c.name));
        EXPECT_EQ(VisibleEntries(), QStringList({"real\\arg.txt"}));

        // As a file manager sends it: a percent-encoded URL of the name's bytes.
        const std::string path = (temp_.Path() / "drop").string() + "/" + c.name;
        Drop(QList<QUrl>{
            QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"))});
        EXPECT_EQ(form.ArchivePath(), platform::PathFromNative(path));
        EXPECT_EQ(VisibleEntries(), QStringList({"real\\drop.txt"}));
    }
    QDir::setCurrent(previous);
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(MainWindowTest, FailedOpenShowsTheReadersMessageAndKeepsTheOldRows) {
    const std::filesystem::path good = WriteArchive("good/small.bsa", SmallArchive());
    const std::filesystem::path bad = temp_.Path() / "bad" / "broken.bsa";
    std::filesystem::create_directories(bad.parent_path());
    std::ofstream(bad) << "This is a text file, not an archive.";
    TForm1& form = CreateWindow();
    OpenByDialog(good);

    OpenByDialog(bad);
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].caption, "Parlivex");
    EXPECT_EQ(dialogs_.messages[0].text, Q(bad) + " is not a valid BSA file");
    EXPECT_TRUE(dialogs_.errors.empty());
    EXPECT_FALSE(form.HasArchive());
    EXPECT_EQ(form.ArchivePath(), U16(bad));
    EXPECT_EQ(form.StatusPanelText(1), Q(bad));
    EXPECT_EQ(form.LastBsaDir(), U16(bad.parent_path()) + kSeparator);
    EXPECT_EQ(VisibleEntries(), kSmallArchiveEntries);

    // Without an archive "Extract selection" does nothing at all; "CloseArchive" can clear the old rows.
    EXPECT_FALSE(Action("extract1")->isEnabled());
    EXPECT_TRUE(Action("CloseArchive1")->isEnabled());
    SelectAllRows();
    Action("extract1")->trigger();
    EXPECT_TRUE(dialogs_.pickCalls.empty());

    // A file that cannot be opened at all.
    OpenByDialog(temp_.Path() / "missing.bsa");
    ASSERT_EQ(dialogs_.messages.size(), 2u);
    EXPECT_EQ(dialogs_.messages[1].text, "Cannot open " + Q(temp_.Path() / "missing.bsa") + ".  " +
                                             Q(fixture::SystemText(fixture::kErrorFileNotFound)));
}

TEST_F(MainWindowTest, CloseArchiveEmptiesTheListAndPanelOneOnly) {
    const std::filesystem::path archive = WriteArchive("small.bsa", SmallArchive());
    TForm1& form = CreateWindow();
    OpenByDialog(archive);
    SelectAllRows();
    ExtractTo(temp_.Path() / "out");
    ASSERT_EQ(form.StatusPanelText(0), "3/3");
    TypeFilter("nif");

    Action("CloseArchive1")->trigger();
    EXPECT_FALSE(form.HasArchive());
    EXPECT_EQ(Model().NodeCount(), 0);
    EXPECT_TRUE(form.ArchivePath().empty());
    EXPECT_EQ(form.StatusPanelText(1), "");
    EXPECT_EQ(form.StatusPanelText(0), "3/3");
    EXPECT_EQ(Control<QLineEdit>("ButtonedEdit1")->text(), "nif");
    EXPECT_EQ(form.LastBsaDir(), U16(archive.parent_path()) + kSeparator);

    Action("CloseArchive1")->trigger(); // again, with nothing open
    EXPECT_EQ(Model().NodeCount(), 0);
    EXPECT_TRUE(dialogs_.errors.empty());
}

TEST_F(MainWindowTest, ReopeningRebuildsTheListInTheArchivesOwnOrder) {
    const std::filesystem::path archive = WriteArchive("small.bsa", SmallArchive());
    CreateWindow();
    OpenByDialog(archive);
    ClickHeader(2); // File, ascending: body, iron, walk
    ASSERT_EQ(ColumnTexts(2), QStringList({"body.nif", "iron.dds", "walk.hkx"}));
    OpenByDialog(archive);
    EXPECT_EQ(VisibleEntries(), kSmallArchiveEntries);
    ClickHeader(2); // the sort state survived the refill: now descending
    EXPECT_EQ(ColumnTexts(2), QStringList({"walk.hkx", "iron.dds", "body.nif"}));
}

TEST(MessageBoxText, LongPathsAndNamesWrapWithinTheBox) {
    const QString name = QString(600, QLatin1Char('x')) + ".dds";
    const QString message = "Cannot create /home/user/out/textures/" + name + ".  File name too long";
    const QString shown = WithLineBreakChances(message);
    EXPECT_EQ(QString(shown).remove(QChar(0x200B)), message) << "only breaks are added";
    const QFontMetrics metrics(QApplication::font());
    const int width = 400;
    EXPECT_LE(metrics.boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, shown).width(), width);
    EXPECT_GT(metrics.boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, message).width(), width);
    const QString emoji = QString(31, QLatin1Char('a')) + QString::fromUtf8("\xF0\x9F\x98\x80") + "b";
    for (qsizetype i = 0; i + 1 < WithLineBreakChances(emoji).size(); ++i) {
        EXPECT_FALSE(WithLineBreakChances(emoji).at(i).isHighSurrogate() &&
                     WithLineBreakChances(emoji).at(i + 1) == QChar(0x200B));
    }
}

TEST_F(MainWindowTest, ErrorBoxAppendsAFullStopUnlessTheMessageEndsInOneOrBelow) {
    TForm1& form = CreateWindow();
    const std::pair<std::u16string, QString> cases[] = {
        {u"Cannot create x.  Is a directory", "Cannot create x.  Is a directory."},
        {u"ends in a full stop.", "ends in a full stop."},
        {u"ends in a bracket)", "ends in a bracket)"},
        {u"ends in a slash/", "ends in a slash/."},
        {u"", ""},
    };
    for (const auto& [message, shown] : cases) {
        form.ShowException(message);
        ASSERT_FALSE(dialogs_.errors.empty());
        EXPECT_EQ(dialogs_.errors.back().caption, "Parlivex");
        EXPECT_EQ(dialogs_.errors.back().text, shown);
    }
}

} // namespace
} // namespace apptest
