#include "HoursFixture.h"
#include "component/DateTime.h"
#include "hours/DayStart.h"
#include "rules/clsTCrules.h"

using namespace hx;

class DayStartTest : public hx::test::HoursTest {};

TEST_F(DayStartTest, UnsetRuleMeansMidnight) {
    // Fresh rules of an empty table: 31 December 1899.
    gTCRules->SetDefaultRules();
    resetDayStartCache();
    EXPECT_EQ(dtmEmployeeDayStart(101), 0.0);
    // A Null DAY START: 1 January 1900.
    reloadRules();
    EXPECT_EQ(gTCRules->dtmDayStart, kNullDate);
    EXPECT_EQ(dtmEmployeeDayStart(101), 0.0);
    setRule("DAY START", QStringLiteral("04:00:00"));
    EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(101), 4.0 / 24);
}

TEST_F(DayStartTest, EmployeeOwnDayStartOnlyUnderTheExactTitle) {
    setRule("DAY START", QStringLiteral("03:00:00"));
    setRule("SORT 2", QStringLiteral("Day_Start"));
    addEmployee(2, 102, QStringLiteral("4:30 AM"));
    addEmployee(3, 103, QStringLiteral("early"));
    addEmployee(4, 104, QString());
    db().execute(QStringLiteral("UPDATE \"EMPLOYEE\" SET \"SORT2\" = '04:30' WHERE \"EMPLOYEE ID\" = 1"));
    resetDayStartCache();
    EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(101), 4.5 / 24);
    EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(102), 4.5 / 24);
    EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(103), 3.0 / 24);
    EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(104), 3.0 / 24);
    EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(999), 3.0 / 24);

    setRule("SORT 2", QStringLiteral("day_start"));
    EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(101), 3.0 / 24);
}

TEST_F(DayStartTest, ARunTakesAChangedEmployeeDayStart) {
    setRule("SORT 2", QStringLiteral("Day_Start"));
    db().execute(QStringLiteral("UPDATE \"EMPLOYEE\" SET \"SORT2\" = '01:00'"));
    EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(101), 1.0 / 24);
    int id = addPair(hx::test::Pair("02:00:00", "10:00:00"));
    db().execute(QStringLiteral("UPDATE \"EMPLOYEE\" SET \"SORT2\" = '03:00'"));
    RecalculateHours();
    EXPECT_EQ(text(id, "AdjustedDate"), QStringLiteral("2007-04-22"));
    EXPECT_DOUBLE_EQ(dtmEmployeeDayStart(101), 3.0 / 24);
}
