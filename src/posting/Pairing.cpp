#include "component/DateTime.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "hours/Recalculate.h"
#include "import/ImportRows.h"
#include "import/ImportSummary.h"
#include "messages/LogFiles.h"
#include "posting/Posting.h"
#include "posting/PunchWrite.h"

#include <algorithm>
#include <deque>
#include <unordered_map>

namespace hx {

namespace {
const QString kProc = QStringLiteral("ImportToThePunchTable");
const QString kImport = QStringLiteral(
    "SELECT * FROM \"IMPORT\" "
    "ORDER BY \"CLOCK ID\" NULLS FIRST, \"IN DATE\" NULLS FIRST, \"IN TIME\" NULLS FIRST, \"ID\"");

// An in punch fills the first row of the employee that has no in time and is
// either an out-only row of the same date whose out is at or after the punch,
// or any worked row dated up to six days ahead. Both branches lie within
// [d, d + 6], which keeps the search on the employee/date index.
const QString kInCandidate = QStringLiteral(
    "SELECT \"ID\", \"IN DATE\", \"OUT TIME\" FROM \"PUNCH\" "
    "WHERE \"EMPLOYEE ID\" = ? AND \"IN DATE\" >= ? AND \"IN DATE\" <= ? AND \"IN TIME\" IS NULL "
    "AND ((\"IN DATE\" = ? AND \"OUT TIME\" >= ?) OR \"NONWORKED\" IS NULL) "
    "ORDER BY \"IN DATE\", \"OUT TIME\" NULLS FIRST, \"ID\" LIMIT 1");

// An out punch closes the latest row without out time that began before it:
// any earlier date, or the same date at or before the punch's time.
const QString kOutCandidate =
    QStringLiteral("SELECT \"ID\", \"IN DATE\", \"IN TIME\" FROM \"PUNCH\" "
                   "WHERE \"EMPLOYEE ID\" = ? AND \"IN DATE\" <= ? AND \"OUT TIME\" IS NULL "
                   "AND (\"IN DATE\" < ? OR \"IN TIME\" <= ?) "
                   "ORDER BY \"IN DATE\" DESC, \"IN TIME\" DESC NULLS LAST, \"ID\" DESC LIMIT 1");

// Every row of the import's employees that one of the two searches can reach:
// the rows without out time, and the rows without in time from the import's
// first day on.
const QString kReachable = QStringLiteral(
    "SELECT \"ID\", \"EMPLOYEE ID\", \"IN DATE\", \"IN TIME\", \"OUT TIME\", \"NONWORKED\" FROM \"PUNCH\" "
    "WHERE \"EMPLOYEE ID\" IN (SELECT \"EMPLOYEE ID\" FROM \"IMPORT\") AND \"OUT TIME\" IS NULL "
    "UNION ALL "
    "SELECT \"ID\", \"EMPLOYEE ID\", \"IN DATE\", \"IN TIME\", \"OUT TIME\", \"NONWORKED\" FROM \"PUNCH\" "
    "WHERE \"EMPLOYEE ID\" IN (SELECT \"EMPLOYEE ID\" FROM \"IMPORT\") AND \"IN DATE\" >= ? "
    "AND \"IN TIME\" IS NULL AND \"OUT TIME\" IS NOT NULL");
// The same for the employees bound, when IMPORT's rows are not in the table:
// up to this many a statement, in two sizes only.
constexpr int kReachableEmployees = 250;
const QString &reachableOfSql(int employees) {
    static const auto text = [](int n) {
        QStringList marks;
        for (int i = 0; i < n; ++i)
            marks << QStringLiteral("?");
        return QString(kReachable)
            .replace(QStringLiteral("(SELECT \"EMPLOYEE ID\" FROM \"IMPORT\")"),
                     QLatin1Char('(') + marks.join(QStringLiteral(", ")) + QLatin1Char(')'));
    };
    static const QString small = text(10), large = text(kReachableEmployees);
    return employees <= 10 ? small : large;
}

// The rows about to be written, as their recalculation reads them, by key:
// up to this many a statement, in two sizes only, so that a flush of two rows
// does not bind two hundred and fifty and the texts stay prepared.
constexpr int kStoredRows = 250;
const QString &storedRowsSql(int rows) {
    static const auto text = [](int n) {
        QStringList cols, marks;
        for (const QString &c : recalculationColumnNames())
            cols << QLatin1Char('"') + c + QLatin1Char('"');
        for (int i = 0; i < n; ++i)
            marks << QStringLiteral("?");
        return QStringLiteral("SELECT ") + cols.join(QStringLiteral(", ")) +
               QStringLiteral(" FROM \"PUNCH\" WHERE \"ID\" IN (") + marks.join(QStringLiteral(", ")) +
               QLatin1Char(')');
    };
    static const QString small = text(10), large = text(kStoredRows);
    return rows <= 10 ? small : large;
}
const QString kFirstDay = QStringLiteral("SELECT MIN(\"IN DATE\") FROM \"IMPORT\"");
const QString kPunchesByEmployee =
    QStringLiteral("SELECT \"EMPLOYEE ID\", COUNT(*) FROM \"IMPORT\" GROUP BY \"EMPLOYEE ID\"");

// Seconds of a value, for exact comparisons of stored times.
qint64 secs(double v) {
    return toSeconds(v);
}
const qint64 kNullSecs = toSeconds(kNullDate);

// ------------------------------------------------------------ row by row

void postInPunch(Database &db, const Recordset &rs, int32_t employee, double date, std::optional<double> time,
                 QString &step) {
    step = kInCandidate;
    const Recordset cand = db.openRecordset(
        kInCandidate,
        // The week ahead ends with the last day a date can name.
        {employee, db.date(date), db.date(std::min(date + 6.0, kMaxDay)), db.date(date), db.time(time)});
    if (!blnHasRecords(cand)) {
        NewInPunchRecord(rs);
        return;
    }
    // A missing out time reads as 1 January 1900, later than any time of day:
    // an empty scheduled pair is always filled.
    const double candOut = dtmNullToDate(cand.value(u"OUT TIME"));
    if (time && secs(candOut) > secs(*time))
        UpdateInPunchRecord(lngNullToZero(cand.value(u"ID")), rs);
    else
        NewInPunchRecord(rs);
}

void postOutPunch(Database &db, const Recordset &rs, int32_t employee, double date,
                  std::optional<double> time, QString &step) {
    step = kOutCandidate;
    const Recordset cand =
        db.openRecordset(kOutCandidate, {employee, db.date(date), db.date(date), db.time(time)});
    if (!blnHasRecords(cand)) {
        NewOutPunchRecord(rs);
        return;
    }
    const int32_t candId = lngNullToZero(cand.value(u"ID"));
    const double candIn = dtmNullToDate(cand.value(u"IN TIME"));
    const double candDate = dtmNullToDate(cand.value(u"IN DATE"));
    const double timeOrNull = time ? *time : kNullDate;
    if (time && secs(candIn) <= secs(*time))
        UpdateOutPunchRecord(candId, rs);
    else if (secs(candIn) > secs(timeOrNull) && secs(candDate) < secs(date))
        // A shift begun on an earlier day that ends after midnight.
        UpdateOutPunchRecord(candId, rs);
    else
        NewOutPunchRecord(rs);
}

// Walks IMPORT in badge order: every punch with a direction goes to
// post(rs, in, employee, date, time), and walked(employee) hears of every
// row. Raises what it meets, with `step` naming where.
template <class Post, class Walked>
void walkImport(Database &db, std::shared_ptr<clsMessage> &message, int32_t total, QString &step, Post &&post,
                Walked &&walked) {
    // What the row writers read of a row, and the direction.
    static const QStringList columns = readPunchColumns() + QStringList{QStringLiteral("SIGN IN")};
    Recordset rs = openImportWalk(db, kImport, columns, ImportOrder::Badge);
    if (blnHasRecords(rs)) {
        step = QStringLiteral("Counting Record ") + QString::number(total);
        rs.moveFirst();
        int32_t processed = 0;
        message->setBlnIsProgress(true);
        message->setLngProgressTotal(total);
        message->setLngProgressValue(0);
        message->setStrUIMessage(QStringLiteral("Importing Records, Please Wait..."));

        const int signCol = rs.fieldIndex(u"SIGN IN");
        const int empCol = rs.fieldIndex(u"EMPLOYEE ID");
        const int dateCol = rs.fieldIndex(u"IN DATE");
        const int timeCol = rs.fieldIndex(u"IN TIME");
        for (; !rs.eof(); rs.moveNext()) {
            step = QStringLiteral("Process a punch");
            message->setLngProgressValue(++processed);
            const QVariant sign = rs.value(signCol);
            const QVariant empValue = rs.value(empCol);
            if (isNull(sign)) {
                walked(empValue);
                continue; // direction never decided: nothing to post
            }
            if (isNull(empValue))
                throw HxError(QStringLiteral("Invalid use of Null"), ErrNo::InvalidUseOfNull);
            const int32_t employee = lngNullToZero(empValue);
            const double date = datePart(toDateTimeValue(rs.value(dateCol)));
            std::optional<double> time = toDateTimeOpt(rs.value(timeCol));
            if (time) time = timePart(*time);
            post(rs, toBoolean(sign), employee, date, time);
            walked(empValue);
        }
    }
    subCloseRecordset(rs);
}

// The walk of IMPORT, a statement or two a punch: the way back when the
// writes of the pairing in memory fail, so that each failure is met and
// reported where it happens.
void pairRowByRow(Database &db, std::shared_ptr<clsMessage> &message, int32_t total) {
    QString step = kImport;
    try {
        walkImport(
            db, message, total, step,
            [&](const Recordset &rs, bool in, int32_t employee, double date, std::optional<double> time) {
                if (in)
                    postInPunch(db, rs, employee, date, time, step);
                else
                    postOutPunch(db, rs, employee, date, time, step);
            },
            [](const QVariant &) {});
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(kProc, step, errorDescription(e));
    }
}

// ------------------------------------------------------------ in memory

// The writes could not be made together (or the rows could not be read as
// the searches read them): everything is undone and done row by row.
struct NotInMemory {};

// A PUNCH row one of the searches may still find, as the searches see it.
struct OpenRow {
    int64_t order = 0; // the ID's place: a row made now follows every row there was
    qint64 inDate = 0;
    std::optional<qint64> inTime, outTime;
    bool worked = true; // NONWORKED is Null
    int32_t employee = 0;
    bool pending = false; // has writes not sent yet
    size_t pendingAt = 0; // then where they are, counted from the first ever pending
    qint64 id = 0;        // a row read from PUNCH; 0 for one made now
};

struct PendingRow {
    OpenRow *row;
    PunchWrite writes[2];
    int count = 0;
};

// A report of a punch that could not be written, made once the writes are in.
struct Report {
    QString procedure, step, description;
};

// A time of day or a date as the searches compare it; NotInMemory for a
// stored form whose text order would differ from its value's (only
// "YYYY-MM-DD" and "HH:MM:SS" order as their values do).
std::optional<qint64> storedSecs(const QVariant &v, bool date) {
    if (isNull(v)) return std::nullopt;
    if (isNullOrEmpty(v)) throw NotInMemory{};
    if (v.typeId() == QMetaType::QString && v.toString().size() != (date ? 10 : 8)) throw NotInMemory{};
    double d = 0;
    try {
        d = toDateTimeValue(v);
    } catch (const std::exception &) {
        throw NotInMemory{};
    }
    const bool canonical = date ? d == datePart(d) : d >= 0 && d < 1;
    if (!canonical) throw NotInMemory{};
    return secs(d);
}

// Where a recalculation's columns are in a row write, -1 for those it does
// not set.
struct ColumnMap {
    int write[kRecalculationColumns];
    int id, nonWorked;
    ColumnMap() {
        const QStringList &names = recalculationColumnNames();
        for (int i = 0; i < kRecalculationColumns; ++i) {
            write[i] = -1;
            for (int c = 0; c < kRowWriteColumns; ++c)
                if (names[i] == QLatin1String(rowWriteColumnName(c))) write[i] = c;
        }
        id = int(names.indexOf(QStringLiteral("ID")));
        nonWorked = int(names.indexOf(QStringLiteral("NONWORKED")));
    }
};

class MemoryPairing {
public:
    MemoryPairing(Database &db) : m_db(db), m_batch(db), m_newRow(newRow()) {}

