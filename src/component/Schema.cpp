#include "component/Schema.h"

namespace hx {

void createSchema(Database &db) {
    db.executeScript(QString::fromUtf8(db.engine() == Engine::SQLite ? kSqliteSchema : kPostgresqlSchema));
}

} // namespace hx
