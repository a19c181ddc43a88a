// The demonstration site, built and imported by the host program.
#include "cli/CliTest.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

using namespace hx;
using hx::test::CliSiteTest;

class DemoCommand : public CliSiteTest {
protected:
    Result demo(const QString &dir) {
        return run({QStringLiteral("--now"), QString::fromLatin1(kNow), QStringLiteral("demo"), dir}, false);
    }
    std::unique_ptr<Database> openDemo(const QString &dir) {
        return Database::open(ConnectionSpec::forSqliteFile(dir + QStringLiteral("/site.db")));
    }
    static int count(Database &d, const QString &sql, const QVariantList &params = {}) {
        return d.firstValue(sql, params)->toInt();
    }
    static int pairs(Database &d, int employee, const QString &condition) {
        return count(d,
                     QStringLiteral("SELECT COUNT(*) FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = ? AND (") +
                         condition + QLatin1Char(')'),
                     {employee});
    }
};

namespace {
const QString kComplete = QStringLiteral("\"IN TIME\" IS NOT NULL AND \"OUT TIME\" IS NOT NULL");
}

TEST_F(DemoCommand, BuildsAWeekOfPollLogsAndPostsThemThroughTheImport) {
    const QString dir = path(QStringLiteral("demo"));
    const Result r = demo(dir);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    // The week before 26 April 2007 (a Thursday): one file per clock and day.
    const QStringList files = QDir(dir + QStringLiteral("/polllogs")).entryList(QDir::Files);
    EXPECT_GE(files.size(), 15);
    for (const QString &f : files)
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{6}07\\.\\}0[1-4]$")).match(f).hasMatch())
            << f.toStdString();

    // Every file went through the one import, with its messages.
    EXPECT_TRUE(
        r.err.contains(QStringLiteral("Are you sure you want to import %1 poll logs?").arg(files.size())));
    EXPECT_EQ(r.err.count(QStringLiteral("[INVALID BUFFER]")), 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("[Duplicate Punches Found]\n1 duplicate punch(es) removed")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("[Success]\nPoll Logs Imported Successfully")));
    EXPECT_TRUE(QFileInfo::exists(dir + QStringLiteral("/logs/QX8log.txt")));

    auto d = openDemo(dir);
    EXPECT_EQ(count(*d, QStringLiteral("SELECT COUNT(*) FROM \"IMPORT\"")), 0);
    // Alice: day shift with lunch, five days, late once.
    EXPECT_EQ(pairs(*d, 1, kComplete), 10);
    EXPECT_EQ(pairs(*d, 1, QStringLiteral("\"ERRORCODE\" = 7")), 1);
    // Ben: the second of his two swipes was dropped; late but excused.
    EXPECT_EQ(count(*d,
                    QStringLiteral("SELECT COUNT(\"IN TIME\") + COUNT(\"OUT TIME\") FROM \"PUNCH\" "
                                   "WHERE \"EMPLOYEE ID\" = ?"),
                    {2}),
              20);
    EXPECT_EQ(pairs(*d, 2, QStringLiteral("\"ERRORCODE\" <> 0")), 0);
    // Carmen: five nights, each one pair across midnight; the long one is
    // over the high warning.
    EXPECT_EQ(pairs(*d, 3, kComplete), 5);
    EXPECT_EQ(pairs(*d, 3, QStringLiteral("\"ERRORCODE\" = 4")), 1);
    // Dev (Vazaz-O-Du) and Erin (hand reader): single swipes paired up; Erin's
    // repeated swipe was dropped; Dev booked an unknown job one day.
    EXPECT_EQ(pairs(*d, 4, kComplete), 10);
    EXPECT_EQ(pairs(*d, 4, QStringLiteral("\"ERRORCODE\" = 5")), 2);
    EXPECT_EQ(pairs(*d, 5, kComplete), 5);
    EXPECT_EQ(pairs(*d, 5, QStringLiteral("\"IN TIME\" IS NULL OR \"OUT TIME\" IS NULL")), 0);
    // Frank works with access control only: doors, no hours.
    EXPECT_EQ(pairs(*d, 6, QStringLiteral("1 = 1")), 0);
    EXPECT_EQ(
        count(*d, QStringLiteral("SELECT COUNT(*) FROM \"AccessPunch\" WHERE \"EmployeeClock\" = ?"), {1006}),
        15);
    // Grace: forgot one out punch, away one scheduled day.
    EXPECT_EQ(pairs(*d, 7, kComplete), 3);
    EXPECT_EQ(pairs(*d, 7,
                    QStringLiteral("\"OUT TIME\" IS NULL AND \"IN TIME\" IS NOT NULL AND \"ERRORCODE\" = 2")),
              1);
    EXPECT_EQ(
        pairs(*d, 7, QStringLiteral("\"IN TIME\" IS NULL AND \"OUT TIME\" IS NULL AND \"Schedule\" = 2")), 1);
    // A badge nobody holds, refused at the server room.
    Recordset unknown = d->openRecordset(
        QStringLiteral("SELECT \"Valid\", \"Clock\" FROM \"AccessPunch\" WHERE \"EmployeeClock\" = ?"),
        {9999});
    ASSERT_EQ(unknown.recordCount(), 1);
    EXPECT_FALSE(toBoolean(unknown.value(0)));
    EXPECT_EQ(unknown.value(1).toInt(), 4);

    // The summary names everyone.
    for (const char *name : {"Archer, Alice", "Brooks, Ben", "Cruz, Carmen", "Desai, Dev", "Ellis, Erin",
                             "Ford, Frank", "Green, Grace", "Badge 9999 (no employee)"})
        EXPECT_TRUE(r.out.contains(QString::fromLatin1(name))) << name;
}

TEST_F(DemoCommand, ReplacesAPreviousSiteButNoOtherFolder) {
    const QString dir = path(QStringLiteral("demo"));
    ASSERT_EQ(demo(dir).exitCode, 0);
    const int punches = count(*openDemo(dir), QStringLiteral("SELECT COUNT(*) FROM \"PUNCH\""));
    ASSERT_GT(punches, 0);

    const Result again = demo(dir);
    ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(count(*openDemo(dir), QStringLiteral("SELECT COUNT(*) FROM \"PUNCH\"")), punches);

    const QString mine = path(QStringLiteral("mine"));
    writeFile(QStringLiteral("mine/notes.txt"), "keep me");
    const Result refused = demo(mine);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("is not a demonstration site")));
    EXPECT_EQ(readFile(QStringLiteral("mine/notes.txt")), QByteArray("keep me"));
    EXPECT_FALSE(QFileInfo::exists(mine + QStringLiteral("/site.db")));
}
