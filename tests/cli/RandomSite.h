#pragma once
// A small site made from a seed: employees, departments, clocks, schedules,
// rules and history in the database, and poll log files for one import or
// two, with the awkward records a site meets (repeats, single swipes, night
// shifts, outs without ins, unknown badges, bad lines and bad fields). The
// same seed gives the same site with any standard library: every draw is
// taken from std::mt19937's specified output by hand, and the draws of one
// expression are in braces, which fix their order.
#include "cli/DemoPollFile.h"
#include "component/Database.h"
#include "component/DateTime.h"

#include <QDateTime>
#include <QSet>
#include <algorithm>
#include <map>
#include <random>
#include <vector>

namespace hx::test {

class Draw {
public:
    explicit Draw(uint32_t seed) : m_gen(seed) {}
    int below(int n) { return int(m_gen() % uint32_t(n)); }
    int range(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool chance(int percent) { return below(100) < percent; }
    template <class T, size_t N> const T &pick(const T (&a)[N]) { return a[size_t(below(int(N)))]; }
    // A number in [lo, hi] not in `taken`.
    int unused(const QSet<int> &taken, int lo, int hi) {
        int n = range(lo, hi);
        while (taken.contains(n))
            n = range(lo, hi);
        return n;
    }

private:
    std::mt19937 m_gen;
};

struct SiteFile {
    QString name;
    QList<QByteArray> lines;
};

struct SiteImport {
    QStringList options; // before the names, e.g. --skip-seen
    QStringList names;   // in the order given to the host
};

struct RandomSite {
    std::vector<SiteFile> files;
    std::vector<SiteImport> imports;
};

// The clock of every run: the punches lie in the days before it.
inline constexpr const char *kSiteNow = "2007-04-26 17:17:00";

// Seeds `db` (its tables already created) and returns the poll log files and
// the imports to run.
inline RandomSite makeRandomSite(uint32_t seed, Database &db) {
    Draw r(seed * 2654435761u + 12345u);
    RandomSite site;
    const QDate today(2007, 4, 26);
    auto t = [&](int h, int m) { return db.time(timeSerial(h, m, 0)); };
    auto text = [](const char *s) { return s ? QVariant(QString::fromLatin1(s)) : QVariant(); };
    const QVariant null;
    const auto insert = [&](const char *table, const QStringList &columns, const QVariantList &values) {
        db.execute(QStringLiteral("INSERT INTO \"%1\" (\"%2\") VALUES (?%3)")
                       .arg(QLatin1String(table), columns.join(QStringLiteral("\", \"")),
                            QStringLiteral(", ?").repeated(columns.size() - 1)),
                   values);
    };

    // Rules.
    const int idDigits = r.chance(15) ? 10 : r.range(4, 6);
    const char *const roundings[] = {"Quarter Hour", "Slant Hour", "Tenth Hour", "Custom", "", "quarter hour"};
    const char *rounding = r.pick(roundings);
    const bool dayStartBySort2 = r.chance(20);
    const int firstBack = r.range(4, 9);
    const QDate firstDay = today.addDays(-firstBack);
    const bool second = r.chance(45);
    const QDate lastFirst =
        second ? today.addDays(-r.range(2, std::min(4, firstBack - 1))) : today.addDays(-1);
    const int lastPollKind = r.below(5); // none, 31 December 1899, or days before the first punch
    const QVariant lastPoll = lastPollKind == 0   ? null
                              : lastPollKind == 1 ? db.dateTime(1.0)
                                                  : db.dateTime(fromQDate(firstDay) - r.range(1, 3));
    const int dayStarts[][2] = {{4, 0}, {0, 0}, {6, 0}, {3, 30}};
    const auto &ds = r.pick(dayStarts);
    const int warnings[] = {0, 10, 12}, lessWarnings[] = {0, 1, 4}, thresholds[] = {0, 8, 13, 16};
    const int formats[] = {0, 0, 1, 5};
    insert("TCRULES",
           {"IdDigits", "ROUNDING", "DAY START", "LastPoll", "PAY START", "PAY END", "LAST START", "WARNING",
            "LESS WARN", "FullDayAutoLunch", "DATAFLD INPUT", "TASK INPUT", "TASKAS", "DATAFLD FORMAT",
            "TASK FORMAT", "blnUnlimitedSwipeNGo", "UpToMin", "lngSgThreshold", "SORT 2", "POLL LOG FOR"},
           {idDigits, QString::fromLatin1(rounding), r.chance(8) ? null : t(ds[0], ds[1]), lastPoll,
            db.date(fromQDate(firstDay)), db.date(fromQDate(firstDay) + 13), db.date(fromQDate(firstDay) - 14),
            r.pick(warnings), r.pick(lessWarnings), db.boolean(r.chance(20)), db.boolean(r.chance(50)),
            db.boolean(r.chance(50)), r.range(0, 3), r.pick(formats), r.pick(formats), db.boolean(r.chance(8)),
            db.boolean(r.chance(20)), r.pick(thresholds),
            dayStartBySort2 ? QStringLiteral("Day_Start") : (r.chance(10) ? QStringLiteral("day_start") : null),
            30});

    // Departments; a site now and then has one whose number a hand reader's
    // department cannot hold.
    struct Dept { int id; QString name; bool entries; };
    std::vector<Dept> depts;
    // Lower case among them: byte order and a language's collation differ.
    const char *const deptNames[] = {"Assembly",   "Shipping",   "Office",  "Maintenance", "Paint", "O'Brien Line",
                                     "Night Crew", "night crew", "assembly"};
    QSet<int> deptIds;
    for (int i = 0, n = r.range(2, 5); i < n; ++i) {
        const int id = r.unused(deptIds, 1, 60);
        deptIds.insert(id);
        depts.push_back(
            {id, QStringLiteral("%1 %2").arg(QLatin1String(r.pick(deptNames))).arg(id), r.chance(30)});
    }
    const bool overflowDept = r.chance(6);
    if (overflowDept) depts.push_back({300, QStringLiteral("Overflow 300"), false});
    for (const Dept &d : depts)
        insert("DEPT", {"DEPT ID", "DEPT NAME", "DATAFLDEN", "STATUS"},
               {d.id, d.name, db.boolean(d.entries), db.boolean(r.chance(30))});

    // Clocks: some decide the direction themselves, some open doors only; a
    // clock with its status set holds the end-of-poll maintenance back.
    const int clocks = r.range(2, 4);
    const char *const comms[] = {"RS232", "RS232", "TCP/IP", "TCP/IP", "HPx000", "AdvBio", "hpx000", nullptr, ""};
    std::map<int, bool> biometric;
    for (int c = 1; c <= clocks; ++c) {
        const char *type = r.pick(comms);
        biometric[c] = type && (QByteArray(type) == "HPx000" || QByteArray(type) == "AdvBio");
        insert("CLOCK", {"CLOCK NUMBER", "CLOCK NAME", "COMMS TYPE", "AccessOnly", "status"},
               {c, QStringLiteral("Clock %1").arg(c), text(type), db.boolean(c > 1 && r.chance(12)),
                db.boolean(r.chance(4))});
    }
    const bool strayClock = r.chance(10); // punches from a clock the site does not know

    // Schedules: day shifts with and without lunch, early and night shifts.
    const int schedules = r.range(1, 3);
    for (int s = 1; s <= schedules; ++s) {
        insert("SCHEDULE", {"ScheduleNumber", "ScheduleName", "ScheduleEdited"},
               {s, QStringLiteral("Schedule %1").arg(s), db.boolean(r.chance(50))});
        const int kind = r.below(4); // 0 day with lunch, 1 day, 2 early, 3 night
        const int in[] = {8, 8, 6, 22}, out[] = {16, 16, 14, 6};
        for (const char *letter : {"U", "M", "E", "W", "H", "R", "A"}) {
            const bool weekend = *letter == 'U' || *letter == 'A';
            if (!r.chance(weekend ? 15 : 85)) continue;
            const QString x = QString::fromLatin1(letter);
            QStringList sets;
            for (const char *w :
                 {"Open", "SchIn", "EarlyIn", "LateIn", "SchLunchOut", "EarlyLunchOut", "LateLunchOut",
                  "SchLunchIn", "EarlyLunchIn", "LateLunchIn", "SchOut", "EarlyOut", "LateOut"})
                sets << QStringLiteral("\"%1%2\" = ?").arg(x, QLatin1String(w));
            const bool lunch = kind == 0;
            const auto maybe = [&](const QVariant &v) { return r.chance(8) ? QVariant() : v; };
            const int h = kind == 3 && r.chance(50) ? 2 : in[kind];
            db.execute(QStringLiteral("UPDATE \"SCHEDULE\" SET ") + sets.join(QStringLiteral(", ")) +
                           QStringLiteral(" WHERE \"ScheduleNumber\" = ?"),
                       {db.boolean(true), t(h, 0), maybe(t(h - 1, 45)), maybe(t(h, 7)),
                        lunch ? t(12, 0) : null, lunch ? maybe(t(11, 50)) : null,
                        lunch ? maybe(t(12, 10)) : null, lunch ? t(12, 30) : null,
                        lunch ? maybe(t(12, 25)) : null, lunch ? maybe(t(12, 37)) : null, t(out[kind], 30),
                        maybe(t(out[kind], 25)), maybe(t(out[kind], 45)), s});
        }
    }

    // Jobs, tasks, custom rounding windows and hours bands.
    for (int job : {1001, 1002, 1003})
        if (r.chance(60)) insert("JOB", {"JOB NUMBER", "JOB NAME"}, {job, QStringLiteral("Job %1").arg(job)});
    for (int task : {11, 12})
        if (r.chance(60))
            insert("TASK", {"TASK NUMBER", "TASK NAME"}, {task, QStringLiteral("Task %1").arg(task)});
    if (QByteArray(rounding) == "Custom" || r.chance(20)) {
        const int windows[][3] = {{53, 7, 0}, {8, 22, 15}, {23, 37, 30}, {38, 52, 45}, {8, 14, 0}, {30, 30, 30}};
        for (const auto &w : windows)
            if (r.chance(70))
                insert("CustomRound", {"MinuteMin", "MinuteMax", "NewMinuteValue", "Applies To"},
                       {w[0], w[1], r.chance(4) ? null : QVariant(w[2]), r.range(1, 3)});
    }
    if (r.chance(25))
        insert("CustomHours", {"HoursMin", "HoursMax", "HoursMultiply", "HoursConstant"}, {0, 4, 1, 0.5});

    // Employees.
    // dept: the number the clock sends; shift: 0 day, 1 early, 2 night.
    struct Employee { int id, badge, newBadge; bool swipe; int dept, shift, clock; };
    std::vector<Employee> employees;
    int lowBadge = 1;
    for (int i = 1; i < std::min(idDigits, 7); ++i)
        lowBadge *= 10;
    const int highBadge = lowBadge * 10 - 1;
    QSet<int> badges;
    const auto freshBadge = [&] {
        const int b = r.unused(badges, lowBadge, highBadge);
        badges.insert(b);
        return b;
    };
    const char *const access[] = {"NO", "NO", "NO", "NO", "NO", "YES", "YES", "ONLY", "only", nullptr, "Maybe"};
    const char *const sort2[] = {"04:30", "3:00 AM", "early", "", nullptr, "06:00"};
    const char *const revLow[] = {"7:45 AM", "7:30 AM", "7:45 AM", "7:30 AM", "early"};
    const char *const lunchLen[] = {"30", "0", "30 min", "", nullptr};
    const char *const lunchAt[] = {"6", "5.5", "", nullptr};
    const bool nullQual = r.chance(5);
    for (int i = 0, n = r.range(10, 28); i < n; ++i) {
        Employee e{i + 1, freshBadge(), r.chance(8) ? freshBadge() : 0, r.chance(15), 0, 0, r.range(1, clocks)};
        const int schedule = r.chance(45) ? r.range(1, schedules) : 0;
        const QVariant oldSchedule = r.chance(80) ? QVariant(schedule) : (r.chance(50) ? QVariant() : QVariant(1));
        const int statuses[] = {1, 1, 1, 1, 1, 2, 3, 4, 5};
        const int msgCodes[] = {-1, 0, 1, 2, 7};
        const int msg = r.pick(msgCodes);
        insert("EMPLOYEE",
               {"EMPLOYEE ID", "CLOCK ID", "NEWBADGE", "LAST NAME", "AccessControl", "SORT2", "SwipeAndGo",
                "SCHEDULE", "OLDSCHEDULE", "STATUS", "MSGCODE", "MESSAGE"},
               {e.id, e.badge, e.newBadge, QStringLiteral("Employee %1").arg(e.id), text(r.pick(access)),
                dayStartBySort2 ? text(r.pick(sort2)) : null, db.boolean(e.swipe),
                schedule ? QVariant(schedule) : (r.chance(50) ? QVariant() : QVariant(0)), oldSchedule,
                r.pick(statuses), msg == 7 ? null : QVariant(msg),
                msg == 7 ? null : QVariant(QStringLiteral("Message %1").arg(e.id))});
        const int quals = r.chance(6) ? 0 : r.range(1, 2);
        for (int q = 0; q < quals; ++q) {
            const Dept &d =
                overflowDept && e.swipe && q == 0 ? depts.back() : depts[size_t(r.below(int(depts.size())))];
            if (q == 0) e.dept = d.id;
            const bool rev = r.chance(40), orev = r.chance(30);
            insert("DEPTQUAL",
                   {"EMPLOYEE ID", "DEPT NAME", "SEQUENCE", "OTRULES", "PAYRATE", "IREVLOW", "IREVHI",
                    "OREVLOW", "OREVHI", "UseDiff", "LUNCHLEN", "LUNCH AT"},
                   {e.id, nullQual && e.swipe ? QVariant() : QVariant(d.name), r.chance(25) ? 1 : q + 1,
                    r.range(0, 3), 10 + r.below(2000) / 100.0, rev ? text(r.pick(revLow)) : null,
                    rev ? text("8:00 AM") : null, orev ? text("4:30 PM") : null,
                    orev ? text("4:45 PM") : null, db.boolean(r.chance(20)), text(r.pick(lunchLen)),
                    text(r.pick(lunchAt))});
        }
        if (e.dept == 0) e.dept = r.chance(50) ? depts.front().id : 77;
        e.shift = r.chance(70) ? 0 : r.range(1, 2);
        employees.push_back(e);
    }
    for (int i = 0, n = r.range(0, 5); i < n; ++i) {
        const char *const marks[] = {"*DEL*", "ADD  ", "     ", nullptr};
        insert("CKQUAL", {"CLOCK NUMBER", "EMPLOYEE ID", "STATUS"},
               {r.range(1, clocks), r.range(1, int(employees.size())), text(r.pick(marks))});
    }

    // History: rows earlier polls left, some still waiting for their
    // recalculation.
    if (r.chance(40)) {
        const QString sql = QStringLiteral(
            "INSERT INTO \"PUNCH\" (\"EMPLOYEE ID\", \"IN DATE\", \"IN TIME\", \"OUT TIME\", \"ODOW\", \"AdjustedDate\", "
            "\"InPunchType\", \"OutPunchType\", \"InCode\", \"OutCode\", \"Schedule\", \"DEPT NAME\", \"CLOCK NUMBER\", "
            "\"timein\", \"timeout\", \"DEPT HOURS\", \"RecalcHrs\", \"NONWORKED\") "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (int i = 0, n = r.range(2, 8); i < n; ++i) {
            const Employee &e = employees[size_t(r.below(int(employees.size())))];
            const double day = fromQDate(firstDay) - r.range(1, 3);
            const QVariant dept = depts.front().name;
            const int kind = r.below(5);
            if (kind == 0) // open since the evening before
                db.execute(sql, {e.id, db.date(day), t(22, 0), null, null, db.date(day), 0, null, 0, 0, 0,
                                 dept, e.clock, t(22, 0), null, null, db.boolean(false), null});
            else if (kind == 1) // complete
                db.execute(sql, {e.id, db.date(day), t(8, 0), t(16, 30), 2, db.date(day), 0, 0, 0, 0, 0, dept,
                                 e.clock, t(8, 0), t(16, 30), 8.5, db.boolean(r.chance(30)), null});
            else if (kind == 2) // an out still waiting for its in
                db.execute(sql, {e.id, db.date(day), null, t(6, 0), 3, null, null, 0, 0, 0, 0, dept, e.clock,
                                 null, t(6, 0), null, db.boolean(true), null});
            else if (kind == 3) // an empty scheduled pair ahead
                db.execute(sql, {e.id, db.date(fromQDate(firstDay) + r.range(0, 3)), null, null, null,
                                 db.date(fromQDate(firstDay)), 0, 0, 4, 4, 1, dept, null, null, null, null,
                                 db.boolean(false), null});
            else // a holiday
                db.execute(sql, {e.id, db.date(fromQDate(firstDay) + 1), null, null, null, null, 0, 0, 0, 0,
                                 0, dept, null, null, null, 8, db.boolean(false), QStringLiteral("HOL")});
        }
    }

    // Punches, by clock and day of the poll that read them.
    std::map<std::pair<QDate, int>, std::vector<std::pair<QTime, QByteArray>>> polls;
    std::map<int, int> sequence;
    const auto add = [&](int clock, const QDate &d, demo::PollRecord rec, bool mangle) {
        rec.sequence = sequence[clock] = (sequence[clock] ? sequence[clock] : r.range(1, 9990)) + 1;
        QByteArray line = demo::formatRecord(rec);
        if (mangle) {
            // Fields out of range, letters in numbers, a badge no integer holds.
            const int field = r.below(idDigits == 10 ? 5 : 4);
            if (field == 0) line.replace(17, 2, r.chance(50) ? "13" : "00");
            else if (field == 1) line.replace(24, 4, r.chance(50) ? "2561" : " 7 5");
            else if (field == 2) line.replace(29, 2, "9Z");
            else if (field == 3) line.replace(52, 2, "1A");
            else line.replace(0, 10, "9999999999");
        }
        polls[{d, clock}].push_back({rec.time, line});
        if (r.chance(3)) polls[{d, clock}].push_back({rec.time, line}); // read twice
    };
    const QDate lastDay = today.addDays(-1);
    const char *const oddStatus[] = {"02", "16", "18", "05", "12", "1A", "  "};
    for (QDate d = firstDay; d <= lastDay; d = d.addDays(1)) {
        for (const Employee &e : employees) {
            if (!r.chance(d.dayOfWeek() > 5 ? 20 : 85)) continue;
            const int clock = r.chance(90) ? e.clock : (strayClock && r.chance(50) ? 9 : r.range(1, clocks));
            const bool single = e.swipe || biometric[clock];
            const int jitter = r.range(0, 9);
            struct P { QDate d; QTime t; char io; const char *status; };
            std::vector<P> ps;
            if (e.shift == 2) {
                ps = {{d, QTime(21, 55).addSecs(60 * jitter), 'I', "00"},
                      {d.addDays(1), QTime(6, 0).addSecs(60 * r.range(0, 12)), 'O', "00"}};
            } else {
                const int h = e.shift == 1 ? 5 : 7;
                ps.push_back({d, QTime(h, 50).addSecs(60 * jitter), 'I', "00"});
                if (e.shift == 0 && r.chance(60)) {
                    ps.push_back({d, QTime(12, 0).addSecs(60 * r.range(0, 4)), 'O', "04"});
                    ps.push_back({d, QTime(12, 27).addSecs(60 * r.range(0, 6)), 'I', "04"});
                }
                ps.push_back({d, QTime(h + 8, 30).addSecs(60 * r.range(0, 15)), 'O', "00"});
            }
            if (r.chance(6))
                ps.erase(ps.begin()); // forgot the in
            else if (r.chance(6))
                ps.pop_back(); // forgot the out
            for (const P &p : ps) {
                if (p.d > lastDay) continue;
                demo::PollRecord rec{.badge = e.newBadge && r.chance(50) ? e.newBadge : e.badge,
                                     .date = p.d,
                                     .time = p.t,
                                     .inOut = single && r.chance(85) ? ' ' : (r.chance(2) ? 'i' : p.io),
                                     .department = r.chance(90) ? e.dept % 100 : r.range(0, 99)};
                rec.status = r.chance(6) ? QByteArray(r.pick(oddStatus)) : QByteArray(p.status);
                if (r.chance(25)) {
                    const double jobs[] = {0, 1001, 1002, 4242, 123456};
                    const double tasks[] = {0, 11, 12, 99};
                    rec.job = r.pick(jobs);
                    rec.task = r.pick(tasks);
                }
                add(clock, p.d, rec, r.chance(2));
                if (r.chance(6)) { // the same punch again a moment later
                    rec.time = rec.time.addSecs(60 * r.range(0, 3));
                    add(clock, p.d, rec, false);
                }
            }
        }
        for (int i = 0, n = r.range(0, 2); i < n; ++i) { // badges nobody holds
            const char *const results[] = {"00", "41", "0A", "2F"};
            const demo::PollRecord rec{.badge = r.unused(badges, lowBadge, highBadge),
                                       .date = d,
                                       .time = QTime{r.range(0, 23), r.range(0, 59)},
                                       .inOut = r.chance(50) ? 'I' : 'O',
                                       .status = r.pick(results)};
            add(r.range(1, clocks), d, rec, false);
        }
    }

    // One file per clock and day, named by its poll time; some with a header,
    // some with a line the transmission mangled.
    std::vector<std::pair<QDate, QString>> names;
    for (auto &[key, records] : polls) {
        const auto &[day, clock] = key;
        std::stable_sort(records.begin(), records.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        if (records.size() > 2 && r.chance(10)) std::swap(records[0], records[1]);
        SiteFile f;
        f.name = demo::pollFileName(QDateTime(day, QTime(23, 50 + clock % 10)), clock);
        if (r.chance(50)) f.lines << QByteArray(";Poll of clock ") + QByteArray::number(clock);
        for (const auto &rec : records)
            f.lines << rec.second;
        if (r.chance(12)) {
            const QByteArray bad[] = {f.lines.back().left(57), f.lines.back() + ' ', QByteArray(),
                                      QByteArray("0000001234 0001;x"),
                                      QByteArray(58, 'x').replace(20, 1, ";")};
            const int at = r.below(int(f.lines.size()) + 1);
            f.lines.insert(at, r.pick(bad));
        }
        names.push_back({day, f.name});
        site.files.push_back(std::move(f));
    }

    SiteImport first, later;
    for (const auto &[day, name] : names)
        (day <= lastFirst ? first : later).names << name;
    if (second && !first.names.isEmpty()) {
        if (r.chance(50)) later.names << first.names[r.below(int(first.names.size()))]; // read again
        if (r.chance(30)) later.options << QStringLiteral("--skip-seen");
        if (r.chance(10)) { // an aborted poll among them: nothing of that import is saved
            SiteFile f{demo::pollFileName(QDateTime(today, QTime(6, 0)), 1), {";Abort by the operator"}};
            later.names.prepend(f.name);
            site.files.push_back(std::move(f));
        }
    } else {
        first.names << later.names;
        later.names.clear();
    }
    if (!first.names.isEmpty()) site.imports.push_back(first);
    if (!later.names.isEmpty()) site.imports.push_back(later);
    return site;
}

} // namespace hx::test
