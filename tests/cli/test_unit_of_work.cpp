// The import as one unit of work, end to end through the host: a full disk
// saves nothing and says so, the register is in the database and shared by
// every host on it, re-runs add nothing twice, and the exit status tells
// saved, saved with errors, or not.
#include "cli/CliTest.h"
#include "component/modGlobal.h"

#include <QDir>
#include <QFile>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

using hx::test::CliSiteTest;

namespace {
const QList<QDate> kTwoDays = {QDate(2007, 4, 24), QDate(2007, 4, 25)};

// A small file system of its own (tmpfs), to fill up; needs root.
class SmallDisk {
public:
    SmallDisk(const QString &dir, qint64 bytes) : m_dir(dir) {
        QDir().mkpath(dir);
        const QByteArray options = "size=" + QByteArray::number(bytes);
        m_mounted =
            ::mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallDisk() {
        if (m_mounted) ::umount2(QFile::encodeName(m_dir).constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    // Leaves about `room` bytes free.
    void fill(qint64 room) const {
        struct statvfs st {};
        ASSERT_EQ(::statvfs(QFile::encodeName(m_dir).constData(), &st), 0);
        const qint64 free = qint64(st.f_bavail) * qint64(st.f_frsize);
        QFile filler(m_dir + u"/filler"_s);
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        for (qint64 left = free - room; left > 0; left -= block.size())
            if (filler.write(block) != block.size()) break;
        filler.close();
    }

private:
    QString m_dir;
    bool m_mounted = false;
};
} // namespace

class UnitOfWork : public CliSiteTest {
protected:
    QString databaseArgument() const override { return m_database.isEmpty() ? databaseName() : m_database; }
    // Moves the site's database to `file`.
    void moveDatabase(const QString &file) {
        hx::gConn.reset();
        ASSERT_TRUE(QFile::copy(path(u"site.db"_s), file));
        m_database = file;
        hx::gConn = hx::Database::open(hx::ConnectionSpec::forSqliteFile(file));
    }
    int registerRows() { return count(u"SELECT COUNT(*) FROM \"PrevPunch\""_s); }
    // The host run with another application folder, as another computer's.
    Result runFrom(const QString &appDir, const QStringList &args) const {
        QDir().mkpath(path(appDir));
        QProcess p;
        p.start(QStringLiteral(HX_CLI_PATH),
                QStringList{u"--db"_s, databaseArgument(), u"--app-dir"_s, path(appDir), u"--poll-dir"_s,
                            path(u"polllogs"_s), u"--log-dir"_s, path(u"logs"_s), u"--now"_s,
                            QString::fromLatin1(kNow)} +
                    args);
        p.closeWriteChannel();
        return finish(p);
    }
    QString m_database;
};

TEST_F(UnitOfWork, AFullDiskUnderTheDatabaseSavesNothingAndMarksNothingSeen) {
    SmallDisk disk(path(u"small"_s), 2 << 20);
    if (onServer()) GTEST_SKIP() << "a full disk under the database is a test of the SQLite file";
    if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (not root?)";
    addEmployees(1, 300);
    writePoll(u"2A000007.}01"_s, 1, 300, kTwoDays);
    moveDatabase(path(u"small/site.db"_s));
    disk.fill(64 << 10);

    const Result r = run({u"import"_s, u"--yes"_s, u"2A000007.}01"_s});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"[Import Not Saved]\nThe import was stopped and nothing was imported"_s))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"full"_s)) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(u"Imported Successfully"_s));
    EXPECT_EQ(punchRows(), 0);
    EXPECT_EQ(importRows(), 0);
    EXPECT_EQ(count(u"SELECT COUNT(*) FROM \"AccessPunch\""_s), 0);
    EXPECT_EQ(registerRows(), 0) << "no record was marked seen";
    EXPECT_TRUE(log().contains(u"Msg 'The import was stopped and nothing was imported"_s));

    // Room again: the same import goes through whole.
    QFile::remove(path(u"small/filler"_s));
    const Result again = run({u"import"_s, u"--yes"_s, u"--skip-seen"_s, u"2A000007.}01"_s});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(postedPunches(), 1200);
}

