// Posting end to end: single-swipe directions, scheduled pairs and the
// settling of the poll's marks.
#include "PostingFixture.h"

#include "component/DateTime.h"

using namespace hx;
using hx::test::ImportRow;

// ---------------------------------------------------------------- single swipes

class SwipeTest : public hx::test::PostingTest {
protected:
    void SetUp() override {
        PostingTest::SetUp();
        insertRow(QStringLiteral("CLOCK"),
                  {{"CLOCK NUMBER", 2}, {"CLOCK NAME", "Hand"}, {"COMMS TYPE", "HPx000"}});
        for (int e = 1; e <= 4; ++e)
            addEmployee(e, 100 + e);
    }
    // A swipe without direction at the hand reader (clock 2) unless told.
    int swipe(const QString &date, const QString &time, int employee = 1, int clock = 2) {
        return addImport({.employee = employee,
                          .badge = 100 + employee,
                          .date = date,
                          .time = time,
                          .signIn = std::nullopt,
                          .clock = clock});
    }
    QString importDirections(int employee) {
        Recordset rs =
            db().openRecordset(QStringLiteral("SELECT \"SIGN IN\" FROM \"IMPORT\" WHERE \"EMPLOYEE ID\" = ? "
                                              "ORDER BY \"IN DATE\", \"IN TIME\""),
                               {employee});
        QString s;
        for (; !rs.eof(); rs.moveNext())
            s += isNull(rs.value(0)) ? QLatin1Char('?')
                                     : (toBoolean(rs.value(0)) ? QLatin1Char('I') : QLatin1Char('O'));
        return s;
    }
};

TEST_F(SwipeTest, HandReaderSwipesAlternateAndRepeatsAreDropped) {
    for (const char *t : {"07:58:00", "07:59:00", "12:01:00", "12:30:00", "16:02:00"})
        swipe(QStringLiteral("2007-03-05"), QString::fromLatin1(t));
    EXPECT_TRUE(post());
    EXPECT_EQ(importDirections(1), QStringLiteral("IOIO")) << "the 07:59 repeat is deleted";
    EXPECT_EQ(pairs(), (QStringList{QStringLiteral("2007-03-05 07:58-12:01"),
                                    QStringLiteral("2007-03-05 12:30-16:02")}));
    // Without a department qualification the punches go to UNKNOWN.
    EXPECT_EQ(count(QStringLiteral(
                  "SELECT count(*) FROM \"IMPORT\" WHERE \"DEPT NAME\" = 'UNKNOWN' AND \"DEPT ID\" = 0")),
              4);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM \"PUNCH\" WHERE \"DEPT NAME\" = 'UNKNOWN'")), 2);
}

TEST_F(SwipeTest, PauseDecidesBetweenOutAndANewIn) {
    swipe(QStringLiteral("2007-03-05"), QStringLiteral("22:00:00"), 1);
    swipe(QStringLiteral("2007-03-06"), QStringLiteral("06:05:00"), 1); // 8 hours: an out
    swipe(QStringLiteral("2007-03-05"), QStringLiteral("06:00:00"), 2);
    swipe(QStringLiteral("2007-03-05"), QStringLiteral("20:00:00"), 2); // 14 hours > 13 (rule 0)
    EXPECT_TRUE(post());
    EXPECT_EQ(importDirections(1), QStringLiteral("IO"));
    EXPECT_EQ(pairs(1), QStringList{QStringLiteral("2007-03-05 22:00-06:05")});
    EXPECT_EQ(importDirections(2), QStringLiteral("II"));

    setRule(QStringLiteral("lngSgThreshold"), 15);
    newPoll();
    swipe(QStringLiteral("2007-03-08"), QStringLiteral("06:00:00"), 3);
    swipe(QStringLiteral("2007-03-08"), QStringLiteral("20:00:00"), 3);
    post();
    EXPECT_EQ(importDirections(3), QStringLiteral("IO"));
}

