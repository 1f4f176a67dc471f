// The window over several archives at once: a Data folder in the game's load order, or archives given one by
// one in the order given. The rows' entries are rows of the folder's override table; the archive pane says
// what decided the order and takes archives in or out; overridden rows are dimmed; "Conflicts only" keeps the
// paths more than one archive holds; extraction goes through the core's extraction of rows.
#include <QAction>
#include <QCoreApplication>
#include <QDockWidget>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <atomic>
#include <optional>

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
#include "base/ustring.h"
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

namespace {

// The key of a Data folder's choices: its path without a separator at its end (a root folder keeps it).
std::u16string FolderKey(const std::u16string& folder) {
    const std::u16string stripped = StripTrailingChar(folder, platform::kPathDelimiter);
    return stripped.empty() ? folder : stripped;
}

// The files given, with those the user chose for a folder in their place.
TLoadOrderFiles WithChoice(TLoadOrderFiles files, const TLoadOrderChoice& choice) {
    if (!choice.plugins.empty()) {
        files.plugins = choice.plugins;
    }
    if (!choice.ini.empty()) {
        files.ini = choice.ini;
    }
    return files;
}

} // namespace

// What is to be opened off the window's thread: a Data folder, or archives given one by one.
struct TForm1::TOpenRequest {
    std::u16string folder;             // the Data folder; empty for archives given one by one
    std::vector<std::u16string> paths; // the archives given, in order
    TLoadOrderFiles files;
    bool looseFiles = false;
    std::optional<TLoadOrderChoice> choice; // the user's new choice of files, kept once the folder opens
};

struct TForm1::TOpenResult {
    TOpenRequest request;
    std::unique_ptr<TDataFolder> folder; // none: why says what failed
    std::u16string why;
};

// Written by the opening's threads, read by the window's timer.
struct TForm1::TOpenProgress {
    std::atomic<size_t> done{0};
    std::atomic<size_t> total{0};
};

void TForm1::OpenDataFolder(const std::u16string& folder) {
    TOpenRequest request;
    request.folder = folder;
    const auto chosen = chosenLoadOrderFiles_.find(FolderKey(folder));
    request.files = WithChoice(loadOrderFiles_,
                               chosen != chosenLoadOrderFiles_.end() ? chosen->second : TLoadOrderChoice{});
    request.looseFiles = LooseFiles1->isChecked();
    StartOpening(request);
}

void TForm1::OpenArchivesGiven(const std::vector<std::u16string>& paths) {
    if (paths.size() == 1) {
        OpenArchive(paths.front());
        return;
    }
    if (paths.empty()) {
        return;
    }
    TOpenRequest request;
    request.paths = paths;
    StartOpening(request);
}

void TForm1::StartOpening(const TOpenRequest& request) {
    if (!Opening()) {
        statusBeforeOpening_[0] = StatusPanelText(0);
        statusBeforeOpening_[1] = StatusPanelText(1);
    }
    openJob_.reset(); // an opening under way is cancelled, and its thread joined
    openingWhat_ = request.folder.empty() ? QStringLiteral("%1 archives").arg(request.paths.size())
                                          : ToQString(request.folder);
    // The sizes of what is open would take cores from the opening; read again if it is cancelled.
    StopReadingSizes();
    const uint64_t serial = ++openSerial_;
    auto progress = std::make_shared<TOpenProgress>();
    openProgress_ = progress;
    openJob_ = std::make_unique<TPreviewJob>(
        [this, serial, request, progress, hook = openJobHook_](const std::atomic<bool>& cancelled) {
            if (hook) {
                hook(cancelled);
            }
            auto result = std::make_shared<TOpenResult>();
            result->request = request;
            TOpenControl control;
            control.cancel = &cancelled;
            control.archiveDone = [progress](size_t done, size_t total) {
                progress->total.store(total);
                progress->done.store(std::max(done, progress->done.load()));
            };
            try {
                if (!request.folder.empty()) {
                    TDataFolderOptions options;
                    options.files = request.files;
                    options.looseFiles = request.looseFiles;
                    options.control = control;
                    result->folder = ::OpenDataFolder(request.folder, options, result->why);
                } else {
                    result->folder = OpenArchivesInOrder(request.paths, 0, control);
                }
            } catch (const Exception& error) {
                result->why = error.Message();
            } catch (const std::exception& error) {
                result->why = FromUtf8(error.what());
            }
            if (cancelled.load()) {
                return;
            }
            // The window joins this thread before it goes, so it is alive when the call is queued.
            QMetaObject::invokeMethod(
                this, [this, serial, result] { RunHandler([&] { OpeningEnded(serial, *result); }); },
                Qt::QueuedConnection);
        });
    // The window stays usable meanwhile; what would use the archives being replaced waits.
    setCursor(Qt::BusyCursor);
    ArchivePane1->setEnabled(false);
    listEscape_->setEnabled(false);
    filterEscape_->setEnabled(false);
    StatusCancel->show();
    CancelOpening1->setVisible(true);
    UpdateActions();
    ShowOpeningProgress();
    openProgressTimer_->start();
}

