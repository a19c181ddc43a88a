// Posting end to end: the driver, duplicate removal, pairing and the row writers.
#include "PostingFixture.h"

using namespace hx;

class PairingTest : public hx::test::PostingTest {
protected:
    void SetUp() override {
        PostingTest::SetUp();
        addEmployee(1, 101);
        addEmployee(2, 102);
    }
    int scheduledPair(int e, const QString &date, const QVariant &nonWorked = {}) {
        return insertRow(u"PUNCH"_s, {{"EMPLOYEE ID", e}, {"IN DATE", date}, {"InCode", 4}, {"Schedule", 1},
                                      {"NONWORKED", nonWorked}});
    }
};

TEST_F(PairingTest, DayStartDecidesTheDayOfTheLastPoll) {
    setRule(u"DAY START"_s, u"04:00:00"_s);
    const char *cases[][2] = {{"02:00:00", "2007-03-04"}, // before the day start: the previous day
                              {"04:00:00", "2007-03-05"},
                              {"2007-03-05 02:00:00", "2007-03-04"}}; // stored with a date: its time counts
    for (const auto &c : cases) {
        newPoll();
        in(u"2007-03-05"_s, QString::fromLatin1(c[0]));
        EXPECT_TRUE(post());
        EXPECT_EQ(lastPoll(), QLatin1String(c[1])) << c[0];
    }
    newPoll(); // the latest of all rows, not the last in badge order
    in(u"2007-03-07"_s, u"09:00:00"_s, 1);
    in(u"2007-03-06"_s, u"09:00:00"_s, 2);
    post();
    EXPECT_EQ(lastPoll(), u"2007-03-07"_s);

    // The employee's own day start, read afresh by each posting.
    setRule(u"SORT 2"_s, u"Day_Start"_s);
    newPoll();
    in(u"2007-03-05"_s, u"04:00:00"_s);
    const std::pair<const char *, const char *> sort2Days[] = {{"04:30", "2007-03-04"}, {"03:00", "2007-03-05"}};
    for (auto [sort2, day] : sort2Days) {
        db().execute(u"UPDATE \"EMPLOYEE\" SET \"SORT2\" = ? WHERE \"EMPLOYEE ID\" = 1"_s, {QString::fromLatin1(sort2)});
        post();
        EXPECT_EQ(lastPoll(), QLatin1String(day)) << sort2;
    }
}

TEST_F(PairingTest, RepeatsWithinTwoMinutesOfTheKeptPunchAreRemoved) {
    in(u"2007-03-05"_s, u"08:00:00"_s);
    const int oneMinute = in(u"2007-03-05"_s, u"08:01:00"_s);
    in(u"2007-03-05"_s, u"08:03:00"_s); // 3 minutes after the kept 08:00
    in(u"2007-03-06"_s, u"08:00:00"_s);
    const int twoMinutes = in(u"2007-03-06"_s, u"08:02:00"_s);
    in(u"2007-03-07"_s, u"23:59:00"_s);
    const int acrossMidnight = in(u"2007-03-08"_s, u"00:01:00"_s);
    in(u"2007-03-09"_s, u"08:00:00"_s);
    out(u"2007-03-09"_s, u"08:01:00"_s);   // other direction
    in(u"2007-03-05"_s, u"08:00:00"_s, 2); // other employee
    EXPECT_TRUE(post());
    EXPECT_EQ(count(u"SELECT count(*) FROM \"IMPORT\""_s), 7);
    EXPECT_EQ(count(u"SELECT count(*) FROM \"IMPORT\" WHERE \"ID\" IN (?, ?, ?)"_s,
                    {oneMinute, twoMinutes, acrossMidnight}), 0);
    ASSERT_EQ(boxes.count(u"Duplicate Punches Found"_s), 1);
    EXPECT_EQ(boxes.shown().back().prompt, u"3 duplicate punch(es) removed"_s);
}