TEST_F(SwipeTest, FirstSwipeContinuesARecentOpenPair) {
    const int recent = insertRow(QStringLiteral("PUNCH"),
                                 {{"EMPLOYEE ID", 1}, {"IN DATE", "2007-03-05"}, {"IN TIME", "08:00:00"}});
    insertRow(QStringLiteral("PUNCH"),
              {{"EMPLOYEE ID", 2}, {"IN DATE", "2007-03-05"}, {"IN TIME", "08:00:00"}});
    // A pair that began later than the swipe does not count as history.
    insertRow(QStringLiteral("PUNCH"), {{"EMPLOYEE ID", 3},
                                        {"IN DATE", "2007-03-05"},
                                        {"IN TIME", "20:00:00"},
                                        {"OUT TIME", "21:00:00"},
                                        {"timeout", "21:00:00"}});
    insertRow(QStringLiteral("PUNCH"),
              {{"EMPLOYEE ID", 3}, {"IN DATE", "2007-03-05"}, {"IN TIME", "06:00:00"}});
    swipe(QStringLiteral("2007-03-05"), QStringLiteral("18:00:00"), 1); // open since 10 hours: out
    swipe(QStringLiteral("2007-03-06"), QStringLiteral("04:00:00"), 2); // open since 20 hours: in
    swipe(QStringLiteral("2007-03-05"), QStringLiteral("12:00:00"), 3); // the 06:00 pair is open: out
    EXPECT_TRUE(post());
    EXPECT_EQ(importDirections(1), QStringLiteral("O"));
    EXPECT_EQ(hhmm(punch(recent).value(QStringLiteral("OUT TIME"))), QStringLiteral("18:00"));
    EXPECT_EQ(importDirections(2), QStringLiteral("I"));
    EXPECT_EQ(importDirections(3), QStringLiteral("O"));
}

TEST_F(SwipeTest, OnlyHandReadersAndSwipeAndGoEmployeesAreDecided) {
    swipe(QStringLiteral("2007-03-05"), QStringLiteral("08:00:00"), 1, 1); // RS232, ordinary employee
    db().execute(QStringLiteral("UPDATE \"EMPLOYEE\" SET \"SwipeAndGo\" = ? WHERE \"EMPLOYEE ID\" = 2"),
                 {true});
    swipe(QStringLiteral("2007-03-05"), QStringLiteral("08:00:00"), 2, 1);
    insertRow(QStringLiteral("CLOCK"),
              {{"CLOCK NUMBER", 3}, {"CLOCK NAME", "Lower"}, {"COMMS TYPE", "hpx000"}});
    swipe(QStringLiteral("2007-03-05"), QStringLiteral("08:00:00"), 3, 3); // the name is case-sensitive
    EXPECT_TRUE(post());
    EXPECT_EQ(importDirections(1), QStringLiteral("?"));
    EXPECT_EQ(importDirections(2), QStringLiteral("I"));
    EXPECT_EQ(importDirections(3), QStringLiteral("?"));
    EXPECT_TRUE(pairs(1).isEmpty());

    setRule(QStringLiteral("blnUnlimitedSwipeNGo"), true);
    newPoll();
    swipe(QStringLiteral("2007-03-06"), QStringLiteral("08:00:00"), 1, 1);
    post();
    EXPECT_EQ(importDirections(1), QStringLiteral("I"));
}

TEST_F(SwipeTest, PrimaryDepartmentIsTheFirstQualification) {
    insertRow(QStringLiteral("DEPT"), {{"DEPT ID", 7}, {"DEPT NAME", "Pat's"}});
    insertRow(QStringLiteral("DEPTQUAL"), {{"EMPLOYEE ID", 1}, {"DEPT NAME", "BAKERY"}, {"SEQUENCE", 2}});
    insertRow(QStringLiteral("DEPTQUAL"), {{"EMPLOYEE ID", 1}, {"DEPT NAME", "Pat's"}, {"SEQUENCE", 1}});
    insertRow(QStringLiteral("DEPTQUAL"), {{"EMPLOYEE ID", 2}, {"DEPT NAME", "NOWHERE"}, {"SEQUENCE", 1}});
    swipe(QStringLiteral("2007-03-05"), QStringLiteral("08:00:00"), 1);
    swipe(QStringLiteral("2007-03-05"), QStringLiteral("08:00:00"), 2);
    EXPECT_TRUE(post());
    Recordset rs = db().openRecordset(
        QStringLiteral("SELECT \"DEPT NAME\", \"DEPT ID\" FROM \"IMPORT\" ORDER BY \"EMPLOYEE ID\""));
    ASSERT_EQ(rs.recordCount(), 2);
    EXPECT_EQ(rs.value(0).toString(), QStringLiteral("Pat's"));
    EXPECT_EQ(rs.value(1).toInt(), 7);
    rs.moveNext();
    EXPECT_EQ(rs.value(0).toString(), QStringLiteral("NOWHERE"));
    EXPECT_EQ(rs.value(1).toInt(), 0) << "a department missing from DEPT has id 0";
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM \"PUNCH\" WHERE \"DEPT NAME\" = ?"),
                    {QStringLiteral("Pat's")}),
              1);
}

