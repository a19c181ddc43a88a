// The command-line host, run as a separate process.
#include "component/Database.h"
#include "component/Values.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace hx;

namespace {
struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

class CliTest : public ::testing::Test {
protected:
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

TEST_F(CliTest, HelpListsEveryCommand) {
    const Outcome r = run({QStringLiteral("--help")});
    EXPECT_EQ(r.status, 0);
    for (const char *word : {"init-db", "rules", "import", "demo", "--db", "--app-dir", "--poll-dir",
                             "--log-dir", "--now", "HXPOLLLOG_NOW"})
        EXPECT_TRUE(r.out.contains(QLatin1String(word))) << word;
}

TEST_F(CliTest, UsageErrorsExitWithTwo) {
    Outcome r = run({QStringLiteral("frobnicate")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("unknown command \"frobnicate\""))) << r.err.toStdString();
    r = run({QStringLiteral("--frob"), QStringLiteral("rules")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("frob"))) << r.err.toStdString();
    r = run({});
    EXPECT_EQ(r.status, 2);
    r = run({QStringLiteral("--now"), QStringLiteral("tomorrow"), QStringLiteral("rules")});
    EXPECT_EQ(r.status, 2);
    r = run({QStringLiteral("rules")}, QStringLiteral("26/04/2007"));
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("HXPOLLLOG_NOW"))) << r.err.toStdString();
    r = run({QStringLiteral("init-db")});
    EXPECT_EQ(r.status, 2);
    r = run({QStringLiteral("rules"), QStringLiteral("extra")});
    EXPECT_EQ(r.status, 2);
}

TEST_F(CliTest, InitDbThenRules) {
    const QString file = path(QStringLiteral("site.db"));
    Outcome r = run({QStringLiteral("init-db"), QStringLiteral("site.db")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(file));
    {
        auto db = Database::open(ConnectionSpec::forSqliteFile(file));
        for (const char *table :
             {"IMPORT", "PUNCH", "EMPLOYEE", "DEPT", "DEPTQUAL", "CLOCK", "CKQUAL", "SCHEDULE", "JOB", "TASK",
              "CustomRound", "CustomHours", "AccessPunch", "TCRULES"})
            EXPECT_TRUE(db->hasTable(QLatin1String(table))) << table;
        EXPECT_EQ(db->firstValue(QStringLiteral("SELECT COUNT(*) FROM \"TCRULES\""))->toInt(), 0);
    }
    // init-db never writes over an existing file.
    r = run({QStringLiteral("init-db"), file});
    EXPECT_EQ(r.status, 1);

    // A path with a folder in it is taken from the working directory.
    for (int round = 0; round < 2; ++round) {
        r = run({QStringLiteral("--db"), QStringLiteral("./site.db"), QStringLiteral("rules")});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(QStringLiteral("blnEditOn = True\n")));
        EXPECT_TRUE(r.out.contains(QStringLiteral("sngRateOT1 = 1.5\n")));
        EXPECT_TRUE(r.out.contains(QStringLiteral("strPayType = Custom\n")));
        EXPECT_TRUE(r.out.contains(QStringLiteral("dtmPayStart = 2007-04-26 00:00:00\n")));
        EXPECT_TRUE(r.out.contains(QStringLiteral("dtmPayThru = 2007-05-02 00:00:00\n")));
    }
    auto db = Database::open(ConnectionSpec::forSqliteFile(file));
    Recordset rs = db->openRecordset(QStringLiteral("SELECT * FROM \"TCRULES\""));
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(rs.value(u"PAY START").toString(), QStringLiteral("2007-04-26"));

    // The clock can also be fixed by option.
    db->execute(QStringLiteral("DELETE FROM \"TCRULES\""));
    r = run({QStringLiteral("--now"), QStringLiteral("2010-01-05 08:00:00"), QStringLiteral("--db"), file,
             QStringLiteral("rules")},
            QString());
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("dtmPayStart = 2010-01-05 00:00:00\n")));
}

TEST_F(CliTest, DatabasesThatCannotBeOpened) {
    Outcome r = run({QStringLiteral("--db"), path(QStringLiteral("missing.db")), QStringLiteral("rules")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("database not found"))) << r.err.toStdString();

    // A bare name is looked up in the application folder.
    r = run({QStringLiteral("init-db"), QStringLiteral("app.db")});
    ASSERT_EQ(r.status, 0);
    r = run({QStringLiteral("--db"), QStringLiteral("app.db"), QStringLiteral("rules")});
    EXPECT_EQ(r.status, 1);
    r = run({QStringLiteral("--app-dir"), QStringLiteral("."), QStringLiteral("--db"),
             QStringLiteral("app.db"), QStringLiteral("rules")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();

    QFile f(path(QStringLiteral("junk.db")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a database\n");
    f.close();
    r = run({QStringLiteral("--db"), path(QStringLiteral("junk.db")), QStringLiteral("rules")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("is not a database"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("(MDAC) installation"))) << r.err.toStdString();
}
