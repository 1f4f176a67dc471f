#include "app/extraction.h"

#include <QCoreApplication>
#include <QMenu>
#include <QStatusBar>

#include "app/browser_model.h"
#include "app/busy_cursor.h"
#include "app/dialogs.h"
#include "app/main_window.h"
#include "archive/entry_path.h"
#include "archive/entry_writer.h"
#include "base/bytes.h"
#include "platform/directories.h"

namespace {

// Repaint the progress every this many rows; nothing else is drawn while the extraction runs.
constexpr int kProgressRepaintInterval = 15;
// How many refused entries the message names.
constexpr size_t kRefusedEntriesNamed = 5;

QString Q(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

QString Progress(int done, int total) {
    return QString::asprintf("%d/%d", done, total);
}

// Disables a menu for as long as it lives; it is enabled again also when an error passes.
class TMenuLock {
public:
    explicit TMenuLock(QMenu& menu) : menu_(menu) { menu_.setEnabled(false); }
    ~TMenuLock() { menu_.setEnabled(true); }
    TMenuLock(const TMenuLock&) = delete;
    TMenuLock& operator=(const TMenuLock&) = delete;

private:
    QMenu& menu_;
};

} // namespace

std::u16string StripTrailingChar(const std::u16string& text, char16_t c) {
    const size_t keep = text.find_last_not_of(c);
    return keep == std::u16string::npos ? std::u16string() : text.substr(0, keep + 1);
}

QString RefusedEntriesMessage(const std::vector<std::pair<std::u16string, std::u16string>>& refused) {
    const int count = static_cast<int>(refused.size());
    QString text = count == 1
                       ? QStringLiteral("1 entry was not extracted because its path is not safe to write "
                                        "below the destination folder:")
                       : QStringLiteral("%1 entries were not extracted because their paths are not safe to "
                                        "write below the destination folder:")
                             .arg(count);
    for (size_t i = 0; i < refused.size() && i < kRefusedEntriesNamed; ++i) {
        text += QStringLiteral("\n%1 (%2)").arg(Q(refused[i].first), Q(refused[i].second));
    }
    if (refused.size() > kRefusedEntriesNamed) {
        text += QStringLiteral("\nand %1 more.").arg(refused.size() - kRefusedEntriesNamed);
    }
    return text;
}

void TForm1::extract1Click() {
    if (!archive_) {
        return;
    }
    if (lastExtractDir_.empty()) {
        lastExtractDir_ = platform::CurrentDirectory();
    }
    const std::u16string folder = PickFolder(u"Extract to:", lastExtractDir_);
    QCoreApplication::processEvents(); // let the window redraw where the picker was
    if (!folder.empty()) {
        lastExtractDir_ = folder;
        ExtractSelection(folder);
    }
}

std::u16string TForm1::PickFolder(const std::u16string& prompt, const std::u16string& initialFolder) {
    QString preselected;
    if (!initialFolder.empty() && platform::DirectoryExists(initialFolder)) {
        const std::u16string stripped = StripTrailingChar(initialFolder, platform::kPathDelimiter);
        // The root folder is nothing but a separator: keep it.
        preselected = Q(stripped.empty() ? initialFolder : stripped);
    }
    const QString chosen = dialogs_.PickFolder(this, Q(prompt), preselected);
    if (chosen.isEmpty()) {
        return {};
    }
    return StripTrailingChar(chosen.toStdU16String(), platform::kPathDelimiter) + platform::kPathDelimiter;
}

void TForm1::ExtractSelection(const std::u16string& destination) {
    refusedEntries_.clear();
    {
        const TBusyCursor busy;
        const TBrowserModel& rows = *browserModel_;
        int total = 0;
        int done = 0;
        {
            const TMenuLock lock(*Files1);
            // Display order, rows hidden by the filter included.
            for (int row = 0; row < rows.NodeCount(); ++row) {
                total += rows.Selected(row) ? 1 : 0;
            }
            for (int row = 0; row < rows.NodeCount(); ++row) {
                if (!rows.Selected(row)) {
                    continue;
                }
                ++done;
                SetStatusPanelText(0, Progress(done, total));
                if (done % kProgressRepaintInterval == 0) {
                    StatusBar1->repaint();
                }
                ExtractEntry(rows.Node(row).filename, destination);
            }
        }
        SetStatusPanelText(0, Progress(done, total));
    }
    if (!refusedEntries_.empty()) {
        ShowRefusedEntries();
    }
}

void TForm1::ExtractEntry(const std::u16string& entry, const std::u16string& destination) {
    const rFileData parts = SplitEntryPath(entry);
    // An entry is written below the destination or not at all.
    if (const std::optional<std::u16string> reason = UnsafeEntryPathReason(parts)) {
        refusedEntries_.emplace_back(entry, *reason);
        return;
    }
    TBytes data;
    if (!ArchiveGetFile(archive_, data, archivePath_, parts.fPath, parts.fName, parts.fExt, true) ||
        data.empty()) {
        return;
    }
    WriteEntryFile(EntryDestinationFolder(destination, parts), EntryDestinationFile(destination, parts),
                   data);
}

void TForm1::ShowRefusedEntries() {
    dialogs_.ShowMessage(this, QString::fromStdU16String(kApplicationTitle),
                         RefusedEntriesMessage(refusedEntries_));
}
