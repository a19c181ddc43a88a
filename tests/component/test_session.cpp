// Paths, the connection rule and its results, and the null-reading helpers.
#include "component/DateTime.h"
#include "component/Schema.h"
#include "component/Values.h"
#include "component/clsQX8PollLog.h"
#include "component/modGlobal.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>

using namespace hx;

namespace {
const QString kMdacTail = QStringLiteral(
    "\r\n\r\nThis may be a problem with your Microsoft Data Access Components (MDAC) installation.");

class SessionTest : public hx::test::SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        // The site's own connection stays aside; each test opens its own.
        site = std::move(gConn);
    }
    void TearDown() override {
        gConn.reset();
        site.reset();
        SiteTest::TearDown();
    }

    // A real database with the schema at a path relative to the site folder.
    QString makeDatabase(const QString &relative) {
        const QString p = path(relative);
        QDir().mkpath(QFileInfo(p).absolutePath());
        auto db = Database::open(ConnectionSpec::forSqliteFile(p));
        createSchema(*db);
        return p;
    }

    int open(const QString &name) {
        QString extra;
        return lngOpenConnection(gConn, name, extra);
    }

    std::unique_ptr<Database> site;
};

QString binaryFolder() {
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
}
} // namespace

TEST_F(SessionTest, PathDefaultsAndTrailingSlashRule) {
    clsQX8PollLog first;
    clsQX8PollLog second;
    first.setDatabaseFilePath(QString());
    first.setApplicationPath(QString());
    first.setPollLogPath(QString());
    first.setErrorLogPath(QString());
    EXPECT_EQ(second.DatabaseFilePath(), QStringLiteral("ChronbaseV7.mde"));
    EXPECT_EQ(second.ApplicationPath(), binaryFolder());
    EXPECT_EQ(second.ErrorLogPath(), binaryFolder());
    EXPECT_EQ(second.PollLogPath(), binaryFolder() + QStringLiteral("/PollLogs"));

    first.setApplicationPath(QStringLiteral("/srv/suite//"));
    EXPECT_EQ(second.ApplicationPath(), QStringLiteral("/srv/suite"));
    EXPECT_EQ(strGetApplicationPath(), QStringLiteral("/srv/suite"));
    EXPECT_EQ(second.PollLogPath(), QStringLiteral("/srv/suite/PollLogs"));
    EXPECT_EQ(second.ErrorLogPath(), binaryFolder()); // not the application folder
    EXPECT_EQ(strDatabaseFullPath(QStringLiteral("site.db")), QStringLiteral("/srv/suite/site.db"));

    second.setPollLogPath(QStringLiteral("/"));
    EXPECT_EQ(first.PollLogPath(),
              QStringLiteral("/srv/suite/PollLogs")); // "/" strips to nothing: the default
    second.setPollLogPath(QStringLiteral("/mnt/polls/"));
    EXPECT_EQ(first.PollLogPath(), QStringLiteral("/mnt/polls"));
    second.setErrorLogPath(QStringLiteral("/var/log/hx///"));
    EXPECT_EQ(first.ErrorLogPath(), QStringLiteral("/var/log/hx"));

    // The database name is kept exactly as given; empty restores the default.
    first.setDatabaseFilePath(QStringLiteral("/data/site.db/"));
    EXPECT_EQ(second.DatabaseFilePath(), QStringLiteral("/data/site.db/"));
    first.setDatabaseFilePath(QString());
    EXPECT_EQ(second.DatabaseFilePath(), QStringLiteral("ChronbaseV7.mde"));

    EXPECT_EQ(strRemoveTrailingSlash(QStringLiteral("/a/b//")), QStringLiteral("/a/b"));
    EXPECT_EQ(strRemoveTrailingSlash(QStringLiteral("/")), QString());
    EXPECT_EQ(strRemoveTrailingSlash(QStringLiteral(" /a/ ")), QStringLiteral(" /a/ "));
    EXPECT_EQ(strJoinPath(QStringLiteral("/a"), QStringLiteral("b.txt")), QStringLiteral("/a/b.txt"));
    EXPECT_EQ(strAppRegistryName(), QStringLiteral("Horalis"));
}

TEST_F(SessionTest, FileExistsFindsFilesAndPatterns) {
    writeFile(QStringLiteral("polllogs/0426171709A1.txt"), "x");
    EXPECT_TRUE(blnFileExists(path(QStringLiteral("polllogs/0426171709A1.txt"))));
    EXPECT_TRUE(blnFileExists(path(QStringLiteral("polllogs/*.txt"))));
    EXPECT_TRUE(blnFileExists(path(QStringLiteral("polllogs/0426??????A1.txt"))));
    EXPECT_FALSE(blnFileExists(path(QStringLiteral("polllogs/*.xml"))));
    EXPECT_FALSE(blnFileExists(path(QStringLiteral("polllogs"))));
    EXPECT_FALSE(blnFileExists(path(QStringLiteral("polllogs/missing.txt"))));
    EXPECT_FALSE(blnFileExists(QString()));
}

