// hxpolllog: the command-line host of the poll log component.
#include "cli/Commands.h"
#include "cli/TerminalFace.h"
#include "cli/WindowProgram.h"
#include "component/Clock.h"
#include "component/SiteSettings.h"
#include "component/modGlobal.h"
#include "hx_version.h"
#include "messages/LogFiles.h"
#include "messages/MessageBox.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

using namespace hx;

namespace {
struct Command {
    const char *name;
    const char *summary;
    int (*run)(const QStringList &);
};

int cmdHelp(const QStringList &args);

// In the order of the general help.
const std::vector<Command> &commands() {
    static const std::vector<Command> c = {
        {"init-db", "create every table in a new SQLite file or an empty server database", cli::cmdInitDb},
        {"rules", "print the time clock rules as loaded at start-up", cli::cmdRules},
        {"import", "import poll log files and post their punches", cli::cmdImport},
        {"list", "list the poll logs, newest first", cli::cmdList},
        {"view", "open a poll log in the text viewer", cli::cmdView},
        {"print", "write the poll log list report as a PDF", cli::cmdPrint},
        {"show", "open the poll log window", cli::cmdShow},
        {"demo", "build a demonstration site and import it", cli::cmdDemo},
        {"paths", "print the paths in force and where each comes from", cli::cmdPaths},
        {"prune", "move old poll logs and those of unknown clocks into Pruned/", cli::cmdPrune},
        {"watch", "import poll logs as they arrive, until stopped", cli::cmdWatch},
        {"report", "report exceptions: what to look at after an import", cli::cmdReport},
        {"history", "list the imports of the database, newest first", cli::cmdHistory},
        // Further commands go here, one line each.
        {"help", "print the help of hxpolllog or of one command", cmdHelp},
    };
    return c;
}

const Command *findCommand(const QString &name) {
    for (const Command &c : commands())
        if (name == QLatin1String(c.name)) return &c;
    return nullptr;
}

QStringList commandNames() {
    QStringList names;
    for (const Command &c : commands())
        names << QLatin1String(c.name);
    return names;
}

// The global options; they may stand before or after the command.
struct GlobalOption {
    const char *name;
    const char *valueName; // nullptr for a flag
    const char *description;
};
const std::vector<GlobalOption> &globalOptions() {
    static const std::vector<GlobalOption> o = {
        {"db", "name",
         "Database file, data-link file (.udl) or postgresql:// URL (default: ChronbaseV7.mde in the "
         "application folder). Also HXPOLLLOG_DB, or Database in the settings."},
        {"app-dir", "dir",
         "Application folder (default: the program's folder in its build tree, else $STATE_DIRECTORY or "
         "~/.local/state/hxpolllog). Also HXPOLLLOG_APP_DIR, or ApplicationPath in the settings."},
        {"poll-dir", "dir",
         "Poll log folder (default: PollLogs in the application folder). Also HXPOLLLOG_POLL_DIR, or "
         "PollLogPath in the settings."},
        {"log-dir", "dir",
         "Folder of the log QX8log.txt (default: the program's folder in its build tree, else "
         "$LOGS_DIRECTORY or the log folder of the state folder). Also HXPOLLLOG_LOG_DIR, or ErrorLogPath "
         "in the settings."},
        {"config", "file", "A settings file read after the others (also HXPOLLLOG_CONFIG)."},
        {"now", "moment", "Fix the clock at \"YYYY-MM-DD HH:MM:SS\" (also HXPOLLLOG_NOW)."},
        {"quiet", nullptr, "Print only errors and the one-line result."},
        {"verbose", nullptr, "Also print the log's notes on standard error."},
        {"version", nullptr, "Print the version and exit."},
    };
    return o;
}

struct CommandLine {
    QString command;
    QStringList args;                   // the command's own
    std::map<QString, QString> globals; // name -> value ("" for a flag)
    bool help = false;                  // --help before the command
};

// Takes the global options out of the arguments, wherever they stand before
// a "--"; the first other word is the command.
std::optional<CommandLine> splitCommandLine(const QStringList &arguments, QString *error) {
    CommandLine line;
    bool options = true;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        if (options && a == QLatin1String("--")) {
            options = false;
            if (!line.command.isEmpty()) line.args << a;
            continue;
        }
        if (options && a.startsWith(QLatin1String("--"))) {
            const QString name = a.mid(2).section(QLatin1Char('='), 0, 0);
            auto global = std::find_if(globalOptions().begin(), globalOptions().end(),
                                       [&](const GlobalOption &o) { return name == QLatin1String(o.name); });
            if (global != globalOptions().end()) {
                const bool inline_ = a.contains(QLatin1Char('='));
                if (!global->valueName) {
                    if (inline_) {
                        *error = QStringLiteral("--%1 takes no value.").arg(name);
                        return std::nullopt;
                    }
                    line.globals[name] = QString();
                } else if (inline_) {
                    line.globals[name] = a.mid(a.indexOf(QLatin1Char('=')) + 1);
                } else if (i + 1 < arguments.size()) {
                    line.globals[name] = arguments[++i];
                } else {
                    *error = QStringLiteral("--%1 needs a value.").arg(name);
                    return std::nullopt;
                }
                continue;
            }
        }
        if (!line.command.isEmpty()) {
            line.args << a;
        } else if (options &&
                   (a == QLatin1String("--help") || a == QLatin1String("-h") || a == QLatin1String("-?"))) {
            line.help = true;
        } else if (options && a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            *error = QStringLiteral("unknown option \"%1\".").arg(a);
            return std::nullopt;
        } else {
            line.command = a;
        }
    }
    return line;
}

