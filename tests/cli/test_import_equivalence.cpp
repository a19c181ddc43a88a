// What an import writes, held to what it wrote when the digests in
// tests/cli/data/import_equivalence.sha256 were recorded: the demonstration
// site and seeded random sites (RandomSite.h), imported through the host with
// a fixed clock, on SQLite and on PostgreSQL. Each site is reduced to the
// canonical text of CanonicalDump.h: the tables the import writes, the
// register of seen records, the log and the messages the host printed.
//
// HX_WRITE_GOLDEN=1: the SQLite runs rewrite their lines of the file. Dumps of
// failing (and recorded) sites are left in build/import-equivalence/.
#include "cli/CanonicalDump.h"
#include "cli/RandomSite.h"

#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace hx::test::canon;
using hx::Engine;

namespace {

// The tables an import writes and the key of their rows; the parts of a dump.
const std::vector<std::pair<const char *, const char *>> kTables = {
    {"PUNCH", "\"ID\""},          {"AccessPunch", "\"ID\""},     {"IMPORT", "\"ID\""},
    {"EMPLOYEE", "\"EMPLOYEE ID\""}, {"DEPT", "\"DEPT ID\""},       {"SCHEDULE", "\"ScheduleNumber\""},
    {"CLOCK", "\"CLOCK NUMBER\""}, {"CKQUAL", "\"ID\""},          {"TCRULES", "\"ID\""}};
const QStringList kPartOrder = {u"PUNCH"_s, u"AccessPunch"_s, u"IMPORT"_s,   u"EMPLOYEE"_s, u"DEPT"_s, u"SCHEDULE"_s,
                                u"CLOCK"_s, u"CKQUAL"_s,      u"TCRULES"_s, u"register"_s, u"logs"_s, u"messages"_s};

// The poll log names of a site follow the local time (the poll time's steps
// since New Year): fixed here, and for the host, as on the test server's side.
[[maybe_unused]] const bool kZoneFixed = [] {
    setenv("TZ", "America/New_York", 1);
    tzset();
    return true;
}();

// Site 0 is the demonstration; sites 1 to 50 are made from their number.
QString siteName(int index) {
    return index == 0 ? u"demo"_s : u"site-%1"_s.arg(index, 3, 10, QLatin1Char('0'));
}

struct HostRun {
    int exitCode = -1;
    QByteArray out, err;
};

// The host run with the site's folders and the fixed clock.
HostRun runHost(const QString &host, const QString &site, const QString &dbArg, const QStringList &args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"TZ"_s, u"America/New_York"_s);
    env.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
    // Nothing of the user's settings: the site's paths and clock only.
    for (const QString &key : env.keys())
        if (key.startsWith(u"HXPOLLLOG_"_s)) env.remove(key);
    for (const char *key : {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
        env.insert(QString::fromLatin1(key), site);
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(site);
    QStringList all = {u"--now"_s, QString::fromLatin1(hx::test::kSiteNow)};
    if (!dbArg.isEmpty()) all << u"--db"_s << dbArg;
    if (args.value(0) != u"demo"_s)
        all << u"--app-dir"_s << site + u"/app"_s << u"--poll-dir"_s << site + u"/polllogs"_s << u"--log-dir"_s
            << site + u"/logs"_s;
    p.start(host, all + args);
    p.closeWriteChannel();
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << "the host did not finish normally: " << args.join(u' ').toStdString();
        return {};
    }
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

// Seeds site `index` in the database the host made; a failure throws, which
// fails the test with its description.
hx::test::RandomSite seed(int index, Engine engine, const QString &dbArg) {
    auto db = hx::Database::open(engine == Engine::SQLite ? hx::ConnectionSpec::forSqliteFile(dbArg)
                                                          : *hx::ConnectionSpec::parse(dbArg, QString(), nullptr));
    hx::Transaction tx(*db);
    hx::test::RandomSite made = hx::test::makeRandomSite(uint32_t(index), *db);
    tx.commit();
    return made;
}

class ImportEquivalence : public GoldenDumpTest {
protected:
    // Site `index` built and imported by the host on `engine`, and dumped;
    // nullopt (with a failure) when it could not be built.
    // `onTable`: IMPORT given a trigger of a site's own, which keeps the
    // staged rows in the table instead of in memory.
    std::optional<Parts> buildSite(int index, Engine engine, bool onTable = false) {
        const QString host = QStringLiteral(HX_CLI_PATH);
        QTemporaryDir tmp;
        if (!tmp.isValid()) return std::nullopt;
        const QString site = tmp.filePath(u"site"_s);
        for (const char *sub : {"app", "polllogs", "logs"})
            QDir().mkpath(site + u'/' + QLatin1String(sub));
        QString database, dbArg;
        if (engine == Engine::PostgreSQL) {
            database = newDatabase(hx::test::PgSandbox::database(u"hx_eq%1"_s.arg(index)));
            if (database.isEmpty()) return std::nullopt;
            dbArg = server().url(database);
        }

        QByteArray messages;
        const auto record = [&](const QStringList &args, const HostRun &run) {
            messages += "$ " + args.join(u' ').toUtf8() + "\nexit " + QByteArray::number(run.exitCode) +
                        "\n-- stdout\n" + run.out + "-- stderr\n" + run.err;
        };
        if (index == 0) {
            // The demonstration builds its own folder and database.
            QDir(site).removeRecursively();
            const QStringList args = {u"demo"_s, site};
            record(args, runHost(host, tmp.path(), dbArg, args));
            if (engine == Engine::SQLite) dbArg = site + u"/site.db"_s; // what it names, like --db would
        } else {
            dbArg = engine == Engine::SQLite ? site + u"/site.db"_s : dbArg;
            // The host makes its own tables: a reference host, its own schema.
            const HostRun init = runHost(host, site, QString(), {u"init-db"_s, dbArg});
            if (init.exitCode != 0) {
                ADD_FAILURE() << "init-db failed: " << init.err.toStdString();
                return std::nullopt;
            }
            const hx::test::RandomSite made = seed(index, engine, dbArg);
            if (onTable)
                hx::Database::open(hx::ConnectionSpec::forSqliteFile(dbArg))
                    ->execute(u"CREATE TRIGGER \"IMPORT_SITE\" AFTER INSERT ON \"IMPORT\" BEGIN SELECT 1; END"_s);
            for (const hx::test::SiteFile &f : made.files)
                if (!hx::demo::writePollFile(site + u"/polllogs/"_s + f.name, f.lines)) {
                    ADD_FAILURE() << "cannot write " << f.name.toStdString();
                    return std::nullopt;
                }
            for (const hx::test::SiteImport &import : made.imports) {
                const QStringList args = QStringList{u"import"_s, u"--yes"_s} + import.options + import.names;
                record(args, runHost(host, site, dbArg, args));
            }
        }

        TableReader db(engine, site + u"/site.db"_s, database.isEmpty() ? 0 : server().port(), database);
        Parts parts = readSite(db, kTables, site);
        // The database as given, the folders and the host are the run's own.
        if (!dbArg.isEmpty()) messages.replace(dbArg.toUtf8(), "@DB@");
        if (!database.isEmpty()) messages.replace(database.toUtf8(), "@DB@");
        messages.replace(site.toUtf8(), "@SITE@").replace(host.toUtf8(), "@HOST@");
        // The import's own time is the one figure of its summary that varies.
        static const QRegularExpression seconds(QStringLiteral(" in [0-9]+\\.[0-9]+ s"));
        messages = QString::fromUtf8(messages).replace(seconds, QStringLiteral(" in @SECONDS@ s")).toUtf8();
        parts[u"messages"_s] = messages;
        EXPECT_TRUE(db.error().isEmpty()) << db.error().toStdString();
        return parts;
    }

    void checkRecorded(int index, const Parts &parts) {
        check(QStringLiteral(HX_SOURCE_DIR "/tests/cli/data/import_equivalence.sha256"),
              "# SHA-256 of the canonical dump of each site after its imports, part by part\n"
              "# (tests/cli/test_import_equivalence.cpp; HX_WRITE_GOLDEN=1 rewrites it).\n",
              [](const QString &n) { return n == u"demo"_s ? 0 : 1; }, siteName(index), parts, kPartOrder,
              QStringLiteral(HX_BINARY_DIR "/import-equivalence"));
    }
};

TEST_P(ImportEquivalence, WritesWhatItWroteWhenRecorded) {
    const auto [engine, index] = GetParam();
    const std::optional<Parts> parts = buildSite(index, engine);
    ASSERT_TRUE(parts);
    checkRecorded(index, *parts);
}

// The rows staged in the table write what the rows staged in memory write.
class StagedOnTable : public ImportEquivalence {};
TEST_P(StagedOnTable, WritesWhatItWroteWhenRecorded) {
    const int index = std::get<1>(GetParam());
    const std::optional<Parts> parts = buildSite(index, Engine::SQLite, true);
    ASSERT_TRUE(parts);
    checkRecorded(index, *parts);
}
INSTANTIATE_TEST_SUITE_P(Sites, StagedOnTable,
                         ::testing::Combine(::testing::Values(Engine::SQLite), ::testing::Range(1, 51, 7)),
                         [](const auto &info) { return caseName(Engine::SQLite, siteName(std::get<1>(info.param))); });

INSTANTIATE_TEST_SUITE_P(Sites, ImportEquivalence,
                         ::testing::Combine(::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                                            ::testing::Range(0, 51)),
                         [](const auto &info) {
                             return caseName(std::get<0>(info.param), siteName(std::get<1>(info.param)));
                         });

} // namespace
