#include "import/PollLogFormat.h"

#include "component/DateTime.h"
#include "component/Error.h"
#include "component/Numbers.h"

#include <algorithm>
#include <cstring>

namespace hx {
namespace {
constexpr qsizetype kBlockSize = 64 * 1024;
// Longer bad lines are cut short in reports; the log must stay readable.
constexpr qsizetype kDetailLimit = 1024;

HxError invalidCall() {
    return HxError(QStringLiteral("Invalid procedure call or argument"), ErrNo::InvalidProcedureCall);
}
} // namespace

// ---------------------------------------------------------------- PollLineReader

PollLineReader::PollLineReader(QIODevice &device, qsizetype keep)
    : m_device(device), m_keep(std::max<qsizetype>(keep, 0)), m_buffer(kBlockSize) {}

bool PollLineReader::fill() {
    if (m_eof) return false;
    const qint64 n = m_device.read(m_buffer.data(), qint64(m_buffer.size()));
    if (n < 0)
        throw HxError(QStringLiteral("The poll log file cannot be read: ") + m_device.errorString(),
                      ErrNo::PathNotFound);
    m_pos = 0;
    m_end = qsizetype(n);
    if (n == 0) {
        m_eof = true;
        return false;
    }
    return true;
}

bool PollLineReader::atEnd() {
    for (;;) {
        if (m_pos == m_end && !fill()) return true;
        if (m_skipLineFeed) {
            // The line feed of a carriage return and line feed pair belongs to
            // the line end before it.
            m_skipLineFeed = false;
            if (m_buffer[size_t(m_pos)] == '\n') {
                ++m_pos;
                continue;
            }
        }
        return false;
    }
}

bool PollLineReader::readLine(PollLine &line) {
    line.bytes.clear();
    line.length = 0;
    line.hasSemicolon = false;
    if (atEnd()) return false;
    for (;;) {
        if (m_pos == m_end && !fill()) return true; // the last line needs no line end
        const char *start = m_buffer.data() + m_pos;
        const qsizetype available = m_end - m_pos;
        const char *cr = static_cast<const char *>(std::memchr(start, '\r', size_t(available)));
        const qsizetype segment = cr ? qsizetype(cr - start) : available;
        if (!line.hasSemicolon && std::memchr(start, ';', size_t(segment))) line.hasSemicolon = true;
        const qsizetype room = m_keep - line.bytes.size();
        if (room > 0) line.bytes.append(start, std::min(room, segment));
        line.length += segment;
        m_pos += segment;
        if (cr) {
            ++m_pos;
            m_skipLineFeed = true;
            return true;
        }
    }
}

void PollLineReader::rewind() {
    if (!m_device.seek(0))
        throw HxError(QStringLiteral("The poll log file cannot be read again: ") + m_device.errorString(),
                      ErrNo::PathNotFound);
    m_pos = m_end = 0;
    m_eof = false;
    m_skipLineFeed = false;
}

qint64 PollLineReader::countLines() {
    const qsizetype keep = m_keep;
    m_keep = 0;
    PollLine line;
    qint64 count = 0;
    try {
        while (readLine(line))
            ++count;
    } catch (...) {
        m_keep = keep;
        throw;
    }
    m_keep = keep;
    return count;
}

// ---------------------------------------------------------------- lines

PollLineKind classifyPollLine(const PollLine &line, bool firstLine) {
    if (firstLine && line.bytes.startsWith(";Abort")) return PollLineKind::Abort;
    if (line.hasSemicolon) return PollLineKind::Comment;
    if (line.length == kPollRecordLength) return PollLineKind::Record;
    return PollLineKind::Bad;
}

QString pollLineText(const PollLine &line) {
    return QString::fromLatin1(line.bytes);
}

QString pollLineDetail(const PollLine &line) {
    QString text = QString::fromLatin1(line.bytes.left(kDetailLimit));
    for (QChar &c : text)
        if (c.unicode() < 32) c = QLatin1Char('|');
    if (line.length > text.size()) text += QStringLiteral("... (%1 characters)").arg(line.length);
    return text;
}

// ---------------------------------------------------------------- fields

QStringView pollField(QStringView line, int start, int length) {
    if (start < 1 || length < 0) throw invalidCall();
    if (start > line.size()) return QStringView();
    return line.mid(start - 1, std::min<qsizetype>(length, line.size() - start + 1));
}

double pollNumber(QStringView field) {
    // Plain digits and blanks, the usual field, are read here; anything else
    // goes to the general rule, which converts through text.
    double v = 0;
    for (QChar c : field) {
        const char16_t u = c.unicode();
        if (u >= u'0' && u <= u'9')
            v = v * 10 + (u - u'0');
        else if (u != u' ' && u != u'\t' && u != u'\n' && u != u'\r')
            return lenientVal(field);
    }
    return v;
}

int16_t pollClockNumber(const QString &fileName) {
    return toInt16(lenientVal(QStringView(fileName).right(2)));
}

int32_t pollBadge(QStringView record, int idDigits) {
    return toInt32(pollNumber(pollField(record, 11 - idDigits, idDigits)));
}

double pollPunchDate(int month, int day, const QDate &now) {
    const int year = now.year() - (month - now.month() > 2 ? 1 : 0);
    return dateSerial(year, month, day);
}

PollFlags decodePollFlags(int16_t flags) {
    const int f = flags;
    PollFlags r;
    r.punchType = (f & 12) / 4;
    r.overide = (f & 1) - (f & 2);
    r.excused = (f & 2) == 2;
    r.edited = (f & 16) == 16;
    return r;
}

int accessResultCode(QStringView twoCharacters) {
    QString text = QStringLiteral("&H");
    text.append(twoCharacters);
    return static_cast<int>(lenientVal(text));
}

int16_t accessFailureNumber(QStringView twoCharacters) {
    const double f = lenientVal(twoCharacters) - 32;
    return f < 1 ? int16_t(0) : toInt16(f);
}

int16_t accessTypeNumber(QStringView direction) {
    if (direction == u"I") return 1;
    if (direction == u"O") return 2;
    return 0;
}

} // namespace hx
