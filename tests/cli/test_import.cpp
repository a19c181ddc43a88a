// The import command end to end: the host program run on poll log files
// written by the test.
#include "cli/CliTest.h"

using hx::test::CliSiteTest;

namespace {
const QList<QDate> kTwoDays = {QDate(2007, 4, 24), QDate(2007, 4, 25)};
}

class ImportCommand : public CliSiteTest {};

TEST_F(ImportCommand, ImportsEveryFileAndPostsEveryPunch) {
    addEmployees(1, 5);
    writePoll(u"2A000007.}01"_s, 1, 3, kTwoDays);
    writePoll(u"2A000107.}02"_s, 4, 2, kTwoDays);

    Result r = run({u"import"_s, u"--yes"_s, u"2A000007.}01"_s, u"2A000107.}02"_s});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 20);
    EXPECT_EQ(completePairs(), 10);
    EXPECT_EQ(importRows(), 0);
    EXPECT_TRUE(r.err.contains(u"[Import Poll Log]\nAre you sure you want to import 2 poll logs?\n"
                               "WARNING!  There is a high risk of duplicating data if this poll log "
                               "information is already in the database!\nYes/No? Yes (--yes)"_s))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"[Success]\nPoll Logs Imported Successfully"_s));
    for (const QString &line : {u"Where: frmPollLog:barPollLog ButtonClick"_s, u"Other: Response=Yes"_s,
                                u" What: Msg 'Poll Logs Imported Successfully'"_s})
        EXPECT_TRUE(log().contains(line)) << line.toStdString();

    // One file, named by a path outside the poll log folder.
    addEmployees(6, 1);
    const QString elsewhere = writeFile(u"inbox/2A000207.}01"_s, {});
    writePoll(elsewhere, 6, 1, kTwoDays);
    r = run({u"import"_s, u"--yes"_s, elsewhere});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 24);
    EXPECT_TRUE(r.err.contains(u"Are you sure you want to import this poll log?\n"_s));
    EXPECT_TRUE(r.err.contains(u"[Success]\nPoll Log Imported Successfully"_s));
}

TEST_F(ImportCommand, AFileThatFailsMidwayLeavesEverythingUnposted) {
    addEmployees(1, 4);
    writePoll(u"2A000007.}01"_s, 1, 2, kTwoDays);
    writePoll(u"2A000107.}01"_s, 3, 1, kTwoDays, {";Abort by the operator"});
    writePoll(u"2A000207.}02"_s, 4, 1, kTwoDays);

    // An aborted poll and a file that is not there fail alike; the punches
    // read before the failure are thrown away with the rest.
    for (const QString &bad : {u"2A000107.}01"_s, u"NOSUCH07.}01"_s}) {
        const Result r = run({u"import"_s, u"--yes"_s, u"2A000007.}01"_s, bad, u"2A000207.}02"_s});
        EXPECT_EQ(r.exitCode, 1) << bad.toStdString();
        EXPECT_EQ(punchRows(), 0) << bad.toStdString();
        EXPECT_EQ(importRows(), 0) << bad.toStdString();
        EXPECT_TRUE(r.err.contains(u"[Error Loading File]\nFile Load Error\n"_s)) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains(u"[Success]"_s));
        EXPECT_TRUE(log().contains(u"Where: frmPollLog:barPollLog ButtonClick "_s + bad +
                                   u"\r\n What: Msg 'File Load Error'"_s))
            << bad.toStdString();
    }
    // Nothing read before the failure was marked seen: it is not skipped now.
    const Result r = run({u"import"_s, u"--yes"_s, u"--skip-seen"_s, u"2A000007.}01"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 8);
}

TEST_F(ImportCommand, AnswerNoImportsNothingAndStillEmptiesImport) {
    addEmployees(1, 1);
    writePoll(u"2A000007.}01"_s, 1, 1, kTwoDays);
    // --no, and no answer with no terminal to ask, both answer No.
    for (const auto &[option, shown] : {std::pair{u"--no"_s, u"Yes/No? No (--no)"_s},
                                        std::pair{u"--"_s, u"Yes/No? No (no terminal to ask"_s}}) {
        addImportRow();
        const Result r = run({u"import"_s, option, u"2A000007.}01"_s});
        EXPECT_EQ(r.exitCode, 1) << option.toStdString();
        EXPECT_TRUE(r.err.contains(shown)) << r.err.toStdString();
        EXPECT_EQ(importRows(), 0) << option.toStdString();
        EXPECT_EQ(punchRows(), 0) << option.toStdString();
    }
    EXPECT_TRUE(log().contains(u"Other: Response=No"_s));
}

TEST_F(ImportCommand, UsageErrorsExitWithTwoAndTouchNothing) {
    addImportRow();
    for (const QStringList &args : {QStringList{u"import"_s}, QStringList{u"import"_s, u"--yes"_s},
                                    QStringList{u"import"_s, u"--yes"_s, u"--no"_s, u"A.}01"_s},
                                    QStringList{u"import"_s, u"--force"_s, u"A.}01"_s},
                                    QStringList{u"import"_s, u"--wait"_s, u"soon"_s, u"A.}01"_s}}) {
        const Result r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(u"Try 'hxpolllog import --help'."_s)) << r.err.toStdString();
    }
    EXPECT_EQ(importRows(), 1);

    // A database that is not there is a failure, not a usage error.
    const Result r = run({u"--db"_s, path(u"missing.db"_s), u"import"_s, u"--yes"_s, u"A.}01"_s}, false);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"database not found"_s));
}

// A record dated ahead (a damaged month) is reported with its file and line
// and left out; a last poll ahead of today is set back at the next posting.
TEST_F(ImportCommand, DatesThatCannotBeAreReportedAndLeftOut) {
    addEmployees(1, 1);
    db().execute(u"UPDATE \"TCRULES\" SET \"LastPoll\" = ?"_s, {db().dateTime(hx::dateSerial(9999, 3, 5))});
    writePoll(u"2A000007.}01"_s, 1, 1, {QDate(2007, 4, 25), QDate(2007, 4, 27), QDate(2007, 4, 28)});

    const Result r = run({u"import"_s, u"--yes"_s, u"2A000007.}01"_s});
    EXPECT_EQ(r.exitCode, 3) << r.err.toStdString();
    // Up to a day ahead is a clock a little fast; the 28th is not.
    EXPECT_EQ(postedPunches(), 4);
    EXPECT_EQ(r.err.count(u"[INVALID DATE]"_s), 2) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"The record is dated 2007-04-28 08:01:00"_s)) << r.err.toStdString();
    EXPECT_TRUE(log().contains(u"2A000007.}01 line 5: "_s)) << log().toStdString();
    EXPECT_TRUE(log().contains(u"The last poll date 03/05/9999 lies after today; it is set back to 04/26/2007."_s))
        << log().toStdString();
    EXPECT_EQ(db().firstValue(u"SELECT \"LastPoll\" FROM \"TCRULES\""_s)->toString().left(10), u"2007-04-26"_s);
}
