#include "component/DateTime.h"
#include "component/Numbers.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "messages/LogFiles.h"
#include "import/ImportSummary.h"
#include "posting/Posting.h"
#include "posting/PunchWrite.h"
#include "rules/clsTCrules.h"

#include <array>
#include <unordered_map>

namespace hx {

namespace {

// Which optional parts a statement carries. The statement texts are built
// once per combination and stay constant, so the prepared statements are reused.
struct Parts {
    bool dataFld = false;
    bool task = false;
    bool edited = false; // updates only: set the edit flags
    int index() const { return (dataFld ? 1 : 0) | (task ? 2 : 0) | (edited ? 4 : 0); }
};

QString insertSql(Half half, Parts p) {
    QStringList cols;
    if (half == Half::In)
        cols << QStringLiteral("\"EMPLOYEE ID\"") << QStringLiteral("\"AdjustedDate\"")
             << QStringLiteral("\"IN DATE\"") << QStringLiteral("\"IN TIME\"")
             << QStringLiteral("\"InPunchType\"") << QStringLiteral("\"InExcused\"")
             << QStringLiteral("\"InOveride\"");
    else
        cols << QStringLiteral("\"EMPLOYEE ID\"") << QStringLiteral("\"IN DATE\"")
             << QStringLiteral("\"ODOW\"") << QStringLiteral("\"OUT TIME\"")
             << QStringLiteral("\"OutPunchType\"") << QStringLiteral("\"OutExcused\"")
             << QStringLiteral("\"OutOveride\"");
    if (p.dataFld) cols << QStringLiteral("\"DATAFLD\"");
    if (p.task) cols << QStringLiteral("\"TASK\"");
    cols << QStringLiteral("\"DEPT NAME\"") << QStringLiteral("\"CLOCK NUMBER\"")
         << QStringLiteral("\"EDIT FLAG\"") << QStringLiteral("\"RecalcHrs\"")
         << QStringLiteral("\"CLOCK EDIT FLAG\"");
    QStringList marks;
    for (int i = 0; i < cols.size(); ++i)
        marks << QStringLiteral("?");
    return QStringLiteral("INSERT INTO \"PUNCH\" (") + cols.join(QStringLiteral(", ")) +
           QStringLiteral(") VALUES (") + marks.join(QStringLiteral(", ")) + QLatin1Char(')');
}

// Filling a half whose raw time was missing also drops that half's working
// time, so that the recalculation takes it from the new punch rather than
// keeping one counted "up to the minute" while the half was open.
QString updateSql(Half half, Parts p) {
    QStringList sets;
    if (half == Half::In)
        sets << QStringLiteral("\"IN DATE\" = ?") << QStringLiteral("\"IN TIME\" = ?")
             << QStringLiteral("\"InPunchType\" = ?") << QStringLiteral("\"InExcused\" = ?")
             << QStringLiteral("\"InOveride\" = ?");
    else
        sets << QStringLiteral("\"ODOW\" = ?") << QStringLiteral("\"OUT TIME\" = ?")
             << QStringLiteral("\"OutPunchType\" = ?") << QStringLiteral("\"OutExcused\" = ?")
             << QStringLiteral("\"OutOveride\" = ?");
    if (p.dataFld) sets << QStringLiteral("\"DATAFLD\" = ?");
    if (p.task) sets << QStringLiteral("\"TASK\" = ?");
    sets << QStringLiteral("\"DEPT NAME\" = ?") << QStringLiteral("\"CLOCK NUMBER\" = ?")
         << QStringLiteral("\"RecalcHrs\" = ?");
    if (p.edited) sets << QStringLiteral("\"EDIT FLAG\" = ?") << QStringLiteral("\"CLOCK EDIT FLAG\" = ?");
    if (half == Half::In)
        sets << QStringLiteral("\"timein\" = CASE WHEN \"IN TIME\" IS NULL THEN NULL ELSE \"timein\" END");
    else
        sets << QStringLiteral("\"timeout\" = CASE WHEN \"OUT TIME\" IS NULL THEN NULL ELSE \"timeout\" END");
    return QStringLiteral("UPDATE \"PUNCH\" SET ") + sets.join(QStringLiteral(", ")) +
           QStringLiteral(" WHERE \"ID\" = ?");
}

const QString &statement(bool insert, Half half, Parts p) {
    static const auto build = [](bool ins, Half h) {
        std::array<QString, 8> texts;
        for (int i = 0; i < 8; ++i) {
            Parts q{(i & 1) != 0, (i & 2) != 0, (i & 4) != 0};
            texts[i] = ins ? insertSql(h, q) : updateSql(h, q);
        }
        return texts;
    };
    static const std::array<QString, 8> newIn = build(true, Half::In);
    static const std::array<QString, 8> newOut = build(true, Half::Out);
    static const std::array<QString, 8> updIn = build(false, Half::In);
    static const std::array<QString, 8> updOut = build(false, Half::Out);
    if (insert) p.edited = false;
    const auto &set = insert ? (half == Half::In ? newIn : newOut) : (half == Half::In ? updIn : updOut);
    return set[p.index()];
}

// A value the punch cannot be written without.
QVariant required(const Recordset &rs, QStringView column) {
    const QVariant v = rs.value(column);
    if (isNullOrEmpty(v)) throw HxError(QStringLiteral("Invalid use of Null"), ErrNo::InvalidUseOfNull);
    return v;
}

QVariant intOrNull(const QVariant &v) {
    return isNullOrEmpty(v) ? QVariant() : QVariant(toInt32(toDouble(v)));
}

bool flag(const QVariant &v) {
    return !isNullOrEmpty(v) && toBoolean(v);
}

// Data field and task travel with the half the rules give them to: the in
// half when collected on the in punch, else the out half.
void readCarried(const Recordset &rs, Half half, Punch &p) {
    if (!flag(rs.value(u"DATAFLDEN"))) return;
    const clsTCrules &r = rules();
    const bool dataRule = half == Half::In ? r.blnDatafldOnIN : !r.blnDatafldOnIN;
    const bool taskRule = half == Half::In ? r.blnTaskOnIN : !r.blnTaskOnIN;
    const QVariant data = rs.value(u"DATAFLD");
    if (dataRule && !isNullOrEmpty(data)) p.dataFld = toDouble(data);
    const QVariant task = rs.value(u"TASK");
    if (taskRule && blnTaskTracking && !isNullOrEmpty(task)) p.task = toDouble(task);
}

} // namespace

Punch readPunch(const Recordset &rs, Half half, QString &step) {
    Punch p;
    p.employee = toInt32(toDouble(required(rs, u"EMPLOYEE ID")));
    p.date = datePart(toDateTimeValue(required(rs, u"IN DATE")));
    p.time = timePart(toDateTimeValue(required(rs, u"IN TIME")));
    p.punchType = intOrNull(rs.value(u"PunchType"));
    p.excused = conn().boolean(flag(rs.value(u"Excused")));
    p.overide = intOrNull(rs.value(u"Overide"));
    p.deptName = strNullToText(rs.value(u"DEPT NAME"));
    p.clockNumber = intOrNull(rs.value(u"CLOCK NUMBER"));
    p.edited = flag(rs.value(u"Edited"));
    step = QStringLiteral("Get datafield");
    readCarried(rs, half, p);
    return p;
}

namespace {

void appendCarried(QVariantList &params, const Punch &p) {
    if (p.dataFld) params << *p.dataFld;
    if (p.task) params << *p.task;
}

void writeNew(Half half, const Recordset &rs, const QString &procedure) {
    QString step = QStringLiteral("start");
    try {
        Database &db = conn();
        const Punch p = readPunch(rs, half, step);
        QVariantList params;
        if (half == Half::In)
            params << p.employee << db.date(p.date) << db.date(p.date) << db.time(p.time);
        else
            params << p.employee << db.date(p.date) << weekday(p.date) << db.time(p.time);
        params << p.punchType << p.excused << p.overide;
        appendCarried(params, p);
        params << p.deptName << p.clockNumber << db.boolean(p.edited) << db.boolean(true)
               << db.boolean(p.edited);
        step = statement(true, half, Parts{p.dataFld.has_value(), p.task.has_value(), false});
        db.execute(step, params);
        ++importCounts().pairsOpened;
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(procedure, step, errorDescription(e));
    }
}

void writeUpdate(Half half, int32_t punchId, const Recordset &rs, const QString &procedure) {
    QString step = QStringLiteral("begin");
    try {
        Database &db = conn();
        const Punch p = readPunch(rs, half, step);
        QVariantList params;
        if (half == Half::In)
            params << db.date(p.date) << db.time(p.time);
        else
            params << weekday(p.date) << db.time(p.time);
        params << p.punchType << p.excused << p.overide;
        appendCarried(params, p);
        params << p.deptName << p.clockNumber << db.boolean(true);
        if (p.edited) params << db.boolean(true) << db.boolean(true);
        params << punchId;
        step = statement(false, half, Parts{p.dataFld.has_value(), p.task.has_value(), p.edited});
        db.execute(step, params);
        if (half == Half::Out) ++importCounts().pairsClosed;
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(procedure, step, errorDescription(e));
    }
}
} // namespace

namespace {
// The columns the writers set, in the order a composed statement names them.
enum Column : int {
    cEmployee, cAdjusted, cInDate, cInTime, cInType, cInExcused, cInOveride, cOdow, cOutTime, cOutType,
    cOutExcused, cOutOveride, cDataFld, cTask, cDept, cClock, cEdit, cRecalc, cClockEdit, cTimeIn, cTimeOut,
    cColumns
};
const char *const kColumnNames[cColumns] = {
    "EMPLOYEE ID", "AdjustedDate", "IN DATE", "IN TIME", "InPunchType", "InExcused", "InOveride",
    "ODOW", "OUT TIME", "OutPunchType", "OutExcused", "OutOveride", "DATAFLD", "TASK", "DEPT NAME",
    "CLOCK NUMBER", "EDIT FLAG", "RecalcHrs", "CLOCK EDIT FLAG", "timein", "timeout"};

const QString &composedSql(bool insert, uint32_t columns) {
    static std::unordered_map<uint32_t, QString> texts[2];
    QString &text = texts[insert ? 1 : 0][columns];
    if (!text.isEmpty()) return text;
    QStringList names, marks;
    for (int c = 0; c < cColumns; ++c)
        if (columns & (1u << c)) {
            const QString quoted = QLatin1Char('"') + QLatin1String(kColumnNames[c]) + QLatin1Char('"');
            names << (insert ? quoted : quoted + QStringLiteral(" = ?"));
            marks << QStringLiteral("?");
        }
    if (insert)
        text = QStringLiteral("INSERT INTO \"PUNCH\" (") + names.join(QStringLiteral(", ")) +
               QStringLiteral(") VALUES (") + marks.join(QStringLiteral(", ")) + QStringLiteral(") RETURNING \"ID\"");
    else
        text = QStringLiteral("UPDATE \"PUNCH\" SET ") + names.join(QStringLiteral(", ")) +
               QStringLiteral(" WHERE \"ID\" = ?");
    return text;
}
} // namespace

void composePunchWrite(const Database &db, const PunchWrite *writes, int count, int64_t id, QString &sql,
                       QVariantList &params) {
    std::array<QVariant, cColumns> values;
    uint32_t columns = 0;
    const auto set = [&](Column c, QVariant v) {
        columns |= 1u << c;
        values[c] = std::move(v);
    };
    // Each write sets what its own statement sets; a later one wins.
    for (int i = 0; i < count; ++i) {
        const PunchWrite &w = writes[i];
        const Punch &p = w.punch;
        const bool in = w.half == Half::In;
        if (w.insert) {
            set(cEmployee, p.employee);
            if (in) set(cAdjusted, db.date(p.date));
            set(cInDate, db.date(p.date));
            if (in) {
                set(cInTime, db.time(p.time));
            } else {
                set(cOdow, weekday(p.date));
                set(cOutTime, db.time(p.time));
            }
        } else if (in) {
            set(cInDate, db.date(p.date));
            set(cInTime, db.time(p.time));
        } else {
            set(cOdow, weekday(p.date));
            set(cOutTime, db.time(p.time));
        }
        set(in ? cInType : cOutType, p.punchType);
        set(in ? cInExcused : cOutExcused, p.excused);
        set(in ? cInOveride : cOutOveride, p.overide);
        if (p.dataFld) set(cDataFld, *p.dataFld);
        if (p.task) set(cTask, *p.task);
        set(cDept, p.deptName);
        set(cClock, p.clockNumber);
        set(cRecalc, db.boolean(true));
        if (w.insert || p.edited) {
            set(cEdit, db.boolean(p.edited));
            set(cClockEdit, db.boolean(p.edited));
        }
        // The half was empty before the update, so its working time goes.
        if (!w.insert) set(in ? cTimeIn : cTimeOut, QVariant());
    }
    const bool insert = count > 0 && writes[0].insert;
    sql = composedSql(insert, columns);
    params.clear();
    for (int c = 0; c < cColumns; ++c)
        if (columns & (1u << c)) params << values[c];
    if (!insert) params << qlonglong(id);
}

void NewInPunchRecord(const Recordset &import) {
    writeNew(Half::In, import, QStringLiteral("NewInPunchRecord"));
}

void NewOutPunchRecord(const Recordset &import) {
    writeNew(Half::Out, import, QStringLiteral("NewOutPunchRecord"));
}

void UpdateInPunchRecord(int32_t punchId, const Recordset &import) {
    writeUpdate(Half::In, punchId, import, QStringLiteral("UpdateInPunchRecord"));
}

void UpdateOutPunchRecord(int32_t punchId, const Recordset &import) {
    writeUpdate(Half::Out, punchId, import, QStringLiteral("UpdateOutPunchRecord"));
}

} // namespace hx
