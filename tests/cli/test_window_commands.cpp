// The window's commands from the command line: list, print, view, import
// --all and prune, run as a child process on a site.
#include "CliTest.h"

#include <QDeadlineTimer>
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
    QString morning, afternoon, empty, expired, unknown;
};

struct EnvironmentVariable {
    EnvironmentVariable(const char *name, const QByteArray &value) : name(name) { qputenv(name, value); }
    ~EnvironmentVariable() { qunsetenv(name); }
    const char *name;
};
} // namespace

// The list and its report leave out expired files and unknown clocks, newest
// first; the report's paper follows the locale.
TEST_F(WindowCommandsTest, ListAndPrintShowTheFilesNewestFirst) {
    const Result r = run({u"list"_s, u"--json"_s});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonArray rows = json(r).array();
    ASSERT_EQ(rows.size(), 3);
    const QJsonObject first = rows[0].toObject();
    EXPECT_EQ(first.keys(), (QStringList{u"approximate_punches"_s, u"clock_name"_s, u"clock_number"_s,
                                         u"file_name"_s, u"poll_date"_s}));
    EXPECT_EQ(first[u"poll_date"_s].toString(), u"2007-04-26T13:00:00"_s);
    EXPECT_EQ(first[u"clock_name"_s].toString(), u"Clock 2"_s);
    EXPECT_EQ(first[u"clock_number"_s].toInt(), 2);
    EXPECT_EQ(first[u"file_name"_s].toString(), afternoon);
    EXPECT_EQ(rows[1].toObject()[u"file_name"_s].toString(), empty);
    EXPECT_EQ(rows[2].toObject()[u"approximate_punches"_s].toInt(), 10);
    int punches = 0;
    for (const auto &row : rows)
        punches += row[u"approximate_punches"_s].toInt();

    const QStringList lines = run({u"list"_s}).out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith(u"Poll Date"_s));
    EXPECT_TRUE(lines[1].startsWith(u"04/26/07 01:00:00 pm  Clock 2"_s));
    EXPECT_TRUE(lines[1].endsWith(afternoon));

    const QString pdf = path(u"list.pdf"_s);
    ASSERT_EQ(run({u"print"_s, u"--pdf"_s, pdf}).exitCode, 0);
    QString text = pdfText(pdf);
    for (const char *label :
         {"Poll Log Files", "Poll Date & Time", "Clock Name", "Approx. Punches", "File Name", "Page 1 of 1"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(label))) << label << "\n" << text.toStdString();
    const qsizetype a = text.indexOf(afternoon), e = text.indexOf(empty), m = text.indexOf(morning);
    EXPECT_TRUE(a >= 0 && a < e && e < m) << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression(u"04/26/07 09:00:00 am\\s+Clock 1\\s+10\\s+"_s + morning)));
    // The header names the database; the last line counts files and punches.
    EXPECT_TRUE(text.contains(u"Database: "_s + databaseName().left(20))) << text.toStdString();
    EXPECT_TRUE(text.contains(u"3 poll logs, about %1 punches"_s.arg(punches))) << text.toStdString();
    ASSERT_EQ(run({u"print"_s, u"--pdf"_s, pdf, u"--hide-empty"_s}).exitCode, 0);
    text = pdfText(pdf);
    EXPECT_TRUE(text.contains(afternoon));
    EXPECT_FALSE(text.contains(empty));

    // The paper of the locale: Letter in the United States and Canada, else A4.
    for (const auto &[locale, paper] : {std::pair{"en_US.UTF-8", "letter"}, {"fr_CA", "letter"}, {"de_DE.UTF-8", "A4"}}) {
        EnvironmentVariable lcAll("LC_ALL", locale);
        ASSERT_EQ(run({u"print"_s, u"--pdf"_s, pdf}).exitCode, 0);
        QProcess info;
        info.start(u"pdfinfo"_s, {pdf});
        ASSERT_TRUE(info.waitForFinished(60000));
        EXPECT_TRUE(info.readAllStandardOutput().contains(QByteArray("(") + paper + ")")) << locale;
    }
    EXPECT_EQ(run({u"print"_s}).exitCode, 2);
    EXPECT_EQ(run({u"print"_s, u"--pdf"_s, path(u"no/such/dir/list.pdf"_s)}).exitCode, 1);
}

