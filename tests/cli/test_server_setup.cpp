// Setting up a site on a PostgreSQL server: init-db on every form of target
// (a URI, libpq's pairs over the socket, a data-link file, an SQLite file),
// the demonstration in a server database, and the two schema scripts agreeing.
#include "cli/CliTest.h"
#include "component/Schema.h"
#include "component/modGlobal.h"
#include "support/PgSandbox.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <map>

using namespace hx;
using hx::test::CliSiteTest;
using hx::test::PgSandbox;

namespace {
PgSandbox *const g_server = static_cast<PgSandbox *>(::testing::AddGlobalTestEnvironment(new PgSandbox()));

class ServerSetup : public CliSiteTest {
protected:
    void SetUp() override {
        CliSiteTest::SetUp();
        ASSERT_GT(g_server->port(), 0)
            << "the PostgreSQL test server did not start: " << g_server->error().toStdString();
    }

    // A new, empty database on the server; returns its URL.
    QString newDatabase(const QString &name) const {
        server(u"hxtest"_s)->executeScript(u"CREATE DATABASE %1;"_s.arg(name));
        return g_server->url(name);
    }
    std::unique_ptr<Database> server(const QString &database) const {
        return Database::open(*ConnectionSpec::parse(g_server->url(database), QString(), nullptr));
    }
    Result host(const QStringList &args) const { return run(args, false); }
};

// Per table: "column type nullability default" lines, then "index: name unique (columns)".
using Catalog = std::map<QString, QStringList>;

QString storageClass(const QString &pgType) {
    static const std::map<QString, QString> classes = {
        {u"integer"_s, u"INTEGER"_s},
        {u"smallint"_s, u"INTEGER"_s},
        {u"bigint"_s, u"INTEGER"_s},
        {u"boolean"_s, u"INTEGER"_s},
        {u"double precision"_s, u"REAL"_s},
        {u"real"_s, u"REAL"_s},
        {u"date"_s, u"TEXT"_s},
        {u"time without time zone"_s, u"TEXT"_s},
        {u"timestamp without time zone"_s, u"TEXT"_s},
        {u"character varying"_s, u"TEXT"_s},
        {u"text"_s, u"TEXT"_s},
    };
    auto it = classes.find(pgType);
    return it == classes.end() ? u"unmapped "_s + pgType : it->second;
}

QString normalDefault(QString v) {
    v.remove(QRegularExpression(u"::[a-z ]+$"_s));
    if (v == u"false"_s) return u"0"_s;
    if (v == u"true"_s) return u"1"_s;
    return v;
}

Catalog sqliteCatalog(Database &db) {
    Catalog c;
    for (const QString &table : schemaTables(Engine::SQLite)) {
        for (Recordset rs = db.openRecordset(u"PRAGMA table_info(\"%1\")"_s.arg(table)); !rs.eof();
             rs.moveNext()) {
            const bool pk = rs.value(u"pk").toInt() > 0;
            c[table] << u"%1 %2 %3 %4"_s.arg(rs.value(u"name").toString(), rs.value(u"type").toString(),
                                             pk || rs.value(u"notnull").toInt() ? u"not null"_s : u"null"_s,
                                             pk ? u"key"_s : rs.value(u"dflt_value").toString());
        }
        for (Recordset ix = db.openRecordset(u"PRAGMA index_list(\"%1\")"_s.arg(table)); !ix.eof();
             ix.moveNext()) {
            if (ix.value(u"origin").toString() == u"pk"_s) continue;
            QStringList columns;
            for (Recordset col =
                     db.openRecordset(u"PRAGMA index_info(\"%1\")"_s.arg(ix.value(u"name").toString()));
                 !col.eof(); col.moveNext())
                columns << col.value(u"name").toString();
            // A partial index's condition, in the server's words.
            QString where;
            if (ix.value(u"partial").toInt()) {
                const QString sql = db.firstValue(u"SELECT sql FROM sqlite_master WHERE type = 'index' AND name = ?"_s,
                                                  {ix.value(u"name").toString()})
                                        ->toString();
                where = sql.mid(sql.indexOf(u" WHERE "_s) + 7).remove(u'"').trimmed().replace(u"= 1"_s, u"= true"_s);
                where = u" WHERE (%1)"_s.arg(where);
            }
            c[table] << u"index: %1 %2 (%3)%4"_s.arg(ix.value(u"name").toString(),
                                                     ix.value(u"unique").toInt() ? u"unique"_s : u"plain"_s,
                                                     columns.join(u", "_s), where);
        }
        c[table].sort();
    }
    return c;
}

Catalog postgresCatalog(Database &db) {
    Catalog c;
    Recordset rs = db.openRecordset(
        u"SELECT c.table_name, c.column_name, c.data_type, c.is_nullable, c.column_default, c.is_identity, "
        "(SELECT COUNT(*) FROM information_schema.key_column_usage k JOIN "
        "information_schema.table_constraints t "
        "ON t.constraint_name = k.constraint_name AND t.table_name = k.table_name "
        "WHERE t.constraint_type = 'PRIMARY KEY' AND k.table_name = c.table_name AND k.column_name = "
        "c.column_name) "
        "AS pk FROM information_schema.columns c WHERE c.table_schema = 'public'"_s);
    for (; !rs.eof(); rs.moveNext()) {
        const bool pk = rs.value(u"pk").toInt() > 0;
        c[rs.value(u"table_name").toString()] << u"%1 %2 %3 %4"_s.arg(
            rs.value(u"column_name").toString(), storageClass(rs.value(u"data_type").toString()),
            pk || rs.value(u"is_nullable").toString() == u"NO"_s ? u"not null"_s : u"null"_s,
            pk ? u"key"_s : normalDefault(rs.value(u"column_default").toString()));
    }
    static const QRegularExpression def(u"^CREATE (UNIQUE )?INDEX .* USING btree \\((.*)\\)$"_s);
    for (Recordset ix = db.openRecordset(
             u"SELECT indexname, tablename, indexdef FROM pg_indexes WHERE schemaname = 'public' "
             "AND indexname NOT IN (SELECT constraint_name FROM information_schema.table_constraints "
             "WHERE constraint_type = 'PRIMARY KEY')"_s);
         !ix.eof(); ix.moveNext()) {
        const QRegularExpressionMatch m = def.match(ix.value(u"indexdef").toString());
        QString columns = m.captured(2);
        columns.remove(u'"');
        c[ix.value(u"tablename").toString()] << u"index: %1 %2 (%3)"_s.arg(
            ix.value(u"indexname").toString(), m.captured(1).isEmpty() ? u"plain"_s : u"unique"_s, columns);
    }
    for (auto &[table, lines] : c)
        lines.sort();
    return c;
}
} // namespace

