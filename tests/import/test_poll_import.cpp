#include "component/Values.h"
#include "component/modGlobal.h"
#include "import/PollFileReader.h"
#include "import/PollLogRecordset.h"
#include "messages/clsMessage.h"
#include "support/TestSupport.h"

#include <QFile>

using namespace hx;
using namespace Qt::Literals::StringLiterals;

namespace {
QByteArray two(int n) {
    return QByteArray::number(n).rightJustified(2, '0');
}

// One record line, blanks in the positions that are not read.
struct Rec {
    QByteArray badge = "1234";
    QByteArray seq = "0001";
    int month = 4, day = 26, hour = 8, minute = 5;
    int dept = 1;
    QByteArray job = "0000000000";
    QByteArray task = "000000";
    QByteArray flags = "00";
    char inOut = 'I';

    QByteArray bytes() const {
        QByteArray b = badge.rightJustified(10, '0');
        b += ' ' + seq + "  " + two(month) + '/' + two(day) + "  " + two(hour) + two(minute) + ' ' +
             two(dept) + ' ' + job + ' ' + task + " AB" + flags + "  " + inOut + ' ';
        EXPECT_EQ(b.size(), 58);
        return b;
    }
};

QByteArray lines(std::initializer_list<QByteArray> parts) {
    QByteArray out;
    for (const QByteArray &p : parts)
        out += p + "\r\n";
    return out;
}

// A message face that fails while the lines are read.
class FailingFace : public ScriptedMessageBox {
public:
    int show(const QString &title, const QString &prompt, int buttons, int helpId) override {
        if (title == u"INVALID BUFFER"_s) throw HxError(u"The display is gone."_s);
        return ScriptedMessageBox::show(title, prompt, buttons, helpId);
    }
};

class PollImportTest : public hx::test::SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        db().execute(u"UPDATE \"TCRULES\" SET \"IdDigits\" = 4"_s);
        reloadRules();
        db().execute(u"INSERT INTO \"EMPLOYEE\" (\"EMPLOYEE ID\", \"CLOCK ID\", \"NEWBADGE\", \"AccessControl\") "
                     "VALUES (1001, 1234, 0, 'NO'), (1002, 2222, 3333, 'no'), (1003, 4444, 0, 'only'), "
                     "(1004, 5555, 0, 'YES')"_s);
        db().execute(u"INSERT INTO \"DEPT\" (\"DEPT ID\", \"DEPT NAME\", \"DATAFLDEN\") VALUES "
                     "(1, 'ASSEMBLY', true), (2, 'OFFICE', false)"_s);
        db().execute(u"INSERT INTO \"CLOCK\" (\"CLOCK NUMBER\", \"CLOCK NAME\", \"AccessOnly\") VALUES "
                     "(1, 'Front', false), (2, 'Door', true)"_s);
    }
    void TearDown() override {
        rsPollLog.setRowsInMemory(PollLogRecordset::kDefaultRowsInMemory);
        SiteTest::TearDown();
    }

    QString pollFile(const QByteArray &content, int clock = 1) {
        return writeFile(u"polllogs/0426081709.7}"_s + QString::number(clock).rightJustified(2, u'0'), content);
    }
    bool import(const QString &file, bool seen = true) {
        std::shared_ptr<clsMessage> message;
        return blnImportPollFile(file, message, seen);
    }
    // A stored value as the SQLite convention writes it, on either engine.
    static QString storedText(const QVariant &v) {
        switch (v.typeId()) {
        case QMetaType::Bool:
            return v.toBool() ? u"1"_s : u"0"_s;
        case QMetaType::QDate:
            return v.toDate().toString(Qt::ISODate);
        case QMetaType::QTime:
            return v.toTime().toString(u"HH:mm:ss"_s);
        case QMetaType::QDateTime:
            return v.toDateTime().toString(u"yyyy-MM-dd HH:mm:ss"_s);
        default:
            return isNull(v) ? u"null"_s : v.toString();
        }
    }
    // Every row of the table in ID order, its columns from `first` on as "a|b|…".
    std::vector<std::string> rows(const char *table, int first = 1) {
        Recordset rs = db().openRecordset(u"SELECT * FROM \"%1\" ORDER BY \"ID\""_s.arg(QLatin1String(table)));
        std::vector<std::string> out;
        for (; !rs.eof(); rs.moveNext()) {
            QStringList values;
            for (int c = first; c < rs.columns().size(); ++c)
                values << storedText(rs.value(c));
            out.push_back(values.join(u'|').toStdString());
        }
        return out;
    }
    void clearTables() {
        db().execute(u"DELETE FROM \"IMPORT\""_s);
        db().execute(u"DELETE FROM \"AccessPunch\""_s);
    }
    int registerRows() { return db().firstValue(u"SELECT COUNT(*) FROM \"PrevPunch\""_s)->toInt(); }
};

