// The benchmark workloads, imported by the host, leave exactly the rows, the
// register and the log they left before the import was made faster. Each run
// is reduced to the canonical text of CanonicalDump.h, the same on SQLite and
// PostgreSQL, and a SHA-256 per part is compared with
// tests/cli/data/bench_workloads.sha256.
//
// HX_WRITE_GOLDEN=1: the SQLite runs rewrite their lines of the file. A
// mismatch leaves the whole dump in build/bench-workloads/.
#include "cli/CanonicalDump.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace hx::test::canon;
using hx::Engine;

namespace {

const struct {
    const char *name;
    QStringList args;
} kWorkloads[] = {
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
const std::vector<std::pair<const char *, const char *>> kTables = {
    {"PUNCH", "\"ID\""}, {"EMPLOYEE", "\"EMPLOYEE ID\""}, {"TCRULES", "\"ID\""}, {"AccessPunch", "\"ID\""}};
const QStringList kPartOrder = {u"PUNCH"_s, u"EMPLOYEE"_s, u"TCRULES"_s, u"AccessPunch"_s, u"register"_s, u"logs"_s};

class BenchWorkloads : public GoldenDumpTest {
protected:
    // Workload `index` imported by the host on `engine`, dumped; nullopt (and
    // a failure) when it could not be run.
    std::optional<Parts> runWorkload(int index, Engine engine) {
        QTemporaryDir tmp;
        if (!tmp.isValid()) return std::nullopt;
        const QString site = tmp.filePath(u"site"_s);
        QStringList args = kWorkloads[index].args;
        args << u"--cli"_s << QStringLiteral(HX_CLI_PATH) << u"--keep"_s << site;
        QString database;
        if (engine == Engine::PostgreSQL) {
            database = newDatabase(hx::test::PgSandbox::database(
                u"hx_bench_%1_%2"_s.arg(QLatin1String(kWorkloads[index].name)).arg(m_databases.size())));
            if (database.isEmpty()) return std::nullopt;
            args << u"--db"_s << server().url(database);
        }
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
        TableReader db(engine, QDir(site).filePath(u"site.db"_s), database.isEmpty() ? 0 : server().port(),
                       database);
        const Parts parts = readSite(db, kTables, site);
        EXPECT_TRUE(db.error().isEmpty()) << db.error().toStdString();
        return parts;
    }
};

TEST_P(BenchWorkloads, LeaveTheRowsRegisterAndLogTheyLeftBefore) {
    const auto [engine, index] = GetParam();
    const QString name = QString::fromLatin1(kWorkloads[index].name);
    const std::optional<Parts> parts = runWorkload(index, engine);
    ASSERT_TRUE(parts);
    check(QStringLiteral(HX_SOURCE_DIR "/tests/cli/data/bench_workloads.sha256"),
          "# SHA-256 of the canonical dump of each benchmark workload, part by part\n"
          "# (tests/cli/test_bench_workloads.cpp; HX_WRITE_GOLDEN=1 rewrites it).\n",
          [](const QString &n) {
              for (int i = 0; i < int(std::size(kWorkloads)); ++i)
                  if (n == QLatin1String(kWorkloads[i].name)) return i;
              return int(std::size(kWorkloads));
          },
          name, *parts, kPartOrder, QStringLiteral(HX_BINARY_DIR "/bench-workloads"));
}

INSTANTIATE_TEST_SUITE_P(Workloads, BenchWorkloads,
                         ::testing::Combine(::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                                            ::testing::Range(0, int(std::size(kWorkloads)))),
                         [](const auto &info) {
                             return caseName(std::get<0>(info.param),
                                             QLatin1String(kWorkloads[std::get<1>(info.param)].name));
                         });

} // namespace
