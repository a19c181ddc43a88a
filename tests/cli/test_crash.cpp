// An import ended abruptly (SIGKILL at the n-th crash point of the host) at
// points spread over every stage, on both engines: after each, the database
// (its register of seen records included) is exactly as before the import or
// as after it, and running the import again, from this host or from another
// one on the same database, gives exactly the rows of an uninterrupted
// import.
#include "cli/DemoSite.h"
#include "component/Schema.h"
#include "support/PgSandbox.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace hx;
using namespace Qt::Literals::StringLiterals;
using hx::test::pgServer;

namespace {

const QString kNow = u"2007-04-26 17:17:00"_s;
// Every table an import writes.
const QStringList kTables = {u"IMPORT"_s, u"AccessPunch"_s, u"PUNCH"_s,  u"EMPLOYEE"_s, u"DEPT"_s,
                             u"SCHEDULE"_s, u"CKQUAL"_s, u"CLOCK"_s, u"TCRULES"_s, u"PrevPunch"_s};

struct HostRun {
    bool crashed = false;
    int exitCode = -1;
    QString err;
};

class CrashTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_root.isValid());
        ASSERT_TRUE(GetParam() == Engine::SQLite || pgServer().port() > 0);
        QDir(m_root.path()).mkpath(u"polllogs"_s);
        const demo::DemoSite site(QDate(2007, 4, 26));
        for (const demo::PollFile &f : site.pollFiles()) {
            ASSERT_TRUE(demo::writePollFile(m_root.filePath(u"polllogs/"_s + f.name), f.lines));
            m_files << f.name;
        }
        ASSERT_GE(m_files.size(), 6);

        // The site before the import under test: seeded, with a first import
        // behind it, so that there is history and a register.
        m_template = newSite(u"template"_s, false);
        {
            auto db = open(m_template);
            Transaction tx(*db);
            createSchema(*db);
            site.seed(*db);
            tx.commit();
        }
        const HostRun first = import(m_template, m_files.mid(0, 3));
        ASSERT_FALSE(first.crashed);
        ASSERT_TRUE(first.exitCode == 0 || first.exitCode == 3) << first.err.toStdString();
        m_importFiles = m_files.mid(3);
    }

    struct Site {
        QString dir, database; // the PostgreSQL database's name
    };

    // A site: its folders and a database, empty or a copy of the template's.
    Site newSite(const QString &name, bool copyTemplate = true) {
        Site s{m_root.filePath(name), QString()};
        for (const QString &sub : {u"app"_s, u"logs"_s, u"other"_s})
            QDir(s.dir).mkpath(sub);
        if (GetParam() == Engine::PostgreSQL) {
            static int counter = 0;
            s.database = hx::test::PgSandbox::database(u"hx_crash_%1"_s.arg(++counter));
            hx::test::openOnServer(u"hxtest"_s)->executeScript(u"CREATE DATABASE %1 TEMPLATE %2;"_s.arg(
                s.database, copyTemplate ? m_template.database : u"template1"_s));
        } else if (copyTemplate) {
            EXPECT_TRUE(QFile::copy(m_template.dir + u"/site.db"_s, s.dir + u"/site.db"_s));
        }
        return s;
    }

    std::unique_ptr<Database> open(const Site &s) const {
        return GetParam() == Engine::PostgreSQL ? hx::test::openOnServer(s.database)
                                                : Database::open(ConnectionSpec::forSqliteFile(s.dir + u"/site.db"_s));
    }

    // The host of the site's folder "app", or of another folder `app` (another
    // computer on the same database).
    HostRun import(const Site &s, const QStringList &files, long crashAt = -1, bool skipSeen = false,
                   const QString &app = u"app"_s) const {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (crashAt >= 0) env.insert(u"HXPOLLLOG_CRASH_AT"_s, QString::number(crashAt));
        p.setProcessEnvironment(env);
        const QString db = GetParam() == Engine::PostgreSQL ? pgServer().url(s.database) : s.dir + u"/site.db"_s;
        QStringList args = {u"--db"_s, db, u"--app-dir"_s, s.dir + u"/"_s + app, u"--poll-dir"_s,
                            m_root.filePath(u"polllogs"_s), u"--log-dir"_s, s.dir + u"/logs"_s, u"--now"_s, kNow,
                            u"import"_s, u"--yes"_s};
        if (skipSeen) args << u"--skip-seen"_s;
        p.start(QStringLiteral(HX_CLI_PATH), args + files);
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(300000));
        return {p.exitStatus() == QProcess::CrashExit, p.exitCode(), QString::fromLocal8Bit(p.readAllStandardError())};
    }

    QStringList dump(const Site &s) const { return hx::test::tableDump(*open(s), kTables); }

    QTemporaryDir m_root;
    QStringList m_files, m_importFiles;
    Site m_template;
};