TEST_F(PairingTest, OvernightPairsAndOutOnlyRowsFilledByALaterIn) {
    in(u"2007-03-05"_s, u"22:00:00"_s, 1);
    out(u"2007-03-06"_s, u"06:00:00"_s, 1);
    for (const char *day : {"2007-03-06 06:00:00", "2007-03-09 07:00:00", "2007-03-12 06:00:00"})
        out(QString::fromLatin1(day, 10), QString::fromLatin1(day + 11), 2);
    post();
    EXPECT_EQ(pairs(1), QStringList{u"2007-03-05 22:00-06:00"_s});
    newPoll();
    in(u"2007-03-05"_s, u"22:00:00"_s, 2); // the 6 March row is its only candidate: out not later
    in(u"2007-03-09"_s, u"07:00:00"_s, 2); // equal times: not later
    in(u"2007-03-12"_s, u"05:00:00"_s, 2);
    post();
    EXPECT_EQ(pairs(2), (QStringList{u"2007-03-05 22:00---"_s, u"2007-03-06 ---06:00"_s, u"2007-03-09 ---07:00"_s,
                                     u"2007-03-09 07:00---"_s, u"2007-03-12 05:00-06:00"_s}));
}

TEST_F(PairingTest, InPunchFillsEmptyScheduledPairsUpToSixDaysAhead) {
    // Of an out-only row and an empty pair of the same date, the empty pair comes first; a day not
    // worked is never filled; the filled pair takes the in punch's date; never backward.
    const struct {
        int id;
        const char *want;
    } rows[] = {{insertRow(u"PUNCH"_s, {{"EMPLOYEE ID", 1}, {"IN DATE", "2007-03-07"}, {"OUT TIME", "17:00:00"}}),
                 "2007-03-07 -"},
                {scheduledPair(1, u"2007-03-07"_s), "2007-03-07 07:55:00"},
                {scheduledPair(2, u"2007-03-04"_s), "2007-03-04 -"},
                {scheduledPair(2, u"2007-03-11"_s), "2007-03-05 08:00:00"},
                {scheduledPair(2, u"2007-03-12"_s), "2007-03-12 -"},
                {scheduledPair(2, u"2007-03-06"_s, u"HOL"_s), "2007-03-06 -"}};
    in(u"2007-03-07"_s, u"07:55:00"_s, 1);
    in(u"2007-03-05"_s, u"08:00:00"_s, 2);
    post();
    for (const auto &r : rows)
        EXPECT_EQ(values(r.id, {"IN DATE", "IN TIME"}), QLatin1String(r.want));
    EXPECT_EQ(count(u"SELECT count(*) FROM \"PUNCH\""_s), 6);
}

TEST_F(PairingTest, OutClosesTheLatestEarlierOpenRow) {
    in(u"2007-04-06"_s, u"08:00:00"_s, 1);
    in(u"2007-03-05"_s, u"10:00:00"_s, 2);
    scheduledPair(3, u"2007-03-05"_s);
    insertRow(u"PUNCH"_s, {{"EMPLOYEE ID", 3}, {"IN DATE", "2007-03-05"}, {"IN TIME", "09:00:00"}});
    in(u"2007-03-07"_s, u"08:00:00"_s, 4);
    post();
    newPoll();
    out(u"2007-04-26"_s, u"16:00:00"_s, 1);                     // no look-back limit
    out(u"2007-03-05"_s, u"09:00:00"_s, 2);                     // before the open in of its day
    out(u"2007-03-06"_s, u"03:00:00"_s, 3);                     // the open row, not the empty pair
    out(u"2007-03-07"_s, u"08:00:00"_s, 4);                     // at the in's own time
    addImport({.time = u"12:00:00"_s, .signIn = std::nullopt}); // undecided: not posted
    post();
    EXPECT_EQ(pairs(1), QStringList{u"2007-04-06 08:00-16:00"_s});
    EXPECT_EQ(pairs(2), (QStringList{u"2007-03-05 10:00---"_s, u"2007-03-05 ---09:00"_s}));
    EXPECT_EQ(pairs(3), (QStringList{u"2007-03-05 -----"_s, u"2007-03-05 09:00-03:00"_s}));
    EXPECT_EQ(pairs(4), QStringList{u"2007-03-07 08:00-08:00"_s});
}

