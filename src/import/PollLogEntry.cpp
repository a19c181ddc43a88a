#include "import/PollLogEntry.h"

#include "component/Clock.h"
#include "component/Database.h"
#include "component/DateTime.h"
#include "component/Numbers.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "import/ImportSummary.h"
#include "import/PollLogFormat.h"
#include "import/PollLogRecordset.h"
#include "import/PrevPunchRegister.h"
#include "messages/LogFiles.h"
#include "messages/MessageBox.h"
#include "rules/clsTCrules.h"

#include <array>
#include <limits>
#include <optional>

namespace hx {

PollFileLookups gPollFileLookups;

namespace {
const QString kDepartmentsSql = QStringLiteral(R"(SELECT "DEPT NAME", "DEPT ID", "DATAFLDEN" FROM "DEPT")");
// Every employee's badges, read once per file: a look-up a badge cost a
// round trip to a server for each employee of each file.
const QString kEmployeesSql = QStringLiteral(
    R"(SELECT "EMPLOYEE ID", "AccessControl", "CLOCK ID", "NEWBADGE" FROM "EMPLOYEE" ORDER BY "EMPLOYEE ID")");
const QString kClockSql = QStringLiteral(R"(SELECT "AccessOnly" FROM "CLOCK" WHERE "CLOCK NUMBER" = ?)");

// The badge a stored value equals, as the database compares an integer
// column with a bound integer: a whole number in range; text never equals.
std::optional<int32_t> badgeKey(const QVariant &v) {
    if (isNull(v)) return std::nullopt;
    qint64 n = 0;
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
        n = v.toLongLong();
        break;
    case QMetaType::Double: {
        const double d = v.toDouble();
        if (!(d >= -2147483648.0 && d <= 2147483647.0) || d != double(qint64(d))) return std::nullopt;
        n = qint64(d);
        break;
    }
    default:
        return std::nullopt;
    }
    if (n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<int32_t>::max()) return std::nullopt;
    return int32_t(n);
}

HxError closedError() {
    return HxError(QStringLiteral("Operation is not allowed when the object is closed."), 3704);
}

// Single characters are shared rather than allocated once per record.
QString singleCharacter(QStringView text) {
    static const std::array<QString, 256> table = [] {
        std::array<QString, 256> t;
        for (int i = 0; i < 256; ++i)
            t[size_t(i)] = QString(QChar(char16_t(i)));
        return t;
    }();
    if (text.size() == 1 && text[0].unicode() < 256) return table[text[0].unicode()];
    return text.toString();
}

double fieldNumber(QStringView line, int start, int length) {
    return pollNumber(pollField(line, start, length));
}

int16_t fieldInt16(QStringView line, int start, int length) {
    return toInt16(fieldNumber(line, start, length));
}

bool takesImpliedDecimals(int format) {
    return format == 1 || format == 5;
}
} // namespace

// ---------------------------------------------------------------- lookups

void PollFileLookups::open(Database &db) {
    close();
    Recordset rs = db.openRecordset(kDepartmentsSql);
    const int nameCol = rs.fieldIndex(u"DEPT NAME");
    const int idCol = rs.fieldIndex(u"DEPT ID");
    const int enterCol = rs.fieldIndex(u"DATAFLDEN");
    for (; !rs.eof(); rs.moveNext()) {
        const QVariant id = rs.value(idCol);
        if (isNullOrEmpty(id)) continue;
        const int key = lngNullToZero(id);
        if (m_departments.contains(key)) continue; // the first row of a number counts
        Department d;
        d.name = strNullToText(rs.value(nameCol));
        d.dataFieldEnter = rs.value(enterCol);
        m_departments.insert(key, d);
    }
    m_db = &db;
    m_open = true;
}

bool PollFileLookups::Department::takesEntries() const {
    return isNull(dataFieldEnter) ? false : toBoolean(dataFieldEnter);
}

void PollFileLookups::close() {
    m_open = false;
    m_db = nullptr;
    m_departments.clear();
    if (!m_keepEmployees) {
        m_employees.clear();
        m_employeesRead = false;
    }
    m_accessOnly.clear();
    m_accessOnlyFailure.clear();
}

void PollFileLookups::keepEmployees(bool keep) {
    m_keepEmployees = keep;
    if (!keep) {
        m_employees.clear();
        m_employeesRead = false;
    }
}

const PollFileLookups::Department *PollFileLookups::department(int deptId) const {
    if (!m_open) throw closedError();
    auto it = m_departments.constFind(deptId);
    return it == m_departments.constEnd() ? nullptr : &it.value();
}

PollFileLookups::Employee PollFileLookups::employee(int32_t badge) {
    if (!m_open) throw closedError();
    if (!m_employeesRead) {
        // The first employee, by number, whose "CLOCK ID" or "NEWBADGE" is
        // the badge holds it.
        Recordset rs = m_db->openRecordset(kEmployeesSql);
        QHash<int32_t, Employee> byBadge;
        for (; !rs.eof(); rs.moveNext()) {
            Employee e;
            e.found = true;
            e.id = lngNullToZero(rs.value(0));
            e.accessControl = strNullToText(rs.value(1)).toUpper();
            if (const auto clock = badgeKey(rs.value(2)); clock && !byBadge.contains(*clock))
                byBadge.insert(*clock, e);
            // "NEWBADGE" 0 means no new badge: a badge 0 must not find every
            // employee that has none.
            if (const auto fresh = badgeKey(rs.value(3)); fresh && *fresh != 0 && !byBadge.contains(*fresh))
                byBadge.insert(*fresh, e);
        }
        m_employees = std::move(byBadge);
        m_employeesRead = true;
    }
    return m_employees.value(badge);
}

