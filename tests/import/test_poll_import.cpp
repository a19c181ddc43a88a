#include "component/Values.h"
#include "component/modGlobal.h"
#include "import/PollFileReader.h"
#include "import/PollLogRecordset.h"
#include "import/PrevPunchRegister.h"
#include "messages/clsMessage.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <unistd.h>

using namespace hx;

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
    QByteArray check = "AB";
    QByteArray flags = "00";
    char inOut = 'I';

    QByteArray bytes() const {
        QByteArray b = badge.rightJustified(10, '0');
        b += ' ' + seq + "  " + two(month) + '/' + two(day) + "  " + two(hour) + two(minute) + ' ' +
             two(dept) + ' ' + job + ' ' + task + ' ' + check + flags + "  " + inOut + ' ';
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

const QString kBadPrompt =
    QStringLiteral("The buffer is the wrong size.\r\nThere is a problem with your data.");

class PollImportTest : public hx::test::SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        db().execute(QStringLiteral(R"(UPDATE "TCRULES" SET "IdDigits" = 4)"));
        reloadRules();
        const char *employees[][4] = {{"1001", "1234", "0", "NO"},
                                      {"1002", "2222", "3333", "no"},
                                      {"1003", "4444", "0", "only"},
                                      {"1004", "5555", "0", "YES"}};
        for (auto &e : employees)
            db().execute(QStringLiteral(R"(INSERT INTO "EMPLOYEE" ("EMPLOYEE ID", "CLOCK ID", "NEWBADGE",)"
                                        R"( "AccessControl") VALUES (?, ?, ?, ?))"),
                         {QString::fromLatin1(e[0]).toInt(), QString::fromLatin1(e[1]).toInt(),
                          QString::fromLatin1(e[2]).toInt(), QString::fromLatin1(e[3])});
        db().execute(QStringLiteral(R"(INSERT INTO "DEPT" ("DEPT ID", "DEPT NAME", "DATAFLDEN") VALUES)"
                                    R"( (1, 'ASSEMBLY', 1), (2, 'OFFICE', 0))"));
        db().execute(
            QStringLiteral(R"(INSERT INTO "CLOCK" ("CLOCK NUMBER", "CLOCK NAME", "AccessOnly") VALUES)"
                           R"( (1, 'Front', 0), (2, 'Door', 1))"));
    }

    QString pollFile(const QByteArray &content, int clock = 1) {
        return writeFile(QStringLiteral("polllogs/0426081709.7}") +
                             QString::number(clock).rightJustified(2, '0'),
                         content);
    }
    bool import(const QString &file, bool seen = true) {
        std::shared_ptr<clsMessage> message;
        const bool ok = blnImportPollFile(file, message, seen);
        EXPECT_TRUE(message) << "a channel is created when none is given";
        return ok;
    }
    Recordset importRows() {
        return db().openRecordset(QStringLiteral(R"(SELECT * FROM "IMPORT" ORDER BY "ID")"));
    }
    Recordset accessRows() {
        return db().openRecordset(QStringLiteral(R"(SELECT * FROM "AccessPunch" ORDER BY "ID")"));
    }
    int count(const char *table) {
        return db()
            .firstValue(QStringLiteral(R"(SELECT COUNT(*) FROM ")") + QLatin1String(table) + QLatin1Char('"'))
            ->toInt();
    }
    int registerRows() { return int(readFile(QStringLiteral("app/PrevPunch.xml")).count("<Punch ")); }
    QString log() { return QString::fromLocal8Bit(readFile(QStringLiteral("logs/QX8log.txt"))); }
};
} // namespace

