// Posting end to end: single-swipe directions, scheduled pairs and the settling of the poll's marks.
#include "PostingFixture.h"

using namespace hx;

class SwipeTest : public hx::test::PostingTest {
protected:
    void SetUp() override {
        PostingTest::SetUp();
        insertRow(u"CLOCK"_s, {{"CLOCK NUMBER", 2}, {"COMMS TYPE", "HPx000"}});
        for (int e = 1; e <= 4; ++e)
            addEmployee(e, 100 + e);
    }
    // A swipe without direction, at the hand reader (clock 2) unless told.
    void swipe(const QString &date, const QString &time, int e = 1, int clock = 2) {
        addImport({.employee = e, .date = date, .time = time, .signIn = std::nullopt, .clock = clock});
    }
};

TEST_F(SwipeTest, HandReaderSwipesAlternateAndRepeatsAreDropped) {
    insertRow(u"DEPT"_s, {{"DEPT ID", 7}, {"DEPT NAME", "Pat's"}});
    insertRow(u"DEPTQUAL"_s, {{"EMPLOYEE ID", 1}, {"DEPT NAME", "BAKERY"}, {"SEQUENCE", 2}});
    insertRow(u"DEPTQUAL"_s, {{"EMPLOYEE ID", 1}, {"DEPT NAME", "Pat's"}, {"SEQUENCE", 1}});
    // 08:01 is 3 minutes after the kept 07:58: a repeat; 12:05 is 4 minutes after 12:01.
    for (const char *t : {"07:58:00", "08:01:00", "12:01:00", "12:05:00", "16:02:00"})
        swipe(u"2007-03-05"_s, QString::fromLatin1(t));
    swipe(u"2007-03-05"_s, u"08:00:00"_s, 2);
    EXPECT_TRUE(post());
    EXPECT_EQ(directions(1), u"IOIO"_s);
    EXPECT_EQ(pairs(), (QStringList{u"2007-03-05 07:58-12:01"_s, u"2007-03-05 12:05-16:02"_s}));
    // The department is the first qualification; without one, UNKNOWN with id 0.
    const QString depts = u"SELECT count(*) FROM \"IMPORT\" WHERE \"DEPT NAME\" = ? AND \"DEPT ID\" = ?"_s;
    EXPECT_EQ(count(depts, {u"Pat's"_s, 7}), 4);
    EXPECT_EQ(count(depts, {u"UNKNOWN"_s, 0}), 1);
}

TEST_F(SwipeTest, PauseAndHistoryDecideTheDirection) {
    swipe(u"2007-03-05"_s, u"22:00:00"_s, 1);
    swipe(u"2007-03-06"_s, u"11:00:00"_s, 1); // 13 hours later: not beyond the default threshold, an out
    swipe(u"2007-03-05"_s, u"06:00:00"_s, 2);
    swipe(u"2007-03-05"_s, u"20:00:00"_s, 2); // 14 hours later: an in
    insertRow(u"PUNCH"_s, {{"EMPLOYEE ID", 3}, {"IN DATE", "2007-03-05"}, {"IN TIME", "08:00:00"}});
    swipe(u"2007-03-05"_s, u"08:02:00"_s, 3); // 2 minutes after the open in: an out, not a repeat
    insertRow(u"PUNCH"_s, {{"EMPLOYEE ID", 4}, {"IN DATE", "2007-03-05"}, {"IN TIME", "08:00:00"}});
    insertRow(u"PUNCH"_s, {{"EMPLOYEE ID", 4}, {"IN DATE", "2007-03-06"}, {"IN TIME", "05:00:00"}}); // later
    swipe(u"2007-03-06"_s, u"04:00:00"_s, 4); // open since 20 hours: an in
    EXPECT_TRUE(post());
    EXPECT_EQ(directions(1) + directions(2) + directions(3) + directions(4), u"IOIIOI"_s);
    EXPECT_EQ(pairs(3), QStringList{u"2007-03-05 08:00-08:02"_s});

    setRule(u"lngSgThreshold"_s, 15);
    newPoll();
    swipe(u"2007-03-08"_s, u"06:00:00"_s, 2);
    swipe(u"2007-03-08"_s, u"20:00:00"_s, 2);
    post();
    EXPECT_EQ(directions(2), u"IO"_s);
}

