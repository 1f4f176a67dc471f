// The window over several archives at once: a Data folder in the game's load order, or archives given one by
// one in the order given. The rows' entries are rows of the folder's override table; the archive pane says
// what decided the order and takes archives in or out; overridden rows are dimmed; "Conflicts only" keeps the
// paths more than one archive holds; extraction goes through the core's extraction of rows.
#include <QAction>
#include <QCoreApplication>
#include <QDockWidget>
#include <QHeaderView>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTreeWidget>
#include <algorithm>

#include "app/archive_pane.h"
#include "app/browser_model.h"
#include "app/browser_view.h"
#include "app/busy_cursor.h"
#include "app/compare_window.h"
#include "app/dialogs.h"
#include "app/elided_label.h"
#include "app/extraction.h"
#include "app/folder_tree.h"
#include "app/main_window.h"
#include "app/node_data.h"
#include "app/qt_text.h"
#include "base/exceptions.h"
#include "data_folder/data_folder.h"
#include "platform/directories.h"

namespace {

constexpr int kProgressRepaintInterval = 15;
constexpr int kArchivePaneWidth = 330;

QString Progress(int done, int total) {
    return QString::asprintf("%d/%d", done, total);
}

// "Skyrim - Meshes0.bsa: meshes\x.nif", as the reports name a row.
std::u16string RowName(const TDataSource& source, const std::u16string& entry) {
    return source.name + u": " + entry;
}

} // namespace

std::vector<const TBsaIndex*> SourceIndexes(const TDataFolder& folder) {
    std::vector<const TBsaIndex*> indexes;
    indexes.reserve(folder.sources.size());
    for (const TDataSource& source : folder.sources) {
        indexes.push_back(&source.Index());
    }
    return indexes;
}

void TForm1::OpenDataFolderClick() {
    const std::u16string initialFolder = !lastBsaDir_.empty() ? lastBsaDir_ : platform::CurrentDirectory();
    const std::u16string folder = PickFolder(u"Data folder:", initialFolder);
    QCoreApplication::processEvents(); // let the window redraw where the picker was
    if (!folder.empty()) {
        OpenDataFolder(folder);
    }
}

void TForm1::OpenDataFolder(const std::u16string& folder) {
    const TBusyCursor busy;
    SetStatusPanelText(1, ToQString(folder));
    FreeArchive();
    archivePath_ = folder;
    lastBsaDir_ = folder.empty() || folder.back() == platform::kPathDelimiter
                      ? folder
                      : folder + platform::kPathDelimiter;
    if (lastExtractDir_.empty()) {
        lastExtractDir_ = lastBsaDir_;
    }
    UpdateActions();
    TDataFolderOptions options;
    options.files = loadOrderFiles_;
    options.looseFiles = LooseFiles1->isChecked();
    std::u16string why;
    std::unique_ptr<TDataFolder> opened = ::OpenDataFolder(folder, options, why);
    if (!opened) {
        dialogs_.ShowMessage(this, ToQString(kApplicationTitle), ToQString(why));
        return;
    }
    dataFolder_ = std::move(opened);
    dataFolderPath_ = folder;
    ShowDataFolder();
}

void TForm1::OpenArchivesGiven(const std::vector<std::u16string>& paths) {
    if (paths.size() == 1) {
        OpenArchive(paths.front());
        return;
    }
    if (paths.empty()) {
        return;
    }
    const TBusyCursor busy;
    FreeArchive();
    archivePath_ = paths.front();
    lastBsaDir_ = paths.front().substr(0, platform::FileNameStart(paths.front()));
    if (lastExtractDir_.empty()) {
        lastExtractDir_ = lastBsaDir_;
    }
    dataFolder_ = OpenArchivesInOrder(paths, 0);
    dataFolderPath_.clear();
    ShowDataFolder();
}

void TForm1::ShowDataFolder() {
    const TDataFolder& folder = *dataFolder_;
    keptRows_.clear();
    UpdateActions();
    FillDataFolderRows();
    ArchivePane1->Fill(folder);
    if (!ArchiveDock->isVisible() && !archivePaneShown_) {
        // The first time the pane comes beside the list, the window grows by its width, as far as the screen
        // has room; later the user's size stays.
        archivePaneShown_ = true;
        const QRect screen = this->screen() != nullptr ? this->screen()->availableGeometry() : QRect();
        const int wanted = width() + kArchivePaneWidth;
        if (!isMaximized() && !screen.isEmpty() && width() < screen.width()) {
            resize(std::min(wanted, screen.width() - (frameGeometry().width() - width())), height());
            if (frameGeometry().right() > screen.right()) {
                move(std::max(screen.left(), screen.right() - frameGeometry().width()), y());
            }
        }
        ArchiveDock->show();
        resizeDocks({ArchiveDock}, {kArchivePaneWidth}, Qt::Horizontal);
    }
    ArchiveDock->show();
    Archives1->setEnabled(true);
    BrowserTree->header()->setSectionHidden(TBrowserModel::kArchiveColumn, folder.sources.size() < 2);
    // The panel names what was opened and what decided the order, the pane says it in full.
    const QString what = dataFolderPath_.empty()
                             ? QStringLiteral("%1 archives, in the order given").arg(folder.sources.size())
                             : ToQString(dataFolderPath_);
    QString order = LoadOrderText(folder);
    order.replace(QLatin1Char('\n'), QStringLiteral("; "));
    SetStatusPanelText(1, dataFolderPath_.empty() ? what : what + QStringLiteral(" \u2014 ") + order);
    if (!folder.failed.empty()) {
        SetStatusPanelText(0, QStringLiteral("%1 failed").arg(folder.failed.size()));
    }
}

