// Rows dragged out of the list to a file manager or the desktop. A drop target takes files that exist, so the
// dragged entries are extracted first, with the extraction every other way uses (ExtractEntries: the same
// path checks, temporary files and reports), into a folder the window makes and owns below the system's
// temporary folder; the drag then carries the addresses of the items at that folder's top (each entry's first
// folder, or the file of an entry without folder), so the target copies them with their folders below them.
// The folder is removed at the next drag and when the window goes.
#include <QDir>
#include <QDrag>
#include <QMimeData>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QUrl>
#include <atomic>

#include "app/browser_model.h"
#include "app/browser_view.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "base/exceptions.h"
#include "platform/directories.h"

namespace {

// A drag that takes longer than this to prepare shows its progress, with a button to cancel it.
constexpr int kDragProgressDelayMs = 400;

} // namespace

QString TForm1::DragFolder() const {
    return dragFolder_ ? dragFolder_->path() : QString();
}

void TForm1::BrowserTreeDragRowsOut() {
    if (!HasArchive()) {
        return;
    }
    int placeholders = 0;
    std::vector<TEntryRef> entries = SelectedEntries(placeholders);
    if (entries.empty()) {
        return;
    }
    dragFolder_.reset(); // the last drag's files go
    auto folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/parlivex-drag-XXXXXX"));
    if (!folder->isValid()) {
        throw Exception(u"Cannot make a temporary folder for the dragged files: " +
                        FromQString(folder->errorString()));
    }
    const std::u16string destination =
        StripTrailingChar(FromQString(QDir::toNativeSeparators(folder->path())), platform::kPathDelimiter) +
        platform::kPathDelimiter;

    const int total = static_cast<int>(entries.size());
    QProgressDialog progress(QStringLiteral("Preparing the dragged files\u2026"), QStringLiteral("Cancel"), 0,
                             total, this);
    progress.setObjectName(QStringLiteral("DragProgress"));
    progress.setWindowTitle(ToQString(kApplicationTitle));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(kDragProgressDelayMs);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    std::atomic<bool> cancel{false};
    connect(&progress, &QProgressDialog::canceled, this, [&cancel] { cancel = true; });
    TExtractionControl control;
    control.cancel = &cancel;
    control.reportLater = true; // a message box now would end the drag before it begins
    control.progress = [&progress](int done, int) { progress.setValue(done); };
    // A write error or the lack of space raises its message here; the folder goes with it.
    // Rows of several archives: the winner of a path shared by dragged rows is what the drop gets.
    TRowExtractSummary rowSummary;
    bool cancelled = false;
    if (dataFolder_) {
        rowSummary = ExtractRowRefs(std::move(entries), 0, destination, false, false, control);
        cancelled = rowSummary.cancelled;
    } else {
        cancelled = ExtractEntryRefs(std::move(entries), 0, destination, false, control).cancelled;
    }
    progress.hide();
    if (cancelled || cancel.load()) {
        return;
    }
    QList<QUrl> urls;
    const QDir top(folder->path());
    for (const QString& name :
         top.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        urls.append(QUrl::fromLocalFile(top.filePath(name)));
    }
    dragFolder_ = std::move(folder);
    if (!urls.isEmpty()) {
        auto* mime = new QMimeData;
        mime->setUrls(urls);
        auto* drag = new QDrag(BrowserTree);
        drag->setMimeData(mime);
        if (dragHook_) {
            dragHook_(*drag);
        }
        drag->exec(Qt::CopyAction, Qt::CopyAction);
    }
    if (notExtracted_.count > 0) {
        ShowRefusedEntries();
    }
    if (dataFolder_ && overridden_.count > 0) {
        ShowOverriddenRows(rowSummary);
    }
}
