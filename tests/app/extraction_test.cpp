// Extraction of the selected rows: the files written byte for byte below the picked folder, the progress in
// status panel 0, entries refused for leaving the folder, a file that cannot be created, and the picker.
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTreeView>
#include <cstdio>
#include <fstream>
#include <functional>
#include <set>

#include "fixtures/file_tree.h"
#include "fixtures/links.h"
#include "fixtures/system_errors.h"
#include "tests/app/app_test_support.h"

namespace apptest {
namespace {

using fixture::TextBytes;

namespace fs = std::filesystem;
using fixture::CompressibleBytes;
using fixture::RandomBytes;
using fixture::ReadWholeFile;
using fixture::Storage;

// Every regular file below a folder, relative to it.
std::set<std::string> FilesBelow(const fs::path& folder) {
    std::set<std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files.insert(fs::relative(entry.path(), folder).generic_string());
        }
    }
    return files;
}

// The system's reason when a file is to be written where a folder is, as the error box ends it.
QString IsAFolderText() {
    return Q(fixture::SystemText(fixture::kErrorIsAFolder)) + ".";
}

// Ten small files f\01.txt .. f\10.txt.
fixture::ArchiveSpec NumberedArchive(int count) {
    fixture::FolderSpec folder{"f", {}};
    for (int i = 1; i <= count; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%02d.txt", i);
        folder.files.push_back(Entry(name, std::string("content of ") + name));
    }
    return Recipe({folder});
}

// Records what panel 0 shows each time it is painted.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QLabel* label) : label_(label) { label_->installEventFilter(this); }
    std::vector<QString> painted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == label_ && event->type() == QEvent::Paint) {
            painted.push_back(label_->text());
        }
        return false;
    }

private:
    QLabel* label_;
};

class ExtractionTest : public WindowTest {};

