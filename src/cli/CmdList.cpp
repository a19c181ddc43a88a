// The poll log window's commands from the command line: show, list, print,
// view, and the import of every listed file.
#include "cli/Commands.h"
#include "component/DateTime.h"
#include "component/modGlobal.h"
#include "import/PollLogList.h"
#include "import/PollLogViewer.h"
#include "messages/MessageBox.h"
#include "window/PollLogReport.h"
#include "window/frmPollLog.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <cstdio>

namespace hx::cli {
namespace {
int usage(const QString &why, const char *line) {
    if (!why.isEmpty()) printError(why);
    printError(QStringLiteral("usage: hxpolllog [global options] %1").arg(QLatin1String(line)));
    return 2;
}

enum class Built { NoDatabase, Partly, Whole };

// Builds the list as the window does, but reading never moves a file: files
// that the window would prune are only left out. A name that cannot be read
// is named on standard error and the rest is listed.
Built buildList(PollLogList &list) {
    if (!openSession()) return Built::NoDatabase;
    const bool whole = list.build(PruneMode::Keep, [](const PollLogNotice &n) {
        if (n.kind == PollLogNotice::BadName) printError(QStringLiteral("left out %1: %2").arg(n.fileName, n.reason));
    });
    closeSession();
    if (whole) return Built::Whole;
    if (!list.folderError().isEmpty())
        printError(list.folderError() + QLatin1Char('.'));
    else
        printError(QStringLiteral("the poll log list could not be built whole; see the message above."));
    return Built::Partly;
}
} // namespace

int cmdShow(const QStringList &args) {
    if (!args.isEmpty()) return usage(QStringLiteral("show takes no arguments."), "show");
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        printError(
            QStringLiteral("show needs a display (DISPLAY or WAYLAND_DISPLAY; QT_QPA_PLATFORM=offscreen "
                           "for none)."));
        return 1;
    }
    // The window asks its questions in its own boxes.
    setMessageBoxFace(nullptr);
    return ShowPollLog() ? 0 : 1;
}

int cmdList(const QStringList &args) {
    bool json = false;
    for (const QString &a : args) {
        if (a == QLatin1String("--json"))
            json = true;
        else
            return usage(QStringLiteral("unknown argument \"%1\".").arg(a), "list [--json]");
    }
    PollLogList list;
    const Built built = buildList(list);
    if (built == Built::NoDatabase) return 1;
    QTextStream out(stdout);
    if (json) {
        QJsonArray rows;
        for (const PollLogRow &r : list.allRows())
            rows.append(QJsonObject{{QStringLiteral("poll_date"),
                                     formatIsoDateTime(r.pollTime).replace(QLatin1Char(' '), QLatin1Char('T'))},
                                    {QStringLiteral("clock_name"), r.clockName},
                                    {QStringLiteral("approximate_punches"), r.approximatePunches},
                                    {QStringLiteral("file_name"), r.fileName},
                                    {QStringLiteral("clock_number"), r.clockNumber}});
        out << QJsonDocument(rows).toJson(QJsonDocument::Indented);
    } else {
        out << QStringLiteral("%1  %2  %3  %4\n")
                   .arg(QStringLiteral("Poll Date"), -20)
                   .arg(QStringLiteral("Clock Name"), -20)
                   .arg(QStringLiteral("Approx. Punches"), 15)
                   .arg(QStringLiteral("File Name"));
        for (const PollLogRow &r : list.allRows())
            out << QStringLiteral("%1  %2  %3  %4\n")
                       .arg(r.pollDate, -20)
                       .arg(r.clockName, -20)
                       .arg(r.approximatePunches, 15)
                       .arg(r.fileName);
    }
    return built == Built::Whole ? 0 : 1;
}

int cmdPrint(const QStringList &args) {
    const char *line = "print --pdf FILE [--hide-empty]";
    QString file;
    bool hideEmpty = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--pdf") && i + 1 < args.size())
            file = args[++i];
        else if (args[i].startsWith(QLatin1String("--pdf=")))
            file = args[i].mid(6);
        else if (args[i] == QLatin1String("--hide-empty"))
            hideEmpty = true;
        else
            return usage(QStringLiteral("unknown argument \"%1\".").arg(args[i]), line);
    }
    if (file.isEmpty()) return usage(QStringLiteral("print needs --pdf FILE."), line);
    PollLogList list;
    const Built built = buildList(list);
    if (built == Built::NoDatabase) return 1;
    list.setHideEmpty(hideEmpty);
    QString why;
    if (!blnWritePollLogReportPdf(list.rows(), QFileInfo(file).absoluteFilePath(), &why)) {
        printError(why);
        return 1;
    }
    return built == Built::Whole ? 0 : 1;
}

int cmdView(const QStringList &args) {
    if (args.size() != 1 || args[0].isEmpty())
        return usage(QStringLiteral("view takes one poll log name."), "view NAME");
    const QString path = args[0].contains(QLatin1Char('/')) ? QFileInfo(args[0]).absoluteFilePath()
                                                            : strPollLogFilePath(args[0]);
    if (!QFileInfo(path).isFile()) {
        printError(QStringLiteral("no poll log %1.").arg(path));
        return 1;
    }
    return blnViewPollLog(path) ? 0 : 1;
}

int cmdImportAll(const QStringList &args) {
    // Every other argument is the import's; names are the list's.
    QStringList options;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--all")) continue;
        if (a == QLatin1String("--wait") && i + 1 < args.size()) {
            options << a << args[++i];
            continue;
        }
        if (!a.startsWith(QLatin1Char('-')) || a == QLatin1String("--"))
            return usage(QStringLiteral("import --all takes no poll log names."),
                         "import --all [--yes|--no] [--wait SECONDS] [--skip-seen]");
        options << a;
    }
    PollLogList list;
    if (buildList(list) != Built::Whole) return 1;
    if (list.allRows().empty()) {
        QTextStream(stdout) << "No poll logs to import.\n";
        return 0;
    }
    QStringList names;
    for (const PollLogRow &r : list.allRows())
        names << r.fileName;
    return cmdImport(options + QStringList{QStringLiteral("--")} + names);
}

int cmdPrune(const QStringList &args) {
    bool dryRun = false;
    for (const QString &a : args) {
        if (a == QLatin1String("--dry-run"))
            dryRun = true;
        else
            return usage(QStringLiteral("unknown argument \"%1\".").arg(a), "prune [--dry-run]");
    }
    if (!openSession()) return 1;
    PollLogList list;
    const QString would = dryRun ? QStringLiteral("would ") : QString();
    bool failed = false;
    const bool whole = list.build(dryRun ? PruneMode::DryRun : PruneMode::Move, [&](const PollLogNotice &n) {
        switch (n.kind) {
        case PollLogNotice::Pruned:
            QTextStream(stdout) << would << "move " << n.fileName << " into Pruned/: " << n.reason << '\n';
            break;
        case PollLogNotice::Purged:
            QTextStream(stdout) << would << "delete Pruned/" << n.fileName << ": " << n.reason << '\n';
            break;
        case PollLogNotice::BadName:
            printError(QStringLiteral("left out %1: %2").arg(n.fileName, n.reason));
            break;
        case PollLogNotice::MoveFailed:
            printError(QStringLiteral("%1 %2").arg(n.fileName, n.reason));
            failed = true;
            break;
        }
    });
    closeSession();
    if (!list.folderError().isEmpty()) printError(list.folderError() + QLatin1Char('.'));
    return whole && !failed ? 0 : 1;
}

} // namespace hx::cli
