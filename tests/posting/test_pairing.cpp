// Posting end to end: the driver, duplicate removal, pairing and the row writers.
#include "PostingFixture.h"

#include "component/DateTime.h"
#include "posting/Posting.h"
#include "rules/clsTCrules.h"

using namespace hx;
using hx::test::ImportRow;

class PairingTest : public hx::test::PostingTest {
protected:
    void SetUp() override {
        PostingTest::SetUp();
        addEmployee(1, 101);
        addEmployee(2, 102);
    }
    QString lastPoll() {
        auto v = db().firstValue(QStringLiteral("SELECT \"LastPoll\" FROM \"TCRULES\""));
        return v && !isNull(*v) ? formatIsoDate(toDateTimeValue(*v)) : QString();
    }
};

// ---------------------------------------------------------------- driver

TEST_F(PairingTest, EmptyImportOnlySettlesThePoll) {
    addEmployee(3, 103, {{"STATUS", 2}});
    EXPECT_TRUE(post());
    EXPECT_EQ(count(QStringLiteral("SELECT \"STATUS\" FROM \"EMPLOYEE\" WHERE \"EMPLOYEE ID\" = 3")), 1);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM \"PUNCH\"")), 0);
    EXPECT_EQ(lastPoll(), QString()) << "no schedule insertion without punches";
}

TEST_F(PairingTest, LatestAdjustedDateBoundsTheLastPoll) {
    setRule(QStringLiteral("DAY START"), QStringLiteral("04:00:00"));
    in(QStringLiteral("2007-03-05"), QStringLiteral("02:00:00"));
    EXPECT_TRUE(post());
    EXPECT_EQ(lastPoll(), QStringLiteral("2007-03-04")) << "before the day start: the previous day";

    newPoll();
    in(QStringLiteral("2007-03-05"), QStringLiteral("04:00:00"));
    EXPECT_TRUE(post());
    EXPECT_EQ(lastPoll(), QStringLiteral("2007-03-05")) << "exactly at the day start: its own day";

    // The maximum over all rows, not the last row of the badge order.
    newPoll();
    setRule(QStringLiteral("DAY START"), QStringLiteral("00:00:00"));
    in(QStringLiteral("2007-03-07"), QStringLiteral("09:00:00"), 1);
    in(QStringLiteral("2007-03-06"), QStringLiteral("09:00:00"), 2);
    EXPECT_TRUE(post());
    EXPECT_EQ(lastPoll(), QStringLiteral("2007-03-07"));
}

TEST_F(PairingTest, EmployeesOwnDayStartIsReadAfreshEachPosting) {
    setRule(QStringLiteral("SORT 2"), QStringLiteral("Day_Start"));
    db().execute(QStringLiteral("UPDATE \"EMPLOYEE\" SET \"SORT2\" = '04:30' WHERE \"EMPLOYEE ID\" = 1"));
    in(QStringLiteral("2007-03-05"), QStringLiteral("04:00:00"));
    post();
    EXPECT_EQ(lastPoll(), QStringLiteral("2007-03-04"));

    db().execute(QStringLiteral("UPDATE \"EMPLOYEE\" SET \"SORT2\" = '03:00' WHERE \"EMPLOYEE ID\" = 1"));
    post();
    EXPECT_EQ(lastPoll(), QStringLiteral("2007-03-05"));
}

TEST_F(PairingTest, TaskTrackingFollowsTaskAs) {
    setRule(QStringLiteral("TASK INPUT"), true);
    auto postTask = [&](int taskAs, int employee) {
        setRule(QStringLiteral("TASKAS"), taskAs);
        newPoll();
        addImport({.employee = employee, .badge = 100 + employee, .dataFldEn = true, .task = 7});
        post();
        return db().firstValue(QStringLiteral("SELECT \"TASK\" FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = ?"),
                               {employee});
    };
    auto on = postTask(1, 1);
    ASSERT_TRUE(on);
    EXPECT_EQ(on->toInt(), 7);
    auto off = postTask(3, 2);
    ASSERT_TRUE(off);
    EXPECT_TRUE(isNull(*off));
}

// ---------------------------------------------------------------- duplicates

