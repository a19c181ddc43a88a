#pragma once
#include <cstdint>

namespace hx {

// The time of day at which the working day of the employee with this badge
// begins: the rule dtmDayStart, or the employee's SORT2 when the rule strSort2
// is exactly "Day_Start". Only the time-of-day part is returned.
double dtmEmployeeDayStart(int32_t badge);

} // namespace hx
