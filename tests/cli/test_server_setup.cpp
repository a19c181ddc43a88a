// Setting up a site: init-db on every form of target (a URI, libpq's pairs
// over the socket, a data-link file, an SQLite file), the demonstration in a
// folder of its own or in a server database, the two schema scripts agreeing,
// and failing connections that must not show the password.
#include "cli/CliTest.h"
#include "component/Schema.h"
#include "component/modGlobal.h"
#include "support/PgSandbox.h"

#include <QDirIterator>
#include <map>

using namespace hx;
using hx::test::createOnServer;
using hx::test::openOnServer;
using hx::test::PgSandbox;
using hx::test::pgServer;

namespace {
class ServerSetup : public hx::test::CliSiteTest {
protected:
    int punches(Database &db) { return db.firstValue(u"SELECT COUNT(*) FROM \"PUNCH\""_s)->toInt(); }
    Result host(const QStringList &args) const { return run(args, false); }
};
using ConnectionSecrets = hx::test::CliSiteTest;

// Per table: "column storage-class nullability default" lines, sorted. The
// indexes are left out: all but the register's unique key (its own test, on
// both engines) only make the work faster.
using Catalog = std::map<QString, QStringList>;

Catalog sqliteCatalog(Database &db) {
    Catalog c;
    for (const QString &table : schemaTables(Engine::SQLite)) {
        for (Recordset rs = db.openRecordset(u"PRAGMA table_info(\"%1\")"_s.arg(table)); !rs.eof(); rs.moveNext()) {
            const bool pk = rs.value(u"pk").toInt() > 0;
            c[table] << u"%1 %2 %3 %4"_s.arg(rs.value(u"name").toString(), rs.value(u"type").toString(),
                                             pk || rs.value(u"notnull").toInt() ? u"not null"_s : u"null"_s,
                                             pk ? u"key"_s : rs.value(u"dflt_value").toString());
        }
        c[table].sort();
    }
    return c;
}

Catalog postgresCatalog(Database &db) {
    static const std::map<QString, QString> storage = {
        {u"integer"_s, u"INTEGER"_s},  {u"smallint"_s, u"INTEGER"_s}, {u"bigint"_s, u"INTEGER"_s},
        {u"boolean"_s, u"INTEGER"_s},  {u"double precision"_s, u"REAL"_s}, {u"real"_s, u"REAL"_s},
        {u"date"_s, u"TEXT"_s},        {u"time without time zone"_s, u"TEXT"_s},
        {u"timestamp without time zone"_s, u"TEXT"_s}, {u"character varying"_s, u"TEXT"_s}, {u"text"_s, u"TEXT"_s}};
    Catalog c;
    for (Recordset rs = db.openRecordset(
             u"SELECT c.table_name, c.column_name, c.data_type, c.is_nullable, c.column_default, "
             "(SELECT COUNT(*) FROM information_schema.key_column_usage k JOIN information_schema.table_constraints t "
             "ON t.constraint_name = k.constraint_name AND t.table_name = k.table_name WHERE t.constraint_type = "
             "'PRIMARY KEY' AND k.table_name = c.table_name AND k.column_name = c.column_name) AS pk "
             "FROM information_schema.columns c WHERE c.table_schema = 'public'"_s);
         !rs.eof(); rs.moveNext()) {
        const bool pk = rs.value(u"pk").toInt() > 0;
        const auto type = storage.find(rs.value(u"data_type").toString());
        QString def = rs.value(u"column_default").toString().remove(QRegularExpression(u"::[a-z ]+$"_s));
        def = def == u"false"_s ? u"0"_s : def == u"true"_s ? u"1"_s : def;
        c[rs.value(u"table_name").toString()] << u"%1 %2 %3 %4"_s.arg(
            rs.value(u"column_name").toString(),
            type == storage.end() ? u"unmapped "_s + rs.value(u"data_type").toString() : type->second,
            pk || rs.value(u"is_nullable").toString() == u"NO"_s ? u"not null"_s : u"null"_s, pk ? u"key"_s : def);
    }
    for (auto &[table, lines] : c)
        lines.sort();
    return c;
}
} // namespace

