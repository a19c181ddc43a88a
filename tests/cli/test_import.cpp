// The import command end to end: the host program run on poll log files
// written by the test, on a site of either engine. One import is one unit of
// work; the register of seen records is the database's; the exit status tells
// saved, saved with errors, or not; one import at a time per database.
#include "cli/CliTest.h"
#include "component/ImportLock.h"
#include "component/Schema.h"
#include "component/Values.h"
#include "component/modGlobal.h"

#include <QCoreApplication>
#include <QLockFile>
#include <QScopeGuard>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace hx;
using namespace std::chrono_literals;
using hx::test::CliSiteTest;

namespace {
const QList<QDate> kTwoDays = {QDate(2007, 4, 24), QDate(2007, 4, 25)};
const QStringList kYes = {u"import"_s, u"--yes"_s}, kSkipSeen = {u"import"_s, u"--yes"_s, u"--skip-seen"_s};

// A record of employee `id` on an April day at 08:00 (in) or 16:30 (out).
QByteArray record(int day, char inOut, int sequence, int id = 1) {
    return demo::formatRecord({.badge = 1000 + id, .date = QDate(2007, 4, day),
                               .time = inOut == 'I' ? QTime(8, 0) : QTime(16, 30), .inOut = inOut,
                               .department = 10, .sequence = sequence});
}
} // namespace

class ImportCommand : public CliSiteTest {
protected:
    void SetUp() override {
        CliSiteTest::SetUp();
        // A lock names its holder by program name; the host sets its own, this
        // test program must do the same for its locks to be seen as alive.
        QCoreApplication::setApplicationName(
            QFileInfo(u"/proc/self/exe"_s).symLinkTarget().section(QLatin1Char('/'), -1));
    }
    void poll(const QString &name, const QList<QByteArray> &lines) {
        ASSERT_TRUE(demo::writePollFile(path(u"polllogs/"_s + name), lines));
    }
    int registerRows() { return count(u"SELECT COUNT(*) FROM \"PrevPunch\""_s); }
    // A punch another import has read but not yet posted.
    void addImportRow() {
        db().execute(u"INSERT INTO \"IMPORT\" (\"EMPLOYEE ID\", \"CLOCK ID\") VALUES (?, ?)"_s, {1, 1001});
    }
    QString lastPoll() {
        return formatIsoDate(toDateTimeValue(*db().firstValue(u"SELECT \"LastPoll\" FROM \"TCRULES\""_s)));
    }
    // A second session on the site's database.
    std::unique_ptr<Database> openAgain() const {
        return Database::open(onServer() ? *ConnectionSpec::parse(databaseName(), QString(), nullptr)
                                         : ConnectionSpec::forSqliteFile(databaseName()));
    }
    QString lockFile() const { return ImportLock::lockFilePath(path(u"site.db"_s)); }
    // Who holds the import lock taken through db(), as the refusal names it.
    QString holder() {
        return onServer() ? u"server process "_s + db().firstValue(u"SELECT pg_backend_pid()"_s)->toString()
                          : u"process %1"_s.arg(QCoreApplication::applicationPid());
    }
};

// Files named by a path outside the poll log folder are read where they are.
TEST_F(ImportCommand, ImportsAFileNamedByAPathElsewhere) {
    addEmployees(1, 1);
    const QString elsewhere = writeFile(u"inbox/2A000307.}01"_s, {});
    writePoll(elsewhere, 1, 1, kTwoDays);
    const Result r = run(kYes + QStringList{elsewhere});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 4);
    // IMPORT's keys go on where its four rows left them, staged in memory or not.
    if (!onServer()) {
        EXPECT_EQ(db().firstValue(u"SELECT \"seq\" FROM \"sqlite_sequence\" WHERE \"name\" = 'IMPORT'"_s)
                      .value_or(0)
                      .toInt(),
                  4);
    }
}

