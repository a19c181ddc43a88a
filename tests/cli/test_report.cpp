// report exceptions, run as a child process on a site whose PUNCH and
// AccessPunch rows give a known number of each exception.
#include "CliTest.h"

using namespace hx;
using namespace hx::test;

namespace {
class ReportTest : public CliSiteTest {
protected:
    struct Pair {
        int id, employee, day; // day of April 2007; today is the 26th, a Thursday
        std::optional<double> in, out;
        int errorCode = 0, inCode = 0, outCode = 0, odow = 0;
        bool nonWorked = false;
    };
    struct Access {
        int id, day;
        double time;
        int clock, badge;
        bool valid;
        int failure;
    };

    void SetUp() override {
        CliSiteTest::SetUp();
        addEmployees(1, 3);
        db().execute(u"UPDATE \"EMPLOYEE\" SET \"NEWBADGE\" = ? WHERE \"EMPLOYEE ID\" = ?"_s, {7777, 3});
        const auto t = [](int h, int m) { return std::optional<double>(timeSerial(h, m, 0)); };
        const std::nullopt_t none = std::nullopt;
        const Pair pairs[] = {
            {1, 1, 24, t(8, 0), none, 2},                // open, code 2
            {2, 2, 25, t(22, 0), none},                  // open, not yet recalculated
            {3, 3, 26, t(8, 0), none, 2},                // today's: code 2, not open
            {4, 1, 23, t(6, 0), t(23, 30), 4, 0, 0, 2},  // 17.5 h, code 4
            {5, 2, 22, t(20, 0), t(14, 0), 0, 0, 0, 2},  // Sunday to Monday: 18 h
            {6, 3, 24, t(8, 10), t(16, 30), 7, 2, 0, 3}, // late in, code 7
            {7, 1, 25, none, none, 0, 4, 4},             // scheduled, absent
            {8, 2, 10, t(8, 0), none, 2},                // before the default range
            {9, 3, 24, t(8, 0), t(16, 0), 0, 0, 0, 3},   // clean
            {10, 1, 24, none, none, 1, 0, 0, 0, true},   // non-worked
            {11, 99, 24, t(9, 0), t(10, 0), 1, 0, 0, 3}, // no such employee
        };
        for (const Pair &p : pairs)
            db().execute(
                u"INSERT INTO \"PUNCH\" (\"ID\", \"EMPLOYEE ID\", \"IN DATE\", \"IN TIME\", \"OUT TIME\", "
                "\"ERRORCODE\", \"InCode\", \"OutCode\", \"ODOW\", \"NONWORKED\", \"CLOCK NUMBER\") "
                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                {p.id, p.employee, db().date(dateSerial(2007, 4, p.day)), db().time(p.in), db().time(p.out),
                 p.errorCode, p.inCode, p.outCode, p.odow, p.nonWorked ? QVariant(u"H"_s) : QVariant(), 1});
        const Access events[] = {
            {1, 24, timeSerial(7, 59, 0), 1, 1001, true, -1}, // employee 1
            {2, 24, timeSerial(8, 5, 0), 2, 4321, false, 3},  // unknown and refused
            {3, 25, timeSerial(9, 0, 0), 1, 5555, true, -1},  // unknown
            {4, 25, timeSerial(10, 0, 0), 1, 1002, false, 5}, // employee 2 refused
            {5, 25, timeSerial(11, 0, 0), 1, 7777, true, -1}, // employee 3's new badge
            {6, 1, timeSerial(11, 0, 0), 1, 6666, true, -1},  // before the range
        };
        for (const Access &a : events)
            db().execute(
                u"INSERT INTO \"AccessPunch\" (\"ID\", \"Date\", \"Time\", \"Clock\", \"EmployeeClock\", "
                "\"type\", \"Valid\", \"Failure\") VALUES (?, ?, ?, ?, ?, ?, ?, ?)"_s,
                {a.id, db().date(dateSerial(2007, 4, a.day)), db().time(a.time), a.clock, a.badge, 1,
                 db().boolean(a.valid), a.failure});
    }

