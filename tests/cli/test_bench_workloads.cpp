// The benchmark workloads, imported by the host, leave exactly the rows, the
// register and the log they left before the import was made faster. Each run
// is reduced to the canonical text of CanonicalDump.h, the same on SQLite and
// PostgreSQL, and a SHA-256 per part is compared with
// tests/cli/data/bench_workloads.sha256.
//
//   HX_GOLDEN_CLI=PATH      runs that host instead of the one built here
//   HX_REFERENCE_CLI=PATH   a mismatch rebuilds the workload with that host
//                           and leaves its dump beside the failing one
//   HX_WRITE_GOLDEN=1       the SQLite runs rewrite their lines of the file
//                           instead of checking them
//
// A mismatch, and every run of a given host, leaves the whole dump in
// build/bench-workloads/ to diff against another host's.
#include "cli/CanonicalDump.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace hx::test::canon;
using hx::Engine;

namespace {

struct Workload {
    const char *name;
    QStringList args;
};

const Workload kWorkloads[] = {
    {"target", {u"--records"_s, u"20000"_s, u"--clocks"_s, u"2"_s}},
    {"history",
     {u"--records"_s, u"8000"_s, u"--employees"_s, u"200"_s, u"--clocks"_s, u"4"_s, u"--missing-in"_s, u"7"_s,
      u"--history"_s, u"20000"_s, u"--register"_s, u"30000"_s}},
    // A hand reader: directions decided by the import, repeats removed.
    {"handreader",
     {u"--records"_s, u"6000"_s, u"--employees"_s, u"150"_s, u"--clocks"_s, u"2"_s, u"--missing-in"_s, u"9"_s,
      u"--biometric"_s}},
};

// The tables and the order of their rows.
const std::pair<const char *, const char *> kTables[] = {
    {"PUNCH", "\"ID\""}, {"EMPLOYEE", "\"EMPLOYEE ID\""}, {"TCRULES", "\"ID\""}, {"AccessPunch", "\"ID\""}};
const QStringList kPartOrder = {u"PUNCH"_s,       u"EMPLOYEE"_s, u"TCRULES"_s,
                                u"AccessPunch"_s, u"register"_s, u"logs"_s};

const QString kGoldenFile = QStringLiteral(HX_SOURCE_DIR "/tests/cli/data/bench_workloads.sha256");
const QString kDumpDir = QStringLiteral(HX_BINARY_DIR "/bench-workloads");

class BenchWorkloads : public ::testing::TestWithParam<std::tuple<Engine, int>> {
protected:
    void TearDown() override {
        for (const QString &database : m_databases) {
            QString error;
            if (!runOnServer(server().port(), u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(database),
                             &error))
                ADD_FAILURE() << error.toStdString();
        }
    }

    static QString givenHost() { return qEnvironmentVariable("HX_GOLDEN_CLI"); }

    // The workload imported by `host` on `engine`, dumped; nullopt (and a
    // failure) when it could not be run.
    std::optional<Parts> runWorkload(const Workload &w, const QString &host, Engine engine) {
        QTemporaryDir tmp;
        if (!tmp.isValid()) return std::nullopt;
        const QString site = tmp.filePath(u"site"_s);
        QString url, database;
        const int port = engine == Engine::PostgreSQL ? server().port() : 0;
        if (engine == Engine::PostgreSQL) {
            if (port <= 0) {
                ADD_FAILURE() << "the PostgreSQL test server did not start: "
                              << server().error().toStdString();
                return std::nullopt;
            }
            database = hx::test::PgSandbox::database(
                u"hx_bench_%1_%2"_s.arg(QString::fromLatin1(w.name)).arg(m_databases.size()));
            QString error;
            if (!runOnServer(port, u"CREATE DATABASE %1"_s.arg(database), &error)) {
                ADD_FAILURE() << error.toStdString();
                return std::nullopt;
            }
            m_databases << database;
            url = server().url(database);
        }
        QStringList args = w.args;
        args << u"--cli"_s << host << u"--keep"_s << site;
        if (!url.isEmpty()) args << u"--db"_s << url;
        QProcess p;
        // The host's texts must not follow the machine they run on.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"TZ"_s, u"America/New_York"_s);
        env.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(HX_BENCH_PIPELINE), args);
        if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            ADD_FAILURE() << "bench_pipeline failed: " << p.readAll().toStdString();
            return std::nullopt;
        }

        Parts parts;
        TableReader db(engine, QDir(site).filePath(u"site.db"_s), port, database);
        for (const auto &[table, key] : kTables)
            parts[QString::fromLatin1(table)] = db.table(table, key);
        parts[u"register"_s] = registerPart(db, QDir(site).filePath(u"app"_s));
        parts[u"logs"_s] = logsPart(QDir(site).filePath(u"logs"_s), site);
        EXPECT_TRUE(db.error().isEmpty()) << db.error().toStdString();
        return parts;
    }

    QStringList m_databases;
};

TEST_P(BenchWorkloads, LeaveTheRowsRegisterAndLogTheyLeftBefore) {
    const auto [engine, index] = GetParam();
    const Workload &w = kWorkloads[index];
    const QString name = QString::fromLatin1(w.name);
    const bool writing = qEnvironmentVariable("HX_WRITE_GOLDEN") == u"1"_s && engine == Engine::SQLite;
    const QString host = givenHost().isEmpty() ? QStringLiteral(HX_CLI_PATH) : givenHost();

    const std::optional<Parts> parts = runWorkload(w, host, engine);
    ASSERT_TRUE(parts);
    GoldenFile golden(kGoldenFile);
    if (writing) {
        ASSERT_TRUE(golden.update(name, *parts, kPartOrder,
                                  "# SHA-256 of the canonical dump of each benchmark workload, part by part\n"
                                  "# (tests/cli/test_bench_workloads.cpp; HX_WRITE_GOLDEN=1 rewrites it).\n",
                                  [](const QString &n) {
                                      for (int i = 0; i < int(std::size(kWorkloads)); ++i)
                                          if (n == QLatin1String(kWorkloads[i].name)) return i;
                                      return int(std::size(kWorkloads));
                                  }))
            << kGoldenFile.toStdString();
    }
    if (writing || !givenHost().isEmpty())
        writeDump(u"%1/%2-%3%4.dump"_s.arg(kDumpDir, QLatin1String(engineName(engine)), name,
                                           givenHost().isEmpty() ? QString() : u".given"_s),
                  *parts, kPartOrder);
    if (writing) return;
    const QString failure =
        compare(golden, name, engine, *parts, kPartOrder, kDumpDir, [&]() -> std::optional<Parts> {
            if (!referenceHost().isEmpty()) return runWorkload(w, referenceHost(), Engine::SQLite);
            if (engine == Engine::PostgreSQL) return runWorkload(w, host, Engine::SQLite);
            return std::nullopt;
        });
    EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Workloads, BenchWorkloads,
                         ::testing::Combine(::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                                            ::testing::Range(0, int(std::size(kWorkloads)))),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param) == Engine::SQLite ? "sqlite_"
                                                                                          : "postgresql_") +
                                    kWorkloads[std::get<1>(info.param)].name;
                         });

} // namespace
