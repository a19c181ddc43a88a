#include "hours/PunchHours.h"

#include "component/Clock.h"
#include "component/DateTime.h"
#include "component/Numbers.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "rules/clsTCrules.h"

#include <cmath>

namespace hx {
namespace {

const QString kSelectBadge =
    QStringLiteral("SELECT \"CLOCK ID\" FROM \"EMPLOYEE\" WHERE \"EMPLOYEE ID\" = ?");
const QString kSelectQuals =
    QStringLiteral("SELECT \"DEPT NAME\", \"OTRULES\", \"PAYRATE\", \"IREVLOW\", \"IREVHI\", \"OREVLOW\", "
                   "\"OREVHI\", \"UseDiff\", \"LUNCHLEN\", \"LUNCH AT\" FROM \"DEPTQUAL\" "
                   "WHERE \"EMPLOYEE ID\" = ? ORDER BY \"ID\"");
const QString kSelectJob = QStringLiteral("SELECT 1 FROM \"JOB\" WHERE \"JOB NUMBER\" = ?");
const QString kSelectTask = QStringLiteral("SELECT 1 FROM \"TASK\" WHERE \"TASK NUMBER\" = ?");

RevisionTime revisionTime(const QVariant &v) {
    RevisionTime t;
    t.text = strNullToText(v);
    if (!t.text.isEmpty())
        if (auto d = parseDateTime(t.text)) t.value = timePart(*d);
    return t;
}

// The time value of a revision text; a text that is not a time fails the row.
double revisionValue(const RevisionTime &t) {
    if (!t.value) throw HxError(QStringLiteral("Type mismatch"), ErrNo::TypeMismatch);
    return *t.value;
}

bool bothSet(const RevisionTime &a, const RevisionTime &b) {
    return !a.text.isEmpty() && !b.text.isEmpty();
}

} // namespace

RoundingMode roundingModeOf(const QString &rule) {
    if (rule == QLatin1String("Custom")) return RoundingMode::Custom;
    if (rule == QLatin1String("Tenth Hour")) return RoundingMode::Tenth;
    if (rule == QLatin1String("Slant Hour")) return RoundingMode::Slant;
    if (rule == QLatin1String("Quarter Hour")) return RoundingMode::Quarter;
    return RoundingMode::None;
}

double roundToMark(double t, double q, double k) {
    return std::floor((t * 1440.0 + k) / q) * q / 1440.0;
}

double storedTimeOfDay(double t) {
    return t - std::floor(t);
}

double workingTimeOf(double stored, std::optional<double> rawPunch) {
    const double t = timePart(stored);
    if (t == 0.0 && rawPunch && timePart(*rawPunch) >= 0.5) return 1.0;
    return t;
}

// ---------------------------------------------------------------- lookups

const QString &RunLookups::deptQualSql() {
    return kSelectQuals;
}
const QString &RunLookups::jobSql() {
    return kSelectJob;
}
const QString &RunLookups::taskSql() {
    return kSelectTask;
}

RunLookups::RunLookups() {
    const clsTCrules &r = rules();
    rounding = roundingModeOf(r.strRounding);
    upToMinute = r.blnUpToMin;
    autoLunchByDay = r.blnAutoLunchByDay;
    lowWarning = r.intLowWarning;
    highWarning = r.intHighWarning;
    taskAs = r.intTaskAs;
}

int32_t RunLookups::badgeOf(std::optional<int32_t> employeeId) {
    if (!employeeId) return 0;
    auto it = m_badges.find(*employeeId);
    if (it != m_badges.end()) return it->second;
    int32_t badge = 0;
    if (auto v = conn().firstValue(kSelectBadge, {*employeeId})) badge = lngNullToZero(*v);
    m_badges.emplace(*employeeId, badge);
    return badge;
}

const DeptQual *RunLookups::deptQual(std::optional<int32_t> employeeId, const QString &deptName) {
    if (!employeeId) return nullptr;
    auto it = m_quals.find(*employeeId);
    if (it == m_quals.end()) {
        std::vector<DeptQual> quals;
        Recordset rs = conn().openRecordset(kSelectQuals, {*employeeId});
        for (; !rs.eof(); rs.moveNext()) {
            DeptQual q;
            q.deptName = strNullToText(rs.value(0));
            q.otRules = rs.value(1);
            q.payRate = rs.value(2);
            q.inLow = revisionTime(rs.value(3));
            q.inHigh = revisionTime(rs.value(4));
            q.outLow = revisionTime(rs.value(5));
            q.outHigh = revisionTime(rs.value(6));
            q.useDiff = rs.value(7);
            q.lunchLen = lenientVal(strNullToText(rs.value(8)));
            q.lunchAt = lenientVal(strNullToText(rs.value(9)));
            quals.push_back(std::move(q));
        }
        it = m_quals.emplace(*employeeId, std::move(quals)).first;
    }
    for (const DeptQual &q : it->second)
        if (q.deptName.compare(deptName, Qt::CaseInsensitive) == 0) return &q;
    return nullptr;
}

bool RunLookups::jobExists(double jobNumber) {
    auto it = m_jobs.find(jobNumber);
    if (it == m_jobs.end())
        it = m_jobs.emplace(jobNumber, conn().firstValue(kSelectJob, {jobNumber}).has_value()).first;
    return it->second;
}

bool RunLookups::taskExists(double taskNumber) {
    auto it = m_tasks.find(taskNumber);
    if (it == m_tasks.end())
        it = m_tasks.emplace(taskNumber, conn().firstValue(kSelectTask, {taskNumber}).has_value()).first;
    return it->second;
}

// ---------------------------------------------------------------- qualification

void applyRevisions(HoursState &s, const DeptQual &dq) {
    // An in punch inside the in window counts from its end, an out punch
    // inside the out window from its start.
    if (bothSet(dq.inLow, dq.inHigh)) {
        const double low = revisionValue(dq.inLow), high = revisionValue(dq.inHigh);
        if (s.timein && low <= *s.timein && *s.timein <= high) s.set(HoursState::TimeIn, s.timein, high);
    }
    if (bothSet(dq.outLow, dq.outHigh)) {
        const double low = revisionValue(dq.outLow), high = revisionValue(dq.outHigh);
        if (s.timeout && low <= *s.timeout && *s.timeout <= high) s.set(HoursState::TimeOut, s.timeout, low);
    }
}

// ---------------------------------------------------------------- hours

void computeDeptHours(HoursState &s, const DeptQual *dq, RunLookups &lk, QString &step) {
    if (s.timein && s.timeout) {
        auto fixed = [&](double q, double kIn, double kOut) {
            s.set(HoursState::TimeIn, s.timein, roundToMark(*s.timein, q, kIn));
            s.set(HoursState::TimeOut, s.timeout, roundToMark(*s.timeout, q, kOut));
        };
        switch (lk.rounding) {
        case RoundingMode::Custom:
            step = QStringLiteral("Custom Rnd");
            s.set(HoursState::TimeIn, s.timein, CustomRound(*s.timein, 2, &lk.custom));
            s.set(HoursState::TimeOut, s.timeout, CustomRound(*s.timeout, 3, &lk.custom));
            break;
        case RoundingMode::Tenth:
            step = QStringLiteral("Tenth Hr");
            fixed(6, 0.5, 0.5);
            break;
        case RoundingMode::Slant:
            step = QStringLiteral("Slant Hr");
            fixed(15, 10, 5);
            break;
        case RoundingMode::Quarter:
            step = QStringLiteral("Q Hr Rounding");
            fixed(15, 7.5, 7.5);
            break;
        case RoundingMode::None:
            break;
        }
    }

    // An open pair runs up to the current minute.
    if (!s.timeout && lk.upToMinute) {
        const double now = Clock::nowSerial();
        s.set(HoursState::Odow, s.odow, weekday(now));
        s.set(HoursState::TimeOut, s.timeout, timeSerial(hour(now), minute(now), 0));
    }

    step = QStringLiteral("Dept Hrs");
    std::optional<double> hours;
    if (s.odow && s.inDate && s.timein && s.timeout) {
        const int days = (*s.odow - weekday(*s.inDate) + 7) % 7;
        hours = double(days * 24) + (*s.timeout - *s.timein) * 24.0;
    }
    s.set(HoursState::DeptHours, s.deptHours, hours);

    step = QStringLiteral("Dept Hrs = Custom");
    if (s.deptHours) s.set(HoursState::DeptHours, s.deptHours, double(CustomHrs(*s.deptHours, &lk.custom)));

    step = QStringLiteral("Use Diff");
    s.set(HoursState::UseDiff, s.useDiff, dq && !isNullOrEmpty(dq->useDiff) && toBoolean(dq->useDiff));

    if (dq) {
        step = QStringLiteral("DQ Lunch");
        s.set(HoursState::LunchLen, s.lunchLen, 0.0);
        s.set(HoursState::LunchAt, s.lunchAt, 0.0);
        if (!lk.autoLunchByDay && s.deptHours && *s.deptHours >= dq->lunchAt && dq->lunchLen > 0) {
            s.set(HoursState::LunchLen, s.lunchLen, dq->lunchLen);
            s.set(HoursState::DeptHours, s.deptHours, *s.deptHours - dq->lunchLen / 60.0);
            s.set(HoursState::LunchAt, s.lunchAt, dq->lunchAt);
        }
    } else {
        step = QStringLiteral("DQ no lunch");
        s.set(HoursState::LunchLen, s.lunchLen, 0.0);
        s.set(HoursState::LunchAt, s.lunchAt, 0.0);
    }

    step = QStringLiteral("Round Dept Hrs");
    if (s.deptHours)
        s.set(HoursState::DeptHours, s.deptHours, std::floor(*s.deptHours * 100.0 + 0.5) / 100.0);
}

} // namespace hx
