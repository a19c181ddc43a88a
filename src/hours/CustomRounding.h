#pragma once
// The site's own adjustments: minute windows that move punch times
// (CustomRound) and hours bands that map the hours of a pair (CustomHours).
#include <optional>
#include <vector>

namespace hx {

struct CustomRoundWindow {
    std::optional<double> minuteMin;
    std::optional<double> minuteMax;
    std::optional<double> newMinute;
    std::optional<double> appliesTo; // 1 in and out, 2 in only, 3 out only
};

struct CustomHoursBand {
    std::optional<double> hoursMin;
    std::optional<double> hoursMax;
    std::optional<double> multiply;
    std::optional<double> constant;
};

// The two tables read once and kept, for a run in which they cannot change.
// Rows are kept in key order ("ID"): where several rows fit, the one with the
// lowest ID wins. A table that cannot be read is not kept, so the next call
// tries again (and reports again).
class CustomTables {
public:
    // Raise HxError when the table cannot be read.
    const std::vector<CustomRoundWindow> &roundWindows();
    const std::vector<CustomHoursBand> &hoursBands();

    static std::vector<CustomRoundWindow> readRoundWindows();
    static std::vector<CustomHoursBand> readHoursBands();

private:
    std::optional<std::vector<CustomRoundWindow>> m_round;
    std::optional<std::vector<CustomHoursBand>> m_hours;
};

// A time of day (day fraction) moved by the first window that holds its minute
// and applies to the punch (appliesTo 2 for an in time, 3 for an out time),
// then rounded to the whole minute (30 seconds and more go up). Without a
// fitting window only the rounding to the minute happens. The result may leave
// the day (a window that rounds 23:55 up gives 1.0). Any failure is reported
// and the time is returned unchanged. Without tables the table is read anew.
double CustomRound(double time, int appliesTo, CustomTables *tables = nullptr);

// Hours mapped through the first band that holds them (both ends inclusive):
// hours × multiply + constant, in single precision. Without a band, and on any
// failure (reported), the hours unchanged in single precision.
float CustomHrs(double hours, CustomTables *tables = nullptr);

} // namespace hx
