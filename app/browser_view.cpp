#include "app/browser_view.h"

#include <QEvent>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <algorithm>

#include "app/browser_model.h"

namespace {

constexpr int kColumnWidths[TBrowserModel::kColumnCount] = {23, 276, 300};

// Draws cells without the focus rectangle.
class TNoFocusDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->state &= ~QStyle::State_HasFocus;
    }
};

} // namespace

void SetUpBrowserTree(QTreeView& view, TBrowserModel& model) {
    view.setModel(&model);
    view.setItemDelegate(new TNoFocusDelegate(&view));
    view.setUniformRowHeights(true);
    view.setRootIsDecorated(false);
    view.setItemsExpandable(false);
    view.setExpandsOnDoubleClick(false);
    view.setSortingEnabled(false);
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setAllColumnsShowFocus(true);
    view.setIconSize(QSize(16, 16));
    view.setTextElideMode(Qt::ElideRight);

    QHeaderView& header = *view.header();
    header.setSectionsClickable(true);
    header.setSectionsMovable(true);
    header.setFirstSectionMovable(true);
    header.setSortIndicatorShown(false);
    header.setHighlightSections(false);
    header.setStretchLastSection(false);
    header.setMinimumSectionSize(8);
    header.setSectionResizeMode(QHeaderView::Interactive);
    header.setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 0; column < TBrowserModel::kColumnCount; ++column) {
        header.resizeSection(column, kColumnWidths[column]);
    }

    int designedWidth = 0;
    for (int width : kColumnWidths) {
        designedWidth += width;
    }
    new TColumnWidthKeeper(view, TBrowserModel::kPathColumn, designedWidth);
}

TColumnWidthKeeper::TColumnWidthKeeper(QTreeView& view, int column, int designedWidth)
    : QObject(&view), view_(view), viewport_(view.viewport()), column_(column), lastWidth_(designedWidth) {
    viewport_->installEventFilter(this);
}

bool TColumnWidthKeeper::eventFilter(QObject* watched, QEvent* event) {
    // Only the resize is looked at: other events also come while the view is being destroyed.
    if (event->type() == QEvent::Resize && watched == viewport_) {
        const int width = viewport_->width();
        const int delta = width - lastWidth_;
        lastWidth_ = width;
        if (delta != 0) {
            QHeaderView& header = *view_.header();
            header.resizeSection(column_,
                                 std::max(header.minimumSectionSize(), header.sectionSize(column_) + delta));
        }
    }
    return QObject::eventFilter(watched, event);
}
