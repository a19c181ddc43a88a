#pragma once
// What an import leaves, reduced to a canonical text that is the same on
// SQLite and PostgreSQL, and the files of SHA-256 digests that hold today's
// results part by part (tests/cli/data/*.sha256). The text of a table: a header line of the column names, then one line per
// row in the order of a stable key, values separated by "|": NULL as \N,
// integers and booleans as decimal numbers (booleans 1/0), reals to ten
// significant digits (%.10g), text as stored (the SQLite storage forms of
// dates and times, which are PostgreSQL's ISO forms too), with "\", "|" and
// line ends escaped.
#include "component/Database.h"
#include "support/PgSandbox.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <libpq-fe.h>
#include <map>
#include <optional>
#include <sqlite3.h>
#include <tuple>
#include <unistd.h>

namespace hx::test::canon {

inline void PrintTo(Engine e, std::ostream *os) {
    *os << (e == Engine::SQLite ? "SQLite" : "PostgreSQL");
}
inline const char *engineName(Engine e) {
    return e == Engine::SQLite ? "sqlite" : "postgresql";
}

// The parts of one dump by name.
using Parts = std::map<QString, QByteArray>;

inline void appendValue(QByteArray &out, const QByteArray &text) {
    for (char c : text) {
        if (c == '\\' || c == '|')
            out += '\\', out += c;
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
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

// The test server: the run's shared one, or one of this program's own,
// started only when a test on it runs.
inline PgSandbox &server() {
    static PgSandbox *s = [] {
        auto *p = new PgSandbox();
        p->SetUp();
        return p;
    }();
    return *s;
}

inline PGconn *connectPostgres(int port, const QString &database, QString *error) {
    const QByteArray conninfo =
        QStringLiteral("host=127.0.0.1 port=%1 user=hxtest dbname=%2").arg(port).arg(database).toUtf8();
    PGconn *c = PQconnectdb(conninfo.constData());
    if (PQstatus(c) != CONNECTION_OK) {
        *error = QString::fromUtf8(PQerrorMessage(c));
        PQfinish(c);
        return nullptr;
    }
    PQclear(PQexec(c, "SET DateStyle = ISO; SET extra_float_digits = 1"));
    return c;
}

inline bool runOnServer(int port, const QString &sql, QString *error) {
    PGconn *c = connectPostgres(port, QStringLiteral("hxtest"), error);
    if (!c) return false;
    PGresult *r = PQexec(c, sql.toUtf8().constData());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    if (!ok) *error = QString::fromUtf8(PQerrorMessage(c));
    PQclear(r);
    PQfinish(c);
    return ok;
}

// The tables of one database, read-only: an SQLite file or a database of the
// test server.
class TableReader {
public:
    TableReader(Engine engine, const QString &sqliteFile, int port, const QString &database) {
        if (engine == Engine::SQLite) {
            if (sqlite3_open_v2(sqliteFile.toUtf8().constData(), &m_sqlite, SQLITE_OPEN_READONLY, nullptr) !=
                SQLITE_OK)
                m_error = QString::fromUtf8(sqlite3_errmsg(m_sqlite));
        } else {
            m_pg = connectPostgres(port, database, &m_error);
        }
    }
    ~TableReader() {
        if (m_sqlite) sqlite3_close(m_sqlite);
        if (m_pg) PQfinish(m_pg);
    }
    TableReader(const TableReader &) = delete;
    TableReader &operator=(const TableReader &) = delete;

    // The first error met, empty while there is none.
    const QString &error() const { return m_error; }

    bool hasTable(const char *table) {
        if (m_sqlite) {
            sqlite3_stmt *st = nullptr;
            sqlite3_prepare_v2(m_sqlite, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?", -1,
                               &st, nullptr);
            sqlite3_bind_text(st, 1, table, -1, SQLITE_TRANSIENT);
            const bool found = sqlite3_step(st) == SQLITE_ROW;
            sqlite3_finalize(st);
            return found;
        }
        if (!m_pg) return false;
        const QByteArray quoted = QByteArray("\"") + table + '"';
        const char *values[] = {quoted.constData()};
        PGresult *r =
            PQexecParams(m_pg, "SELECT to_regclass($1) IS NOT NULL", 1, nullptr, values, nullptr, nullptr, 0);
        const bool found = PQresultStatus(r) == PGRES_TUPLES_OK && PQgetvalue(r, 0, 0)[0] == 't';
        PQclear(r);
        return found;
    }

    // The table's rows ordered by `key` (a column list, each name quoted).
    QByteArray table(const char *table, const char *key) {
        const QByteArray sql = "SELECT * FROM \"" + QByteArray(table) + "\" ORDER BY " + key;
        if (m_sqlite) return dumpSqlite(sql);
        if (m_pg) return dumpPostgres(sql);
        return {};
    }

private:
    // Values by their storage class: integers, reals to ten digits, text as
    // stored.
    QByteArray dumpSqlite(const QByteArray &sql) {
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(m_sqlite, sql.constData(), -1, &st, nullptr) != SQLITE_OK) {
            setError(QString::fromUtf8(sqlite3_errmsg(m_sqlite)));
            return {};
        }
        QByteArray out;
        const int n = sqlite3_column_count(st);
        for (int c = 0; c < n; ++c)
            out += (c ? "|" : "") + QByteArray(sqlite3_column_name(st, c));
        out += '\n';
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            for (int c = 0; c < n; ++c) {
                if (c) out += '|';
                const int type = sqlite3_column_type(st, c);
                if (type == SQLITE_NULL)
                    out += "\\N";
                else if (type == SQLITE_INTEGER)
                    out += QByteArray::number(sqlite3_column_int64(st, c));
                else if (type == SQLITE_FLOAT)
                    out += real(sqlite3_column_double(st, c));
                else if (type == SQLITE_BLOB)
                    out += "x'" + QByteArray(static_cast<const char *>(sqlite3_column_blob(st, c)), sqlite3_column_bytes(st, c)).toHex() + "'";
                else
                    appendValue(out, QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(st, c)),
                                                sqlite3_column_bytes(st, c)));
            }
            out += '\n';
        }
        if (rc != SQLITE_DONE) setError(QString::fromUtf8(sqlite3_errmsg(m_sqlite)));
        sqlite3_finalize(st);
        return out;
    }

    // The same text from PostgreSQL's text forms: booleans become 1/0, reals
    // go through the same ten digits.
    QByteArray dumpPostgres(const QByteArray &sql) {
        PGresult *r = PQexec(m_pg, sql.constData());
        QByteArray out;
        if (PQresultStatus(r) != PGRES_TUPLES_OK) {
            setError(QString::fromUtf8(PQerrorMessage(m_pg)));
            PQclear(r);
            return {};
        }
        enum { kBool = 16, kFloat4 = 700, kFloat8 = 701, kNumeric = 1700 };
        const int n = PQnfields(r);
        for (int c = 0; c < n; ++c)
            out += (c ? "|" : "") + QByteArray(PQfname(r, c));
        out += '\n';
        for (int row = 0; row < PQntuples(r); ++row) {
            for (int c = 0; c < n; ++c) {
                if (c) out += '|';
                const char *v = PQgetvalue(r, row, c);
                if (PQgetisnull(r, row, c))
                    out += "\\N";
                else if (PQftype(r, c) == kBool)
                    out += v[0] == 't' ? "1" : "0";
                else if (PQftype(r, c) == kFloat4 || PQftype(r, c) == kFloat8 || PQftype(r, c) == kNumeric)
                    out += real(std::strtod(v, nullptr));
                else
                    appendValue(out, v);
            }
            out += '\n';
        }
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

// The register of seen records: the rows of its table in byte order (a host
// of a version before the table: its file PrevPunch.xml).
inline QByteArray registerPart(TableReader &db, const QString &appDir) {
    return db.hasTable("PrevPunch") ? sortedRows(db.table("PrevPunch", "1"))
                                    : readAll(QDir(appDir).filePath(QStringLiteral("PrevPunch.xml")));
}

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
        if (parts.count(part)) f.write("== " + part.toUtf8() + '\n' + parts.at(part));
    return true;
}

