#pragma once
// BrowserTree's look and behaviour: three resizable, movable columns (two more, Size and Stored, hidden at
// first), whole-row multi-selection, no focus rectangle, the whole text of an elided cell as its tooltip,
// rows dragged out, and the "Path" and "File" columns sharing the list's width. The rows' selected flags live
// in the model, hidden rows included; the view's selection shows them for the visible rows.
#include <QItemSelectionModel>
#include <QObject>
#include <QTreeView>

class TBrowserModel;

// The view's selection model. A selection that replaces the old one (a plain click or arrow key, a
// shift-range, select all, a click on empty space) replaces it on the rows the filter hides too; a
// control-click adds or removes its row only.
class TBrowserSelectionModel : public QItemSelectionModel {
public:
    TBrowserSelectionModel(TBrowserModel& rows, QObject* parent);

    using QItemSelectionModel::select;
    void select(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command) override;
    // Called when the rows are reset (filled, sorted, filtered): the flags stay as they are.
    void reset() override;

    // After the rows were sorted or filtered: the view's selection and current row brought back from the
    // rows' flags, which already hold the selection and so are left alone.
    void ShowRowFlags(int currentListRow);

private:
    TBrowserModel& rows_;
    bool resetting_ = false;
};

class TBrowserTreeView : public QTreeView {
    Q_OBJECT
public:
    // Sets the view up over the model with the columns' starting widths.
    TBrowserTreeView(TBrowserModel& rows, QWidget* parent);

    TBrowserSelectionModel& RowSelection() const { return *rowSelection_; }

signals:
    // The user began to drag selected rows out of the list (the button held and the pointer moved).
    void dragRowsOut();

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    // A shift-range without control starts the selection afresh.
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;

private:
    TBrowserSelectionModel* rowSelection_;
};

// Keeps two columns filling the list's width, whatever its width and whatever the other columns take. The
// growing column takes up every change of the width as long as it is wider than half of what the sharing
// column wants; below that both shrink in that proportion, so neither collapses, and both get back their
// widths when the list grows again. A column resized by hand sets what both want from then on.
class TColumnWidthKeeper : public QObject {
    Q_OBJECT
public:
    TColumnWidthKeeper(QTreeView& view, int growingColumn, int sharingColumn);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SectionResized(int column, int oldSize, int newSize);
    // The viewport's width less that of the other columns.
    int Room() const;
    void Relayout();

    QTreeView& view_;
    QWidget* viewport_;
    int growingColumn_;
    int sharingColumn_;
    int sharingWidth_; // what the sharing column wants
    bool adjusting_ = false;
};
