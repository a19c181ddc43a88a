#pragma once
// What an import leaves, reduced to a canonical text that is the same on
// SQLite and PostgreSQL, and the files of SHA-256 digests that hold today's
// results part by part (tests/cli/data/*.sha256). The text of a table: a
// header line of the column names, then one line per row in the order of a
// stable key, values separated by "|": NULL as \N,
// integers and booleans as decimal numbers (booleans 1/0), reals to ten
// significant digits (%.10g), text as stored (the SQLite storage forms of
// dates and times, which are PostgreSQL's ISO forms too), with "\", "|" and
// line ends escaped.
#include "component/Database.h"
#include "support/PgSandbox.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <libpq-fe.h>
#include <optional>
#include <sqlite3.h>
#include <tuple>
#include <unistd.h>

namespace hx::test::canon {

inline const char *engineName(Engine e) {
    return e == Engine::SQLite ? "sqlite" : "postgresql";
}

// The parts of one dump by name.
using Parts = QMap<QString, QByteArray>;

inline QByteArray escaped(QByteArray text) {
    return text.replace("\\", "\\\\").replace("|", "\\|").replace("\n", "\\n").replace("\r", "\\r");
}

inline QByteArray real(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

inline QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The header line, then the rows in byte order: for tables whose rows have no
// order of their own (the engines' collations differ).
inline QByteArray sortedRows(const QByteArray &dump) {
    QList<QByteArray> lines = dump.split('\n');
    if (lines.size() < 2) return dump;
    lines.removeLast(); // after the last line end
    std::sort(lines.begin() + 1, lines.end());
    return lines.join('\n') + '\n';
}

inline QByteArray digest(const QByteArray &text) {
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex();
}

// The run's test server.
inline PgSandbox &server() { return pgServer(); }

// Runs `sql` on the server's own database; false, with a failure, when it cannot.
inline bool runOnServer(const QString &sql) {
    try {
        openOnServer(QStringLiteral("hxtest"))->executeScript(sql);
        return true;
    } catch (const HxError &e) {
        ADD_FAILURE() << e.description().toStdString();
        return false;
    }
}

// The tables of one database, read-only: an SQLite file or a database of the
// test server.
class TableReader {
public:
    TableReader(Engine engine, const QString &sqliteFile, int port, const QString &database) {
        if (engine == Engine::PostgreSQL) {
            const QString conninfo = QStringLiteral("host=127.0.0.1 port=%1 user=hxtest dbname=%2").arg(port).arg(database);
            m_pg = PQconnectdb(conninfo.toUtf8().constData());
            if (PQstatus(m_pg) != CONNECTION_OK) setError(QString::fromUtf8(PQerrorMessage(m_pg)));
            PQclear(PQexec(m_pg, "SET DateStyle = ISO; SET extra_float_digits = 1"));
        } else if (sqlite3_open_v2(sqliteFile.toUtf8().constData(), &m_sqlite, SQLITE_OPEN_READONLY, nullptr) !=
                 SQLITE_OK)
            m_error = QString::fromUtf8(sqlite3_errmsg(m_sqlite));
    }
    ~TableReader() {
        sqlite3_close(m_sqlite);
        PQfinish(m_pg);
    }
    TableReader(const TableReader &) = delete;
    TableReader &operator=(const TableReader &) = delete;

    // The first error met, empty while there is none.
    const QString &error() const { return m_error; }

    // The table's rows ordered by `key` (a column list, each name quoted).
    QByteArray table(const char *table, const char *key) {
        const QByteArray sql = "SELECT * FROM \"" + QByteArray(table) + "\" ORDER BY " + key;
        return m_sqlite ? dumpSqlite(sql) : m_pg ? dumpPostgres(sql) : QByteArray();
    }

private:
    // One line: the n values cell(0) ... cell(n - 1).
    template <class Cell> static QByteArray line(int n, Cell cell) {
        QByteArray out;
        for (int c = 0; c < n; ++c)
            out += (c ? "|" : "") + cell(c);
        return out + '\n';
    }

    // Values by their storage class: integers, reals to ten digits, text as
    // stored.
    static QByteArray sqliteValue(sqlite3_stmt *st, int c) {
        const int type = sqlite3_column_type(st, c);
        if (type == SQLITE_NULL) return "\\N";
        if (type == SQLITE_INTEGER) return QByteArray::number(sqlite3_column_int64(st, c));
        if (type == SQLITE_FLOAT) return real(sqlite3_column_double(st, c));
        const QByteArray value(static_cast<const char *>(sqlite3_column_blob(st, c)), sqlite3_column_bytes(st, c));
        return type == SQLITE_BLOB ? "x'" + value.toHex() + "'" : escaped(value);
    }

    QByteArray dumpSqlite(const QByteArray &sql) {
        sqlite3_stmt *st = nullptr;
        QByteArray out;
        int rc = sqlite3_prepare_v2(m_sqlite, sql.constData(), -1, &st, nullptr);
        if (rc == SQLITE_OK) {
            const int n = sqlite3_column_count(st);
            out = line(n, [&](int c) { return QByteArray(sqlite3_column_name(st, c)); });
            while ((rc = sqlite3_step(st)) == SQLITE_ROW)
                out += line(n, [&](int c) { return sqliteValue(st, c); });
        }
        if (rc != SQLITE_DONE) setError(QString::fromUtf8(sqlite3_errmsg(m_sqlite)));
        sqlite3_finalize(st);
        return out;
    }

    // The same text from PostgreSQL's text forms: booleans become 1/0, reals
    // go through the same ten digits.
    static QByteArray postgresValue(PGresult *r, int row, int c) {
        enum { kBool = 16, kFloat4 = 700, kFloat8 = 701, kNumeric = 1700 };
        const char *v = PQgetvalue(r, row, c);
        const Oid type = PQftype(r, c);
        if (PQgetisnull(r, row, c)) return "\\N";
        if (type == kBool) return v[0] == 't' ? "1" : "0";
        if (type == kFloat4 || type == kFloat8 || type == kNumeric) return real(std::strtod(v, nullptr));
        return escaped(v);
    }

    QByteArray dumpPostgres(const QByteArray &sql) {
        PGresult *r = PQexec(m_pg, sql.constData());
        if (PQresultStatus(r) != PGRES_TUPLES_OK) setError(QString::fromUtf8(PQerrorMessage(m_pg)));
        const int n = PQnfields(r);
        QByteArray out = line(n, [&](int c) { return QByteArray(PQfname(r, c)); });
        for (int row = 0; row < PQntuples(r); ++row)
            out += line(n, [&](int c) { return postgresValue(r, row, c); });
        PQclear(r);
        return out;
    }

    void setError(const QString &e) {
        if (m_error.isEmpty()) m_error = e;
    }

    sqlite3 *m_sqlite = nullptr;
    PGconn *m_pg = nullptr;
    QString m_error;
};

// The log files of a folder, each under a "== name" line; the site's folder
// becomes @SITE@ and the date and time stamps of the entries @STAMP@ (their
// content keeps its dates).
inline QByteArray logsPart(const QString &logDir, const QString &site) {
    static const QRegularExpression stamp(QStringLiteral("^([ \\t]*(?:When|Date):) [^\\r\\n]*"),
                                          QRegularExpression::MultilineOption);
    QByteArray logs;
    const QDir dir(logDir);
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
        logs += "== " + name.toUtf8() + '\n' + readAll(dir.filePath(name));
    QString text = QString::fromUtf8(logs.replace(site.toUtf8(), "@SITE@"));
    text.replace(stamp, QStringLiteral("\\1 @STAMP@"));
    return text.toUtf8();
}

// Writes the parts, each under a "== part" line, in the given order.
inline bool writeDump(const QString &path, const Parts &parts, const QStringList &order) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    for (const QString &part : order)
        if (parts.contains(part)) f.write("== " + part.toUtf8() + '\n' + parts[part]);
    return true;
}

// A file of digests: "NAME PART SHA256" lines under a comment header, by
// "NAME PART".
inline QMap<QString, QByteArray> readDigests(const QString &path) {
    QMap<QString, QByteArray> digests;
    for (const QByteArray &line : readAll(path).split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() == 3 && !line.startsWith('#')) digests[QString::fromUtf8(f[0] + ' ' + f[1])] = f[2];
    }
    return digests;
}