void TForm1::FillDataFolderRows() {
    const TDataFolder& folder = *dataFolder_;
    browserModel_->SetDataFolder(&folder);
    std::vector<TNodeDataBrw> nodes;
    std::vector<TBrowserModel::TRowStorage> storage;
    const std::vector<TSourceRow>& rows = folder.table.Rows();
    if (rows.empty()) {
        nodes.emplace_back(u"fbk_Nothing_Found", image_index::kNothingFound);
    } else {
        nodes.reserve(rows.size());
        storage.reserve(rows.size());
        for (TOverrideTable::TRowIndex row = 0; row < rows.size(); ++row) {
            const TDataSource& source = folder.sources[rows[row].source];
            nodes.emplace_back(folder.EntryString(row), 0, row);
            if (source.reader) {
                const TwbBSAFile::TEntryStorage stored = source.reader->EntryStorage(rows[row].entry);
                storage.push_back({stored.storedSize, TBrowserModel::kSizeUnknown, stored.compressed, true});
            } else {
                // A loose file is stored as it is; its size is not looked up.
                storage.push_back({0, TBrowserModel::kSizeUnknown, false, true});
            }
        }
    }
    browserModel_->SetNodes(std::move(nodes), std::move(storage));
    sortWaitsForSizes_ = false;
    StartReadingSizes();
    FolderTree->Empty();
    if (FolderTree->isVisibleTo(this)) {
        FolderTree->Fill(SourceIndexes(folder));
    }
    ApplyFilter(); // the archives left out and Conflicts only
    BrowserTree->scrollToTop();
    BrowserTree->horizontalScrollBar()->setValue(0);
}

bool TForm1::DataRowKept(uint32_t row) {
    if (row == kNoEntry) {
        return true;
    }
    if (keptRows_.empty()) {
        // Worked out once per change of the archives taking part or of Conflicts only, not per keystroke.
        const TOverrideTable& table = dataFolder_->table;
        const std::vector<TSourceRow>& rows = table.Rows();
        keptRows_.assign(rows.size(), 0);
        if (ConflictsOnly1->isChecked()) {
            for (const TOverrideTable::TRowIndex conflict : table.ConflictRows()) {
                keptRows_[conflict] = 1;
            }
        } else {
            for (size_t i = 0; i < rows.size(); ++i) {
                keptRows_[i] = table.TakesPart(rows[i].source) ? 1 : 0;
            }
        }
    }
    return keptRows_[row] != 0;
}

void TForm1::SetTakingPart(const std::vector<bool>& takingPart) {
    if (!dataFolder_) {
        return;
    }
    const TBusyCursor busy;
    dataFolder_->table.SetTakingPart(takingPart);
    keptRows_.clear();
    ArchivePane1->UpdateCounts();
    browserModel_->OverridesChanged();
    ApplyFilter();
}

void TForm1::ShowConflictsOnly(bool on) {
    ConflictsOnly1->setChecked(on);
    keptRows_.clear();
    if (dataFolder_) {
        ApplyFilter();
    }
}

void TForm1::ChooseLoadOrderFile(bool plugins) {
    const std::optional<QString> chosen =
        plugins ? dialogs_.OpenFile(this, ToQString(lastBsaDir_), QStringLiteral("plugins.txt"),
                                    QStringLiteral("*.txt"))
                : dialogs_.OpenFile(this, ToQString(lastBsaDir_), QStringLiteral("INI files"),
                                    QStringLiteral("*.ini"));
    if (!chosen) {
        return;
    }
    (plugins ? loadOrderFiles_.plugins : loadOrderFiles_.ini) = FromQString(*chosen);
    if (!dataFolderPath_.empty()) {
        OpenDataFolder(std::u16string(dataFolderPath_));
    }
}

