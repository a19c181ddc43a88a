#include "HoursFixture.h"
#include "component/DateTime.h"
#include "hours/CustomRounding.h"

using namespace hx;

namespace {
struct Window {
    double min, max, newMinute, appliesTo;
};

class CustomTest : public hx::test::HoursTest {
protected:
    void setWindows(const std::vector<Window> &windows) {
        db().execute(QStringLiteral("DELETE FROM \"CustomRound\""));
        for (const Window &w : windows)
            db().execute(QStringLiteral("INSERT INTO \"CustomRound\" (\"MinuteMin\", \"MinuteMax\", "
                                        "\"NewMinuteValue\", \"Applies To\") VALUES (?, ?, ?, ?)"),
                         {w.min, w.max, w.newMinute, w.appliesTo});
    }
    void addBand(double min, double max, double multiply, const QVariant &constant) {
        db().execute(
            QStringLiteral("INSERT INTO \"CustomHours\" (\"HoursMin\", \"HoursMax\", \"HoursMultiply\", "
                           "\"HoursConstant\") VALUES (?, ?, ?, ?)"),
            {min, max, multiply, constant});
    }
    static QString rounded(const char *time, int code) {
        return formatIsoTime(CustomRound(*parseDateTime(QString::fromLatin1(time)), code));
    }
};
} // namespace

TEST_F(CustomTest, WindowsMoveTheMinuteIntoTheRightHour) {
    struct Case {
        std::vector<Window> windows;
        const char *time;
        int code;
        const char *want;
    };
    const std::vector<Case> cases = {
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
    for (const Case &c : cases) {
        setWindows(c.windows);
        EXPECT_EQ(rounded(c.time, c.code), QLatin1String(c.want)) << c.time << " window " << c.windows.size();
    }
    EXPECT_EQ(boxes.shown().size(), 0u);
}

TEST_F(CustomTest, UnreadableWindowLeavesTheTimeAndIsReported) {
    db().execute(QStringLiteral("INSERT INTO \"CustomRound\" (\"MinuteMin\", \"MinuteMax\", \"Applies To\") "
                                "VALUES (0, 59, 1)"));
    const double t = *parseDateTime(u"08:10:40");
    EXPECT_EQ(CustomRound(t, 2), t);
    ASSERT_EQ(boxes.count(QStringLiteral("ERROR")), 1);
    EXPECT_TRUE(readFile(QStringLiteral("logs/QX8log.txt")).contains("Procedure_CustomRound Test Min/Max"));
}

TEST_F(CustomTest, HoursBandsBothEndsInclusiveFirstByKey) {
    addBand(0, 4, 1, 0.5);
    addBand(0, 10, 3, 0);
    EXPECT_FLOAT_EQ(CustomHrs(3.25), 3.75f);
    EXPECT_FLOAT_EQ(CustomHrs(4.0), 4.5f);
    EXPECT_FLOAT_EQ(CustomHrs(4.01), 12.03f); // only the second band holds it
    EXPECT_FLOAT_EQ(CustomHrs(10.5), 10.5f);  // no band: unchanged
    // Hours that miss a bound only by binary noise still meet it.
    EXPECT_FLOAT_EQ(CustomHrs(4.0 - 4e-16), 4.5f);

    db().execute(QStringLiteral("UPDATE \"CustomHours\" SET \"HoursConstant\" = NULL"));
    EXPECT_FLOAT_EQ(CustomHrs(3.25), 3.25f);
    EXPECT_EQ(boxes.count(QStringLiteral("ERROR")), 1);
}

TEST_F(CustomTest, RecalculationUsesCustomRoundingPerSideAndHoursBands) {
    setRule("ROUNDING", QStringLiteral("Custom"));
    setWindows({{53, 7, 0, 1}, {8, 22, 15, 3}});
    int shift = addPair("07:55:00", "16:03:00");
    int outOnly = addPair("08:10:00", "16:10:00");
    RecalculateHours();
    EXPECT_EQ(text(shift, "timein"), QStringLiteral("08:00:00"));
    EXPECT_EQ(text(shift, "timeout"), QStringLiteral("16:00:00"));
    EXPECT_DOUBLE_EQ(num(shift, "DEPT HOURS"), 8.0);
    EXPECT_EQ(text(outOnly, "timein"), QStringLiteral("08:10:00")); // the window is for out punches
    EXPECT_EQ(text(outOnly, "timeout"), QStringLiteral("16:15:00"));

    // The hours pass through the bands in single precision, then two decimals.
    setRule("ROUNDING", QString());
    addBand(7.9, 8.1, 0.95825, 0);
    addBand(5.9, 6.1, 1.2773333, 0);
    int up = addPair("08:00:00", "16:00:00");
    int down = addPair("08:00:00", "14:00:00");
    RecalculateHours();
    EXPECT_DOUBLE_EQ(num(up, "DEPT HOURS"), 7.67);   // 7.666
    EXPECT_DOUBLE_EQ(num(down, "DEPT HOURS"), 7.66); // 7.664
}