TEST_F(PollImportTest, RecordsBecomeImportRowsWithEveryColumn) {
    Rec full;
    full.job = "0000012345";
    full.task = "000042";
    full.flags = "05";
    Rec office; // no job and task entries in this department
    office.seq = "0002";
    office.dept = 2;
    office.job = "0000000077";
    office.task = "000003";
    office.flags = "18";
    office.inOut = 'O';
    Rec noJob; // job 0: no job, task as read
    noJob.seq = "0003";
    noJob.task = "000009";
    noJob.inOut = 'i';
    Rec unknownDept;
    unknownDept.seq = "0004";
    unknownDept.dept = 77;
    unknownDept.job = "0000000005";
    unknownDept.flags = "12";
    Rec lastYear; // December read in April belongs to the year before
    lastYear.seq = "0005";
    lastYear.month = 12;
    lastYear.day = 31;
    lastYear.hour = 23;
    lastYear.minute = 60;
    Rec rolled; // 31 April is 1 May
    rolled.seq = "0006";
    rolled.day = 31;
    rolled.badge = "2223333"; // the employee's new badge, positions 7 to 10

    ASSERT_TRUE(import(pollFile(lines({full.bytes(), office.bytes(), noJob.bytes(), unknownDept.bytes(),
                                       lastYear.bytes(), rolled.bytes()}))));
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(count("AccessPunch"), 0) << "no employee here takes part in access control";

    Recordset rs = importRows();
    ASSERT_EQ(rs.recordCount(), 6);
    EXPECT_EQ(rs.value(u"EMPLOYEE ID").toInt(), 1001);
    EXPECT_EQ(rs.value(u"CLOCK ID").toInt(), 1234);
    EXPECT_EQ(rs.value(u"IN DATE").toString(), QStringLiteral("2007-04-26"));
    EXPECT_EQ(rs.value(u"IN TIME").toString(), QStringLiteral("08:05:00"));
    EXPECT_EQ(rs.value(u"DEPT ID").toInt(), 1);
    EXPECT_EQ(rs.value(u"DEPT NAME").toString(), QStringLiteral("ASSEMBLY"));
    EXPECT_EQ(rs.value(u"DATAFLDEN").toInt(), 1);
    EXPECT_EQ(rs.value(u"DATAFLD").toDouble(), 12345.0);
    EXPECT_EQ(rs.value(u"TASK").toDouble(), 42.0);
    EXPECT_EQ(rs.value(u"SIGN IN").toInt(), 1);
    EXPECT_EQ(rs.value(u"PunchType").toInt(), 1);
    EXPECT_EQ(rs.value(u"Overide").toInt(), 1);
    EXPECT_EQ(rs.value(u"Excused").toInt(), 0);
    EXPECT_EQ(rs.value(u"CLOCK NUMBER").toInt(), 1);
    EXPECT_EQ(rs.value(u"Edited").toInt(), 0);

    rs.moveNext();
    EXPECT_EQ(rs.value(u"DEPT NAME").toString(), QStringLiteral("OFFICE"));
    EXPECT_EQ(rs.value(u"DATAFLDEN").toInt(), 0);
    EXPECT_TRUE(isNull(rs.value(u"DATAFLD")));
    EXPECT_TRUE(isNull(rs.value(u"TASK")));
    EXPECT_EQ(rs.value(u"SIGN IN").toInt(), 0);
    EXPECT_EQ(rs.value(u"PunchType").toInt(), 0);
    EXPECT_EQ(rs.value(u"Overide").toInt(), -2);
    EXPECT_EQ(rs.value(u"Excused").toInt(), 1);
    EXPECT_EQ(rs.value(u"Edited").toInt(), 1);

    rs.moveNext();
    EXPECT_TRUE(isNull(rs.value(u"DATAFLD")));
    EXPECT_EQ(rs.value(u"TASK").toDouble(), 9.0);
    EXPECT_EQ(rs.value(u"SIGN IN").toInt(), 0) << "only a capital I is an in punch";

    rs.moveNext();
    EXPECT_EQ(rs.value(u"DEPT ID").toInt(), 77);
    EXPECT_EQ(rs.value(u"DEPT NAME").toString(), QStringLiteral("UNKNOWN"));
    EXPECT_EQ(rs.value(u"DATAFLDEN").toInt(), 0);
    EXPECT_TRUE(isNull(rs.value(u"DATAFLD")));
    EXPECT_EQ(rs.value(u"PunchType").toInt(), 3);

    rs.moveNext();
    EXPECT_EQ(rs.value(u"IN DATE").toString(), QStringLiteral("2006-12-31"));
    EXPECT_EQ(rs.value(u"IN TIME").toString(), QStringLiteral("00:00:00")) << "23:60 is the next hour";

    rs.moveNext();
    EXPECT_EQ(rs.value(u"IN DATE").toString(), QStringLiteral("2007-05-01"));
    EXPECT_EQ(rs.value(u"EMPLOYEE ID").toInt(), 1002);
    EXPECT_EQ(rs.value(u"CLOCK ID").toInt(), 3333);
}

