#include "component/Numbers.h"

#include "component/Error.h"

#include <QString>
#include <cmath>
#include <limits>

namespace hx {
namespace {
bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\r');
}
} // namespace

double lenientVal(QStringView text) {
    // Drop the blanks first: "1 2" reads as 12.
    QString s;
    s.reserve(text.size());
    for (QChar c : text)
        if (!isBlank(c)) s.append(c);

    if (s.size() >= 2 && s[0] == QLatin1Char('&')) {
        QChar k = s[1].toUpper();
        int base = k == QLatin1Char('H') ? 16 : (k == QLatin1Char('O') ? 8 : 0);
        if (base == 0) return 0;
        // Unsigned, so that sixteen hex digits cannot overflow while read; a
        // value beyond the largest signed 64-bit number is an overflow.
        quint64 u = 0;
        int digits = 0;
        for (int i = 2; i < s.size() && digits < 16; ++i) {
            int d = -1;
            QChar c = s[i].toUpper();
            if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                d = c.unicode() - '0';
            else if (base == 16 && c >= QLatin1Char('A') && c <= QLatin1Char('F'))
                d = c.unicode() - 'A' + 10;
            if (d < 0 || d >= base) break;
            u = u * quint64(base) + quint64(d);
            ++digits;
        }
        if (u > quint64(std::numeric_limits<qint64>::max()))
            throw HxError(QStringLiteral("Overflow"), ErrNo::Overflow);
        qint64 v = qint64(u);
        if (base == 16) {
            if (digits <= 4 && v > 0x7FFF)
                v -= 0x10000;
            else if (digits <= 8 && v > 0x7FFFFFFF)
                v -= 0x100000000LL;
        }
        return static_cast<double>(v);
    }

    // Decimal: [sign] digits [. digits] [E|D [sign] digits]
    int i = 0;
    const int n = s.size();
    QString num;
    if (i < n && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))) num.append(s[i++]);
    bool any = false;
    while (i < n && s[i].isDigit() && s[i].unicode() < 128) {
        num.append(s[i++]);
        any = true;
    }
    if (i < n && s[i] == QLatin1Char('.')) {
        num.append(s[i++]);
        while (i < n && s[i].isDigit() && s[i].unicode() < 128) {
            num.append(s[i++]);
            any = true;
        }
    }
    if (!any) return 0;
    if (i < n && (s[i].toUpper() == QLatin1Char('E') || s[i].toUpper() == QLatin1Char('D'))) {
        int j = i + 1;
        QString exp = QStringLiteral("e");
        if (j < n && (s[j] == QLatin1Char('+') || s[j] == QLatin1Char('-'))) exp.append(s[j++]);
        bool expDigits = false;
        while (j < n && s[j].isDigit() && s[j].unicode() < 128) {
            exp.append(s[j++]);
            expDigits = true;
        }
        if (expDigits) num.append(exp);
    }
    bool ok = false;
    double v = num.toDouble(&ok);
    return ok ? v : 0;
}

double roundHalfEven(double value) {
    if (!std::isfinite(value)) return value;
    double r = std::nearbyint(value); // default rounding mode: to nearest, ties to even
    return r;
}

int16_t toInt16(double value) {
    double r = roundHalfEven(value);
    if (!std::isfinite(r) || r < std::numeric_limits<int16_t>::min() ||
        r > std::numeric_limits<int16_t>::max())
        throw HxError(QStringLiteral("Overflow"), ErrNo::Overflow);
    return static_cast<int16_t>(r);
}

int32_t toInt32(double value) {
    double r = roundHalfEven(value);
    if (!std::isfinite(r) || r < std::numeric_limits<int32_t>::min() ||
        r > std::numeric_limits<int32_t>::max())
        throw HxError(QStringLiteral("Overflow"), ErrNo::Overflow);
    return static_cast<int32_t>(r);
}

} // namespace hx
