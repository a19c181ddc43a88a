#pragma once
// Schedule violation codes of a scheduled pair: each punch compared with the
// windows of its own weekday in the SCHEDULE row, then folded with the
// excuses into the pair's ERRORCODE.
#include <QString>
#include <QVariant>
#include <array>
#include <cstdint>
#include <optional>
#include <unordered_map>

namespace hx {

namespace PunchCode {
constexpr int None = 0, Early = 1, Late = 2, NotScheduled = 3, Missing = 4;
}

// One window column of a SCHEDULE row: its time of day, or why it cannot be
// read (raised only when the check needs that column).
struct ScheduleTime {
    std::optional<double> value;
    QString error;
};

// The scheduled, earliest and latest time of one kind of punch on one day.
struct ScheduleWindow {
    ScheduleTime scheduled, earliest, latest;
};

// The window columns of one SCHEDULE row, by weekday (Sunday first) and kind:
// 0 shift start, 1 lunch in, 2 shift end, 3 lunch out.
struct ScheduleRow {
    std::array<std::array<ScheduleWindow, 4>, 7> days;
};

// SCHEDULE rows read once per run; a number without a row is kept as such.
class ScheduleCache {
public:
    // nullptr when there is no row; raises HxError when the row cannot be read.
    const ScheduleRow *find(int32_t scheduleNumber);
    static std::optional<ScheduleRow> read(int32_t scheduleNumber);

private:
    std::unordered_map<int32_t, std::optional<ScheduleRow>> m_rows;
};

// The PUNCH columns the check reads; InCode, OutCode and ERRORCODE are
// written back into this struct.
struct SchedulePunch {
    int32_t schedule = 0;
    std::optional<double> inDate;
    std::optional<double> inTime;
    std::optional<double> outTime;
    std::optional<int> odow;
    std::optional<int> inPunchType;
    std::optional<int> outPunchType;
    bool inExcused = false;
    bool outExcused = false;
    std::optional<int> inCode;
    std::optional<int> outCode;
    int errorCode = 0;
};

// Sets InCode and OutCode (0 none, 1 early, 2 late, 3 not scheduled,
// 4 missing) and folds them into ERRORCODE (7: violation not excused). An
// earliest or latest window that is Null counts as not set. A failure is
// reported and leaves the codes as far as they got. Without a cache the
// SCHEDULE row is read anew.
void SetSchedule(SchedulePunch &punch, ScheduleCache *cache = nullptr);

// "U", "M", "E", "W", "H", "R", "A" for weekday 1 (Sunday) to 7.
QString scheduleDayLetter(int weekdayNumber);

} // namespace hx