TEST_F(SwipeTest, FailureIsLoggedAndPostingGoesOn) {
    db().execute(QStringLiteral("UPDATE \"EMPLOYEE\" SET \"SwipeAndGo\" = ? WHERE \"EMPLOYEE ID\" = 4"),
                 {true});
    insertRow(QStringLiteral("DEPTQUAL"), {{"EMPLOYEE ID", 4}, {"SEQUENCE", 1}}); // no department name
    addImport({.employee = 1, .badge = 101});
    addImport({.employee = 1, .badge = 101, .time = QStringLiteral("12:00:00"), .signIn = false});
    swipe(QStringLiteral("2007-03-05"), QStringLiteral("09:00:00"), 4, 1);
    EXPECT_TRUE(post()) << "the stage's failure does not fail the posting";
    EXPECT_TRUE(logText().contains(QStringLiteral("Error processing BioMetric Import Calculations")));
    EXPECT_TRUE(logText().contains(QStringLiteral("modImportToPunch : blnPostImportTableToPunchTable")));
    EXPECT_EQ(pairs(1), QStringList{QStringLiteral("2007-03-05 08:00-12:00")});
    EXPECT_EQ(importDirections(4), QStringLiteral("?"));
}

// ---------------------------------------------------------------- scheduled pairs

class ScheduleTest : public hx::test::PostingTest {
protected:
    void SetUp() override {
        PostingTest::SetUp();
        addEmployee(1, 101); // the one who punches, without schedule
        // Monday to Friday 08:00, lunch until 12:30.
        QVariantMap week{{"ScheduleNumber", 1}};
        for (const char *x : {"M", "E", "W", "H", "R"}) {
            week.insert(QString::fromLatin1(x) + QStringLiteral("Open"), true);
            week.insert(QString::fromLatin1(x) + QStringLiteral("SchIn"), QStringLiteral("08:00:00"));
            week.insert(QString::fromLatin1(x) + QStringLiteral("SchLunchIn"), QStringLiteral("12:30:00"));
        }
        insertRow(QStringLiteral("SCHEDULE"), week);
        addEmployee(10, 110, {{"SCHEDULE", 1}, {"OLDSCHEDULE", 1}});
        insertRow(QStringLiteral("DEPTQUAL"),
                  {{"EMPLOYEE ID", 10}, {"DEPT NAME", "O'Hara"}, {"SEQUENCE", 1}});
    }
    void setLastPoll(const QVariant &v) { setRule(QStringLiteral("LastPoll"), v); }
    QString lastPoll() {
        auto v = db().firstValue(QStringLiteral("SELECT \"LastPoll\" FROM \"TCRULES\""));
        return v && !isNull(*v) ? formatIsoDate(toDateTimeValue(*v)) : QString();
    }
    int scheduledPairs(int employee = 10) {
        return count(
            QStringLiteral("SELECT count(*) FROM \"PUNCH\" WHERE \"InCode\" = 4 AND \"EMPLOYEE ID\" = ?"),
            {employee});
    }
};