// A file of digests: "NAME PART SHA256" lines under a comment header.
class GoldenFile {
public:
    explicit GoldenFile(QString path) : m_path(std::move(path)) {
        for (const QByteArray &line : readAll(m_path).split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() == 3 && !line.startsWith('#'))
                m_digests[QString::fromUtf8(f[0] + ' ' + f[1])] = f[2];
        }
    }

    bool has(const QString &name, const QString &part) const { return m_digests.count(key(name, part)) > 0; }
    QByteArray digest(const QString &name, const QString &part) const {
        auto it = m_digests.find(key(name, part));
        return it == m_digests.end() ? QByteArray() : it->second;
    }
    // The parts whose digest differs from, or is missing in, the file.
    QStringList differing(const QString &name, const Parts &parts, const QStringList &order) const {
        QStringList out;
        for (const QString &part : order)
            if (digest(name, part) != canon::digest(parts.count(part) ? parts.at(part) : QByteArray()))
                out << part;
        return out;
    }

    // Sets a name's digests and rewrites the file: the header, then the lines
    // by the rank of their name, each name's parts in `order`. Other processes
    // may write the same file (CTest runs tests in parallel), so the file is
    // read again under a lock (in the build folder) just before it is written.
    bool update(const QString &name, const Parts &parts, const QStringList &order, const QByteArray &header,
                const std::function<int(const QString &)> &nameRank) {
        QFile lock(QStringLiteral(HX_BINARY_DIR "/golden-digests.lock"));
        if (!lock.open(QIODevice::ReadWrite)) return false;
        struct Locked {
            int fd;
            explicit Locked(int f) : fd(f) { (void)::lockf(fd, F_LOCK, 0); }
            ~Locked() { (void)::lockf(fd, F_ULOCK, 0); }
        } locked(lock.handle());
        GoldenFile current(m_path);
        for (const QString &part : order)
            current.m_digests[key(name, part)] =
                canon::digest(parts.count(part) ? parts.at(part) : QByteArray());
        const auto rank = [&](const QString &k) {
            const QString n = k.section(u' ', 0, 0), part = k.section(u' ', 1);
            return std::tuple(nameRank(n), n, order.indexOf(part), part);
        };
        std::vector<std::pair<QString, QByteArray>> lines(current.m_digests.begin(), current.m_digests.end());
        std::stable_sort(lines.begin(), lines.end(),
                         [&](const auto &a, const auto &b) { return rank(a.first) < rank(b.first); });
        QByteArray text = header;
        for (const auto &[k, d] : lines)
            text += k.toUtf8() + ' ' + d + '\n';
        QFile f(m_path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
        return f.write(text) == text.size();
    }

private:
    static QString key(const QString &name, const QString &part) { return name + u' ' + part; }

    QString m_path;
    std::map<QString, QByteArray> m_digests;
};

