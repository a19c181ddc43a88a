#include "HoursFixture.h"

using namespace hx;
using hx::test::Pair;

namespace {
struct RoundCase {
    const char *in, *out, *wantIn, *wantOut;
};

class RecalculateTest : public hx::test::HoursTest {
protected:
    // Seeds the cases under a rounding rule, runs, and checks the working times.
    std::vector<int> checkRounding(const char *rule, const std::vector<RoundCase> &cases) {
        setRule("ROUNDING", QString::fromLatin1(rule));
        std::vector<int> ids;
        for (const RoundCase &c : cases)
            ids.push_back(addPair(Pair(c.in, c.out)));
        RecalculateHours();
        for (size_t i = 0; i < cases.size(); ++i) {
            SCOPED_TRACE(std::string(rule) + " " + cases[i].in + "-" + cases[i].out);
            EXPECT_EQ(text(ids[i], "timein"), QLatin1String(cases[i].wantIn));
            EXPECT_EQ(text(ids[i], "timeout"), QLatin1String(cases[i].wantOut));
            EXPECT_FALSE(marked(ids[i]));
        }
        return ids;
    }

    // Marks the rows again, runs again, and expects every computed column unchanged.
    void expectStableOnSecondRun(const std::vector<int> &ids) {
        const char *cols[] = {"AdjustedDate", "timein", "timeout", "DEPT HOURS", "ERRORCODE", "LUNCHLEN"};
        std::vector<QString> before;
        for (int id : ids)
            for (const char *c : cols)
                before.push_back(text(id, c));
        db().execute(QStringLiteral("UPDATE \"PUNCH\" SET \"RecalcHrs\" = 1"));
        RecalculateHours();
        size_t k = 0;
        for (int id : ids)
            for (const char *c : cols)
                EXPECT_EQ(text(id, c), before[k++]) << "row " << id << " column " << c;
    }
};
} // namespace

TEST_F(RecalculateTest, FixedRoundingModesAroundTheirBoundariesAndStableOnRerun) {
    struct Mode {
        const char *rule;
        std::vector<RoundCase> cases;
        double firstHours;
    };
    const Mode modes[] = {
        {"Quarter Hour",
         {{"08:07:00", "16:53:00", "08:00:00", "17:00:00"},
          {"08:08:00", "16:52:00", "08:15:00", "16:45:00"},
          {"08:52:00", "17:07:00", "08:45:00", "17:00:00"},
          {"08:53:00", "17:08:00", "09:00:00", "17:15:00"}},
         9.0},
        {"Slant Hour", // in times lean late, out times early
         {{"07:51:00", "16:56:00", "08:00:00", "17:00:00"},
          {"07:49:00", "16:54:00", "07:45:00", "16:45:00"},
          {"08:04:00", "17:09:00", "08:00:00", "17:00:00"},
          {"08:06:00", "17:10:00", "08:15:00", "17:15:00"}},
         9.0},
        {"Tenth Hour", // the seconds count
         {{"08:05:00", "16:35:29", "08:00:00", "16:30:00"},
          {"08:05:40", "16:35:31", "08:06:00", "16:36:00"},
          {"08:11:59", "16:41:59", "08:12:00", "16:42:00"}},
         8.5},
    };
    for (const Mode &m : modes) {
        db().execute(QStringLiteral("DELETE FROM \"PUNCH\""));
        auto ids = checkRounding(m.rule, m.cases);
        EXPECT_DOUBLE_EQ(num(ids[0], "DEPT HOURS"), m.firstHours) << m.rule;
        EXPECT_EQ(code(ids[0]), 0);
        expectStableOnSecondRun(ids);
    }
}

TEST_F(RecalculateTest, RoundingRuleIsComparedExactlyAndNeedsBothTimes) {
    checkRounding("quarter hour", {{"08:07:00", "16:53:00", "08:07:00", "16:53:00"}});
    int open = addPair(Pair("08:07:00"));
    RecalculateHours();
    EXPECT_EQ(text(open, "timein"), QStringLiteral("08:07:00"));
    EXPECT_TRUE(col(open, "timeout").isNull());
    EXPECT_TRUE(col(open, "DEPT HOURS").isNull());
    EXPECT_EQ(code(open), 2);
}

