#pragma once
// The lenient number rule by which poll records and loosely typed columns are
// read, and the conversions to 16- and 32-bit integers.
#include <QStringView>
#include <cstdint>

namespace hx {

// Blanks (space, tab, line feed, carriage return) are ignored anywhere; digits
// are read from the left until a character that cannot continue a number; an
// optional sign, decimal point and exponent are taken; "&H" reads the rest as
// hexadecimal and "&O" as octal (four hex digits and less read as a signed
// 16-bit value, up to eight as a signed 32-bit value, more up to the largest
// signed 64-bit value; beyond that "Overflow" is raised). No leading digit: 0.
double lenientVal(QStringView text);

// Round half to even, then range-check; out of range raises the overflow
// error rather than wrapping.
int16_t toInt16(double value);
int32_t toInt32(double value);
// Round half to even (the conversion to a whole number everywhere).
double roundHalfEven(double value);

} // namespace hx
