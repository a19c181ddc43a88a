#include "component/Schema.h"

#include <QRegularExpression>

namespace hx {
namespace {
QString script(Engine engine) {
    return QString::fromUtf8(engine == Engine::SQLite ? kSqliteSchema : kPostgresqlSchema);
}
} // namespace

void createSchema(Database &db) {
    db.executeScript(script(db.engine()));
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

} // namespace hx