TEST_F(ServerSetup, TheTwoSchemaScriptsDescribeTheSameTables) {
    ASSERT_EQ(schemaTables(Engine::SQLite), schemaTables(Engine::PostgreSQL));
    auto pg = openOnServer(createOnServer(u"hx_catalog"_s));
    createSchema(*pg);
    const Catalog lite = sqliteCatalog(db()), served = postgresCatalog(*pg);
    ASSERT_GE(lite.size(), 14u);
    EXPECT_EQ(lite.size(), served.size());
    for (const auto &[table, lines] : lite) {
        auto it = served.find(table);
        ASSERT_NE(it, served.end()) << table.toStdString();
        EXPECT_EQ(lines.join(u'\n').toStdString(), it->second.join(u'\n').toStdString()) << table.toStdString();
    }
}

TEST_F(ServerSetup, InitDbCreatesTheTablesOnEveryFormOfTarget) {
    const QStringList tables = schemaTables(Engine::PostgreSQL);
    const QString created = createOnServer(u"hx_init_url"_s), url = pgServer().url(created);
    // libpq's pairs over the local socket: a value with "/" is not taken for a
    // path; the database is named by the socket it was reached on.
    const QString db = createOnServer(u"hx_init_pairs"_s), sock = pgServer().socketDir();
    const QString pairs = u"host=%1 port=%2 dbname=%3 user=hxtest"_s.arg(sock).arg(pgServer().port()).arg(db);
    // A data-link file, relative to the current directory, on a database that
    // holds two of the tables: the first of the script is named.
    const QString linkedName = createOnServer(u"hx_init_link"_s);
    auto linked = openOnServer(linkedName);
    linked->executeScript(u"CREATE TABLE \"tcrules\" (x integer);\nCREATE TABLE \"CLOCK\" (y integer);"_s);
    const QString link = writeFile(u"app/site.udl"_s, u"[oledb]\r\nEngine=PostgreSQL;Host=127.0.0.1;Port=%1;Database=%2;"
                                                      "User=hxtest\r\n"_s.arg(pgServer().port()).arg(linkedName).toUtf8());
    const QString first = tables.indexOf(u"CLOCK"_s) < tables.indexOf(u"TCRULES"_s) ? u"CLOCK"_s : u"TCRULES"_s;
    const struct {
        QStringList args;
        int exit;
        QString said; // on standard output when it succeeds
    } runs[] = {
        {{u"init-db"_s, url}, 0, u"created "_s + url},
        {{u"--db"_s, url, u"init-db"_s}, 1, u"already holds the table IMPORT"_s},
        {{u"--db"_s, pairs, u"init-db"_s}, 0, u"created postgresql://hxtest@/%1?host=%2&port=%3"_s.arg(db, sock).arg(pgServer().port())},
        {{u"--db"_s, link, u"init-db"_s}, 1, u"already holds the table "_s + first},
        // An SQLite file, through --db as well; a file that is there is refused.
        {{u"--db"_s, path(u"new.db"_s), u"init-db"_s}, 0, u"created "_s + path(u"new.db"_s)},
        {{u"init-db"_s, path(u"new.db"_s)}, 1, u"already exists"_s},
        {{u"--db"_s, url, u"init-db"_s, path(u"other.db"_s)}, 2, QString()},
    };
    for (const auto &r : runs) {
        const Result done = host(r.args);
        EXPECT_EQ(done.exitCode, r.exit) << r.args.join(u' ').toStdString() << ": " << done.err.toStdString();
        EXPECT_TRUE((r.exit ? done.err : done.out.trimmed()).contains(r.said)) << done.out.toStdString() << done.err.toStdString();
    }
    EXPECT_TRUE(openOnServer(db)->hasTable(u"AccessPunch"_s));
    EXPECT_FALSE(QFileInfo::exists(path(u"other.db"_s)));
    linked->executeScript(u"DROP TABLE \"tcrules\";\nDROP TABLE \"CLOCK\";"_s);
    const Result r = host({u"init-db"_s, link});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(linked->hasTable(u"TCRULES"_s));
}

