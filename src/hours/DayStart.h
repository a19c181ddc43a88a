#pragma once
#include <cstdint>

namespace hx {

// The time of day at which the working day of the employee with this badge
// begins: the rule dtmDayStart, or the employee's SORT2 when the rule strSort2
// is exactly "Day_Start" and SORT2 reads as a date or time. Only the
// time-of-day part is returned, so an unset rule (31 December 1899, or the
// 1 January 1900 of a Null DAY START) means midnight.
//
// Posting asks this once per punch, so answers are kept per badge. The cache
// is dropped by resetDayStartCache() and whenever the connection, the rule
// dtmDayStart or the rule strSort2 differ from those it was filled under;
// RecalculateHours resets it at its start, and so should any other run that
// may follow a change of EMPLOYEE.SORT2.
double dtmEmployeeDayStart(int32_t badge);

// Forgets every kept day start.
void resetDayStartCache();

} // namespace hx
