// The whole road of an import, measured: a site with 1,000 employees and poll
// log files of 100,000 records in all, imported and posted by the command-line
// host as a child process. Prints punches per second and the child's peak
// memory.
//
//   bench_pipeline [--cli PATH] [--employees N] [--records N] [--clocks N]
//                  [--history N] [--missing-in N] [--register N] [--biometric]
//                  [--against-plain] [--scale] [--keep DIR] [--db URL] [--trace]
//
// --clocks: poll log files per working day (4). --history: PUNCH rows of
// complete pairs before the first day, as a site a few years old has.
// --missing-in N: every Nth employee-day loses its morning in punch, so its
// lunch out finds no open pair. --register: rows already listed in the
// register of previous punches. --biometric: clock 1 is a hand reader, which
// decides each punch's direction itself, and every 13th employee-day holds a
// lunch out twice, a minute apart. --against-plain: then the same import on a
// site without history and register, and the ratio of the two times.
// --scale: then twice the records, and the ratio of the two times.
//
// --db puts the site's tables in that empty server database (a postgresql://
// URL) instead of site.db in the temporary folder. The statements the server
// ran for the import are then counted by pg_stat_statements, when the server
// loads it (shared_preload_libraries): its counts for this database are reset
// before the import and summed after it. Each statement counts once, however
// it came (a simple query of several statements counts each; an EXECUTE
// counts as the statement it runs), so the count does not depend on how the
// client sends them.
// --trace runs the import under strace, counting its send and receive calls
// (sendto, recvfrom). Every time the client sends and then waits is one
// send at least, so the sends are an upper bound on the round trips (a
// pipeline larger than libpq's buffer goes in a few sends). strace slows the
// import: its times are not the import's own.
// PATH defaults to the hxpolllog beside this program's folder (build/).
#include "cli/DemoPollFile.h"
#include "component/Database.h"
#include "component/DateTime.h"
#include "component/Schema.h"
#include "import/PrevPunchRegister.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

using namespace hx;