TEST_F(ImportCommand, AFileThatFailsMidwayLeavesEverythingUnposted) {
    addEmployees(1, 4);
    writePoll(u"2A000007.}01"_s, 1, 2, kTwoDays);
    writePoll(u"2A000107.}01"_s, 3, 1, kTwoDays, {";Abort by the operator"});
    writePoll(u"2A000207.}02"_s, 4, 1, kTwoDays);
    // An aborted poll and a file that is not there fail alike; the punches
    // read before the failure are thrown away with the rest.
    for (const QString &bad : {u"2A000107.}01"_s, u"NOSUCH07.}01"_s}) {
        SCOPED_TRACE(bad.toStdString());
        const Result r = run(kYes + QStringList{u"2A000007.}01"_s, bad, u"2A000207.}02"_s});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(punchRows() + importRows() + registerRows(), 0);
        EXPECT_TRUE(r.err.contains(u"File Load Error"_s)) << r.err.toStdString();
    }
    // Nothing read before the failure was marked seen: it is not skipped now.
    const Result r = run(kSkipSeen + QStringList{u"2A000007.}01"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 8);
}

// Usage errors touch nothing; an answer No (given, or no terminal to ask)
// imports nothing but still empties IMPORT.
TEST_F(ImportCommand, UsageErrorsAndAnswerNoImportNothing) {
    addEmployees(1, 1);
    writePoll(u"2A000007.}01"_s, 1, 1, kTwoDays);
    const QString usage = u"Try 'hxpolllog import --help'."_s;
    const struct {
        QStringList args;
        int exit;
        QString said;
        int importRowsAfter;
    } cases[] = {
        {{u"import"_s, u"--yes"_s, u"--no"_s, u"A.}01"_s}, 2, usage, 1},
        {{u"import"_s, u"--no"_s, u"2A000007.}01"_s}, 1, u"Yes/No? No (--no)"_s, 0},
        {{u"import"_s, u"--"_s, u"2A000007.}01"_s}, 1, u"Yes/No? No (no terminal to ask"_s, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        db().execute(u"DELETE FROM \"IMPORT\""_s);
        addImportRow();
        const Result r = run(c.args);
        EXPECT_EQ(r.exitCode, c.exit);
        EXPECT_TRUE(r.err.contains(c.said)) << r.err.toStdString();
        EXPECT_EQ(importRows(), c.importRowsAfter);
        EXPECT_EQ(punchRows(), 0);
    }
}

// A record dated ahead (a damaged month) is reported and left out; a last
// poll ahead of today is set back at the next posting.
TEST_F(ImportCommand, DatesThatCannotBeAreReportedAndLeftOut) {
    addEmployees(1, 1);
    db().execute(u"UPDATE \"TCRULES\" SET \"LastPoll\" = ?"_s, {db().dateTime(dateSerial(9999, 3, 5))});
    writePoll(u"2A000007.}01"_s, 1, 1, {QDate(2007, 4, 25), QDate(2007, 4, 27), QDate(2007, 4, 28)});

    const Result r = run(kYes + QStringList{u"2A000007.}01"_s});
    EXPECT_EQ(r.exitCode, 3) << r.err.toStdString();
    // Up to a day ahead is a clock a little fast; the 28th is not.
    EXPECT_EQ(postedPunches(), 4);
    EXPECT_EQ(r.err.count(u"[INVALID DATE]"_s), 2) << r.err.toStdString();
    EXPECT_EQ(lastPoll(), u"2007-04-26"_s);
}

// Bad lines are errors on the way: saved, exit status 3, counted; twenty are
// shown, the rest counted in one box. A log that cannot be written is told
// once on standard error and loses its entries, not the import.
TEST_F(ImportCommand, BadLinesAndALogThatCannotBeWritten) {
    addEmployees(1, 1);
    QList<QByteArray> bad;
    for (int i = 0; i < 1000; ++i)
        bad << QByteArray(10 + i % 40, 'x');
    writePoll(u"2A000007.}01"_s, 1, 1, kTwoDays, bad);
    QDir(dir.path()).mkpath(u"full"_s);
    ASSERT_TRUE(QFile::link(u"/dev/full"_s, path(u"full/QX8log.txt"_s)));
    // Root writes into any folder of its own; /proc takes no new file from anyone.
    QDir(dir.path()).mkpath(u"readonly"_s);
    QFile::setPermissions(path(u"readonly"_s), QFile::ReadOwner | QFile::ExeOwner);
    const QString readOnly = ::geteuid() == 0 ? u"/proc"_s : path(u"readonly"_s);

    for (const QString &folder : {path(u"full"_s), readOnly, path(u"logs"_s)}) {
        SCOPED_TRACE(folder.toStdString());
        const Result r = run(QStringList{u"--log-dir"_s, folder} + kSkipSeen + QStringList{u"2A000007.}01"_s});
        EXPECT_EQ(r.exitCode, 3) << "the bad lines count, the lost log entries do not";
        const bool lost = folder != path(u"logs"_s);
        EXPECT_EQ(r.err.count(u"cannot write the log"_s), lost ? 1 : 0) << r.err.toStdString();
        EXPECT_TRUE(!lost || r.err.contains(u"hxpolllog: error: cannot write the log "_s + folder + u"/QX8log.txt ("_s));
        EXPECT_EQ(r.err.count(u"[INVALID BUFFER]"_s), 21) << "the boxes are still shown";
        EXPECT_TRUE(r.err.contains(u"980 more line(s) of this file have the wrong size and were skipped."_s));
        EXPECT_EQ(postedPunches(), 4);
    }
    EXPECT_TRUE(logText().contains(u"blnImportPollFile xxxxxxxxxxxxxxxxxxxx"_s));
    QFile::setPermissions(path(u"readonly"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Punches of one moment post in the order they were read: the out at noon
// closes the morning, the in at noon opens the afternoon.
TEST_F(ImportCommand, PunchesOfOneMomentPostInTheOrderRead) {
    addEmployees(1, 1);
    const auto at = [](int hour, char inOut, int sequence) {
        return demo::formatRecord({.badge = 1001,
                                   .date = QDate(2007, 4, 24),
                                   .time = QTime(hour, 0),
                                   .inOut = inOut,
                                   .department = 10,
                                   .sequence = sequence});
    };
    poll(u"2A000007.}01"_s, {at(8, 'I', 1), at(12, 'O', 2), at(12, 'I', 3), at(16, 'O', 4)});
    ASSERT_EQ(run(kYes + QStringList{u"2A000007.}01"_s}).exitCode, 0);
    EXPECT_EQ(
        count(
            u"SELECT COUNT(*) FROM \"PUNCH\" WHERE \"IN TIME\" = '08:00:00' AND \"OUT TIME\" = '12:00:00'"_s),
        1);
}

TEST_F(ImportCommand, AnImportRowThatFailsStillLogsItsAccessEvent) {
    addEmployees(1, 3);
    db().execute(u"UPDATE \"EMPLOYEE\" SET \"AccessControl\" = ? WHERE \"EMPLOYEE ID\" = ?"_s, {u"YES"_s, 2});
    db().executeScript(
        onServer() ? u"CREATE FUNCTION \"refuse\"() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF "
                     "NEW.\"CLOCK ID\" = 1002 THEN RAISE EXCEPTION 'refused by the test'; END IF; RETURN NEW; "
                     "END $$;\nCREATE TRIGGER \"refuse\" BEFORE INSERT ON \"IMPORT\" FOR EACH ROW EXECUTE "
                     "FUNCTION \"refuse\"();"_s
                   : u"CREATE TRIGGER \"refuse\" BEFORE INSERT ON \"IMPORT\" WHEN NEW.\"CLOCK ID\" = 1002 "
                     "BEGIN SELECT RAISE(ABORT, 'refused by the test'); END;"_s);
    writePoll(u"2A000007.}01"_s, 1, 3, {QDate(2007, 4, 24)});

    const Result r = run(kYes + QStringList{u"2A000007.}01"_s});
    EXPECT_EQ(r.exitCode, 3) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"refused by the test"_s)) << r.err.toStdString();
    // Employee 2's two punches: no IMPORT row, but both access events.
    EXPECT_EQ(count(u"SELECT COUNT(*) FROM \"AccessPunch\" WHERE \"EmployeeClock\" = 1002"_s), 2);
    EXPECT_EQ(count(u"SELECT COUNT(*) FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = 2"_s), 0);
    EXPECT_EQ(postedPunches(), 4);
}

// The register is the database's: no register file is written. One too large
// to be real is kept aside unread and the import goes on.
TEST_F(ImportCommand, ARunawayRegisterFileIsKeptAsideUnread) {
    addEmployees(1, 2);
    writePoll(u"2A000007.}01"_s, 1, 2, {QDate(2007, 4, 25)});
    {
        QFile runaway(path(u"app/PrevPunch.xml"_s));
        ASSERT_TRUE(runaway.open(QIODevice::WriteOnly));
        ASSERT_TRUE(runaway.resize(qint64(3) << 30)); // sparse: no disk taken
    }
    const Result r = run(kSkipSeen + QStringList{u"2A000007.}01"_s});
    EXPECT_EQ(r.exitCode, 3) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"more than a register can"_s)) << r.err.toStdString();
    const QStringList aside = QDir(path(u"app"_s)).entryList({u"PrevPunch-damaged-*"_s}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(QFileInfo(path(u"app/"_s + aside[0])).size(), qint64(3) << 30);
    EXPECT_EQ(QDir(path(u"app"_s)).entryList(QDir::Files), aside) << "no register file written";
    EXPECT_EQ(postedPunches(), 4);
}

TEST_F(ImportCommand, ADatabaseThatCannotBeUpgradedImportsNothingAndSaysWhy) {
    addEmployees(1, 1);
    writePoll(u"2A000007.}01"_s, 1, 1, kTwoDays);
    // A database of an earlier version where a view takes the register's name.
    db().executeScript(u"DROP TABLE \"PrevPunch\";\nDROP TABLE \"SchemaVersion\";\n"
                       "CREATE VIEW \"PrevPunch\" AS SELECT 1 AS \"x\";"_s);
    const Result r = run(kYes + QStringList{u"2A000007.}01"_s});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"nothing was imported: The database cannot be brought up"_s)) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 0);
}

