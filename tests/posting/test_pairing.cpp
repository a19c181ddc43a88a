// Posting end to end: the driver, duplicate removal, pairing and the row writers.
#include "PostingFixture.h"

#include "posting/Posting.h"

using namespace hx;

class PairingTest : public hx::test::PostingTest {
protected:
    void SetUp() override {
        PostingTest::SetUp();
        addEmployee(1, 101);
        addEmployee(2, 102);
    }
    int scheduledPair(int e, const QString &date) {
        return insertRow(u"PUNCH"_s, {{"EMPLOYEE ID", e}, {"IN DATE", date}, {"InCode", 4}, {"Schedule", 1}});
    }
};

// ---------------------------------------------------------------- driver

TEST_F(PairingTest, EmptyImportOnlySettlesThePoll) {
    addEmployee(3, 103, {{"STATUS", 2}});
    EXPECT_TRUE(post());
    EXPECT_EQ(count(u"SELECT \"STATUS\" FROM \"EMPLOYEE\" WHERE \"EMPLOYEE ID\" = 3"_s), 1);
    EXPECT_EQ(lastPoll(), QString()) << "no schedule insertion without punches";
}

TEST_F(PairingTest, LatestAdjustedDateBoundsTheLastPoll) {
    setRule(u"DAY START"_s, u"04:00:00"_s);
    in(u"2007-03-05"_s, u"02:00:00"_s);
    EXPECT_TRUE(post());
    EXPECT_EQ(lastPoll(), u"2007-03-04"_s) << "before the day start: the previous day";
    newPoll();
    in(u"2007-03-05"_s, u"04:00:00"_s);
    post();
    EXPECT_EQ(lastPoll(), u"2007-03-05"_s) << "at the day start: its own day";
    // The maximum over all rows, not the last of the badge order.
    newPoll();
    in(u"2007-03-07"_s, u"09:00:00"_s, 1);
    in(u"2007-03-06"_s, u"09:00:00"_s, 2);
    post();
    EXPECT_EQ(lastPoll(), u"2007-03-07"_s);
}

TEST_F(PairingTest, EmployeesOwnDayStartIsReadAfreshEachPosting) {
    setRule(u"SORT 2"_s, u"Day_Start"_s);
    db().execute(u"UPDATE \"EMPLOYEE\" SET \"SORT2\" = '04:30' WHERE \"EMPLOYEE ID\" = 1"_s);
    in(u"2007-03-05"_s, u"04:00:00"_s);
    post();
    EXPECT_EQ(lastPoll(), u"2007-03-04"_s);
    db().execute(u"UPDATE \"EMPLOYEE\" SET \"SORT2\" = '03:00' WHERE \"EMPLOYEE ID\" = 1"_s);
    post();
    EXPECT_EQ(lastPoll(), u"2007-03-05"_s);
}

TEST_F(PairingTest, TaskIsPostedOnlyWithTaskTracking) {
    setRule(u"TASK INPUT"_s, true);
    setRule(u"TASKAS"_s, 3);
    addImport({.dataFldEn = true, .task = 7});
    post();
    EXPECT_EQ(count(u"SELECT count(*) FROM \"PUNCH\" WHERE \"TASK\" IS NULL"_s), 1) << "TASKAS 3: off";
    newPoll();
    setRule(u"TASKAS"_s, 1);
    addImport({.employee = 2, .badge = 102, .dataFldEn = true, .task = 7});
    post();
    EXPECT_EQ(count(u"SELECT \"TASK\" FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = 2"_s), 7);
}

// ---------------------------------------------------------------- duplicates

TEST_F(PairingTest, RepeatedPunchesWithinTwoMinutesAreRemoved) {
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
    for (int id : {oneMinute, twoMinutes, acrossMidnight})
        EXPECT_EQ(count(u"SELECT count(*) FROM \"IMPORT\" WHERE \"ID\" = ?"_s, {id}), 0) << id;
    ASSERT_EQ(boxes.count(u"Duplicate Punches Found"_s), 1);
    EXPECT_EQ(boxes.shown().back().prompt, u"3 duplicate punch(es) removed"_s);
}

