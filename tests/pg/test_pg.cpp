// The PostgreSQL side, against a throwaway server that tests/pg/pg_sandbox.sh
// starts for this run and removes again. A server that cannot be started fails
// every test here.
#include "component/Database.h"
#include "component/DateTime.h"
#include "component/Schema.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "rules/clsTCrules.h"
#include "support/PgSandbox.h"
#include "support/StorageChecks.h"
#include "support/TestSupport.h"


using namespace hx;

namespace {

hx::test::PgSandbox *const pgServer =
    static_cast<hx::test::PgSandbox *>(::testing::AddGlobalTestEnvironment(new hx::test::PgSandbox()));

// A site whose database is a fresh PostgreSQL database of its own (the SQLite
// site of the base fixture stays at hand for comparisons).
class PgTest : public hx::test::SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        ASSERT_GT(pgServer->port(), 0)
            << "the PostgreSQL test server did not start: " << pgServer->error().toStdString();
        port = pgServer->port();
        static int counter = 0;
        dbName = QStringLiteral("hx_%1").arg(++counter);
        auto admin = Database::open(spec(QStringLiteral("hxtest")));
        admin->executeScript(QStringLiteral("CREATE DATABASE %1;").arg(dbName));
        sqlite = std::move(gConn);
        gConn.reset();
    }

    void TearDown() override {
        gConn.reset();
        sqlite.reset();
        SiteTest::TearDown();
    }

    ConnectionSpec spec(const QString &database) const {
        QString error;
        auto s = ConnectionSpec::parse(
            QStringLiteral("postgresql://hxtest@127.0.0.1:%1/%2").arg(port).arg(database), QString(), &error);
        EXPECT_TRUE(s.has_value()) << error.toStdString();
        return s.value_or(ConnectionSpec());
    }

    std::unique_ptr<Database> openFresh() {
        auto db = Database::open(spec(dbName));
        createSchema(*db);
        return db;
    }

    int port = 0;
    QString dbName;
    std::unique_ptr<Database> sqlite;
};

TEST_F(PgTest, SchemaHasTheTablesAndColumnsOfTheSqliteSchema) {
    auto pg = openFresh();
    EXPECT_EQ(pg->engine(), Engine::PostgreSQL);
    const QStringList tables = sqlite->handle().tables();
    ASSERT_GE(tables.size(), 14);
    for (const QString &table : tables) {
        if (table.startsWith(QLatin1String("sqlite_"))) continue;
        ASSERT_TRUE(pg->hasTable(table)) << table.toStdString();
        const QString sql = QStringLiteral("SELECT * FROM \"%1\" WHERE 1 = 0").arg(table);
        EXPECT_EQ(pg->openRecordset(sql).columns(), sqlite->openRecordset(sql).columns())
            << table.toStdString();
    }
}

TEST_F(PgTest, OpensThroughDataLinkFileAndUrlAndLoadsRulesFromTheEmptyTable) {
    openFresh().reset();
    writeFile(QStringLiteral("app/Site.UDL"),
              QStringLiteral("[oledb]\r\n; Everything after this line is a connection string\r\n\r\n"
                             "Engine=PostgreSQL;Host=127.0.0.1;Port=%1;Database=%2;User=hxtest\r\n")
                  .arg(port)
                  .arg(dbName)
                  .toUtf8());
    QString extra;
    ASSERT_EQ(lngOpenConnection(gConn, QStringLiteral("Site.UDL"), extra), -1) << boxes.shown().size();
    ASSERT_TRUE(gConn);
    EXPECT_EQ(gConn->engine(), Engine::PostgreSQL);

    reloadRules();
    EXPECT_TRUE(gTCRules->blnEditOn);
    EXPECT_EQ(gTCRules->dtmDayStart, kDateZeroRule);
    EXPECT_EQ(gTCRules->dtmPayStart, dateSerial(2007, 4, 26));
    Recordset rs = conn().openRecordset(QStringLiteral("SELECT * FROM \"TCRULES\""));
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(toDateTimeValue(rs.value(u"PAY START")), dateSerial(2007, 4, 26));
    EXPECT_EQ(toDateTimeValue(rs.value(u"PAY END")), dateSerial(2007, 5, 2));
    EXPECT_EQ(toDateTimeValue(rs.value(u"LAST START")), dateSerial(2007, 4, 19));

    // Through a URL the same row is found and loaded, Null columns and all.
    subCloseConnection(gConn);
    ASSERT_FALSE(gConn);
    ASSERT_EQ(lngOpenConnection(
                  gConn, QStringLiteral("postgresql://hxtest@127.0.0.1:%1/%2").arg(port).arg(dbName), extra),
              -1);
    reloadRules();
    EXPECT_EQ(varFirstColumnValue(QStringLiteral("SELECT COUNT(*) FROM \"TCRULES\"")).toInt(), 1);
    EXPECT_EQ(gTCRules->dtmPayThru, dateSerial(2007, 5, 2));
    EXPECT_EQ(gTCRules->dtmDayStart, kNullDate);
    EXPECT_TRUE(gTCRules->blnValidateIO);
    EXPECT_FLOAT_EQ(gTCRules->sngRateOT1, 1.5f);
    EXPECT_EQ(gTCRules->strPayType, QStringLiteral("Custom"));
    EXPECT_EQ(gTCRules->strRounding, QString());
    EXPECT_EQ(varTCRulesField(QStringLiteral("valio")).toBool(), true);
    EXPECT_TRUE(boxes.shown().empty());

    // A database the server does not have: the data access message, result 0.
    subCloseConnection(gConn);
    EXPECT_EQ(lngOpenConnection(gConn, QStringLiteral("postgresql://hxtest@127.0.0.1:%1/nosuchdb").arg(port),
                                extra),
              0);
    EXPECT_FALSE(gConn);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_TRUE(boxes.shown()[0].prompt.startsWith(QStringLiteral("Error: -2147467259\r\nDescription: ")));
    EXPECT_TRUE(boxes.shown()[0].prompt.contains(QStringLiteral("nosuchdb")));
}

TEST_F(PgTest, StoredFormsRoundTripThroughTheStatementLayer) {
    auto pg = openFresh();
    hx::test::checkStoredFormsRoundTrip(*pg);
}

TEST_F(PgTest, FailedStatementLeavesThePooledStatementUsable) {
    auto pg = openFresh();
    const QString insert =
        QStringLiteral("INSERT INTO \"CLOCK\" (\"CLOCK NUMBER\", \"CLOCK NAME\") VALUES (?, ?)");
    EXPECT_EQ(pg->execute(insert, {1, QStringLiteral("Front")}), 1);
    EXPECT_THROW(pg->execute(insert, {1, QStringLiteral("Again")}), HxError);
    EXPECT_EQ(pg->execute(insert, {2, QStringLiteral("Back")}), 1);
    const QString name = QStringLiteral("SELECT \"CLOCK NAME\" FROM \"CLOCK\" WHERE \"CLOCK NUMBER\" = ?");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(pg->firstValue(name, {1})->toString(), QStringLiteral("Front"));
        EXPECT_EQ(pg->firstValue(name, {2})->toString(), QStringLiteral("Back"));
        EXPECT_FALSE(pg->firstValue(name, {3}).has_value());
    }
}

} // namespace
