#include "app/extraction.h"

#include <QCoreApplication>
#include <QMenu>
#include <QStatusBar>

#include "app/browser_model.h"
#include "app/busy_cursor.h"
#include "app/dialogs.h"
#include "app/folder_tree.h"
#include "app/main_window.h"
#include "app/node_data.h"
#include "app/qt_text.h"
#include "base/exceptions.h"
#include "extract/extract_selection.h"
#include "platform/directories.h"

namespace {

// Repaint the progress every this many rows; nothing else is drawn while the extraction runs.
constexpr int kProgressRepaintInterval = 15;
QString Progress(int done, int total) {
    return QString::asprintf("%d/%d", done, total);
}

} // namespace

void TForm1::extract1Click(bool withoutFolders) {
    if (!HasArchive()) {
        return;
    }
    if (lastExtractDir_.empty()) {
        lastExtractDir_ = platform::CurrentDirectory();
    }
    const std::u16string folder = PickFolder(u"Extract to:", lastExtractDir_);
    QCoreApplication::processEvents(); // let the window redraw where the picker was
    if (!folder.empty()) {
        lastExtractDir_ = folder;
        ExtractSelection(folder, withoutFolders);
    }
}

std::u16string TForm1::PickFolder(const std::u16string& prompt, const std::u16string& initialFolder) {
    QString preselected;
    if (!initialFolder.empty() && platform::DirectoryExists(initialFolder)) {
        const std::u16string stripped = StripTrailingChar(initialFolder, platform::kPathDelimiter);
        // The root folder is nothing but a separator: keep it.
        preselected = ToQString(stripped.empty() ? initialFolder : stripped);
    }
    const QString chosen = dialogs_.PickFolder(this, ToQString(prompt), preselected);
    if (chosen.isEmpty()) {
        return {};
    }
    return StripTrailingChar(FromQString(chosen), platform::kPathDelimiter) + platform::kPathDelimiter;
}

void TForm1::ExtractFolderClick(const std::u16string& folder) {
    if (!HasArchive()) {
        return;
    }
    if (lastExtractDir_.empty()) {
        lastExtractDir_ = platform::CurrentDirectory();
    }
    const std::u16string destination = PickFolder(u"Extract to:", lastExtractDir_);
    QCoreApplication::processEvents(); // let the window redraw where the picker was
    if (destination.empty()) {
        return;
    }
    lastExtractDir_ = destination;
    if (dataFolder_) {
        // The rows of the archives taking part, as the list has them.
        std::vector<uint32_t> rows;
        const TBrowserModel& model = *browserModel_;
        for (int row = 0; row < model.NodeCount(); ++row) {
            const TNodeDataBrw& node = model.Node(row);
            if (node.entry != kNoEntry && DataRowKept(node.entry) && EntryInFolder(node.filename, folder)) {
                rows.push_back(node.entry);
            }
        }
        ExtractRowRefs(std::move(rows), 0, destination, false);
        return;
    }
    std::vector<TEntryRef> entries;
    for (TEntryRef entry = 0; entry < archive_->FileCount(); ++entry) {
        if (EntryInFolder(archive_->EntryString(entry), folder)) {
            entries.push_back(entry);
        }
    }
    ExtractEntryRefs(std::move(entries), 0, destination);
}

std::vector<TEntryRef> TForm1::SelectedEntries(int& placeholders) const {
    const TBrowserModel& rows = *browserModel_;
    // Display order, rows hidden by the filter included; the row that stands for an empty list is counted,
    // never extracted.
    std::vector<TEntryRef> selected;
    placeholders = 0;
    for (int row = 0; row < rows.NodeCount(); ++row) {
        if (rows.Selected(row)) {
            if (rows.Node(row).entry == kNoEntry) {
                ++placeholders;
            } else {
                selected.push_back(rows.Node(row).entry);
            }
        }
    }
    return selected;
}

void TForm1::ExtractSelection(const std::u16string& destination, bool withoutFolders) {
    int placeholders = 0;
    std::vector<TEntryRef> selected = SelectedEntries(placeholders);
    if (dataFolder_) {
        ExtractRowRefs(std::move(selected), placeholders, destination, false, withoutFolders);
        return;
    }
    ExtractEntryRefs(std::move(selected), placeholders, destination, withoutFolders);
}

ExtractSummary TForm1::ExtractEntryRefs(std::vector<TEntryRef> selected, int placeholders,
                                        const std::u16string& destination, bool withoutFolders,
                                        const TExtractionControl& control) {
    notExtracted_ = {};
    const TBusyCursor busy;
    const int total = static_cast<int>(selected.size()) + placeholders;
    ExtractListener listener;
    listener.progress = [&](int done, int) {
        if (control.progress) {
            control.progress(placeholders + done, total);
            return;
        }
        SetStatusPanelText(0, Progress(placeholders + done, total));
        if ((placeholders + done) % kProgressRepaintInterval == 0) {
            StatusBar1->repaint();
        }
    };
    listener.notExtracted = [&](const std::u16string& entry, const std::u16string& reason) {
        notExtracted_.Add(entry, reason);
    };
    ExtractSummary summary;
    {
        const TMenuLock lock(*Files1);
        if (!control.progress) {
            SetStatusPanelText(0, Progress(placeholders, total));
        }
        // On this thread, one entry after another; a file or folder that cannot be made ends the run.
        ExtractOptions options;
        options.stopAtWriteError = true;
        options.withoutFolders = withoutFolders;
        summary =
            ExtractEntries(*archive_, std::move(selected), destination, options, listener, control.cancel);
    }
    // A run that stopped early says so in one message: what stopped it, what was not written before, and how
    // many entries were not even tried.
    if (const std::optional<TExtractionStop> stop = StopOfRun(summary, placeholders, total)) {
        throw Exception(FromQString(StoppedExtractionMessage(*stop, notExtracted_)));
    }
    if (notExtracted_.count > 0 && !control.reportLater) {
        ShowRefusedEntries();
    }
    return summary;
}

void TForm1::ShowRefusedEntries() {
    dialogs_.ShowMessage(this, ToQString(kApplicationTitle), NotWrittenEntriesMessage(notExtracted_));
}
