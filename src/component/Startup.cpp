#include "component/Startup.h"

#include "component/Database.h"
#include "component/modGlobal.h"
#include "rules/clsTCrules.h"

namespace hx {
namespace {
int32_t gLastStartResult = -1;
}

int32_t lngLastStartResult() {
    return gLastStartResult;
}

int32_t lngStartSession() {
    QString extra;
    const int32_t result = lngOpenConnection(gConn, strGetDatabaseFilePath(), extra);
    gLastStartResult = result;
    if (result != -1) return result;
    gTCRules = std::make_unique<clsTCrules>();
    gTCRules->ReadValues();
    return result;
}

QString strStartFailure(int32_t result, const QString &openerPrompt) {
    const QString name = maskPassword(strDatabaseFullPath(strGetDatabaseFilePath()));
    if (result == 100) return QStringLiteral("database not found: %1").arg(name);
    QString why = QStringLiteral("the database %1 could not be opened").arg(name);
    // The box's "Description: " line is the cause; the rest is its frame.
    static const QString label = QStringLiteral("Description: ");
    for (const QString &line : openerPrompt.split(QStringLiteral("\r\n")))
        if (line.startsWith(label)) return why + QStringLiteral(": ") + line.mid(label.size());
    return openerPrompt.isEmpty() ? why : why + QStringLiteral(": ") + openerPrompt;
}

void subEndSession() {
    subCloseConnection(gConn);
}

} // namespace hx
