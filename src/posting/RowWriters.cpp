#include "component/DateTime.h"
#include "component/Numbers.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "hours/Recalculate.h"
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

// The IMPORT columns a punch is read from, found once for the rows of a walk.
enum Field {
    fEmployee,
    fDate,
    fTime,
    fType,
    fExcused,
    fOveride,
    fDept,
    fClock,
    fEdited,
    fDataEnter,
    fData,
    fTask,
    fCount
};
const char16_t *const kFields[fCount] = {u"EMPLOYEE ID", u"IN DATE",   u"IN TIME",   u"PunchType",
                                         u"Excused",     u"Overide",   u"DEPT NAME", u"CLOCK NUMBER",
                                         u"Edited",      u"DATAFLDEN", u"DATAFLD",   u"TASK"};
QVariant field(const Recordset &rs, Field f) {
    thread_local std::shared_ptr<const RecordColumns> of;
    thread_local int at[fCount];
    if (!rs.columnSet()) return rs.value(QStringView(kFields[f]));
    if (rs.columnSet() != of) {
        of = rs.columnSet();
        for (int i = 0; i < fCount; ++i)
            at[i] = rs.fieldIndex(kFields[i]);
    }
    // A column that is not there raises, naming it.
    return at[f] >= 0 ? rs.value(at[f]) : rs.value(QStringView(kFields[f]));
}

// A value the punch cannot be written without.
QVariant required(const Recordset &rs, Field column) {
    const QVariant v = field(rs, column);
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
    if (!flag(field(rs, fDataEnter))) return;
    const clsTCrules &r = rules();
    const bool dataRule = half == Half::In ? r.blnDatafldOnIN : !r.blnDatafldOnIN;
    const bool taskRule = half == Half::In ? r.blnTaskOnIN : !r.blnTaskOnIN;
    const QVariant data = field(rs, fData);
    if (dataRule && !isNullOrEmpty(data)) p.dataFld = toDouble(data);
    const QVariant task = field(rs, fTask);
    if (taskRule && blnTaskTracking && !isNullOrEmpty(task)) p.task = toDouble(task);
}

} // namespace

const QStringList &readPunchColumns() {
    static const QStringList names = [] {
        QStringList n;
        for (const char16_t *f : kFields)
            n << QString::fromUtf16(f);
        return n;
    }();
    return names;
}

Punch readPunch(const Recordset &rs, Half half, QString &step) {
    Punch p;
    p.employee = toInt32(toDouble(required(rs, fEmployee)));
    p.date = datePart(toDateTimeValue(required(rs, fDate)));
    p.time = timePart(toDateTimeValue(required(rs, fTime)));
    p.punchType = intOrNull(field(rs, fType));
    p.excused = conn().boolean(flag(field(rs, fExcused)));
    p.overide = intOrNull(field(rs, fOveride));
    p.deptName = strNullToText(field(rs, fDept));
    p.clockNumber = intOrNull(field(rs, fClock));
    p.edited = flag(field(rs, fEdited));
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
// The columns the writers and a saved recalculation set, in the order a
// statement names them.
enum Column : int {
    cEmployee, cAdjusted, cInDate, cInTime, cInType, cInExcused, cInOveride, cOdow, cOutTime, cOutType,
    cOutExcused, cOutOveride, cDataFld, cTask, cDept, cClock, cEdit, cRecalc, cClockEdit, cTimeIn, cTimeOut,
    cOtRules, cPayRate, cDeptHours, cUseDiff, cLunchLen, cLunchAt, cErrorCode, cInCode, cOutCode,
    cColumns
};
static_assert(cColumns == kRowWriteColumns);
const char *const kColumnNames[cColumns] = {
    "EMPLOYEE ID", "AdjustedDate", "IN DATE", "IN TIME", "InPunchType", "InExcused", "InOveride",
    "ODOW", "OUT TIME", "OutPunchType", "OutExcused", "OutOveride", "DATAFLD", "TASK", "DEPT NAME",
    "CLOCK NUMBER", "EDIT FLAG", "RecalcHrs", "CLOCK EDIT FLAG", "timein", "timeout", "OTRULES",
    "PAYRATE", "DEPT HOURS", "UseDiff", "LUNCHLEN", "LUNCH AT", "ERRORCODE", "InCode", "OutCode"};
} // namespace

