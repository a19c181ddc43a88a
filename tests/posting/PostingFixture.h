#pragma once
// Sites to seed IMPORT, PUNCH and the master tables of, post or recalculate, and read back compactly.
#include "component/DateTime.h"
#include "component/Values.h"
#include "hours/Recalculate.h"
#include "posting/PostingDriver.h"
#include "support/TestSupport.h"

#include <QStringList>
#include <QVariantMap>
#include <optional>
#include <ostream>

using namespace Qt::Literals::StringLiterals;

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList &l, std::ostream *os) { *os << '[' << l.join(u", "_s).toStdString() << ']'; }

namespace hx::test {

struct ImportRow { // an IMPORT row of employee e, badge 100 + e
    int employee = 1;
    QString date = u"2007-03-05"_s, time = u"08:00:00"_s;
    std::optional<bool> signIn = true;
    int clock = 1;
    QString dept = u"SHOP"_s;
    bool dataFldEn = false;
    QVariant dataFld{}, task{};
    bool edited = false;
};

// Seeding and reading the tables of a site.
class SiteRows : public SiteTest {
protected:
    void setRule(const QString &column, const QVariant &value) {
        db().execute(u"UPDATE \"TCRULES\" SET \"%1\" = ?"_s.arg(column), {value});
        reloadRules();
    }
    // Returns the new ID for IMPORT and PUNCH rows.
    int insertRow(const QString &table, const QVariantMap &values) {
        const QString sql = u"INSERT INTO \"%1\" (\"%2\") VALUES (?%3)"_s.arg(
            table, values.keys().join(u"\", \""_s), u", ?"_s.repeated(values.size() - 1));
        if (table == u"IMPORT"_s || table == u"PUNCH"_s)
            return db().firstValue(sql + u" RETURNING \"ID\""_s, values.values())->toInt();
        db().execute(sql, values.values());
        return 0;
    }
    void addEmployee(int id, int badge, QVariantMap extra = {}) {
        extra.insert(u"EMPLOYEE ID"_s, id);
        extra.insert(u"CLOCK ID"_s, badge);
        insertRow(u"EMPLOYEE"_s, extra);
    }
    // Each row of the query as its values' text, "-" for Null, separated by spaces.
    QStringList rows(const QString &sql, const QVariantList &params = {}) {
        QStringList out;
        for (Recordset rs = db().openRecordset(sql, params); !rs.eof(); rs.moveNext()) {
            QStringList row;
            for (int i = 0; i < rs.columns().size(); ++i)
                row << (isNull(rs.value(i)) ? u"-"_s : valueText(rs.value(i)));
            out << row.join(u' ');
        }
        return out;
    }
    // The PUNCH row's columns as rows() gives them.
    QString values(int id, std::initializer_list<const char *> columns) {
        QStringList quoted;
        for (const char *c : columns)
            quoted << u"\"%1\""_s.arg(QLatin1String(c));
        return rows(u"SELECT %1 FROM \"PUNCH\" WHERE \"ID\" = ?"_s.arg(quoted.join(u", "_s)), {id}).value(0);
    }
    static QString hhmm(const QString &t) { return t == u"-"_s ? u"--"_s : t.left(5); }
    int count(const QString &sql, const QVariantList &params = {}) {
        return db().firstValue(sql, params).value_or(QVariant(-1)).toInt();
    }
    // Makes the database refuse the PUNCH rows that meet `when` (a condition on NEW) on `op`.
    void refusePunch(const char *op, const QString &when, const QString &message) {
        db().executeScript(
            (onServer() ? u"CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF %1 THEN RAISE "
                          "EXCEPTION '%2'; END IF; RETURN NEW; END $$;\nCREATE TRIGGER refuse BEFORE %3 ON \"PUNCH\" "
                          "FOR EACH ROW EXECUTE FUNCTION refuse();\n"_s
                        : u"CREATE TRIGGER refuse BEFORE %3 ON \"PUNCH\" WHEN %1 BEGIN SELECT RAISE(ABORT, '%2'); END;\n"_s)
                .arg(when, message, QLatin1String(op)));
    }
};

class PostingTest : public SiteRows {
protected:
    void SetUp() override {
        SiteRows::SetUp();
        // Day start at midnight: every pair stays on its own date unless a test says otherwise.
        setRule(u"DAY START"_s, u"00:00:00"_s);
        insertRow(u"CLOCK"_s, {{"CLOCK NUMBER", 1}, {"COMMS TYPE", "RS232"}});
    }
    int addImport(const ImportRow &r) {
        return insertRow(u"IMPORT"_s,
                         {{"EMPLOYEE ID", r.employee}, {"CLOCK ID", 100 + r.employee}, {"IN DATE", r.date},
                          {"IN TIME", r.time}, {"SIGN IN", r.signIn ? QVariant(*r.signIn) : QVariant()},
                          {"CLOCK NUMBER", r.clock}, {"DEPT NAME", r.dept}, {"PunchType", 0}, {"Overide", 0},
                          {"Excused", false}, {"DATAFLDEN", r.dataFldEn}, {"DATAFLD", r.dataFld},
                          {"TASK", r.task}, {"Edited", r.edited}});
    }
    int in(const QString &date, const QString &time, int e = 1) { return addImport({e, date, time}); }
    int out(const QString &date, const QString &time, int e = 1) { return addImport({e, date, time, false}); }
    bool post() {
        std::shared_ptr<clsMessage> message;
        return blnPostImportTableToPunchTable(message);
    }
    // What the import command does between two polls.
    void newPoll() { db().execute(u"DELETE FROM \"IMPORT\""_s); }