TEST_F(RecalculateTest, RoundingUpToMidnightKeepsTheHoursOnRerun) {
    setRule("ROUNDING", QStringLiteral("Quarter Hour"));
    int evening = addPair(Pair("16:00:00", "23:55:00"));
    int night = addPair(Pair("23:55:00", "08:00:00").odow(3));
    RecalculateHours();
    EXPECT_EQ(text(evening, "timeout"), QStringLiteral("00:00:00"));
    EXPECT_DOUBLE_EQ(num(evening, "DEPT HOURS"), 8.0);
    EXPECT_EQ(text(night, "timein"), QStringLiteral("00:00:00"));
    EXPECT_DOUBLE_EQ(num(night, "DEPT HOURS"), 8.0);
    EXPECT_EQ(text(night, "AdjustedDate"), QStringLiteral("2007-04-23"));
    expectStableOnSecondRun({evening, night});
}

TEST_F(RecalculateTest, HoursSpanWeekdaysOfTheInAndOutPunch) {
    int overnight = addPair(Pair("22:00:00", "06:00:00").odow(3));
    int twoDays = addPair(Pair("08:00:00", "10:00:00").odow(4));
    int nextWeek = addPair(Pair("08:00:00", "09:00:00").odow(2));
    int noOdow = addPair(Pair("08:00:00", "09:00:00").odow(QVariant()));
    RecalculateHours();
    EXPECT_DOUBLE_EQ(num(overnight, "DEPT HOURS"), 8.0);
    EXPECT_DOUBLE_EQ(num(twoDays, "DEPT HOURS"), 50.0);
    EXPECT_EQ(code(twoDays), 4); // above WARNING 24
    EXPECT_DOUBLE_EQ(num(nextWeek, "DEPT HOURS"), 1.0);
    EXPECT_TRUE(col(noOdow, "DEPT HOURS").isNull());
    EXPECT_EQ(code(noOdow), 1);
    EXPECT_EQ(code(overnight), 0);
}

TEST_F(RecalculateTest, DepartmentLunchOvertimeRuleAndDifferential) {
    addQual(QStringLiteral("SHOP"), QStringLiteral("30 min"), QStringLiteral("6"));
    addQual(QStringLiteral("Bob's Shop"), 15, 4);
    int atThreshold = addPair(Pair("08:00:00", "14:00:00"));
    int below = addPair(Pair("08:00:00", "13:59:00"));
    int quoted = addPair(Pair("08:00:00", "12:00:00").dept("BOB'S SHOP"));
    int noQual = addPair(Pair("08:00:00", "14:00:00").dept("YARD"));
    RecalculateHours();

    EXPECT_DOUBLE_EQ(num(atThreshold, "DEPT HOURS"), 5.5);
    EXPECT_DOUBLE_EQ(num(atThreshold, "LUNCHLEN"), 30);
    EXPECT_DOUBLE_EQ(num(atThreshold, "LUNCH AT"), 6);
    EXPECT_DOUBLE_EQ(num(atThreshold, "OTRULES"), 3);
    EXPECT_DOUBLE_EQ(num(atThreshold, "PAYRATE"), 12.5);
    EXPECT_EQ(col(atThreshold, "UseDiff").toInt(), 1);
    EXPECT_DOUBLE_EQ(num(below, "DEPT HOURS"), 5.98);
    EXPECT_DOUBLE_EQ(num(below, "LUNCHLEN"), 0);
    EXPECT_DOUBLE_EQ(num(below, "LUNCH AT"), 0);
    EXPECT_DOUBLE_EQ(num(quoted, "DEPT HOURS"), 3.75);
    EXPECT_DOUBLE_EQ(num(noQual, "DEPT HOURS"), 6.0);
    EXPECT_DOUBLE_EQ(num(noQual, "OTRULES"), 0);
    EXPECT_DOUBLE_EQ(num(noQual, "PAYRATE"), 0);
    EXPECT_EQ(col(noQual, "UseDiff").toInt(), 0);

    // A site that deducts lunch by the day deducts none per pair.
    setRule("FullDayAutoLunch", 1);
    db().execute(QStringLiteral("UPDATE \"PUNCH\" SET \"RecalcHrs\" = 1"));
    RecalculateHours();
    EXPECT_DOUBLE_EQ(num(atThreshold, "DEPT HOURS"), 6.0);
    EXPECT_DOUBLE_EQ(num(atThreshold, "LUNCHLEN"), 0);
}

