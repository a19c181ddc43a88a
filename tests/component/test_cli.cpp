// The command-line host, run as a separate process: what the other command
// tests leave out (the clock's forms, the rules command).
#include "component/Database.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace hx;

TEST(CliTest, TheClockAndTheRulesCommand) {
    QTemporaryDir dir;
    // Runs the words of `line` in the folder, the clock fixed through the environment unless `now` is empty.
    const auto run = [&](const char *line, const char *now = "2007-04-26 17:17:00") {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("HXPOLLLOG_NOW"));
        if (*now) env.insert(QStringLiteral("HXPOLLLOG_NOW"), QLatin1String(now));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral(HX_CLI_PATH), QString::fromLatin1(line).split(u' ', Qt::SkipEmptyParts));
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit) << line;
        return std::pair{p.exitCode(), QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())};
    };
    // Usage errors: {arguments, HXPOLLLOG_NOW, what the error says}.
    for (const auto &[args, now, said] : {std::tuple{"", "2007-04-26 17:17:00", ""}, {"--now tomorrow rules", "", ""},
                                          {"rules", "26/04/2007", "HXPOLLLOG_NOW"}, {"init-db", "2007-04-26 17:17:00", ""},
                                          {"rules extra", "2007-04-26 17:17:00", ""}}) {
        const auto [status, text] = run(args, now);
        EXPECT_EQ(status, 2) << args;
        EXPECT_TRUE(text.contains(QLatin1String(said))) << args << ": " << text.toStdString();
    }

    ASSERT_EQ(run("init-db site.db").first, 0);
    // The empty table gets its row on the first run and keeps it on the second.
    for (int round = 0; round < 2; ++round) {
        const auto [status, text] = run("--db ./site.db rules");
        ASSERT_EQ(status, 0) << text.toStdString();
        for (const char *line : {"blnEditOn = True\n", "sngRateOT1 = 1.5\n", "strPayType = Custom\n",
                                 "dtmPayStart = 2007-04-26 00:00:00\n", "dtmPayThru = 2007-05-02 00:00:00\n"})
            EXPECT_TRUE(text.contains(QLatin1String(line))) << line;
    }
    auto db = Database::open(ConnectionSpec::forSqliteFile(dir.filePath(QStringLiteral("site.db"))));
    EXPECT_EQ(db->firstValue(QStringLiteral("SELECT COUNT(*) FROM \"TCRULES\""))->toInt(), 1);
    // The clock can also be fixed by option.
    db->execute(QStringLiteral("DELETE FROM \"TCRULES\""));
    const auto [status, text] = run("--now 2010-01-05T08:00:00 --db ./site.db rules", "");
    ASSERT_EQ(status, 0) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("dtmPayStart = 2010-01-05 00:00:00\n")));
    EXPECT_EQ(run("--db ./junk.db rules").first, 1);
}