    // Each pair of the employee as "date in-out", in date and ID order.
    QStringList pairs(int e = 1) {
        QStringList out;
        for (const QString &r : rows(u"SELECT \"IN DATE\", \"IN TIME\", \"OUT TIME\" FROM \"PUNCH\" WHERE "
                                     "\"EMPLOYEE ID\" = ? ORDER BY \"IN DATE\", \"ID\""_s, {e}))
            out << r.section(u' ', 0, 0) + u" "_s + hhmm(r.section(u' ', 1, 1)) + u"-"_s + hhmm(r.section(u' ', 2, 2));
        return out;
    }
    // The directions of the employee's IMPORT rows in time order: I, O or ? (undecided).
    QString directions(int e) {
        return rows(u"SELECT CASE WHEN \"SIGN IN\" IS NULL THEN '?' WHEN \"SIGN IN\" THEN 'I' ELSE 'O' END FROM "
                    "\"IMPORT\" WHERE \"EMPLOYEE ID\" = ? ORDER BY \"IN DATE\", \"IN TIME\""_s, {e}).join(QString());
    }
    QString lastPoll() { return rows(u"SELECT \"LastPoll\" FROM \"TCRULES\""_s).value(0).left(10); }
};

// One employee (ID 1, badge 101) whose PUNCH rows are seeded marked and read back recalculated.
class HoursTest : public SiteRows {
protected:
    void SetUp() override {
        SiteRows::SetUp();
        addEmployee(1, 101);
        // WARNING 0 would flag every pair with hours; keep the tests clear of it.
        setRule(u"WARNING"_s, 24);
    }
    // Revisions: in low, in high, out low, out high.
    void addQual(const QString &dept, const QVariant &lunchLen = {}, const QVariant &lunchAt = {},
                 QVariantList rev = {}) {
        rev.resize(4);
        insertRow(u"DEPTQUAL"_s, {{"EMPLOYEE ID", 1}, {"DEPT NAME", dept}, {"OTRULES", 3}, {"PAYRATE", 12.5},
                                  {"UseDiff", true}, {"LUNCHLEN", lunchLen}, {"LUNCH AT", lunchAt},
                                  {"IREVLOW", rev[0]}, {"IREVHI", rev[1]}, {"OREVLOW", rev[2]}, {"OREVHI", rev[3]}});
    }
    // A pair as posting leaves it, marked: employee 1, SHOP, in on Monday 23 April 2007 (ODOW 2).
    int addPair(const QVariant &in, const QVariant &out = {}, const QVariantMap &extra = {}) {
        QVariantMap v{{"EMPLOYEE ID", 1}, {"IN DATE", "2007-04-23"}, {"IN TIME", in},     {"OUT TIME", out},
                      {"ODOW", 2},        {"DEPT NAME", "SHOP"},     {"InCode", 0},       {"OutCode", 0},
                      {"InPunchType", 0}, {"OutPunchType", 0},       {"InExcused", false}, {"RecalcHrs", true}};
        v.insert(extra);
        return insertRow(u"PUNCH"_s, v);
    }
    struct Pair { QVariant in, out; QVariantMap extra; const char *want; };
    // Adds the pairs, recalculates, and expects each pair's columns (see values()) as it wants.
    std::vector<int> expectPairs(std::initializer_list<const char *> columns, const std::vector<Pair> &pairs) {
        std::vector<int> ids;
        for (const Pair &p : pairs)
            ids.push_back(addPair(p.in, p.out, p.extra));
        RecalculateHours();
        for (size_t i = 0; i < ids.size(); ++i)
            EXPECT_EQ(values(ids[i], columns), QString::fromLatin1(pairs[i].want)) << "pair " << i;
        return ids;
    }
    void recalculateAgain() {
        db().execute(u"UPDATE \"PUNCH\" SET \"RecalcHrs\" = true"_s);
        RecalculateHours();
    }
    bool marked(int id) { return count(u"SELECT CAST(\"RecalcHrs\" AS INTEGER) FROM \"PUNCH\" WHERE \"ID\" = ?"_s, {id}) == 1; }
};

} // namespace hx::test
