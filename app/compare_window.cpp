#include "app/compare_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QItemSelection>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QProgressBar>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <utility>

#include "app/busy_cursor.h"
#include "app/dialogs.h"
#include "app/extraction_report.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "data_folder/archive_diff.h"
#include "extract/extract_selection.h"
#include "platform/directories.h"

namespace {

QString FileName(const std::u16string& path) {
    return ToQString(path.substr(platform::FileNameStart(path)));
}

QString Count(size_t count) {
    return QLocale().toString(qulonglong(count));
}

// Progress is handed to the window at most this often (in paths compared).
constexpr size_t kProgressStep = 4096;
// The differences found are handed to the window at least this often while they are being found, and at the
// latest when this many wait.
constexpr std::chrono::milliseconds kBatchInterval{150};
constexpr size_t kMostRowsInBatch = 50'000;
// The progress of an extraction is repainted every so many entries.
constexpr int kExtractionRepaintInterval = 256;

// A difference as the window keeps it (its entry string is left to the archives' indexes); sizes[side] holds
// the decoded size of each entry of that archive.
void AddRow(TCompareBatch& batch, TArchiveDifference&& difference, const std::vector<uint32_t> (&sizes)[2]) {
    TCompareRow row;
    for (int side = 0; side < 2; ++side) {
        row.entries[side] = difference.entries[side];
        if (row.entries[side] != TArchiveDifference::kNoDiffEntry && row.entries[side] < sizes[side].size()) {
            row.sizes[side] = sizes[side][row.entries[side]];
        }
    }
    switch (difference.kind) {
    case TArchiveDifference::Kind::OnlyInFirst:
        row.kind = TCompareKind::OnlyInFirst;
        break;
    case TArchiveDifference::Kind::OnlyInSecond:
        row.kind = TCompareKind::OnlyInSecond;
        break;
    case TArchiveDifference::Kind::Different:
        row.kind = TCompareKind::Different;
        break;
    case TArchiveDifference::Kind::Unreadable:
        row.kind = difference.side == 0 ? TCompareKind::UnreadableInFirst : TCompareKind::UnreadableInSecond;
        batch.reasons.emplace_back(static_cast<uint32_t>(batch.rows.size()), std::move(difference.reason));
        break;
    }
    batch.rows.push_back(row);
}

} // namespace

struct TCompareWindow::TArchives {
    TOpenedArchive opened[2];
};

