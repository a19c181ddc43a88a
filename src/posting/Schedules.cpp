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

#include <unordered_map>

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

void insertAbsent(EmployeeLookups &lookups, int32_t employee, int16_t inType, int16_t outType, double day,
                  int32_t schedule, std::optional<double> shiftTime) {
    QString step = kBadge;
    try {
        Database &db = conn();
        auto badgeIt = lookups.badges.find(employee);
        if (badgeIt == lookups.badges.end()) {
            const auto v = db.firstValue(kBadge, {employee});
            badgeIt = lookups.badges.emplace(employee, v ? lngNullToZero(*v) : 0).first;
        }
        const int32_t badge = badgeIt->second;

        step = QStringLiteral("Day Start");
        const double dayStart = dtmEmployeeDayStart(badge);

        step = kFirstDept;
        auto deptIt = lookups.departments.find(employee);
        if (deptIt == lookups.departments.end()) {
            const auto v = db.firstValue(kFirstDept, {employee});
            deptIt = lookups.departments.emplace(employee, v ? strNullToText(*v) : QString()).first;
        }
        // Empty text, never Null: the look-up below must find the pair it wrote.
        const QString department = deptIt->second.isNull() ? QStringLiteral("") : deptIt->second;

        // A shift starting before the day start counts on the day before.
        const double adjusted = (shiftTime && timePart(*shiftTime) < dayStart) ? day - 1.0 : day;

        step = kSamePair;
        const QVariantList key{employee,     db.date(day), db.date(adjusted), int(inType),
                               int(outType), schedule,     department};
        if (db.firstValue(kSamePair, key)) return;
        step = kInsertPair;
        db.execute(kInsertPair, key);
        ++importCounts().scheduledPairs;
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(QStringLiteral("InsertAbsent"), step, errorDescription(e));
    }
}
} // namespace

void InsertAbsent(int32_t employeeId, int16_t inPunchType, int16_t outPunchType, double day, int32_t schedule,
                  std::optional<double> shiftTime) {
    EmployeeLookups once;
    insertAbsent(once, employeeId, inPunchType, outPunchType, day, schedule, shiftTime);
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

        EmployeeLookups lookups;
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
                const QVariant open = schedules.value(openCol[x]);
                if (isNullOrEmpty(open) || !toBoolean(open)) continue;
                const std::optional<double> schIn = toDateTimeOpt(schedules.value(schInCol[x]));
                const std::optional<double> lunchIn = toDateTimeOpt(schedules.value(lunchInCol[x]));
                if (!lunchIn) {
                    insertAbsent(lookups, employee, 0, 0, day, schedule, schIn);
                } else {
                    insertAbsent(lookups, employee, 0, 1, day, schedule, schIn);
                    insertAbsent(lookups, employee, 1, 0, day, schedule, lunchIn);
                }
            }
        }
        subCloseRecordset(schedules);
        subCloseRecordset(employees);
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(QStringLiteral("InsertSchedules"), step, errorDescription(e));
    }
}

} // namespace hx
