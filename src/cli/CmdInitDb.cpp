#include "cli/Commands.h"
#include "component/Database.h"
#include "component/Schema.h"
#include "component/modGlobal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace hx::cli {

int cmdInitDb(const QStringList &args) {
    const QString name = QStringLiteral("init-db");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Creates every table and index in TARGET: a new SQLite file, a postgresql:// URL or a .udl data-link "
        "file. Without TARGET, the database in force (--db, HXPOLLLOG_DB or the settings)."));
    parser.addPositionalArgument(QStringLiteral("TARGET"), QStringLiteral("The database to create."),
                                 QStringLiteral("[TARGET]"));
    if (auto done = parseCommandLine(parser, name, QStringLiteral("[TARGET]"), args)) return *done;
    QStringList positional = parser.positionalArguments();
    // The database the other commands would open.
    const SiteSettings &settings = activeSettings();
    const QString inForce = settings.value(SitePath::Database);
    if (!inForce.isEmpty()) {
        const QString db = strDatabaseFullPath(inForce);
        if (positional.isEmpty())
            positional << db;
        else if (settings.source(SitePath::Database).kind == PathSource::Option && positional.size() == 1 &&
                 strDatabaseFullPath(
                     resolveSitePath(SitePath::Database, positional[0], QDir::currentPath())) != db)
            return usageError(name,
                              QStringLiteral("init-db takes its TARGET or --db, not two different ones."));
    }
    if (positional.size() != 1 || positional[0].isEmpty())
        return usageError(name,
                          QStringLiteral("init-db takes one TARGET (an SQLite file, a postgresql:// URI, "
                                         "libpq key=value pairs or a .udl data-link file)."));
    const QString target0 = positional[0];
    const QString shown = maskPassword(target0);
    QString error;
    const std::optional<ConnectionSpec> target = connectionTarget(target0, &error);
    if (!target) {
        printError(QStringLiteral("cannot create the tables in %1: %2").arg(shown, error));
        return 1;
    }
    const bool sqlite = target->engine == Engine::SQLite;
    if (sqlite && QFileInfo::exists(target->sqliteFile)) {
        printError(QStringLiteral("%1 already exists; init-db creates a new database only.")
                       .arg(target->sqliteFile));
        return 1;
    }
    QString created;
    try {
        auto db = Database::open(*target);
        created = sqlite ? QFileInfo(target->sqliteFile).absoluteFilePath() : db->describe();
        // A server database is made by its administrator; it must be empty of
        // the suite's tables, as a new file is.
        const QString existing = firstExistingSchemaTable(*db);
        if (!existing.isEmpty()) {
            printError(QStringLiteral("%1 already holds the table %2; init-db creates the tables in an empty "
                                      "database only.")
                           .arg(created, existing));
            return 1;
        }
        Transaction tx(*db);
        createSchema(*db);
        tx.commit();
    } catch (const HxError &e) {
        // Nothing half-made is left behind: the new file goes again.
        if (sqlite) {
            for (const char *suffix : {"", "-wal", "-shm", "-journal"})
                QFile::remove(target->sqliteFile + QLatin1String(suffix));
        }
        printError(QStringLiteral("cannot create %1: %2").arg(shown, maskPassword(e.description())));
        return 1;
    }
    std::printf("created %s\n", created.toLocal8Bit().constData());
    return 0;
}

} // namespace hx::cli
