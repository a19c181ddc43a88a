// The window's import against the command line's, on the same files.
//
//   bench_window [files=2000] [records=6]
//
// A demonstration site is made by the program, its poll logs replaced by
// `files` small poll logs of `records` punches each, and the site copied.
// The program then runs `import --all --yes` on one copy (a child process,
// start-up included) and the window (offscreen, in this process) imports
// every row of its list on the other. Prints both wall times, their ratio and
// the punches each posted (they must agree).
#include "cli/DemoPollFile.h"
#include "component/Clock.h"
#include "component/Database.h"
#include "component/modGlobal.h"
#include "messages/MessageBox.h"
#include "window/frmPollLog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeView>
#include <cstdio>

using namespace hx;

namespace {
const QString kNow = QStringLiteral("2026-12-07 06:00:00");

bool copyTree(const QString &from, const QString &to) {
    QDir().mkpath(to);
    const QDir src(from);
    for (const QFileInfo &fi : src.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString target = QDir(to).filePath(fi.fileName());
        if (fi.isDir() ? !copyTree(fi.absoluteFilePath(), target) : !QFile::copy(fi.absoluteFilePath(), target))
            return false;
    }
    return true;
}

QStringList siteArgs(const QString &site) {
    return {QStringLiteral("--db"),       site + QStringLiteral("/site.db"),
            QStringLiteral("--app-dir"),  site + QStringLiteral("/app"),
            QStringLiteral("--poll-dir"), site + QStringLiteral("/polllogs"),
            QStringLiteral("--log-dir"),  site + QStringLiteral("/logs"),
            QStringLiteral("--now"),      kNow};
}

long long punchesOf(const QString &site) {
    auto db = Database::open(ConnectionSpec::forSqliteFile(site + QStringLiteral("/site.db")));
    return db->firstValue(QStringLiteral("SELECT COUNT(\"IN TIME\") + COUNT(\"OUT TIME\") FROM \"PUNCH\""))
        ->toLongLong();
}

int fail(const QString &why) {
    std::fprintf(stderr, "bench_window: %s\n", qPrintable(why));
    return 1;
}
} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int files = args.size() > 1 ? args[1].toInt() : 2000;
    const int records = args.size() > 2 ? args[2].toInt() : 6;
    if (files < 1 || records < 1) return fail(QStringLiteral("usage: bench_window [files] [records]"));

    QTemporaryDir tmp;
    const QString cliSite = tmp.filePath(QStringLiteral("cli")), windowSite = tmp.filePath(QStringLiteral("window"));
    QProcess demo;
    demo.start(QStringLiteral(HX_CLI_PATH), {QStringLiteral("--now"), kNow, QStringLiteral("demo"), cliSite});
    if (!demo.waitForFinished(600000) || demo.exitCode() != 0)
        return fail(QStringLiteral("the demonstration site could not be made: ") +
                    QString::fromLocal8Bit(demo.readAllStandardError()));

    // Badges and clocks of the site; the new files lie within the rules' days.
    QList<int> badges, clocks;
    {
        auto db = Database::open(ConnectionSpec::forSqliteFile(cliSite + QStringLiteral("/site.db")));
        db->execute(QStringLiteral("UPDATE \"TCRULES\" SET \"POLL LOG FOR\" = 30"));
        for (Recordset rs = db->openRecordset(QStringLiteral("SELECT \"CLOCK ID\" FROM \"EMPLOYEE\"")); !rs.eof();
             rs.moveNext())
            badges << rs.value(u"CLOCK ID").toInt();
        for (Recordset rs = db->openRecordset(
                 QStringLiteral("SELECT \"CLOCK NUMBER\" FROM \"CLOCK\" WHERE \"AccessOnly\" = 0"));
             !rs.eof(); rs.moveNext())
            clocks << rs.value(u"CLOCK NUMBER").toInt();
    }
    if (badges.isEmpty() || clocks.isEmpty()) return fail(QStringLiteral("the site has no employees or clocks"));
    const QString pollDir = cliSite + QStringLiteral("/polllogs");
    QDir(pollDir).removeRecursively();
    QDir().mkpath(pollDir);
    const QDateTime now = QDateTime::fromString(kNow, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    int sequence = 0;
    for (int f = 0; f < files; ++f) {
        // Polled every six minutes back from now; punches in the hour before.
        const QDateTime polled = now.addSecs(-360LL * (files - f));
        QList<QByteArray> lines;
        for (int r = 0; r < records; ++r) {
            const QDateTime at = polled.addSecs(-60LL * (records - r));
            lines << demo::formatRecord({.badge = badges[(f * records + r) % badges.size()],
                                         .date = at.date(),
                                         .time = at.time(),
                                         .inOut = r % 2 ? 'O' : 'I',
                                         .sequence = ++sequence % 10000});
        }
        if (!demo::writePollFile(pollDir + QLatin1Char('/') + demo::pollFileName(polled, clocks[f % clocks.size()]),
                                 lines))
            return fail(QStringLiteral("cannot write the poll logs"));
    }
    if (!copyTree(cliSite, windowSite)) return fail(QStringLiteral("cannot copy the site"));

    // The command line.
    QElapsedTimer t;
    t.start();
    QProcess cli;
    cli.start(QStringLiteral(HX_CLI_PATH), siteArgs(cliSite) + QStringList{QStringLiteral("import"),
                                                                         QStringLiteral("--all"),
                                                                         QStringLiteral("--yes")});
    if (!cli.waitForFinished(3600000) || cli.exitCode() != 0)
        return fail(QStringLiteral("import --all failed: ") + QString::fromLocal8Bit(cli.readAllStandardError()));
    const double cliSeconds = t.nsecsElapsed() / 1e9;

    // The window, from its start-up to the end of the import.
    Clock::setFixedFromText(kNow);
    subSetDatabaseFilePath(windowSite + QStringLiteral("/site.db"));
    subSetApplicationPath(windowSite + QStringLiteral("/app"));
    subSetPollLogPath(windowSite + QStringLiteral("/polllogs"));
    subSetErrorLogPath(windowSite + QStringLiteral("/logs"));
    ScriptedMessageBox boxes;
    boxes.pushAnswer(Answer::Yes);
    setMessageBoxFace(&boxes);
    double windowSeconds = 0;
    int listed = 0;
    {
        t.restart();
        frmPollLog form;
        if (!form.startUp()) return fail(QStringLiteral("the window did not start"));
        form.show();
        listed = form.listView()->model()->rowCount();
        form.listView()->selectAll();
        form.import();
        windowSeconds = t.nsecsElapsed() / 1e9;
        form.shutDown();
    }
    setMessageBoxFace(nullptr);
    if (boxes.count(QStringLiteral("Success")) != 1) return fail(QStringLiteral("the window's import did not succeed"));

    const long long cliPunches = punchesOf(cliSite), windowPunches = punchesOf(windowSite);
    std::printf("files %d (listed %d), records per file %d\n", files, listed, records);
    std::printf("command line  %.2f s  %lld punches in PUNCH\n", cliSeconds, cliPunches);
    std::printf("window        %.2f s  %lld punches in PUNCH\n", windowSeconds, windowPunches);
    std::printf("ratio window / command line: %.2f\n", windowSeconds / cliSeconds);
    return cliPunches == windowPunches && listed == files ? 0 : fail(QStringLiteral("the two imports differ"));
}