TEST_F(SwipeTest, OnlyHandReadersAndSwipeAndGoEmployeesAreDecided) {
    insertRow(u"CLOCK"_s, {{"CLOCK NUMBER", 3}, {"COMMS TYPE", "hpx000"}});
    db().execute(u"UPDATE \"EMPLOYEE\" SET \"SwipeAndGo\" = ? WHERE \"EMPLOYEE ID\" = 2"_s, {true});
    swipe(u"2007-03-05"_s, u"08:00:00"_s, 1, 1); // RS232, ordinary employee
    swipe(u"2007-03-05"_s, u"08:00:00"_s, 2, 1);
    swipe(u"2007-03-05"_s, u"08:00:00"_s, 3, 3); // the type's name is case-sensitive
    EXPECT_TRUE(post());
    EXPECT_EQ(directions(1) + directions(2) + directions(3), u"?I?"_s);
    EXPECT_TRUE(pairs(1).isEmpty()) << "an undecided punch is not posted";

    setRule(u"blnUnlimitedSwipeNGo"_s, true);
    newPoll();
    swipe(u"2007-03-06"_s, u"08:00:00"_s, 1, 1);
    post();
    EXPECT_EQ(directions(1), u"I"_s);
}

TEST_F(SwipeTest, FailureIsLoggedAndPostingGoesOn) {
    db().execute(u"UPDATE \"EMPLOYEE\" SET \"SwipeAndGo\" = ? WHERE \"EMPLOYEE ID\" = 4"_s, {true});
    insertRow(u"DEPTQUAL"_s, {{"EMPLOYEE ID", 4}, {"SEQUENCE", 1}}); // a qualification without name
    in(u"2007-03-05"_s, u"08:00:00"_s);
    out(u"2007-03-05"_s, u"12:00:00"_s);
    swipe(u"2007-03-05"_s, u"09:00:00"_s, 4, 1);
    EXPECT_TRUE(post()) << "the stage's failure does not fail the posting";
    EXPECT_TRUE(logText().contains(u"Error processing BioMetric Import Calculations"_s));
    EXPECT_EQ(pairs(1), QStringList{u"2007-03-05 08:00-12:00"_s});
    EXPECT_EQ(directions(4), u"?"_s);
}

class ScheduleTest : public hx::test::PostingTest {
protected:
    void SetUp() override {
        PostingTest::SetUp();
        addEmployee(1, 101); // the one who punches, without schedule
        QVariantMap week{{"ScheduleNumber", 1}}; // Monday to Friday 08:00, lunch until 12:30
        for (QString x : {u"M"_s, u"E"_s, u"W"_s, u"H"_s, u"R"_s})
            week.insert(x + u"Open"_s, true), week.insert(x + u"SchIn"_s, u"08:00:00"_s),
                week.insert(x + u"SchLunchIn"_s, u"12:30:00"_s);
        insertRow(u"SCHEDULE"_s, week);
        addEmployee(10, 110, {{"SCHEDULE", 1}, {"OLDSCHEDULE", 1}});
        insertRow(u"DEPTQUAL"_s, {{"EMPLOYEE ID", 10}, {"DEPT NAME", "O'Hara"}, {"SEQUENCE", 1}});
    }
    int scheduledPairs(const QString &more = {}) {
        return count(u"SELECT count(*) FROM \"PUNCH\" WHERE \"InCode\" = 4 AND \"EMPLOYEE ID\" IN (10, 20)"_s + more);
    }
};