TEST_F(WindowCommandsTest, ViewStartsTheViewerWithThePathAsOneArgument) {
    const QString viewer =
        writeFile(u"viewer.sh"_s, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$(dirname \"$0\")/"
                                  "viewer-args.tmp\"\nmv \"$(dirname \"$0\")/viewer-args.tmp\" \"$(dirname \"$0\")/"
                                  "viewer-args.txt\"\n");
    QFile::setPermissions(viewer, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString spaced = writeFile(u"poll logs/with space.}01"_s, ";x\r\n");
    const QString quoted = u"\""_s + viewer + u"\""_s;
    // The command is split into words (double quotes group); $VISUAL comes after HXPOLLLOG_VIEWER.
    for (const auto &[command, visual, arguments] :
         {std::tuple{viewer, QString(), QString()}, std::tuple{quoted + u" -R \"a b\""_s, QString(), u"-R\na b\n"_s},
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
        EXPECT_EQ(readFile(u"viewer-args.txt"_s), (arguments + spaced + u"\n"_s).toLocal8Bit()) << command.toStdString();
    }

    // A viewer that cannot be started is said so, and logged.
    EnvironmentVariable env("HXPOLLLOG_VIEWER", path(u"no-such-viewer"_s).toLocal8Bit());
    const Result r = run({u"view"_s, morning});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"could not be started"_s)) << r.err.toStdString();
    EXPECT_TRUE(logText().contains(u"What: Msg 'The viewer"_s)) << logText().toStdString();
    EXPECT_EQ(run({u"view"_s, u"missing.}01"_s}).exitCode, 1);
}

TEST_F(WindowCommandsTest, ImportAllTakesEveryListedFile) {
    const Result r = run({u"import"_s, u"--all"_s, u"--yes"_s});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(postedPunches(), 3 * 3 * 2);
    EXPECT_EQ(importRows(), 0);
    EXPECT_EQ(run({u"import"_s, u"--all"_s, morning}).exitCode, 2);
    EXPECT_EQ(run({u"import"_s, u"--all"_s, u"--skip-seen"_s, u"--include-seen"_s}).exitCode, 2);

    // Run again, --all skips what the first run saw; --include-seen takes it
    // again, under the window's warning. The summary block, or its one line.
    for (const auto &[option, said, summary] :
         {std::tuple{u"--yes"_s, u"Records an earlier import has seen are skipped."_s,
                     u"hxpolllog: Import saved: 3 file\\(s\\) in [0-9.]+ s\n  records read +18 \\(18 skipped as seen"_s},
          std::tuple{u"--quiet"_s, QString(),
                     u"^hxpolllog: import saved: 3 file\\(s\\), 18 record\\(s\\) \\(18 seen\\), 0 new punch\\(es\\), "
                     "0 pair\\(s\\) opened, 0 closed, 0 error\\(s\\), [0-9.]+ s\n$"_s},
          std::tuple{u"--include-seen"_s, u"WARNING!  There is a high risk of duplicating data"_s,
                     u"records read +18 \\(0 skipped as seen"_s}}) {
        db().execute(u"DELETE FROM \"PUNCH\""_s);
        const Result again = run({u"import"_s, u"--all"_s, u"--yes"_s, option});
        ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
        EXPECT_TRUE(again.err.contains(said)) << again.err.toStdString();
        EXPECT_TRUE(again.err.contains(QRegularExpression(summary))) << again.err.toStdString();
        EXPECT_EQ(postedPunches(), option == u"--include-seen"_s ? 3 * 3 * 2 : 0) << option.toStdString();
    }
}

TEST_F(WindowCommandsTest, PruneMovesIntoPrunedAndABadNameOrMissingFolderIsNamed) {
    writeFile(u"polllogs/Zzz.}01"_s, "");
    const Result dry = run({u"prune"_s, u"--dry-run"_s});
    ASSERT_EQ(dry.exitCode, 0) << dry.err.toStdString();
    EXPECT_TRUE(dry.out.contains(u"would move "_s + expired + u" into Pruned/"_s)) << dry.out.toStdString();
    EXPECT_TRUE(QFile::exists(path(u"polllogs/"_s + expired)));

    const Result r = run({u"prune"_s});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"left out Zzz.}01"_s)) << r.err.toStdString();
    for (const QString &name : {expired, unknown})
        EXPECT_TRUE(QFile::exists(path(u"polllogs/Pruned/"_s + name))) << name.toStdString();
    EXPECT_EQ(run({u"list"_s}).out.count(u'\n'), 4); // the heading and three files, Pruned/ not among them

    for (const QStringList &args :
         {QStringList{u"list"_s}, QStringList{u"import"_s, u"--all"_s, u"--yes"_s}, QStringList{u"prune"_s}}) {
        const Result missing = run(QStringList{u"--poll-dir"_s, path(u"gone"_s)} + args);
        EXPECT_EQ(missing.exitCode, 1) << args.join(u' ').toStdString();
        EXPECT_TRUE(missing.err.contains(path(u"gone"_s) + u" does not exist"_s)) << missing.err.toStdString();
    }
}