TEST_F(PollImportTest, ImpliedDecimalsOfJobAndTask) {
    db().execute(QStringLiteral(R"(UPDATE "TCRULES" SET "DATAFLD FORMAT" = 5, "TASK FORMAT" = 1)"));
    reloadRules();
    Rec r;
    r.job = "0000012345";
    r.task = "000042";
    ASSERT_TRUE(import(pollFile(lines({r.bytes()}))));
    Recordset rs = importRows();
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_DOUBLE_EQ(rs.value(u"DATAFLD").toDouble(), 123.45);
    EXPECT_DOUBLE_EQ(rs.value(u"TASK").toDouble(), 0.42);
}

TEST_F(PollImportTest, AccessEventsByEmployeeSettingAndClock) {
    Rec unknown;
    unknown.badge = "9999";
    unknown.seq = "A001";
    Rec only;
    only.badge = "4444";
    only.seq = "A002";
    only.inOut = 'X';
    Rec both;
    both.badge = "5555";
    both.seq = "A003";
    both.flags = "40"; // refused: code 0x40, failure 40 - 32
    both.inOut = 'O';
    Rec plain; // "NO": time and attendance only
    plain.seq = "A004";
    ASSERT_TRUE(import(pollFile(lines({unknown.bytes(), only.bytes(), both.bytes(), plain.bytes()}))));
    EXPECT_TRUE(boxes.shown().empty());

    Recordset imp = importRows();
    ASSERT_EQ(imp.recordCount(), 2);
    EXPECT_EQ(imp.value(u"EMPLOYEE ID").toInt(), 1004);
    imp.moveNext();
    EXPECT_EQ(imp.value(u"EMPLOYEE ID").toInt(), 1001);

    Recordset acc = accessRows();
    ASSERT_EQ(acc.recordCount(), 3);
    EXPECT_EQ(acc.value(u"Date").toString(), QStringLiteral("2007-04-26"));
    EXPECT_EQ(acc.value(u"Time").toString(), QStringLiteral("08:05:00"));
    EXPECT_EQ(acc.value(u"SEQUENCE").toString(), QStringLiteral("A001"));
    EXPECT_EQ(acc.value(u"Clock").toInt(), 1);
    EXPECT_EQ(acc.value(u"EmployeeClock").toInt(), 9999);
    EXPECT_EQ(acc.value(u"type").toInt(), 1);
    EXPECT_EQ(acc.value(u"Valid").toInt(), 1);
    EXPECT_EQ(acc.value(u"Failure").toInt(), -1);
    acc.moveNext();
    EXPECT_EQ(acc.value(u"EmployeeClock").toInt(), 4444);
    EXPECT_EQ(acc.value(u"type").toInt(), 0);
    acc.moveNext();
    EXPECT_EQ(acc.value(u"EmployeeClock").toInt(), 5555);
    EXPECT_EQ(acc.value(u"type").toInt(), 2);
    EXPECT_EQ(acc.value(u"Valid").toInt(), 0);
    EXPECT_EQ(acc.value(u"Failure").toInt(), 8);

    // The access-only clock turns a "YES" employee's punch into an access event only.
    db().execute(QStringLiteral(R"(DELETE FROM "IMPORT")"));
    db().execute(QStringLiteral(R"(DELETE FROM "AccessPunch")"));
    both.flags = "00";
    ASSERT_TRUE(import(pollFile(lines({both.bytes(), plain.bytes()}), 2)));
    EXPECT_EQ(count("IMPORT"), 0);
    acc = accessRows();
    ASSERT_EQ(acc.recordCount(), 2);
    EXPECT_EQ(acc.value(u"Clock").toInt(), 2);
    EXPECT_EQ(acc.value(u"Valid").toInt(), 1);

    // A clock without a row is not access-only.
    db().execute(QStringLiteral(R"(DELETE FROM "AccessPunch")"));
    ASSERT_TRUE(import(pollFile(lines({both.bytes()}), 9)));
    EXPECT_EQ(count("IMPORT"), 1);
    EXPECT_EQ(count("AccessPunch"), 1);
}

