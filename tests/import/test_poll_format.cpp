#include "component/DateTime.h"
#include "component/Error.h"
#include "component/Numbers.h"
#include "import/PollLogFormat.h"

#include <QBuffer>
#include <gtest/gtest.h>

using namespace hx;

namespace {
struct ReadResult {
    std::vector<QByteArray> lines;
    std::vector<qint64> lengths;
    std::vector<bool> semicolons;
    qint64 counted = 0;
};

ReadResult readAll(const QByteArray &bytes, qsizetype keep = PollLineReader::kDefaultKeep) {
    QByteArray data = bytes;
    QBuffer buf(&data);
    buf.open(QIODevice::ReadOnly);
    PollLineReader reader(buf, keep);
    ReadResult r;
    r.counted = reader.countLines();
    reader.rewind();
    PollLine line;
    while (reader.readLine(line)) {
        r.lines.push_back(line.bytes);
        r.lengths.push_back(line.length);
        r.semicolons.push_back(line.hasSemicolon);
    }
    EXPECT_TRUE(reader.atEnd());
    return r;
}

PollLine lineOf(const QByteArray &bytes) {
    PollLine l;
    l.bytes = bytes;
    l.length = bytes.size();
    l.hasSemicolon = bytes.contains(';');
    return l;
}
} // namespace

TEST(PollLineReaderTest, CarriageReturnEndsLinesAndLineFeedAloneStaysInside) {
    const ReadResult r = readAll(QByteArray("one\r\ntwo\rthree\nstill three\r\n\r\nlast"));
    ASSERT_EQ(r.lines.size(), 5u);
    EXPECT_EQ(r.lines[0], "one");
    EXPECT_EQ(r.lines[1], "two");
    EXPECT_EQ(r.lines[2], "three\nstill three");
    EXPECT_EQ(r.lines[3], "");
    EXPECT_EQ(r.lines[4], "last");
    EXPECT_EQ(r.counted, 5);
}

TEST(PollLineReaderTest, LineCountsAtTheEdges) {
    EXPECT_EQ(readAll(QByteArray()).counted, 0);
    EXPECT_TRUE(readAll(QByteArray()).lines.empty());
    EXPECT_EQ(readAll(QByteArray("x\r\n")).counted, 1);
    EXPECT_EQ(readAll(QByteArray("\r\n")).counted, 1);
    EXPECT_EQ(readAll(QByteArray("\r\r")).counted, 2);
    // A line feed after a line end starts the next line.
    const ReadResult r = readAll(QByteArray("a\r\n\nb"));
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[1], "\nb");
}

TEST(PollLineReaderTest, EveryByteValueIsKept) {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        if (i != '\r')
            all.append(char(i));
    const ReadResult r = readAll(all + "\r\n");
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0], all);
    EXPECT_EQ(pollLineText(lineOf(all)).size(), 255);
    EXPECT_EQ(pollLineText(lineOf(all)).at(255 - 1).unicode(), 255);
}

TEST(PollLineReaderTest, LineEndsSplitAcrossBlocks) {
    // 64 KiB blocks: put the CR as the last byte of the first block and its LF
    // as the first byte of the next.
    QByteArray bytes(64 * 1024 - 1, 'x');
    bytes += "\r\nnext\r\n";
    const ReadResult r = readAll(bytes);
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lengths[0], 64 * 1024 - 1);
    EXPECT_EQ(r.lines[1], "next");
}

TEST(PollLineReaderTest, LongLineIsHeldOnlyUpToTheCapButMeasuredWhole) {
    QByteArray bytes(300000, 'x');
    bytes[250000] = ';';
    bytes += "\r\nrecord";
    const ReadResult r = readAll(bytes, 1000);
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[0].size(), 1000);
    EXPECT_EQ(r.lengths[0], 300000);
    EXPECT_TRUE(r.semicolons[0]) << "a ';' beyond the cap still makes the line a comment";
    EXPECT_EQ(r.lines[1], "record");
}

TEST(PollLineKindTest, KindsInTheirOrder) {
    const QByteArray record(58, '0');
    EXPECT_EQ(classifyPollLine(lineOf(";Abort by user"), true), PollLineKind::Abort);
    EXPECT_EQ(classifyPollLine(lineOf(";Abort by user"), false), PollLineKind::Comment);
    EXPECT_EQ(classifyPollLine(lineOf(";abort"), true), PollLineKind::Comment);
    EXPECT_EQ(classifyPollLine(lineOf(" ;Abort"), true), PollLineKind::Comment);
    EXPECT_EQ(classifyPollLine(lineOf(record), true), PollLineKind::Record);
    QByteArray withSemicolon = record;
    withSemicolon[30] = ';';
    EXPECT_EQ(classifyPollLine(lineOf(withSemicolon), false), PollLineKind::Comment);
    EXPECT_EQ(classifyPollLine(lineOf(record + " "), false), PollLineKind::Bad);
    EXPECT_EQ(classifyPollLine(lineOf(record.left(57)), false), PollLineKind::Bad);
    EXPECT_EQ(classifyPollLine(lineOf(QByteArray()), false), PollLineKind::Bad);
}