TEST_F(ExtractionTest, WritesTheSelectedEntriesByteForByteBelowThePickedFolder) {
    for (const uint32_t version : {104u, 105u}) {
        SCOPED_TRACE(version);
        const Storage packed = version == 104 ? Storage::Zlib : Storage::Lz4Frame;
        const std::vector<uint8_t> skeleton = CompressibleBytes(50'000, 1);
        const std::vector<uint8_t> texture = CompressibleBytes(300'000, 2);
        const std::vector<uint8_t> sound = RandomBytes(20'000, 3);
        const fixture::ArchiveSpec recipe = Recipe(
            {
                RootFolder({Entry("readme.txt", "root file", Storage::Raw)}),
                {"meshes\\actors\\character",
                 {Entry("skeleton.nif", skeleton, packed), Entry("caf\xE9.nif", "accent", packed)}},
                {"textures", {Entry("big.dds", texture, packed), Entry("empty.dds", "", Storage::Raw)}},
                {"sound", {Entry("a.wav", sound, Storage::Raw)}},
            },
            version);
        // Appended, not "v" + ...: GCC 12 warns falsely of an overlapping copy there (its bug 105329).
        std::string name = "v";
        name += std::to_string(version) + "/data.bsa";
        const fs::path archive = WriteArchive(name, recipe);
        const fs::path out = temp_.Path() / ("out" + std::to_string(version));
        TForm1& form = CreateWindow();
        OpenByDialog(archive);
        SelectAllRows();
        ExtractTo(out);

        ASSERT_EQ(dialogs_.pickCalls.size(), 1u);
        EXPECT_EQ(dialogs_.pickCalls[0].prompt, "Extract to:");
        EXPECT_EQ(dialogs_.pickCalls[0].initialFolder, Q(archive.parent_path())) << "the archive's folder";
        EXPECT_EQ(form.LastExtractDir(), U16(out) + kSeparator);
        EXPECT_EQ(form.StatusPanelText(0), "6/6");
        EXPECT_TRUE(dialogs_.errors.empty());
        EXPECT_TRUE(dialogs_.messages.empty());
        EXPECT_EQ(FilesBelow(out),
                  (std::set<std::string>{"readme.txt", "meshes/actors/character/skeleton.nif",
                                         "meshes/actors/character/caf\u00e9.nif", "textures/big.dds",
                                         "textures/empty.dds", "sound/a.wav"}));
        EXPECT_EQ(fs::file_size(out / "textures/empty.dds"), 0u) << "an empty file for the empty entry";
        EXPECT_EQ(ReadWholeFile(out / "readme.txt"), TextBytes("root file"));
        EXPECT_EQ(ReadWholeFile(out / "meshes/actors/character/skeleton.nif"), skeleton);
        EXPECT_EQ(ReadWholeFile(out / fs::u8path("meshes/actors/character/caf\u00e9.nif")),
                  TextBytes("accent"));
        EXPECT_EQ(ReadWholeFile(out / "textures/big.dds"), texture);
        EXPECT_EQ(ReadWholeFile(out / "sound/a.wav"), sound);

        // Again into the same folder: the copies are replaced, a longer stale file cut to size.
        std::ofstream(out / "readme.txt", std::ios::binary) << std::string(5000, 'x');
        ExtractTo(out);
        EXPECT_EQ(ReadWholeFile(out / "readme.txt"), TextBytes("root file"));
        EXPECT_EQ(dialogs_.pickCalls.back().initialFolder, Q(out)) << "the last folder, preselected";
        dialogs_ = TScriptedDialogs();
    }
}

TEST_F(ExtractionTest, ProgressIsRepaintedEveryFifteenthRowAndShownAtTheEnd) {
    struct Case {
        int selected;
        std::vector<QString> paintedDuringTheRun;
    };
    const Case cases[] = {{30, {"15/30", "30/30"}}, {14, {}}};
    for (const Case& c : cases) {
        TForm1& form = CreateWindow();
        OpenByDialog(WriteArchive("numbered.bsa", NumberedArchive(30)));
        ClickRow(0);
        Tree()->scrollToBottom();
        ClickRow(c.selected - 1, Qt::ShiftModifier);
        ASSERT_EQ(Model().SelectedCount(), c.selected);
        QApplication::processEvents(); // nothing left to paint from before

        PaintRecorder recorder(Control<QLabel>("StatusPanel0"));
        form.ExtractSelection(U16(temp_.Path() / "out") + kSeparator);
        EXPECT_EQ(recorder.painted, c.paintedDuringTheRun) << c.selected << " rows";
        const QString final = QString("%1/%1").arg(c.selected);
        EXPECT_EQ(form.StatusPanelText(0), final);
        QApplication::processEvents();
        ASSERT_FALSE(recorder.painted.empty());
        EXPECT_EQ(recorder.painted.back(), final);
        EXPECT_EQ(FilesBelow(temp_.Path() / "out").size(), static_cast<size_t>(c.selected));
        fs::remove_all(temp_.Path() / "out");
    }
}

TEST_F(ExtractionTest, EntriesThatWouldLeaveTheFolderAreRefusedAndReported) {
    const fixture::ArchiveSpec recipe = Recipe({
        {"..\\..\\escape", {Entry("evil.txt", "1")}},
        {"\\abs", {Entry("x.txt", "2")}},
        {"a\\..\\..\\b", {Entry("up.txt", "3")}},
        {"c:\\windows", {Entry("drive.txt", "4")}},
        {"good", {Entry("fine.txt", "5")}},
        {"x", {Entry("..", "6"), Entry("bad\x01.txt", "7"), Entry("sub/evil.txt", "8")}},
    });
    const fs::path archive = WriteArchive("hostile.bsa", recipe);
    const fs::path out = temp_.Path() / "deep" / "er" / "out";
    TForm1& form = CreateWindow();
    OpenByDialog(archive);
    ASSERT_EQ(Model().NodeCount(), 8);
    SelectAllRows();
    ExtractTo(out);

    EXPECT_EQ(form.StatusPanelText(0), "8/8");
    EXPECT_TRUE(dialogs_.errors.empty());
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].caption, "Parlivex");
    EXPECT_EQ(dialogs_.messages[0].text, "7 entries were not extracted:\n"
                                         "..\\..\\escape\\evil.txt (refused: '..' component)\n"
                                         "\\abs\\x.txt (refused: absolute path)\n"
                                         "a\\..\\..\\b\\up.txt (refused: '..' component)\n"
                                         "c:\\windows\\drive.txt (refused: drive prefix)\n"
                                         "x\\.. (refused: invalid file name)\n"
                                         "and 2 more.");
    // Nothing but the one safe entry was written anywhere.
    EXPECT_EQ(FilesBelow(temp_.Path()), (std::set<std::string>{"hostile.bsa", "deep/er/out/good/fine.txt"}));
}

// Entries that cannot be read, entries that would write an earlier entry's file, and entries below a link in
// the destination are not written, and the message after the run says which and why: the status bar alone
// would read as if everything was written.
TEST_F(ExtractionTest, EntriesNotWrittenAreListedWithTheirReason) {
    fixture::EntrySpec damaged = Entry("broken.nif", CompressibleBytes(4000, 1), Storage::Zlib);
    damaged.packedOverride = std::vector<uint8_t>(50, 0xAB);
    const fixture::ArchiveSpec recipe = Recipe(
        {
            {"a\\b", {Entry("x.bin", "first", Storage::Raw)}},
            {"a\\.\\b", {Entry("x.bin", "second", Storage::Raw)}},
            {"meshes", {damaged, Entry("good.nif", "good", Storage::Raw)}},
            {"textures", {Entry("t.dds", "texture", Storage::Raw)}},
        },
        104);
    const fs::path out = temp_.Path() / "out";
    const fs::path outside = temp_.Path() / "outside";
    fs::create_directories(out);
    fs::create_directories(outside);
    if (!fixture::MakeSymlink(outside, out / "textures")) {
        GTEST_SKIP() << "this system cannot make symbolic links";
    }
    TForm1& form = CreateWindow();
    OpenByDialog(WriteArchive("mixed.bsa", recipe));
    SelectAllRows();
    const QStringList order = AllEntries();
    ASSERT_EQ(order.size(), 5);
    const int firstX = order.indexOf("a\\b\\x.bin") < order.indexOf("a\\.\\b\\x.bin") ? 0 : 1;
    const QString firstEntry = firstX == 0 ? "a\\b\\x.bin" : "a\\.\\b\\x.bin";
    const QString laterEntry = firstX == 0 ? "a\\.\\b\\x.bin" : "a\\b\\x.bin";
    ExtractTo(out);

    EXPECT_EQ(form.StatusPanelText(0), "5/5");
    EXPECT_TRUE(dialogs_.errors.empty());
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    QStringList lines = dialogs_.messages[0].text.split('\n');
    ASSERT_EQ(lines.size(), 4) << Utf8(dialogs_.messages[0].text);
    EXPECT_EQ(lines.takeFirst(), "3 entries were not extracted:");
    lines.sort();
    EXPECT_EQ(lines, (QStringList{laterEntry + " (same destination as " + firstEntry + ")",
                                  "meshes\\broken.nif (zlib data damaged: Erreur)",
                                  "textures\\t.dds (refused: link in the path)"}));
    EXPECT_EQ(FilesBelow(out), (std::set<std::string>{"a/b/x.bin", "meshes/good.nif"}));
    EXPECT_EQ(ReadWholeFile(out / "a/b/x.bin"), TextBytes(firstX == 0 ? "first" : "second"));
    EXPECT_TRUE(fs::is_empty(outside));
}

// A write error that ends the run is told in one message with everything the run did not write: the entry it
// stopped at and why, the entries before it that were refused or unreadable, and how many were never tried.
TEST_F(ExtractionTest, WriteErrorThatEndsTheRunIsToldWithEverythingNotExtracted) {
    fixture::EntrySpec damaged = Entry("2.txt", CompressibleBytes(4000, 1), Storage::Zlib);
    damaged.packedOverride = std::vector<uint8_t>(50, 0xAB);
    fixture::FolderSpec folder{"f", {}};
    for (const char* name : {"1.txt", "3<.txt", "4.txt", "5.txt", "6.txt", "7.txt", "8.txt"}) {
        folder.files.push_back(Entry(name, name, Storage::Raw));
    }
    folder.files.insert(folder.files.begin() + 1, damaged);
    const fixture::ArchiveSpec recipe = Recipe({folder}, 104);
    const fs::path out = temp_.Path() / "out";
    fs::create_directories(out / "f" / "5.txt"); // a folder where the fifth file goes
    TForm1& form = CreateWindow();
    OpenByDialog(WriteArchive("eight.bsa", recipe));
    ClickHeader(2); // File ascending: 1 .. 8
    SelectAllRows();
    ExtractTo(out);

    EXPECT_EQ(form.StatusPanelText(0), "5/8");
    EXPECT_TRUE(dialogs_.messages.empty()) << "one message, not two";
    ASSERT_EQ(dialogs_.errors.size(), 1u);
    EXPECT_EQ(dialogs_.errors[0].text, "The extraction stopped at entry 5 of 8, f\\5.txt:\n"
                                       "Cannot create " +
                                           Q(out / "f" / "5.txt") + ".  " + IsAFolderText() +
                                           "\n2 entries before it were not extracted:"
                                           "\nf\\2.txt (zlib data damaged: Erreur)"
                                           "\nf\\3<.txt (refused: '<' in a name)"
                                           "\n3 entries after it were not attempted.");
    EXPECT_EQ(FilesBelow(out), (std::set<std::string>{"f/1.txt", "f/4.txt"}));

    // Stopped at the last entry, after a single refusal: nothing after it, and the counts in the singular.
    fs::remove(out / "f" / "5.txt");
    fs::create_directories(out / "f" / "8.txt");
    Tree()->selectionModel()->clearSelection();
    ClickRow(2);
    ClickRow(7, Qt::ControlModifier);
    dialogs_ = TScriptedDialogs();
    ExtractTo(out);
    ASSERT_EQ(dialogs_.errors.size(), 1u);
    EXPECT_EQ(dialogs_.errors[0].text, "The extraction stopped at entry 2 of 2, f\\8.txt:\n"
                                       "Cannot create " +
                                           Q(out / "f" / "8.txt") + ".  " + IsAFolderText() +
                                           "\n1 entry before it was not extracted:"
                                           "\nf\\3<.txt (refused: '<' in a name)");
}

// The lack of space stops a run between entries (or before the first): no entry to name, the same counts.
TEST(StoppedExtractionMessage, SpaceThatRunsOutIsToldWithTheCounts) {
    TNotExtractedEntries refused;
    for (int i = 1; i <= 7; ++i) {
        refused.Add(u"a\\" + std::u16string(1, char16_t(u'0' + i)), u"refused: absolute path");
    }
    TExtractionStop stop;
    stop.reason = u"Not enough free space in /out: the entries need at least 3 bytes, 2 bytes are free";
    stop.total = 20;
    stop.notAttempted = 10;
    EXPECT_EQ(StoppedExtractionMessage(stop, refused),
              "Not enough free space in /out: the entries need at least 3 bytes, 2 bytes are free.\n"
              "7 entries were not extracted:\n"
              "a\\1 (refused: absolute path)\na\\2 (refused: absolute path)\na\\3 (refused: absolute path)\n"
              "a\\4 (refused: absolute path)\na\\5 (refused: absolute path)\nand 2 more.\n"
              "10 entries were not attempted.");
    stop.notAttempted = 1;
    EXPECT_EQ(StoppedExtractionMessage(stop, TNotExtractedEntries()),
              "Not enough free space in /out: the entries need at least 3 bytes, 2 bytes are free.\n"
              "1 entry was not attempted.");
}

TEST_F(ExtractionTest, FileThatCannotBeCreatedEndsTheRunInTheErrorBox) {
    const fs::path out = temp_.Path() / "out";
    TForm1& form = CreateWindow();
    OpenByDialog(WriteArchive("numbered.bsa", NumberedArchive(10)));
    ClickHeader(2);
    ClickHeader(2); // File descending: 10, 09, 08, ...
    SelectAllRows();
    fs::create_directories(out / "f" / "08.txt"); // a folder where the third file goes

    ExtractTo(out);
    ASSERT_EQ(dialogs_.errors.size(), 1u);
    EXPECT_EQ(dialogs_.errors[0].caption, "Parlivex");
    EXPECT_EQ(dialogs_.errors[0].text, "The extraction stopped at entry 3 of 10, f\\08.txt:\n"
                                       "Cannot create " +
                                           Q(out / "f" / "08.txt") + ".  " + IsAFolderText() +
                                           "\n7 entries after it were not attempted.");
    EXPECT_EQ(FilesBelow(out), (std::set<std::string>{"f/10.txt", "f/09.txt"}));
    EXPECT_EQ(ReadWholeFile(out / "f" / "09.txt"), TextBytes("content of 09.txt"));
    EXPECT_EQ(form.StatusPanelText(0), "3/10");
    EXPECT_TRUE(Control<QMenu>("Files1")->isEnabled());
    EXPECT_TRUE(Control<QMenu>("Files1")->menuAction()->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(dialogs_.messages.empty());

    // The window goes on working.
    fs::remove(out / "f" / "08.txt");
    ExtractTo(out);
    EXPECT_EQ(form.StatusPanelText(0), "10/10");
    EXPECT_EQ(FilesBelow(out).size(), 10u);
}

TEST_F(ExtractionTest, RunsWithTheFilesMenuDisabledAndTheHourglass) {
    TForm1& form = CreateWindow();
    // Seen from inside the run, at its repaint of the progress after the 15th row.
    OpenByDialog(WriteArchive("fifteen.bsa", NumberedArchive(15)));
    SelectAllRows();
    bool menuEnabled = true;
    bool busy = false;
    struct Probe : QObject {
        std::function<void()> onPaint;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) {
                onPaint();
            }
            return false;
        }
    } probe;
    probe.onPaint = [&] {
        menuEnabled = Control<QMenu>("Files1")->isEnabled();
        busy = QApplication::overrideCursor() != nullptr &&
               QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    };
    QApplication::processEvents();
    Control<QLabel>("StatusPanel0")->installEventFilter(&probe);
    form.ExtractSelection(U16(temp_.Path() / "out") + kSeparator);
    Control<QLabel>("StatusPanel0")->removeEventFilter(&probe);
    EXPECT_FALSE(menuEnabled);
    EXPECT_TRUE(busy);
    EXPECT_TRUE(Control<QMenu>("Files1")->isEnabled());
}

