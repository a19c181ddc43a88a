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

namespace {
const QString kSqliteTail = QStringLiteral(
    "\r\n\r\nCheck that the file is an SQLite database and that this user may read and write it and its "
    "folder.");
const QString kNameTail = QStringLiteral("\r\n\r\nCheck the database name or the data-link file: ");
const QString kDataAccess = QStringLiteral("Error: -2147467259\r\nDescription: ");

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
    const QString binary =
        QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
    clsQX8PollLog first, second; // the paths are shared by every object
    for (auto set : {&clsQX8PollLog::setDatabaseFilePath, &clsQX8PollLog::setApplicationPath,
                     &clsQX8PollLog::setPollLogPath, &clsQX8PollLog::setErrorLogPath})
        (first.*set)(QString());
    EXPECT_EQ(second.DatabaseFilePath(), QStringLiteral("ChronbaseV7.mde"));
    EXPECT_EQ(second.PollLogPath(), binary + QStringLiteral("/PollLogs"));

    first.setApplicationPath(QStringLiteral("/srv/suite//"));
    EXPECT_EQ(second.PollLogPath(), QStringLiteral("/srv/suite/PollLogs"));
    EXPECT_EQ(second.ErrorLogPath(), binary); // not the application folder
    EXPECT_EQ(strDatabaseFullPath(QStringLiteral("site.db")), QStringLiteral("/srv/suite/site.db"));
    second.setPollLogPath(QStringLiteral("/")); // strips to nothing: the default
    EXPECT_EQ(first.PollLogPath(), QStringLiteral("/srv/suite/PollLogs"));
    second.setErrorLogPath(QStringLiteral("/var/log/hx///"));
    EXPECT_EQ(first.ErrorLogPath(), QStringLiteral("/var/log/hx"));
    first.setDatabaseFilePath(QStringLiteral("/data/site.db/")); // kept exactly as given
    EXPECT_EQ(second.DatabaseFilePath(), QStringLiteral("/data/site.db/"));
}

TEST_F(SessionTest, NamesAreBareAbsoluteUrlOrDataLink) {
    const QString inApp = makeDatabase(QStringLiteral("app/Chron.db"));
    const QString elsewhere = makeDatabase(QStringLiteral("other/site.db"));

    // A bare name is looked up in the application folder; extra properties get their separator.
    QString extra = QStringLiteral("Mode=Share Deny None");
    ASSERT_EQ(lngOpenConnection(gConn, QStringLiteral("Chron.db"), extra), -1);
    EXPECT_EQ(extra, QStringLiteral("Mode=Share Deny None;"));
    EXPECT_EQ(gConn->describe(), inApp);
    // An existing connection is left as it is, but the name is still checked first.
    EXPECT_EQ(open(elsewhere), -1);
    EXPECT_EQ(gConn->describe(), inApp);
    EXPECT_EQ(open(QStringLiteral("c.db")), 100);
    subCloseConnection(gConn);

    expectOpens(elsewhere, elsewhere);
    expectOpens(QStringLiteral("sqlite://") + elsewhere, elsewhere);
    // Data-link files in any case: comments, section and blank lines before the
    // connection string; a relative file is next to the link.
    writeFile(QStringLiteral("app/Site.UdL"), "\xEF\xBB\xBF[oledb]\r\n; a comment\r\n\r\n"
                                              "Engine=SQLite;Data Source=Chron.db\r\nEngine=junk\r\n");
    expectOpens(QStringLiteral("Site.UdL"), inApp);
    writeFile(QStringLiteral("other/link.udl"), QByteArray("sqlite://") + elsewhere.toUtf8() + "\n");
    expectOpens(path(QStringLiteral("other/link.udl")), elsewhere);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(SessionTest, MissingNameIsNotFoundWithoutABox) {
    makeDatabase(QStringLiteral("app/ChronbaseV7.mde"));
    for (const QString &name :
         {QString(), QStringLiteral("missing.db"), path(QStringLiteral("nowhere/site.db")),
          QStringLiteral("missing.UDL"), path(QStringLiteral("app"))})
        EXPECT_EQ(open(name), 100) << name.toStdString();
    EXPECT_FALSE(gConn);
    EXPECT_TRUE(boxes.shown().empty());
    QString extra;
    EXPECT_FALSE(blnOpenDatabase(gConn, QStringLiteral("missing.db"), extra));
    EXPECT_TRUE(blnOpenDatabase(gConn, QStringLiteral("ChronbaseV7.mde"), extra));
}

TEST_F(SessionTest, FilesThatCannotBeOpenedAreReportedAndLeftAlone) {
    const QByteArray junk("This is a poll log, not a database.\r\n");
    const QString p = writeFile(QStringLiteral("app/junk.db"), junk);
    writeFile(QStringLiteral("app/empty.db"), QByteArray());
    writeFile(QStringLiteral("app/blank.udl"), "\r\n; nothing here\r\n[oledb]\r\n");
    writeFile(QStringLiteral("app/nofile.udl"), "Engine=SQLite;Data Source=gone.db\r\n");
    writeFile(QStringLiteral("app/noengine.udl"), "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mde\r\n");
    for (const char *name : {"junk.db", "empty.db", "blank.udl", "nofile.udl", "noengine.udl"})
        EXPECT_EQ(open(QLatin1String(name)), 0) << name;
    EXPECT_FALSE(gConn);
    ASSERT_EQ(boxes.shown().size(), 5u);
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("HXPollLog"));
    EXPECT_EQ(boxes.shown()[0].buttons, 0);
    EXPECT_EQ(boxes.shown()[0].prompt, kDataAccess + QStringLiteral("The file '") + p +
                                           QStringLiteral("' is not a database.") + kSqliteTail);
    EXPECT_TRUE(boxes.shown()[2].prompt.startsWith(
        kDataAccess + QStringLiteral("The data link file holds no connection string: ") +
        path(QStringLiteral("app/blank.udl")) + kNameTail));
    EXPECT_EQ(boxes.shown()[3].prompt, kDataAccess + QStringLiteral("Could not find file '") +
                                           path(QStringLiteral("app/gone.db")) + QStringLiteral("'.") +
                                           kSqliteTail);
    EXPECT_TRUE(boxes.shown()[4].prompt.contains(QStringLiteral("no known engine")));
    // Nothing was made into a database or created.
    EXPECT_EQ(readFile(QStringLiteral("app/junk.db")), junk);
    EXPECT_EQ(readFile(QStringLiteral("app/empty.db")), QByteArray());
    EXPECT_FALSE(QFileInfo::exists(p + QStringLiteral("-wal")));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("app/gone.db"))));
}