TEST_F(PairingTest, RepeatedPunchesWithinTwoMinutesAreRemoved) {
    in(QStringLiteral("2007-03-05"), QStringLiteral("08:00:00"));
    const int repeat = in(QStringLiteral("2007-03-05"), QStringLiteral("08:01:00"));
    const int kept = in(QStringLiteral("2007-03-05"), QStringLiteral("08:03:00")); // 3 after the kept 08:00
    in(QStringLiteral("2007-03-06"), QStringLiteral("08:00:00"));
    const int exact = in(QStringLiteral("2007-03-06"), QStringLiteral("08:02:00"));
    in(QStringLiteral("2007-03-09"), QStringLiteral("08:00:00"));
    out(QStringLiteral("2007-03-09"), QStringLiteral("08:01:00")); // other direction stays
    in(QStringLiteral("2007-03-07"), QStringLiteral("23:59:00"));
    const int midnight = in(QStringLiteral("2007-03-08"), QStringLiteral("00:01:00"));
    in(QStringLiteral("2007-03-05"), QStringLiteral("08:00:00"), 2); // other employee, same minute
    const int rowsBefore = count(QStringLiteral("SELECT count(*) FROM \"IMPORT\""));

    EXPECT_TRUE(post());
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM \"IMPORT\"")), rowsBefore - 3);
    for (int id : {repeat, exact, midnight})
        EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM \"IMPORT\" WHERE \"ID\" = ?"), {id}), 0) << id;
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM \"IMPORT\" WHERE \"ID\" = ?"), {kept}), 1);
    ASSERT_EQ(boxes.count(QStringLiteral("Duplicate Punches Found")), 1);
    for (const auto &b : boxes.shown()) {
        if (b.title == QLatin1String("Duplicate Punches Found")) {
            EXPECT_EQ(b.prompt, QStringLiteral("3 duplicate punch(es) removed"));
        }
    }
    EXPECT_EQ(pairs(2), QStringList{QStringLiteral("2007-03-05 08:00---")});
}

TEST_F(PairingTest, EqualPunchesKeepTheFirstImported) {
    const int first = addImport({.dept = QStringLiteral("FIRST")});
    addImport({.dept = QStringLiteral("SECOND")});
    EXPECT_TRUE(post());
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM \"IMPORT\"")), 1);
    EXPECT_EQ(count(QStringLiteral("SELECT \"ID\" FROM \"IMPORT\"")), first);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM \"PUNCH\" WHERE \"DEPT NAME\" = 'FIRST'")), 1);
}

// ---------------------------------------------------------------- pairing

TEST_F(PairingTest, InAndOutOfOnePollMakeOnePair) {
    in(QStringLiteral("2007-03-05"), QStringLiteral("08:00:00"));
    out(QStringLiteral("2007-03-05"), QStringLiteral("17:00:00"));
    EXPECT_TRUE(post());
    EXPECT_EQ(pairs(), QStringList{QStringLiteral("2007-03-05 08:00-17:00")});
}

TEST_F(PairingTest, OvernightShiftClosesOnTheNextDay) {
    in(QStringLiteral("2007-03-05"), QStringLiteral("22:00:00"));
    out(QStringLiteral("2007-03-06"), QStringLiteral("06:00:00"));
    EXPECT_TRUE(post());
    EXPECT_EQ(pairs(), QStringList{QStringLiteral("2007-03-05 22:00-06:00")});
}

TEST_F(PairingTest, OutOnlyRowIsFilledByALaterEarlierIn) {
    out(QStringLiteral("2007-03-06"), QStringLiteral("06:00:00"));
    post();
    EXPECT_EQ(pairs(), QStringList{QStringLiteral("2007-03-06 ---06:00")});

    newPoll();
    in(QStringLiteral("2007-03-06"), QStringLiteral("05:00:00"));
    post();
    EXPECT_EQ(pairs(), QStringList{QStringLiteral("2007-03-06 05:00-06:00")});
}

TEST_F(PairingTest, InAfterTheOutOnlyRowStartsANewRow) {
    out(QStringLiteral("2007-03-06"), QStringLiteral("06:00:00"));
    post();
    newPoll();
    in(QStringLiteral("2007-03-05"), QStringLiteral("22:00:00")); // out-only row is the only candidate
    post();
    EXPECT_EQ(pairs(),
              (QStringList{QStringLiteral("2007-03-05 22:00---"), QStringLiteral("2007-03-06 ---06:00")}));

    // Equal in and out time on one date: not later, so a new row.
    newPoll();
    out(QStringLiteral("2007-03-09"), QStringLiteral("07:00:00"), 2);
    post();
    newPoll();
    in(QStringLiteral("2007-03-09"), QStringLiteral("07:00:00"), 2);
    post();
    EXPECT_EQ(pairs(2),
              (QStringList{QStringLiteral("2007-03-09 ---07:00"), QStringLiteral("2007-03-09 07:00---")}));
}

