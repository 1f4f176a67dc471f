#include "app/extraction.h"

#include <QCoreApplication>
#include <QMenu>
#include <QStatusBar>

#include "app/browser_model.h"
#include "app/busy_cursor.h"
#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/node_data.h"
#include "app/qt_text.h"
#include "extract/destination_folder.h"
#include "extract/extract_entry.h"
#include "extract/same_destination.h"
#include "platform/directories.h"

namespace {

// Repaint the progress every this many rows; nothing else is drawn while the extraction runs.
constexpr int kProgressRepaintInterval = 15;
// How many entries that were not written the message after the run names.
constexpr size_t kNotWrittenEntriesNamed = 5;

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

QString NotWrittenEntriesMessage(const std::vector<std::pair<std::u16string, std::u16string>>& notWritten) {
    const size_t count = notWritten.size();
    QString text = count == 1 ? QStringLiteral("1 entry was not extracted:")
                              : QStringLiteral("%1 entries were not extracted:").arg(count);
    for (size_t i = 0; i < count && i < kNotWrittenEntriesNamed; ++i) {
        text +=
            QStringLiteral("\n%1 (%2)").arg(ToQString(notWritten[i].first), ToQString(notWritten[i].second));
    }
    if (count > kNotWrittenEntriesNamed) {
        text += QStringLiteral("\nand %1 more.").arg(count - kNotWrittenEntriesNamed);
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
        preselected = ToQString(stripped.empty() ? initialFolder : stripped);
    }
    const QString chosen = dialogs_.PickFolder(this, ToQString(prompt), preselected);
    if (chosen.isEmpty()) {
        return {};
    }
    return StripTrailingChar(FromQString(chosen), platform::kPathDelimiter) + platform::kPathDelimiter;
}

void TForm1::ExtractSelection(const std::u16string& destination) {
    refusedEntries_.clear();
    const auto run = [&] {
        const TBusyCursor busy;
        const TBrowserModel& rows = *browserModel_;
        int done = 0;
        // Display order, rows hidden by the filter included.
        std::vector<std::u16string> selected;
        std::vector<bool> placeholder; // the row that stands for an empty list: counted, never extracted
        for (int row = 0; row < rows.NodeCount(); ++row) {
            if (rows.Selected(row)) {
                selected.push_back(rows.Node(row).filename);
                placeholder.push_back(rows.Node(row).icon == image_index::kNothingFound);
            }
        }
        const int total = static_cast<int>(selected.size());
        {
            const TMenuLock lock(*Files1);
            const TSameDestinations sameDestinations(selected);
            TDestinationFolder folder(destination);
            for (size_t i = 0; i < selected.size(); ++i) {
                ++done;
                SetStatusPanelText(0, Progress(done, total));
                if (done % kProgressRepaintInterval == 0) {
                    StatusBar1->repaint();
                }
                if (!placeholder[i]) {
                    ExtractEntry(selected[i], folder, sameDestinations.EarlierEntry(i));
                }
            }
        }
        SetStatusPanelText(0, Progress(done, total));
    };
    // The entries not written are reported also when a write error ends the run (the error box follows).
    try {
        run();
    } catch (...) {
        if (!refusedEntries_.empty()) {
            ShowRefusedEntries();
        }
        throw;
    }
    if (!refusedEntries_.empty()) {
        ShowRefusedEntries();
    }
}

void TForm1::ExtractEntry(const std::u16string& entry, TDestinationFolder& destination,
                          const std::u16string* earlierEntry) {
    // A write error passes and ends the run; anything else that keeps the entry from being written is
    // reported after the run.
    const TExtractOutcome outcome = ::ExtractEntry(*archive_, entry, destination, earlierEntry);
    if (!outcome.WasWritten()) {
        refusedEntries_.emplace_back(entry, ExtractOutcomeReason(outcome));
    }
}

void TForm1::ShowRefusedEntries() {
    dialogs_.ShowMessage(this, ToQString(kApplicationTitle), NotWrittenEntriesMessage(refusedEntries_));
}