    void load() {
        try {
            if (ImportRows *rows = ImportRows::active()) {
                for (const auto &[employee, count] : rows->rowsPerEmployee())
                    m_remaining[employee] = count;
                readReachable(rows->firstDay());
                return;
            }
            const std::optional<QVariant> first = m_db.firstValue(kFirstDay);
            readReachable(first.value_or(QVariant()));
            Recordset rs = m_db.openCursor(kPunchesByEmployee);
            for (; !rs.eof(); rs.moveNext())
                if (!isNull(rs.value(0))) m_remaining[rs.value(0).toLongLong()] = rs.value(1).toLongLong();
        } catch (const NotInMemory &) {
            throw;
        } catch (const std::exception &e) {
            rethrowIfFatal(e);
            throw NotInMemory{};
        }
    }

    // The rows of the import's employees the searches can reach; with the
    // IMPORT rows kept in memory, those of the employees counted so far.
    void readReachable(const QVariant &first) {
        if (isNull(first)) return;
        const QVariant firstDay = m_db.date(datePart(toDateTimeValue(first)));
        if (!ImportRows::active()) {
            readReachable(m_db.openCursor(kReachable, {firstDay}));
            return;
        }
        QVariantList employees;
        const auto read = [&] {
            const int size = employees.size() <= 10 ? 10 : kReachableEmployees;
            while (employees.size() < size)
                employees << QVariant();
            readReachable(
                m_db.openCursor(reachableOfSql(size), employees + employees + QVariantList{firstDay}));
            employees.clear();
        };
        for (const auto &entry : m_remaining) {
            employees << qlonglong(entry.first);
            if (employees.size() == kReachableEmployees) read();
        }
        if (!employees.isEmpty()) read();
    }

