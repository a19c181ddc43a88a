#include "component/DateTime.h"
#include "component/Error.h"
#include "component/modGlobal.h"
#include "import/PrevPunchRegister.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamWriter>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace hx;

namespace {
const QDateTime kNow(QDate(2007, 4, 26), QTime(17, 17, 0));

class PrevPunchTest : public ::testing::Test {
protected:
    QString file() const { return dir.filePath(QStringLiteral("PrevPunch.xml")); }
    void write(const QByteArray &bytes) const {
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray read(const QString &path) const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    PrevPunchRegister reg;
    const double date = dateSerial(2007, 4, 26);
    const double time = timeSerial(8, 0, 0);
};
} // namespace

TEST_F(PrevPunchTest, ListsNewRecordsAndAnswersForThemAcrossASave) {
    reg.open(file(), kNow);
    ASSERT_TRUE(reg.isOpen());
    EXPECT_FALSE(reg.check(date, time, u"0001", u"AB"));
    EXPECT_TRUE(reg.check(date, time, u"0001", u"AB"));
    EXPECT_FALSE(reg.check(date, time, u"0001", u"AC")) << "other check characters, another record";
    EXPECT_FALSE(reg.check(date, timeSerial(8, 1, 0), u"0001", u"AB"));
    EXPECT_FALSE(reg.check(date + 1, time, u"0001", u"AB"));
    EXPECT_FALSE(reg.check(date, time, u"0002", u"AB"));
    EXPECT_TRUE(reg.contains(date + 0.25, time + 3, u"0001", u"AB"))
        << "only the date's date, the time's time";
    EXPECT_THROW(reg.check(date, time, u"00001", u"AB"), HxError);
    EXPECT_THROW(reg.check(date, time, u"0001", u"ABC"), HxError);
    // Every character value survives the file, control characters too.
    const auto text = [](int from, int n) {
        QString s;
        for (int k = 0; k < n; ++k)
            s += QChar(char16_t(from + k));
        return s;
    };
    for (int i = 0; i < 64; ++i)
        ASSERT_FALSE(reg.check(date, time, text(4 * i, 4), text(2 * i, 2))) << i;
    EXPECT_EQ(reg.rowCount(), 69);
    reg.save();
    reg.close();
    EXPECT_FALSE(reg.check(date, time, u"0001", u"AB")) << "a closed register answers false";

    reg.open(file(), kNow);
    EXPECT_TRUE(reg.check(date, time, u"0001", u"AB"));
    EXPECT_TRUE(reg.check(date + 1, time, u"0001", u"AB"));
    for (int i = 0; i < 64; ++i)
        EXPECT_TRUE(reg.contains(date, time, text(4 * i, 4), text(2 * i, 2))) << i;
    EXPECT_EQ(reg.rowCount(), 69);

    // Many rows stay distinct in the index as it grows.
    for (int i = 0; i < 20000; ++i)
        ASSERT_FALSE(reg.check(date + i % 50, timeSerial(0, i % 1440, 0), QString::number(i / 50), u"XY"))
            << i;
    for (int i = 0; i < 20000; ++i)
        ASSERT_TRUE(reg.contains(date + i % 50, timeSerial(0, i % 1440, 0), QString::number(i / 50), u"XY"))
            << i;
    EXPECT_EQ(reg.rowCount(), 20069);
}

TEST_F(PrevPunchTest, OpeningDropsRowsListedAYearAgoToTheSecondOrEarlier) {
    write(R"(<?xml version="1.0" encoding="UTF-8"?>
<PrevPunch version="1">
 <Punch Sequence="0001" PunchDate="2006-04-26T17:17:00" Checksum="AA"/>
 <Punch Sequence="0002" PunchDate="2006-04-26T17:17:01" Checksum="AA"/>
 <Punch Sequence="0003" PunchDate="2005-01-01T00:00:00" Checksum="AA"/>
 <Punch Sequence="0004" PunchDate="2007-04-26 08:00:00" Checksum="AA"/>
</PrevPunch>
)");
    reg.open(file(), kNow);
    ASSERT_EQ(reg.rowCount(), 2);
    EXPECT_EQ(reg.row(0).sequence, QStringLiteral("0002"));
    EXPECT_TRUE(reg.contains(date, time, u"0004", u"AA"));
}

TEST_F(PrevPunchTest, ADamagedFileIsKeptAsideAndTheRegisterStartsEmpty) {
    const std::vector<QByteArray> damaged = {
        "this is not XML at all",
        R"(<?xml version="1.0"?><PrevPunch><Punch Sequence="0001" PunchDate="2007-04-26T08:00:00" Checksum="AB"/>)",
        R"(<Other/>)",
        R"(<PrevPunch><Punch Sequence="0001" PunchDate="yesterday" Checksum="AB"/></PrevPunch>)",
        R"(<PrevPunch><Punch Sequence="000001" PunchDate="2007-04-26T08:00:00" Checksum="AB"/></PrevPunch>)",
        R"(<PrevPunch><Punch PunchDate="2007-04-26T08:00:00" Checksum="AB"/></PrevPunch>)",
        R"(<PrevPunch version="7"/>)",
        QByteArray(),
    };
    for (size_t n = 0; n < damaged.size(); ++n) {
        const std::string row = damaged[n].toStdString();
        write(damaged[n]);
        try {
            reg.open(file(), kNow);
            ADD_FAILURE() << "no error for: " << row;
        } catch (const HxError &e) {
            EXPECT_TRUE(e.description().contains(QStringLiteral("kept as"))) << e.description().toStdString();
        }
        EXPECT_TRUE(reg.isOpen()) << row;
        EXPECT_EQ(reg.rowCount(), 0) << row;
        EXPECT_FALSE(QFile::exists(file())) << row;
        EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("PrevPunch-damaged-*.xml")}).size(),
                  qsizetype(n + 1))
            << "each damaged file is kept: " << row;
    }
    EXPECT_EQ(read(dir.filePath(QStringLiteral("PrevPunch-damaged-20070426-171700.xml"))), damaged[0]);
}

