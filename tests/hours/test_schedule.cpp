#include "HoursFixture.h"
#include "component/DateTime.h"
#include "hours/Schedule.h"

using namespace hx;
using hx::test::Pair;

namespace {
class ScheduleTest : public hx::test::HoursTest {
protected:
    void SetUp() override {
        HoursTest::SetUp();
        // Schedule 1: Monday start 8:00 (7:45 to 8:05), Monday end 17:00 with no
        // earliest end; Tuesday end 6:00 (5:55 to 6:30) and lunch out 12:00
        // (11:55 to 12:10); Wednesday start 8:00 without limits; nothing on Sunday.
        db().execute(QStringLiteral(
            "INSERT INTO \"SCHEDULE\" (\"ScheduleNumber\", \"MSchIn\", \"MEarlyIn\", \"MLateIn\", "
            "\"MSchOut\", "
            "\"MLateOut\", \"ESchOut\", \"EEarlyOut\", \"ELateOut\", \"ESchLunchOut\", \"EEarlyLunchOut\", "
            "\"ELateLunchOut\", \"WSchIn\") VALUES (1, '08:00:00', '07:45:00', '08:05:00', '17:00:00', "
            "'17:30:00', "
            "'06:00:00', '05:55:00', '06:30:00', '12:00:00', '11:55:00', '12:10:00', "
            "'08:00:00')"));
    }

    static SchedulePunch punch(std::optional<double> in, std::optional<double> out, int errorCode = 0) {
        SchedulePunch p;
        p.schedule = 1;
        p.inDate = dateSerial(2007, 4, 23); // Monday
        p.inTime = in;
        p.outTime = out;
        p.odow = 2;
        p.inPunchType = 0;
        p.outPunchType = 0;
        p.inCode = 0;
        p.outCode = 0;
        p.errorCode = errorCode;
        return p;
    }
    static double t(int h, int m) { return timeSerial(h, m, 0); }
};
} // namespace

TEST_F(ScheduleTest, PunchesAgainstTheWindowsOfTheirOwnWeekday) {
    struct Case {
        SchedulePunch p;
        int in, out, error;
        const char *what;
    };
    std::vector<Case> cases;
    cases.push_back({punch(t(7, 40), t(17, 0)), 1, 0, 7, "early in"});
    cases.push_back({punch(t(7, 50), t(17, 0)), 0, 0, 0, "in the window"});
    cases.push_back({punch(t(8, 6), t(17, 31)), 2, 2, 7, "late in and out"});
    cases.push_back({punch(t(8, 0), t(16, 0)), 0, 0, 0, "no earliest end: not early"});
    SchedulePunch nextDay = punch(t(8, 0), t(5, 50));
    nextDay.odow = 3; // out on Tuesday: Tuesday's windows
    cases.push_back({nextDay, 0, 1, 7, "out early on the next day"});
    nextDay.outTime = t(12, 5);
    nextDay.outPunchType = 1;
    cases.push_back({nextDay, 0, 0, 0, "lunch out on the next day"});
    SchedulePunch wednesday = punch(t(11, 0), t(17, 0));
    wednesday.inDate = dateSerial(2007, 4, 25);
    cases.push_back({wednesday, 0, 0, 0, "no limits: neither early nor late"});
    SchedulePunch sunday = punch(t(8, 0), t(17, 0));
    sunday.inDate = dateSerial(2007, 4, 22);
    cases.push_back({sunday, 3, 0, 7, "no start on Sunday"});
    sunday.inExcused = true;
    cases.push_back({sunday, 3, 0, 0, "excused"});
    SchedulePunch missing = punch(std::nullopt, t(17, 0));
    missing.inCode = 4;
    cases.push_back({missing, 4, 0, 7, "in punch still missing"});
    SchedulePunch other = punch(t(7, 0), t(17, 0));
    other.inPunchType = 2;
    other.inCode = 1;
    cases.push_back({other, 0, 0, 0, "neither start nor lunch: reset only"});
    SchedulePunch noRow = punch(t(7, 0), std::nullopt);
    noRow.schedule = 9;
    noRow.outCode = 4;
    cases.push_back({noRow, 0, 4, 7, "schedule without a row"});
    cases.push_back({punch(t(7, 40), t(17, 0), 3), 1, 0, 3, "too few hours stays"});

    for (Case &c : cases) {
        SetSchedule(c.p);
        EXPECT_EQ(c.p.inCode, c.in) << c.what;
        EXPECT_EQ(c.p.outCode, c.out) << c.what;
        EXPECT_EQ(c.p.errorCode, c.error) << c.what;
    }
    EXPECT_EQ(boxes.shown().size(), 0u);
}

TEST_F(ScheduleTest, GeneralViolationsFoldExcusesIntoTheErrorCode) {
    struct Case {
        int e0;
        bool inBad, outBad, inExcused, outExcused;
        int want;
    };
    const Case cases[] = {
        {0, false, false, false, false, 0}, {0, true, false, false, false, 7},
        {0, true, false, true, false, 0},   {7, false, false, false, false, 0},
        {1, false, false, false, false, 1}, {1, false, false, true, false, 0},
        {1, false, true, true, false, 7},   {2, true, false, false, false, 2},
        {2, true, false, false, true, 7},   {2, false, true, false, true, 0},
        {4, true, true, false, false, 4},   {4, false, true, true, false, 7},
        {4, true, true, true, true, 0},     {4, false, true, false, true, 0},
        {5, true, true, false, false, 5},
    };
    for (const Case &c : cases) {
        // A schedule without a row: a side is violated only by its missing punch.
        SchedulePunch p = punch(c.inBad ? std::nullopt : std::optional(t(8, 0)),
                                c.outBad ? std::nullopt : std::optional(t(17, 0)), c.e0);
        p.schedule = 9;
        p.inCode = c.inBad ? 4 : 0;
        p.outCode = c.outBad ? 4 : 0;
        p.inExcused = c.inExcused;
        p.outExcused = c.outExcused;
        SetSchedule(p);
        EXPECT_EQ(p.errorCode, c.want)
            << "E0 " << c.e0 << " in " << c.inBad << c.inExcused << " out " << c.outBad << c.outExcused;
    }
}

TEST_F(ScheduleTest, RecalculationWritesTheCodes) {
    setRule("LESS WARN", 4);
    int early = addPair(Pair("07:40:00", "17:00:00").schedule(1));
    int excused = addPair(Pair("07:40:00", "17:00:00").schedule(1).inExcused(true));
    int few = addPair(Pair("07:40:00", "10:00:00").schedule(1));
    int created = addPair(Pair().schedule(1).inCode(4).outCode(4).odow(QVariant()));
    int unscheduled = addPair(Pair("07:40:00", "17:00:00").schedule(0).inCode(1));
    RecalculateHours();
    EXPECT_EQ(col(early, "InCode").toInt(), 1);
    EXPECT_EQ(code(early), 7);
    EXPECT_EQ(code(excused), 0);
    EXPECT_EQ(col(few, "InCode").toInt(), 1);
    EXPECT_EQ(code(few), 3);
    EXPECT_EQ(col(created, "InCode").toInt(), 4);
    EXPECT_EQ(col(created, "OutCode").toInt(), 4);
    EXPECT_EQ(code(created), 2); // out punch missing, not excused: stays
    EXPECT_EQ(col(unscheduled, "InCode").toInt(), 1);
    EXPECT_EQ(code(unscheduled), 0);
}
