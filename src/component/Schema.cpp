#include "component/Schema.h"

#include <QRegularExpression>

namespace hx {
namespace {
QString script(Engine engine) {
    return QString::fromUtf8(engine == Engine::SQLite ? kSqliteSchema : kPostgresqlSchema);
}

const QString kVersionTable = QStringLiteral("SchemaVersion");

bool hasIndex(Database &db, const QString &name) {
    const QString known =
        db.engine() == Engine::SQLite
            ? QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ?")
            : QStringLiteral("SELECT 1 FROM pg_indexes WHERE indexname = ?");
    return db.firstValue(known, {name}).has_value();
}

// The index that finds an employee's open pair without reading the
// employee's history.
void addOpenPairIndex(Database &db) {
    if (hasIndex(db, QStringLiteral("PUNCH_EMPLOYEE_OPEN"))) return;
    db.executeScript(QStringLiteral("CREATE INDEX IF NOT EXISTS \"PUNCH_EMPLOYEE_OPEN\" ON \"PUNCH\" "
                                    "(\"EMPLOYEE ID\", \"OUT TIME\", \"IN DATE\", \"IN TIME\");"));
}

// The register of seen records, shared by every host on the database. Its
// key leads with the moment, so the one-year pruning walks it too.
void addPrevPunchTable(Database &db) {
    if (db.hasTable(QStringLiteral("PrevPunch"))) return;
    const bool sqlite = db.engine() == Engine::SQLite;
    db.executeScript(QStringLiteral("CREATE TABLE \"PrevPunch\" (\n"
                                    "    \"Sequence\" %1 NOT NULL,\n"
                                    "    \"PunchDate\" %2 NOT NULL,\n"
                                    "    \"Checksum\" %3 NOT NULL\n);\n"
                                    "CREATE UNIQUE INDEX \"PREVPUNCH_KEY\" ON \"PrevPunch\" "
                                    "(\"PunchDate\", \"Sequence\", \"Checksum\");")
                         .arg(sqlite ? QStringLiteral("TEXT") : QStringLiteral("varchar(4)"),
                              sqlite ? QStringLiteral("TEXT") : QStringLiteral("timestamp"),
                              sqlite ? QStringLiteral("TEXT") : QStringLiteral("varchar(2)")));
}

void ensureVersionTable(Database &db) {
    if (db.hasTable(kVersionTable)) return;
    db.executeScript(
        QStringLiteral("CREATE TABLE IF NOT EXISTS \"SchemaVersion\" (\"Version\" INTEGER NOT NULL);"));
}
} // namespace

void createSchema(Database &db) {
    db.executeScript(script(db.engine()));
    // The scripts hold every step already.
    db.execute(QStringLiteral("INSERT INTO \"SchemaVersion\" (\"Version\") VALUES (?)"),
               {latestSchemaVersion()});
}

QStringList schemaTables(Engine engine) {
    static const QRegularExpression create(QStringLiteral("CREATE\\s+TABLE\\s+\"([^\"]+)\""),
                                           QRegularExpression::CaseInsensitiveOption);
    QStringList tables;
    for (auto it = create.globalMatch(script(engine)); it.hasNext();)
        tables << it.next().captured(1);
    return tables;
}

QString firstExistingSchemaTable(Database &db) {
    for (const QString &table : schemaTables(db.engine()))
        if (db.hasTable(table)) return table;
    return QString();
}

const std::vector<SchemaStep> &schemaSteps() {
    static const std::vector<SchemaStep> steps = {
        {1, QStringLiteral("the index PUNCH_EMPLOYEE_OPEN"), addOpenPairIndex},
        {2, QStringLiteral("the table PrevPunch"), addPrevPunchTable},
    };
    return steps;
}

int latestSchemaVersion() {
    return schemaSteps().back().version;
}

int storedSchemaVersion(Database &db) {
    if (!db.hasTable(kVersionTable)) return 0;
    const auto v = db.firstValue(QStringLiteral("SELECT MAX(\"Version\") FROM \"SchemaVersion\""));
    return v && !v->isNull() ? v->toInt() : 0;
}

void upgradeSchema(Database &db) {
    const SchemaStep *step = nullptr;
    try {
        const int stored = storedSchemaVersion(db);
        if (stored >= latestSchemaVersion()) return;
        Transaction tx(db);
        ensureVersionTable(db);
        tx.commit();
        for (const SchemaStep &s : schemaSteps()) {
            if (s.version <= stored) continue;
            step = &s;
            Transaction stepTx(db);
            s.apply(db);
            db.execute(QStringLiteral("DELETE FROM \"SchemaVersion\""));
            db.execute(QStringLiteral("INSERT INTO \"SchemaVersion\" (\"Version\") VALUES (?)"), {s.version});
            stepTx.commit();
        }
    } catch (const std::exception &e) {
        const QString what = step ? QStringLiteral("version %1, %2").arg(step->version).arg(step->what)
                                  : QStringLiteral("its version");
        throw HxError(QStringLiteral("The database cannot be brought up to the layout this version of the "
                                     "program needs (%1): %2. Nothing was changed by this step; let the "
                                     "database user create tables and indexes, or run the upgrade once as a "
                                     "user who may.")
                          .arg(what, errorDescription(e)));
    }
}

} // namespace hx