TCompareWindow::TCompareWindow(const std::u16string& first, const std::u16string& second, TDialogs& dialogs,
                               QWidget* parent, TBatchHook hook)
    : QWidget(parent, Qt::Window), paths_{first, second}, names_{FileName(first), FileName(second)},
      dialogs_(dialogs) {
    setObjectName(QStringLiteral("CompareWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("%1 \u2194 %2").arg(names_[0], names_[1]));
    resize(960, 520);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    summary_ = new QLabel(QStringLiteral("Comparing\u2026"), this);
    summary_->setObjectName(QStringLiteral("CompareSummary"));
    summary_->setWordWrap(true);
    layout->addWidget(summary_);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("CompareProgress"));
    progress_->setRange(0, 0); // until the number of entries in both is known
    layout->addWidget(progress_);
    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("CompareFilter"));
    filter_->setPlaceholderText(QStringLiteral("Filter: part of the path, or a pattern such as *.dds"));
    filter_->setClearButtonEnabled(true);
    layout->addWidget(filter_);

    model_ = new TCompareModel(names_[0], names_[1], this);
    list_ = new QTreeView(this);
    list_->setObjectName(QStringLiteral("CompareList"));
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setModel(model_);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(TCompareModel::kEntryColumn, QHeaderView::Stretch);
    list_->header()->resizeSection(TCompareModel::kDifferenceColumn, 170);
    // The size columns as wide as their captions, which name the archives.
    for (const int column : {TCompareModel::kFirstSizeColumn, TCompareModel::kSecondSizeColumn}) {
        list_->header()->resizeSection(column, std::max(list_->header()->sectionSizeHint(column), 90));
    }
    list_->setSortingEnabled(true);
    list_->sortByColumn(TCompareModel::kEntryColumn, Qt::AscendingOrder);
    layout->addWidget(list_, 1);

    // A reset (a sort, the filter) keeps the selected rows and the current one. Selected rows that the filter
    // hides are selected again when it shows them, unless the user chose other rows meanwhile.
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { SaveSelection(); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { RestoreSelection(); });
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!restoringSelection_) {
            hiddenSelection_.clear();
        }
    });
    connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        model_->SetFilter(FromQString(text));
        ShowSummary();
    });

    auto* copy = new QAction(QStringLiteral("Copy paths"), this);
    copy->setObjectName(QStringLiteral("CompareCopy"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, [this] { CopySelectedPaths(); });
    list_->addAction(copy);
    for (int side = 0; side < 2; ++side) {
        extractActions_[side] = new QAction(QStringLiteral("Extract from %1\u2026").arg(names_[side]), this);
        extractActions_[side]->setObjectName(side == 0 ? QStringLiteral("CompareExtractFirst")
                                                       : QStringLiteral("CompareExtractSecond"));
        extractActions_[side]->setEnabled(false); // once both archives are compared
        connect(extractActions_[side], &QAction::triggered, this, [this, side] { ExtractSelected(side); });
    }
    connect(list_, &QWidget::customContextMenuRequested, this, [this, copy](const QPoint& at) {
        QMenu menu(this);
        menu.addAction(copy);
        menu.addSeparator();
        menu.addAction(extractActions_[0]);
        menu.addAction(extractActions_[1]);
        menu.exec(list_->viewport()->mapToGlobal(at));
    });

    // Both archives are opened and read on the job's thread; the window hears of it through queued calls.
    job_ = std::make_unique<TPreviewJob>([this, first, second, hook](const std::atomic<bool>& cancelled) {
        auto archives = std::make_shared<TArchives>();
        std::u16string failure;
        for (int side = 0; side < 2 && failure.empty(); ++side) {
            archives->opened[side] = OpenArchive(side == 0 ? first : second);
            failure = archives->opened[side].result.reason;
        }
        size_t same = 0;
        if (failure.empty()) {
            TwbBSAFile& a = *archives->opened[0].reader;
            TwbBSAFile& b = *archives->opened[1].reader;
            // The rows' entry strings come from the indexes, which this thread only reads too.
            QMetaObject::invokeMethod(
                this,
                [this, archives] {
                    model_->SetArchives(
                        std::shared_ptr<const TwbBSAFile>(archives, archives->opened[0].reader.get()),
                        std::shared_ptr<const TwbBSAFile>(archives, archives->opened[1].reader.get()));
                },
                Qt::QueuedConnection);
            const std::vector<uint32_t> sizes[2] = {a.ReadEntrySizes(&cancelled),
                                                    b.ReadEntrySizes(&cancelled)};
            TCompareBatch batch;
            auto sent = std::chrono::steady_clock::now();
            const auto send = [&] {
                if (!batch.rows.empty()) {
                    auto handed = std::make_shared<TCompareBatch>(std::move(batch));
                    QMetaObject::invokeMethod(
                        this, [this, handed] { Arrived(std::move(*handed)); }, Qt::QueuedConnection);
                    batch = {};
                    if (hook) {
                        hook(cancelled);
                    }
                }
                sent = std::chrono::steady_clock::now();
            };
            size_t shown = 0;
            const TArchiveDiff diff = DiffArchivesInto(
                a, b,
                [&](TArchiveDifference&& difference) {
                    AddRow(batch, std::move(difference), sizes);
                    if (batch.rows.size() >= kMostRowsInBatch ||
                        std::chrono::steady_clock::now() - sent >= kBatchInterval) {
                        send();
                    }
                },
                [this, &shown](size_t done, size_t total) {
                    if (done == total || done >= shown + kProgressStep) {
                        shown = done;
                        QMetaObject::invokeMethod(
                            this, [this, done, total] { Progress(done, total); }, Qt::QueuedConnection);
                    }
                },
                &cancelled);
            send();
            same = diff.same;
        }
        if (cancelled.load()) {
            return;
        }
        QMetaObject::invokeMethod(
            this, [this, archives, same, failure] { Finished(archives, same, failure); },
            Qt::QueuedConnection);
    });
}

TCompareWindow::~TCompareWindow() {
    job_.reset(); // cancels and joins: no call is queued to a window that is gone
}

QString TCompareWindow::SummaryText() const {
    return summary_->text();
}

void TCompareWindow::Progress(size_t done, size_t total) {
    if (job_) {
        done_ = done;
        total_ = total;
        // The bar counts in thousandths, whatever the number of entries.
        progress_->setRange(0, 1000);
        progress_->setValue(total == 0 ? 1000 : static_cast<int>(done * 1000 / total));
        ShowSummary();
    }
}

void TCompareWindow::Arrived(TCompareBatch batch) {
    model_->Append(std::move(batch));
    ShowSummary();
}

void TCompareWindow::Finished(std::shared_ptr<TArchives> archives, size_t same,
                              const std::u16string& failure) {
    job_.reset();
    progress_->hide();
    failure_ = failure;
    same_ = same;
    if (failure.empty()) {
        archives_ = std::move(archives);
        extractActions_[0]->setEnabled(true);
        extractActions_[1]->setEnabled(true);
    }
    ShowSummary();
}

void TCompareWindow::ShowSummary() {
    if (!failure_.empty()) {
        summary_->setText(QStringLiteral("Cannot compare: ") + ToQString(failure_));
        return;
    }
    const TCompareModel& model = *model_;
    const size_t unreadable =
        model.Count(TCompareKind::UnreadableInFirst) + model.Count(TCompareKind::UnreadableInSecond);
    QString text;
    if (job_) {
        text = QStringLiteral("Comparing\u2026 %1 of %2 entries in both; so far ")
                   .arg(Count(done_), Count(total_));
    } else if (model.RowTotal() == 0) {
        summary_->setText(
            QStringLiteral("The archives hold the same entries with the same bytes (%1).").arg(Count(same_)));
        return;
    }
    text += QStringLiteral("%1 only in %2, %3 only in %4, %5 with different bytes")
                .arg(Count(model.Count(TCompareKind::OnlyInFirst)), names_[0],
                     Count(model.Count(TCompareKind::OnlyInSecond)), names_[1],
                     Count(model.Count(TCompareKind::Different)));
    if (!job_) {
        text += QStringLiteral(", %1 the same").arg(Count(same_));
    }
    if (unreadable > 0) {
        text += QStringLiteral(", %1 unreadable").arg(Count(unreadable));
    }
    if (static_cast<size_t>(model.ShownCount()) != model.RowTotal()) {
        text += QStringLiteral(" (%1 shown)").arg(Count(static_cast<size_t>(model.ShownCount())));
    }
    summary_->setText(text);
}

