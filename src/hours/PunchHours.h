#pragma once
// The working state of one PUNCH row while it is recalculated, the lookups of
// one run, and the hours steps (rounding, hours, custom hours, differential,
// lunch), used by the recalculation driver.
#include "hours/CustomRounding.h"
#include "hours/Schedule.h"

#include <QString>
#include <QVariant>
#include <bitset>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace hx {

enum class RoundingMode { None, Quarter, Slant, Tenth, Custom };

// The rule strRounding, compared exactly (case and spaces count).
RoundingMode roundingModeOf(const QString &rule);

// Int((t × 1440 + k) / q) × q / 1440 in double precision: the time t (a day
// fraction) moved onto a mark every q minutes, k minutes deciding the side.
double roundToMark(double t, double q, double k);

// A working time as stored: its time of day (a rounding that reached 24:00
// is kept as 00:00).
double storedTimeOfDay(double t);

// A stored working time read back: 00:00 beside a raw punch after noon is the
// midnight that ends the punch's day (1.0), the only value past the day a
// rounding mark can reach; anything else is the time of day as stored.
double workingTimeOf(double stored, std::optional<double> rawPunch);

// A time given as text in a qualification (IREVLOW, "7:30 AM"): its time value.
struct RevisionTime {
    QString text;
    std::optional<double> value; // Null when the text is empty or not a time
};

// The columns of an employee's department qualification that the hours use.
struct DeptQual {
    QString deptName;
    QVariant otRules;
    QVariant payRate;
    RevisionTime inLow, inHigh, outLow, outHigh;
    QVariant useDiff;
    double lunchLen = 0; // numeric value of the LUNCHLEN text
    double lunchAt = 0;  // numeric value of the LUNCH AT text
};

// Lookups that cannot change during one run, read once and kept.
class RunLookups {
public:
    // Takes the rules the run needs from gTCRules.
    RunLookups();

    RoundingMode rounding = RoundingMode::None;
    bool upToMinute = false;
    bool autoLunchByDay = false;
    int lowWarning = 0;
    int highWarning = 0;
    int taskAs = 0;

    // The employee's badge (EMPLOYEE.CLOCK ID), 0 when unknown or Null.
    int32_t badgeOf(std::optional<int32_t> employeeId);
    // The first qualification (by ID) of the employee for the department; the
    // name is matched without regard to case. nullptr when there is none.
    const DeptQual *deptQual(std::optional<int32_t> employeeId, const QString &deptName);
    bool jobExists(double jobNumber);
    bool taskExists(double taskNumber);

    // The statements behind the lookups, named as the step reached when one fails.
    static const QString &deptQualSql();
    static const QString &jobSql();
    static const QString &taskSql();

    ScheduleCache schedules;
    CustomTables custom;

private:
    std::unordered_map<int32_t, int32_t> m_badges;
    std::unordered_map<int32_t, std::vector<DeptQual>> m_quals;
    std::unordered_map<double, bool> m_jobs;
    std::unordered_map<double, bool> m_tasks;
};

// Typed values of one row during its recalculation, with a mark on every
// written column so that a failure part way saves exactly what was reached.
struct HoursState {
    enum Field {
        AdjustedDate,
        TimeIn,
        TimeOut,
        Odow,
        OtRules,
        PayRate,
        DeptHours,
        UseDiff,
        LunchLen,
        LunchAt,
        ErrorCode,
        InCode,
        OutCode,
        FieldCount
    };

    std::optional<double> inDate;
    std::optional<double> inTime;
    std::optional<double> outTime;
    std::optional<double> adjustedDate;
    std::optional<double> timein;
    std::optional<double> timeout;
    std::optional<int> odow;
    QVariant otRules;
    QVariant payRate;
    std::optional<double> deptHours;
    bool useDiff = false;
    double lunchLen = 0;
    double lunchAt = 0;
    int errorCode = 0;
    std::optional<int> inCode;
    std::optional<int> outCode;
    std::bitset<FieldCount> written;

    template <class T, class V> void set(Field f, T &member, V &&value) {
        member = std::forward<V>(value);
        written.set(f);
    }
};

// The in and out revision windows of the qualification applied to the
// working times. Raises when a window's text is not a time.
void applyRevisions(HoursState &s, const DeptQual &dq);

// The hours steps on the working times in s: rounding, counting an open pair
// up to now, the hours from the weekdays and times, custom hours, the shift
// differential, lunch, two decimals. `step` names the step reached. Raises on
// failure, leaving in s what was reached.
void computeDeptHours(HoursState &s, const DeptQual *dq, RunLookups &lookups, QString &step);

} // namespace hx