// ---------------------------------------------------------------- pairing

TEST_F(PairingTest, InAndOutOfOnePollPairUpAlsoAcrossMidnight) {
    in(u"2007-03-05"_s, u"08:00:00"_s, 1);
    out(u"2007-03-05"_s, u"17:00:00"_s, 1);
    in(u"2007-03-05"_s, u"22:00:00"_s, 2);
    out(u"2007-03-06"_s, u"06:00:00"_s, 2);
    post();
    EXPECT_EQ(pairs(1), QStringList{u"2007-03-05 08:00-17:00"_s});
    EXPECT_EQ(pairs(2), QStringList{u"2007-03-05 22:00-06:00"_s});
}

TEST_F(PairingTest, OutOnlyRowIsFilledOnlyByAnEarlierInOfItsDate) {
    out(u"2007-03-06"_s, u"06:00:00"_s, 1);
    out(u"2007-03-06"_s, u"06:00:00"_s, 2);
    out(u"2007-03-09"_s, u"07:00:00"_s, 2);
    post();
    EXPECT_EQ(pairs(1), QStringList{u"2007-03-06 ---06:00"_s});
    newPoll();
    in(u"2007-03-06"_s, u"05:00:00"_s, 1);
    in(u"2007-03-05"_s, u"22:00:00"_s, 2); // the 6 March row is its only candidate: out not later
    in(u"2007-03-09"_s, u"07:00:00"_s, 2); // equal times: not later
    post();
    EXPECT_EQ(pairs(1), QStringList{u"2007-03-06 05:00-06:00"_s});
    EXPECT_EQ(pairs(2), (QStringList{u"2007-03-05 22:00---"_s, u"2007-03-06 ---06:00"_s,
                                     u"2007-03-09 ---07:00"_s, u"2007-03-09 07:00---"_s}));
}

TEST_F(PairingTest, InPunchFillsScheduledPairsUpToSixDaysAhead) {
    const int same = scheduledPair(1, u"2007-03-07"_s);
    const int ahead = scheduledPair(2, u"2007-03-09"_s);
    const int behind = scheduledPair(2, u"2007-03-04"_s);
    const int tooFar = scheduledPair(2, u"2007-03-12"_s);
    in(u"2007-03-07"_s, u"07:55:00"_s, 1);
    in(u"2007-03-05"_s, u"08:00:00"_s, 2);
    post();
    EXPECT_EQ(hhmm(punch(same)[u"IN TIME"_s]), u"07:55"_s);
    EXPECT_EQ(punch(ahead)[u"IN DATE"_s].toString(), u"2007-03-05"_s) << "takes the in punch's date";
    EXPECT_EQ(hhmm(punch(ahead)[u"IN TIME"_s]), u"08:00"_s);
    EXPECT_TRUE(isNull(punch(behind)[u"IN TIME"_s])) << "never backward";
    EXPECT_TRUE(isNull(punch(tooFar)[u"IN TIME"_s]));
    EXPECT_EQ(count(u"SELECT count(*) FROM \"PUNCH\""_s), 4);
}

TEST_F(PairingTest, MissingTimesSortFirst) {
    // In: an empty pair comes before an out-only row of the same date.
    const int outOnly =
        insertRow(u"PUNCH"_s, {{"EMPLOYEE ID", 1}, {"IN DATE", "2007-03-05"}, {"OUT TIME", "17:00:00"}});
    const int empty = scheduledPair(1, u"2007-03-05"_s);
    in(u"2007-03-05"_s, u"08:00:00"_s, 1);
    // Out: of an empty pair and an open row of the same earlier date, the open row is the latest.
    scheduledPair(2, u"2007-03-05"_s);
    const int open =
        insertRow(u"PUNCH"_s, {{"EMPLOYEE ID", 2}, {"IN DATE", "2007-03-05"}, {"IN TIME", "09:00:00"}});
    out(u"2007-03-06"_s, u"03:00:00"_s, 2);
    post();
    EXPECT_EQ(hhmm(punch(empty)[u"IN TIME"_s]), u"08:00"_s);
    EXPECT_TRUE(isNull(punch(outOnly)[u"IN TIME"_s]));
    EXPECT_EQ(hhmm(punch(open)[u"OUT TIME"_s]), u"03:00"_s);
}