TEST_F(ExtractionTest, SelectedRowsHiddenByTheFilterAreExtractedToo) {
    const fs::path out = temp_.Path() / "out";
    CreateWindow();
    OpenByDialog(
        WriteArchive("two.bsa", Recipe({{"a", {Entry("keep.txt", "k"), Entry("hidden.txt", "h")}}})));
    SelectAllRows();
    TypeFilter("keep");
    ASSERT_EQ(Model().rowCount(), 1);
    ExtractTo(out);
    EXPECT_EQ(FilesBelow(out), (std::set<std::string>{"a/hidden.txt", "a/keep.txt"}));
    EXPECT_EQ(Form().StatusPanelText(0), "2/2");
}

TEST_F(ExtractionTest, NothingSelectedOrCancelledWritesNothing) {
    const fs::path out = temp_.Path() / "out";
    TForm1& form = CreateWindow();
    Action("extract1")->trigger(); // no archive: not even the picker
    EXPECT_TRUE(dialogs_.pickCalls.empty());

    OpenByDialog(WriteArchive("numbered.bsa", NumberedArchive(3)));
    const std::u16string archiveFolder = form.LastExtractDir();
    Action("extract1")->trigger(); // cancelled
    EXPECT_EQ(dialogs_.pickCalls.size(), 1u);
    EXPECT_EQ(form.LastExtractDir(), archiveFolder);
    EXPECT_EQ(form.StatusPanelText(0), "");

    ExtractTo(out); // nothing selected
    EXPECT_EQ(form.StatusPanelText(0), "0/0");
    EXPECT_EQ(form.LastExtractDir(), U16(out) + kSeparator);
    EXPECT_FALSE(fs::exists(out));

    // The "fbk_Nothing_Found" row of an empty archive, selected, gives no file either.
    OpenByDialog(WriteArchive("empty.bsa", Recipe({})));
    SelectAllRows();
    ExtractTo(out);
    EXPECT_EQ(form.StatusPanelText(0), "1/1");
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(ExtractionTest, PickFolderPreselectsOnlyExistingFoldersAndEndsTheAnswerInOneSeparator) {
    fs::create_directories(temp_.Path() / "there");
    const QString there = Q(temp_.Path() / "there");
    const QString sep = Q(kSeparator);
    TForm1& form = CreateWindow();
    struct Case {
        std::u16string initial;
        QString answer;
        QString preselected;
        std::u16string result;
    };
    const Case cases[] = {
        {U16(temp_.Path() / "there") + kSeparator + kSeparator, there + sep + "new", there,
         U16(temp_.Path() / "there" / "new") + kSeparator},
        {U16(temp_.Path() / "gone") + kSeparator, there + sep + sep + sep, "",
         U16(temp_.Path() / "there") + kSeparator},
        {u"", there, "", U16(temp_.Path() / "there") + kSeparator},
        {kSeparator, sep, sep, kSeparator},
        {U16(temp_.Path() / "there"), "", there, u""},
    };
    for (const Case& c : cases) {
        dialogs_.pickAnswers = {c.answer};
        EXPECT_EQ(form.PickFolder(u"Extract to:", c.initial), c.result);
        EXPECT_EQ(dialogs_.pickCalls.back().initialFolder, c.preselected);
    }
}

} // namespace
} // namespace apptest
