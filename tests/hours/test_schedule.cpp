#include "HoursFixture.h"
#include "component/DateTime.h"
#include "hours/Schedule.h"

using namespace hx;

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
            "'17:30:00', '06:00:00', '05:55:00', '06:30:00', '12:00:00', '11:55:00', '12:10:00', "
            "'08:00:00')"));
    }

    static SchedulePunch punch(std::optional<double> in, std::optional<double> out, int errorCode = 0) {
        SchedulePunch p;
        p.schedule = 1, p.inDate = dateSerial(2007, 4, 23), p.inTime = in, p.outTime = out, p.odow = 2;
        p.inPunchType = p.outPunchType = p.inCode = p.outCode = 0;
        p.errorCode = errorCode;
        return p;
    }
    static double t(int h, int m) { return timeSerial(h, m, 0); }
};
} // namespace

TEST_F(ScheduleTest, PunchesAgainstTheWindowsOfTheirOwnWeekday) {
    // Each row changes a Monday pair 08:00-17:00 on schedule 1.
    const struct {
        const char *what;
        void (*change)(SchedulePunch &);
        int in, out, error;
    } cases[] = {
        {"in the window", [](auto &p) { p.inTime = t(7, 50); }, 0, 0, 0},
        {"early in", [](auto &p) { p.inTime = t(7, 40); }, 1, 0, 7},
        {"late in and out", [](auto &p) { p.inTime = t(8, 6), p.outTime = t(17, 31); }, 2, 2, 7},
        {"no earliest end: not early", [](auto &p) { p.outTime = t(16, 0); }, 0, 0, 0},
        {"out early on the next day", [](auto &p) { p.outTime = t(5, 50), p.odow = 3; }, 0, 1, 7},
        {"lunch out on the next day", [](auto &p) { p.outTime = t(12, 5), p.odow = 3, p.outPunchType = 1; },
         0, 0, 0},
        {"no limits on Wednesday", [](auto &p) { p.inTime = t(11, 0), p.inDate = dateSerial(2007, 4, 25); },
         0, 0, 0},
        {"no start on Sunday", [](auto &p) { p.inDate = dateSerial(2007, 4, 22); }, 3, 0, 7},
        {"excused", [](auto &p) { p.inDate = dateSerial(2007, 4, 22), p.inExcused = true; }, 3, 0, 0},
        {"in punch still missing", [](auto &p) { p.inTime.reset(), p.inCode = 4; }, 4, 0, 7},
        {"neither start nor lunch: reset only", [](auto &p) { p.inPunchType = 2, p.inCode = 1; }, 0, 0, 0},
        {"schedule without a row", [](auto &p) { p.schedule = 9, p.outTime.reset(), p.outCode = 4; }, 0, 4,
         7},
        {"too few hours stays", [](auto &p) { p.inTime = t(7, 40), p.errorCode = 3; }, 1, 0, 3},
    };
    for (const auto &c : cases) {
        SchedulePunch p = punch(t(8, 0), t(17, 0));
        c.change(p);
        SetSchedule(p);
        EXPECT_EQ(p.inCode, c.in) << c.what;
        EXPECT_EQ(p.outCode, c.out) << c.what;
        EXPECT_EQ(p.errorCode, c.error) << c.what;
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
    const QVariantMap scheduled{{"Schedule", 1}};
    int early = addPair("07:40:00", "17:00:00", scheduled);
    int excused = addPair("07:40:00", "17:00:00", {{"Schedule", 1}, {"InExcused", 1}});
    int few = addPair("07:40:00", "10:00:00", scheduled);
    int created = addPair({}, {}, {{"Schedule", 1}, {"InCode", 4}, {"OutCode", 4}, {"ODOW", QVariant()}});
    int unscheduled = addPair("07:40:00", "17:00:00", {{"Schedule", 0}, {"InCode", 1}});
    RecalculateHours();
    const struct {
        int id, in, out, error;
    } want[] = {
        {early, 1, 0, 7}, {excused, 1, 0, 0}, {few, 1, 0, 3}, {created, 4, 4, 2}, {unscheduled, 1, 0, 0}};
    for (const auto &w : want) {
        EXPECT_EQ(col(w.id, "InCode").toInt(), w.in) << "row " << w.id;
        EXPECT_EQ(col(w.id, "OutCode").toInt(), w.out) << "row " << w.id;
        EXPECT_EQ(code(w.id), w.error) << "row " << w.id;
    }
}
