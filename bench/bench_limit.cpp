// The bare limit of the database for an import: the punches of the pipeline
// benchmark's workload posted straight through the SQLite C API, one indexed
// look-up of the employee's open pair and one row written (a new pair, or
// the pair closed) per punch, each statement its own transaction (WAL,
// synchronous=NORMAL). It is measured once more inside one transaction, as
// the host's import is one unit of work. Then, when the host program is
// there, the same workload end to end through bench_pipeline, so that the
// numbers come from one run of a noisy machine.
//
//   bench_limit [--records N] [--employees N] [--clocks N] [--cli PATH]
//               [--db URL [--runs N]]
//
// The last line, the ratio to the limit in one transaction, is the headline.
// PATH defaults to the hxpolllog beside this program's folder (build/); the
// end-to-end run is left out when it is not there and --cli was not given.
//
// --db measures on a PostgreSQL server instead: URL (postgresql://... or
// key=value) names a database of a role that may create databases; the
// benchmark makes empty databases beside it, one for each run, and drops them
// afterwards. The bare workload goes through libpq in one transaction, each
// statement prepared once and run with its values bound (two round trips a
// punch: the look-up, then the write). Then bench_pipeline imports the same
// punches end to end into an empty database of the same server, and once more
// under strace (--trace) for its round trips. Each is run N times (3) and the
// medians are printed: the ratio of the import's throughput to the bare
// workload's (taken in each run), the import's round trips per punch (its sends, an upper
// bound: see bench_pipeline), its server statements per punch (counted by
// pg_stat_statements, which the server must load) and its peak memory. A
// private server for it:
//
//   export HX_PG_DURABLE=1 HX_PG_OPTIONS="-c shared_preload_libraries=pg_stat_statements"
//   tests/pg/pg_server.sh start /tmp/hxbench
//   bench_limit --records 100000 --db "postgresql://hxtest@127.0.0.1:$(cat /tmp/hxbench/port)/hxtest"
//   tests/pg/pg_server.sh stop /tmp/hxbench
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <libpq-fe.h>
#include <limits>
#include <map>
#include <sqlite3.h>
#include <unistd.h>
#include <string>
#include <vector>

