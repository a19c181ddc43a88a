#pragma once
// Checks of the storage convention that must hold on every engine: each stored
// form (date, time, date-time, boolean, number, text, Null) is written through
// the adapters, read back through the value helpers and found again by a bound
// comparison. Used by the SQLite and the PostgreSQL tests alike, on a database
// made from the schema.
#include "component/Database.h"
#include "component/DateTime.h"
#include "component/Values.h"

#include <gtest/gtest.h>

namespace hx::test {

inline void checkStoredFormsRoundTrip(Database &db) {
    const double day = dateSerial(2007, 4, 26);
    const double in = timeSerial(7, 30, 0);
    const double lastPoll = day + timeSerial(17, 17, 9);
    const QString insertPunch = QStringLiteral(
        "INSERT INTO \"PUNCH\" (\"EMPLOYEE ID\", \"IN DATE\", \"IN TIME\", \"OUT TIME\", \"RecalcHrs\", "
        "\"InExcused\", \"DEPT NAME\", \"DATAFLD\", \"ERRORCODE\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    db.execute(insertPunch, {7, db.date(day), db.time(in), db.time(std::optional<double>()), db.boolean(true),
                             db.boolean(false), QStringLiteral("O'Brien \\ Sons"), 12.5, 0});
    db.execute(insertPunch, {8, db.date(day + 1), db.time(timeSerial(23, 59, 59)),
                             db.time(timeSerial(0, 0, 0)), db.boolean(false), db.boolean(true),
                             QString(QLatin1String("")), Database::null(), Database::null()});

    Recordset rs = db.openRecordset(
        QStringLiteral("SELECT * FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = ? ORDER BY \"ID\""), {7});
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(toDateTimeValue(rs.value(u"IN DATE")), day);
    EXPECT_EQ(toDateTimeValue(rs.value(u"in time")), in);
    EXPECT_TRUE(isNull(rs.value(u"OUT TIME")));
    EXPECT_TRUE(toBoolean(rs.value(u"RecalcHrs")));
    EXPECT_FALSE(toBoolean(rs.value(u"InExcused")));
    EXPECT_EQ(rs.value(u"DEPT NAME").toString(), QStringLiteral("O'Brien \\ Sons"));
    EXPECT_EQ(toDouble(rs.value(u"DATAFLD")), 12.5);
    EXPECT_TRUE(isNull(rs.value(u"TASK")));
    EXPECT_FALSE(isNull(rs.value(u"ERRORCODE")));
    EXPECT_EQ(toDouble(rs.value(u"ERRORCODE")), 0.0);

    // The second row: empty text is not Null, midnight is not Null, a bound
    // Null number is Null.
    rs = db.openRecordset(QStringLiteral("SELECT * FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = ?"), {8});
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_FALSE(isNull(rs.value(u"DEPT NAME")));
    EXPECT_TRUE(isNullOrEmpty(rs.value(u"DEPT NAME")));
    EXPECT_EQ(toDateTimeValue(rs.value(u"OUT TIME")), 0.0);
    EXPECT_EQ(toDateTimeValue(rs.value(u"IN TIME")), timeSerial(23, 59, 59));
    EXPECT_TRUE(isNull(rs.value(u"DATAFLD")));
    EXPECT_TRUE(isNull(rs.value(u"ERRORCODE")));

    // Bound comparisons find the rows again: text with a quote, dates and
    // times compared column by column, booleans against a bound boolean.
    EXPECT_EQ(db.firstValue(QStringLiteral("SELECT \"EMPLOYEE ID\" FROM \"PUNCH\" WHERE \"DEPT NAME\" = ?"),
                            {QStringLiteral("O'Brien \\ Sons")})
                  .value_or(QVariant())
                  .toInt(),
              7);
    const QString before = QStringLiteral(
        "SELECT COUNT(*) FROM \"PUNCH\" WHERE (\"IN DATE\" < ? OR (\"IN DATE\" = ? AND \"IN TIME\" < ?))");
    EXPECT_EQ(
        db.firstValue(before, {db.date(day + 1), db.date(day + 1), db.time(timeSerial(23, 59, 59))})->toInt(),
        1);
    EXPECT_EQ(db.firstValue(before, {db.date(day + 2), db.date(day + 2), db.time(0.0)})->toInt(), 2);
    EXPECT_EQ(db.firstValue(QStringLiteral("SELECT \"EMPLOYEE ID\" FROM \"PUNCH\" WHERE \"RecalcHrs\" = ?"),
                            {db.boolean(true)})
                  ->toInt(),
              7);
    EXPECT_EQ(
        db.firstValue(QStringLiteral("SELECT COUNT(*) FROM \"PUNCH\" WHERE \"OUT TIME\" IS NULL"))->toInt(),
        1);

    // Jet sorted Nulls first in ascending order; the statements say so.
    const QString nullsFirst =
        QStringLiteral("SELECT \"EMPLOYEE ID\" FROM \"PUNCH\" ORDER BY \"OUT TIME\" NULLS FIRST, \"ID\"");
    const QString nullsLast =
        QStringLiteral("SELECT \"EMPLOYEE ID\" FROM \"PUNCH\" ORDER BY \"OUT TIME\" DESC NULLS LAST, \"ID\"");
    rs = db.openRecordset(nullsFirst);
    ASSERT_EQ(rs.recordCount(), 2);
    EXPECT_EQ(rs.value(0).toInt(), 7);
    rs = db.openRecordset(nullsLast);
    EXPECT_EQ(rs.value(0).toInt(), 8);

    // A date-time column keeps its seconds.
    db.execute(QStringLiteral("INSERT INTO \"TCRULES\" (\"LastPoll\", \"DAY START\") VALUES (?, ?)"),
               {db.dateTime(lastPoll), db.time(timeSerial(4, 30, 0))});
    rs = db.openRecordset(
        QStringLiteral("SELECT \"LastPoll\", \"DAY START\" FROM \"TCRULES\" WHERE \"LastPoll\" IS NOT NULL"));
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(formatIsoDateTime(toDateTimeValue(rs.value(u"LASTPOLL"))),
              QStringLiteral("2007-04-26 17:17:09"));
    EXPECT_EQ(toDateTimeValue(rs.value(u"LastPoll")), lastPoll);
    EXPECT_EQ(toDateTimeValue(rs.value(u"day start")), timeSerial(4, 30, 0));
}

} // namespace hx::test
