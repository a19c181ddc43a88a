#include "cli/Commands.h"
#include "rules/clsTCrules.h"

#include <QTextStream>

namespace hx::cli {

int cmdRules(const QStringList &args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Opens the database as the program does at start-up, loads the time clock rules and prints them, "
        "one \"name = value\" per line."));
    if (auto done = parseCommandLine(parser, QStringLiteral("rules"), QString(), args)) return *done;
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("rules"), QStringLiteral("rules takes no arguments."));
    if (!openSession()) return 1;
    QTextStream out(stdout);
    for (const QString &line : gTCRules->describe())
        out << line << '\n';
    out.flush();
    closeSession();
    return 0;
}

} // namespace hx::cli