TEST_F(PairingTest, OutClosesTheLatestEarlierOpenRow) {
    in(u"2007-04-06"_s, u"08:00:00"_s, 1);
    in(u"2007-03-05"_s, u"10:00:00"_s, 2);
    post();
    newPoll();
    out(u"2007-04-26"_s, u"16:00:00"_s, 1);                     // no look-back limit
    out(u"2007-03-05"_s, u"09:00:00"_s, 2);                     // before the open in of its day
    addImport({.time = u"12:00:00"_s, .signIn = std::nullopt}); // undecided: not posted
    post();
    EXPECT_EQ(pairs(1), QStringList{u"2007-04-06 08:00-16:00"_s});
    EXPECT_EQ(pairs(2), (QStringList{u"2007-03-05 10:00---"_s, u"2007-03-05 ---09:00"_s}));
}

TEST_F(PairingTest, NonWorkedRowsAreFilledOnlyThroughTheSameDateClause) {
    const int ahead =
        insertRow(u"PUNCH"_s, {{"EMPLOYEE ID", 1}, {"IN DATE", "2007-03-06"}, {"NONWORKED", "HOL"}});
    const int outOnly = insertRow(
        u"PUNCH"_s,
        {{"EMPLOYEE ID", 2}, {"IN DATE", "2007-03-05"}, {"OUT TIME", "12:00:00"}, {"NONWORKED", "X"}});
    const int open = insertRow(
        u"PUNCH"_s,
        {{"EMPLOYEE ID", 2}, {"IN DATE", "2007-03-07"}, {"IN TIME", "08:00:00"}, {"NONWORKED", "X"}});
    in(u"2007-03-05"_s, u"08:00:00"_s, 1);
    in(u"2007-03-05"_s, u"07:00:00"_s, 2);
    out(u"2007-03-07"_s, u"12:00:00"_s, 2);
    post();
    EXPECT_TRUE(isNull(punch(ahead)[u"IN TIME"_s]));
    EXPECT_EQ(pairs(1).size(), 2);
    EXPECT_EQ(hhmm(punch(outOnly)[u"IN TIME"_s]), u"07:00"_s);
    EXPECT_EQ(hhmm(punch(open)[u"OUT TIME"_s]), u"12:00"_s);
}

// ---------------------------------------------------------------- row writers

TEST_F(PairingTest, DataFieldTravelsWithTheHalfTheRulesName) {
    setRule(u"DATAFLD INPUT"_s, true);
    addImport({.dataFldEn = true, .dataFld = 42});
    addImport({.time = u"17:00:00"_s, .signIn = false, .dataFldEn = true, .dataFld = 43});
    addImport({.employee = 2, .badge = 102, .signIn = false, .dataFldEn = true, .dataFld = 44});
    addImport({.employee = 2, .badge = 102, .date = u"2007-03-06"_s, .dataFldEn = false, .dataFld = 45});
    post();
    EXPECT_EQ(count(u"SELECT \"DATAFLD\" FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = 1"_s), 42);
    EXPECT_EQ(count(u"SELECT count(*) FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = 2 AND \"DATAFLD\" IS NULL"_s),
              2);
    setRule(u"DATAFLD INPUT"_s, false);
    newPoll();
    addImport({.employee = 3, .badge = 103, .dataFldEn = true, .dataFld = 50});
    addImport({.employee = 3,
               .badge = 103,
               .time = u"17:00:00"_s,
               .signIn = false,
               .dataFldEn = true,
               .dataFld = 51});
    post();
    EXPECT_EQ(count(u"SELECT \"DATAFLD\" FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = 3"_s), 51);
}

