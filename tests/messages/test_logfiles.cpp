// The main log's bytes, entry by entry, and the boxes that go with them.
#include "component/modGlobal.h"
#include "messages/LogFiles.h"
#include "messages/MessageBox.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>

using namespace hx;

namespace {
const QByteArray kSep = "--------------------------------------\r\n";

class LogFilesTest : public hx::test::SiteTest {
protected:
    QByteArray log() const { return readFile(QStringLiteral("logs/QX8log.txt")); }
    QByteArray header(const QByteArray &valio = "True", const char *folder = "logs") const {
        return "         Date: 04/26/2007\r\n     Log Path: " + path(QLatin1String(folder)).toUtf8() +
               "/\r\n     TC Rules: VALIO          = " + valio + "\r\n" + kSep;
    }
    void restart() { QFile::remove(path(QStringLiteral("logs/QX8log.txt"))); }
};
} // namespace

TEST_F(LogFilesTest, FirstEntryBringsTheHeaderAndTheNextDoesNot) {
    subLogNote(QStringLiteral("modImportToPunch"), QStringLiteral("line one\r\nline two\tend"));
    const QByteArray note = " When: 04/26/2007 05:17 PM\r\nWhere: modImportToPunch:\r\n"
                            " What: Nte 'line one||line two|end'\r\n" +
                            kSep;
    EXPECT_EQ(log(), header() + note);

    setNow(QStringLiteral("2007-04-27 00:05:00"));
    boxes.pushAnswer(Answer::No);
    EXPECT_EQ(intShowMessage(QStringLiteral("modImportToPunch"), QStringLiteral("procedure"),
                             QStringLiteral("InsertSchedules"), QStringLiteral("step 3"),
                             QStringLiteral("Question"), QStringLiteral("Go on?"),
                             Buttons::YesNo | Buttons::Question, 12),
              Answer::No);
    EXPECT_EQ(log(),
              header() + note +
                  " When: 04/27/2007 12:05 AM\r\nWhere: modImportToPunch:procedure_InsertSchedules step 3\r\n"
                  " What: Msg 'Go on?'\r\nOther: Response=No HelpID=12\r\n" +
                  kSep);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("Question"));
    EXPECT_EQ(boxes.shown()[0].buttons, Buttons::YesNo | Buttons::Question);
    EXPECT_EQ(boxes.shown()[0].helpId, 12);
}

TEST_F(LogFilesTest, WhereAndOtherLines) {
    // The kind joins the procedure with "_" unless it is "Method".
    for (const auto &[kind, where] :
         {std::pair{"Procedure", "Where: m:Procedure_Go detail\r"},
          std::pair{"Method", "Where: m:Method Go detail\r"}, std::pair{"", "Where: m:_Go detail\r"}}) {
        restart();
        intShowMessage(QStringLiteral("m"), QLatin1String(kind), QStringLiteral("Go"),
                       QStringLiteral("detail"), QStringLiteral("T"), QStringLiteral("P"), Buttons::OkOnly,
                       0);
        const QList<QByteArray> lines = log().split('\n');
        ASSERT_GT(lines.size(), 7);
        EXPECT_EQ(lines[5], QByteArray(where)) << kind;
        EXPECT_EQ(lines[7], QByteArray("Other: Response=Ok\r")) << kind; // the answer is always recorded
    }
    const struct {
        const char *type;
        int answer, help, err;
        const char *tail;
    } rows[] = {
        {"M", 6, 12, 0, "Other: Response=Yes HelpID=12\r\n"},
        {"E", 2, 7, 53, "Other: Response=Cancel ErrCode=53 HelpID=7\r\n"},
        {"E", 9, 0, -5, " What: Err 't'\r\n"}, // unknown answer, database (negative) number, no help
    };
    for (const auto &r : rows) {
        subWriteLogEntry(QLatin1String(r.type), QStringLiteral("m"), QStringLiteral("t"), r.answer, r.help,
                         r.err, QStringLiteral("p"), QString(), QString());
        EXPECT_TRUE(log().endsWith(r.tail + kSep)) << r.tail;
    }
    subWriteLogEntry(QStringLiteral("N"), QStringLiteral("m"), QStringLiteral("t"), 0, 0, 0,
                     QStringLiteral("p"), QStringLiteral("Method"), QStringLiteral("d"));
    EXPECT_TRUE(log().endsWith("Where: m:Method\r\n What: Nte 't'\r\n" + kSep)); // a note ends after the kind
}