TEST_F(ServerSetup, TheTwoSchemaScriptsDescribeTheSameTables) {
    ASSERT_EQ(schemaTables(Engine::SQLite), schemaTables(Engine::PostgreSQL));
    const QString url = newDatabase(PgSandbox::database(u"hx_catalog"_s));
    auto pg = server(PgSandbox::database(u"hx_catalog"_s));
    createSchema(*pg);
    const Catalog lite = sqliteCatalog(db()), served = postgresCatalog(*pg);
    ASSERT_GE(lite.size(), 14u);
    EXPECT_EQ(lite.size(), served.size());
    for (const auto &[table, lines] : lite) {
        auto it = served.find(table);
        ASSERT_NE(it, served.end()) << table.toStdString();
        EXPECT_EQ(lines.join(u'\n').toStdString(), it->second.join(u'\n').toStdString())
            << table.toStdString();
    }
}

TEST_F(ServerSetup, InitDbCreatesTheTablesOnEveryFormOfTarget) {
    const QStringList tables = schemaTables(Engine::PostgreSQL);

    // A URL, as the argument and through --db.
    const QString url = newDatabase(PgSandbox::database(u"hx_init_url"_s));
    Result r = host({u"init-db"_s, url});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.trimmed(), u"created postgresql://hxtest@127.0.0.1:%1/%2"_s.arg(g_server->port())
                                   .arg(PgSandbox::database(u"hx_init_url"_s)));
    for (const QString &t : tables)
        EXPECT_TRUE(server(PgSandbox::database(u"hx_init_url"_s))->hasTable(t)) << t.toStdString();
    EXPECT_EQ(server(PgSandbox::database(u"hx_init_url"_s))
                  ->firstValue(u"SELECT COUNT(*) FROM \"PUNCH\""_s)
                  ->toInt(),
              0);
    r = host({u"--db"_s, url, u"init-db"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"already holds the table IMPORT"_s)) << r.err.toStdString();

    // libpq's pairs over the local socket, through --db: a value with "/" is
    // not taken for a path; the database is named by the socket it was reached on.
    newDatabase(PgSandbox::database(u"hx_init_pairs"_s));
    const QString pairs = u"host=%1 port=%2 dbname=%3 user=hxtest"_s.arg(g_server->socketDir())
                              .arg(g_server->port())
                              .arg(PgSandbox::database(u"hx_init_pairs"_s));
    r = host({u"--db"_s, pairs, u"init-db"_s});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.trimmed(), u"created postgresql://hxtest@/%1?host=%2&port=%3"_s
                                   .arg(PgSandbox::database(u"hx_init_pairs"_s), g_server->socketDir())
                                   .arg(g_server->port()));

    // A data-link file, relative to the current directory; the first table
    // of the script that is there is named.
    const QString viaLink = newDatabase(PgSandbox::database(u"hx_init_link"_s));
    server(PgSandbox::database(u"hx_init_link"_s))
        ->executeScript(u"CREATE TABLE \"tcrules\" (x integer);\nCREATE TABLE \"CLOCK\" (y integer);"_s);
    writeFile(u"app/site.udl"_s,
              u"[oledb]\r\nEngine=PostgreSQL;Host=127.0.0.1;Port=%1;Database=%2;User=hxtest\r\n"_s
                  .arg(g_server->port())
                  .arg(PgSandbox::database(u"hx_init_link"_s))
                  .toUtf8());
    r = host({u"--db"_s, path(u"app/site.udl"_s), u"init-db"_s});
    EXPECT_EQ(r.exitCode, 1);
    const QString first =
        tables.indexOf(u"CLOCK"_s) < tables.indexOf(u"TCRULES"_s) ? u"CLOCK"_s : u"TCRULES"_s;
    EXPECT_TRUE(r.err.contains(u"already holds the table %1"_s.arg(first))) << r.err.toStdString();
    server(PgSandbox::database(u"hx_init_link"_s))
        ->executeScript(u"DROP TABLE \"tcrules\";\nDROP TABLE \"CLOCK\";"_s);
    r = host({u"init-db"_s, path(u"app/site.udl"_s)});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(server(PgSandbox::database(u"hx_init_link"_s))->hasTable(u"TCRULES"_s));

    // An SQLite file, through --db as well; a file that is there is refused.
    r = host({u"--db"_s, path(u"new.db"_s), u"init-db"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(Database::open(ConnectionSpec::forSqliteFile(path(u"new.db"_s)))->hasTable(u"AccessPunch"_s));
    r = host({u"init-db"_s, path(u"new.db"_s)});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"already exists"_s)) << r.err.toStdString();
    r = host({u"--db"_s, url, u"init-db"_s, path(u"other.db"_s)});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(QFileInfo::exists(path(u"other.db"_s)));
}

