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
//
// PATH defaults to the hxpolllog beside this program's folder (build/); the
// end-to-end run is left out when it is not there and --cli was not given.
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
#include <sqlite3.h>
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
        else
            return fail("usage: bench_limit [--records N] [--employees N] [--clocks N] [--cli PATH]");
    }

    const std::vector<Punch> punches = makePunches(employees, records);
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