    QJsonObject report(const QStringList &args = {}) {
        const Result r = run(QStringList{u"report"_s, u"exceptions"_s, u"--json"_s} + args);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return json(r).object();
    }
    static QList<int> ids(const QJsonValue &rows) {
        QList<int> out;
        for (const QJsonValue &row : rows.toArray())
            out << row[u"punch_id"_s].toInt(row[u"access_id"_s].toInt(-1));
        return out;
    }
};

// The sections over the last week, and as the options narrow or widen the range.
TEST_F(ReportTest, JsonSectionsHoldTheirRowsAndOptionsMoveTheRange) {
    const QJsonObject o = report();
    EXPECT_EQ(o[u"since"_s].toString(), u"2007-04-19"_s);
    EXPECT_EQ(o[u"until"_s].toString(), u"2007-04-26"_s);
    const QJsonObject codes = o[u"error_codes"_s].toObject();
    const QStringList oneDay = {u"--since"_s, u"2007-04-25"_s, u"--until"_s, u"2007-04-25"_s},
                      april = {u"--since"_s, u"2007-04-01"_s};
    const struct {
        QJsonValue rows;
        QList<int> want;
    } sections[] = {
        {o[u"open_pairs"_s], {1, 2}},
        {codes[u"hours_not_computed"_s], {11}},
        {codes[u"out_punch_missing"_s], {1, 3}},
        {codes[u"more_hours_than_the_high_warning"_s], {4}},
        {codes[u"schedule_violation_not_excused"_s], {6}},
        {codes[u"unknown_job"_s], {}},
        {o[u"schedule_violations"_s], {7, 6}},
        {o[u"long_pairs"_s], {4, 5}},
        {o[u"unknown_badges"_s], {2, 3}},
        {o[u"refused_access"_s], {2, 4}},
        {report({u"--longer-than"_s, u"17.75"_s})[u"long_pairs"_s], {5}},
        {report(oneDay)[u"open_pairs"_s], {2}},
        {report(april)[u"open_pairs"_s], {1, 8, 2}},
        {report(april)[u"unknown_badges"_s], {6, 2, 3}},
    };
    for (const auto &s : sections)
        EXPECT_EQ(ids(s.rows), s.want) << QJsonDocument(o).toJson().toStdString();
    EXPECT_EQ(codes.size(), 7);

    // One value of each kind: {row, field, value}; null is Null.
    const std::tuple<QJsonValue, const char *, QJsonValue> fields[] = {
        {o[u"open_pairs"_s][0], "employee_name", u"Employee 1"_s}, {o[u"open_pairs"_s][0], "date", u"2007-04-24"_s},
        {o[u"open_pairs"_s][0], "in_time", u"08:00:00"_s}, {o[u"open_pairs"_s][0], "out_time", QJsonValue::Null},
        {o[u"long_pairs"_s][1], "span_hours", 18.0}, {o[u"refused_access"_s][0], "badge", 4321}};
    for (const auto &[row, field, value] : fields)
        EXPECT_EQ(row[QLatin1String(field)], value) << field;
}

TEST_F(ReportTest, TextAndPdfNameTheSectionsWithTheirCounts) {
    const Result text = run({u"report"_s, u"exceptions"_s});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    const Result printed = run({u"report"_s, u"exceptions"_s, u"--pdf"_s, path(u"exceptions.pdf"_s)});
    ASSERT_EQ(printed.exitCode, 0) << printed.err.toStdString();
    const QString printedText = pdfText(path(u"exceptions.pdf"_s));
    for (const QString &want :
         {u"Exceptions 2007-04-19 to 2007-04-26"_s, u"Error codes (5)"_s, u"Schedule violations (2)"_s}) {
        EXPECT_TRUE(text.out.contains(want)) << want.toStdString() << "\n" << text.out.toStdString();
        EXPECT_TRUE(printedText.contains(want)) << want.toStdString() << "\n" << printedText.toStdString();
    }
}

TEST_F(ReportTest, UsageErrorsAndAMissingDatabase) {
    for (const char *args : {"", "absences", "exceptions --json --pdf x.pdf", "exceptions --since 04/26/2007",
                             "exceptions --since 2007-04-26 --until 2007-04-01", "exceptions --longer-than 0",
                             "exceptions --weekly"})
        EXPECT_EQ(run(QStringList{u"report"_s} + QString::fromLatin1(args).split(u' ', Qt::SkipEmptyParts)).exitCode, 2)
            << args;
    const Result missing =
        run({u"--db"_s, path(u"nothing-here.db"_s), u"report"_s, u"exceptions"_s, u"--json"_s}, false);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.out.isEmpty());
}
} // namespace
