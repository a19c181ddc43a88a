#include "component/DateTime.h"
#include "component/Numbers.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "import/ImportRows.h"
#include "messages/LogFiles.h"
#include "posting/Posting.h"
#include "rules/clsTCrules.h"

#include <climits>
#include <optional>
#include <unordered_map>

namespace hx {

namespace {
const QString kProc = QStringLiteral("blnBioMetricImportCalculations");
const QString kImport = QStringLiteral(
    "SELECT \"ID\", \"EMPLOYEE ID\", \"CLOCK ID\", \"IN DATE\", \"IN TIME\", \"DEPT ID\", \"DEPT NAME\", "
    "\"SIGN IN\", \"PunchType\", \"CLOCK NUMBER\" FROM \"IMPORT\" "
    "ORDER BY \"EMPLOYEE ID\" NULLS FIRST, \"IN DATE\" NULLS FIRST, \"IN TIME\" NULLS FIRST, \"ID\"");
const QString kCommsType = QStringLiteral("SELECT \"COMMS TYPE\" FROM \"CLOCK\" WHERE \"CLOCK NUMBER\" = ?");
const QString kSwipeAndGo =
    QStringLiteral("SELECT \"SwipeAndGo\" FROM \"EMPLOYEE\" WHERE \"EMPLOYEE ID\" = ?");
const QString kFirstDept =
    QStringLiteral("SELECT \"DEPT NAME\" FROM \"DEPTQUAL\" WHERE \"EMPLOYEE ID\" = ? "
                   "ORDER BY \"SEQUENCE\" NULLS FIRST, \"DEPT NAME\" NULLS FIRST LIMIT 1");
const QString kAllSwipeAndGo = QStringLiteral("SELECT \"EMPLOYEE ID\", \"SwipeAndGo\" FROM \"EMPLOYEE\"");
const QString kAllFirstDepts = QStringLiteral(
    "SELECT \"EMPLOYEE ID\", \"DEPT NAME\" FROM \"DEPTQUAL\" WHERE \"EMPLOYEE ID\" IS NOT NULL "
    "ORDER BY \"EMPLOYEE ID\", \"SEQUENCE\" NULLS FIRST, \"DEPT NAME\" NULLS FIRST");
const QString kDeptId = QStringLiteral("SELECT \"DEPT ID\" FROM \"DEPT\" WHERE \"DEPT NAME\" = ?");
const QString kDelete = QStringLiteral("DELETE FROM \"IMPORT\" WHERE \"ID\" = ?");
const QString kWrite = QStringLiteral(
    "UPDATE \"IMPORT\" SET \"DEPT ID\" = ?, \"DEPT NAME\" = ?, \"SIGN IN\" = ? WHERE \"ID\" = ?");
const QString kWriteKeepSign =
    QStringLiteral("UPDATE \"IMPORT\" SET \"DEPT ID\" = ?, \"DEPT NAME\" = ? WHERE \"ID\" = ?");
const QString kStarting = QStringLiteral("SELECT \"IN DATE\", \"IN TIME\", \"timeout\" FROM \"PUNCH\" "
                                         "WHERE \"EMPLOYEE ID\" = ? AND \"IN TIME\" IS NOT NULL "
                                         "AND (\"IN DATE\" < ? OR (\"IN DATE\" = ? AND \"IN TIME\" < ?)) "
                                         "ORDER BY \"IN DATE\" DESC, \"IN TIME\" DESC, \"ID\" DESC LIMIT 1");

constexpr qint64 kRepeatMinutes = 3;
constexpr int32_t kDefaultThreshold = 13;
constexpr double kNoHistoryHours = 9999.0;

bool isBiometric(const QString &commsType) {
    return commsType == QLatin1String("AdvBio") || commsType == QLatin1String("HPx000");
}

// What the walk needs of an employee; none of it changes during the walk.
struct EmployeeFacts {
    bool swipeAndGo = false;
    QString deptName;
    uint8_t deptId = 0;
};

// What the walk looks up of the employees, read once for all of them instead
// of a look-up an employee (a round trip to a server each); a department's
// number is looked up once a name.
struct EmployeeTables {
    bool read = false;
    std::unordered_map<int32_t, QVariant> swipeAndGo;
    std::unordered_map<int32_t, QVariant> firstDept;
    std::unordered_map<QString, std::optional<QVariant>> deptIds;
};

// The employee number a stored value equals, as an integer column compares
// with a bound integer; nullopt for one no number equals.
std::optional<int32_t> employeeKey(const QVariant &v) {
    if (isNull(v)) return std::nullopt;
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short: {
        const qint64 n = v.toLongLong();
        if (n < INT32_MIN || n > INT32_MAX) return std::nullopt;
        return int32_t(n);
    }
    case QMetaType::Double: {
        const double d = v.toDouble();
        if (!(d >= INT32_MIN && d <= INT32_MAX) || d != double(int32_t(d))) return std::nullopt;
        return int32_t(d);
    }
    default:
        return std::nullopt;
    }
}

// Each employee's first row of the query's rows, in their order.
void readFirstRows(Database &db, const QString &sql, std::unordered_map<int32_t, QVariant> &into) {
    for (Recordset rs = db.openRecordset(sql); !rs.eof(); rs.moveNext())
        if (const auto key = employeeKey(rs.value(0))) into.emplace(*key, rs.value(1));
}

EmployeeFacts lookUpEmployee(Database &db, EmployeeTables &tables, int32_t employee, QString &step) {
    if (!tables.read) {
        step = kSwipeAndGo;
        readFirstRows(db, kAllSwipeAndGo, tables.swipeAndGo);
        step = kFirstDept;
        readFirstRows(db, kAllFirstDepts, tables.firstDept);
        tables.read = true;
    }
    EmployeeFacts f;
    step = kSwipeAndGo;
    if (auto v = tables.swipeAndGo.find(employee); v != tables.swipeAndGo.end())
        f.swipeAndGo = !isNull(v->second) && toBoolean(v->second);
    step = kFirstDept;
    if (auto name = tables.firstDept.find(employee); name != tables.firstDept.end()) {
        if (isNull(name->second))
            throw HxError(QStringLiteral("Invalid use of Null"), ErrNo::InvalidUseOfNull);
        f.deptName = valueText(name->second);
        step = kDeptId;
        auto id = tables.deptIds.find(f.deptName);
        if (id == tables.deptIds.end())
            id = tables.deptIds.emplace(f.deptName, db.firstValue(kDeptId, {f.deptName})).first;
        if (id->second) {
            const double n = isNull(*id->second) ? 0.0 : toDouble(*id->second);
            const int32_t whole = toInt32(n);
            if (whole < 0 || whole > 255) throw HxError(QStringLiteral("Overflow"), ErrNo::Overflow);
            f.deptId = static_cast<uint8_t>(whole);
        }
    } else {
        f.deptName = QStringLiteral("UNKNOWN");
    }
    return f;
}
} // namespace

