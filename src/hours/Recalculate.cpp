#include "hours/Recalculate.h"

#include "component/DateTime.h"
#include "component/Numbers.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "hours/DayStart.h"
#include "hours/PunchHours.h"
#include "import/ImportSummary.h"
#include "messages/LogFiles.h"

#include <algorithm>
#include <array>
#include <optional>
#include <unordered_map>

namespace hx {
namespace {

// The PUNCH columns read for a row, in this order.
enum Column {
    cId,
    cEmployeeId,
    cDeptName,
    cInDate,
    cInTime,
    cOutTime,
    cNonWorked,
    cAdjustedDate,
    cTimein,
    cTimeout,
    cOdow,
    cDatafld,
    cTask,
    cSchedule,
    cInPunchType,
    cOutPunchType,
    cInExcused,
    cOutExcused,
    cInCode,
    cOutCode,
    cErrorCode,
    cOtRules,
    cPayRate,
    cDeptHours,
    cUseDiff,
    cLunchLen,
    cLunchAt,
    cColumnCount
};

const QString kColumns = QStringLiteral(
    "\"ID\", \"EMPLOYEE ID\", \"DEPT NAME\", \"IN DATE\", \"IN TIME\", \"OUT TIME\", \"NONWORKED\", "
    "\"AdjustedDate\", \"timein\", \"timeout\", \"ODOW\", \"DATAFLD\", \"TASK\", \"Schedule\", "
    "\"InPunchType\", \"OutPunchType\", \"InExcused\", \"OutExcused\", \"InCode\", \"OutCode\", "
    "\"ERRORCODE\", \"OTRULES\", \"PAYRATE\", \"DEPT HOURS\", \"UseDiff\", \"LUNCHLEN\", \"LUNCH AT\"");

// Jet sorted Nulls first; the ID settles ties so that runs are repeatable.
// The mark is written into the text, as the engine stores true: only then
// do both engines see that the partial index PUNCH_RECALC holds every row
// asked for (a bound value may be planned for any value).
const QString &selectMarkedSql(Engine engine) {
    static const QString head = QStringLiteral("SELECT \"ID\" FROM \"PUNCH\" WHERE \"RecalcHrs\" = ");
    static const QString tail = QStringLiteral(
        " AND \"NONWORKED\" IS NULL "
        "ORDER BY \"EMPLOYEE ID\" NULLS FIRST, \"IN DATE\" NULLS FIRST, \"IN TIME\" NULLS FIRST, \"ID\"");
    static const QString sqlite = head + QStringLiteral("1") + tail;
    static const QString server = head + QStringLiteral("true") + tail;
    return engine == Engine::SQLite ? sqlite : server;
}

const QString kSelectOne =
    QStringLiteral("SELECT ") + kColumns + QStringLiteral(" FROM \"PUNCH\" WHERE \"ID\" = ?");

const QString kUpdate = QStringLiteral(
    "UPDATE \"PUNCH\" SET \"AdjustedDate\" = ?, \"timein\" = ?, \"timeout\" = ?, \"ODOW\" = ?, "
    "\"OTRULES\" = ?, \"PAYRATE\" = ?, \"DEPT HOURS\" = ?, \"UseDiff\" = ?, \"LUNCHLEN\" = ?, "
    "\"LUNCH AT\" = ?, \"ERRORCODE\" = ?, \"InCode\" = ?, \"OutCode\" = ?, \"RecalcHrs\" = ? "
    "WHERE \"ID\" = ?");

// Marked rows are read this many at a time, so that a large run never holds
// every row in memory; the statement text stays the same for every batch.
constexpr int kBatchSize = 250;

const QString &batchSql() {
    static const QString sql = [] {
        QStringList marks;
        for (int i = 0; i < kBatchSize; ++i)
            marks << QStringLiteral("?");
        return QStringLiteral("SELECT ") + kColumns + QStringLiteral(" FROM \"PUNCH\" WHERE \"ID\" IN (") +
               marks.join(QStringLiteral(", ")) + QLatin1Char(')');
    }();
    return sql;
}

static_assert(cColumnCount == kRecalculationColumns);
using PunchRow = RecalculationRow;

PunchRow rowOf(const Recordset &rs) {
    PunchRow row;
    for (int i = 0; i < cColumnCount; ++i)
        row[size_t(i)] = rs.value(i);
    return row;
}

std::optional<int> intOpt(const QVariant &v) {
    if (auto d = toDoubleOpt(v)) return toInt32(*d);
    return std::nullopt;
}

std::optional<double> dateOpt(const QVariant &v) {
    if (auto d = toDateTimeOpt(v)) return datePart(*d);
    return std::nullopt;
}

std::optional<double> timeOpt(const QVariant &v) {
    if (auto d = toDateTimeOpt(v)) return timePart(*d);
    return std::nullopt;
}

bool boolOf(const QVariant &v) {
    return !isNullOrEmpty(v) && toBoolean(v);
}

QVariant intOrNull(const std::optional<int> &v) {
    return v ? QVariant(*v) : Database::null();
}
QVariant doubleOrNull(const std::optional<double> &v) {
    return v ? QVariant(*v) : Database::null();
}

// The values that save the row: every column the steps reached in its new
// value, the others as they were read, and the mark cleared only when the
// row is done.
QVariantList saveParams(const PunchRow &row, const HoursState &s, bool done) {
    Database &db = conn();
    auto pick = [&](HoursState::Field f, Column c, auto stored) {
        return s.written.test(f) ? stored() : row[c];
    };
    auto storedTime = [&](const std::optional<double> &t) {
        return t ? db.time(storedTimeOfDay(*t)) : Database::null();
    };
    return QVariantList{
        pick(HoursState::AdjustedDate, cAdjustedDate, [&] { return db.date(s.adjustedDate); }),
        pick(HoursState::TimeIn, cTimein, [&] { return storedTime(s.timein); }),
        pick(HoursState::TimeOut, cTimeout, [&] { return storedTime(s.timeout); }),
        pick(HoursState::Odow, cOdow, [&] { return intOrNull(s.odow); }),
        pick(HoursState::OtRules, cOtRules, [&] { return s.otRules; }),
        pick(HoursState::PayRate, cPayRate, [&] { return s.payRate; }),
        pick(HoursState::DeptHours, cDeptHours, [&] { return doubleOrNull(s.deptHours); }),
        pick(HoursState::UseDiff, cUseDiff, [&] { return db.boolean(s.useDiff); }),
        pick(HoursState::LunchLen, cLunchLen, [&] { return QVariant(s.lunchLen); }),
        pick(HoursState::LunchAt, cLunchAt, [&] { return QVariant(s.lunchAt); }),
        pick(HoursState::ErrorCode, cErrorCode, [&] { return QVariant(s.errorCode); }),
        pick(HoursState::InCode, cInCode, [&] { return intOrNull(s.inCode); }),
        pick(HoursState::OutCode, cOutCode, [&] { return intOrNull(s.outCode); }),
        db.boolean(!done),
        row[cId],
    };
}

void reportRowError(const QString &step, const QString &description) {
    reportImportError(QStringLiteral("RecalculateThisPunch"), step, description);
}

// What the steps of one row came to: the report of a step that failed, and
// the values to save unless it failed before anything was computed.
struct RowOutcome {
    bool done = false;
    std::optional<std::pair<QString, QString>> report; // step, description
    std::optional<QVariantList> save;
};

// The steps of one row, in their order; nothing is written or reported.
RowOutcome computeRow(const PunchRow &row, RunLookups &lk) {
    RowOutcome out;
    HoursState s;
    QString step = QStringLiteral("begin");
    bool done = false;
    try {
        std::optional<int32_t> employeeId;
        if (auto id = toDoubleOpt(row[cEmployeeId])) employeeId = toInt32(*id);
        const int32_t badge = lk.badgeOf(employeeId);

        step = QStringLiteral("Day Start=");
        const double dayStart = dtmEmployeeDayStart(badge);

        const QString deptName = strNullToText(row[cDeptName]);
        step = RunLookups::deptQualSql();
        const DeptQual *dq = lk.deptQual(employeeId, deptName);

        step = QStringLiteral("Check Errorcodes");
        s.set(HoursState::ErrorCode, s.errorCode, 1);

        s.inDate = dateOpt(row[cInDate]);
        s.inTime = timeOpt(row[cInTime]);
        s.outTime = timeOpt(row[cOutTime]);
        s.adjustedDate = dateOpt(row[cAdjustedDate]);
        s.odow = intOpt(row[cOdow]);
        if (s.inTime || !s.adjustedDate) s.set(HoursState::AdjustedDate, s.adjustedDate, s.inDate);

        // Working times once set are kept; the steps below revise and round
        // them in place.
        const bool worked = isNullOrEmpty(row[cNonWorked]);
        if (auto t = toDateTimeOpt(row[cTimein]))
            s.timein = workingTimeOf(*t, s.inTime);
        else if (worked)
            s.set(HoursState::TimeIn, s.timein, s.inTime);
        if (auto t = toDateTimeOpt(row[cTimeout]))
            s.timeout = workingTimeOf(*t, s.outTime);
        else if (worked)
            s.set(HoursState::TimeOut, s.timeout, s.outTime);

        // The pair counts on the day before when its in punch lies before the
        // day start. The punch itself decides, not the working time: revision
        // and rounding must not move a pair to another day on a later run.
        const std::optional<double> inPunch = s.inTime ? s.inTime : s.timein;
        if (inPunch && *inPunch < dayStart)
            s.set(HoursState::AdjustedDate, s.adjustedDate,
                  s.inDate ? std::optional<double>(*s.inDate - 1) : std::nullopt);

        if (dq) {
            step = QStringLiteral("Dept Qual");
            s.set(HoursState::OtRules, s.otRules, dq->otRules);
            s.set(HoursState::PayRate, s.payRate, dq->payRate);
            applyRevisions(s, *dq);
        } else {
            step = QStringLiteral("OT & rate");
            s.set(HoursState::OtRules, s.otRules, QVariant(0));
            s.set(HoursState::PayRate, s.payRate, QVariant(0));
        }

        s.set(HoursState::DeptHours, s.deptHours, 0.0);
        computeDeptHours(s, dq, lk, step);

        s.set(HoursState::ErrorCode, s.errorCode, s.outTime ? 0 : 2);
        if (s.errorCode == 0 && !s.deptHours) s.set(HoursState::ErrorCode, s.errorCode, 1);
        if (s.errorCode == 0 && *s.deptHours < lk.lowWarning) s.set(HoursState::ErrorCode, s.errorCode, 3);
        if (s.errorCode == 0 && *s.deptHours > lk.highWarning) s.set(HoursState::ErrorCode, s.errorCode, 4);

        step = QStringLiteral("Test Job Cost");
        if (auto job = toDoubleOpt(row[cDatafld]); s.errorCode == 0 && job && *job > 0) {
            step = RunLookups::jobSql();
            if (!lk.jobExists(*job)) s.set(HoursState::ErrorCode, s.errorCode, 5);
        }
        if (auto task = toDoubleOpt(row[cTask]); s.errorCode == 0 && task && *task > 0 && lk.taskAs == 2) {
            step = RunLookups::taskSql();
            if (!lk.taskExists(*task)) s.set(HoursState::ErrorCode, s.errorCode, 6);
        }

        step = QStringLiteral("Test Schedule");
        if (auto schedule = intOpt(row[cSchedule]); schedule && *schedule != 0) {
            SchedulePunch p;
            p.schedule = *schedule;
            p.inDate = s.inDate;
            p.inTime = s.inTime;
            p.outTime = s.outTime;
            p.odow = s.odow;
            p.inPunchType = intOpt(row[cInPunchType]);
            p.outPunchType = intOpt(row[cOutPunchType]);
            p.inExcused = boolOf(row[cInExcused]);
            p.outExcused = boolOf(row[cOutExcused]);
            p.inCode = intOpt(row[cInCode]);
            p.outCode = intOpt(row[cOutCode]);
            p.errorCode = s.errorCode;
            SetSchedule(p, &lk.schedules);
            s.set(HoursState::InCode, s.inCode, p.inCode);
            s.set(HoursState::OutCode, s.outCode, p.outCode);
            s.set(HoursState::ErrorCode, s.errorCode, p.errorCode);
        }
        done = true;
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        out.report.emplace(step, errorDescription(e));
    }
    out.done = done;
    // Failed before anything was computed: the row is left as it was.
    if (done || s.written.any()) out.save = saveParams(row, s, done);
    return out;
}

// The row's steps, their report and its save, one after the other.
bool recalculateRow(const PunchRow &row, RunLookups &lk) {
    RowOutcome o = computeRow(row, lk);
    if (o.report) reportRowError(o.report->first, o.report->second);
    if (!o.save) return false;
    try {
        conn().execute(kUpdate, *o.save);
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportRowError(kUpdate, errorDescription(e));
        return false;
    }
    return o.done;
}

// The rows of one read, their saves sent together. Should a save fail, they
// are all undone and done again a row at a time, so that the failure is
// reported for its own row, in order, as it would be alone.
void recalculateRows(const std::vector<const PunchRow *> &rows, RunLookups &lk) {
    Database &db = conn();
    std::vector<RowOutcome> outcomes;
    outcomes.reserve(rows.size());
    for (const PunchRow *row : rows)
        outcomes.push_back(computeRow(*row, lk));
    bool sent = false;
    {
        Savepoint guard(db);
        try {
            WriteBatch batch(db);
            for (RowOutcome &o : outcomes)
                if (o.save) batch.add(kUpdate, std::move(*o.save));
            batch.send();
            guard.release();
            sent = true;
        } catch (const std::exception &e) {
            rethrowIfFatal(e);
            guard.rollback();
        }
    }
    if (!sent) {
        for (const PunchRow *row : rows)
            recalculateRow(*row, lk);
        return;
    }
    for (const RowOutcome &o : outcomes)
        if (o.report) reportRowError(o.report->first, o.report->second);
}

} // namespace

void RecalculateHours() {
    QString step = QStringLiteral("begin");
    // One unit of work of its own when no import holds one: a commit per
    // pair would cost more than the pair. A failure reported below keeps the
    // pairs done before it, as it did when each pair committed alone.
    std::optional<Transaction> unit;
    try {
        Database &db = conn();
        unit.emplace(db);
        resetDayStartCache();
        RunLookups lookups;

        const QString &selectMarked = selectMarkedSql(db.engine());
        step = selectMarked;
        // Every marked ID is read before the first row changes: the walk's
        // own index is keyed by the mark.
        std::vector<qint64> ids;
        {
            Recordset rs = db.openCursor(selectMarked);
            for (; !rs.eof(); rs.moveNext())
                ids.push_back(rs.value(0).toLongLong());
        }
        if (ids.empty()) return;
        importCounts().rowsRecalculated += int64_t(ids.size());

        step = QStringLiteral("Process punch hours");
        QVariantList params;
        std::unordered_map<qint64, PunchRow> batch;
        for (size_t start = 0; start < ids.size(); start += kBatchSize) {
            const size_t end = std::min(ids.size(), start + kBatchSize);
            params.clear();
            for (size_t i = start; i < end; ++i)
                params << QVariant(ids[i]);
            while (params.size() < kBatchSize)
                params << Database::null();
            batch.clear();
            Recordset rs = db.openRecordset(batchSql(), params);
            for (; !rs.eof(); rs.moveNext())
                batch.emplace(rs.value(cId).toLongLong(), rowOf(rs));
            rs.close();
            std::vector<const PunchRow *> rows;
            for (size_t i = start; i < end; ++i)
                if (auto it = batch.find(ids[i]); it != batch.end()) rows.push_back(&it->second);
            recalculateRows(rows, lookups);
        }
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(QStringLiteral("RecalculateHours"), step, errorDescription(e));
    }
    if (unit) unit->commit();
}

const QStringList &recalculationColumnNames() {
    static const QStringList names = [] {
        QStringList n;
        for (const QString &c : kColumns.split(QStringLiteral(", ")))
            n << c.mid(1, c.size() - 2);
        return n;
    }();
    return names;
}

const QStringList &recalculationSaveColumns() {
    static const QStringList names = [] {
        QStringList n;
        const qsizetype from = kUpdate.indexOf(QLatin1String(" SET ")) + 5;
        const qsizetype to = kUpdate.indexOf(QLatin1String(" WHERE "));
        for (const QString &c : kUpdate.mid(from, to - from).split(QStringLiteral(", ")))
            n << c.left(c.indexOf(QLatin1String(" = "))).mid(1).chopped(1);
        return n;
    }();
    return names;
}

RecalculationRun::RecalculationRun() : m_lookups(std::make_unique<RunLookups>()) {}
RecalculationRun::~RecalculationRun() = default;

bool RecalculationRun::compute(const RecalculationRow &row, QVariantList &save) {
    RowOutcome o = computeRow(row, *m_lookups);
    if (!o.done || o.report || !o.save) return false;
    save = std::move(*o.save);
    save.removeLast(); // the ID
    return true;
}

bool RecalculateThisPunch(int32_t punchId) {
    try {
        resetDayStartCache();
        Recordset rs = conn().openRecordset(kSelectOne, {punchId});
        if (!blnHasRecords(rs)) return false;
        RunLookups lookups;
        return recalculateRow(rowOf(rs), lookups);
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportRowError(kSelectOne, errorDescription(e));
    }
    return false;
}

} // namespace hx
