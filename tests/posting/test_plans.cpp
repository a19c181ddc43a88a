// Every statement the posting and the hours run on a site with history must find its rows through
// an index: a scan of PUNCH would make each punch cost the site's whole history.
#include "PostingFixture.h"

#include <QRegularExpression>
#include <map>

using namespace hx;

class PlanTest : public hx::test::PostingTest {
protected:
    QString indexDefinition(const QString &name) {
        return db().firstValue(onServer() ? u"SELECT indexdef FROM pg_indexes WHERE indexname = ?"_s
                                          : u"SELECT sql FROM sqlite_master WHERE type = 'index' AND name = ?"_s,
                               {name}).value_or(QVariant()).toString();
    }
};

TEST_F(PlanTest, EveryStatementOfPostingAndHoursFindsItsRowsThroughAnIndex) {
    if (onServer()) GTEST_SKIP() << "the plans checked are SQLite's";
    insertRow(u"CLOCK"_s, {{"CLOCK NUMBER", 2}, {"COMMS TYPE", "HPx000"}});
    addWeekSchedule();
    setRule(u"LastPoll"_s, u"2007-03-02 00:00:00"_s); // the days since get their scheduled pairs
    for (int e = 1; e <= 6; ++e) {
        addEmployee(e, 100 + e, {{"SCHEDULE", e % 2}, {"OLDSCHEDULE", e % 2}, {"SwipeAndGo", e == 3}});
        insertRow(u"DEPTQUAL"_s, {{"EMPLOYEE ID", e}, {"DEPT NAME", "SHOP"}, {"SEQUENCE", 1}});
        for (int d = 1; d <= 20; ++d) { // complete pairs of the weeks before
            const QString day = u"2007-02-%1"_s.arg(d, 2, 10, QLatin1Char('0'));
            insertRow(u"PUNCH"_s, {{"EMPLOYEE ID", e}, {"IN DATE", day}, {"IN TIME", u"08:00:00"_s},
                                   {"OUT TIME", u"16:00:00"_s}, {"AdjustedDate", day}});
        }
        in(u"2007-03-05"_s, u"08:00:00"_s, e), out(u"2007-03-05"_s, u"12:00:00"_s, e);
        in(u"2007-03-05"_s, u"12:30:00"_s, e), out(u"2007-03-05"_s, u"16:30:00"_s, e);
        out(u"2007-03-06"_s, u"12:00:00"_s, e), out(u"2007-03-06"_s, u"12:01:00"_s, e); // no open pair; a repeat
    }
    addImport({.employee = 3, .date = u"2007-03-06"_s, .time = u"13:00:00"_s, .clock = 2});

    std::map<QString, int> runs;
    db().setStatementObserver([&](const QString &sql) { ++runs[sql]; });
    ASSERT_TRUE(post());
    db().setStatementObserver({});
    int punchStatements = 0, openPairSearches = 0;
    for (const auto &[sql, count] : runs) {
        // The walks and the closing updates of the master tables go over whole tables.
        if (!sql.contains(u" WHERE "_s)) continue;
        punchStatements += sql.contains(u"\"PUNCH\""_s);
        QStringList plan;
        for (Recordset rs = db().openRecordset(u"EXPLAIN QUERY PLAN "_s + sql,
                                               QVariantList(int(sql.count(QLatin1Char('?')))));
             !rs.eof(); rs.moveNext())
            plan << rs.value(u"detail").toString();
        const std::string what = sql.toStdString() + "\n  ran " + std::to_string(count) +
                                 " times, plan: " + plan.join(u"; "_s).toStdString();
        // The search for an open pair goes straight to the rows without an out time.
        if (sql.startsWith(u"SELECT"_s) && sql.contains(u"\"PUNCH\""_s) && sql.contains(u"\"OUT TIME\" IS NULL"_s)) {
            ++openPairSearches;
            EXPECT_TRUE(plan.join(u"; "_s).contains(u"USING INDEX PUNCH_EMPLOYEE_OPEN (EMPLOYEE ID=?"_s)) << what;
        }
        for (const QString &line : plan) {
            // A scan in an index's order reads the whole table too, unless the index is partial.
            static const QRegularExpression scanIndex(u"^SCAN \\S+ USING (?:COVERING )?INDEX (\\S+)"_s);
            const auto viaIndex = scanIndex.match(line);
            const bool bareScan = line.startsWith(u"SCAN "_s) && !line.contains(u"INTEGER PRIMARY KEY"_s) &&
                                  !(viaIndex.hasMatch() && indexDefinition(viaIndex.captured(1)).contains(u" WHERE "_s));
            // A statement run once may read a small table or the import whole; never PUNCH.
            EXPECT_FALSE(bareScan && (count > 1 || line.contains(u"PUNCH"_s))) << what;
        }
    }
    EXPECT_EQ(openPairSearches, 1);
    EXPECT_GE(punchStatements, 3) << "pairing, schedules and hours all reached PUNCH";
}