TEST_F(PollImportTest, BadgeZeroFindsNoEmployeeWithoutANewBadge) {
    db().execute(QStringLiteral(R"(UPDATE "TCRULES" SET "IdDigits" = 0)"));
    reloadRules();
    ASSERT_TRUE(import(pollFile(lines({Rec().bytes()}))));
    EXPECT_EQ(count("IMPORT"), 0);
    Recordset acc = accessRows();
    ASSERT_EQ(acc.recordCount(), 1);
    EXPECT_EQ(acc.value(u"EmployeeClock").toInt(), 0);
}

TEST_F(PollImportTest, ImportingTwiceUpdatesAccessRowsAndKeepsTheRegister) {
    Rec access;
    access.badge = "5555";
    access.seq = "0007";
    Rec plain;
    plain.seq = "0008";
    const QString file = pollFile(lines({access.bytes(), plain.bytes()}));
    ASSERT_TRUE(import(file));
    EXPECT_EQ(registerRows(), 2) << "the first import creates the register with a row per record";
    EXPECT_EQ(count("IMPORT"), 2);

    // The same event, now refused and from another badge, updates its row.
    access.badge = "9999";
    access.flags = "41";
    ASSERT_TRUE(import(pollFile(lines({access.bytes(), plain.bytes()}))));
    Recordset acc = accessRows();
    ASSERT_EQ(acc.recordCount(), 1);
    EXPECT_EQ(acc.value(u"EmployeeClock").toInt(), 9999);
    EXPECT_EQ(acc.value(u"Valid").toInt(), 0);
    EXPECT_EQ(acc.value(u"Failure").toInt(), 9);
    EXPECT_EQ(count("IMPORT"), 3) << "seen records are imported again when asked";
    EXPECT_EQ(registerRows(), 2);

    // Not asked: every record is known and nothing is added.
    ASSERT_TRUE(import(file, false));
    EXPECT_EQ(count("IMPORT"), 3);
    EXPECT_EQ(registerRows(), 2);
}

TEST_F(PollImportTest, AbortedPollImportsNothingButSavesThePrunedRegister) {
    writeFile(QStringLiteral("app/PrevPunch.xml"),
              R"(<PrevPunch><Punch Sequence="0001" PunchDate="2006-01-01T00:00:00" Checksum="AB"/>)"
              R"(<Punch Sequence="0002" PunchDate="2007-04-01T00:00:00" Checksum="AB"/></PrevPunch>)");
    ASSERT_FALSE(import(pollFile(lines({";Abort 04/26/07 08:17", Rec().bytes(), "short"}))));
    EXPECT_EQ(count("IMPORT"), 0);
    EXPECT_EQ(count("AccessPunch"), 0);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(registerRows(), 1);
    EXPECT_TRUE(readFile(QStringLiteral("app/PrevPunch.xml")).contains("2007-04-01T00:00:00"));

    // Further down the file it is a comment like any other.
    EXPECT_TRUE(import(pollFile(lines({Rec().bytes(), ";Abort"}))));
    EXPECT_EQ(count("IMPORT"), 1);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(PollImportTest, BadLinesAreReportedOneByOneAndSkipped) {
    Rec a, b;
    b.seq = "0002";
    QByteArray commented = Rec().bytes();
    commented[40] = ';';
    ASSERT_TRUE(import(pollFile(
        lines({"; header line", a.bytes(), a.bytes().left(57), "", commented, b.bytes() + " ", b.bytes()}))));
    EXPECT_EQ(count("IMPORT"), 2);
    ASSERT_EQ(boxes.shown().size(), 3u);
    for (const auto &box : boxes.shown()) {
        EXPECT_EQ(box.title, QStringLiteral("INVALID BUFFER"));
        EXPECT_EQ(box.prompt, kBadPrompt);
        EXPECT_EQ(box.buttons, 48);
    }
    const QString text = log();
    EXPECT_TRUE(text.contains(QStringLiteral("modImportToPunch:Procedure_blnImportPollFile ") +
                              QString::fromLatin1(a.bytes().left(57))))
        << text.toStdString();
}

TEST_F(PollImportTest, FilesWithoutRecords) {
    EXPECT_TRUE(import(pollFile(QByteArray())));
    EXPECT_TRUE(
        import(pollFile(lines({"; comment", "; another ;", ";Abort later? no, a comment"}) + "; last")));
    EXPECT_EQ(count("IMPORT"), 0);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(PollImportTest, FilesThatCannotBeReadGiveFalseAndAClearMessage) {
    EXPECT_FALSE(import(path(QStringLiteral("polllogs/nothing-here.7}01"))));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("ERROR"));
    EXPECT_EQ(boxes.shown()[0].buttons, 65);
    EXPECT_TRUE(boxes.shown()[0].prompt.startsWith(QStringLiteral("File not found: ")));
    EXPECT_TRUE(log().contains(QStringLiteral("Procedure_blnImportPollFile ?")));

    boxes.clear();
    EXPECT_FALSE(import(path(QStringLiteral("polllogs"))));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_TRUE(boxes.shown()[0].prompt.contains(QStringLiteral("folder")));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("app/PrevPunch.xml")))) << "the register was never opened";

    if (geteuid() != 0) { // root reads any file
        const QString locked = pollFile(lines({Rec().bytes()}));
        QFile::setPermissions(locked, QFileDevice::WriteOwner);
        boxes.clear();
        EXPECT_FALSE(import(locked));
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_TRUE(boxes.shown()[0].prompt.contains(QStringLiteral("cannot be opened")));
    }
    EXPECT_EQ(count("IMPORT"), 0);
}

