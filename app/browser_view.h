#pragma once
// BrowserTree's look and behaviour: three resizable, movable columns, whole-row multi-selection, no sort
// arrows, no focus rectangle, and the "Path" column taking up changes of the list's width.
#include <QObject>

class QWidget;

class QTreeView;
class TBrowserModel;

// Sets the view up over the model with the columns' starting widths.
void SetUpBrowserTree(QTreeView& view, TBrowserModel& model);

// Gives every change of the list's width to one column, as long as the view lives. The columns start out
// filling designedWidth, the width the list was laid out for.
class TColumnWidthKeeper : public QObject {
    Q_OBJECT
public:
    TColumnWidthKeeper(QTreeView& view, int column, int designedWidth);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTreeView& view_;
    QWidget* viewport_;
    int column_;
    int lastWidth_;
};