QString generalHelp() {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Lists, imports and posts time clock poll logs."));
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Print this help.")});
    for (const GlobalOption &o : globalOptions())
        parser.addOption(o.valueName
                             ? QCommandLineOption(QLatin1String(o.name), QLatin1String(o.description),
                                                  QLatin1String(o.valueName))
                             : QCommandLineOption(QLatin1String(o.name), QLatin1String(o.description)));
    QString s = QStringLiteral("Usage: hxpolllog [global options] COMMAND [options] [arguments]\n") +
                parser.helpText().section(QLatin1Char('\n'), 1) + QStringLiteral("\nCommands:\n");
    for (const Command &c : commands())
        s += QStringLiteral("  %1  %2\n").arg(QLatin1String(c.name), -8).arg(QLatin1String(c.summary));
    s += QStringLiteral(
        "\n'hxpolllog help COMMAND' or 'hxpolllog COMMAND --help' describes a command.\n"
        "\nPaths: the settings files /etc/hxpolllog/hxpolllog.conf, then the user's\n"
        "~/.config/QX8/QX8.conf, then --config FILE (group [Site]: Database,\n"
        "ApplicationPath, PollLogPath, ErrorLogPath), overridden by the environment,\n"
        "overridden by the options. 'hxpolllog paths' shows what is in force.\n"
        "\nExit status: 0 done, 1 failed, 2 a usage error; import also 3 (saved, with errors).\n");
    return s;
}

int cmdHelp(const QStringList &args) {
    if (args.isEmpty()) {
        QTextStream(stdout) << generalHelp();
        return 0;
    }
    if (args.size() > 1)
        return cli::usageError(QStringLiteral("help"), QStringLiteral("help takes one command."));
    if (args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h")) {
        QTextStream(stdout)
            << "Usage: hxpolllog help [COMMAND]\nPrints the help of hxpolllog or of a command.\n";
        return 0;
    }
    const Command *c = findCommand(args[0]);
    if (!c) {
        const QString near = cli::closestName(args[0], commandNames());
        return cli::usageError(
            QString(),
            QStringLiteral("unknown command \"%1\".%2")
                .arg(args[0], near.isEmpty() ? QString() : QStringLiteral(" Did you mean '%1'?").arg(near)));
    }
    return c->run({QStringLiteral("--help")});
}

std::unique_ptr<QCoreApplication> makeApplication(const QString &command, int &argc, char **argv) {
    if (auto drawing = cli::makeDrawingApplication(command, argc, argv)) return drawing;
    return std::make_unique<QCoreApplication>(argc, argv);
}

bool wantsHelp(const QStringList &args) {
    for (const QString &a : args) {
        if (a == QLatin1String("--")) return false;
        if (a == QLatin1String("--help") || a == QLatin1String("-h") || a == QLatin1String("-?")) return true;
    }
    return false;
}

