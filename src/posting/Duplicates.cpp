#include "component/DateTime.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "messages/LogFiles.h"
#include "messages/MessageBox.h"
#include "posting/Posting.h"

namespace hx {

namespace {
const QString kProc = QStringLiteral("RemovingDuplicatePunches");
const QString kSelect = QStringLiteral(
    "SELECT \"ID\", \"EMPLOYEE ID\", \"IN DATE\", \"IN TIME\", \"SIGN IN\" FROM \"IMPORT\" "
    "ORDER BY \"EMPLOYEE ID\" NULLS FIRST, \"IN DATE\" NULLS FIRST, \"IN TIME\" NULLS FIRST, \"ID\", "
    "\"SIGN IN\" NULLS FIRST");
const QString kDelete = QStringLiteral("DELETE FROM \"IMPORT\" WHERE \"ID\" = ?");
constexpr qint64 kDuplicateMinutes = 2;

std::optional<bool> optBoolean(const QVariant &v) {
    if (isNull(v)) return std::nullopt;
    return toBoolean(v);
}
} // namespace

int32_t RemovingDuplicatePunches() {
    QString step = QStringLiteral("?");
    int32_t removed = 0;
    try {
        Database &db = conn();
        step = kSelect;
        Recordset rs = db.openRecordset(kSelect);
        const int idCol = rs.fieldIndex(u"ID");
        const int empCol = rs.fieldIndex(u"EMPLOYEE ID");
        const int dateCol = rs.fieldIndex(u"IN DATE");
        const int timeCol = rs.fieldIndex(u"IN TIME");
        const int signCol = rs.fieldIndex(u"SIGN IN");

        // The last punch kept. A Null anywhere (employee, direction, moment)
        // compares unequal, so such a punch is never taken for a repeat.
        std::optional<int32_t> lastEmployee = 0;
        std::optional<bool> lastSignIn = false;
        std::optional<double> lastMoment = 0.0;

        for (; !rs.eof(); rs.moveNext()) {
            step = QStringLiteral("?");
            const QVariant empValue = rs.value(empCol);
            const std::optional<int32_t> employee =
                isNull(empValue) ? std::nullopt : std::optional<int32_t>(lngNullToZero(empValue));
            const std::optional<bool> signIn = optBoolean(rs.value(signCol));
            const std::optional<double> date = toDateTimeOpt(rs.value(dateCol));
            const std::optional<double> time = toDateTimeOpt(rs.value(timeCol));
            std::optional<double> moment;
            if (date && time) moment = *date + *time;

            const bool duplicate = employee && lastEmployee && *employee == *lastEmployee && signIn &&
                                   lastSignIn && *signIn == *lastSignIn && moment && lastMoment &&
                                   dateDiffMinutes(*lastMoment, *moment) <= kDuplicateMinutes;
            if (duplicate) {
                step = kDelete;
                db.execute(kDelete, {rs.value(idCol)});
                ++removed;
            } else {
                lastMoment = moment;
            }
            lastSignIn = signIn;
            lastEmployee = employee;
        }

        if (removed > 0)
            intReportMessage(QStringLiteral("modImportToPunch"), QStringLiteral("Procedure"), kProc, step,
                             QStringLiteral("Duplicate Punches Found"),
                             QString::number(removed) + QStringLiteral(" duplicate punch(es) removed"),
                             Buttons::OkCancel | Buttons::Information, 0);
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(kProc, step, errorDescription(e));
    }
    return removed;
}

} // namespace hx
