#pragma once
// The visible poll log list as a Qt item model: three columns, one row per
// file of the list (after its filter), keyed by file name. Header clicks sort
// as the list does: a date column and a number column through their sort
// keys, any other column by its text; a second click on a column reverses.
#include "import/PollLogList.h"

#include <QAbstractTableModel>

namespace hx {

class PollLogListModel : public QAbstractTableModel {
public:
    enum Column { DateColumn = 0, NameColumn = 1, PunchesColumn = 2, ColumnCount = 3 };
    enum Role {
        FileNameRole = Qt::UserRole + 1, // the row's key
        PictureRole,                     // "POLL_LOG_GOOD" or "POLL_LOG_BAD"
        SortKeyRole,                     // the key the column sorts by
    };

    explicit PollLogListModel(QObject *parent = nullptr);

    // "DATE", "NAME", "PUNCHES".
    static QString columnKey(int column);

    // Rebuilds the rows from the list, in its order (its filter applied).
    void refill(const PollLogList &list);
    // The order after a fresh build: newest poll on top.
    void sortNewestFirst();
    // A click on a column heading.
    void headerClicked(int column);
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    const PollLogRow &rowAt(int row) const { return m_rows.at(size_t(row)); }
    // The row of a file, -1 when it is not shown.
    int rowOfFile(const QString &fileName) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    QString text(const PollLogRow &row, int column) const;
    QString sortKey(const PollLogRow &row, int column) const;

    std::vector<PollLogRow> m_rows;
    int m_sortColumn = DateColumn;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

} // namespace hx
