#include "HoursFixture.h"
#include "component/DateTime.h"
#include "hours/DayStart.h"

using namespace hx;

namespace {
class RecalculateTest : public hx::test::HoursTest {
protected:
    // Marks the rows again, runs again, and expects every computed column unchanged.
    void expectStableOnSecondRun(const std::vector<int> &ids) {
        const char *cols[] = {"AdjustedDate", "timein", "timeout", "DEPT HOURS", "ERRORCODE", "LUNCHLEN"};
        std::vector<QString> before;
        for (int id : ids)
            for (const char *c : cols)
                before.push_back(text(id, c));
        markAll();
        RecalculateHours();
        size_t k = 0;
        for (int id : ids)
            for (const char *c : cols)
                EXPECT_EQ(text(id, c), before[k++]) << "row " << id << " column " << c;
    }
};
} // namespace

TEST_F(RecalculateTest, RoundingModesAroundTheirBoundariesAndStableOnRerun) {
    struct Mode {
        const char *rule;
        std::vector<std::array<const char *, 4>> cases; // in, out, rounded in, rounded out
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
         {{"07:50:00", "16:55:00", "08:00:00", "17:00:00"},
          {"07:49:00", "16:54:00", "07:45:00", "16:45:00"},
          {"08:04:00", "17:09:00", "08:00:00", "17:00:00"},
          {"08:05:00", "17:10:00", "08:15:00", "17:15:00"}},
         9.0},
        {"Tenth Hour", // the seconds count
         {{"08:05:00", "16:35:29", "08:00:00", "16:30:00"},
          {"08:05:40", "16:35:31", "08:06:00", "16:36:00"},
          {"08:11:59", "16:41:59", "08:12:00", "16:42:00"}},
         8.5},
        {"quarter hour", {{"08:07:00", "16:53:00", "08:07:00", "16:53:00"}}, 8.77}, // the name is exact
    };
    for (const Mode &m : modes) {
        db().execute(QStringLiteral("DELETE FROM \"PUNCH\""));
        setRule("ROUNDING", QString::fromLatin1(m.rule));
        std::vector<int> ids;
        for (const auto &c : m.cases)
            ids.push_back(addPair(c[0], c[1]));
        RecalculateHours();
        for (size_t i = 0; i < ids.size(); ++i) {
            SCOPED_TRACE(std::string(m.rule) + " " + m.cases[i][0] + "-" + m.cases[i][1]);
            EXPECT_EQ(text(ids[i], "timein"), QLatin1String(m.cases[i][2]));
            EXPECT_EQ(text(ids[i], "timeout"), QLatin1String(m.cases[i][3]));
            EXPECT_FALSE(marked(ids[i]));
        }
        EXPECT_DOUBLE_EQ(num(ids[0], "DEPT HOURS"), m.firstHours) << m.rule;
        EXPECT_EQ(code(ids[0]), 0);
        expectStableOnSecondRun(ids);
    }
}

TEST_F(RecalculateTest, RoundingUpToMidnightKeepsTheHoursOnRerun) {
    setRule("ROUNDING", QStringLiteral("Quarter Hour"));
    int evening = addPair("16:00:00", "23:55:00");
    int night = addPair("23:55:00", "08:00:00", {{"ODOW", 3}});
    RecalculateHours();
    EXPECT_EQ(text(evening, "timeout"), QStringLiteral("00:00:00"));
    EXPECT_DOUBLE_EQ(num(evening, "DEPT HOURS"), 8.0);
    EXPECT_EQ(text(night, "timein"), QStringLiteral("00:00:00"));
    EXPECT_DOUBLE_EQ(num(night, "DEPT HOURS"), 8.0);
    EXPECT_EQ(text(night, "AdjustedDate"), QStringLiteral("2007-04-23"));
    expectStableOnSecondRun({evening, night});
}

