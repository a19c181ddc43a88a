#include "import/PollLogListModel.h"

#include <algorithm>
#include <numeric>

namespace hx {

PollLogListModel::PollLogListModel(QObject *parent) : QAbstractTableModel(parent) {}

QString PollLogListModel::columnKey(int column) {
    switch (column) {
    case DateColumn:
        return QStringLiteral("DATE");
    case NameColumn:
        return QStringLiteral("NAME");
    case PunchesColumn:
        return QStringLiteral("PUNCHES");
    default:
        return QString();
    }
}

void PollLogListModel::refill(const PollLogList &list) {
    beginResetModel();
    m_rows = list.rows();
    endResetModel();
}

void PollLogListModel::sortNewestFirst() {
    sort(DateColumn, Qt::DescendingOrder);
}

void PollLogListModel::headerClicked(int column) {
    if (column < 0 || column >= ColumnCount) return;
    const Qt::SortOrder order = column != m_sortColumn              ? Qt::AscendingOrder
                                : m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                    : Qt::AscendingOrder;
    sort(column, order);
}

int PollLogListModel::rowOfFile(const QString &fileName) const {
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].fileName == fileName) return int(i);
    return -1;
}

int PollLogListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int PollLogListModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString PollLogListModel::text(const PollLogRow &row, int column) const {
    switch (column) {
    case DateColumn:
        return row.pollDate;
    case NameColumn:
        return row.clockName;
    case PunchesColumn:
        return QString::number(row.approximatePunches);
    default:
        return QString();
    }
}

QString PollLogListModel::sortKey(const PollLogRow &row, int column) const {
    switch (column) {
    case DateColumn:
        return strDateSortKey(row.pollDate);
    case PunchesColumn:
        return strNumberSortKey(text(row, column));
    default:
        return text(row, column);
    }
}

QVariant PollLogListModel::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const PollLogRow &row = m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return text(row, index.column());
    case Qt::ToolTipRole:
        return row.fileName;
    case Qt::TextAlignmentRole:
        return index.column() == PunchesColumn ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                                               : QVariant(int(Qt::AlignLeft | Qt::AlignVCenter));
    case FileNameRole:
        return row.fileName;
    case PictureRole:
        if (index.column() != DateColumn) return {};
        return row.approximatePunches < 1 ? QStringLiteral("POLL_LOG_BAD") : QStringLiteral("POLL_LOG_GOOD");
    case SortKeyRole:
        return sortKey(row, index.column());
    default:
        return {};
    }
}

QVariant PollLogListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) return {};
    if (role == Qt::DisplayRole) {
        static const char *const kHeadings[] = {"Poll Date", "Clock Name", "Approx. Punches"};
        return QString::fromLatin1(kHeadings[section]);
    }
    if (role == Qt::TextAlignmentRole)
        return section == PunchesColumn ? int(Qt::AlignRight | Qt::AlignVCenter)
                                        : int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void PollLogListModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= ColumnCount) return;
    m_sortColumn = column;
    m_sortOrder = order;

    // Keys are worked out once; rows with equal keys keep their order.
    std::vector<QString> keys(m_rows.size());
    for (size_t i = 0; i < m_rows.size(); ++i)
        keys[i] = sortKey(m_rows[i], column);
    const bool byText = column == NameColumn;
    std::vector<int> order_(m_rows.size());
    std::iota(order_.begin(), order_.end(), 0);
    std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
        const int c = byText ? QString::compare(keys[size_t(a)], keys[size_t(b)], Qt::CaseInsensitive)
                             : keys[size_t(a)].compare(keys[size_t(b)]);
        return order == Qt::AscendingOrder ? c < 0 : c > 0;
    });

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(m_rows.size());
    std::vector<PollLogRow> sorted;
    sorted.reserve(m_rows.size());
    for (size_t i = 0; i < order_.size(); ++i) {
        newRowOf[size_t(order_[i])] = int(i);
        sorted.push_back(std::move(m_rows[size_t(order_[i])]));
    }
    m_rows = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &i : before)
        after << index(newRowOf[size_t(i.row())], i.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace hx
