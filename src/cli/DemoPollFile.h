#pragma once
// Writing poll log files as a time clock leaves them: one 58-character record
// per punch or access event, lines ending in CR LF, and the file named by its
// poll time, year and clock number ("1A2B3C07.}01"). Header-only so that the
// demonstration site, the tests and the benchmark write the same records.
#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QTime>
#include <cstdint>

namespace hx::demo {

struct PollRecord {
    int32_t badge = 0;
    QDate date;
    QTime time;
    // 'I' in, 'O' out, anything else (a blank) neither.
    char inOut = ' ';
    int department = 0;
    double job = 0;  // written as ten digits
    double task = 0; // written as six digits
    // The two status characters: flags in decimal for a punch (4 = lunch,
    // 2 = excused, 16 = edited); for an access event the access result,
    // read as hexadecimal ("00" granted).
    QByteArray status = "00";
    int sequence = 0; // the clock's record number, written as four digits
};

// Two characters that identify the record together with its sequence and
// time: a small checksum of what precedes them, in hexadecimal.
inline QByteArray checkCharacters(const QByteArray &head) {
    unsigned sum = 0;
    for (char c : head)
        sum = (sum * 31u + static_cast<unsigned char>(c)) & 0xffu;
    return QByteArray::number(sum, 16).rightJustified(2, '0').toUpper();
}

inline QByteArray digits(long long value, int width) {
    QByteArray s = QByteArray::number(value < 0 ? 0 : value);
    if (s.size() > width) s = s.right(width);
    return s.rightJustified(width, '0');
}

// The record's 58 characters. The badge is written with leading zeros over
// the first ten positions, so that any badge length up to ten reads it.
inline QByteArray formatRecord(const PollRecord &r) {
    QByteArray s;
    s.reserve(58);
    s += digits(r.badge, 10);                                   // 1-10 badge
    s += ' ';                                                   // 11
    s += digits(r.sequence % 10000, 4);                         // 12-15 sequence
    s += "  ";                                                  // 16-17
    s += digits(r.date.month(), 2);                             // 18-19 month
    s += '/';                                                   // 20
    s += digits(r.date.day(), 2);                               // 21-22 day
    s += "  ";                                                  // 23-24
    s += digits(r.time.hour(), 2) + digits(r.time.minute(), 2); // 25-28 time
    s += ' ';                                                   // 29
    s += digits(r.department, 2);                               // 30-31 department
    s += ' ';                                                   // 32
    s += digits(static_cast<long long>(r.job + 0.5), 10);       // 33-42 job
    s += ' ';                                                   // 43
    s += digits(static_cast<long long>(r.task + 0.5), 6);       // 44-49 task
    s += ' ';                                                   // 50
    s += checkCharacters(s);                                    // 51-52 check characters
    s += r.status.rightJustified(2, '0').left(2);               // 53-54 status
    s += "  ";                                                  // 55-56
    s += r.inOut;                                               // 57 in/out
    s += ' ';                                                   // 58
    return s;
}

// "<time code><year>.}<clock>": the time code is the number of 6-second steps
// since 1 January of the poll's year, in six hexadecimal digits.
inline QString pollFileName(const QDateTime &polled, int clock) {
    const QDateTime base(QDate(polled.date().year(), 1, 1), QTime(0, 0));
    const qint64 steps = base.secsTo(polled) / 6;
    return QStringLiteral("%1%2.}%3")
        .arg(steps, 6, 16, QLatin1Char('0'))
        .arg(polled.date().year() % 100, 2, 10, QLatin1Char('0'))
        .arg(clock % 100, 2, 10, QLatin1Char('0'))
        .toUpper();
}

// Writes lines (records, comments, anything) with CR LF line ends.
inline bool writePollFile(const QString &path, const QList<QByteArray> &lines) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QByteArray all;
    for (const QByteArray &l : lines)
        all += l + "\r\n";
    return f.write(all) == all.size();
}

} // namespace hx::demo