TEST_F(PollImportTest, GarbageAndEndlessLinesAreBadLinesNotFailures) {
    QByteArray garbage;
    quint32 x = 12345;
    for (int i = 0; i < 20000; ++i) {
        x = x * 1103515245u + 12345u;
        garbage.append(char(x >> 24));
    }
    EXPECT_TRUE(import(pollFile(garbage)));
    EXPECT_FALSE(boxes.shown().empty());
    for (const auto &box : boxes.shown())
        EXPECT_TRUE(box.title == QStringLiteral("INVALID BUFFER") ||
                    box.title == QStringLiteral("Horalis Error"))
            << box.title.toStdString();

    boxes.clear();
    QFile::remove(path(QStringLiteral("logs/QX8log.txt")));
    const QByteArray endless(3 * 1024 * 1024, '7');
    EXPECT_TRUE(import(pollFile(lines({Rec().bytes()}) + endless)));
    EXPECT_EQ(count("IMPORT"), 1);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("INVALID BUFFER"));
    const QString text = log();
    EXPECT_LT(text.size(), 4000) << "the log gets the start of the line, not all of it";
    EXPECT_TRUE(text.contains(QStringLiteral("(3145728 characters)")));
}

TEST_F(PollImportTest, ARecordThatCannotBeDecodedIsReportedAndSkipped) {
    db().execute(QStringLiteral(R"(UPDATE "TCRULES" SET "IdDigits" = 11)"));
    reloadRules();
    Rec b;
    b.seq = "0002";
    EXPECT_TRUE(import(pollFile(lines({Rec().bytes(), b.bytes()}))));
    EXPECT_EQ(count("IMPORT"), 0);
    EXPECT_EQ(boxes.count(QStringLiteral("Horalis Error")), 2);
    EXPECT_TRUE(log().contains(QStringLiteral("modImportToPunch:Procedure_ProcessPollLogEntry")));
}

TEST_F(PollImportTest, ATransferErrorIsReportedOnceAndTheOtherEntriesGoOn) {
    db().execute(QStringLiteral(R"(DROP TABLE "AccessPunch")"));
    std::vector<QByteArray> recs;
    for (int i = 0; i < 6; ++i) {
        Rec r;
        r.seq = "000" + QByteArray::number(i);
        r.badge = i % 2 ? "9999" : "1234"; // odd: access events, which fail
        recs.push_back(r.bytes());
    }
    EXPECT_TRUE(import(pollFile(lines({recs[0], recs[1], recs[2], recs[3], recs[4], recs[5]}))));
    EXPECT_EQ(count("IMPORT"), 3);
    ASSERT_EQ(boxes.shown().size(), 1u);
    const auto &box = boxes.shown()[0];
    EXPECT_EQ(box.title, QStringLiteral("ERROR READING PUNCHES"));
    EXPECT_EQ(box.buttons, 65);
    EXPECT_TRUE(box.prompt.startsWith(QStringLiteral(
        "You may have corrupt punch data.  You may be missing at least 1 punch(s).  Horalis will attempt to "
        "correct this problem but you should look at your reports carefully.\r\r")))
        << box.prompt.toStdString();
    EXPECT_TRUE(box.prompt.endsWith(QStringLiteral(" (Line: 2)"))) << box.prompt.toStdString();
    EXPECT_EQ(log().count(QStringLiteral("Nte ")), 2) << "the later failures are noted in the log";
}

