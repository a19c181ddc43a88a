#pragma once
// One punch as the row writers write it into PUNCH, shared by the writers
// that run a statement a punch and the pairing that keeps its rows in memory
// and writes each changed row once.
#include "component/Database.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <array>
#include <cstdint>
#include <optional>

namespace hx {

enum class Half { In, Out };

// The punch of an IMPORT row, as the writers need it.
struct Punch {
    int32_t employee = 0;
    double date = 0;
    double time = 0;
    QVariant punchType, excused, overide, deptName, clockNumber;
    bool edited = false;
    std::optional<double> dataFld, task;
};

// The punch of the IMPORT row the recordset is on, for the half it fills.
// Raises "Invalid use of Null" when a value it cannot be written without is
// missing; sets step to "Get datafield" before the carried values are read.
Punch readPunch(const Recordset &rs, Half half, QString &step);
// The IMPORT columns readPunch reads.
const QStringList &readPunchColumns();

// One write of a punch to a row: a new row, or a half of an existing one.
struct PunchWrite {
    Half half = Half::In;
    bool insert = false;
    Punch punch;
};

// What a row's writes, in order, leave in the columns they set (an insert
// then an update, or up to two updates), and then the hours saved for it.
constexpr int kRowWriteColumns = 30;
struct RowWrite {
    uint32_t columns = 0; // a bit a column, in rowWriteColumnName's order
    std::array<QVariant, kRowWriteColumns> values;
    void set(int column, QVariant value);
};
const char *rowWriteColumnName(int column);
void addPunchWrites(const Database &db, const PunchWrite *writes, int count, RowWrite &w);
// The recalculation's saved values, in the order of recalculationSaveColumns().
void addSavedHours(const QVariantList &save, RowWrite &w);
// INSERT of `rows` rows that all set `columns`, or UPDATE of one by its ID
// (the last value). The texts are few and constant, so their statements are
// reused.
const QString &rowWriteSql(bool insert, uint32_t columns, int rows);
void appendRowWriteValues(const RowWrite &w, QVariantList &params);

} // namespace hx
