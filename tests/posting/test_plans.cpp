// Every statement the posting and the hours run on a site with history must
// find its rows through an index: a scan of PUNCH would make each punch cost
// the site's whole history.
#include "PostingFixture.h"
#include "component/Schema.h"

#include <QRegularExpression>
#include <map>

namespace {

using namespace hx;
using namespace hx::test;

// The definitions as the engine keeps them.
QString indexDefinition(Database &db, const QString &name) {
    const QString sql = db.engine() == Engine::SQLite
                            ? u"SELECT sql FROM sqlite_master WHERE type = 'index' AND name = ?"_s
                            : u"SELECT indexdef FROM pg_indexes WHERE indexname = ?"_s;
    return db.firstValue(sql, {name}).value_or(QVariant()).toString();
}

class PlanTest : public PostingTest {
protected:
    void SetUp() override {
        PostingTest::SetUp();
        insertRow(u"CLOCK"_s, {{"CLOCK NUMBER", 2}, {"COMMS TYPE", "HPx000"}});
        QVariantMap week{{"ScheduleNumber", 1}};
        for (QString x : {u"M"_s, u"E"_s, u"W"_s, u"H"_s, u"R"_s}) {
            week.insert(x + u"Open"_s, true);
            week.insert(x + u"SchIn"_s, u"08:00:00"_s);
            week.insert(x + u"SchLunchIn"_s, u"12:30:00"_s);
        }
        insertRow(u"SCHEDULE"_s, week);
        // The days since the last poll get their scheduled pairs.
        setRule(u"LastPoll"_s, u"2007-03-02 00:00:00"_s);
        for (int e = 1; e <= 6; ++e) {
            addEmployee(e, 100 + e, {{"SCHEDULE", e % 2}, {"OLDSCHEDULE", e % 2}, {"SwipeAndGo", e == 3}});
            insertRow(u"DEPTQUAL"_s, {{"EMPLOYEE ID", e}, {"DEPT NAME", "SHOP"}, {"SEQUENCE", 1}});
            // Complete pairs of the weeks before.
            for (int d = 1; d <= 20; ++d)
                insertRow(u"PUNCH"_s, {{"EMPLOYEE ID", e},
                                       {"IN DATE", u"2007-02-%1"_s.arg(d, 2, 10, QLatin1Char('0'))},
                                       {"IN TIME", u"08:00:00"_s},
                                       {"OUT TIME", u"16:00:00"_s},
                                       {"AdjustedDate", u"2007-02-%1"_s.arg(d, 2, 10, QLatin1Char('0'))}});
        }
    }
};

TEST_F(PlanTest, EveryStatementOfPostingAndHoursFindsItsRowsThroughAnIndex) {
    if (onServer()) GTEST_SKIP() << "the plans checked are SQLite's";
    for (int e = 1; e <= 6; ++e) {
        in(u"2007-03-05"_s, u"08:00:00"_s, e);
        out(u"2007-03-05"_s, u"12:00:00"_s, e);
        in(u"2007-03-05"_s, u"12:30:00"_s, e);
        out(u"2007-03-05"_s, u"16:30:00"_s, e);
        out(u"2007-03-06"_s, u"12:00:00"_s, e); // an out punch without an open pair
        out(u"2007-03-06"_s, u"12:01:00"_s, e); // a repeat
    }
    addImport({.employee = 3, .date = u"2007-03-06"_s, .time = u"13:00:00"_s, .clock = 2});

    std::map<QString, int> runs;
    db().setStatementObserver([&](const QString &sql) { ++runs[sql]; });
    ASSERT_TRUE(post());
    db().setStatementObserver({});
    ASSERT_GT(runs.size(), 15u) << "the posting ran its stages";

    int punchStatements = 0;
    int openPairSearches = 0;
    for (const auto &[sql, count] : runs) {
        // Statements over a whole table are meant to be: the walks and the
        // closing updates of the master tables.
        if (!sql.contains(u" WHERE "_s)) continue;
        if (sql.contains(u"\"PUNCH\""_s)) ++punchStatements;
        const int params = int(sql.count(QLatin1Char('?')));
        Recordset plan = db().openRecordset(u"EXPLAIN QUERY PLAN "_s + sql, QVariantList(params));
        const int detail = plan.fieldIndex(u"detail");
        ASSERT_GE(detail, 0);
        QStringList lines;
        for (; !plan.eof(); plan.moveNext())
            lines << plan.value(detail).toString();
        // The search for an open pair goes straight to the rows without an out
        // time: walking back from the date would read every earlier pair
        // when there is none.
        if (sql.startsWith(u"SELECT"_s) && sql.contains(u"\"PUNCH\""_s) &&
            sql.contains(u"\"OUT TIME\" IS NULL"_s)) {
            ++openPairSearches;
            EXPECT_TRUE(lines.join(u"; "_s).contains(u"USING INDEX PUNCH_EMPLOYEE_OPEN (EMPLOYEE ID=?"_s))
                << sql.toStdString() << "\n  plan: " << lines.join(u"; "_s).toStdString();
        }
        for (const QString &line : lines) {
            // A scan in an index's order reads the whole table too, unless
            // the index is partial: it holds only the rows asked for.
            static const QRegularExpression scanIndex(u"^SCAN \\S+ USING (?:COVERING )?INDEX (\\S+)"_s);
            const auto viaIndex = scanIndex.match(line);
            const bool bareScan =
                line.startsWith(u"SCAN "_s) && !line.contains(u"INTEGER PRIMARY KEY"_s) &&
                !(viaIndex.hasMatch() && indexDefinition(db(), viaIndex.captured(1)).contains(u" WHERE "_s));
            // A statement that runs once may read a small table or the
            // import whole; never PUNCH, which grows with the years.
            const bool onceOverMaster = count == 1 && !line.contains(u"PUNCH"_s);
            EXPECT_FALSE(bareScan && !onceOverMaster)
                << sql.toStdString() << "\n  ran " << count
                << " times, plan: " << lines.join(u"; "_s).toStdString();
        }
    }
    EXPECT_EQ(openPairSearches, 1);
    EXPECT_GE(punchStatements, 3) << "pairing, schedules and hours all reached PUNCH";
}

void expectPartialPunchIndexes(Database &db, const char *when) {
    const bool sqlite = db.engine() == Engine::SQLite;
    const struct {
        QString name, predicate;
    } cases[] = {
        {u"PUNCH_EMPLOYEE_OPEN"_s, u"\"OUT TIME\" IS NULL"_s},
        {u"PUNCH_RECALC"_s, sqlite ? u"\"RecalcHrs\" = 1"_s : u"\"RecalcHrs\" = true"_s},
    };
    for (const auto &c : cases) {
        const QString def = indexDefinition(db, c.name);
        const qsizetype where = def.indexOf(u" WHERE "_s);
        EXPECT_TRUE(where > 0 && def.indexOf(c.predicate, where) > where)
            << when << ": " << c.name.toStdString() << ": " << def.toStdString();
    }
}

TEST_F(PlanTest, TheOpenPairAndRecalculationIndexesHoldOnlyTheRowsTheirSearchesAskFor) {
    expectPartialPunchIndexes(db(), "a new database");
    // A database at version 3, with the full indexes of that version and rows
    // that both searches must keep finding.
    db().executeScript(u"DROP INDEX \"PUNCH_EMPLOYEE_OPEN\";\nDROP INDEX \"PUNCH_RECALC\";\n"
                       "CREATE INDEX \"PUNCH_EMPLOYEE_OPEN\" ON \"PUNCH\" "
                       "(\"EMPLOYEE ID\", \"OUT TIME\", \"IN DATE\", \"IN TIME\");\n"
                       "CREATE INDEX \"PUNCH_RECALC\" ON \"PUNCH\" "
                       "(\"RecalcHrs\", \"EMPLOYEE ID\", \"IN DATE\", \"IN TIME\");\n"
                       "DELETE FROM \"SchemaVersion\";\nINSERT INTO \"SchemaVersion\" VALUES (3);"_s);
    ASSERT_EQ(storedSchemaVersion(db()), 3);
    ASSERT_TRUE(indexDefinition(db(), u"PUNCH_RECALC"_s).indexOf(u" WHERE "_s) < 0);
    upgradeSchema(db());
    EXPECT_EQ(storedSchemaVersion(db()), latestSchemaVersion());
    expectPartialPunchIndexes(db(), "after the upgrade from version 3");
}

} // namespace
