#pragma once
// What a poll log file holds: lines ended by a carriage return (a line feed
// alone stays inside the line), one 58-character record per punch or access
// event, and the decoding of a record's fields.
#include <QByteArray>
#include <QDateTime>
#include <QIODevice>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <vector>

namespace hx {

constexpr int kPollRecordLength = 58;

// One line as the reader delivers it. Only the first `keep` bytes are held;
// length and the semicolon test cover the whole line however long it is.
struct PollLine {
    QByteArray bytes;
    qint64 length = 0;
    bool hasSemicolon = false;
    bool truncated() const { return bytes.size() < length; }
};

// Reads lines from a device in fixed-size blocks, so that neither a long file
// nor a file without any line end is ever held whole.
class PollLineReader {
public:
    static constexpr qsizetype kDefaultKeep = 64 * 1024;

    explicit PollLineReader(QIODevice &device, qsizetype keep = kDefaultKeep);

    // False at the end of the file. Raises HxError when the device fails.
    bool readLine(PollLine &line);
    // True when no further line follows.
    bool atEnd();
    // Back to the first byte of the device.
    void rewind();
    // Counts the remaining lines without keeping any of them.
    qint64 countLines();

private:
    bool fill();

    QIODevice &m_device;
    qsizetype m_keep;
    std::vector<char> m_buffer;
    qsizetype m_pos = 0;
    qsizetype m_end = 0;
    bool m_eof = false;
    bool m_skipLineFeed = false;
};

enum class PollLineKind { Abort, Comment, Record, Bad };

// The kind of a line, decided in this order: abort marker (first line only),
// comment (a ";" anywhere), record (exactly 58 characters), bad line.
PollLineKind classifyPollLine(const PollLine &line, bool firstLine);

// The line's characters, one per byte (every byte value kept).
QString pollLineText(const PollLine &line);
// The line as the detail of a report: control characters shown as "|" so the
// log entry stays on its line, and a very long line cut short with its length.
QString pollLineDetail(const PollLine &line);

// Characters start..start+length-1 (counted from 1); past the end gives what
// there is. A start below 1 or a negative length raises "Invalid procedure call".
QStringView pollField(QStringView line, int start, int length);

// A numeric field by the lenient number rule (blanks ignored, digits from the
// left, "&H" hexadecimal, 0 without a leading digit).
double pollNumber(QStringView field);

// The clock number: the last two characters of the file name, lenient number
// rule ("0A" and "AB" give 0).
int16_t pollClockNumber(const QString &fileName);

// The badge at positions 11 - digits to 10.
int32_t pollBadge(QStringView record, int idDigits);

// The punch date of a record's month and day: the year is that of `now`, less
// one when the month lies more than two months ahead of now's month; out of
// range values roll over.
double pollPunchDate(int month, int day, const QDate &now);

struct PollFlags {
    int punchType = 0; // 0 to 3
    int overide = 0;   // 0, 1, -2 or -1
    bool excused = false;
    bool edited = false;
};
PollFlags decodePollFlags(int16_t flags);

// The access result code: the two characters read as hexadecimal; 0 is granted.
int accessResultCode(QStringView twoCharacters);
// The failure number of a refused access: the two characters read as decimal,
// less 32, and 0 below 1.
int16_t accessFailureNumber(QStringView twoCharacters);
// The "type" of an access event: 1 for "I", 2 for "O", 0 otherwise.
int16_t accessTypeNumber(QStringView direction);

} // namespace hx
