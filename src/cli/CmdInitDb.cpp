#include "cli/Commands.h"
#include "component/Database.h"
#include "component/Schema.h"

#include <QFileInfo>
#include <cstdio>

namespace hx::cli {

int cmdInitDb(const QStringList &args) {
    if (args.size() != 1 || args[0].startsWith(QLatin1Char('-'))) {
        printError(QStringLiteral("usage: hxpolllog init-db FILE"));
        return 2;
    }
    const QString file = args[0];
    if (QFileInfo::exists(file)) {
        printError(QStringLiteral("%1 already exists; init-db creates a new database only.").arg(file));
        return 1;
    }
    try {
        auto db = Database::open(ConnectionSpec::forSqliteFile(file));
        Transaction tx(*db);
        createSchema(*db);
        tx.commit();
    } catch (const HxError &e) {
        printError(QStringLiteral("cannot create %1: %2").arg(file, e.description()));
        return 1;
    }
    std::printf("created %s\n", QFileInfo(file).absoluteFilePath().toLocal8Bit().constData());
    return 0;
}

} // namespace hx::cli
