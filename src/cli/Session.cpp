#include "cli/Commands.h"
#include "component/modGlobal.h"
#include "rules/clsTCrules.h"

#include <cstdio>

namespace hx::cli {

void printError(const QString &text) {
    std::fputs(("hxpolllog: " + text + "\n").toLocal8Bit().constData(), stderr);
}

bool openSession() {
    QString extra;
    const QString name = strGetDatabaseFilePath();
    const int32_t result = lngOpenConnection(gConn, name, extra);
    if (result == 100) {
        printError(QStringLiteral("database not found: %1").arg(maskPassword(strDatabaseFullPath(name))));
        return false;
    }
    if (result != -1) {
        printError(QStringLiteral("the database %1 could not be opened.")
                       .arg(maskPassword(strDatabaseFullPath(name))));
        return false;
    }
    gTCRules = std::make_unique<clsTCrules>();
    gTCRules->ReadValues();
    return true;
}

void closeSession() {
    subCloseConnection(gConn);
}

} // namespace hx::cli
