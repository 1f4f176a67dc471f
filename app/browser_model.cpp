#include "app/browser_model.h"

#include <QLocale>
#include <QPalette>
#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <utility>

#include "app/image_list.h"
#include "app/qt_text.h"
#include "data_folder/data_folder.h"

namespace {

std::u16string_view SortKey(const TNodeDataBrw& node, int column) {
    switch (column) {
    case TBrowserModel::kIconColumn:
        return node.Ext();
    case TBrowserModel::kPathColumn:
        return node.Folder();
    default:
        return node.Name();
    }
}

// A key with its first eight code units, mapped as the comparison maps them, packed so that comparing two
// packs compares those units (a missing unit counts as 0, below every unit but U+0000, which the full
// comparison then settles). Most comparisons end in the packs and never touch the strings.
constexpr size_t kPrefixUnits = 8;

struct RankItem {
    uint64_t prefix[2];
    std::u16string_view key;
    int32_t group;
};

RankItem MakeRankItem(std::u16string_view key, int32_t group) {
    RankItem item{{0, 0}, key, group};
    for (size_t i = 0; i < kPrefixUnits; ++i) {
        const char16_t unit = i < key.size() ? key[i] : u'\0';
        uint64_t& pack = item.prefix[i / 4];
        pack = (pack << 16) | static_cast<uint64_t>((unit >= u'a' && unit <= u'z') ? unit - 32 : unit);
    }
    return item;
}

// CompareSortKeys of two items, skipping the units the prefixes already showed equal.
int CompareRankItems(const RankItem& a, const RankItem& b) {
    for (int i = 0; i < 2; ++i) {
        if (a.prefix[i] != b.prefix[i]) {
            return a.prefix[i] < b.prefix[i] ? -1 : 1;
        }
    }
    const size_t known = std::min({kPrefixUnits, a.key.size(), b.key.size()});
    return CompareSortKeys(a.key.substr(known), b.key.substr(known));
}

// The sort keys of Size and Stored: numbers, with what is not known after everything known.
constexpr uint64_t kUnknownKey = UINT64_MAX;
// Stored: the stored bytes per decoded byte, scaled; raw entries after every compressed one.
constexpr uint64_t kRatioScale = 1000000;
constexpr uint64_t kRawKey = uint64_t{1} << 62;
constexpr uint64_t kNothingDecodedKey = uint64_t{1} << 61;

uint64_t NumberKey(const TBrowserModel::TRowStorage& storage, bool sizesKnown, int column) {
    if (!storage.entry) {
        return kUnknownKey;
    }
    if (column == TBrowserModel::kStoredColumn && !storage.compressed) {
        return kRawKey;
    }
    if (!sizesKnown || storage.size == TBrowserModel::kSizeUnknown) {
        return kUnknownKey;
    }
    if (column == TBrowserModel::kSizeColumn) {
        return storage.size;
    }
    return storage.size == 0 ? kNothingDecodedKey : uint64_t{storage.stored} * kRatioScale / storage.size;
}

// Gives each key its rank among the distinct keys (rankOf, by place in keys) and the number of ranks, for
// keys of any units.
void RankAnyKeys(const std::vector<std::u16string_view>& keys, std::vector<int32_t>& rankOf,
                 int32_t& rankCount) {
    std::vector<RankItem> items;
    items.reserve(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        items.push_back(MakeRankItem(keys[i], static_cast<int32_t>(i)));
    }
    std::sort(items.begin(), items.end(),
              [](const RankItem& a, const RankItem& b) { return CompareRankItems(a, b) < 0; });
    int32_t rank = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0 && CompareRankItems(items[i - 1], items[i]) != 0) {
            ++rank;
        }
        rankOf[static_cast<size_t>(items[i].group)] = rank;
    }
    rankCount = rank + 1;
}

// The same for keys that are all ASCII, as nearly all are: each key folded once ('a'..'z' as 'A'..'Z') into
// one block of bytes, its first 16 bytes packed so that comparing two packs compares them. Most comparisons
// end in the packs; the others compare the rest of the two keys in that block, without the folding. False,
// having changed nothing, when a key holds a unit above U+007F.
struct AsciiRankItem {
    uint64_t prefix[2];
    uint32_t at;     // where the folded key begins in the block
    uint32_t length; // its bytes
    int32_t group;   // its place in keys
};

