#pragma once
// A site for running the command-line host against: employees and clocks in
// the database, poll log files written as clocks write them, and the host run
// as a child process with the site's paths and the fixture's fixed clock.
#include "cli/DemoPollFile.h"
#include "component/DateTime.h"
#include "component/Values.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <memory>

namespace hx::test {

class CliSiteTest : public SiteTest {
protected:
    static constexpr const char *kNow = "2007-04-26 17:17:00";

    void SetUp() override {
        SiteTest::SetUp();
        seedSite();
    }

    // Badges of four digits, a day start, two clocks and a department, in the
    // database gConn is open on.
    void seedSite() {
        db().execute(QStringLiteral("UPDATE \"TCRULES\" SET \"IdDigits\" = ?, \"DAY START\" = ?"),
                     {4, db().time(timeSerial(4, 0, 0))});
        for (int clock : {1, 2})
            db().execute(
                QStringLiteral("INSERT INTO \"CLOCK\" (\"CLOCK NUMBER\", \"CLOCK NAME\", \"AccessOnly\") "
                               "VALUES (?, ?, ?)"),
                {clock, QStringLiteral("Clock %1").arg(clock), db().boolean(false)});
        db().execute(QStringLiteral("INSERT INTO \"DEPT\" (\"DEPT ID\", \"DEPT NAME\") VALUES (?, ?)"),
                     {10, QStringLiteral("Assembly")});
        reloadRules();
    }

    // Employees id, id+1, ... with badges 1000 + id.
    void addEmployees(int firstId, int count) {
        for (int id = firstId; id < firstId + count; ++id) {
            db().execute(
                QStringLiteral("INSERT INTO \"EMPLOYEE\" (\"EMPLOYEE ID\", \"CLOCK ID\", \"LAST NAME\", "
                               "\"AccessControl\", \"STATUS\") VALUES (?, ?, ?, ?, ?)"),
                {id, 1000 + id, QStringLiteral("Employee %1").arg(id), QStringLiteral("NO"), 1});
            db().execute(
                QStringLiteral("INSERT INTO \"DEPTQUAL\" (\"EMPLOYEE ID\", \"DEPT NAME\", \"SEQUENCE\") "
                               "VALUES (?, ?, ?)"),
                {id, QStringLiteral("Assembly"), 1});
        }
    }

    // One day shift (in 08:00 + offset minutes, out 16:30) per employee and
    // day, as the records of one poll log file.
    static QList<QByteArray> shifts(int firstId, int count, const QList<QDate> &days) {
        QList<QByteArray> lines;
        int seq = 0;
        for (const QDate &d : days) {
            for (int id = firstId; id < firstId + count; ++id) {
                for (const auto &[t, io] :
                     {std::pair{QTime(8, 0).addSecs(60 * (id % 7)), 'I'}, std::pair{QTime(16, 30), 'O'}}) {
                    demo::PollRecord r;
                    r.badge = 1000 + id;
                    r.date = d;
                    r.time = t;
                    r.inOut = io;
                    r.department = 10;
                    r.sequence = ++seq;
                    lines << demo::formatRecord(r);
                }
            }
        }
        return lines;
    }

    QString writePoll(const QString &name, const QList<QByteArray> &lines) {
        const QString p = path(QStringLiteral("polllogs/") + name);
        EXPECT_TRUE(demo::writePollFile(p, lines));
        return p;
    }

    // The --db argument of the host; a PostgreSQL site gives its URL.
    virtual QString databaseArgument() const { return path(QStringLiteral("site.db")); }

    QStringList siteArgs() const {
        return {QStringLiteral("--db"),      databaseArgument(),           QStringLiteral("--app-dir"),
                path(QStringLiteral("app")), QStringLiteral("--poll-dir"), path(QStringLiteral("polllogs")),
                QStringLiteral("--log-dir"), path(QStringLiteral("logs")), QStringLiteral("--now"),
                QString::fromLatin1(kNow)};
    }

    std::unique_ptr<QProcess> start(const QStringList &args, bool withSite = true) const {
        auto p = std::make_unique<QProcess>();
        p->setProgram(QStringLiteral(HX_CLI_PATH));
        p->setArguments(withSite ? siteArgs() + args : args);
        p->start();
        p->closeWriteChannel();
        return p;
    }

    struct Result {
        int exitCode = -1;
        bool crashed = false;
        QString out, err;
    };
    static Result finish(QProcess &p) {
        Result r;
        EXPECT_TRUE(p.waitForFinished(600000)) << "the host did not finish";
        r.crashed = p.exitStatus() != QProcess::NormalExit;
        r.exitCode = p.exitCode();
        r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        return r;
    }
    Result run(const QStringList &args, bool withSite = true) const { return finish(*start(args, withSite)); }

    int count(const QString &sql) { return db().firstValue(sql)->toInt(); }
    // Punch halves in PUNCH: each posted punch fills one.
    int postedPunches() {
        return count(QStringLiteral("SELECT COUNT(\"IN TIME\") + COUNT(\"OUT TIME\") FROM \"PUNCH\""));
    }
    int importRows() { return count(QStringLiteral("SELECT COUNT(*) FROM \"IMPORT\"")); }
    QString log() const { return QString::fromLocal8Bit(readFile(QStringLiteral("logs/QX8log.txt"))); }
};

} // namespace hx::test
