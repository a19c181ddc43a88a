// The register in the table PrevPunch (on both engines), the upgrade that
// brings an older database to it, and the one-time move of a register file.
#include "component/DateTime.h"
#include "component/Error.h"
#include "component/Schema.h"
#include "component/modGlobal.h"
#include "import/PrevPunchRegister.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

using namespace hx;
using namespace Qt::Literals::StringLiterals;

namespace {
// A zone with a spring change, set before anything reads the local zone: the
// register's moments must not pass through it.
const bool kZoneSet = qputenv("TZ", "America/New_York");
const QDateTime kNow(QDate(2007, 4, 26), QTime(17, 17, 0));

class PrevPunchTest : public hx::test::SiteTest {
protected:
    // The table's rows as "sequence|YYYY-MM-DD HH:MM:SS|checksum", sorted.
    QStringList tableRows() {
        PrevPunchRegister all;
        all.load(db(), QDateTime(QDate(1990, 1, 1), QTime(0, 0)));
        QStringList out;
        for (qsizetype i = 0; i < all.rowCount(); ++i) {
            const auto r = all.row(i);
            out << r.sequence + u'|' + formatIsoDateTime(fromSeconds(r.moment)) + u'|' + r.checksum;
        }
        out.sort();
        return out;
    }
    void addRow(const QString &sequence, const QString &moment, const QString &checksum) {
        db().execute(u"INSERT INTO \"PrevPunch\" (\"Sequence\", \"PunchDate\", \"Checksum\") VALUES (?, ?, ?)"_s,
                     {sequence, moment, checksum});
    }
    QStringList appFiles() { return QDir(path(u"app"_s)).entryList(QDir::Files, QDir::Name); }
    // The error a call raises, as text.
    static QString errorOf(const std::function<void()> &f) {
        try {
            f();
        } catch (const HxError &e) {
            return e.description();
        }
        return QString();
    }

    const double date = dateSerial(2007, 4, 26);
    const double time = timeSerial(8, 0, 0);
};
} // namespace

TEST_F(PrevPunchTest, ChecksListOnceAndTheTableKeepsThemForTheNextLoad) {
    PrevPunchRegister reg;
    reg.load(db(), kNow);
    const struct {
        double date, time;
        const char16_t *sequence, *checksum;
        bool seen;
    } checks[] = {
        {date, time, u"0001", u"AB", false},
        {date, time, u"0001", u"AB", true},
        {date + 0.25, time + 3, u"0001", u"AB", true}, // only the date's date, the time's time
        {date, time, u"0001", u"AC", false},           // other check characters, another record
        {date, timeSerial(8, 0, 1), u"0001", u"AB", false},
        {date + 1, time, u"0001", u"AB", false},
        {date, time, u"0002", u"AB", false},
        {date, time, u"a'\u00e9 ", u" \"", false}, // texts stored as they stand
        // An hour the spring change skips where the host is.
        {dateSerial(2007, 3, 11), timeSerial(2, 30, 0), u"0003", u"DS", false},
    };
    for (const auto &c : checks)
        EXPECT_EQ(reg.check(c.date, c.time, c.sequence, c.checksum), c.seen);
    EXPECT_THROW(reg.check(date, time, u"00001", u"AB"), HxError);
    EXPECT_THROW(reg.check(date, time, u"0001", u"ABC"), HxError);
    // More than one batch of new rows.
    for (int i = 0; i < 450; ++i)
        ASSERT_FALSE(reg.check(date - i % 50, timeSerial(0, i, 0), QString::number(i), u"XY")) << i;
    EXPECT_EQ(reg.newRowCount(), 457);
    // A key another host added meanwhile does not fail the save.
    addRow(u"0002"_s, u"2007-04-26 08:00:00"_s, u"AB"_s);
    {
        Transaction tx(db());
        reg.save(db());
        tx.commit();
    }
    EXPECT_EQ(reg.newRowCount(), 0);

    // Pages of three rows: equal moments fall across their ends.
    const qsizetype page = PrevPunchRegister::loadPageRows;
    PrevPunchRegister::loadPageRows = 3;
    PrevPunchRegister again;
    again.load(db(), kNow);
    PrevPunchRegister::loadPageRows = page;
    EXPECT_EQ(again.rowCount(), 457);
    for (const auto &c : checks)
        EXPECT_TRUE(again.contains(c.date, c.time, c.sequence, c.checksum));
    EXPECT_TRUE(again.contains(date - 449 % 50, timeSerial(0, 449, 0), u"449", u"XY"));
}