namespace {
// The day before the pipeline benchmark's clock: its last working day.
const QDate kLastDay(2007, 4, 25);

struct Punch {
    int employee;
    std::string date, time;
    bool in;
};

int fail(const char *text, sqlite3 *db = nullptr) {
    std::fprintf(stderr, "bench_limit: %s%s%s\n", text, db ? ": " : "", db ? sqlite3_errmsg(db) : "");
    return 1;
}

// Four punches a working day per employee (in, lunch out, lunch in, out),
// the days and minutes the pipeline benchmark gives them.
std::vector<Punch> makePunches(int employees, int records) {
    const int perDay = employees * 4;
    const int days = (records + perDay - 1) / perDay;
    std::vector<QDate> workdays;
    for (QDate d = kLastDay; int(workdays.size()) < days; d = d.addDays(-1))
        if (d.dayOfWeek() <= 5) workdays.insert(workdays.begin(), d);
    std::vector<Punch> punches;
    punches.reserve(size_t(records));
    for (const QDate &day : workdays) {
        const std::string date = day.toString(QStringLiteral("yyyy-MM-dd")).toStdString();
        for (int i = 0; i < employees && int(punches.size()) < records; ++i) {
            const int jitter = (i * 7 + day.day()) % 9;
            const std::pair<QTime, bool> four[] = {{QTime(7, 52).addSecs(60 * jitter), true},
                                                   {QTime(12, 0).addSecs(60 * (jitter % 4)), false},
                                                   {QTime(12, 28).addSecs(60 * (jitter % 5)), true},
                                                   {QTime(16, 30).addSecs(60 * jitter), false}};
            for (const auto &[t, in] : four)
                if (int(punches.size()) < records)
                    punches.push_back(
                        {i + 1, date, t.toString(QStringLiteral("HH:mm:ss")).toStdString(), in});
        }
    }
    return punches;
}

bool bindText(sqlite3_stmt *st, int i, const std::string &s) {
    return sqlite3_bind_text(st, i, s.data(), int(s.size()), SQLITE_STATIC) == SQLITE_OK;
}

// Posts every punch, each statement its own transaction unless
// oneTransaction; returns the seconds taken or a negative number.
double post(sqlite3 *db, const std::vector<Punch> &punches, bool oneTransaction) {
    const char *const sql[] = {
        R"(SELECT "ID" FROM "PUNCH" WHERE "EMPLOYEE ID" = ? AND "IN DATE" = ? AND "OUT TIME" IS NULL )"
        R"(ORDER BY "IN TIME" DESC LIMIT 1)",
        R"(INSERT INTO "PUNCH" ("EMPLOYEE ID", "IN DATE", "IN TIME") VALUES (?, ?, ?))",
        R"(UPDATE "PUNCH" SET "OUT TIME" = ? WHERE "ID" = ?)",
        R"(INSERT INTO "PUNCH" ("EMPLOYEE ID", "IN DATE", "OUT TIME") VALUES (?, ?, ?))"};
    sqlite3_stmt *st[4] = {};
    for (int i = 0; i < 4; ++i)
        if (sqlite3_prepare_v3(db, sql[i], -1, SQLITE_PREPARE_PERSISTENT, &st[i], nullptr) != SQLITE_OK) {
            for (sqlite3_stmt *s : st)
                sqlite3_finalize(s);
            return -1;
        }
    sqlite3_stmt *const find = st[0], *const open = st[1], *const close = st[2], *const lone = st[3];

    QElapsedTimer timer;
    timer.start();
    bool ok = !oneTransaction || sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    for (const Punch &p : punches) {
        sqlite3_bind_int(find, 1, p.employee);
        bindText(find, 2, p.date);
        const int rc = sqlite3_step(find);
        const sqlite3_int64 pair = rc == SQLITE_ROW ? sqlite3_column_int64(find, 0) : 0;
        ok = ok && (rc == SQLITE_ROW || rc == SQLITE_DONE);
        sqlite3_reset(find);
        sqlite3_stmt *write = p.in ? open : pair ? close : lone;
        if (write == close) {
            bindText(close, 1, p.time);
            sqlite3_bind_int64(close, 2, pair);
        } else {
            sqlite3_bind_int(write, 1, p.employee);
            bindText(write, 2, p.date);
            bindText(write, 3, p.time);
        }
        ok = ok && sqlite3_step(write) == SQLITE_DONE;
        sqlite3_reset(write);
        if (!ok) break;
    }
    if (ok && oneTransaction) ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    const double seconds = timer.nsecsElapsed() / 1e9;
    for (sqlite3_stmt *s : st)
        sqlite3_finalize(s);
    return ok ? seconds : -1;
}

// The import of the same workload through bench_pipeline; its punches per
// second, or a negative number.
double endToEnd(const QString &cli, int employees, int records, int clocks) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("bench_pipeline")),
                {QStringLiteral("--cli"), cli, QStringLiteral("--employees"), QString::number(employees),
                 QStringLiteral("--records"), QString::number(records), QStringLiteral("--clocks"),
                 QString::number(clocks)});
    child.closeWriteChannel();
    if (!child.waitForFinished(-1)) return -1;
    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        std::printf("  %s\n", line.toLocal8Bit().constData());
    const auto m = QRegularExpression(QStringLiteral("^throughput: (\\d+) punches per second$"),
                                      QRegularExpression::MultilineOption)
                       .match(out);
    return child.exitCode() == 0 && m.hasMatch() ? m.captured(1).toDouble() : -1;
}

// ---------------------------------------------------------------- PostgreSQL

