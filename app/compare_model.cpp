#include "app/compare_model.h"

#include <QLocale>
#include <algorithm>
#include <numeric>

#include "app/browser_model.h"
#include "app/qt_text.h"
#include "archive/entry_string.h"
#include "extract/entry_filter.h"
#include "platform/locale.h"

namespace {

// New rows that fall into more runs of shown rows than this are shown through a model reset.
constexpr size_t kMostInsertRuns = 8;

} // namespace

TCompareModel::TCompareModel(QString firstName, QString secondName, QObject* parent)
    : QAbstractTableModel(parent), names_{std::move(firstName), std::move(secondName)} {}

int TCompareModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int TCompareModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

void TCompareModel::SetArchives(std::shared_ptr<const TwbBSAFile> first,
                                std::shared_ptr<const TwbBSAFile> second) {
    archives_[0] = std::move(first);
    archives_[1] = std::move(second);
}

std::u16string_view TCompareModel::TextOf(uint32_t id, std::u16string& text) const {
    const TCompareRow& row = rows_[id];
    const int side = row.entries[0] != TCompareRow::kNoEntry ? 0 : 1;
    const TBsaIndex& index = archives_[side]->Index();
    // As TwbBSAFile::EntryString makes it, without a string of its own for the file name when it is ASCII
    // (as nearly every name is): the filter makes every row's.
    text.assign(index.FolderOf(row.entries[side]).Name);
    text += kEntryDelimiter;
    const std::string_view name = index.FileNameBytes(row.entries[side]);
    if (std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        text.append(name.begin(), name.end());
    } else {
        text += platform::AnsiToUnicode(name);
    }
    return text;
}

std::u16string TCompareModel::EntryText(int modelRow) const {
    std::u16string text;
    TextOf(Id(modelRow), text);
    return text;
}

const std::u16string* TCompareModel::ReasonOf(uint32_t id) const {
    const auto found = std::lower_bound(reasons_.begin(), reasons_.end(), id,
                                        [](const auto& reason, uint32_t at) { return reason.first < at; });
    return found != reasons_.end() && found->first == id ? &found->second : nullptr;
}

QString TCompareModel::DifferenceText(uint32_t id) const {
    switch (rows_[id].kind) {
    case TCompareKind::OnlyInFirst:
        return QStringLiteral("only in %1").arg(names_[0]);
    case TCompareKind::OnlyInSecond:
        return QStringLiteral("only in %1").arg(names_[1]);
    case TCompareKind::Different:
        return QStringLiteral("different bytes");
    case TCompareKind::UnreadableInFirst:
    case TCompareKind::UnreadableInSecond: {
        const std::u16string* reason = ReasonOf(id);
        return QStringLiteral("unreadable in %1: %2")
            .arg(names_[rows_[id].kind == TCompareKind::UnreadableInFirst ? 0 : 1],
                 reason != nullptr ? ToQString(*reason) : QString());
    }
    }
    return {};
}

QVariant TCompareModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(shown_.size())) {
        return {};
    }
    const uint32_t id = Id(index.row());
    const TCompareRow& row = rows_[id];
    const int column = index.column();
    if (role == Qt::DisplayRole || (role == Qt::ToolTipRole && column == kDifferenceColumn)) {
        switch (column) {
        case kEntryColumn: {
            std::u16string text;
            TextOf(id, text);
            return ToQString(text);
        }
        case kDifferenceColumn:
            return DifferenceText(id);
        case kFirstSizeColumn:
        case kSecondSizeColumn: {
            const int side = column - kFirstSizeColumn;
            return row.entries[side] == TCompareRow::kNoEntry ? QString()
                                                              : SizeCellText(row.sizes[side], true);
        }
        default:
            return {};
        }
    }
    if (role == Qt::TextAlignmentRole && (column == kFirstSizeColumn || column == kSecondSizeColumn)) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    return {};
}

QVariant TCompareModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
    case kEntryColumn:
        return QStringLiteral("Entry");
    case kDifferenceColumn:
        return QStringLiteral("Difference");
    case kFirstSizeColumn:
        return QStringLiteral("Size in %1").arg(names_[0]);
    case kSecondSizeColumn:
        return QStringLiteral("Size in %1").arg(names_[1]);
    default:
        return {};
    }
}

uint64_t TCompareModel::SortKey(uint32_t id, int column) const {
    const TCompareRow& row = rows_[id];
    if (column == kDifferenceColumn) {
        return static_cast<uint64_t>(row.kind);
    }
    // Sizes: an archive without the entry first, then an unknown size, then the sizes.
    const int side = column - kFirstSizeColumn;
    if (row.entries[side] == TCompareRow::kNoEntry) {
        return 0;
    }
    return row.sizes[side] == TCompareRow::kSizeUnknown ? 1 : uint64_t{row.sizes[side]} + 2;
}

