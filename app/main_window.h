#pragma once
// TForm1: the main window. A menu, the filter box, the browser list and a two-panel status bar; opening and
// closing an archive (menu, drop, command line), sorting and filtering the list, extracting the selected
// rows, and the two remembered folders of prefs.ini. The controls carry their form names as object names.
#include <QMainWindow>
#include <QStringList>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/extraction.h"
#include "app/prefs.h"
#include "app/preview_job.h"
#include "archive/bsa_file.h"
#include "base/exceptions.h"
#include "base/ustring.h"
#include "data_folder/load_order_settings.h"
#include "data_folder/row_extraction.h"
#include "extract/extract_selection.h"

class QAction;
class QDockWidget;
class QDrag;
class TArchivePane;
class TCompareWindow;
class TBsaIndex;
class TDataFolder;
class QLabel;
class QLineEdit;
class QPushButton;
class QShortcut;
class QTimer;
class QTemporaryDir;
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

// The indexes of folder's sources (its archives and the loose files), as the folder tree takes them.
std::vector<const TBsaIndex*> SourceIndexes(const TDataFolder& folder);

inline constexpr char16_t kApplicationTitle[] = u"Parlivex";
inline constexpr char16_t kWindowCaption[] = u"Parlivex (Skyrim/SkyrimSE) - v1.0.3";

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // dialogs must outlive the window. exeDir is the folder of executablePath.
    TForm1(TDialogs& dialogs, const std::u16string& executablePath, QWidget* parent = nullptr);
    ~TForm1() override;

    // Window state. An archive is open, or several (a Data folder, or archives opened together).
    bool HasArchive() const { return archive_ != nullptr || dataFolder_ != nullptr; }
    // The archives open together, or null when one archive (or none) is open.
    const TDataFolder* DataFolder() const { return dataFolder_.get(); }
    const std::u16string& ArchivePath() const { return archivePath_; }
    const std::u16string& ExeDir() const { return exeDir_; }
    const std::u16string& LastBsaDir() const { return lastBsaDir_; }
    const std::u16string& LastExtractDir() const { return lastExtractDir_; }
    TBrowserModel& BrowserModel() { return *browserModel_; }
    QString StatusPanelText(int panel) const;
    // The counts at the right of the status bar: rows shown / entries, selected, selected but hidden.
    QString RowCountsText() const;

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

    // Several archives as one list (data_folder_view.cpp). A Data folder: every .bsa in it, in the game's
    // load order (by the INI file and plugins.txt the user gave for that folder, or those given with
    // SetLoadOrderFiles, or found where the game keeps them). Archives given one by one: in the order given;
    // a single one opens as OpenArchive opens it. Several archives open off this thread: what was open
    // stays until they are (or the opening is cancelled, or fails), the window says how far it has come,
    // and an opening started meanwhile, or OpenArchive, replaces the one under way.
    void OpenDataFolderClick();
    void OpenDataFolder(const std::u16string& folder);
    void OpenArchivesGiven(const std::vector<std::u16string>& paths);
    void SetLoadOrderFiles(const TLoadOrderFiles& files) { loadOrderFiles_ = files; }
    // Whether archives are being opened off this thread; CancelOpening (Esc, the status bar's Cancel, Files
    // > Cancel opening) stops it and leaves the window as it was before.
    bool Opening() const { return openJob_ != nullptr; }
    void CancelOpening();
    // For tests: called on the opening's thread before it opens anything, with its cancel flag.
    void SetOpenJobHook(std::function<void(const std::atomic<bool>& cancelled)> hook) {
        openJobHook_ = std::move(hook);
    }
    // The archive pane's buttons: plugins.txt or the INI file picked, or the automatic choice again, kept
    // for the Data folder open (in prefs.ini), and the folder opened again with it.
    void ChooseLoadOrderFile(bool plugins);
    void UseAutomaticLoadOrderFile(bool plugins);
    // Which archives take part (one flag per source, in load order), as the archive pane's tick boxes say.
    void SetTakingPart(const std::vector<bool>& takingPart);
    // View > Conflicts only: only the paths that more than one archive taking part holds.
    void ShowConflictsOnly(bool on);
    // View > Loose files: the Data folder opened again with its loose files, or without them.
    void ShowLooseFiles(bool on);
    // "Extract winners only…": of the selected rows, those the game sees.
    void ExtractWinnersClick();
    // The rows (of the data folder's table) below destination on this thread, reporting what was not
    // written and what was overridden; like ExtractEntryRefs otherwise.
    TRowExtractSummary ExtractRowRefs(std::vector<uint32_t> rows, int placeholders,
                                      const std::u16string& destination, bool winnersOnly,
                                      bool withoutFolders = false, const TExtractionControl& control = {});
    TArchivePane& ArchivePane() { return *ArchivePane1; }
    // File > Compare archives…: two archives picked, then compared in a window of their own (off this
    // thread). CompareWith: the second picked, compared with first (the archive pane's "Compare with…").
    void CompareArchivesClick();
    void CompareWith(const std::u16string& first);
    TCompareWindow* CompareArchives(const std::u16string& first, const std::u16string& second);
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
    // For tests: called on the sizes job's thread before it reads (with its cancel flag), and with each drag
    // before it is started (where the drag would block the test).
    using TSizesJobHook = std::function<void(const std::atomic<bool>& cancelled)>;
    void SetSizesJobHook(TSizesJobHook hook) { sizesJobHook_ = std::move(hook); }
    using TDragHook = std::function<void(QDrag& drag)>;
    void SetDragHook(TDragHook hook) { dragHook_ = std::move(hook); }
    // Shows or hides the Size or Stored column (the header's menu).
    void ShowSizeColumn(int column, bool shown);
    // A right-click on the list's header: Size and Stored, each shown or hidden.
    void HeaderContextMenu(const QPoint& at);
    // The selected rows dragged out of the list: their entries extracted, with their folders, into a
    // folder of the window's own below the system's temporary folder, then dragged as those files.
    void BrowserTreeDragRowsOut();
    // Where the last drag's files were written (empty when none is kept).
    QString DragFolder() const;
    std::u16string PickFolder(const std::u16string& prompt, const std::u16string& initialFolder);
    // The selected rows' entries, with the core's extraction of a selection on this thread.
    void ExtractSelection(const std::u16string& destination, bool withoutFolders = false);
    // Extracts entries (placeholders: rows counted in the progress that are no entries) below destination
    // on this thread, and reports what was not written. A write error or the lack of space raises the
    // message that says so.
    ExtractSummary ExtractEntryRefs(std::vector<TEntryRef> entries, int placeholders,
                                    const std::u16string& destination, bool withoutFolders = false,
                                    const TExtractionControl& control = {});
    // The selected rows' entries in list order (hidden rows included), and how many selected rows are
    // placeholders.
    std::vector<TEntryRef> SelectedEntries(int& placeholders) const;
    void LoadPrefs();
    void SavePrefs();
    // Where prefs.ini is read from (it is written there too, unless that fails).
    std::u16string PrefsFileName() const;

    // The application's default handler: the error box captioned with the application title, the message
    // with a "." appended unless it is empty or already ends in a character up to ".".
    void ShowException(const std::u16string& message);

