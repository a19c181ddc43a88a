#include "hours/CustomRounding.h"

#include "component/DateTime.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "messages/LogFiles.h"

#include <cmath>

namespace hx {
namespace {

const QString kSelectRound = QStringLiteral(
    "SELECT \"MinuteMin\", \"MinuteMax\", \"NewMinuteValue\", \"Applies To\" FROM \"CustomRound\" "
    "ORDER BY \"ID\"");
const QString kSelectHours = QStringLiteral(
    "SELECT \"HoursMin\", \"HoursMax\", \"HoursMultiply\", \"HoursConstant\" FROM \"CustomHours\" "
    "ORDER BY \"ID\"");

HxError nullError() {
    return HxError(QStringLiteral("Invalid use of Null"), ErrNo::InvalidUseOfNull);
}

// A window holds minute m when it does not wrap and m lies inside it, or when
// it wraps (a maximum not above the minimum) and m lies in either part.
bool windowHolds(const CustomRoundWindow &w, double m) {
    if (!w.minuteMin || !w.minuteMax) return false;
    const double lo = *w.minuteMin, hi = *w.minuteMax;
    if (lo <= m && m <= hi) return true;
    return hi <= lo && (lo <= m || hi >= m);
}

bool appliesTo(const CustomRoundWindow &w, int code) {
    return w.appliesTo && (*w.appliesTo == 1 || *w.appliesTo == code);
}

} // namespace

std::vector<CustomRoundWindow> CustomTables::readRoundWindows() {
    Recordset rs = conn().openRecordset(kSelectRound);
    std::vector<CustomRoundWindow> rows;
    rows.reserve(size_t(rs.recordCount()));
    for (; !rs.eof(); rs.moveNext())
        rows.push_back({toDoubleOpt(rs.value(0)), toDoubleOpt(rs.value(1)), toDoubleOpt(rs.value(2)),
                        toDoubleOpt(rs.value(3))});
    return rows;
}

std::vector<CustomHoursBand> CustomTables::readHoursBands() {
    Recordset rs = conn().openRecordset(kSelectHours);
    std::vector<CustomHoursBand> rows;
    rows.reserve(size_t(rs.recordCount()));
    for (; !rs.eof(); rs.moveNext())
        rows.push_back({toDoubleOpt(rs.value(0)), toDoubleOpt(rs.value(1)), toDoubleOpt(rs.value(2)),
                        toDoubleOpt(rs.value(3))});
    return rows;
}

const std::vector<CustomRoundWindow> &CustomTables::roundWindows() {
    if (!m_round) m_round = readRoundWindows();
    return *m_round;
}

const std::vector<CustomHoursBand> &CustomTables::hoursBands() {
    if (!m_hours) m_hours = readHoursBands();
    return *m_hours;
}

double CustomRound(double time, int code, CustomTables *tables) {
    QString step = QStringLiteral("begin");
    try {
        const double m = minute(time);
        step = kSelectRound;
        CustomTables local;
        const std::vector<CustomRoundWindow> &windows = (tables ? tables : &local)->roundWindows();

        step = QStringLiteral("Test Min/Max");
        double addMinutes = 0;
        for (const CustomRoundWindow &w : windows) {
            if (!appliesTo(w, code) || !windowHolds(w, m)) continue;
            if (!w.newMinute) throw nullError();
            // The new minute may lie in the next hour (reached from the upper
            // part of a wrapping window) or in the previous one.
            double n = *w.newMinute;
            if (m >= *w.minuteMin && n < *w.minuteMin) n += 60;
            if (m <= *w.minuteMax && n > *w.minuteMax) n -= 60;
            addMinutes = n - m;
            break;
        }
        step = QStringLiteral("AddMin=%1").arg(addMinutes);
        return std::floor(time * 1440.0 + addMinutes + 0.5) / 1440.0;
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(QStringLiteral("CustomRound"), step, errorDescription(e));
    }
    return time;
}

float CustomHrs(double hours, CustomTables *tables) {
    const float unchanged = static_cast<float>(hours);
    QString step = QStringLiteral("begin");
    try {
        // The bands are compared with the hours as their decimal text has them
        // (15 significant digits), so 3.9999999999999996 meets a band from 4.
        const double h = QString::number(hours, 'g', 15).toDouble();
        step = kSelectHours;
        CustomTables local;
        const std::vector<CustomHoursBand> &bands = (tables ? tables : &local)->hoursBands();
        for (const CustomHoursBand &b : bands) {
            if (!b.hoursMin || !b.hoursMax || !(*b.hoursMin <= h && *b.hoursMax >= h)) continue;
            if (!b.multiply || !b.constant) throw nullError();
            return static_cast<float>(hours * *b.multiply + *b.constant);
        }
        return unchanged;
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(QStringLiteral("CustomHrs"), step, errorDescription(e));
    }
    return unchanged;
}

} // namespace hx
