#pragma once
// What the window tests share: dialogs answered by a script, a window over a temporary folder (its
// executable "lives" in <temp>/bin, so prefs.ini is <temp>/bin/prefs.ini), fixture archives, and ways to
// drive the controls as a user would.
#include <QAbstractItemModelTester>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/browser_model.h"
#include "app/dialogs.h"
#include "app/main_window.h"
#include "fixtures/bsa_writer.h"
#include "fixtures/temp_folder.h"
#include "platform/directories.h"

class QAction;
class QMimeData;
class QTreeView;

namespace apptest {

// Routes the model checker's complaints into a list that every window test checks at its end.
void InstallModelTesterWatch();
std::vector<QString>& ModelTesterComplaints();

class TScriptedDialogs : public TDialogs {
public:
    struct OpenCall {
        QString initialFolder, description, pattern;
    };
    struct PickCall {
        QString prompt, initialFolder;
    };
    struct SaveCall {
        QString suggestedName, description, pattern;
    };
    struct Box {
        QString caption, text;
    };

    // Answers, taken in order; when none is left the dialog is cancelled.
    std::deque<QString> openAnswers;
    // Answers of the dialog where several files may be chosen; when none is left it answers as OpenFile.
    std::deque<QStringList> openManyAnswers;
    std::deque<QString> pickAnswers;
    std::deque<QString> saveAnswers;

    std::vector<OpenCall> openCalls;
    std::vector<PickCall> pickCalls;
    std::vector<SaveCall> saveCalls;
    std::vector<Box> messages;
    std::vector<Box> errors;

    std::optional<QString> OpenFile(QWidget* owner, const QString& initialFolder, const QString& description,
                                    const QString& pattern) override;
    QStringList OpenFiles(QWidget* owner, const QString& initialFolder, const QString& description,
                          const QString& pattern) override;
    QString PickFolder(QWidget* owner, const QString& prompt, const QString& initialFolder) override;
    std::optional<QString> SaveFile(QWidget* owner, const QString& suggestedName, const QString& description,
                                    const QString& pattern) override;
    void ShowMessage(QWidget* owner, const QString& caption, const QString& text) override;
    void ShowErrorBox(QWidget* owner, const QString& caption, const QString& text) override;
};

// An entry of a fixture archive.
fixture::EntrySpec Entry(std::string name, std::string_view content,
                         fixture::Storage storage = fixture::Storage::Lz4Frame);
fixture::EntrySpec Entry(std::string name, std::vector<uint8_t> content,
                         fixture::Storage storage = fixture::Storage::Lz4Frame);
// A folder with an empty name (its entries are listed as "\name").
fixture::FolderSpec RootFolder(std::vector<fixture::EntrySpec> files);

// An archive of these folders (flags 0x3: named folders and files).
fixture::ArchiveSpec Recipe(std::vector<fixture::FolderSpec> folders, uint32_t version = 105);

QString Q(const std::u16string& text);
QString Q(const std::filesystem::path& path);
std::u16string U16(const std::filesystem::path& path);
// What the window puts at the end of the folders it keeps: the system's separator.
inline const std::u16string kSeparator(1, platform::kPathDelimiter);
std::string Utf8(const QString& text);

class WindowTest : public ::testing::Test {
protected:
    WindowTest();
    ~WindowTest() override;
    void TearDown() override;

    // A new window (the old one, if any, is destroyed without closing); shown, with the model checker on it.
    TForm1& CreateWindow();
    TForm1& Form() { return *form_; }
    TBrowserModel& Model() { return form_->BrowserModel(); }

    template <class T> T* Control(const char* objectName) {
        T* control = form_->findChild<T*>(QString::fromLatin1(objectName));
        EXPECT_NE(control, nullptr) << objectName;
        return control;
    }
    QTreeView* Tree();
    QAction* Action(const char* objectName) { return Control<QAction>(objectName); }

    // Writes an archive into the temporary folder (a path below it, folders made) and returns its path.
    std::filesystem::path WriteArchive(const std::string& name, const fixture::ArchiveSpec& recipe);

    // "Open archive" answered with path.
    void OpenByDialog(const std::filesystem::path& path);
    // Drops files on the window as a file manager does (their addresses as URLs and as text), at the
    // middle of a control (the status bar when none is named), and lets the window take them. The events
    // go to the window's handle, which hands them to the control under that point that takes drops. True
    // when the drop was taken.
    bool Drop(const std::vector<std::filesystem::path>& paths, QWidget* onto = nullptr);
    bool DropMime(QMimeData& mime, QWidget* onto);
    // The same with the URLs as given (file addresses with any bytes in them).
    bool Drop(const QList<QUrl>& urls, QWidget* onto = nullptr);

    // The visible rows: a column's texts, or "Path" + "File" joined (the entry string).
    QStringList ColumnTexts(int column);
    QStringList VisibleEntries();
    QStringList AllEntries(); // in list order, hidden rows included
    int IconOfRow(int modelRow);

    // Mouse on the header / on a visible row, as a user clicks.
    void ClickHeader(int column, Qt::MouseButton button = Qt::LeftButton);
    void ClickRow(int modelRow, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // Presses the left button on a shown row and moves the pointer away with the button held, as a user
    // begins a drag; then lets go.
    void DragRow(int modelRow);
    void SelectAllRows();
    void TypeFilter(const QString& text);
    // Until the window signals that the archives being opened off its thread are shown (or have failed);
    // false when that takes longer than any opening of test fixtures could.
    bool WaitForOpening();
    static constexpr int kOpeningWaitMs = 60000;
    // "Extract selection" answered with destination.
    void ExtractTo(const std::filesystem::path& destination);

    fixture::TempFolder temp_;
    std::filesystem::path binFolder_;
    std::u16string executablePath_;
    TScriptedDialogs dialogs_;

private:
    std::unique_ptr<TForm1> form_;
};

} // namespace apptest
