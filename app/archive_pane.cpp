#include "app/archive_pane.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/qt_text.h"
#include "data_folder/data_folder.h"
#include "platform/directories.h"

namespace {

// Items of archives that opened carry their source's place; failed ones carry none.
constexpr int kSourceRole = Qt::UserRole + 1;
constexpr int kNoSource = -1;

} // namespace

QString LoadOrderText(const TDataFolder& folder) {
    if (folder.orderGiven) {
        return QStringLiteral("Order: as given");
    }
    return ToQString(DescribeIniRule(folder.order)) + QLatin1Char('\n') +
           ToQString(DescribePluginsRule(folder.order));
}

TArchivePane::TArchivePane(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ArchivePane"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    order_ = new QLabel(this);
    order_->setObjectName(QStringLiteral("ArchivePaneOrder"));
    order_->setWordWrap(true);
    order_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(order_);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("ArchiveList"));
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setColumnCount(kColumnCount);
    list_->setHeaderLabels({QStringLiteral("Archive"), QStringLiteral("Wins"), QStringLiteral("Losses"),
                            QStringLiteral("Loaded by")});
    list_->header()->setStretchLastSection(true);
    layout->addWidget(list_, 1);
    connect(list_, &QTreeWidget::itemChanged, this, [this] { ItemChanged(); });
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) { ContextMenu(at); });

    auto* buttons = new QHBoxLayout;
    plugins_ = new QPushButton(QStringLiteral("plugins.txt\u2026"), this);
    plugins_->setObjectName(QStringLiteral("ArchivePanePlugins"));
    plugins_->setToolTip(QStringLiteral("Order the archives by this plugins.txt"));
    ini_ = new QPushButton(QStringLiteral("INI file\u2026"), this);
    ini_->setObjectName(QStringLiteral("ArchivePaneIni"));
    ini_->setToolTip(QStringLiteral("Take the game's first archives from this INI file"));
    buttons->addWidget(plugins_);
    buttons->addWidget(ini_);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(plugins_, &QPushButton::clicked, this, [this] { FileMenu(true); });
    connect(ini_, &QPushButton::clicked, this, [this] { FileMenu(false); });
}

void TArchivePane::SetChosenFiles(const std::u16string& plugins, const std::u16string& ini) {
    chosenPlugins_ = plugins;
    chosenIni_ = ini;
    plugins_->setToolTip(plugins.empty()
                             ? QStringLiteral("Order the archives by a plugins.txt")
                             : QStringLiteral("Chosen for this folder: %1").arg(ToQString(plugins)));
    ini_->setToolTip(ini.empty() ? QStringLiteral("Take the game's first archives from an INI file")
                                 : QStringLiteral("Chosen for this folder: %1").arg(ToQString(ini)));
}

