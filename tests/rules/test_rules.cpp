#include "component/DateTime.h"
#include "component/modGlobal.h"
#include "rules/clsTCrules.h"
#include "support/TestSupport.h"

using namespace hx;

namespace {
class RulesTest : public hx::test::SiteTest {
protected:
    int ruleRows() { return db().firstValue(QStringLiteral("SELECT COUNT(*) FROM \"TCRULES\""))->toInt(); }
};
} // namespace

TEST_F(RulesTest, EmptyTableGivesDefaultsAndInsertsOnePayPeriodRow) {
    // SetUp loaded the rules from the new, empty table.
    const clsTCrules &r = *gTCRules;
    EXPECT_TRUE(r.blnEditOn);
    EXPECT_TRUE(r.blnFlagEdits);
    EXPECT_TRUE(r.blnValidateIO);
    EXPECT_FALSE(r.blnAutoLunchByDay);
    EXPECT_FALSE(r.blnUpToMin);
    EXPECT_FLOAT_EQ(r.sngRateOT1, 1.5f);
    EXPECT_FLOAT_EQ(r.sngRateOT2, 0.0f);
    EXPECT_FLOAT_EQ(r.sngWeekOT1, 40.0f);
    EXPECT_EQ(r.intWeekStart, 0);
    EXPECT_EQ(r.strPayType, QStringLiteral("Custom"));
    EXPECT_EQ(r.strAccrueTitle3, QStringLiteral("ACCRUAL3"));
    EXPECT_EQ(r.strClockPrompt2, QStringLiteral("ENTER ID NUMBER"));
    EXPECT_EQ(r.strDatafldTitle, QStringLiteral("DATAFLD"));
    EXPECT_EQ(r.strSort2, QStringLiteral("SORT2"));
    EXPECT_EQ(r.strRounding, QString());
    EXPECT_EQ(r.strTaskTitle, QString());
    EXPECT_EQ(r.dtmDayStart, kDateZeroRule);
    EXPECT_EQ(r.dtmLastPoll, kDateZeroRule);
    EXPECT_EQ(r.dtmPayStart, dateSerial(2007, 4, 26));
    EXPECT_EQ(r.dtmPayThru, dateSerial(2007, 5, 2));
    EXPECT_EQ(r.dtmPayPrior, dateSerial(2007, 4, 19));

    Recordset rs = db().openRecordset(QStringLiteral("SELECT * FROM \"TCRULES\""));
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(rs.value(u"pay start").toString(), QStringLiteral("2007-04-26"));
    EXPECT_EQ(rs.value(u"PAY END").toString(), QStringLiteral("2007-05-02"));
    EXPECT_EQ(rs.value(u"LAST START").toString(), QStringLiteral("2007-04-19"));

    // Loading again reads that row: one row stays, and its Null DAY START
    // reads as 1 January 1900.
    reloadRules();
    EXPECT_EQ(ruleRows(), 1);
    EXPECT_EQ(gTCRules->dtmPayStart, dateSerial(2007, 4, 26));
    EXPECT_EQ(gTCRules->dtmDayStart, kNullDate);
    EXPECT_TRUE(gTCRules->blnEditOn);
    EXPECT_EQ(gTCRules->strClockPrompt1, QStringLiteral("ENTER ID NUMBER"));
}

TEST_F(RulesTest, PayPeriodStartsTodayWhateverTheTime) {
    db().execute(QStringLiteral("DELETE FROM \"TCRULES\""));
    setNow(QStringLiteral("2008-03-01 23:59:59"));
    reloadRules();
    EXPECT_EQ(gTCRules->dtmPayStart, dateSerial(2008, 3, 1));
    EXPECT_EQ(gTCRules->dtmPayThru, dateSerial(2008, 3, 7));
    EXPECT_EQ(gTCRules->dtmPayPrior, dateSerial(2008, 2, 23));
}

