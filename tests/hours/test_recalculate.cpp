#include "hours/DayStart.h"
#include "posting/PostingFixture.h"

using namespace hx;

namespace {
class RecalculateTest : public hx::test::HoursTest {
protected:
    // Marks the rows again, runs again, and expects every computed column unchanged.
    void expectStableOnSecondRun() {
        const QString sql = u"SELECT \"AdjustedDate\", \"timein\", \"timeout\", \"DEPT HOURS\", \"ERRORCODE\", "
                            "\"LUNCHLEN\" FROM \"PUNCH\" ORDER BY \"ID\""_s;
        const QStringList before = rows(sql);
        recalculateAgain();
        EXPECT_EQ(rows(sql), before);
    }
};
} // namespace

TEST_F(RecalculateTest, RoundingModesAroundTheirBoundariesAndStableOnRerun) {
    const struct {
        const char *rule, *firstHours;
        std::vector<const char *> cases; // in, out, rounded in, rounded out
    } modes[] = {
        {"Quarter Hour", "9",
         {"08:07:00 16:53:00 08:00:00 17:00:00", "08:08:00 16:52:00 08:15:00 16:45:00",
          "08:52:00 17:07:00 08:45:00 17:00:00", "08:53:00 17:08:00 09:00:00 17:15:00"}},
        {"Slant Hour", "9", // in times lean late, out times early
         {"07:50:00 16:55:00 08:00:00 17:00:00", "07:49:00 16:54:00 07:45:00 16:45:00",
          "08:04:00 17:09:00 08:00:00 17:00:00", "08:05:00 17:10:00 08:15:00 17:15:00"}},
        {"Tenth Hour", "8.5", // the seconds count
         {"08:05:00 16:35:29 08:00:00 16:30:00", "08:05:40 16:35:31 08:06:00 16:36:00",
          "08:11:59 16:41:59 08:12:00 16:42:00"}},
        {"quarter hour", "8.77", {"08:07:00 16:53:00 08:07:00 16:53:00"}}, // the name is exact
    };
    for (const auto &m : modes) {
        SCOPED_TRACE(m.rule);
        db().execute(u"DELETE FROM \"PUNCH\""_s);
        setRule(u"ROUNDING"_s, QString::fromLatin1(m.rule));
        std::vector<Pair> pairs;
        for (const char *c : m.cases)
            pairs.push_back({QString::fromLatin1(c, 8), QString::fromLatin1(c + 9, 8), {}, c + 18});
        const std::vector<int> ids = expectPairs({"timein", "timeout"}, pairs);
        EXPECT_EQ(count(u"SELECT count(*) FROM \"PUNCH\" WHERE \"RecalcHrs\" = ?"_s, {db().boolean(true)}), 0);
        EXPECT_EQ(values(ids[0], {"DEPT HOURS", "ERRORCODE"}), QLatin1String(m.firstHours) + u" 0"_s);
        expectStableOnSecondRun();
    }
}

TEST_F(RecalculateTest, RoundingUpToMidnightKeepsTheHoursOnRerun) {
    setRule(u"ROUNDING"_s, u"Quarter Hour"_s);
    expectPairs({"timein", "timeout", "DEPT HOURS", "AdjustedDate"},
                {{"16:00:00", "23:55:00", {}, "16:00:00 00:00:00 8 2007-04-23"},
                 {"23:55:00", "08:00:00", {{"ODOW", 3}}, "00:00:00 08:00:00 8 2007-04-23"}});
    expectStableOnSecondRun();
}

TEST_F(RecalculateTest, HoursSpanWeekdaysOfTheInAndOutPunch) {
    expectPairs({"DEPT HOURS", "ERRORCODE"},
                {{"22:00:00", "06:00:00", {{"ODOW", 3}}, "8 0"},
                 {"08:00:00", "10:00:00", {{"ODOW", 4}}, "50 4"}, // over the warning
                 {"08:00:00", "09:00:00", {}, "1 0"},
                 {"22:00:00", "06:00:00", {{"IN DATE", "2007-04-28"}, {"ODOW", 1}}, "8 0"}, // Saturday to Sunday
                 {"08:00:00", "09:00:00", {{"ODOW", QVariant()}}, "- 1"}});
}

