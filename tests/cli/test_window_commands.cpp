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
// first.
TEST_F(WindowCommandsTest, ListAndPrintShowTheFilesNewestFirst) {
    const Result r = run({u"list"_s, u"--json"_s});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonArray rows = json(r).array();
    ASSERT_EQ(rows.size(), 3);
    const QJsonObject first = rows[0].toObject();
    EXPECT_EQ(first.keys(), (QStringList{u"approximate_punches"_s, u"clock_name"_s, u"clock_number"_s,
                                         u"file_name"_s, u"poll_date"_s}));
    EXPECT_EQ(first[u"poll_date"_s].toString(), u"2007-04-26T13:00:00"_s);
    EXPECT_EQ(rows[2].toObject()[u"approximate_punches"_s].toInt(), 10);
    EXPECT_TRUE(run({u"list"_s}).out.startsWith(u"Poll Date"_s));

    // The report, printed without a display, in the list's order; --hide-empty leaves out the empty file.
    const QString pdf = path(u"list.pdf"_s);
    const Result printed = run({u"print"_s, u"--pdf"_s, pdf});
    ASSERT_EQ(printed.exitCode, 0);
    EXPECT_EQ(printed.err, QString());
    QString text = pdfText(pdf);
    const qsizetype a = text.indexOf(afternoon), e = text.indexOf(empty), m = text.indexOf(morning);
    EXPECT_TRUE(a >= 0 && a < e && e < m) << text.toStdString();
    ASSERT_EQ(run({u"print"_s, u"--pdf"_s, pdf, u"--hide-empty"_s}).exitCode, 0);
    text = pdfText(pdf);
    EXPECT_TRUE(text.contains(afternoon));
    EXPECT_FALSE(text.contains(empty));

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
    // The command is split into words (double quotes group); HXPOLLLOG_VIEWER comes before $VISUAL.
    {
        EnvironmentVariable env("HXPOLLLOG_VIEWER", (u"\""_s + viewer + u"\" -R \"a b\""_s).toLocal8Bit());
        EnvironmentVariable vis("VISUAL", "no-such-visual");
        const Result r = run({u"view"_s, spaced});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    }
    QDeadlineTimer deadline(10000);
    while (!QFile::exists(path(u"viewer-args.txt"_s)) && !deadline.hasExpired())
        QThread::msleep(20);
    EXPECT_EQ(readFile(u"viewer-args.txt"_s), (u"-R\na b\n"_s + spaced + u"\n"_s).toLocal8Bit());

    // A viewer that cannot be started is said so.
    EnvironmentVariable env("HXPOLLLOG_VIEWER", path(u"no-such-viewer"_s).toLocal8Bit());
    const Result r = run({u"view"_s, morning});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"could not be started"_s)) << r.err.toStdString();
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
    // again, under the window's warning.
    for (const auto &[option, said] : {std::pair{u"--yes"_s, u"Records an earlier import has seen are skipped."_s},
                                       std::pair{u"--include-seen"_s, u"WARNING!  There is a high risk of duplicating data"_s}}) {
        db().execute(u"DELETE FROM \"PUNCH\""_s);
        const Result again = run({u"import"_s, u"--all"_s, u"--yes"_s, option});
        ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
        EXPECT_TRUE(again.err.contains(said)) << again.err.toStdString();
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
