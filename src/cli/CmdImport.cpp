// import: the poll log window's Import command, run from the command line.
#include "cli/Commands.h"
#include "cli/TerminalFace.h"
#include "cli/TerminalProgress.h"
#include "component/CrashHook.h"
#include "component/ImportLock.h"
#include "component/modGlobal.h"
#include "import/ImportCommand.h"
#include "messages/LogFiles.h"
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

int runImport(const std::vector<ImportFile> &files, const ImportOptions &options) {
    auto channel = std::make_shared<clsMessage>();
    std::optional<TerminalProgress> progress;
    if (isatty(STDERR_FILENO) == 1) {
        progress.emplace();
        progress->attach(*channel);
    }
    const ImportResult r = runImportCommand(files, channel, options);
    channel.reset();
    progress.reset();

    if (r.outcome == ImportOutcome::RolledBack) {
        printError(QStringLiteral("nothing was imported: ") + r.failure);
        return 1;
    }
    if (!r.saved()) return 1;
    if (r.errorsReported > 0 || r.outcome == ImportOutcome::PostingFailed) {
        printError(QStringLiteral("the import was saved, but %1 error(s) were reported on the way (see %2).")
                       .arg(std::max<long>(r.errorsReported, 1))
                       .arg(strLogFilePath()));
        return 3;
    }
    return 0;
}

int usage(const QString &why) {
    if (!why.isEmpty()) printError(why);
    printError(QStringLiteral(
        "usage: hxpolllog [global options] import [--yes|--no] [--skip-seen] [--wait SECONDS] NAME..."));
    return 2;
}
} // namespace

int cmdImport(const QStringList &args) {
    PresetAnswer preset = PresetAnswer::None;
    std::chrono::seconds wait = kDefaultWait;
    std::vector<ImportFile> files;
    ImportOptions importOptions;
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
        } else if (options && a == QLatin1String("--skip-seen")) {
            importOptions.importSeen = false;
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

    const int status = runImport(files, importOptions);

    lock.reset();
    closeSession();
    if (crashHookArmed()) printError(QStringLiteral("crash points passed: %1").arg(crashPointsPassed()));
    return status;
}

} // namespace hx::cli