signals:
    // The opening of several archives has ended: their rows are shown, or it failed (before its message) or
    // was cancelled.
    void openingEnded();

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
    // Releases the archive, once the previews and the sizes job no longer read from it (see
    // TPreviewWindow::StopReading).
    void FreeArchive();
    // The decoded sizes of the open archive's entries read on a job of their own, handed to the model when
    // they arrive; StopReadingSizes cancels and joins it.
    void StartReadingSizes();
    void StopReadingSizes();
    // The same for the archives of a data folder, handed to the model by table row.
    void StartReadingRowSizes();
    void SizesRead(uint64_t serial, const std::vector<uint32_t>& sizes);
    void UpdateRowCounts();
    // The rows of the open data folder in the list, the archive pane and the Archive column.
    void ShowDataFolder();
    void FillDataFolderRows();
    // The opening of several archives off this thread (data_folder_view.cpp): started, how far it has come
    // in the status bar, and its result taken (serial: of the opening, stale ones are dropped).
    struct TOpenRequest;
    struct TOpenResult;
    struct TOpenProgress;
    void StartOpening(const TOpenRequest& request);
    void ShowOpeningProgress();
    void OpeningEnded(uint64_t serial, TOpenResult& result);
    void EndOpening();
    // The files the user chose for the Data folder open (empty ones: automatic); one of them replaced, and
    // the folder opened again with them, which keeps them once it opens.
    TLoadOrderChoice ChosenLoadOrderFiles() const;
    void SetChosenLoadOrderFile(bool plugins, const std::u16string& file);
    // Whether a table row is shown (its archive takes part; with Conflicts only, its path is a conflict).
    bool DataRowKept(uint32_t row);
    void ShowOverriddenRows(const TRowExtractSummary& summary);

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
    QAction* ConflictsOnly1 = nullptr;
    QAction* LooseFiles1 = nullptr;
    QAction* Archives1 = nullptr; // the archive pane shown or hidden
    QAction* OpenDataFolder1 = nullptr;
    QAction* ExtractWinners1 = nullptr;
    QAction* CompareArchives1 = nullptr;
    QAction* CancelOpening1 = nullptr; // shown while archives are being opened
    QDockWidget* ArchiveDock = nullptr;
    TArchivePane* ArchivePane1 = nullptr;
    bool archivePaneShown_ = false; // once: the window grew to make room for it
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
    QLabel* StatusCounts = nullptr;
    QPushButton* StatusCancel = nullptr; // "Cancel" while archives are being opened
    // Escape in the list and in the filter box; while archives are being opened, Escape cancels instead.
    QShortcut* listEscape_ = nullptr;
    QShortcut* filterEscape_ = nullptr;
    bool sizeColumnsChosen_ = false; // Size or Stored shown or hidden by the user: remembered in prefs.ini

    std::unique_ptr<TwbBSAFile> archive_; // the open archive, or none
    // The archives open together, or none; the rows' entries are then rows of its table.
    std::unique_ptr<TDataFolder> dataFolder_;
    std::u16string dataFolderPath_; // the Data folder opened; empty for archives given one by one
    TLoadOrderFiles loadOrderFiles_;
    TChosenLoadOrderFiles chosenLoadOrderFiles_; // by Data folder: the user's plugins.txt and INI file
    std::vector<uint8_t> keptRows_;   // by table row: shown by the archives taking part and Conflicts only;
                                      // empty: to be worked out
    TNotExtractedEntries overridden_; // rows of the last extraction that a later archive overrode
    std::u16string archivePath_;
    std::u16string exeDir_;
    std::u16string lastBsaDir_;
    std::u16string lastExtractDir_;
    std::u16string executablePath_;
    // Entries of the current extraction that were not written.
    TNotExtractedEntries notExtracted_;
    TPreviewJobHook previewJobHook_;
    TSizesJobHook sizesJobHook_;
    TDragHook dragHook_;
    // The sizes job and the reader it reads through (its own handle on the archive); the job goes first.
    std::vector<std::unique_ptr<TwbBSAFile>> sizesReaders_; // one per archive of a data folder
    std::unique_ptr<TwbBSAFile> sizesReader_;
    std::unique_ptr<TPreviewJob> sizesJob_;
    uint64_t sizesSerial_ = 0;       // of the job whose sizes are wanted
    bool sortWaitsForSizes_ = false; // the rows were sorted by Size or Stored before the sizes were known
    // The opening under way (its job goes before what it reports to), its progress, and the status bar's
    // texts to bring back when it is cancelled.
    std::unique_ptr<TPreviewJob> openJob_;
    std::shared_ptr<TOpenProgress> openProgress_;
    uint64_t openSerial_ = 0;
    QTimer* openProgressTimer_ = nullptr;
    QString statusBeforeOpening_[2];
    QString openingWhat_; // the folder, or how many archives given
    std::function<void(const std::atomic<bool>& cancelled)> openJobHook_;
    // The last drag's files, removed with it at the next drag or when the window goes.
    std::unique_ptr<QTemporaryDir> dragFolder_;
};

template <class Handler> void TForm1::RunHandler(Handler&& handler) {
    // Errors must not travel through Qt's event dispatch: they end here, in the application's error box.
    try {
        handler();
    } catch (const Exception& error) {
        ShowException(error.Message());
    } catch (const std::exception& error) {
        ShowException(FromUtf8(error.what()));
    }
}