// A full disk under the SQLite file (a small tmpfs of its own; needs root).
TEST_F(ImportCommand, AFullDiskSavesNothingAndMarksNothingSeen) {
    if (onServer()) GTEST_SKIP() << "a full disk under the database is a test of the SQLite file";
    const QString small = path(u"small"_s);
    QDir().mkpath(small);
    if (::mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=2097152") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here (not root?)";
    const auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(small).constData(), MNT_DETACH); });
    addEmployees(1, 300);
    writePoll(u"2A000007.}01"_s, 1, 300, kTwoDays);
    gConn.reset();
    ASSERT_TRUE(QFile::copy(path(u"site.db"_s), small + u"/site.db"_s));
    gConn = Database::open(ConnectionSpec::forSqliteFile(small + u"/site.db"_s));
    // Leave about 64 KiB free.
    struct statvfs st {};
    ASSERT_EQ(::statvfs(QFile::encodeName(small).constData(), &st), 0);
    QFile filler(small + u"/filler"_s);
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    for (qint64 left = qint64(st.f_bavail) * qint64(st.f_frsize) - (64 << 10); left > 0; left -= 4096)
        if (filler.write(QByteArray(4096, 'x')) != 4096) break;
    filler.close();

    const QStringList site = {u"--db"_s, small + u"/site.db"_s};
    const Result r = run(site + kYes + QStringList{u"2A000007.}01"_s});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"full"_s)) << r.err.toStdString();
    EXPECT_EQ(punchRows() + importRows() + registerRows(), 0) << "nothing saved, no record marked seen";
    EXPECT_EQ(count(u"SELECT COUNT(*) FROM \"AccessPunch\""_s), 0);

    // Room again: the same import goes through whole.
    QFile::remove(small + u"/filler"_s);
    const Result again = run(site + kSkipSeen + QStringList{u"2A000007.}01"_s});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(postedPunches(), 1200);
}

