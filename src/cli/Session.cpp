#include "cli/Commands.h"
#include "component/Startup.h"
#include "component/modGlobal.h"

namespace hx::cli {

bool openSession() {
    const QString name = strGetDatabaseFilePath();
    const int32_t result = lngStartSession();
    if (result == 100) {
        printError(QStringLiteral("database not found: %1").arg(maskPassword(strDatabaseFullPath(name))));
        return false;
    }
    if (result != -1) {
        printError(QStringLiteral("the database %1 could not be opened.")
                       .arg(maskPassword(strDatabaseFullPath(name))));
        return false;
    }
    return true;
}

void closeSession() {
    subEndSession();
}

} // namespace hx::cli