// Columns: EMPLOYEE ID|CLOCK ID|IN DATE|IN TIME|DEPT ID|DEPT NAME|DATAFLDEN|DATAFLD|TASK|SIGN IN|PunchType|
// Overide|Excused|CLOCK NUMBER|Edited.
const struct {
    Rec rec;
    const char *row;
} kImportCases[] = {
    {Rec{.job = "0000012345", .task = "000042", .flags = "05"},
     "1001|1234|2007-04-26|08:05:00|1|ASSEMBLY|1|12345|42|1|1|1|0|1|0"},
    // No job and task entries in this department.
    {Rec{.seq = "0002", .dept = 2, .job = "0000000077", .task = "000003", .flags = "18", .inOut = 'O'},
     "1001|1234|2007-04-26|08:05:00|2|OFFICE|0|null|null|0|0|-2|1|1|1"},
    // Job 0 is no job; only a capital I is an in punch.
    {Rec{.seq = "0003", .task = "000009", .flags = "03", .inOut = 'i'},
     "1001|1234|2007-04-26|08:05:00|1|ASSEMBLY|1|null|9|0|0|-1|1|1|0"},
    {Rec{.seq = "0004", .dept = 77, .job = "0000000005", .flags = "12"},
     "1001|1234|2007-04-26|08:05:00|77|UNKNOWN|0|null|null|1|3|0|0|1|0"},
    // December read in April is last year's; 23:60 is the next hour.
    {Rec{.seq = "0005", .month = 12, .day = 31, .hour = 23, .minute = 60},
     "1001|1234|2006-12-31|00:00:00|1|ASSEMBLY|1|null|0|1|0|0|0|1|0"},
    // 30 February is 2 March; the employee's new badge.
    {Rec{.badge = "2223333", .seq = "0006", .month = 2, .day = 30},
     "1002|3333|2007-03-02|08:05:00|1|ASSEMBLY|1|null|0|1|0|0|0|1|0"},
};
} // namespace

TEST_F(PollImportTest, RecordsBecomeImportRowsWithEveryColumn) {
    QByteArray content;
    for (const auto &c : kImportCases)
        content += c.rec.bytes() + "\r\n";
    // Rows beyond those held in memory go through a temporary file and must
    // come back whole and in file order.
    for (const qsizetype inMemory : {PollLogRecordset::kDefaultRowsInMemory, qsizetype(1)}) {
        clearTables();
        rsPollLog.setRowsInMemory(inMemory);
        ASSERT_TRUE(import(pollFile(content)));
        EXPECT_TRUE(boxes.shown().empty());
        EXPECT_TRUE(rows("AccessPunch").empty()) << "no employee here takes part in access control";
        const auto got = rows("IMPORT");
        ASSERT_EQ(got.size(), std::size(kImportCases));
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(got[i], kImportCases[i].row) << kImportCases[i].rec.bytes().toStdString() << " " << inMemory;
    }

    // Implied decimals of job and task.
    clearTables();
    db().execute(u"UPDATE \"TCRULES\" SET \"DATAFLD FORMAT\" = 5, \"TASK FORMAT\" = 1"_s);
    reloadRules();
    ASSERT_TRUE(import(pollFile(lines({kImportCases[0].rec.bytes()}))));
    EXPECT_EQ(rows("IMPORT"),
              std::vector<std::string>{"1001|1234|2007-04-26|08:05:00|1|ASSEMBLY|1|123.45|0.42|1|1|1|0|1|0"});
}