TEST_F(ScheduleTest, DaysAfterTheLastPollGetTheirShiftsOnce) {
    // No recorded last poll (unset, or Null: 1 January 1900) inserts nothing.
    in(u"2007-03-07"_s, u"09:00:00"_s);
    for (const QVariant &none : {QVariant(u"1899-12-31 00:00:00"_s), QVariant()}) {
        setRule(u"LastPoll"_s, none);
        post();
        EXPECT_EQ(scheduledPairs(), 0);
        EXPECT_EQ(lastPoll(), u"2007-03-07"_s);
    }
    addEmployee(11, 111, {{"SCHEDULE", 1}, {"OLDSCHEDULE", 1}, {"STATUS", 3}});
    addEmployee(12, 112, {{"SCHEDULE", 1}, {"OLDSCHEDULE", 1}, {"STATUS", 5}});
    addEmployee(13, 113, {{"SCHEDULE", 1}});
    addEmployee(14, 114, {{"SCHEDULE", 1}, {"OLDSCHEDULE", 0}});
    // A Tuesday shift before the day start, its time stored with a date, counts on Monday.
    setRule(u"DAY START"_s, u"04:00:00"_s);
    insertRow(u"SCHEDULE"_s, {{"ScheduleNumber", 2}, {"EOpen", true}, {"ESchIn", "2007-01-01 02:00:00"}});
    addEmployee(20, 120, {{"SCHEDULE", 2}, {"OLDSCHEDULE", 2}});
    setRule(u"LastPoll"_s, u"2007-03-05 00:00:00"_s); // a Monday
    post();
    EXPECT_EQ(lastPoll(), u"2007-03-07"_s);
    const QStringList want{u"10 2007-03-06 2007-03-06 0 1 4 1 O'Hara - -"_s,
                           u"10 2007-03-06 2007-03-06 1 0 4 1 O'Hara - -"_s,
                           u"10 2007-03-07 2007-03-07 0 1 4 1 O'Hara - -"_s,
                           u"10 2007-03-07 2007-03-07 1 0 4 1 O'Hara - -"_s,
                           u"20 2007-03-06 2007-03-05 0 0 4 2  - -"_s};
    EXPECT_EQ(rows(u"SELECT \"EMPLOYEE ID\", \"IN DATE\", \"AdjustedDate\", \"InPunchType\", \"OutPunchType\", "
                   "\"OutCode\", \"Schedule\", \"DEPT NAME\", \"IN TIME\", \"OUT TIME\" FROM \"PUNCH\" WHERE "
                   "\"InCode\" = 4 ORDER BY \"EMPLOYEE ID\", \"IN DATE\", \"InPunchType\""_s),
              want)
        << "nothing for status 3 or 5, or without an old schedule";

    post(); // the same import again, the rules still loaded
    EXPECT_EQ(scheduledPairs(), 5);
    newPoll(); // an older poll moves the last poll back and inserts nothing
    in(u"2007-03-01"_s, u"09:00:00"_s);
    post();
    EXPECT_EQ(lastPoll(), u"2007-03-01"_s);
    EXPECT_EQ(scheduledPairs(), 5);
}

TEST_F(ScheduleTest, DaysAfterTodayGetNoPairsAndTheLastPollStopsAtToday) {
    // Today is Thursday 26 April 2007. One bad byte in a month ("93") dates a punch in 2013.
    setRule(u"LastPoll"_s, u"2007-04-20 00:00:00"_s); // a Friday
    in(u"2013-09-24"_s, u"09:00:00"_s);
    post();
    EXPECT_EQ(lastPoll(), u"2007-04-26"_s);
    // Monday 23 to Thursday 26 April, two pairs a day, nothing later.
    EXPECT_EQ(scheduledPairs(), 8);
    EXPECT_EQ(scheduledPairs(u" AND \"IN DATE\" > '2007-04-26'"_s), 0);
    EXPECT_TRUE(logText().contains(u"The last day of the import, 09/24/2013, lies after today; scheduled pairs "
                                   "and the last poll date stop at 04/26/2007."_s));
    EXPECT_EQ(boxes.count(u"ERROR"_s), 0) << "a note, not an error";
    EXPECT_EQ(pairs(1), QStringList{u"2013-09-24 09:00---"_s}) << "the punch itself is posted as it came";
}