TEST_F(PairingTest, InPunchFillsScheduledPairsUpToSixDaysAhead) {
    auto scheduled = [&](int employee, const QString &date) {
        return insertRow(QStringLiteral("PUNCH"), {{"EMPLOYEE ID", employee},
                                                   {"IN DATE", date},
                                                   {"AdjustedDate", date},
                                                   {"InCode", 4},
                                                   {"OutCode", 4},
                                                   {"Schedule", 1},
                                                   {"DEPT NAME", "SHOP"}});
    };
    const int same = scheduled(1, QStringLiteral("2007-03-07"));
    const int ahead = scheduled(2, QStringLiteral("2007-03-09"));
    const int behind = scheduled(2, QStringLiteral("2007-03-04"));
    const int tooFar = scheduled(2, QStringLiteral("2007-03-12"));
    in(QStringLiteral("2007-03-07"), QStringLiteral("07:55:00"), 1);
    in(QStringLiteral("2007-03-05"), QStringLiteral("08:00:00"), 2);
    post();
    EXPECT_EQ(hhmm(punch(same).value(QStringLiteral("IN TIME"))), QStringLiteral("07:55"));
    EXPECT_EQ(punch(ahead).value(QStringLiteral("IN DATE")).toString(), QStringLiteral("2007-03-05"))
        << "the filled pair takes the in punch's date";
    EXPECT_EQ(hhmm(punch(ahead).value(QStringLiteral("IN TIME"))), QStringLiteral("08:00"));
    EXPECT_EQ(punch(ahead).value(QStringLiteral("Schedule")).toInt(), 1);
    EXPECT_TRUE(isNull(punch(behind).value(QStringLiteral("IN TIME")))) << "never backward";
    EXPECT_TRUE(isNull(punch(tooFar).value(QStringLiteral("IN TIME"))));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM \"PUNCH\"")), 4);
}

TEST_F(PairingTest, EmptyPairComesBeforeOutOnlyRowOfTheSameDate) {
    const int outOnly = insertRow(QStringLiteral("PUNCH"),
                                  {{"EMPLOYEE ID", 1}, {"IN DATE", "2007-03-05"}, {"OUT TIME", "17:00:00"}});
    const int empty =
        insertRow(QStringLiteral("PUNCH"), {{"EMPLOYEE ID", 1}, {"IN DATE", "2007-03-05"}, {"InCode", 4}});
    in(QStringLiteral("2007-03-05"), QStringLiteral("08:00:00"));
    post();
    EXPECT_EQ(hhmm(punch(empty).value(QStringLiteral("IN TIME"))), QStringLiteral("08:00"));
    EXPECT_TRUE(isNull(punch(outOnly).value(QStringLiteral("IN TIME"))));
}

TEST_F(PairingTest, OutClosesTheLatestOpenRowWithoutLookBackLimit) {
    in(QStringLiteral("2007-04-06"), QStringLiteral("08:00:00"));
    post();
    newPoll();
    out(QStringLiteral("2007-04-26"), QStringLiteral("16:00:00"));
    post();
    EXPECT_EQ(pairs(), QStringList{QStringLiteral("2007-04-06 08:00-16:00")});

    // Of an empty pair and an open row on the same earlier date, the open row
    // (the later in time; a missing one sorts first) is closed.
    insertRow(QStringLiteral("PUNCH"), {{"EMPLOYEE ID", 2}, {"IN DATE", "2007-03-05"}, {"InCode", 4}});
    insertRow(QStringLiteral("PUNCH"),
              {{"EMPLOYEE ID", 2}, {"IN DATE", "2007-03-05"}, {"IN TIME", "09:00:00"}});
    newPoll();
    out(QStringLiteral("2007-03-06"), QStringLiteral("03:00:00"), 2);
    post();
    EXPECT_EQ(pairs(2),
              (QStringList{QStringLiteral("2007-03-05 -----"), QStringLiteral("2007-03-05 09:00-03:00")}));
}

TEST_F(PairingTest, OutBeforeTheOpenInOfTheSameDayStandsAlone) {
    in(QStringLiteral("2007-03-05"), QStringLiteral("10:00:00"));
    post();
    newPoll();
    out(QStringLiteral("2007-03-05"), QStringLiteral("09:00:00"));
    post();
    EXPECT_EQ(pairs(),
              (QStringList{QStringLiteral("2007-03-05 10:00---"), QStringLiteral("2007-03-05 ---09:00")}));
}

TEST_F(PairingTest, UndecidedDirectionIsNotPosted) {
    addImport({.signIn = std::nullopt});
    EXPECT_TRUE(post());
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM \"PUNCH\"")), 0);
}