// What an import did: its summary as JSON (the block on standard error, each
// count in it, is held by the equivalence digests), the history of runs, and
// a dry run that keeps nothing.
TEST_F(ImportCommand, SummaryHistoryAndADryRun) {
    addEmployees(1, 3);
    // One shift, a repeated in punch, one pair left open; a bad line apart.
    poll(u"2A000007.}01"_s, {record(24, 'I', 1), record(24, 'O', 2), record(24, 'I', 3), record(25, 'I', 4, 2)});
    poll(u"2A000107.}01"_s, {"a line of the wrong size"});
    poll(u"2A000207.}01"_s, {record(25, 'O', 5, 2)});
    const struct {
        QStringList args;
        int exit;
        const char *outcome;
        int skippedSeen;
        const char *errors;
    } runs[] = {
        {{u"2A000007.}01"_s, u"2A000107.}01"_s}, 3, "saved_with_errors", 0, "bad_line"},
        // The first file again, seen; the second closes the open pair.
        {{u"--skip-seen"_s, u"2A000007.}01"_s, u"2A000207.}01"_s}, 0, "saved", 4, nullptr},
    };
    for (const auto &c : runs) {
        const Result r = run(QStringList{u"import"_s, u"--yes"_s, u"--json"_s} + c.args);
        SCOPED_TRACE(r.err.toStdString());
        EXPECT_EQ(r.exitCode, c.exit);
        const QJsonObject o = json(r).object();
        for (const char *key : {"records_read", "bad_lines", "punches_new", "duplicates_removed", "pairs_opened",
                                "pairs_closed", "employees"})
            EXPECT_TRUE(o[QLatin1String(key)].isDouble()) << key;
        EXPECT_EQ(o[u"outcome"_s].toString(), QLatin1String(c.outcome));
        EXPECT_EQ(o[u"exit_status"_s].toInt(), c.exit);
        EXPECT_EQ(o[u"records_skipped_seen"_s].toInt(), c.skippedSeen);
        EXPECT_EQ(o[u"errors"_s].toObject().keys(), c.errors ? QStringList{QLatin1String(c.errors)} : QStringList());
        EXPECT_EQ(o[u"files"_s].toArray().size(), 2);
        EXPECT_FALSE(o.contains(u"dry_run"_s));
    }
    EXPECT_EQ(completePairs(), 2);
    // A file that cannot be read: not saved, and recorded so.
    EXPECT_EQ(run(kYes + QStringList{u"NOSUCH07.}01"_s}).exitCode, 1);

    // A dry run posts and counts, then keeps nothing: no row, no register, no file.
    poll(u"2A000307.}01"_s, {record(25, 'I', 6, 3), record(25, 'O', 7, 3)});
    const auto everything = [&] {
        return hx::test::tableDump(db(), schemaTables(db().engine())) +
               QDir(path(u"polllogs"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    };
    const QStringList before = everything();
    const Result dry = run({u"import"_s, u"--yes"_s, u"--dry-run"_s, u"--json"_s, u"2A000307.}01"_s});
    EXPECT_EQ(dry.exitCode, 0) << dry.err.toStdString();
    EXPECT_EQ(json(dry)[u"punches_new"_s].toInt(), 2);
    EXPECT_EQ(json(dry)[u"dry_run"_s], true);
    EXPECT_EQ(everything(), before);

    // The history, newest first.
    const Result h = run({u"history"_s, u"--json"_s});
    ASSERT_EQ(h.exitCode, 0) << h.err.toStdString();
    const QJsonArray rows = json(h).array();
    QStringList runsSeen;
    for (const QJsonValue &o : rows)
        runsSeen << u"%1 %2 %3 %4"_s.arg(o[u"outcome"_s].toString()).arg(o[u"exit_status"_s].toInt())
                        .arg(o[u"source"_s].toString(), o[u"started"_s].toString());
    ASSERT_EQ(runsSeen, (QStringList{u"not_saved 1 command 2007-04-26T17:17:00"_s,
                                     u"saved 0 command 2007-04-26T17:17:00"_s,
                                     u"saved_with_errors 3 command 2007-04-26T17:17:00"_s}));
    EXPECT_EQ(rows[0].toObject()[u"cause"_s].toString(), u"File Load Error: NOSUCH07.}01"_s);
    EXPECT_EQ(rows[2].toObject()[u"errors"_s].toObject()[u"bad_line"_s].toInt(), 1);
}

// One import at a time per database: a second waits for the first or gives up
// naming it, the command before it touches IMPORT; a holder that died leaves
// no lock behind.
TEST_F(ImportCommand, ASecondImportWaitsForTheFirstOrGivesUpNamingIt) {
    addEmployees(1, 1);
    writePoll(u"2A000007.}01"_s, 1, 1, {QDate(2007, 4, 25)});
    addImportRow();
    auto other = openAgain();
    QString why;
    auto first = ImportLock::acquire(db(), 0ms, &why);
    ASSERT_TRUE(first) << why.toStdString();
    EXPECT_EQ(QFileInfo::exists(lockFile()), !onServer());
    int told = 0;
    EXPECT_FALSE(ImportLock::acquire(*other, 400ms, &why, [&](const QString &) { ++told; }));
    EXPECT_EQ(told, 1);
    EXPECT_EQ(why.contains(lockFile()), !onServer()) << why.toStdString();

    const Result r = run({u"import"_s, u"--yes"_s, u"--wait=1"_s, u"2A000007.}01"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"another import is running on this database: "_s + holder()));
    EXPECT_EQ(importRows(), 1);
    EXPECT_EQ(punchRows(), 0);

    // A waiting import gets the lock as soon as the first ends (the server's
    // sessions are let go from this thread: a Database serves one at a time).
    if (onServer()) first.reset();
    std::thread releaser([&] {
        std::this_thread::sleep_for(300ms);
        first.reset();
    });
    auto second = ImportLock::acquire(*other, 20s, &why);
    releaser.join();
    ASSERT_TRUE(second) << why.toStdString();
    EXPECT_FALSE(ImportLock::acquire(db(), 0ms, nullptr));

    if (onServer()) {
        // A session that ends without letting go, as a killed import's does:
        // the server drops its lock once the session is gone.
        other->close();
        second.reset();
    } else {
        second.reset();
        EXPECT_FALSE(QFileInfo::exists(lockFile()));
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) { // takes the lock and dies without releasing it
            QLockFile f(lockFile());
            f.lock();
            _exit(0);
        }
        waitpid(child, nullptr, 0);
        ASSERT_TRUE(QFileInfo::exists(lockFile()));
    }
    EXPECT_TRUE(ImportLock::acquire(db(), 10s, &why)) << why.toStdString();
}

TEST_F(ImportCommand, TwoImportsStartedAtOnceLoseNoPunch) {
    const QList<QDate> days = {QDate(2007, 4, 23), QDate(2007, 4, 24), QDate(2007, 4, 25)};
    addEmployees(1, 300);
    writePoll(u"2A000007.}01"_s, 1, 150, days);
    writePoll(u"2A000107.}02"_s, 151, 150, days);
    auto a = start(kYes + QStringList{u"2A000007.}01"_s});
    auto b = start(kYes + QStringList{u"2A000107.}02"_s});
    for (const Result &r : {finish(*a), finish(*b)})
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 2 * 300 * 3);
    EXPECT_EQ(completePairs(), 300 * 3);
    EXPECT_EQ(importRows(), 0);
    EXPECT_FALSE(QFileInfo::exists(lockFile()));
}