// The connection text of `url` with its database replaced, as key=value.
QString withDatabase(const QString &url, const QString &database) {
    char *error = nullptr;
    PQconninfoOption *parsed = PQconninfoParse(url.toUtf8().constData(), &error);
    PQfreemem(error);
    if (!parsed) return QString();
    QStringList out;
    for (const PQconninfoOption *o = parsed; o->keyword; ++o) {
        if (!o->val || qstrcmp(o->keyword, "dbname") == 0) continue;
        QString v = QString::fromUtf8(o->val);
        v.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'"));
        out << QString::fromUtf8(o->keyword) + QLatin1String("='") + v + QLatin1Char('\'');
    }
    PQconninfoFree(parsed);
    // Key=value text starts with a libpq keyword, which is how the host
    // program knows it from a file name.
    out.prepend(QStringLiteral("dbname='%1'").arg(database));
    return out.join(QLatin1Char(' '));
}

bool pgCommand(PGconn *conn, const char *sql) {
    PGresult *res = PQexec(conn, sql);
    const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK || PQresultStatus(res) == PGRES_TUPLES_OK;
    if (!ok) std::fprintf(stderr, "bench_limit: %s: %s", sql, PQerrorMessage(conn));
    PQclear(res);
    return ok;
}

// An empty database beside the one of `admin`, dropped when it goes.
class ScratchDatabase {
public:
    ScratchDatabase(PGconn *admin, const QString &url, const QString &name) : m_admin(admin), m_name(name) {
        const QByteArray drop = QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name).toUtf8();
        const QByteArray create = QStringLiteral("CREATE DATABASE %1").arg(name).toUtf8();
        if (pgCommand(admin, drop.constData()) && pgCommand(admin, create.constData()))
            m_url = withDatabase(url, name);
    }
    ~ScratchDatabase() {
        pgCommand(m_admin, QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_name).toUtf8().constData());
    }
    const QString &url() const { return m_url; }

private:
    PGconn *m_admin;
    QString m_name, m_url;
};