TEST_F(ScheduleTest, DaysAfterTheLastPollGetTheirShifts) {
    addEmployee(11, 111, {{"SCHEDULE", 1}, {"OLDSCHEDULE", 1}, {"STATUS", 3}});
    addEmployee(12, 112, {{"SCHEDULE", 1}, {"OLDSCHEDULE", 1}, {"STATUS", 5}});
    addEmployee(13, 113, {{"SCHEDULE", 1}});
    addEmployee(14, 114, {{"SCHEDULE", 1}, {"OLDSCHEDULE", 0}});
    setLastPoll(QStringLiteral("2007-03-05 00:00:00")); // a Monday
    in(QStringLiteral("2007-03-07"), QStringLiteral("09:00:00"));
    post();
    EXPECT_EQ(lastPoll(), QStringLiteral("2007-03-07"));
    Recordset rs = db().openRecordset(QStringLiteral(
        "SELECT * FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = 10 ORDER BY \"IN DATE\", \"InPunchType\""));
    QStringList got;
    for (; !rs.eof(); rs.moveNext()) {
        got << QStringLiteral("%1 %2%3").arg(rs.value(u"IN DATE").toString(),
                                             rs.value(u"InPunchType").toString(),
                                             rs.value(u"OutPunchType").toString());
        EXPECT_EQ(rs.value(u"AdjustedDate").toString(), rs.value(u"IN DATE").toString());
        EXPECT_EQ(rs.value(u"OutCode").toInt(), 4);
        EXPECT_EQ(rs.value(u"Schedule").toInt(), 1);
        EXPECT_EQ(rs.value(u"DEPT NAME").toString(), QStringLiteral("O'Hara"));
        EXPECT_TRUE(isNull(rs.value(u"IN TIME")) && isNull(rs.value(u"OUT TIME")));
    }
    EXPECT_EQ(got, (QStringList{QStringLiteral("2007-03-06 01"), QStringLiteral("2007-03-06 10"),
                                QStringLiteral("2007-03-07 01"), QStringLiteral("2007-03-07 10")}));
    EXPECT_EQ(scheduledPairs(), 4);
    for (int excluded : {11, 12, 13, 14})
        EXPECT_EQ(scheduledPairs(excluded), 0) << "status 3 or 5, or no old schedule: " << excluded;

    // The same import again, the rules still loaded: nothing new.
    post();
    EXPECT_EQ(scheduledPairs(), 4);
    EXPECT_EQ(lastPoll(), QStringLiteral("2007-03-07"));

    // An older poll moves the last poll back and inserts nothing.
    newPoll();
    in(QStringLiteral("2007-03-01"), QStringLiteral("09:00:00"));
    post();
    EXPECT_EQ(lastPoll(), QStringLiteral("2007-03-01"));
    EXPECT_EQ(scheduledPairs(), 4);
}

TEST_F(ScheduleTest, NoRecordedLastPollInsertsNothing) {
    in(QStringLiteral("2007-03-07"), QStringLiteral("09:00:00"));
    setLastPoll(QStringLiteral("1899-12-31 00:00:00"));
    post();
    EXPECT_EQ(scheduledPairs(), 0);
    EXPECT_EQ(lastPoll(), QStringLiteral("2007-03-07"));

    // A Null last poll reads as 1 January 1900: no pairs back to 1900 either.
    setLastPoll(QVariant());
    post();
    EXPECT_EQ(scheduledPairs(), 0);
    EXPECT_EQ(lastPoll(), QStringLiteral("2007-03-07"));
}

TEST_F(ScheduleTest, NightShiftCountsOnThePreviousDay) {
    setRule(QStringLiteral("DAY START"), QStringLiteral("04:00:00"));
    insertRow(QStringLiteral("SCHEDULE"), {{"ScheduleNumber", 2}, {"EOpen", true}, {"ESchIn", "02:00:00"}});
    addEmployee(20, 120, {{"SCHEDULE", 2}, {"OLDSCHEDULE", 2}});
    setLastPoll(QStringLiteral("2007-03-05 00:00:00"));
    in(QStringLiteral("2007-03-06"), QStringLiteral("10:00:00"));
    post();
    Recordset rs = db().openRecordset(QStringLiteral("SELECT * FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = 20"));
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(rs.value(u"IN DATE").toString(), QStringLiteral("2007-03-06"));
    EXPECT_EQ(rs.value(u"AdjustedDate").toString(), QStringLiteral("2007-03-05"));
    EXPECT_EQ(rs.value(u"InPunchType").toInt(), 0);
    EXPECT_EQ(rs.value(u"OutPunchType").toInt(), 0);
    EXPECT_EQ(rs.value(u"DEPT NAME").toString(), QString()) << "no qualification: empty department";
}

