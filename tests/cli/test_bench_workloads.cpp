// The benchmark workloads, imported by the host, leave exactly the rows, the
// register of seen records and the log they left before the import was made
// faster. Each run
// is reduced to a canonical text, the same on SQLite and PostgreSQL, and a
// SHA-256 per part is compared with tests/cli/data/bench_workloads.sha256.
//
//   HX_GOLDEN_CLI=PATH   runs that host instead of the one built here
//   HX_WRITE_GOLDEN=1    the SQLite runs rewrite their lines of the file
//                        instead of checking them
//
// A mismatch, and every run of a given host, leaves the whole dump in
// build/bench-workloads/ to diff against another host's.
#include "support/PgSandbox.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <map>
#include <sqlite3.h>

using namespace Qt::Literals::StringLiterals;

namespace {

struct Workload {
    const char *name;
    QStringList args;
};

const Workload kWorkloads[] = {
    {"target", {u"--records"_s, u"20000"_s, u"--clocks"_s, u"2"_s}},
    {"history",
     {u"--records"_s, u"8000"_s, u"--employees"_s, u"200"_s, u"--clocks"_s, u"4"_s, u"--missing-in"_s, u"7"_s,
      u"--history"_s, u"20000"_s, u"--register"_s, u"30000"_s}},
    // A hand reader: directions decided by the import, repeats removed.
    {"handreader",
     {u"--records"_s, u"6000"_s, u"--employees"_s, u"150"_s, u"--clocks"_s, u"2"_s, u"--missing-in"_s, u"9"_s,
      u"--biometric"_s}},
};

// The tables and the order of their rows.
const std::pair<const char *, const char *> kTables[] = {
    {"PUNCH", "ID"}, {"EMPLOYEE", "EMPLOYEE ID"}, {"TCRULES", "ID"}, {"AccessPunch", "ID"}};

const QString kGoldenFile = QStringLiteral(HX_SOURCE_DIR "/tests/cli/data/bench_workloads.sha256");

// One value as the dump writes it: "|", "\" and line ends escaped so that
// \N (null) and the column separator stay unambiguous.
void appendValue(QByteArray &out, const QByteArray &text) {
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

QByteArray real(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

// Rows of an SQLite table by their storage class: integers, reals to ten
// digits, text as stored (the storage forms of dates and times).
QByteArray dumpSqlite(sqlite3 *db, const char *table, const char *key, QString *error) {
    const QByteArray sql = "SELECT * FROM \"" + QByteArray(table) + "\" ORDER BY \"" + key + "\"";
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) != SQLITE_OK) {
        *error = QString::fromUtf8(sqlite3_errmsg(db));
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
            switch (sqlite3_column_type(st, c)) {
            case SQLITE_NULL:
                out += "\\N";
                break;
            case SQLITE_INTEGER:
                out += QByteArray::number(sqlite3_column_int64(st, c));
                break;
            case SQLITE_FLOAT:
                out += real(sqlite3_column_double(st, c));
                break;
            case SQLITE_BLOB:
                out += "x'" +
                       QByteArray(static_cast<const char *>(sqlite3_column_blob(st, c)),
                                  sqlite3_column_bytes(st, c))
                           .toHex() +
                       "'";
                break;
            default:
                appendValue(out, QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(st, c)),
                                            sqlite3_column_bytes(st, c)));
            }
        }
        out += '\n';
    }
    if (rc != SQLITE_DONE) *error = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(st);
    return out;
}

