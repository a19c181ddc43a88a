// The main log's bytes, entry by entry, and the boxes that go with them.
#include "component/modGlobal.h"
#include "messages/LogFiles.h"
#include "messages/MessageBox.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

using namespace hx;

namespace {
const QByteArray kSep = "--------------------------------------\r\n";

class LogFilesTest : public hx::test::SiteTest {
protected:
    QByteArray log() const { return readFile(QStringLiteral("logs/QX8log.txt")); }
    QByteArray header(const QByteArray &valio = "True") const {
        return "         Date: 04/26/2007\r\n     Log Path: " + path(QStringLiteral("logs")).toUtf8() +
               "/\r\n     TC Rules: VALIO          = " + valio + "\r\n" + kSep;
    }
};
} // namespace

TEST_F(LogFilesTest, FirstEntryBringsTheHeaderAndTheSecondDoesNot) {
    subLogNote(QStringLiteral("modImportToPunch"), QStringLiteral("line one\r\nline two\tend"));
    const QByteArray note = " When: 04/26/2007 05:17 PM\r\n"
                            "Where: modImportToPunch:\r\n"
                            " What: Nte 'line one||line two|end'\r\n" +
                            kSep;
    EXPECT_EQ(log(), header() + note);

    setNow(QStringLiteral("2007-04-27 00:05:00"));
    subLogNote(QStringLiteral("frmPollLog"), QStringLiteral("second"));
    EXPECT_EQ(log(), header() + note +
                         " When: 04/27/2007 12:05 AM\r\nWhere: frmPollLog:\r\n What: Nte 'second'\r\n" +
                         kSep);
}

TEST_F(LogFilesTest, MessageEntryJoinsKindAndProcedureAndRecordsTheAnswer) {
    boxes.pushAnswer(Answer::No);
    EXPECT_EQ(intShowMessage(QStringLiteral("modImportToPunch"), QStringLiteral("procedure"),
                             QStringLiteral("InsertSchedules"), QStringLiteral("step 3"),
                             QStringLiteral("Question"), QStringLiteral("Go on?"),
                             Buttons::YesNo | Buttons::Question, 12),
              Answer::No);
    EXPECT_EQ(log(), header() +
                         " When: 04/26/2007 05:17 PM\r\n"
                         "Where: modImportToPunch:procedure_InsertSchedules step 3\r\n"
                         " What: Msg 'Go on?'\r\n"
                         "Other: Response=No HelpID=12\r\n" +
                         kSep);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("Question"));
    EXPECT_EQ(boxes.shown()[0].buttons, Buttons::YesNo | Buttons::Question);
    EXPECT_EQ(boxes.shown()[0].helpId, 12);
}

TEST_F(LogFilesTest, WhereLineForEachKindOfProcedure) {
    struct Case {
        const char *kind;
        const char *where;
    };
    const Case cases[] = {
        {"Procedure", "Where: modImportToPunch:Procedure_Go detail"},
        {"PROCEDURE", "Where: modImportToPunch:PROCEDURE_Go detail"},
        {"Method", "Where: modImportToPunch:Method Go detail"},
        {"", "Where: modImportToPunch:_Go detail"},
    };
    for (const Case &c : cases) {
        QFile::remove(path(QStringLiteral("logs/QX8log.txt")));
        intShowMessage(QStringLiteral("modImportToPunch"), QString::fromLatin1(c.kind), QStringLiteral("Go"),
                       QStringLiteral("detail"), QStringLiteral("T"), QStringLiteral("P"), Buttons::OkOnly,
                       0);
        const QList<QByteArray> lines = log().split('\n');
        ASSERT_GT(lines.size(), 6);
        EXPECT_EQ(lines[5], QByteArray(c.where) + "\r") << c.kind;
        // Answered OK (1): the answer is always recorded.
        EXPECT_EQ(lines[7], QByteArray("Other: Response=Ok\r")) << c.kind;
    }
}

TEST_F(LogFilesTest, ErrorEntryAndErrorBox) {
    subReportError(QStringLiteral("clsUser"), QStringLiteral("Method"), QStringLiteral("GetUser"),
                   QStringLiteral("badge 12"), HxError(QStringLiteral("Invalid procedure call"), 5));
    EXPECT_EQ(log(), header() +
                         " When: 04/26/2007 05:17 PM\r\n"
                         "Where: clsUser:Method GetUser badge 12\r\n"
                         " What: Err 'Invalid procedure call'\r\n"
                         "Other: ErrCode=5\r\n" +
                         kSep);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("Horalis Error"));
    EXPECT_EQ(boxes.shown()[0].buttons, 48);
    EXPECT_EQ(boxes.shown()[0].prompt,
              QStringLiteral("An error has occurred.  Please notate the following error "
                             "message for support purposes.\r\n(Invalid procedure call)"));

    // A negative (database) number gives no "Other:" line.
    subReportError(QStringLiteral("frmPollLog"), QStringLiteral("Procedure"), QStringLiteral("Form_Load"),
                   QString(), HxError(QStringLiteral("Disk or network error."), ErrNo::Database));
    EXPECT_TRUE(log().endsWith(" When: 04/26/2007 05:17 PM\r\n"
                               "Where: frmPollLog:Procedure_Form_Load \r\n"
                               " What: Err 'Disk or network error.'\r\n" +
                               kSep));
}