void GetEmployeeStartingPunchType(int32_t employeeId, double punchDate, double punchTime, QString &direction,
                                  double &previousPunch) {
    QString step = kStarting;
    try {
        Database &db = conn();
        const Recordset rs = db.openRecordset(
            kStarting, {employeeId, db.date(punchDate), db.date(punchDate), db.time(punchTime)});
        if (!blnHasRecords(rs)) {
            direction = QStringLiteral("I");
            previousPunch = punchDate + punchTime - kNoHistoryHours / 24.0;
            return;
        }
        const double date = toDateTimeValue(rs.value(u"IN DATE"));
        const std::optional<double> timeout = toDateTimeOpt(rs.value(u"timeout"));
        if (!timeout) {
            direction = QStringLiteral("O");
            previousPunch = date + toDateTimeValue(rs.value(u"IN TIME"));
        } else {
            direction = QStringLiteral("I");
            previousPunch = date + *timeout;
        }
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(QStringLiteral("GetEmployeeStartingPunchType"), step, errorDescription(e));
    }
}

bool blnBioMetricImportCalculations(std::shared_ptr<clsMessage> &message) {
    QString step = QStringLiteral("begin");
    try {
        if (!message) message = std::make_shared<clsMessage>();
        Database &db = conn();
        int32_t threshold = rules().lngSwipeNGoThreshold;
        if (threshold < 1) threshold = kDefaultThreshold;
        const bool everyone = rules().blnUnlimitedSwipeNGo;

        step = kImport;
        const int32_t total = lngImportRowCount(db);
        // Read as the walk goes; a write changes only the row just read, in
        // columns the walk's order does not use.
        Recordset rs =
            openImportWalk(db, kImport,
                           {QStringLiteral("ID"), QStringLiteral("EMPLOYEE ID"), QStringLiteral("CLOCK ID"),
                            QStringLiteral("IN DATE"), QStringLiteral("IN TIME"), QStringLiteral("DEPT ID"),
                            QStringLiteral("DEPT NAME"), QStringLiteral("SIGN IN"),
                            QStringLiteral("PunchType"), QStringLiteral("CLOCK NUMBER")},
                           ImportOrder::Employee);
        if (blnHasRecords(rs)) {
            step = QStringLiteral("blnBioMetricImportCalculations Counting Record ") + QString::number(total);
            message->setBlnIsProgress(true);
            message->setLngProgressTotal(total);
            message->setLngProgressValue(0);
            message->setStrUIMessage(QStringLiteral("Processing Vazaz-O-Du Punches..."));
            rs.moveFirst();
        }
        const int idCol = rs.fieldIndex(u"ID");
        const int empCol = rs.fieldIndex(u"EMPLOYEE ID");
        const int badgeCol = rs.fieldIndex(u"CLOCK ID");
        const int dateCol = rs.fieldIndex(u"IN DATE");
        const int timeCol = rs.fieldIndex(u"IN TIME");
        const int clockCol = rs.fieldIndex(u"CLOCK NUMBER");

        std::unordered_map<int32_t, QString> commsTypes;
        std::unordered_map<int32_t, EmployeeFacts> employees;
        EmployeeTables tables;
        int32_t currentClock = 0;
        QString commsType;
        int32_t currentBadge = 0;
        EmployeeFacts facts;
        QString nextDirection;
        double previousPunch = 0;
        bool firstPunch = false;

        int32_t row = 0;
        for (; !rs.eof(); rs.moveNext()) {
            message->setLngProgressValue(++row);
            step = QStringLiteral("Check Clock");
            const int32_t clock = lngNullToZero(rs.value(clockCol));
            if (clock != currentClock) {
                auto it = commsTypes.find(clock);
                if (it == commsTypes.end()) {
                    step = kCommsType;
                    QString type;
                    if (auto v = db.firstValue(kCommsType, {clock}))
                        type = isNullOrEmpty(*v) ? QStringLiteral("RS232") : valueText(*v);
                    it = commsTypes.emplace(clock, type).first;
                }
                commsType = it->second;
                currentClock = clock;
            }

            const int32_t badge = lngNullToZero(rs.value(badgeCol));
            if (badge != currentBadge) {
                step = QStringLiteral("Check Employee Code");
                const int32_t employee = lngNullToZero(rs.value(empCol));
                GetEmployeeStartingPunchType(employee, toDateTimeValue(rs.value(dateCol)),
                                             toDateTimeValue(rs.value(timeCol)), nextDirection,
                                             previousPunch);
                auto it = employees.find(employee);
                if (it == employees.end())
                    it = employees.emplace(employee, lookUpEmployee(db, tables, employee, step)).first;
                facts = it->second;
                if (everyone) facts.swipeAndGo = true;
                currentBadge = badge;
                firstPunch = true;
                step = QStringLiteral("Employee=") + QString::number(badge);
            }

            if (!isBiometric(commsType) && !facts.swipeAndGo) continue;

            step = QStringLiteral("Employee=") + QString::number(badge);
            const double punch = toDateTimeValue(rs.value(dateCol)) + toDateTimeValue(rs.value(timeCol));
            if (!firstPunch && dateDiffMinutes(previousPunch, punch) <= kRepeatMinutes) {
                step = kDelete;
                deleteImportRow(db, kDelete, rs.value(idCol));
                continue;
            }
            if (dateDiffHours(previousPunch, punch) > threshold) nextDirection = QStringLiteral("I");

            const QVariant deptName = facts.deptName.isEmpty() ? QVariant() : QVariant(facts.deptName);
            if (nextDirection == QLatin1String("I") || nextDirection == QLatin1String("O")) {
                step = kWrite;
                updateImportRow(
                    db, kWrite,
                    {QStringLiteral("DEPT ID"), QStringLiteral("DEPT NAME"), QStringLiteral("SIGN IN")},
                    {int(facts.deptId), deptName, db.boolean(nextDirection == QLatin1String("I")),
                     rs.value(idCol)});
            } else {
                step = kWriteKeepSign;
                updateImportRow(db, kWriteKeepSign, {QStringLiteral("DEPT ID"), QStringLiteral("DEPT NAME")},
                                {int(facts.deptId), deptName, rs.value(idCol)});
            }

            nextDirection = nextDirection == QLatin1String("O") ? QStringLiteral("I") : QStringLiteral("O");
            previousPunch = punch;
            firstPunch = false;
        }
        message->setBlnIsProgress(false);
        subCloseRecordset(rs);
        return true;
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(kProc, step, errorDescription(e));
    }
    return false;
}

} // namespace hx
