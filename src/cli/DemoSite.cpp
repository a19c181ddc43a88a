#include "cli/DemoSite.h"

#include "component/DateTime.h"
#include "component/Values.h"
#include "import/PollLogFormat.h"

#include <QMap>
#include <algorithm>
#include <map>
#include <random>

namespace hx::demo {
namespace {

enum Clock { FrontEntrance = 1, WarehouseDock = 2, HandReader = 3, ServerRoom = 4 };
enum Dept { Assembly = 10, Shipping = 20, Office = 30, Maintenance = 40 };

struct ClockRow {
    int number;
    const char *name;
    const char *comms; // nullptr: none recorded
    bool accessOnly;
};
const ClockRow kClocks[] = {
    {FrontEntrance, "Front Entrance", "TCP/IP", false},
    {WarehouseDock, "Warehouse Dock", nullptr, false},
    {HandReader, "Hand Reader", "HPx000", false},
    {ServerRoom, "Server Room", "TCP/IP", true},
};

struct DeptRow {
    int id;
    const char *name;
    bool dataFields;
};
const DeptRow kDepts[] = {
    {Assembly, "Assembly", false},
    {Shipping, "Shipping", false},
    {Office, "Office", true},
    {Maintenance, "Maintenance", false},
};

struct EmployeeRow {
    int id;
    int badge;
    const char *last;
    const char *first;
    const char *access; // "YES", "NO", "ONLY"
    bool swipeAndGo;
    int schedule; // 0: none
};
const EmployeeRow kEmployees[] = {
    {1, 1001, "Archer", "Alice", "NO", false, 1}, {2, 1002, "Brooks", "Ben", "NO", false, 1},
    {3, 1003, "Cruz", "Carmen", "NO", false, 0},  {4, 1004, "Desai", "Dev", "NO", true, 0},
    {5, 1005, "Ellis", "Erin", "NO", false, 0},   {6, 1006, "Ford", "Frank", "ONLY", false, 0},
    {7, 1007, "Green", "Grace", "YES", false, 2},
};
constexpr int kUnknownBadge = 9999;

struct QualRow {
    int employee;
    int dept;
    int sequence;
};
const QualRow kQuals[] = {
    {1, Assembly, 1}, {2, Assembly, 1},    {3, Shipping, 1},    {4, Office, 1},
    {4, Assembly, 2}, {5, Maintenance, 1}, {6, Maintenance, 1}, {7, Shipping, 1},
};

const char *deptName(int id) {
    for (const DeptRow &d : kDepts)
        if (d.id == id) return d.name;
    return "UNKNOWN";
}

const char *clockName(int number) {
    for (const ClockRow &c : kClocks)
        if (c.number == number) return c.name;
    return "?";
}

// One punch or access event at one clock.
struct Event {
    int clock;
    PollRecord record;
    bool truncated = false; // written one character short: a bad line
};

QVariant text(const char *s) {
    return s ? QVariant(QString::fromLatin1(s)) : QVariant();
}

void seedSchedules(Database &db) {
    db.execute(
        QStringLiteral("INSERT INTO \"SCHEDULE\" (\"ScheduleNumber\", \"ScheduleName\") VALUES (?, ?)"),
        {1, QStringLiteral("Day shift 8:00-16:30, lunch 12:00-12:30")});
    db.execute(
        QStringLiteral("INSERT INTO \"SCHEDULE\" (\"ScheduleNumber\", \"ScheduleName\") VALUES (?, ?)"),
        {2, QStringLiteral("Early shift 6:00-14:00")});
    auto t = [&](int h, int m) { return db.time(timeSerial(h, m, 0)); };
    const QVariant none = Database::null();
    // Monday to Friday; the weekend stays closed.
    for (const char *letter : {"M", "E", "W", "H", "R"}) {
        const QString x = QString::fromLatin1(letter);
        QString sql = QStringLiteral("UPDATE \"SCHEDULE\" SET ");
        QStringList sets;
        for (const char *w :
             {"Open", "SchIn", "EarlyIn", "LateIn", "SchLunchOut", "EarlyLunchOut", "LateLunchOut",
              "SchLunchIn", "EarlyLunchIn", "LateLunchIn", "SchOut", "EarlyOut", "LateOut"})
            sets << QStringLiteral("\"%1%2\" = ?").arg(x, QString::fromLatin1(w));
        sql += sets.join(QStringLiteral(", ")) + QStringLiteral(" WHERE \"ScheduleNumber\" = ?");
        db.execute(sql, {db.boolean(true), t(8, 0), t(7, 45), t(8, 7), t(12, 0), t(11, 50), t(12, 10),
                         t(12, 30), t(12, 25), t(12, 37), t(16, 30), t(16, 25), t(16, 45), 1});
        db.execute(sql, {db.boolean(true), t(6, 0), t(5, 50), t(6, 7), none, none, none, none, none, none,
                         t(14, 0), t(13, 55), t(14, 15), 2});
    }
}

// A punch time of the day with a few minutes' scatter. The draw is taken
// from the engine's output by hand: the standard libraries' distributions
// differ, and the demonstration must be the same site everywhere.
class Scatter {
public:
    QTime at(int h, int m, int from, int to) {
        return QTime(h, m).addSecs(60 * (from + int(m_gen() % uint32_t(to - from + 1))));
    }

private:
    std::mt19937 m_gen{20070426};
};

std::vector<Event> weekOfEvents(const QDate &firstDay) {
    std::vector<Event> ev;
    Scatter s;
    auto punch = [&](int clock, int badge, const QDate &d, const QTime &t, char io, int dept,
                     const char *status = "00", double job = 0) {
        Event e;
        e.clock = clock;
        e.record.badge = badge;
        e.record.date = d;
        e.record.time = t;
        e.record.inOut = io;
        e.record.department = dept;
        e.record.job = job;
        e.record.status = status;
        ev.push_back(e);
        return ev.size() - 1;
    };
    const char *lunch = "04"; // punch type 1: the lunch break's out and in
    const char *excused = "02";

    int weekdayIndex = -1;
    for (int i = 0; i < 7; ++i) {
        const QDate d = firstDay.addDays(i);
        const bool weekday = d.dayOfWeek() <= 5;
        if (weekday) ++weekdayIndex;

        // Carmen works nights on the warehouse dock, whatever the weekday; the
        // fifth night runs long into the next morning.
        if (i <= 4) {
            punch(WarehouseDock, 1003, d, s.at(21, 55, 0, 6), 'I', Shipping);
            if (i < 4)
                punch(WarehouseDock, 1003, d.addDays(1), s.at(6, 0, 0, 8), 'O', Shipping);
            else
                punch(WarehouseDock, 1003, d.addDays(1), QTime(10, 30), 'O', Shipping);
        }
        if (i == 2) // a badge nobody holds, refused at the server room
            punch(ServerRoom, kUnknownBadge, d, QTime(2, 13), 'I', 0, "41");
        if (!weekday) continue;

        // Alice: day shift with a lunch break; late on the second weekday.
        punch(FrontEntrance, 1001, d, weekdayIndex == 1 ? QTime(8, 14) : s.at(7, 50, 0, 9), 'I', Assembly);
        punch(FrontEntrance, 1001, d, s.at(12, 0, 0, 3), 'O', Assembly, lunch);
        punch(FrontEntrance, 1001, d, s.at(12, 27, 0, 5), 'I', Assembly, lunch);
        punch(FrontEntrance, 1001, d, s.at(16, 30, 0, 12), 'O', Assembly);

        // Ben: the same shift; swipes twice on the first weekday, is late but
        // excused on the third.
        if (weekdayIndex == 0) {
            punch(FrontEntrance, 1002, d, QTime(7, 58), 'I', Assembly);
            punch(FrontEntrance, 1002, d, QTime(7, 59), 'I', Assembly);
        } else if (weekdayIndex == 2) {
            punch(FrontEntrance, 1002, d, QTime(8, 20), 'I', Assembly, excused);
        } else {
            punch(FrontEntrance, 1002, d, s.at(7, 48, 0, 10), 'I', Assembly);
        }
        punch(FrontEntrance, 1002, d, s.at(12, 0, 0, 4), 'O', Assembly, lunch);
        punch(FrontEntrance, 1002, d, s.at(12, 26, 0, 6), 'I', Assembly, lunch);
        punch(FrontEntrance, 1002, d, s.at(16, 31, 0, 10), 'O', Assembly);

        // Grace: early shift; forgets to punch out on the second weekday and
        // is away on the fourth. Her badge also opens doors.
        if (weekdayIndex != 3) {
            punch(WarehouseDock, 1007, d, s.at(5, 52, 0, 7), 'I', Shipping);
            if (weekdayIndex != 1) punch(WarehouseDock, 1007, d, s.at(14, 0, 0, 9), 'O', Shipping);
        }

        // Dev: Vazaz-O-Du, one swipe without in or out; books his time to a
        // job, on the third weekday to one that does not exist.
        const double job = weekdayIndex == 2 ? 4242 : 1001;
        punch(FrontEntrance, 1004, d, s.at(8, 52, 0, 8), ' ', Office, "00", job);
        punch(FrontEntrance, 1004, d, s.at(12, 1, 0, 5), ' ', Office, "00", job);
        punch(FrontEntrance, 1004, d, s.at(12, 46, 0, 8), ' ', Office, "00", job);
        punch(FrontEntrance, 1004, d, s.at(17, 2, 0, 10), ' ', Office, "00", job);

        // Erin: the hand reader decides in and out; a repeated swipe on the
        // first weekday.
        const QTime in = s.at(6, 56, 0, 4);
        punch(HandReader, 1005, d, in, ' ', Maintenance);
        if (weekdayIndex == 0) punch(HandReader, 1005, d, in.addSecs(60), ' ', Maintenance);
        punch(HandReader, 1005, d, s.at(15, 28, 0, 6), ' ', Maintenance);

        // Frank: access control only.
        punch(FrontEntrance, 1006, d, s.at(8, 25, 0, 10), 'I', Maintenance);
        punch(ServerRoom, 1006, d, s.at(9, 10, 0, 10), 'I', Maintenance);
        punch(ServerRoom, 1006, d, s.at(9, 35, 0, 10), 'O', Maintenance);
        if (weekdayIndex == 1) // a record the line mangled
            ev[punch(FrontEntrance, 1006, d, QTime(10, 2), 'O', Maintenance)].truncated = true;
    }
    return ev;
}
} // namespace

DemoSite::DemoSite(const QDate &today) : m_firstDay(today.addDays(-7)) {}

void DemoSite::seed(Database &db) const {
    for (const ClockRow &c : kClocks)
        db.execute(QStringLiteral("INSERT INTO \"CLOCK\" (\"CLOCK NUMBER\", \"CLOCK NAME\", \"COMMS TYPE\", "
                                  "\"AccessOnly\", \"status\") VALUES (?, ?, ?, ?, ?)"),
                   {c.number, text(c.name), text(c.comms), db.boolean(c.accessOnly), db.boolean(false)});
    for (const DeptRow &d : kDepts)
        db.execute(
            QStringLiteral("INSERT INTO \"DEPT\" (\"DEPT ID\", \"DEPT NAME\", \"DATAFLDEN\", \"STATUS\") "
                           "VALUES (?, ?, ?, ?)"),
            {d.id, text(d.name), db.boolean(d.dataFields), db.boolean(false)});
    seedSchedules(db);
    for (const EmployeeRow &e : kEmployees)
        db.execute(QStringLiteral(
                       "INSERT INTO \"EMPLOYEE\" (\"EMPLOYEE ID\", \"CLOCK ID\", \"NEWBADGE\", "
                       "\"LAST NAME\", \"FIRST NAME\", \"AccessControl\", \"SwipeAndGo\", \"SCHEDULE\", "
                       "\"OLDSCHEDULE\", \"STATUS\", \"MSGCODE\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                   {e.id, e.badge, 0, text(e.last), text(e.first), text(e.access), db.boolean(e.swipeAndGo),
                    e.schedule, e.schedule, 1, -1});
    for (const QualRow &q : kQuals) {
        // Assembly works to the schedule's lunch break and forgives a few
        // minutes at the start and the end of the shift; the others lose half
        // an hour of lunch on a pair of six hours or more.
        const bool assembly = q.dept == Assembly;
        db.execute(QStringLiteral(
                       "INSERT INTO \"DEPTQUAL\" (\"EMPLOYEE ID\", \"DEPT NAME\", \"SEQUENCE\", \"OTRULES\", "
                       "\"PAYRATE\", \"IREVLOW\", \"IREVHI\", \"OREVLOW\", \"OREVHI\", \"UseDiff\", "
                       "\"LUNCHLEN\", \"LUNCH AT\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                   {q.employee, text(deptName(q.dept)), q.sequence, 1, 18.50,
                    assembly ? QStringLiteral("7:45 AM") : QString(),
                    assembly ? QStringLiteral("8:00 AM") : QString(),
                    assembly ? QStringLiteral("4:30 PM") : QString(),
                    assembly ? QStringLiteral("4:45 PM") : QString(), db.boolean(q.dept == Shipping),
                    assembly ? QStringLiteral("0") : QStringLiteral("30"),
                    assembly ? QStringLiteral("0") : QStringLiteral("6")});
    }
    db.execute(QStringLiteral("INSERT INTO \"JOB\" (\"JOB NUMBER\", \"JOB NAME\") VALUES (?, ?)"),
               {1001, QStringLiteral("Customer support")});
    db.execute(QStringLiteral("INSERT INTO \"JOB\" (\"JOB NUMBER\", \"JOB NAME\") VALUES (?, ?)"),
               {1002, QStringLiteral("Quotations")});
    // Quarter-hour windows, ready for a site that sets the rounding to Custom.
    for (const auto &w : {std::array<int, 3>{53, 7, 0}, {8, 22, 15}, {23, 37, 30}, {38, 52, 45}})
        db.execute(
            QStringLiteral("INSERT INTO \"CustomRound\" (\"MinuteMin\", \"MinuteMax\", \"NewMinuteValue\", "
                           "\"Applies To\") VALUES (?, ?, ?, ?)"),
            {w[0], w[1], w[2], 1});

    const double first = fromQDate(m_firstDay);
    db.execute(
        QStringLiteral("INSERT INTO \"TCRULES\" (\"IdDigits\", \"ROUNDING\", \"DAY START\", \"LastPoll\", "
                       "\"PAY START\", \"PAY END\", \"LAST START\", \"WARNING\", \"LESS WARN\", "
                       "\"POLL LOG FOR\", \"lngSgThreshold\", \"TASKAS\", \"WEEK START\") "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        {4, QStringLiteral("Quarter Hour"), db.time(timeSerial(4, 0, 0)), db.dateTime(first - 1),
         db.date(first), db.date(first + 6), db.date(first - 7), 10, 1, 30, 13, 0,
         m_firstDay.dayOfWeek() % 7 + 1});
}

std::vector<PollFile> DemoSite::pollFiles() const {
    // One file per clock and day, polled just before midnight.
    std::map<std::pair<QDate, int>, std::vector<Event>> byPoll;
    for (const Event &e : weekOfEvents(m_firstDay))
        byPoll[{e.record.date, e.clock}].push_back(e);

    std::vector<PollFile> files;
    QMap<int, int> sequence;
    for (auto &[key, events] : byPoll) {
        const auto &[date, clock] = key;
        std::stable_sort(events.begin(), events.end(),
                         [](const Event &a, const Event &b) { return a.record.time < b.record.time; });
        const QDateTime polled(date, QTime(23, 50 + clock));
        PollFile f;
        f.name = pollFileName(polled, clock);
        // The header a clock writes: 14 comment lines of record width, the
        // 840 bytes the list's punch estimate allows for.
        const QList<QByteArray> header = {
            QStringLiteral(";Poll of clock %1 %2 at %3")
                .arg(clock, 2, 10, QLatin1Char('0'))
                .arg(QString::fromLatin1(clockName(clock)),
                     polled.toString(QStringLiteral("MM/dd/yyyy hh:mm")))
                .toLatin1(),
            ";Badge      Seq   Date   Time I/O Dept Job Task Status",
        };
        for (int i = 0; i < 14; ++i)
            f.lines << (i < header.size() ? header[i] : QByteArray(";"))
                           .leftJustified(kPollRecordLength, ' ', true);
        for (Event e : events) {
            e.record.sequence = ++sequence[clock];
            QByteArray line = formatRecord(e.record);
            if (e.truncated) line.chop(1);
            f.lines << line;
        }
        files.push_back(std::move(f));
    }
    std::stable_sort(files.begin(), files.end(), [](const PollFile &a, const PollFile &b) {
        // The time code and year read as the poll time; the clock breaks ties.
        return a.name.mid(6, 2) + a.name.left(6) + a.name.right(2) <
               b.name.mid(6, 2) + b.name.left(6) + b.name.right(2);
    });
    return files;
}

QStringList DemoSite::summary(Database &db) {
    static const char *const kCodeNames[] = {"",          "no hours",    "no out punch", "under low",
                                             "over high", "unknown job", "unknown task", "schedule"};
    QStringList out;
    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7  %8")
               .arg(QStringLiteral("Employee"), -18)
               .arg(QStringLiteral("Badge"), 5)
               .arg(QStringLiteral("Pairs"), 5)
               .arg(QStringLiteral("Open"), 4)
               .arg(QStringLiteral("Absent"), 6)
               .arg(QStringLiteral("Hours"), 7)
               .arg(QStringLiteral("Access"), 7)
               .arg(QStringLiteral("Error codes (pairs)"));
    out << QString(out.front().size(), QLatin1Char('-'));

    int allPairs = 0;
    double allHours = 0;
    Recordset emp =
        db.openRecordset(QStringLiteral("SELECT \"EMPLOYEE ID\", \"CLOCK ID\", \"LAST NAME\", \"FIRST NAME\" "
                                        "FROM \"EMPLOYEE\" ORDER BY \"EMPLOYEE ID\""));
    for (; !emp.eof(); emp.moveNext()) {
        const QVariant id = emp.value(0);
        const QVariant badge = emp.value(1);
        int pairs = 0, open = 0, absent = 0;
        double hours = 0;
        std::map<int, int> codes;
        Recordset p =
            db.openRecordset(QStringLiteral("SELECT \"IN TIME\", \"OUT TIME\", \"DEPT HOURS\", \"ERRORCODE\" "
                                            "FROM \"PUNCH\" WHERE \"EMPLOYEE ID\" = ?"),
                             {id});
        for (; !p.eof(); p.moveNext()) {
            const bool hasIn = !isNull(p.value(0)), hasOut = !isNull(p.value(1));
            if (!hasIn && !hasOut) {
                ++absent;
                continue;
            }
            ++pairs;
            if (!hasOut) ++open;
            hours += toDoubleOpt(p.value(2)).value_or(0.0);
            const int code = static_cast<int>(toDoubleOpt(p.value(3)).value_or(0.0));
            if (code != 0) ++codes[code];
        }
        int granted = 0, refused = 0;
        Recordset a = db.openRecordset(
            QStringLiteral("SELECT \"Valid\" FROM \"AccessPunch\" WHERE \"EmployeeClock\" = ?"), {badge});
        for (; !a.eof(); a.moveNext())
            (toBoolean(a.value(0)) ? granted : refused)++;

        QStringList codeText;
        for (const auto &[code, n] : codes)
            codeText << QStringLiteral("%1 %2 (%3)")
                            .arg(code)
                            .arg(QString::fromLatin1(code >= 1 && code <= 7 ? kCodeNames[code] : "?"))
                            .arg(n);
        const QString name = valueText(emp.value(2)) + QStringLiteral(", ") + valueText(emp.value(3));
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7  %8")
                   .arg(name.left(18), -18)
                   .arg(valueText(badge), 5)
                   .arg(pairs, 5)
                   .arg(open, 4)
                   .arg(absent, 6)
                   .arg(hours, 7, 'f', 2)
                   .arg(granted + refused ? QStringLiteral("%1/%2").arg(granted).arg(refused)
                                          : QStringLiteral("-"),
                        7)
                   .arg(codeText.isEmpty() ? QStringLiteral("none") : codeText.join(QStringLiteral(", ")));
        allPairs += pairs;
        allHours += hours;
    }
    out << QString(out.front().size(), QLatin1Char('-'));
    out << QStringLiteral("%1 %2 %3 %4 %5 %6")
               .arg(QStringLiteral("All employees"), -18)
               .arg(QString(), 5)
               .arg(allPairs, 5)
               .arg(QString(), 4)
               .arg(QString(), 6)
               .arg(allHours, 7, 'f', 2);

    Recordset unknown = db.openRecordset(QStringLiteral(
        "SELECT \"EmployeeClock\", \"Clock\", \"Date\", \"Time\", \"Valid\" FROM \"AccessPunch\" "
        "WHERE \"EmployeeClock\" NOT IN (SELECT \"CLOCK ID\" FROM \"EMPLOYEE\" "
        "WHERE \"CLOCK ID\" IS NOT NULL) ORDER BY \"Date\", \"Time\""));
    for (; !unknown.eof(); unknown.moveNext()) {
        const double when = toDateTimeValue(unknown.value(2)) + timePart(toDateTimeValue(unknown.value(3)));
        out << QStringLiteral("Badge %1 (no employee) at clock %2 on %3: access %4")
                   .arg(valueText(unknown.value(0)), valueText(unknown.value(1)), formatGeneralDate(when),
                        toBoolean(unknown.value(4)) ? QStringLiteral("granted") : QStringLiteral("refused"));
    }
    return out;
}

} // namespace hx::demo
