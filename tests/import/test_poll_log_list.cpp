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
    QStringList names(const std::vector<PollLogRow> &rows) const {
        QStringList out;
        for (const auto &r : rows)
            out << r.fileName;
        return out;
    }
    QString log() const { return QString::fromLatin1(readFile(u"logs/QX8log.txt"_s)); }
};

QByteArray recordLine() {
    return demo::formatRecord({.badge = 1001, .date = QDate(2007, 4, 26), .time = QTime(8, 0), .inOut = 'I'});
}
} // namespace

TEST_F(PollLogListTest, NamesDecodeToPollTimes) {
    // Six-second steps from 1 January of the year the code names.
    EXPECT_EQ(formatIsoDateTime(dtmPollTimeOfName(u"00000A07.}01"_s)), u"2007-01-01 00:01:00"_s);
    // A year code other than this year's means last year.
    EXPECT_EQ(formatIsoDateTime(dtmPollTimeOfName(u"00000A99.}01"_s)), u"2006-01-01 00:01:00"_s);
    // Four hex digits with the top bit set read as their unsigned value.
    EXPECT_EQ(formatIsoDateTime(dtmPollTimeOfName(u"FFFF07.}01"_s)),
              formatIsoDateTime(dateSerial(2007, 1, 1) + 65535 * 6 / kSecondsPerDay));
    EXPECT_EQ(formatPollDate(dtmPollTimeOfName(u"PUNCH.}01"_s)), u"01/01/50 12:00:00 am"_s);
    EXPECT_EQ(hx::test::errorNumberOf([] { dtmPollTimeOfName(u"ZZZZZZ07.}01"_s); }), ErrNo::TypeMismatch);
    EXPECT_EQ(hx::test::errorNumberOf([] { dtmPollTimeOfName(u"123456789A07.}01"_s); }), ErrNo::Overflow);
}

TEST_F(PollLogListTest, BuildPrunesOldAndUnknownClockFilesAndEstimatesPunches) {
    const QString expired = poll(QDateTime(QDate(2007, 4, 23), QTime(23, 59)), 1);  // 3 days back
    const QString edge = poll(QDateTime(QDate(2007, 4, 24), QTime(0, 0)), 1, 1420); // 2 days back
    const QString unknown = poll(QDateTime(QDate(2007, 4, 26), QTime(9, 0)), 7, 898);
    const QString empty = poll(QDateTime(QDate(2007, 4, 26), QTime(10, 0)), 2);
    const QString short897 = poll(QDateTime(QDate(2007, 4, 26), QTime(11, 0)), 2, 897);
    // 898 bytes: one estimated punch, so the lines are counted: the empty line
    // and the two records count, the comments (leading blanks too) do not.
    const QString counted = demo::pollFileName(QDateTime(QDate(2007, 4, 26), QTime(13, 30)), 1);
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
    const std::vector<PollLogRow> kept = list.allRows();

    std::vector<PollLogNotice> deleted;
    ASSERT_TRUE(list.build(PruneMode::Move, [&](const PollLogNotice &d) { deleted.push_back(d); }));
    EXPECT_EQ(names(kept), names(list.allRows()));

    // Newest first, the "PUNCH.}" file (year 50 read as 1950) last.
    EXPECT_EQ(names(list.allRows()), (QStringList{counted, short897, empty, edge, u"PUNCH.}02"_s}));
    const auto &rows = list.allRows();
    EXPECT_EQ(rows[0].pollDate, u"04/26/07 01:30:00 pm"_s);
    EXPECT_EQ(rows[0].clockName, u"front door"_s);
    EXPECT_EQ(rows[0].clockNumber, 1);
    EXPECT_EQ(rows[0].approximatePunches, 3);
    EXPECT_EQ(rows[1].approximatePunches, 0);
    EXPECT_EQ(rows[2].approximatePunches, 0);
    EXPECT_EQ(rows[3].approximatePunches, 10); // estimated, not counted (all comments)
    EXPECT_EQ(rows[4].pollDate, u"01/01/50 12:00:00 am"_s);
    EXPECT_EQ(rows[4].clockName, u"Dock"_s);

    // Pruned files wait in Pruned/, not deleted.
    for (const QString &name : {expired, unknown}) {
        EXPECT_FALSE(exists(name));
        EXPECT_TRUE(exists(u"Pruned/"_s + name)) << name.toStdString();
    }
    EXPECT_TRUE(exists(edge));
    EXPECT_TRUE(exists(u"notes.txt"_s));
    ASSERT_EQ(deleted.size(), 2u);
    EXPECT_EQ(deleted[0].fileName, expired);
    EXPECT_EQ(deleted[1].fileName, unknown);
    EXPECT_EQ(deleted[1].reason, u"clock 7 is not in the CLOCK table"_s);
    // Each deletion is a note in the log naming the file.
    EXPECT_TRUE(log().contains(u"'Pruned poll log "_s + expired +
                               u": polled 04/23/07 11:59:00 pm, more than 2 days ago'"_s));
    EXPECT_TRUE(
        log().contains(u"'Pruned poll log "_s + unknown + u": clock 7 is not in the CLOCK table'"_s));
    EXPECT_TRUE(boxes.shown().empty());

    list.setHideEmpty(true);
    EXPECT_EQ(names(list.rows()), (QStringList{counted, edge})); // the one-line file estimates 0
}