void TForm1::ShowLooseFiles(bool on) {
    LooseFiles1->setChecked(on);
    if (!dataFolderPath_.empty()) {
        OpenDataFolder(std::u16string(dataFolderPath_));
    }
}

void TForm1::ExtractWinnersClick() {
    if (!dataFolder_) {
        return;
    }
    if (lastExtractDir_.empty()) {
        lastExtractDir_ = platform::CurrentDirectory();
    }
    const std::u16string folder = PickFolder(u"Extract winners to:", lastExtractDir_);
    QCoreApplication::processEvents();
    if (folder.empty()) {
        return;
    }
    lastExtractDir_ = folder;
    int placeholders = 0;
    std::vector<uint32_t> rows = SelectedEntries(placeholders);
    ExtractRowRefs(std::move(rows), 0, folder, true);
}

TRowExtractSummary TForm1::ExtractRowRefs(std::vector<uint32_t> rows, int placeholders,
                                          const std::u16string& destination, bool winnersOnly,
                                          bool withoutFolders, const TExtractionControl& control) {
    notExtracted_ = {};
    overridden_ = {};
    const TBusyCursor busy;
    TRowExtractListener listener;
    listener.progress = [&](int done, int total) {
        if (control.progress) {
            control.progress(placeholders + done, placeholders + total);
            return;
        }
        SetStatusPanelText(0, Progress(placeholders + done, placeholders + total));
        if ((placeholders + done) % kProgressRepaintInterval == 0) {
            StatusBar1->repaint();
        }
    };
    listener.notExtracted = [&](const TDataSource& source, const std::u16string& entry,
                                const std::u16string& reason) {
        notExtracted_.Add(RowName(source, entry), reason);
    };
    listener.overridden = [&](const TDataSource& source, const std::u16string& entry,
                              const TDataSource& winner) {
        if (!winner.reader) {
            // Nothing of that path is written: the loose file that wins is not extracted either.
            notExtracted_.Add(RowName(source, entry), u"overridden by a loose file, which is not extracted");
            return;
        }
        overridden_.Add(RowName(source, entry), u"overridden by " + winner.name);
    };
    // The core writes no loose file (it is a file of the Data folder already): said, not taken for written.
    for (const uint32_t row : rows) {
        if (row < dataFolder_->table.Rows().size() && !dataFolder_->SourceOf(row).reader) {
            notExtracted_.Add(RowName(dataFolder_->SourceOf(row), dataFolder_->EntryString(row)),
                              u"a loose file, already in the Data folder");
        }
    }
    TRowExtractSummary summary;
    {
        const TMenuLock lock(*Files1);
        TRowExtractOptions options;
        options.extract.stopAtWriteError = true;
        options.extract.withoutFolders = withoutFolders;
        options.winnersOnly = winnersOnly;
        summary = ExtractRows(*dataFolder_, std::move(rows), destination, options, listener, control.cancel);
    }
    const int total = placeholders + summary.written + summary.empty + summary.failed + summary.notDone;
    if (const std::optional<TExtractionStop> stop = StopOfRun(summary, placeholders, total)) {
        throw Exception(FromQString(StoppedExtractionMessage(*stop, notExtracted_)));
    }
    if (!control.reportLater) {
        if (notExtracted_.count > 0) {
            ShowRefusedEntries();
        }
        ShowOverriddenRows(summary);
    }
    return summary;
}

void TForm1::ShowOverriddenRows(const TRowExtractSummary& summary) {
    // Not a failure: what the game would see was written instead. Said once, so that nobody looks for them.
    if (overridden_.count == 0) {
        return;
    }
    dialogs_.ShowMessage(this, ToQString(kApplicationTitle),
                         OverriddenEntriesMessage(overridden_, summary.written + summary.empty));
}

void TForm1::CompareArchivesClick() {
    const QString initialFolder =
        ToQString(!lastBsaDir_.empty() ? lastBsaDir_ : platform::CurrentDirectory());
    const std::optional<QString> first = dialogs_.OpenFile(
        this, initialFolder, QStringLiteral("The first archive to compare"), QStringLiteral("*.bsa"));
    if (first) {
        CompareWith(FromQString(*first));
    }
}

void TForm1::CompareWith(const std::u16string& first) {
    const std::optional<QString> second =
        dialogs_.OpenFile(this, ToQString(first.substr(0, platform::FileNameStart(first))),
                          QStringLiteral("The archive to compare with %1")
                              .arg(ToQString(first.substr(platform::FileNameStart(first)))),
                          QStringLiteral("*.bsa"));
    if (second) {
        CompareArchives(first, FromQString(*second));
    }
}

TCompareWindow* TForm1::CompareArchives(const std::u16string& first, const std::u16string& second) {
    auto* window = new TCompareWindow(first, second, dialogs_, this);
    window->show();
    return window;
}