TEST_F(PollImportTest, AccessEventsByEmployeeSettingAndClock) {
    Rec unknown{.badge = "9999", .seq = "A001"};
    Rec only{.badge = "4444", .seq = "A002", .inOut = 'X'};
    Rec both{.badge = "5555", .seq = "A003", .flags = "40", .inOut = 'O'}; // refused: 0x40, failure 40 - 32
    Rec plain{.seq = "A004"};                                              // "NO": time and attendance only
    ASSERT_TRUE(import(pollFile(lines({unknown.bytes(), only.bytes(), both.bytes(), plain.bytes()}))));
    EXPECT_TRUE(boxes.shown().empty());
    const auto imported = rows("IMPORT");
    ASSERT_EQ(imported.size(), 2u);
    EXPECT_EQ(imported[0].substr(0, 4) + imported[1].substr(0, 4), "10041001");
    // Date|Time|SEQUENCE|Clock|EmployeeClock|type|Valid|Failure
    EXPECT_EQ(rows("AccessPunch"), (std::vector<std::string>{"2007-04-26|08:05:00|A001|1|9999|1|1|-1",
                                                             "2007-04-26|08:05:00|A002|1|4444|0|1|-1",
                                                             "2007-04-26|08:05:00|A003|1|5555|2|0|8"}));

    // The access-only clock turns a "YES" employee's punch into an access event only.
    clearTables();
    both.flags = "00";
    ASSERT_TRUE(import(pollFile(lines({both.bytes(), plain.bytes()}), 2)));
    EXPECT_TRUE(rows("IMPORT").empty());
    EXPECT_EQ(rows("AccessPunch"), (std::vector<std::string>{"2007-04-26|08:05:00|A003|2|5555|2|1|-1",
                                                             "2007-04-26|08:05:00|A004|2|1234|1|1|-1"}));
}

TEST_F(PollImportTest, BadgeDigitsAtTheirLimits) {
    // Badge 0 must not find every employee whose new badge is 0.
    db().execute(u"UPDATE \"TCRULES\" SET \"IdDigits\" = 0"_s);
    reloadRules();
    ASSERT_TRUE(import(pollFile(lines({Rec().bytes()}))));
    EXPECT_TRUE(rows("IMPORT").empty());
    EXPECT_EQ(rows("AccessPunch"), std::vector<std::string>{"2007-04-26|08:05:00|0001|1|0|1|1|-1"});

    // A record that cannot be decoded is reported and skipped; the import goes on.
    db().execute(u"UPDATE \"TCRULES\" SET \"IdDigits\" = 11"_s);
    reloadRules();
    EXPECT_TRUE(import(pollFile(lines({Rec{.seq = "0002"}.bytes(), Rec{.seq = "0003"}.bytes()}))));
    EXPECT_EQ(rows("AccessPunch").size(), 1u);
    EXPECT_EQ(boxes.count(u"Horalis Error"_s), 2);
    EXPECT_TRUE(logText().contains(u"modImportToPunch:Procedure_ProcessPollLogEntry"_s));
}

