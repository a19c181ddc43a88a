// Stand-in for the core's Import command until it lands: the steps of the
// command-line host's import, with the window's hooks.
#include "window/ImportCommandShim.h"

#include "component/modGlobal.h"
#include "import/PollFileReader.h"
#include "messages/LogFiles.h"
#include "messages/MessageBox.h"
#include "posting/PostingDriver.h"

namespace hx {
namespace {
int showMessage(const QString &detail, const QString &title, const QString &prompt, long buttons) {
    return intShowMessage(QStringLiteral("frmPollLog"), QStringLiteral("barPollLog"),
                          QStringLiteral("ButtonClick"), detail, title, prompt, buttons, 0);
}
void emptyImportTable() {
    conn().execute(QStringLiteral("DELETE FROM \"IMPORT\""));
}
} // namespace

ImportResult runImportCommand(const std::vector<ImportFile> &files, std::shared_ptr<clsMessage> &channel,
                              const ImportOptions &, const std::function<void(int)> &beforeFile,
                              const std::function<void(int)> &fileFailed) {
    ImportResult result;
    QString step = QStringLiteral("DELETE FROM IMPORT");
    try {
        emptyImportTable();
        const QString what = files.size() == 1
                                 ? QStringLiteral("this poll log?")
                                 : QString::number(files.size()) + QStringLiteral(" poll logs?");
        const int answer = showMessage(
            QString(), QStringLiteral("Import Poll Log"),
            QStringLiteral("Are you sure you want to import ") + what + QStringLiteral("\r\n") +
                QStringLiteral("WARNING!  There is a high risk of duplicating data if this poll log "
                               "information is already in the database!"),
            Buttons::YesNo);
        if (answer == Answer::Yes) {
            result.outcome = ImportOutcome::Imported;
            for (size_t i = 0; i < files.size(); ++i) {
                step = files[i].name;
                result.lastFile = int(i);
                if (beforeFile) beforeFile(int(i));
                if (!blnImportPollFile(files[i].path, channel, true)) {
                    if (fileFailed) fileFailed(int(i));
                    showMessage(files[i].name, QStringLiteral("Error Loading File"),
                                QStringLiteral("File Load Error"), Buttons::OkOnly);
                    result.outcome = ImportOutcome::FileLoadError;
                    break;
                }
            }
            if (result.outcome == ImportOutcome::Imported) {
                step = QStringLiteral("post");
                if (!blnPostImportTableToPunchTable(channel)) {
                    showMessage(
                        QString(), QStringLiteral("Error posting to the Punch Table"),
                        QStringLiteral("There was an error posting to the Punch Table.  Some or all of "
                                       "your imported punches may be missing."),
                        Buttons::OkOnly);
                    result.outcome = ImportOutcome::PostingFailed;
                } else {
                    showMessage(QString(), QStringLiteral("Success"),
                                QStringLiteral("Poll Log") +
                                    (files.size() > 1 ? QStringLiteral("s") : QString()) +
                                    QStringLiteral(" Imported Successfully"),
                                Buttons::OkOnly);
                }
            }
        }
    } catch (const std::exception &e) {
        subReportError(QStringLiteral("frmPollLog"), QStringLiteral("barPollLog"),
                       QStringLiteral("ButtonClick"), step, HxError(errorDescription(e)));
        ++result.errorsReported;
    }
    try {
        emptyImportTable();
    } catch (const std::exception &e) {
        subReportError(QStringLiteral("frmPollLog"), QStringLiteral("barPollLog"),
                       QStringLiteral("ButtonClick"), QStringLiteral("DELETE FROM IMPORT"),
                       HxError(errorDescription(e)));
    }
    return result;
}

} // namespace hx
