#include "component/DateTime.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "import/ImportRows.h"
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
        // Read as the walk goes; the repeats are deleted after it, in the
        // order they were met, so the walk never reads a table it changes.
        Recordset rs =
            openImportWalk(db, kSelect,
                           {QStringLiteral("ID"), QStringLiteral("EMPLOYEE ID"), QStringLiteral("IN DATE"),
                            QStringLiteral("IN TIME"), QStringLiteral("SIGN IN")},
                           ImportOrder::Employee);
        std::vector<QVariant> repeats;
        auto deleteRepeats = [&] {
            for (const QVariant &id : repeats) {
                step = kDelete;
                deleteImportRow(db, kDelete, id);
                ++removed;
            }
            repeats.clear();
        };
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

        try {
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
                    repeats.push_back(rs.value(idCol));
                } else {
                    lastMoment = moment;
                }
                lastSignIn = signIn;
                lastEmployee = employee;
            }
        } catch (const std::exception &e) {
            // A walk that fails leaves the repeats met before it deleted.
            rethrowIfFatal(e);
            const QString failedAt = step;
            subCloseRecordset(rs);
            deleteRepeats();
            step = failedAt;
            throw;
        }
        subCloseRecordset(rs);
        // The report names the step the walk ended on, as when each repeat
        // was deleted where it was met.
        const QString walked = step;
        deleteRepeats();
        step = walked;

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