TEST_F(PrevPunchTest, LoadingPrunesRowsListedAYearAgoToTheSecondOrEarlier) {
    addRow(u"0001"_s, u"2006-04-26 17:17:00"_s, u"AA"_s);
    addRow(u"0002"_s, u"2006-04-26 17:17:01"_s, u"AA"_s);
    addRow(u"0003"_s, u"2005-01-01 00:00:00"_s, u"AA"_s);
    addRow(u"0004"_s, u"2007-06-01 08:00:00"_s, u"AA"_s); // a date the year rule put ahead
    PrevPunchRegister reg;
    reg.load(db(), kNow);
    EXPECT_EQ(reg.rowCount(), 2);
    EXPECT_TRUE(reg.contains(dateSerial(2006, 4, 26), timeSerial(17, 17, 1), u"0002", u"AA"));
    EXPECT_FALSE(reg.contains(dateSerial(2006, 4, 26), timeSerial(17, 17, 0), u"0001", u"AA"));
    EXPECT_EQ(tableRows(), (QStringList{u"0002|2006-04-26 17:17:01|AA"_s, u"0004|2007-06-01 08:00:00|AA"_s}));
}

TEST_F(PrevPunchTest, ARegisterFileIsMovedInOnceAndRenamed) {
    addRow(u"0004"_s, u"2007-04-26 08:00:00"_s, u"AA"_s);
    // The plain form the earlier version wrote, with a second copy of a row.
    writeFile(u"app/PrevPunch.xml"_s, R"(<?xml version="1.0" encoding="UTF-8"?>
<PrevPunch version="1" commit="1f0c">
 <Punch Sequence="0001" PunchDate="2006-04-26T17:17:00" Checksum="AA"/>
 <Punch Sequence="0002" PunchDate="2006-04-26T17:17:01" Checksum="AA"/>
 <Punch Sequence="0004" PunchDate="2007-04-26T08:00:00" Checksum="AA"/>
 <Punch Sequence="0005" PunchDate="2007-04-26T09:00:00" Checksum="A"/>
 <Punch Sequence="0005" PunchDate="2007-04-26T09:00:00" Checksum="A"/>
</PrevPunch>
)");
    MigratePrevPunchFile(db());
    const QStringList moved = {u"0002|2006-04-26 17:17:01|AA"_s, u"0004|2007-04-26 08:00:00|AA"_s,
                               u"0005|2007-04-26 09:00:00|A"_s};
    EXPECT_EQ(tableRows(), moved);
    // Renamed, so nothing is left to move (the name and the log's note: the import command's test).
    EXPECT_EQ(appFiles().size(), 1);
    MigratePrevPunchFile(db());
    EXPECT_EQ(tableRows(), moved);

    // Spellings only the general XML reader takes read the same rows.
    writeFile(u"app/PrevPunch.xml"_s, R"(<?xml version="1.0"?><PrevPunch version="1"><!-- kept -->
<Punch   Sequence='&#48;001' PunchDate="2007-04-26 08:00:00" Checksum="AB"/>
<Punch SequenceHex="003c0026" PunchDate="2007-04-26T08:00:00" ChecksumHex="0001"/></PrevPunch>)");
    PrevPunchRegister reg;
    reg.readFile(path(u"app/PrevPunch.xml"_s));
    EXPECT_EQ(reg.rowCount(), 2);
    EXPECT_TRUE(reg.contains(date, time, u"0001", u"AB"));
    EXPECT_TRUE(reg.contains(date, time, u"<&", u"\u0001"));
}

