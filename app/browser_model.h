#pragma once
// The browser list's rows behind BrowserTree: a flat model over one vector of row records, in list order.
// The view asks for cell texts and icons; nothing is stored per cell. Rows that the filter hides stay in the
// vector with their selected flag, so the selection is kept per row here and mirrored into the view's
// selection model for the visible rows.
#include <QAbstractTableModel>
#include <QItemSelection>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "app/node_data.h"

class TImageList;
class TDataFolder;

class TBrowserModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Size and Stored come after the three columns the list always had, and start hidden; Archive is shown
    // only while rows of several archives are listed.
    enum Column {
        kIconColumn = 0,
        kPathColumn = 1,
        kFileColumn = 2,
        kSizeColumn = 3,
        kStoredColumn = 4,
        kArchiveColumn = 5,
        kColumnCount = 6
    };
    // The row's ImageList1 index, on the icon column.
    static constexpr int kIconIndexRole = Qt::UserRole + 1;

    // How a row's entry is stored: its bytes in the archive, compressed or not, and the size it decodes to
    // (kSizeUnknown for a damaged entry; not yet known while the sizes are being read).
    static constexpr uint32_t kSizeUnknown = UINT32_MAX;
    struct TRowStorage {
        uint32_t stored = 0;
        uint32_t size = kSizeUnknown;
        bool compressed = false;
        bool entry = false; // false for a placeholder row, whose cells are empty
    };

    explicit TBrowserModel(const TImageList& images, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The rows of the list in their current order, hidden ones included ("list rows"). Model rows are the
    // visible ones only.
    int NodeCount() const { return static_cast<int>(nodes_.size()); }
    const TNodeDataBrw& Node(int listRow) const { return nodes_[Id(listRow)]; }
    bool Selected(int listRow) const { return selected_[Id(listRow)] != 0; }
    bool Visible(int listRow) const { return visible_[Id(listRow)] != 0; }
    int SelectedCount() const;
    // Selected rows that the filter hides (they are extracted too).
    int HiddenSelectedCount() const;
    // The list row shown at a model row, and the model row of a list row (-1 when it is hidden).
    int ListRow(int modelRow) const { return visibleRows_[static_cast<size_t>(modelRow)]; }
    int ModelRow(int listRow) const;

    // Replaces every row (the old ones are released): all visible, none selected, in the given order, with
    // how each is stored (by the same order; none for placeholders), the decoded sizes not known yet. One
    // model reset.
    void SetNodes(std::vector<TNodeDataBrw> nodes, std::vector<TRowStorage> storage = {});
    // Rows of several archives: each row's entry (TNodeDataBrw::entry) is then a row of folder's table, which
    // gives its archive (the Archive column and its sort) and whether another archive overrides it (the row
    // dimmed, the winner in its tooltip). Null: rows of one archive. Set before SetNodes; folder must outlive
    // the rows.
    void SetDataFolder(const TDataFolder* folder) { dataFolder_ = folder; }
    const TDataFolder* DataFolder() const { return dataFolder_; }
    // The archives taking part changed: the dimmed rows and tooltips follow.
    void OverridesChanged();
    void Clear() { SetNodes({}); }
    // The decoded sizes have been read: sizeOfEntry[e] for the row of entry e (TNodeDataBrw::entry),
    // kSizeUnknown when damaged. Changes the Size and Stored cells; a later sort by them uses the sizes.
    void SetSizes(const std::vector<uint32_t>& sizeOfEntry);
    bool SizesKnown() const { return sizesKnown_; }
    const TRowStorage& Storage(int listRow) const { return storage_[Id(listRow)]; }

    // The header's sort state: the column the rows were last sorted by, or -1, and the direction.
    int SortColumn() const { return sortColumn_; }
    Qt::SortOrder SortDirection() const { return sortDirection_; }
    void SetSortState(int column, Qt::SortOrder direction);

    // Sorts all rows, hidden ones included, by BrowserTreeCompareNodes on the column. Stable in both
    // directions: rows that compare equal keep their relative order. One model reset. Returns the new list
    // row of trackedListRow (-1 stays -1).
    int SortNodes(int column, Qt::SortOrder direction, int trackedListRow = -1);

    // Shows exactly the rows whose filename keeps says to keep, or every row when keeps is empty. Hidden
    // rows keep their selected flag. One model reset.
    // rowKeeps, when given, is asked too, with the row's entry (TNodeDataBrw::entry).
    void Filter(const std::function<bool(std::u16string_view)>& keeps,
                const std::function<bool(uint32_t entry)>& rowKeeps = {});

    // Selection flags. UpdateSelection applies a change of the view's selection (model rows, whole rows);
    // VisibleSelection gives the flags of the visible rows as whole-row ranges for the view.
    void SetSelected(int listRow, bool selected) { selected_[Id(listRow)] = selected ? 1 : 0; }
    // Unselects the rows that the filter hides, when a new selection replaces the old one.
    void DeselectHiddenRows();
    void UpdateSelection(const QItemSelection& selected, const QItemSelection& deselected);
    QItemSelection VisibleSelection() const;

private:
    // A row's id is its place in the order the rows were filled in; flags and sort ranks are kept by id.
    size_t Id(int listRow) const { return static_cast<size_t>(order_[static_cast<size_t>(listRow)]); }
    void RebuildVisibleRows();
    void SetRangeSelected(const QItemSelection& ranges, bool selected);
    // Each row's place among the distinct sort keys of a column (equal keys, equal rank), by id. Worked out
    // at the first sort by that column, as the keys never change until the next fill (or, for Size and
    // Stored, until the sizes arrive).
    const std::vector<int32_t>& SortRanks(int column);
    void RankTextKeys(int column);
    void RankNumberKeys(int column);
    uint64_t NumberKeyOf(size_t id, int column) const;
    QVariant DataFolderData(const TNodeDataBrw& node, int column, int role) const;

    const TImageList& images_;
    const TDataFolder* dataFolder_ = nullptr;
    std::vector<TNodeDataBrw> nodes_;  // by id
    std::vector<int32_t> order_;       // the id at each list row
    std::vector<uint8_t> selected_;    // by id
    std::vector<uint8_t> visible_;     // by id
    std::vector<TRowStorage> storage_; // by id
    bool sizesKnown_ = false;
    std::vector<int32_t> visibleRows_; // list rows of the visible rows, ascending
    std::vector<int32_t> sortRanks_[kColumnCount];
    int32_t sortRankCount_[kColumnCount] = {};
    int sortColumn_ = kPathColumn;
    Qt::SortOrder sortDirection_ = Qt::AscendingOrder;
};

// A Size cell: the bytes in binary units ("1.5 KiB", "523 bytes", "1 byte"), "\u2026" while not known yet,
// "?" when unknown. A Stored cell: "raw", or the stored bytes as a percentage of the decoded ones ("48%").
QString SizeCellText(uint32_t size, bool sizesKnown);
QString StoredCellText(const TBrowserModel::TRowStorage& storage, bool sizesKnown);
