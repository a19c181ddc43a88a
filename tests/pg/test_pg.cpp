// The PostgreSQL side, against the test server (or one tests/pg/pg_sandbox.sh
// starts for this program). A server that cannot be started fails the test.
#include "component/DateTime.h"
#include "component/Schema.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "rules/clsTCrules.h"
#include "support/PgSandbox.h"
#include "support/StorageChecks.h"
#include "support/TestSupport.h"

#include <cmath>

using namespace hx;
using namespace Qt::Literals::StringLiterals;

namespace {

hx::test::PgSandbox *const pgServer =
    static_cast<hx::test::PgSandbox *>(::testing::AddGlobalTestEnvironment(new hx::test::PgSandbox()));

class PgTest : public hx::test::SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        ASSERT_GT(pgServer->port(), 0) << "the PostgreSQL test server did not start: " << pgServer->error().toStdString();
    }
    // A new database of this program on the server, made from the schema, after `settings`.
    static QString newSite(const char *base, const QString &settings = QString()) {
        const QString name = hx::test::PgSandbox::database(QLatin1String(base));
        open(QStringLiteral("hxtest"))->executeScript(QStringLiteral("CREATE DATABASE %1;\n").arg(name) + QString(settings).replace(u"%1"_s, name));
        createSchema(*open(name));
        return name;
    }
    static std::unique_ptr<Database> open(const QString &database) {
        return Database::open(ConnectionSpec::parse(pgServer->url(database), QString(), nullptr).value_or(ConnectionSpec()));
    }
};

// A fresh database opened the ways a site names it, then the storage
// convention and the statement pool on it.
TEST_F(PgTest, PostgreSqlSide) {
    const QString name = newSite("hx_site");
    gConn.reset();

    // Through a data-link file: the empty rules table gets its pay-period row.
    writeFile(QStringLiteral("app/Site.UDL"),
              QStringLiteral("[oledb]\r\n; Everything after this line is a connection string\r\n\r\n"
                             "Engine=PostgreSQL;Host=127.0.0.1;Port=%1;Database=%2;User=hxtest\r\n")
                  .arg(pgServer->port())
                  .arg(name)
                  .toUtf8());
    QString extra;
    ASSERT_EQ(lngOpenConnection(gConn, QStringLiteral("Site.UDL"), extra), -1) << boxes.shown().size();
    ASSERT_EQ(gConn->engine(), Engine::PostgreSQL);
    reloadRules();
    EXPECT_EQ(gTCRules->dtmDayStart, kDateZeroRule);
    Recordset rs = conn().openRecordset(QStringLiteral("SELECT * FROM \"TCRULES\""));
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(toDateTimeValue(rs.value(u"PAY START")), dateSerial(2007, 4, 26));
    EXPECT_EQ(toDateTimeValue(rs.value(u"PAY END")), dateSerial(2007, 5, 2));
    EXPECT_EQ(toDateTimeValue(rs.value(u"LAST START")), dateSerial(2007, 4, 19));

    // Through a URL the same row is found and loaded, Null columns and all.
    subCloseConnection(gConn);
    ASSERT_EQ(lngOpenConnection(gConn, pgServer->url(name), extra), -1);
    reloadRules();
    EXPECT_EQ(gTCRules->dtmPayThru, dateSerial(2007, 5, 2));
    EXPECT_EQ(gTCRules->dtmDayStart, kNullDate);
    EXPECT_TRUE(gTCRules->blnValidateIO);
    EXPECT_FLOAT_EQ(gTCRules->sngRateOT1, 1.5f);
    EXPECT_TRUE(boxes.shown().empty());

    hx::test::checkStoredFormsRoundTrip(*gConn);

    // A failed statement leaves its pooled statement and the session usable.
    const QString insert = QStringLiteral("INSERT INTO \"CLOCK\" (\"CLOCK NUMBER\", \"CLOCK NAME\") VALUES (?, ?)");
    const QString clockName = QStringLiteral("SELECT \"CLOCK NAME\" FROM \"CLOCK\" WHERE \"CLOCK NUMBER\" = ?");
    EXPECT_EQ(gConn->execute(insert, {1, QStringLiteral("Front")}), 1);
    EXPECT_THROW(gConn->execute(insert, {1, QStringLiteral("Again")}), HxError);
    EXPECT_EQ(gConn->execute(insert, {2, QStringLiteral("Back")}), 1);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(gConn->firstValue(clockName, {2})->toString(), QStringLiteral("Back"));
        EXPECT_FALSE(gConn->firstValue(clockName, {3}).has_value());
    }
}

} // namespace

