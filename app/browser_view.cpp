#include "app/browser_view.h"

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QInputEvent>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <algorithm>

#include "app/browser_model.h"

namespace {

constexpr int kColumnWidths[TBrowserModel::kColumnCount] = {23, 276, 300, 76, 64, 150};

// Draws cells without the focus rectangle, and shows the whole text of a cell that is drawn elided as its
// tooltip.
class TBrowserItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip) {
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        }
        // A cell that says more about itself (the exact sizes) says it always.
        const QVariant own = index.data(Qt::ToolTipRole);
        if (own.isValid()) {
            QToolTip::showText(event->globalPos(), own.toString(), view->viewport(), option.rect);
            return true;
        }
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        const QStyle* style = view->style();
        // The style draws the text inside the text rectangle less a margin on each side.
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        const int room = style->subElementRect(QStyle::SE_ItemViewItemText, &cell, view).width() - 2 * margin;
        if (!cell.text.isEmpty() && cell.fontMetrics.horizontalAdvance(cell.text) > room) {
            QToolTip::showText(event->globalPos(), cell.text, view->viewport(), option.rect);
        } else {
            QToolTip::hideText();
        }
        return true;
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->state &= ~QStyle::State_HasFocus;
    }
};

} // namespace

TBrowserSelectionModel::TBrowserSelectionModel(TBrowserModel& rows, QObject* parent)
    : QItemSelectionModel(&rows, parent), rows_(rows) {}

void TBrowserSelectionModel::select(const QItemSelection& selection,
                                    QItemSelectionModel::SelectionFlags command) {
    if ((command & QItemSelectionModel::Clear) && !resetting_) {
        rows_.DeselectHiddenRows();
    }
    QItemSelectionModel::select(selection, command);
}

void TBrowserSelectionModel::reset() {
    // Qt clears the selection by a select() here.
    resetting_ = true;
    QItemSelectionModel::reset();
    resetting_ = false;
}

void TBrowserSelectionModel::ShowRowFlags(int currentListRow) {
    // With thousands of ranges the view's own bookkeeping of the change would cost more than the whole
    // filter, and the flags need no update.
    const QSignalBlocker blocker(this);
    QItemSelectionModel::select(rows_.VisibleSelection(), QItemSelectionModel::ClearAndSelect);
    const int modelRow = currentListRow >= 0 ? rows_.ModelRow(currentListRow) : -1;
    if (modelRow >= 0) {
        setCurrentIndex(rows_.index(modelRow, 0), QItemSelectionModel::NoUpdate);
    }
}

TBrowserTreeView::TBrowserTreeView(TBrowserModel& rows, QWidget* parent) : QTreeView(parent) {
    setModel(&rows);
    QItemSelectionModel* standard = selectionModel();
    rowSelection_ = new TBrowserSelectionModel(rows, this);
    setSelectionModel(rowSelection_);
    delete standard;
    connect(rowSelection_, &QItemSelectionModel::selectionChanged, &rows, &TBrowserModel::UpdateSelection);

    setItemDelegate(new TBrowserItemDelegate(this));
    setUniformRowHeights(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // Otherwise the view draws a focus frame around the current row itself.
    setAllColumnsShowFocus(false);
    setIconSize(QSize(16, 16));
    setTextElideMode(Qt::ElideRight);

    QHeaderView& columns = *header();
    columns.setSectionsClickable(true);
    columns.setSectionsMovable(true);
    columns.setFirstSectionMovable(true);
    columns.setSortIndicatorShown(false);
    columns.setHighlightSections(false);
    columns.setStretchLastSection(false);
    columns.setMinimumSectionSize(8);
    columns.setSectionResizeMode(QHeaderView::Interactive);
    columns.setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 0; column < TBrowserModel::kColumnCount; ++column) {
        columns.resizeSection(column, kColumnWidths[column]);
    }
    // The list's own three columns; Size and Stored are shown from the header's menu.
    columns.setSectionHidden(TBrowserModel::kSizeColumn, true);
    columns.setSectionHidden(TBrowserModel::kStoredColumn, true);
    // The archive of each row, when rows of several are listed: right after the file.
    columns.setSectionHidden(TBrowserModel::kArchiveColumn, true);
    columns.moveSection(columns.visualIndex(TBrowserModel::kArchiveColumn), TBrowserModel::kSizeColumn);
    // Rows are dragged out to other programs, never within the list.
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    new TColumnWidthKeeper(*this, TBrowserModel::kPathColumn, TBrowserModel::kFileColumn);
}