TEST_P(CrashTest, AnImportEndedAnywhereIsWholeOrAbsentAndARerunCompletesIt) {
    const QStringList before = dump(m_template);
    ASSERT_FALSE(before.filter(u"PrevPunch: "_s).isEmpty()) << "the first import listed its records";

    const Site base = newSite(u"base"_s);
    const HostRun whole = import(base, m_importFiles, 1L << 40);
    ASSERT_FALSE(whole.crashed);
    ASSERT_EQ(whole.exitCode, 3) << whole.err.toStdString(); // the demonstration holds a bad line
    const auto m = QRegularExpression(u"crash points passed: (\\d+)"_s).match(whole.err);
    const long points = m.hasMatch() ? m.captured(1).toLong() : -1;
    ASSERT_GT(points, 50) << whole.err.toStdString();
    const QStringList after = dump(base);
    ASSERT_NE(before, after);
    ASSERT_NE(before.filter(u"PrevPunch: "_s), after.filter(u"PrevPunch: "_s));

    // The first and last points (the closing steps: before and after the
    // commit) and points spread evenly over everything between.
    const int spread = GetParam() == Engine::SQLite ? 24 : 10;
    std::vector<long> at = {1, 2, 3};
    for (int i = 1; i <= spread; ++i)
        at.push_back(3 + (points - 8) * i / (spread + 1));
    for (long k = points - 4; k <= points; ++k)
        at.push_back(k);

    int sawBefore = 0, sawAfter = 0;
    for (size_t i = 0; i < at.size(); ++i) {
        const long k = at[i];
        SCOPED_TRACE("crash at point " + std::to_string(k) + " of " + std::to_string(points));
        const Site trial = newSite(u"trial%1"_s.arg(i));
        const HostRun r = import(trial, m_importFiles, k);
        ASSERT_TRUE(r.crashed) << r.err.toStdString();

        const QStringList state = dump(trial);
        const bool isBefore = state == before;
        ASSERT_TRUE(isBefore || state == after) << "the database is half imported";
        isBefore ? ++sawBefore : ++sawAfter;

        // A completed import is imported again only when asked to; one that
        // was rolled back is run again either way. Runs that skip seen records
        // are another host's, with a folder of its own: the register it
        // consults is the database's.
        const bool skipSeen = !isBefore || i % 2 == 1;
        const HostRun again = import(trial, m_importFiles, -1, skipSeen, skipSeen ? u"other"_s : u"app"_s);
        ASSERT_FALSE(again.crashed);
        // The bad line of the demonstration is reported again either way.
        EXPECT_EQ(again.exitCode, 3) << again.err.toStdString();
        EXPECT_EQ(dump(trial), after);
    }
    EXPECT_GT(sawBefore, 0);
    EXPECT_GT(sawAfter, 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, CrashTest, ::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                         [](const auto &info) { return info.param == Engine::SQLite ? "SQLite" : "PostgreSQL"; });
} // namespace