TEST_F(ScheduleTest, OnePostingWritesAtMostAYearOfPairs) {
    setNow(u"9999-12-31 12:00:00"_s);
    setRule(u"LastPoll"_s, u"9998-12-28 00:00:00"_s); // 367 days to the import's last day
    in(u"9999-12-30"_s, u"09:00:00"_s);
    post();
    EXPECT_EQ(lastPoll(), u"9999-12-30"_s);
    // The 366 days up to the last day of the import: 30 December 9998 to 30 December 9999.
    int weekdays = 0;
    for (QDate d(9998, 12, 30); d <= QDate(9999, 12, 30); d = d.addDays(1))
        weekdays += d.dayOfWeek() <= 5;
    EXPECT_EQ(scheduledPairs(), 2 * weekdays);
    EXPECT_EQ(scheduledPairs(u" AND \"IN DATE\" < '9998-12-30'"_s), 0);
    EXPECT_EQ(boxes.count(u"ERROR"_s), 1) << "the days left out are reported";
    EXPECT_TRUE(logText().contains(u"What: Msg 'Scheduled pairs are made for at most 366 days in one posting: "
                                   "the days from 12/29/9998 to 12/29/9998 get none.'"_s))
        << logText().toStdString();
}

class CleanupTest : public hx::test::PostingTest {
protected:
    void SetUp() override {
        PostingTest::SetUp();
        addEmployee(1, 101, {{"STATUS", 2}, {"NEWBADGE", 1234}, {"MSGCODE", 1}, {"MESSAGE", "Hi"}, {"SCHEDULE", 3}});
        addEmployee(2, 102, {{"STATUS", 3}, {"NEWBADGE", 0}, {"MSGCODE", 2}, {"MESSAGE", "Keep"}});
        addEmployee(3, 103, {{"STATUS", 4}, {"MSGCODE", -1}, {"MESSAGE", "Old"}, {"OLDSCHEDULE", 9}});
        insertRow(u"CKQUAL"_s, {{"EMPLOYEE ID", 1}, {"STATUS", "*DEL*"}});
        insertRow(u"CKQUAL"_s, {{"EMPLOYEE ID", 2}, {"STATUS", "*ADD*"}});
        insertRow(u"SCHEDULE"_s, {{"ScheduleNumber", 3}, {"ScheduleEdited", true}});
        insertRow(u"DEPT"_s, {{"DEPT ID", 1}, {"DEPT NAME", "SHOP"}, {"STATUS", true}});
    }
    // The employees, then the CKQUAL rows, blanked CKQUAL rows, edited schedules and active departments.
    QStringList state() {
        return rows(u"SELECT \"STATUS\", \"CLOCK ID\", \"NEWBADGE\", \"MSGCODE\", \"MESSAGE\", \"OLDSCHEDULE\" "
                    "FROM \"EMPLOYEE\" ORDER BY \"EMPLOYEE ID\""_s) +
               rows(u"SELECT (SELECT count(*) FROM \"CKQUAL\"), (SELECT count(*) FROM \"CKQUAL\" WHERE \"STATUS\" = "
                    "'     '), (SELECT count(*) FROM \"SCHEDULE\" WHERE \"ScheduleEdited\"), "
                    "(SELECT count(*) FROM \"DEPT\" WHERE \"STATUS\")"_s);
    }
};

TEST_F(CleanupTest, MarksSettleOnlyWhenNoClockIsBusy) {
    insertRow(u"CLOCK"_s, {{"CLOCK NUMBER", 9}, {"status", true}});
    const QStringList before = state();
    EXPECT_TRUE(post());
    EXPECT_EQ(state(), before) << "a busy clock holds every mark back";
    EXPECT_EQ(before.back(), u"2 0 1 1"_s);

    db().execute(u"DELETE FROM \"CLOCK\""_s); // an empty clock table holds nothing back
    EXPECT_TRUE(post());
    EXPECT_EQ(state(), (QStringList{u"1 1234 0 -1 - 3"_s, u"1 102 0 2 Keep -"_s, u"5 103 0 -1 Old -"_s, u"1 1 0 0"_s}));
}
