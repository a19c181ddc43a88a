#pragma once
// The database scripts of schema/, compiled in.
#include "component/Database.h"

namespace hx {

extern const char *const kSqliteSchema;
extern const char *const kPostgresqlSchema;

// Creates every table of the suite that this component touches.
void createSchema(Database &db);

} // namespace hx
