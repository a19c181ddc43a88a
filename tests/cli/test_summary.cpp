// What an import did: its summary (text and JSON), the history of runs, and
// a dry run that keeps nothing.
#include "cli/CliTest.h"
#include "component/Schema.h"

#include <QDir>
#include <QRegularExpression>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using hx::test::CliSiteTest;

namespace {
class ImportSummaryTest : public CliSiteTest {
protected:
    QByteArray rec(int id, int day, QTime t, char io, int seq) {
        return hx::demo::formatRecord(
            {.badge = 1000 + id, .date = QDate(2007, 4, day), .time = t, .inOut = io, .department = 10, .sequence = seq});
    }
    void poll(const QString &name, const QList<QByteArray> &lines) {
        ASSERT_TRUE(hx::demo::writePollFile(path(u"polllogs/"_s + name), lines));
    }
    QJsonObject json(const Result &r) {
        const QJsonDocument d = QJsonDocument::fromJson(r.out.toUtf8());
        EXPECT_TRUE(d.isObject()) << r.out.toStdString() << r.err.toStdString();
        return d.object();
    }
    // Every table, row by row, as text: what a dry run must leave alone.
    QString everything() {
        QString out;
        for (const QString &table : hx::schemaTables(db().engine())) {
            if (!db().hasTable(table)) continue;
            for (hx::Recordset rs = db().openRecordset(u"SELECT * FROM \"%1\""_s.arg(table)); !rs.eof(); rs.moveNext()) {
                QStringList row{table};
                for (int c = 0; c < rs.columns().size(); ++c)
                    row << rs.value(c).toString();
                out += row.join(u'|') + u'\n';
            }
        }
        return out + QDir(path(u"polllogs"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).join(u',');
    }
};
} // namespace

TEST_F(ImportSummaryTest, CountsHistoryAndADryRun) {
    addEmployees(1, 3);
    const QTime in(8, 0), out(16, 30);
    // One shift, a repeated in punch, one pair left open; a bad line apart.
    poll(u"2A000007.}01"_s, {rec(1, 24, in, 'I', 1), rec(1, 24, out, 'O', 2), rec(1, 24, in, 'I', 3),
                             rec(2, 25, in, 'I', 4)});
    poll(u"2A000107.}01"_s, {"a line of the wrong size"});
    poll(u"2A000207.}01"_s, {rec(2, 25, out, 'O', 5)});

    const struct {
        QStringList args;
        int exit;
        const char *outcome;
        // records_read, records_skipped_seen, bad_lines, punches_new, duplicates_removed,
        // pairs_opened, pairs_closed, employees
        std::array<int, 8> counts;
        const char *errors;
    } runs[] = {
        {{u"2A000007.}01"_s, u"2A000107.}01"_s}, 3, "saved_with_errors", {4, 0, 1, 3, 1, 2, 1, 2}, "bad_line"},
        // The first file again, seen; the second closes the open pair.
        {{u"--skip-seen"_s, u"2A000007.}01"_s, u"2A000207.}01"_s}, 0, "saved", {5, 4, 0, 1, 0, 0, 1, 1}, nullptr},
    };
    const char *keys[] = {"records_read", "records_skipped_seen", "bad_lines", "punches_new",
                          "duplicates_removed", "pairs_opened", "pairs_closed", "employees"};
    for (const auto &run : runs) {
        const Result r = this->run(QStringList{u"import"_s, u"--yes"_s, u"--json"_s} + run.args);
        SCOPED_TRACE(r.err.toStdString());
        EXPECT_EQ(r.exitCode, run.exit);
        const QJsonObject o = json(r);
        EXPECT_EQ(o[u"outcome"_s].toString(), QLatin1String(run.outcome));
        EXPECT_EQ(o[u"exit_status"_s].toInt(), run.exit);
        for (size_t k = 0; k < run.counts.size(); ++k)
            EXPECT_EQ(o[QLatin1String(keys[k])].toInt(), run.counts[k]) << keys[k];
        EXPECT_EQ(o[u"errors"_s].toObject().keys(), run.errors ? QStringList{QLatin1String(run.errors)} : QStringList());
        EXPECT_EQ(o[u"files"_s].toArray().size(), run.args.size() - (run.args[0].startsWith(u"--") ? 1 : 0));
        // The block on standard error says the same.
        EXPECT_TRUE(r.err.contains(QRegularExpression(u"new punches +%1 "_s.arg(run.counts[3])))) << r.err.toStdString();
    }
    EXPECT_EQ(completePairs(), 2);

    // A file that cannot be read: not saved, and recorded so.
    EXPECT_EQ(run({u"import"_s, u"--yes"_s, u"NOSUCH07.}01"_s}).exitCode, 1);

    // A dry run posts and counts, then keeps nothing: no row, no register, no file.
    poll(u"2A000307.}01"_s, {rec(3, 25, in, 'I', 6), rec(3, 25, out, 'O', 7)});
    const QString before = everything();
    const Result dry = run({u"import"_s, u"--yes"_s, u"--dry-run"_s, u"--json"_s, u"2A000307.}01"_s});
    EXPECT_EQ(dry.exitCode, 0) << dry.err.toStdString();
    EXPECT_EQ(json(dry)[u"punches_new"_s].toInt(), 2);
    EXPECT_TRUE(json(dry)[u"dry_run"_s].toBool());
    EXPECT_EQ(everything(), before);
    EXPECT_TRUE(log().contains(u"Dry run"_s));

    // The history, newest first.
    const Result h = run({u"history"_s, u"--json"_s});
    ASSERT_EQ(h.exitCode, 0) << h.err.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(h.out.toUtf8()).array();
    ASSERT_EQ(rows.size(), 3) << h.out.toStdString();
    const char *outcomes[] = {"not_saved", "saved", "saved_with_errors"};
    for (int i = 0; i < 3; ++i) {
        const QJsonObject o = rows[i].toObject();
        EXPECT_EQ(o[u"outcome"_s].toString(), QLatin1String(outcomes[i]));
        EXPECT_EQ(o[u"source"_s].toString(), u"command"_s);
        EXPECT_EQ(o[u"started"_s].toString(), u"2007-04-26T17:17:00"_s);
    }
    EXPECT_EQ(rows[0].toObject()[u"cause"_s].toString(), u"File Load Error: NOSUCH07.}01"_s);
    EXPECT_EQ(rows[1].toObject()[u"records_skipped_seen"_s].toInt(), 4);
    EXPECT_EQ(rows[2].toObject()[u"errors"_s].toObject()[u"bad_line"_s].toInt(), 1);
    EXPECT_EQ(rows[2].toObject()[u"files"_s].toArray()[0].toObject()[u"size"_s].toInt(), 4 * 60);
    EXPECT_EQ(run({u"history"_s, u"--limit"_s, u"1"_s}).out.count(u'\n'), 2);
}
