// The import against dates that run away and a log that cannot be written:
// the host program run on poll files written by the test.
#include "cli/CliTest.h"
#include "component/Values.h"

#include <QDir>
#include <QFile>
#include <unistd.h>

using namespace hx;
using hx::test::CliSiteTest;

namespace {
// A record of employee 1 (badge 1001) on a day at 08:00 or 16:30.
QByteArray record(const QDate &day, char inOut, int sequence) {
    return hx::demo::formatRecord({.badge = 1001,
                                   .date = day,
                                   .time = inOut == 'I' ? QTime(8, 0) : QTime(16, 30),
                                   .inOut = inOut,
                                   .department = 10,
                                   .sequence = sequence});
}
} // namespace

class ImportGuards : public CliSiteTest {
protected:
    // Employee 1 scheduled every day at 08:00, the last poll on Friday 20 April 2007.
    void scheduleEveryDay() {
        addEmployees(1, 1);
        QStringList cols{u"\"ScheduleNumber\""_s}, marks{u"?"_s};
        QVariantList values{1};
        for (QString x : {u"U"_s, u"M"_s, u"E"_s, u"W"_s, u"H"_s, u"R"_s, u"A"_s}) {
            cols << u"\"%1Open\""_s.arg(x) << u"\"%1SchIn\""_s.arg(x);
            marks << u"?"_s << u"?"_s;
            values << db().boolean(true) << db().time(timeSerial(8, 0, 0));
        }
        db().execute(u"INSERT INTO \"SCHEDULE\" (%1) VALUES (%2)"_s.arg(cols.join(u','), marks.join(u',')),
                     values);
        db().execute(u"UPDATE \"EMPLOYEE\" SET \"SCHEDULE\" = 1, \"OLDSCHEDULE\" = 1"_s);
        db().execute(u"UPDATE \"TCRULES\" SET \"LastPoll\" = ?"_s, {db().dateTime(dateSerial(2007, 4, 20))});
    }
    QString lastPoll() {
        return formatIsoDate(toDateTimeValue(*db().firstValue(u"SELECT \"LastPoll\" FROM \"TCRULES\""_s)));
    }
    int rowsFrom(const char *firstDay) {
        return count(
            u"SELECT COUNT(*) FROM \"PUNCH\" WHERE \"IN DATE\" >= '%1'"_s.arg(QLatin1String(firstDay)));
    }
};

TEST_F(ImportGuards, ACorruptedMonthIsReportedAndMarksNoAbsenceAfterToday) {
    scheduleEveryDay();
    QByteArray corrupted = record(QDate(2007, 4, 25), 'I', 4);
    corrupted.replace(17, 2, "93"); // month 93 of 2006 is September 2013
    ASSERT_TRUE(
        hx::demo::writePollFile(path(u"polllogs/2A000007.}01"_s),
                                {record(QDate(2007, 4, 24), 'I', 1), record(QDate(2007, 4, 24), 'O', 2),
                                 record(QDate(2007, 4, 25), 'I', 3), corrupted}));
    const Result r = run({u"import"_s, u"--yes"_s, u"2A000007.}01"_s});
    ASSERT_EQ(r.exitCode, 3) << "the record is reported: " << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"[INVALID DATE]\nThe record is dated 2013-09-25 08:00:00"_s)) << r.err.toStdString();
    // Saturday 21 to Wednesday 25 April have their pairs; the record of 2013 is not imported.
    EXPECT_EQ(lastPoll(), u"2007-04-25"_s);
    EXPECT_EQ(rowsFrom("2007-04-26"), 0);
    EXPECT_EQ(punchRows(), 5);
}

TEST_F(ImportGuards, AClockAtTheEndOfTimeWritesOneYearOfPairs) {
    scheduleEveryDay();
    ASSERT_TRUE(
        hx::demo::writePollFile(path(u"polllogs/2A000007.}01"_s),
                                {record(QDate(9999, 12, 30), 'I', 1), record(QDate(9999, 12, 30), 'O', 2)}));
    const Result r = run({u"--now"_s, u"9999-12-31 12:00:00"_s, u"import"_s, u"--yes"_s, u"2A000007.}01"_s});
    ASSERT_EQ(r.exitCode, 3) << "saved, with the days left out reported: " << r.err.toStdString();
    EXPECT_EQ(lastPoll(), u"9999-12-30"_s);
    EXPECT_EQ(punchRows(), 366);
    EXPECT_EQ(rowsFrom("9998-12-30"), 366);
    EXPECT_TRUE(r.err.contains(u"Scheduled pairs are made for at most 366 days in one posting: the days from "
                               "04/21/2007 to 12/29/9998 get none."_s))
        << r.err.toStdString();
}

TEST_F(ImportGuards, ALogThatCannotBeWrittenIsToldOnceOnStandardError) {
    addEmployees(1, 1);
    // Three bad lines: three reports, each an entry that is lost.
    ASSERT_TRUE(hx::demo::writePollFile(path(u"polllogs/2A000007.}01"_s),
                                        {"short", record(QDate(2007, 4, 24), 'I', 1), "", "also short"}));
    QDir(dir.path()).mkpath(u"full"_s);
    ASSERT_TRUE(QFile::link(u"/dev/full"_s, path(u"full/QX8log.txt"_s)));
    // Root writes into any folder of its own; /proc takes no new file from anyone.
    QDir(dir.path()).mkpath(u"readonly"_s);
    QFile::setPermissions(path(u"readonly"_s), QFile::ReadOwner | QFile::ExeOwner);
    const QString readOnly = ::geteuid() == 0 ? u"/proc"_s : path(u"readonly"_s);

    for (const QString &folder : {path(u"full"_s), readOnly}) {
        const Result r = run({u"--log-dir"_s, folder, u"import"_s, u"--yes"_s, u"2A000007.}01"_s});
        EXPECT_EQ(r.err.count(u"hxpolllog: error: cannot write the log "_s + folder + u"/QX8log.txt ("_s), 1)
            << r.err.toStdString();
        EXPECT_EQ(r.err.count(u"INVALID BUFFER"_s), 3) << "the boxes are still shown";
        EXPECT_EQ(r.exitCode, 3) << "the bad lines count, the lost log entries do not";
    }
    // A log that can be written says nothing of the kind.
    const Result r = run({u"import"_s, u"--yes"_s, u"2A000007.}01"_s});
    EXPECT_FALSE(r.err.contains(u"cannot write the log"_s));
    EXPECT_TRUE(log().contains(u"blnImportPollFile also short"_s)) << log().toStdString();
    QFile::setPermissions(path(u"readonly"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
