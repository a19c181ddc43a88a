// One import at a time per database.
#include "cli/CliTest.h"
#include "component/ImportLock.h"
#include "component/modGlobal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace hx;
using namespace std::chrono_literals;
using hx::test::CliSiteTest;

class ImportLockTest : public CliSiteTest {
protected:
    void SetUp() override {
        CliSiteTest::SetUp();
        // A lock names its holder by program name; the host sets its own, this
        // test program must do the same for its locks to be seen as alive.
        QCoreApplication::setApplicationName(
            QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget().section(QLatin1Char('/'), -1));
    }

    QString lockFile() const { return ImportLock::lockFilePath(path(QStringLiteral("site.db"))); }
};

TEST_F(ImportLockTest, ASecondImportWaitsThenGivesUpNamingTheHolder) {
    QString why;
    auto first = ImportLock::acquire(db(), 0ms, &why);
    ASSERT_TRUE(first) << why.toStdString();
    EXPECT_TRUE(QFileInfo::exists(lockFile()));

    int told = 0;
    QString holder;
    QElapsedTimer t;
    t.start();
    auto second = ImportLock::acquire(db(), 400ms, &why, [&](const QString &h) {
        ++told;
        holder = h;
    });
    EXPECT_FALSE(second);
    EXPECT_GE(t.elapsed(), 400);
    EXPECT_EQ(told, 1);
    const QString pid = QStringLiteral("process %1").arg(QCoreApplication::applicationPid());
    EXPECT_TRUE(holder.startsWith(pid)) << holder.toStdString();
    EXPECT_TRUE(why.contains(QStringLiteral("another import is running on this database: ") + pid))
        << why.toStdString();
    EXPECT_TRUE(why.contains(lockFile()));

    first.reset();
    EXPECT_FALSE(QFileInfo::exists(lockFile()));
}

TEST_F(ImportLockTest, AWaitingImportGetsTheLockWhenTheFirstEnds) {
    auto first = ImportLock::acquire(db(), 0ms, nullptr);
    ASSERT_TRUE(first);
    std::thread releaser([&] {
        std::this_thread::sleep_for(300ms);
        first.reset();
    });
    QString why;
    auto second = ImportLock::acquire(db(), 20s, &why);
    releaser.join();
    EXPECT_TRUE(second) << why.toStdString();
    EXPECT_TRUE(QFileInfo::exists(lockFile()));
    second.reset();
    EXPECT_FALSE(QFileInfo::exists(lockFile()));
}

TEST_F(ImportLockTest, TheLockOfAProcessThatDiedIsTakenOver) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Take the lock and die without releasing it.
        QLockFile f(lockFile());
        f.lock();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(QFileInfo::exists(lockFile()));

    QString why;
    auto lock = ImportLock::acquire(db(), 0ms, &why);
    EXPECT_TRUE(lock) << why.toStdString();
}

TEST_F(ImportLockTest, AnImportRunningElsewhereStopsTheCommandBeforeItTouchesImport) {
    addEmployees(1, 1);
    writePoll(QStringLiteral("2A000007.}01"), shifts(1, 1, {QDate(2007, 4, 25)}));
    // The running import's punch, read but not yet posted.
    db().execute(QStringLiteral("INSERT INTO \"IMPORT\" (\"EMPLOYEE ID\", \"CLOCK ID\") VALUES (?, ?)"),
                 {1, 1001});
    auto running = ImportLock::acquire(db(), 0ms, nullptr);
    ASSERT_TRUE(running);

    const Result r = run({QStringLiteral("import"), QStringLiteral("--yes"), QStringLiteral("--wait=1"),
                          QStringLiteral("2A000007.}01")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("waiting up to 1 s"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(
        QStringLiteral("another import is running on this database: process %1").arg(getpid())));
    EXPECT_FALSE(r.err.contains(QStringLiteral("[Import Poll Log]")));
    EXPECT_EQ(importRows(), 1);
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM \"PUNCH\"")), 0);
    EXPECT_TRUE(log().contains(QStringLiteral("Import not started: another import is running")));
}

TEST_F(ImportLockTest, TwoImportsStartedAtOnceLoseNoPunch) {
    const QList<QDate> days = {QDate(2007, 4, 23), QDate(2007, 4, 24), QDate(2007, 4, 25)};
    addEmployees(1, 300);
    writePoll(QStringLiteral("2A000007.}01"), shifts(1, 150, days));
    writePoll(QStringLiteral("2A000107.}02"), shifts(151, 150, days));

    auto a = start({QStringLiteral("import"), QStringLiteral("--yes"), QStringLiteral("2A000007.}01")});
    auto b = start({QStringLiteral("import"), QStringLiteral("--yes"), QStringLiteral("2A000107.}02")});
    const Result ra = finish(*a);
    const Result rb = finish(*b);
    EXPECT_EQ(ra.exitCode, 0) << ra.err.toStdString();
    EXPECT_EQ(rb.exitCode, 0) << rb.err.toStdString();

    EXPECT_EQ(postedPunches(), 2 * 300 * 3);
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM \"PUNCH\" WHERE \"IN TIME\" IS NOT NULL AND "
                                   "\"OUT TIME\" IS NOT NULL")),
              300 * 3);
    EXPECT_EQ(importRows(), 0);
    EXPECT_FALSE(QFileInfo::exists(lockFile()));
}