const char *rowWriteColumnName(int column) {
    return kColumnNames[column];
}

void RowWrite::set(int column, QVariant value) {
    columns |= 1u << column;
    values[size_t(column)] = std::move(value);
}

void addPunchWrites(const Database &db, const PunchWrite *writes, int count, RowWrite &w) {
    // Each write sets what its own statement sets; a later one wins.
    for (int i = 0; i < count; ++i) {
        const PunchWrite &pw = writes[i];
        const Punch &p = pw.punch;
        const bool in = pw.half == Half::In;
        if (pw.insert) {
            w.set(cEmployee, p.employee);
            if (in) w.set(cAdjusted, db.date(p.date));
            w.set(cInDate, db.date(p.date));
            if (in) {
                w.set(cInTime, db.time(p.time));
            } else {
                w.set(cOdow, weekday(p.date));
                w.set(cOutTime, db.time(p.time));
            }
        } else if (in) {
            w.set(cInDate, db.date(p.date));
            w.set(cInTime, db.time(p.time));
        } else {
            w.set(cOdow, weekday(p.date));
            w.set(cOutTime, db.time(p.time));
        }
        w.set(in ? cInType : cOutType, p.punchType);
        w.set(in ? cInExcused : cOutExcused, p.excused);
        w.set(in ? cInOveride : cOutOveride, p.overide);
        if (p.dataFld) w.set(cDataFld, *p.dataFld);
        if (p.task) w.set(cTask, *p.task);
        w.set(cDept, p.deptName);
        w.set(cClock, p.clockNumber);
        w.set(cRecalc, db.boolean(true));
        if (pw.insert || p.edited) {
            w.set(cEdit, db.boolean(p.edited));
            w.set(cClockEdit, db.boolean(p.edited));
        }
        // The half was empty before the update, so its working time goes.
        if (!pw.insert) w.set(in ? cTimeIn : cTimeOut, QVariant());
    }
}

void addSavedHours(const QVariantList &save, RowWrite &w) {
    static const std::vector<int> at = [] {
        std::unordered_map<QString, int> byName;
        for (int c = 0; c < cColumns; ++c)
            byName.emplace(QLatin1String(kColumnNames[c]), c);
        std::vector<int> columns;
        for (const QString &name : recalculationSaveColumns())
            columns.push_back(byName.at(name));
        return columns;
    }();
    for (size_t i = 0; i < at.size() && i < size_t(save.size()); ++i)
        w.set(at[i], save[qsizetype(i)]);
}

const QString &rowWriteSql(bool insert, uint32_t columns, int rows) {
    static std::unordered_map<uint64_t, QString> texts;
    QString &text = texts[(uint64_t(columns) << 16) | (uint64_t(rows) << 1) | (insert ? 1 : 0)];
    if (!text.isEmpty()) return text;
    QStringList names, marks;
    for (int c = 0; c < cColumns; ++c)
        if (columns & (1u << c)) {
            const QString quoted = QLatin1Char('"') + QLatin1String(kColumnNames[c]) + QLatin1Char('"');
            names << (insert ? quoted : quoted + QStringLiteral(" = ?"));
            marks << QStringLiteral("?");
        }
    if (insert) {
        const QString one = QLatin1Char('(') + marks.join(QStringLiteral(", ")) + QLatin1Char(')');
        QStringList all;
        for (int r = 0; r < rows; ++r)
            all << one;
        text = QStringLiteral("INSERT INTO \"PUNCH\" (") + names.join(QStringLiteral(", ")) +
               QStringLiteral(") VALUES ") + all.join(QStringLiteral(", "));
    } else {
        text = QStringLiteral("UPDATE \"PUNCH\" SET ") + names.join(QStringLiteral(", ")) +
               QStringLiteral(" WHERE \"ID\" = ?");
    }
    return text;
}

void appendRowWriteValues(const RowWrite &w, QVariantList &params) {
    for (int c = 0; c < cColumns; ++c)
        if (w.columns & (1u << c)) params << w.values[size_t(c)];
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