TEST_F(RecalculateTest, HoursSpanWeekdaysOfTheInAndOutPunch) {
    int overnight = addPair("22:00:00", "06:00:00", {{"ODOW", 3}});
    int twoDays = addPair("08:00:00", "10:00:00", {{"ODOW", 4}});
    int nextWeek = addPair("08:00:00", "09:00:00");
    int noOdow = addPair("08:00:00", "09:00:00", {{"ODOW", QVariant()}});
    RecalculateHours();
    EXPECT_DOUBLE_EQ(num(overnight, "DEPT HOURS"), 8.0);
    EXPECT_EQ(code(overnight), 0);
    EXPECT_DOUBLE_EQ(num(twoDays, "DEPT HOURS"), 50.0);
    EXPECT_DOUBLE_EQ(num(nextWeek, "DEPT HOURS"), 1.0);
    EXPECT_TRUE(col(noOdow, "DEPT HOURS").isNull());
    EXPECT_EQ(code(noOdow), 1);
}

TEST_F(RecalculateTest, DepartmentLunchAtAndBelowItsThreshold) {
    addQual(QStringLiteral("SHOP"), QStringLiteral("30 min"), QStringLiteral("6"));
    addQual(QStringLiteral("Bob's Shop"), 15, 4);
    int atThreshold = addPair("08:00:00", "14:00:00");
    int below = addPair("08:00:00", "13:59:00");
    int quoted = addPair("08:00:00", "12:00:00", {{"DEPT NAME", "BOB'S SHOP"}});
    int noQual = addPair("08:00:00", "14:00:00", {{"DEPT NAME", "YARD"}});
    RecalculateHours();
    EXPECT_DOUBLE_EQ(num(atThreshold, "DEPT HOURS"), 5.5);
    EXPECT_DOUBLE_EQ(num(atThreshold, "LUNCHLEN"), 30);
    EXPECT_DOUBLE_EQ(num(atThreshold, "PAYRATE"), 12.5);
    EXPECT_DOUBLE_EQ(num(below, "DEPT HOURS"), 5.98);
    EXPECT_DOUBLE_EQ(num(below, "LUNCHLEN"), 0);
    EXPECT_DOUBLE_EQ(num(quoted, "DEPT HOURS"), 3.75);
    EXPECT_DOUBLE_EQ(num(noQual, "DEPT HOURS"), 6.0);
    EXPECT_DOUBLE_EQ(num(noQual, "PAYRATE"), 0);

    // A site that deducts lunch by the day deducts none per pair.
    setRule("FullDayAutoLunch", true);
    markAll();
    RecalculateHours();
    EXPECT_DOUBLE_EQ(num(atThreshold, "DEPT HOURS"), 6.0);
}

TEST_F(RecalculateTest, RevisionWindowsMoveWorkingTimesEdgesIncluded) {
    addQual(QStringLiteral("SHOP"), {}, {}, {"7:30 AM", "8:00 AM", "5:00 PM", "5:15 PM"});
    const std::array<const char *, 4> cases[] = {{"07:42:00", "17:10:00", "08:00:00", "17:00:00"},
                                                 {"08:01:00", "17:16:00", "08:01:00", "17:16:00"},
                                                 {"07:30:00", "17:15:00", "08:00:00", "17:00:00"}};
    std::vector<int> ids;
    for (const auto &c : cases)
        ids.push_back(addPair(c[0], c[1]));
    RecalculateHours();
    for (size_t i = 0; i < ids.size(); ++i) {
        EXPECT_EQ(text(ids[i], "timein"), QLatin1String(cases[i][2])) << cases[i][0];
        EXPECT_EQ(text(ids[i], "timeout"), QLatin1String(cases[i][3])) << cases[i][1];
    }
}

