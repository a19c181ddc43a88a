#pragma once
// A site for running the command-line host against: employees and clocks in
// the database, poll log files written as clocks write them, and the host run
// as a child process with the site's paths and the fixture's fixed clock.
#include "cli/DemoPollFile.h"
#include "component/DateTime.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace hx::test {

class CliSiteTest : public SiteTest {
protected:
    static constexpr auto kNow = "2007-04-26 17:17:00";

    // Badges of four digits, a day start, two clocks and a department.
    void SetUp() override {
        SiteTest::SetUp();
        db().execute(u"UPDATE \"TCRULES\" SET \"IdDigits\" = ?, \"DAY START\" = ?"_s,
                     {4, db().time(timeSerial(4, 0, 0))});
        for (int clock : {1, 2})
            db().execute(u"INSERT INTO \"CLOCK\" (\"CLOCK NUMBER\", \"CLOCK NAME\", \"AccessOnly\") "
                         "VALUES (?, ?, ?)"_s,
                         {clock, u"Clock %1"_s.arg(clock), db().boolean(false)});
        db().execute(u"INSERT INTO \"DEPT\" (\"DEPT ID\", \"DEPT NAME\") VALUES (?, ?)"_s,
                     {10, u"Assembly"_s});
        reloadRules();
    }

    // Employees id, id+1, ... with badges 1000 + id.
    void addEmployees(int firstId, int count) {
        for (int id = firstId; id < firstId + count; ++id) {
            db().execute(u"INSERT INTO \"EMPLOYEE\" (\"EMPLOYEE ID\", \"CLOCK ID\", \"LAST NAME\", "
                         "\"AccessControl\", \"STATUS\") VALUES (?, ?, ?, ?, ?)"_s,
                         {id, 1000 + id, u"Employee %1"_s.arg(id), u"NO"_s, 1});
            db().execute(
                u"INSERT INTO \"DEPTQUAL\" (\"EMPLOYEE ID\", \"DEPT NAME\", \"SEQUENCE\") VALUES (?, ?, ?)"_s,
                {id, u"Assembly"_s, 1});
        }
    }

    // A poll log file in the poll log folder: one day shift (in 08:00 + a few
    // minutes, out 16:30) per employee and day.
    void writePoll(const QString &name, int firstId, int count, const QList<QDate> &days,
                   const QList<QByteArray> &before = {}) {
        QList<QByteArray> lines = before;
        int seq = 0;
        for (const QDate &d : days)
            for (int id = firstId; id < firstId + count; ++id)
                for (const auto &[t, io] : {std::pair{QTime(8, id % 7), 'I'}, std::pair{QTime(16, 30), 'O'}})
                    lines << demo::formatRecord({.badge = 1000 + id,
                                                 .date = d,
                                                 .time = t,
                                                 .inOut = io,
                                                 .department = 10,
                                                 .sequence = ++seq});
        EXPECT_TRUE(demo::writePollFile(name.contains(u'/') ? name : path(u"polllogs/"_s + name), lines));
    }

    // The host on the site (a PostgreSQL site's --db is its URL); an option
    // given again in args wins.
    std::unique_ptr<QProcess> start(const QStringList &args, bool withSite = true) const {
        const QStringList site = {u"--db"_s,       databaseName(),           u"--app-dir"_s, path(u"app"_s),
                                  u"--poll-dir"_s, path(u"polllogs"_s),      u"--log-dir"_s, path(u"logs"_s),
                                  u"--now"_s,      QString::fromLatin1(kNow)};
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral(HX_CLI_PATH), withSite ? site + args : args);
        p->closeWriteChannel();
        return p;
    }

    struct Result {
        int exitCode = -1;
        QString out, err;
    };
    static Result finish(QProcess &p) {
        EXPECT_TRUE(p.waitForFinished(600000)) << "the host did not finish";
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << "the host crashed";
        return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
                QString::fromLocal8Bit(p.readAllStandardError())};
    }
    Result run(const QStringList &args, bool withSite = true) const { return finish(*start(args, withSite)); }

    int count(const QString &sql) { return db().firstValue(sql)->toInt(); }
    int punchRows() { return count(u"SELECT COUNT(*) FROM \"PUNCH\""_s); }
    // Punch halves in PUNCH: each posted punch fills one.
    int postedPunches() { return count(u"SELECT COUNT(\"IN TIME\") + COUNT(\"OUT TIME\") FROM \"PUNCH\""_s); }
    int completePairs() {
        return count(u"SELECT COUNT(*) FROM \"PUNCH\" WHERE \"IN TIME\" IS NOT NULL AND "
                     "\"OUT TIME\" IS NOT NULL"_s);
    }
    int importRows() { return count(u"SELECT COUNT(*) FROM \"IMPORT\""_s); }
    // The text of a PDF, by pdftotext.
    static QString pdfText(const QString &file) {
        QProcess p;
        p.start(u"pdftotext"_s, {u"-layout"_s, file, u"-"_s});
        EXPECT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0) << p.readAllStandardError().toStdString();
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    static QJsonDocument json(const Result &r) { return QJsonDocument::fromJson(r.out.toUtf8()); }
};

} // namespace hx::test