// The paths: settings files, then the environment, then the options.
bool settlePaths(const CommandLine &line) {
    const auto option = [&](const char *name) {
        const auto it = line.globals.find(QLatin1String(name));
        return it == line.globals.end() ? std::optional<QString>() : std::optional<QString>(it->second);
    };
    QString error;
    std::optional<SiteSettings> settings = loadSiteSettings(option("config").value_or(QString()), &error);
    if (!settings) {
        cli::printError(error + QLatin1Char('.'));
        return false;
    }
    const std::pair<SitePath, const char *> options[] = {{SitePath::Database, "db"},
                                                         {SitePath::Application, "app-dir"},
                                                         {SitePath::PollLog, "poll-dir"},
                                                         {SitePath::ErrorLog, "log-dir"}};
    const QString cwd = QDir::currentPath();
    for (const auto &[path, name] : options)
        if (auto v = option(name))
            settings->set(path, resolveSitePath(path, *v, cwd),
                          {PathSource::Option, QStringLiteral("--") + QLatin1String(name)});
    applySiteSettings(*settings);
    cli::setActiveSettings(*settings);
    return true;
}

bool settleClock(const CommandLine &line) {
    const auto now = line.globals.find(QStringLiteral("now"));
    if (now != line.globals.end()) {
        if (Clock::setFixedFromText(now->second)) return true;
        cli::usageError(QString(),
                        QStringLiteral("--now takes \"YYYY-MM-DD HH:MM:SS\", not \"%1\".").arg(now->second));
        return false;
    }
    if (qEnvironmentVariableIsSet("HXPOLLLOG_NOW")) {
        const QString env = qEnvironmentVariable("HXPOLLLOG_NOW");
        if (Clock::setFixedFromText(env)) return true;
        cli::usageError(QString(),
                        QStringLiteral("HXPOLLLOG_NOW takes \"YYYY-MM-DD HH:MM:SS\", not \"%1\".").arg(env));
        return false;
    }
    return true;
}
} // namespace

int main(int argc, char **argv) {
    cli::rememberArguments(argv);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QString error;
    const std::optional<CommandLine> line = splitCommandLine(arguments, &error);
    if (!line) return cli::usageError(QString(), error);

    const std::unique_ptr<QCoreApplication> app = makeApplication(line->command, argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hxpolllog"));
    QCoreApplication::setApplicationVersion(QStringLiteral(HX_VERSION));

    if (line->globals.count(QStringLiteral("version"))) {
        std::puts("hxpolllog " HX_VERSION);
        return 0;
    }
    if (line->globals.count(QStringLiteral("quiet")) && line->globals.count(QStringLiteral("verbose")))
        return cli::usageError(QString(), QStringLiteral("--quiet and --verbose exclude each other."));
    cli::setVerbosity(line->globals.count(QStringLiteral("quiet"))     ? cli::Verbosity::Quiet
                      : line->globals.count(QStringLiteral("verbose")) ? cli::Verbosity::Verbose
                                                                       : cli::Verbosity::Normal);
    if (line->command.isEmpty()) {
        if (line->help) return cmdHelp({});
        return cli::usageError(QString(), QStringLiteral("no command given."));
    }
    const Command *command = findCommand(line->command);
    if (command && cli::blnHandsOverToWindowProgram(line->command, line->args))
        return cli::runWindowProgram();
    if (!command) {
        const QString near = cli::closestName(line->command, commandNames());
        return cli::usageError(
            QString(),
            QStringLiteral("unknown command \"%1\".%2")
                .arg(line->command,
                     near.isEmpty() ? QString() : QStringLiteral(" Did you mean '%1'?").arg(near)));
    }
    // Help needs neither the settings nor the clock.
    if (line->help || wantsHelp(line->args))
        return command->run(line->help ? QStringList{QStringLiteral("--help")} : line->args);
    if (command->run == cmdHelp) return cmdHelp(line->args);
    if (!settleClock(*line) || !settlePaths(*line)) return 2;

    // Every box goes to standard error; questions are asked only on a terminal.
    cli::installTerminalFace().setQuiet(cli::verbosity() == cli::Verbosity::Quiet);
    // The log loses entries silently; the user hears of it once per run.
    setLogWriteFailureHandler([told = false](const QString &file, const QString &reason) mutable {
        if (told) return;
        told = true;
        cli::printError(QStringLiteral("cannot write the log %1 (%2); log entries of this run may be lost.")
                            .arg(file, reason.isEmpty() ? QStringLiteral("unknown error") : reason));
    });
    if (cli::verbosity() == cli::Verbosity::Verbose)
        setLogNoteEcho([](const QString &module, const QString &text) {
            cli::printNote(QStringLiteral("note: %1: %2").arg(module, text));
        });

    const int status = command->run(line->args);
    // The connection goes before the application object does.
    gConn.reset();
    setMessageBoxFace(nullptr);
    setLogWriteFailureHandler(nullptr);
    setLogNoteEcho(nullptr);
    return status;
}