TEST_F(PollLogListTest, DaysZeroKeepsOnlyToday) {
    setDays(0);
    const QString yesterday = poll(QDateTime(QDate(2007, 4, 25), QTime(23, 59, 54)), 1);
    const QString today = poll(QDateTime(QDate(2007, 4, 26), QTime(0, 0)), 1);
    PollLogList list;
    ASSERT_TRUE(list.build(PruneMode::DryRun));
    EXPECT_EQ(names(list.allRows()), QStringList{today});
    EXPECT_TRUE(exists(yesterday));
}

// A pruned file stays 30 days in Pruned/ (counted from its move), then goes;
// a second file of the same name does not overwrite the first.
TEST_F(PollLogListTest, PrunedFilesStayThirtyDays) {
    setDays(0);
    const QString old = poll(QDateTime(QDate(2007, 4, 20), QTime(9, 0)), 1);
    PollLogList list;
    ASSERT_TRUE(list.build(PruneMode::Move));
    poll(QDateTime(QDate(2007, 4, 20), QTime(9, 0)), 1);
    ASSERT_TRUE(list.build(PruneMode::Move));
    EXPECT_TRUE(exists(u"Pruned/"_s + old) && exists(u"Pruned/"_s + old + u".1"_s));

    const struct {
        QDateTime now;
        bool kept;
    } cases[] = {{QDateTime(QDate(2007, 5, 26), QTime(0, 0)), true},
                 {QDateTime(QDate(2007, 5, 26), QTime(23, 59)), false}};
    for (const auto &c : cases) {
        Clock::setFixed(c.now);
        std::vector<PollLogNotice> notes;
        ASSERT_TRUE(list.build(PruneMode::DryRun, [&](const PollLogNotice &n) { notes.push_back(n); }));
        EXPECT_EQ(notes.empty(), c.kept);
        ASSERT_TRUE(list.build(PruneMode::Move));
        EXPECT_EQ(exists(u"Pruned/"_s + old), c.kept) << c.now.toString().toStdString();
    }
    EXPECT_TRUE(log().contains(u"'Deleted pruned poll log "_s + old));
}

// The list is newest first by time, not by the text of the date: December
// before January of the next year, 1 pm after 11 am.
TEST_F(PollLogListTest, OrderIsNewestFirstAcrossYearAndNoon) {
    setDays(400);
    const QString dec = poll(QDateTime(QDate(2006, 12, 30), QTime(9, 0)), 1);
    const QString jan = poll(QDateTime(QDate(2007, 1, 5), QTime(9, 0)), 1);
    const QString eleven = poll(QDateTime(QDate(2007, 4, 26), QTime(11, 0)), 1);
    const QString one = poll(QDateTime(QDate(2007, 4, 26), QTime(13, 0)), 1);
    const QString oneToo = poll(QDateTime(QDate(2007, 4, 26), QTime(13, 0)), 2); // same time: by name
    PollLogList list;
    ASSERT_TRUE(list.build());
    EXPECT_EQ(names(list.allRows()), (QStringList{one, oneToo, eleven, jan, dec}));
}