namespace {
// A message face that fails while the lines are read.
class FailingFace : public ScriptedMessageBox {
public:
    int show(const QString &title, const QString &prompt, int buttons, int helpId) override {
        if (title == QStringLiteral("INVALID BUFFER"))
            throw HxError(QStringLiteral("The display is gone."));
        return ScriptedMessageBox::show(title, prompt, buttons, helpId);
    }
};
} // namespace

TEST_F(PollImportTest, AnErrorWhileReadingTheLinesIsAFailure) {
    FailingFace face;
    setMessageBoxFace(&face);
    EXPECT_FALSE(import(pollFile(lines({Rec().bytes(), "bad"}))));
    EXPECT_EQ(count("IMPORT"), 0);
    ASSERT_EQ(face.shown().size(), 1u);
    EXPECT_EQ(face.shown()[0].title, QStringLiteral("ERROR"));
    EXPECT_EQ(face.shown()[0].prompt, QStringLiteral("The display is gone."));
    EXPECT_EQ(registerRows(), 1) << "the register is saved on this path too";
}

TEST_F(PollImportTest, WithoutADatabaseNothingIsRead) {
    const QString file = pollFile(lines({Rec().bytes()}));
    gConn.reset();
    EXPECT_FALSE(import(file));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("ERROR"));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("app/PrevPunch.xml"))));
}

TEST_F(PollImportTest, ADamagedRegisterIsKeptAsideAndTheImportGoesOn) {
    const QByteArray damaged("\x00\x01 not a register", 17);
    writeFile(QStringLiteral("app/PrevPunch.xml"), damaged);
    ASSERT_TRUE(import(pollFile(lines({Rec().bytes()}))));
    EXPECT_EQ(count("IMPORT"), 1);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("Horalis Error"));
    EXPECT_TRUE(boxes.shown()[0].prompt.contains(QStringLiteral("PrevPunch-damaged-20070426-171700.xml")));
    EXPECT_TRUE(log().contains(QStringLiteral("Procedure_CreatePollLogRecordset")));
    EXPECT_EQ(readFile(QStringLiteral("app/PrevPunch-damaged-20070426-171700.xml")), damaged);
    EXPECT_EQ(registerRows(), 1);
}

namespace {
struct ProgressRecorder : ProgressBarElement, MessageListElement {
    QStringList events;
    void setMinimum(int) override {}
    void setMaximum(int v) override { events << QStringLiteral("max %1").arg(v); }
    void setValue(int v) override { events << QStringLiteral("value %1").arg(v); }
    void setVisible(bool v) override { events << (v ? QStringLiteral("show") : QStringLiteral("hide")); }
    void addEntry(const QString &text) override { events << text; }
};
} // namespace

TEST_F(PollImportTest, ProgressOfBothStagesInOrder) {
    ProgressRecorder rec;
    auto message = std::make_shared<clsMessage>();
    message->setProProgressBar(&rec);
    message->setLstUIMessageList(&rec);
    rec.events.clear();
    Rec b;
    b.seq = "0002";
    ASSERT_TRUE(blnImportPollFile(pollFile(lines({Rec().bytes(), "; comment", b.bytes()})), message, true));
    const QStringList expected = {QStringLiteral("max 3"),
                                  QStringLiteral("value 0"),
                                  QStringLiteral("max 3"),
                                  QStringLiteral("show"),
                                  QStringLiteral("Importing Poll Log File"),
                                  QStringLiteral("value 1"),
                                  QStringLiteral("value 2"),
                                  QStringLiteral("value 3"),
                                  QStringLiteral("max 3"),
                                  QStringLiteral("hide"),
                                  QStringLiteral("max 2"),
                                  QStringLiteral("value 0"),
                                  QStringLiteral("max 2"),
                                  QStringLiteral("show"),
                                  QStringLiteral("Transferring Data to Import Table"),
                                  QStringLiteral("value 1"),
                                  QStringLiteral("value 2"),
                                  QStringLiteral("max 2"),
                                  QStringLiteral("hide")};
    EXPECT_EQ(rec.events, expected) << rec.events.join(QStringLiteral(" | ")).toStdString();
    message->setProProgressBar(nullptr);
    message->setLstUIMessageList(nullptr);
}

