// The poll log list: name decoding, pruning, the punch estimate, its order,
// and the item model's sorting.
#include "cli/DemoPollFile.h"
#include "component/Clock.h"
#include "component/DateTime.h"
#include "component/modGlobal.h"
#include "import/PollLogList.h"
#include "import/PollLogListModel.h"
#include "messages/LogFiles.h"
#include "support/TestSupport.h"

#include <QAbstractItemModelTester>
#include <QFile>

using namespace hx;
using namespace Qt::Literals::StringLiterals;

namespace {
QDateTime at(int y, int m, int d, int h, int mi = 0, int s = 0) {
    return QDateTime(QDate(y, m, d), QTime(h, mi, s));
}

class PollLogListTest : public hx::test::SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        for (int clock : {1, 2})
            db().execute(u"INSERT INTO \"CLOCK\" (\"CLOCK NUMBER\", \"CLOCK NAME\") VALUES (?, ?)"_s,
                         {clock, clock == 1 ? u"front door"_s : u"Dock"_s});
        setDays(2);
    }
    void setDays(int days) {
        db().execute(u"UPDATE \"TCRULES\" SET \"POLL LOG FOR\" = ?"_s, {days});
        reloadRules();
    }
    // A poll log of the given size (its content does not matter for the list).
    QString poll(const QDateTime &polled, int clock, int bytes = 0) {
        const QString name = demo::pollFileName(polled, clock);
        writeFile(u"polllogs/"_s + name, QByteArray(bytes, ';'));
        return name;
    }
    bool exists(const QString &name) const { return QFile::exists(path(u"polllogs/"_s + name)); }
    static QStringList names(const std::vector<PollLogRow> &rows) {
        QStringList out;
        for (const auto &r : rows)
            out << r.fileName;
        return out;
    }
};

QByteArray recordLine() {
    return demo::formatRecord({.badge = 1001, .date = QDate(2007, 4, 26), .time = QTime(8, 0), .inOut = 'I'});
}
} // namespace

TEST_F(PollLogListTest, NamesDecodeToPollTimes) {
    // Six-second steps from 1 January of the year the code names; a year code
    // other than this year's means last year; four hex digits with the top bit
    // set read as their unsigned value.
    for (const auto &[name, polled] : {std::pair{"00000A99.}01", "2006-01-01 00:01:00"},
                                       {"FFFF07.}01", "2007-01-05 13:13:30"}})
        EXPECT_EQ(formatIsoDateTime(dtmPollTimeOfName(QLatin1String(name))), QLatin1String(polled)) << name;
    EXPECT_EQ(hx::test::errorNumberOf([] { dtmPollTimeOfName(u"ZZZZZZ07.}01"_s); }), ErrNo::TypeMismatch);
    EXPECT_EQ(hx::test::errorNumberOf([] { dtmPollTimeOfName(u"123456789A07.}01"_s); }), ErrNo::Overflow);
}

TEST_F(PollLogListTest, BuildPrunesOldAndUnknownClockFilesAndEstimatesPunches) {
    const QString expired = poll(at(2007, 4, 23, 23, 59), 1); // 3 days back
    const QString edge = poll(at(2007, 4, 24, 0), 1, 1420);    // 2 days back
    const QString unknown = poll(at(2007, 4, 26, 9), 7, 898);
    const QString empty = poll(at(2007, 4, 26, 10), 2);
    const QString short897 = poll(at(2007, 4, 26, 11), 2, 897);
    // 898 bytes: one estimated punch, so the lines are counted: the empty line
    // and the two records count, the comments (leading blanks too) do not.
    const QString counted = demo::pollFileName(at(2007, 4, 26, 13, 30), 1);
    QByteArray body = "  ;note\r\n\r\n" + recordLine() + "\r\n" + recordLine() + "\r\n";
    body = ";" + QByteArray(898 - int(body.size()) - 3, 'x') + "\r\n" + body;
    ASSERT_EQ(body.size(), 898);
    writeFile(u"polllogs/"_s + counted, body);
    writeFile(u"polllogs/PUNCH.}02"_s, recordLine() + "\r\n");
    writeFile(u"polllogs/notes.txt"_s, "not a poll log");

    // Reading alone changes nothing in the folder.
    PollLogList list;
    ASSERT_TRUE(list.build());
    EXPECT_TRUE(exists(expired) && exists(unknown));
    const QStringList kept = names(list.allRows());

    std::vector<PollLogNotice> deleted;
    ASSERT_TRUE(list.build(PruneMode::Move, [&](const PollLogNotice &d) { deleted.push_back(d); }));
    EXPECT_EQ(kept, names(list.allRows()));
    // Newest first, the "PUNCH.}" file (year 50 read as 1950) last.
    EXPECT_EQ(kept, (QStringList{counted, short897, empty, edge, u"PUNCH.}02"_s}));
    QStringList shown;
    for (const auto &r : list.allRows())
        shown << u"%1|%2|%3|%4"_s.arg(r.pollDate, r.clockName).arg(r.clockNumber).arg(r.approximatePunches);
    // The 1420 bytes of comments are estimated, not counted.
    EXPECT_EQ(shown, (QStringList{u"04/26/07 01:30:00 pm|front door|1|3"_s, u"04/26/07 11:00:00 am|Dock|2|0"_s,
                                  u"04/26/07 10:00:00 am|Dock|2|0"_s, u"04/24/07 12:00:00 am|front door|1|10"_s,
                                  u"01/01/50 12:00:00 am|Dock|2|0"_s}));

    // Each pruned file is a note in the log (the move into Pruned/: the prune command's test).
    EXPECT_TRUE(exists(edge) && exists(u"notes.txt"_s));
    ASSERT_EQ(deleted.size(), 2u);
    EXPECT_EQ(deleted[0].fileName + deleted[1].fileName, expired + unknown);
    EXPECT_EQ(deleted[1].reason, u"clock 7 is not in the CLOCK table"_s);
    EXPECT_TRUE(logText().contains(u"'Pruned poll log "_s + expired + u": polled 04/23/07 11:59:00 pm, more than 2 days ago'"_s));
    EXPECT_TRUE(boxes.shown().empty());

    // Days 0 keeps only today (and the "PUNCH.}" file).
    setDays(0);
    ASSERT_TRUE(list.build(PruneMode::DryRun));
    EXPECT_EQ(names(list.allRows()), (QStringList{counted, short897, empty, u"PUNCH.}02"_s}));
    EXPECT_TRUE(exists(edge));
}

