#include "hours/Schedule.h"

#include "component/DateTime.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "messages/LogFiles.h"

namespace hx {
namespace {

const QString kSelectSchedule = QStringLiteral("SELECT * FROM \"SCHEDULE\" WHERE \"ScheduleNumber\" = ?");

// Column names of each kind: scheduled, earliest, latest.
const char *const kWindowNames[4][3] = {
    {"SchIn", "EarlyIn", "LateIn"},
    {"SchLunchIn", "EarlyLunchIn", "LateLunchIn"},
    {"SchOut", "EarlyOut", "LateOut"},
    {"SchLunchOut", "EarlyLunchOut", "LateLunchOut"},
};

ScheduleTime readWindowColumn(const Recordset &rs, const QString &name) {
    ScheduleTime t;
    try {
        if (auto v = toDateTimeOpt(rs.value(name))) t.value = timePart(*v);
    } catch (const HxError &e) {
        rethrowIfFatal(e);
        t.error = e.description();
    }
    return t;
}

double required(const ScheduleTime &t) {
    if (!t.error.isEmpty()) throw HxError(t.error, ErrNo::TypeMismatch);
    return *t.value;
}

// An earliest or latest time counts when the column holds a time of day; a
// Null (and the zero date 31 December 1899) does not.
std::optional<double> windowLimit(const ScheduleTime &t) {
    if (!t.error.isEmpty()) throw HxError(t.error, ErrNo::TypeMismatch);
    if (!t.value || *t.value == kDateZeroRule) return std::nullopt;
    return t.value;
}

// The four tests of one side; returns the new code, or `current` when none fires.
int sideCode(const ScheduleWindow &w, const std::optional<double> &punch, int current) {
    if (w.scheduled.error.isEmpty() && !w.scheduled.value) return PunchCode::NotScheduled;
    required(w.scheduled);
    if (!punch) return PunchCode::Missing;
    if (auto e = windowLimit(w.earliest); e && *punch < *e) return PunchCode::Early;
    if (auto l = windowLimit(w.latest); l && *punch > *l) return PunchCode::Late;
    return current;
}

int dayIndex(int weekdayNumber) {
    if (weekdayNumber < 1 || weekdayNumber > 7)
        throw HxError(QStringLiteral("Invalid procedure call or argument"), ErrNo::InvalidProcedureCall);
    return weekdayNumber - 1;
}

} // namespace

QString scheduleDayLetter(int weekdayNumber) {
    static const char kLetters[] = "UMEWHRA";
    return QString(QLatin1Char(kLetters[dayIndex(weekdayNumber)]));
}

std::optional<ScheduleRow> ScheduleCache::read(int32_t scheduleNumber) {
    Recordset rs = conn().openRecordset(kSelectSchedule, {scheduleNumber});
    if (!blnHasRecords(rs)) return std::nullopt;
    ScheduleRow row;
    for (int d = 1; d <= 7; ++d)
        for (int k = 0; k < 4; ++k) {
            const QString prefix = scheduleDayLetter(d);
            ScheduleWindow &w = row.days[size_t(d - 1)][size_t(k)];
            w.scheduled = readWindowColumn(rs, prefix + QLatin1String(kWindowNames[k][0]));
            w.earliest = readWindowColumn(rs, prefix + QLatin1String(kWindowNames[k][1]));
            w.latest = readWindowColumn(rs, prefix + QLatin1String(kWindowNames[k][2]));
        }
    return row;
}

const ScheduleRow *ScheduleCache::find(int32_t scheduleNumber) {
    auto it = m_rows.find(scheduleNumber);
    if (it == m_rows.end()) it = m_rows.emplace(scheduleNumber, read(scheduleNumber)).first;
    return it->second ? &*it->second : nullptr;
}

void SetSchedule(SchedulePunch &p, ScheduleCache *cache) {
    QString step = QStringLiteral("begin");
    try {
        // A punch still missing keeps the mark of the scheduled pair; every
        // other code is found afresh.
        if (!(!p.inTime && p.inCode == PunchCode::Missing)) p.inCode = PunchCode::None;
        if (!(!p.outTime && p.outCode == PunchCode::Missing)) p.outCode = PunchCode::None;

        step = kSelectSchedule;
        ScheduleCache local;
        const ScheduleRow *row = (cache ? cache : &local)->find(p.schedule);
        if (row) {
            if (!p.inDate) throw HxError(QStringLiteral("Invalid use of Null"), ErrNo::InvalidUseOfNull);
            const int inDay = weekday(*p.inDate);
            step = QStringLiteral("In dow=") + scheduleDayLetter(inDay);
            if (p.inPunchType == 0 || p.inPunchType == 1) {
                step = *p.inPunchType == 0 ? QStringLiteral("Shift start") : QStringLiteral("Lunch in");
                const ScheduleWindow &w = row->days[size_t(dayIndex(inDay))][size_t(*p.inPunchType)];
                p.inCode = sideCode(w, p.inTime, *p.inCode);
            }
            if (p.odow && *p.odow != 0) {
                step = QStringLiteral("O dow=") + scheduleDayLetter(*p.odow);
                if (p.outPunchType == 0 || p.outPunchType == 1) {
                    step = *p.outPunchType == 0 ? QStringLiteral("Shift end") : QStringLiteral("Lunch out");
                    const int kind = 2 + *p.outPunchType;
                    const ScheduleWindow &w = row->days[size_t(dayIndex(*p.odow))][size_t(kind)];
                    p.outCode = sideCode(w, p.outTime, *p.outCode);
                }
            }
        }

        step = QStringLiteral("general violations");
        const bool inClear = *p.inCode == PunchCode::None || p.inExcused;
        const bool outClear = *p.outCode == PunchCode::None || p.outExcused;
        switch (p.errorCode) {
        case 0:
        case 7:
            p.errorCode = inClear && outClear ? 0 : 7;
            break;
        case 1:
            if (p.inExcused) p.errorCode = outClear ? 0 : 7;
            break;
        case 2:
            if (p.outExcused) p.errorCode = inClear ? 0 : 7;
            break;
        case 4:
            if (p.inExcused) p.errorCode = outClear ? 0 : 7;
            if (p.outExcused) p.errorCode = inClear ? 0 : 7;
            break;
        default:
            break;
        }
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(QStringLiteral("SetSchedule"), step, errorDescription(e));
    }
}

} // namespace hx