TEST_F(PairingTest, NonWorkedRowsAreFilledOnlyThroughTheSameDateClause) {
    const int nonWorkedAhead = insertRow(
        QStringLiteral("PUNCH"), {{"EMPLOYEE ID", 1}, {"IN DATE", "2007-03-06"}, {"NONWORKED", "HOL"}});
    in(QStringLiteral("2007-03-05"), QStringLiteral("08:00:00"));
    post();
    EXPECT_TRUE(isNull(punch(nonWorkedAhead).value(QStringLiteral("IN TIME"))));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM \"PUNCH\"")), 2);

    // An out-only non-worked row of the same date with a later out is filled,
    const int nonWorkedOut = insertRow(
        QStringLiteral("PUNCH"),
        {{"EMPLOYEE ID", 2}, {"IN DATE", "2007-03-05"}, {"OUT TIME", "12:00:00"}, {"NONWORKED", "X"}});
    // and an open non-worked row is closed by an out.
    const int nonWorkedOpen = insertRow(
        QStringLiteral("PUNCH"),
        {{"EMPLOYEE ID", 2}, {"IN DATE", "2007-03-07"}, {"IN TIME", "08:00:00"}, {"NONWORKED", "X"}});
    newPoll();
    in(QStringLiteral("2007-03-05"), QStringLiteral("07:00:00"), 2);
    out(QStringLiteral("2007-03-07"), QStringLiteral("12:00:00"), 2);
    post();
    EXPECT_EQ(hhmm(punch(nonWorkedOut).value(QStringLiteral("IN TIME"))), QStringLiteral("07:00"));
    EXPECT_EQ(hhmm(punch(nonWorkedOpen).value(QStringLiteral("OUT TIME"))), QStringLiteral("12:00"));
}

// ---------------------------------------------------------------- row writers

TEST_F(PairingTest, DataFieldTravelsWithTheHalfTheRulesName) {
    setRule(QStringLiteral("DATAFLD INPUT"), true);
    addImport({.dataFldEn = true, .dataFld = 42});
    addImport({.time = QStringLiteral("17:00:00"), .signIn = false, .dataFldEn = true, .dataFld = 43});
    addImport({.employee = 2, .badge = 102, .signIn = false, .dataFldEn = true, .dataFld = 44});
    addImport({.employee = 2,
               .badge = 102,
               .date = QStringLiteral("2007-03-06"),
               .dataFldEn = false,
               .dataFld = 45});
    post();
    EXPECT_EQ(count(QStringLiteral("SELECT \"DATAFLD\" FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = 1")), 42)
        << "the out half carries no data field under in-collection";
    EXPECT_EQ(count(QStringLiteral(
                  "SELECT count(*) FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = 2 AND \"DATAFLD\" IS NULL")),
              2)
        << "out-only insert under in-collection, and a punch without data-field entries";

    setRule(QStringLiteral("DATAFLD INPUT"), false);
    newPoll();
    addImport({.employee = 3, .badge = 103, .dataFldEn = true, .dataFld = 50});
    addImport({.employee = 3,
               .badge = 103,
               .time = QStringLiteral("17:00:00"),
               .signIn = false,
               .dataFldEn = true,
               .dataFld = 51});
    post();
    EXPECT_EQ(count(QStringLiteral("SELECT \"DATAFLD\" FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = 3")), 51);
}

TEST_F(PairingTest, EditFlagsAreWrittenByInsertsAndOnlyRaisedByUpdates) {
    addImport({.edited = true});
    addImport({.time = QStringLiteral("12:00:00"), .signIn = false, .edited = false});
    addImport({.employee = 2, .badge = 102, .edited = false});
    addImport(
        {.employee = 2, .badge = 102, .time = QStringLiteral("12:00:00"), .signIn = false, .edited = true});
    post();
    auto flags = [&](int employee) {
        Recordset rs = db().openRecordset(
            QStringLiteral(
                "SELECT \"EDIT FLAG\", \"CLOCK EDIT FLAG\" FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = ?"),
            {employee});
        return QString::number(rs.value(0).toInt()) + QString::number(rs.value(1).toInt());
    };
    EXPECT_EQ(flags(1), QStringLiteral("11")) << "an unedited out keeps the flags of the edited in";
    EXPECT_EQ(flags(2), QStringLiteral("11")) << "an edited out raises them";
}

