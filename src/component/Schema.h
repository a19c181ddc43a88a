#pragma once
// The database scripts of schema/, compiled in, and the upgrade of databases
// made by earlier versions.
#include "component/Database.h"

#include <QStringList>
#include <optional>
#include <vector>

namespace hx {

extern const char *const kSqliteSchema;
extern const char *const kPostgresqlSchema;

// Creates every table of the suite that this component touches, at the
// latest schema version (recorded as such).
void createSchema(Database &db);

// The last key of IMPORT's sequence when IMPORT is empty and exactly as the
// script makes it (an index of the script's may be missing), on an engine
// where the rows an import stages can stay in memory; nullopt otherwise.
std::optional<qint64> plainImportTableLastId(Database &db);
// Leaves IMPORT's key sequence at `last`, as inserts up to it would.
void setImportTableLastId(Database &db, qint64 last);

// The tables the engine's script creates, in the script's order.
QStringList schemaTables(Engine engine);

// The first table of the script that the database already holds, or the empty
// text when it holds none of them.
QString firstExistingSchemaTable(Database &db);

// One change of the schema since the first version. `apply` must be
// idempotent: it also runs on a database that already has the change (one
// made by a version that had the change in its scripts before versions were
// recorded). It runs in a transaction of its own.
struct SchemaStep {
    int version;
    QString what; // names the change in the message of a failed upgrade
    void (*apply)(Database &db);
};

// Every step, in the order of their versions (1, 2, ...). A new step goes at
// the end with the next number, and the scripts of schema/ get the same
// change for new databases.
const std::vector<SchemaStep> &schemaSteps();
int latestSchemaVersion();
// The version recorded in the database: 0 when none is (a database made
// before the upgrades began).
int storedSchemaVersion(Database &db);
// Runs every step above the stored version, each in a transaction with the
// new version number, so a cut-short upgrade resumes at its step. Raises
// HxError naming the step and the cause when the database cannot take it.
void upgradeSchema(Database &db);

} // namespace hx
