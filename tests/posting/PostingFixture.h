#pragma once
// A site with helpers to seed IMPORT, PUNCH and the master tables, run the
// posting and read the pairs back compactly.
#include "component/Values.h"
#include "component/modGlobal.h"
#include "posting/PostingDriver.h"
#include "support/TestSupport.h"

#include <QStringList>
#include <QVariantMap>
#include <optional>
#include <ostream>

// Readable failure output for the values these tests compare.
inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList &l, std::ostream *os) {
    *os << '[' << l.join(QStringLiteral(", ")).toStdString() << ']';
}

namespace hx::test {

struct ImportRow {
    int employee = 1;
    int badge = 101;
    QString date = QStringLiteral("2007-03-05");
    QString time = QStringLiteral("08:00:00");
    std::optional<bool> signIn = true;
    int clock = 1;
    QString dept = QStringLiteral("SHOP");
    int punchType = 0;
    bool dataFldEn = false;
    QVariant dataFld{};
    QVariant task{};
    bool edited = false;
};

class PostingTest : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        // A day start at midnight keeps every pair on its own date unless a
        // test asks otherwise.
        setRule("DAY START", QStringLiteral("00:00:00"));
        insertRow("CLOCK", {{"CLOCK NUMBER", 1}, {"CLOCK NAME", "Front"}, {"COMMS TYPE", "RS232"}});
    }

    void setRule(const QString &column, const QVariant &value) {
        db().execute(QStringLiteral("UPDATE \"TCRULES\" SET \"%1\" = ?").arg(column), {value});
        reloadRules();
    }

    // Returns the new row's ID for the tables that have a counter.
    int insertRow(const QString &table, const QVariantMap &values) {
        QStringList cols, marks;
        QVariantList params;
        for (auto it = values.begin(); it != values.end(); ++it) {
            cols << QLatin1Char('"') + it.key() + QLatin1Char('"');
            marks << QStringLiteral("?");
            params << it.value();
        }
        const QString sql = QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
                                .arg(table, cols.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
        if (table != QLatin1String("IMPORT") && table != QLatin1String("PUNCH")) {
            db().execute(sql, params);
            return 0;
        }
        auto id = db().firstValue(sql + QStringLiteral(" RETURNING \"ID\""), params);
        return id ? id->toInt() : 0;
    }

    void addEmployee(int id, int badge, QVariantMap extra = {}) {
        extra.insert(QStringLiteral("EMPLOYEE ID"), id);
        extra.insert(QStringLiteral("CLOCK ID"), badge);
        insertRow(QStringLiteral("EMPLOYEE"), extra);
    }

    int addImport(const ImportRow &r) {
        return insertRow(QStringLiteral("IMPORT"), {{"EMPLOYEE ID", r.employee},
                                                    {"CLOCK ID", r.badge},
                                                    {"IN DATE", r.date},
                                                    {"IN TIME", r.time},
                                                    {"SIGN IN", r.signIn ? QVariant(*r.signIn) : QVariant()},
                                                    {"CLOCK NUMBER", r.clock},
                                                    {"DEPT NAME", r.dept},
                                                    {"PunchType", r.punchType},
                                                    {"Overide", 0},
                                                    {"Excused", false},
                                                    {"DATAFLDEN", r.dataFldEn},
                                                    {"DATAFLD", r.dataFld},
                                                    {"TASK", r.task},
                                                    {"Edited", r.edited}});
    }
    // Shorthands: an in or out punch of employee 1 (badge 101).
    int in(const QString &date, const QString &time, int employee = 1) {
        return addImport({.employee = employee, .badge = 100 + employee, .date = date, .time = time});
    }
    int out(const QString &date, const QString &time, int employee = 1) {
        return addImport(
            {.employee = employee, .badge = 100 + employee, .date = date, .time = time, .signIn = false});
    }

    bool post() {
        std::shared_ptr<clsMessage> message;
        const bool ok = blnPostImportTableToPunchTable(message);
        EXPECT_TRUE(message) << "the driver creates the channel";
        return ok;
    }
    // What the import command does between two polls.
    void newPoll() { db().execute(QStringLiteral("DELETE FROM \"IMPORT\"")); }

    QVariantMap row(const QString &table, int id) {
        Recordset rs =
            db().openRecordset(QStringLiteral("SELECT * FROM \"%1\" WHERE \"ID\" = ?").arg(table), {id});
        QVariantMap m;
        if (!rs.eof())
            for (int i = 0; i < rs.columns().size(); ++i)
                m.insert(rs.columns()[i], rs.value(i));
        return m;
    }
    QVariantMap punch(int id) { return row(QStringLiteral("PUNCH"), id); }

    static QString hhmm(const QVariant &v) { return isNull(v) ? QStringLiteral("--") : v.toString().left(5); }
    // Each pair of the employee as "date in-out", in date and ID order.
    QStringList pairs(int employee = 1) {
        Recordset rs = db().openRecordset(QStringLiteral("SELECT * FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = ? "
                                                         "ORDER BY \"IN DATE\", \"ID\""),
                                          {employee});
        QStringList out;
        for (; !rs.eof(); rs.moveNext())
            out << rs.value(u"IN DATE").toString() + QLatin1Char(' ') + hhmm(rs.value(u"IN TIME")) +
                       QLatin1Char('-') + hhmm(rs.value(u"OUT TIME"));
        return out;
    }
    int count(const QString &sql, const QVariantList &params = {}) {
        auto v = db().firstValue(sql, params);
        return v ? v->toInt() : -1;
    }
    // The directions left in IMPORT, in time order: "I", "O" or "?" for undecided.
    QString directions() {
        Recordset rs = db().openRecordset(
            QStringLiteral("SELECT \"SIGN IN\" FROM \"IMPORT\" ORDER BY \"IN DATE\", \"IN TIME\", \"ID\""));
        QString s;
        for (; !rs.eof(); rs.moveNext())
            s += isNull(rs.value(0)) ? QLatin1Char('?')
                                     : (toBoolean(rs.value(0)) ? QLatin1Char('I') : QLatin1Char('O'));
        return s;
    }
    QString logText() { return QString::fromLatin1(readFile(QStringLiteral("logs/QX8log.txt"))); }
};

} // namespace hx::test
