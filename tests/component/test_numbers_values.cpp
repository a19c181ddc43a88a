#include "component/DateTime.h"
#include "component/Error.h"
#include "component/Numbers.h"
#include "component/Values.h"

#include "support/TestSupport.h"

#include <QDateTime>
#include <cmath>

using namespace hx;
using hx::test::errorNumberOf;

TEST(LenientVal, BlanksIgnoredDigitsFromTheLeftAndPrefixes) {
    const struct {
        const char16_t *text;
        double value;
    } rows[] = {
        {u" 1 2 3 ", 123},   {u"\t4\r\n5", 45}, {u"12-3", 12},       {u"A1", 0},
        {u"- 12", -12},      {u"1.2.3", 1.2},   {u"2d3", 2000},      {u"1E+", 1},
        {u"& H 1F", 31},     {u"&HZZ", 0},      {u"&O17", 15},       {u"&H7FFF", 32767},
        {u"&H8000", -32768}, {u"&HFFFF", -1},   {u"&H10000", 65536}, {u"&HFFFFFFFF", -1},
        // Sixteen hexadecimal digits at most are read; the rest of the field does not count.
        {u"&H7FFFFFFFFFFFFFFF", 9223372036854775807.0}, {u"&H100000000", 4294967296.0}, {u"&H00000000000000011", 1},
    };
    for (const auto &r : rows)
        EXPECT_EQ(lenientVal(r.text), r.value) << QString::fromUtf16(r.text).toStdString();
}

TEST(LenientVal, LongHexadecimalOverflowsBeyondWhatFits) {
    for (const char16_t *bad : {u"&H8000000000000000", u"&HFFFFFFFFFFFFFFFF", u"& H 8000 0000 0000 0000"})
        EXPECT_EQ(errorNumberOf([=] { lenientVal(bad); }), ErrNo::Overflow) << QString::fromUtf16(bad).toStdString();
}

TEST(WholeNumbers, RoundHalvesToEvenAndRaiseOnOverflow) {
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(2.5001), 3);
    EXPECT_EQ(toInt16(1.5), 2);
    EXPECT_EQ(toInt16(-32768.5), -32768);
    EXPECT_EQ(toInt32(4.5), 4);
    EXPECT_EQ(toInt32(2147483647.0), 2147483647);
    for (double bad : {32767.5, -32768.6, std::nan("")})
        EXPECT_EQ(errorNumberOf([=] { toInt16(bad); }), ErrNo::Overflow) << bad;
    for (double bad : {2147483647.5, -2147483649.0})
        EXPECT_EQ(errorNumberOf([=] { toInt32(bad); }), ErrNo::Overflow) << bad;
}

TEST(Values, NullIsNeitherEmptyTextNorZeroAndEveryStoredFormReadsBack) {
    const QVariant dbNull{QMetaType(QMetaType::QString)}; // how a driver hands over a Null text
    EXPECT_TRUE(isNull(dbNull));
    EXPECT_FALSE(isNull(QVariant(QString())));
    EXPECT_TRUE(isNullOrEmpty(QVariant(QStringLiteral(""))));
    EXPECT_FALSE(isNullOrEmpty(QVariant(QStringLiteral(" "))));
    EXPECT_EQ(errorNumberOf([&] { toDouble(dbNull); }), ErrNo::InvalidUseOfNull);
    EXPECT_EQ(errorNumberOf([&] { toBoolean(QVariant()); }), ErrNo::InvalidUseOfNull);
    EXPECT_EQ(errorNumberOf([&] { toDateTimeValue(QVariant()); }), ErrNo::InvalidUseOfNull);
    EXPECT_FALSE(toDateTimeOpt(QVariant(QStringLiteral(""))).has_value());
    EXPECT_EQ(toDoubleOpt(QVariant(0)), 0.0);

    const double day = dateSerial(2007, 4, 26), t = timeSerial(17, 17, 9);
    // Text forms of the embedded engine, native forms of the server engine.
    EXPECT_EQ(toDateTimeValue(QVariant(QByteArray("2007-04-26"))), day);
    EXPECT_EQ(toDateTimeValue(QVariant(QStringLiteral("17:17:09"))), t);
    EXPECT_EQ(toDateTimeValue(QVariant(QDateTime(QDate(2007, 4, 26), QTime(17, 17, 9)))), day + t);
    EXPECT_EQ(errorNumberOf([] { toDateTimeValue(QVariant(QStringLiteral("soon"))); }), ErrNo::TypeMismatch);

    EXPECT_EQ(toDouble(QVariant(QStringLiteral(" 7.5 "))), 7.5);
    EXPECT_EQ(toDouble(QVariant(true)), -1);
    for (const char *bad : {"", "12abc"})
        EXPECT_EQ(errorNumberOf([=] { toDouble(QVariant(QString::fromLatin1(bad))); }), ErrNo::TypeMismatch);

    for (const char *yes : {"1", "True", "t"})
        EXPECT_TRUE(toBoolean(QVariant(QString::fromLatin1(yes)))) << yes;
    EXPECT_FALSE(toBoolean(QVariant(QStringLiteral("false"))));
    EXPECT_FALSE(toBoolean(QVariant(qlonglong(0))));
    EXPECT_EQ(errorNumberOf([] { toBoolean(QVariant(QStringLiteral("maybe"))); }), ErrNo::TypeMismatch);

    EXPECT_EQ(valueText(QVariant(5.0)), QStringLiteral("5"));
    EXPECT_EQ(valueText(QVariant(1234567.25)), QStringLiteral("1234567.25")); // a number kept whole, as stored
    EXPECT_EQ(valueText(QVariant(0.1f)), QStringLiteral("0.1"));
    EXPECT_EQ(valueText(QVariant(true)), QStringLiteral("True"));
}
