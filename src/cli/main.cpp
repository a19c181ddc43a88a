// hxpolllog: the command-line host of the poll log component.
#include "cli/Commands.h"
#include "cli/TerminalFace.h"
#include "component/Clock.h"
#include "component/modGlobal.h"
#include "messages/LogFiles.h"
#include "messages/MessageBox.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>

using namespace hx;

namespace {
struct Command {
    const char *usage;
    const char *summary;
    std::function<int(const QStringList &)> run;
};

const std::map<QString, Command> &commands() {
    static const std::map<QString, Command> c = {
        {QStringLiteral("init-db"),
         {"init-db [TARGET]", "create every table in a new SQLite file or an empty server database",
          cli::cmdInitDb}},
        {QStringLiteral("rules"),
         {"rules", "print the time clock rules as loaded at start-up", cli::cmdRules}},
        {QStringLiteral("import"),
         {"import [--yes|--no] [--skip-seen] [--wait SECONDS] NAME...|--all",
          "import poll log files and post their punches",
          [](const QStringList &args) {
              return args.contains(QStringLiteral("--all")) ? cli::cmdImportAll(args) : cli::cmdImport(args);
          }}},
        {QStringLiteral("show"), {"show", "open the poll log window", cli::cmdShow}},
        {QStringLiteral("list"), {"list [--json]", "list the poll logs, newest first", cli::cmdList}},
        {QStringLiteral("print"),
         {"print --pdf FILE [--hide-empty]", "write the poll log list report as a PDF", cli::cmdPrint}},
        {QStringLiteral("report"),
         {"report exceptions [--since DATE] [--until DATE] [--longer-than HOURS] [--pdf FILE|--json]",
          "what to look at after an import: open pairs, error codes, violations...", cli::cmdReport}},
        {QStringLiteral("prune"),
         {"prune [--dry-run]", "move old poll logs and those of unknown clocks into Pruned/", cli::cmdPrune}},
        {QStringLiteral("view"), {"view NAME", "open a poll log in the text viewer", cli::cmdView}},
        {QStringLiteral("demo"), {"demo [DIR]", "build a demonstration site and import it", cli::cmdDemo}},
        {QStringLiteral("watch"),
         {"watch [--settle SECONDS]", "import poll logs as they arrive (watch --help)", cli::cmdWatch}},
    };
    return c;
}

// A folder given on the command line is taken from the current directory.
QString absoluteFolder(const QString &value) {
    return value.isEmpty() || QDir::isAbsolutePath(value) ? value : QDir::current().absoluteFilePath(value);
}

// A database name with a folder in it is taken from the current directory; a
// bare name stays bare (it is looked up in the application folder) and a
// connection text (a URI or libpq's key=value pairs) is used as given.
QString databaseArgument(const QString &value) {
    if (isConnectionText(value) || !value.contains(QLatin1Char('/')) || QDir::isAbsolutePath(value))
        return value;
    return QDir::current().absoluteFilePath(value);
}

// The command word of a command line: the first argument that is neither a
// global option nor its value.
QString commandWord(int argc, char **argv) {
    static const QStringList withValue = {QStringLiteral("--db"), QStringLiteral("--app-dir"),
                                          QStringLiteral("--poll-dir"), QStringLiteral("--log-dir"),
                                          QStringLiteral("--now")};
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (withValue.contains(a)) {
            ++i;
            continue;
        }
        if (!a.startsWith(QLatin1Char('-'))) return a;
    }
    return QString();
}

// The window needs widgets; the printed list only a painter, which works
// without a display on Qt's offscreen platform.
std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv) {
    const QString command = commandWord(argc, argv);
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY") ||
                         !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                         !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (command == QLatin1String("show") && display) return std::make_unique<QApplication>(argc, argv);
    if (command == QLatin1String("print") || command == QLatin1String("report")) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        return std::make_unique<QGuiApplication>(argc, argv);
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

QString commandHelp() {
    QString s = QStringLiteral("\n\nCommands:\n");
    // A usage too long for its column puts the summary on the next line.
    constexpr int kColumn = 32;
    for (const auto &[name, cmd] : commands()) {
        const QString usage = QString::fromLatin1(cmd.usage);
        if (usage.size() > kColumn) s += QStringLiteral("  %1\n").arg(usage);
        s += QStringLiteral("  %1  %2\n")
                 .arg(usage.size() > kColumn ? QString() : usage, -kColumn)
                 .arg(QLatin1String(cmd.summary));
    }
    s += QStringLiteral("\nA bare database name is looked up in the application folder; a path with a\n"
                        "folder in it is taken from the current directory; a name ending in .udl is a\n"
                        "data-link file holding a connection string.\n"
                        "\nimport saves everything or nothing. --skip-seen leaves out records an earlier\n"
                        "import has seen, so running it again adds nothing twice. Exit status of import:\n"
                        "0 saved, no error reported; 3 saved, but errors were reported on the way (the\n"
                        "last line counts them); 1 nothing saved; 2 a usage error.");
    return s;
}
} // namespace

