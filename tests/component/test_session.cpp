// Paths, the connection rule and its results, and the null-reading helpers.
#include "component/DateTime.h"
#include "component/Schema.h"
#include "component/Values.h"
#include "component/clsQX8PollLog.h"
#include "component/modGlobal.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <sys/stat.h>

using namespace hx;
using namespace Qt::Literals::StringLiterals;

namespace {
const QString kSqliteTail =
    u"\r\n\r\nCheck that the file is an SQLite database and that this user may read and write it and its folder."_s;
const QString kDataAccess = u"Error: -2147467259\r\nDescription: "_s;

class SessionTest : public hx::test::SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        site = std::move(gConn); // each test opens its own connection
    }
    // A database with the schema at a path relative to the site folder.
    QString makeDatabase(const QString &relative) {
        const QString p = path(relative);
        QDir().mkpath(QFileInfo(p).absolutePath());
        createSchema(*Database::open(ConnectionSpec::forSqliteFile(p)));
        return p;
    }
    int open(const QString &name) {
        QString extra;
        return lngOpenConnection(gConn, name, extra);
    }
    // Opens, checks which file it reached and closes again.
    void expectOpens(const QString &name, const QString &file) {
        ASSERT_EQ(open(name), -1) << name.toStdString()
                                  << (boxes.shown().empty() ? "" : boxes.shown()[0].prompt.toStdString());
        EXPECT_EQ(gConn->describe(), file) << name.toStdString();
        subCloseConnection(gConn);
        EXPECT_FALSE(gConn);
    }
    std::unique_ptr<Database> site;
};
} // namespace

TEST_F(SessionTest, PathDefaultsAndTrailingSlashRule) {
    const QString binary = QFileInfo(QFileInfo(u"/proc/self/exe"_s).symLinkTarget()).absolutePath();
    clsQX8PollLog first, second; // the paths are shared by every object
    for (auto set : {&clsQX8PollLog::setDatabaseFilePath, &clsQX8PollLog::setApplicationPath,
                     &clsQX8PollLog::setPollLogPath, &clsQX8PollLog::setErrorLogPath})
        (first.*set)(QString());
    EXPECT_EQ(second.DatabaseFilePath(), u"ChronbaseV7.mde"_s);
    EXPECT_EQ(second.PollLogPath(), binary + u"/PollLogs"_s);

    first.setApplicationPath(u"/srv/suite//"_s);
    EXPECT_EQ(second.PollLogPath(), u"/srv/suite/PollLogs"_s);
    EXPECT_EQ(second.ErrorLogPath(), binary); // not the application folder
    second.setPollLogPath(u"/"_s); // strips to nothing: the default
    EXPECT_EQ(first.PollLogPath(), u"/srv/suite/PollLogs"_s);
    first.setDatabaseFilePath(u"/data/site.db/"_s); // kept exactly as given
    EXPECT_EQ(second.DatabaseFilePath(), u"/data/site.db/"_s);
}

TEST_F(SessionTest, NamesAreBareAbsoluteUrlOrDataLinkAndAMissingOneIsNotFound) {
    const QString inApp = makeDatabase(u"app/Chron.db"_s);
    const QString elsewhere = makeDatabase(u"other/site.db"_s);

    // A bare name is looked up in the application folder.
    QString extra = u"Mode=Share Deny None"_s;
    ASSERT_EQ(lngOpenConnection(gConn, u"Chron.db"_s, extra), -1);
    EXPECT_EQ(gConn->describe(), inApp);
    // An existing connection is left as it is, but the name is still checked first.
    EXPECT_EQ(open(elsewhere), -1);
    EXPECT_EQ(gConn->describe(), inApp);
    EXPECT_EQ(open(u"c.db"_s), 100);
    subCloseConnection(gConn);

    expectOpens(elsewhere, elsewhere);
    expectOpens(u"sqlite://"_s + elsewhere, elsewhere);
    // Data-link files in any case: comments, section and blank lines before the
    // connection string; a relative file is next to the link.
    writeFile(u"app/Site.UdL"_s, "\xEF\xBB\xBF[oledb]\r\n; a comment\r\n\r\nEngine=SQLite;Data Source=Chron.db\r\n"
                                 "Engine=junk\r\n");
    expectOpens(u"Site.UdL"_s, inApp);

    // Not found, without a box.
    for (const QString &name : {QString(), u"missing.db"_s, u"missing.UDL"_s, path(u"app"_s)})
        EXPECT_EQ(open(name), 100) << name.toStdString();
    EXPECT_FALSE(gConn);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_FALSE(blnOpenDatabase(gConn, u"missing.db"_s, extra));
    EXPECT_TRUE(blnOpenDatabase(gConn, u"Chron.db"_s, extra));
}