std::vector<int> TCompareWindow::SelectedRows() const {
    std::vector<int> rows;
    for (const QItemSelectionRange& range : list_->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            rows.push_back(row);
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void TCompareWindow::SaveSelection() {
    savedSelection_ = std::move(hiddenSelection_);
    hiddenSelection_.clear();
    for (const int row : SelectedRows()) {
        savedSelection_.push_back(model_->Id(row));
    }
    const QModelIndex current = list_->currentIndex();
    savedCurrent_ = current.isValid() ? int64_t{model_->Id(current.row())} : -1;
}

void TCompareWindow::RestoreSelection() {
    std::vector<int> rows;
    rows.reserve(savedSelection_.size());
    for (const uint32_t id : savedSelection_) {
        const int row = model_->ModelRow(id);
        if (row >= 0) {
            rows.push_back(row);
        } else {
            hiddenSelection_.push_back(id);
        }
    }
    std::sort(rows.begin(), rows.end());
    QItemSelection selection;
    const int lastColumn = TCompareModel::kColumnCount - 1;
    for (size_t i = 0; i < rows.size();) {
        size_t end = i + 1;
        while (end < rows.size() && rows[end] == rows[end - 1] + 1) {
            ++end;
        }
        selection.select(model_->index(rows[i], 0), model_->index(rows[end - 1], lastColumn));
        i = end;
    }
    QItemSelectionModel& selected = *list_->selectionModel();
    if (savedCurrent_ >= 0) {
        const int row = model_->ModelRow(static_cast<uint32_t>(savedCurrent_));
        if (row >= 0) {
            selected.setCurrentIndex(model_->index(row, 0), QItemSelectionModel::NoUpdate);
            list_->scrollTo(model_->index(row, 0));
        }
    }
    restoringSelection_ = true;
    selected.select(selection, QItemSelectionModel::ClearAndSelect);
    restoringSelection_ = false;
    savedSelection_.clear();
}

void TCompareWindow::CopySelectedPaths() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        return;
    }
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(rows.size()));
    for (const int row : rows) {
        lines.append(ToQString(model_->EntryText(row)));
    }
    QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}

void TCompareWindow::ExtractSelected(int side) {
    if (!archives_) {
        return;
    }
    std::vector<TEntryRef> entries;
    for (const int row : SelectedRows()) {
        if (model_->Row(row).entries[side] != TCompareRow::kNoEntry) {
            entries.push_back(model_->Row(row).entries[side]);
        }
    }
    const QString title = ToQString(kApplicationTitle);
    if (entries.empty()) {
        dialogs_.ShowMessage(this, title,
                             QStringLiteral("None of the selected entries is in %1.").arg(names_[side]));
        return;
    }
    const QString chosen =
        dialogs_.PickFolder(this, QStringLiteral("Extract to:"), ToQString(lastExtractFolder_));
    if (chosen.isEmpty()) {
        return;
    }
    lastExtractFolder_ = FromQString(chosen);
    const std::u16string destination =
        StripTrailingChar(lastExtractFolder_, platform::kPathDelimiter) + platform::kPathDelimiter;
    const int total = static_cast<int>(entries.size());
    TNotExtractedEntries notExtracted;
    ExtractListener listener;
    listener.notExtracted = [&](const std::u16string& entry, const std::u16string& reason) {
        notExtracted.Add(entry, reason);
    };
    listener.progress = [&](int done, int) {
        if (done % kExtractionRepaintInterval == 0 || done == total) {
            summary_->setText(QStringLiteral("Extracting from %1\u2026 %2 of %3")
                                  .arg(names_[side], Count(size_t(done)), Count(size_t(total))));
            summary_->repaint();
        }
    };
    ExtractSummary summary;
    {
        const TBusyCursor busy;
        // On this thread, one entry after another, as the main window extracts; a file or folder that cannot
        // be made ends the run.
        ExtractOptions options;
        options.stopAtWriteError = true;
        summary = ExtractEntries(*archives_->opened[side].reader, std::move(entries), destination, options,
                                 listener);
    }
    ShowSummary();
    if (const std::optional<TExtractionStop> stop = StopOfRun(summary, 0, total)) {
        dialogs_.ShowErrorBox(this, title, StoppedExtractionMessage(*stop, notExtracted));
    } else if (notExtracted.count > 0) {
        dialogs_.ShowMessage(this, title, NotWrittenEntriesMessage(notExtracted));
    }
}