TEST_F(RecalculateTest, RevisionWindowsMoveWorkingTimes) {
    addQual(QStringLiteral("SHOP"), {}, {}, {"7:30 AM", "8:00 AM", "5:00 PM", "5:15 PM"});
    int inside = addPair(Pair("07:42:00", "17:10:00"));
    int after = addPair(Pair("08:01:00", "17:16:00"));
    int edge = addPair(Pair("07:30:00", "17:15:00"));
    RecalculateHours();
    EXPECT_EQ(text(inside, "timein"), QStringLiteral("08:00:00"));
    EXPECT_EQ(text(inside, "timeout"), QStringLiteral("17:00:00"));
    EXPECT_EQ(text(after, "timein"), QStringLiteral("08:01:00"));
    EXPECT_EQ(text(after, "timeout"), QStringLiteral("17:16:00"));
    EXPECT_EQ(text(edge, "timein"), QStringLiteral("08:00:00"));
    EXPECT_EQ(text(edge, "timeout"), QStringLiteral("17:00:00"));
    EXPECT_DOUBLE_EQ(num(inside, "DEPT HOURS"), 9.0);
}

TEST_F(RecalculateTest, ErrorCodesInTheirOrder) {
    setRule("LESS WARN", 4);
    setRule("WARNING", 10);
    setRule("TASKAS", 2);
    db().execute(QStringLiteral("INSERT INTO \"JOB\" (\"JOB NUMBER\") VALUES (77)"));
    db().execute(QStringLiteral("INSERT INTO \"TASK\" (\"TASK NUMBER\") VALUES (88)"));
    int open = addPair(Pair("08:00:00"));
    int few = addPair(Pair("08:00:00", "11:00:00").datafld(99));
    int many = addPair(Pair("08:00:00", "19:00:00"));
    Pair p = Pair("08:00:00", "16:00:00").datafld(99);
    int unknownJob = addPair(p);
    p.datafld(77);
    int knownJob = addPair(p);
    p.datafld(0);
    p.task(99);
    int unknownTask = addPair(p);
    p.task(88);
    int knownTask = addPair(p);
    RecalculateHours();
    EXPECT_EQ(code(open), 2);
    EXPECT_EQ(code(few), 3); // the job test only runs on a clear code
    EXPECT_EQ(code(many), 4);
    EXPECT_EQ(code(unknownJob), 5);
    EXPECT_EQ(code(knownJob), 0);
    EXPECT_EQ(code(unknownTask), 6);
    EXPECT_EQ(code(knownTask), 0);

    setRule("TASKAS", 0);
    db().execute(QStringLiteral("UPDATE \"PUNCH\" SET \"RecalcHrs\" = 1"));
    RecalculateHours();
    EXPECT_EQ(code(unknownTask), 0);
}

TEST_F(RecalculateTest, DayStartMovesEarlyPairsToThePreviousDay) {
    setRule("SORT 2", QStringLiteral("Day_Start"));
    setRule("ROUNDING", QStringLiteral("Quarter Hour"));
    db().execute(QStringLiteral("UPDATE \"EMPLOYEE\" SET \"SORT2\" = '04:00'"));
    addEmployee(2, 102); // no SORT2: the rule's Null DAY START, i.e. midnight
    int early = addPair(Pair("02:00:00", "10:00:00"));
    int onTime = addPair(Pair("04:00:00", "12:00:00"));
    int roundedPast = addPair(Pair("03:55:00", "12:00:00"));
    int other = addPair(Pair("00:30:00", "08:30:00").employee(2));
    int half = addPair(Pair(QVariant(), "03:00:00"));
    db().execute(QStringLiteral("UPDATE \"PUNCH\" SET \"AdjustedDate\" = '2007-04-20' WHERE \"ID\" = ?"),
                 {half});
    RecalculateHours();
    EXPECT_EQ(text(early, "AdjustedDate"), QStringLiteral("2007-04-22"));
    EXPECT_EQ(text(onTime, "AdjustedDate"), QStringLiteral("2007-04-23"));
    EXPECT_EQ(text(roundedPast, "AdjustedDate"), QStringLiteral("2007-04-22"));
    EXPECT_EQ(text(roundedPast, "timein"), QStringLiteral("04:00:00"));
    EXPECT_EQ(text(other, "AdjustedDate"), QStringLiteral("2007-04-23"));
    EXPECT_EQ(text(half, "AdjustedDate"), QStringLiteral("2007-04-20"));
    expectStableOnSecondRun({early, onTime, roundedPast, other});
}

