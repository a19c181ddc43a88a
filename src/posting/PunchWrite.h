#pragma once
// One punch as the row writers write it into PUNCH, shared by the writers
// that run a statement a punch and the pairing that keeps its rows in memory
// and writes each changed row once.
#include "component/Database.h"

#include <QString>
#include <QVariant>
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

// One write of a punch to a row: a new row, or a half of an existing one.
struct PunchWrite {
    Half half = Half::In;
    bool insert = false;
    Punch punch;
};

// The one statement that leaves a row as its writes, run in order, would
// (an insert then an update, or up to two updates); `id` is the row's ID for
// updates. The texts are few and constant, so their statements are reused.
void composePunchWrite(const Database &db, const PunchWrite *writes, int count, int64_t id, QString &sql,
                       QVariantList &params);

} // namespace hx