// The bare workload in one transaction on the server; the seconds taken, or
// a negative number after saying why.
double measurePg(const QString &url, const std::vector<Punch> &punches) {
    PGconn *conn = PQconnectdb(url.toUtf8().constData());
    double seconds = -1;
    const auto done = [&](double result) {
        PQfinish(conn);
        return result;
    };
    if (PQstatus(conn) != CONNECTION_OK) {
        std::fprintf(stderr, "bench_limit: cannot connect: %s", PQerrorMessage(conn));
        return done(-1);
    }
    if (!pgCommand(conn, R"(CREATE TABLE "PUNCH" ("ID" SERIAL PRIMARY KEY, "EMPLOYEE ID" INTEGER,
                              "IN DATE" DATE, "IN TIME" TIME, "OUT TIME" TIME))") ||
        !pgCommand(conn, R"(CREATE INDEX "PUNCH_EMPLOYEE_IN" ON "PUNCH" ("EMPLOYEE ID", "IN DATE", "IN TIME"))"))
        return done(-1);
    const char *const sql[] = {
        R"(SELECT "ID" FROM "PUNCH" WHERE "EMPLOYEE ID" = $1 AND "IN DATE" = $2 AND "OUT TIME" IS NULL )"
        R"(ORDER BY "IN TIME" DESC LIMIT 1)",
        R"(INSERT INTO "PUNCH" ("EMPLOYEE ID", "IN DATE", "IN TIME") VALUES ($1, $2, $3))",
        R"(UPDATE "PUNCH" SET "OUT TIME" = $1 WHERE "ID" = $2)",
        R"(INSERT INTO "PUNCH" ("EMPLOYEE ID", "IN DATE", "OUT TIME") VALUES ($1, $2, $3))"};
    const char *const names[] = {"find", "open", "close", "lone"};
    for (int i = 0; i < 4; ++i) {
        PGresult *res = PQprepare(conn, names[i], sql[i], 0, nullptr);
        const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK;
        PQclear(res);
        if (!ok) {
            std::fprintf(stderr, "bench_limit: cannot prepare: %s", PQerrorMessage(conn));
            return done(-1);
        }
    }
    const auto run = [&](const char *name, std::initializer_list<const char *> values,
                         std::string *first) -> bool {
        PGresult *res = PQexecPrepared(conn, name, int(values.size()), values.begin(), nullptr, nullptr, 0);
        const ExecStatusType status = PQresultStatus(res);
        const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
        if (first) *first = ok && PQntuples(res) > 0 ? PQgetvalue(res, 0, 0) : "";
        if (!ok) std::fprintf(stderr, "bench_limit: %s: %s", name, PQerrorMessage(conn));
        PQclear(res);
        return ok;
    };
    QElapsedTimer timer;
    timer.start();
    bool ok = pgCommand(conn, "BEGIN");
    std::string pair;
    for (const Punch &p : punches) {
        const std::string employee = std::to_string(p.employee);
        ok = ok && run("find", {employee.c_str(), p.date.c_str()}, &pair);
        if (!ok) break;
        if (p.in)
            ok = run("open", {employee.c_str(), p.date.c_str(), p.time.c_str()}, nullptr);
        else if (!pair.empty())
            ok = run("close", {p.time.c_str(), pair.c_str()}, nullptr);
        else
            ok = run("lone", {employee.c_str(), p.date.c_str(), p.time.c_str()}, nullptr);
    }
    ok = ok && pgCommand(conn, "COMMIT");
    seconds = timer.nsecsElapsed() / 1e9;
    if (!ok) return done(-1);
    PGresult *res =
        PQexec(conn, R"(SELECT COUNT(*) FROM "PUNCH" WHERE "IN TIME" IS NOT NULL AND "OUT TIME" IS NOT NULL)");
    const long pairs = PQresultStatus(res) == PGRES_TUPLES_OK ? std::atol(PQgetvalue(res, 0, 0)) : -1;
    PQclear(res);
    if (pairs != std::count_if(punches.begin(), punches.end(), [](const Punch &p) { return !p.in; })) {
        fail("the out punches did not all close a pair");
        return done(-1);
    }
    return done(seconds);
}

// One run of bench_pipeline; its output's lines by what they start with
// ("throughput", "peak memory of the import", ...), or empty on failure.
std::map<QString, QString> pipelineRun(const QStringList &args) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("bench_pipeline")), args);
    child.closeWriteChannel();
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return {};
    std::map<QString, QString> lines;
    for (const QString &line :
         QString::fromLocal8Bit(child.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        std::printf("    %s\n", line.toLocal8Bit().constData());
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0) lines[line.left(colon)] = line.mid(colon + 1).trimmed();
    }
    return lines;
}

// The first number in a text, NaN when there is none.
double numberIn(const QString &text, int which = 0) {
    static const QRegularExpression number(QStringLiteral("[0-9]+(\\.[0-9]+)?"));
    auto it = number.globalMatch(text);
    for (int i = 0; it.hasNext(); ++i) {
        const auto m = it.next();
        if (i == which) return m.captured(0).toDouble();
    }
    return std::numeric_limits<double>::quiet_NaN();
}

double median(std::vector<double> v) {
    v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return x != x; }), v.end());
    if (v.empty()) return std::numeric_limits<double>::quiet_NaN();
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

