// Throughput and peak memory of the poll file import and of the
// previous-punch register.
//
//   bench_import [records=100000] [registerRows=1000000] [longLineMB=200]
//
// 1. A generated poll file of `records` records for a site of 1,000 employees
//    is read into IMPORT (SQLite, a fresh database in a temporary folder).
// 2. A file holding one line of `longLineMB` megabytes without a line end is
//    read (one bad line); 0 skips this step.
// 3. A register of `registerRows` rows in the table is loaded, asked 100,000
//    times (half of them listed already) and the new rows saved.
// Peak memory is the resident high-water mark, reset before each step.
#include "component/Clock.h"
#include "component/Database.h"
#include "component/DateTime.h"
#include "component/Schema.h"
#include "component/modGlobal.h"
#include "import/PollFileReader.h"
#include "import/PrevPunchRegister.h"
#include "messages/clsMessage.h"
#include "rules/clsTCrules.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <malloc.h>
#include <random>

using namespace hx;

namespace {
// VmHWM of this process in MiB; resetting writes "5" to clear_refs.
double peakMiB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}
void resetPeak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) f.write("5");
}
double currentMiB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

QByteArray two(int n) {
    return QByteArray::number(n).rightJustified(2, '0');
}

QByteArray record(int badge, int seq, int month, int day, int hour, int minute, int dept, char inOut) {
    QByteArray b = QByteArray::number(badge).rightJustified(10, '0');
    b += ' ' + QByteArray::number(seq % 10000).rightJustified(4, '0') + "  " + two(month) + '/' + two(day) +
         "  " + two(hour) + two(minute) + ' ' + two(dept) + ' ' + QByteArray("0000012345") + ' ' +
         QByteArray("000042") + ' ' + QByteArray::number(seq % 100).rightJustified(2, '0') + "00  " + inOut +
         ' ';
    return b;
}

// Marks the moment each stage's status text arrives.
struct StageClock : MessageListElement {
    QElapsedTimer timer;
    qint64 transferStart = -1;
    void addEntry(const QString &text) override {
        if (text == QStringLiteral("Transferring Data to Import Table")) transferStart = timer.nsecsElapsed();
    }
};

void setUpSite(const QString &root) {
    QDir(root).mkpath(QStringLiteral("app"));
    QDir(root).mkpath(QStringLiteral("logs"));
    subSetApplicationPath(root + QStringLiteral("/app"));
    subSetErrorLogPath(root + QStringLiteral("/logs"));
    gConn = Database::open(ConnectionSpec::forSqliteFile(root + QStringLiteral("/site.db")));
    createSchema(*gConn);
    gTCRules = std::make_unique<clsTCrules>();
    gTCRules->ReadValues();
    gConn->execute(QStringLiteral(R"(UPDATE "TCRULES" SET "IdDigits" = 4)"));
    gTCRules->ReadValues();

    {
        Transaction tx(*gConn);
        for (int d = 1; d <= 20; ++d)
            gConn->execute(
                QStringLiteral(
                    R"(INSERT INTO "DEPT" ("DEPT ID", "DEPT NAME", "DATAFLDEN") VALUES (?, ?, ?))"),
                {d, QStringLiteral("DEPT %1").arg(d), gConn->boolean(d % 2 == 0)});
        gConn->execute(
            QStringLiteral(R"(INSERT INTO "CLOCK" ("CLOCK NUMBER", "CLOCK NAME") VALUES (1, 'Front'))"));
        // One employee in ten also takes part in access control.
        for (int e = 0; e < 1000; ++e)
            gConn->execute(
                QStringLiteral(R"(INSERT INTO "EMPLOYEE" ("EMPLOYEE ID", "CLOCK ID", "AccessControl"))"
                               R"( VALUES (?, ?, ?))"),
                {e + 1, 1000 + e, e % 10 == 0 ? QStringLiteral("YES") : QStringLiteral("NO")});
        tx.commit();
    }
}

void benchPollFile(const QString &root, int records) {
    std::mt19937 rng(7);
    const QString file = root + QStringLiteral("/0426081709.7}01");
    {
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        QByteArray chunk;
        for (int i = 0; i < records; ++i) {
            // One record in fifty carries a badge no employee has.
            const int badge = i % 50 == 49 ? 9000 + int(rng() % 500) : 1000 + int(rng() % 1000);
            chunk += record(badge, i, 4, 1 + int(rng() % 26), int(rng() % 24), int(rng() % 60),
                            1 + int(rng() % 20), rng() % 2 ? 'I' : 'O') +
                     "\r\n";
            if (chunk.size() > (1 << 20)) {
                f.write(chunk);
                chunk.clear();
            }
        }
        f.write(chunk);
    }
    resetPeak();
    const double before = currentMiB();
    StageClock stages;
    auto message = std::make_shared<clsMessage>();
    message->setLstUIMessageList(&stages);
    stages.timer.start();
    const bool ok = blnImportPollFile(file, message, true);
    const double secs = stages.timer.nsecsElapsed() / 1e9;
    const double readSecs = stages.transferStart / 1e9;
    message->setLstUIMessageList(nullptr);
    const int imported = gConn->firstValue(QStringLiteral(R"(SELECT COUNT(*) FROM "IMPORT")"))->toInt();
    const int access = gConn->firstValue(QStringLiteral(R"(SELECT COUNT(*) FROM "AccessPunch")"))->toInt();
    std::printf("poll file: %d records (%.1f MB) -> %d IMPORT rows, %d AccessPunch rows, result %s\n",
                records, QFileInfo(file).size() / 1e6, imported, access, ok ? "true" : "false");
    std::printf(
        "  %.2f s, %.0f records/s (reading %.2f s, %.0f records/s; transfer %.2f s, %.0f records/s)\n", secs,
        records / secs, readSecs, records / readSecs, secs - readSecs, records / (secs - readSecs));
    std::printf("  peak RSS %.1f MiB (%.1f MiB before)\n", peakMiB(), before);
    QFile::remove(file);
}

