#pragma once
// The one clock of the program. Every reading of the current date and time
// goes through here so that a run can be pinned to a fixed moment
// (--now "YYYY-MM-DD HH:MM:SS" or HXPOLLLOG_NOW).
#include <QDateTime>
#include <optional>

namespace hx::Clock {

// Local wall-clock time, seconds precision.
QDateTime now();
// Day-count form of now() (day 0 = 30 December 1899).
double nowSerial();
// Today's date at midnight, day-count form.
double today();

// Fixes the clock; an empty optional lets it run again.
void setFixed(std::optional<QDateTime> moment);
// Parses "YYYY-MM-DD HH:MM:SS" (also "YYYY-MM-DDTHH:MM:SS"); false when malformed.
bool setFixedFromText(const QString &text);

} // namespace hx::Clock