TEST(PollLineKindTest, DetailOfABadLineStaysOnOneLineAndIsCutShort) {
    EXPECT_EQ(pollLineDetail(lineOf("ab\ncd\tx")), QStringLiteral("ab|cd|x"));
    PollLine longLine;
    longLine.bytes = QByteArray(5000, 'x');
    longLine.length = 200000000;
    const QString detail = pollLineDetail(longLine);
    EXPECT_LT(detail.size(), 1100);
    EXPECT_TRUE(detail.endsWith(QStringLiteral("(200000000 characters)"))) << detail.toStdString();
}

TEST(PollFieldTest, PositionsCountFromOneAndBadStartsRaise) {
    const QString line = QStringLiteral("0123456789ABC");
    EXPECT_EQ(pollField(line, 1, 3).toString(), QStringLiteral("012"));
    EXPECT_EQ(pollField(line, 12, 5).toString(), QStringLiteral("BC"));
    EXPECT_TRUE(pollField(line, 20, 2).isEmpty());
    EXPECT_THROW(pollField(line, 0, 2), HxError);
    EXPECT_THROW(pollField(line, 1, -1), HxError);
}

TEST(PollFieldTest, NumbersFollowTheLenientRule) {
    for (const char16_t *text : {u"0042", u" 4 2", u"", u"    ", u"1A", u"&H1F", u"&HZZ", u"-5", u"+7",
                                 u"1.5", u"12E2", u"A1", u"0000012345", u"\t9\n"})
        EXPECT_EQ(pollNumber(text), lenientVal(text)) << QString::fromUtf16(text).toStdString();
    EXPECT_EQ(pollNumber(u"0000012345"), 12345.0);
    EXPECT_EQ(pollNumber(u"1A"), 1.0);
    EXPECT_EQ(pollNumber(u"&H1F"), 31.0);
}

TEST(PollFieldTest, BadgeByIdDigits) {
    const QString record = QStringLiteral("9876543210 0001") + QString(43, QLatin1Char(' '));
    EXPECT_EQ(pollBadge(record, 4), 3210);
    EXPECT_EQ(pollBadge(record, 6), 543210);
    EXPECT_EQ(pollBadge(record, 0), 0);
    EXPECT_THROW(pollBadge(record, 11), HxError);
    EXPECT_THROW(pollBadge(record, 10), HxError) << "9876543210 does not fit a 32-bit badge";
}

TEST(PollFieldTest, ClockNumberFromTheLastTwoCharacters) {
    EXPECT_EQ(pollClockNumber(QStringLiteral("/polls/0426171709.7}07")), 7);
    EXPECT_EQ(pollClockNumber(QStringLiteral("/polls/x}12")), 12);
    EXPECT_EQ(pollClockNumber(QStringLiteral("/polls/x}0A")), 0);
    EXPECT_EQ(pollClockNumber(QStringLiteral("/polls/x}AB")), 0);
    EXPECT_EQ(pollClockNumber(QStringLiteral("/polls/x} 3")), 3);
}

TEST(PollFieldTest, YearInferenceAndRollOver) {
    const QDate jan15(2007, 1, 15);
    EXPECT_EQ(pollPunchDate(12, 30, jan15), dateSerial(2006, 12, 30));
    EXPECT_EQ(pollPunchDate(3, 1, jan15), dateSerial(2007, 3, 1));
    EXPECT_EQ(pollPunchDate(4, 1, jan15), dateSerial(2006, 4, 1));
    EXPECT_EQ(pollPunchDate(1, 32, QDate(2007, 4, 26)), dateSerial(2007, 2, 1));
    EXPECT_EQ(pollPunchDate(3, 0, QDate(2007, 4, 26)), dateSerial(2007, 2, 28));
    EXPECT_EQ(pollPunchDate(13, 1, QDate(2007, 12, 26)), dateSerial(2008, 1, 1));
}

TEST(PollFieldTest, StatusFlags) {
    struct Case {
        int16_t flags;
        int type, overide;
        bool excused, edited;
    };
    for (const Case &c :
         {Case{5, 1, 1, false, false}, Case{18, 0, -2, true, true}, Case{12, 3, 0, false, false},
          Case{3, 0, -1, true, false}, Case{0, 0, 0, false, false}}) {
        const PollFlags f = decodePollFlags(c.flags);
        EXPECT_EQ(f.punchType, c.type) << c.flags;
        EXPECT_EQ(f.overide, c.overide) << c.flags;
        EXPECT_EQ(f.excused, c.excused) << c.flags;
        EXPECT_EQ(f.edited, c.edited) << c.flags;
    }
}

TEST(PollFieldTest, AccessResultAndFailure) {
    EXPECT_EQ(accessResultCode(u"00"), 0);
    EXPECT_EQ(accessResultCode(u"0A"), 10);
    EXPECT_EQ(accessResultCode(u"ZZ"), 0);
    EXPECT_EQ(accessResultCode(u"40"), 64);
    EXPECT_EQ(accessFailureNumber(u"40"), 8);
    EXPECT_EQ(accessFailureNumber(u"33"), 1);
    EXPECT_EQ(accessFailureNumber(u"32"), 0);
    EXPECT_EQ(accessFailureNumber(u"0A"), 0);
    EXPECT_EQ(accessTypeNumber(u"I"), 1);
    EXPECT_EQ(accessTypeNumber(u"O"), 2);
    EXPECT_EQ(accessTypeNumber(u"i"), 0);
    EXPECT_EQ(accessTypeNumber(u" "), 0);
}