TEST_F(SessionTest, FilesThatCannotBeOpenedAreReportedAndLeftAlone) {
    const QByteArray junk("This is a poll log, not a database.\r\n");
    const QString p = writeFile(u"app/junk.db"_s, junk);
    writeFile(u"app/empty.db"_s, QByteArray());
    writeFile(u"app/blank.udl"_s, "\r\n; nothing here\r\n[oledb]\r\n");
    writeFile(u"app/nofile.udl"_s, "Engine=SQLite;Data Source=gone.db\r\n");
    writeFile(u"app/noengine.udl"_s, "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mde\r\n");
    for (const char *name : {"junk.db", "empty.db", "blank.udl", "nofile.udl", "noengine.udl"})
        EXPECT_EQ(open(QLatin1String(name)), 0) << name;
    EXPECT_FALSE(gConn);
    ASSERT_EQ(boxes.shown().size(), 5u);
    EXPECT_EQ(boxes.shown()[0].title, u"HXPollLog"_s);
    EXPECT_EQ(boxes.shown()[0].prompt, kDataAccess + u"The file '"_s + p + u"' is not a database."_s + kSqliteTail);
    EXPECT_TRUE(boxes.shown()[3].prompt.contains(path(u"app/gone.db"_s)));
    // Nothing was made into a database or created.
    EXPECT_EQ(readFile(u"app/junk.db"_s), junk);
    EXPECT_EQ(readFile(u"app/empty.db"_s), QByteArray());
    EXPECT_FALSE(QFileInfo::exists(p + u"-wal"_s) || QFileInfo::exists(path(u"app/gone.db"_s)));

    // A data link is a small plain file: a pipe would block the start-up; a
    // huge file without line ends would be read whole.
    QString error;
    const QString fifo = path(u"app/pipe.udl"_s);
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    EXPECT_FALSE(dataLinkConnectionString(fifo, &error).has_value());
    EXPECT_EQ(error, u"The data link file is not a plain file of at most 1 MB: "_s + fifo);
    error.clear();
    EXPECT_FALSE(dataLinkConnectionString(writeFile(u"app/huge.udl"_s, QByteArray(1024 * 1024 + 1, 'x')), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(SessionTest, NullReadingHelpers) {
    const QVariant dbNull{QMetaType(QMetaType::QString)}, empty{u""_s};
    EXPECT_EQ(strNullToText(dbNull), QString());
    EXPECT_EQ(strNullToText(QVariant(-2.5)), u"-2.5"_s);
    EXPECT_EQ(lngNullToZero(dbNull) + lngNullToZero(empty), 0);
    EXPECT_EQ(lngNullToZero(QVariant(7.5)), 8);
    EXPECT_EQ(lngNullToZero(QVariant(6.5)), 6);
    EXPECT_EQ(dtmNullToDate(dbNull), kNullDate);
    EXPECT_EQ(dtmNullToDate(empty), kNullDate);
    EXPECT_EQ(dtmNullToDate(QVariant(u"2007-04-26"_s)), dateSerial(2007, 4, 26));

    // No row, a Null, an unknown column, no connection: empty text, not Null.
    const auto emptyText = [](const QVariant &v) { return !isNull(v) && v.toString().isEmpty(); };
    gConn = std::move(site);
    EXPECT_TRUE(emptyText(varFirstColumnValue(u"SELECT \"CLOCK NAME\" FROM \"CLOCK\" WHERE \"CLOCK NUMBER\" = ?"_s, {1})));
    EXPECT_THROW(varFirstColumnValue(u"SELECT nothing FROM nowhere"_s), HxError);
    EXPECT_EQ(varTCRulesField(u"pay start"_s).toString(), u"2007-04-26"_s);
    EXPECT_TRUE(emptyText(varTCRulesField(u"ROUNDING"_s)) && emptyText(varTCRulesField(u"NoSuchColumn"_s)));
    gConn.reset();
    EXPECT_TRUE(emptyText(varTCRulesField(u"VALIO"_s)));
    EXPECT_THROW(conn(), HxError);
}