TEST_F(LogFilesTest, ErrorEntryAndErrorBox) {
    subReportError(QStringLiteral("clsUser"), QStringLiteral("Method"), QStringLiteral("GetUser"),
                   QStringLiteral("badge 12"), HxError(QStringLiteral("Invalid procedure call"), 5));
    EXPECT_EQ(log(), header() +
                         " When: 04/26/2007 05:17 PM\r\nWhere: clsUser:Method GetUser badge 12\r\n"
                         " What: Err 'Invalid procedure call'\r\nOther: ErrCode=5\r\n" +
                         kSep);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("Horalis Error"));
    EXPECT_EQ(boxes.shown()[0].buttons, 48);
    EXPECT_EQ(boxes.shown()[0].prompt,
              QStringLiteral("An error has occurred.  Please notate the following error "
                             "message for support purposes.\r\n(Invalid procedure call)"));
}

TEST_F(LogFilesTest, MessageDefaultsAndTheImportShorthand) {
    intShowMessage(QStringLiteral("frmPollLog"), QStringLiteral("Procedure"), QStringLiteral("cmdImport"),
                   QString(), QString(), QStringLiteral("Nothing selected."), 0, -3);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("Horalis Message"));
    EXPECT_EQ(boxes.shown()[0].buttons, Buttons::Exclamation);
    EXPECT_EQ(boxes.shown()[0].helpId, 0);

    // "ERROR", OK and Cancel with the information symbol; the safe answer Cancel is recorded.
    reportImportError(QStringLiteral("InsertSchedules"), QStringLiteral("select * from SCHEDULE"),
                      QStringLiteral("No value given"));
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[1].title, QStringLiteral("ERROR"));
    EXPECT_EQ(boxes.shown()[1].prompt, QStringLiteral("No value given"));
    EXPECT_EQ(boxes.shown()[1].buttons, 65);
    EXPECT_TRUE(log().endsWith("Where: modImportToPunch:Procedure_InsertSchedules select * from SCHEDULE\r\n"
                               " What: Msg 'No value given'\r\nOther: Response=Cancel\r\n" +
                               kSep));
}

TEST_F(LogFilesTest, HeaderFollowsTheRulesTableAndTheFolder) {
    db().execute(QStringLiteral("UPDATE \"TCRULES\" SET \"VALIO\" = ?"), {db().boolean(false)});
    subLogNote(QStringLiteral("m"), QStringLiteral("a"));
    EXPECT_TRUE(log().startsWith(header("False")));
    // Without a readable rules table the line ends in "= "; an empty file also gets the header.
    writeFile(QStringLiteral("logs/QX8log.txt"), QByteArray());
    db().executeScript(QStringLiteral("DROP TABLE \"TCRULES\";"));
    subLogNote(QStringLiteral("m"), QStringLiteral("a"));
    EXPECT_TRUE(log().startsWith(header("")));
    // A moved folder gets its own log and the first does not grow; no connection gives "= " too.
    gConn.reset();
    QDir(dir.path()).mkpath(QStringLiteral("logs2"));
    subSetErrorLogPath(path(QStringLiteral("logs2/")));
    subLogNote(QStringLiteral("m"), QStringLiteral("b"));
    EXPECT_TRUE(readFile(QStringLiteral("logs2/QX8log.txt")).startsWith(header("", "logs2")));
    EXPECT_EQ(log().count(kSep), 2);
}