// Sets a name's digests and rewrites the file: the header, then the lines by
// the rank of their name, each name's parts in `order`. Other processes may
// write the same file (CTest runs tests in parallel), so the file is read
// again under a lock (in the build folder, released when it closes) just
// before it is written.
inline bool writeDigests(const QString &path, const QString &name, const Parts &parts, const QStringList &order,
                         const QByteArray &header, const std::function<int(const QString &)> &nameRank) {
    QFile lock(QStringLiteral(HX_BINARY_DIR "/golden-digests.lock"));
    if (!lock.open(QIODevice::ReadWrite) || ::lockf(lock.handle(), F_LOCK, 0) != 0) return false;
    QMap<QString, QByteArray> digests = readDigests(path);
    for (const QString &part : order)
        digests[name + u' ' + part] = digest(parts.value(part));
    const auto rank = [&](const QString &k) {
        const QString n = k.section(u' ', 0, 0), part = k.section(u' ', 1);
        return std::tuple(nameRank(n), n, order.indexOf(part), part);
    };
    QStringList keys = digests.keys();
    std::sort(keys.begin(), keys.end(), [&](const QString &a, const QString &b) { return rank(a) < rank(b); });
    QByteArray text = header;
    for (const QString &k : keys)
        text += k.toUtf8() + ' ' + digests[k] + '\n';
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

// Runs of the host reduced to dumps and held to a file of digests, by engine
// and case. The databases a run makes on the test server are dropped after.
class GoldenDumpTest : public ::testing::TestWithParam<std::tuple<Engine, int>> {
protected:
    void TearDown() override {
        for (const QString &database : m_databases)
            runOnServer(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(database));
    }

    // A new database on the test server; empty, with a failure, when it
    // cannot be made.
    QString newDatabase(const QString &name) {
        if (!runOnServer(QStringLiteral("CREATE DATABASE %1").arg(name))) return {};
        m_databases << name;
        return name;
    }

    // The tables (by their key), the register and the logs of a site.
    static Parts readSite(TableReader &db, const std::vector<std::pair<const char *, const char *>> &tables,
                          const QString &site) {
        Parts parts;
        for (const auto &[table, key] : tables)
            parts[QString::fromLatin1(table)] = db.table(table, key);
        parts[QStringLiteral("register")] = sortedRows(db.table("PrevPunch", "1"));
        parts[QStringLiteral("logs")] = logsPart(site + QStringLiteral("/logs"), site);
        return parts;
    }

    // Holds a run's dump to the digests of `name`, or, with HX_WRITE_GOLDEN=1,
    // records them from the SQLite runs. A dump that differs, or is recorded,
    // is left in dumpDir as <engine>-<name>.dump, to diff with another run's.
    void check(const QString &goldenFile, const char *header, const std::function<int(const QString &)> &rank,
               const QString &name, const Parts &parts, const QStringList &order, const QString &dumpDir) {
        const Engine engine = std::get<0>(GetParam());
        const QString dump = QDir(dumpDir).filePath(QStringLiteral("%1-%2.dump").arg(engineName(engine), name));
        const bool writing = qEnvironmentVariable("HX_WRITE_GOLDEN") == QLatin1String("1") && engine == Engine::SQLite;
        const QMap<QString, QByteArray> recorded = readDigests(goldenFile);
        QStringList differing;
        for (const QString &part : order)
            if (!writing && recorded.value(name + u' ' + part) != digest(parts.value(part))) differing << part;
        if (writing) {
            EXPECT_TRUE(writeDigests(goldenFile, name, parts, order, header, rank)) << goldenFile.toStdString();
        }
        if (writing || !differing.isEmpty()) writeDump(dump, parts, order);
        EXPECT_TRUE(differing.isEmpty()) << name.toStdString() << " on " << engineName(engine)
                                         << " differs from its recorded result in "
                                         << differing.join(QStringLiteral(", ")).toStdString() << "; its dump is "
                                         << dump.toStdString();
    }

    QStringList m_databases;
};

// The test names: the engine, then the case.
inline std::string caseName(Engine engine, const QString &name) {
    return engineName(engine) + ("_" + QString(name).replace(u'-', u'_').toStdString());
}

} // namespace hx::test::canon