bool PollFileLookups::clockAccessOnly(int16_t clock) {
    if (!m_open) throw closedError();
    if (auto it = m_accessOnly.constFind(clock); it != m_accessOnly.constEnd()) return it.value();
    if (auto it = m_accessOnlyFailure.constFind(clock); it != m_accessOnlyFailure.constEnd())
        throw HxError(it->description, it->number);
    try {
        auto v = m_db->firstValue(kClockSql, {int(clock)});
        // A clock without a row, or without a setting, is not access-only.
        const bool accessOnly = v && !isNullOrEmpty(*v) && toBoolean(*v);
        m_accessOnly.insert(clock, accessOnly);
        return accessOnly;
    } catch (const HxError &e) {
        rethrowIfFatal(e);
        m_accessOnlyFailure.insert(clock, Failure{e.description(), e.number()});
        throw;
    }
}

// ---------------------------------------------------------------- one record

void ProcessPollLogEntry(QStringView strLine, int16_t intClock, bool blnImportSeen, const QString &fileName,
                         qint64 lineNumber) {
    try {
        const int16_t month = fieldInt16(strLine, 18, 2);
        const int16_t day = fieldInt16(strLine, 21, 2);
        const int16_t hour = fieldInt16(strLine, 25, 2);
        const int16_t minute = fieldInt16(strLine, 27, 2);
        const QString sequence = pollField(strLine, 12, 4).toString();
        const QString checksum = pollField(strLine, 51, 2).toString();

        // One reading of the clock per record.
        const QDateTime now = Clock::now();
        const double punchDate = pollPunchDate(month, day, now.date());
        const double punchTime = timeSerial(hour, minute, 0);
        if (punchDate + punchTime > fromQDateTime(now) + 1) {
            ++importCounts().badLines;
            noteReportedError("bad_date");
            intReportMessage(QStringLiteral("modImportToPunch"), QStringLiteral("Procedure"),
                             QStringLiteral("ProcessPollLogEntry"),
                             QStringLiteral("%1 line %2: %3").arg(fileName).arg(lineNumber).arg(strLine),
                             QStringLiteral("INVALID DATE"),
                             QStringLiteral("The record is dated %1, more than a day after today; it was not "
                                            "imported.\r\nThere is a problem with your data.")
                                 .arg(formatIsoDateTime(punchDate + punchTime)),
                             Buttons::OkOnly | Buttons::Exclamation, 0);
            return;
        }

        if (varIsPrevPunch(punchDate, punchTime, sequence, checksum) && !blnImportSeen) {
            ++importCounts().recordsSkippedSeen;
            return;
        }

        const clsTCrules &r = rules();
        PollLogEntry e;
        e.Clock = intClock;
        e.Badge = pollBadge(strLine, r.intIdDigits);
        e.PunchDate = punchDate;
        e.PunchTime = punchTime;
        e.InOut = singleCharacter(pollField(strLine, 57, 1));

        bool accessControl = false;
        bool timeAndAttend = true;
        const PollFileLookups::Employee employee = gPollFileLookups.employee(e.Badge);
        if (!employee.found) {
            // An unknown badge is kept as an access event only.
            timeAndAttend = false;
            accessControl = true;
        } else {
            e.Employee = employee.id;
            if (employee.accessControl == u"YES") {
                accessControl = true;
            } else if (employee.accessControl == u"ONLY") {
                accessControl = true;
                timeAndAttend = false;
            }
            if (gPollFileLookups.clockAccessOnly(intClock)) {
                accessControl = true;
                timeAndAttend = false;
            }
        }

        e.DeptNum = fieldInt16(strLine, 30, 2);
        if (const PollFileLookups::Department *d = gPollFileLookups.department(e.DeptNum)) {
            e.DeptName = d->name;
            e.DataFieldEnter = d->takesEntries();
        } else {
            static const QString unknown = QStringLiteral("UNKNOWN");
            e.DeptName = unknown;
            e.DataFieldEnter = false;
        }

        e.Job = fieldNumber(strLine, 33, 10);
        if (takesImpliedDecimals(r.intDatafldFormat)) e.Job /= 100;
        e.Task = fieldNumber(strLine, 44, 6);
        if (takesImpliedDecimals(r.intTaskFormat)) e.Task /= 100;

        const PollFlags flags = decodePollFlags(fieldInt16(strLine, 53, 2));
        e.PunchType = flags.punchType;
        e.Overide = flags.overide;
        e.Excused = flags.excused ? -1 : 0;
        e.Edited = flags.edited ? -1 : 0;

        e.AccessControl = accessControl;
        e.TimeAndAttend = timeAndAttend;
        if (accessControl) {
            e.AccessSequence = sequence;
            e.AccessType = singleCharacter(pollField(strLine, 57, 1));
            e.AccessFailString = pollField(strLine, 51, 4).toString();
        } else {
            static const QString noSequence = QStringLiteral("    ");
            static const QString noType = QStringLiteral(" ");
            static const QString noResult = QStringLiteral("00");
            e.AccessSequence = noSequence;
            e.AccessType = noType;
            e.AccessFailString = noResult;
        }
        rsPollLog.addNew(std::move(e));
    } catch (const PollLogStoreError &) {
        throw; // the import cannot go on
    } catch (const HxError &e) {
        rethrowIfFatal(e);
        subReportError(QStringLiteral("modImportToPunch"), QStringLiteral("Procedure"),
                       QStringLiteral("ProcessPollLogEntry"), QString(), e);
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        subReportError(QStringLiteral("modImportToPunch"), QStringLiteral("Procedure"),
                       QStringLiteral("ProcessPollLogEntry"), QString(),
                       HxError(QString::fromLocal8Bit(e.what())));
    }
}

} // namespace hx