TEST_F(RecalculateTest, OpenPairRunsUpToTheCurrentMinuteOnce) {
    setRule("UpToMin", 1);
    setNow(QStringLiteral("2007-04-26 17:17:40"));
    int open = addPair(Pair("08:05:00").odow(QVariant()).inDate("2007-04-26"));
    RecalculateHours();
    EXPECT_EQ(text(open, "timeout"), QStringLiteral("17:17:00"));
    EXPECT_EQ(col(open, "ODOW").toInt(), 5);
    EXPECT_DOUBLE_EQ(num(open, "DEPT HOURS"), 9.2);
    EXPECT_EQ(code(open), 2);
    EXPECT_FALSE(marked(open));

    setNow(QStringLiteral("2007-04-26 18:30:00"));
    db().execute(QStringLiteral("UPDATE \"PUNCH\" SET \"RecalcHrs\" = 1"));
    RecalculateHours();
    EXPECT_EQ(text(open, "timeout"), QStringLiteral("17:17:00"));
}

TEST_F(RecalculateTest, FailingRowKeepsWhatWasReachedAndStaysMarked) {
    addQual(QStringLiteral("BAD"), {}, {}, {"soon", "8:00 AM"});
    int bad = addPair(Pair("07:45:00", "16:00:00").dept("BAD"));
    int good = addPair(Pair("08:00:00", "16:00:00"));
    int unmarked = addPair(Pair("08:00:00", "16:00:00"));
    int nonWorked = addPair(Pair("08:00:00", "16:00:00"));
    db().execute(QStringLiteral("UPDATE \"PUNCH\" SET \"RecalcHrs\" = 0 WHERE \"ID\" = ?"), {unmarked});
    db().execute(QStringLiteral("UPDATE \"PUNCH\" SET \"NONWORKED\" = 'HOL' WHERE \"ID\" = ?"), {nonWorked});
    RecalculateHours();

    EXPECT_TRUE(marked(bad));
    EXPECT_EQ(code(bad), 1);
    EXPECT_EQ(text(bad, "AdjustedDate"), QStringLiteral("2007-04-23"));
    EXPECT_EQ(text(bad, "timein"), QStringLiteral("07:45:00"));
    EXPECT_DOUBLE_EQ(num(bad, "OTRULES"), 3); // written before the revision failed
    EXPECT_TRUE(col(bad, "DEPT HOURS").isNull());
    ASSERT_EQ(boxes.count(QStringLiteral("ERROR")), 1);
    EXPECT_EQ(boxes.shown()[0].prompt, QStringLiteral("Type mismatch"));
    EXPECT_TRUE(
        readFile(QStringLiteral("logs/QX8log.txt")).contains("Procedure_RecalculateThisPunch Dept Qual"));

    EXPECT_FALSE(marked(good));
    EXPECT_DOUBLE_EQ(num(good, "DEPT HOURS"), 8.0);
    for (int id : {unmarked, nonWorked}) {
        EXPECT_TRUE(col(id, "timein").isNull());
        EXPECT_TRUE(col(id, "DEPT HOURS").isNull());
    }

    // One row on request, marked or not.
    EXPECT_TRUE(RecalculateThisPunch(unmarked));
    EXPECT_DOUBLE_EQ(num(unmarked, "DEPT HOURS"), 8.0);
    EXPECT_FALSE(RecalculateThisPunch(bad));
    EXPECT_FALSE(RecalculateThisPunch(9999));
}
