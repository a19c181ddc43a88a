#pragma once
// Shared fixtures of the tests: a temporary site (folders, an SQLite database
// made from schema/sqlite.sql, gConn open on it), the scripted message face and
// a fixed clock.
#include "component/Database.h"
#include "component/modGlobal.h"
#include "messages/MessageBox.h"

#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace hx::test {

// The error number a call raises, 0 when it raises none.
long errorNumberOf(const std::function<void()> &f);

// The engine the database tests run on: SQLite, or PostgreSQL when the
// environment says HX_TEST_ENGINE=postgresql (CTest runs every database test
// both ways).
Engine testEngine();

// Every row of the tables as "TABLE: value|value|..." (Null as NULL), sorted
// within each table. Columns named ID are left out: a PostgreSQL sequence
// does not roll back.
QStringList tableDump(Database &db, const QStringList &tables);

class PgSandbox;
// The PostgreSQL test server of this program, found or started on first use
// (a failure when it cannot be); a session on one of its databases; a new
// database of this program's own there, `base` plus the program's mark, after
// which `then` runs on the server ("%1" in it names the database).
PgSandbox &pgServer();
std::unique_ptr<Database> openOnServer(const QString &database);
QString createOnServer(const QString &base, const QString &then = QString());

// A fresh site for each test: folders app/, polllogs/, logs/ in a temporary
// directory, the component's paths pointing at them, a database created from
// the schema (site.db, or a new database on the test server) and opened as gConn, gTCRules loaded (empty
// table: defaults and the pay-period row), the scripted message face installed and the clock fixed at
// 2007-04-26 17:17:00 unless the test sets another moment.
class SiteTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Reloads gTCRules from the table (after a test changed TCRULES).
    void reloadRules();
    // Fixes the clock at "YYYY-MM-DD HH:MM:SS".
    void setNow(const QString &moment);
    QString path(const QString &relative) const { return dir.filePath(relative); }
    // Writes a file (bytes as given) relative to the site folder; returns its path.
    QString writeFile(const QString &relative, const QByteArray &bytes) const;
    QByteArray readFile(const QString &relative) const;
    // The component's log file, as the UTF-8 it is written in.
    QString logText() const { return QString::fromUtf8(readFile(QStringLiteral("logs/QX8log.txt"))); }
    Database &db() { return *gConn; }
    // The database as the component's database name gives it: site.db's path
    // or the test database's URL.
    QString databaseName() const { return m_databaseName; }
    bool onServer() const { return testEngine() == Engine::PostgreSQL; }

    QTemporaryDir dir;
    ScriptedMessageBox boxes;

private:
    QString m_databaseName;
    QString m_serverDatabase;
};

} // namespace hx::test