TEST_F(RecalculateTest, DepartmentLunchAtAndBelowItsThreshold) {
    addQual(u"SHOP"_s, u"30 min"_s, u"6"_s);
    addQual(u"Bob's Shop"_s, 15, 4);
    const auto ids = expectPairs({"DEPT HOURS", "LUNCHLEN", "PAYRATE"},
                                 {{"08:00:00", "14:00:00", {}, "5.5 30 12.5"}, // at the threshold
                                  {"08:00:00", "13:59:00", {}, "5.98 0 12.5"},
                                  {"08:00:00", "12:00:00", {{"DEPT NAME", "BOB'S SHOP"}}, "3.75 15 12.5"},
                                  {"08:00:00", "14:00:00", {{"DEPT NAME", "YARD"}}, "6 0 0"}});
    // A site that deducts lunch by the day deducts none per pair.
    setRule(u"FullDayAutoLunch"_s, true);
    recalculateAgain();
    EXPECT_EQ(values(ids[0], {"DEPT HOURS"}), u"6"_s);
}

TEST_F(RecalculateTest, RevisionWindowsMoveWorkingTimesEdgesIncluded) {
    addQual(u"SHOP"_s, {}, {}, {"7:30 AM", "8:00 AM", "5:00 PM", "5:15 PM"});
    expectPairs({"timein", "timeout"}, {{"07:42:00", "17:10:00", {}, "08:00:00 17:00:00"},
                                        {"08:01:00", "17:16:00", {}, "08:01:00 17:16:00"},
                                        {"07:30:00", "17:15:00", {}, "08:00:00 17:00:00"}});
}

TEST_F(RecalculateTest, ErrorCodesInTheirOrder) {
    setRule(u"LESS WARN"_s, 4);
    setRule(u"WARNING"_s, 10);
    setRule(u"TASKAS"_s, 2);
    insertRow(u"JOB"_s, {{"JOB NUMBER", 77}});
    insertRow(u"TASK"_s, {{"TASK NUMBER", 88}});
    auto job = [](const QVariant &job, const QVariant &task = {}) { return QVariantMap{{"DATAFLD", job}, {"TASK", task}}; };
    const auto ids = expectPairs(
        {"ERRORCODE"}, {{"08:00:00", {}, {}, "2"},
                        {"08:00:00", "11:00:00", job(99), "3"}, // the job test only runs on a clear code
                        {"08:00:00", "12:00:00", {}, "0"},      // hours equal to a warning are not flagged
                        {"08:00:00", "18:00:00", {}, "0"},
                        {"08:00:00", "19:00:00", {}, "4"},
                        {"08:00:00", "16:00:00", job(99), "5"},
                        {"08:00:00", "16:00:00", job(77), "0"},
                        {"08:00:00", "16:00:00", job(0, 99), "6"},
                        {"08:00:00", "16:00:00", job(0, 88), "0"}});
    setRule(u"TASKAS"_s, 0);
    recalculateAgain();
    EXPECT_EQ(values(ids[7], {"ERRORCODE"}), u"0"_s);
}

TEST_F(RecalculateTest, EmployeeOwnDayStartOnlyUnderTheExactTitle) {
    setRule(u"DAY START"_s, u"03:00:00"_s);
    setRule(u"SORT 2"_s, u"Day_Start"_s);
    db().execute(u"UPDATE \"EMPLOYEE\" SET \"SORT2\" = '4:30 AM'"_s);
    addEmployee(3, 103, {{"SORT2", "early"}});
    addEmployee(4, 104, {{"SORT2", QString()}});
    resetDayStartCache();
    const std::pair<int, double> cases[] = {{101, 4.5}, {103, 3.0}, {104, 3.0}, {999, 3.0}};
    for (auto [badge, hours] : cases)
        EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(badge), hours / 24) << badge;
    setRule(u"DAY START"_s, u"02:00:00"_s);
    EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(103), 2.0 / 24) << "a changed rule is read afresh";
    setRule(u"SORT 2"_s, u"day_start"_s);
    EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(101), 2.0 / 24);
}

