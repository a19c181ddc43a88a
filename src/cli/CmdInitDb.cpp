#include "cli/Commands.h"
#include "component/Database.h"
#include "component/Schema.h"
#include "component/modGlobal.h"

#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace hx::cli {

int cmdInitDb(const QStringList &args) {
    if (args.size() != 1 || args[0].startsWith(QLatin1Char('-'))) {
        printError(
            QStringLiteral("usage: hxpolllog init-db TARGET   (an SQLite file, a postgresql:// URI, libpq "
                           "key=value pairs or a .udl data-link file)"));
        return 2;
    }
    const QString shown = maskPassword(args[0]);
    QString error;
    const std::optional<ConnectionSpec> target = connectionTarget(args[0], &error);
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
