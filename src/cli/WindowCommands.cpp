// The drawing commands, built into hxpolllog-window only: the window, the
// printed poll log list and the PDF of the exceptions report.
#include "cli/Commands.h"
#include "cli/PollLogListing.h"
#include "cli/WindowProgram.h"
#include "import/PollLogList.h"
#include "messages/MessageBox.h"
#include "window/ExceptionsReportPrint.h"
#include "window/PollLogReport.h"
#include "window/frmPollLog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

namespace hx::cli {
bool blnHandsOverToWindowProgram(const QString &, const QStringList &) {
    return false;
}

// Never called here: this program runs every command itself.
int runWindowProgram() {
    return 1;
}
void rememberArguments(char **) {}

// The window needs widgets; the printed list only a painter, which works
// without a display on Qt's offscreen platform.
std::unique_ptr<QCoreApplication> makeDrawingApplication(const QString &command, int &argc, char **argv) {
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY") ||
                         !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                         !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (command == QLatin1String("show") && display) return std::make_unique<QApplication>(argc, argv);
    if (command == QLatin1String("print") || command == QLatin1String("report")) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        // The GUI application looks for a sandbox marker in the runtime
        // folder and warns when there is none (cron, ssh); a private one for
        // this run keeps the output clean.
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            static QTemporaryDir runtime(QDir::tempPath() + QStringLiteral("/hxpolllog-runtime-XXXXXX"));
            if (runtime.isValid()) qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        }
        return std::make_unique<QGuiApplication>(argc, argv);
    }
    return nullptr;
}

bool blnWriteExceptionsPdf(const ExceptionsReport &report, const QString &file, QString *why) {
    return blnWriteExceptionsReportPdf(report, file, why);
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

} // namespace hx::cli
