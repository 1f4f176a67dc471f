// Several archives opened off the window's thread: the rows arrive while the window goes on, its status bar
// says how far the opening has come and offers to cancel it, the menus that would use the archives being
// replaced wait; cancelling, opening something else meanwhile or closing the window leave it sound. And the
// plugins.txt and INI file chosen in the archive pane, kept per Data folder in prefs.ini.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include "app/archive_pane.h"
#include "app/prefs.h"
#include "data_folder/data_folder.h"
#include "tests/app/app_test_support.h"
#include "tests/app/archive_pane_menu.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;

// Holds a job's thread (the opening's, or the sizes job's) where its hook is called until the test lets it
// go or the job is cancelled; only the first `held` calls are held.
struct OpeningGate {
    std::atomic<int> entered{0};
    std::atomic<int> cancelled{0};
    std::atomic<bool> released{false};
    int held = 1;

    static std::function<void(const std::atomic<bool>&)> Hook(const std::shared_ptr<OpeningGate>& gate) {
        return [gate](const std::atomic<bool>& cancelled) {
            if (gate->entered++ >= gate->held) {
                return;
            }
            while (!gate->released.load() && !cancelled.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            if (cancelled.load()) {
                ++gate->cancelled;
            }
        };
    }
};

class DataFolderOpeningTest : public WindowTest {
protected:
    DataFolderOpeningTest() {
        data_ = temp_.Path() / "game" / "Data";
        WriteArchive("game/Data/Skyrim - Base.bsa", Recipe({{"meshes", {Entry("m.nif", "base m")}},
                                                            {"textures", {Entry("a.dds", "base a")}}}));
        WriteArchive("game/Data/Update.bsa", Recipe({{"meshes", {Entry("m.nif", "update m")}}}));
        WriteArchive("game/Data/Mod.bsa", Recipe({{"textures", {Entry("a.dds", "mod a")}}}));
        other_ = temp_.Path() / "other" / "Data";
        WriteArchive("other/Data/Skyrim - Other.bsa", Recipe({{"other", {Entry("o.nif", "o")}}}));
        WriteArchive("other/Data/Update.bsa", Recipe({{"other", {Entry("u.nif", "u")}}}));
        // The automatic choice in these tests: no plugins.txt of the user's, no Documents folder.
        noPlugins_ = temp_.Path() / "none.txt";
        std::ofstream(noPlugins_) << "# none\n";
    }

    TForm1& NewWindow() {
        TForm1& form = CreateWindow();
        form.SetLoadOrderFiles({u"", U16(noPlugins_), u"", u""});
        return form;
    }

    // File > Open Data folder… answered with folder; the opening is left to run.
    void StartOpening(const fs::path& folder) {
        dialogs_.pickAnswers.push_back(Q(folder));
        Action("OpenDataFolder1")->trigger();
    }

    void OpenFolder(const fs::path& folder) {
        StartOpening(folder);
        ASSERT_TRUE(WaitForOpening());
    }

    // An opening of folder whose thread is held at the gate it returns, once it is there.
    std::shared_ptr<OpeningGate> StartHeldOpening(TForm1& form, const fs::path& folder) {
        auto gate = std::make_shared<OpeningGate>();
        form.SetOpenJobHook(OpeningGate::Hook(gate));
        StartOpening(folder);
        WaitAtGate(*gate);
        return gate;
    }

    // Until the held thread waits at the gate.
    void WaitAtGate(const OpeningGate& gate, int entered = 1) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return gate.entered.load() >= entered; }, kOpeningWaitMs));
    }

    // What the window shows: the status panels, the counts and every row's entry with its archive.
    QStringList WindowState() {
        QStringList state = {Form().StatusPanelText(0), Form().StatusPanelText(1), Form().RowCountsText()};
        for (int row = 0; row < Model().rowCount(); ++row) {
            state.append(Model().index(row, TBrowserModel::kPathColumn).data().toString() +
                         Model().index(row, TBrowserModel::kFileColumn).data().toString() + " @ " +
                         Model().index(row, TBrowserModel::kArchiveColumn).data().toString());
        }
        return state;
    }

    QString OrderText() { return Form().ArchivePane().OrderText(); }

    fs::path data_;
    fs::path other_;
    fs::path noPlugins_;
};