TEST_F(LogFilesTest, MessageDefaultsForTitleButtonsAndHelp) {
    intShowMessage(QStringLiteral("frmPollLog"), QStringLiteral("Procedure"), QStringLiteral("cmdImport"),
                   QString(), QString(), QStringLiteral("Nothing selected."), 0, -3);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("Horalis Message"));
    EXPECT_EQ(boxes.shown()[0].buttons, Buttons::Exclamation);
    EXPECT_EQ(boxes.shown()[0].helpId, 0);
    EXPECT_TRUE(log().endsWith(" What: Msg 'Nothing selected.'\r\nOther: Response=Ok\r\n" + kSep));

    // The import procedures' shorthand: "ERROR", OK and Cancel with the
    // information symbol; the safe answer Cancel is recorded.
    reportImportError(QStringLiteral("InsertSchedules"), QStringLiteral("select * from SCHEDULE"),
                      QStringLiteral("No value given"));
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[1].title, QStringLiteral("ERROR"));
    EXPECT_EQ(boxes.shown()[1].prompt, QStringLiteral("No value given"));
    EXPECT_EQ(boxes.shown()[1].buttons, 65);
    EXPECT_TRUE(log().endsWith("Where: modImportToPunch:Procedure_InsertSchedules select * from SCHEDULE\r\n"
                               " What: Msg 'No value given'\r\n"
                               "Other: Response=Cancel\r\n" +
                               kSep));
}

TEST_F(LogFilesTest, OtherLineCombinations) {
    subWriteLogEntry(QStringLiteral("M"), QStringLiteral("m"), QStringLiteral("t"), 6, 12, 0,
                     QStringLiteral("p"), QString(), QString());
    EXPECT_TRUE(log().endsWith("Other: Response=Yes HelpID=12\r\n" + kSep));
    subWriteLogEntry(QStringLiteral("E"), QStringLiteral("m"), QStringLiteral("t"), 2, 7, 53,
                     QStringLiteral("p"), QString(), QString());
    EXPECT_TRUE(log().endsWith("Other: Response=Cancel ErrCode=53 HelpID=7\r\n" + kSep));
    subWriteLogEntry(QStringLiteral("E"), QStringLiteral("m"), QStringLiteral("t"), 9, 0, -5,
                     QStringLiteral("p"), QString(), QString());
    EXPECT_TRUE(log().endsWith(" What: Err 't'\r\n" + kSep)); // unknown answer, negative number, no help
    subWriteLogEntry(QStringLiteral("N"), QStringLiteral("m"), QStringLiteral("t"), 0, 0, 0,
                     QStringLiteral("p"), QStringLiteral("Method"), QStringLiteral("d"));
    EXPECT_TRUE(log().endsWith("Where: m:Method\r\n What: Nte 't'\r\n" + kSep)); // a note ends after the kind
}

TEST_F(LogFilesTest, HeaderRulesLineFollowsTheTable) {
    db().execute(QStringLiteral("UPDATE \"TCRULES\" SET \"VALIO\" = ?"), {db().boolean(false)});
    subLogNote(QStringLiteral("m"), QStringLiteral("a"));
    EXPECT_TRUE(log().startsWith(header("False")));

    // Without a readable rules table the line ends in "= ".
    QFile::remove(path(QStringLiteral("logs/QX8log.txt")));
    db().execute(QStringLiteral("DROP TABLE \"TCRULES\""));
    subLogNote(QStringLiteral("m"), QStringLiteral("a"));
    EXPECT_TRUE(log().startsWith(header("")));

    QFile::remove(path(QStringLiteral("logs/QX8log.txt")));
    gConn.reset();
    subLogNote(QStringLiteral("m"), QStringLiteral("a"));
    EXPECT_TRUE(log().startsWith(header("")));
}

TEST_F(LogFilesTest, AnEmptyFileGetsTheHeaderAndAMovedFolderItsOwnLog) {
    writeFile(QStringLiteral("logs/QX8log.txt"), QByteArray());
    subLogNote(QStringLiteral("m"), QStringLiteral("a"));
    EXPECT_TRUE(log().startsWith(header()));

    QDir(dir.path()).mkpath(QStringLiteral("logs2"));
    subSetErrorLogPath(path(QStringLiteral("logs2/")));
    subLogNote(QStringLiteral("m"), QStringLiteral("b"));
    const QByteArray second = readFile(QStringLiteral("logs2/QX8log.txt"));
    EXPECT_TRUE(second.startsWith(
        "         Date: 04/26/2007\r\n     Log Path: " + path(QStringLiteral("logs2")).toUtf8() + "/\r\n"));
    EXPECT_EQ(second.count(kSep), 2);
    EXPECT_EQ(log().count(kSep), 2); // the first log did not grow
}

TEST_F(LogFilesTest, AnUnwritableFolderLosesTheEntryButNotTheAnswer) {
    subSetErrorLogPath(path(QStringLiteral("no/such/folder")));
    boxes.pushAnswer(Answer::Yes);
    EXPECT_EQ(intShowMessage(QStringLiteral("m"), QString(), QStringLiteral("p"), QString(), QString(),
                             QStringLiteral("Still asked?"), Buttons::YesNo, 0),
              Answer::Yes);
    EXPECT_EQ(boxes.shown().size(), 1u);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("no/such/folder/QX8log.txt"))));
    EXPECT_EQ(strLogFilePath(), path(QStringLiteral("no/such/folder/QX8log.txt")));
}