// The demonstration (its rows and messages are held to their digests by the
// equivalence test, in its folder and in the database --db names) replaces a
// previous demonstration but no other folder or database.
TEST_F(ServerSetup, TheDemonstrationReplacesOnlyAnEarlierDemonstration) {
    const auto demo = [&](const QStringList &db, const QString &folder) {
        return host(QStringList{u"--now"_s, QString::fromLatin1(kNow)} + db + QStringList{u"demo"_s, path(folder)});
    };
    const Result lite = demo({}, u"lite"_s);
    ASSERT_EQ(lite.exitCode, 0) << lite.err.toStdString();
    const int litePunches = punches(*Database::open(ConnectionSpec::forSqliteFile(path(u"lite/site.db"_s))));
    ASSERT_GT(litePunches, 40);
    const Result again = demo({}, u"lite"_s);
    ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(punches(*Database::open(ConnectionSpec::forSqliteFile(path(u"lite/site.db"_s)))), litePunches);
    writeFile(u"mine/notes.txt"_s, "keep me");
    const Result refused = demo({}, u"mine"_s);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(u"is not a demonstration site"_s));
    EXPECT_EQ(readFile(u"mine/notes.txt"_s), QByteArray("keep me"));
    EXPECT_FALSE(QFileInfo::exists(path(u"mine/site.db"_s)));

    // A server database that holds tables already is refused, naming what is there.
    const QString url = pgServer().url(createOnServer(u"hx_demo"_s));
    ASSERT_EQ(demo({u"--db"_s, url}, u"served"_s).exitCode, 0);
    const Result twice = demo({u"--db"_s, url}, u"served"_s);
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_TRUE(twice.err.contains(u"already holds the table IMPORT"_s)) << twice.err.toStdString();
}

TEST_F(ConnectionSecrets, NoFailurePathShowsThePassword) {
    const QString user = QLatin1String(PgSandbox::kPasswordUser), port = QString::number(pgServer().port());
    writePoll(u"2A000007.}01"_s, 1, 1, {QDate(2007, 4, 25)});
    // {password, database}: a password refused, and the right one on a database that is not there.
    const std::pair<QString, QString> cases[] = {{u"Wr0ng-Secret-1"_s, u"hxtest"_s},
                                                 {QLatin1String(PgSandbox::kPassword), u"no_such_db"_s}};
    int n = 0;
    for (const auto &[password, database] : cases) {
        // A URL, a data-link file of key=value pairs and one of a URL, libpq's pairs.
        const QString url = u"postgresql://%1:%2@127.0.0.1:%3/%4"_s.arg(user, password, port, database);
        const QString keyValue =
            u"Engine=PostgreSQL;Host=127.0.0.1;Port=%1;Database=%2;User=%3;Password=%4"_s.arg(port, database, user, password);
        const QStringList targets = {
            url, writeFile(u"app/kv%1.udl"_s.arg(++n), ("[oledb]\r\n" + keyValue + "\r\n").toUtf8()),
            writeFile(u"app/url%1.UDL"_s.arg(n), ("[oledb]\r\n" + url + "\r\n").toUtf8()),
            u"host=127.0.0.1 port=%1 dbname=%2 user=%3 password=%4"_s.arg(port, database, user, password)};
        for (const QString &target : targets)
            for (const QStringList &command :
                 QList<QStringList>{{u"list"_s}, {u"import"_s, u"--yes"_s, u"2A000007.}01"_s}, {u"init-db"_s},
                                    {u"demo"_s, path(u"demo%1"_s.arg(n))}}) {
                SCOPED_TRACE(maskPassword(target).toStdString() + " | " + command.join(u' ').toStdString());
                const Result r = run(QStringList{u"--db"_s, target} + command);
                EXPECT_NE(r.exitCode, 0);
                EXPECT_FALSE(r.err.isEmpty());
                EXPECT_FALSE(r.out.contains(password) || r.err.contains(password)) << r.out.toStdString()
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
        for (const auto &[password, database] : cases)
            EXPECT_FALSE(text.contains(password)) << f.fileName().toStdString();
    }
    EXPECT_TRUE(QFile::exists(path(u"demo1/logs"_s))); // the demonstration did get as far as its folder
}