TEST_F(PairingTest, EditFlagsAreWrittenByInsertsAndOnlyRaisedByUpdates) {
    addImport({.edited = true});
    addImport({.time = u"12:00:00"_s, .signIn = false, .edited = false});
    addImport({.employee = 2, .badge = 102, .edited = false});
    addImport({.employee = 2, .badge = 102, .time = u"12:00:00"_s, .signIn = false, .edited = true});
    post();
    EXPECT_EQ(count(u"SELECT count(*) FROM \"PUNCH\" WHERE \"EDIT FLAG\" = ? AND \"CLOCK EDIT FLAG\" = ?"_s,
                    {true, true}),
              2);
}

TEST_F(PairingTest, QuotedDepartmentAndWeekdayOfTheOut) {
    addImport({.date = u"2007-03-04"_s, .dept = u"O'Brien's"_s});
    addImport({.date = u"2007-03-04"_s, .time = u"17:00:00"_s, .signIn = false, .dept = u"O'Brien's"_s});
    addImport({.employee = 2, .badge = 102, .date = u"2007-03-10"_s, .signIn = false});
    post();
    EXPECT_EQ(count(u"SELECT \"ODOW\" FROM \"PUNCH\" WHERE \"DEPT NAME\" = ?"_s, {u"O'Brien's"_s}), 1)
        << "Sunday";
    EXPECT_EQ(count(u"SELECT \"ODOW\" FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = 2"_s), 7) << "Saturday";
}

TEST_F(PairingTest, WritersMarkRowsAndKeepTheAdjustedDate) {
    // Called directly, so that no recalculation clears the marks.
    const int outOnly = insertRow(u"PUNCH"_s, {{"EMPLOYEE ID", 1},
                                               {"IN DATE", "2007-03-06"},
                                               {"AdjustedDate", "2007-03-01"},
                                               {"OUT TIME", "06:00:00"}});
    in(u"2007-03-05"_s, u"22:00:00"_s);
    Recordset rs = db().openRecordset(u"SELECT * FROM \"IMPORT\""_s);
    UpdateInPunchRecord(outOnly, rs);
    NewInPunchRecord(rs);
    QVariantMap updated = punch(outOnly), inserted = punch(outOnly + 1);
    EXPECT_EQ(updated[u"IN DATE"_s].toString(), u"2007-03-05"_s);
    EXPECT_EQ(updated[u"AdjustedDate"_s].toString(), u"2007-03-01"_s);
    EXPECT_EQ(inserted[u"AdjustedDate"_s].toString(), u"2007-03-05"_s);
    EXPECT_EQ(updated[u"RecalcHrs"_s].toInt() + inserted[u"RecalcHrs"_s].toInt(), 2);
}

TEST_F(PairingTest, LateOutReplacesTheTimeCountedUpToTheMinute) {
    setRule(u"UpToMin"_s, true);
    setNow(u"2007-03-05 12:34:00"_s);
    in(u"2007-03-05"_s, u"08:00:00"_s);
    post();
    const int id = count(u"SELECT \"ID\" FROM \"PUNCH\""_s);
    ASSERT_FALSE(isNull(punch(id)[u"timeout"_s])) << "open pair counted up to now";
    setNow(u"2007-03-05 18:00:00"_s);
    newPoll();
    out(u"2007-03-05"_s, u"16:00:00"_s);
    post();
    EXPECT_EQ(hhmm(punch(id)[u"timeout"_s]), u"16:00"_s);
}

TEST_F(PairingTest, WriterFailureIsReportedAndTheWalkGoesOn) {
    const int noTime = in(u"2007-03-05"_s, u"08:00:00"_s, 2);
    in(u"2007-03-06"_s, u"09:00:00"_s, 2);
    db().execute(u"UPDATE \"IMPORT\" SET \"IN TIME\" = NULL WHERE \"ID\" = ?"_s, {noTime});
    EXPECT_TRUE(post());
    EXPECT_EQ(pairs(2), QStringList{u"2007-03-06 09:00---"_s});
    EXPECT_TRUE(logText().contains(u"Procedure_NewInPunchRecord"_s));
}