void benchRegister(int rows) {
    Database &db = *gConn;
    const double base = dateSerial(2007, 1, 1);
    auto sequence = [](int i) { return QString::number(i % 10000).rightJustified(4, QLatin1Char('0')); };
    auto checksum = [](int i) { return QString::number(i % 97).rightJustified(2, QLatin1Char('0')); };
    auto date = [&](int i) { return base + (i / 10000) % 110; };
    auto time = [](int i) { return timeSerial(0, 0, (i * 7) % 86400); };
    {
        db.execute(QStringLiteral(R"(DELETE FROM "PrevPunch")"));
        PrevPunchRegister reg;
        reg.openEmpty();
        for (int i = 0; i < rows; ++i)
            reg.check(date(i), time(i), sequence(i), checksum(i));
        Transaction tx(db);
        reg.save(db);
        tx.commit();
    }
    const QDateTime now(QDate(2007, 4, 26), QTime(17, 17, 0));

    resetPeak();
    const double before = currentMiB();
    PrevPunchRegister reg;
    QElapsedTimer t;
    Transaction tx(db);
    t.start();
    reg.load(db, now);
    const double openSecs = t.nsecsElapsed() / 1e9;
    const qsizetype opened = reg.rowCount();

    const int checks = 100000;
    // Even checks ask for listed rows, odd ones for new records.
    std::mt19937 rng(11);
    struct Ask {
        double date, time;
        QString sequence, checksum;
    };
    std::vector<Ask> asks;
    asks.reserve(checks);
    for (int k = 0; k < checks; ++k) {
        const int i = k % 2 == 0 ? int(rng() % uint32_t(rows)) : rows + k;
        asks.push_back({date(i), time(i), sequence(i), checksum(i)});
    }
    int listed = 0;
    t.restart();
    for (const Ask &a : asks)
        listed += reg.check(a.date, a.time, a.sequence, a.checksum) ? 1 : 0;
    const double checkSecs = t.nsecsElapsed() / 1e9;

    t.restart();
    const qsizetype added = reg.newRowCount();
    reg.save(db);
    tx.commit();
    const double saveSecs = t.nsecsElapsed() / 1e9;
    std::printf("register: %lld rows in the table\n", static_cast<long long>(opened));
    std::printf(
        "  load %.2f s (%.0f rows/s); %d checks %.3f s (%.0f checks/s, %d listed); save %lld new rows "
        "%.2f s (%.0f rows/s)\n",
        openSecs, opened / openSecs, checks, checkSecs, checks / checkSecs, listed,
        static_cast<long long>(added), saveSecs, added / saveSecs);
    std::printf("  peak RSS %.1f MiB (%.1f MiB before)\n", peakMiB(), before);
}

void benchLongLine(const QString &root, int megabytes) {
    const QString file = root + QStringLiteral("/0426081709.8}01");
    {
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        const QByteArray block(1 << 20, '7');
        for (int i = 0; i < megabytes; ++i)
            f.write(block);
    }
    resetPeak();
    const double before = currentMiB();
    QElapsedTimer t;
    t.start();
    std::shared_ptr<clsMessage> message;
    const bool ok = blnImportPollFile(file, message, true);
    std::printf("line without end: %d MB in %.2f s, result %s, peak RSS %.1f MiB (%.1f MiB before)\n",
                megabytes, t.nsecsElapsed() / 1e9, ok ? "true" : "false", peakMiB(), before);
    QFile::remove(file);
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int records = args.size() > 1 ? args[1].toInt() : 100000;
    const int registerRows = args.size() > 2 ? args[2].toInt() : 1000000;
    const int longLineMB = args.size() > 3 ? args[3].toInt() : 200;

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    Clock::setFixedFromText(QStringLiteral("2007-04-26 17:17:00"));
    setUpSite(dir.path());
    benchPollFile(dir.path(), records);
    malloc_trim(0);
    if (longLineMB > 0) benchLongLine(dir.path(), longLineMB);
    malloc_trim(0);
    benchRegister(registerRows);
    gConn.reset();
    return 0;
}
