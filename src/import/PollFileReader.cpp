#include "import/PollFileReader.h"

#include "component/Database.h"
#include "component/Error.h"
#include "component/Values.h"
#include "component/modGlobal.h"
#include "import/ImportRows.h"
#include "import/ImportSummary.h"
#include "import/PollLogEntry.h"
#include "import/PollLogFormat.h"
#include "import/PollLogRecordset.h"
#include "import/PrevPunchRegister.h"
#include "messages/LogFiles.h"
#include "messages/MessageBox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <exception>
#include <limits>

namespace hx {
namespace {
const QString kModule = QStringLiteral("modImportToPunch");
const QString kKind = QStringLiteral("Procedure");
const QString kProcedure = QStringLiteral("blnImportPollFile");

// Fails early, before any line is read, when there is no IMPORT table.
const QString kImportTableSql = QStringLiteral(R"(SELECT COUNT(*) FROM "IMPORT" WHERE 1 = 0)");
const QString kInsertImportSql = QStringLiteral(
    R"(INSERT INTO "IMPORT" ("EMPLOYEE ID", "CLOCK ID", "IN DATE", "IN TIME", "DEPT ID", "DEPT NAME", "DATAFLDEN",)"
    R"( "DATAFLD", "TASK", "SIGN IN", "PunchType", "Overide", "Excused", "CLOCK NUMBER", "Edited"))"
    R"( VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?))");
const QString kFindAccessSql =
    QStringLiteral(R"(SELECT "ID" FROM "AccessPunch" WHERE "Date" = ? AND "Time" = ?)"
                   R"( AND "SEQUENCE" = ? AND "Clock" = ? ORDER BY "ID")");
const QString kInsertAccessSql = QStringLiteral(
    R"(INSERT INTO "AccessPunch" ("Date", "Time", "SEQUENCE", "Clock", "EmployeeClock", "type",)"
    R"( "Valid", "Failure") VALUES (?, ?, ?, ?, ?, ?, ?, ?))");
const QString kUpdateAccessSql = QStringLiteral(
    R"(UPDATE "AccessPunch" SET "EmployeeClock" = ?, "type" = ?, "Valid" = ?, "Failure" = ? WHERE "ID" = ?)");

// Steps of the transfer of one entry, named in the report of a failed entry.
constexpr int kStepImportRow = 1;
constexpr int kStepAccessLookup = 2;
constexpr int kStepAccessRow = 3;

int32_t clampToInt32(qint64 n) {
    return int32_t(std::min<qint64>(n, std::numeric_limits<int32_t>::max()));
}

void openPollFile(QFile &file, const QString &name) {
    const QString shown = QDir::toNativeSeparators(name);
    const QFileInfo fi(name);
    if (name.isEmpty() || !fi.exists())
        throw HxError(QStringLiteral("File not found: ") + shown, ErrNo::FileNotFound);
    if (fi.isDir())
        throw HxError(QStringLiteral("The poll log file is a folder, not a file: ") + shown,
                      ErrNo::PathNotFound);
    // A pipe or a device could block or never end.
    if (!fi.isFile())
        throw HxError(QStringLiteral("The poll log file is not a regular file: ") + shown,
                      ErrNo::PathNotFound);
    file.setFileName(name);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw HxError(
            QStringLiteral("The poll log file %1 cannot be opened (%2).").arg(shown, file.errorString()),
            file.error() == QFileDevice::PermissionsError ? ErrNo::PermissionDenied : ErrNo::PathNotFound);
}

// A file of nothing but bad lines must not bury the user under boxes: past
// this many in one file the rest are counted and reported once at its end.
constexpr int kBadLinesShown = 20;

void reportBadLine(const PollLine &line) {
    noteReportedError("bad_line");
    intReportMessage(kModule, kKind, kProcedure, pollLineDetail(line), QStringLiteral("INVALID BUFFER"),
                     QStringLiteral("The buffer is the wrong size.\r\nThere is a problem with your data."),
                     Buttons::OkOnly | Buttons::Exclamation, 0);
}

void reportFurtherBadLines(const QString &fileName, qint64 count) {
    intReportMessage(kModule, kKind, kProcedure, QDir::toNativeSeparators(fileName),
                     QStringLiteral("INVALID BUFFER"),
                     QStringLiteral("%1 more line(s) of this file have the wrong size and were skipped.\r\n"
                                    "There is a problem with your data.")
                         .arg(count),
                     Buttons::OkOnly | Buttons::Exclamation, 0);
}

// The statement and its values, as the detail of an error report.
QString describeStatement(const QString &sql, const QVariantList &params) {
    QStringList values;
    for (const QVariant &v : params)
        values << valueText(v);
    return sql + QStringLiteral(" [") + values.join(QStringLiteral(", ")) + QLatin1Char(']');
}

// A failed entry is reported once per file; later ones only go to the log.
void reportFailedEntry(const QString &description, int bandStep, bool &reported, const QString &step) {
    const QString where =
        description + QStringLiteral(" (Line: ") + QString::number(bandStep) + QLatin1Char(')');
    if (reported) {
        noteReportedError("failed_record");
        subLogNote(kModule, kProcedure + QStringLiteral(": ") + where + QStringLiteral(" ") + step);
        return;
    }
    reported = true;
    noteReportedError("failed_record");
    intReportMessage(kModule, kKind, kProcedure, QString(), QStringLiteral("ERROR READING PUNCHES"),
                     QStringLiteral("You may have corrupt punch data.  You may be missing at least ") +
                         QString::number(1) + QStringLiteral(" punch(s).  ") + strAppRegistryName() +
                         QStringLiteral(" will attempt to correct this problem but you should look at your "
                                        "reports carefully.") +
                         QStringLiteral("\r\r") + where,
                     Buttons::OkCancel | Buttons::Information, 0);
}

// The band of one entry: a step that fails is reported and the entry goes on
// with the step after it, so an access event is logged even when its IMPORT
// row could not be saved. A failed statement undoes only itself.
QVariantList importRow(Database &db, const PollLogEntry &e) {
    QVariant job = Database::null();
    QVariant task = Database::null();
    if (e.DataFieldEnter) {
        if (e.Job > 0) job = e.Job;
        task = e.Task;
    }
    return {e.Employee,
            e.Badge,
            db.date(e.PunchDate),
            db.time(e.PunchTime),
            e.DeptNum,
            e.DeptName,
            db.boolean(e.DataFieldEnter),
            job,
            task,
            db.boolean(e.InOut == u"I"),
            e.PunchType,
            e.Overide,
            db.boolean(e.Excused != 0),
            e.Clock,
            db.boolean(e.Edited != 0)};
}

void insertImportRow(Database &db, const QVariantList &row, QString &step, bool &reported) {
    try {
        if (ImportRows *rows = ImportRows::active())
            rows->insert(row);
        else
            db.execute(kInsertImportSql, row);
    } catch (const std::exception &x) {
        rethrowIfFatal(x);
        reportFailedEntry(errorDescription(x), kStepImportRow, reported, step);
    }
}

// A statement costs a round trip on a server and its own start and finish on
// SQLite: the IMPORT rows of a run of punches without access events go in
// statements of many rows. A statement
// that fails is undone whole and its rows go again one by one, so each
// failure is reported for its own row, in order, as it would be alone.
class ImportRowBatch {
public:
    explicit ImportRowBatch(Database &db) : m_db(db), m_on(!ImportRows::active()) {}
    bool isOn() const { return m_on; }
    void add(QVariantList row, QString &step, bool &reported) {
        m_rows.push_back(std::move(row));
        if (m_rows.size() == kLargest) flush(step, reported);
    }
    void flush(QString &step, bool &reported) {
        size_t at = 0;
        for (const size_t size : {kLargest, size_t(10), size_t(1)}) {
            for (; m_rows.size() - at >= size; at += size) {
                if (size == 1) {
                    insertImportRow(m_db, m_rows[at], step, reported);
                    continue;
                }
                QVariantList params;
                params.reserve(qsizetype(size) * m_rows[at].size());
                for (size_t i = at; i < at + size; ++i)
                    params += m_rows[i];
                try {
                    m_db.execute(sqlOf(size), params);
                } catch (const std::exception &x) {
                    rethrowIfFatal(x);
                    for (size_t i = at; i < at + size; ++i)
                        insertImportRow(m_db, m_rows[i], step, reported);
                }
            }
        }
        m_rows.clear();
    }

private:
    static constexpr size_t kLargest = 100;
    static const QString &sqlOf(size_t size) {
        static const QString large = rowsSql(kLargest);
        static const QString small = rowsSql(10);
        return size == kLargest ? large : small;
    }
    static QString rowsSql(size_t size) {
        const qsizetype values = kInsertImportSql.indexOf(QLatin1String(" VALUES "));
        const QString one = kInsertImportSql.mid(values + 8);
        QStringList all;
        for (size_t i = 0; i < size; ++i)
            all << one;
        return kInsertImportSql.left(values + 8) + all.join(QStringLiteral(", "));
    }
    Database &m_db;
    const bool m_on;
    std::vector<QVariantList> m_rows;
};

void transferEntry(Database &db, const PollLogEntry &e, int16_t clock, QString &step, bool &reported,
                   ImportRowBatch &batch) {
    const bool batched = e.TimeAndAttend && !e.AccessControl && batch.isOn();
    if (!batched) batch.flush(step, reported);
    if (e.TimeAndAttend) {
        QVariantList row;
        bool made = true;
        try {
            row = importRow(db, e);
        } catch (const std::exception &x) {
            rethrowIfFatal(x);
            // The rows before it go first, so reports keep the file's order.
            batch.flush(step, reported);
            reportFailedEntry(errorDescription(x), kStepImportRow, reported, step);
            made = false;
        }
        if (made && batched)
            batch.add(std::move(row), step, reported);
        else if (made)
            insertImportRow(db, row, step, reported);
    }
    if (e.AccessControl) {
        int bandStep = kStepAccessLookup;
        try {
            const QVariantList key{db.date(e.PunchDate), db.time(e.PunchTime), e.AccessSequence, int(clock)};
            step = describeStatement(kFindAccessSql, key);
            const std::optional<QVariant> existing = db.firstValue(kFindAccessSql, key);
            step = QStringLiteral("recordset open ") + step;

            bandStep = kStepAccessRow;
            const QStringView result = QStringView(e.AccessFailString).right(2);
            const bool granted = accessResultCode(result) == 0;
            const int16_t failure = granted ? int16_t(-1) : accessFailureNumber(result);
            const int16_t type = accessTypeNumber(e.AccessType);
            if (existing)
                db.execute(kUpdateAccessSql,
                           {e.Badge, int(type), db.boolean(granted), int(failure), *existing});
            else
                db.execute(kInsertAccessSql, {key[0], key[1], key[2], key[3], e.Badge, int(type),
                                              db.boolean(granted), int(failure)});
        } catch (const std::exception &x) {
            rethrowIfFatal(x);
            reportFailedEntry(errorDescription(x), bandStep, reported, step);
        }
    }
}

void transferEntries(Database &db, clsMessage &msg, int16_t clock, QString &step) {
    int32_t counter = 0;
    bool failureReported = false;
    PollLogRecordset::Cursor cursor = rsPollLog.walk();
    PollLogEntry entry;
    ImportRowBatch batch(db);
    while (cursor.next(entry)) {
        msg.setLngProgressValue(++counter);
        transferEntry(db, entry, clock, step, failureReported, batch);
    }
    batch.flush(step, failureReported);
}

void reportError(const QString &step, const QString &description) {
    noteReportedError("reading");
    intReportMessage(kModule, kKind, kProcedure, step, QStringLiteral("ERROR"), description,
                     Buttons::OkCancel | Buttons::Information, 0);
}
} // namespace

bool blnImportPollFile(const QString &strFileName, std::shared_ptr<clsMessage> &objMessage,
                       bool blnImportSeen) {
    if (!objMessage) objMessage = std::make_shared<clsMessage>();
    clsMessage &msg = *objMessage;
    QString step = QStringLiteral("?");
    bool result = false;
    std::exception_ptr fatal;
    QFile file;

    try {
        openPollFile(file, strFileName);
        PollLineReader reader(file);
        const qint64 lineCount = reader.countLines();
        reader.rewind();

        Database &db = conn();
        gPollFileLookups.open(db);
        db.firstValue(kImportTableSql);
        const int16_t clock = pollClockNumber(strFileName);
        CreatePollLogRecordset();

        result = true;
        bool endOfFile = reader.atEnd();
        bool firstLine = true;
        bool aborted = false;
        msg.setLngProgressTotal(clampToInt32(lineCount));
        msg.setLngProgressValue(0);
        msg.setBlnIsProgress(true);
        msg.setStrUIMessage(QStringLiteral("Importing Poll Log File"));

        // An error in this loop ends the import with false: the file's
        // entries are never transferred, so it must not pass as read.
        qint64 linesRead = 0;
        int badLines = 0;
        qint64 badLinesUnshown = 0;
        PollLine line;
        while (!endOfFile) {
            reader.readLine(line);
            ++linesRead;
            msg.setLngProgressValue(clampToInt32(linesRead));
            const PollLineKind kind = classifyPollLine(line, firstLine);
            if (kind == PollLineKind::Abort) {
                result = false;
                aborted = true;
                break;
            }
            if (kind == PollLineKind::Record) {
                ++importCounts().recordsRead;
                ProcessPollLogEntry(pollLineText(line), clock, blnImportSeen, strFileName, linesRead);
            } else if (kind == PollLineKind::Bad) {
                ++importCounts().badLines;
                if (++badLines <= kBadLinesShown) {
                    reportBadLine(line);
                } else {
                    ++badLinesUnshown;
                    noteReportedError("bad_line");
                }
            }
            endOfFile = reader.atEnd();
            firstLine = false;
        }
        if (badLinesUnshown > 0) reportFurtherBadLines(strFileName, badLinesUnshown);

        if (!aborted) {
            msg.setBlnIsProgress(false);
            if (blnHasRecords(rsPollLog) && result) {
                result = false;
                msg.setLngProgressTotal(clampToInt32(rsPollLog.recordCount()));
                msg.setLngProgressValue(0);
                msg.setBlnIsProgress(true);
                msg.setStrUIMessage(QStringLiteral("Transferring Data to Import Table"));
                transferEntries(db, msg, clock, step);
                msg.setBlnIsProgress(false);
                result = true;
            }
        }
    } catch (const std::exception &e) {
        // A fatal failure ends the whole import: the closing steps below
        // still run, then it goes on up.
        try {
            rethrowIfFatal(e);
            reportError(step, errorDescription(e));
        } catch (...) {
            fatal = std::current_exception();
        }
        result = false;
    }

    // Closing steps, on every path.
    if (msg.blnIsProgress()) msg.setBlnIsProgress(false);
    if (!fatal) {
        try {
            SavePrevPunch();
        } catch (const std::exception &e) {
            reportError(step, errorDescription(e));
        }
    }
    rsPollLog.close();
    gPollFileLookups.close();
    file.close();
    if (fatal) std::rethrow_exception(fatal);
    return result;
}

} // namespace hx
