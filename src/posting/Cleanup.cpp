#include "component/modGlobal.h"
#include "messages/LogFiles.h"
#include "posting/Posting.h"

namespace hx {

namespace {
const QString kClocksHolding =
    QStringLiteral("SELECT \"CLOCK NUMBER\" FROM \"CLOCK\" WHERE \"status\" = ? LIMIT 1");
} // namespace

void CleanupPolling() {
    QString step = QStringLiteral("begin");
    try {
        Database &db = conn();
        // A clock still busy with its own changes holds every mark back until
        // a later poll.
        if (db.firstValue(kClocksHolding, {db.boolean(true)})) return;

        // In this order: marked qualifications go before the others' marks
        // are cleared. Each statement is idempotent, so a series cut short by
        // a failure completes at the next end of poll.
        const std::pair<QString, QVariantList> series[] = {
            {QStringLiteral("UPDATE \"EMPLOYEE\" SET \"STATUS\" = 1 WHERE \"STATUS\" = 2 OR \"STATUS\" = 3"),
             {}},
            {QStringLiteral("UPDATE \"EMPLOYEE\" SET \"STATUS\" = 5 WHERE \"STATUS\" = 4"), {}},
            {QStringLiteral("UPDATE \"EMPLOYEE\" SET \"CLOCK ID\" = \"NEWBADGE\", \"NEWBADGE\" = 0 "
                            "WHERE \"NEWBADGE\" <> 0"),
             {}},
            {QStringLiteral("UPDATE \"EMPLOYEE\" SET \"MSGCODE\" = -1, \"MESSAGE\" = NULL "
                            "WHERE \"MSGCODE\" = 0 OR \"MSGCODE\" = 1"),
             {}},
            {QStringLiteral("DELETE FROM \"CKQUAL\" WHERE \"STATUS\" = ?"), {QStringLiteral("*DEL*")}},
            {QStringLiteral("UPDATE \"CKQUAL\" SET \"STATUS\" = ?"), {QStringLiteral("     ")}},
            {QStringLiteral("UPDATE \"EMPLOYEE\" SET \"OLDSCHEDULE\" = \"SCHEDULE\""), {}},
            {QStringLiteral("UPDATE \"SCHEDULE\" SET \"ScheduleEdited\" = ?"), {db.boolean(false)}},
            {QStringLiteral("UPDATE \"DEPT\" SET \"STATUS\" = ?"), {db.boolean(false)}},
        };
        for (const auto &[sql, params] : series) {
            step = sql;
            db.execute(sql, params);
        }
        step = QStringLiteral("Close Recordset");
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(QStringLiteral("CleanupPolling"), step, errorDescription(e));
    }
}

} // namespace hx
