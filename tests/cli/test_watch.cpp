// The watch command: the host program left running on a site's poll log
// folder while the test drops poll log files into it.
#include "cli/CliTest.h"
#include "component/ImportLock.h"

#include <QElapsedTimer>
#include <QThread>
#include <cstdio>

using hx::test::CliSiteTest;

namespace {
const QList<QDate> kDay = {QDate(2007, 4, 25)};
}

class WatchCommand : public CliSiteTest {
protected:
    std::unique_ptr<QProcess> watch(const QString &settle) {
        auto p = start({u"watch"_s, u"--settle"_s, settle});
        p->setReadChannel(QProcess::StandardError);
        EXPECT_TRUE(waitForErr(*p, u"for poll logs (settle "_s)) << err.toStdString();
        return p;
    }

    // Reads standard error until it holds the text, for at most ms.
    bool waitForErr(QProcess &p, const QString &text, int ms = 20000) {
        QElapsedTimer t;
        t.start();
        for (;;) {
            err += QString::fromLocal8Bit(p.readAllStandardError());
            if (err.contains(text)) return true;
            if (t.elapsed() >= ms || p.state() == QProcess::NotRunning) return false;
            p.waitForReadyRead(50);
        }
    }

    // Stops it as the service manager does.
    void stop(QProcess &p) {
        p.terminate();
        ASSERT_TRUE(p.waitForFinished(20000));
        err += QString::fromLocal8Bit(p.readAllStandardError());
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0) << err.toStdString();
        EXPECT_EQ(importRows(), 0);
    }

    QString err;
};

TEST_F(WatchCommand, ImportsEachFileOnceSettledAndAgainOnlyWhenItChanges) {
    addEmployees(1, 3);
    writePoll(u"2A000007.}01"_s, 1, 1, kDay); // there at start
    auto p = watch(u"1"_s);
    ASSERT_TRUE(waitForErr(*p, u"2A000007.}01: 1 file, 2 record(s), 0 error(s), saved\n"_s))
        << err.toStdString();
    EXPECT_EQ(postedPunches(), 2);

    // A poll written in two halves, cut inside a record, with a pause shorter
    // than the settle time: read once, whole, a settle time after its end.
    const QString staged = writeFile(u"inbox/2A000107.}02"_s, {});
    writePoll(staged, 2, 2, kDay);
    const QByteArray bytes = readFile(u"inbox/2A000107.}02"_s);
    QFile arriving(path(u"polllogs/2A000107.}02"_s));
    ASSERT_TRUE(arriving.open(QIODevice::WriteOnly));
    const qsizetype cut = bytes.size() / 2 + 7;
    arriving.write(bytes.left(cut));
    arriving.flush();
    EXPECT_FALSE(waitForErr(*p, u"2A000107.}02:"_s, 300));
    arriving.write(bytes.mid(cut));
    arriving.close();
    QElapsedTimer sinceWhole;
    sinceWhole.start();
    ASSERT_TRUE(waitForErr(*p, u"2A000107.}02: 1 file, 4 record(s), 0 error(s), saved\n"_s))
        << err.toStdString();
    EXPECT_GE(sinceWhole.elapsed(), 950);
    EXPECT_EQ(err.count(u"2A000107.}02:"_s), 1) << err.toStdString();
    EXPECT_EQ(postedPunches(), 6);

    // The first file replaced by a longer one: imported again, and its
    // records, seen before, add nothing.
    QByteArray longer = readFile(u"polllogs/2A000007.}01"_s) + ";end of poll\r\n";
    writeFile(u"polllogs/replacement.tmp"_s, longer);
    ASSERT_EQ(std::rename(QFile::encodeName(path(u"polllogs/replacement.tmp"_s)).constData(),
                          QFile::encodeName(path(u"polllogs/2A000007.}01"_s)).constData()),
              0);
    ASSERT_TRUE(waitForErr(*p, u"2A000007.}01: 1 file, 0 record(s), 0 error(s), saved\n"_s))
        << err.toStdString();
    EXPECT_EQ(postedPunches(), 6);

    stop(*p);
}

TEST_F(WatchCommand, AStopSignalDuringAnImportLetsItFinishWhole) {
    if (onServer()) GTEST_SKIP() << "the import is seen running by the SQLite lock file";
    addEmployees(1, 300);
    writePoll(u"2A000007.}01"_s, 1, 300, {QDate(2007, 4, 23), QDate(2007, 4, 24), QDate(2007, 4, 25)});
    auto p = watch(u"0.2"_s);
    const QString lock = hx::ImportLock::lockFilePath(path(u"site.db"_s));
    QElapsedTimer t;
    t.start();
    while (!QFileInfo::exists(lock) && t.elapsed() < 20000)
        QThread::msleep(2);
    ASSERT_TRUE(QFileInfo::exists(lock)) << "the import did not start";
    stop(*p);
    EXPECT_TRUE(err.contains(u"2A000007.}01: 1 file, 1800 record(s), 0 error(s), saved\n"_s))
        << err.toStdString();
    EXPECT_EQ(postedPunches(), 1800);
}

TEST_F(WatchCommand, AFolderThatGoesIsWatchedAgainWhenBack) {
    addEmployees(1, 1);
    auto p = watch(u"0.3"_s);
    ASSERT_TRUE(QDir(path(u"polllogs"_s)).removeRecursively());
    ASSERT_TRUE(waitForErr(*p, u"polllogs is gone"_s)) << err.toStdString();
    ASSERT_TRUE(QDir().mkpath(path(u"polllogs"_s)));
    writePoll(u"2A000007.}01"_s, 1, 1, kDay);
    ASSERT_TRUE(waitForErr(*p, u"2A000007.}01: 1 file, 2 record(s), 0 error(s), saved\n"_s))
        << err.toStdString();
    EXPECT_EQ(postedPunches(), 2);
    stop(*p);
}

TEST_F(WatchCommand, StartFailuresAndUsageErrorsExitAtOnce) {
    const QString missing = path(u"nosuch"_s);
    const struct {
        QStringList args;
        int status;
        QString message;
    } cases[] = {
        {{u"watch"_s, u"--settle"_s, u"0"_s}, 2, u"--settle takes a number of seconds above 0, not \"0\"."_s},
        {{u"watch"_s, u"2A000007.}01"_s}, 2, u"watch takes no poll log names"_s},
        // Global options given again after the site's win.
        {{u"--poll-dir"_s, missing, u"watch"_s}, 1, u"the poll log folder "_s + missing + u" does not exist."_s},
    };
    for (const auto &c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.exitCode, c.status) << c.args.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains(u"watching"_s)) << r.err.toStdString();
    }
}
