#include "component/DateTime.h"
#include "component/modGlobal.h"
#include "rules/clsTCrules.h"
#include "support/TestSupport.h"

using namespace hx;

class RulesTest : public hx::test::SiteTest {};

TEST_F(RulesTest, EmptyTableGivesDefaultsAndInsertsOnePayPeriodRow) {
    // SetUp loaded the rules from the new, empty table.
    const clsTCrules &r = *gTCRules;
    EXPECT_TRUE(r.blnEditOn);
    EXPECT_TRUE(r.blnValidateIO);
    EXPECT_FLOAT_EQ(r.sngRateOT1, 1.5f);
    EXPECT_FLOAT_EQ(r.sngWeekOT1, 40.0f);
    EXPECT_EQ(r.strPayType, QStringLiteral("Custom"));
    EXPECT_EQ(r.dtmDayStart, 1.0);
    EXPECT_EQ(r.dtmPayStart, dateSerial(2007, 4, 26));
    EXPECT_EQ(r.dtmPayThru, dateSerial(2007, 5, 2));
    EXPECT_EQ(r.dtmPayPrior, dateSerial(2007, 4, 19));

    Recordset rs = db().openRecordset(QStringLiteral("SELECT * FROM \"TCRULES\""));
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(rs.value(u"pay start").toString(), QStringLiteral("2007-04-26"));
    EXPECT_EQ(rs.value(u"PAY END").toString(), QStringLiteral("2007-05-02"));
    EXPECT_EQ(rs.value(u"LAST START").toString(), QStringLiteral("2007-04-19"));
}
