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

PgSandbox &pgServer() {
    static PgSandbox s;
    if (s.port() <= 0) ADD_FAILURE() << "the PostgreSQL test server did not start: " << s.error().toStdString();
    return s;
}

std::unique_ptr<Database> openOnServer(const QString &database) {
    return Database::open(*ConnectionSpec::parse(pgServer().url(database), QString(), nullptr));
}

QString createOnServer(const QString &base, const QString &then) {
    const QString name = PgSandbox::database(base);
    openOnServer(QStringLiteral("hxtest"))
        ->executeScript(QStringLiteral("CREATE DATABASE %1;\n").arg(name) + QString(then).replace(QStringLiteral("%1"), name));
    return name;
}

QStringList tableDump(Database &db, const QStringList &tables) {
    QStringList all;
    for (const QString &table : tables) {
        QStringList rows;
        for (Recordset rs = db.openRecordset(QStringLiteral("SELECT * FROM \"%1\"").arg(table)); !rs.eof(); rs.moveNext()) {
            QStringList values;
            for (int c = 0; c < rs.columns().size(); ++c)
                if (rs.columns()[c].compare(QLatin1String("ID"), Qt::CaseInsensitive) != 0)
                    values << (rs.value(c).isNull() ? QStringLiteral("NULL") : rs.value(c).toString());
            rows << table + QLatin1String(": ") + values.join(u'|');
        }
        rows.sort();
        all += rows;
    }
    return all;
}

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
        ASSERT_GT(pgServer().port(), 0);
        static int counter = 0;
        m_serverDatabase = createOnServer(QStringLiteral("hx_site_%1").arg(++counter));
        m_databaseName = pgServer().url(m_serverDatabase);
        gConn = openOnServer(m_serverDatabase);
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
            openOnServer(QStringLiteral("hxtest"))
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

} // namespace hx::test
