#pragma once
// The database scripts of schema/, compiled in.
#include "component/Database.h"

#include <QStringList>

namespace hx {

extern const char *const kSqliteSchema;
extern const char *const kPostgresqlSchema;

// Creates every table of the suite that this component touches.
void createSchema(Database &db);

// The tables the engine's script creates, in the script's order.
QStringList schemaTables(Engine engine);

// The first table of the script that the database already holds, or the empty
// text when it holds none of them.
QString firstExistingSchemaTable(Database &db);

} // namespace hx
