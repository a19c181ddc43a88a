#include "component/DateTime.h"
#include "component/modGlobal.h"
#include "rules/clsTCrules.h"
#include "support/TestSupport.h"

using namespace hx;
using namespace Qt::Literals::StringLiterals;

namespace {
class RulesTest : public hx::test::SiteTest {
protected:
    int ruleRows() { return db().firstValue(QStringLiteral("SELECT COUNT(*) FROM \"TCRULES\""))->toInt(); }
    void emptyTable() { db().execute(QStringLiteral("DELETE FROM \"TCRULES\"")); }
};
} // namespace

TEST_F(RulesTest, EmptyTableGivesDefaultsAndInsertsOnePayPeriodRow) {
    // SetUp loaded the rules from the new, empty table.
    const clsTCrules &r = *gTCRules;
    EXPECT_TRUE(r.blnEditOn && r.blnFlagEdits && r.blnValidateIO && !r.blnUpToMin);
    EXPECT_FLOAT_EQ(r.sngRateOT1, 1.5f);
    EXPECT_FLOAT_EQ(r.sngWeekOT1, 40.0f);
    EXPECT_EQ(r.strPayType, QStringLiteral("Custom"));
    EXPECT_EQ(r.strClockPrompt2, QStringLiteral("ENTER ID NUMBER"));
    EXPECT_EQ(r.dtmDayStart, kDateZeroRule);
    EXPECT_EQ(r.dtmPayStart, dateSerial(2007, 4, 26));
    Recordset rs = db().openRecordset(QStringLiteral("SELECT * FROM \"TCRULES\""));
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(rs.value(u"PAY END").toString(), QStringLiteral("2007-05-02"));
    EXPECT_EQ(rs.value(u"LAST START").toString(), QStringLiteral("2007-04-19"));

    // Loading again reads that row: one row stays, and its Null DAY START reads as 1 January 1900.
    reloadRules();
    EXPECT_EQ(ruleRows(), 1);
    EXPECT_EQ(gTCRules->dtmPayStart, dateSerial(2007, 4, 26));
    EXPECT_EQ(gTCRules->dtmDayStart, kNullDate);
    EXPECT_TRUE(gTCRules->blnEditOn);

    // The pay period starts today whatever the time.
    emptyTable();
    setNow(QStringLiteral("2008-03-01 23:59:59"));
    reloadRules();
    EXPECT_EQ(gTCRules->dtmPayStart, dateSerial(2008, 3, 1));
    EXPECT_EQ(gTCRules->dtmPayThru, dateSerial(2008, 3, 7));
    EXPECT_EQ(gTCRules->dtmPayPrior, dateSerial(2008, 2, 23));
}

TEST_F(RulesTest, TheLowestRowIsReadColumnByColumn) {
    emptyTable();
    db().execute(QStringLiteral("INSERT INTO \"TCRULES\" (\"ID\", \"ROUNDING\") VALUES (9, 'Tenth Hour')"));
    db().execute(
        QStringLiteral(
            "INSERT INTO \"TCRULES\" (\"ID\", \"FullDayAutoLunch\", \"EDITON\", \"TerminalVersion\", \"DAY "
            "START\", "
            "\"LastPoll\", \"PAY START\", \"WEEK START\", \"IdDigits\", \"RATE OT1\", \"ROUNDING\", "
            "\"TASKTITLE\", "
            "\"LESS WARN\", \"WARNING\") VALUES (4, true, false, 3.25, '04:30:00', '2007-04-20 06:15:00', "
            "'2007-04-22', "
            "%1, 6, 2.25, 'Quarter Hour', NULL, %2, NULL)")
            // The server's column types refuse what cannot convert.
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
    EXPECT_EQ(r.strRounding, QStringLiteral("Quarter Hour"));
    EXPECT_EQ(r.strTaskTitle, QString()); // Null text
    // A value that does not convert, or does not fit, leaves the rule as a new
    // object has it; the following columns are still read.
    EXPECT_EQ(r.intWeekStart, 0);
    EXPECT_EQ(r.intLowWarning, 0);
    EXPECT_EQ(r.intHighWarning, 0); // Null number
    EXPECT_EQ(r.strAccrueTitle1, QStringLiteral("ACCRUAL1"));
    EXPECT_EQ(ruleRows(), 2); // a row was there: nothing inserted
}

TEST_F(RulesTest, NullsInEveryColumnAndAnUnreadableTable) {
    QStringList columns;
    const QStringList all = db().openRecordset(QStringLiteral("SELECT * FROM \"TCRULES\"")).columns();
    for (const QString &c : all)
        if (c != QLatin1String("ID")) columns << QLatin1Char('"') + c + QStringLiteral("\" = NULL");
    db().execute(QStringLiteral("UPDATE \"TCRULES\" SET ") + columns.join(QStringLiteral(", ")));
    reloadRules();
    EXPECT_FALSE(gTCRules->blnEditOn); // a new object's value, not the empty-table default
    EXPECT_FLOAT_EQ(gTCRules->sngRateOT1, 0.0f);
    EXPECT_EQ(gTCRules->dtmPayStart, kNullDate);
    EXPECT_EQ(gTCRules->strClockPrompt1, QString());
    EXPECT_EQ(ruleRows(), 1);

    db().executeScript(QStringLiteral("DROP TABLE \"TCRULES\";"));
    reloadRules();
    EXPECT_TRUE(gTCRules->blnEditOn);
    EXPECT_EQ(gTCRules->strPayType, QStringLiteral("Custom"));
    EXPECT_EQ(gTCRules->dtmPayStart, kDateZeroRule);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_TRUE(readFile(QStringLiteral("logs/QX8log.txt")).isEmpty());
}

TEST_F(RulesTest, StartOfWeek) {
    clsTCrules &r = *gTCRules;
    // {now, week start, first day}; 257 is taken as an unsigned 8-bit value: 1.
    for (const auto &[now, start, first] :
         {std::tuple{"2007-04-25 10:00:00", 1, 22}, std::tuple{"2007-04-25 10:00:00", 4, 25},
          std::tuple{"2007-04-25 10:00:00", 7, 21}, std::tuple{"2007-04-25 10:00:00", 257, 22},
          std::tuple{"2007-04-22 23:00:00", 1, 22}}) {
        setNow(QLatin1String(now));
        r.intWeekStart = start;
        EXPECT_EQ(r.dteStartOfWeek(), dateSerial(2007, 4, first)) << now << " " << start;
    }
    EXPECT_TRUE(boxes.shown().empty());

    // Outside the week: the day itself, reported.
    setNow(QStringLiteral("2007-04-26 17:17:00"));
    r.intWeekStart = 0;
    EXPECT_EQ(r.dteStartOfWeek(), dateSerial(2007, 4, 26));
    EXPECT_EQ(r.varDateFirstOfWeek(dateSerial(2007, 4, 26), 8), dateSerial(2007, 4, 26));
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("Horalis Error"));
    EXPECT_TRUE(readFile(QStringLiteral("logs/QX8log.txt"))
                    .contains("Where: clsTCRules:Procedure_varDateFirstOfWeek \r\n"));
}