bool TCompareModel::Before(uint32_t a, uint32_t b) const {
    if (sortColumn_ != kEntryColumn) {
        const uint64_t keyA = SortKey(a, sortColumn_);
        const uint64_t keyB = SortKey(b, sortColumn_);
        if (keyA != keyB) {
            return sortOrder_ == Qt::AscendingOrder ? keyA < keyB : keyA > keyB;
        }
        return a < b;
    }
    return sortOrder_ == Qt::AscendingOrder ? a < b : a > b;
}

void TCompareModel::SortIds(std::vector<uint32_t>& ids) const {
    if (sortColumn_ == kEntryColumn) {
        // Ids are handed in ascending order: path order already.
        if (sortOrder_ == Qt::DescendingOrder) {
            std::reverse(ids.begin(), ids.end());
        }
        return;
    }
    // Each key worked out once; descending turns the keys over, so that ties stay in path order as Before
    // has them.
    struct TKeyed {
        uint64_t key;
        uint32_t id;
    };
    std::vector<TKeyed> keyed(ids.size());
    for (size_t i = 0; i < ids.size(); ++i) {
        const uint64_t key = SortKey(ids[i], sortColumn_);
        keyed[i] = {sortOrder_ == Qt::AscendingOrder ? key : ~key, ids[i]};
    }
    std::sort(keyed.begin(), keyed.end(),
              [](const TKeyed& a, const TKeyed& b) { return a.key != b.key ? a.key < b.key : a.id < b.id; });
    for (size_t i = 0; i < ids.size(); ++i) {
        ids[i] = keyed[i].id;
    }
}

void TCompareModel::FilterFrom(uint32_t firstId) {
    kept_.resize(rows_.size());
    const TEntryFilter filter(filterText_);
    std::u16string text;
    for (uint32_t id = firstId; id < rows_.size(); ++id) {
        kept_[id] = filter.KeepsAll() || filter.Keeps(TextOf(id, text)) ? 1 : 0;
    }
}

void TCompareModel::RebuildShown() {
    shown_.clear();
    for (const uint32_t id : order_) {
        if (Keeps(id)) {
            shown_.push_back(id);
        }
    }
}

int TCompareModel::ModelRow(uint32_t id) const {
    // shown_ is in the current order, which Before gives.
    const auto found = std::lower_bound(shown_.begin(), shown_.end(), id,
                                        [this](uint32_t a, uint32_t b) { return Before(a, b); });
    return found != shown_.end() && *found == id ? static_cast<int>(found - shown_.begin()) : -1;
}

void TCompareModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= kColumnCount) {
        return;
    }
    beginResetModel();
    sortColumn_ = column;
    sortOrder_ = order;
    order_.resize(rows_.size());
    std::iota(order_.begin(), order_.end(), 0u);
    SortIds(order_);
    RebuildShown();
    endResetModel();
}

void TCompareModel::SetFilter(const std::u16string& text) {
    beginResetModel();
    filterText_ = text;
    FilterFrom(0);
    RebuildShown();
    endResetModel();
}

void TCompareModel::Append(TCompareBatch batch) {
    if (batch.rows.empty()) {
        return;
    }
    const auto firstId = static_cast<uint32_t>(rows_.size());
    for (const TCompareRow& row : batch.rows) {
        ++counts_[static_cast<size_t>(row.kind)];
    }
    rows_.insert(rows_.end(), batch.rows.begin(), batch.rows.end());
    for (auto& [at, reason] : batch.reasons) {
        reasons_.emplace_back(firstId + at, std::move(reason));
    }
    FilterFrom(firstId);
    std::vector<uint32_t> added(batch.rows.size());
    std::iota(added.begin(), added.end(), firstId);
    SortIds(added);
    std::vector<uint32_t> merged(order_.size() + added.size());
    std::merge(order_.begin(), order_.end(), added.begin(), added.end(), merged.begin(),
               [this](uint32_t a, uint32_t b) { return Before(a, b); });
    order_ = std::move(merged);

    // Where the kept new rows go among the rows shown: runs of new rows, each before an old shown row.
    struct TRun {
        size_t at;                 // the place among the old shown rows
        std::vector<uint32_t> ids; // in order
    };
    std::vector<TRun> runs;
    size_t at = 0;
    for (const uint32_t id : added) {
        if (!Keeps(id)) {
            continue;
        }
        while (at < shown_.size() && Before(shown_[at], id)) {
            ++at;
        }
        if (runs.empty() || runs.back().at != at) {
            runs.push_back({at, {}});
        }
        runs.back().ids.push_back(id);
    }
    if (runs.size() > kMostInsertRuns) {
        beginResetModel();
        RebuildShown();
        endResetModel();
        return;
    }
    // From the last run back, so that the places of the earlier ones stay as they are.
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        const int first = static_cast<int>(run->at);
        beginInsertRows(QModelIndex(), first, first + static_cast<int>(run->ids.size()) - 1);
        shown_.insert(shown_.begin() + static_cast<ptrdiff_t>(run->at), run->ids.begin(), run->ids.end());
        endInsertRows();
    }
}