// Wall-clock values come back as they were written, whatever zone the client
// runs in and whatever TimeZone the server gives the database; the days the
// clocks change in the client's zone (a missing and a doubled hour) included.
TEST_F(PgTest, DatesAndTimesKeepTheirWallClockValueAcrossZones) {
    const QString zones = newSite("hx_zones", QStringLiteral("ALTER DATABASE %1 SET TimeZone TO 'Asia/Kolkata';"));

    const double moments[] = {
        dateSerial(2007, 4, 26) + timeSerial(17, 17, 9),
        dateSerial(2007, 3, 11) + timeSerial(2, 30, 0),  // not on New York's clocks
        dateSerial(2007, 11, 4) + timeSerial(1, 30, 0),  // twice on New York's clocks
        dateSerial(2007, 3, 25) + timeSerial(2, 30, 0),  // not on Berlin's clocks
        dateSerial(2007, 10, 28) + timeSerial(2, 30, 0), // twice on Berlin's clocks
    };
    const char *const clientZones[] = {"America/New_York", "Europe/Berlin", "Pacific/Auckland"};
    int row = 0;
    for (const char *writer : clientZones) {
        setenv("TZ", writer, 1);
        tzset();
        auto db = open(zones);
        for (double m : moments) {
            ++row;
            db->execute(QStringLiteral("INSERT INTO \"TCRULES\" (\"ID\", \"LastPoll\", \"DAY START\") VALUES (?, ?, ?)"),
                        {row, db->dateTime(m), db->time(m - std::floor(m))});
            db->execute(QStringLiteral("INSERT INTO \"PUNCH\" (\"ID\", \"IN DATE\", \"IN TIME\") VALUES (?, ?, ?)"),
                        {row, db->date(std::floor(m)), db->time(m - std::floor(m))});
        }
    }
    for (const char *reader : clientZones) {
        setenv("TZ", reader, 1);
        tzset();
        auto db = open(zones);
        // Another session, left in the database's own zone, sees the same text.
        auto raw = open(zones);
        raw->executeScript(QStringLiteral("SET TIME ZONE 'Asia/Kolkata';"));
        for (int id = 1; id <= row; ++id) {
            const double m = moments[(id - 1) % std::size(moments)];
            SCOPED_TRACE(std::string(reader) + " row " + std::to_string(id));
            EXPECT_EQ(toDateTimeValue(*db->firstValue(u"SELECT \"LastPoll\" FROM \"TCRULES\" WHERE \"ID\" = ?"_s, {id})), m);
            EXPECT_EQ(raw->firstValue(u"SELECT CAST(\"LastPoll\" AS text) FROM \"TCRULES\" WHERE \"ID\" = ?"_s, {id})
                          ->toString(),
                      formatIsoDateTime(m));
            Recordset rs = db->openRecordset(
                QStringLiteral("SELECT \"IN DATE\", \"IN TIME\" FROM \"PUNCH\" WHERE \"ID\" = ?"), {id});
            ASSERT_EQ(rs.recordCount(), 1);
            EXPECT_EQ(toDateTimeValue(rs.value(u"IN DATE")), std::floor(m));
            EXPECT_EQ(formatIsoTime(toDateTimeValue(rs.value(u"IN TIME"))), formatIsoTime(m));
            // A bound comparison finds the row by its date-time.
            EXPECT_EQ(db->firstValue(u"SELECT COUNT(*) FROM \"TCRULES\" WHERE \"LastPoll\" = ? AND \"ID\" = ?"_s,
                                     {db->dateTime(m), id})->toInt(), 1);
        }
    }
    setenv("TZ", "America/New_York", 1);
    tzset();
}
