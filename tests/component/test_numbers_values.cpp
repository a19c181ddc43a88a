#include "component/DateTime.h"
#include "component/Error.h"
#include "component/Numbers.h"
#include "component/Values.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>

using namespace hx;

namespace {
long errorNumberOf(const std::function<void()> &f) {
    try {
        f();
    } catch (const HxError &e) {
        return e.number();
    }
    return 0;
}
} // namespace

TEST(LenientVal, BlanksAnywhereDigitsFromTheLeft) {
    EXPECT_EQ(lenientVal(u"123"), 123);
    EXPECT_EQ(lenientVal(u" 1 2 3 "), 123);
    EXPECT_EQ(lenientVal(u"\t4\r\n5"), 45);
    EXPECT_EQ(lenientVal(u"00042"), 42);
    EXPECT_EQ(lenientVal(u"1A"), 1);
    EXPECT_EQ(lenientVal(u"12-3"), 12);
    EXPECT_EQ(lenientVal(u"A1"), 0);
    EXPECT_EQ(lenientVal(u""), 0);
    EXPECT_EQ(lenientVal(u"   "), 0);
    EXPECT_EQ(lenientVal(u"-12"), -12);
    EXPECT_EQ(lenientVal(u"- 12"), -12);
    EXPECT_EQ(lenientVal(u"3.75"), 3.75);
    EXPECT_EQ(lenientVal(u".5"), 0.5);
    EXPECT_EQ(lenientVal(u"1.2.3"), 1.2);
    EXPECT_EQ(lenientVal(u"1.5E2"), 150);
    EXPECT_EQ(lenientVal(u"2d3"), 2000);
    EXPECT_EQ(lenientVal(u"1E"), 1);
    EXPECT_EQ(lenientVal(u"1E+"), 1);
}

TEST(LenientVal, HexAndOctalPrefixes) {
    EXPECT_EQ(lenientVal(u"&H0A"), 10);
    EXPECT_EQ(lenientVal(u"&h0a"), 10);
    EXPECT_EQ(lenientVal(u"& H 1F"), 31);
    EXPECT_EQ(lenientVal(u"&H1FZ"), 31);
    EXPECT_EQ(lenientVal(u"&HZZ"), 0);
    EXPECT_EQ(lenientVal(u"&HG1"), 0);
    EXPECT_EQ(lenientVal(u"&X12"), 0);
    EXPECT_EQ(lenientVal(u"&O17"), 15);
    EXPECT_EQ(lenientVal(u"&O8"), 0);
    // Up to four hex digits are a signed 16-bit value, up to eight a 32-bit one.
    EXPECT_EQ(lenientVal(u"&H7FFF"), 32767);
    EXPECT_EQ(lenientVal(u"&H8000"), -32768);
    EXPECT_EQ(lenientVal(u"&HFFFF"), -1);
    EXPECT_EQ(lenientVal(u"&H10000"), 65536);
    EXPECT_EQ(lenientVal(u"&HFFFFFFFF"), -1);
}

TEST(WholeNumbers, RoundHalvesToEvenAndRaiseOnOverflow) {
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(3.5), 4);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(2.4999), 2);
    EXPECT_EQ(roundHalfEven(2.5001), 3);
    EXPECT_EQ(toInt16(0.5), 0);
    EXPECT_EQ(toInt16(1.5), 2);
    EXPECT_EQ(toInt16(-1.5), -2);
    EXPECT_EQ(toInt16(32767.0), 32767);
    EXPECT_EQ(toInt16(-32768.5), -32768);
    EXPECT_EQ(toInt32(2147483647.0), 2147483647);
    EXPECT_EQ(toInt32(-2147483648.0), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(toInt32(4.5), 4);

    EXPECT_EQ(errorNumberOf([] { toInt16(32767.5); }), ErrNo::Overflow);
    EXPECT_EQ(errorNumberOf([] { toInt16(-32768.6); }), ErrNo::Overflow);
    EXPECT_EQ(errorNumberOf([] { toInt16(70000); }), ErrNo::Overflow);
    EXPECT_EQ(errorNumberOf([] { toInt16(std::nan("")); }), ErrNo::Overflow);
    EXPECT_EQ(errorNumberOf([] { toInt32(2147483647.5); }), ErrNo::Overflow);
    EXPECT_EQ(errorNumberOf([] { toInt32(-2147483649.0); }), ErrNo::Overflow);
}