TEST_F(RulesTest, RowIsReadColumnByColumn) {
    db().execute(QStringLiteral("DELETE FROM \"TCRULES\""));
    db().execute(QStringLiteral(
        "INSERT INTO \"TCRULES\" (\"ID\", \"FullDayAutoLunch\", \"UpToMin\", \"EDITON\", "
        "\"TerminalVersion\", "
        "\"DAY START\", \"LastPoll\", \"PAY START\", \"WEEK START\", \"IdDigits\", \"lngSgThreshold\", "
        "\"RATE OT1\", \"ROUNDING\", \"SORT 2\", \"TASKTITLE\", \"LESS WARN\", \"WARNING\") "
        "VALUES (7, 1, 1, 0, 3.25, '04:30:00', '2007-04-20 06:15:00', '2007-04-22', 'four', 6, 120000, 2.25, "
        "'Quarter Hour', 'Day_Start', NULL, 70000, NULL)"));
    reloadRules();
    const clsTCrules &r = *gTCRules;
    // One column, two properties: names are matched without regard to case.
    EXPECT_TRUE(r.blnAutoLunchByDay);
    EXPECT_TRUE(r.blnFullDayAutolunch);
    EXPECT_TRUE(r.blnUpToMin);
    EXPECT_FALSE(r.blnEditOn);
    EXPECT_EQ(r.dblTerminalVersion, 3.25);
    EXPECT_EQ(r.dtmDayStart, timeSerial(4, 30, 0));
    EXPECT_EQ(r.dtmLastPoll, dateSerial(2007, 4, 20) + timeSerial(6, 15, 0));
    EXPECT_EQ(r.dtmPayStart, dateSerial(2007, 4, 22));
    EXPECT_EQ(r.dtmPayThru, kNullDate); // Null date
    EXPECT_EQ(r.intIdDigits, 6);
    EXPECT_EQ(r.lngSwipeNGoThreshold, 120000);
    EXPECT_FLOAT_EQ(r.sngRateOT1, 2.25f);
    EXPECT_EQ(r.strRounding, QStringLiteral("Quarter Hour"));
    EXPECT_EQ(r.strSort2, QStringLiteral("Day_Start"));
    EXPECT_EQ(r.strTaskTitle, QString()); // Null text
    // A value that does not convert, or does not fit, leaves the rule as a new
    // object has it; the following columns are still read.
    EXPECT_EQ(r.intWeekStart, 0);
    EXPECT_EQ(r.intLowWarning, 0);
    EXPECT_EQ(r.intHighWarning, 0); // Null number
    EXPECT_EQ(r.strAccrueTitle1, QStringLiteral("ACCRUAL1"));
    EXPECT_EQ(ruleRows(), 1); // a row was there: nothing inserted
}

TEST_F(RulesTest, NullsInEveryColumn) {
    db().execute(QStringLiteral("DELETE FROM \"TCRULES\""));
    QStringList columns;
    const QStringList all = db().openRecordset(QStringLiteral("SELECT * FROM \"TCRULES\"")).columns();
    for (const QString &c : all)
        if (c != QLatin1String("ID")) columns << QLatin1Char('"') + c + QStringLiteral("\" = NULL");
    db().execute(QStringLiteral("INSERT INTO \"TCRULES\" (\"ID\") VALUES (1)"));
    db().execute(QStringLiteral("UPDATE \"TCRULES\" SET ") + columns.join(QStringLiteral(", ")));
    reloadRules();
    const clsTCrules &r = *gTCRules;
    EXPECT_FALSE(r.blnEditOn); // a new object's value, not the empty-table default
    EXPECT_FALSE(r.blnValidateIO);
    EXPECT_FLOAT_EQ(r.sngRateOT1, 0.0f);
    EXPECT_FLOAT_EQ(r.sngWeekOT1, 0.0f);
    EXPECT_EQ(r.dtmDayStart, kNullDate);
    EXPECT_EQ(r.dtmPayStart, kNullDate);
    EXPECT_EQ(r.dtmPayPrior, kNullDate);
    EXPECT_EQ(r.strPayType, QString());
    EXPECT_EQ(r.strClockPrompt1, QString());
    EXPECT_EQ(ruleRows(), 1);
}

