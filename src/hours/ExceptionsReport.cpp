#include "hours/ExceptionsReport.h"

#include "component/Clock.h"
#include "component/DateTime.h"
#include "component/Values.h"

#include <QHash>
#include <QJsonArray>
#include <QSet>
#include <cmath>

namespace hx {
namespace {

int intOf(const QVariant &v) {
    return int(toDoubleOpt(v).value_or(0));
}

QJsonValue isoDate(double d) {
    return formatIsoDate(d);
}
QJsonValue isoTime(const std::optional<double> &t) {
    return t ? QJsonValue(formatIsoTime(*t)) : QJsonValue(QJsonValue::Null);
}
QJsonValue number(const std::optional<double> &v) {
    return v ? QJsonValue(std::round(*v * 100) / 100) : QJsonValue(QJsonValue::Null);
}
QJsonValue textOrNull(const QString &s) {
    return s.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(s);
}

struct Employee {
    int id = 0;
    QString name;
};

QString nameOf(const QVariant &last, const QVariant &first) {
    const QString l = valueText(last).trimmed(), f = valueText(first).trimmed();
    if (l.isEmpty()) return f;
    return f.isEmpty() ? l : l + QStringLiteral(", ") + f;
}

// Hours from the in punch to the out punch: the out punch's weekday says how
// many midnights lie between, as the hours calculation counts them.
std::optional<double> spanOf(const PairException &p, const std::optional<double> &odow) {
    if (!p.inTime || !p.outTime) return std::nullopt;
    double days = 0;
    if (odow && *odow >= 1 && *odow <= 7)
        days = (int(*odow) - weekday(p.date) + 7) % 7;
    else if (*p.outTime < *p.inTime)
        days = 1;
    return days * 24 + (timePart(*p.outTime) - timePart(*p.inTime)) * 24;
}

QString hhmm(const std::optional<double> &t) {
    return t ? formatIsoTime(*t).left(5) : QString();
}

QString clockCell(int clock, const QString &name) {
    if (clock == 0) return QString();
    return name.isEmpty() ? QString::number(clock) : QStringLiteral("%1 %2").arg(clock).arg(name);
}

QString employeeCell(int id, const QString &name) {
    if (id == 0) return QString();
    return name.isEmpty() ? QStringLiteral("#%1 (no such employee)").arg(id)
                          : QStringLiteral("#%1 %2").arg(id).arg(name);
}

QStringList pairCells(const PairException &p, const QString &detail) {
    return {formatIsoDate(p.date), employeeCell(p.employeeId, p.employeeName),
            p.inTime || p.outTime ? QStringLiteral("%1-%2").arg(hhmm(p.inTime), hhmm(p.outTime)) : QString(),
            detail, clockCell(p.clock, p.clockName)};
}

QString direction(int type) {
    return type == 1 ? QStringLiteral("in") : type == 2 ? QStringLiteral("out") : QStringLiteral("other");
}

QStringList accessCells(const AccessException &a) {
    QString detail = QStringLiteral("badge %1, %2").arg(a.badge).arg(direction(a.type));
    detail += a.valid ? QStringLiteral(", granted") : QStringLiteral(", refused (failure %1)").arg(a.failure);
    return {formatIsoDate(a.date), employeeCell(a.employeeId, a.employeeName), hhmm(a.time), detail,
            clockCell(a.clock, a.clockName)};
}

QString hoursText(double h) {
    return QString::number(h, 'f', 2);
}

QString scheduleDetail(const PairException &p) {
    QStringList parts;
    if (p.inCode != 0)
        parts << QStringLiteral("in %1%2").arg(scheduleCodeName(p.inCode),
                                               p.inExcused ? QStringLiteral(" (excused)") : QString());
    if (p.outCode != 0)
        parts << QStringLiteral("out %1%2")
                     .arg(scheduleCodeName(p.outCode),
                          p.outExcused ? QStringLiteral(" (excused)") : QString());
    return parts.join(QStringLiteral(", "));
}

QJsonObject pairJson(const PairException &p) {
    return {
        {QStringLiteral("punch_id"), p.punchId},
        {QStringLiteral("employee_id"), p.employeeId},
        {QStringLiteral("employee_name"), textOrNull(p.employeeName)},
        {QStringLiteral("date"), isoDate(p.date)},
        {QStringLiteral("in_time"), isoTime(p.inTime)},
        {QStringLiteral("out_time"), isoTime(p.outTime)},
        {QStringLiteral("error_code"), p.errorCode},
        {QStringLiteral("in_code"), p.inCode},
        {QStringLiteral("out_code"), p.outCode},
        {QStringLiteral("in_excused"), p.inExcused},
        {QStringLiteral("out_excused"), p.outExcused},
        {QStringLiteral("hours"), number(p.hours)},
        {QStringLiteral("span_hours"), number(p.span)},
        {QStringLiteral("clock_number"), p.clock == 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(p.clock)},
        {QStringLiteral("clock_name"), textOrNull(p.clockName)},
        {QStringLiteral("department"), textOrNull(p.department)}};
}

QJsonObject accessJson(const AccessException &a) {
    return {
        {QStringLiteral("access_id"), a.accessId},
        {QStringLiteral("employee_id"),
         a.employeeId == 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(a.employeeId)},
        {QStringLiteral("employee_name"), textOrNull(a.employeeName)},
        {QStringLiteral("badge"), a.badge},
        {QStringLiteral("date"), isoDate(a.date)},
        {QStringLiteral("time"), isoTime(a.time)},
        {QStringLiteral("direction"), direction(a.type)},
        {QStringLiteral("valid"), a.valid},
        {QStringLiteral("failure"), a.failure},
        {QStringLiteral("clock_number"), a.clock == 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(a.clock)},
        {QStringLiteral("clock_name"), textOrNull(a.clockName)}};
}

template <typename Row, typename F> QJsonArray arrayOf(const std::vector<Row> &rows, F toJson) {
    QJsonArray out;
    for (const Row &r : rows)
        out.append(toJson(r));
    return out;
}
} // namespace

QString errorCodeName(int code) {
    switch (code) {
    case 0:
        return QStringLiteral("none");
    case 1:
        return QStringLiteral("hours not computed");
    case 2:
        return QStringLiteral("out punch missing");
    case 3:
        return QStringLiteral("fewer hours than the low warning");
    case 4:
        return QStringLiteral("more hours than the high warning");
    case 5:
        return QStringLiteral("unknown job");
    case 6:
        return QStringLiteral("unknown task");
    case 7:
        return QStringLiteral("schedule violation not excused");
    default:
        return QStringLiteral("code %1").arg(code);
    }
}

QString errorCodeKey(int code) {
    return errorCodeName(code).replace(QLatin1Char(' '), QLatin1Char('_'));
}

QString scheduleCodeName(int code) {
    switch (code) {
    case 0:
        return QStringLiteral("none");
    case 1:
        return QStringLiteral("early");
    case 2:
        return QStringLiteral("late");
    case 3:
        return QStringLiteral("not scheduled");
    case 4:
        return QStringLiteral("missing");
    default:
        return QStringLiteral("code %1").arg(code);
    }
}

std::pair<double, double> defaultExceptionsRange(Database *db) {
    const double today = Clock::today();
    if (db) {
        try {
            if (db->hasTable(QStringLiteral("PollImportRun"))) {
                const auto v = db->firstValue(
                    QStringLiteral("SELECT \"EarliestPunch\" FROM \"PollImportRun\" WHERE \"Outcome\" <> ? AND "
                                   "\"EarliestPunch\" IS NOT NULL ORDER BY \"Started\" DESC, \"ID\" DESC LIMIT 1"),
                    {QStringLiteral("not_saved")});
                if (v && !isNullOrEmpty(*v)) {
                    const double since = datePart(toDateTimeValue(*v));
                    if (since <= today) return {since, today};
                }
            }
        } catch (const std::exception &) {
            // No history to go by: the week.
        }
    }
    return {today - 7, today};
}

ExceptionsReport collectExceptions(Database &db, double since, double until, double longerThanHours) {
    ExceptionsReport report;
    report.since = datePart(since);
    report.until = datePart(until);
    report.longerThanHours = longerThanHours;

    // Names and badges of every employee: the access events name their badge
    // only, and a badge matches an employee by CLOCK ID or NEWBADGE.
    QHash<int, QString> names;
    QHash<qint64, Employee> byBadge;
    for (Recordset rs = db.openRecordset(QStringLiteral("SELECT \"EMPLOYEE ID\", \"CLOCK ID\", \"NEWBADGE\", "
                                                        "\"LAST NAME\", \"FIRST NAME\" FROM \"EMPLOYEE\""));
         !rs.eof(); rs.moveNext()) {
        const Employee e{intOf(rs.value(0)), nameOf(rs.value(3), rs.value(4))};
        names.insert(e.id, e.name);
        for (int c : {1, 2}) {
            const auto badge = toDoubleOpt(rs.value(c));
            // NEWBADGE 0 is "none"; a CLOCK ID match wins over a NEWBADGE one.
            if (badge && *badge != 0 && (c == 1 || !byBadge.contains(qint64(*badge))))
                byBadge.insert(qint64(*badge), e);
        }
    }
    QHash<int, QString> clocks;
    for (Recordset rs =
             db.openRecordset(QStringLiteral("SELECT \"CLOCK NUMBER\", \"CLOCK NAME\" FROM \"CLOCK\""));
         !rs.eof(); rs.moveNext())
        clocks.insert(intOf(rs.value(0)), valueText(rs.value(1)));

    const double today = Clock::today();
    const QVariantList range = {db.date(report.since), db.date(report.until)};
    // Non-worked rows are the suite's own entries, not punches.
    Recordset rs = db.openRecordset(
        QStringLiteral(
            "SELECT \"ID\", \"EMPLOYEE ID\", \"IN DATE\", \"IN TIME\", \"OUT TIME\", \"ODOW\", "
            "\"InCode\", \"OutCode\", \"InExcused\", \"OutExcused\", \"ERRORCODE\", \"DEPT HOURS\", "
            "\"CLOCK NUMBER\", \"DEPT NAME\" FROM \"PUNCH\" "
            "WHERE \"IN DATE\" >= ? AND \"IN DATE\" <= ? AND \"NONWORKED\" IS NULL "
            "ORDER BY \"EMPLOYEE ID\", \"IN DATE\", \"IN TIME\" NULLS FIRST, \"ID\""),
        range);
    for (; !rs.eof(); rs.moveNext()) {
        PairException p;
        p.punchId = qint64(toDoubleOpt(rs.value(0)).value_or(0));
        p.employeeId = intOf(rs.value(1));
        p.employeeName = names.value(p.employeeId);
        p.date = datePart(toDateTimeValue(rs.value(2)));
        p.inTime = toDateTimeOpt(rs.value(3));
        p.outTime = toDateTimeOpt(rs.value(4));
        p.inCode = intOf(rs.value(6));
        p.outCode = intOf(rs.value(7));
        p.inExcused = !isNullOrEmpty(rs.value(8)) && toBoolean(rs.value(8));
        p.outExcused = !isNullOrEmpty(rs.value(9)) && toBoolean(rs.value(9));
        p.errorCode = intOf(rs.value(10));
        p.hours = toDoubleOpt(rs.value(11));
        p.clock = intOf(rs.value(12));
        p.clockName = clocks.value(p.clock);
        p.department = valueText(rs.value(13));
        p.span = spanOf(p, toDoubleOpt(rs.value(5)));

        // An empty scheduled pair is an absence: the schedule section shows it.
        if (p.date < today && (p.errorCode == 2 || (p.inTime && !p.outTime))) report.openPairs.push_back(p);
        if (p.errorCode != 0) report.errorCodes[p.errorCode].push_back(p);
        const auto violation = [](int c) { return c >= 1 && c <= 4; };
        if (violation(p.inCode) || violation(p.outCode)) report.scheduleViolations.push_back(p);
        if (p.span && *p.span > longerThanHours) report.longPairs.push_back(p);
    }

    Recordset access = db.openRecordset(
        QStringLiteral(
            "SELECT \"ID\", \"Date\", \"Time\", \"Clock\", \"EmployeeClock\", \"type\", \"Valid\", "
            "\"Failure\" FROM \"AccessPunch\" WHERE \"Date\" >= ? AND \"Date\" <= ? "
            "ORDER BY \"Date\", \"Time\", \"ID\""),
        range);
    for (; !access.eof(); access.moveNext()) {
        AccessException a;
        a.accessId = qint64(toDoubleOpt(access.value(0)).value_or(0));
        a.date = datePart(toDateTimeValue(access.value(1)));
        a.time = toDateTimeOpt(access.value(2));
        a.clock = intOf(access.value(3));
        a.clockName = clocks.value(a.clock);
        a.badge = qint64(toDoubleOpt(access.value(4)).value_or(0));
        a.type = intOf(access.value(5));
        const auto failure = toDoubleOpt(access.value(7));
        // Without a Valid flag the failure code decides: -1 is granted.
        a.valid = isNullOrEmpty(access.value(6)) ? failure.value_or(0) == -1 : toBoolean(access.value(6));
        a.failure = int(failure.value_or(a.valid ? -1 : 0));
        const auto e = byBadge.constFind(a.badge);
        if (e != byBadge.constEnd()) {
            a.employeeId = e->id;
            a.employeeName = e->name;
        }
        if (a.employeeId == 0) report.unknownBadges.push_back(a);
        if (!a.valid) report.refusedAccess.push_back(a);
    }
    return report;
}

int ExceptionsReport::distinctCount() const {
    QSet<qint64> punches, access;
    for (const auto *rows : {&openPairs, &scheduleViolations, &longPairs})
        for (const PairException &p : *rows)
            punches.insert(p.punchId);
    for (const auto &[code, rows] : errorCodes)
        for (const PairException &p : rows)
            punches.insert(p.punchId);
    for (const auto *rows : {&unknownBadges, &refusedAccess})
        for (const AccessException &a : *rows)
            access.insert(a.accessId);
    return int(punches.size() + access.size());
}

QStringList ExceptionsReport::nonEmptySections() const {
    QStringList out;
    for (const ExceptionsSection &s : exceptionsSections(*this))
        if (!s.sub && s.count > 0) out << s.heading.section(QLatin1String(" ("), 0, 0).toLower();
    return out;
}

QJsonObject exceptionsJson(const ExceptionsReport &report) {
    QJsonObject codes;
    for (int code = 1; code <= 7; ++code)
        codes.insert(errorCodeKey(code), QJsonArray());
    for (const auto &[code, rows] : report.errorCodes)
        codes.insert(errorCodeKey(code), arrayOf(rows, pairJson));
    return {{QStringLiteral("since"), isoDate(report.since)},
            {QStringLiteral("until"), isoDate(report.until)},
            {QStringLiteral("longer_than_hours"), report.longerThanHours},
            {QStringLiteral("open_pairs"), arrayOf(report.openPairs, pairJson)},
            {QStringLiteral("error_codes"), codes},
            {QStringLiteral("schedule_violations"), arrayOf(report.scheduleViolations, pairJson)},
            {QStringLiteral("long_pairs"), arrayOf(report.longPairs, pairJson)},
            {QStringLiteral("unknown_badges"), arrayOf(report.unknownBadges, accessJson)},
            {QStringLiteral("refused_access"), arrayOf(report.refusedAccess, accessJson)}};
}

std::vector<ExceptionsSection> exceptionsSections(const ExceptionsReport &report) {
    std::vector<ExceptionsSection> out;
    auto section = [&](const QString &title, int count, bool sub = false) -> ExceptionsSection & {
        out.push_back({QStringLiteral("%1 (%2)").arg(title).arg(count), count, sub, {}});
        return out.back();
    };
    ExceptionsSection &open =
        section(QStringLiteral("Pairs without an out punch"), int(report.openPairs.size()));
    for (const PairException &p : report.openPairs)
        open.rows.push_back(pairCells(p, QStringLiteral("no out punch")));

    int coded = 0;
    for (const auto &[code, rows] : report.errorCodes)
        coded += int(rows.size());
    section(QStringLiteral("Error codes"), coded);
    for (const auto &[code, rows] : report.errorCodes) {
        ExceptionsSection &s =
            section(QStringLiteral("%1 %2").arg(code).arg(errorCodeName(code)), int(rows.size()), true);
        for (const PairException &p : rows)
            s.rows.push_back(pairCells(p, p.hours ? hoursText(*p.hours) + QStringLiteral(" h") : QString()));
    }

    ExceptionsSection &sched =
        section(QStringLiteral("Schedule violations"), int(report.scheduleViolations.size()));
    for (const PairException &p : report.scheduleViolations)
        sched.rows.push_back(pairCells(p, scheduleDetail(p)));

    ExceptionsSection &longer =
        section(QStringLiteral("Pairs longer than %1 hours").arg(report.longerThanHours),
                int(report.longPairs.size()));
    for (const PairException &p : report.longPairs)
        longer.rows.push_back(pairCells(p, hoursText(*p.span) + QStringLiteral(" h from in to out")));

    ExceptionsSection &unknown = section(QStringLiteral("Unknown badges"), int(report.unknownBadges.size()));
    for (const AccessException &a : report.unknownBadges)
        unknown.rows.push_back(accessCells(a));
    ExceptionsSection &refused = section(QStringLiteral("Refused access"), int(report.refusedAccess.size()));
    for (const AccessException &a : report.refusedAccess)
        refused.rows.push_back(accessCells(a));
    return out;
}

QString exceptionsTitle(const ExceptionsReport &report) {
    return QStringLiteral("Exceptions %1 to %2")
        .arg(formatIsoDate(report.since), formatIsoDate(report.until));
}

} // namespace hx