TEST(Values, NullIsNeitherEmptyTextNorZero) {
    const QVariant dbNull{QMetaType(QMetaType::QString)}; // how a driver hands over a Null text
    EXPECT_TRUE(isNull(QVariant()));
    EXPECT_TRUE(isNull(dbNull));
    EXPECT_FALSE(isNull(QVariant(QString())));
    EXPECT_FALSE(isNull(QVariant(0)));
    EXPECT_TRUE(isNullOrEmpty(QVariant(QStringLiteral(""))));
    EXPECT_TRUE(isNullOrEmpty(dbNull));
    EXPECT_FALSE(isNullOrEmpty(QVariant(QStringLiteral(" "))));
    EXPECT_FALSE(isNullOrEmpty(QVariant(0)));

    EXPECT_EQ(errorNumberOf([&] { toDouble(dbNull); }), ErrNo::InvalidUseOfNull);
    EXPECT_EQ(errorNumberOf([&] { toBoolean(QVariant()); }), ErrNo::InvalidUseOfNull);
    EXPECT_EQ(errorNumberOf([&] { toDateTimeValue(QVariant()); }), ErrNo::InvalidUseOfNull);
    EXPECT_FALSE(toDoubleOpt(dbNull).has_value());
    EXPECT_FALSE(toDateTimeOpt(dbNull).has_value());
    EXPECT_FALSE(toDateTimeOpt(QVariant(QStringLiteral(""))).has_value());
    EXPECT_EQ(toDoubleOpt(QVariant(0)), 0.0);
    EXPECT_EQ(valueText(dbNull), QString());
}

TEST(Values, EveryStoredFormReadsBack) {
    const double day = dateSerial(2007, 4, 26);
    const double t = timeSerial(17, 17, 9);
    // Text forms of the embedded engine.
    EXPECT_EQ(toDateTimeValue(QVariant(QStringLiteral("2007-04-26"))), day);
    EXPECT_EQ(toDateTimeValue(QVariant(QStringLiteral("17:17:09"))), t);
    EXPECT_EQ(toDateTimeValue(QVariant(QStringLiteral("2007-04-26 17:17:09"))), day + t);
    EXPECT_EQ(toDateTimeValue(QVariant(QByteArray("2007-04-26"))), day);
    // Native forms of the server engine.
    EXPECT_EQ(toDateTimeValue(QVariant(QDate(2007, 4, 26))), day);
    EXPECT_EQ(toDateTimeValue(QVariant(QTime(17, 17, 9))), t);
    EXPECT_EQ(toDateTimeValue(QVariant(QDateTime(QDate(2007, 4, 26), QTime(17, 17, 9)))), day + t);
    EXPECT_EQ(toDateTimeValue(QVariant(39198.5)), 39198.5);
    EXPECT_EQ(toDateTimeValue(QVariant(qlonglong(39198))), day);
    EXPECT_EQ(errorNumberOf([] { toDateTimeValue(QVariant(QStringLiteral("soon"))); }), ErrNo::TypeMismatch);

    EXPECT_EQ(toDouble(QVariant(QStringLiteral(" 7.5 "))), 7.5);
    EXPECT_EQ(toDouble(QVariant(qlonglong(12))), 12);
    EXPECT_EQ(toDouble(QVariant(short(-3))), -3);
    EXPECT_EQ(toDouble(QVariant(float(1.5f))), 1.5);
    EXPECT_EQ(toDouble(QVariant(true)), -1);
    EXPECT_EQ(toDouble(QVariant(QDate(2007, 4, 26))), day);
    EXPECT_EQ(errorNumberOf([] { toDouble(QVariant(QStringLiteral(""))); }), ErrNo::TypeMismatch);
    EXPECT_EQ(errorNumberOf([] { toDouble(QVariant(QStringLiteral("12abc"))); }), ErrNo::TypeMismatch);

    EXPECT_TRUE(toBoolean(QVariant(1)));
    EXPECT_TRUE(toBoolean(QVariant(-1)));
    EXPECT_FALSE(toBoolean(QVariant(qlonglong(0))));
    EXPECT_TRUE(toBoolean(QVariant(true)));
    EXPECT_TRUE(toBoolean(QVariant(QStringLiteral("1"))));
    EXPECT_FALSE(toBoolean(QVariant(QStringLiteral("0"))));
    EXPECT_TRUE(toBoolean(QVariant(QStringLiteral("True"))));
    EXPECT_FALSE(toBoolean(QVariant(QStringLiteral("false"))));
    EXPECT_TRUE(toBoolean(QVariant(QStringLiteral("t"))));
    EXPECT_EQ(errorNumberOf([] { toBoolean(QVariant(QStringLiteral("maybe"))); }), ErrNo::TypeMismatch);

    EXPECT_EQ(valueText(QVariant(5)), QStringLiteral("5"));
    EXPECT_EQ(valueText(QVariant(5.0)), QStringLiteral("5"));
    EXPECT_EQ(valueText(QVariant(7.25)), QStringLiteral("7.25"));
    EXPECT_EQ(valueText(QVariant(0.1f)), QStringLiteral("0.1"));
    EXPECT_EQ(valueText(QVariant(true)), QStringLiteral("True"));
    EXPECT_EQ(valueText(QVariant(QDate(2007, 4, 26))), QStringLiteral("2007-04-26"));
    EXPECT_EQ(valueText(QVariant(QTime(7, 5, 0))), QStringLiteral("07:05:00"));
    EXPECT_EQ(valueText(QVariant(QStringLiteral("O'Brien"))), QStringLiteral("O'Brien"));
}