// ---------------------------------------------------------------- end of poll

class CleanupTest : public hx::test::PostingTest {
protected:
    void SetUp() override {
        PostingTest::SetUp();
        addEmployee(1, 101,
                    {{"STATUS", 2}, {"NEWBADGE", 1234}, {"MSGCODE", 1}, {"MESSAGE", "Hi"}, {"SCHEDULE", 3}});
        addEmployee(2, 102, {{"STATUS", 3}, {"NEWBADGE", 0}, {"MSGCODE", 2}, {"MESSAGE", "Keep"}});
        addEmployee(3, 103, {{"STATUS", 4}, {"MSGCODE", -1}, {"MESSAGE", "Old"}, {"OLDSCHEDULE", 9}});
        insertRow(QStringLiteral("CKQUAL"), {{"CLOCK NUMBER", 1}, {"EMPLOYEE ID", 1}, {"STATUS", "*DEL*"}});
        insertRow(QStringLiteral("CKQUAL"), {{"CLOCK NUMBER", 1}, {"EMPLOYEE ID", 2}, {"STATUS", "*ADD*"}});
        insertRow(QStringLiteral("SCHEDULE"), {{"ScheduleNumber", 3}, {"ScheduleEdited", true}});
        insertRow(QStringLiteral("DEPT"), {{"DEPT ID", 1}, {"DEPT NAME", "SHOP"}, {"STATUS", true}});
    }
    QString employee(int id) {
        Recordset rs =
            db().openRecordset(QStringLiteral("SELECT * FROM \"EMPLOYEE\" WHERE \"EMPLOYEE ID\" = ?"), {id});
        return QStringLiteral("status=%1 badge=%2 new=%3 code=%4 msg=%5 old=%6")
            .arg(valueText(rs.value(u"STATUS")), valueText(rs.value(u"CLOCK ID")),
                 valueText(rs.value(u"NEWBADGE")), valueText(rs.value(u"MSGCODE")),
                 isNull(rs.value(u"MESSAGE")) ? QStringLiteral("null") : rs.value(u"MESSAGE").toString(),
                 valueText(rs.value(u"OLDSCHEDULE")));
    }
};

TEST_F(CleanupTest, BusyClockHoldsEveryMarkBack) {
    insertRow(QStringLiteral("CLOCK"), {{"CLOCK NUMBER", 9}, {"status", true}});
    const QString before = employee(1) + employee(2) + employee(3);
    EXPECT_TRUE(post());
    EXPECT_EQ(employee(1) + employee(2) + employee(3), before);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM \"CKQUAL\"")), 2);
    EXPECT_EQ(count(QStringLiteral("SELECT \"ScheduleEdited\" FROM \"SCHEDULE\"")), 1);
}

TEST_F(CleanupTest, MarksSettleWhenNoClockIsBusy) {
    db().execute(QStringLiteral("DELETE FROM \"CLOCK\"")); // an empty clock table holds nothing back
    EXPECT_TRUE(post());
    EXPECT_EQ(employee(1), QStringLiteral("status=1 badge=1234 new=0 code=-1 msg=null old=3"));
    EXPECT_EQ(employee(2), QStringLiteral("status=1 badge=102 new=0 code=2 msg=Keep old="));
    EXPECT_EQ(employee(3), QStringLiteral("status=5 badge=103 new=0 code=-1 msg=Old old="));
    Recordset rs = db().openRecordset(QStringLiteral("SELECT \"EMPLOYEE ID\", \"STATUS\" FROM \"CKQUAL\""));
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(rs.value(0).toInt(), 2);
    EXPECT_EQ(rs.value(1).toString(), QStringLiteral("     "));
    EXPECT_EQ(count(QStringLiteral("SELECT \"ScheduleEdited\" FROM \"SCHEDULE\"")), 0);
    EXPECT_EQ(count(QStringLiteral("SELECT \"STATUS\" FROM \"DEPT\"")), 0);
}