bool RankAsciiKeys(const std::vector<std::u16string_view>& keys, std::vector<int32_t>& rankOf,
                   int32_t& rankCount) {
    constexpr size_t kPrefixBytes = 16;
    size_t total = 0;
    for (const std::u16string_view key : keys) {
        total += key.size();
    }
    if (total > UINT32_MAX) {
        return false;
    }
    std::string block;
    block.reserve(total);
    std::vector<AsciiRankItem> items;
    items.reserve(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        AsciiRankItem item{{0, 0},
                           static_cast<uint32_t>(block.size()),
                           static_cast<uint32_t>(keys[i].size()),
                           static_cast<int32_t>(i)};
        for (size_t unit = 0; unit < keys[i].size(); ++unit) {
            const char16_t c = keys[i][unit];
            if (c > 0x7F) {
                return false;
            }
            const auto folded = static_cast<uint8_t>((c >= u'a' && c <= u'z') ? c - 32 : c);
            block.push_back(static_cast<char>(folded));
            if (unit < kPrefixBytes) {
                item.prefix[unit / 8] |= uint64_t{folded} << (8 * (7 - unit % 8));
            }
        }
        items.push_back(item);
    }
    const char* bytes = block.data();
    // Negative, zero or positive, as CompareSortKeys of the two keys.
    const auto compare = [bytes](const AsciiRankItem& a, const AsciiRankItem& b) {
        for (int i = 0; i < 2; ++i) {
            if (a.prefix[i] != b.prefix[i]) {
                return a.prefix[i] < b.prefix[i] ? -1 : 1;
            }
        }
        const uint32_t common = std::min(a.length, b.length);
        if (common > kPrefixBytes) {
            const int rest =
                std::memcmp(bytes + a.at + kPrefixBytes, bytes + b.at + kPrefixBytes, common - kPrefixBytes);
            if (rest != 0) {
                return rest;
            }
        }
        return a.length < b.length ? -1 : (a.length > b.length ? 1 : 0);
    };
    std::sort(items.begin(), items.end(),
              [&compare](const AsciiRankItem& a, const AsciiRankItem& b) { return compare(a, b) < 0; });
    int32_t rank = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0 && compare(items[i - 1], items[i]) != 0) {
            ++rank;
        }
        rankOf[static_cast<size_t>(items[i].group)] = rank;
    }
    rankCount = rank + 1;
    return true;
}

} // namespace

QString SizeCellText(uint32_t size, bool sizesKnown) {
    if (!sizesKnown) {
        return QStringLiteral("\u2026");
    }
    if (size == TBrowserModel::kSizeUnknown) {
        return QStringLiteral("?");
    }
    if (size == 1) {
        return QStringLiteral("1 byte"); // Qt says "1 bytes"
    }
    return QLocale().formattedDataSize(size, 1, QLocale::DataSizeIecFormat);
}

QString StoredCellText(const TBrowserModel::TRowStorage& storage, bool sizesKnown) {
    if (!storage.compressed) {
        return QStringLiteral("raw");
    }
    if (!sizesKnown) {
        return QStringLiteral("\u2026");
    }
    if (storage.size == TBrowserModel::kSizeUnknown) {
        return QStringLiteral("?");
    }
    if (storage.size == 0) {
        return QStringLiteral("\u2013"); // nothing to compare with
    }
    const uint64_t percent = (uint64_t{storage.stored} * 100 + storage.size / 2) / storage.size;
    return QStringLiteral("%1%").arg(percent);
}

TBrowserModel::TBrowserModel(const TImageList& images, QObject* parent)
    : QAbstractTableModel(parent), images_(images) {}

int TBrowserModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(visibleRows_.size());
}

int TBrowserModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TBrowserModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    // Asked for each cell as it is drawn: nothing is kept per cell.
    const int listRow = ListRow(index.row());
    const TNodeDataBrw& node = Node(listRow);
    const int column = index.column();
    if (dataFolder_ != nullptr && node.entry != kNoEntry) {
        const QVariant value = DataFolderData(node, column, role);
        if (value.isValid() || column == kArchiveColumn) {
            return value;
        }
    }
    if (column == kSizeColumn || column == kStoredColumn) {
        const TRowStorage& storage = Storage(listRow);
        if (!storage.entry) {
            return {};
        }
        switch (role) {
        case Qt::DisplayRole:
            return column == kSizeColumn ? SizeCellText(storage.size, sizesKnown_)
                                         : StoredCellText(storage, sizesKnown_);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        case Qt::ToolTipRole:
            // The exact counts behind the rounded cell.
            if (!sizesKnown_ || storage.size == kSizeUnknown) {
                return column == kSizeColumn || storage.compressed
                           ? QVariant(sizesKnown_ ? QStringLiteral("Size unknown: the entry is damaged")
                                                  : QStringLiteral("Reading the sizes\u2026"))
                           : QVariant(
                                 QStringLiteral("%1 bytes stored").arg(QLocale().toString(storage.stored)));
            }
            return QStringLiteral("%1 bytes, %2 bytes stored%3")
                .arg(QLocale().toString(storage.size), QLocale().toString(storage.stored),
                     storage.compressed ? QString() : QStringLiteral(" (raw)"));
        default:
            return {};
        }
    }
    switch (role) {
    case Qt::DisplayRole:
        return column == kIconColumn ? QVariant() : QVariant(ToQString(BrowserTreeGetText(node, column)));
    case Qt::DecorationRole:
    case kIconIndexRole: {
        const int icon = BrowserTreeGetImageIndex(node, column);
        if (icon < 0) {
            return {};
        }
        return role == kIconIndexRole ? QVariant(icon) : QVariant(images_.Icon(icon));
    }
    default:
        return {};
    }
}

QVariant TBrowserModel::DataFolderData(const TNodeDataBrw& node, int column, int role) const {
    const TOverrideTable& table = dataFolder_->table;
    const TOverrideTable::TRowIndex row = node.entry;
    switch (role) {
    case Qt::DisplayRole:
        return column == kArchiveColumn ? QVariant(ToQString(dataFolder_->SourceOf(row).name)) : QVariant();
    case Qt::ForegroundRole:
        // What the game does not see is dimmed: overridden rows and those of archives left out.
        return table.State(row) == TRowState::Winner
                   ? QVariant()
                   : QVariant(QPalette().color(QPalette::Disabled, QPalette::Text));
    case Qt::ToolTipRole: {
        if (column == kSizeColumn || column == kStoredColumn) {
            return {};
        }
        const QString archive = ToQString(dataFolder_->SourceOf(row).name);
        switch (table.State(row)) {
        case TRowState::Winner: {
            const auto [first, end] = table.PathRows(row);
            int overridden = 0;
            for (TOverrideTable::TRowIndex other = first; other < end; ++other) {
                overridden += table.State(other) == TRowState::Overridden ? 1 : 0;
            }
            return overridden == 0 ? QStringLiteral("From %1").arg(archive)
                                   : QStringLiteral("From %1, which overrides %2 other archive%3")
                                         .arg(archive)
                                         .arg(overridden)
                                         .arg(overridden == 1 ? "" : "s");
        }
        case TRowState::Overridden: {
            const std::optional<TOverrideTable::TRowIndex> winner = table.WinnerOf(row);
            return QStringLiteral("From %1, overridden by %2")
                .arg(archive, winner ? ToQString(dataFolder_->SourceOf(*winner).name) : QString());
        }
        case TRowState::Left:
            return QStringLiteral("From %1, which is left out").arg(archive);
        }
        return {};
    }
    default:
        return {};
    }
}

void TBrowserModel::OverridesChanged() {
    if (rowCount() > 0) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1),
                         {Qt::ForegroundRole, Qt::ToolTipRole});
    }
}

QVariant TBrowserModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
    case kPathColumn:
        return QStringLiteral("Path");
    case kFileColumn:
        return QStringLiteral("File");
    case kSizeColumn:
        return QStringLiteral("Size");
    case kStoredColumn:
        return QStringLiteral("Stored");
    case kArchiveColumn:
        return QStringLiteral("Archive");
    default:
        return QString();
    }
}

Qt::ItemFlags TBrowserModel::flags(const QModelIndex& index) const {
    // Rows can be dragged out (the view extracts them for the drop).
    return QAbstractTableModel::flags(index) | (index.isValid() ? Qt::ItemIsDragEnabled : Qt::NoItemFlags);
}

int TBrowserModel::SelectedCount() const {
    return static_cast<int>(std::count(selected_.begin(), selected_.end(), 1));
}

