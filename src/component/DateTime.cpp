#include "component/DateTime.h"

#include "component/Error.h"

#include <QRegularExpression>
#include <cmath>

namespace hx {
namespace {
const QDate kEpoch(1899, 12, 30);

qint64 floorDiv(qint64 a, qint64 b) {
    qint64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

HxError overflow() {
    return HxError(QStringLiteral("Overflow"), ErrNo::Overflow);
}

void requireValid(double serial) {
    if (!isValidSerial(serial)) throw overflow();
}

// Days and seconds-of-day of a value, the way the platform splits it: the
// integer part counts days (toward zero), the fraction's magnitude is the time.
void split(double serial, qint64 &days, qint64 &secs) {
    requireValid(serial);
    double ip = std::trunc(serial);
    double frac = std::fabs(serial - ip);
    days = static_cast<qint64>(ip);
    secs = std::llround(frac * kSecondsPerDay);
    if (secs >= 86400) {
        secs -= 86400;
        days += serial < 0 ? -1 : 1;
        // The last second of 31 December 9999 must not round into year 10000.
        if (days > qint64(kMaxDay) || days < qint64(kMinDay)) throw overflow();
    }
}

int hour12(int h) {
    int r = h % 12;
    return r == 0 ? 12 : r;
}
} // namespace

bool isValidSerial(double serial) {
    // Written so that NaN fails every comparison and so is not valid.
    return serial > kMinDay - 1.0 && serial < kMaxDay + 1.0;
}

double joinDateTime(double date, double time) {
    return date < 0 ? date - time : date + time;
}

double fromQDate(const QDate &d) {
    return static_cast<double>(kEpoch.daysTo(d));
}

double fromQTime(const QTime &t) {
    return t.msecsSinceStartOfDay() / 1000.0 / kSecondsPerDay;
}

double fromQDateTime(const QDateTime &dt) {
    return joinDateTime(fromQDate(dt.date()), fromQTime(dt.time()));
}

QDate toQDate(double serial) {
    qint64 days, secs;
    split(serial, days, secs);
    return kEpoch.addDays(days);
}

QTime toQTime(double serial) {
    qint64 days, secs;
    split(serial, days, secs);
    return QTime(0, 0).addSecs(static_cast<int>(secs));
}

QDateTime toQDateTime(double serial) {
    return QDateTime(toQDate(serial), toQTime(serial));
}

qint64 toSeconds(double serial) {
    requireValid(serial);
    return std::llround(serial * kSecondsPerDay);
}

double fromSeconds(qint64 seconds) {
    return static_cast<double>(seconds) / kSecondsPerDay;
}

double datePart(double serial) {
    qint64 days, secs;
    split(serial, days, secs);
    return static_cast<double>(days);
}

double timePart(double serial) {
    qint64 days, secs;
    split(serial, days, secs);
    return static_cast<double>(secs) / kSecondsPerDay;
}

double dateSerial(int y, int m, int d) {
    qint64 months = static_cast<qint64>(y) * 12 + (static_cast<qint64>(m) - 1);
    qint64 yy = floorDiv(months, 12);
    int mm = static_cast<int>(months - yy * 12) + 1;
    // The calendar repeats every 400 years (146097 days): the first of the
    // month is found in 2000 to 2399, so that no year is too far or year 0
    // for the calendar type, and the day offset may bring it back in range.
    const qint64 cycles = floorDiv(yy - 2000, 400);
    const QDate first(static_cast<int>(yy - cycles * 400), mm, 1);
    const double v = fromQDate(first) + static_cast<double>(cycles) * 146097.0 + (static_cast<double>(d) - 1);
    if (v < kMinDay || v > kMaxDay) throw overflow();
    return v;
}

double timeSerial(int h, int m, int s) {
    qint64 total = static_cast<qint64>(h) * 3600 + static_cast<qint64>(m) * 60 + s;
    return static_cast<double>(total) / kSecondsPerDay;
}

int year(double serial) {
    return toQDate(serial).year();
}
int month(double serial) {
    return toQDate(serial).month();
}
int day(double serial) {
    return toQDate(serial).day();
}
int hour(double serial) {
    return toQTime(serial).hour();
}
int minute(double serial) {
    return toQTime(serial).minute();
}
int second(double serial) {
    return toQTime(serial).second();
}

int weekday(double serial) {
    qint64 days, secs;
    split(serial, days, secs);
    // Day 0 was a Saturday.
    qint64 r = ((days % 7) + 7) % 7;
    return static_cast<int>((r + 6) % 7) + 1;
}

qint64 dateDiffMinutes(double a, double b) {
    return floorDiv(toSeconds(b), 60) - floorDiv(toSeconds(a), 60);
}
qint64 dateDiffHours(double a, double b) {
    return floorDiv(toSeconds(b), 3600) - floorDiv(toSeconds(a), 3600);
}
qint64 dateDiffDays(double a, double b) {
    return floorDiv(toSeconds(b), 86400) - floorDiv(toSeconds(a), 86400);
}

QString formatMmDdYyyy(double serial) {
    return toQDate(serial).toString(QStringLiteral("MM/dd/yyyy"));
}

QString formatLogTime(double serial) {
    QTime t = toQTime(serial);
    return QStringLiteral("%1:%2 %3")
        .arg(hour12(t.hour()), 2, 10, QLatin1Char('0'))
        .arg(t.minute(), 2, 10, QLatin1Char('0'))
        .arg(t.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
}

QString formatPollDate(double serial) {
    QDateTime dt = toQDateTime(serial);
    QTime t = dt.time();
    return QStringLiteral("%1 %2:%3:%4 %5")
        .arg(dt.date().toString(QStringLiteral("MM/dd/yy")))
        .arg(hour12(t.hour()), 2, 10, QLatin1Char('0'))
        .arg(t.minute(), 2, 10, QLatin1Char('0'))
        .arg(t.second(), 2, 10, QLatin1Char('0'))
        .arg(t.hour() < 12 ? QStringLiteral("am") : QStringLiteral("pm"));
}

QString formatSortKey(double serial) {
    return toQDateTime(serial).toString(QStringLiteral("yyyyMMddHHmmss"));
}

QString formatShortTime(double serial) {
    QTime t = toQTime(serial);
    return QStringLiteral("%1:%2%3")
        .arg(hour12(t.hour()))
        .arg(t.minute(), 2, 10, QLatin1Char('0'))
        .arg(t.hour() < 12 ? QLatin1Char('a') : QLatin1Char('p'));
}

QString formatGeneralDate(double serial) {
    QDateTime dt = toQDateTime(serial);
    QTime t = dt.time();
    QString time = QStringLiteral("%1:%2:%3 %4")
                       .arg(hour12(t.hour()))
                       .arg(t.minute(), 2, 10, QLatin1Char('0'))
                       .arg(t.second(), 2, 10, QLatin1Char('0'))
                       .arg(t.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
    QString date = dt.date().toString(QStringLiteral("M/d/yyyy"));
    if (datePart(serial) == 0.0) return time;
    if (timePart(serial) == 0.0) return date;
    return date + QLatin1Char(' ') + time;
}

namespace {
// Writes v as n digits at p (v < 10^n).
void putDigits(char16_t *p, int v, int n) {
    for (int i = n - 1; i >= 0; --i) {
        p[i] = char16_t(u'0' + v % 10);
        v /= 10;
    }
}

// Year, month and day of a day count, in the proleptic Gregorian calendar
// QDate counts in (the days-to-civil conversion of H. Hinnant's algorithms).
void civilDate(qint64 days, qint64 &y, int &m, int &d) {
    const qint64 z = days - 25569 + 719468; // from 1 March of year 0
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2 ? 1 : 0);
}

// "YYYY-MM-DD" at p; false for a year of more or fewer than four digits.
bool putIsoDate(char16_t *p, qint64 days) {
    qint64 y = 0;
    int m = 0, d = 0;
    civilDate(days, y, m, d);
    if (y < 1 || y > 9999) return false;
    putDigits(p, int(y), 4);
    p[4] = u'-';
    putDigits(p + 5, m, 2);
    p[7] = u'-';
    putDigits(p + 8, d, 2);
    return true;
}

void putIsoTime(char16_t *p, qint64 secs) {
    putDigits(p, int(secs / 3600), 2);
    p[2] = u':';
    putDigits(p + 3, int(secs / 60 % 60), 2);
    p[5] = u':';
    putDigits(p + 6, int(secs % 60), 2);
}
} // namespace

// Written by hand: every bound date and time goes through these, and the
// locale machinery behind QDate::toString costs more than the statement.
QString formatIsoDate(double serial) {
    qint64 days = 0, secs = 0;
    split(serial, days, secs);
    QString s(10, Qt::Uninitialized);
    if (!putIsoDate(reinterpret_cast<char16_t *>(s.data()), days))
        return toQDate(serial).toString(Qt::ISODate);
    return s;
}
QString formatIsoTime(double serial) {
    qint64 days = 0, secs = 0;
    split(serial, days, secs);
    QString s(8, Qt::Uninitialized);
    putIsoTime(reinterpret_cast<char16_t *>(s.data()), secs);
    return s;
}
QString formatIsoDateTime(double serial) {
    qint64 days = 0, secs = 0;
    split(serial, days, secs);
    QString s(19, Qt::Uninitialized);
    char16_t *p = reinterpret_cast<char16_t *>(s.data());
    if (!putIsoDate(p, days)) return formatIsoDate(serial) + QLatin1Char(' ') + formatIsoTime(serial);
    p[10] = u' ';
    putIsoTime(p + 11, secs);
    return s;
}

int decimalDigits(QStringView text, qsizetype at, qsizetype n) {
    int v = 0;
    for (qsizetype i = at; i < at + n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') return -1;
        v = v * 10 + (c - u'0');
    }
    return v;
}

namespace {
// The storage forms ("YYYY-MM-DD", "HH:MM:SS", "YYYY-MM-DD HH:MM:SS"), read
// without the general patterns below; the values are the ones those give.
// Returns false when the text is not exactly one of them.
bool parseStorageForm(QStringView s, std::optional<double> &out) {
    const qsizetype n = s.size();
    if (n == 8) {
        if (s[2] != u':' || s[5] != u':') return false;
        const int h = decimalDigits(s, 0, 2), mi = decimalDigits(s, 3, 2), se = decimalDigits(s, 6, 2);
        if (h < 0 || mi < 0 || se < 0) return false;
        if (h > 23 || mi > 59 || se > 59)
            out = std::nullopt;
        else
            out = timeSerial(h, mi, se);
        return true;
    }
    if (n != 10 && n != 19) return false;
    if (s[4] != u'-' || s[7] != u'-') return false;
    const int y = decimalDigits(s, 0, 4), mo = decimalDigits(s, 5, 2), d = decimalDigits(s, 8, 2);
    if (y < 0 || mo < 0 || d < 0) return false;
    int h = 0, mi = 0, se = 0;
    if (n == 19) {
        if (s[10] != u' ' || s[13] != u':' || s[16] != u':') return false;
        h = decimalDigits(s, 11, 2);
        mi = decimalDigits(s, 14, 2);
        se = decimalDigits(s, 17, 2);
        if (h < 0 || mi < 0 || se < 0) return false;
    }
    const QDate date(y, mo, d);
    out = std::nullopt;
    if (!date.isValid()) return true;
    double v = fromQDate(date);
    if (!isValidSerial(v)) return true;
    if (n == 19) {
        if (h > 23 || mi > 59 || se > 59) return true;
        v = joinDateTime(v, timeSerial(h, mi, se));
    }
    out = v;
    return true;
}
} // namespace

std::optional<double> parseDateTime(QStringView text) {
    if (std::optional<double> v; parseStorageForm(text, v)) return v;
    static const QRegularExpression isoRe(QStringLiteral(
        R"(^(\d{4})-(\d{1,2})-(\d{1,2})(?:[ T](\d{1,2}):(\d{2})(?::(\d{2})(?:\.\d+)?)?)?(?:Z|[+-]\d{2}(?::?\d{2})?)?$)"));
    static const QRegularExpression usRe(
        QStringLiteral(R"(^(\d{1,2})/(\d{1,2})/(\d{2}|\d{4})(?:\s+(.*))?$)"));
    static const QRegularExpression timeRe(
        QStringLiteral(R"(^(\d{1,2}):(\d{2})(?::(\d{2})(?:\.\d+)?)?\s*(AM|PM|A|P)?$)"),
        QRegularExpression::CaseInsensitiveOption);

    const QString s = text.trimmed().toString();
    if (s.isEmpty()) return std::nullopt;

    auto parseTime = [](const QString &t) -> std::optional<double> {
        auto m = timeRe.match(t);
        if (!m.hasMatch()) return std::nullopt;
        int h = m.captured(1).toInt();
        int mi = m.captured(2).toInt();
        int se = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
        QString ap = m.captured(4).toUpper();
        if (mi > 59 || se > 59) return std::nullopt;
        if (!ap.isEmpty()) {
            if (h < 1 || h > 12) return std::nullopt;
            bool pm = ap.startsWith(QLatin1Char('P'));
            h = (h % 12) + (pm ? 12 : 0);
        } else if (h > 23) {
            return std::nullopt;
        }
        return timeSerial(h, mi, se);
    };

    if (auto m = isoRe.match(s); m.hasMatch()) {
        QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        if (!d.isValid()) return std::nullopt;
        double v = fromQDate(d);
        if (!isValidSerial(v)) return std::nullopt;
        if (!m.captured(4).isEmpty()) {
            int h = m.captured(4).toInt(), mi = m.captured(5).toInt();
            int se = m.captured(6).isEmpty() ? 0 : m.captured(6).toInt();
            if (h > 23 || mi > 59 || se > 59) return std::nullopt;
            v = joinDateTime(v, timeSerial(h, mi, se));
        }
        return v;
    }
    if (auto m = usRe.match(s); m.hasMatch()) {
        int y = m.captured(3).toInt();
        if (m.captured(3).size() == 2) y += y < 30 ? 2000 : 1900; // the platform's two-digit year window
        QDate d(y, m.captured(1).toInt(), m.captured(2).toInt());
        if (!d.isValid()) return std::nullopt;
        double v = fromQDate(d);
        if (!isValidSerial(v)) return std::nullopt;
        if (!m.captured(4).isEmpty()) {
            auto t = parseTime(m.captured(4).trimmed());
            if (!t) return std::nullopt;
            v = joinDateTime(v, *t);
        }
        return v;
    }
    return parseTime(s);
}

} // namespace hx
