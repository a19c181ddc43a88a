#pragma once
// The poll log window's Import command, shared by every host: empty IMPORT,
// confirm, read each file, post once, empty IMPORT again. Everything from the
// confirmation to the closing "DELETE FROM IMPORT" is one unit of work: it is
// saved whole, with the register of seen records, or not at all.
#include "import/ImportSummary.h"
#include "import/ImportHistory.h"
#include "messages/clsMessage.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace hx {

struct ImportFile {
    QString name; // as the user knows it: the detail of the messages
    QString path; // the full path
};

struct ImportOptions {
    // Records the register has already seen are imported again (as the
    // window does); false skips them, so a re-run adds nothing twice.
    bool importSeen = true;
    // Read, post and recalculate, then roll the unit of work back: nothing is
    // saved, the register included; the log notes it.
    bool dryRun = false;
    // Asked before each file and before the posting; true rolls the whole
    // import back (the window's Cancel).
    std::function<bool()> cancelRequested;
    // Who started it, for the history of imports.
    ImportSource source = ImportSource::Command;
};

enum class ImportOutcome {
    NotConfirmed,  // the answer was not Yes; nothing imported
    FileLoadError, // a file could not be read; nothing posted (access events logged stay)
    PostingFailed, // saved, but posting reported a failure
    Imported,      // saved, "Imported Successfully" shown
    RolledBack,    // a failure not about one row: nothing was saved
    Cancelled,     // the user stopped it between files: nothing was saved
};

struct ImportResult {
    ImportOutcome outcome = ImportOutcome::NotConfirmed;
    // Errors reported between the confirmation and the end.
    long errorsReported = 0;
    // The file being read when the import ended, -1 before the first.
    int lastFile = -1;
    // The cause of a rollback.
    QString failure;
    // The rows the files put into IMPORT (records skipped as seen are not
    // among them), counted before posting; 0 when no file was read whole.
    long importRows = 0;
    ImportSummary summary;
    // The account of the run as the history keeps it (also for a dry run,
    // which keeps nothing).
    ImportRunRecord run;
    bool saved() const {
        return outcome == ImportOutcome::Imported || outcome == ImportOutcome::PostingFailed;
    }
};

// Runs the command on gConn. beforeFile(i) runs before file i is read (the
// window selects its row and repaints); fileFailed(i) when it could not be
// read. The caller holds the import lock.
ImportResult runImportCommand(const std::vector<ImportFile> &files, std::shared_ptr<clsMessage> &channel,
                              const ImportOptions &options, const std::function<void(int)> &beforeFile = {},
                              const std::function<void(int)> &fileFailed = {});

} // namespace hx
