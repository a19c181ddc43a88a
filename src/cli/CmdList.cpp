// The poll log window's commands from the command line: list and view
// (show and print are in WindowCommands.cpp).
#include "cli/Commands.h"
#include "cli/PollLogListing.h"
#include "component/DateTime.h"
#include "component/modGlobal.h"
#include "import/PollLogList.h"
#include "import/PollLogViewer.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <cstdio>

namespace hx::cli {
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

int cmdList(const QStringList &args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Builds the list as the window does and prints it newest first. Reading never moves or deletes a "
        "file: files the window would prune are left out (see prune)."));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("Print a JSON array of objects, one per poll log."));
    parser.addOption(jsonOption);
    if (auto done = parseCommandLine(parser, QStringLiteral("list"), QStringLiteral("[--json]"), args))
        return *done;
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("list"),
            QStringLiteral("unknown argument \"%1\".").arg(parser.positionalArguments().first()));
    const bool json = parser.isSet(jsonOption);
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

int cmdView(const QStringList &args) {
    const QString name = QStringLiteral("view");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Opens a poll log (a bare NAME in the poll log folder, or a path) in the text viewer, without "
        "waiting: HXPOLLLOG_VIEWER, else Viewer in [PollLog] of the settings, else $VISUAL, else "
        "xdg-open."));
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The poll log."));
    if (auto done = parseCommandLine(parser, name, QStringLiteral("NAME"), args)) return *done;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1 || positional[0].isEmpty())
        return usageError(name, QStringLiteral("view takes one poll log name."));
    const QString path = positional[0].contains(QLatin1Char('/'))
                             ? QFileInfo(positional[0]).absoluteFilePath()
                             : strPollLogFilePath(positional[0]);
    if (!QFileInfo(path).isFile()) {
        printError(QStringLiteral("no poll log %1.").arg(path));
        return 1;
    }
    return blnViewPollLog(path) ? 0 : 1;
}

int cmdPrune(const QStringList &args) {
    const QString name = QStringLiteral("prune");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prunes the poll log folder as the window does: moves poll logs older than the rules' \"POLL LOG "
        "FOR\" days and those of clocks not in CLOCK into the folder's Pruned/ subfolder, and deletes files "
        "kept there more than 30 days. Each is named on standard output and noted in the log."));
    const QCommandLineOption dryRunOption(QStringLiteral("dry-run"),
                                          QStringLiteral("Say what would be moved or deleted; change nothing."));
    parser.addOption(dryRunOption);
    if (auto done = parseCommandLine(parser, name, QStringLiteral("[--dry-run]"), args)) return *done;
    if (!parser.positionalArguments().isEmpty())
        return usageError(name, QStringLiteral("unknown argument \"%1\".").arg(parser.positionalArguments().first()));
    const bool dryRun = parser.isSet(dryRunOption);
    if (!openSession()) return 1;
    PollLogList list;
    const QString would = dryRun ? QStringLiteral("would ") : QString();
    bool failed = false;
    QTextStream out(stdout);
    const bool whole = list.build(dryRun ? PruneMode::DryRun : PruneMode::Move, [&](const PollLogNotice &n) {
        switch (n.kind) {
        case PollLogNotice::Pruned:
            out << would << "move " << n.fileName << " into Pruned/: " << n.reason << '\n';
            break;
        case PollLogNotice::Purged:
            out << would << "delete Pruned/" << n.fileName << ": " << n.reason << '\n';
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
    out.flush();
    closeSession();
    if (!list.folderError().isEmpty()) printError(list.folderError() + QLatin1Char('.'));
    return whole && !failed ? 0 : 1;
}

} // namespace hx::cli
