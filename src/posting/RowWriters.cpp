#include "component/DateTime.h"
#include "component/Numbers.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "messages/LogFiles.h"
#include "import/ImportSummary.h"
#include "posting/Posting.h"
#include "rules/clsTCrules.h"

#include <array>

namespace hx {

namespace {

enum class Half { In, Out };

// Which optional parts a statement carries. The statement texts are built
// once per combination and stay constant, so the prepared statements are reused.
struct Parts {
    bool dataFld = false;
    bool task = false;
    bool edited = false; // updates only: set the edit flags
    int index() const { return (dataFld ? 1 : 0) | (task ? 2 : 0) | (edited ? 4 : 0); }
};

QString insertSql(Half half, Parts p) {
    QStringList cols;
    if (half == Half::In)
        cols << QStringLiteral("\"EMPLOYEE ID\"") << QStringLiteral("\"AdjustedDate\"")
             << QStringLiteral("\"IN DATE\"") << QStringLiteral("\"IN TIME\"")
             << QStringLiteral("\"InPunchType\"") << QStringLiteral("\"InExcused\"")
             << QStringLiteral("\"InOveride\"");
    else
        cols << QStringLiteral("\"EMPLOYEE ID\"") << QStringLiteral("\"IN DATE\"")
             << QStringLiteral("\"ODOW\"") << QStringLiteral("\"OUT TIME\"")
             << QStringLiteral("\"OutPunchType\"") << QStringLiteral("\"OutExcused\"")
             << QStringLiteral("\"OutOveride\"");
    if (p.dataFld) cols << QStringLiteral("\"DATAFLD\"");
    if (p.task) cols << QStringLiteral("\"TASK\"");
    cols << QStringLiteral("\"DEPT NAME\"") << QStringLiteral("\"CLOCK NUMBER\"")
         << QStringLiteral("\"EDIT FLAG\"") << QStringLiteral("\"RecalcHrs\"")
         << QStringLiteral("\"CLOCK EDIT FLAG\"");
    QStringList marks;
    for (int i = 0; i < cols.size(); ++i)
        marks << QStringLiteral("?");
    return QStringLiteral("INSERT INTO \"PUNCH\" (") + cols.join(QStringLiteral(", ")) +
           QStringLiteral(") VALUES (") + marks.join(QStringLiteral(", ")) + QLatin1Char(')');
}

// Filling a half whose raw time was missing also drops that half's working
// time, so that the recalculation takes it from the new punch rather than
// keeping one counted "up to the minute" while the half was open.
QString updateSql(Half half, Parts p) {
    QStringList sets;
    if (half == Half::In)
        sets << QStringLiteral("\"IN DATE\" = ?") << QStringLiteral("\"IN TIME\" = ?")
             << QStringLiteral("\"InPunchType\" = ?") << QStringLiteral("\"InExcused\" = ?")
             << QStringLiteral("\"InOveride\" = ?");
    else
        sets << QStringLiteral("\"ODOW\" = ?") << QStringLiteral("\"OUT TIME\" = ?")
             << QStringLiteral("\"OutPunchType\" = ?") << QStringLiteral("\"OutExcused\" = ?")
             << QStringLiteral("\"OutOveride\" = ?");
    if (p.dataFld) sets << QStringLiteral("\"DATAFLD\" = ?");
    if (p.task) sets << QStringLiteral("\"TASK\" = ?");
    sets << QStringLiteral("\"DEPT NAME\" = ?") << QStringLiteral("\"CLOCK NUMBER\" = ?")
         << QStringLiteral("\"RecalcHrs\" = ?");
    if (p.edited) sets << QStringLiteral("\"EDIT FLAG\" = ?") << QStringLiteral("\"CLOCK EDIT FLAG\" = ?");
    if (half == Half::In)
        sets << QStringLiteral("\"timein\" = CASE WHEN \"IN TIME\" IS NULL THEN NULL ELSE \"timein\" END");
    else
        sets << QStringLiteral("\"timeout\" = CASE WHEN \"OUT TIME\" IS NULL THEN NULL ELSE \"timeout\" END");
    return QStringLiteral("UPDATE \"PUNCH\" SET ") + sets.join(QStringLiteral(", ")) +
           QStringLiteral(" WHERE \"ID\" = ?");
}

const QString &statement(bool insert, Half half, Parts p) {
    static const auto build = [](bool ins, Half h) {
        std::array<QString, 8> texts;
        for (int i = 0; i < 8; ++i) {
            Parts q{(i & 1) != 0, (i & 2) != 0, (i & 4) != 0};
            texts[i] = ins ? insertSql(h, q) : updateSql(h, q);
        }
        return texts;
    };
    static const std::array<QString, 8> newIn = build(true, Half::In);
    static const std::array<QString, 8> newOut = build(true, Half::Out);
    static const std::array<QString, 8> updIn = build(false, Half::In);
    static const std::array<QString, 8> updOut = build(false, Half::Out);
    if (insert) p.edited = false;
    const auto &set = insert ? (half == Half::In ? newIn : newOut) : (half == Half::In ? updIn : updOut);
    return set[p.index()];
}

// A value the punch cannot be written without.
QVariant required(const Recordset &rs, QStringView column) {
    const QVariant v = rs.value(column);
    if (isNullOrEmpty(v)) throw HxError(QStringLiteral("Invalid use of Null"), ErrNo::InvalidUseOfNull);
    return v;
}

QVariant intOrNull(const QVariant &v) {
    return isNullOrEmpty(v) ? QVariant() : QVariant(toInt32(toDouble(v)));
}

bool flag(const QVariant &v) {
    return !isNullOrEmpty(v) && toBoolean(v);
}

// The punch of the current IMPORT row, as the writers need it.
struct Punch {
    int32_t employee = 0;
    double date = 0;
    double time = 0;
    QVariant punchType, excused, overide, deptName, clockNumber;
    bool edited = false;
    std::optional<double> dataFld, task;
};

// Data field and task travel with the half the rules give them to: the in
// half when collected on the in punch, else the out half.
void readCarried(const Recordset &rs, Half half, Punch &p) {
    if (!flag(rs.value(u"DATAFLDEN"))) return;
    const clsTCrules &r = rules();
    const bool dataRule = half == Half::In ? r.blnDatafldOnIN : !r.blnDatafldOnIN;
    const bool taskRule = half == Half::In ? r.blnTaskOnIN : !r.blnTaskOnIN;
    const QVariant data = rs.value(u"DATAFLD");
    if (dataRule && !isNullOrEmpty(data)) p.dataFld = toDouble(data);
    const QVariant task = rs.value(u"TASK");
    if (taskRule && blnTaskTracking && !isNullOrEmpty(task)) p.task = toDouble(task);
}

Punch readPunch(const Recordset &rs, Half half, QString &step) {
    Punch p;
    p.employee = toInt32(toDouble(required(rs, u"EMPLOYEE ID")));
    p.date = datePart(toDateTimeValue(required(rs, u"IN DATE")));
    p.time = timePart(toDateTimeValue(required(rs, u"IN TIME")));
    p.punchType = intOrNull(rs.value(u"PunchType"));
    p.excused = conn().boolean(flag(rs.value(u"Excused")));
    p.overide = intOrNull(rs.value(u"Overide"));
    p.deptName = strNullToText(rs.value(u"DEPT NAME"));
    p.clockNumber = intOrNull(rs.value(u"CLOCK NUMBER"));
    p.edited = flag(rs.value(u"Edited"));
    step = QStringLiteral("Get datafield");
    readCarried(rs, half, p);
    return p;
}

void appendCarried(QVariantList &params, const Punch &p) {
    if (p.dataFld) params << *p.dataFld;
    if (p.task) params << *p.task;
}

void writeNew(Half half, const Recordset &rs, const QString &procedure) {
    QString step = QStringLiteral("start");
    try {
        Database &db = conn();
        const Punch p = readPunch(rs, half, step);
        QVariantList params;
        if (half == Half::In)
            params << p.employee << db.date(p.date) << db.date(p.date) << db.time(p.time);
        else
            params << p.employee << db.date(p.date) << weekday(p.date) << db.time(p.time);
        params << p.punchType << p.excused << p.overide;
        appendCarried(params, p);
        params << p.deptName << p.clockNumber << db.boolean(p.edited) << db.boolean(true)
               << db.boolean(p.edited);
        step = statement(true, half, Parts{p.dataFld.has_value(), p.task.has_value(), false});
        db.execute(step, params);
        ++importCounts().pairsOpened;
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(procedure, step, errorDescription(e));
    }
}

void writeUpdate(Half half, int32_t punchId, const Recordset &rs, const QString &procedure) {
    QString step = QStringLiteral("begin");
    try {
        Database &db = conn();
        const Punch p = readPunch(rs, half, step);
        QVariantList params;
        if (half == Half::In)
            params << db.date(p.date) << db.time(p.time);
        else
            params << weekday(p.date) << db.time(p.time);
        params << p.punchType << p.excused << p.overide;
        appendCarried(params, p);
        params << p.deptName << p.clockNumber << db.boolean(true);
        if (p.edited) params << db.boolean(true) << db.boolean(true);
        params << punchId;
        step = statement(false, half, Parts{p.dataFld.has_value(), p.task.has_value(), p.edited});
        db.execute(step, params);
        if (half == Half::Out) ++importCounts().pairsClosed;
    } catch (const std::exception &e) {
        rethrowIfFatal(e);
        reportImportError(procedure, step, errorDescription(e));
    }
}
} // namespace

void NewInPunchRecord(const Recordset &import) {
    writeNew(Half::In, import, QStringLiteral("NewInPunchRecord"));
}

void NewOutPunchRecord(const Recordset &import) {
    writeNew(Half::Out, import, QStringLiteral("NewOutPunchRecord"));
}

void UpdateInPunchRecord(int32_t punchId, const Recordset &import) {
    writeUpdate(Half::In, punchId, import, QStringLiteral("UpdateInPunchRecord"));
}

void UpdateOutPunchRecord(int32_t punchId, const Recordset &import) {
    writeUpdate(Half::Out, punchId, import, QStringLiteral("UpdateOutPunchRecord"));
}

} // namespace hx