int TBrowserModel::HiddenSelectedCount() const {
    int count = 0;
    for (size_t id = 0; id < selected_.size(); ++id) {
        count += selected_[id] & (visible_[id] ^ 1);
    }
    return count;
}

int TBrowserModel::ModelRow(int listRow) const {
    const auto found = std::lower_bound(visibleRows_.begin(), visibleRows_.end(), listRow);
    return found != visibleRows_.end() && *found == listRow ? static_cast<int>(found - visibleRows_.begin())
                                                            : -1;
}

void TBrowserModel::SetNodes(std::vector<TNodeDataBrw> nodes, std::vector<TRowStorage> storage) {
    beginResetModel();
    nodes_ = std::move(nodes);
    const size_t count = nodes_.size();
    storage_ = std::move(storage);
    storage_.resize(count); // placeholders: no entry
    sizesKnown_ = false;
    order_.resize(count);
    std::iota(order_.begin(), order_.end(), 0);
    selected_.assign(count, 0);
    visible_.assign(count, 1);
    for (int column = 0; column < kColumnCount; ++column) {
        sortRanks_[column].clear();
        sortRankCount_[column] = 0;
    }
    RebuildVisibleRows();
    endResetModel();
}

void TBrowserModel::SetSizes(const std::vector<uint32_t>& sizeOfEntry) {
    for (size_t id = 0; id < nodes_.size(); ++id) {
        const uint32_t entry = nodes_[id].entry;
        if (storage_[id].entry) {
            storage_[id].size = entry < sizeOfEntry.size() ? sizeOfEntry[entry] : kSizeUnknown;
        }
    }
    sizesKnown_ = true;
    for (const int column : {kSizeColumn, kStoredColumn}) {
        sortRanks_[column].clear();
        sortRankCount_[column] = 0;
    }
    if (rowCount() > 0) {
        emit dataChanged(index(0, kSizeColumn), index(rowCount() - 1, kStoredColumn));
    }
}

void TBrowserModel::SetSortState(int column, Qt::SortOrder direction) {
    sortColumn_ = column;
    sortDirection_ = direction;
}

const std::vector<int32_t>& TBrowserModel::SortRanks(int column) {
    std::vector<int32_t>& ranks = sortRanks_[column];
    if (ranks.empty() && !nodes_.empty()) {
        if (column == kSizeColumn || column == kStoredColumn || column == kArchiveColumn) {
            RankNumberKeys(column);
        } else {
            RankTextKeys(column);
        }
    }
    return ranks;
}

uint64_t TBrowserModel::NumberKeyOf(size_t id, int column) const {
    if (column != kArchiveColumn) {
        return NumberKey(storage_[id], sizesKnown_, column);
    }
    // The archives in load order.
    const uint32_t entry = nodes_[id].entry;
    return dataFolder_ == nullptr || entry == kNoEntry ? kUnknownKey
                                                       : dataFolder_->table.Rows()[entry].source;
}

void TBrowserModel::RankNumberKeys(int column) {
    std::vector<std::pair<uint64_t, int32_t>> keys(nodes_.size());
    for (size_t id = 0; id < nodes_.size(); ++id) {
        keys[id] = {NumberKeyOf(id, column), static_cast<int32_t>(id)};
    }
    std::sort(keys.begin(), keys.end());
    std::vector<int32_t>& ranks = sortRanks_[column];
    ranks.resize(nodes_.size());
    int32_t rank = 0;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i > 0 && keys[i].first != keys[i - 1].first) {
            ++rank;
        }
        ranks[static_cast<size_t>(keys[i].second)] = rank;
    }
    sortRankCount_[column] = rank + 1;
}

void TBrowserModel::RankTextKeys(int column) {
    // Rows were filled folder by folder, so runs of equal keys (a folder's entries under "Path") are common:
    // one key stands for each run.
    std::vector<std::u16string_view> keys;
    std::vector<int32_t> runStart;
    for (size_t id = 0; id < nodes_.size(); ++id) {
        const std::u16string_view key = SortKey(nodes_[id], column);
        if (keys.empty() || key != keys.back()) {
            keys.push_back(key);
            runStart.push_back(static_cast<int32_t>(id));
        }
    }
    runStart.push_back(static_cast<int32_t>(nodes_.size()));

    std::vector<int32_t> runRank(keys.size());
    if (!RankAsciiKeys(keys, runRank, sortRankCount_[column])) {
        RankAnyKeys(keys, runRank, sortRankCount_[column]);
    }
    std::vector<int32_t>& ranks = sortRanks_[column];
    ranks.resize(nodes_.size());
    for (size_t run = 0; run + 1 < runStart.size(); ++run) {
        std::fill(ranks.begin() + runStart[run], ranks.begin() + runStart[run + 1], runRank[run]);
    }
}

