#include "hours/DayStart.h"

#include "component/DateTime.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "messages/LogFiles.h"
#include "rules/clsTCrules.h"

#include <unordered_map>

namespace hx {
namespace {

const QString kSelectSort2 =
    QStringLiteral("SELECT \"SORT2\" FROM \"EMPLOYEE\" WHERE \"CLOCK ID\" = ? ORDER BY \"EMPLOYEE ID\"");

struct DayStartCache {
    const Database *connection = nullptr;
    double ruleDayStart = 0;
    QString ruleSort2;
    std::unordered_map<int32_t, double> byBadge;
};

DayStartCache &cache() {
    static DayStartCache c;
    return c;
}

} // namespace

void resetDayStartCache() {
    DayStartCache &c = cache();
    c.byBadge.clear();
    c.connection = nullptr;
}

double dtmEmployeeDayStart(int32_t badge) {
    const clsTCrules &r = rules();
    DayStartCache &c = cache();
    const Database *connection = gConn.get();
    if (c.connection != connection || c.ruleDayStart != r.dtmDayStart || c.ruleSort2 != r.strSort2) {
        c.byBadge.clear();
        c.connection = connection;
        c.ruleDayStart = r.dtmDayStart;
        c.ruleSort2 = r.strSort2;
    }
    if (auto it = c.byBadge.find(badge); it != c.byBadge.end()) return it->second;

    // A day start that carries a date (an unset rule) is not a time of day and
    // would be later than every punch: only its time part counts.
    double result = timePart(r.dtmDayStart);
    QString step = QStringLiteral("begin");
    try {
        if (r.strSort2 == QLatin1String("Day_Start")) {
            step = kSelectSort2;
            if (auto v = conn().firstValue(kSelectSort2, {badge}); v && !isNullOrEmpty(*v)) {
                if (auto t = parseDateTime(valueText(*v))) result = timePart(*t);
            }
        }
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(QStringLiteral("dtmEmployeeDayStart"), step, errorDescription(e));
        return result; // not kept: the next call tries again
    }
    c.byBadge.emplace(badge, result);
    return result;
}

} // namespace hx
