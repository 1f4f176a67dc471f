#include "app/compare_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <utility>

#include "app/qt_text.h"
#include "extract/entry_fetch.h"
#include "platform/directories.h"

namespace {

QString FileName(const std::u16string& path) {
    return ToQString(path.substr(platform::FileNameStart(path)));
}

// Progress is handed to the window at most this often (in paths compared).
constexpr size_t kProgressStep = 4096;

} // namespace

TCompareWindow::TCompareWindow(const std::u16string& first, const std::u16string& second, QWidget* parent)
    : QWidget(parent, Qt::Window), first_(first), second_(second) {
    setObjectName(QStringLiteral("CompareWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("%1 \u2194 %2").arg(FileName(first), FileName(second)));
    resize(640, 420);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    summary_ = new QLabel(QStringLiteral("Comparing\u2026"), this);
    summary_->setObjectName(QStringLiteral("CompareSummary"));
    summary_->setWordWrap(true);
    layout->addWidget(summary_);
    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("CompareFilter"));
    filter_->setPlaceholderText(QStringLiteral("Filter"));
    filter_->setClearButtonEnabled(true);
    connect(filter_, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
    layout->addWidget(filter_);
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("CompareList"));
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setHeaderLabels({QStringLiteral("Entry"), QStringLiteral("Difference")});
    list_->header()->resizeSection(kEntryColumn, 380);
    list_->setSortingEnabled(true);
    list_->sortByColumn(kEntryColumn, Qt::AscendingOrder);
    layout->addWidget(list_, 1);

    // Both archives are opened and read on the job's thread; the window hears of it through queued calls.
    job_ = std::make_unique<TPreviewJob>([this, first, second](const std::atomic<bool>& cancelled) {
        TOpenedArchive a = OpenArchive(first);
        TOpenedArchive b = a.result ? OpenArchive(second) : TOpenedArchive{};
        TArchiveDiff diff;
        std::u16string failure;
        if (!a.result) {
            failure = a.result.reason;
        } else if (!b.result) {
            failure = b.result.reason;
        } else {
            size_t shown = 0;
            diff = DiffArchives(
                *a.reader, *b.reader,
                [this, &shown](size_t done, size_t total) {
                    if (done == total || done >= shown + kProgressStep) {
                        shown = done;
                        QMetaObject::invokeMethod(
                            this, [this, done, total] { Progress(done, total); }, Qt::QueuedConnection);
                    }
                },
                &cancelled);
        }
        if (cancelled.load()) {
            return;
        }
        QMetaObject::invokeMethod(
            this, [this, diff = std::move(diff), failure = std::move(failure)] { Finished(diff, failure); },
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
        summary_->setText(
            QStringLiteral("Comparing\u2026 %1 of %2 entries in both")
                .arg(QLocale().toString(qulonglong(done)), QLocale().toString(qulonglong(total))));
    }
}

void TCompareWindow::Finished(const TArchiveDiff& diff, const std::u16string& failure) {
    job_.reset();
    if (!failure.empty()) {
        summary_->setText(QStringLiteral("Cannot compare: ") + ToQString(failure));
        return;
    }
    const QString a = FileName(first_);
    const QString b = FileName(second_);
    size_t onlyFirst = 0;
    size_t onlySecond = 0;
    size_t different = 0;
    size_t unreadable = 0;
    list_->setSortingEnabled(false);
    QList<QTreeWidgetItem*> items;
    for (const TArchiveDifference& difference : diff.differences) {
        QString text;
        switch (difference.kind) {
        case TArchiveDifference::Kind::OnlyInFirst:
            text = QStringLiteral("only in %1").arg(a);
            ++onlyFirst;
            break;
        case TArchiveDifference::Kind::OnlyInSecond:
            text = QStringLiteral("only in %1").arg(b);
            ++onlySecond;
            break;
        case TArchiveDifference::Kind::Different:
            text = QStringLiteral("different bytes");
            ++different;
            break;
        case TArchiveDifference::Kind::Unreadable:
            text = QStringLiteral("unreadable in %1: %2")
                       .arg(difference.side == 0 ? a : b, ToQString(difference.reason));
            ++unreadable;
            break;
        }
        items.append(new QTreeWidgetItem(QStringList{ToQString(difference.entry), text}));
    }
    list_->addTopLevelItems(items);
    list_->setSortingEnabled(true);
    const QLocale locale;
    QString summary =
        diff.Equal()
            ? QStringLiteral("The archives hold the same entries with the same bytes (%1).")
                  .arg(locale.toString(qulonglong(diff.same)))
            : QStringLiteral("%1 only in %2, %3 only in %4, %5 with different bytes, %6 the same")
                  .arg(locale.toString(qulonglong(onlyFirst)), a, locale.toString(qulonglong(onlySecond)), b,
                       locale.toString(qulonglong(different)), locale.toString(qulonglong(diff.same)));
    if (unreadable > 0) {
        summary += QStringLiteral(", %1 unreadable").arg(locale.toString(qulonglong(unreadable)));
    }
    summary_->setText(summary);
    ApplyFilter();
}

void TCompareWindow::ApplyFilter() {
    const QString text = filter_->text();
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        item->setHidden(!text.isEmpty() && !item->text(kEntryColumn).contains(text, Qt::CaseInsensitive) &&
                        !item->text(kDifferenceColumn).contains(text, Qt::CaseInsensitive));
    }
}