namespace {
auto fields(const PollLogEntry &e) {
    return std::make_tuple(e.Clock, e.Badge, e.Employee, e.PunchDate, e.PunchTime, e.InOut, e.DeptNum, e.DeptName,
                           e.DataFieldEnter, e.Job, e.Task, e.PunchType, e.Overide, e.Excused, e.Edited,
                           e.AccessControl, e.TimeAndAttend, e.AccessSequence, e.AccessType, e.AccessFailString);
}
} // namespace

TEST(PollLogRecordsetTest, RowsBeyondMemoryComeBackWholeAndInOrder) {
    PollLogRecordset rs(3);
    EXPECT_FALSE(blnHasRecords(rs));
    EXPECT_THROW(rs.addNew(PollLogEntry()), HxError) << "a closed recordset takes no rows";
    rs.open();
    EXPECT_FALSE(blnHasRecords(rs));
    auto make = [](int i) {
        PollLogEntry e;
        e.Clock = i;
        e.Badge = 1000 + i;
        e.Employee = -i;
        e.PunchDate = 39198 + i;
        e.PunchTime = i / 1440.0;
        e.InOut = QString(QChar(char16_t(200 + i)));
        e.DeptNum = i * 3;
        e.DeptName = i % 2 ? QStringLiteral("UNKNOWN") : QString(QChar(u'\0')) + QStringLiteral("x\r");
        e.DataFieldEnter = i % 2;
        e.Job = i * 1.25;
        e.Task = -i * 0.01;
        e.PunchType = i % 4;
        e.Overide = -(i % 3);
        e.Excused = -(i % 2);
        e.Edited = -((i + 1) % 2);
        e.AccessControl = i % 3 == 0;
        e.TimeAndAttend = i % 3 != 0;
        e.AccessSequence = QString::number(i).rightJustified(4, QLatin1Char('0'));
        e.AccessType = QStringLiteral(" ");
        e.AccessFailString = QStringLiteral("00") + QString::number(i % 100);
        return e;
    };
    for (int i = 0; i < 10; ++i)
        rs.addNew(make(i));
    EXPECT_EQ(rs.recordCount(), 10);
    for (int pass = 0; pass < 2; ++pass) {
        auto cursor = rs.walk();
        PollLogEntry got;
        for (int i = 0; i < 10; ++i) {
            ASSERT_TRUE(cursor.next(got)) << i;
            EXPECT_EQ(fields(got), fields(make(i))) << i;
        }
        EXPECT_FALSE(cursor.next(got));
    }
    rs.close();
    EXPECT_EQ(rs.recordCount(), 0);
    PollLogEntry none;
    EXPECT_FALSE(rs.walk().next(none));
}

TEST_F(PollImportTest, ALargeFileIsTransferredInFileOrderThroughTheOverflow) {
    rsPollLog.setRowsInMemory(2);
    QByteArray content;
    for (int i = 0; i < 7; ++i) {
        Rec r;
        r.seq = "000" + QByteArray::number(i);
        r.minute = 10 + i;
        r.badge = i % 2 ? "5555" : "1234";
        content += r.bytes() + "\r\n";
    }
    const bool ok = import(pollFile(content));
    rsPollLog.setRowsInMemory(PollLogRecordset::kDefaultRowsInMemory);
    ASSERT_TRUE(ok);
    Recordset rs = importRows();
    ASSERT_EQ(rs.recordCount(), 7);
    for (int i = 0; i < 7; ++i, rs.moveNext())
        EXPECT_EQ(rs.value(u"IN TIME").toString(), QStringLiteral("08:%1:00").arg(10 + i));
    EXPECT_EQ(count("AccessPunch"), 3);
}