TEST_F(RecalculateTest, ErrorCodesInTheirOrder) {
    setRule("LESS WARN", 4);
    setRule("WARNING", 10);
    setRule("TASKAS", 2);
    db().execute(QStringLiteral("INSERT INTO \"JOB\" (\"JOB NUMBER\") VALUES (77)"));
    db().execute(QStringLiteral("INSERT INTO \"TASK\" (\"TASK NUMBER\") VALUES (88)"));
    const struct {
        QVariant out, job, task;
        int want;
    } cases[] = {
        {{}, {}, {}, 2},         {"11:00:00", 99, {}, 3}, // the job test only runs on a clear code
        {"19:00:00", {}, {}, 4}, {"16:00:00", 99, {}, 5}, {"16:00:00", 77, {}, 0},
        {"16:00:00", 0, 99, 6},  {"16:00:00", 0, 88, 0},
    };
    std::vector<int> ids;
    for (const auto &c : cases)
        ids.push_back(addPair("08:00:00", c.out, {{"DATAFLD", c.job}, {"TASK", c.task}}));
    RecalculateHours();
    for (size_t i = 0; i < ids.size(); ++i)
        EXPECT_EQ(code(ids[i]), cases[i].want) << "row " << i;

    setRule("TASKAS", 0);
    markAll();
    RecalculateHours();
    EXPECT_EQ(code(ids[5]), 0);
}

TEST_F(RecalculateTest, EmployeeOwnDayStartOnlyUnderTheExactTitle) {
    setRule("DAY START", QStringLiteral("03:00:00"));
    setRule("SORT 2", QStringLiteral("Day_Start"));
    db().execute(QStringLiteral("UPDATE \"EMPLOYEE\" SET \"SORT2\" = '4:30 AM'"));
    addEmployee(3, 103, QStringLiteral("early"));
    addEmployee(4, 104, QString());
    resetDayStartCache();
    EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(101), 4.5 / 24);
    EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(103), 3.0 / 24);
    EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(104), 3.0 / 24);
    EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(999), 3.0 / 24);
    setRule("SORT 2", QStringLiteral("day_start"));
    EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(101), 3.0 / 24);
}

TEST_F(RecalculateTest, DayStartMovesEarlyPairsToThePreviousDay) {
    setRule("SORT 2", QStringLiteral("Day_Start"));
    setRule("ROUNDING", QStringLiteral("Quarter Hour"));
    db().execute(QStringLiteral("UPDATE \"EMPLOYEE\" SET \"SORT2\" = '01:00'"));
    EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(101), 1.0 / 24); // now cached; the run must read afresh
    db().execute(QStringLiteral("UPDATE \"EMPLOYEE\" SET \"SORT2\" = '04:00'"));
    addEmployee(2, 102); // no SORT2: the rule's Null DAY START (1 January 1900), i.e. midnight
    int early = addPair("02:00:00", "10:00:00");
    int onTime = addPair("04:00:00", "12:00:00");
    int roundedPast = addPair("03:55:00", "12:00:00");
    int other = addPair("00:30:00", "08:30:00", {{"EMPLOYEE ID", 2}});
    int half = addPair({}, "03:00:00", {{"AdjustedDate", "2007-04-20"}});
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
    setRule("UpToMin", true);
    setNow(QStringLiteral("2007-04-26 17:17:40"));
    int open = addPair("08:05:00", {}, {{"ODOW", QVariant()}, {"IN DATE", "2007-04-26"}});
    RecalculateHours();
    EXPECT_EQ(text(open, "timeout"), QStringLiteral("17:17:00"));
    EXPECT_EQ(col(open, "ODOW").toInt(), 5);
    EXPECT_DOUBLE_EQ(num(open, "DEPT HOURS"), 9.2);
    EXPECT_EQ(code(open), 2);

    setNow(QStringLiteral("2007-04-26 18:30:00"));
    markAll();
    RecalculateHours();
    EXPECT_EQ(text(open, "timeout"), QStringLiteral("17:17:00"));
}

