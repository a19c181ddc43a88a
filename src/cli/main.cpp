// hxpolllog: the command-line host of the poll log component.
#include "cli/Commands.h"
#include "component/Clock.h"
#include "component/modGlobal.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <functional>
#include <map>

using namespace hx;

namespace {
struct Command {
    const char *summary;
    std::function<int(const QStringList &)> run;
};

const std::map<QString, Command> &commands() {
    static const std::map<QString, Command> c = {
        {QStringLiteral("init-db"), {"init-db FILE          create a new SQLite database with every table", cli::cmdInitDb}},
        {QStringLiteral("rules"), {"rules                 print the time clock rules as loaded at start-up", cli::cmdRules}},
        {QStringLiteral("import"),
         {"import [--yes|--no] NAME...  import poll log files and post their punches", cli::cmdImport}},
        {QStringLiteral("demo"), {"demo [DIR]            build a demonstration site and import it", cli::cmdDemo}},
    };
    return c;
}

QString commandHelp() {
    QString s = QStringLiteral("\nCommands:\n");
    for (const auto &[name, cmd] : commands())
        s += QStringLiteral("  ") + QString::fromLatin1(cmd.summary) + QLatin1Char('\n');
    return s;
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hxpolllog"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Lists, imports and posts time clock poll logs.") +
                                     commandHelp());
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption helpOption = parser.addHelpOption();
    QCommandLineOption dbOption(QStringLiteral("db"), QStringLiteral("Database file, data-link file (.udl) or "
                                                                     "postgresql:// URL."),
                                QStringLiteral("name"));
    QCommandLineOption appDirOption(QStringLiteral("app-dir"), QStringLiteral("Application folder."),
                                    QStringLiteral("dir"));
    QCommandLineOption pollDirOption(QStringLiteral("poll-dir"), QStringLiteral("Poll log folder."),
                                     QStringLiteral("dir"));
    QCommandLineOption logDirOption(QStringLiteral("log-dir"), QStringLiteral("Error log folder."),
                                    QStringLiteral("dir"));
    QCommandLineOption nowOption(QStringLiteral("now"),
                                 QStringLiteral("Fix the clock at \"YYYY-MM-DD HH:MM:SS\" (also HXPOLLLOG_NOW)."),
                                 QStringLiteral("moment"));
    parser.addOptions({dbOption, appDirOption, pollDirOption, logDirOption, nowOption});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("The command to run (see above)."));

    if (!parser.parse(QCoreApplication::arguments())) {
        cli::printError(parser.errorText());
        std::fputs("Try 'hxpolllog --help'.\n", stderr);
        return 2;
    }
    if (parser.isSet(helpOption)) {
        QTextStream(stdout) << parser.helpText();
        return 0;
    }
    if (parser.isSet(nowOption) && !Clock::setFixedFromText(parser.value(nowOption))) {
        cli::printError(QStringLiteral("--now takes \"YYYY-MM-DD HH:MM:SS\", not \"%1\".").arg(parser.value(nowOption)));
        return 2;
    }
    if (parser.isSet(dbOption))
        subSetDatabaseFilePath(parser.value(dbOption));
    if (parser.isSet(appDirOption))
        subSetApplicationPath(parser.value(appDirOption));
    if (parser.isSet(pollDirOption))
        subSetPollLogPath(parser.value(pollDirOption));
    if (parser.isSet(logDirOption))
        subSetErrorLogPath(parser.value(logDirOption));

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
    return it->second.run(positional);
}