    void readReachable(Recordset rs) {
        for (; !rs.eof(); rs.moveNext()) {
            // A row without a date is beyond both searches.
            if (isNull(rs.value(2))) continue;
            OpenRow &r = add(lngNullToZero(rs.value(1)));
            r.id = rs.value(0).toLongLong();
            r.order = r.id;
            r.inDate = *storedSecs(rs.value(2), true);
            r.inTime = storedSecs(rs.value(3), false);
            r.outTime = storedSecs(rs.value(4), false);
            r.worked = isNull(rs.value(5));
            m_nextOrder = std::max(m_nextOrder, r.order + 1);
        }
    }

    // One more IMPORT row of the employee walked: once the last is, the
    // employee's rows are final and the writes made before them can go.
    void walked(const QVariant &employee) {
        if (isNull(employee)) return;
        auto it = m_remaining.find(employee.toLongLong());
        if (it != m_remaining.end() && --it->second == 0) flush(false);
    }

    void postIn(const Recordset &rs, int32_t employee, double date, std::optional<double> time) {
        const qint64 d = secs(date);
        const qint64 last = secs(std::min(date + 6.0, kMaxDay));
        // A missing time compares as nothing does.
        const bool timed = time.has_value();
        const qint64 t = timed ? secs(*time) : kNullSecs;
        OpenRow *best = nullptr;
        for (OpenRow *r : m_employees[employee].findable) {
            if (r->inTime || r->inDate < d || r->inDate > last) continue;
            if (!((r->inDate == d && timed && r->outTime && *r->outTime >= t) || r->worked)) continue;
            if (!best || inBefore(*r, *best)) best = r;
        }
        // A missing out time reads as 1 January 1900, later than any time of
        // day: an empty scheduled pair is always filled.
        if (best && timed && best->outTime.value_or(kNullSecs) > t)
            update(Half::In, employee, best, rs, QStringLiteral("UpdateInPunchRecord"));
        else
            create(Half::In, employee, rs, QStringLiteral("NewInPunchRecord"));
    }

