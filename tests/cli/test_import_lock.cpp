// One import at a time per database.
#include "cli/CliTest.h"
#include "component/ImportLock.h"

#include <QCoreApplication>
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
            QFileInfo(u"/proc/self/exe"_s).symLinkTarget().section(QLatin1Char('/'), -1));
    }

    QString lockFile() const { return ImportLock::lockFilePath(path(u"site.db"_s)); }
};

TEST_F(ImportLockTest, ASecondImportWaitsForTheFirstOrGivesUpNamingIt) {
    QString why;
    auto first = ImportLock::acquire(db(), 0ms, &why);
    ASSERT_TRUE(first) << why.toStdString();
    EXPECT_TRUE(QFileInfo::exists(lockFile()));

    EXPECT_FALSE(ImportLock::acquire(db(), 400ms, &why));
    const QString pid = u"process %1"_s.arg(QCoreApplication::applicationPid());
    EXPECT_TRUE(why.contains(u"another import is running on this database: "_s + pid)) << why.toStdString();
    EXPECT_TRUE(why.contains(lockFile()));

    // A waiting import gets the lock as soon as the first ends.
    std::thread releaser([&] {
        std::this_thread::sleep_for(300ms);
        first.reset();
    });
    auto second = ImportLock::acquire(db(), 20s, &why);
    releaser.join();
    EXPECT_TRUE(second) << why.toStdString();
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
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(QFileInfo::exists(lockFile()));

    QString why;
    EXPECT_TRUE(ImportLock::acquire(db(), 0ms, &why)) << why.toStdString();
}

TEST_F(ImportLockTest, AnImportRunningElsewhereStopsTheCommandBeforeItTouchesImport) {
    addEmployees(1, 1);
    writePoll(u"2A000007.}01"_s, 1, 1, {QDate(2007, 4, 25)});
    addImportRow();
    auto running = ImportLock::acquire(db(), 0ms, nullptr);
    ASSERT_TRUE(running);

    const Result r = run({u"import"_s, u"--yes"_s, u"--wait=1"_s, u"2A000007.}01"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"waiting up to 1 s"_s)) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"another import is running on this database: process %1"_s.arg(getpid())));
    EXPECT_FALSE(r.err.contains(u"[Import Poll Log]"_s));
    EXPECT_EQ(importRows(), 1);
    EXPECT_EQ(punchRows(), 0);
    EXPECT_TRUE(log().contains(u"Import not started: another import is running"_s));
}

TEST_F(ImportLockTest, TwoImportsStartedAtOnceLoseNoPunch) {
    const QList<QDate> days = {QDate(2007, 4, 23), QDate(2007, 4, 24), QDate(2007, 4, 25)};
    addEmployees(1, 300);
    writePoll(u"2A000007.}01"_s, 1, 150, days);
    writePoll(u"2A000107.}02"_s, 151, 150, days);

    auto a = start({u"import"_s, u"--yes"_s, u"2A000007.}01"_s});
    auto b = start({u"import"_s, u"--yes"_s, u"2A000107.}02"_s});
    for (const Result &r : {finish(*a), finish(*b)})
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 2 * 300 * 3);
    EXPECT_EQ(completePairs(), 300 * 3);
    EXPECT_EQ(importRows(), 0);
    EXPECT_FALSE(QFileInfo::exists(lockFile()));
}
