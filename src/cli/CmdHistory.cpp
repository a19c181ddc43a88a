// history: the imports this database has seen, newest first.
#include "cli/Commands.h"
#include "component/Database.h"
#include "component/Schema.h"
#include "component/modGlobal.h"
#include "import/ImportHistory.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

namespace hx::cli {

int cmdHistory(const QStringList &args) {
    const QString name = QStringLiteral("history");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Lists the imports this database has seen, newest first: when, where, by whom, how they were "
        "started, what they read and did, and how they ended (saved, saved_with_errors, not_saved)."));
    const QCommandLineOption limitOption(QStringLiteral("limit"), QStringLiteral("Only the N newest (default 20; 0 all)."),
                                         QStringLiteral("N"));
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("Print a JSON array of objects."));
    parser.addOptions({limitOption, jsonOption});
    if (auto done = parseCommandLine(parser, name, QStringLiteral("[--limit N] [--json]"), args)) return *done;
    if (!parser.positionalArguments().isEmpty())
        return usageError(name, QStringLiteral("unknown argument \"%1\".").arg(parser.positionalArguments().first()));
    int limit = 20;
    if (parser.isSet(limitOption)) {
        bool ok = false;
        limit = parser.value(limitOption).toInt(&ok);
        if (!ok || limit < 0)
            return usageError(name, QStringLiteral("--limit takes a whole number, not \"%1\".").arg(parser.value(limitOption)));
    }
    if (!openSession()) return 1;
    std::vector<ImportRunRecord> runs;
    try {
        // A database no import has upgraded yet has no history.
        if (conn().hasTable(QStringLiteral("PollImportRun"))) runs = readImportRuns(conn(), limit);
    } catch (const std::exception &e) {
        printError(QStringLiteral("the history cannot be read: ") + errorDescription(e));
        closeSession();
        return 1;
    }
    closeSession();
    QTextStream out(stdout);
    if (parser.isSet(jsonOption)) {
        QJsonArray array;
        for (const ImportRunRecord &r : runs)
            array.append(r.toJson());
        out << QJsonDocument(array).toJson(QJsonDocument::Indented);
        return 0;
    }
    out << QStringLiteral("%1  %2  %3  %4  %5  %6  %7\n")
               .arg(QStringLiteral("Started"), -19)
               .arg(QStringLiteral("Outcome"), -17)
               .arg(QStringLiteral("Source"), -7)
               .arg(QStringLiteral("Files"), 5)
               .arg(QStringLiteral("Records"), 7)
               .arg(QStringLiteral("New"), 6)
               .arg(QStringLiteral("Host/user"));
    for (const ImportRunRecord &r : runs)
        out << QStringLiteral("%1  %2  %3  %4  %5  %6  %7@%8%9\n")
                   .arg(r.started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), -19)
                   .arg(r.outcome, -17)
                   .arg(r.source, -7)
                   .arg(r.files.size(), 5)
                   .arg(r.summary.recordsRead, 7)
                   .arg(r.summary.punchesNew, 6)
                   .arg(r.user, r.host, r.cause.isEmpty() ? QString() : QStringLiteral("  (") + r.cause + u')');
    return 0;
}

} // namespace hx::cli