// An earlier version cut short between its commit and the rename of its
// register left "PrevPunch.xml.pending": its rows join only when the journal
// holds its commit token.
TEST_F(PrevPunchTest, APendingSaveOfAnEarlierVersionJoinsOnlyWhenItsImportWasCommitted) {
    db().executeScript(u"CREATE TABLE \"PrevPunchJournal\" (\"Token\" varchar(40) NOT NULL PRIMARY KEY);"_s);
    db().execute(u"INSERT INTO \"PrevPunchJournal\" (\"Token\") VALUES (?)"_s, {u"saved"_s});
    const QByteArray punch1 = R"(<Punch Sequence="0001" PunchDate="2007-04-25T08:00:00" Checksum="AA"/>)";
    for (const auto &[token, rows] : {std::pair{"saved", 2}, std::pair{"rolled-back", 1}}) {
        SCOPED_TRACE(token);
        db().execute(u"DELETE FROM \"PrevPunch\""_s);
        writeFile(u"app/PrevPunch.xml"_s, "<PrevPunch>" + punch1 + "</PrevPunch>");
        writeFile(u"app/PrevPunch.xml.pending"_s,
                  "<PrevPunch commit=\"" + QByteArray(token) + "\">" + punch1 +
                      R"(<Punch Sequence="0002" PunchDate="2007-04-25T09:00:00" Checksum="AA"/></PrevPunch>)");
        MigratePrevPunchFile(db());
        EXPECT_EQ(tableRows().size(), rows);
        EXPECT_FALSE(QFile::exists(path(u"app/PrevPunch.xml.pending"_s)) || QFile::exists(path(u"app/PrevPunch.xml"_s)));
    }
}

TEST_F(PrevPunchTest, ADamagedFileIsKeptAsideAndTheTableIsLeftAlone) {
    addRow(u"0001"_s, u"2007-04-26 08:00:00"_s, u"AB"_s);
    const QStringList before = tableRows();
    const QByteArray damaged[] = {
        "this is not XML at all",
        R"(<?xml version="1.0"?><PrevPunch><Punch Sequence="0009" PunchDate="2007-04-26T08:00:00" Checksum="AB"/>)",
        R"(<PrevPunch><Punch Sequence="0001" PunchDate="yesterday" Checksum="AB"/></PrevPunch>)",
        R"(<PrevPunch><Punch Sequence="000001" PunchDate="2007-04-26T08:00:00" Checksum="AB"/></PrevPunch>)",
        R"(<PrevPunch version="7"/>)",
        QByteArray(),
    };
    for (size_t n = 0; n < std::size(damaged); ++n) {
        SCOPED_TRACE(damaged[n].toStdString());
        writeFile(u"app/PrevPunch.xml"_s, damaged[n]);
        const QString error = errorOf([&] { MigratePrevPunchFile(db()); });
        EXPECT_TRUE(error.contains(u"kept as"_s)) << error.toStdString();
        EXPECT_EQ(tableRows(), before);
        EXPECT_FALSE(QFile::exists(path(u"app/PrevPunch.xml"_s)));
        EXPECT_EQ(appFiles().size(), qsizetype(n + 1)) << "each damaged file is kept";
    }
    EXPECT_EQ(readFile(u"app/PrevPunch-damaged-20070426-171700.xml"_s), damaged[0]);
}

TEST_F(PrevPunchTest, AnOlderDatabaseIsUpgradedOnceAndEveryStepIsIdempotent) {
    EXPECT_EQ(storedSchemaVersion(db()), latestSchemaVersion()) << "a new database is at the latest version";
    // A database as the version before the upgrades made it.
    db().executeScript(u"DROP TABLE \"PrevPunch\";\nDROP TABLE \"SchemaVersion\";\n"
                       "DROP INDEX \"PUNCH_EMPLOYEE_OPEN\";"_s);
    EXPECT_EQ(storedSchemaVersion(db()), 0);
    upgradeSchema(db());
    EXPECT_EQ(storedSchemaVersion(db()), latestSchemaVersion());
    addRow(u"0001"_s, u"2007-04-26 08:00:00"_s, u"AB"_s);
    EXPECT_ANY_THROW(addRow(u"0001"_s, u"2007-04-26 08:00:00"_s, u"AB"_s)) << "the unique key";
    // Every step again over what is there already.
    for (const SchemaStep &s : schemaSteps())
        EXPECT_NO_THROW(s.apply(db())) << s.what.toStdString();
    EXPECT_EQ(tableRows().size(), 1);
    // A database that cannot take the upgrade: the import command's test.
}
