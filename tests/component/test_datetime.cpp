#include "component/DateTime.h"

#include <gtest/gtest.h>

using namespace hx;

namespace {
const double kApr26 = 39198.0; // 26 April 2007

double at(int y, int mo, int d, int h, int mi, int s) {
    return dateSerial(y, mo, d) + timeSerial(h, mi, s);
}
} // namespace

TEST(DateSerial, CountsDaysFromTheEpochAndRollsOver) {
    EXPECT_EQ(dateSerial(1899, 12, 30), 0.0);
    EXPECT_EQ(dateSerial(1899, 12, 31), kDateZeroRule);
    EXPECT_EQ(dateSerial(1900, 1, 1), kNullDate);
    EXPECT_EQ(dateSerial(2007, 4, 26), kApr26);

    EXPECT_EQ(dateSerial(2007, 1, 32), dateSerial(2007, 2, 1));
    EXPECT_EQ(dateSerial(2007, 13, 1), dateSerial(2008, 1, 1));
    EXPECT_EQ(dateSerial(2007, 3, 0), dateSerial(2007, 2, 28));
    EXPECT_EQ(dateSerial(2008, 3, 0), dateSerial(2008, 2, 29));
    EXPECT_EQ(dateSerial(2007, 1, 0), dateSerial(2006, 12, 31));
    EXPECT_EQ(dateSerial(2007, 0, 1), dateSerial(2006, 12, 1));
    EXPECT_EQ(dateSerial(2007, -1, 1), dateSerial(2006, 11, 1));
    EXPECT_EQ(dateSerial(2007, 4, -1), dateSerial(2007, 3, 30));
    EXPECT_EQ(dateSerial(2007, 25, 1), dateSerial(2009, 1, 1));
}

TEST(TimeSerial, RollsOverIntoTheNextUnit) {
    EXPECT_EQ(timeSerial(7, 60, 0), timeSerial(8, 0, 0));
    EXPECT_EQ(timeSerial(0, 0, 90), timeSerial(0, 1, 30));
    EXPECT_EQ(timeSerial(8, -1, 0), timeSerial(7, 59, 0));
    EXPECT_EQ(timeSerial(24, 0, 0), 1.0);
    const double past = timeSerial(25, 30, 0);
    EXPECT_EQ(datePart(past), 1.0);
    EXPECT_EQ(formatIsoTime(past), QStringLiteral("01:30:00"));
}

TEST(DateParts, SplitValuesTheWayDayCountsAreRead) {
    const double v = at(2007, 4, 26, 17, 17, 9);
    EXPECT_EQ(year(v), 2007);
    EXPECT_EQ(month(v), 4);
    EXPECT_EQ(day(v), 26);
    EXPECT_EQ(hour(v), 17);
    EXPECT_EQ(minute(v), 17);
    EXPECT_EQ(second(v), 9);
    EXPECT_EQ(datePart(v), kApr26);
    EXPECT_EQ(toSeconds(timePart(v)), 17 * 3600 + 17 * 60 + 9);

    // A value a hair short of the next second or day is read as that second
    // or day, not cut down.
    const double nearlyTen = kApr26 + (17 * 3600 + 17 * 60 + 9.6) / kSecondsPerDay;
    EXPECT_EQ(second(nearlyTen), 10);
    const double nearlyMidnight = kApr26 + 86399.6 / kSecondsPerDay;
    EXPECT_EQ(formatIsoDateTime(nearlyMidnight), QStringLiteral("2007-04-27 00:00:00"));
    EXPECT_EQ(datePart(nearlyMidnight), kApr26 + 1);

    // Before the epoch the whole part counts days and the fraction is the time.
    EXPECT_EQ(datePart(-1.25), -1.0);
    EXPECT_EQ(timePart(-1.25), 0.25);
    EXPECT_EQ(formatIsoDateTime(-1.25), QStringLiteral("1899-12-29 06:00:00"));
}

TEST(Weekday, SundayIsOne) {
    EXPECT_EQ(weekday(0.0), 7); // 30 December 1899 was a Saturday
    EXPECT_EQ(weekday(1.0), 1);
    EXPECT_EQ(weekday(kApr26), 5); // Thursday
    EXPECT_EQ(weekday(kApr26 + timeSerial(23, 59, 59)), 5);
    EXPECT_EQ(weekday(dateSerial(2007, 4, 22)), 1);
    EXPECT_EQ(weekday(dateSerial(2007, 4, 28)), 7);
    EXPECT_EQ(weekday(dateSerial(1899, 12, 24)), 1);
}

TEST(DateDiff, CountsBoundariesCrossed) {
    EXPECT_EQ(dateDiffMinutes(at(2007, 4, 26, 8, 0, 59), at(2007, 4, 26, 8, 2, 0)), 2);
    EXPECT_EQ(dateDiffMinutes(at(2007, 4, 26, 8, 0, 0), at(2007, 4, 26, 8, 0, 59)), 0);
    EXPECT_EQ(dateDiffMinutes(at(2007, 4, 26, 8, 2, 0), at(2007, 4, 26, 8, 0, 59)), -2);
    EXPECT_EQ(dateDiffMinutes(at(2007, 4, 26, 23, 59, 30), at(2007, 4, 27, 0, 0, 10)), 1);
    EXPECT_EQ(dateDiffMinutes(at(2007, 4, 26, 22, 0, 0), at(2007, 4, 27, 6, 0, 0)), 8 * 60);
    EXPECT_EQ(dateDiffHours(at(2007, 4, 26, 8, 59, 59), at(2007, 4, 26, 9, 0, 0)), 1);
    EXPECT_EQ(dateDiffHours(at(2007, 4, 26, 23, 30, 0), at(2007, 4, 27, 0, 15, 0)), 1);
    EXPECT_EQ(dateDiffDays(at(2007, 4, 26, 23, 59, 0), at(2007, 4, 27, 0, 1, 0)), 1);
    EXPECT_EQ(dateDiffDays(at(2007, 4, 26, 0, 0, 0), at(2007, 4, 26, 23, 59, 59)), 0);
    EXPECT_EQ(dateDiffDays(dateSerial(2007, 12, 31), dateSerial(2008, 3, 1)), 61);
}

