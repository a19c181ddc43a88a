// The poll log window's commands from the command line: show, list, print
// and view.
#include "cli/Commands.h"
#include "cli/PollLogListing.h"
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
Built buildList(PollLogList &list) {
    if (!openSession()) return Built::NoDatabase;
    const bool whole = list.build([](const DeletedPollLog &d) {
        printNote(QStringLiteral("deleted %1: %2").arg(d.fileName, d.reason));
    });
    closeSession();
    if (whole) return Built::Whole;
    printError(QStringLiteral("the poll log list could not be built whole; see the message above."));
    return Built::Partly;
}

int cmdShow(const QStringList &args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Opens the poll log window. Exit status 0 when it was shown and closed, 1 when it could not be "
        "shown (no display, or the database did not open)."));
    if (auto done = parseCommandLine(parser, QStringLiteral("show"), QString(), args)) return *done;
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("show"), QStringLiteral("show takes no arguments."));
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
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Builds the list as the window does, pruning included (each deleted file is named on standard "
        "error), and prints it newest first."));
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
    const QStringList &fields = PollLogList::fieldNames();
    if (json) {
        QJsonArray rows;
        for (const PollLogRow &r : list.allRows())
            rows.append(QJsonObject{{fields[0], r.pollDate},
                                    {fields[1], r.clockName},
                                    {fields[2], r.approximatePunches},
                                    {fields[3], r.fileName},
                                    {fields[4], r.clockNumber}});
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
    const QString name = QStringLiteral("print");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes the Print report of the poll log list as a PDF; needs no display."));
    const QCommandLineOption pdfOption(QStringLiteral("pdf"), QStringLiteral("The PDF file to write."),
                                       QStringLiteral("file"));
    const QCommandLineOption hideOption(QStringLiteral("hide-empty"),
                                        QStringLiteral("Leave out the poll logs without punches."));
    parser.addOptions({pdfOption, hideOption});
    if (auto done = parseCommandLine(parser, name, QStringLiteral("--pdf FILE [--hide-empty]"), args))
        return *done;
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            name, QStringLiteral("unknown argument \"%1\".").arg(parser.positionalArguments().first()));
    const QString file = parser.value(pdfOption);
    if (file.isEmpty()) return usageError(name, QStringLiteral("print needs --pdf FILE."));
    PollLogList list;
    const Built built = buildList(list);
    if (built == Built::NoDatabase) return 1;
    list.setHideEmpty(parser.isSet(hideOption));
    QString why;
    if (!blnWritePollLogReportPdf(list.rows(), QFileInfo(file).absoluteFilePath(), &why)) {
        printError(why);
        return 1;
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

} // namespace hx::cli