int main(int argc, char **argv) {
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hxpolllog"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Lists, imports and posts time clock poll logs.") +
                                     commandHelp());
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption helpOption = parser.addHelpOption();
    QCommandLineOption dbOption(
        QStringLiteral("db"),
        QStringLiteral("Database file, data-link file (.udl), postgresql:// URI or libpq "
                       "key=value pairs (default: ChronbaseV7.mde)."),
        QStringLiteral("name"));
    QCommandLineOption appDirOption(
        QStringLiteral("app-dir"),
        QStringLiteral("Application folder (default: the folder of this program)."), QStringLiteral("dir"));
    QCommandLineOption pollDirOption(
        QStringLiteral("poll-dir"),
        QStringLiteral("Poll log folder (default: PollLogs in the application folder)."),
        QStringLiteral("dir"));
    QCommandLineOption logDirOption(
        QStringLiteral("log-dir"),
        QStringLiteral("Folder of the log QX8log.txt (default: the folder of this program)."),
        QStringLiteral("dir"));
    QCommandLineOption nowOption(
        QStringLiteral("now"),
        QStringLiteral("Fix the clock at \"YYYY-MM-DD HH:MM:SS\" (also HXPOLLLOG_NOW)."),
        QStringLiteral("moment"));
    parser.addOptions({dbOption, appDirOption, pollDirOption, logDirOption, nowOption});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("The command to run (see above)."));

    if (!parser.parse(QCoreApplication::arguments())) {
        cli::printError(parser.errorText());
        std::fputs("Try 'hxpolllog --help'.\n", stderr);
        return 2;
    }
    if (parser.isSet(helpOption)) {
        QTextStream(stdout) << parser.helpText();
        return 0;
    }
    if (parser.isSet(nowOption)) {
        if (!Clock::setFixedFromText(parser.value(nowOption))) {
            cli::printError(QStringLiteral("--now takes \"YYYY-MM-DD HH:MM:SS\", not \"%1\".")
                                .arg(parser.value(nowOption)));
            return 2;
        }
    } else if (qEnvironmentVariableIsSet("HXPOLLLOG_NOW")) {
        const QString env = qEnvironmentVariable("HXPOLLLOG_NOW");
        if (!Clock::setFixedFromText(env)) {
            cli::printError(
                QStringLiteral("HXPOLLLOG_NOW takes \"YYYY-MM-DD HH:MM:SS\", not \"%1\".").arg(env));
            return 2;
        }
    }
    if (parser.isSet(dbOption)) subSetDatabaseFilePath(databaseArgument(parser.value(dbOption)));
    if (parser.isSet(appDirOption)) subSetApplicationPath(absoluteFolder(parser.value(appDirOption)));
    if (parser.isSet(pollDirOption)) subSetPollLogPath(absoluteFolder(parser.value(pollDirOption)));
    if (parser.isSet(logDirOption)) subSetErrorLogPath(absoluteFolder(parser.value(logDirOption)));
    // Every box goes to standard error; questions are asked only on a terminal.
    cli::installTerminalFace();
    // The log loses entries silently; the user hears of it once per run.
    setLogWriteFailureHandler([told = false](const QString &file, const QString &reason) mutable {
        if (told) return;
        told = true;
        cli::printError(QStringLiteral("cannot write the log %1 (%2); log entries of this run may be lost.")
                            .arg(file, reason.isEmpty() ? QStringLiteral("unknown error") : reason));
    });

    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        cli::printError(QStringLiteral("no command given."));
        std::fputs("Try 'hxpolllog --help'.\n", stderr);
        return 2;
    }
    const QString name = positional.takeFirst();
    auto it = commands().find(name);
    if (it == commands().end()) {
        cli::printError(QStringLiteral("unknown command \"%1\".").arg(name));
        std::fputs("Try 'hxpolllog --help'.\n", stderr);
        return 2;
    }
    // init-db creates what --db names, when no TARGET says otherwise.
    if (name == QLatin1String("init-db") && parser.isSet(dbOption)) {
        // The same file as the other commands would open with that --db.
        const QString db = strDatabaseFullPath(databaseArgument(parser.value(dbOption)));
        if (positional.isEmpty()) {
            positional << db;
        } else if (positional != QStringList{db} && positional != QStringList{parser.value(dbOption)}) {
            cli::printError(QStringLiteral("init-db takes its TARGET or --db, not two different ones."));
            return 2;
        }
    }
    const int status = it->second.run(positional);
    // The connection goes before the application object does.
    gConn.reset();
    setMessageBoxFace(nullptr);
    setLogWriteFailureHandler(nullptr);
    return status;
}
