// The forms in which a site names its PostgreSQL server, as libpq reads them:
// the local socket, key=value pairs, SSL modes, several hosts, a service, a
// pass file; and what a failed connection tells the administrator.
#include "component/modGlobal.h"
#include "support/PgSandbox.h"
#include "support/TestSupport.h"

#include <QFile>
#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace hx;
using hx::test::PgSandbox;
using namespace Qt::Literals::StringLiterals;

namespace {
PgSandbox *const g_server = static_cast<PgSandbox *>(::testing::AddGlobalTestEnvironment(new PgSandbox()));

// A port of this machine that nothing listens on.
int deadPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

class ConnectionForms : public hx::test::SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        ASSERT_GT(g_server->port(), 0) << "the PostgreSQL test server did not start: " << g_server->error().toStdString();
        ASSERT_FALSE(g_server->socketDir().isEmpty());
        gConn.reset();
        port = QString::number(g_server->port());
        sock = g_server->socketDir();
        dead = QString::number(deadPort());
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
        {"socket pairs", u"host=%1 port=%2 dbname=hxtest user=hxtest"_s.arg(sock, port), u"hxtest"_s, {}, true},
        {"TCP pairs, SSL off, quoted name",
         u"host=127.0.0.1 port=%1 dbname=hxtest user=hxtest sslmode=disable application_name='poll log\\'s'"_s.arg(port),
         u"hxtest"_s, u"poll log's"_s, false},
        {"first host down, pairs",
         u"host=127.0.0.1,127.0.0.1 port=%1,%2 dbname=hxtest user=hxtest target_session_attrs=read-write"_s.arg(dead, port),
         u"hxtest"_s, {}, false},
        {"first host down, URI",
         u"postgresql://hxtest@127.0.0.1:%1,127.0.0.1:%2/hxtest?target_session_attrs=read-write"_s.arg(dead, port),
         u"hxtest"_s, {}, false},
        {"service", u"service=hxsite"_s, u"hxtest"_s, u"hx-service"_s, true},
        {"data link of pairs with a pass file", link, QLatin1String(PgSandbox::kPasswordUser), {}, false},
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
        {"bad password, URI", u"postgresql://hxpw:%1@127.0.0.1:%2/hxtest"_s.arg(secret, port),
         u"password authentication failed for user \"hxpw\""_s},
        {"bad password, pairs",
         u"host=127.0.0.1 port=%1 dbname=hxtest user=hxpw password=%2"_s.arg(port, secret),
         u"password authentication failed for user \"hxpw\""_s},
        {"no server", u"host=127.0.0.1 port=%1 dbname=hxtest password=%2"_s.arg(dead, secret),
         u"Connection refused"_s},
        {"unknown service", u"service=nosuch password=%1"_s.arg(secret), u"\"nosuch\" not found"_s},
        {"no such database", u"postgresql://hxtest:%1@127.0.0.1:%2/nosuchdb"_s.arg(secret, port),
         u"database \"nosuchdb\" does not exist"_s},
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
