#include "component/DateTime.h"
#include "component/Error.h"
#include "component/Numbers.h"
#include "import/PollLogFormat.h"

#include <QBuffer>
#include <gtest/gtest.h>

using namespace hx;

namespace {
// Every line of the bytes as read (after a count and a rewind), and the count.
std::pair<std::vector<PollLine>, qint64> readAll(QByteArray bytes,
                                                 qsizetype keep = PollLineReader::kDefaultKeep) {
    QBuffer buf(&bytes);
    buf.open(QIODevice::ReadOnly);
    PollLineReader reader(buf, keep);
    const qint64 counted = reader.countLines();
    reader.rewind();
    std::vector<PollLine> lines;
    PollLine line;
    while (reader.readLine(line))
        lines.push_back(line);
    EXPECT_TRUE(reader.atEnd());
    return {lines, counted};
}

PollLine lineOf(const QByteArray &bytes) {
    return PollLine{bytes, bytes.size(), bytes.contains(';')};
}
} // namespace

TEST(PollLineReaderTest, CarriageReturnsEndLinesAndEveryOtherByteIsKept) {
    QByteArray all; // every byte value but the line end
    for (int i = 0; i < 256; ++i)
        if (i != '\r') all.append(char(i));
    const struct {
        QByteArray bytes;
        QList<QByteArray> lines;
    } cases[] = {
        {"one\r\ntwo\rthree\nstill three\r\n\r\nlast", {"one", "two", "three\nstill three", "", "last"}},
        {"", {}},
        {"\r\r", {"", ""}},
        {"a\r\n\nb", {"a", "\nb"}}, // a second line feed starts the next line
        {all + "\r\n", {all}},
    };
    for (const auto &c : cases) {
        const auto [lines, counted] = readAll(c.bytes);
        QList<QByteArray> got;
        for (const PollLine &l : lines)
            got << l.bytes;
        EXPECT_EQ(got, c.lines) << c.bytes.toStdString();
        EXPECT_EQ(counted, c.lines.size()) << c.bytes.toStdString();
    }
    EXPECT_EQ(pollLineText(lineOf(all)).at(254).unicode(), 255);
}

TEST(PollLineReaderTest, LinesAcrossBlocksAndBeyondTheCap) {
    // The CR is the last byte of the first 64 KiB block, its LF the first of the next.
    QByteArray split(64 * 1024 - 1, 'x');
    auto [lines, counted] = readAll(split + "\r\nnext\r\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].length, 64 * 1024 - 1);
    EXPECT_EQ(lines[1].bytes, "next");

    QByteArray longLine(300000, 'x');
    longLine[250000] = ';';
    std::tie(lines, counted) = readAll(longLine + "\r\nrecord", 1000);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].bytes.size(), 1000);
    EXPECT_EQ(lines[0].length, 300000);
    EXPECT_TRUE(lines[0].hasSemicolon) << "a ';' beyond the cap still makes the line a comment";
    EXPECT_EQ(lines[1].bytes, "record");
}

TEST(PollLineKindTest, KindsInTheirOrder) {
    const QByteArray record(58, '0');
    QByteArray withSemicolon = record;
    withSemicolon[30] = ';';
    const struct {
        QByteArray line;
        bool first;
        PollLineKind kind;
    } cases[] = {
        {";Abort by user", true, PollLineKind::Abort}, {";Abort by user", false, PollLineKind::Comment},
        {";abort", true, PollLineKind::Comment},       {" ;Abort", true, PollLineKind::Comment},
        {record, true, PollLineKind::Record},          {withSemicolon, false, PollLineKind::Comment},
        {record + " ", false, PollLineKind::Bad},      {record.left(57), false, PollLineKind::Bad},
        {QByteArray(), false, PollLineKind::Bad},
    };
    for (const auto &c : cases)
        EXPECT_EQ(classifyPollLine(lineOf(c.line), c.first), c.kind)
            << c.line.toStdString() << " first " << c.first;
}

TEST(PollFieldTest, PositionsNumbersBadgesAndClocks) {
    EXPECT_EQ(pollField(u"0123456789ABC", 12, 5).toString(), QStringLiteral("BC"));
    EXPECT_THROW(pollField(u"0123", 0, 2), HxError);
    EXPECT_THROW(pollField(u"0123", 1, -1), HxError);

    // pollNumber's agreement with lenientVal: the numbers fuzz target.
    const QString record = QStringLiteral("9876543210 0001") + QString(43, QLatin1Char(' '));
    EXPECT_EQ(pollBadge(record, 6), 543210);
    EXPECT_THROW(pollBadge(record, 11), HxError);
    EXPECT_THROW(pollBadge(record, 10), HxError) << "9876543210 does not fit a 32-bit badge";

    EXPECT_EQ(pollClockNumber(QStringLiteral("/polls/0426171709.7}12")), 12);
    EXPECT_EQ(pollClockNumber(QStringLiteral("/polls/x}AB")), 0);
}

TEST(PollFieldTest, YearInferenceRollOverAndAccessCodes) {
    // {month, day, today, date}: up to two months ahead is this year, three is last year.
    for (const auto &[m, d, today, date] :
         {std::tuple{12, 30, QDate(2007, 1, 15), QDate(2006, 12, 30)}, {3, 1, QDate(2007, 1, 15), QDate(2007, 3, 1)},
          {4, 1, QDate(2007, 1, 15), QDate(2006, 4, 1)}, {1, 32, QDate(2007, 4, 26), QDate(2007, 2, 1)},
          {3, 0, QDate(2007, 4, 26), QDate(2007, 2, 28)}, {13, 1, QDate(2007, 12, 26), QDate(2008, 1, 1)}})
        EXPECT_EQ(pollPunchDate(m, d, today), fromQDate(date)) << m << "/" << d << " " << today.toString().toStdString();

    // Result read as hexadecimal, failure as decimal less 32 (0 below 1).
    for (const auto &[text, result, failure] : {std::tuple{u"00", 0, 0}, {u"0A", 10, 0}, {u"ZZ", 0, 0},
                                                {u"40", 64, 8}, {u"33", 51, 1}, {u"32", 50, 0}}) {
        EXPECT_EQ(accessResultCode(text), result) << QString::fromUtf16(text).toStdString();
        EXPECT_EQ(accessFailureNumber(text), failure) << QString::fromUtf16(text).toStdString();
    }
}