void TForm1::ShowOpeningProgress() {
    if (!openProgress_) {
        return;
    }
    const size_t done = openProgress_->done.load();
    const size_t total = openProgress_->total.load();
    // As an extraction counts its entries: done/total on the left, what is opened beside it.
    SetStatusPanelText(0, total == 0 ? QStringLiteral("Opening\u2026")
                                     : QStringLiteral("%1/%2").arg(done).arg(total));
    QString text = QStringLiteral("Opening %1").arg(openingWhat_);
    if (total == 0) {
        text += QStringLiteral("\u2026");
    } else if (done < total) {
        text += QStringLiteral(": %1 of %2 archives read\u2026").arg(done).arg(total);
    } else {
        text += QStringLiteral(": %1 archives read, making the list\u2026").arg(total);
    }
    SetStatusPanelText(1, text);
}

void TForm1::CancelOpening() {
    if (!Opening()) {
        return;
    }
    EndOpening();
    SetStatusPanelText(0, statusBeforeOpening_[0]);
    SetStatusPanelText(1, statusBeforeOpening_[1]);
    if (HasArchive() && !browserModel_->SizesKnown()) {
        StartReadingSizes();
    }
    if (dataFolder_ && !dataFolderPath_.empty()) {
        // View > Loose files says again what the folder shown has.
        LooseFiles1->setChecked(!dataFolder_->sources.empty() && !dataFolder_->sources.back().reader);
    }
    emit openingEnded();
}

void TForm1::EndOpening() {
    openJob_.reset(); // cancels, and joins its thread
    openProgress_.reset();
    ++openSerial_; // a result on its way belongs to no opening any more
    openProgressTimer_->stop();
    unsetCursor();
    ArchivePane1->setEnabled(true);
    listEscape_->setEnabled(true);
    filterEscape_->setEnabled(true);
    StatusCancel->hide();
    CancelOpening1->setVisible(false);
    UpdateActions();
}

void TForm1::OpeningEnded(uint64_t serial, TOpenResult& result) {
    if (serial != openSerial_) {
        return;
    }
    EndOpening();
    const TOpenRequest& request = result.request;
    const std::u16string& first = request.folder.empty() ? request.paths.front() : request.folder;
    SetStatusPanelText(0, QString());
    SetStatusPanelText(1, ToQString(first));
    FreeArchive();
    archivePath_ = first;
    if (request.folder.empty()) {
        lastBsaDir_ = first.substr(0, platform::FileNameStart(first));
    } else {
        lastBsaDir_ = first.back() == platform::kPathDelimiter ? first : first + platform::kPathDelimiter;
    }
    if (lastExtractDir_.empty()) {
        lastExtractDir_ = lastBsaDir_;
    }
    if (!result.folder) {
        UpdateActions();
        emit openingEnded();
        dialogs_.ShowMessage(this, ToQString(kApplicationTitle), ToQString(result.why));
        return;
    }
    if (request.choice) {
        if (*request.choice == TLoadOrderChoice{}) {
            chosenLoadOrderFiles_.erase(FolderKey(request.folder));
        } else {
            chosenLoadOrderFiles_[FolderKey(request.folder)] = *request.choice;
        }
    }
    const TBusyCursor busy; // the rows are made on this thread
    dataFolder_ = std::move(result.folder);
    dataFolderPath_ = request.folder;
    ShowDataFolder();
    emit openingEnded();
}

void TForm1::ShowDataFolder() {
    const TDataFolder& folder = *dataFolder_;
    keptRows_.clear();
    UpdateActions();
    FillDataFolderRows();
    ArchivePane1->Fill(folder);
    const TLoadOrderChoice chosen = ChosenLoadOrderFiles();
    ArchivePane1->SetChosenFiles(chosen.plugins, chosen.ini);
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
                // A loose file is stored as it is, of the size the walk found.
                const uint64_t size = source.loose->Size(rows[row].entry);
                storage.push_back(
                    {static_cast<uint32_t>(std::min<uint64_t>(size, TBrowserModel::kSizeUnknown)),
                     TBrowserModel::kSizeUnknown, false, true});
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

TLoadOrderChoice TForm1::ChosenLoadOrderFiles() const {
    const auto chosen = chosenLoadOrderFiles_.find(FolderKey(dataFolderPath_));
    return chosen != chosenLoadOrderFiles_.end() ? chosen->second : TLoadOrderChoice{};
}

void TForm1::SetChosenLoadOrderFile(bool plugins, const std::u16string& file) {
    if (dataFolderPath_.empty()) {
        return;
    }
    TLoadOrderChoice choice = ChosenLoadOrderFiles();
    (plugins ? choice.plugins : choice.ini) = file;
    TOpenRequest request;
    request.folder = dataFolderPath_;
    request.files = WithChoice(loadOrderFiles_, choice);
    request.looseFiles = LooseFiles1->isChecked();
    request.choice = choice;
    StartOpening(request);
}

void TForm1::ChooseLoadOrderFile(bool plugins) {
    const std::optional<QString> chosen =
        plugins ? dialogs_.OpenFile(this, ToQString(lastBsaDir_), QStringLiteral("plugins.txt"),
                                    QStringLiteral("*.txt"))
                : dialogs_.OpenFile(this, ToQString(lastBsaDir_), QStringLiteral("INI files"),
                                    QStringLiteral("*.ini"));
    if (chosen) {
        SetChosenLoadOrderFile(plugins, FromQString(*chosen));
    }
}

void TForm1::UseAutomaticLoadOrderFile(bool plugins) {
    SetChosenLoadOrderFile(plugins, {});
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
        overridden_.Add(RowName(source, entry), u"overridden by " + winner.name);
    };
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
