// import: the poll log window's Import command, run from the command line.
#include "cli/Commands.h"
#include "cli/PollLogListing.h"
#include "cli/TerminalFace.h"
#include "cli/TerminalProgress.h"
#include "component/CrashHook.h"
#include "component/ImportLock.h"
#include "component/modGlobal.h"
#include "import/ImportCommand.h"
#include "messages/LogFiles.h"
#include "rules/clsTCrules.h"

#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cstdio>
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

QString plural(long n, const char *one, const char *many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

int runImport(const std::vector<ImportFile> &files, const ImportOptions &options) {
    auto channel = std::make_shared<clsMessage>();
    // On a terminal the live bar; else (cron, a journal) no redraws, only the
    // summary line at the end.
    const bool terminal = isatty(STDERR_FILENO) == 1;
    std::optional<TerminalProgress> progress;
    if (terminal && verbosity() != Verbosity::Quiet) {
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
    if (r.outcome == ImportOutcome::NotConfirmed) {
        printError(QStringLiteral("nothing was imported: the import was not confirmed."));
        return 1;
    }
    if (r.outcome == ImportOutcome::FileLoadError) {
        printError(QStringLiteral("nothing was imported: %1 could not be read.")
                       .arg(files[size_t(std::max(r.lastFile, 0))].name));
        return 1;
    }
    const long errors = std::max<long>(r.errorsReported, r.outcome == ImportOutcome::PostingFailed ? 1 : 0);
    if (!terminal || verbosity() == Verbosity::Quiet)
        std::fputs(QStringLiteral("hxpolllog: imported %1 (%2): %3; saved\n")
                       .arg(plural(long(files.size()), "file", "files"),
                            options.importSeen ? QStringLiteral("seen records included")
                                               : QStringLiteral("seen records skipped"),
                            plural(errors, "error", "errors"))
                       .toLocal8Bit()
                       .constData(),
                   stderr);
    if (errors > 0) {
        printError(QStringLiteral("the import was saved, but %1 error(s) were reported on the way (see %2).")
                       .arg(errors)
                       .arg(strLogFilePath()));
        return 3;
    }
    return 0;
}

// The names of import --all: every file of the list, in its order.
std::optional<QStringList> listedNames(int *status) {
    PollLogList list;
    if (buildList(list) != Built::Whole) {
        *status = 1;
        return std::nullopt;
    }
    QStringList names;
    for (const PollLogRow &r : list.allRows())
        names << r.fileName;
    return names;
}
} // namespace

int cmdImport(const QStringList &args) {
    const QString name = QStringLiteral("import");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Imports poll log files and posts their punches, as one unit of work: everything or nothing is "
        "saved. A bare NAME is a file of the poll log folder, a NAME with a / a path. Exit status: 0 saved; "
        "3 saved, but errors were reported on the way; 1 nothing saved; 2 a usage error."));
    const QCommandLineOption yes(QStringLiteral("yes"), QStringLiteral("Answer Yes to the confirmation."));
    const QCommandLineOption no(QStringLiteral("no"), QStringLiteral("Answer No to the confirmation."));
    const QCommandLineOption all(QStringLiteral("all"),
                                 QStringLiteral("Every file of the poll log list, in its order, after its "
                                                "pruning; skips the records an earlier import has seen."));
    const QCommandLineOption skipSeen(QStringLiteral("skip-seen"),
                                      QStringLiteral("Leave out the records an earlier import has seen (the "
                                                     "default of --all)."));
    const QCommandLineOption includeSeen(QStringLiteral("include-seen"),
                                         QStringLiteral("Import the records an earlier import has seen again "
                                                        "(the default with NAMEs, as the window does)."));
    const QCommandLineOption waitOption(
        QStringLiteral("wait"),
        QStringLiteral("Wait up to SECONDS for an import running on the same database (default 600)."),
        QStringLiteral("seconds"));
    parser.addOptions({yes, no, all, skipSeen, includeSeen, waitOption});
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("A poll log file."),
                                 QStringLiteral("NAME...|--all"));
    if (auto done =
            parseCommandLine(parser, name,
                             QStringLiteral("[--yes|--no] [--skip-seen|--include-seen] [--wait SECONDS] "
                                            "NAME...|--all"),
                             args))
        return *done;

    if (parser.isSet(yes) && parser.isSet(no))
        return usageError(name, QStringLiteral("--yes and --no exclude each other."));
    if (parser.isSet(skipSeen) && parser.isSet(includeSeen))
        return usageError(name, QStringLiteral("--skip-seen and --include-seen exclude each other."));
    std::chrono::seconds wait = kDefaultWait;
    if (parser.isSet(waitOption)) {
        bool ok = false;
        const int s = parser.value(waitOption).toInt(&ok);
        if (!ok || s < 0)
            return usageError(name, QStringLiteral("--wait takes a whole number of seconds, not \"%1\".")
                                        .arg(parser.value(waitOption)));
        wait = std::chrono::seconds(s);
    }
    QStringList names = parser.positionalArguments();
    if (parser.isSet(all) && !names.isEmpty())
        return usageError(name, QStringLiteral("import --all takes no poll log names."));
    if (!parser.isSet(all) && names.isEmpty()) return usageError(name, QStringLiteral("no poll log named."));
    if (names.contains(QString())) return usageError(name, QStringLiteral("an empty poll log name."));

    ImportOptions importOptions;
    importOptions.importSeen = parser.isSet(all) ? parser.isSet(includeSeen) : !parser.isSet(skipSeen);
    installTerminalFace().setPreset(parser.isSet(yes)  ? PresetAnswer::Yes
                                    : parser.isSet(no) ? PresetAnswer::No
                                                       : PresetAnswer::None);
    if (parser.isSet(all)) {
        int status = 0;
        const std::optional<QStringList> listed = listedNames(&status);
        if (!listed) return status;
        if (listed->isEmpty()) {
            printNote(QStringLiteral("no poll logs to import."));
            return 0;
        }
        names = *listed;
    }
    std::vector<ImportFile> files;
    for (const QString &n : names)
        // A bare name is a file of the poll log folder; a name with a folder
        // in it is taken as the path it is.
        files.push_back({n, n.contains(QLatin1Char('/')) ? n : strJoinPath(strGetPollLogPath(), n)});

    if (!openSession()) return 1;

    QString why;
    auto lock = ImportLock::acquire(
        conn(), std::chrono::duration_cast<std::chrono::milliseconds>(wait), &why,
        [&](const QString &holder) {
            printNote(QStringLiteral("another import is running on this database (%1); waiting up to %2 s "
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
    if (crashHookArmed()) printNote(QStringLiteral("crash points passed: %1").arg(crashPointsPassed()));
    return status;
}

} // namespace hx::cli