TEST_F(LogFilesTest, AnUnwritableFolderLosesTheEntryButNotTheAnswer) {
    subSetErrorLogPath(path(QStringLiteral("no/such/folder")));
    boxes.pushAnswer(Answer::Yes);
    EXPECT_EQ(intShowMessage(QStringLiteral("m"), QString(), QStringLiteral("p"), QString(), QString(),
                             QStringLiteral("Still asked?"), Buttons::YesNo, 0),
              Answer::Yes);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("no/such/folder/QX8log.txt"))));
}

TEST_F(LogFilesTest, ControlCharactersInEveryFieldStayOnTheirLine) {
    // A file name with a line break must not be able to write an entry of its own.
    boxes.pushAnswer(Answer::Ok);
    intShowMessage(QStringLiteral("mod\r\nule"), QStringLiteral("Method\r\n"),
                   QStringLiteral("Go\r\n When: 01/01/2000 01:00 AM"),
                   QStringLiteral("x.}01\r\n What: Err 'forged'\r\n") + kSep.trimmed(), QStringLiteral("T"),
                   QStringLiteral("a\nb\x1f"), Buttons::OkOnly, 0);
    EXPECT_EQ(log(),
              header() +
                  " When: 04/26/2007 05:17 PM\r\n"
                  "Where: mod||ule:Method|| Go|| When: 01/01/2000 01:00 AM x.}01|| What: Err 'forged'||" +
                  kSep.trimmed() +
                  "\r\n"
                  " What: Msg 'a|b|'\r\nOther: Response=Ok\r\n" +
                  kSep);
    restart();
    subLogNote(QStringLiteral("a\rb"), QStringLiteral("n"));
    EXPECT_EQ(log(), header() + " When: 04/26/2007 05:17 PM\r\nWhere: a|b:\r\n What: Nte 'n'\r\n" + kSep);
}

TEST_F(LogFilesTest, AnEntryThatCannotBeWrittenIsToldToTheHostsHandler) {
    struct Reset {
        ~Reset() { setLogWriteFailureHandler(nullptr); }
    } reset;
    QStringList told;
    setLogWriteFailureHandler([&](const QString &file, const QString &reason) {
        EXPECT_FALSE(reason.isEmpty());
        told << file;
    });
    // A full disk: the bytes are refused when they are flushed.
    QDir(dir.path()).mkpath(QStringLiteral("full"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), path(QStringLiteral("full/QX8log.txt"))));
    subSetErrorLogPath(path(QStringLiteral("full")));
    subLogNote(QStringLiteral("m"), QStringLiteral("lost"));
    EXPECT_EQ(told, QStringList{path(QStringLiteral("full/QX8log.txt"))});

    // A folder that cannot be written (root writes anywhere but in /proc).
    QDir(dir.path()).mkpath(QStringLiteral("readonly"));
    QFile::setPermissions(path(QStringLiteral("readonly")), QFile::ReadOwner | QFile::ExeOwner);
    const QString readOnly = ::geteuid() == 0 || QFileInfo(path(QStringLiteral("readonly"))).isWritable()
                                 ? QStringLiteral("/proc")
                                 : path(QStringLiteral("readonly"));
    subSetErrorLogPath(readOnly);
    boxes.pushAnswer(Answer::Yes);
    EXPECT_EQ(intShowMessage(QStringLiteral("m"), QString(), QStringLiteral("p"), QString(), QString(),
                             QStringLiteral("Still asked?"), Buttons::YesNo, 0),
              Answer::Yes);
    EXPECT_EQ(told.size(), 2);
    EXPECT_EQ(told.value(1), readOnly + QStringLiteral("/QX8log.txt"));
    QFile::setPermissions(path(QStringLiteral("readonly")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // Without a handler a lost entry is silent, and a written one calls nothing.
    setLogWriteFailureHandler(nullptr);
    subLogNote(QStringLiteral("m"), QStringLiteral("lost quietly"));
    setLogWriteFailureHandler([&](const QString &file, const QString &) { told << file; });
    subSetErrorLogPath(path(QStringLiteral("logs")));
    subLogNote(QStringLiteral("m"), QStringLiteral("written"));
    EXPECT_EQ(told.size(), 2);
    EXPECT_TRUE(log().contains("written"));
}