TEST_F(PollLogListTest, UndecodableNameIsLeftOutAndTheRestListed) {
    const QString good = poll(QDateTime(QDate(2007, 4, 26), QTime(9, 0)), 1);
    writeFile(u"polllogs/000Q07.}01"_s, "");
    const QString after = poll(QDateTime(QDate(2007, 4, 26), QTime(10, 0)), 2);
    writeFile(u"polllogs/Zzz.}01"_s, "");
    PollLogList list;
    QStringList bad;
    EXPECT_TRUE(list.build(PruneMode::Move, [&](const PollLogNotice &n) {
        if (n.kind == PollLogNotice::BadName) bad << n.fileName;
    }));
    EXPECT_EQ(names(list.allRows()), (QStringList{after, good}));
    EXPECT_EQ(bad, (QStringList{u"000Q07.}01"_s, u"Zzz.}01"_s}));
    EXPECT_TRUE(exists(u"Zzz.}01"_s));
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_TRUE(log().contains(u"Poll log Zzz.}01 left out"_s)) << log().toStdString();

}

TEST(PollLogSortKeys, DatesWithTheTwoDigitYearWindowAndTenDigitNumbers) {
    EXPECT_EQ(strDateSortKey(u"04/26/07 05:17:09 pm"_s), u"20070426171709"_s);
    EXPECT_EQ(strDateSortKey(u"01/01/50 12:00:00 am"_s), u"19500101000000"_s);
    EXPECT_EQ(strDateSortKey(u"12/31/29 11:59:59 pm"_s), u"20291231235959"_s);
    EXPECT_EQ(strDateSortKey(u"not a date"_s), QString());
    EXPECT_EQ(strNumberSortKey(u"42"_s), u"0000000042"_s);
    EXPECT_EQ(strNumberSortKey(u"x"_s), QString());
}

TEST_F(PollLogListTest, ModelSortsByHeaderClicks) {
    setDays(400);
    const QString a = poll(QDateTime(QDate(2006, 12, 30), QTime(9, 0)), 2, 840 + 58 * 30); // 30
    const QString b = poll(QDateTime(QDate(2007, 1, 5), QTime(9, 0)), 1, 840 + 58 * 100);  // 100
    const QString c = poll(QDateTime(QDate(2007, 4, 26), QTime(13, 0)), 1, 840 + 58 * 12); // 12
    db().execute(u"UPDATE \"CLOCK\" SET \"CLOCK NAME\" = ? WHERE \"CLOCK NUMBER\" = 2"_s, {u"back gate"_s});
    PollLogList list;
    ASSERT_TRUE(list.build());

    PollLogListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.refill(list);
    model.sortNewestFirst();
    auto column = [&](int col) {
        QStringList out;
        for (int r = 0; r < model.rowCount(); ++r)
            out << model.index(r, col).data().toString();
        return out;
    };
    EXPECT_EQ(column(0),
              (QStringList{u"04/26/07 01:00:00 pm"_s, u"01/05/07 09:00:00 am"_s, u"12/30/06 09:00:00 am"_s}));
    EXPECT_EQ(model.index(0, 0).data(PollLogListModel::FileNameRole).toString(), c);
    EXPECT_EQ(model.index(0, 0).data(PollLogListModel::PictureRole).toString(), u"POLL_LOG_GOOD"_s);
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), u"Approx. Punches"_s);

    // The date column is the sort column (descending): a click makes it ascending.
    model.headerClicked(0);
    EXPECT_EQ(model.sortOrder(), Qt::AscendingOrder);
    EXPECT_EQ(model.rowAt(0).fileName, a);
    // A new column starts ascending, the second click reverses; numbers by value.
    model.headerClicked(2);
    EXPECT_EQ(column(2), (QStringList{u"12"_s, u"30"_s, u"100"_s}));
    model.headerClicked(2);
    EXPECT_EQ(column(2), (QStringList{u"100"_s, u"30"_s, u"12"_s}));
    // Text without regard to case.
    model.headerClicked(1);
    EXPECT_EQ(column(1), (QStringList{u"back gate"_s, u"front door"_s, u"front door"_s}));
    EXPECT_EQ(model.rowOfFile(a), 0);
    EXPECT_EQ(model.rowOfFile(u"missing"_s), -1);
}