TEST_F(RecalculateTest, FailingRowKeepsWhatWasReachedAndStaysMarked) {
    addQual(QStringLiteral("BAD"), {}, {}, {"soon", "8:00 AM"});
    int bad = addPair("07:45:00", "16:00:00", {{"DEPT NAME", "BAD"}});
    int good = addPair("08:00:00", "16:00:00");
    int unmarked = addPair("08:00:00", "16:00:00", {{"RecalcHrs", 0}});
    int nonWorked = addPair("08:00:00", "16:00:00", {{"NONWORKED", "HOL"}});
    RecalculateHours();
    EXPECT_TRUE(marked(bad));
    EXPECT_EQ(code(bad), 1);
    EXPECT_EQ(text(bad, "timein"), QStringLiteral("07:45:00"));
    EXPECT_DOUBLE_EQ(num(bad, "OTRULES"), 3); // written before the revision failed
    EXPECT_TRUE(col(bad, "DEPT HOURS").isNull());
    ASSERT_EQ(boxes.count(QStringLiteral("ERROR")), 1);
    EXPECT_EQ(boxes.shown()[0].prompt, QStringLiteral("Type mismatch"));
    EXPECT_TRUE(
        readFile(QStringLiteral("logs/QX8log.txt")).contains("Procedure_RecalculateThisPunch Dept Qual"));
    EXPECT_FALSE(marked(good));
    EXPECT_DOUBLE_EQ(num(good, "DEPT HOURS"), 8.0);
    EXPECT_TRUE(col(unmarked, "DEPT HOURS").isNull());
    EXPECT_TRUE(col(nonWorked, "DEPT HOURS").isNull());

    // One row on request, marked or not.
    EXPECT_TRUE(RecalculateThisPunch(unmarked));
    EXPECT_DOUBLE_EQ(num(unmarked, "DEPT HOURS"), 8.0);
    EXPECT_FALSE(RecalculateThisPunch(bad));
    EXPECT_FALSE(RecalculateThisPunch(9999));
}

// The saves go together; one the database refuses undoes them, and the rows
// are done again one at a time: only the refused row keeps its old values and
// its mark, and every report appears once, in the rows' order.
TEST_F(RecalculateTest, RefusedSaveLeavesOnlyItsRowUndone) {
    if (onServer())
        db().executeScript(
            QStringLiteral(u"CREATE FUNCTION refuse_locked() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF NEW.\"DEPT NAME\" = 'LOCKED' THEN RAISE EXCEPTION 'locked row'; END IF; RETURN NEW; END $$;\n"
            "CREATE TRIGGER refuse_locked BEFORE UPDATE ON \"PUNCH\" FOR EACH ROW EXECUTE FUNCTION refuse_locked();\n"));
    else
        db().executeScript(QStringLiteral(u"CREATE TRIGGER refuse_locked BEFORE UPDATE ON \"PUNCH\" WHEN NEW.\"DEPT NAME\" = 'LOCKED' "
                           "BEGIN SELECT RAISE(ABORT, 'locked row'); END;\n"));
    addQual(QStringLiteral("BAD"), {}, {}, {"soon", "8:00 AM"});
    const int before = addPair("08:00:00", "16:00:00");
    const int bad = addPair("07:45:00", "16:00:00", {{"DEPT NAME", "BAD"}});
    const int locked = addPair("08:00:00", "16:00:00", {{"DEPT NAME", "LOCKED"}});
    const int after = addPair("08:00:00", "17:00:00");
    RecalculateHours();
    EXPECT_TRUE(marked(locked));
    EXPECT_TRUE(col(locked, "DEPT HOURS").isNull());
    EXPECT_TRUE(marked(bad));
    for (int id : {before, after})
        EXPECT_FALSE(marked(id)) << id;
    EXPECT_DOUBLE_EQ(num(after, "DEPT HOURS"), 9.0);
    const QByteArray log = readFile(QStringLiteral("logs/QX8log.txt"));
    EXPECT_EQ(log.count("Procedure_RecalculateThisPunch Dept Qual"), 1);
    EXPECT_EQ(log.count("locked row"), 1);
    EXPECT_LT(log.indexOf("Dept Qual"), log.indexOf("locked row")) << "reports in the rows' order";
}