TEST_F(RecalculateTest, DayStartMovesEarlyPairsToThePreviousDay) {
    setRule(u"SORT 2"_s, u"Day_Start"_s);
    setRule(u"ROUNDING"_s, u"Quarter Hour"_s);
    db().execute(u"UPDATE \"EMPLOYEE\" SET \"SORT2\" = '01:00'"_s);
    EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(101), 1.0 / 24); // now cached; the run must read afresh
    db().execute(u"UPDATE \"EMPLOYEE\" SET \"SORT2\" = '04:00'"_s);
    addEmployee(2, 102); // no SORT2: the rule's Null DAY START (1 January 1900), i.e. midnight
    expectPairs({"AdjustedDate", "timein"},
                           {{"02:00:00", "10:00:00", {}, "2007-04-22 02:00:00"},
                            {"04:00:00", "12:00:00", {}, "2007-04-23 04:00:00"},
                            {"03:55:00", "12:00:00", {}, "2007-04-22 04:00:00"}, // the punch picks the day
                            {"00:30:00", "08:30:00", {{"EMPLOYEE ID", 2}}, "2007-04-23 00:30:00"},
                            {{}, "03:00:00", {{"AdjustedDate", "2007-04-20"}}, "2007-04-20 -"}});
    expectStableOnSecondRun();
}

TEST_F(RecalculateTest, OpenPairRunsUpToTheCurrentMinuteOnce) {
    setRule(u"UpToMin"_s, true);
    setNow(u"2007-04-26 17:17:40"_s);
    const auto ids = expectPairs({"timeout", "ODOW", "DEPT HOURS", "ERRORCODE"},
                                 {{"08:05:00", {}, {{"ODOW", QVariant()}, {"IN DATE", "2007-04-26"}}, "17:17:00 5 9.2 2"}});
    setNow(u"2007-04-26 18:30:00"_s);
    recalculateAgain();
    EXPECT_EQ(values(ids[0], {"timeout"}), u"17:17:00"_s);
}

TEST_F(RecalculateTest, FailingRowKeepsWhatWasReachedAndStaysMarked) {
    addQual(u"BAD"_s, {}, {}, {"soon", "8:00 AM"});
    // The department's columns are written before the revision fails; others are left alone.
    const auto ids = expectPairs({"ERRORCODE", "timein", "OTRULES", "DEPT HOURS"},
                                 {{"07:45:00", "16:00:00", {{"DEPT NAME", "BAD"}}, "1 07:45:00 3 -"},
                                  {"08:00:00", "16:00:00", {}, "0 08:00:00 0 8"},
                                  {"08:00:00", "16:00:00", {{"RecalcHrs", false}}, "0 - - -"},
                                  {"08:00:00", "16:00:00", {{"NONWORKED", "HOL"}}, "0 - - -"}});
    ASSERT_EQ(boxes.count(u"ERROR"_s), 1);
    EXPECT_EQ(boxes.shown()[0].prompt, u"Type mismatch"_s);

    // One row on request, marked or not.
    EXPECT_TRUE(RecalculateThisPunch(ids[2]));
    EXPECT_EQ(values(ids[2], {"DEPT HOURS"}), u"8"_s);
    EXPECT_FALSE(RecalculateThisPunch(ids[0]));
    EXPECT_FALSE(RecalculateThisPunch(9999));
}

// The saves go together; one the database refuses undoes them and the rows are done again one at a
// time: only the refused row keeps its old values and mark; each report appears once, in row order.
TEST_F(RecalculateTest, RefusedSaveLeavesOnlyItsRowUndone) {
    refusePunch("UPDATE", u"NEW.\"DEPT NAME\" = 'LOCKED'"_s, u"locked row"_s);
    addQual(u"BAD"_s, {}, {}, {"soon", "8:00 AM"});
    const auto ids = expectPairs({"DEPT HOURS"}, {{"08:00:00", "16:00:00", {}, "8"},
                                                  {"07:45:00", "16:00:00", {{"DEPT NAME", "BAD"}}, "-"},
                                                  {"08:00:00", "16:00:00", {{"DEPT NAME", "LOCKED"}}, "-"},
                                                  {"08:00:00", "17:00:00", {}, "9"}});
    for (size_t i = 0; i < ids.size(); ++i)
        EXPECT_EQ(marked(ids[i]), i == 1 || i == 2) << i;
    const QString log = logText();
    EXPECT_EQ(log.count(u"Procedure_RecalculateThisPunch Dept Qual"_s), 1);
    EXPECT_EQ(log.count(u"locked row"_s), 1);
    EXPECT_LT(log.indexOf(u"Dept Qual"_s), log.indexOf(u"locked row"_s)) << "reports in the rows' order";
}