void TBrowserTreeView::startDrag(Qt::DropActions /*supportedActions*/) {
    // The window writes the rows' files first and starts the drag itself.
    emit dragRowsOut();
}

QItemSelectionModel::SelectionFlags TBrowserTreeView::selectionCommand(const QModelIndex& index,
                                                                       const QEvent* event) const {
    QItemSelectionModel::SelectionFlags command = QTreeView::selectionCommand(index, event);
    Qt::KeyboardModifiers modifiers = QApplication::keyboardModifiers();
    if (event != nullptr && event->isInputEvent()) {
        modifiers = static_cast<const QInputEvent*>(event)->modifiers();
    }
    // The list's own shift-range keeps what was selected before its anchor; here it replaces it.
    if ((command & QItemSelectionModel::Current) && (command & QItemSelectionModel::Select) &&
        !(modifiers & Qt::ControlModifier)) {
        command |= QItemSelectionModel::Clear;
    }
    return command;
}

TColumnWidthKeeper::TColumnWidthKeeper(QTreeView& view, int growingColumn, int sharingColumn)
    : QObject(&view), view_(view), viewport_(view.viewport()), growingColumn_(growingColumn),
      sharingColumn_(sharingColumn), sharingWidth_(view.header()->sectionSize(sharingColumn)) {
    viewport_->installEventFilter(this);
    connect(view.header(), &QHeaderView::sectionResized, this, &TColumnWidthKeeper::SectionResized);
}

bool TColumnWidthKeeper::eventFilter(QObject* watched, QEvent* event) {
    // Only the resize is looked at: other events also come while the view is being destroyed.
    if (event->type() == QEvent::Resize && watched == viewport_) {
        Relayout();
    }
    return QObject::eventFilter(watched, event);
}

void TColumnWidthKeeper::SectionResized(int column, int /*oldSize*/, int newSize) {
    if (adjusting_) {
        return;
    }
    // By hand: the border the user moved stays where it was put, and the other of the two columns takes
    // what is left.
    const int minimum = view_.header()->minimumSectionSize();
    if (column == sharingColumn_) {
        sharingWidth_ = newSize;
    } else if (column == growingColumn_) {
        sharingWidth_ = std::max(minimum, Room() - newSize);
    }
    Relayout();
}

int TColumnWidthKeeper::Room() const {
    const QHeaderView& header = *view_.header();
    int room = viewport_->width();
    for (int column = 0; column < header.count(); ++column) {
        if (column != growingColumn_ && column != sharingColumn_ && !header.isSectionHidden(column)) {
            room -= header.sectionSize(column);
        }
    }
    return room;
}

void TColumnWidthKeeper::Relayout() {
    QHeaderView& header = *view_.header();
    const int minimum = header.minimumSectionSize();
    const int room = std::max(0, Room());
    const int growingFloor = std::max(minimum, sharingWidth_ / 2);
    int growing = room - sharingWidth_;
    int sharing = sharingWidth_;
    if (growing < growingFloor) {
        growing =
            static_cast<int>(static_cast<long long>(room) * growingFloor / (growingFloor + sharingWidth_));
        sharing = room - growing;
    }
    adjusting_ = true;
    header.resizeSection(growingColumn_, std::max(minimum, growing));
    header.resizeSection(sharingColumn_, std::max(minimum, sharing));
    adjusting_ = false;
}
