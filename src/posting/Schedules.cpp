#include "component/Clock.h"
#include "component/DateTime.h"
#include "component/Numbers.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "hours/DayStart.h"
#include "messages/LogFiles.h"
#include "import/ImportSummary.h"
#include "posting/Posting.h"
#include "rules/clsTCrules.h"

#include <QSet>
#include <exception>
#include <unordered_map>
#include <unordered_set>

namespace hx {

namespace {
const QString kSetLastPoll = QStringLiteral("UPDATE \"TCRULES\" SET \"LastPoll\" = ?");
const QString kScheduled = QStringLiteral(
    "SELECT \"EMPLOYEE ID\", \"OLDSCHEDULE\" FROM \"EMPLOYEE\" "
    "WHERE \"OLDSCHEDULE\" IS NOT NULL AND \"OLDSCHEDULE\" <> 0 AND \"STATUS\" <> 3 AND \"STATUS\" <> 5 "
    "ORDER BY \"EMPLOYEE ID\"");
const QString kSchedules = QStringLiteral("SELECT * FROM \"SCHEDULE\"");
const QString kBadge = QStringLiteral("SELECT \"CLOCK ID\" FROM \"EMPLOYEE\" WHERE \"EMPLOYEE ID\" = ?");
const QString kFirstDept =
    QStringLiteral("SELECT \"DEPT NAME\" FROM \"DEPTQUAL\" WHERE \"EMPLOYEE ID\" = ? "
                   "ORDER BY \"SEQUENCE\" NULLS FIRST, \"DEPT NAME\" NULLS FIRST LIMIT 1");
const QString kSamePair = QStringLiteral(
    "SELECT \"ID\" FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = ? AND \"IN DATE\" = ? AND \"AdjustedDate\" = ? "
    "AND \"InPunchType\" = ? AND \"InCode\" = 4 AND \"OutPunchType\" = ? AND \"OutCode\" = 4 "
    "AND \"Schedule\" = ? AND \"DEPT NAME\" = ? LIMIT 1");
const QString kInsertPair = QStringLiteral(
    "INSERT INTO \"PUNCH\" (\"EMPLOYEE ID\", \"IN DATE\", \"AdjustedDate\", \"InPunchType\", \"InCode\", "
    "\"OutPunchType\", \"OutCode\", \"Schedule\", \"DEPT NAME\") VALUES (?, ?, ?, ?, 4, ?, 4, ?, ?)");

const QString kPairsOfDays = QStringLiteral(
    "SELECT \"EMPLOYEE ID\", \"IN DATE\", \"AdjustedDate\", \"InPunchType\", \"OutPunchType\", \"Schedule\", "
    "\"DEPT NAME\" FROM \"PUNCH\" WHERE \"InCode\" = 4 AND \"OutCode\" = 4 AND \"IN DATE\" >= ? AND \"IN DATE\" <= ?");

// One posting writes pairs for at most this many days: a corrupted date or a
// far-off clock must not fill PUNCH with years of empty pairs.
constexpr int kMaxScheduleDays = 366;

// Weekday letters of the schedule's columns, Sunday first.
const char kDayLetters[] = "UMEWHRA";

// Badge and first department of each employee, looked up once per run of
// InsertSchedules; neither changes while the pairs are written.
struct EmployeeLookups {
    std::unordered_map<int32_t, int32_t> badges;
    std::unordered_map<int32_t, QString> departments;
};

// A scheduled pair to write unless PUNCH holds it.
struct Candidate {
    int32_t employee;
    int16_t inType, outType;
    double day;
    int32_t schedule;
    std::optional<double> shiftTime;
};

// The key of a pair as kSamePair compares it: integers as numbers, dates and
// the department as the stored text or date; nullopt for a stored value that
// no bound value equals.
std::optional<QString> pairKey(const QVariantList &values) {
    QString key;
    for (qsizetype i = 0; i < values.size(); ++i) {
        const QVariant &v = values[i];
        if (isNull(v)) return std::nullopt;
        const bool text = i == 1 || i == 2 || i == 6;
        switch (v.typeId()) {
        case QMetaType::QString:
            if (!text) return std::nullopt;
            key += v.toString();
            break;
        case QMetaType::QDate:
            if (i != 1 && i != 2) return std::nullopt;
            key += v.toDate().toString(Qt::ISODate);
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::Short:
            if (text) return std::nullopt;
            key += QString::number(v.toLongLong());
            break;
        case QMetaType::Double: {
            const double d = v.toDouble();
            if (text || !(d >= -9.0e15 && d <= 9.0e15) || d != double(qint64(d))) return std::nullopt;
            key += QString::number(qint64(d));
            break;
        }
        default:
            return std::nullopt;
        }
        key += QChar(0x1f);
    }
    return key;
}

// The values that find or write the candidate's pair; raises as the look-ups do.
QVariantList pairValues(Database &db, EmployeeLookups &lookups, const Candidate &c, QString &step) {
    step = kBadge;
    auto badgeIt = lookups.badges.find(c.employee);
    if (badgeIt == lookups.badges.end()) {
        const auto v = db.firstValue(kBadge, {c.employee});
        badgeIt = lookups.badges.emplace(c.employee, v ? lngNullToZero(*v) : 0).first;
    }
    const int32_t badge = badgeIt->second;

    step = QStringLiteral("Day Start");
    const double dayStart = dtmEmployeeDayStart(badge);

    step = kFirstDept;
    auto deptIt = lookups.departments.find(c.employee);
    if (deptIt == lookups.departments.end()) {
        const auto v = db.firstValue(kFirstDept, {c.employee});
        deptIt = lookups.departments.emplace(c.employee, v ? strNullToText(*v) : QString()).first;
    }
    // Empty text, never Null: the look-up of the pair must find the pair written.
    const QString department = deptIt->second.isNull() ? QStringLiteral("") : deptIt->second;

    // A shift starting before the day start counts on the day before.
    const double adjusted = (c.shiftTime && timePart(*c.shiftTime) < dayStart) ? c.day - 1.0 : c.day;
    return {c.employee,     db.date(c.day), db.date(adjusted), int(c.inType),
            int(c.outType), c.schedule,     department};
}

struct BatchRefused {};

// The candidates' pairs written in one batch, the pairs already there read
// once for the days instead of looked up one by one. False, with nothing
// changed, when a write was refused: the caller then goes a pair at a time.
bool insertInBatch(Database &db, EmployeeLookups &lookups, const std::vector<Candidate> &candidates,
                   double firstDay, double lastDay) {
    struct Report {
        QString step, description;
    };
    std::vector<Report> reports;
    int written = 0;
    const std::optional<QVariant> sequence = db.keySequencePosition(QStringLiteral("PUNCH"), QStringLiteral("ID"));
    Savepoint guard(db);
    try {
        QSet<QString> known;
        try {
            Recordset rs = db.openCursor(kPairsOfDays, {db.date(firstDay), db.date(lastDay)});
            for (; !rs.eof(); rs.moveNext()) {
                QVariantList stored;
                for (int i = 0; i < 7; ++i)
                    stored << rs.value(i);
                if (const auto key = pairKey(stored)) known.insert(*key);
            }
        } catch (const std::exception &e) {
            rethrowIfFatal(e);
            throw BatchRefused{};
        }
        WriteBatch batch(db);
        for (const Candidate &c : candidates) {
            QString step;
            QVariantList values;
            try {
                values = pairValues(db, lookups, c, step);
            } catch (const std::exception &e) {
                rethrowIfFatal(e);
                reports.push_back({step, errorDescription(e)});
                continue;
            }
            const std::optional<QString> key = pairKey(values);
            if (!key) throw BatchRefused{};
            if (known.contains(*key)) continue;
            try {
                batch.add(kInsertPair, values);
            } catch (const std::exception &e) {
                rethrowIfFatal(e);
                throw BatchRefused{};
            }
            known.insert(*key);
            ++written;
        }
        try {
            batch.send();
        } catch (const std::exception &e) {
            rethrowIfFatal(e);
            throw BatchRefused{};
        }
    } catch (const BatchRefused &) {
        guard.rollback();
        db.restoreKeySequence(QStringLiteral("PUNCH"), QStringLiteral("ID"), sequence);
        return false;
    }
    guard.release();
    importCounts().scheduledPairs += written;
    for (const Report &r : reports)
        reportImportError(QStringLiteral("InsertAbsent"), r.step, r.description);
    return true;
}

void insertAbsent(EmployeeLookups &lookups, const Candidate &c) {
    QString step = kBadge;
    try {
        Database &db = conn();
        const QVariantList key = pairValues(db, lookups, c, step);
        step = kSamePair;
        if (db.firstValue(kSamePair, key)) return;
        step = kInsertPair;
        db.execute(kInsertPair, key);
        ++importCounts().scheduledPairs;
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(QStringLiteral("InsertAbsent"), step, errorDescription(e));
    }
}

// The pairs the schedules call for, employee by employee and day by day.
struct DayColumns {
    const int *open, *schIn, *lunchIn;
};
void collectCandidates(Recordset &employees, Recordset &schedules,
                       const std::unordered_map<int32_t, int> &scheduleRow, DayColumns cols, double firstDay,
                       double last, std::vector<Candidate> &out, QString &step) {
    const int empCol = employees.fieldIndex(u"EMPLOYEE ID");
    const int oldCol = employees.fieldIndex(u"OLDSCHEDULE");
    for (; !employees.eof(); employees.moveNext()) {
        const int32_t employee = lngNullToZero(employees.value(empCol));
        const int32_t schedule = lngNullToZero(employees.value(oldCol));
        step = QStringLiteral("ScheduleNumber=") + QString::number(schedule);
        const auto found = scheduleRow.find(schedule);
        if (found == scheduleRow.end()) continue;
        schedules.moveTo(found->second);
        for (double day = firstDay; day <= last; day += 1.0) {
            const int x = weekday(day) - 1;
            const QVariant open = schedules.value(cols.open[x]);
            if (isNullOrEmpty(open) || !toBoolean(open)) continue;
            const std::optional<double> schIn = toDateTimeOpt(schedules.value(cols.schIn[x]));
            const std::optional<double> lunchIn = toDateTimeOpt(schedules.value(cols.lunchIn[x]));
            if (!lunchIn) {
                out.push_back({employee, 0, 0, day, schedule, schIn});
            } else {
                out.push_back({employee, 0, 1, day, schedule, schIn});
                out.push_back({employee, 1, 0, day, schedule, lunchIn});
            }
        }
    }
}
} // namespace

void InsertAbsent(int32_t employeeId, int16_t inPunchType, int16_t outPunchType, double day, int32_t schedule,
                  std::optional<double> shiftTime) {
    EmployeeLookups once;
    insertAbsent(once, {employeeId, inPunchType, outPunchType, day, schedule, shiftTime});
}

void InsertSchedules(double lastDay) {
    QString step = QStringLiteral("begin");
    try {
        Database &db = conn();
        const double start = rules().dtmLastPoll;
        // Days still to come get no pairs, and the last poll never moves past
        // today: a punch dated ahead (one bad byte in a month) would otherwise
        // mark years of absence.
        const double today = Clock::today();
        if (datePart(lastDay) > today) {
            subLogNote(QStringLiteral("modImportToPunch : InsertSchedules"),
                       QStringLiteral("The last day of the import, %1, lies after today; scheduled pairs and "
                                      "the last poll date stop at %2.")
                           .arg(formatMmDdYyyy(lastDay), formatMmDdYyyy(today)));
            lastDay = today;
        }
        step = kSetLastPoll;
        db.execute(kSetLastPoll, {db.dateTime(lastDay)});

        step = kScheduled;
        Recordset employees = db.openRecordset(kScheduled);
        // 31 December 1899 is what an unset rule reads as, 1 January 1900 what
        // a Null LastPoll reads as: neither is a poll, and counting from it
        // would fill every day since 1900 with empty pairs.
        const bool noLastPoll = start <= kNullDate;
        if (!blnHasRecords(employees) || !(start < lastDay) || noLastPoll) {
            step = QStringLiteral("No need to insert new punch pair.");
            subCloseRecordset(employees);
            return;
        }

        step = kSchedules;
        Recordset schedules = db.openRecordset(kSchedules);
        std::unordered_map<int32_t, int> scheduleRow;
        const int numberCol = schedules.fieldIndex(u"ScheduleNumber");
        for (int row = 0; !schedules.eof(); schedules.moveNext(), ++row) {
            const QVariant n = schedules.value(numberCol);
            if (!isNull(n)) scheduleRow.emplace(lngNullToZero(n), row);
        }
        int openCol[7], schInCol[7], lunchInCol[7];
        for (int i = 0; i < 7; ++i) {
            const QString x = QString(QLatin1Char(kDayLetters[i]));
            openCol[i] = schedules.fieldIndex(QString(x + QStringLiteral("Open")));
            schInCol[i] = schedules.fieldIndex(QString(x + QStringLiteral("SchIn")));
            lunchInCol[i] = schedules.fieldIndex(QString(x + QStringLiteral("SchLunchIn")));
        }

        double firstDay = datePart(start) + 1.0;
        const double last = datePart(lastDay);
        if (last - firstDay + 1.0 > kMaxScheduleDays) {
            // The days nearest the import count; the older ones are named so
            // that they can be settled by hand.
            const double lastSkipped = last - kMaxScheduleDays;
            reportImportError(QStringLiteral("InsertSchedules"), QStringLiteral("Days to cover"),
                              QStringLiteral("Scheduled pairs are made for at most %1 days in one posting: "
                                             "the days from %2 to %3 get none.")
                                  .arg(kMaxScheduleDays)
                                  .arg(formatMmDdYyyy(firstDay), formatMmDdYyyy(lastSkipped)));
            firstDay = lastSkipped + 1.0;
        }

        // The pairs due, in the order they are written; an error on the way
        // stops the list where it stands, after the pairs before it are in.
        std::vector<Candidate> candidates;
        std::exception_ptr stopped;
        try {
            collectCandidates(employees, schedules, scheduleRow, {openCol, schInCol, lunchInCol}, firstDay, last,
                              candidates, step);
        } catch (const std::exception &) {
            stopped = std::current_exception();
        }
        EmployeeLookups lookups;
        if (!candidates.empty() && !insertInBatch(db, lookups, candidates, firstDay, last)) {
            lookups = EmployeeLookups();
            for (const Candidate &c : candidates)
                insertAbsent(lookups, c);
        }
        if (stopped) std::rethrow_exception(stopped);
        subCloseRecordset(schedules);
        subCloseRecordset(employees);
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(QStringLiteral("InsertSchedules"), step, errorDescription(e));
    }
}

} // namespace hx
