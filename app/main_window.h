#pragma once
// TForm1: the main window. A menu, the filter box, the browser list and a two-panel status bar; opening and
// closing an archive (menu, drop, command line), sorting and filtering the list, extracting the selected
// rows, and the two remembered folders of prefs.ini. The controls carry their form names as object names.
#include <QMainWindow>
#include <QStringList>
#include <string>
#include <utility>
#include <vector>

#include "app/extraction.h"
#include "app/preview_job.h"
#include "archive/bsa_file.h"

class QAction;
class QLineEdit;
class QPoint;
class QSplitter;
class TFolderTree;
class QMenu;
class QMenuBar;
class QStatusBar;
class TBrowserModel;
class TBrowserTreeView;
class TElidedLabel;
class TDialogs;
class TImageList;

inline constexpr char16_t kApplicationTitle[] = u"Parlivex";
inline constexpr char16_t kWindowCaption[] = u"Parlivex (Skyrim/SkyrimSE) - v1.0.3";

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // dialogs must outlive the window. exeDir is the folder of executablePath.
    TForm1(TDialogs& dialogs, const std::u16string& executablePath, QWidget* parent = nullptr);
    ~TForm1() override;

    // Window state.
    bool HasArchive() const { return archive_ != nullptr; }
    const std::u16string& ArchivePath() const { return archivePath_; }
    const std::u16string& ExeDir() const { return exeDir_; }
    const std::u16string& LastBsaDir() const { return lastBsaDir_; }
    const std::u16string& LastExtractDir() const { return lastExtractDir_; }
    TBrowserModel& BrowserModel() { return *browserModel_; }
    QString StatusPanelText(int panel) const;

    // Opens the first argument after the program's name exactly like a dropped file ("Open with").
    void OpenCommandLineArgument(const QStringList& arguments);

    // Handlers, named control + event, and the routines they use. They let errors pass; the controls'
    // signals reach them through RunHandler, which shows such errors in the application's error box.
    void FormCreate();
    void FormClose();
    void Openarchive1Click();
    void extract1Click(bool withoutFolders = false);
    void CloseArchive1Click();
    void WMDropFiles(const QStringList& paths);
    void OpenArchive(const std::u16string& path);
    void FillBrowser();
    void ButtonedEdit1Change();
    void ButtonedEdit1RightButtonClick();
    void ApplyFilter();
    // The filter box in an error colour with reason as its tooltip; back to normal when reason is empty.
    void ShowFilterError(const QString& reason);
    void BrowserTreeHeaderClick(Qt::MouseButton button, int column);
    // Enter or a double-click on a row: a preview window of its entry (the placeholder row opens nothing).
    void BrowserTreeActivated(int modelRow);
    // A right-click on a row (at: in the list's viewport): Preview, Extract…, Copy path, Copy file name.
    void BrowserTreeContextMenu(const QPoint& at);
    // The selected shown rows' entry strings (or only their file names) on the clipboard, one per line.
    void CopySelectedRows(bool fileNamesOnly);
    // Shows or hides the folder tree (hiding it goes back to every folder).
    void ShowFolderTree(bool shown);
    // A right-click on the folder tree: "Extract…" for the folder's subtree.
    void FolderTreeContextMenu(const QPoint& at);
    // Every entry in folder or below it (as TFolderTree names folders), below a folder the user picks.
    void ExtractFolderClick(const std::u16string& folder);
    // For tests: the hook every preview opened from now on passes to its jobs (see TPreviewJobHook).
    void SetPreviewJobHook(TPreviewJobHook hook) { previewJobHook_ = std::move(hook); }
    std::u16string PickFolder(const std::u16string& prompt, const std::u16string& initialFolder);
    // The selected rows' entries, with the core's extraction of a selection on this thread.
    void ExtractSelection(const std::u16string& destination, bool withoutFolders = false);
    // Extracts entries (placeholders: rows counted in the progress that are no entries) below destination
    // on this thread, and reports what was not written.
    void ExtractEntryRefs(std::vector<TEntryRef> entries, int placeholders, const std::u16string& destination,
                          bool withoutFolders = false);
    void LoadPrefs();
    void SavePrefs();
    // Where prefs.ini is read from (it is written there too, unless that fails).
    std::u16string PrefsFileName() const;

    // The application's default handler: the error box captioned with the application title, the message
    // with a "." appended unless it is empty or already ends in a character up to ".".
    void ShowException(const std::u16string& message);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    template <class Handler> void RunHandler(Handler&& handler);
    void SetStatusPanelText(int panel, const QString& text);
    // "Extract selection" needs an open archive, "CloseArchive" something to close.
    void UpdateActions();
    // The list row of the view's current row, or -1; and the view's selection and current row brought back
    // from the rows' flags after the rows were sorted or filtered.
    int CurrentListRow() const;
    void RestoreViewSelection(int currentListRow);
    void ShowRefusedEntries();
    // Releases the archive, once the previews no longer read from it (see TPreviewWindow::StopReading).
    void FreeArchive();

    TDialogs& dialogs_;
    TImageList* ImageList1 = nullptr;
    TBrowserModel* browserModel_ = nullptr;

    QMenuBar* MainMenu1 = nullptr;
    QMenu* Files1 = nullptr;
    QAction* Openarchive1 = nullptr;
    QAction* extract1 = nullptr;
    QAction* N1 = nullptr;
    QAction* CloseArchive1 = nullptr;
    QAction* N2 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* View1 = nullptr;
    QAction* FolderTree1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* About1 = nullptr;
    QLineEdit* ButtonedEdit1 = nullptr;
    QAction* ButtonedEdit1LeftButton = nullptr;
    QAction* ButtonedEdit1RightButton = nullptr;
    QAction* FilterRegexButton = nullptr; // the filter box's text as a regular expression
    TBrowserTreeView* BrowserTree = nullptr;
    QSplitter* BrowserSplitter = nullptr;
    TFolderTree* FolderTree = nullptr;
    bool folderTreeChosen_ = false; // shown or hidden by the user: remembered in prefs.ini
    QStatusBar* StatusBar1 = nullptr;
    TElidedLabel* StatusPanels[2] = {nullptr, nullptr};

    std::unique_ptr<TwbBSAFile> archive_; // the open archive, or none
    std::u16string archivePath_;
    std::u16string exeDir_;
    std::u16string lastBsaDir_;
    std::u16string lastExtractDir_;
    std::u16string executablePath_;
    // Entries of the current extraction that were not written.
    TNotExtractedEntries notExtracted_;
    TPreviewJobHook previewJobHook_;
};
