#include "import/ImportHistory.h"

#include "component/Database.h"
#include "component/DateTime.h"
#include "component/Values.h"
#include "component/modGlobal.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSysInfo>
#include <cmath>
#include <pwd.h>
#include <unistd.h>

namespace hx {
namespace {
const QString kInsert = QStringLiteral(
    "INSERT INTO \"PollImportRun\" (\"Started\", \"Finished\", \"Host\", \"User\", \"Source\", \"Files\", "
    "\"RecordsRead\", \"RecordsSkippedSeen\", \"BadLines\", \"PunchesNew\", \"DuplicatesRemoved\", "
    "\"PairsOpened\", \"PairsClosed\", \"ScheduledPairs\", \"RowsRecalculated\", \"Employees\", "
    "\"EarliestPunch\", \"Errors\", \"Seconds\", \"Outcome\", \"Cause\", \"ExitStatus\") "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");

QString iso(const QDateTime &t) {
    return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

QJsonObject errorsJson(const ImportSummary &s) {
    QJsonObject o;
    for (const auto &[kind, n] : s.errorsByKind)
        o.insert(kind, qint64(n));
    return o;
}

QJsonArray filesJson(const std::vector<ImportRunRecord::File> &files) {
    QJsonArray a;
    for (const auto &f : files)
        a.append(QJsonObject{{QStringLiteral("name"), f.name}, {QStringLiteral("size"), f.size}});
    return a;
}

// A stored date-time in any of the storage forms.
QDateTime readMoment(const QVariant &v) {
    if (isNull(v)) return {};
    if (v.typeId() == QMetaType::QDateTime) return v.toDateTime();
    const auto serial = parseDateTime(v.toString());
    return serial ? toQDateTime(*serial) : QDateTime();
}
} // namespace

QString importSourceText(ImportSource source) {
    switch (source) {
    case ImportSource::Window:
        return QStringLiteral("window");
    case ImportSource::Command:
        return QStringLiteral("command");
    case ImportSource::Watcher:
        return QStringLiteral("watcher");
    case ImportSource::Library:
        return QStringLiteral("library");
    }
    return QString();
}

QString currentHostName() {
    return QSysInfo::machineHostName();
}

QString currentUserName() {
    if (const passwd *pw = getpwuid(geteuid())) return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
}

QJsonObject ImportRunRecord::toJson() const {
    const ImportSummary &s = summary;
    return QJsonObject{
        {QStringLiteral("started"), iso(started)},
        {QStringLiteral("finished"), iso(finished)},
        {QStringLiteral("host"), host},
        {QStringLiteral("user"), user},
        {QStringLiteral("source"), source},
        {QStringLiteral("files"), filesJson(files)},
        {QStringLiteral("outcome"), outcome},
        {QStringLiteral("cause"), cause.isEmpty() ? QJsonValue() : QJsonValue(cause)},
        {QStringLiteral("exit_status"), exitStatus},
        {QStringLiteral("records_read"), qint64(s.recordsRead)},
        {QStringLiteral("records_skipped_seen"), qint64(s.recordsSkippedSeen)},
        {QStringLiteral("bad_lines"), qint64(s.badLines)},
        {QStringLiteral("punches_new"), qint64(s.punchesNew)},
        {QStringLiteral("duplicates_removed"), qint64(s.duplicatesRemoved)},
        {QStringLiteral("pairs_opened"), qint64(s.pairsOpened)},
        {QStringLiteral("pairs_closed"), qint64(s.pairsClosed)},
        {QStringLiteral("scheduled_pairs"), qint64(s.scheduledPairs)},
        {QStringLiteral("rows_recalculated"), qint64(s.rowsRecalculated)},
        {QStringLiteral("employees"), qint64(s.employees)},
        {QStringLiteral("earliest_punch"), s.earliestPunch > 0 ? QJsonValue(formatIsoDate(s.earliestPunch)) : QJsonValue()},
        {QStringLiteral("errors"), errorsJson(s)},
        {QStringLiteral("seconds"), std::round(s.seconds * 1000) / 1000},
    };
}

QString ImportRunRecord::toText(bool oneLine) const {
    const ImportSummary &s = summary;
    const QString state = outcome == QLatin1String("saved")               ? QStringLiteral("saved")
                          : outcome == QLatin1String("saved_with_errors") ? QStringLiteral("saved with errors")
                                                                          : QStringLiteral("not saved");
    if (oneLine)
        return QStringLiteral("import %1: %2 file(s), %3 record(s) (%4 seen), %5 new punch(es), %6 pair(s) "
                              "opened, %7 closed, %8 error(s), %9 s")
            .arg(state)
            .arg(files.size())
            .arg(s.recordsRead)
            .arg(s.recordsSkippedSeen)
            .arg(s.punchesNew)
            .arg(s.pairsOpened)
            .arg(s.pairsClosed)
            .arg(s.errors)
            .arg(s.seconds, 0, 'f', 2);
    QStringList kinds;
    for (const auto &[kind, n] : s.errorsByKind)
        kinds << QStringLiteral("%1 %2").arg(n).arg(kind);
    QString text = QStringLiteral("Import %1: %2 file(s) in %3 s%4\n")
                       .arg(state)
                       .arg(files.size())
                       .arg(s.seconds, 0, 'f', 2)
                       .arg(cause.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(cause));
    const auto line = [&](const char *label, const QString &value) {
        text += QStringLiteral("  %1%2\n").arg(QLatin1String(label), -20).arg(value);
    };
    line("records read", QStringLiteral("%1 (%2 skipped as seen, %3 bad lines)")
                             .arg(s.recordsRead)
                             .arg(s.recordsSkippedSeen)
                             .arg(s.badLines));
    line("new punches", QStringLiteral("%1 (%2 duplicates removed)").arg(s.punchesNew).arg(s.duplicatesRemoved));
    line("pairs", QStringLiteral("%1 opened, %2 closed, %3 scheduled")
                      .arg(s.pairsOpened)
                      .arg(s.pairsClosed)
                      .arg(s.scheduledPairs));
    line("rows recalculated", QStringLiteral("%1 for %2 employee(s)").arg(s.rowsRecalculated).arg(s.employees));
    line("errors", kinds.isEmpty() ? QString::number(s.errors)
                                   : QStringLiteral("%1 (%2)").arg(s.errors).arg(kinds.join(QStringLiteral(", "))));
    return text;
}

void recordImportRun(Database &db, const ImportRunRecord &run) {
    const ImportSummary &s = run.summary;
    const QByteArray files = QJsonDocument(filesJson(run.files)).toJson(QJsonDocument::Compact);
    const QByteArray errors = QJsonDocument(errorsJson(s)).toJson(QJsonDocument::Compact);
    const auto moment = [&](const QDateTime &t) {
        return db.dateTime(dateSerial(t.date().year(), t.date().month(), t.date().day()) +
                           t.time().msecsSinceStartOfDay() / 1000 / kSecondsPerDay);
    };
    db.execute(kInsert, {moment(run.started), moment(run.finished), run.host, run.user, run.source,
                         QString::fromUtf8(files), qint64(s.recordsRead), qint64(s.recordsSkippedSeen),
                         qint64(s.badLines), qint64(s.punchesNew), qint64(s.duplicatesRemoved),
                         qint64(s.pairsOpened), qint64(s.pairsClosed), qint64(s.scheduledPairs),
                         qint64(s.rowsRecalculated), qint64(s.employees),
                         s.earliestPunch > 0 ? db.date(s.earliestPunch) : Database::null(), QString::fromUtf8(errors), s.seconds,
                         run.outcome, run.cause.isEmpty() ? Database::null() : QVariant(run.cause),
                         run.exitStatus});
}

std::vector<ImportRunRecord> readImportRuns(Database &db, int limit) {
    std::vector<ImportRunRecord> runs;
    Recordset rs = db.openRecordset(QStringLiteral("SELECT * FROM \"PollImportRun\" ORDER BY \"Started\" DESC, "
                                                   "\"ID\" DESC"));
    for (; !rs.eof() && (limit <= 0 || int(runs.size()) < limit); rs.moveNext()) {
        ImportRunRecord r;
        r.started = readMoment(rs.value(u"Started"));
        r.finished = readMoment(rs.value(u"Finished"));
        r.host = strNullToText(rs.value(u"Host"));
        r.user = strNullToText(rs.value(u"User"));
        r.source = strNullToText(rs.value(u"Source"));
        for (const QJsonValue &f : QJsonDocument::fromJson(strNullToText(rs.value(u"Files")).toUtf8()).array())
            r.files.push_back({f[QStringLiteral("name")].toString(), qint64(f[QStringLiteral("size")].toDouble())});
        ImportSummary &s = r.summary;
        const auto n = [&](QStringView column) { return int64_t(rs.value(column).toLongLong()); };
        s.files = int64_t(r.files.size());
        s.recordsRead = n(u"RecordsRead");
        s.recordsSkippedSeen = n(u"RecordsSkippedSeen");
        s.badLines = n(u"BadLines");
        s.punchesNew = n(u"PunchesNew");
        s.duplicatesRemoved = n(u"DuplicatesRemoved");
        s.pairsOpened = n(u"PairsOpened");
        s.pairsClosed = n(u"PairsClosed");
        s.scheduledPairs = n(u"ScheduledPairs");
        s.rowsRecalculated = n(u"RowsRecalculated");
        s.employees = n(u"Employees");
        if (!isNullOrEmpty(rs.value(u"EarliestPunch"))) s.earliestPunch = datePart(toDateTimeValue(rs.value(u"EarliestPunch")));
        const QJsonObject errors = QJsonDocument::fromJson(strNullToText(rs.value(u"Errors")).toUtf8()).object();
        for (auto it = errors.begin(); it != errors.end(); ++it) {
            s.errorsByKind[it.key()] = int64_t(it.value().toDouble());
            s.errors += int64_t(it.value().toDouble());
        }
        s.seconds = rs.value(u"Seconds").toDouble();
        r.outcome = strNullToText(rs.value(u"Outcome"));
        r.cause = strNullToText(rs.value(u"Cause"));
        r.exitStatus = int(n(u"ExitStatus"));
        runs.push_back(std::move(r));
    }
    return runs;
}

} // namespace hx