TEST_F(PairingTest, DepartmentWithAQuoteAndWeekdayOfTheOut) {
    addImport({.date = QStringLiteral("2007-03-04"), .dept = QStringLiteral("O'Brien's")});
    addImport({.date = QStringLiteral("2007-03-04"),
               .time = QStringLiteral("17:00:00"),
               .signIn = false,
               .dept = QStringLiteral("O'Brien's")});
    addImport({.employee = 2, .badge = 102, .date = QStringLiteral("2007-03-10"), .signIn = false});
    post();
    Recordset rs = db().openRecordset(
        QStringLiteral("SELECT \"DEPT NAME\", \"ODOW\" FROM \"PUNCH\" ORDER BY \"EMPLOYEE ID\""));
    ASSERT_EQ(rs.recordCount(), 2);
    EXPECT_EQ(rs.value(0).toString(), QStringLiteral("O'Brien's"));
    EXPECT_EQ(rs.value(1).toInt(), 1) << "Sunday";
    rs.moveNext();
    EXPECT_EQ(rs.value(1).toInt(), 7) << "Saturday";
    EXPECT_EQ(boxes.count(QStringLiteral("ERROR")), 0);
}

TEST_F(PairingTest, WritersMarkRowsAndKeepTheAdjustedDate) {
    // Called directly, so the recalculation does not clear what they wrote.
    const int outOnly = insertRow(QStringLiteral("PUNCH"), {{"EMPLOYEE ID", 1},
                                                            {"IN DATE", "2007-03-06"},
                                                            {"AdjustedDate", "2007-03-01"},
                                                            {"OUT TIME", "06:00:00"},
                                                            {"OutPunchType", 1}});
    in(QStringLiteral("2007-03-05"), QStringLiteral("22:00:00"));
    Recordset rs = db().openRecordset(QStringLiteral("SELECT * FROM \"IMPORT\""));
    UpdateInPunchRecord(outOnly, rs);
    NewInPunchRecord(rs);
    const QVariantMap updated = punch(outOnly);
    EXPECT_EQ(updated.value(QStringLiteral("IN DATE")).toString(), QStringLiteral("2007-03-05"));
    EXPECT_EQ(updated.value(QStringLiteral("AdjustedDate")).toString(), QStringLiteral("2007-03-01"));
    EXPECT_EQ(updated.value(QStringLiteral("OutPunchType")).toInt(), 1) << "the out half is untouched";
    EXPECT_EQ(updated.value(QStringLiteral("RecalcHrs")).toInt(), 1);
    const QVariantMap inserted = punch(outOnly + 1);
    EXPECT_EQ(inserted.value(QStringLiteral("AdjustedDate")).toString(), QStringLiteral("2007-03-05"));
    EXPECT_EQ(inserted.value(QStringLiteral("RecalcHrs")).toInt(), 1);
    EXPECT_TRUE(isNull(inserted.value(QStringLiteral("OUT TIME"))));
}

TEST_F(PairingTest, LateOutReplacesTheTimeCountedUpToTheMinute) {
    setRule(QStringLiteral("UpToMin"), true);
    setNow(QStringLiteral("2007-03-05 12:34:00"));
    in(QStringLiteral("2007-03-05"), QStringLiteral("08:00:00"));
    post();
    const int id = count(QStringLiteral("SELECT \"ID\" FROM \"PUNCH\""));
    ASSERT_FALSE(isNull(punch(id).value(QStringLiteral("timeout")))) << "open pair counted up to now";

    setNow(QStringLiteral("2007-03-05 18:00:00"));
    newPoll();
    out(QStringLiteral("2007-03-05"), QStringLiteral("16:00:00"));
    post();
    EXPECT_EQ(hhmm(punch(id).value(QStringLiteral("timeout"))), QStringLiteral("16:00"));
}

TEST_F(PairingTest, WriterFailureIsReportedAndTheWalkGoesOn) {
    in(QStringLiteral("2007-03-06"), QStringLiteral("08:00:00"), 1);
    const int noTime = in(QStringLiteral("2007-03-05"), QStringLiteral("08:00:00"), 2);
    in(QStringLiteral("2007-03-06"), QStringLiteral("09:00:00"), 2);
    db().execute(QStringLiteral("UPDATE \"IMPORT\" SET \"IN TIME\" = NULL WHERE \"ID\" = ?"), {noTime});
    EXPECT_TRUE(post());
    EXPECT_EQ(pairs(1), QStringList{QStringLiteral("2007-03-06 08:00---")});
    EXPECT_EQ(pairs(2), QStringList{QStringLiteral("2007-03-06 09:00---")})
        << "nothing for the punch without time";
    EXPECT_TRUE(logText().contains(QStringLiteral("Procedure_NewInPunchRecord")));
}
