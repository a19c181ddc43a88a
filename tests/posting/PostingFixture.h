#pragma once
// A site with helpers to seed IMPORT, PUNCH and the master tables, run the
// posting and read the results back compactly.
#include "component/DateTime.h"
#include "component/Values.h"
#include "posting/PostingDriver.h"
#include "support/TestSupport.h"

#include <QStringList>
#include <QVariantMap>
#include <optional>
#include <ostream>

using namespace Qt::Literals::StringLiterals;

inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList &l, std::ostream *os) {
    *os << '[' << l.join(u", "_s).toStdString() << ']';
}

namespace hx::test {

struct ImportRow {
    int employee = 1;
    QString date = u"2007-03-05"_s;
    QString time = u"08:00:00"_s;
    std::optional<bool> signIn = true;
    int clock = 1;
    QString dept = u"SHOP"_s;
    bool dataFldEn = false;
    QVariant dataFld{};
    QVariant task{};
    bool edited = false;
};

class PostingTest : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        // Day start at midnight: every pair stays on its own date unless a test says otherwise.
        setRule(u"DAY START"_s, u"00:00:00"_s);
        insertRow(u"CLOCK"_s, {{"CLOCK NUMBER", 1}, {"COMMS TYPE", "RS232"}});
    }

    void setRule(const QString &column, const QVariant &value) {
        db().execute(u"UPDATE \"TCRULES\" SET \"%1\" = ?"_s.arg(column), {value});
        reloadRules();
    }
    // Returns the new ID for IMPORT and PUNCH rows.
    int insertRow(const QString &table, const QVariantMap &values) {
        QStringList cols, marks;
        for (const QString &k : values.keys()) {
            cols << u"\""_s + k + u"\""_s;
            marks << u"?"_s;
        }
        const QString sql =
            u"INSERT INTO \"%1\" (%2) VALUES (%3)"_s.arg(table, cols.join(u","_s), marks.join(u","_s));
        if (table != u"IMPORT"_s && table != u"PUNCH"_s) {
            db().execute(sql, values.values());
            return 0;
        }
        return db().firstValue(sql + u" RETURNING \"ID\""_s, values.values())->toInt();
    }
    void addEmployee(int id, int badge, QVariantMap extra = {}) {
        extra.insert(u"EMPLOYEE ID"_s, id);
        extra.insert(u"CLOCK ID"_s, badge);
        insertRow(u"EMPLOYEE"_s, extra);
    }
    // A punch of employee e, badge 100 + e.
    int addImport(const ImportRow &r) {
        return insertRow(u"IMPORT"_s, {{"EMPLOYEE ID", r.employee},
                                       {"CLOCK ID", 100 + r.employee},
                                       {"IN DATE", r.date},
                                       {"IN TIME", r.time},
                                       {"SIGN IN", r.signIn ? QVariant(*r.signIn) : QVariant()},
                                       {"CLOCK NUMBER", r.clock},
                                       {"DEPT NAME", r.dept},
                                       {"PunchType", 0},
                                       {"Overide", 0},
                                       {"Excused", false},
                                       {"DATAFLDEN", r.dataFldEn},
                                       {"DATAFLD", r.dataFld},
                                       {"TASK", r.task},
                                       {"Edited", r.edited}});
    }
    int in(const QString &date, const QString &time, int e = 1) {
        return addImport({.employee = e, .date = date, .time = time});
    }
    int out(const QString &date, const QString &time, int e = 1) {
        return addImport({.employee = e, .date = date, .time = time, .signIn = false});
    }

    bool post() {
        std::shared_ptr<clsMessage> message;
        const bool ok = blnPostImportTableToPunchTable(message);
        EXPECT_TRUE(message) << "the driver creates the channel";
        return ok;
    }
    // What the import command does between two polls.
    void newPoll() { db().execute(u"DELETE FROM \"IMPORT\""_s); }

    QVariant field(int punchId, const char *column) {
        return db()
            .firstValue(u"SELECT \"%1\" FROM \"PUNCH\" WHERE \"ID\" = ?"_s.arg(QLatin1String(column)),
                        {punchId})
            .value_or(QVariant());
    }
    static QString hhmm(const QVariant &v) { return isNull(v) ? u"--"_s : v.toString().left(5); }
    // Each pair of the employee as "date in-out", in date and ID order.
    QStringList pairs(int e = 1) {
        Recordset rs = db().openRecordset(
            u"SELECT * FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = ? ORDER BY \"IN DATE\", \"ID\""_s, {e});
        QStringList out;
        for (; !rs.eof(); rs.moveNext())
            out << rs.value(u"IN DATE").toString() + u" "_s + hhmm(rs.value(u"IN TIME")) + u"-"_s +
                       hhmm(rs.value(u"OUT TIME"));
        return out;
    }
    // The directions of the employee's IMPORT rows in time order: I, O or ? (undecided).
    QString directions(int e) {
        Recordset rs = db().openRecordset(
            u"SELECT \"SIGN IN\" FROM \"IMPORT\" WHERE \"EMPLOYEE ID\" = ? ORDER BY \"IN DATE\", \"IN TIME\""_s,
            {e});
        QString s;
        for (; !rs.eof(); rs.moveNext())
            s += isNull(rs.value(0)) ? u'?' : (toBoolean(rs.value(0)) ? u'I' : u'O');
        return s;
    }
    int count(const QString &sql, const QVariantList &params = {}) {
        auto v = db().firstValue(sql, params);
        return v ? v->toInt() : -1;
    }
    QString lastPoll() {
        auto v = db().firstValue(u"SELECT \"LastPoll\" FROM \"TCRULES\""_s);
        return v && !isNull(*v) ? formatIsoDate(toDateTimeValue(*v)) : QString();
    }
    QString logText() { return QString::fromLatin1(readFile(u"logs/QX8log.txt"_s)); }
};

} // namespace hx::test
