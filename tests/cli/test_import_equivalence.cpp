// What an import writes, held to what it wrote when the digests in
// tests/cli/data/import_equivalence.sha256 were recorded: the demonstration
// site and seeded random sites (RandomSite.h), imported through the host with
// a fixed clock, on SQLite and on PostgreSQL. Each site is reduced to the
// canonical text of CanonicalDump.h: the tables the import writes, the
// register of seen records, the log and the messages the host printed.
//
//   HX_EQUIVALENCE_SITES=N  random sites 1..N (50); those without recorded
//                           digests are compared across the engines, or with
//                           HX_REFERENCE_CLI's host
//   HX_REFERENCE_CLI=PATH   a mismatch rebuilds the site with that host and
//                           leaves its dump beside the failing one
//   HX_EQUIVALENCE_ICU_LOCALE=en-US  the server databases collate by that
//                           locale instead of the test server's byte order
//   HX_WRITE_GOLDEN=1       the SQLite runs rewrite their lines of the file
//                           and leave their dumps
//
// Dumps of failing sites are left in build/import-equivalence/.
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

const QString kGoldenFile = QStringLiteral(HX_SOURCE_DIR "/tests/cli/data/import_equivalence.sha256");
const QString kDumpDir = QStringLiteral(HX_BINARY_DIR "/import-equivalence");

// The tables an import writes and the key of their rows.
const std::pair<const char *, const char *> kTables[] = {
    {"PUNCH", "\"ID\""},           {"AccessPunch", "\"ID\""},
    {"IMPORT", "\"ID\""},          {"EMPLOYEE", "\"EMPLOYEE ID\""},
    {"DEPT", "\"DEPT ID\""},       {"SCHEDULE", "\"ScheduleNumber\""},
    {"CLOCK", "\"CLOCK NUMBER\""}, {"CKQUAL", "\"ID\""},
    {"TCRULES", "\"ID\""}};

QStringList partOrder() {
    QStringList order;
    for (const auto &[table, key] : kTables)
        order << QString::fromLatin1(table);
    return order << u"register"_s << u"logs"_s << u"messages"_s;
}

// The poll log names of a site follow the local time (the poll time's steps
// since New Year): fixed here, and for the host, as on the test server's side.
const bool kZoneFixed = [] {
    setenv("TZ", "America/New_York", 1);
    tzset();
    return true;
}();

int siteCount() {
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("HX_EQUIVALENCE_SITES", &ok);
    return ok && n >= 0 ? n : 50;
}

// Site 0 is the demonstration; sites 1.. are made from their number.
QString siteName(int index) {
    return index == 0 ? u"demo"_s : u"site-%1"_s.arg(index, 3, 10, QLatin1Char('0'));
}

class ImportEquivalence : public ::testing::TestWithParam<std::tuple<Engine, int>> {
protected:
    void TearDown() override {
        for (const QString &database : m_databases) {
            QString error;
            if (!runOnServer(server().port(), u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(database),
                             &error))
                ADD_FAILURE() << error.toStdString();
        }
    }

    struct Run {
        int exitCode = -1;
        QByteArray out, err;
    };