TEST_F(SessionTest, NamesAreBareAbsoluteUrlOrDataLink) {
    const QString inApp = makeDatabase(QStringLiteral("app/Chron.db"));
    const QString elsewhere = makeDatabase(QStringLiteral("other/site.db"));

    // A bare name is looked up in the application folder; extra properties get
    // their separator.
    QString extra = QStringLiteral("Mode=Share Deny None");
    ASSERT_EQ(lngOpenConnection(gConn, QStringLiteral("Chron.db"), extra), -1);
    EXPECT_EQ(gConn->describe(), inApp);
    EXPECT_EQ(extra, QStringLiteral("Mode=Share Deny None;"));
    subCloseConnection(gConn);
    EXPECT_FALSE(gConn);

    ASSERT_EQ(open(elsewhere), -1);
    EXPECT_EQ(gConn->describe(), elsewhere);
    subCloseConnection(gConn);

    ASSERT_EQ(open(QStringLiteral("sqlite://") + elsewhere), -1);
    EXPECT_EQ(gConn->describe(), elsewhere);
    subCloseConnection(gConn);

    // Data-link files in any case: comments, section lines and blank lines
    // before the connection string; a relative file is next to the link.
    writeFile(QStringLiteral("app/Site.UdL"), "\xEF\xBB\xBF[oledb]\r\n; a comment\r\n\r\n"
                                              "Engine=SQLite;Data Source=Chron.db\r\nEngine=junk\r\n");
    ASSERT_EQ(open(QStringLiteral("Site.UdL")), -1)
        << (boxes.shown().empty() ? "" : boxes.shown()[0].prompt.toStdString());
    EXPECT_EQ(gConn->describe(), inApp);
    subCloseConnection(gConn);

    writeFile(QStringLiteral("other/link.udl"), QByteArray("sqlite://") + elsewhere.toUtf8() + "\n");
    ASSERT_EQ(open(path(QStringLiteral("other/link.udl"))), -1);
    EXPECT_EQ(gConn->describe(), elsewhere);
    // The opened session is a working one.
    EXPECT_TRUE(gConn->hasTable(QStringLiteral("punch")));
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(SessionTest, MissingOrEmptyNameIsNotFoundWithoutABox) {
    makeDatabase(QStringLiteral("app/ChronbaseV7.mde"));
    EXPECT_EQ(open(QString()), 100);
    EXPECT_EQ(open(QStringLiteral("missing.db")), 100);
    EXPECT_EQ(open(path(QStringLiteral("nowhere/site.db"))), 100);
    EXPECT_EQ(open(QStringLiteral("missing.UDL")), 100);
    EXPECT_EQ(open(path(QStringLiteral("app"))), 100); // a folder is not a database file
    EXPECT_FALSE(gConn);
    EXPECT_TRUE(boxes.shown().empty());

    QString extra;
    EXPECT_FALSE(blnOpenDatabase(gConn, QStringLiteral("missing.db"), extra));
    EXPECT_TRUE(blnOpenDatabase(gConn, QStringLiteral("ChronbaseV7.mde"), extra));
}

TEST_F(SessionTest, AnExistingConnectionIsLeftAsItIs) {
    const QString p = makeDatabase(QStringLiteral("app/a.db"));
    makeDatabase(QStringLiteral("app/b.db"));
    ASSERT_EQ(open(QStringLiteral("a.db")), -1);
    Database *before = gConn.get();
    EXPECT_EQ(open(QStringLiteral("b.db")), -1);
    EXPECT_EQ(gConn.get(), before);
    EXPECT_EQ(gConn->describe(), p);
    // The name is still checked first.
    EXPECT_EQ(open(QStringLiteral("c.db")), 100);
    EXPECT_EQ(gConn.get(), before);
}

TEST_F(SessionTest, AFileThatIsNotADatabaseIsReportedAndLeftAlone) {
    const QByteArray junk("This is a poll log, not a database.\r\n");
    const QString p = writeFile(QStringLiteral("app/junk.db"), junk);
    EXPECT_EQ(open(QStringLiteral("junk.db")), 0);
    EXPECT_FALSE(gConn);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("HXPollLog"));
    EXPECT_EQ(boxes.shown()[0].buttons, 0);
    EXPECT_EQ(boxes.shown()[0].prompt, QStringLiteral("Error: -2147467259\r\nDescription: The file '") + p +
                                           QStringLiteral("' is not a database.") + kMdacTail);
    EXPECT_EQ(readFile(QStringLiteral("app/junk.db")), junk);
    EXPECT_FALSE(QFileInfo::exists(p + QStringLiteral("-wal")));

    // An empty file is not quietly made into a database either.
    writeFile(QStringLiteral("app/empty.db"), QByteArray());
    EXPECT_EQ(open(QStringLiteral("empty.db")), 0);
    EXPECT_EQ(readFile(QStringLiteral("app/empty.db")), QByteArray());
    EXPECT_EQ(boxes.shown().size(), 2u);
}

