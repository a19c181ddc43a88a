// The PostgreSQL side, against the tests' server (CTest's fixture starts it):
// the wall clock across zones, and the forms in which a site names its
// server as libpq reads them (the local socket,
// key=value pairs, SSL modes, several hosts, a service, a pass file) with what
// a failed connection tells the administrator.
#include "component/DateTime.h"
#include "component/Schema.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "support/PgSandbox.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QScopeGuard>
#include <cmath>

using namespace hx;
using namespace Qt::Literals::StringLiterals;

using hx::test::openOnServer;
using hx::test::PgSandbox;

using PgTest = hx::test::SiteTest;

// Wall-clock values come back as they were written, whatever zone the client
// runs in and whatever TimeZone the server gives the database; the days the
// clocks change in the client's zone (a missing and a doubled hour) included.
TEST_F(PgTest, DatesAndTimesKeepTheirWallClockValueAcrossZones) {
    const QString zones = hx::test::createOnServer(u"hx_zones"_s, u"ALTER DATABASE %1 SET TimeZone TO 'Asia/Kolkata';"_s);
    createSchema(*openOnServer(zones));

    const double moments[] = {
        dateSerial(2007, 4, 26) + timeSerial(17, 17, 9),
        dateSerial(2007, 3, 11) + timeSerial(2, 30, 0),  // not on New York's clocks
        dateSerial(2007, 11, 4) + timeSerial(1, 30, 0),  // twice on New York's clocks
    };
    const char *const clientZones[] = {"America/New_York", "Europe/Berlin", "Pacific/Auckland"};
    // The zone the tests run in comes back however the test ends.
    const QByteArray zone = qgetenv("TZ");
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    const auto zoneBack = qScopeGuard([&] {
        hadZone ? qputenv("TZ", zone) : qunsetenv("TZ");
        tzset();
    });
    int row = 0;
    for (const char *writer : clientZones) {
        setenv("TZ", writer, 1);
        tzset();
        auto db = openOnServer(zones);
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
        auto db = openOnServer(zones);
        // Another session, left in the database's own zone, sees the same text.
        auto raw = openOnServer(zones);
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
}

namespace {
class ConnectionForms : public hx::test::SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        ASSERT_FALSE(hx::test::pgServer().socketDir().isEmpty());
        gConn.reset();
        port = QString::number(hx::test::pgServer().port());
        sock = hx::test::pgServer().socketDir();
        dead = u"1"_s; // nothing listens there
        // A service file of the test's own, read by libpq when it connects.
        qputenv("PGSERVICEFILE", writeFile(u"pg_service.conf"_s, u"[hxsite]\nhost=%1\nport=%2\ndbname=hxtest\nuser=hxtest\n"
                                                                 "application_name=hx-service\n"_s.arg(sock, port)
                                                                     .toUtf8())
                                     .toLocal8Bit());
    }
    void TearDown() override {
        qunsetenv("PGSERVICEFILE");
        SiteTest::TearDown();
    }
    int open(const QString &name) {
        QString extra;
        return lngOpenConnection(gConn, name, extra);
    }
    QString port, sock, dead;
};
} // namespace