int TBrowserModel::SortNodes(int column, Qt::SortOrder direction, int trackedListRow) {
    if (column < 0 || column >= kColumnCount || nodes_.empty()) {
        return trackedListRow;
    }
    // A counting sort by rank, walking the rows in their current order: rows of equal rank keep that order,
    // in both directions.
    const std::vector<int32_t>& ranks = SortRanks(column);
    const int32_t rankCount = sortRankCount_[column];
    const auto bucket = [&](int32_t id) {
        const int32_t rank = ranks[static_cast<size_t>(id)];
        return static_cast<size_t>(direction == Qt::AscendingOrder ? rank : rankCount - 1 - rank);
    };
    std::vector<int32_t> next(static_cast<size_t>(rankCount) + 1, 0);
    for (int32_t id : order_) {
        ++next[bucket(id) + 1];
    }
    std::partial_sum(next.begin(), next.end(), next.begin());
    const int32_t trackedId = trackedListRow >= 0 ? order_[static_cast<size_t>(trackedListRow)] : -1;
    int trackedNewRow = -1;
    std::vector<int32_t> sorted(order_.size());
    for (int32_t id : order_) {
        const int32_t row = next[bucket(id)]++;
        sorted[static_cast<size_t>(row)] = id;
        if (id == trackedId) {
            trackedNewRow = row;
        }
    }

    beginResetModel();
    order_ = std::move(sorted);
    RebuildVisibleRows();
    endResetModel();
    return trackedNewRow;
}

void TBrowserModel::Filter(const std::function<bool(std::u16string_view)>& keeps,
                           const std::function<bool(uint32_t entry)>& rowKeeps) {
    beginResetModel();
    for (size_t id = 0; id < nodes_.size(); ++id) {
        visible_[id] =
            (!rowKeeps || rowKeeps(nodes_[id].entry)) && (!keeps || keeps(nodes_[id].filename)) ? 1 : 0;
    }
    RebuildVisibleRows();
    endResetModel();
}

void TBrowserModel::UpdateSelection(const QItemSelection& selected, const QItemSelection& deselected) {
    SetRangeSelected(deselected, false);
    SetRangeSelected(selected, true);
}

void TBrowserModel::DeselectHiddenRows() {
    for (size_t id = 0; id < selected_.size(); ++id) {
        selected_[id] &= visible_[id];
    }
}

QItemSelection TBrowserModel::VisibleSelection() const {
    QItemSelection selection;
    const int count = rowCount();
    int runStart = -1;
    for (int modelRow = 0; modelRow <= count; ++modelRow) {
        const bool selected = modelRow < count && Selected(ListRow(modelRow));
        if (selected && runStart < 0) {
            runStart = modelRow;
        } else if (!selected && runStart >= 0) {
            selection.append(QItemSelectionRange(index(runStart, 0), index(modelRow - 1, kColumnCount - 1)));
            runStart = -1;
        }
    }
    return selection;
}

void TBrowserModel::RebuildVisibleRows() {
    visibleRows_.clear();
    visibleRows_.reserve(order_.size());
    for (size_t row = 0; row < order_.size(); ++row) {
        if (visible_[static_cast<size_t>(order_[row])] != 0) {
            visibleRows_.push_back(static_cast<int32_t>(row));
        }
    }
}

void TBrowserModel::SetRangeSelected(const QItemSelection& ranges, bool selected) {
    for (const QItemSelectionRange& range : ranges) {
        if (!range.isValid() || range.model() != this) {
            continue;
        }
        const int bottom = std::min(range.bottom(), rowCount() - 1);
        for (int modelRow = std::max(range.top(), 0); modelRow <= bottom; ++modelRow) {
            SetSelected(ListRow(modelRow), selected);
        }
    }
}
