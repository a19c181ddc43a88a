// The window's commands from the command line: list, print, view, show and
// import --all, run as a child process on a site.
#include "CliTest.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

using namespace hx;
using namespace hx::test;

namespace {
class WindowCommandsTest : public CliSiteTest {
protected:
    void SetUp() override {
        CliSiteTest::SetUp();
        addEmployees(1, 3);
        db().execute(u"UPDATE \"TCRULES\" SET \"POLL LOG FOR\" = ?"_s, {2});
        const QDate today(2007, 4, 26);
        const QList<QByteArray> pad = {";" + QByteArray(700, '-')};
        morning = demo::pollFileName(QDateTime(today, QTime(9, 0)), 1);
        afternoon = demo::pollFileName(QDateTime(today, QTime(13, 0)), 2);
        empty = demo::pollFileName(QDateTime(today, QTime(11, 0)), 1);
        expired = demo::pollFileName(QDateTime(today.addDays(-3), QTime(9, 0)), 1);
        unknown = demo::pollFileName(QDateTime(today, QTime(10, 0)), 5);
        writePoll(morning, 1, 3, {today.addDays(-2), today.addDays(-1)}, pad);
        writePoll(afternoon, 1, 3, {today}, pad);
        for (const QString &name : {empty, expired, unknown})
            writeFile(u"polllogs/"_s + name, ";nothing\r\n");
    }
    // The text of a PDF, by pdftotext.
    QString pdfText(const QString &file) {
        QProcess p;
        p.start(u"pdftotext"_s, {u"-layout"_s, file, u"-"_s});
        EXPECT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    QString morning, afternoon, empty, expired, unknown;
};

struct EnvironmentVariable {
    EnvironmentVariable(const char *name, const QByteArray &value) : name(name) { qputenv(name, value); }
    ~EnvironmentVariable() { qunsetenv(name); }
    const char *name;
};
} // namespace

TEST_F(WindowCommandsTest, ListPrunesNamesTheDeletedFilesAndPrintsNewestFirst) {
    const Result r = run({u"list"_s, u"--json"_s});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(
        r.err.contains(u"deleted "_s + expired + u": polled 04/23/07 09:00:00 am, more than 2 days ago"_s))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"deleted "_s + unknown + u": clock 5 is not in the CLOCK table"_s));
    EXPECT_FALSE(QFile::exists(path(u"polllogs/"_s + expired)));

    const QJsonArray rows = QJsonDocument::fromJson(r.out.toUtf8()).array();
    ASSERT_EQ(rows.size(), 3);
    const QJsonObject first = rows[0].toObject();
    EXPECT_EQ(first.keys(), (QStringList{u"Approximate Punches"_s, u"Clock Name"_s, u"Clock Number"_s,
                                         u"File Name"_s, u"Poll Date"_s}));
    EXPECT_EQ(first[u"Poll Date"_s].toString(), u"04/26/07 01:00:00 pm"_s);
    EXPECT_EQ(first[u"Clock Name"_s].toString(), u"Clock 2"_s);
    EXPECT_EQ(first[u"Clock Number"_s].toInt(), 2);
    EXPECT_EQ(first[u"File Name"_s].toString(), afternoon);
    EXPECT_EQ(rows[1].toObject()[u"File Name"_s].toString(), empty);
    EXPECT_EQ(rows[2].toObject()[u"Approximate Punches"_s].toInt(), 10);

    const Result text = run({u"list"_s});
    ASSERT_EQ(text.exitCode, 0);
    const QStringList lines = text.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith(u"Poll Date"_s));
    EXPECT_TRUE(lines[1].startsWith(u"04/26/07 01:00:00 pm  Clock 2"_s));
    EXPECT_TRUE(lines[1].endsWith(afternoon));
}

TEST_F(WindowCommandsTest, PrintWritesTheReportAsPdf) {
    const QString pdf = path(u"list.pdf"_s);
    Result r = run({u"print"_s, u"--pdf"_s, pdf});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QString text = pdfText(pdf);
    for (const char *label :
         {"Poll Log Files", "Poll Date & Time", "Clock Name", "Approx. Punches", "File Name", "Page 1 of 1"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(label))) << label << "\n" << text.toStdString();
    // One line per row, in the list's order.
    const qsizetype a = text.indexOf(afternoon), e = text.indexOf(empty), m = text.indexOf(morning);
    EXPECT_TRUE(a >= 0 && a < e && e < m) << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression(u"04/26/07 09:00:00 am\\s+Clock 1\\s+10\\s+"_s + morning)))
        << text.toStdString();

    r = run({u"print"_s, u"--pdf"_s, pdf, u"--hide-empty"_s});
    ASSERT_EQ(r.exitCode, 0);
    text = pdfText(pdf);
    EXPECT_TRUE(text.contains(afternoon));
    EXPECT_FALSE(text.contains(empty));

    EXPECT_EQ(run({u"print"_s}).exitCode, 2);
    EXPECT_EQ(run({u"print"_s, u"--pdf"_s, path(u"no/such/dir/list.pdf"_s)}).exitCode, 1);
}

