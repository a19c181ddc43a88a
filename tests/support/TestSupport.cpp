#include "TestSupport.h"

#include "component/Clock.h"
#include "component/Schema.h"
#include "component/modGlobal.h"
#include "rules/clsTCrules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace hx::test {

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
    gConn = Database::open(ConnectionSpec::forSqliteFile(path(QStringLiteral("site.db"))));
    createSchema(*gConn);
    reloadRules();
}

void SiteTest::TearDown() {
    gTCRules.reset();
    gConn.reset();
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
