#include "component/Startup.h"

#include "component/modGlobal.h"
#include "rules/clsTCrules.h"

namespace hx {

int32_t lngStartSession() {
    QString extra;
    const int32_t result = lngOpenConnection(gConn, strGetDatabaseFilePath(), extra);
    if (result != -1) return result;
    gTCRules = std::make_unique<clsTCrules>();
    gTCRules->ReadValues();
    return result;
}

void subEndSession() {
    subCloseConnection(gConn);
}

} // namespace hx