TEST_F(ServerSetup, TheDemonstrationBuildsItsSiteInTheDatabaseDbNames) {
    const auto summary = [](const QString &out) {
        const qsizetype from = out.indexOf(u"Employee"_s), to = out.indexOf(u"\nLog: "_s);
        return out.mid(from, to - from).toStdString();
    };
    const Result lite = host({u"--now"_s, QString::fromLatin1(kNow), u"demo"_s, path(u"lite"_s)});
    ASSERT_EQ(lite.exitCode, 0) << lite.err.toStdString();

    const QString url = newDatabase(PgSandbox::database(u"hx_demo"_s));
    const Result served =
        host({u"--now"_s, QString::fromLatin1(kNow), u"--db"_s, url, u"demo"_s, path(u"served"_s)});
    ASSERT_EQ(served.exitCode, 0) << served.err.toStdString();
    EXPECT_EQ(summary(served.out), summary(lite.out));
    EXPECT_TRUE(served.out.contains(u"--db "_s + url)) << served.out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path(u"served/site.db"_s)));
    EXPECT_EQ(QDir(path(u"served/polllogs"_s)).entryList(QDir::Files),
              QDir(path(u"lite/polllogs"_s)).entryList(QDir::Files));
    EXPECT_TRUE(QFileInfo::exists(path(u"served/logs/QX8log.txt"_s)));
    EXPECT_GT(
        server(PgSandbox::database(u"hx_demo"_s))->firstValue(u"SELECT COUNT(*) FROM \"PUNCH\""_s)->toInt(),
        40);

    // Again on the same database: refused, naming what is there.
    const Result again =
        host({u"--now"_s, QString::fromLatin1(kNow), u"--db"_s, url, u"demo"_s, path(u"served"_s)});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.contains(u"already holds the table IMPORT"_s)) << again.err.toStdString();
}