// Runs of the host reduced to dumps and held to a file of digests, by engine
// and case. The databases a run makes on the test server are dropped after.
class GoldenDumpTest : public ::testing::TestWithParam<std::tuple<Engine, int>> {
protected:
    void TearDown() override {
        QString error;
        for (const QString &database : m_databases)
            if (!runOnServer(server().port(), QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(database),
                             &error))
                ADD_FAILURE() << error.toStdString();
    }

    // A new database on the test server (CREATE DATABASE name options);
    // empty, with a failure, when it cannot be made.
    QString newDatabase(const QString &name, const QString &options = QString()) {
        QString error;
        if (server().port() <= 0)
            ADD_FAILURE() << "the PostgreSQL test server did not start: " << server().error().toStdString();
        else if (!runOnServer(server().port(), QStringLiteral("CREATE DATABASE %1").arg(name) + options, &error))
            ADD_FAILURE() << error.toStdString();
        else
            return m_databases << name, name;
        return {};
    }

    // The tables (by their key), the register and the logs of a site.
    static Parts readSite(TableReader &db, const std::vector<std::pair<const char *, const char *>> &tables,
                          const QString &site) {
        Parts parts;
        for (const auto &[table, key] : tables)
            parts[QString::fromLatin1(table)] = db.table(table, key);
        parts[QStringLiteral("register")] = registerPart(db, site + QStringLiteral("/app"));
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
        GoldenFile golden(goldenFile);
        const bool writing = qEnvironmentVariable("HX_WRITE_GOLDEN") == QLatin1String("1") && engine == Engine::SQLite;
        const QStringList differing = writing ? QStringList() : golden.differing(name, parts, order);
        if (writing) {
            EXPECT_TRUE(golden.update(name, parts, order, header, rank)) << goldenFile.toStdString();
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
    return std::string(engine == Engine::SQLite ? "sqlite_" : "postgresql_") +
           QString(name).replace(QLatin1Char('-'), QLatin1Char('_')).toStdString();
}

} // namespace hx::test::canon
