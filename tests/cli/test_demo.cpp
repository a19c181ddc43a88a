// The demonstration site, built and imported by the host program.
#include "cli/CliTest.h"
#include "component/Values.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

using namespace hx;
using hx::test::CliSiteTest;

class DemoCommand : public CliSiteTest {
protected:
    Result demo(const QString &dir) {
        return run({u"--now"_s, QString::fromLatin1(kNow), u"demo"_s, dir}, false);
    }
    static std::unique_ptr<Database> openDemo(const QString &dir) {
        return Database::open(ConnectionSpec::forSqliteFile(dir + u"/site.db"_s));
    }
};

TEST_F(DemoCommand, BuildsAWeekOfPollLogsAndPostsThemThroughTheImport) {
    const QString dir = path(u"demo"_s);
    const Result r = demo(dir);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    // The week before 26 April 2007 (a Thursday): one file per clock and day.
    const QStringList files = QDir(dir + u"/polllogs"_s).entryList(QDir::Files);
    EXPECT_GE(files.size(), 15);
    for (const QString &f : files)
        EXPECT_TRUE(QRegularExpression(u"^[0-9A-F]{6}07\\.\\}0[1-4]$"_s).match(f).hasMatch())
            << f.toStdString();

    // Every file went through the one import, with its messages.
    EXPECT_TRUE(r.err.contains(u"Are you sure you want to import %1 poll logs?"_s.arg(files.size())));
    EXPECT_EQ(r.err.count(u"[INVALID BUFFER]"_s), 1);
    EXPECT_TRUE(r.err.contains(u"[Duplicate Punches Found]\n1 duplicate punch(es) removed"_s));
    EXPECT_TRUE(r.err.contains(u"[Success]\nPoll Logs Imported Successfully"_s));
    EXPECT_TRUE(QFileInfo::exists(dir + u"/logs/QX8log.txt"_s));

    auto d = openDemo(dir);
    auto count = [&](const QString &sql, const QVariantList &params = {}) {
        return d->firstValue(sql, params)->toInt();
    };
    EXPECT_EQ(count(u"SELECT COUNT(*) FROM \"IMPORT\""_s), 0);
    const QString complete = u"\"IN TIME\" IS NOT NULL AND \"OUT TIME\" IS NOT NULL"_s;
    const QString open = u"\"IN TIME\" IS NULL OR \"OUT TIME\" IS NULL"_s;
    struct Row {
        int employee;
        QString condition;
        int pairs;
        const char *why;
    };
    for (const Row &row : {
             Row{1, complete, 10, "Alice: day shift with lunch, five days"},
             Row{1, u"\"ERRORCODE\" = 7"_s, 1, "Alice: late once"},
             Row{2, complete, 10, "Ben: day shift with lunch, five days"},
             Row{2, open, 0, "Ben: the second of his two swipes dropped"},
             Row{2, u"\"ERRORCODE\" <> 0"_s, 0, "Ben: late but excused"},
             Row{3, complete, 5, "Carmen: five nights, each one pair across midnight"},
             Row{3, u"\"ERRORCODE\" = 4"_s, 1, "Carmen: the long night is over the high warning"},
             Row{4, complete, 10, "Dev: single swipes paired up"},
             Row{4, u"\"ERRORCODE\" = 5"_s, 2, "Dev: an unknown job one day"},
             Row{5, complete, 5, "Erin: hand reader swipes paired up"},
             Row{5, open, 0, "Erin: her repeated swipe dropped"},
             Row{6, u"1 = 1"_s, 0, "Frank: access control only, no hours"},
             Row{7, complete, 3, "Grace: three whole days"},
             Row{7, u"\"OUT TIME\" IS NULL AND \"IN TIME\" IS NOT NULL AND \"ERRORCODE\" = 2"_s, 1,
                 "Grace: forgot one out punch"},
             Row{7, u"\"IN TIME\" IS NULL AND \"OUT TIME\" IS NULL AND \"Schedule\" = 2"_s, 1,
                 "Grace: away one scheduled day"},
         }) {
        const QString sql =
            u"SELECT COUNT(*) FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = ? AND ("_s + row.condition;
        EXPECT_EQ(count(sql + u')', {row.employee}), row.pairs) << row.why;
    }
    EXPECT_EQ(count(u"SELECT COUNT(*) FROM \"AccessPunch\" WHERE \"EmployeeClock\" = ?"_s, {1006}), 15);
    // A badge nobody holds, refused at the server room.
    Recordset unknown = d->openRecordset(
        u"SELECT \"Valid\", \"Clock\" FROM \"AccessPunch\" WHERE \"EmployeeClock\" = ?"_s, {9999});
    ASSERT_EQ(unknown.recordCount(), 1);
    EXPECT_FALSE(toBoolean(unknown.value(0)));
    EXPECT_EQ(unknown.value(1).toInt(), 4);

    for (const char *name : {"Archer, Alice", "Brooks, Ben", "Cruz, Carmen", "Desai, Dev", "Ellis, Erin",
                             "Ford, Frank", "Green, Grace", "Badge 9999 (no employee)"})
        EXPECT_TRUE(r.out.contains(QString::fromLatin1(name))) << name;
}

TEST_F(DemoCommand, ReplacesAPreviousSiteButNoOtherFolder) {
    const QString dir = path(u"demo"_s);
    const QString punches = u"SELECT COUNT(*) FROM \"PUNCH\""_s;
    ASSERT_EQ(demo(dir).exitCode, 0);
    const int first = openDemo(dir)->firstValue(punches)->toInt();
    ASSERT_GT(first, 0);
    const Result again = demo(dir);
    ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(openDemo(dir)->firstValue(punches)->toInt(), first);

    writeFile(u"mine/notes.txt"_s, "keep me");
    const Result refused = demo(path(u"mine"_s));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(u"is not a demonstration site"_s));
    EXPECT_EQ(readFile(u"mine/notes.txt"_s), QByteArray("keep me"));
    EXPECT_FALSE(QFileInfo::exists(path(u"mine/site.db"_s)));
}
