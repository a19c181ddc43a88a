// Recalculates a large set of marked pairs on a temporary SQLite site and
// prints the rate and the peak memory.
//   bench_hours [pairs] [employees] [connection]
// Defaults: 100000 pairs of 1000 employees on a temporary SQLite file. A
// connection text (for instance postgresql://user@host:port/db) runs it on an
// empty database of another engine instead; the schema is created there.
#include "component/Database.h"
#include "component/DateTime.h"
#include "component/Schema.h"
#include "component/modGlobal.h"
#include "hours/Recalculate.h"
#include "rules/clsTCrules.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

using namespace hx;

namespace {

long peakKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Processor time of this process (user and system), seconds.
double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void seed(Database &db, int pairs, int employees) {
    Transaction tx(db);
    db.execute(QStringLiteral(
        "INSERT INTO \"TCRULES\" (\"ROUNDING\", \"WARNING\", \"LESS WARN\", \"SORT 2\", "
        "\"DAY START\", \"TASKAS\") VALUES ('Quarter Hour', 12, 2, 'Day_Start', '04:00:00', 2)"));
    for (int j = 1; j <= 200; ++j)
        db.execute(QStringLiteral("INSERT INTO \"JOB\" (\"JOB NUMBER\") VALUES (?)"), {j});
    db.execute(QStringLiteral("INSERT INTO \"CustomHours\" (\"HoursMin\", \"HoursMax\", \"HoursMultiply\", "
                              "\"HoursConstant\") VALUES (10, 24, 1, 0.5)"));
    for (int s = 1; s <= 10; ++s)
        db.execute(
            QStringLiteral("INSERT INTO \"SCHEDULE\" (\"ScheduleNumber\", \"MSchIn\", \"MEarlyIn\", "
                           "\"MLateIn\", \"MSchOut\", \"MEarlyOut\", \"MLateOut\", \"ESchIn\", \"ESchOut\") "
                           "VALUES (?, '08:00:00', '07:45:00', '08:05:00', '16:30:00', '16:25:00', "
                           "'17:00:00', '08:00:00', '16:30:00')"),
            {s});
    const QString depts[] = {QStringLiteral("ASSEMBLY"), QStringLiteral("SHIPPING"),
                             QStringLiteral("Bob's Shop")};
    for (int e = 1; e <= employees; ++e) {
        db.execute(
            QStringLiteral(
                "INSERT INTO \"EMPLOYEE\" (\"EMPLOYEE ID\", \"CLOCK ID\", \"SORT2\") VALUES (?, ?, ?)"),
            {e, 10000 + e, e % 2 ? QVariant(QStringLiteral("05:00")) : QVariant()});
        for (int d = 0; d < 2; ++d)
            db.execute(
                QStringLiteral("INSERT INTO \"DEPTQUAL\" (\"EMPLOYEE ID\", \"DEPT NAME\", \"SEQUENCE\", "
                               "\"OTRULES\", \"PAYRATE\", \"IREVLOW\", \"IREVHI\", \"OREVLOW\", \"OREVHI\", "
                               "\"UseDiff\", \"LUNCHLEN\", \"LUNCH AT\") "
                               "VALUES (?, ?, ?, 1, 15.5, '7:30 AM', '8:00 AM', '4:30 PM', '4:40 PM', ?, "
                               "'30', '6')"),
                {e, depts[d], d, db.boolean(d == 1)});
    }
    const QString insert = QStringLiteral(
        "INSERT INTO \"PUNCH\" (\"EMPLOYEE ID\", \"IN DATE\", \"IN TIME\", \"OUT TIME\", \"ODOW\", \"DEPT "
        "NAME\", "
        "\"DATAFLD\", \"TASK\", \"Schedule\", \"InPunchType\", \"OutPunchType\", \"InCode\", \"OutCode\", "
        "\"RecalcHrs\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 0, 0, 0, 0, ?)");
    const int perEmployee = std::max(1, pairs / employees);
    const double firstDay = dateSerial(2007, 1, 1);
    for (int i = 0; i < pairs; ++i) {
        const int e = i % employees + 1;
        const double day = firstDay + i / employees;
        const int kind = i % 20;
        // 7:40 to 8:24; some before the day start (the pair counts on the day before)
        const double in = kind == 13 ? timeSerial(3, (i * 7) % 60, 0) : timeSerial(7, 40 + (i * 7) % 45, 0);
        double out = timeSerial(16, 10 + (i * 11) % 50, 0); // 16:10 to 16:59
        int odow = weekday(day);
        if (kind == 3) { // night shift into the next day
            out = timeSerial(6, (i * 3) % 60, 0);
            odow = weekday(day + 1);
        }
        const bool open = kind == 7;
        db.execute(insert, {e, db.date(day), db.time(kind == 3 ? timeSerial(22, 0, 0) : in),
                            open ? QVariant() : db.time(out), open ? QVariant() : QVariant(odow),
                            kind == 11 ? QStringLiteral("YARD") : depts[i % 3],
                            kind == 5 ? QVariant(i % 300) : QVariant(), kind == 9 ? QVariant(4) : QVariant(),
                            kind < 2 ? QVariant(1 + i % 10) : QVariant(0), db.boolean(true)});
    }
    // Rows that are not marked are never read; they only make the table realistic.
    for (int i = 0; i < perEmployee * 10; ++i)
        db.execute(insert, {i % employees + 1, db.date(firstDay - 1 - i / employees),
                            db.time(timeSerial(8, 0, 0)), db.time(timeSerial(16, 0, 0)), 2, depts[0],
                            QVariant(), QVariant(), 0, db.boolean(false)});
    tx.commit();
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int pairs = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int employees = argc > 2 ? std::atoi(argv[2]) : 1000;
    if (pairs <= 0 || employees <= 0) {
        std::fprintf(stderr, "usage: bench_hours [pairs] [employees] [connection]\n");
        return 2;
    }
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    ConnectionSpec target = ConnectionSpec::forSqliteFile(dir.filePath(QStringLiteral("site.db")));
    if (argc > 3) {
        QString error;
        auto parsed = ConnectionSpec::parse(QString::fromLocal8Bit(argv[3]), QString(), &error);
        if (!parsed) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 2;
        }
        target = *parsed;
    }
    try {
        gConn = Database::open(target);
    } catch (const HxError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.description()));
        return 1;
    }
    try {
        createSchema(*gConn);
        seed(*gConn, pairs, employees);
    } catch (const HxError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.description()));
        return 1;
    }
    gTCRules = std::make_unique<clsTCrules>();
    gTCRules->ReadValues();
    const long peakBefore = peakKb();

    QElapsedTimer timer;
    const double cpuBefore = cpuSeconds();
    timer.start();
    RecalculateHours();
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - cpuBefore;

    const auto left = gConn->firstValue(
        QStringLiteral("SELECT count(*) FROM \"PUNCH\" WHERE \"RecalcHrs\" = ?"), {gConn->boolean(true)});
    // Totals that must agree between engines for the same seed.
    Recordset totals = gConn->openRecordset(QStringLiteral(
        "SELECT sum(\"DEPT HOURS\"), sum(\"ERRORCODE\"), sum(\"InCode\" + \"OutCode\"), sum(\"LUNCHLEN\"), "
        "sum(\"OTRULES\"), count(\"timeout\") FROM \"PUNCH\""));
    const auto moved = gConn->firstValue(
        QStringLiteral("SELECT count(*) FROM \"PUNCH\" WHERE \"AdjustedDate\" <> \"IN DATE\""));
    std::printf("pairs recalculated: %d of %d employees in %.3f s\n", pairs, employees, seconds);
    std::printf("pairs per second:   %.0f (%.0f per second of processor time, %.2f s)\n", pairs / seconds,
                pairs / cpu, cpu);
    std::printf("rows left marked:   %lld\n", left ? left->toLongLong() : -1LL);
    std::printf("totals:             hours %.2f, error codes %lld, schedule codes %lld, lunch %.0f, "
                "overtime rules %.0f, out times %lld, moved back %lld\n",
                totals.value(0).toDouble(), totals.value(1).toLongLong(), totals.value(2).toLongLong(),
                totals.value(3).toDouble(), totals.value(4).toDouble(), totals.value(5).toLongLong(),
                moved ? moved->toLongLong() : -1LL);
    std::printf("peak memory:        %.1f MB (%.1f MB before the run)\n", peakKb() / 1024.0,
                peakBefore / 1024.0);
    gTCRules.reset();
    gConn.reset();
    return left && left->toLongLong() == 0 ? 0 : 1;
}