int runOnServer(const QString &url, const QString &cli, const std::vector<Punch> &punches, int employees,
                int records, int clocks, int runs) {
    PGconn *admin = PQconnectdb(url.toUtf8().constData());
    if (PQstatus(admin) != CONNECTION_OK) {
        std::fprintf(stderr, "bench_limit: cannot connect: %s", PQerrorMessage(admin));
        PQfinish(admin);
        return 1;
    }
    pgCommand(admin, "SET client_min_messages = warning");
    const QString prefix = QStringLiteral("hxbench_%1_").arg(getpid());
    const QStringList common = {QStringLiteral("--cli"),     cli,
                                QStringLiteral("--employees"), QString::number(employees),
                                QStringLiteral("--records"), QString::number(records),
                                QStringLiteral("--clocks"),  QString::number(clocks)};
    // The ratio is taken run by run: the load of a shared machine drifts
    // between runs more than between the two halves of one.
    std::vector<double> bare, e2e, ratios, statements, peak;
    int status = 0;
    for (int run = 1; run <= runs && status == 0; ++run) {
        std::printf("run %d of %d\n", run, runs);
        {
            ScratchDatabase scratch(admin, url, prefix + QStringLiteral("bare"));
            const double s = scratch.url().isEmpty() ? -1 : measurePg(scratch.url(), punches);
            if (s <= 0) {
                status = fail("the bare workload failed");
                break;
            }
            bare.push_back(punches.size() / s);
            std::printf("  bare workload in one transaction: %.0f punches per second (%.3f s)\n",
                        punches.size() / s, s);
        }
        ScratchDatabase scratch(admin, url, prefix + QStringLiteral("import"));
        std::printf("  the import:\n");
        const auto out = scratch.url().isEmpty()
                             ? std::map<QString, QString>{}
                             : pipelineRun(common + QStringList{QStringLiteral("--db"), scratch.url()});
        if (out.empty()) {
            status = fail("the end-to-end import through bench_pipeline failed");
            break;
        }
        const auto get = [&](const char *key) {
            const auto it = out.find(QString::fromLatin1(key));
            return it == out.end() ? QString() : it->second;
        };
        e2e.push_back(numberIn(get("throughput")));
        ratios.push_back(e2e.back() / bare.back());
        peak.push_back(numberIn(get("peak memory of the import")));
        statements.push_back(numberIn(get("server statements"), 1));
    }
    double trips = std::numeric_limits<double>::quiet_NaN();
    if (status == 0) {
        ScratchDatabase scratch(admin, url, prefix + QStringLiteral("trace"));
        std::printf("the import under strace:\n");
        const auto out =
            scratch.url().isEmpty()
                ? std::map<QString, QString>{}
                : pipelineRun(common + QStringList{QStringLiteral("--db"), scratch.url(), QStringLiteral("--trace")});
        const auto it = out.find(QStringLiteral("round trips"));
        if (it == out.end())
            status = fail("the import under strace failed");
        else
            trips = numberIn(it->second, 1);
    }
    PQfinish(admin);
    if (status) return status;
    const double b = median(bare), e = median(e2e);
    std::printf("medians of %d runs, %zu punches (%d employees):\n", runs, punches.size(), employees);
    std::printf("bare workload in one transaction: %.0f punches per second\n", b);
    std::printf("end to end: %.0f punches per second\n", e);
    std::printf("ratio to the bare workload in one transaction: %.2f\n", median(ratios));
    std::printf("round trips per punch (sends): %.3f\n", trips);
    std::printf("server statements per punch: %.3f\n", median(statements));
    std::printf("peak memory of the import: %.1f MiB\n", median(peak));
    return 0;
}

