#include "hours/Schedule.h"
#include "posting/PostingFixture.h"

using namespace hx;

namespace {
class ScheduleTest : public hx::test::HoursTest {
protected:
    void SetUp() override {
        HoursTest::SetUp();
        // Monday start 8:00 (7:45 to 8:05), end 17:00 (no earliest, latest 17:30); Tuesday end 6:00 (5:55
        // to 6:30), lunch out 12:00 (11:55 to 12:10); Wednesday start 8:00 without limits; no Sunday.
        db().execute(u"INSERT INTO \"SCHEDULE\" (\"ScheduleNumber\", \"MSchIn\", \"MEarlyIn\", \"MLateIn\", \"MSchOut\", "
                     "\"MLateOut\", \"ESchOut\", \"EEarlyOut\", \"ELateOut\", \"ESchLunchOut\", \"EEarlyLunchOut\", "
                     "\"ELateLunchOut\", \"WSchIn\") VALUES (1, '08:00:00', '07:45:00', '08:05:00', '17:00:00', "
                     "'17:30:00', '06:00:00', '05:55:00', '06:30:00', '12:00:00', '11:55:00', '12:10:00', '08:00:00')"_s);
    }

    static SchedulePunch punch(std::optional<double> in, std::optional<double> out, int errorCode = 0) {
        SchedulePunch p;
        p.schedule = 1, p.inDate = dateSerial(2007, 4, 23), p.inTime = in, p.outTime = out, p.odow = 2;
        p.inPunchType = p.outPunchType = p.inCode = p.outCode = 0, p.errorCode = errorCode;
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
        {"on the windows' edges", [](auto &p) { p.inTime = t(7, 45), p.outTime = t(17, 30); }, 0, 0, 0},
        {"early in", [](auto &p) { p.inTime = t(7, 40); }, 1, 0, 7},
        {"late in and out", [](auto &p) { p.inTime = t(8, 6), p.outTime = t(17, 31); }, 2, 2, 7},
        {"no earliest end: not early", [](auto &p) { p.outTime = t(16, 0); }, 0, 0, 0},
        {"out early on the next day", [](auto &p) { p.outTime = t(5, 50), p.odow = 3; }, 0, 1, 7},
        {"lunch out on the next day", [](auto &p) { p.outTime = t(12, 5), p.odow = 3, p.outPunchType = 1; }, 0, 0, 0},
        {"no limits on Wednesday", [](auto &p) { p.inTime = t(11, 0), p.inDate = dateSerial(2007, 4, 25); }, 0, 0, 0},
        {"no start on Sunday", [](auto &p) { p.inDate = dateSerial(2007, 4, 22); }, 3, 0, 7},
        {"excused", [](auto &p) { p.inDate = dateSerial(2007, 4, 22), p.inExcused = true; }, 3, 0, 0},
        {"in punch missing", [](auto &p) { p.inTime.reset(); }, 4, 0, 7},
        {"neither start nor lunch: reset only", [](auto &p) { p.inPunchType = 2, p.inCode = 1; }, 0, 0, 0},
        {"schedule without a row", [](auto &p) { p.schedule = 9, p.outTime.reset(), p.outCode = 4; }, 0, 4, 7},
        {"too few hours stays", [](auto &p) { p.inTime = t(7, 40), p.errorCode = 3; }, 1, 0, 3},
    };
    for (const auto &c : cases) {
        SchedulePunch p = punch(t(8, 0), t(17, 0));
        c.change(p);
        SetSchedule(p);
        EXPECT_EQ(std::tuple(*p.inCode, *p.outCode, p.errorCode), std::tuple(c.in, c.out, c.error)) << c.what;
    }
    EXPECT_EQ(boxes.shown().size(), 0u);
}

TEST_F(ScheduleTest, GeneralViolationsFoldExcusesIntoTheErrorCode) {
    // The code before, the sides (I, O: punch missing; i, o: excused), the code after.
    const std::tuple<int, const char *, int> cases[] = {
        {0, "", 0},    {0, "I", 7},  {0, "Ii", 0}, {7, "", 0},    {1, "", 1},  {1, "i", 0},  {1, "Oi", 7}, {2, "I", 2},
        {2, "Io", 7},  {2, "Oo", 0}, {4, "IO", 4}, {4, "Oi", 7},  {4, "IOio", 0}, {4, "Oo", 0}, {5, "IO", 5}};
    for (auto [before, sides, want] : cases) {
        const QString s = QString::fromLatin1(sides);
        // A schedule without a row: a side is violated only by its missing punch.
        SchedulePunch p = punch(s.contains(u'I') ? std::nullopt : std::optional(t(8, 0)),
                                s.contains(u'O') ? std::nullopt : std::optional(t(17, 0)), before);
        p.schedule = 9, p.inCode = s.contains(u'I') ? 4 : 0, p.outCode = s.contains(u'O') ? 4 : 0;
        p.inExcused = s.contains(u'i'), p.outExcused = s.contains(u'o');
        SetSchedule(p);
        EXPECT_EQ(p.errorCode, want) << before << " " << sides;
    }
}

TEST_F(ScheduleTest, RecalculationWritesTheCodes) {
    setRule(u"LESS WARN"_s, 4);
    expectPairs({"InCode", "OutCode", "ERRORCODE"},
                {{"07:40:00", "17:00:00", {{"Schedule", 1}}, "1 0 7"},
                 {"07:40:00", "17:00:00", {{"Schedule", 1}, {"InExcused", true}}, "1 0 0"},
                 {"07:40:00", "10:00:00", {{"Schedule", 1}}, "1 0 3"},
                 {{}, {}, {{"Schedule", 1}, {"InCode", 4}, {"OutCode", 4}, {"ODOW", QVariant()}}, "4 4 2"},
                 {"07:40:00", "17:00:00", {{"Schedule", 0}, {"InCode", 1}}, "1 0 0"}});
}
