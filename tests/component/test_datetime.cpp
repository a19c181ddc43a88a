#include "component/DateTime.h"

#include "component/Error.h"
#include "support/TestSupport.h"

#include <array>
#include <bit>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace hx;
using hx::test::errorNumberOf;

namespace {
const double kApr26 = 39198.0; // 26 April 2007

double at(int y, int mo, int d, int h, int mi, int s) {
    return dateSerial(y, mo, d) + timeSerial(h, mi, s);
}
} // namespace

TEST(DateSerial, CountsFromTheEpochAndRollsOver) {
    EXPECT_EQ(dateSerial(2007, 4, 26), kApr26);
    // {y, m, d} rolls over to {y, m, d}
    for (const auto &[a, b] : {std::pair{std::array{2007, 1, 32}, std::array{2007, 2, 1}},
                               {{2008, 3, 0}, {2008, 2, 29}}, {{2007, -1, 1}, {2006, 11, 1}},
                               {{2007, 4, -1}, {2007, 3, 30}}, {{2007, 25, 1}, {2009, 1, 1}},
                               {{10000, 1, 0}, {9999, 12, 31}}, {{2007, 4 + 4800, 26}, {2407, 4, 26}}})
        EXPECT_EQ(dateSerial(a[0], a[1], a[2]), dateSerial(b[0], b[1], b[2])) << a[0] << "-" << a[1] << "-" << a[2];
    EXPECT_EQ(timeSerial(7, 60, 0), timeSerial(8, 0, 0));
    EXPECT_EQ(timeSerial(8, -1, 0), timeSerial(7, 59, 0));
    EXPECT_EQ(timeSerial(24, 0, 0), 1.0);
    EXPECT_EQ(formatIsoDateTime(timeSerial(25, 30, 0)), QStringLiteral("1899-12-31 01:30:00"));
}

