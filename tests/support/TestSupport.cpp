#include "TestSupport.h"
#include "PgSandbox.h"

#include "component/Clock.h"
#include "component/Schema.h"
#include "component/modGlobal.h"
#include "rules/clsTCrules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace hx::test {

Engine testEngine() {
    static const Engine e =
        qEnvironmentVariable("HX_TEST_ENGINE").compare(QLatin1String("postgresql"), Qt::CaseInsensitive) == 0
            ? Engine::PostgreSQL
            : Engine::SQLite;
    return e;
}

namespace {
// The test server of this program, found or started on first use and kept to
// the end of the program.
PgSandbox &server() {
    static PgSandbox *s = [] {
        // The site's tests keep the zone they run in; the server has its own.
        const QByteArray zone = qgetenv("TZ");
        const bool hadZone = qEnvironmentVariableIsSet("TZ");
        auto *p = new PgSandbox();
        if (hadZone)
            qputenv("TZ", zone);
        else
            qunsetenv("TZ");
        tzset();
        p->SetUp();
        return p;
    }();
    return *s;
}

std::unique_ptr<Database> openServer(const QString &database) {
    return Database::open(*ConnectionSpec::parse(server().url(database), QString(), nullptr));
}
} // namespace

long errorNumberOf(const std::function<void()> &f) {
    try {
        f();
    } catch (const HxError &e) {
        return e.number();
    }
    return 0;
}

void SiteTest::SetUp() {
    ASSERT_TRUE(dir.isValid());
    QDir d(dir.path());
    d.mkpath(QStringLiteral("app"));
    d.mkpath(QStringLiteral("polllogs"));
    d.mkpath(QStringLiteral("logs"));
    subSetApplicationPath(path(QStringLiteral("app")));
    subSetPollLogPath(path(QStringLiteral("polllogs")));
    subSetErrorLogPath(path(QStringLiteral("logs")));
    subSetDatabaseFilePath(path(QStringLiteral("site.db")));
    setNow(QStringLiteral("2007-04-26 17:17:00"));
    setMessageBoxFace(&boxes);

    gConn.reset();
    if (onServer()) {
        ASSERT_GT(server().port(), 0)
            << "the PostgreSQL test server did not start: " << server().error().toStdString();
        static int counter = 0;
        m_serverDatabase = PgSandbox::database(QStringLiteral("hx_site_%1").arg(++counter));
        openServer(QStringLiteral("hxtest"))
            ->executeScript(QStringLiteral("CREATE DATABASE %1;").arg(m_serverDatabase));
        m_databaseName = server().url(m_serverDatabase);
        gConn = openServer(m_serverDatabase);
    } else {
        m_databaseName = path(QStringLiteral("site.db"));
        gConn = Database::open(ConnectionSpec::forSqliteFile(m_databaseName));
    }
    subSetDatabaseFilePath(m_databaseName);
    createSchema(*gConn);
    reloadRules();
}

void SiteTest::TearDown() {
    gTCRules.reset();
    gConn.reset();
    if (!m_serverDatabase.isEmpty()) {
        // Keeps the shared server small; a session left open is ended.
        try {
            openServer(QStringLiteral("hxtest"))
                ->executeScript(
                    QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE);").arg(m_serverDatabase));
        } catch (const HxError &) {
        }
        m_serverDatabase.clear();
    }
    setMessageBoxFace(nullptr);
    Clock::setFixed(std::nullopt);
    subSetApplicationPath(QString());
    subSetPollLogPath(QString());
    subSetErrorLogPath(QString());
    subSetDatabaseFilePath(QString());
}

void SiteTest::reloadRules() {
    gTCRules = std::make_unique<clsTCrules>();
    gTCRules->ReadValues();
}

void SiteTest::setNow(const QString &moment) {
    ASSERT_TRUE(Clock::setFixedFromText(moment)) << moment.toStdString();
}

QString SiteTest::path(const QString &relative) const {
    return dir.filePath(relative);
}

QString SiteTest::writeFile(const QString &relative, const QByteArray &bytes) const {
    const QString p = path(relative);
    QDir().mkpath(QFileInfo(p).absolutePath());
    QFile f(p);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        ADD_FAILURE() << "cannot write " << p.toStdString();
    f.write(bytes);
    return p;
}

QByteArray SiteTest::readFile(const QString &relative) const {
    QFile f(path(relative));
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.readAll();
}

Database &SiteTest::db() {
    return *gConn;
}

} // namespace hx::test
