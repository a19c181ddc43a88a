#include "component/DateTime.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "hours/Recalculate.h"
#include "import/ImportSummary.h"
#include "messages/LogFiles.h"
#include "posting/Posting.h"

#include <algorithm>

namespace hx {

namespace {
const QString kProc = QStringLiteral("ImportToThePunchTable");
const QString kImport = QStringLiteral(
    "SELECT * FROM \"IMPORT\" "
    "ORDER BY \"CLOCK ID\" NULLS FIRST, \"IN DATE\" NULLS FIRST, \"IN TIME\" NULLS FIRST, \"ID\"");

// An in punch fills the first row of the employee that has no in time and is
// either an out-only row of the same date whose out is at or after the punch,
// or any worked row dated up to six days ahead. Both branches lie within
// [d, d + 6], which keeps the search on the employee/date index.
const QString kInCandidate = QStringLiteral(
    "SELECT \"ID\", \"IN DATE\", \"OUT TIME\" FROM \"PUNCH\" "
    "WHERE \"EMPLOYEE ID\" = ? AND \"IN DATE\" >= ? AND \"IN DATE\" <= ? AND \"IN TIME\" IS NULL "
    "AND ((\"IN DATE\" = ? AND \"OUT TIME\" >= ?) OR \"NONWORKED\" IS NULL) "
    "ORDER BY \"IN DATE\", \"OUT TIME\" NULLS FIRST, \"ID\" LIMIT 1");

// An out punch closes the latest row without out time that began before it:
// any earlier date, or the same date at or before the punch's time.
const QString kOutCandidate =
    QStringLiteral("SELECT \"ID\", \"IN DATE\", \"IN TIME\" FROM \"PUNCH\" "
                   "WHERE \"EMPLOYEE ID\" = ? AND \"IN DATE\" <= ? AND \"OUT TIME\" IS NULL "
                   "AND (\"IN DATE\" < ? OR \"IN TIME\" <= ?) "
                   "ORDER BY \"IN DATE\" DESC, \"IN TIME\" DESC NULLS LAST, \"ID\" DESC LIMIT 1");

// Seconds of a value, for exact comparisons of stored times.
qint64 secs(double v) {
    return toSeconds(v);
}

void postInPunch(Database &db, const Recordset &rs, int32_t employee, double date, std::optional<double> time,
                 QString &step) {
    step = kInCandidate;
    const Recordset cand = db.openRecordset(
        kInCandidate,
        // The week ahead ends with the last day a date can name.
        {employee, db.date(date), db.date(std::min(date + 6.0, kMaxDay)), db.date(date), db.time(time)});
    if (!blnHasRecords(cand)) {
        NewInPunchRecord(rs);
        return;
    }
    // A missing out time reads as 1 January 1900, later than any time of day:
    // an empty scheduled pair is always filled.
    const double candOut = dtmNullToDate(cand.value(u"OUT TIME"));
    if (time && secs(candOut) > secs(*time))
        UpdateInPunchRecord(lngNullToZero(cand.value(u"ID")), rs);
    else
        NewInPunchRecord(rs);
}

void postOutPunch(Database &db, const Recordset &rs, int32_t employee, double date,
                  std::optional<double> time, QString &step) {
    step = kOutCandidate;
    const Recordset cand =
        db.openRecordset(kOutCandidate, {employee, db.date(date), db.date(date), db.time(time)});
    if (!blnHasRecords(cand)) {
        NewOutPunchRecord(rs);
        return;
    }
    const int32_t candId = lngNullToZero(cand.value(u"ID"));
    const double candIn = dtmNullToDate(cand.value(u"IN TIME"));
    const double candDate = dtmNullToDate(cand.value(u"IN DATE"));
    const double timeOrNull = time ? *time : kNullDate;
    if (time && secs(candIn) <= secs(*time))
        UpdateOutPunchRecord(candId, rs);
    else if (secs(candIn) > secs(timeOrNull) && secs(candDate) < secs(date))
        // A shift begun on an earlier day that ends after midnight.
        UpdateOutPunchRecord(candId, rs);
    else
        NewOutPunchRecord(rs);
}
} // namespace

int32_t lngImportRowCount(Database &db) {
    static const QString sql = QStringLiteral("SELECT COUNT(*) FROM \"IMPORT\"");
    return int32_t(lngNullToZero(db.firstValue(sql).value_or(QVariant(0))));
}

void ImportToThePunchTable(std::shared_ptr<clsMessage> &message) {
    QString step = QStringLiteral("start");
    try {
        if (!message) message = std::make_shared<clsMessage>();
        Database &db = conn();
        // The rows are read as the walk goes: the walk writes PUNCH only.
        step = kImport;
        const int32_t total = lngImportRowCount(db);
        importCounts().punchesNew += total;
        Recordset rs = db.openCursor(kImport);
        if (blnHasRecords(rs)) {
            step = QStringLiteral("Counting Record ") + QString::number(total);
            rs.moveFirst();
            int32_t processed = 0;
            message->setBlnIsProgress(true);
            message->setLngProgressTotal(total);
            message->setLngProgressValue(0);
            message->setStrUIMessage(QStringLiteral("Importing Records, Please Wait..."));

            const int signCol = rs.fieldIndex(u"SIGN IN");
            const int empCol = rs.fieldIndex(u"EMPLOYEE ID");
            const int dateCol = rs.fieldIndex(u"IN DATE");
            const int timeCol = rs.fieldIndex(u"IN TIME");
            for (; !rs.eof(); rs.moveNext()) {
                step = QStringLiteral("Process a punch");
                message->setLngProgressValue(++processed);
                const QVariant sign = rs.value(signCol);
                if (isNull(sign)) continue; // direction never decided: nothing to post
                const QVariant empValue = rs.value(empCol);
                if (isNull(empValue))
                    throw HxError(QStringLiteral("Invalid use of Null"), ErrNo::InvalidUseOfNull);
                const int32_t employee = lngNullToZero(empValue);
                const double date = datePart(toDateTimeValue(rs.value(dateCol)));
                std::optional<double> time = toDateTimeOpt(rs.value(timeCol));
                if (time) time = timePart(*time);
                if (toBoolean(sign))
                    postInPunch(db, rs, employee, date, time, step);
                else
                    postOutPunch(db, rs, employee, date, time, step);
            }
        }
        subCloseRecordset(rs);
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(kProc, step, errorDescription(e));
    }
    RecalculateHours();
    CleanupPolling();
}

} // namespace hx
