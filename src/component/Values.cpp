#include "component/Values.h"

#include "component/DateTime.h"
#include "component/Error.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

namespace hx {
namespace {
HxError nullError() {
    return HxError(QStringLiteral("Invalid use of Null"), ErrNo::InvalidUseOfNull);
}
HxError mismatch() {
    return HxError(QStringLiteral("Type mismatch"), ErrNo::TypeMismatch);
}

bool isTextType(const QVariant &v) {
    const int t = v.metaType().id();
    return t == QMetaType::QString || t == QMetaType::QByteArray || t == QMetaType::QChar;
}

bool isNumberType(const QVariant &v) {
    switch (v.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}
} // namespace

bool isNull(const QVariant &v) {
    return !v.isValid() || v.isNull();
}

bool isNullOrEmpty(const QVariant &v) {
    if (isNull(v)) return true;
    // The common case without a copy of the text.
    if (v.typeId() == QMetaType::QString) return static_cast<const QString *>(v.constData())->isEmpty();
    return isTextType(v) && v.toString().isEmpty();
}

double toDateTimeValue(const QVariant &v) {
    if (isNull(v)) throw nullError();
    if (v.typeId() == QMetaType::QString) {
        // Rows walked in order share their date's characters row after row:
        // the last date and the last time parsed are kept, with a reference,
        // so that characters seen again are not parsed again.
        const QString &s = *static_cast<const QString *>(v.constData());
        struct Parsed {
            QString text;
            double value = 0;
        };
        thread_local Parsed last[2];
        Parsed &p = last[s.size() == 8 ? 1 : 0];
        if (s.data_ptr().isMutable() && s.constData() == p.text.constData() && s.size() == p.text.size())
            return p.value;
        const std::optional<double> d = parseDateTime(s);
        if (!d) throw mismatch();
        p = {s, *d};
        return *d;
    }
    switch (v.metaType().id()) {
    case QMetaType::QDate:
        return fromQDate(v.toDate());
    case QMetaType::QTime:
        return fromQTime(v.toTime());
    case QMetaType::QDateTime:
        return fromQDateTime(v.toDateTime());
    default:
        break;
    }
    if (isNumberType(v)) return v.toDouble();
    if (auto d = parseDateTime(v.toString())) return *d;
    throw mismatch();
}

double toDouble(const QVariant &v) {
    // The forms the engines return most, without the general conversions.
    if (const int id = v.typeId(); (id == QMetaType::LongLong || id == QMetaType::Double) && !v.isNull())
        return id == QMetaType::Double ? *static_cast<const double *>(v.constData())
                                       : double(*static_cast<const qlonglong *>(v.constData()));
    if (isNull(v)) throw nullError();
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        return v.toBool() ? -1.0 : 0.0;
    case QMetaType::QDate:
    case QMetaType::QTime:
    case QMetaType::QDateTime:
        return toDateTimeValue(v);
    default:
        break;
    }
    if (isTextType(v)) {
        bool ok = false;
        double d = v.toString().trimmed().toDouble(&ok);
        if (!ok) throw mismatch();
        return d;
    }
    bool ok = false;
    double d = v.toDouble(&ok);
    if (!ok) throw mismatch();
    return d;
}

bool toBoolean(const QVariant &v) {
    if (v.typeId() == QMetaType::LongLong && !v.isNull()) return *static_cast<const qlonglong *>(v.constData()) != 0;
    if (isNull(v)) throw nullError();
    if (v.metaType().id() == QMetaType::Bool) return v.toBool();
    if (isTextType(v)) {
        const QString s = v.toString().trimmed().toLower();
        if (s == QLatin1String("true") || s == QLatin1String("t") || s == QLatin1String("yes")) return true;
        if (s == QLatin1String("false") || s == QLatin1String("f") || s == QLatin1String("no")) return false;
        bool ok = false;
        double d = s.toDouble(&ok);
        if (!ok) throw mismatch();
        return d != 0.0;
    }
    bool ok = false;
    double d = v.toDouble(&ok);
    if (!ok) throw mismatch();
    return d != 0.0;
}

std::optional<double> toDateTimeOpt(const QVariant &v) {
    if (isNullOrEmpty(v)) return std::nullopt;
    return toDateTimeValue(v);
}

std::optional<double> toDoubleOpt(const QVariant &v) {
    if (isNull(v)) return std::nullopt;
    return toDouble(v);
}

QString valueText(const QVariant &v) {
    if (isNull(v)) return QString();
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
        return QString::number(v.toDouble(), 'g', 15);
    case QMetaType::Float:
        return QString::number(v.toFloat(), 'g', 7);
    case QMetaType::QDate:
        return formatIsoDate(fromQDate(v.toDate()));
    case QMetaType::QTime:
        return formatIsoTime(fromQTime(v.toTime()));
    case QMetaType::QDateTime:
        return formatIsoDateTime(fromQDateTime(v.toDateTime()));
    default:
        return v.toString();
    }
}

} // namespace hx
