// The command-line host, run as a separate process.
#include "component/Database.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace hx;

namespace {
struct Outcome {
    int status = -1;
    QString out, err;
};

class CliTest : public ::testing::Test {
protected:
    // Runs in the temporary folder; the clock is fixed through the environment unless `now` is empty.
    Outcome run(const QStringList &args, const QString &now = QStringLiteral("2007-04-26 17:17:00")) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (now.isEmpty())
            env.remove(QStringLiteral("HXPOLLLOG_NOW"));
        else
            env.insert(QStringLiteral("HXPOLLLOG_NOW"), now);
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral(HX_CLI_PATH), args);
        p.closeWriteChannel();
        Outcome r;
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) {
            ADD_FAILURE() << "hxpolllog did not finish: " << args.join(QLatin1Char(' ')).toStdString();
            return r;
        }
        r.status = p.exitCode();
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    QString path(const QString &rel) const { return dir.filePath(rel); }
    QTemporaryDir dir;
};
} // namespace

TEST_F(CliTest, HelpAndUsageErrors) {
    const Outcome help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    for (const char *word : {"init-db", "rules", "import", "demo", "--db", "--app-dir", "--poll-dir",
                             "--log-dir", "--now", "HXPOLLLOG_NOW"})
        EXPECT_TRUE(help.out.contains(QLatin1String(word))) << word;

    const struct {
        QStringList args;
        QString now;
        const char *said;
    } usage[] = {
        {{QStringLiteral("frobnicate")},
         QStringLiteral("2007-04-26 17:17:00"),
         "unknown command \"frobnicate\""},
        {{QStringLiteral("--frob"), QStringLiteral("rules")}, QStringLiteral("2007-04-26 17:17:00"), "frob"},
        {{}, QStringLiteral("2007-04-26 17:17:00"), ""},
        {{QStringLiteral("--now"), QStringLiteral("tomorrow"), QStringLiteral("rules")}, QString(), ""},
        {{QStringLiteral("rules")}, QStringLiteral("26/04/2007"), "HXPOLLLOG_NOW"},
        {{QStringLiteral("init-db")}, QStringLiteral("2007-04-26 17:17:00"), ""},
        {{QStringLiteral("rules"), QStringLiteral("extra")}, QStringLiteral("2007-04-26 17:17:00"), ""},
    };
    for (const auto &u : usage) {
        const Outcome r = run(u.args, u.now);
        EXPECT_EQ(r.status, 2) << u.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(u.said))) << r.err.toStdString();
    }
}

TEST_F(CliTest, InitDbThenRules) {
    const QString file = path(QStringLiteral("site.db"));
    Outcome r = run({QStringLiteral("init-db"), QStringLiteral("site.db")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(file));
    EXPECT_EQ(run({QStringLiteral("init-db"), file}).status, 1); // never writes over a file

    // A path with a folder in it is taken from the working directory. The
    // empty table gets its row on the first run and keeps it on the second.
    for (int round = 0; round < 2; ++round) {
        r = run({QStringLiteral("--db"), QStringLiteral("./site.db"), QStringLiteral("rules")});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        for (const char *line : {"blnEditOn = True\n", "sngRateOT1 = 1.5\n", "strPayType = Custom\n",
                                 "dtmPayStart = 2007-04-26 00:00:00\n", "dtmPayThru = 2007-05-02 00:00:00\n"})
            EXPECT_TRUE(r.out.contains(QLatin1String(line))) << line;
    }
    auto db = Database::open(ConnectionSpec::forSqliteFile(file));
    EXPECT_EQ(db->firstValue(QStringLiteral("SELECT COUNT(*) FROM \"TCRULES\""))->toInt(), 1);

    // The clock can also be fixed by option.
    db->execute(QStringLiteral("DELETE FROM \"TCRULES\""));
    r = run({QStringLiteral("--now"), QStringLiteral("2010-01-05 08:00:00"), QStringLiteral("--db"), file,
             QStringLiteral("rules")},
            QString());
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("dtmPayStart = 2010-01-05 00:00:00\n")));
}

TEST_F(CliTest, DatabasesThatCannotBeOpenedFailWithOne) {
    Outcome r = run({QStringLiteral("--db"), path(QStringLiteral("missing.db")), QStringLiteral("rules")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("database not found"))) << r.err.toStdString();

    // A bare name is looked up in the application folder.
    ASSERT_EQ(run({QStringLiteral("init-db"), QStringLiteral("app.db")}).status, 0);
    EXPECT_EQ(run({QStringLiteral("--db"), QStringLiteral("app.db"), QStringLiteral("rules")}).status, 1);
    EXPECT_EQ(run({QStringLiteral("--app-dir"), QStringLiteral("."), QStringLiteral("--db"),
                   QStringLiteral("app.db"), QStringLiteral("rules")})
                  .status,
              0);

    QFile f(path(QStringLiteral("junk.db")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a database\n");
    f.close();
    r = run({QStringLiteral("--db"), path(QStringLiteral("junk.db")), QStringLiteral("rules")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("is not a database"))) << r.err.toStdString();
}
