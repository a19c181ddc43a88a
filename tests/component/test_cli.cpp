// The command-line host, run as a separate process.
#include "component/Database.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace hx;

namespace {
const char *const kNow = "2007-04-26 17:17:00";

struct Outcome {
    int status = -1;
    QString out, err;
};

class CliTest : public ::testing::Test {
protected:
    // Runs the words of `line` in the temporary folder, the clock fixed through the environment
    // unless `now` is empty.
    Outcome run(const char *line, const char *now = kNow, const QStringList &before = {}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("HXPOLLLOG_NOW"));
        if (*now) env.insert(QStringLiteral("HXPOLLLOG_NOW"), QLatin1String(now));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral(HX_CLI_PATH), before + QString::fromLatin1(line).split(u' ', Qt::SkipEmptyParts));
        p.closeWriteChannel();
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
            return {-1, QString(), QStringLiteral("hxpolllog did not finish")};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    QTemporaryDir dir;
};
} // namespace

TEST_F(CliTest, UsageErrorsExitWithTwo) {
    // {arguments, HXPOLLLOG_NOW, what stderr must say}
    for (const auto &[args, now, said] :
         {std::tuple{"", kNow, ""}, std::tuple{"--now tomorrow rules", "", ""},
          std::tuple{"rules", "26/04/2007", "HXPOLLLOG_NOW"}, std::tuple{"init-db", kNow, ""},
          std::tuple{"rules extra", kNow, ""}}) {
        const Outcome r = run(args, now);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_TRUE(r.err.contains(QLatin1String(said))) << args << ": " << r.err.toStdString();
    }
}

TEST_F(CliTest, InitDbThenRulesAndDatabasesThatCannotBeOpened) {
    const QString file = dir.filePath(QStringLiteral("site.db"));
    Outcome r = run("init-db site.db");
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(file));
    EXPECT_EQ(run("init-db site.db").status, 1); // never writes over a file

    // A path with a folder in it is taken from the working directory. The
    // empty table gets its row on the first run and keeps it on the second.
    for (int round = 0; round < 2; ++round) {
        r = run("--db ./site.db rules");
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        for (const char *line : {"blnEditOn = True\n", "sngRateOT1 = 1.5\n", "strPayType = Custom\n",
                                 "dtmPayStart = 2007-04-26 00:00:00\n", "dtmPayThru = 2007-05-02 00:00:00\n"})
            EXPECT_TRUE(r.out.contains(QLatin1String(line))) << line;
    }
    auto db = Database::open(ConnectionSpec::forSqliteFile(file));
    EXPECT_EQ(db->firstValue(QStringLiteral("SELECT COUNT(*) FROM \"TCRULES\""))->toInt(), 1);
    // The clock can also be fixed by option.
    db->execute(QStringLiteral("DELETE FROM \"TCRULES\""));
    r = run("--db ./site.db rules", "", {QStringLiteral("--now"), QStringLiteral("2010-01-05 08:00:00")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("dtmPayStart = 2010-01-05 00:00:00\n")));

    // A bare name is looked up in the application folder, not the working one.
    QFile junk(dir.filePath(QStringLiteral("junk.db")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly) && junk.write("not a database\n") > 0);
    junk.close();
    for (const auto &[args, said] : {std::pair{"--db ./missing.db rules", "database not found"},
                                     std::pair{"--db site.db rules", "database not found"},
                                     std::pair{"--db ./junk.db rules", "is not a database"}}) {
        r = run(args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_TRUE(r.err.contains(QLatin1String(said))) << args << ": " << r.err.toStdString();
    }
}