TEST_F(UnitOfWork, SkipSeenAddsNothingTwiceAndTheExitStatusCountsErrors) {
    addEmployees(1, 4);
    writePoll(u"2A000007.}01"_s, 1, 4, kTwoDays);
    Result r = run({u"import"_s, u"--yes"_s, u"2A000007.}01"_s});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 16);

    r = run({u"import"_s, u"--yes"_s, u"--skip-seen"_s, u"2A000007.}01"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 16);
    EXPECT_EQ(count(u"SELECT COUNT(*) FROM \"PUNCH\""_s), 8);

    // A bad line is an error on the way: saved, exit status 3, counted.
    writePoll(u"2A000107.}01"_s, 1, 1, {QDate(2007, 4, 26)}, {"0123456789"});
    r = run({u"import"_s, u"--yes"_s, u"--skip-seen"_s, u"2A000107.}01"_s});
    EXPECT_EQ(r.exitCode, 3) << r.err.toStdString();
    EXPECT_TRUE(
        r.err.trimmed().endsWith(u"the import was saved, but 1 error(s) were reported on the way (see "_s +
                                 path(u"logs"_s) + u"/QX8log.txt)."_s))
        << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 18);
}

TEST_F(UnitOfWork, AnImportRowThatFailsStillLogsItsAccessEvent) {
    addEmployees(1, 3);
    db().execute(u"UPDATE \"EMPLOYEE\" SET \"AccessControl\" = ? WHERE \"EMPLOYEE ID\" = ?"_s, {u"YES"_s, 2});
    if (onServer())
        db().executeScript(
            u"CREATE FUNCTION \"refuse\"() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF "
            "NEW.\"CLOCK ID\" = 1002 THEN RAISE EXCEPTION 'refused by the test'; END IF; RETURN NEW; "
            "END $$;\nCREATE TRIGGER \"refuse\" BEFORE INSERT ON \"IMPORT\" FOR EACH ROW EXECUTE "
            "FUNCTION \"refuse\"();"_s);
    else
        db().executeScript(
            u"CREATE TRIGGER \"refuse\" BEFORE INSERT ON \"IMPORT\" WHEN NEW.\"CLOCK ID\" = 1002 "
            "BEGIN SELECT RAISE(ABORT, 'refused by the test'); END;"_s);
    writePoll(u"2A000007.}01"_s, 1, 3, {QDate(2007, 4, 24)});

    const Result r = run({u"import"_s, u"--yes"_s, u"2A000007.}01"_s});
    EXPECT_EQ(r.exitCode, 3) << r.err.toStdString();
    EXPECT_EQ(r.err.count(u"[ERROR READING PUNCHES]"_s), 1);
    EXPECT_TRUE(r.err.contains(u"refused by the test"_s)) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)] (Line: 1)"_s));
    // Employee 2's two punches: no IMPORT row, but both access events.
    EXPECT_EQ(count(u"SELECT COUNT(*) FROM \"AccessPunch\" WHERE \"EmployeeClock\" = 1002"_s), 2);
    EXPECT_EQ(count(u"SELECT COUNT(*) FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = 2"_s), 0);
    EXPECT_EQ(postedPunches(), 4);
}

TEST_F(UnitOfWork, AFloodOfBadLinesIsShownTwentyTimesThenCountedOnce) {
    addEmployees(1, 1);
    QList<QByteArray> bad;
    for (int i = 0; i < 1000; ++i)
        bad << QByteArray(10 + i % 40, 'x');
    writePoll(u"2A000007.}01"_s, 1, 1, kTwoDays, bad);

    const Result r = run({u"import"_s, u"--yes"_s, u"2A000007.}01"_s});
    EXPECT_EQ(r.exitCode, 3) << r.err.toStdString();
    EXPECT_EQ(r.err.count(u"[INVALID BUFFER]"_s), 21);
    EXPECT_TRUE(r.err.contains(u"980 more line(s) of this file have the wrong size and were skipped."_s))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"the import was saved, but 1000 error(s)"_s)) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 4);
}

TEST_F(UnitOfWork, ARegisterTooLargeToBeRealIsKeptAsideUnread) {
    addEmployees(1, 1);
    writePoll(u"2A000007.}01"_s, 1, 1, kTwoDays);
    {
        QFile runaway(path(u"app/PrevPunch.xml"_s));
        ASSERT_TRUE(runaway.open(QIODevice::WriteOnly));
        ASSERT_TRUE(runaway.resize(qint64(3) << 30)); // sparse: no disk taken
    }
    const Result r = run({u"import"_s, u"--yes"_s, u"2A000007.}01"_s});
    EXPECT_EQ(r.exitCode, 3) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"more than a register can"_s)) << r.err.toStdString();
    const QStringList aside = QDir(path(u"app"_s)).entryList({u"PrevPunch-damaged-*"_s}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(QFileInfo(path(u"app/"_s + aside[0])).size(), qint64(3) << 30);
    EXPECT_FALSE(QFile::exists(path(u"app/PrevPunch.xml"_s)));
    EXPECT_EQ(registerRows(), 4);
    EXPECT_EQ(postedPunches(), 4);
}

