// The import command end to end: the host program run on poll log files
// written by the test.
#include "cli/CliTest.h"

using namespace hx;
using hx::test::CliSiteTest;

namespace {
const QList<QDate> kTwoDays = {QDate(2007, 4, 24), QDate(2007, 4, 25)};
}

class ImportCommand : public CliSiteTest {};

TEST_F(ImportCommand, ImportsEveryFileAndPostsEveryPunch) {
    addEmployees(1, 5);
    writePoll(QStringLiteral("2A000007.}01"), shifts(1, 3, kTwoDays));
    writePoll(QStringLiteral("2A000107.}02"), shifts(4, 2, kTwoDays));

    const Result r = run({QStringLiteral("import"), QStringLiteral("--yes"), QStringLiteral("2A000007.}01"),
                          QStringLiteral("2A000107.}02")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 20);
    // Every shift became one complete pair.
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM \"PUNCH\" WHERE \"IN TIME\" IS NOT NULL AND "
                                   "\"OUT TIME\" IS NOT NULL")),
              10);
    EXPECT_EQ(importRows(), 0);

    EXPECT_TRUE(
        r.err.contains(QStringLiteral("[Import Poll Log]\nAre you sure you want to import 2 poll logs?\n"
                                      "WARNING!  There is a high risk of duplicating data if this poll log "
                                      "information is already in the database!\nYes/No? Yes (--yes)")))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("[Success]\nPoll Logs Imported Successfully")));
    const QString text = log();
    EXPECT_TRUE(text.contains(QStringLiteral("Where: frmPollLog:barPollLog ButtonClick")));
    EXPECT_TRUE(text.contains(QStringLiteral("Other: Response=Yes")));
    EXPECT_TRUE(text.contains(QStringLiteral(" What: Msg 'Poll Logs Imported Successfully'")));
}

TEST_F(ImportCommand, OneFileNamedByItsPathIsThisPollLog) {
    addEmployees(1, 1);
    const QString elsewhere = writeFile(QStringLiteral("inbox/2A000007.}01"), QByteArray());
    ASSERT_TRUE(demo::writePollFile(elsewhere, shifts(1, 1, kTwoDays)));

    const Result r = run({QStringLiteral("import"), QStringLiteral("--yes"), elsewhere});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 4);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Are you sure you want to import this poll log?\n")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("[Success]\nPoll Log Imported Successfully")));
}

TEST_F(ImportCommand, AFileThatFailsMidwayLeavesEverythingUnposted) {
    addEmployees(1, 4);
    writePoll(QStringLiteral("2A000007.}01"), shifts(1, 2, kTwoDays));
    writePoll(QStringLiteral("2A000107.}01"),
              QList<QByteArray>{";Abort by the operator"} + shifts(3, 1, kTwoDays));
    writePoll(QStringLiteral("2A000207.}02"), shifts(4, 1, kTwoDays));

    const Result r = run({QStringLiteral("import"), QStringLiteral("--yes"), QStringLiteral("2A000007.}01"),
                          QStringLiteral("2A000107.}01"), QStringLiteral("2A000207.}02")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM \"PUNCH\"")), 0);
    // The first file's punches were read, then thrown away with the rest.
    EXPECT_EQ(importRows(), 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("[Error Loading File]\nFile Load Error\n")));
    EXPECT_FALSE(r.err.contains(QStringLiteral("[Success]")));
    EXPECT_TRUE(log().contains(QStringLiteral("Where: frmPollLog:barPollLog ButtonClick 2A000107.}01\r\n"
                                              " What: Msg 'File Load Error'")));
}

TEST_F(ImportCommand, AMissingFileIsALoadErrorNotACrash) {
    addEmployees(1, 1);
    writePoll(QStringLiteral("2A000007.}01"), shifts(1, 1, kTwoDays));

    const Result r = run({QStringLiteral("import"), QStringLiteral("--yes"), QStringLiteral("2A000007.}01"),
                          QStringLiteral("NOSUCH07.}01")});
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("File Load Error")));
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM \"PUNCH\"")), 0);
    EXPECT_EQ(importRows(), 0);
}

TEST_F(ImportCommand, AnswerNoImportsNothingAndStillEmptiesImport) {
    addEmployees(1, 1);
    writePoll(QStringLiteral("2A000007.}01"), shifts(1, 1, kTwoDays));
    auto leftOver = [&] {
        db().execute(QStringLiteral("INSERT INTO \"IMPORT\" (\"EMPLOYEE ID\", \"CLOCK ID\") VALUES (?, ?)"),
                     {1, 1001});
    };

    leftOver();
    Result r = run({QStringLiteral("import"), QStringLiteral("--no"), QStringLiteral("2A000007.}01")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Yes/No? No (--no)")));
    EXPECT_EQ(importRows(), 0);
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM \"PUNCH\"")), 0);
    EXPECT_TRUE(log().contains(QStringLiteral("Other: Response=No")));

    // Without an answer and without a terminal to ask, the answer is No.
    leftOver();
    r = run({QStringLiteral("import"), QStringLiteral("2A000007.}01")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Yes/No? No (no terminal to ask")));
    EXPECT_EQ(importRows(), 0);
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM \"PUNCH\"")), 0);
}

TEST_F(ImportCommand, UsageErrorsExitWithTwoAndTouchNothing) {
    db().execute(QStringLiteral("INSERT INTO \"IMPORT\" (\"EMPLOYEE ID\") VALUES (?)"), {1});
    for (const QStringList &args :
         {QStringList{QStringLiteral("import")},
          QStringList{QStringLiteral("import"), QStringLiteral("--yes")},
          QStringList{QStringLiteral("import"), QStringLiteral("--yes"), QStringLiteral("--no"),
                      QStringLiteral("A.}01")},
          QStringList{QStringLiteral("import"), QStringLiteral("--force"), QStringLiteral("A.}01")},
          QStringList{QStringLiteral("import"), QStringLiteral("--wait"), QStringLiteral("soon"),
                      QStringLiteral("A.}01")}}) {
        const Result r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("usage: hxpolllog"))) << r.err.toStdString();
    }
    EXPECT_EQ(importRows(), 1);

    // A database that is not there is a failure, not a usage error.
    const Result r = run({QStringLiteral("--db"), path(QStringLiteral("missing.db")),
                          QStringLiteral("import"), QStringLiteral("--yes"), QStringLiteral("A.}01")},
                         false);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("database not found")));
}
