#include "posting/PostingDriver.h"

#include "component/Clock.h"
#include "component/Database.h"
#include "component/DateTime.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "hours/DayStart.h"
#include "import/ImportRows.h"
#include "import/ImportSummary.h"
#include "messages/LogFiles.h"
#include "posting/Posting.h"
#include "rules/clsTCrules.h"

namespace hx {

bool blnTaskTracking = false;

namespace {
const QString kProc = QStringLiteral("blnPostImportTableToPunchTable");
const QString kImportByBadge = QStringLiteral(
    "SELECT \"ID\", \"CLOCK ID\", \"IN DATE\", \"IN TIME\" FROM \"IMPORT\" "
    "ORDER BY \"CLOCK ID\" NULLS FIRST, \"IN DATE\" NULLS FIRST, \"IN TIME\" NULLS FIRST, \"ID\"");

// The working day a punch belongs to: a punch before the employee's day start
// counts on the day before.
double adjustedDate(const Recordset &rs, int badgeCol, int dateCol, int timeCol) {
    const double date = datePart(toDateTimeValue(rs.value(dateCol)));
    const std::optional<double> time = toDateTimeOpt(rs.value(timeCol));
    const double dayStart = dtmEmployeeDayStart(lngNullToZero(rs.value(badgeCol)));
    if (time && timePart(*time) < dayStart) return date - 1.0;
    return date;
}
} // namespace

bool blnPostImportTableToPunchTable(std::shared_ptr<clsMessage> &message) {
    QString step = QStringLiteral("start");
    try {
        if (!message) message = std::make_shared<clsMessage>();
        // Employees' own day starts may have been edited since the last run.
        resetDayStartCache();

        // A last poll ahead of today (a run with its clock set wrong) would
        // stop every later import from adding absence pairs.
        step = QStringLiteral("LastPoll");
        const double today = Clock::today();
        if (datePart(rules().dtmLastPoll) > today) {
            Database &db = conn();
            db.execute(QStringLiteral("UPDATE \"TCRULES\" SET \"LastPoll\" = ?"), {db.dateTime(today)});
            subLogNote(QStringLiteral("modImportToPunch : blnPostImportTableToPunchTable"),
                       QStringLiteral("The last poll date %1 lies after today; it is set back to %2.")
                           .arg(formatMmDdYyyy(rules().dtmLastPoll), formatMmDdYyyy(today)));
            rules().dtmLastPoll = today;
        }

        const int16_t taskAs = rules().intTaskAs;
        blnTaskTracking = taskAs > 0 && taskAs <= 2;

        bool result = true;
        step = QStringLiteral("BioMetric Import Calculations");
        if (!blnBioMetricImportCalculations(message)) {
            result = false;
            subLogNote(QStringLiteral("modImportToPunch") +
                           QStringLiteral(" : blnPostImportTableToPunchTable"),
                       QStringLiteral("Error processing BioMetric Import Calculations"));
        }

        step = QStringLiteral("employees");
        {
            // The employees and the earliest day of the import, in one statement.
            QVariant employees, first;
            if (ImportRows *rows = ImportRows::active()) {
                employees = rows->distinctEmployees();
                first = rows->firstDay();
            } else {
                Recordset counts = conn().openRecordset(QStringLiteral(
                    "SELECT COUNT(DISTINCT \"EMPLOYEE ID\"), MIN(\"IN DATE\") FROM \"IMPORT\""));
                employees = counts.value(0);
                first = counts.value(1);
            }
            importCounts().employees += employees.toLongLong();
            if (!isNullOrEmpty(first)) {
                const double day = datePart(toDateTimeValue(first));
                double &earliest = importCounts().earliestPunch;
                if (earliest == 0 || day < earliest) earliest = day;
            }
        }

        step = QStringLiteral("open recordset-") + kImportByBadge;
        Recordset rs = openImportWalk(conn(), kImportByBadge,
                                      {QStringLiteral("ID"), QStringLiteral("CLOCK ID"),
                                       QStringLiteral("IN DATE"), QStringLiteral("IN TIME")},
                                      ImportOrder::Badge);
        step = QStringLiteral("records exist? ") + kImportByBadge;
        if (!blnHasRecords(rs)) {
            subCloseRecordset(rs);
            CleanupPolling();
            return result;
        }

        step = QStringLiteral("scheduling activated? ") + kImportByBadge;
        const int badgeCol = rs.fieldIndex(u"CLOCK ID");
        const int dateCol = rs.fieldIndex(u"IN DATE");
        const int timeCol = rs.fieldIndex(u"IN TIME");
        rs.moveFirst();
        double latest = adjustedDate(rs, badgeCol, dateCol, timeCol);
        for (; !rs.eof(); rs.moveNext()) {
            const double adjusted = adjustedDate(rs, badgeCol, dateCol, timeCol);
            if (adjusted > latest) latest = adjusted;
        }
        subCloseRecordset(rs);

        step = QStringLiteral("Insert Scheduled Punches");
        InsertSchedules(latest);

        step = QStringLiteral("Removing Duplicate Punches");
        message->setBlnIsProgress(false);
        message->setStrUIMessage(QStringLiteral("Removing Duplicate Punches..."));
        importCounts().duplicatesRemoved += RemovingDuplicatePunches();

        step = QStringLiteral("Import To The Punch Table");
        ImportToThePunchTable(message);
        return true;
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(kProc, step, errorDescription(e));
    }
    return false;
}

} // namespace hx
