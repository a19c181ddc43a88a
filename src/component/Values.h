#pragma once
// Conversions of database values (QVariant) in any of the stored forms:
// SQLite TEXT dates "YYYY-MM-DD", times "HH:MM:SS", date-times
// "YYYY-MM-DD HH:MM:SS", INTEGER booleans; PostgreSQL date, time, timestamp
// and boolean. A Null (invalid or null QVariant) is kept apart from empty text
// and zero.
#include <QVariant>
#include <optional>

namespace hx {

bool isNull(const QVariant &v);
// Null or the empty text.
bool isNullOrEmpty(const QVariant &v);

// Raise type mismatch on text that is not of the type; raise "Invalid use of
// Null" for a Null.
double toDateTimeValue(const QVariant &v);
double toDouble(const QVariant &v);
bool toBoolean(const QVariant &v);

// Nullable forms: nullopt for a Null.
std::optional<double> toDateTimeOpt(const QVariant &v);
std::optional<double> toDoubleOpt(const QVariant &v);

// The value as text: numbers in plain decimal (5, 7.5), booleans True/False,
// dates in their ISO form; Null gives the empty text.
QString valueText(const QVariant &v);

} // namespace hx