    void postOut(const Recordset &rs, int32_t employee, double date, std::optional<double> time) {
        const qint64 d = secs(date);
        const bool timed = time.has_value();
        const qint64 t = timed ? secs(*time) : kNullSecs;
        OpenRow *best = nullptr;
        for (OpenRow *r : m_employees[employee].findable) {
            if (r->outTime || r->inDate > d) continue;
            if (!(r->inDate < d || (timed && r->inTime && *r->inTime <= t))) continue;
            if (!best || outAfter(*r, *best)) best = r;
        }
        if (!best) {
            create(Half::Out, employee, rs, QStringLiteral("NewOutPunchRecord"));
            return;
        }
        const qint64 candIn = best->inTime.value_or(kNullSecs);
        // The second case: a shift begun on an earlier day that ends after midnight.
        if ((timed && candIn <= t) || (candIn > t && best->inDate < d))
            update(Half::Out, employee, best, rs, QStringLiteral("UpdateOutPunchRecord"));
        else
            create(Half::Out, employee, rs, QStringLiteral("NewOutPunchRecord"));
    }

    // Sends the writes of the rows that are final, in the order the rows were
    // first written (a new row's ID follows that order), with each row's
    // hours; `all` at the end, when every row is. NotInMemory when one fails.
    void flush(bool all) {
        try {
            size_t done = 0;
            while (done < m_pending.size() && (all || !isWalking(m_pending[done].row->employee)))
                ++done;
            readStored(done);
            for (size_t i = 0; i < done; ++i)
                write(m_pending[i]);
            m_stored.clear();
            // Rows of later employees never read these, so on a server the
            // queue runs on across employees: one round trip per full batch.
            if (all) {
                sendInserts();
                m_batch.send();
            }
            m_pending.erase(m_pending.begin(), m_pending.begin() + ptrdiff_t(done));
            m_pendingBase += done;
            for (int32_t employee : m_finished)
                m_employees.erase(employee);
            m_finished.clear();
        } catch (const NotInMemory &) {
            throw;
        } catch (const std::exception &e) {
            rethrowIfFatal(e);
            throw NotInMemory{};
        }
    }