TEST_F(SessionTest, ABadDataLinkFileIsReported) {
    writeFile(QStringLiteral("app/blank.udl"), "\r\n; nothing here\r\n[oledb]\r\n");
    writeFile(QStringLiteral("app/nofile.udl"), "Engine=SQLite;Data Source=gone.db\r\n");
    writeFile(QStringLiteral("app/noengine.udl"), "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mde\r\n");
    EXPECT_EQ(open(QStringLiteral("blank.udl")), 0);
    EXPECT_EQ(open(QStringLiteral("nofile.udl")), 0);
    EXPECT_EQ(open(QStringLiteral("noengine.udl")), 0);
    EXPECT_FALSE(gConn);
    ASSERT_EQ(boxes.shown().size(), 3u);
    EXPECT_EQ(
        boxes.shown()[0].prompt,
        QStringLiteral("Error: -2147467259\r\nDescription: The data link file holds no connection string: ") +
            path(QStringLiteral("app/blank.udl")) + kMdacTail);
    EXPECT_EQ(boxes.shown()[1].prompt,
              QStringLiteral("Error: -2147467259\r\nDescription: Could not find file '") +
                  path(QStringLiteral("app/gone.db")) + QStringLiteral("'.") + kMdacTail);
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("app/gone.db"))));
    EXPECT_TRUE(boxes.shown()[2].prompt.contains(QStringLiteral("no known engine")));
}

TEST_F(SessionTest, CloseConnectionEmptiesTheReference) {
    subCloseConnection(gConn); // nothing to close
    EXPECT_FALSE(gConn);
    makeDatabase(QStringLiteral("app/a.db"));
    ASSERT_EQ(open(QStringLiteral("a.db")), -1);
    subCloseConnection(gConn);
    EXPECT_FALSE(gConn);
    EXPECT_EQ(open(QStringLiteral("a.db")), -1); // opens anew
}

TEST_F(SessionTest, NullReadingHelpers) {
    const QVariant dbNull{QMetaType(QMetaType::QString)};
    EXPECT_EQ(strNullToText(dbNull), QString());
    EXPECT_EQ(strNullToText(QVariant()), QString());
    EXPECT_EQ(strNullToText(QVariant(5)), QStringLiteral("5"));
    EXPECT_EQ(strNullToText(QVariant(-2.5)), QStringLiteral("-2.5"));
    EXPECT_EQ(strNullToText(QVariant(QStringLiteral("Dock"))), QStringLiteral("Dock"));
    EXPECT_EQ(lngNullToZero(dbNull), 0);
    EXPECT_EQ(lngNullToZero(QVariant(QStringLiteral(""))), 0);
    EXPECT_EQ(lngNullToZero(QVariant(QStringLiteral("12"))), 12);
    EXPECT_EQ(lngNullToZero(QVariant(7.5)), 8);
    EXPECT_EQ(lngNullToZero(QVariant(6.5)), 6);
    EXPECT_EQ(dtmNullToDate(dbNull), kNullDate);
    EXPECT_EQ(dtmNullToDate(QVariant(QStringLiteral(""))), kNullDate);
    EXPECT_EQ(dtmNullToDate(QVariant(QStringLiteral("2007-04-26"))), dateSerial(2007, 4, 26));
    EXPECT_EQ(dtmNullToDate(QVariant(QStringLiteral("07:30:00"))), timeSerial(7, 30, 0));
}

TEST_F(SessionTest, FirstColumnAndRulesFieldReaders) {
    gConn = std::move(site);
    EXPECT_EQ(varFirstColumnValue(QStringLiteral("SELECT \"PAY END\" FROM \"TCRULES\"")).toString(),
              QStringLiteral("2007-05-02"));
    const QVariant none = varFirstColumnValue(
        QStringLiteral("SELECT \"CLOCK NAME\" FROM \"CLOCK\" WHERE \"CLOCK NUMBER\" = ?"), {1});
    EXPECT_FALSE(isNull(none));
    EXPECT_EQ(none.toString(), QString());
    EXPECT_THROW(varFirstColumnValue(QStringLiteral("SELECT nothing FROM nowhere")), HxError);

    EXPECT_TRUE(toBoolean(varTCRulesField(QStringLiteral("VALIO"))));
    EXPECT_EQ(varTCRulesField(QStringLiteral("pay start")).toString(), QStringLiteral("2007-04-26"));
    EXPECT_EQ(varTCRulesField(QStringLiteral("ROUNDING")), QVariant(QString())); // Null reads as empty text
    EXPECT_EQ(varTCRulesField(QStringLiteral("NoSuchColumn")), QVariant(QString()));
    gConn.reset();
    EXPECT_EQ(varTCRulesField(QStringLiteral("VALIO")), QVariant(QString()));
    EXPECT_THROW(conn(), HxError);
}
