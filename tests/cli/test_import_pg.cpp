// The import lock and the command-line import on a PostgreSQL database, against
// a throwaway server of this test program.
#include "cli/CliTest.h"
#include "component/ImportLock.h"
#include "component/Schema.h"
#include "component/modGlobal.h"
#include "support/PgSandbox.h"

using namespace hx;
using namespace std::chrono_literals;
using hx::test::CliSiteTest;
using hx::test::PgSandbox;

namespace {
PgSandbox *const g_server = static_cast<PgSandbox *>(::testing::AddGlobalTestEnvironment(new PgSandbox()));
}

class PgImport : public CliSiteTest {
protected:
    void SetUp() override {
        hx::test::SiteTest::SetUp();
        ASSERT_GT(g_server->port(), 0)
            << "the PostgreSQL test server did not start: " << g_server->error().toStdString();
        static int counter = 0;
        m_database = PgSandbox::database(u"hx_cli_%1"_s.arg(++counter));
        Database::open(target(u"hxtest"_s))->executeScript(u"CREATE DATABASE %1;"_s.arg(m_database));
        gConn = Database::open(target(m_database));
        createSchema(*gConn);
        reloadRules();
        seedSite();
    }

    QString databaseArgument() const override { return g_server->url(m_database); }

    ConnectionSpec target(const QString &database) const {
        QString error;
        auto s = ConnectionSpec::parse(g_server->url(database), QString(), &error);
        EXPECT_TRUE(s.has_value()) << error.toStdString();
        return s.value_or(ConnectionSpec());
    }

    QString m_database;
};

TEST_F(PgImport, TheAdvisoryLockHoldsOffASecondSessionUntilTheFirstLetsGo) {
    auto other = Database::open(target(m_database));
    QString why;
    auto first = ImportLock::acquire(db(), 0ms, &why);
    ASSERT_TRUE(first) << why.toStdString();
    const QString pid = db().firstValue(u"SELECT pg_backend_pid()"_s)->toString();

    int told = 0;
    auto second = ImportLock::acquire(*other, 300ms, &why, [&](const QString &) { ++told; });
    EXPECT_FALSE(second);
    EXPECT_EQ(told, 1);
    EXPECT_TRUE(why.contains(u"another import is running on this database: server process "_s + pid))
        << why.toStdString();

    first.reset();
    second = ImportLock::acquire(*other, 0ms, &why);
    ASSERT_TRUE(second) << why.toStdString();
    EXPECT_FALSE(ImportLock::acquire(db(), 0ms, nullptr));

    // A session that ends without letting go, as a killed import's does,
    // leaves no lock behind (the server drops it once the session is gone).
    other->close();
    second.reset();
    EXPECT_TRUE(ImportLock::acquire(db(), 10s, &why)) << why.toStdString();
}

TEST_F(PgImport, TwoImportsStartedAtOnceLoseNoPunch) {
    const QList<QDate> days = {QDate(2007, 4, 24), QDate(2007, 4, 25)};
    addEmployees(1, 100);
    writePoll(u"2A000007.}01"_s, 1, 50, days);
    writePoll(u"2A000107.}02"_s, 51, 50, days);

    auto a = start({u"import"_s, u"--yes"_s, u"2A000007.}01"_s});
    auto b = start({u"import"_s, u"--yes"_s, u"2A000107.}02"_s});
    for (const Result &r : {finish(*a), finish(*b)})
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 2 * 100 * 2);
    EXPECT_EQ(completePairs(), 100 * 2);
    EXPECT_EQ(importRows(), 0);
}

TEST_F(PgImport, ALostServerMidImportRollsEverythingBackWithOneMessage) {
    addEmployees(1, 300);
    writePoll(u"2A000007.}01"_s, 1, 300, {QDate(2007, 4, 23), QDate(2007, 4, 24), QDate(2007, 4, 25)});
    const int punchesBefore = postedPunches();

    auto p = start({u"import"_s, u"--yes"_s, u"2A000007.}01"_s});
    // The import's session, once its transaction has written (a transaction
    // id is given at the first write: lock queries take none), is ended by
    // the server, as when the server goes away.
    bool ended = false;
    for (int i = 0; i < 3000 && !ended && p->state() != QProcess::NotRunning; ++i) {
        const auto pid =
            db().firstValue(u"SELECT pid FROM pg_stat_activity WHERE datname = current_database() "
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
    EXPECT_EQ(r.err.count(u"[Import Not Saved]\nThe import was stopped and nothing was imported"_s), 1)
        << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(u"Imported Successfully"_s));
    EXPECT_EQ(postedPunches(), punchesBefore);
    EXPECT_EQ(importRows(), 0);
    EXPECT_EQ(count(u"SELECT COUNT(*) FROM \"AccessPunch\""_s), 0);
}