    std::vector<Report> reports;
    int64_t opened = 0, closed = 0, recalculated = 0;

private:
    bool isWalking(int32_t employee) const {
        auto it = m_remaining.find(qint64(employee));
        return it != m_remaining.end() && it->second > 0;
    }

    // The row's writes and, when its recalculation goes through, its hours:
    // the row as its recalculation would read it after the writes.
    void write(PendingRow &p) {
        OpenRow &r = *p.row;
        RowWrite w;
        addPunchWrites(m_db, p.writes, p.count, w);
        RecalculationRow row = r.id ? m_stored.at(r.id) : m_newRow;
        for (int i = 0; i < kRecalculationColumns; ++i)
            if (const int c = m_map.write[i]; c >= 0 && (w.columns & (1u << c)))
                row[size_t(i)] = w.values[size_t(c)];
        QVariantList save;
        // Only worked rows are recalculated; the others keep their mark.
        if (isNull(row[size_t(m_map.nonWorked)]) && m_hours.compute(row, save)) {
            addSavedHours(save, w);
            ++recalculated;
        }
        r.pending = false;
        if (--m_employees[r.employee].pending == 0 && !isWalking(r.employee))
            m_finished.push_back(r.employee);
        if (r.id) {
            QVariantList params;
            appendRowWriteValues(w, params);
            params << row[size_t(m_map.id)];
            m_batch.add(rowWriteSql(false, w.columns, 1), std::move(params));
            return;
        }
        if (!m_inserts.empty() && m_inserts.front().columns != w.columns) sendInserts();
        m_inserts.push_back(std::move(w));
        if (m_inserts.size() == kInsertRows) sendInserts();
    }

    // The rows read from PUNCH among the first `count` pending, as they are
    // before their writes.
    void readStored(size_t count) {
        QVariantList ids;
        const auto read = [&] {
            const int size = ids.size() <= 10 ? 10 : kStoredRows;
            while (ids.size() < size)
                ids << QVariant();
            Recordset rs = m_db.openRecordset(storedRowsSql(size), ids);
            for (; !rs.eof(); rs.moveNext()) {
                RecalculationRow &row = m_stored[rs.value(m_map.id).toLongLong()];
                for (int i = 0; i < kRecalculationColumns; ++i)
                    row[size_t(i)] = rs.value(i);
            }
            ids.clear();
        };
        for (size_t i = 0; i < count; ++i)
            if (const qint64 id = m_pending[i].row->id) {
                ids << id;
                if (ids.size() == kStoredRows) read();
            }
        if (!ids.isEmpty()) read();
    }

