#pragma once
// Dates and times as day-count doubles: day 0 is 30 December 1899, the
// fraction is the time of day. 1.0 is 31 December 1899, 2.0 is 1 January 1900.
// A time of day has date part 0; a date has time part 0.
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <optional>

namespace hx {

constexpr double kSecondsPerDay = 86400.0;
// "1/1/1900": the value a Null date reads as.
constexpr double kNullDate = 2.0;
// 31 December 1899 00:00: the value of an unset date rule.
constexpr double kDateZeroRule = 1.0;
// The days a value may name: 1 January 100 to 31 December 9999. Anything
// outside, NaN and the infinities included, raises "Overflow" wherever a value
// is turned into a calendar date, a time or whole seconds.
constexpr double kMinDay = -657434.0;
constexpr double kMaxDay = 2958465.0;
bool isValidSerial(double serial);

// A date (its whole days) and a time of day joined into one value. Before
// day 0 the time still counts forward from midnight while the whole part
// counts back: 29 December 1899 06:00 is -1.25, not -0.75.
double joinDateTime(double date, double time);

double fromQDate(const QDate &d);
double fromQTime(const QTime &t);
double fromQDateTime(const QDateTime &dt);
QDate toQDate(double serial);
QTime toQTime(double serial);
QDateTime toQDateTime(double serial);

// Whole seconds of a day-count value, rounded to the nearest second.
qint64 toSeconds(double serial);
double fromSeconds(qint64 seconds);

// Date part (midnight) and time part (date 0) of a value.
double datePart(double serial);
double timePart(double serial);

// Calendar date from three numbers, with roll-over: day 32 of January is
// 1 February, month 13 is January of the next year, day 0 the last day of the
// month before, month 0 December of the year before. A date outside the
// valid days raises "Overflow".
double dateSerial(int year, int month, int day);
// Time of day from three numbers with roll-over (minute 60 is the next hour).
double timeSerial(int hour, int minute, int second);

int year(double serial);
int month(double serial);
int day(double serial);
int hour(double serial);
int minute(double serial);
int second(double serial);
// Weekday number, Sunday = 1 … Saturday = 7.
int weekday(double serial);

// Boundaries crossed from a to b (b later gives a positive count): both values
// are cut to the whole unit first, then subtracted.
qint64 dateDiffMinutes(double a, double b);
qint64 dateDiffHours(double a, double b);
qint64 dateDiffDays(double a, double b);

// Text forms.
QString formatMmDdYyyy(double serial);    // 04/26/2007
QString formatLogTime(double serial);     // 05:17 PM
QString formatPollDate(double serial);    // 04/26/07 05:17:09 pm
QString formatSortKey(double serial);     // 20070426171709
QString formatShortTime(double serial);   // 5:17p
QString formatGeneralDate(double serial); // 4/26/2007 5:17:09 PM, date or time alone when the other is 0
QString formatIsoDate(double serial);     // 2007-04-26
QString formatIsoTime(double serial);     // 17:17:09
QString formatIsoDateTime(double serial); // 2007-04-26 17:17:09

// Reads the forms the data holds: ISO dates, times and date-times
// ("2007-04-26", "17:17:09", "2007-04-26 17:17:09", "2007-04-26T17:17:09"),
// US dates "4/26/2007" and "4/26/07", and times "7:30 AM", "7:30PM", "04:30",
// "5:17p", alone or after a date. A time alone has date part 0.
std::optional<double> parseDateTime(QStringView text);
// The decimal number of the n characters of text from `at`; -1 when any of
// them is not a digit.
int decimalDigits(QStringView text, qsizetype at, qsizetype n);

} // namespace hx