// The same text from PostgreSQL's text forms: booleans become 1/0, reals go
// through the same ten digits; ISO dates, times and timestamps are already
// the SQLite storage forms.
QByteArray dumpPostgres(PGconn *db, const char *table, const char *key, QString *error) {
    const QByteArray sql = "SELECT * FROM \"" + QByteArray(table) + "\" ORDER BY \"" + key + "\"";
    PGresult *r = PQexec(db, sql.constData());
    QByteArray out;
    if (PQresultStatus(r) != PGRES_TUPLES_OK) {
        *error = QString::fromUtf8(PQerrorMessage(db));
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

PGconn *connectPostgres(int port, const QString &database, QString *error) {
    const QByteArray conninfo =
        u"host=127.0.0.1 port=%1 user=hxtest dbname=%2"_s.arg(port).arg(database).toUtf8();
    PGconn *c = PQconnectdb(conninfo.constData());
    if (PQstatus(c) != CONNECTION_OK) {
        *error = QString::fromUtf8(PQerrorMessage(c));
        PQfinish(c);
        return nullptr;
    }
    PQclear(PQexec(c, "SET DateStyle = ISO; SET extra_float_digits = 1"));
    return c;
}

bool runOnServer(int port, const QString &sql, QString *error) {
    PGconn *c = connectPostgres(port, u"hxtest"_s, error);
    if (!c) return false;
    PGresult *r = PQexec(c, sql.toUtf8().constData());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    if (!ok) *error = QString::fromUtf8(PQerrorMessage(c));
    PQclear(r);
    PQfinish(c);
    return ok;
}

// The header line, then the rows in byte order: the register's rows have no
// order of their own, and the engines' collations differ.
QByteArray sortedRows(const QByteArray &dump) {
    QList<QByteArray> lines = dump.split('\n');
    if (lines.size() < 2) return dump;
    lines.removeLast(); // after the last line end
    std::sort(lines.begin() + 1, lines.end());
    return lines.join('\n') + '\n';
}

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The test server: the run's shared one, or one of this program's own,
// started only when a test on it runs.
hx::test::PgSandbox &server() {
    static hx::test::PgSandbox *s = [] {
        auto *p = new hx::test::PgSandbox();
        p->SetUp();
        return p;
    }();
    return *s;
}

enum class Engine { SQLite, PostgreSQL };
void PrintTo(Engine e, std::ostream *os) {
    *os << (e == Engine::SQLite ? "SQLite" : "PostgreSQL");
}

class BenchWorkloads : public ::testing::TestWithParam<std::tuple<Engine, int>> {
protected:
    using Parts = std::map<QString, QByteArray>;
    static constexpr const char *kPartOrder[] = {"PUNCH",       "EMPLOYEE", "TCRULES",
                                                 "AccessPunch", "register", "logs"};

    void TearDown() override {
        QString error;
        if (!m_database.isEmpty() &&
            !runOnServer(server().port(), u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(m_database),
                         &error))
            ADD_FAILURE() << error.toStdString();
    }

    static QString givenHost() { return qEnvironmentVariable("HX_GOLDEN_CLI"); }

    // Runs the benchmark's site and import in `site`; the database's URL or
    // empty for the SQLite file.
    void runPipeline(const Workload &w, const QString &site, const QString &url) {
        QStringList args = w.args;
        args << u"--cli"_s << (givenHost().isEmpty() ? QStringLiteral(HX_CLI_PATH) : givenHost())
             << u"--keep"_s << site;
        if (!url.isEmpty()) args << u"--db"_s << url;
        QProcess p;
        // The host's texts must not follow the machine they run on.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"TZ"_s, u"America/New_York"_s);
        env.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(HX_BENCH_PIPELINE), args);
        ASSERT_TRUE(p.waitForFinished(600000)) << "bench_pipeline did not finish";
        const QByteArray out = p.readAll();
        ASSERT_EQ(p.exitStatus(), QProcess::NormalExit) << out.toStdString();
        ASSERT_EQ(p.exitCode(), 0) << out.toStdString();
    }

    Parts dump(const QString &site, int port) {
        Parts parts;
        QString error;
        if (port == 0) {
            sqlite3 *db = nullptr;
            const QByteArray file = QDir(site).filePath(u"site.db"_s).toUtf8();
            EXPECT_EQ(sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
            for (const auto &[table, key] : kTables)
                parts[QString::fromLatin1(table)] = dumpSqlite(db, table, key, &error);
            parts[u"register"_s] = sortedRows(dumpSqlite(db, "PrevPunch", "PunchDate", &error));
            sqlite3_close(db);
        } else if (PGconn *db = connectPostgres(port, m_database, &error)) {
            for (const auto &[table, key] : kTables)
                parts[QString::fromLatin1(table)] = dumpPostgres(db, table, key, &error);
            parts[u"register"_s] = sortedRows(dumpPostgres(db, "PrevPunch", "PunchDate", &error));
            PQfinish(db);
        }
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();

        QByteArray logs;
        const QDir logDir(QDir(site).filePath(u"logs"_s));
        for (const QString &name : logDir.entryList(QDir::Files, QDir::Name))
            logs += "== " + name.toUtf8() + '\n' + readAll(logDir.filePath(name));
        parts[u"logs"_s] = logs.replace(site.toUtf8(), "@SITE@");
        return parts;
    }

    static std::map<QString, QByteArray> readGolden() {
        std::map<QString, QByteArray> golden;
        for (const QByteArray &line : readAll(kGoldenFile).split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() == 3 && !line.startsWith('#')) golden[QString::fromUtf8(f[0] + ' ' + f[1])] = f[2];
        }
        return golden;
    }

    static void writeGolden(const std::map<QString, QByteArray> &golden) {
        QByteArray text = "# SHA-256 of the canonical dump of each benchmark workload, part by part\n"
                          "# (tests/cli/test_bench_workloads.cpp; HX_WRITE_GOLDEN=1 rewrites it).\n";
        for (const Workload &w : kWorkloads)
            for (const char *part : kPartOrder) {
                const QString key = QString::fromLatin1(w.name) + u' ' + QString::fromLatin1(part);
                if (golden.count(key)) text += key.toUtf8() + ' ' + golden.at(key) + '\n';
            }
        QFile f(kGoldenFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << kGoldenFile.toStdString();
        f.write(text);
    }

    QString m_database;
};

TEST_P(BenchWorkloads, LeaveTheRowsRegisterAndLogTheyLeftBefore) {
    const auto [engine, index] = GetParam();
    const Workload &w = kWorkloads[index];
    const bool writing = qEnvironmentVariable("HX_WRITE_GOLDEN") == u"1"_s && engine == Engine::SQLite;

    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString site = tmp.filePath(u"site"_s);
    int port = 0;
    QString url;
    if (engine == Engine::PostgreSQL) {
        port = server().port();
        ASSERT_GT(port, 0) << "the PostgreSQL test server did not start: " << server().error().toStdString();
        m_database = hx::test::PgSandbox::database(u"hx_bench_%1"_s.arg(QString::fromLatin1(w.name)));
        QString error;
        ASSERT_TRUE(runOnServer(port, u"CREATE DATABASE %1"_s.arg(m_database), &error))
            << error.toStdString();
        url = server().url(m_database);
    }
    ASSERT_NO_FATAL_FAILURE(runPipeline(w, site, url));
    const Parts parts = dump(site, port);

    std::map<QString, QByteArray> golden = readGolden();
    QStringList differing;
    for (const char *part : kPartOrder) {
        const QString key = QString::fromLatin1(w.name) + u' ' + QString::fromLatin1(part);
        const QByteArray digest =
            QCryptographicHash::hash(parts.at(QString::fromLatin1(part)), QCryptographicHash::Sha256).toHex();
        if (writing)
            golden[key] = digest;
        else if (golden.count(key) == 0 || golden.at(key) != digest)
            differing << QString::fromLatin1(part);
    }
    if (writing) writeGolden(golden);

    if (!differing.isEmpty() || !givenHost().isEmpty() || writing) {
        const QString name = u"%1-%2%3.dump"_s.arg(engine == Engine::SQLite ? u"sqlite"_s : u"postgresql"_s,
                                                   QString::fromLatin1(w.name),
                                                   givenHost().isEmpty() ? QString() : u".given"_s);
        const QString path = QStringLiteral(HX_BINARY_DIR "/bench-workloads/") + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        for (const char *part : kPartOrder)
            f.write("== " + QByteArray(part) + '\n' + parts.at(QString::fromLatin1(part)));
        EXPECT_TRUE(differing.isEmpty())
            << "the workload \"" << w.name << "\" differs from before in "
            << differing.join(u", "_s).toStdString() << "; its dump is " << path.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Workloads, BenchWorkloads,
                         ::testing::Combine(::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                                            ::testing::Range(0, int(std::size(kWorkloads)))),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param) == Engine::SQLite ? "sqlite_"
                                                                                          : "postgresql_") +
                                    kWorkloads[std::get<1>(info.param)].name;
                         });

} // namespace
