// import: the poll log window's Import command, run from the command line.
#include "cli/Commands.h"
#include "cli/TerminalFace.h"
#include "cli/TerminalProgress.h"
#include "component/ImportLock.h"
#include "component/modGlobal.h"
#include "import/PollFileReader.h"
#include "messages/LogFiles.h"
#include "posting/PostingDriver.h"
#include "rules/clsTCrules.h"

#include <QFileInfo>
#include <chrono>
#include <memory>
#include <optional>
#include <unistd.h>

namespace hx::cli {
namespace {
const QString kModule = QStringLiteral("frmPollLog");
const QString kKind = QStringLiteral("barPollLog");
const QString kProcedure = QStringLiteral("ButtonClick");

// How long an import waits for one that is already running on the same
// database before it gives up (--wait changes it).
constexpr std::chrono::seconds kDefaultWait{600};

int showMessage(const QString &detail, const QString &title, const QString &prompt, long buttons) {
    return intShowMessage(kModule, kKind, kProcedure, detail, title, prompt, buttons, 0);
}

void reportUnexpected(const QString &detail, const QString &description) {
    subReportError(kModule, kKind, kProcedure, detail, HxError(description));
}

void emptyImportTable() {
    conn().execute(QStringLiteral("DELETE FROM \"IMPORT\""));
}

struct ImportFile {
    QString name; // as given: the detail of the messages
    QString path;
};

// Steps 3 to 7 of the Import command; true exactly when the success message
// was shown. The closing step is the caller's.
bool importFiles(const std::vector<ImportFile> &files, std::shared_ptr<clsMessage> &channel) {
    QString step = QStringLiteral("DELETE FROM IMPORT");
    try {
        emptyImportTable();

        step = QStringLiteral("confirm");
        const QString what = files.size() == 1
                                 ? QStringLiteral("this poll log?")
                                 : QString::number(files.size()) + QStringLiteral(" poll logs?");
        const int answer = showMessage(
            QString(), QStringLiteral("Import Poll Log"),
            QStringLiteral("Are you sure you want to import ") + what + QStringLiteral("\r\n") +
                QStringLiteral("WARNING!  There is a high risk of duplicating data if this poll log "
                               "information is already in the database!"),
            Buttons::YesNo);
        if (answer != Answer::Yes) return false;

        for (const ImportFile &f : files) {
            step = f.name;
            if (!blnImportPollFile(f.path, channel, true)) {
                showMessage(f.name, QStringLiteral("Error Loading File"), QStringLiteral("File Load Error"),
                            Buttons::OkOnly);
                return false;
            }
        }

        step = QStringLiteral("post");
        if (!blnPostImportTableToPunchTable(channel)) {
            showMessage(QString(), QStringLiteral("Error posting to the Punch Table"),
                        QStringLiteral("There was an error posting to the Punch Table.  Some or all of your "
                                       "imported punches may be missing."),
                        Buttons::OkOnly);
            return false;
        }

        showMessage(QString(), QStringLiteral("Success"),
                    QStringLiteral("Poll Log") + (files.size() > 1 ? QStringLiteral("s") : QString()) +
                        QStringLiteral(" Imported Successfully"),
                    Buttons::OkOnly);
        return true;
    } catch (const std::exception &e) {
        // Only the database itself failing gets here: the import, posting and
        // hours code reports its own failures.
        reportUnexpected(step, errorDescription(e));
    }
    return false;
}

bool runImport(const std::vector<ImportFile> &files) {
    auto channel = std::make_shared<clsMessage>();
    std::optional<TerminalProgress> progress;
    if (isatty(STDERR_FILENO) == 1) {
        progress.emplace();
        progress->attach(*channel);
    }

    const bool ok = importFiles(files, channel);

    // Closing, whatever happened above.
    try {
        emptyImportTable();
    } catch (const HxError &e) {
        reportUnexpected(QStringLiteral("DELETE FROM IMPORT"), e.description());
    }
    channel.reset();
    return ok;
}

int usage(const QString &why) {
    if (!why.isEmpty()) printError(why);
    printError(
        QStringLiteral("usage: hxpolllog [global options] import [--yes|--no] [--wait SECONDS] NAME..."));
    return 2;
}
} // namespace

int cmdImport(const QStringList &args) {
    PresetAnswer preset = PresetAnswer::None;
    std::chrono::seconds wait = kDefaultWait;
    std::vector<ImportFile> files;
    bool options = true;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (options && a == QLatin1String("--")) {
            options = false;
        } else if (options && (a == QLatin1String("--yes") || a == QLatin1String("--no"))) {
            const PresetAnswer p = a == QLatin1String("--yes") ? PresetAnswer::Yes : PresetAnswer::No;
            if (preset != PresetAnswer::None && preset != p)
                return usage(QStringLiteral("--yes and --no exclude each other."));
            preset = p;
        } else if (options && (a == QLatin1String("--wait") || a.startsWith(QLatin1String("--wait=")))) {
            QString value;
            if (a == QLatin1String("--wait")) {
                if (i + 1 >= args.size()) return usage(QStringLiteral("--wait needs a number of seconds."));
                value = args[++i];
            } else {
                value = a.mid(7);
            }
            bool ok = false;
            const int s = value.toInt(&ok);
            if (!ok || s < 0)
                return usage(
                    QStringLiteral("--wait takes a whole number of seconds, not \"%1\".").arg(value));
            wait = std::chrono::seconds(s);
        } else if (options && a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            return usage(QStringLiteral("unknown option \"%1\".").arg(a));
        } else if (a.isEmpty()) {
            return usage(QStringLiteral("an empty poll log name."));
        } else {
            // A bare name is a file of the poll log folder; a name with a
            // folder in it is taken as the path it is.
            const QString path = a.contains(QLatin1Char('/')) ? a : strJoinPath(strGetPollLogPath(), a);
            files.push_back({a, path});
        }
    }
    if (files.empty()) return usage(QStringLiteral("no poll log named."));

    installTerminalFace().setPreset(preset);
    if (!openSession()) return 1;

    QString why;
    auto lock = ImportLock::acquire(
        conn(), std::chrono::duration_cast<std::chrono::milliseconds>(wait), &why,
        [&](const QString &holder) {
            printError(QStringLiteral("another import is running on this database (%1); waiting up to %2 s "
                                      "for it to finish...")
                           .arg(holder)
                           .arg(wait.count()));
        });
    if (!lock) {
        printError(why);
        subLogNote(kModule, QStringLiteral("Import not started: ") + why);
        closeSession();
        return 1;
    }
    // The rules as they stand now that no other import can change them (an
    // import records its last poll date in TCRULES).
    gTCRules = std::make_unique<clsTCrules>();
    gTCRules->ReadValues();

    const bool ok = runImport(files);

    lock.reset();
    closeSession();
    return ok ? 0 : 1;
}

} // namespace hx::cli