// Posts the punches into a fresh database file; the seconds taken, or a
// negative number after saying why.
double measure(const QString &file, const std::vector<Punch> &punches, bool oneTransaction) {
    sqlite3 *db = nullptr;
    double seconds = -1;
    const char *setup = R"(PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;
        CREATE TABLE "PUNCH" ("ID" INTEGER PRIMARY KEY AUTOINCREMENT, "EMPLOYEE ID" INTEGER,
                              "IN DATE" TEXT, "IN TIME" TEXT, "OUT TIME" TEXT);
        CREATE INDEX "PUNCH_EMPLOYEE_IN" ON "PUNCH" ("EMPLOYEE ID", "IN DATE", "IN TIME");)";
    if (sqlite3_open(file.toUtf8().constData(), &db) != SQLITE_OK)
        fail("cannot open the database", db);
    else if (sqlite3_exec(db, setup, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail("cannot set up the database", db);
    else if ((seconds = post(db, punches, oneTransaction)) < 0)
        fail("posting failed", db);
    else {
        // Every out punch must have closed the pair its in punch opened.
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(
            db, R"(SELECT COUNT(*) FROM "PUNCH" WHERE "IN TIME" IS NOT NULL AND "OUT TIME" IS NOT NULL)", -1,
            &st, nullptr);
        const int pairs = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
        sqlite3_finalize(st);
        if (pairs != std::count_if(punches.begin(), punches.end(), [](const Punch &p) { return !p.in; })) {
            fail("the out punches did not all close a pair");
            seconds = -1;
        }
    }
    sqlite3_close(db);
    return seconds;
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    int employees = 1000, records = 20000, clocks = 2;
    QString cli = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../hxpolllog"));
    bool cliGiven = false;
    QString server;
    int runs = 3;
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const QString next = i + 1 < args.size() ? args[i + 1] : QString();
        if (a == QLatin1String("--records") && next.toInt() > 0)
            records = args[++i].toInt();
        else if (a == QLatin1String("--employees") && next.toInt() > 0 && next.toInt() <= 899999)
            employees = args[++i].toInt();
        else if (a == QLatin1String("--clocks") && next.toInt() > 0 && next.toInt() <= 9)
            clocks = args[++i].toInt();
        else if (a == QLatin1String("--cli") && !next.isEmpty())
            cli = args[++i], cliGiven = true;
        else if (a == QLatin1String("--db") && !next.isEmpty())
            server = args[++i];
        else if (a == QLatin1String("--runs") && next.toInt() > 0)
            runs = args[++i].toInt();
        else
            return fail("usage: bench_limit [--records N] [--employees N] [--clocks N] [--cli PATH] "
                        "[--db URL [--runs N]]");
    }

    const std::vector<Punch> punches = makePunches(employees, records);
    if (!server.isEmpty()) {
        if (!QFileInfo(cli).isExecutable()) return fail("no host program at the --cli path");
        return runOnServer(server, cli, punches, employees, records, clocks, runs);
    }
    QTemporaryDir tmp;
    if (!tmp.isValid()) return fail("cannot make a temporary folder");
    const double seconds = measure(tmp.filePath(QStringLiteral("limit.db")), punches, false);
    // What the commit of each statement costs.
    const double inOne = measure(tmp.filePath(QStringLiteral("limit1.db")), punches, true);
    if (seconds < 0 || inOne < 0) return 1;

    const double limit = seconds > 0 ? punches.size() / seconds : 0.0;
    std::printf("punches: %zu (%d employees)\n", punches.size(), employees);
    std::printf("seconds: %.3f\n", seconds);
    std::printf("limit: %.0f punches per second\n", limit);
    std::printf("limit in one transaction: %.0f punches per second (%.3f s)\n",
                inOne > 0 ? punches.size() / inOne : 0.0, inOne);

    if (!QFileInfo(cli).isExecutable()) {
        if (cliGiven) return fail("no host program at the --cli path");
        std::printf("end to end: left out (no host program at %s)\n", cli.toLocal8Bit().constData());
        return 0;
    }
    const double e2e = endToEnd(cli, employees, records, clocks);
    if (e2e < 0) return fail("the end-to-end import through bench_pipeline failed");
    std::printf("end to end: %.0f punches per second\n", e2e);
    std::printf("ratio to the limit: %.2f\n", limit > 0 ? e2e / limit : 0.0);
    std::printf("ratio to the limit in one transaction: %.2f\n", e2e * inOne / double(punches.size()));
    return 0;
}
