#pragma once
// The IMPORT rows of the import under way.
//
// An import empties IMPORT before it commits, so no one outside its unit of
// work ever sees the rows. On a table exactly as the schema makes it (no
// trigger, constraint, column or index of a site's own) a row reads back as
// it was bound, and the rows can stay in memory: the table and everything
// else end as they would, without every punch written to the file and read
// back in four orders. On any other table the rows go into it, and every
// caller runs its own statement on the table instead.
#include "component/Database.h"

#include <QHash>
#include <deque>
#include <unordered_map>
#include <vector>

namespace hx {

// The orders of the walks: (CLOCK ID or EMPLOYEE ID), IN DATE, IN TIME,
// each Null first, then ID.
enum class ImportOrder { Badge, Employee };

class ImportRows {
public:
    // The rows of the import under way when they are kept here; nullptr
    // when they are in the table.
    static ImportRows *active();

    // The row the IMPORT insert of the reader binds these values for: the
    // columns after ID, in the table's order.
    void insert(const QVariantList &values);
    // The live rows in the order, with the columns named (every column when
    // none), read as the walk goes: a row changed or removed before the walk
    // reaches it is read as it is then.
    Recordset walk(const QStringList &columns, ImportOrder order);
    void remove(qint64 id);
    // Sets the columns named to the values, as an UPDATE binding them would.
    void update(qint64 id, const QStringList &columns, const QVariantList &values);

    qint64 count() const { return m_live; }
    qint64 distinctEmployees() const;
    // MIN("IN DATE"): Null when every date is.
    QVariant firstDay() const;
    // The live rows of each employee (the Null employee left out).
    std::unordered_map<qint64, qint64> rowsPerEmployee() const;

    // DELETE FROM IMPORT, with the key sequence where the inserts would have
    // left it.
    void clear(Database &db);

private:
    friend class ImportRowsScope;
    class Walk;
    explicit ImportRows(qint64 lastId) : m_sequence(lastId), m_lastId(lastId) {}

    struct Row {
        qint64 id = 0;
        int32_t ints[10]{};
        double reals[2]{};
        uint32_t moment[2]{}; // IN DATE and IN TIME: their texts' places in m_texts
        QString deptName;
        uint16_t nulls = 0; // bit c: column c is Null
        bool removed = false;
    };
    Row &row(qint64 id);
    void set(Row &r, int column, const QVariant &v);
    QVariant value(const Row &r, int column) const;
    const std::vector<uint32_t> &ordered(ImportOrder order);

    std::deque<Row> m_rows; // by ID: the IDs follow each other from the first
    qint64 m_live = 0;
    qint64 m_sequence, m_lastId;
    // The dates and times met, each kept once.
    std::vector<QString> m_texts;
    QHash<QString, uint32_t> m_textPlaces;
    uint32_t m_lastPlace[2]{UINT32_MAX, UINT32_MAX};
    std::vector<uint32_t> m_order[2];
};

// The callers' statements on IMPORT, or the same on the rows kept in memory.
// `sql` walks IMPORT in the order, selecting the columns (every column when
// none).
Recordset openImportWalk(Database &db, const QString &sql, const QStringList &columns, ImportOrder order);
// `sql` deletes the row of the ID it binds.
void deleteImportRow(Database &db, const QString &sql, const QVariant &id);
// `sql` sets the columns to the first values of `params` in the row of the
// ID that ends them.
void updateImportRow(Database &db, const QString &sql, const QStringList &columns,
                     const QVariantList &params);

// Keeps the IMPORT rows of the import it spans in memory when the table
// allows it; the unit of work must be open already.
class ImportRowsScope {
public:
    explicit ImportRowsScope(Database &db);
    ~ImportRowsScope();
    ImportRowsScope(const ImportRowsScope &) = delete;
    ImportRowsScope &operator=(const ImportRowsScope &) = delete;

private:
    std::unique_ptr<ImportRows> m_rows;
};

} // namespace hx
