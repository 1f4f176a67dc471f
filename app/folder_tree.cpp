#include "app/folder_tree.h"

#include <QHash>
#include <QHeaderView>

#include "app/qt_text.h"
#include "archive/bsa_file.h"
#include "archive/entry_string.h"

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kCountRole = Qt::UserRole + 1;

QString Caption(const QString& name, qulonglong files) {
    return QStringLiteral("%1 (%2)").arg(name).arg(files);
}

} // namespace

TFolderTree::TFolderTree(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("FolderTree"));
    setHeaderHidden(true);
    setColumnCount(1);
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::currentItemChanged, this, [this] { emit folderChosen(); });
}

void TFolderTree::Fill(const TwbBSAFile& archive) {
    Fill(std::vector<const TBsaIndex*>{&archive.Index()});
}

void TFolderTree::Fill(const std::vector<const TBsaIndex*>& indexes) {
    const QSignalBlocker quiet(this);
    clear();
    auto* all = new QTreeWidgetItem(this);
    all->setData(0, kPathRole, QString());
    // Every folder's path and the paths above it: one item each, found again by path.
    QHash<QString, QTreeWidgetItem*> items;
    QHash<QTreeWidgetItem*, qulonglong> files;
    qulonglong total = 0;
    for (const TBsaIndex* index : indexes) {
        for (const TwbBSAFolderRec& folder : index->Folders()) {
            const QString path = ToQString(folder.Name);
            QTreeWidgetItem* parent = all;
            qsizetype start = 0;
            for (;;) {
                const qsizetype end = path.indexOf(QChar(kEntryDelimiter), start);
                const QString upTo = end < 0 ? path : path.left(end);
                QTreeWidgetItem*& item = items[upTo];
                if (item == nullptr) {
                    item = new QTreeWidgetItem(parent);
                    item->setData(0, kPathRole, upTo);
                    item->setData(0, Qt::DisplayRole,
                                  end < 0 ? path.mid(start) : path.mid(start, end - start));
                }
                files[item] += folder.fileCount;
                parent = item;
                if (end < 0) {
                    break;
                }
                start = end + 1;
            }
            total += folder.fileCount;
        }
    }
    for (auto it = files.begin(); it != files.end(); ++it) {
        QTreeWidgetItem* item = it.key();
        item->setData(0, kCountRole, it.value());
        item->setText(0, Caption(item->text(0), it.value()));
    }
    all->setText(0, Caption(QStringLiteral("(all)"), total));
    all->setData(0, kCountRole, total);
    sortItems(0, Qt::AscendingOrder);
    all->setExpanded(true);
    setCurrentItem(all);
}

void TFolderTree::Empty() {
    const QSignalBlocker quiet(this);
    clear();
}

std::u16string TFolderTree::ChosenFolder() const {
    return FolderOf(currentItem());
}

std::u16string TFolderTree::FolderOf(const QTreeWidgetItem* item) {
    return item == nullptr ? std::u16string() : FromQString(item->data(0, kPathRole).toString());
}

bool EntryInFolder(std::u16string_view entryString, std::u16string_view folder) {
    return folder.empty() || (entryString.size() > folder.size() && entryString.starts_with(folder) &&
                              entryString[folder.size()] == kEntryDelimiter);
}