TEST_F(DataFolderOpeningTest, TheFolderOpensOffTheWindowsThreadWithProgressAndLockedMenus) {
    TForm1& form = NewWindow();
    const auto gate = StartHeldOpening(form, data_);
    // The window is free meanwhile: the opening is under way, said so, and can be cancelled.
    EXPECT_TRUE(form.Opening());
    EXPECT_EQ(form.StatusPanelText(0), QStringLiteral("Opening\u2026"));
    EXPECT_EQ(form.StatusPanelText(1), "Opening " + Q(data_) + Q(kSeparator) + QStringLiteral("\u2026"));
    EXPECT_TRUE(Control<QPushButton>("StatusCancel")->isVisible());
    EXPECT_TRUE(Action("CancelOpening1")->isVisible());
    EXPECT_TRUE(Action("OpenDataFolder1")->isEnabled());
    EXPECT_TRUE(Action("Openarchive1")->isEnabled());
    for (const char* locked : {"extract1", "ExtractWinners1", "LooseFiles1"}) {
        EXPECT_FALSE(Action(locked)->isEnabled()) << locked;
    }
    TypeFilter("nif");
    EXPECT_EQ(Control<QLineEdit>("ButtonedEdit1")->text(), "nif");

    gate->released = true;
    ASSERT_TRUE(WaitForOpening());
    ASSERT_NE(form.DataFolder(), nullptr);
    EXPECT_EQ(form.DataFolder()->sources.size(), 3u);
    // The rows arrive under the filter typed meanwhile.
    EXPECT_EQ(VisibleEntries(), QStringList({"meshes\\m.nif", "meshes\\m.nif"}));
    EXPECT_TRUE(form.StatusPanelText(1).startsWith(Q(data_))) << Utf8(form.StatusPanelText(1));
    EXPECT_EQ(form.StatusPanelText(0), "");
    EXPECT_FALSE(Control<QPushButton>("StatusCancel")->isVisible());
    EXPECT_FALSE(Action("CancelOpening1")->isVisible());
    for (const char* unlocked : {"extract1", "ExtractWinners1", "LooseFiles1"}) {
        EXPECT_TRUE(Action(unlocked)->isEnabled()) << unlocked;
    }
    EXPECT_EQ(gate->cancelled.load(), 0);
    EXPECT_TRUE(dialogs_.messages.empty());
}

// Each way to cancel, over a folder open before and over an empty window: the window is as it was.
TEST_F(DataFolderOpeningTest, CancellingLeavesTheWindowAsItWas) {
    const struct {
        const char* how;
        bool folderOpenBefore;
    } cases[] = {{"Esc", true}, {"StatusCancel", true}, {"CancelOpening1", true}, {"Esc", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.how) + (c.folderOpenBefore ? " over a folder" : " over nothing"));
        TForm1& form = NewWindow();
        if (c.folderOpenBefore) {
            OpenFolder(data_);
        }
        const TDataFolder* before = form.DataFolder();
        const QStringList shown = WindowState();
        const auto gate = StartHeldOpening(form, other_);
        ASSERT_TRUE(form.Opening());
        if (std::string(c.how) == "Esc") {
            QTest::keyClick(Tree(), Qt::Key_Escape);
        } else if (std::string(c.how) == "StatusCancel") {
            QTest::mouseClick(Control<QPushButton>("StatusCancel"), Qt::LeftButton);
        } else {
            Action(c.how)->trigger();
        }
        EXPECT_FALSE(form.Opening());
        EXPECT_EQ(gate->cancelled.load(), 1);
        QApplication::processEvents();
        EXPECT_EQ(form.DataFolder(), before);
        EXPECT_EQ(WindowState(), shown);
        EXPECT_EQ(Action("extract1")->isEnabled(), c.folderOpenBefore);
        EXPECT_FALSE(Control<QPushButton>("StatusCancel")->isVisible());
        EXPECT_TRUE(dialogs_.messages.empty());
        // Esc in the list goes to the filter box again.
        QTest::keyClick(Tree(), Qt::Key_Escape);
        EXPECT_TRUE(Control<QLineEdit>("ButtonedEdit1")->hasFocus());
    }
}

