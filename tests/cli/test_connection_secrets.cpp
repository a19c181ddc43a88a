// Failing connections to a PostgreSQL server, named by URL, by libpq's
// key=value pairs, by a data-link file's key=value string and by a data-link
// file holding a URL: no command prints or logs the password. Also the pass
// file road, which must take a path as a whole.
#include "cli/CliTest.h"
#include "component/modGlobal.h"
#include "support/PgSandbox.h"

#include <QDirIterator>

using namespace hx;
using hx::test::CliSiteTest;
using hx::test::PgSandbox;

namespace {
PgSandbox *const g_server = static_cast<PgSandbox *>(::testing::AddGlobalTestEnvironment(new PgSandbox()));

class ConnectionSecrets : public CliSiteTest {
protected:
    void SetUp() override {
        CliSiteTest::SetUp();
        ASSERT_GT(g_server->port(), 0) << "the PostgreSQL test server did not start: " << g_server->error().toStdString();
    }
    Result runOn(const QString &database, const QStringList &args) const {
        return run(QStringList{u"--db"_s, database} + args);
    }
};
} // namespace

TEST_F(ConnectionSecrets, NoFailurePathShowsThePassword) {
    const int port = g_server->port();
    const QString user = QLatin1String(PgSandbox::kPasswordUser);
    writePoll(u"2A000007.}01"_s, 1, 1, {QDate(2007, 4, 25)});
    const struct {
        const char *what;
        QString password, host, database;
        int port;
    } cases[] = {
        {"bad password", u"Wr0ng-Secret-1"_s, u"127.0.0.1"_s, u"hxtest"_s, port},
        {"bad host", u"Wr0ng-Secret-2"_s, u"127.0.0.2"_s, u"hxtest"_s, port},
        {"bad port", u"Wr0ng-Secret-3"_s, u"127.0.0.1"_s, u"hxtest"_s, 1},
        {"port out of range", u"Wr0ng-Secret-4"_s, u"127.0.0.1"_s, u"hxtest"_s, 99999},
        {"missing database", QLatin1String(PgSandbox::kPassword), u"127.0.0.1"_s, u"no_such_db"_s, port},
    };
    int n = 0;
    for (const auto &c : cases) {
        // A URL, a data-link file of key=value pairs and one of a URL, libpq's pairs.
        const QString url = u"postgresql://%1:%2@%3:%4/%5"_s.arg(user, c.password, c.host).arg(c.port).arg(c.database);
        const QString keyValue = u"Engine=PostgreSQL;Host=%1;Port=%2;Database=%3;User=%4;Password=%5"_s.arg(c.host)
                                     .arg(c.port)
                                     .arg(c.database, user, c.password);
        const QStringList targets = {
            url, writeFile(u"app/kv%1.udl"_s.arg(++n), ("[oledb]\r\n" + keyValue + "\r\n").toUtf8()),
            writeFile(u"app/url%1.UDL"_s.arg(n), ("[oledb]\r\n" + url + "\r\n").toUtf8()),
            u"host=%1 port=%2 dbname=%3 user=%4 password=%5"_s.arg(c.host).arg(c.port).arg(c.database, user, c.password)};
        for (const QString &target : targets)
            for (const QStringList &command :
                 QList<QStringList>{{u"rules"_s}, {u"list"_s}, {u"import"_s, u"--all"_s, u"--yes"_s},
                                    {u"import"_s, u"--yes"_s, u"2A000007.}01"_s}, {u"init-db"_s},
                                    {u"demo"_s, path(u"demo%1"_s.arg(n))}}) {
                SCOPED_TRACE(std::string(c.what) + " | " + maskPassword(target).toStdString() + " | " +
                             command.join(u' ').toStdString());
                const Result r = runOn(target, command);
                EXPECT_NE(r.exitCode, 0);
                EXPECT_FALSE(r.err.isEmpty());
                EXPECT_FALSE(r.out.contains(c.password) || r.err.contains(c.password)) << r.out.toStdString()
                                                                                       << r.err.toStdString();
            }
    }
    // The logs, the demonstration folders and everything else the commands
    // wrote; only the data-link files the test wrote hold a password.
    for (QDirIterator it(dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        QFile f(it.next());
        if (f.fileName().endsWith(u".udl"_s, Qt::CaseInsensitive)) continue;
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << f.fileName().toStdString();
        const QString text = QString::fromLocal8Bit(f.readAll());
        for (const auto &c : cases)
            EXPECT_FALSE(text.contains(c.password)) << f.fileName().toStdString();
    }
    EXPECT_TRUE(QFile::exists(path(u"demo1/logs"_s))); // the demonstration did get as far as its folder
}

// A pass file is given to the driver as one value: a path with blanks works,
// and a path that spells other keys cannot redirect the connection.
TEST_F(ConnectionSecrets, APassFileIsOneValue) {
    const QString user = QLatin1String(PgSandbox::kPasswordUser);
    const QString pass = writeFile(u"pass dir/pg pass"_s, u"127.0.0.1:%1:*:%2:%3\n"_s.arg(g_server->port())
                                                              .arg(user, QLatin1String(PgSandbox::kPassword))
                                                              .toUtf8());
    QFile::setPermissions(pass, QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(pass.contains(u' '));
    const QString link = writeFile(u"app/pass.udl"_s, u"Engine=PostgreSQL;Host=127.0.0.1;Port=%1;Database=%4;"
                                                      "User=%2;PassFile=%3\r\n"_s.arg(g_server->port())
                                                          .arg(user, pass, PgSandbox::database(u"hx_pass"_s))
                                                          .toUtf8());
    Database::open(*ConnectionSpec::parse(g_server->url(u"hxtest"_s), QString(), nullptr))
        ->executeScript(u"CREATE DATABASE %1 OWNER %2;"_s.arg(PgSandbox::database(u"hx_pass"_s), user));
    const Result made = runOn(link, {u"init-db"_s});
    EXPECT_EQ(made.exitCode, 0) << made.err.toStdString();
    const Result rules = runOn(link, {u"rules"_s});
    EXPECT_EQ(rules.exitCode, 0) << rules.err.toStdString();

    // A wrong port, and a pass file "path" that would set the right one.
    const QString injected =
        u"postgresql://hxtest@127.0.0.1:1/hxtest?passfile=/nonexistent%20port%3D%1%20dbname%3Dhxtest"_s.arg(
            g_server->port());
    auto target = ConnectionSpec::parse(injected, QString(), nullptr);
    ASSERT_TRUE(target.has_value());
    EXPECT_EQ(target->option(u"port"), u"1"_s);
    EXPECT_EQ(hx::test::errorNumberOf([&] { Database::open(*target); }), ErrNo::Database);
    target->setOption(u"port"_s, QString::number(g_server->port()));
    EXPECT_NO_THROW(Database::open(*target)); // the same pass file value with the right port is harmless
}