TEST_F(UnitOfWork, OneImportAnswersLaterFilesAsIfTheRegisterWereReopened) {
    addEmployees(1, 3);
    writePoll(u"2A000007.}01"_s, 1, 3, kTwoDays);
    ASSERT_TRUE(QFile::copy(path(u"polllogs/2A000007.}01"_s), path(u"polllogs/2A000107.}01"_s)));

    // The second file repeats the first: seen by then, so left out.
    const Result r = run({u"import"_s, u"--yes"_s, u"--skip-seen"_s, u"2A000007.}01"_s, u"2A000107.}01"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 12);
    EXPECT_EQ(registerRows(), 12);
}

TEST_F(UnitOfWork, TwoHostsOnOneDatabaseAddNothingTwice) {
    addEmployees(1, 4);
    writePoll(u"2A000007.}01"_s, 1, 4, kTwoDays);
    writePoll(u"2A000107.}01"_s, 1, 4, {QDate(2007, 4, 26)});
    const QStringList skipSeen = {u"import"_s, u"--yes"_s, u"--skip-seen"_s};
    // Each host meets the file the other imported, in either order.
    for (const auto &[first, second] :
         {std::pair{u"hostA"_s, u"hostB"_s}, std::pair{u"hostB"_s, u"hostA"_s}}) {
        const QString file = first == u"hostA"_s ? u"2A000007.}01"_s : u"2A000107.}01"_s;
        const int before = postedPunches();
        Result r = runFrom(first, skipSeen + QStringList{file});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        const int imported = postedPunches();
        EXPECT_GT(imported, before);
        r = runFrom(second, skipSeen + QStringList{file});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(postedPunches(), imported) << "the second host saw the records the first imported";
    }
    EXPECT_EQ(postedPunches(), 24);
    EXPECT_EQ(registerRows(), 24);
    EXPECT_TRUE(QDir(path(u"hostA"_s)).isEmpty()) << "no register file is written";
}

TEST_F(UnitOfWork, ARegisterFileOfAnEarlierVersionJoinsTheSharedRegister) {
    addEmployees(1, 2);
    writePoll(u"2A000007.}01"_s, 1, 2, {QDate(2007, 4, 25)});
    // Host A's register of the earlier version lists the file's first two
    // records (employee 1's in and out).
    QByteArray file = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<PrevPunch version=\"1\">\n";
    const QList<QByteArray> lines = readFile(u"polllogs/2A000007.}01"_s).split('\n');
    for (int i = 0; i < 2; ++i) {
        const QByteArray &l = lines[i];
        file += " <Punch Sequence=\"" + l.mid(11, 4) + "\" PunchDate=\"2007-04-25T" + l.mid(24, 2) + ':' +
                l.mid(26, 2) + ":00\" Checksum=\"" + l.mid(50, 2) + "\"/>\n";
    }
    writeFile(u"hostA/PrevPunch.xml"_s, file + "</PrevPunch>\n");

    const QStringList args = {u"import"_s, u"--yes"_s, u"--skip-seen"_s, u"2A000007.}01"_s};
    Result r = runFrom(u"hostA"_s, args);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 2) << "the records the file listed are seen";
    EXPECT_EQ(QDir(path(u"hostA"_s)).entryList(QDir::Files),
              QStringList{u"PrevPunch-migrated-20070426-171700.xml"_s});
    EXPECT_TRUE(log().contains(u"moved into the database: 2 of its 2 rows added"_s)) << log().toStdString();
    // Host B sees them too.
    r = runFrom(u"hostB"_s, args);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 2);
    EXPECT_EQ(registerRows(), 4);
}

TEST_F(UnitOfWork, ADatabaseThatCannotBeUpgradedImportsNothingAndSaysWhy) {
    addEmployees(1, 1);
    writePoll(u"2A000007.}01"_s, 1, 1, kTwoDays);
    // A database of an earlier version where a view takes the register's name.
    db().executeScript(u"DROP TABLE \"PrevPunch\";\nDROP TABLE \"SchemaVersion\";\n"
                       "CREATE VIEW \"PrevPunch\" AS SELECT 1 AS \"x\";"_s);
    const Result r = run({u"import"_s, u"--yes"_s, u"2A000007.}01"_s});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"nothing was imported: The database cannot be brought up to the layout this "
                               "version of the program needs (version 2, the table PrevPunch): "_s))
        << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 0);
}