void TArchivePane::FileMenu(bool plugins) {
    const std::u16string& chosen = plugins ? chosenPlugins_ : chosenIni_;
    const QString prefix = plugins ? QStringLiteral("ArchivePanePlugins") : QStringLiteral("ArchivePaneIni");
    auto* menu = new QMenu(this);
    menu->setObjectName(prefix + QStringLiteral("Menu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* automatic = menu->addAction(QStringLiteral("Automatic"));
    automatic->setObjectName(prefix + QStringLiteral("Automatic"));
    automatic->setToolTip(plugins ? QStringLiteral("The plugins.txt the game reads")
                                  : QStringLiteral("The INI files the game reads"));
    automatic->setCheckable(true);
    automatic->setChecked(chosen.empty());
    if (!chosen.empty()) {
        connect(automatic, &QAction::triggered, this, [this, plugins] { emit automaticWanted(plugins); });
        QAction* given = menu->addAction(ToQString(chosen));
        given->setObjectName(prefix + QStringLiteral("Chosen"));
        given->setCheckable(true);
        given->setChecked(true);
        given->setEnabled(false);
    }
    menu->addSeparator();
    QAction* choose = menu->addAction(QStringLiteral("Choose\u2026"));
    choose->setObjectName(prefix + QStringLiteral("Choose"));
    connect(choose, &QAction::triggered, this, [this, plugins] {
        if (plugins) {
            emit pluginsFileWanted();
        } else {
            emit iniFileWanted();
        }
    });
    QPushButton* button = plugins ? plugins_ : ini_;
    menu->popup(button->mapToGlobal(QPoint(0, button->height())));
}

void TArchivePane::Fill(const TDataFolder& folder) {
    folder_ = &folder;
    filling_ = true;
    list_->clear();
    order_->setText(LoadOrderText(folder));
    // Files of a folder's order can be given; archives given one by one load as given.
    plugins_->setVisible(!folder.orderGiven);
    ini_->setVisible(!folder.orderGiven);
    for (size_t source = 0; source < folder.sources.size(); ++source) {
        const TDataSource& archive = folder.sources[source];
        auto* item = new QTreeWidgetItem(list_);
        item->setText(kNameColumn, ToQString(archive.name));
        item->setToolTip(kNameColumn, ToQString(archive.path));
        item->setText(kRuleColumn, ToQString(LoadRuleText(archive.placed)));
        item->setData(kNameColumn, kSourceRole, static_cast<int>(source));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(kNameColumn, folder.table.TakesPart(source) ? Qt::Checked : Qt::Unchecked);
        item->setTextAlignment(kWinsColumn, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(kLossesColumn, Qt::AlignRight | Qt::AlignVCenter);
    }
    for (const TFailedArchive& failed : folder.failed) {
        auto* item = new QTreeWidgetItem(list_);
        const QString name = ToQString(failed.path.substr(platform::FileNameStart(failed.path)));
        item->setText(kNameColumn, name);
        item->setText(kRuleColumn, QStringLiteral("failed: ") + ToQString(failed.reason));
        item->setToolTip(kNameColumn, ToQString(failed.path));
        item->setToolTip(kRuleColumn, ToQString(failed.reason));
        item->setData(kNameColumn, kSourceRole, kNoSource);
        item->setForeground(kNameColumn, QColor(0xB0, 0x00, 0x00));
        item->setForeground(kRuleColumn, QColor(0xB0, 0x00, 0x00));
    }
    filling_ = false;
    UpdateCounts();
    list_->resizeColumnToContents(kNameColumn);
    list_->resizeColumnToContents(kWinsColumn);
    list_->resizeColumnToContents(kLossesColumn);
}

void TArchivePane::Empty() {
    folder_ = nullptr;
    filling_ = true;
    list_->clear();
    order_->clear();
    filling_ = false;
}

void TArchivePane::UpdateCounts() {
    if (folder_ == nullptr) {
        return;
    }
    const QSignalBlocker quiet(list_);
    const QLocale locale;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        const int source = item->data(kNameColumn, kSourceRole).toInt();
        if (source == kNoSource) {
            continue;
        }
        const bool taking = folder_->table.TakesPart(static_cast<size_t>(source));
        item->setText(kWinsColumn,
                      taking ? locale.toString(folder_->table.Wins(static_cast<size_t>(source))) : QString());
        item->setText(kLossesColumn, taking
                                         ? locale.toString(folder_->table.Losses(static_cast<size_t>(source)))
                                         : QString());
    }
}

QString TArchivePane::OrderText() const {
    return order_->text();
}

void TArchivePane::ItemChanged() {
    if (filling_ || folder_ == nullptr) {
        return;
    }
    std::vector<bool> takingPart(folder_->sources.size(), false);
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list_->topLevelItem(i);
        const int source = item->data(kNameColumn, kSourceRole).toInt();
        if (source != kNoSource) {
            takingPart[static_cast<size_t>(source)] = item->checkState(kNameColumn) == Qt::Checked;
        }
    }
    emit takingPartChanged(takingPart);
}

void TArchivePane::ContextMenu(const QPoint& at) {
    const QTreeWidgetItem* item = list_->itemAt(at);
    if (folder_ == nullptr || item == nullptr) {
        return;
    }
    const int source = item->data(kNameColumn, kSourceRole).toInt();
    // Only an archive is compared: the loose files are none.
    if (source == kNoSource || !folder_->sources[static_cast<size_t>(source)].reader) {
        return;
    }
    const std::u16string path = folder_->sources[static_cast<size_t>(source)].path;
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("ArchiveMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* compare = menu->addAction(QStringLiteral("Compare with\u2026"));
    compare->setObjectName(QStringLiteral("ArchiveMenuCompare"));
    connect(compare, &QAction::triggered, this, [this, path] { emit compareWanted(path); });
    menu->popup(list_->viewport()->mapToGlobal(at));
}