TEST_F(PollImportTest, ImportingTwiceUpdatesAccessRowsAndKeepsTheRegister) {
    Rec access{.badge = "5555", .seq = "0007"};
    Rec plain{.seq = "0008"};
    const QString file = pollFile(lines({access.bytes(), plain.bytes()}));
    ASSERT_TRUE(import(file));
    EXPECT_EQ(registerRows(), 2) << "the first import creates the register with a row per record";
    EXPECT_EQ(rows("IMPORT").size(), 2u);

    // The same event, now refused and from another badge, updates its row.
    access.badge = "9999";
    access.flags = "41";
    ASSERT_TRUE(import(pollFile(lines({access.bytes(), plain.bytes()}))));
    EXPECT_EQ(rows("AccessPunch"), std::vector<std::string>{"2007-04-26|08:05:00|0007|1|9999|1|0|9"});
    EXPECT_EQ(rows("IMPORT").size(), 3u) << "seen records are imported again when asked";
    EXPECT_EQ(registerRows(), 2);

    // Not asked: every record is known and nothing is added.
    ASSERT_TRUE(import(file, false));
    EXPECT_EQ(rows("IMPORT").size(), 3u);
    EXPECT_EQ(registerRows(), 2);
}

TEST_F(PollImportTest, AbortedPollImportsNothingButMovesTheRegisterFileIn) {
    writeFile(u"app/PrevPunch.xml"_s,
              R"(<PrevPunch><Punch Sequence="0001" PunchDate="2006-01-01T00:00:00" Checksum="AB"/>)"
              R"(<Punch Sequence="0002" PunchDate="2007-04-01T00:00:00" Checksum="AB"/></PrevPunch>)");
    ASSERT_FALSE(import(pollFile(lines({";Abort 04/26/07 08:17", Rec().bytes(), "short"}))));
    EXPECT_TRUE(rows("IMPORT").empty());
    EXPECT_EQ(registerRows(), 1);
    EXPECT_EQ(db().firstValue(u"SELECT \"Sequence\" FROM \"PrevPunch\""_s)->toString(), u"0002"_s);

    // Further down the file it is a comment like any other; files without a
    // record are read all the same.
    EXPECT_TRUE(import(pollFile(lines({Rec().bytes(), ";Abort"}))));
    EXPECT_TRUE(import(pollFile(lines({"; comment", "; another ;"}) + "; last")));
    EXPECT_EQ(rows("IMPORT").size(), 1u);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(PollImportTest, BadLinesAreReportedOneByOneAndSkipped) {
    Rec a, b{.seq = "0002"};
    QByteArray commented = a.bytes();
    commented[40] = ';';
    const QByteArray endless(3 * 1024 * 1024, '7');
    ASSERT_TRUE(import(pollFile(
        lines({"; header line", a.bytes(), a.bytes().left(57), "", commented, "ab\ncd\tx", b.bytes() + " ", b.bytes()}) +
        endless)));
    EXPECT_EQ(rows("IMPORT").size(), 2u);
    ASSERT_EQ(boxes.count(u"INVALID BUFFER"_s), 5);
    EXPECT_EQ(boxes.shown()[0].prompt, u"The buffer is the wrong size.\r\nThere is a problem with your data."_s);
    const QString text = logText();
    EXPECT_TRUE(text.contains(u"modImportToPunch:Procedure_blnImportPollFile "_s + QLatin1String(a.bytes().left(57))))
        << text.toStdString();
    EXPECT_TRUE(text.contains(u" ab|cd|x"_s)) << "control characters would break the log's lines";
    EXPECT_LT(text.size(), 5000) << "the log gets the start of an endless line, not all of it";
    EXPECT_TRUE(text.contains(u"(3145728 characters)"_s));
}

TEST_F(PollImportTest, FilesThatCannotBeReadGiveFalseAndAClearMessage) {
    const QString file = pollFile(lines({Rec().bytes()}));
    // {file, no database, the start of the box's prompt}
    for (const auto &[name, closed, prompt] :
         {std::tuple{path(u"polllogs"_s), false, u"The poll log file is a folder, not a file: "_s},
          {file, true, QString()}}) {
        SCOPED_TRACE(name.toStdString());
        boxes.clear();
        if (closed) gConn.reset();
        EXPECT_FALSE(import(name));
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown()[0].title, u"ERROR"_s);
        EXPECT_EQ(boxes.shown()[0].buttons, 65);
        EXPECT_TRUE(boxes.shown()[0].prompt.startsWith(prompt)) << boxes.shown()[0].prompt.toStdString();
    }
}