namespace {
// The clock of the run: the records lie in the weeks before it.
const char *const kNow = "2007-04-26 17:17:00";

struct Options {
    QString cli;
    int employees = 1000;
    int records = 100000;
    int clocks = 4;
    int history = 0;
    int missingIn = 0;
    int registerRows = 0;
    bool biometric = false;
    bool againstPlain = false;
    bool scale = false;
    QString keep;
    QString db;
    bool trace = false;
};

int fail(const QString &text) {
    std::fprintf(stderr, "bench_pipeline: %s\n", text.toLocal8Bit().constData());
    return 1;
}

void seed(Database &db, int employees, int clocks, bool biometric, const QDate &firstDay) {
    Transaction tx(db);
    for (int c = 1; c <= clocks; ++c)
        db.execute(QStringLiteral("INSERT INTO \"CLOCK\" (\"CLOCK NUMBER\", \"CLOCK NAME\", \"AccessOnly\", "
                                  "\"COMMS TYPE\") VALUES (?, ?, ?, ?)"),
                   {c, QStringLiteral("Clock %1").arg(c), db.boolean(false),
                    biometric && c == 1 ? QStringLiteral("HPx000") : QStringLiteral("RS232")});
    for (int dept = 1; dept <= 10; ++dept)
        db.execute(QStringLiteral(
                       "INSERT INTO \"DEPT\" (\"DEPT ID\", \"DEPT NAME\", \"DATAFLDEN\") VALUES (?, ?, ?)"),
                   {dept, QStringLiteral("Department %1").arg(dept), db.boolean(false)});
    // A day shift for one employee in four: scheduled pairs are part of posting.
    db.execute(
        QStringLiteral("INSERT INTO \"SCHEDULE\" (\"ScheduleNumber\", \"ScheduleName\") VALUES (?, ?)"),
        {1, QStringLiteral("Day shift")});
    for (const char *x : {"M", "E", "W", "H", "R"})
        db.execute(
            QStringLiteral("UPDATE \"SCHEDULE\" SET \"%1Open\" = ?, \"%1SchIn\" = ?, \"%1EarlyIn\" = ?, "
                           "\"%1LateIn\" = ?, \"%1SchLunchOut\" = ?, \"%1SchLunchIn\" = ?, \"%1SchOut\" = ?, "
                           "\"%1EarlyOut\" = ?, \"%1LateOut\" = ? WHERE \"ScheduleNumber\" = ?")
                .arg(QString::fromLatin1(x)),
            {db.boolean(true), db.time(timeSerial(8, 0, 0)), db.time(timeSerial(7, 45, 0)),
             db.time(timeSerial(8, 7, 0)), db.time(timeSerial(12, 0, 0)), db.time(timeSerial(12, 30, 0)),
             db.time(timeSerial(16, 30, 0)), db.time(timeSerial(16, 25, 0)), db.time(timeSerial(16, 45, 0)),
             1});
    for (int i = 0; i < employees; ++i) {
        const int id = i + 1;
        const QVariant schedule = i % 4 == 0 ? QVariant(1) : QVariant(0);
        db.execute(QStringLiteral("INSERT INTO \"EMPLOYEE\" (\"EMPLOYEE ID\", \"CLOCK ID\", \"LAST NAME\", "
                                  "\"AccessControl\", \"SCHEDULE\", \"OLDSCHEDULE\", \"STATUS\") "
                                  "VALUES (?, ?, ?, ?, ?, ?, ?)"),
                   {id, 100000 + id, QStringLiteral("Employee %1").arg(id), QStringLiteral("NO"), schedule,
                    schedule, 1});
        db.execute(QStringLiteral(
                       "INSERT INTO \"DEPTQUAL\" (\"EMPLOYEE ID\", \"DEPT NAME\", \"SEQUENCE\", "
                       "\"LUNCHLEN\", \"LUNCH AT\", \"IREVLOW\", \"IREVHI\") VALUES (?, ?, ?, ?, ?, ?, ?)"),
                   {id, QStringLiteral("Department %1").arg(i % 10 + 1), 1, QStringLiteral("30"),
                    QStringLiteral("6"), QStringLiteral("7:45 AM"), QStringLiteral("8:00 AM")});
    }
    db.execute(
        QStringLiteral("INSERT INTO \"TCRULES\" (\"IdDigits\", \"ROUNDING\", \"DAY START\", \"LastPoll\", "
                       "\"WARNING\", \"LESS WARN\") VALUES (?, ?, ?, ?, ?, ?)"),
        {6, QStringLiteral("Quarter Hour"), db.time(timeSerial(4, 0, 0)),
         db.dateTime(fromQDate(firstDay) - 1), 12, 1});
    tx.commit();
}

// Complete pairs of the working days before the first day, two a day per
// employee, newest day first until `rows` are written.
void seedHistory(Database &db, int employees, int rows, const QDate &firstDay) {
    if (rows <= 0) return;
    Transaction tx(db);
    const QString sql = QStringLiteral(
        "INSERT INTO \"PUNCH\" (\"EMPLOYEE ID\", \"IN DATE\", \"IN TIME\", \"OUT TIME\", \"AdjustedDate\", "
        "\"InPunchType\", \"OutPunchType\", \"DEPT NAME\", \"CLOCK NUMBER\", \"timein\", \"timeout\", "
        "\"DEPT HOURS\", \"RecalcHrs\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    int written = 0;
    for (QDate day = firstDay.addDays(-1); written < rows; day = day.addDays(-1)) {
        if (day.dayOfWeek() > 5) continue;
        const double d = fromQDate(day);
        for (int i = 0; i < employees && written < rows; ++i) {
            const QVariant dept = QStringLiteral("Department %1").arg(i % 10 + 1);
            const double pairs[2][2] = {{timeSerial(7, 55, 0), timeSerial(12, 0, 0)},
                                        {timeSerial(12, 30, 0), timeSerial(16, 30, 0)}};
            for (const auto &p : pairs) {
                if (written >= rows) break;
                db.execute(sql, {i + 1, db.date(d), db.time(p[0]), db.time(p[1]), db.date(d), 1, 1, dept,
                                 1 + i % 4, db.time(p[0]), db.time(p[1]), (p[1] - p[0]) * 24.0,
                                 db.boolean(false)});
                ++written;
            }
        }
    }
    tx.commit();
}

// A register of previous punches as a year of polls leaves it: `rows`
// records dated in the year before the first day.
void seedRegister(Database &db, int rows, const QDate &firstDay) {
    if (rows <= 0) return;
    PrevPunchRegister reg;
    reg.openEmpty();
    const double last = fromQDate(firstDay) - 1;
    for (int i = 0; i < rows; ++i)
        reg.check(last - (i / 3000) % 300, timeSerial(0, 0, (i * 7) % 86400),
                  QString::number(i % 10000).rightJustified(4, QLatin1Char('0')),
                  QString::number(i % 97).rightJustified(2, QLatin1Char('0')));
    Transaction tx(db);
    reg.save(db);
    tx.commit();
}

// Four punches a working day per employee (in, lunch out, lunch in, out),
// one file per clock and day; returns the file names in poll order and the
// first day in *firstDay.
QStringList writePollFiles(const QString &folder, const Options &o, const QDate &lastDay, int *written,
                           QDate *firstDay) {
    const int employees = o.employees;
    const int records = o.records;
    const int kClocks = o.clocks;
    const int perDay = employees * 4;
    const int days = (records + perDay - 1) / perDay;
    QStringList names;
    *written = 0;
    QDate d = lastDay;
    QList<QDate> workdays;
    while (workdays.size() < days) {
        if (d.dayOfWeek() <= 5) workdays.prepend(d);
        d = d.addDays(-1);
    }
    *firstDay = workdays.front();
    int sequence = 0;
    for (const QDate &day : workdays) {
        std::vector<QList<QByteArray>> files(kClocks);
        for (int i = 0; i < employees && *written < records; ++i) {
            const int jitter = (i * 7 + day.day()) % 9;
            const bool noMorningIn = o.missingIn > 0 && (i + day.toJulianDay()) % o.missingIn == 0;
            const struct {
                QTime t;
                char io;
                const char *status;
            } punches[] = {{QTime(7, 52).addSecs(60 * jitter), 'I', "00"},
                           {QTime(12, 0).addSecs(60 * (jitter % 4)), 'O', "04"},
                           {QTime(12, 28).addSecs(60 * (jitter % 5)), 'I', "04"},
                           {QTime(16, 30).addSecs(60 * jitter), 'O', "00"}};
            // Hand readers decide the direction themselves, and a hand held
            // twice gives a repeat.
            const bool repeat = o.biometric && (i + day.toJulianDay()) % 13 == 0;
            for (const auto &p : punches) {
                if (*written >= records) break;
                if (noMorningIn && &p == &punches[0]) continue;
                const auto add = [&](QTime t) {
                    demo::PollRecord r;
                    r.badge = 100000 + i + 1;
                    r.date = day;
                    r.time = t;
                    r.inOut = p.io;
                    r.department = i % 10 + 1;
                    r.status = p.status;
                    r.sequence = ++sequence;
                    files[size_t(i % kClocks)] << demo::formatRecord(r);
                    ++*written;
                };
                if (repeat && &p == &punches[1] && *written + 1 < records) add(p.t.addSecs(-60));
                add(p.t);
            }
        }
        for (int c = 0; c < kClocks; ++c) {
            if (files[size_t(c)].isEmpty()) continue;
            const QString name = demo::pollFileName(QDateTime(day, QTime(23, 50 + c)), c + 1);
            if (!demo::writePollFile(QDir(folder).filePath(name), files[size_t(c)])) return {};
            names << name;
        }
    }
    return names;
}
struct Result {
    double seconds = 0;
};

// The statements the server ran in the current database, by
// pg_stat_statements; nullopt when the server does not load it.
std::optional<qint64> serverStatements(Database &db, bool reset) {
    if (db.engine() != Engine::PostgreSQL) return std::nullopt;
    try {
        db.executeScript(QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_stat_statements;"));
        const QString dbid = QStringLiteral("(SELECT oid FROM pg_database WHERE datname = current_database())");
        if (reset) {
            db.firstValue(QStringLiteral("SELECT pg_stat_statements_reset(0, %1, 0)").arg(dbid));
            return 0;
        }
        return db
            .firstValue(
                QStringLiteral("SELECT COALESCE(SUM(calls), 0)::bigint FROM pg_stat_statements WHERE dbid = %1")
                    .arg(dbid))
            .value_or(QVariant(0))
            .toLongLong();
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

// The calls of a system call in strace's summary (-c), -1 when not listed.
qint64 straceCalls(const QString &summary, const QString &call) {
    for (const QString &line : summary.split(QLatin1Char('\n'))) {
        const QStringList f = line.simplified().split(QLatin1Char(' '));
        // % time, seconds, usecs/call, calls, [errors], syscall
        if (f.size() >= 5 && f.last() == call) return f[3].toLongLong();
    }
    return -1;
}

// Prepares a site for the options, runs the host's import on it and prints
// what it took; non-zero when the import did not post what it should.
int importOnce(const Options &o, Result *result) {
    QTemporaryDir tmp;
    const QString root = o.keep.isEmpty() ? tmp.path() : QFileInfo(o.keep).absoluteFilePath();
    QDir r(root);
    for (const char *sub : {"app", "polllogs", "logs"})
        r.mkpath(QString::fromLatin1(sub));
    const QString dbFile = o.db.isEmpty() ? r.filePath(QStringLiteral("site.db")) : o.db;
    if (o.db.isEmpty() && QFileInfo::exists(dbFile))
        return fail(QStringLiteral("%1 already exists").arg(dbFile));
    QString why;
    const auto target = o.db.isEmpty() ? std::optional(ConnectionSpec::forSqliteFile(dbFile))
                                       : ConnectionSpec::parse(o.db, QString(), &why);
    if (!target) return fail(why);

    const QDate lastDay =
        QDateTime::fromString(QString::fromLatin1(kNow), QStringLiteral("yyyy-MM-dd HH:mm:ss"))
            .date()
            .addDays(-1);
    int records = 0;
    QDate firstDay;
    QStringList names;
    {
        QElapsedTimer prep;
        prep.start();
        names = writePollFiles(r.filePath(QStringLiteral("polllogs")), o, lastDay, &records, &firstDay);
        if (names.isEmpty()) return fail(QStringLiteral("cannot write the poll log files"));
        auto db = Database::open(*target);
        if (db->hasTable(QStringLiteral("PUNCH"))) return fail(QStringLiteral("the database is not empty"));
        createSchema(*db);
        seed(*db, o.employees, o.clocks, o.biometric, firstDay);
        seedHistory(*db, o.employees, o.history, firstDay);
        seedRegister(*db, o.registerRows, firstDay);
        std::printf("site: %d employees, %d records in %lld poll log files, %d PUNCH rows of history, "
                    "%d register rows (prepared in %.1f s)\n",
                    o.employees, records, static_cast<long long>(names.size()), o.history, o.registerRows,
                    prep.elapsed() / 1000.0);
    }

    QProcess child;
    QStringList wrap;
    const QString traceFile = r.filePath(QStringLiteral("strace.txt"));
    if (o.trace)
        wrap = {QStringLiteral("-f"), QStringLiteral("-c"), QStringLiteral("-e"),
                QStringLiteral("trace=sendto,recvfrom"), QStringLiteral("-o"), traceFile, o.cli};
    child.setProgram(o.trace ? QStringLiteral("strace") : o.cli);
    child.setArguments(wrap + QStringList{QStringLiteral("--db"), dbFile, QStringLiteral("--app-dir"),
                                   r.filePath(QStringLiteral("app")), QStringLiteral("--poll-dir"),
                                   r.filePath(QStringLiteral("polllogs")), QStringLiteral("--log-dir"),
                                   r.filePath(QStringLiteral("logs")), QStringLiteral("--now"),
                                   QString::fromLatin1(kNow), QStringLiteral("import"),
                                   QStringLiteral("--yes")} +
                       names);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (!o.keep.isEmpty()) {
        // The import's arguments, one a line, to run it again under a profiler.
        QFile args(r.filePath(QStringLiteral("import.args")));
        if (args.open(QIODevice::WriteOnly | QIODevice::Truncate))
            args.write(child.arguments().join(QLatin1Char('\n')).toUtf8() + '\n');
    }
    bool counting = false;
    if (!o.db.isEmpty()) {
        auto db = Database::open(*target);
        counting = serverStatements(*db, true).has_value();
    }
    // The children's accounts add up over the runs of one call.
    rusage before{};
    getrusage(RUSAGE_CHILDREN, &before);
    QElapsedTimer timer;
    timer.start();
    child.start();
    child.closeWriteChannel();
    if (!child.waitForFinished(-1))
        return fail(QStringLiteral("the import did not run: %1").arg(child.errorString()));
    const double seconds = timer.elapsed() / 1000.0;
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    result->seconds = seconds;

    auto db = Database::open(*target);
    const qint64 statements = counting ? serverStatements(*db, false).value_or(-1) : -1;
    const int posted =
        db->firstValue(QStringLiteral("SELECT COUNT(\"IN TIME\") + COUNT(\"OUT TIME\") FROM \"PUNCH\""))
            ->toInt() -
        2 * o.history;
    const int pairs =
        db->firstValue(QStringLiteral("SELECT COUNT(*) FROM \"PUNCH\" WHERE \"IN TIME\" IS NOT NULL "
                                      "AND \"OUT TIME\" IS NOT NULL"))
            ->toInt();
    const int left = db->firstValue(QStringLiteral("SELECT COUNT(*) FROM \"IMPORT\""))->toInt();

    std::printf("import: exit status %d in %.2f s\n", child.exitCode(), seconds);
    std::printf("posted: %d punches in %d complete pairs (IMPORT rows left: %d)\n", posted, pairs, left);
    std::printf("throughput: %.0f punches per second\n", seconds > 0 ? records / seconds : 0.0);
    const auto cpuOf = [](const rusage &u) {
        return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
    };
    const double cpu = cpuOf(usage) - cpuOf(before);
    std::printf("processor time of the import: %.2f s (%.0f punches per processor second)\n", cpu,
                cpu > 0 ? records / cpu : 0.0);
    // The system keeps one peak for all the children: a later run shows the
    // larger of its own and those before it.
    std::printf("peak memory of the import: %.1f MiB%s\n", usage.ru_maxrss / 1024.0,
                before.ru_maxrss > 0 ? " (or of an earlier run of this call)" : "");
    if (statements >= 0)
        std::printf("server statements: %lld (%.2f per punch)\n", static_cast<long long>(statements),
                    records > 0 ? double(statements) / records : 0.0);
    else if (!o.db.isEmpty())
        std::printf("server statements: not counted (the server does not load pg_stat_statements)\n");
    if (o.trace) {
        QFile f(traceFile);
        const QString summary = f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        const qint64 sends = straceCalls(summary, QStringLiteral("sendto")),
                     receives = straceCalls(summary, QStringLiteral("recvfrom"));
        if (sends < 0) return fail(QStringLiteral("strace counted no sends: is strace installed?"));
        std::printf("round trips: %lld sends (%.3f per punch), %lld receives\n", static_cast<long long>(sends),
                    records > 0 ? double(sends) / records : 0.0, static_cast<long long>(receives));
    }
    // Repeats are removed, and their removal is reported.
    if (o.biometric
            ? (child.exitCode() != 0 && child.exitCode() != 3) || posted > records || posted == 0 || left != 0
            : child.exitCode() != 0 || posted != records || left != 0)
        return fail(QStringLiteral("the import did not post every punch"));
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    Options o;
    o.cli = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../hxpolllog"));
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const QString next = i + 1 < args.size() ? args[i + 1] : QString();
        if (a == QLatin1String("--cli") && !next.isEmpty())
            o.cli = args[++i];
        else if (a == QLatin1String("--employees") && next.toInt() > 0)
            o.employees = args[++i].toInt();
        else if (a == QLatin1String("--records") && next.toInt() > 0)
            o.records = args[++i].toInt();
        else if (a == QLatin1String("--clocks") && next.toInt() > 0 && next.toInt() <= 9)
            o.clocks = args[++i].toInt();
        else if (a == QLatin1String("--history") && next.toInt() > 0)
            o.history = args[++i].toInt();
        else if (a == QLatin1String("--missing-in") && next.toInt() > 0)
            o.missingIn = args[++i].toInt();
        else if (a == QLatin1String("--register") && next.toInt() > 0)
            o.registerRows = args[++i].toInt();
        else if (a == QLatin1String("--biometric"))
            o.biometric = true;
        else if (a == QLatin1String("--against-plain"))
            o.againstPlain = true;
        else if (a == QLatin1String("--scale"))
            o.scale = true;
        else if (a == QLatin1String("--keep") && !next.isEmpty())
            o.keep = args[++i];
        else if (a == QLatin1String("--db") && !next.isEmpty())
            o.db = args[++i];
        else if (a == QLatin1String("--trace"))
            o.trace = true;
        else
            return fail(
                QStringLiteral("usage: bench_pipeline [--cli PATH] [--employees N] [--records N] "
                               "[--clocks N] [--history N] [--missing-in N] [--register N] [--biometric] "
                               "[--against-plain] [--scale] [--keep DIR] [--db URL] [--trace]"));
    }
    if (!QFileInfo(o.cli).isExecutable())
        return fail(QStringLiteral("no host program at %1 (give --cli PATH)").arg(o.cli));
    if (o.employees > 899999) return fail(QStringLiteral("at most 899999 employees"));

    if ((o.againstPlain || o.scale) && (!o.keep.isEmpty() || !o.db.isEmpty()))
        return fail(
            QStringLiteral("--against-plain and --scale make sites of their own: no --keep, no --db"));

    Result first;
    if (const int status = importOnce(o, &first)) return status;
    if (o.againstPlain) {
        Options plain = o;
        plain.history = 0;
        plain.registerRows = 0;
        Result second;
        std::printf("-- the same import without history and register\n");
        if (const int status = importOnce(plain, &second)) return status;
        std::printf("ratio to the same import without history and register: %.2f (%.2f s more)\n",
                    second.seconds > 0 ? first.seconds / second.seconds : 0.0,
                    first.seconds - second.seconds);
    }
    if (o.scale) {
        Options twice = o;
        twice.records = o.records * 2;
        Result second;
        std::printf("-- twice the records\n");
        if (const int status = importOnce(twice, &second)) return status;
        std::printf("ratio of the time for %d records to the time for %d: %.2f\n", twice.records, o.records,
                    first.seconds > 0 ? second.seconds / first.seconds : 0.0);
    }
    return 0;
}
