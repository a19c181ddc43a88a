#include "import/ImportCommand.h"

#include "component/Clock.h"
#include "component/Database.h"
#include "component/Error.h"
#include "component/Schema.h"
#include "component/modGlobal.h"
#include "import/ImportRows.h"
#include "import/PollFileReader.h"
#include "import/PollLogEntry.h"
#include "import/PrevPunchRegister.h"
#include "messages/LogFiles.h"
#include "messages/MessageBox.h"
#include "posting/PostingDriver.h"

#include <QFileInfo>
#include <chrono>
#include <map>
#include <optional>

namespace hx {
namespace {
const QString kModule = QStringLiteral("frmPollLog");
const QString kKind = QStringLiteral("barPollLog");
const QString kProcedure = QStringLiteral("ButtonClick");
const QString kDeleteImport = QStringLiteral("DELETE FROM \"IMPORT\"");
const QString kCountImport = QStringLiteral("SELECT COUNT(*) FROM \"IMPORT\"");

int showMessage(const QString &detail, const QString &title, const QString &prompt, int buttons) {
    return intShowMessage(kModule, kKind, kProcedure, detail, title, prompt, buttons, 0);
}

QString confirmationPrompt(size_t files, bool importSeen) {
    const QString what = files == 1 ? QStringLiteral("this poll log?")
                                    : QString::number(files) + QStringLiteral(" poll logs?");
    // The warning holds only when records already seen are imported again.
    return QStringLiteral("Are you sure you want to import ") + what + QStringLiteral("\r\n") +
           (importSeen ? QStringLiteral("WARNING!  There is a high risk of duplicating data if this poll log "
                                        "information is already in the database!")
                       : QStringLiteral("Records an earlier import has seen are skipped."));
}

void reportRolledBack(const QString &cause) {
    showMessage(QString(), QStringLiteral("Import Not Saved"),
                QStringLiteral("The import was stopped and nothing was imported: the database failed in a "
                               "way that is not about one punch.\r\n(") +
                    cause +
                    QStringLiteral(")\r\nThe database and the register of seen punches are as they were "
                                   "before the import. Mend the cause, then run the import again."),
                Buttons::OkOnly | Buttons::Critical);
}

struct Cancelled {};

// The closing "DELETE FROM IMPORT" outside the unit of work: after No, and
// after a rollback (when the server may be gone).
void emptyImportTable() {
    try {
        conn().execute(kDeleteImport);
    } catch (const std::exception &e) {
        subLogNote(kModule, QStringLiteral("DELETE FROM IMPORT failed: ") + errorDescription(e));
    }
}
} // namespace

ImportSummary &importCounts() {
    static ImportSummary counts;
    return counts;
}

ImportResult runImportCommand(const std::vector<ImportFile> &files, std::shared_ptr<clsMessage> &channel,
                              const ImportOptions &options, const std::function<void(int)> &beforeFile,
                              const std::function<void(int)> &fileFailed) {
    ImportResult result;
    if (!channel) channel = std::make_shared<clsMessage>();
    Database &db = conn();

    try {
        db.execute(kDeleteImport);
    } catch (const std::exception &e) {
        subReportError(kModule, kKind, kProcedure, kDeleteImport, HxError(errorDescription(e)));
        result.outcome = ImportOutcome::RolledBack;
        result.failure = errorDescription(e);
        return result;
    }

    const int answer = showMessage(QString(), QStringLiteral("Import Poll Log"),
                                   confirmationPrompt(files.size(), options.importSeen), Buttons::YesNo);
    if (answer != Answer::Yes) {
        emptyImportTable();
        return result;
    }

    importCounts() = ImportSummary();
    const auto started = std::chrono::steady_clock::now();
    // A database made by an earlier version gets what this one needs first;
    // one that cannot take it imports nothing.
    try {
        upgradeSchema(db);
    } catch (const std::exception &e) {
        subLogNote(kModule, errorDescription(e));
        result.outcome = ImportOutcome::RolledBack;
        result.failure = errorDescription(e);
        emptyImportTable();
        reportRolledBack(result.failure);
        return result;
    }
    const long errorsBefore = lngReportedErrors();
    const std::map<QString, long> kindsBefore = reportedErrorsByKind();
    ImportRunRecord &run = result.run;
    run.started = Clock::now();
    run.host = currentHostName();
    run.user = currentUserName();
    run.source = importSourceText(options.source);
    for (const ImportFile &f : files) {
        const QFileInfo info(f.path);
        run.files.push_back({f.name, info.exists() ? info.size() : -1});
    }
    // The counts, the outcome and the exit status as they stand now.
    const auto finishRun = [&] {
        result.errorsReported = lngReportedErrors() - errorsBefore;
        result.summary = importCounts();
        result.summary.errors = result.errorsReported;
        for (const auto &[kind, n] : reportedErrorsByKind()) {
            const auto before = kindsBefore.find(kind);
            const long added = n - (before == kindsBefore.end() ? 0 : before->second);
            if (added > 0) result.summary.errorsByKind[kind] = added;
        }
        result.summary.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        run.summary = result.summary;
        run.finished = Clock::now();
        switch (result.outcome) {
        case ImportOutcome::Imported:
            run.outcome = result.errorsReported > 0 ? QStringLiteral("saved_with_errors") : QStringLiteral("saved");
            run.cause = result.errorsReported > 0 ? QStringLiteral("errors were reported on the way") : QString();
            break;
        case ImportOutcome::PostingFailed:
            run.outcome = QStringLiteral("saved_with_errors");
            run.cause = QStringLiteral("There was an error posting to the Punch Table.");
            break;
        case ImportOutcome::FileLoadError:
            run.outcome = QStringLiteral("not_saved");
            run.cause = QStringLiteral("File Load Error: ") + files[size_t(result.lastFile)].name;
            break;
        case ImportOutcome::Cancelled:
            run.outcome = QStringLiteral("not_saved");
            run.cause = QStringLiteral("cancelled");
            break;
        case ImportOutcome::RolledBack:
        case ImportOutcome::NotConfirmed:
            run.outcome = QStringLiteral("not_saved");
            run.cause = result.failure;
            break;
        }
        run.exitStatus = run.outcome == QLatin1String("saved") ? 0 : run.outcome == QLatin1String("not_saved") ? 1 : 3;
    };
    // The register file of an earlier version joins the table, committed
    // before the file is renamed; a dry run leaves the file where it is.
    try {
        if (!options.dryRun) MigratePrevPunchFile(db);
    } catch (const std::exception &e) {
        subReportError(QStringLiteral("modImportToPunch"), QStringLiteral("Procedure"),
                       QStringLiteral("OpenPrevPunch"), QString(), HxError(errorDescription(e)));
    }
    try {
        Transaction unit(db);
        PrevPunchImportScope seen(db);
        ImportRowsScope staged(db);
        // Reading the files changes no employee: they are read once.
        gPollFileLookups.keepEmployees(true);
        const std::unique_ptr<PollFileLookups, void (*)(PollFileLookups *)> readOnce(
            &gPollFileLookups, [](PollFileLookups *l) { l->keepEmployees(false); });

        result.outcome = ImportOutcome::Imported;
        const auto checkCancel = [&] {
            if (options.cancelRequested && options.cancelRequested()) throw Cancelled{};
        };
        for (size_t i = 0; i < files.size(); ++i) {
            checkCancel();
            result.lastFile = int(i);
            if (beforeFile) beforeFile(int(i));
            if (!blnImportPollFile(files[i].path, channel, options.importSeen)) {
                if (fileFailed) fileFailed(int(i));
                result.outcome = ImportOutcome::FileLoadError;
                break;
            }
            ++importCounts().files;
        }
        if (result.outcome == ImportOutcome::Imported) checkCancel();
        if (result.outcome == ImportOutcome::Imported) {
            const ImportRows *rows = ImportRows::active();
            result.importRows =
                rows ? rows->count() : db.firstValue(kCountImport).value_or(QVariant(0)).toLongLong();
            if (!blnPostImportTableToPunchTable(channel)) result.outcome = ImportOutcome::PostingFailed;
        }

        if (ImportRows *rows = ImportRows::active())
            rows->clear(db);
        else
            db.execute(kDeleteImport);
        if (options.dryRun) {
            unit.rollback();
            subLogNote(kModule, QStringLiteral("Dry run: the import was read, posted and recalculated, then "
                                               "rolled back; nothing was saved."));
        } else {
            // After a file that failed nothing is posted: the records read are
            // not marked seen, or skipping seen records would lose them.
            if (result.outcome != ImportOutcome::FileLoadError) seen.save();
            // The account commits with the import.
            finishRun();
            try {
                recordImportRun(db, run);
            } catch (const std::exception &e) {
                rethrowIfFatal(e);
                subLogNote(kModule, QStringLiteral("The import's history row cannot be written: ") +
                                        errorDescription(e));
            }
            unit.commit();
        }
    } catch (const Cancelled &) {
        result.outcome = ImportOutcome::Cancelled;
        subLogNote(kModule, QStringLiteral("The import was cancelled; nothing was saved."));
    } catch (const std::exception &e) {
        // Everything since the confirmation is undone.
        result.outcome = ImportOutcome::RolledBack;
        result.failure = errorDescription(e);
    }
    finishRun();
    // An import that was undone is still recorded, after its rollback.
    if (!options.dryRun &&
        (result.outcome == ImportOutcome::RolledBack || result.outcome == ImportOutcome::Cancelled)) {
        try {
            Transaction own(db);
            recordImportRun(db, run);
            own.commit();
        } catch (const std::exception &e) {
            subLogNote(kModule, QStringLiteral("The import's history row cannot be written: ") + errorDescription(e));
        }
    }

    switch (result.outcome) {
    case ImportOutcome::RolledBack:
        emptyImportTable();
        reportRolledBack(result.failure);
        break;
    case ImportOutcome::FileLoadError:
        showMessage(files[size_t(result.lastFile)].name, QStringLiteral("Error Loading File"),
                    QStringLiteral("File Load Error"), Buttons::OkOnly);
        break;
    case ImportOutcome::PostingFailed:
        showMessage(QString(), QStringLiteral("Error posting to the Punch Table"),
                    QStringLiteral("There was an error posting to the Punch Table.  Some or all of your "
                                   "imported punches may be missing."),
                    Buttons::OkOnly);
        break;
    case ImportOutcome::Imported:
        showMessage(QString(), QStringLiteral("Success"),
                    QStringLiteral("Poll Log") + (files.size() > 1 ? QStringLiteral("s") : QString()) +
                        QStringLiteral(" Imported Successfully"),
                    Buttons::OkOnly);
        break;
    case ImportOutcome::Cancelled:
        emptyImportTable();
        showMessage(QString(), QStringLiteral("Import Cancelled"),
                    QStringLiteral("The import was cancelled. Nothing was imported: the database and the "
                                   "register of seen punches are as they were before it."),
                    Buttons::OkOnly | Buttons::Information);
        break;
    case ImportOutcome::NotConfirmed:
        break;
    }
    return result;
}

} // namespace hx