    // New rows in statements of many rows, in the order they were made.
    static constexpr size_t kInsertRows = 50;
    void sendInserts() {
        size_t at = 0;
        for (const size_t size : {kInsertRows, size_t(10), size_t(1)})
            for (; m_inserts.size() - at >= size; at += size) {
                QVariantList params;
                for (size_t i = at; i < at + size; ++i)
                    appendRowWriteValues(m_inserts[i], params);
                m_batch.add(rowWriteSql(true, m_inserts[at].columns, int(size)), std::move(params));
            }
        m_inserts.clear();
    }

    // A new row before its writes: the columns' defaults.
    RecalculationRow newRow() const {
        static const QStringList zero{QStringLiteral("InCode"), QStringLiteral("OutCode"),
                                      QStringLiteral("ERRORCODE")};
        static const QStringList no{QStringLiteral("InExcused"), QStringLiteral("OutExcused"),
                                    QStringLiteral("UseDiff")};
        RecalculationRow row;
        const QStringList &names = recalculationColumnNames();
        for (int i = 0; i < kRecalculationColumns; ++i) {
            if (zero.contains(names[i])) row[size_t(i)] = 0;
            if (no.contains(names[i])) row[size_t(i)] = m_db.boolean(false);
        }
        return row;
    }

    // The in search's order: IN DATE, OUT TIME (Null first), ID.
    static bool inBefore(const OpenRow &a, const OpenRow &b) {
        if (a.inDate != b.inDate) return a.inDate < b.inDate;
        if (a.outTime.has_value() != b.outTime.has_value()) return !a.outTime;
        if (a.outTime && *a.outTime != *b.outTime) return *a.outTime < *b.outTime;
        return a.order < b.order;
    }
    // The out search's order: IN DATE, IN TIME (Null last), ID, all descending.
    static bool outAfter(const OpenRow &a, const OpenRow &b) {
        if (a.inDate != b.inDate) return a.inDate > b.inDate;
        if (a.inTime.has_value() != b.inTime.has_value()) return a.inTime.has_value();
        if (a.inTime && *a.inTime != *b.inTime) return *a.inTime > *b.inTime;
        return a.order > b.order;
    }

    std::optional<Punch> read(const Recordset &rs, Half half, const QString &procedure, QString step) {
        try {
            return readPunch(rs, half, step);
        } catch (const std::exception &e) {
            rethrowIfFatal(e);
            reports.push_back({procedure, step, errorDescription(e)});
            return std::nullopt;
        }
    }

    void create(Half half, int32_t employee, const Recordset &rs, const QString &procedure) {
        std::optional<Punch> p = read(rs, half, procedure, QStringLiteral("start"));
        if (!p) return;
        OpenRow &r = add(employee);
        r.order = m_nextOrder++;
        r.inDate = secs(p->date);
        (half == Half::In ? r.inTime : r.outTime) = secs(p->time);
        ++opened;
        addWrite(&r, {half, true, std::move(*p)});
    }

    void update(Half half, int32_t employee, OpenRow *r, const Recordset &rs, const QString &procedure) {
        std::optional<Punch> p = read(rs, half, procedure, QStringLiteral("begin"));
        if (!p) return;
        if (half == Half::In) {
            r->inDate = secs(p->date);
            r->inTime = secs(p->time);
        } else {
            r->outTime = secs(p->time);
            ++closed;
        }
        addWrite(r, {half, false, std::move(*p)});
        if (r->inTime && r->outTime) {
            // Whole: no search finds it again.
            auto &rows = m_employees[employee].findable;
            rows.erase(std::remove(rows.begin(), rows.end(), r), rows.end());
        }
    }