TEST_F(PrevPunchTest, SaveFailuresLeaveTheFormerRegisterWhole) {
    reg.openEmpty(file());
    for (int i = 0; i < 200; ++i)
        reg.check(date, time, QString::number(i), u"AB");
    reg.save();
    const QByteArray before = read(file());
    ASSERT_GT(before.size(), 4000);

    for (int i = 200; i < 2000; ++i)
        reg.check(date, time, QString::number(i), u"AB");
    // The new content cannot be written past 4 KB: a writer that truncated the
    // file first would leave a broken register behind.
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString error;
    try {
        reg.save();
    } catch (const HxError &e) {
        error = e.description();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(error.contains(QStringLiteral("cannot be saved"))) << error.toStdString();
    EXPECT_EQ(read(file()), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << "no temporary file is left behind";

    PrevPunchRegister elsewhere;
    elsewhere.openEmpty(dir.filePath(QStringLiteral("missing/PrevPunch.xml")));
    elsewhere.check(date, time, u"0001", u"AB");
    EXPECT_THROW(elsewhere.save(), HxError);
}

TEST(PrevPunchPathTest, TheRegisterLivesInTheApplicationFolder) {
    subSetApplicationPath(QString());
    EXPECT_EQ(strPrevPunchPath(), strJoinPath(strComponentFolder(), QStringLiteral("PrevPunch.xml")));
    subSetApplicationPath(QStringLiteral("/srv/site/"));
    EXPECT_EQ(strPrevPunchPath(), QStringLiteral("/srv/site/PrevPunch.xml"));
    subSetApplicationPath(QString());
}

// Registers of plain rows are read and written without the general XML path:
// the bytes must be what QXmlStreamWriter writes, and a file the shortcut
// does not take (escapes, other characters, extra markup) must read the same
// through the general path.
TEST_F(PrevPunchTest, ThePlainShortcutWritesAndReadsWhatTheGeneralXmlPathDoes) {
    struct R {
        QString sequence;
        double time;
        QString checksum;
    };
    const QList<R> rows{{u"0001"_qs, timeSerial(8, 0, 0), u"AB"_qs},
                        {u"12"_qs, timeSerial(23, 59, 59), u"Z"_qs},
                        {u"a b'"_qs, timeSerial(0, 0, 1), u"%!"_qs},
                        {QString(), timeSerial(12, 0, 0), QString()}};
    reg.openEmpty(file());
    for (const R &r : rows)
        ASSERT_FALSE(reg.check(date, r.time, r.sequence, r.checksum));
    reg.save();
    reg.close();

    QByteArray expected;
    {
        QXmlStreamWriter w(&expected);
        w.setAutoFormatting(true);
        w.setAutoFormattingIndent(1);
        w.writeStartDocument();
        w.writeStartElement(u"PrevPunch"_qs);
        w.writeAttribute(u"version"_qs, u"1"_qs);
        for (const R &r : rows) {
            w.writeEmptyElement(u"Punch"_qs);
            w.writeAttribute(u"Sequence"_qs, r.sequence);
            w.writeAttribute(u"PunchDate"_qs, toQDateTime(date + r.time).toString(u"yyyy-MM-ddTHH:mm:ss"_qs));
            w.writeAttribute(u"Checksum"_qs, r.checksum);
        }
        w.writeEndElement();
        w.writeEndDocument();
    }
    EXPECT_EQ(read(file()), expected);

    // The same rows spelled in ways only the general reader takes.
    QByteArray general = expected;
    general.replace("Sequence=\"0001\"", "Sequence=\"&#48;001\"");
    general.replace("<PrevPunch version=\"1\">", "<PrevPunch version=\"1\"><!-- kept -->");
    general.replace(" <Punch Sequence=\"12\"", "<Punch   Sequence='12'");
    for (const QByteArray &bytes : {expected, general}) {
        write(bytes);
        reg.open(file(), kNow);
        EXPECT_EQ(reg.rowCount(), rows.size());
        for (const R &r : rows)
            EXPECT_TRUE(reg.contains(date, r.time, r.sequence, r.checksum)) << r.sequence.toStdString();
        reg.close();
    }

    // A row the shortcut cannot write sends the whole file the general way,
    // and it reads back.
    reg.open(file(), kNow);
    ASSERT_FALSE(reg.check(date, time, u"<&\"\u00e9"_qs, u"\u0001x"_qs));
    reg.save();
    reg.close();
    EXPECT_TRUE(read(file()).contains("Sequence=\"&lt;&amp;&quot;\xc3\xa9\""));
    reg.open(file(), kNow);
    EXPECT_TRUE(reg.contains(date, time, u"<&\"\u00e9"_qs, u"\u0001x"_qs));
    EXPECT_EQ(reg.rowCount(), rows.size() + 1);
}