TEST_F(ConnectionForms, EveryFormLibpqReadsReachesTheServer) {
    const QString pass =
        writeFile(u"pass dir/pg pass"_s,
                  u"127.0.0.1:%1:*:%2:%3\n"_s
                      .arg(port, QLatin1String(PgSandbox::kPasswordUser), QLatin1String(PgSandbox::kPassword))
                      .toUtf8());
    QFile::setPermissions(pass, QFile::ReadOwner | QFile::WriteOwner);
    const QString link =
        writeFile(u"app/pass.udl"_s, u"[oledb]\r\nhost=127.0.0.1 port=%1 dbname=hxtest user=%2 "
                                     "passfile='%3'\r\n"_s.arg(port, PgSandbox::kPasswordUser, pass)
                                         .toUtf8());
    const struct {
        const char *what;
        QString name;
        QString user, application; // application empty: not checked
        bool socket;
    } cases[] = {
        {"socket URI", u"postgresql:///hxtest?host=%1&port=%2&user=hxtest&application_name=hx-uri"_s.arg(sock, port),
         u"hxtest"_s, u"hx-uri"_s, true},
        {"TCP pairs, SSL off, quoted name",
         u"host=127.0.0.1 port=%1 dbname=hxtest user=hxtest sslmode=disable application_name='poll log\\'s'"_s.arg(port),
         u"hxtest"_s, u"poll log's"_s, false},
        {"first host down, URI",
         u"postgresql://hxtest@127.0.0.1:%1,127.0.0.1:%2/hxtest?target_session_attrs=read-write"_s.arg(dead, port),
         u"hxtest"_s, {}, false},
        {"service", u"service=hxsite"_s, u"hxtest"_s, u"hx-service"_s, true},
        {"data link of pairs with a pass file", link, QLatin1String(PgSandbox::kPasswordUser), {}, false},
        // A pass file is one value: one that spells other keys sets none of them.
        {"pass file spelling other keys",
         u"postgresql://hxtest@127.0.0.1:%1/hxtest?passfile=/none%20port%3D%2%20dbname%3Dnosuch"_s.arg(port, dead),
         u"hxtest"_s, {}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(open(c.name), -1) << (boxes.shown().empty() ? "" : boxes.shown()[0].prompt.toStdString());
        Recordset rs = gConn->openRecordset(
            u"SELECT current_database() AS db, current_user AS who, application_name AS app, "
            "inet_server_port() AS port FROM pg_stat_activity WHERE pid = pg_backend_pid()"_s);
        ASSERT_EQ(rs.recordCount(), 1);
        EXPECT_EQ(rs.value(u"db").toString(), u"hxtest"_s);
        EXPECT_EQ(rs.value(u"who").toString(), c.user);
        EXPECT_TRUE(c.application.isEmpty() || rs.value(u"app").toString() == c.application);
        // Over the socket the server has no TCP port; of two hosts the live one answered.
        EXPECT_EQ(rs.value(u"port").isNull() ? u"none"_s : rs.value(u"port").toString(), c.socket ? u"none"_s : port);
        EXPECT_TRUE(gConn->describe().contains(c.socket ? u"?host="_s + sock : u"127.0.0.1:"_s + port))
            << gConn->describe().toStdString();
        subCloseConnection(gConn);
    }
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(ConnectionForms, AFailedConnectionSaysLibpqsReasonAndNoPassword) {
    const QString secret = u"Wr0ng-Secret-7"_s;
    const struct {
        const char *what;
        QString name, reason;
    } cases[] = {
        // A server without TLS refuses a client that insists: the mode was passed on.
        {"SSL required", u"host=127.0.0.1 port=%1 dbname=hxtest user=hxtest sslmode=require"_s.arg(port),
         u"server does not support SSL, but SSL was required"_s},
        {"no server", u"host=127.0.0.1 port=%1 dbname=hxtest password=%2"_s.arg(dead, secret),
         u"Connection refused"_s},
        {"unknown service", u"service=nosuch password=%1"_s.arg(secret), u"\"nosuch\" not found"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        boxes.clear();
        EXPECT_EQ(open(c.name), 0);
        EXPECT_FALSE(gConn);
        ASSERT_EQ(boxes.shown().size(), 1u);
        const QString prompt = boxes.shown()[0].prompt;
        EXPECT_TRUE(prompt.startsWith(u"Error: -2147467259\r\nDescription: "_s)) << prompt.toStdString();
        EXPECT_TRUE(prompt.contains(c.reason)) << prompt.toStdString();
        EXPECT_TRUE(prompt.contains(u"\r\n\r\nCheck that the PostgreSQL server is running"_s) &&
                    prompt.contains(u"pg_hba.conf"_s) && !prompt.contains(u"MDAC"_s) && !prompt.contains(secret))
            << prompt.toStdString();
    }
}