    void addWrite(OpenRow *r, PunchWrite w) {
        if (!r->pending) {
            r->pending = true;
            ++m_employees[r->employee].pending;
            m_pending.push_back({r, {}, 0});
            r->pendingAt = m_pending.size() - 1 + m_pendingBase;
        }
        PendingRow &p = m_pending[r->pendingAt - m_pendingBase];
        p.writes[p.count++] = std::move(w);
    }

    Database &m_db;
    WriteBatch m_batch;
    const RecalculationRow m_newRow;
    ColumnMap m_map;
    RecalculationRun m_hours;
    // An employee's rows, and those of them a search may still find. They go
    // once the employee's punches are all posted and its rows written.
    struct EmployeeRows {
        std::vector<std::unique_ptr<OpenRow>> rows;
        std::vector<OpenRow *> findable;
        int pending = 0;
    };
    std::unordered_map<int32_t, EmployeeRows> m_employees;
    OpenRow &add(int32_t employee) {
        EmployeeRows &e = m_employees[employee];
        OpenRow &r = *e.rows.emplace_back(std::make_unique<OpenRow>());
        r.employee = employee;
        e.findable.push_back(&r);
        return r;
    }
    // The IMPORT rows of each employee not walked yet.
    std::unordered_map<qint64, int64_t> m_remaining;
    std::deque<PendingRow> m_pending;
    size_t m_pendingBase = 0;
    std::unordered_map<qint64, RecalculationRow> m_stored;
    std::vector<int32_t> m_finished; // employees whose rows may go
    std::vector<RowWrite> m_inserts;
    int64_t m_nextOrder = 1;
};

// Pairs every punch against the rows read once, and writes each row it
// changes once. False, with nothing changed, when the writes failed.
bool pairInMemory(Database &db, std::shared_ptr<clsMessage> &message, int32_t total) {
    const std::optional<QVariant> sequence =
        db.keySequencePosition(QStringLiteral("PUNCH"), QStringLiteral("ID"));
    Savepoint guard(db);
    MemoryPairing pairing(db);
    try {
        pairing.load();
        QString step = kImport;
        try {
            walkImport(
                db, message, total, step,
                [&](const Recordset &rs, bool in, int32_t employee, double date, std::optional<double> time) {
                    // The step a report of the walk names, as the searches would.
                    step = in ? kInCandidate : kOutCandidate;
                    if (in)
                        pairing.postIn(rs, employee, date, time);
                    else
                        pairing.postOut(rs, employee, date, time);
                },
                [&](const QVariant &employee) { pairing.walked(employee); });
        } catch (const NotInMemory &) {
            throw;
        } catch (const std::exception &e) {
            // What the walk wrote before it stopped stays, as it would.
            rethrowIfFatal(e);
            pairing.reports.push_back({kProc, step, errorDescription(e)});
        }
        pairing.flush(true);
    } catch (const NotInMemory &) {
        guard.rollback();
        db.restoreKeySequence(QStringLiteral("PUNCH"), QStringLiteral("ID"), sequence);
        return false;
    }
    guard.release();
    importCounts().pairsOpened += pairing.opened;
    importCounts().pairsClosed += pairing.closed;
    importCounts().rowsRecalculated += pairing.recalculated;
    for (const Report &r : pairing.reports)
        reportImportError(r.procedure, r.step, r.description);
    return true;
}
} // namespace

int32_t lngImportRowCount(Database &db) {
    static const QString sql = QStringLiteral("SELECT COUNT(*) FROM \"IMPORT\"");
    if (const ImportRows *rows = ImportRows::active())
        return int32_t(std::min<qint64>(rows->count(), INT32_MAX));
    return int32_t(lngNullToZero(db.firstValue(sql).value_or(QVariant(0))));
}

void ImportToThePunchTable(std::shared_ptr<clsMessage> &message) {
    QString step = QStringLiteral("start");
    try {
        if (!message) message = std::make_shared<clsMessage>();
        Database &db = conn();
        step = kImport;
        const int32_t total = lngImportRowCount(db);
        importCounts().punchesNew += total;
        if (!pairInMemory(db, message, total)) pairRowByRow(db, message, total);
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(kProc, step, errorDescription(e));
    }
    RecalculateHours();
    CleanupPolling();
}

} // namespace hx