TEST_F(PairingTest, WritersCarryDataFieldTaskAndEditFlagsByTheRules) {
    setRule(u"DATAFLD INPUT"_s, true); // data field and task on the in punch
    setRule(u"TASK INPUT"_s, true);
    setRule(u"TASKAS"_s, 1);
    // The out punch's department is written last and stays.
    addImport({.date = u"2007-03-04"_s, .dataFldEn = true, .dataFld = 42, .task = 7, .edited = true});
    addImport({.date = u"2007-03-04"_s, .time = u"17:00:00"_s, .signIn = false, .dept = u"O'Brien's"_s,
               .dataFldEn = true, .dataFld = 43});
    addImport({.employee = 2, .dataFldEn = false, .dataFld = 45});
    addImport({.employee = 2, .time = u"12:00:00"_s, .signIn = false, .dataFldEn = true, .dataFld = 44,
               .edited = true});
    post();
    // The next poll collects on the out punch, without task tracking.
    setRule(u"DATAFLD INPUT"_s, false);
    setRule(u"TASKAS"_s, 3);
    newPoll();
    addImport({.employee = 3, .dataFldEn = true, .dataFld = 50, .task = 7});
    addImport({.employee = 3, .time = u"17:00:00"_s, .signIn = false, .dataFldEn = true, .dataFld = 51, .task = 8});
    post();

    // Inserts write the edit flags, updates only raise them; Sunday is ODOW 1.
    EXPECT_EQ(rows(u"SELECT \"DATAFLD\", \"TASK\", CAST(\"EDIT FLAG\" AS INTEGER), CAST(\"CLOCK EDIT FLAG\" AS INTEGER), "
                   "\"ODOW\", \"DEPT NAME\" FROM \"PUNCH\" ORDER BY \"EMPLOYEE ID\""_s),
              (QStringList{u"42 7 1 1 1 O'Brien's"_s, u"- - 1 1 2 SHOP"_s, u"51 - 0 0 2 SHOP"_s}));
}

TEST_F(PairingTest, LateOutReplacesTheTimeCountedUpToTheMinute) {
    setRule(u"UpToMin"_s, true);
    setNow(u"2007-03-05 12:34:00"_s);
    in(u"2007-03-05"_s, u"08:00:00"_s);
    post();
    const int id = count(u"SELECT \"ID\" FROM \"PUNCH\""_s);
    ASSERT_EQ(hhmm(values(id, {"timeout"})), u"12:34"_s) << "open pair counted up to now";
    setNow(u"2007-03-05 18:00:00"_s);
    newPoll();
    out(u"2007-03-05"_s, u"16:00:00"_s);
    post();
    EXPECT_EQ(hhmm(values(id, {"timeout"})), u"16:00"_s);
}

// A row the database refuses undoes the pairing's batched writes; the pairing is then done a punch at
// a time: only the refused punch is missing, reported once, as had every punch been written alone.
TEST_F(PairingTest, RefusedWriteLeavesOnlyItsPunchOutAndKeepsTheKeysInStep) {
    refusePunch("INSERT", u"NEW.\"CLOCK NUMBER\" = 7"_s, u"clock 7 refused"_s);
    in(u"2007-03-05"_s, u"08:00:00"_s);
    out(u"2007-03-05"_s, u"16:00:00"_s);
    addImport({.employee = 2, .clock = 7});
    in(u"2007-03-05"_s, u"13:00:00"_s, 2);
    out(u"2007-03-05"_s, u"17:00:00"_s, 2);
    EXPECT_TRUE(post());
    EXPECT_EQ(pairs(1), QStringList{u"2007-03-05 08:00-16:00"_s});
    EXPECT_EQ(pairs(2), QStringList{u"2007-03-05 13:00-17:00"_s});
    EXPECT_EQ(logText().count(u"Procedure_NewInPunchRecord"_s), 1);
    EXPECT_TRUE(logText().contains(u"clock 7 refused"_s));
    // The server spends a key on the refused row, as a write of its own does; the batch undone none.
    EXPECT_EQ(count(u"SELECT MAX(\"ID\") - COUNT(*) FROM \"PUNCH\""_s), onServer() ? 1 : 0);
}