TEST_F(RulesTest, LowestIdCounts) {
    const QString insert =
        QStringLiteral("INSERT INTO \"TCRULES\" (\"ID\", \"ROUNDING\", \"WEEK START\") VALUES (?, ?, ?)");
    db().execute(QStringLiteral("DELETE FROM \"TCRULES\""));
    db().execute(insert, {9, QStringLiteral("Tenth Hour"), 3});
    db().execute(insert, {4, QStringLiteral("Slant Hour"), 2});
    db().execute(insert, {6, QStringLiteral("Custom"), 5});
    reloadRules();
    EXPECT_EQ(gTCRules->strRounding, QStringLiteral("Slant Hour"));
    EXPECT_EQ(gTCRules->intWeekStart, 2);
}

TEST_F(RulesTest, AnUnreadableTableGivesDefaultsAndInsertsNothing) {
    db().execute(QStringLiteral("DROP TABLE \"TCRULES\""));
    reloadRules();
    EXPECT_TRUE(gTCRules->blnEditOn);
    EXPECT_EQ(gTCRules->strPayType, QStringLiteral("Custom"));
    EXPECT_EQ(gTCRules->dtmPayStart, kDateZeroRule);
    EXPECT_EQ(gTCRules->dtmPayThru, kDateZeroRule);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_TRUE(readFile(QStringLiteral("logs/QX8log.txt")).isEmpty());
}

TEST_F(RulesTest, StartOfWeek) {
    clsTCrules &r = *gTCRules;
    setNow(QStringLiteral("2007-04-25 10:00:00")); // a Wednesday
    r.intWeekStart = 1;
    EXPECT_EQ(r.dteStartOfWeek(), dateSerial(2007, 4, 22));
    r.intWeekStart = 4;
    EXPECT_EQ(r.dteStartOfWeek(), dateSerial(2007, 4, 25));
    r.intWeekStart = 7;
    EXPECT_EQ(r.dteStartOfWeek(), dateSerial(2007, 4, 21));
    r.intWeekStart = 257; // taken as an unsigned 8-bit value: 1
    EXPECT_EQ(r.dteStartOfWeek(), dateSerial(2007, 4, 22));
    setNow(QStringLiteral("2007-04-22 23:00:00")); // a Sunday
    r.intWeekStart = 1;
    EXPECT_EQ(r.dteStartOfWeek(), dateSerial(2007, 4, 22));
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(RulesTest, WeekStartOutsideTheWeekStopsAndIsReported) {
    clsTCrules &r = *gTCRules;
    r.intWeekStart = 0;
    EXPECT_EQ(r.dteStartOfWeek(), dateSerial(2007, 4, 26));
    r.intWeekStart = 8;
    EXPECT_EQ(r.varDateFirstOfWeek(dateSerial(2007, 4, 26), r.intWeekStart), dateSerial(2007, 4, 26));
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("Horalis Error"));
    EXPECT_TRUE(readFile(QStringLiteral("logs/QX8log.txt"))
                    .contains("Where: clsTCRules:Procedure_varDateFirstOfWeek \r\n"));
}

TEST_F(RulesTest, DescribeListsEveryRuleInOrder) {
    const QStringList lines = gTCRules->describe();
    ASSERT_EQ(lines.size(), 57);
    EXPECT_EQ(lines.first(), QStringLiteral("blnAutoLunchByDay = False"));
    EXPECT_TRUE(lines.contains(QStringLiteral("dtmPayStart = 2007-04-26 00:00:00")));
    EXPECT_TRUE(lines.contains(QStringLiteral("sngRateOT1 = 1.5")));
    EXPECT_EQ(lines.last(), QStringLiteral("strTaskTitle = "));
}