// A pruned file stays 30 days in Pruned/ (counted from its move), then goes;
// a second file of the same name does not overwrite the first.
TEST_F(PollLogListTest, PrunedFilesStayThirtyDays) {
    setDays(0);
    const QString old = poll(at(2007, 4, 20, 9), 1);
    PollLogList list;
    ASSERT_TRUE(list.build(PruneMode::Move));
    poll(at(2007, 4, 20, 9), 1);
    ASSERT_TRUE(list.build(PruneMode::Move));
    EXPECT_TRUE(exists(u"Pruned/"_s + old) && exists(u"Pruned/"_s + old + u".1"_s));

    for (const auto &[now, kept] : {std::pair{at(2007, 5, 26, 0), true}, {at(2007, 5, 26, 23, 59), false}}) {
        Clock::setFixed(now);
        std::vector<PollLogNotice> notes;
        ASSERT_TRUE(list.build(PruneMode::DryRun, [&](const PollLogNotice &n) { notes.push_back(n); }));
        EXPECT_EQ(notes.empty(), kept);
        ASSERT_TRUE(list.build(PruneMode::Move));
        EXPECT_EQ(exists(u"Pruned/"_s + old), kept) << now.toString().toStdString();
    }
}

// The list is newest first by time, not by the text of the date: December
// before January of the next year, 1 pm after 11 am, the same time by name;
// a name that cannot be decoded is left out, noted and left in place.
TEST_F(PollLogListTest, OrderIsNewestFirstAndTheModelSortsByHeaderClicks) {
    setDays(400);
    const QString dec = poll(at(2006, 12, 30, 9), 2, 840 + 58 * 30); // 30 punches
    const QString jan = poll(at(2007, 1, 5, 9), 1, 840 + 58 * 100);  // 100
    const QString eleven = poll(at(2007, 4, 26, 11), 1);
    const QString one = poll(at(2007, 4, 26, 13), 1, 840 + 58 * 12); // 12
    const QString oneToo = poll(at(2007, 4, 26, 13), 2);
    writeFile(u"polllogs/000Q07.}01"_s, "");
    writeFile(u"polllogs/Zzz.}01"_s, "");
    // Names that sort one way by case and the other without regard to it.
    db().execute(u"UPDATE \"CLOCK\" SET \"CLOCK NAME\" = CASE \"CLOCK NUMBER\" WHEN 1 THEN 'Front' ELSE 'dock' END"_s);
    PollLogList list;
    QStringList bad;
    ASSERT_TRUE(list.build(PruneMode::Move, [&](const PollLogNotice &n) {
        if (n.kind == PollLogNotice::BadName) bad << n.fileName;
    }));
    EXPECT_EQ(names(list.allRows()), (QStringList{one, oneToo, eleven, jan, dec}));
    EXPECT_EQ(bad, (QStringList{u"000Q07.}01"_s, u"Zzz.}01"_s}));
    EXPECT_TRUE(exists(u"Zzz.}01"_s));

    PollLogListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.refill(list);
    model.sortNewestFirst();
    auto column = [&](int col) {
        QStringList out;
        for (int r = 0; r < model.rowCount(); ++r)
            out << model.index(r, col).data().toString();
        return out.join(u',');
    };
    EXPECT_EQ(column(0), u"04/26/07 01:00:00 pm,04/26/07 01:00:00 pm,04/26/07 11:00:00 am,01/05/07 09:00:00 am,"
                         "12/30/06 09:00:00 am"_s);
    // A click sorts ascending: numbers by value, text without regard to case.
    for (const auto &[col, sorted] : {std::pair{2, "0,0,12,30,100"}, {1, "dock,dock,Front,Front,Front"}}) {
        model.headerClicked(col);
        EXPECT_EQ(column(col), QLatin1String(sorted));
    }
}
