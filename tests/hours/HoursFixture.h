#pragma once
// A site with one employee (ID 1, badge 101) and helpers that seed marked
// PUNCH rows and read them back after a recalculation.
#include "component/Database.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "hours/Recalculate.h"
#include "support/TestSupport.h"

#include <QString>
#include <QVariant>

namespace hx::test {

// One pair as posting leaves it: marked for recalculation. Monday 23 April
// 2007 is the default in date (weekday 2). Built by chained setters:
// Pair("08:00:00", "16:00:00").odow(3).dept("YARD").
struct Pair {
    Pair(QVariant in = {}, QVariant out = {}) : inTime(std::move(in)), outTime(std::move(out)) {}
#define HX_PAIR_SET(name, type)                                                                              \
    Pair &name(const type &v) {                                                                              \
        name##_ = v;                                                                                         \
        return *this;                                                                                        \
    }
    HX_PAIR_SET(odow, QVariant)
    HX_PAIR_SET(inDate, QString)
    HX_PAIR_SET(dept, QString)
    HX_PAIR_SET(employee, int)
    HX_PAIR_SET(datafld, QVariant)
    HX_PAIR_SET(task, QVariant)
    HX_PAIR_SET(schedule, QVariant)
    HX_PAIR_SET(inExcused, bool)
    HX_PAIR_SET(inCode, int)
    HX_PAIR_SET(outCode, int)
#undef HX_PAIR_SET

    QVariant inTime;
    QVariant outTime;
    QVariant odow_ = 2;
    QString inDate_ = QStringLiteral("2007-04-23");
    QString dept_ = QStringLiteral("SHOP");
    int employee_ = 1;
    QVariant datafld_;
    QVariant task_;
    QVariant schedule_;
    bool inExcused_ = false;
    int inCode_ = 0;
    int outCode_ = 0;
};

class HoursTest : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        addEmployee(1, 101);
        // WARNING 0 would flag every pair with hours; keep the tests clear of it.
        setRule("WARNING", 24);
    }

    void setRule(const char *column, const QVariant &value) {
        db().execute(QStringLiteral("UPDATE \"TCRULES\" SET \"%1\" = ?").arg(QLatin1String(column)), {value});
        reloadRules();
    }

    void addEmployee(int id, int badge, const QVariant &sort2 = {}) {
        db().execute(
            QStringLiteral(
                "INSERT INTO \"EMPLOYEE\" (\"EMPLOYEE ID\", \"CLOCK ID\", \"SORT2\") VALUES (?, ?, ?)"),
            {id, badge, sort2});
    }

    void addQual(const QString &dept, const QVariant &lunchLen = {}, const QVariant &lunchAt = {},
                 const QStringList &revisions = {}, int employee = 1) {
        QVariantList r{QVariant(), QVariant(), QVariant(), QVariant()};
        for (int i = 0; i < revisions.size() && i < 4; ++i)
            r[i] = revisions[i];
        db().execute(
            QStringLiteral(
                "INSERT INTO \"DEPTQUAL\" (\"EMPLOYEE ID\", \"DEPT NAME\", \"OTRULES\", \"PAYRATE\", "
                "\"UseDiff\", \"LUNCHLEN\", \"LUNCH AT\", \"IREVLOW\", \"IREVHI\", \"OREVLOW\", "
                "\"OREVHI\") VALUES (?, ?, 3, 12.5, 1, ?, ?, ?, ?, ?, ?)"),
            {employee, dept, lunchLen, lunchAt, r[0], r[1], r[2], r[3]});
    }

    int addPair(const Pair &p) {
        db().execute(
            QStringLiteral(
                "INSERT INTO \"PUNCH\" (\"EMPLOYEE ID\", \"IN DATE\", \"IN TIME\", \"OUT TIME\", \"ODOW\", "
                "\"DEPT NAME\", \"DATAFLD\", \"TASK\", \"Schedule\", \"InPunchType\", \"OutPunchType\", "
                "\"InExcused\", \"InCode\", \"OutCode\", \"RecalcHrs\") "
                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 0, 0, ?, ?, ?, 1)"),
            {p.employee_, p.inDate_, p.inTime, p.outTime, p.odow_, p.dept_, p.datafld_, p.task_, p.schedule_,
             p.inExcused_ ? 1 : 0, p.inCode_, p.outCode_});
        return db().firstValue(QStringLiteral("SELECT max(\"ID\") FROM \"PUNCH\""))->toInt();
    }

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