TEST(DateParts, SplitValuesTheWayDayCountsAreRead) {
    const double v = at(2007, 4, 26, 17, 17, 9);
    EXPECT_EQ(year(v) * 10000 + month(v) * 100 + day(v), 20070426);
    EXPECT_EQ(hour(v) * 10000 + minute(v) * 100 + second(v), 171709);
    EXPECT_EQ(datePart(v), kApr26);
    EXPECT_EQ(toSeconds(timePart(v)), 17 * 3600 + 17 * 60 + 9);
    EXPECT_EQ(weekday(kApr26 + timeSerial(23, 59, 59)), 5); // Thursday; Sunday is 1
    EXPECT_EQ(weekday(dateSerial(2007, 4, 22)), 1);

    // A hair short of the next second or day reads as that second or day.
    EXPECT_EQ(second(kApr26 + (17 * 3600 + 17 * 60 + 9.6) / kSecondsPerDay), 10);
    const double nearlyMidnight = kApr26 + 86399.6 / kSecondsPerDay;
    EXPECT_EQ(datePart(nearlyMidnight), kApr26 + 1);
    EXPECT_EQ(formatIsoDateTime(nearlyMidnight), QStringLiteral("2007-04-27 00:00:00"));

    // Before day 0 the whole part counts back and the fraction still counts forward.
    EXPECT_EQ(timePart(-1.25), 0.25);
    EXPECT_EQ(formatIsoDateTime(-1.25), QStringLiteral("1899-12-29 06:00:00"));
    EXPECT_EQ(parseDateTime(u"1899-12-29 06:00:00"), -1.25);
    EXPECT_EQ(parseDateTime(u"12/29/1899 6:00 PM"), -1.75);
    EXPECT_EQ(fromQDateTime(QDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);
    EXPECT_EQ(joinDateTime(-1.0, 0.25), -1.25);
}

TEST(DateDiff, CountsBoundariesCrossed) {
    EXPECT_EQ(dateDiffMinutes(at(2007, 4, 26, 8, 0, 59), at(2007, 4, 26, 8, 2, 0)), 2);
    EXPECT_EQ(dateDiffMinutes(at(2007, 4, 26, 8, 2, 0), at(2007, 4, 26, 8, 0, 59)), -2);
    EXPECT_EQ(dateDiffMinutes(at(2007, 4, 26, 22, 0, 0), at(2007, 4, 27, 6, 0, 0)), 8 * 60);
    EXPECT_EQ(dateDiffHours(at(2007, 4, 26, 8, 59, 59), at(2007, 4, 26, 9, 0, 0)), 1);
    EXPECT_EQ(dateDiffDays(at(2007, 4, 26, 23, 59, 0), at(2007, 4, 27, 0, 1, 0)), 1);
    EXPECT_EQ(dateDiffDays(at(2007, 4, 26, 0, 0, 0), at(2007, 4, 26, 23, 59, 59)), 0);
}

TEST(DateFormats, EveryTextForm) {
    const double pm = at(2007, 4, 26, 17, 17, 9), midnight = at(2007, 1, 5, 0, 5, 0),
                 noon = at(2007, 1, 5, 12, 0, 0);
    const struct {
        QString (*format)(double);
        double value;
        const char *text;
    } rows[] = {
        {formatMmDdYyyy, pm, "04/26/2007"},           {formatLogTime, midnight, "12:05 AM"},
        {formatLogTime, noon, "12:00 PM"},            {formatPollDate, pm, "04/26/07 05:17:09 pm"},
        {formatSortKey, pm, "20070426171709"},        {formatShortTime, midnight, "12:05a"},
        {formatGeneralDate, pm, "4/26/2007 5:17:09 PM"},
        {formatGeneralDate, dateSerial(2007, 1, 5), "1/5/2007"}, // a zero part is left out
    };
    for (const auto &r : rows)
        EXPECT_EQ(r.format(r.value), QLatin1String(r.text)) << r.text;
}

TEST(ParseDateTime, ReadsTheFormsTheDataHolds) {
    const struct {
        const char *text;
        double value;
    } good[] = {
        {"2007-04-26", kApr26},
        {"2007-04-26 17:17:09", at(2007, 4, 26, 17, 17, 9)},
        {"2007-04-26T17:17:09", at(2007, 4, 26, 17, 17, 9)},
        {"4/26/2007", kApr26},
        {"1/1/29", dateSerial(2029, 1, 1)},
        {"1/1/30", dateSerial(1930, 1, 1)}, // two-digit years: 2029, then 1930
        {"4/26/2007 5:17 PM", at(2007, 4, 26, 17, 17, 0)},
        {"04:30", timeSerial(4, 30, 0)},      {"7:30 AM", timeSerial(7, 30, 0)},
        {"7:30PM", timeSerial(19, 30, 0)},    {"5:17p", timeSerial(17, 17, 0)},
        {"12:15 am", timeSerial(0, 15, 0)},   {"12:45p", timeSerial(12, 45, 0)},
    };
    for (const auto &g : good) {
        const auto v = parseDateTime(QString::fromLatin1(g.text));
        ASSERT_TRUE(v.has_value()) << g.text;
        EXPECT_EQ(toSeconds(*v), toSeconds(g.value)) << g.text;
        EXPECT_EQ(datePart(*v), datePart(g.value)) << g.text; // a time alone has date part 0
    }
    // The last two: days the calendar type knows but a value cannot hold.
    for (const char *bad : {"", "abc", "13:00 PM", "0:30 AM", "24:00", "7:60", "2/30/2007", "13/1/2007",
                            "4/26/2007 noon", "17:17:09 extra", "4/26", "0099-12-31", "0001-01-01 06:00:00"})
        EXPECT_FALSE(parseDateTime(QString::fromLatin1(bad)).has_value()) << bad;
}

TEST(DayCounts, NaNInfiniteAndOutOfRangeValuesRaiseOverflow) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {std::nan(""), inf, -inf, 1e300, -1e300, kMaxDay + 1.0, kMinDay - 1.0}) {
        EXPECT_EQ(errorNumberOf([=] { toQDate(bad); }), ErrNo::Overflow) << bad;
        EXPECT_EQ(errorNumberOf([=] { datePart(bad); }), ErrNo::Overflow) << bad;
        EXPECT_EQ(errorNumberOf([=] { toSeconds(bad); }), ErrNo::Overflow) << bad;
        EXPECT_EQ(errorNumberOf([=] { weekday(bad); }), ErrNo::Overflow) << bad;
        EXPECT_EQ(errorNumberOf([=] { formatIsoDateTime(bad); }), ErrNo::Overflow) << bad;
        EXPECT_FALSE(isValidSerial(bad)) << bad;
    }
    // The first and the last day, up to the last second.
    EXPECT_EQ(dateSerial(100, 1, 1), kMinDay);
    EXPECT_EQ(dateSerial(9999, 12, 31), kMaxDay);
    EXPECT_EQ(formatIsoDateTime(kMinDay - 0.5), QStringLiteral("0100-01-01 12:00:00"));
    EXPECT_EQ(formatIsoDateTime(kMaxDay + 86399.0 / kSecondsPerDay), QStringLiteral("9999-12-31 23:59:59"));
    // Half a second short of year 10000 rounds into it, which is out of range too.
    EXPECT_EQ(errorNumberOf([] { formatIsoDate(kMaxDay + 86399.6 / kSecondsPerDay); }), ErrNo::Overflow);
    const int big = std::numeric_limits<int>::max();
    for (auto [y, m, d] : {std::tuple{10000, 1, 1}, {9999, 13, 1}, {99, 12, 31}, {0, 1, 1}, {2007, 1, 1 << 30},
                           {big, big, 1}})
        EXPECT_EQ(errorNumberOf([=] { dateSerial(y, m, d); }), ErrNo::Overflow) << y << "-" << m << "-" << d;
}