TEST_F(ImportCommand, ALostServerMidImportRollsEverythingBackWithOneMessage) {
    if (!onServer()) GTEST_SKIP() << "a session the server ends";
    addEmployees(1, 300);
    writePoll(u"2A000007.}01"_s, 1, 300, {QDate(2007, 4, 23), QDate(2007, 4, 24), QDate(2007, 4, 25)});
    auto p = start(kYes + QStringList{u"2A000007.}01"_s});
    // The import's session, once its transaction has written (a transaction
    // id is given at the first write: lock queries take none), is ended by
    // the server, as when the server goes away.
    bool ended = false;
    for (int i = 0; i < 3000 && !ended && p->state() != QProcess::NotRunning; ++i) {
        const auto pid = db().firstValue(u"SELECT pid FROM pg_stat_activity WHERE datname = current_database() "
                                         "AND pid <> pg_backend_pid() AND backend_xid IS NOT NULL "
                                         "AND backend_type = 'client backend'"_s);
        if (pid)
            ended = db().firstValue(u"SELECT pg_terminate_backend(?)"_s, {*pid})->toBool();
        else
            p->waitForFinished(10);
    }
    ASSERT_TRUE(ended) << "the import finished before its session could be ended";
    const Result r = finish(*p);
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(r.err.count(u"\n["_s) + (r.err.startsWith(u'[') ? 1 : 0), 2) << r.err.toStdString();
    EXPECT_EQ(r.err.count(u"[Import Not Saved]\nThe import was stopped and nothing was imported"_s), 1);
    EXPECT_EQ(punchRows() + importRows(), 0);
    EXPECT_EQ(count(u"SELECT COUNT(*) FROM \"AccessPunch\""_s), 0);
}
