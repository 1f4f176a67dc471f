#pragma once
// The rows of the comparison window: one per difference between two archives, held compactly (a record of
// 20 bytes per row, the rare reasons apart); the cell texts are made when the view asks, the entry strings
// from the archives' own indexes, which the window keeps open. Rows arrive in batches while the comparison
// runs, in path order; a row's id is its place in that order. Sorting and the filter only change which ids
// the view shows and in what order: sorting by the entry is the arrival order itself, by another column a
// sort of the ids on a number.
#include <QAbstractTableModel>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/bsa_file.h"

// What differs at a path, in the order the Difference column sorts.
enum class TCompareKind : uint8_t {
    OnlyInFirst,
    OnlyInSecond,
    Different,
    UnreadableInFirst,
    UnreadableInSecond
};

// One difference.
struct TCompareRow {
    static constexpr TEntryRef kNoEntry = UINT32_MAX;
    static constexpr uint32_t kSizeUnknown = UINT32_MAX; // a damaged entry's, or an archive without the entry
    TEntryRef entries[2] = {kNoEntry, kNoEntry};         // in the first and in the second archive
    uint32_t sizes[2] = {kSizeUnknown, kSizeUnknown};    // the bytes each decodes to
    TCompareKind kind = TCompareKind::Different;
};

// Rows found together, and the reasons of the unreadable ones by their place in rows.
struct TCompareBatch {
    std::vector<TCompareRow> rows;
    std::vector<std::pair<uint32_t, std::u16string>> reasons;
};

class TCompareModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kEntryColumn = 0, kDifferenceColumn, kFirstSizeColumn, kSecondSizeColumn, kColumnCount };

    // firstName, secondName: how the two archives are named in the cells ("only in old.bsa").
    TCompareModel(QString firstName, QString secondName, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // The archives compared, which name the rows' entries: a row's entry string is its entry's in the first
    // archive, or in the second when only that one holds it. Set before the first rows; only their indexes
    // are read, so another thread may read entries through them meanwhile.
    void SetArchives(std::shared_ptr<const TwbBSAFile> first, std::shared_ptr<const TwbBSAFile> second);
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Orders every row, those the filter hides included. Ties keep path order; by the entry, descending is
    // the reverse path order. One model reset.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Adds rows found after those already here. Rows the filter keeps appear in their sorted places: through
    // row insertions when they fall into a few runs (always so when sorted by the entry or the difference),
    // otherwise through one model reset.
    void Append(TCompareBatch batch);
    // Shows only the rows whose entry string the window's filter text keeps (extract/entry_filter.h: a
    // substring, or a wildcard pattern). One model reset.
    void SetFilter(const std::u16string& text);

    // Rows found, of each kind; rows shown.
    size_t RowTotal() const { return rows_.size(); }
    size_t Count(TCompareKind kind) const { return counts_[static_cast<size_t>(kind)]; }
    int ShownCount() const { return static_cast<int>(shown_.size()); }

    // The row shown at a model row.
    std::u16string EntryText(int modelRow) const;
    const TCompareRow& Row(int modelRow) const { return rows_[Id(modelRow)]; }
    // The id of the row shown at a model row, and the model row of an id (-1 when the filter hides it).
    uint32_t Id(int modelRow) const { return shown_[static_cast<size_t>(modelRow)]; }
    int ModelRow(uint32_t id) const;

private:
    // The row's entry string, made in text (whose memory is reused).
    std::u16string_view TextOf(uint32_t id, std::u16string& text) const;
    const std::u16string* ReasonOf(uint32_t id) const;
    QString DifferenceText(uint32_t id) const;
    // The number the rows are sorted by on column (not for the entry column, whose order is the ids').
    uint64_t SortKey(uint32_t id, int column) const;
    // Whether id a comes before id b in the current order.
    bool Before(uint32_t a, uint32_t b) const;
    bool Keeps(uint32_t id) const { return kept_[id] != 0; }
    // Marks the rows from firstId on that the filter keeps.
    void FilterFrom(uint32_t firstId);
    void SortIds(std::vector<uint32_t>& ids) const;
    void RebuildShown();

    QString names_[2];
    std::shared_ptr<const TwbBSAFile> archives_[2];
    std::vector<TCompareRow> rows_;                            // by id
    std::vector<std::pair<uint32_t, std::u16string>> reasons_; // by id, ascending
    size_t counts_[5] = {};
    std::u16string filterText_;
    std::vector<uint8_t> kept_;   // by id: the filter keeps it
    std::vector<uint32_t> order_; // every id, in the current order
    std::vector<uint32_t> shown_; // the kept ids, in the current order
    int sortColumn_ = kEntryColumn;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};