// The storage forms are read by a shortcut; a leading space sends the same
// text down the general patterns, which must agree to the last bit. They are
// written by hand, and must read as Qt writes them (the calendar on every
// 61st day of the range).
TEST(DateTimeTest, TheStorageFormsAgreeWithTheGeneralPatternsAndWithQt) {
    for (const char *t : {"2007-02-29", "2008-02-29", "1899-12-29", "0100-01-01", "0099-12-31", "9999-12-31",
                          "2007-13-01", "2007-04-31", "23:59:59", "24:00:00", "12:60:00", "2007-04-26 24:00:00",
                          "1899-12-29 06:00:00", "2007-04-26T08:00:00", "2007-4-26", "2007-04-26 8:00:00",
                          "2007-04-26 08:00", "07:52", "1x:00:00", "2007-04-26 08:00:0x", "2007-04-26  08:00:00"}) {
        const QString text = QString::fromLatin1(t);
        const std::optional<double> fast = parseDateTime(text);
        const std::optional<double> general = parseDateTime(QLatin1Char(' ') + text);
        ASSERT_EQ(fast.has_value(), general.has_value()) << t;
        if (fast) {
            EXPECT_EQ(std::bit_cast<uint64_t>(*fast), std::bit_cast<uint64_t>(*general)) << t;
        }
    }
    for (double d : {kApr26, kMinDay, kMaxDay, 0.0, -1.0, dateSerial(2000, 2, 29),
                     dateSerial(1000, 10, 5) + timeSerial(23, 59, 59), -1.75, 39198.999994}) {
        EXPECT_EQ(formatIsoDate(d), toQDate(d).toString(Qt::ISODate)) << d;
        EXPECT_EQ(formatIsoTime(d), toQTime(d).toString(QStringLiteral("HH:mm:ss"))) << d;
    }
    for (double d = kMinDay; d <= kMaxDay; d += 61.0)
        ASSERT_EQ(formatIsoDate(d), toQDate(d).toString(Qt::ISODate)) << d;
}