TEST(DateFormats, EveryTextForm) {
    const double pm = at(2007, 4, 26, 17, 17, 9);
    EXPECT_EQ(formatMmDdYyyy(pm), QStringLiteral("04/26/2007"));
    EXPECT_EQ(formatLogTime(pm), QStringLiteral("05:17 PM"));
    EXPECT_EQ(formatPollDate(pm), QStringLiteral("04/26/07 05:17:09 pm"));
    EXPECT_EQ(formatSortKey(pm), QStringLiteral("20070426171709"));
    EXPECT_EQ(formatShortTime(pm), QStringLiteral("5:17p"));
    EXPECT_EQ(formatGeneralDate(pm), QStringLiteral("4/26/2007 5:17:09 PM"));
    EXPECT_EQ(formatIsoDate(pm), QStringLiteral("2007-04-26"));
    EXPECT_EQ(formatIsoTime(pm), QStringLiteral("17:17:09"));
    EXPECT_EQ(formatIsoDateTime(pm), QStringLiteral("2007-04-26 17:17:09"));

    // Midnight and noon on the 12-hour clock.
    const double midnight = at(2007, 1, 5, 0, 5, 0);
    const double noon = at(2007, 1, 5, 12, 0, 0);
    EXPECT_EQ(formatLogTime(midnight), QStringLiteral("12:05 AM"));
    EXPECT_EQ(formatLogTime(noon), QStringLiteral("12:00 PM"));
    EXPECT_EQ(formatLogTime(at(2007, 1, 5, 11, 59, 0)), QStringLiteral("11:59 AM"));
    EXPECT_EQ(formatPollDate(midnight), QStringLiteral("01/05/07 12:05:00 am"));
    EXPECT_EQ(formatShortTime(midnight), QStringLiteral("12:05a"));
    EXPECT_EQ(formatShortTime(noon), QStringLiteral("12:00p"));
    EXPECT_EQ(formatGeneralDate(noon), QStringLiteral("1/5/2007 12:00:00 PM"));

    // The general form leaves out a zero part.
    EXPECT_EQ(formatGeneralDate(dateSerial(2007, 1, 5)), QStringLiteral("1/5/2007"));
    EXPECT_EQ(formatGeneralDate(timeSerial(7, 30, 0)), QStringLiteral("7:30:00 AM"));
    EXPECT_EQ(formatGeneralDate(0.0), QStringLiteral("12:00:00 AM"));
}

TEST(ParseDateTime, ReadsTheFormsTheDataHolds) {
    auto is = [](const char *text, double expected) {
        auto v = parseDateTime(QString::fromLatin1(text));
        ASSERT_TRUE(v.has_value()) << text;
        EXPECT_EQ(toSeconds(*v), toSeconds(expected)) << text;
    };
    is("2007-04-26", kApr26);
    is("2007-04-26 17:17:09", at(2007, 4, 26, 17, 17, 9));
    is("2007-04-26T17:17:09", at(2007, 4, 26, 17, 17, 9));
    is("2007-04-26 17:17", at(2007, 4, 26, 17, 17, 0));
    is(" 2007-04-26 ", kApr26);
    is("4/26/2007", kApr26);
    is("04/26/2007", kApr26);
    is("4/26/07", kApr26);
    is("1/1/1900", kNullDate);
    is("1/1/29", dateSerial(2029, 1, 1));
    is("1/1/30", dateSerial(1930, 1, 1));
    is("4/26/2007 5:17 PM", at(2007, 4, 26, 17, 17, 0));
    is("17:17:09", timeSerial(17, 17, 9));
    is("04:30", timeSerial(4, 30, 0));
    is("7:30 AM", timeSerial(7, 30, 0));
    is("7:30PM", timeSerial(19, 30, 0));
    is("5:17p", timeSerial(17, 17, 0));
    is("5:17 a", timeSerial(5, 17, 0));
    is("12:00 AM", 0.0);
    is("12:15 am", timeSerial(0, 15, 0));
    is("12:00 PM", 0.5);
    is("12:45p", timeSerial(12, 45, 0));

    // A time alone has date part 0.
    EXPECT_EQ(datePart(*parseDateTime(u"23:59:59")), 0.0);

    for (const char *bad :
         {"", "   ", "abc", "13:00 PM", "0:30 AM", "24:00", "7:60", "7:30:60", "2/30/2007", "2007-02-30",
          "2007-13-01", "13/1/2007", "4/26/2007 noon", "17:17:09 extra", "7", "4/26", "2007-04-26 25:00"})
        EXPECT_FALSE(parseDateTime(QString::fromLatin1(bad)).has_value()) << bad;
}