// The sizes of what is open are not read while an opening takes the cores; cancelled, it reads them again.
TEST_F(DataFolderOpeningTest, SizesStoppedByAnOpeningAreReadAgainWhenItIsCancelled) {
    TForm1& form = NewWindow();
    auto sizes = std::make_shared<OpeningGate>();
    sizes->held = 2;
    form.SetSizesJobHook(OpeningGate::Hook(sizes));
    OpenFolder(data_);
    WaitAtGate(*sizes);
    const auto gate = StartHeldOpening(form, other_);
    EXPECT_EQ(sizes->cancelled.load(), 1);
    Action("CancelOpening1")->trigger();
    WaitAtGate(*sizes, 2);
    sizes->released = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return Model().SizesKnown(); }, kOpeningWaitMs));
    EXPECT_EQ(Model().index(0, TBrowserModel::kSizeColumn).data().toString(), "6 bytes");
}

TEST_F(DataFolderOpeningTest, AnotherOpeningMeanwhileReplacesTheFirst) {
    TForm1& form = NewWindow();
    const auto gate = StartHeldOpening(form, data_);
    // Archives dropped together: the folder's opening is cancelled, theirs goes on to its rows.
    Drop({other_ / "Update.bsa", other_ / "Skyrim - Other.bsa"});
    EXPECT_EQ(gate->cancelled.load(), 1);
    ASSERT_TRUE(WaitForOpening());
    ASSERT_NE(form.DataFolder(), nullptr);
    EXPECT_EQ(VisibleEntries(), QStringList({"other\\o.nif", "other\\u.nif"}));
    EXPECT_EQ(form.ArchivePane().OrderText(), "Order: as given");

    // One archive opened meanwhile: opened as always, and nothing of the folder comes after it.
    gate->held = 3;
    StartOpening(data_);
    WaitAtGate(*gate, 3);
    OpenByDialog(data_ / "Mod.bsa");
    EXPECT_FALSE(form.Opening());
    EXPECT_EQ(gate->cancelled.load(), 2);
    QApplication::processEvents();
    EXPECT_EQ(form.DataFolder(), nullptr);
    EXPECT_EQ(VisibleEntries(), QStringList({"textures\\a.dds"}));
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(DataFolderOpeningTest, ClosingTheWindowDuringAnOpeningStopsIt) {
    TForm1& form = NewWindow();
    OpenFolder(data_);
    const auto gate = StartHeldOpening(form, other_);
    form.close();
    EXPECT_EQ(gate->cancelled.load(), 1);
    EXPECT_FALSE(form.Opening());
    QApplication::processEvents();
    EXPECT_TRUE(dialogs_.messages.empty());
    // And a window destroyed while it opens (the test's next window replaces it).
    TForm1& next = NewWindow();
    const auto nextGate = StartHeldOpening(next, data_);
    NewWindow();
    EXPECT_EQ(nextGate->cancelled.load(), 1);
}

TEST_F(DataFolderOpeningTest, AFolderThatCannotBeOpenedIsReported) {
    TForm1& form = NewWindow();
    OpenFolder(temp_.Path() / "missing");
    EXPECT_EQ(form.DataFolder(), nullptr);
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_FALSE(dialogs_.messages[0].text.isEmpty());
    EXPECT_FALSE(Control<QPushButton>("StatusCancel")->isVisible());
}

// The files chosen in the pane, per Data folder, through prefs.ini: kept when the window closes, applied when
// that folder opens again (not another), "Automatic" going back, and a file gone since named with the
// reason while the order falls back.
TEST_F(DataFolderOpeningTest, FilesChosenInThePaneAreKeptPerFolder) {
    const fs::path plugins = temp_.Path() / "profiles" / "plugins.txt";
    const fs::path ini = temp_.Path() / "profiles" / "Skyrim.ini";
    fs::create_directories(plugins.parent_path());
    std::ofstream(plugins) << "*Mod.esp\n";
    std::ofstream(ini) << "[Archive]\nsResourceArchiveList=Update.bsa, Skyrim - Base.bsa\n";

    TForm1* form = &NewWindow();
    OpenFolder(data_);
    dialogs_.openAnswers.push_back(Q(plugins));
    ChooseInPaneMenu(*form, "ArchivePanePlugins", "Choose");
    ASSERT_TRUE(WaitForOpening());
    dialogs_.openAnswers.push_back(Q(ini));
    ChooseInPaneMenu(*form, "ArchivePaneIni", "Choose");
    ASSERT_TRUE(WaitForOpening());
    EXPECT_TRUE(OrderText().contains("plugins: " + Q(plugins))) << Utf8(OrderText());
    EXPECT_TRUE(OrderText().contains("INI list of " + Q(ini))) << Utf8(OrderText());
    form->close();

    form = &NewWindow();
    OpenFolder(other_); // another game install: its own (automatic) files
    EXPECT_FALSE(OrderText().contains(Q(plugins))) << Utf8(OrderText());
    OpenFolder(data_);
    EXPECT_TRUE(OrderText().contains("plugins: " + Q(plugins))) << Utf8(OrderText());
    EXPECT_TRUE(OrderText().contains("INI list of " + Q(ini))) << Utf8(OrderText());
    EXPECT_EQ(form->DataFolder()->sources.back().name, u"Mod.bsa");
    EXPECT_TRUE(form->DataFolder()->sources.back().loaded);
    // The menu says what is chosen; "Automatic" goes back to the files where the game keeps them.
    ChooseInPaneMenu(*form, "ArchivePanePlugins", "Automatic", [&](QMenu& menu) {
        auto* chosen = menu.findChild<QAction*>("ArchivePanePluginsChosen");
        ASSERT_NE(chosen, nullptr);
        EXPECT_EQ(chosen->text(), Q(plugins));
        EXPECT_FALSE(menu.findChild<QAction*>("ArchivePanePluginsAutomatic")->isChecked());
    });
    ASSERT_TRUE(WaitForOpening());
    EXPECT_TRUE(OrderText().contains("plugins: " + Q(noPlugins_))) << Utf8(OrderText());
    EXPECT_FALSE(form->DataFolder()->sources.back().loaded);
    form->close();

    // The INI file has gone since: named with the reason, the order falls back; plugins.txt stays automatic.
    fs::remove(ini);
    form = &NewWindow();
    Drop({data_}); // the same folder, given without a separator at its end as a dropped one is
    ASSERT_TRUE(WaitForOpening());
    EXPECT_TRUE(OrderText().contains("\"Skyrim - \" archives in name order")) << Utf8(OrderText());
    EXPECT_TRUE(OrderText().contains(Q(ini) + ": not found")) << Utf8(OrderText());
    EXPECT_TRUE(OrderText().contains("plugins: " + Q(noPlugins_))) << Utf8(OrderText());
    EXPECT_TRUE(dialogs_.messages.empty());
    ChooseInPaneMenu(*form, "ArchivePaneIni", "Automatic");
    ASSERT_TRUE(WaitForOpening());
    form->close();
    EXPECT_TRUE(ReadChosenLoadOrderFiles(TIniFile(U16(binFolder_ / "prefs.ini"))).empty());
}

} // namespace
} // namespace apptest
