// The main log's bytes, entry by entry, and the boxes that go with them.
#include "component/modGlobal.h"
#include "messages/LogFiles.h"
#include "messages/MessageBox.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

using namespace hx;
using namespace Qt::Literals::StringLiterals;

namespace {
const QByteArray kSep = "--------------------------------------\r\n";
const QByteArray kWhen = " When: 04/26/2007 05:17 PM\r\n";

class LogFilesTest : public hx::test::SiteTest {
protected:
    QByteArray log() const { return readFile(u"logs/QX8log.txt"_s); }
    QByteArray header(const QByteArray &valio = "True", const char *folder = "logs") const {
        return "         Date: 04/26/2007\r\n     Log Path: " + path(QLatin1String(folder)).toUtf8() +
               "/\r\n     TC Rules: VALIO          = " + valio + "\r\n" + kSep;
    }
};
} // namespace

TEST_F(LogFilesTest, FirstEntryBringsTheHeaderAndTheNextDoesNot) {
    subLogNote(u"modImportToPunch"_s, u"line one\r\nline two\tend"_s);
    const QByteArray note = kWhen + "Where: modImportToPunch:\r\n What: Nte 'line one||line two|end'\r\n" + kSep;
    EXPECT_EQ(log(), header() + note);

    setNow(u"2007-04-27 00:05:00"_s);
    boxes.pushAnswer(Answer::No);
    EXPECT_EQ(intShowMessage(u"modImportToPunch"_s, u"procedure"_s, u"InsertSchedules"_s, u"step 3"_s,
                             u"Question"_s, u"Go on?"_s, Buttons::YesNo | Buttons::Question, 12),
              Answer::No);
    EXPECT_EQ(log(), header() + note +
                         " When: 04/27/2007 12:05 AM\r\nWhere: modImportToPunch:procedure_InsertSchedules step 3\r\n"
                         " What: Msg 'Go on?'\r\nOther: Response=No HelpID=12\r\n" +
                         kSep);
}

TEST_F(LogFilesTest, ErrorEntryMessageDefaultsAndTheImportShorthand) {
    subReportError(u"clsUser"_s, u"Method"_s, u"GetUser"_s, u"badge 12"_s,
                   HxError(u"Invalid procedure call"_s, 5));
    EXPECT_EQ(log(), header() + kWhen +
                         "Where: clsUser:Method GetUser badge 12\r\n What: Err 'Invalid procedure call'\r\n"
                         "Other: ErrCode=5\r\n" +
                         kSep);
    intShowMessage(u"frmPollLog"_s, u"Procedure"_s, u"cmdImport"_s, QString(), QString(), u"Nothing selected."_s, 0, -3);
    // "ERROR", OK and Cancel with the information symbol; the safe answer Cancel is recorded.
    reportImportError(u"InsertSchedules"_s, u"select * from SCHEDULE"_s, u"No value given"_s);
    EXPECT_TRUE(log().endsWith("Where: modImportToPunch:Procedure_InsertSchedules select * from SCHEDULE\r\n"
                               " What: Msg 'No value given'\r\nOther: Response=Cancel\r\n" +
                               kSep));
    // {title, prompt, buttons, help}
    const std::tuple<QString, QString, int, int> expected[] = {
        {u"Horalis Error"_s,
         u"An error has occurred.  Please notate the following error message for support purposes.\r\n"
         "(Invalid procedure call)"_s,
         48, 0},
        {u"Horalis Message"_s, u"Nothing selected."_s, Buttons::Exclamation, 0},
        {u"ERROR"_s, u"No value given"_s, 65, 0},
    };
    ASSERT_EQ(boxes.shown().size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const auto &b = boxes.shown()[i];
        EXPECT_EQ(std::tuple(b.title, b.prompt, b.buttons, b.helpId), expected[i]) << i;
    }
}

TEST_F(LogFilesTest, HeaderFollowsTheRulesTableAndTheFolder) {
    db().execute(u"UPDATE \"TCRULES\" SET \"VALIO\" = ?"_s, {db().boolean(false)});
    subLogNote(u"m"_s, u"a"_s);
    EXPECT_TRUE(log().startsWith(header("False")));
    // A moved folder gets its own log and the first does not grow; without a connection the line ends in "= ".
    gConn.reset();
    QDir(dir.path()).mkpath(u"logs2"_s);
    subSetErrorLogPath(path(u"logs2/"_s));
    subLogNote(u"m"_s, u"b"_s);
    EXPECT_TRUE(readFile(u"logs2/QX8log.txt"_s).startsWith(header("", "logs2")));
    EXPECT_EQ(log().count(kSep), 2); // the header and the one entry
}

TEST_F(LogFilesTest, ControlCharactersInEveryFieldStayOnTheirLine) {
    // A file name with a line break must not be able to write an entry of its own.
    boxes.pushAnswer(Answer::Ok);
    intShowMessage(u"mod\r\nule"_s, u"Method\r\n"_s, u"Go\r\n When: 01/01/2000 01:00 AM"_s,
                   u"x.}01\r\n What: Err 'forged'\r\n"_s + kSep.trimmed(), u"T"_s, u"a\nb\x1f"_s, Buttons::OkOnly, 0);
    EXPECT_EQ(log(), header() + kWhen +
                         "Where: mod||ule:Method|| Go|| When: 01/01/2000 01:00 AM x.}01|| What: Err 'forged'||" +
                         kSep.trimmed() + "\r\n What: Msg 'a|b|'\r\nOther: Response=Ok\r\n" + kSep);
}