TEST_F(SessionTest, ADataLinkIsASmallPlainFile) {
    QString error;
    // A pipe would block the start-up; a huge file without line ends would be read whole.
    const QString fifo = path(QStringLiteral("app/pipe.udl"));
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    EXPECT_FALSE(dataLinkConnectionString(fifo, &error).has_value());
    EXPECT_EQ(error, QStringLiteral("The data link file is not a plain file of at most 1 MB: ") + fifo);
    const QString huge = writeFile(QStringLiteral("app/huge.udl"), QByteArray(1024 * 1024 + 1, 'x'));
    error.clear();
    EXPECT_FALSE(dataLinkConnectionString(huge, &error).has_value());
    EXPECT_FALSE(error.isEmpty());
    const QString fine =
        writeFile(QStringLiteral("app/fine.udl"), "[oledb]\r\n; c\r\n Engine=SQLite;Data Source=a.db \r\n");
    EXPECT_EQ(dataLinkConnectionString(fine, &error), QStringLiteral("Engine=SQLite;Data Source=a.db"));
}

TEST_F(SessionTest, NullReadingHelpers) {
    const QVariant dbNull{QMetaType(QMetaType::QString)}, empty{QStringLiteral("")};
    EXPECT_EQ(strNullToText(dbNull), QString());
    EXPECT_EQ(strNullToText(QVariant(-2.5)), QStringLiteral("-2.5"));
    EXPECT_EQ(lngNullToZero(dbNull) + lngNullToZero(empty), 0);
    EXPECT_EQ(lngNullToZero(QVariant(7.5)), 8);
    EXPECT_EQ(lngNullToZero(QVariant(6.5)), 6);
    EXPECT_EQ(dtmNullToDate(dbNull), kNullDate);
    EXPECT_EQ(dtmNullToDate(empty), kNullDate);
    EXPECT_EQ(dtmNullToDate(QVariant(QStringLiteral("2007-04-26"))), dateSerial(2007, 4, 26));

    // No row, a Null, an unknown column, no connection: empty text, not Null.
    const auto emptyText = [](const QVariant &v) { return !isNull(v) && v.toString().isEmpty(); };
    gConn = std::move(site);
    EXPECT_TRUE(emptyText(varFirstColumnValue(
        QStringLiteral("SELECT \"CLOCK NAME\" FROM \"CLOCK\" WHERE \"CLOCK NUMBER\" = ?"), {1})));
    EXPECT_THROW(varFirstColumnValue(QStringLiteral("SELECT nothing FROM nowhere")), HxError);
    EXPECT_EQ(varTCRulesField(QStringLiteral("pay start")).toString(), QStringLiteral("2007-04-26"));
    EXPECT_TRUE(emptyText(varTCRulesField(QStringLiteral("ROUNDING"))));
    EXPECT_TRUE(emptyText(varTCRulesField(QStringLiteral("NoSuchColumn"))));
    gConn.reset();
    EXPECT_TRUE(emptyText(varTCRulesField(QStringLiteral("VALIO"))));
    EXPECT_THROW(conn(), HxError);
}