TEST_F(WindowCommandsTest, ViewStartsTheViewerWithThePathAsOneArgument) {
    const QString viewer =
        writeFile(u"viewer.sh"_s, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > "
                                  "\"$(dirname \"$0\")/viewer-args.tmp\"\n"
                                  "mv \"$(dirname \"$0\")/viewer-args.tmp\" "
                                  "\"$(dirname \"$0\")/viewer-args.txt\"\n");
    QFile::setPermissions(viewer, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString spaced = writeFile(u"poll logs/with space.}01"_s, ";x\r\n");
    const QString quoted = u"\""_s + viewer + u"\""_s;
    // The command is split into words (double quotes group); $VISUAL comes after HXPOLLLOG_VIEWER.
    for (const auto &[command, visual, arguments] :
         {std::tuple{viewer, QString(), QString()},
          std::tuple{quoted + u" -R \"a b\""_s, QString(), u"-R\na b\n"_s},
          std::tuple{QString(), quoted + u" --visual"_s, u"--visual\n"_s},
          std::tuple{viewer, u"no-such-visual"_s, QString()}}) {
        QFile::remove(path(u"viewer-args.txt"_s));
        {
            EnvironmentVariable env("HXPOLLLOG_VIEWER", command.toLocal8Bit());
            EnvironmentVariable vis("VISUAL", visual.toLocal8Bit());
            const Result r = run({u"view"_s, spaced});
            ASSERT_EQ(r.exitCode, 0) << command.toStdString() << r.err.toStdString();
        }
        QDeadlineTimer deadline(10000);
        while (!QFile::exists(path(u"viewer-args.txt"_s)) && !deadline.hasExpired())
            QThread::msleep(20);
        EXPECT_EQ(readFile(u"viewer-args.txt"_s), (arguments + spaced + u"\n"_s).toLocal8Bit())
            << command.toStdString();
    }

    // A viewer that cannot be started is said so, and logged.
    EnvironmentVariable env("HXPOLLLOG_VIEWER", path(u"no-such-viewer"_s).toLocal8Bit());
    const Result r = run({u"view"_s, morning});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"could not be started"_s)) << r.err.toStdString();
    EXPECT_TRUE(log().contains(u"What: Msg 'The viewer"_s)) << log().toStdString();
    EXPECT_EQ(run({u"view"_s, u"missing.}01"_s}).exitCode, 1);
}

TEST_F(WindowCommandsTest, ShowOnAMissingDatabaseIsFalseWithoutABox) {
    EnvironmentVariable env("QT_QPA_PLATFORM", "offscreen");
    const Result r = run({u"--db"_s, path(u"missing.db"_s), u"show"_s}, false);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.err.contains(u"["_s)) << r.err.toStdString();
    EXPECT_TRUE(log().isEmpty());
}

TEST_F(WindowCommandsTest, ImportAllTakesEveryListedFile) {
    const Result r = run({u"import"_s, u"--all"_s, u"--yes"_s});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"deleted "_s + expired)) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"Are you sure you want to import 3 poll logs?"_s)) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 3 * 3 * 2);
    EXPECT_EQ(importRows(), 0);
    EXPECT_EQ(run({u"import"_s, u"--all"_s, morning}).exitCode, 2);
    EXPECT_EQ(run({u"import"_s, u"--all"_s, u"--skip-seen"_s, u"--include-seen"_s}).exitCode, 2);

    // Run again, --all skips what the first run saw; --include-seen takes it
    // again, under the window's warning. Without a terminal: one summary line.
    for (const auto &[option, said, summary] :
         {std::tuple{u"--yes"_s, u"Records an earlier import has seen are skipped."_s,
                     u"hxpolllog: imported 3 files (seen records skipped): 0 errors; saved\n"_s},
          // --quiet: the summary line alone.
          std::tuple{u"--quiet"_s, QString(),
                     u"hxpolllog: imported 3 files (seen records skipped): 0 errors; saved\n"_s},
          std::tuple{u"--include-seen"_s, u"WARNING!  There is a high risk of duplicating data"_s,
                     u"hxpolllog: imported 3 files (seen records included)"_s}}) {
        db().execute(u"DELETE FROM \"PUNCH\""_s);
        const Result again = run({u"import"_s, u"--all"_s, u"--yes"_s, option});
        ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
        if (said.isEmpty()) {
            EXPECT_EQ(again.err, summary);
        } else {
            EXPECT_TRUE(again.err.contains(said)) << again.err.toStdString();
            EXPECT_TRUE(again.err.contains(summary)) << again.err.toStdString();
        }
        EXPECT_EQ(postedPunches(), option == u"--include-seen"_s ? 3 * 3 * 2 : 0) << option.toStdString();
    }
}
