#pragma once
// The storage convention that must hold on every engine: each stored form is
// written through the adapters, read back through the value helpers and found
// again by a bound comparison. Used by the SQLite and PostgreSQL tests alike.
#include "component/Database.h"
#include "component/DateTime.h"
#include "component/Values.h"

#include <gtest/gtest.h>

namespace hx::test {

inline void checkStoredFormsRoundTrip(Database &db) {
    const double day = dateSerial(2007, 4, 26), in = timeSerial(7, 30, 0), late = timeSerial(23, 59, 59);
    const QString quoted = QStringLiteral("O'Brien \\ Sons");
    const QString insertPunch = QStringLiteral(
        "INSERT INTO \"PUNCH\" (\"EMPLOYEE ID\", \"IN DATE\", \"IN TIME\", \"OUT TIME\", \"RecalcHrs\", "
        "\"DEPT NAME\", \"DATAFLD\", \"ERRORCODE\") VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    db.execute(insertPunch, {7, db.date(day), db.time(in), db.time(std::optional<double>()), db.boolean(true),
                             quoted, 12.5, 0});
    db.execute(insertPunch, {8, db.date(day + 1), db.time(late), db.time(0.0), db.boolean(false),
                             QString(QLatin1String("")), Database::null(), Database::null()});

    Recordset rs = db.openRecordset(QStringLiteral("SELECT * FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = ?"), {7});
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(toDateTimeValue(rs.value(u"IN DATE")), day);
    EXPECT_EQ(toDateTimeValue(rs.value(u"in time")), in);
    EXPECT_TRUE(isNull(rs.value(u"OUT TIME")));
    EXPECT_TRUE(toBoolean(rs.value(u"RecalcHrs")));
    EXPECT_EQ(rs.value(u"DEPT NAME").toString(), quoted);
    EXPECT_EQ(toDouble(rs.value(u"DATAFLD")), 12.5);
    EXPECT_EQ(toDoubleOpt(rs.value(u"ERRORCODE")), 0.0); // zero, not Null

    // Empty text is not Null, midnight is not Null, a bound Null number is Null.
    rs = db.openRecordset(QStringLiteral("SELECT * FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = ?"), {8});
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_FALSE(isNull(rs.value(u"DEPT NAME")));
    EXPECT_TRUE(isNullOrEmpty(rs.value(u"DEPT NAME")));
    EXPECT_EQ(toDateTimeValue(rs.value(u"OUT TIME")), 0.0);
    EXPECT_FALSE(toBoolean(rs.value(u"RecalcHrs")));
    EXPECT_TRUE(isNull(rs.value(u"ERRORCODE")));

    // Bound comparisons find the rows again.
    auto count = [&](const QString &where, const QList<QVariant> &params) {
        return db.firstValue(QStringLiteral("SELECT COUNT(*) FROM \"PUNCH\" WHERE ") + where, params)
            ->toInt();
    };
    EXPECT_EQ(count(QStringLiteral("\"DEPT NAME\" = ?"), {quoted}), 1);
    const QString before = QStringLiteral("(\"IN DATE\" < ? OR (\"IN DATE\" = ? AND \"IN TIME\" < ?))");
    EXPECT_EQ(count(before, {db.date(day + 1), db.date(day + 1), db.time(late)}), 1);
    EXPECT_EQ(count(before, {db.date(day + 2), db.date(day + 2), db.time(0.0)}), 2);
    EXPECT_EQ(count(QStringLiteral("\"RecalcHrs\" = ? AND \"EMPLOYEE ID\" = 7"), {db.boolean(true)}), 1);
    EXPECT_EQ(count(QStringLiteral("\"OUT TIME\" IS NULL"), {}), 1);

    // A date-time column keeps its seconds.
    const double lastPoll = day + timeSerial(17, 17, 9);
    db.execute(QStringLiteral("INSERT INTO \"TCRULES\" (\"LastPoll\") VALUES (?)"), {db.dateTime(lastPoll)});
    EXPECT_EQ(toDateTimeValue(*db.firstValue(
                  QStringLiteral("SELECT \"LastPoll\" FROM \"TCRULES\" WHERE \"LastPoll\" IS NOT NULL"))),
              lastPoll);

    // A date before day 0 keeps its time of day: 29 December 1899 06:00 is -1.25.
    db.execute(QStringLiteral("DELETE FROM \"TCRULES\""));
    db.execute(QStringLiteral("INSERT INTO \"TCRULES\" (\"LastPoll\") VALUES (?)"), {db.dateTime(-1.25)});
    const QVariant early = *db.firstValue(QStringLiteral("SELECT \"LastPoll\" FROM \"TCRULES\""));
    EXPECT_EQ(toDateTimeValue(early), -1.25);
    EXPECT_EQ(valueText(early), QStringLiteral("1899-12-29 06:00:00"));
}

} // namespace hx::test