    // The host run with the site's folders and the fixed clock.
    static Run runHost(const QString &host, const QString &site, const QString &dbArg,
                       const QStringList &args) {
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
            all << u"--app-dir"_s << site + u"/app"_s << u"--poll-dir"_s << site + u"/polllogs"_s
                << u"--log-dir"_s << site + u"/logs"_s;
        p.start(host, all + args);
        p.closeWriteChannel();
        Run run;
        if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit) {
            ADD_FAILURE() << "the host did not finish normally: " << args.join(u' ').toStdString();
            return run;
        }
        return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    }

    // Site `index` built and imported by `host` on `engine`, and dumped;
    // nullopt (with a failure) when it could not be built.
    std::optional<Parts> buildSite(int index, const QString &host, Engine engine) {
        QTemporaryDir tmp;
        if (!tmp.isValid()) return std::nullopt;
        const QString site = tmp.filePath(u"site"_s);
        for (const char *sub : {"app", "polllogs", "logs"})
            QDir().mkpath(site + u'/' + QLatin1String(sub));
        const int port = engine == Engine::PostgreSQL ? server().port() : 0;
        QString database, dbArg;
        if (engine == Engine::PostgreSQL) {
            if (port <= 0) {
                ADD_FAILURE() << "the PostgreSQL test server did not start: "
                              << server().error().toStdString();
                return std::nullopt;
            }
            database = hx::test::PgSandbox::database(u"hx_eq%1_%2"_s.arg(index).arg(m_databases.size()));
            QString error;
            // A language's collation instead of the test server's byte order.
            const QString icu = qEnvironmentVariable("HX_EQUIVALENCE_ICU_LOCALE");
            const QString options =
                icu.isEmpty() ? QString()
                              : u" TEMPLATE template0 LOCALE_PROVIDER icu ICU_LOCALE '%1'"_s.arg(icu);
            if (!runOnServer(port, u"CREATE DATABASE %1"_s.arg(database) + options, &error)) {
                ADD_FAILURE() << error.toStdString();
                return std::nullopt;
            }
            m_databases << database;
            dbArg = server().url(database);
        }

        QByteArray messages;
        const auto record = [&](const QStringList &args, const Run &run) {
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
            const Run init = runHost(host, site, QString(), {u"init-db"_s, dbArg});
            if (init.exitCode != 0) {
                ADD_FAILURE() << "init-db failed: " << init.err.toStdString();
                return std::nullopt;
            }
            hx::test::RandomSite made;
            try {
                QString why;
                const auto target = engine == Engine::SQLite
                                        ? std::optional(hx::ConnectionSpec::forSqliteFile(dbArg))
                                        : hx::ConnectionSpec::parse(dbArg, QString(), &why);
                if (!target) throw hx::HxError(why);
                auto db = hx::Database::open(*target);
                hx::Transaction tx(*db);
                made = hx::test::makeRandomSite(uint32_t(index), *db);
                tx.commit();
            } catch (const hx::HxError &e) {
                ADD_FAILURE() << "cannot seed " << siteName(index).toStdString() << ": "
                              << e.description().toStdString();
                return std::nullopt;
            }
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

        Parts parts;
        TableReader db(engine, site + u"/site.db"_s, port, database);
        for (const auto &[table, key] : kTables)
            parts[QString::fromLatin1(table)] = db.table(table, key);
        parts[u"register"_s] = registerPart(db, site + u"/app"_s);
        parts[u"logs"_s] = logsPart(site + u"/logs"_s, site);
        // The database as given, the folders and the host are the run's own.
        if (!dbArg.isEmpty()) messages.replace(dbArg.toUtf8(), "@DB@");
        if (!database.isEmpty()) messages.replace(database.toUtf8(), "@DB@");
        messages.replace(site.toUtf8(), "@SITE@").replace(host.toUtf8(), "@HOST@");
        // The import's own time is the one figure of its summary that varies.
        static const QRegularExpression seconds(QStringLiteral(" in [0-9]+\\.[0-9]+ s"));
        messages = QString::fromUtf8(messages).replace(seconds, QStringLiteral(" in @SECONDS@ s")).toUtf8();
        parts[u"messages"_s] = messages;
        if (!db.error().isEmpty()) {
            ADD_FAILURE() << db.error().toStdString();
            return std::nullopt;
        }
        return parts;
    }

    QStringList m_databases;
};

TEST_P(ImportEquivalence, WritesWhatItWroteWhenRecorded) {
    const auto [engine, index] = GetParam();
    const QString name = siteName(index);
    const QStringList order = partOrder();
    const bool writing = qEnvironmentVariable("HX_WRITE_GOLDEN") == u"1"_s && engine == Engine::SQLite;
    const QString host = QStringLiteral(HX_CLI_PATH);
    ASSERT_TRUE(kZoneFixed);
    GoldenFile golden(kGoldenFile);

    const std::optional<Parts> parts = buildSite(index, host, engine);
    ASSERT_TRUE(parts);
    if (writing) {
        ASSERT_TRUE(
            golden.update(name, *parts, order,
                          "# SHA-256 of the canonical dump of each site after its imports, part by part\n"
                          "# (tests/cli/test_import_equivalence.cpp; HX_WRITE_GOLDEN=1 rewrites it).\n",
                          [](const QString &n) { return n == u"demo"_s ? 0 : 1; }))
            << kGoldenFile.toStdString();
        writeDump(u"%1/%2-%3.dump"_s.arg(kDumpDir, QLatin1String(engineName(engine)), name), *parts, order);
        return;
    }
    const auto rebuild = [&]() -> std::optional<Parts> {
        if (!referenceHost().isEmpty()) return buildSite(index, referenceHost(), Engine::SQLite);
        if (engine == Engine::PostgreSQL) return buildSite(index, host, Engine::SQLite);
        return std::nullopt;
    };
    if (golden.has(name, order.front())) {
        const QString failure = compare(golden, name, engine, *parts, order, kDumpDir, rebuild);
        EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
        return;
    }
    // A site beyond the recorded ones: the same text from the other engine,
    // or from the reference host.
    const std::optional<Parts> expected = rebuild();
    if (!expected) GTEST_SKIP() << name.toStdString() << " has no recorded digests and no reference host";
    QString differences;
    for (const QString &part : order)
        if (expected->at(part) != parts->at(part))
            differences += u"== %1\n"_s.arg(part) + firstDifferences(expected->at(part), parts->at(part));
    if (!differences.isEmpty()) {
        const QString base = u"%1/%2-%3"_s.arg(kDumpDir, QLatin1String(engineName(engine)), name);
        writeDump(base + u".dump"_s, *parts, order);
        writeDump(base + u".expected.dump"_s, *expected, order);
        ADD_FAILURE() << name.toStdString() << " differs from its rebuilt expectation (" << base.toStdString()
                      << ".dump, .expected.dump):\n"
                      << differences.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Sites, ImportEquivalence,
                         ::testing::Combine(::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                                            ::testing::Range(0, siteCount() + 1)),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param) == Engine::SQLite ? "sqlite_"
                                                                                          : "postgresql_") +
                                    siteName(std::get<1>(info.param)).replace(u'-', u'_').toStdString();
                         });

} // namespace