TEST_F(PollImportTest, ATransferErrorIsReportedOnceAndTheOtherEntriesGoOn) {
    db().executeScript(u"DROP TABLE \"AccessPunch\";"_s);
    QByteArray content;
    for (int i = 0; i < 6; ++i) // odd: access events, which fail
        content += Rec{.badge = i % 2 ? "9999" : "1234", .seq = "000" + QByteArray::number(i)}.bytes() + "\r\n";
    EXPECT_TRUE(import(pollFile(content)));
    EXPECT_EQ(rows("IMPORT").size(), 3u);
    ASSERT_EQ(boxes.shown().size(), 1u);
    const auto &box = boxes.shown()[0];
    EXPECT_EQ(box.title, u"ERROR READING PUNCHES"_s);
    EXPECT_TRUE(box.prompt.startsWith(
        u"You may have corrupt punch data.  You may be missing at least 1 punch(s).  Horalis will attempt to "
        "correct this problem but you should look at your reports carefully.\r\r"_s))
        << box.prompt.toStdString();
    EXPECT_TRUE(box.prompt.endsWith(u" (Line: 2)"_s)) << box.prompt.toStdString();
    EXPECT_EQ(logText().count(u"Nte "_s), 2) << "the later failures are noted in the log";
}

// A failure while the lines are read fails the import (the register is saved
// all the same). A damaged register file: the register's test and the import
// command's.
TEST_F(PollImportTest, AReadingFailureFailsTheImport) {
    FailingFace face;
    setMessageBoxFace(&face);
    EXPECT_FALSE(import(pollFile(lines({Rec().bytes(), "bad"}))));
    setMessageBoxFace(&boxes);
    EXPECT_TRUE(rows("IMPORT").empty());
    ASSERT_EQ(face.shown().size(), 1u);
    EXPECT_EQ(face.shown()[0].prompt, u"The display is gone."_s);
    EXPECT_EQ(registerRows(), 1);
}

// On a server the rows of a run of punches go to IMPORT many to a statement;
// a row the database refuses must still cost only itself, be reported in its
// place, and leave the others in file order, as it does row by row.
TEST_F(PollImportTest, ARefusedRowAmongManyCostsOnlyItselfOnEveryEngine) {
    if (onServer())
        db().executeScript(
            u"CREATE FUNCTION hx_refuse() RETURNS trigger AS $$ BEGIN IF NEW.\"IN TIME\" IN ('08:07:00', "
            "'09:55:00') THEN RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END $$ LANGUAGE plpgsql;\n"
            "CREATE TRIGGER hx_refuse BEFORE INSERT ON \"IMPORT\" FOR EACH ROW EXECUTE FUNCTION hx_refuse();"_s);
    else
        db().executeScript(u"CREATE TRIGGER hx_refuse BEFORE INSERT ON \"IMPORT\" WHEN NEW.\"IN TIME\" IN "
                           "('08:07:00', '09:55:00') BEGIN SELECT RAISE(ABORT, 'refused'); END;"_s);
    QByteArray content;
    QStringList expected;
    for (int i = 0; i < 150; ++i) {
        const Rec r{.seq = QByteArray::number(1000 + i), .hour = 8 + i / 60, .minute = i % 60};
        content += r.bytes() + "\r\n";
        if (i != 7 && i != 115) expected << u"%1:%2:00"_s.arg(two(r.hour)).arg(two(r.minute));
    }
    EXPECT_TRUE(import(pollFile(content)));
    QStringList times;
    for (const std::string &row : rows("IMPORT", 4))
        times << QString::fromStdString(row).section(u'|', 0, 0);
    EXPECT_EQ(times, expected);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_TRUE(boxes.shown()[0].prompt.contains(u"refused"_s)) << boxes.shown()[0].prompt.toStdString();
    EXPECT_EQ(logText().count(u"Nte "_s), 1) << "the second refusal is noted in the log";
}
