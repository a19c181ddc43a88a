#include "hours/CustomRounding.h"
#include "posting/PostingFixture.h"

using namespace hx;

namespace {
struct Window { double min, max, newMinute, appliesTo; };

class CustomTest : public hx::test::HoursTest {
protected:
    void setWindows(const std::vector<Window> &windows) {
        db().execute(u"DELETE FROM \"CustomRound\""_s);
        for (const Window &w : windows)
            insertRow(u"CustomRound"_s, {{"MinuteMin", w.min}, {"MinuteMax", w.max},
                                         {"NewMinuteValue", w.newMinute}, {"Applies To", w.appliesTo}});
    }
    void addBand(double min, double max, double multiply, const QVariant &constant) {
        insertRow(u"CustomHours"_s,
                  {{"HoursMin", min}, {"HoursMax", max}, {"HoursMultiply", multiply}, {"HoursConstant", constant}});
    }
};
} // namespace

TEST_F(CustomTest, WindowsMoveTheMinuteIntoTheRightHour) {
    const struct {
        std::vector<Window> windows;
        const char *time;
        int code;
        const char *want;
    } cases[] = {
        {{{53, 7, 0, 1}}, "08:55:00", 2, "09:00:00"}, // wrapping, from the upper part: next hour
        {{{53, 7, 0, 1}}, "09:03:00", 2, "09:00:00"}, // wrapping, from the lower part
        {{{53, 7, 0, 1}}, "08:20:00", 2, "08:20:00"}, // outside
        {{{8, 22, 15, 1}}, "08:10:00", 3, "08:15:00"},
        {{{8, 22, 15, 1}}, "08:22:00", 3, "08:15:00"},
        {{{8, 22, 15, 1}}, "08:10:40", 3, "08:16:00"}, // moved, then the seconds round up
        {{{8, 14, 15, 1}}, "08:10:00", 2, "07:15:00"}, // new minute above the window: previous hour
        {{{53, 59, 0, 1}}, "08:55:00", 2, "08:00:00"},
        {{{30, 30, 30, 1}}, "08:10:00", 2, "08:30:00"}, // min = max wraps and holds every minute
        {{{30, 30, 30, 1}}, "08:50:00", 2, "08:30:00"},
        {{{8, 22, 15, 3}}, "08:10:00", 2, "08:10:00"}, // out punches only
        {{{8, 22, 15, 2}}, "08:10:00", 2, "08:15:00"},
        {{}, "08:10:40", 2, "08:11:00"}, // no table: only to the whole minute
        {{}, "08:10:20", 2, "08:10:00"},
        {{{40, 50, 45, 1}, {0, 59, 20, 1}, {0, 59, 10, 1}}, "08:30:00", 2, "08:20:00"}, // first fitting by ID
    };
    for (const auto &c : cases) {
        setWindows(c.windows);
        EXPECT_EQ(formatIsoTime(CustomRound(*parseDateTime(QString::fromLatin1(c.time)), c.code)),
                  QLatin1String(c.want))
            << c.time << " window " << c.windows.size();
    }
    EXPECT_EQ(boxes.shown().size(), 0u);

    // An unreadable window leaves the time and is reported.
    setWindows({});
    db().execute(u"INSERT INTO \"CustomRound\" (\"MinuteMin\", \"MinuteMax\", \"Applies To\") VALUES (0, 59, 1)"_s);
    const double t = *parseDateTime(u"08:10:40");
    EXPECT_EQ(CustomRound(t, 2), t);
    ASSERT_EQ(boxes.count(u"ERROR"_s), 1);
    EXPECT_TRUE(logText().contains(u"Procedure_CustomRound Test Min/Max"_s));
}

TEST_F(CustomTest, HoursBandsBothEndsInclusiveFirstByKey) {
    addBand(0, 4, 1, 0.5);
    addBand(0, 10, 3, 0);
    const double cases[][2] = {{3.25, 3.75}, {4.0, 4.5}, {4.01, 12.03} /* only the second band */,
                               {10.5, 10.5} /* no band */, {4.0 - 4e-16, 4.5} /* binary noise meets the bound */};
    for (const auto &c : cases)
        EXPECT_FLOAT_EQ(CustomHrs(c[0]), float(c[1])) << c[0];
    db().execute(u"UPDATE \"CustomHours\" SET \"HoursConstant\" = NULL"_s);
    EXPECT_FLOAT_EQ(CustomHrs(3.25), 3.25f);
    EXPECT_EQ(boxes.count(u"ERROR"_s), 1);
}

TEST_F(CustomTest, RecalculationUsesCustomRoundingPerSideAndHoursBands) {
    setRule(u"ROUNDING"_s, u"Custom"_s);
    setWindows({{53, 7, 0, 1}, {8, 22, 15, 3}}); // the second for out punches
    expectPairs({"timein", "timeout", "DEPT HOURS"}, {{"07:55:00", "16:03:00", {}, "08:00:00 16:00:00 8"},
                                                      {"08:10:00", "16:10:00", {}, "08:10:00 16:15:00 8.08"}});
    // The hours pass through the bands in single precision, then two decimals.
    setRule(u"ROUNDING"_s, QString());
    addBand(7.9, 8.1, 0.95825, 0);
    addBand(5.9, 6.1, 1.2773333, 0);
    expectPairs({"DEPT HOURS"}, {{"08:00:00", "16:00:00", {}, "7.67"},   // 7.666
                                 {"08:00:00", "14:00:00", {}, "7.66"}}); // 7.664
}
