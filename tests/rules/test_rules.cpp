#include "component/DateTime.h"
#include "component/modGlobal.h"
#include "rules/clsTCrules.h"
#include "support/TestSupport.h"

using namespace hx;
using namespace Qt::Literals::StringLiterals;

namespace {
class RulesTest : public hx::test::SiteTest {
protected:
    int ruleRows() { return db().firstValue(u"SELECT COUNT(*) FROM \"TCRULES\""_s)->toInt(); }
    void emptyTable() { db().execute(u"DELETE FROM \"TCRULES\""_s); }
};
} // namespace

TEST_F(RulesTest, EmptyTableGivesDefaultsAndInsertsOnePayPeriodRow) {
    // SetUp loaded the rules from the new, empty table.
    const clsTCrules &r = *gTCRules;
    EXPECT_TRUE(r.blnEditOn && r.blnFlagEdits && r.blnValidateIO && !r.blnUpToMin);
    EXPECT_FLOAT_EQ(r.sngRateOT1, 1.5f);
    EXPECT_FLOAT_EQ(r.sngWeekOT1, 40.0f);
    EXPECT_EQ(r.strPayType, u"Custom"_s);
    EXPECT_EQ(r.dtmDayStart, kDateZeroRule);
    Recordset rs = db().openRecordset(u"SELECT * FROM \"TCRULES\""_s);
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(rs.value(u"PAY START").toString() + rs.value(u"PAY END").toString() + rs.value(u"LAST START").toString(),
              u"2007-04-262007-05-022007-04-19"_s);

    // Loading again reads that row: one row stays, and its Null DAY START reads as 1 January 1900.
    reloadRules();
    EXPECT_EQ(ruleRows(), 1);
    EXPECT_EQ(gTCRules->dtmPayStart, dateSerial(2007, 4, 26));
    EXPECT_EQ(gTCRules->dtmDayStart, kNullDate);
    EXPECT_TRUE(gTCRules->blnEditOn);

    // The pay period starts today whatever the time.
    emptyTable();
    setNow(u"2008-03-01 23:59:59"_s);
    reloadRules();
    EXPECT_EQ(gTCRules->dtmPayStart, dateSerial(2008, 3, 1));
    EXPECT_EQ(gTCRules->dtmPayThru, dateSerial(2008, 3, 7));
    EXPECT_EQ(gTCRules->dtmPayPrior, dateSerial(2008, 2, 23));
}

TEST_F(RulesTest, TheLowestRowIsReadColumnByColumn) {
    emptyTable();
    db().execute(u"INSERT INTO \"TCRULES\" (\"ID\", \"ROUNDING\") VALUES (9, 'Tenth Hour')"_s);
    // The server's column types refuse what cannot convert.
    db().execute(u"INSERT INTO \"TCRULES\" (\"ID\", \"FullDayAutoLunch\", \"EDITON\", \"TerminalVersion\", "
                 "\"DAY START\", \"LastPoll\", \"PAY START\", \"WEEK START\", \"IdDigits\", \"RATE OT1\", "
                 "\"ROUNDING\", \"TASKTITLE\", \"LESS WARN\", \"WARNING\") VALUES (4, true, false, 3.25, "
                 "'04:30:00', '2007-04-20 06:15:00', '2007-04-22', %1, 6, 2.25, 'Quarter Hour', NULL, %2, NULL)"_s
                     .arg(onServer() ? u"NULL"_s : u"'four'"_s, onServer() ? u"NULL"_s : u"70000"_s));
    reloadRules();
    const clsTCrules &r = *gTCRules;
    EXPECT_TRUE(r.blnAutoLunchByDay && r.blnFullDayAutolunch); // one column, two properties
    EXPECT_FALSE(r.blnEditOn);
    EXPECT_EQ(r.dblTerminalVersion, 3.25);
    EXPECT_EQ(r.dtmDayStart, timeSerial(4, 30, 0));
    EXPECT_EQ(r.dtmLastPoll, dateSerial(2007, 4, 20) + timeSerial(6, 15, 0));
    EXPECT_EQ(r.dtmPayStart, dateSerial(2007, 4, 22));
    EXPECT_EQ(r.dtmPayThru, kNullDate); // Null date
    EXPECT_EQ(r.intIdDigits, 6);
    EXPECT_FLOAT_EQ(r.sngRateOT1, 2.25f);
    EXPECT_EQ(r.strRounding, u"Quarter Hour"_s);
    EXPECT_EQ(r.strTaskTitle, QString()); // Null text
    // A value that does not convert, or does not fit, leaves the rule as a new
    // object has it; the following columns are still read.
    EXPECT_EQ(r.intWeekStart + r.intLowWarning + r.intHighWarning, 0);
    EXPECT_EQ(r.strAccrueTitle1, u"ACCRUAL1"_s);
    EXPECT_EQ(ruleRows(), 2); // a row was there: nothing inserted
}

TEST_F(RulesTest, NullsInEveryColumnAndAnUnreadableTable) {
    QStringList columns;
    for (const QString &c : db().openRecordset(u"SELECT * FROM \"TCRULES\""_s).columns())
        if (c != u"ID"_s) columns << u'"' + c + u"\" = NULL"_s;
    db().execute(u"UPDATE \"TCRULES\" SET "_s + columns.join(u", "_s));
    reloadRules();
    EXPECT_FALSE(gTCRules->blnEditOn); // a new object's value, not the empty-table default
    EXPECT_FLOAT_EQ(gTCRules->sngRateOT1, 0.0f);
    EXPECT_EQ(gTCRules->dtmPayStart, kNullDate);
    EXPECT_EQ(gTCRules->strClockPrompt1, QString());
    EXPECT_EQ(ruleRows(), 1);

    db().executeScript(u"DROP TABLE \"TCRULES\";"_s);
    reloadRules();
    EXPECT_TRUE(gTCRules->blnEditOn);
    EXPECT_EQ(gTCRules->strPayType, u"Custom"_s);
    EXPECT_EQ(gTCRules->dtmPayStart, kDateZeroRule);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_TRUE(readFile(u"logs/QX8log.txt"_s).isEmpty());
}

TEST_F(RulesTest, StartOfWeek) {
    clsTCrules &r = *gTCRules;
    // {now, week start, first day}: up to six days back; 257 is taken as an unsigned 8-bit value: 1.
    for (const auto &[now, start, first] :
         {std::tuple{"2007-04-25 10:00:00", 1, 22}, {"2007-04-25 10:00:00", 4, 25}, {"2007-04-25 10:00:00", 7, 21},
          {"2007-04-25 10:00:00", 5, 19}, {"2007-04-25 10:00:00", 257, 22}, {"2007-04-22 23:00:00", 1, 22}}) {
        setNow(QLatin1String(now));
        r.intWeekStart = start;
        EXPECT_EQ(r.dteStartOfWeek(), dateSerial(2007, 4, first)) << now << " " << start;
    }
    EXPECT_TRUE(boxes.shown().empty());

    // Outside the week: the day itself, reported.
    setNow(u"2007-04-26 17:17:00"_s);
    r.intWeekStart = 0;
    EXPECT_EQ(r.dteStartOfWeek(), dateSerial(2007, 4, 26));
    EXPECT_EQ(r.varDateFirstOfWeek(dateSerial(2007, 4, 26), 8), dateSerial(2007, 4, 26));
    EXPECT_EQ(boxes.count(u"Horalis Error"_s), 2);
    EXPECT_TRUE(readFile(u"logs/QX8log.txt"_s).contains("Where: clsTCRules:Procedure_varDateFirstOfWeek \r\n"));
}
