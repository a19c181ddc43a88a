#pragma once
// A site with one employee (ID 1, badge 101) and helpers that seed marked
// PUNCH rows and read them back after a recalculation.
#include "component/Database.h"
#include "component/Values.h"
#include "hours/Recalculate.h"
#include "support/TestSupport.h"

#include <QStringList>
#include <QVariantMap>

namespace hx::test {

class HoursTest : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        addEmployee(1, 101);
        // WARNING 0 would flag every pair with hours; keep the tests clear of it.
        setRule("WARNING", 24);
    }

    void setRule(const char *column, const QVariant &value) {
        const QVariant stored = value.typeId() == QMetaType::Bool ? db().boolean(value.toBool()) : value;
        db().execute(QStringLiteral("UPDATE \"TCRULES\" SET \"%1\" = ?").arg(QLatin1String(column)),
                     {stored});
        reloadRules();
    }
    void addEmployee(int id, int badge, const QVariant &sort2 = {}) {
        db().execute(QStringLiteral("INSERT INTO \"EMPLOYEE\" (\"EMPLOYEE ID\", \"CLOCK ID\", \"SORT2\") "
                                    "VALUES (?, ?, ?)"),
                     {id, badge, sort2});
    }
    // Revisions: in low, in high, out low, out high.
    void addQual(const QString &dept, const QVariant &lunchLen = {}, const QVariant &lunchAt = {},
                 QVariantList rev = {}) {
        rev.resize(4);
        db().execute(
            QStringLiteral(
                "INSERT INTO \"DEPTQUAL\" (\"EMPLOYEE ID\", \"DEPT NAME\", \"OTRULES\", \"PAYRATE\", "
                "\"UseDiff\", \"LUNCHLEN\", \"LUNCH AT\", \"IREVLOW\", \"IREVHI\", \"OREVLOW\", "
                "\"OREVHI\") VALUES (1, ?, 3, 12.5, true, ?, ?, ?, ?, ?, ?)"),
            {dept, lunchLen, lunchAt, rev[0], rev[1], rev[2], rev[3]});
    }

    // One pair as posting leaves it, marked for recalculation: employee 1,
    // department SHOP, in on Monday 23 April 2007 (ODOW 2). `extra` overrides.
    int addPair(const QVariant &in, const QVariant &out = {}, const QVariantMap &extra = {}) {
        QVariantMap v{{"EMPLOYEE ID", 1}, {"IN DATE", "2007-04-23"}, {"IN TIME", in},  {"OUT TIME", out},
                      {"ODOW", 2},        {"DEPT NAME", "SHOP"},     {"InCode", 0},    {"OutCode", 0},
                      {"InPunchType", 0}, {"OutPunchType", 0},       {"InExcused", 0}, {"RecalcHrs", 1}};
        v.insert(extra);
        // Flags are given as 1/0; each engine stores them its own way.
        for (const char *flag :
             {"InExcused", "OutExcused", "RecalcHrs", "EDIT FLAG", "CLOCK EDIT FLAG", "UseDiff"})
            if (v.contains(QLatin1String(flag)))
                v[QLatin1String(flag)] = db().boolean(v[QLatin1String(flag)].toInt() != 0);
        QStringList cols, marks;
        for (const QString &k : v.keys()) {
            cols << QLatin1Char('"') + k + QLatin1Char('"');
            marks << QStringLiteral("?");
        }
        return db()
            .firstValue(QStringLiteral("INSERT INTO \"PUNCH\" (%1) VALUES (%2) RETURNING \"ID\"")
                            .arg(cols.join(u','), marks.join(u',')),
                        v.values())
            ->toInt();
    }
    void markAll() { db().execute(QStringLiteral("UPDATE \"PUNCH\" SET \"RecalcHrs\" = true")); }

    QVariant col(int id, const char *column) {
        return db()
            .firstValue(
                QStringLiteral("SELECT \"%1\" FROM \"PUNCH\" WHERE \"ID\" = ?").arg(QLatin1String(column)),
                {id})
            .value_or(QVariant());
    }
    QString text(int id, const char *column) { return valueText(col(id, column)); }
    double num(int id, const char *column) { return toDouble(col(id, column)); }
    int code(int id) { return col(id, "ERRORCODE").toInt(); }
    bool marked(int id) { return col(id, "RecalcHrs").toInt() != 0; }
};

} // namespace hx::test
