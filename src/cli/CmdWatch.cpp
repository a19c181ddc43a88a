// watch: imports poll log files as they arrive in the poll log folder.
//
// A file is taken once its size and time stamps have stayed the same for the
// settle time, so a file a poll is still writing is never read half. Each
// file is one import of its own, oldest poll first: a failing file then holds
// back no other, and punches are posted in the order the clocks took them.
#include "cli/Commands.h"
#include "cli/TerminalFace.h"
#include "cli/TerminalProgress.h"
#include "component/ImportLock.h"
#include "component/Startup.h"
#include "component/modGlobal.h"
#include "import/ImportCommand.h"
#include "import/PollLogFormat.h"
#include "import/PollLogList.h"
#include "messages/LogFiles.h"
#include "rules/clsTCrules.h"

#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace hx::cli {
namespace {
using std::chrono::milliseconds;

const QString kModule = QStringLiteral("watch");
constexpr double kDefaultSettleSeconds = 5;
// inotify misses changes on network mounts and never reports a file being
// rewritten in place; a rescan now and then catches both.
constexpr milliseconds kRescan{10000};
constexpr milliseconds kFolderRetry{2000};
// Events come in bursts while a file is written; one scan answers a burst.
constexpr milliseconds kDebounce{100};
// Longer would hold up a stop request; the file is simply tried again later.
constexpr milliseconds kLockWait{2000};
constexpr milliseconds kFirstBackoff{5000};
constexpr milliseconds kLongestBackoff{60000};

const char *const kHelp = "usage: hxpolllog [global options] watch [--settle SECONDS]\n"
                          "\n"
                          "Watches the poll log folder and imports every poll log file once it has\n"
                          "arrived: when its size and time stamps have not changed for the settle time\n"
                          "(--settle, default 5 seconds; fractions allowed). Each file is one import of\n"
                          "its own, oldest poll first, as \"import --yes --skip-seen NAME\" would run it.\n"
                          "Files already in the folder at start are imported too: records an earlier\n"
                          "import has seen are skipped, so a file imported before adds nothing twice.\n"
                          "A file is imported again only when it changes.\n"
                          "\n"
                          "One line per import on standard error: the file, its records, the errors\n"
                          "reported and whether the import was saved.\n"
                          "\n"
                          "The poll log folder must exist at start. A folder that disappears later is\n"
                          "looked for every 2 seconds and watched again when it is back.\n"
                          "\n"
                          "SIGTERM or SIGINT lets a running import finish (saved whole or not at all),\n"
                          "then stops the watch.\n"
                          "\n"
                          "Exit status: 0 stopped by SIGTERM or SIGINT; 1 the database cannot be opened\n"
                          "or the poll log folder is missing at start; 2 a usage error.\n";

// The signal handler only raises the flag and wakes the event loop.
volatile std::sig_atomic_t g_stopRequested = 0;
int g_wakeWriteFd = -1;

extern "C" void onStopSignal(int) {
    const int saved = errno;
    g_stopRequested = 1;
    if (g_wakeWriteFd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(g_wakeWriteFd, &byte, 1);
    }
    errno = saved;
}

// What tells one version of a file from another.
struct Stamp {
    qint64 size = 0;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;
    quint64 inode = 0;
    bool operator==(const Stamp &) const = default;
};

std::optional<Stamp> stampOf(const QString &path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return std::nullopt;
    return Stamp{qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                 qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec, quint64(st.st_ino)};
}

// The routine boxes of an import (the question --yes answers and the
// success) would bury the summary lines; every other box shows as import
// shows it.
class WatchFace : public MessageBoxFace {
public:
    explicit WatchFace(MessageBoxFace &terminal) : m_terminal(terminal) {}
    int show(const QString &title, const QString &prompt, int buttons, int helpId) override {
        if (title == QLatin1String("Import Poll Log") && (buttons & 0xF) == Buttons::YesNo)
            return Answer::Yes;
        if (title == QLatin1String("Success") && (buttons & 0xF) == Buttons::OkOnly) return Answer::Ok;
        return m_terminal.show(title, prompt, buttons, helpId);
    }
    void beep() override { m_terminal.beep(); }

private:
    MessageBoxFace &m_terminal;
};

class FolderWatch {
public:
    FolderWatch(QString folder, milliseconds settle) : m_folder(std::move(folder)), m_settle(settle) {
        m_next.setSingleShot(true);
        QObject::connect(&m_next, &QTimer::timeout, [this] { scan(); });
        QObject::connect(&m_rescan, &QTimer::timeout, [this] { scheduleScan(milliseconds(0)); });
        QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged,
                         [this] { scheduleScan(kDebounce); });
    }

    // Runs until a stop signal has arrived and no import is running.
    void run(int wakeFd) {
        QSocketNotifier wake(wakeFd, QSocketNotifier::Read);
        QObject::connect(&wake, &QSocketNotifier::activated, [this, wakeFd] {
            char buffer[64];
            while (::read(wakeFd, buffer, sizeof buffer) > 0) {
            }
            if (!m_importing) m_loop.quit();
        });
        m_rescan.start(kRescan);
        scheduleScan(milliseconds(0));
        if (!g_stopRequested) m_loop.exec();
    }

private:
    struct Pending {
        Stamp stamp;
        QDeadlineTimer settled; // runs from the last time the stamp was seen to change
        double pollTime = 0;
    };

    void scheduleScan(milliseconds delay) {
        if (m_next.isActive() && m_next.remainingTimeAsDuration() <= delay) return;
        m_next.start(delay);
    }

    void note(const QString &text) {
        printError(text);
        subLogNote(kModule, text);
    }

    // Tells once when the folder goes and when it comes back, and keeps the
    // inotify watch on the folder that is there now (a folder removed and made
    // again is a new one to inotify).
    bool folderPresent() {
        const std::optional<Stamp> folder = stampOf(m_folder);
        if (!folder || !QFileInfo(m_folder).isDir()) {
            if (!m_folderMissing)
                note(QStringLiteral("the poll log folder %1 is gone; looking for it every %2 s.")
                         .arg(m_folder)
                         .arg(kFolderRetry.count() / 1000));
            m_folderMissing = true;
            if (!m_watcher.directories().isEmpty()) m_watcher.removePaths(m_watcher.directories());
            return false;
        }
        if (m_folderMissing)
            note(QStringLiteral("the poll log folder %1 is back; watching it again.").arg(m_folder));
        m_folderMissing = false;
        if (folder->inode != m_watchedInode || !m_watcher.directories().contains(m_folder)) {
            if (!m_watcher.directories().isEmpty()) m_watcher.removePaths(m_watcher.directories());
            // Without the watch the rescan still finds every file, only later.
            m_watcher.addPath(m_folder);
            m_watchedInode = folder->inode;
        }
        return true;
    }

    // A name the poll log list can read; any other is told once and left alone.
    std::optional<double> pollTimeOf(const QString &name) {
        try {
            const double t = dtmPollTimeOfName(name);
            pollClockNumber(name);
            return t;
        } catch (const std::exception &) {
            if (m_unreadable.insert(name).second)
                note(QStringLiteral("%1 is not a poll log name that can be read; it is not imported.")
                         .arg(name));
            return std::nullopt;
        }
    }

    void scan() {
        if (m_importing) return;
        if (g_stopRequested) {
            m_loop.quit();
            return;
        }
        if (!folderPresent()) {
            scheduleScan(kFolderRetry);
            return;
        }
        const QStringList names = QDir(m_folder).entryList(
            {QStringLiteral("*.}??")}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
        std::map<QString, Pending> pending;
        for (const QString &name : names) {
            const std::optional<Stamp> stamp = stampOf(strJoinPath(m_folder, name));
            if (!stamp) continue;
            if (auto done = m_done.find(name); done != m_done.end() && done->second == *stamp) continue;
            if (auto seen = m_pending.find(name); seen != m_pending.end() && seen->second.stamp == *stamp) {
                pending.emplace(name, seen->second);
                continue;
            }
            const std::optional<double> pollTime = pollTimeOf(name);
            if (!pollTime) continue;
            pending.emplace(name, Pending{*stamp, QDeadlineTimer(m_settle), *pollTime});
        }
        m_pending = std::move(pending);
        if (m_pending.empty()) return;

        // The oldest poll goes first, so a later poll waits for an earlier
        // one still being written.
        const auto first =
            std::min_element(m_pending.begin(), m_pending.end(), [](const auto &a, const auto &b) {
                return a.second.pollTime != b.second.pollTime ? a.second.pollTime < b.second.pollTime
                                                              : a.first < b.first;
            });
        const qint64 wait = std::max(first->second.settled.remainingTime(), m_retry.remainingTime());
        if (wait > 0) {
            scheduleScan(milliseconds(wait));
            return;
        }
        importFile(first->first, first->second.stamp);
        // The next file in a turn of its own, after whatever came in meanwhile.
        scheduleScan(milliseconds(0));
    }

    void importFile(const QString &name, const Stamp &stamp) {
        m_importing = true;
        const std::optional<QString> failure = runOne(name);
        m_importing = false;
        if (failure) {
            // Not about the file: it stays pending and is tried again later.
            if (*failure != m_trouble)
                note(*failure + QStringLiteral(" Trying again in %1 s.").arg(nextBackoff().count() / 1000));
            else
                nextBackoff();
            m_trouble = *failure;
            return;
        }
        m_trouble.clear();
        m_backoff = milliseconds(0);
        m_retry = QDeadlineTimer();
        m_done[name] = stamp;
        m_pending.erase(name);
    }

    milliseconds nextBackoff() {
        m_backoff = m_backoff.count() == 0 ? kFirstBackoff : std::min(m_backoff * 2, kLongestBackoff);
        m_retry = QDeadlineTimer(m_backoff);
        return m_backoff;
    }

    // One import of one file. The failure when the import could not be done
    // for a reason other than the file (database, lock); nullopt when the file
    // has had its import, saved or not.
    std::optional<QString> runOne(const QString &name) {
        // A database already known to be away is tried again without a box
        // each time; the failure was told when it began.
        MessageBoxFace &face = messageBoxFace();
        SilentMessageBox silent;
        if (!m_trouble.isEmpty()) setMessageBoxFace(&silent);
        const int32_t opened = lngStartSession();
        setMessageBoxFace(&face);
        if (opened != -1) {
            closeSession();
            return (opened == 100 ? QStringLiteral("database not found: %1.")
                                  : QStringLiteral("the database %1 could not be opened."))
                .arg(maskPassword(strDatabaseFullPath(strGetDatabaseFilePath())));
        }
        QString why;
        auto lock = ImportLock::acquire(conn(), kLockWait, &why);
        if (!lock) {
            closeSession();
            return why;
        }
        // The rules as they stand now that no other import can change them.
        gTCRules = std::make_unique<clsTCrules>();
        gTCRules->ReadValues();

        auto channel = std::make_shared<clsMessage>();
        std::optional<TerminalProgress> progress;
        if (isatty(STDERR_FILENO) == 1) {
            progress.emplace();
            progress->attach(*channel);
        }
        ImportOptions options;
        options.importSeen = false;
        options.source = ImportSource::Watcher;
        const ImportResult r = runImportCommand({{name, strJoinPath(m_folder, name)}}, channel, options);
        channel.reset();
        progress.reset();
        lock.reset();
        closeSession();

        QString outcome;
        switch (r.outcome) {
        case ImportOutcome::Imported:
            outcome = QStringLiteral("saved");
            break;
        case ImportOutcome::PostingFailed:
            outcome = QStringLiteral("saved, posting failed");
            break;
        case ImportOutcome::FileLoadError:
            outcome = QStringLiteral("not saved: File Load Error");
            break;
        case ImportOutcome::NotConfirmed:
            outcome = QStringLiteral("not saved: not confirmed");
            break;
        case ImportOutcome::Cancelled:
            outcome = QStringLiteral("not saved: cancelled");
            break;
        case ImportOutcome::RolledBack:
            outcome = QStringLiteral("not saved: ") + r.failure;
            break;
        }
        note(QStringLiteral("%1: 1 file, %2 record(s), %3 error(s), %4")
                 .arg(name)
                 .arg(r.saved() ? r.importRows : 0)
                 .arg(r.errorsReported)
                 .arg(outcome));
        // A rollback is the database's failure, not the file's.
        if (r.outcome == ImportOutcome::RolledBack)
            return QStringLiteral("the import of %1 was not saved.").arg(name);
        return std::nullopt;
    }

    const QString m_folder;
    const milliseconds m_settle;
    QEventLoop m_loop;
    QFileSystemWatcher m_watcher;
    QTimer m_next, m_rescan;
    std::map<QString, Pending> m_pending;
    std::map<QString, Stamp>
        m_done; // kept for the process's life: a folder that comes back is not re-imported
    std::set<QString> m_unreadable;
    quint64 m_watchedInode = 0;
    bool m_folderMissing = false;
    bool m_importing = false;
    milliseconds m_backoff{0};
    QDeadlineTimer m_retry; // no import before it expires
    QString m_trouble;      // the failure last told, so that a lasting one is told once
};

int usage(const QString &why) {
    if (!why.isEmpty()) printError(why);
    printError(QStringLiteral("usage: hxpolllog [global options] watch [--settle SECONDS]"));
    return 2;
}

// Stop signals for the life of the watch; the old handlers come back after.
class StopSignals {
public:
    StopSignals() {
        if (::pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0) m_fds[0] = m_fds[1] = -1;
        g_stopRequested = 0;
        g_wakeWriteFd = m_fds[1];
        struct sigaction sa {};
        sa.sa_handler = onStopSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &sa, &m_oldTerm);
        sigaction(SIGINT, &sa, &m_oldInt);
    }
    ~StopSignals() {
        sigaction(SIGTERM, &m_oldTerm, nullptr);
        sigaction(SIGINT, &m_oldInt, nullptr);
        g_wakeWriteFd = -1;
        for (int fd : m_fds)
            if (fd >= 0) ::close(fd);
    }
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;
    bool ok() const { return m_fds[0] >= 0; }
    int wakeFd() const { return m_fds[0]; }

private:
    int m_fds[2] = {-1, -1};
    struct sigaction m_oldTerm {
    }, m_oldInt{};
};
} // namespace

int cmdWatch(const QStringList &args) {
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("This help."));
    const QCommandLineOption settleOption(QStringLiteral("settle"),
                                          QStringLiteral("Seconds a file must stay unchanged."),
                                          QStringLiteral("seconds"));
    parser.addOptions({help, settleOption});
    if (!parser.parse(QStringList{QStringLiteral("watch")} + args)) return usage(parser.errorText());
    if (parser.isSet(help)) {
        QTextStream(stdout) << kHelp;
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("watch takes no poll log names; it imports every file that arrives."));
    double settleSeconds = kDefaultSettleSeconds;
    if (parser.isSet(settleOption)) {
        bool ok = false;
        settleSeconds = parser.value(settleOption).toDouble(&ok);
        if (!ok || !(settleSeconds > 0) || settleSeconds > 86400)
            return usage(QStringLiteral("--settle takes a number of seconds above 0, not \"%1\".")
                             .arg(parser.value(settleOption)));
    }

    const QString folder = strGetPollLogPath();
    if (!QFileInfo(folder).isDir()) {
        printError(QStringLiteral("the poll log folder %1 does not exist.").arg(folder));
        return 1;
    }
    // The database must open now; a later failure is waited out.
    if (!openSession()) return 1;
    closeSession();

    StopSignals stopSignals;
    if (!stopSignals.ok()) {
        printError(QStringLiteral("cannot set up the stop signals: %1")
                       .arg(QString::fromLocal8Bit(strerror(errno))));
        return 1;
    }
    TerminalMessageBox &terminal = installTerminalFace();
    terminal.setPreset(PresetAnswer::Yes);
    WatchFace face(terminal);
    setMessageBoxFace(&face);

    const QString started =
        QStringLiteral("watching %1 for poll logs (settle %2 s).").arg(folder).arg(settleSeconds);
    printError(started);
    subLogNote(kModule, started);
    {
        FolderWatch watch(folder, milliseconds(qint64(settleSeconds * 1000)));
        watch.run(stopSignals.wakeFd());
    }
    setMessageBoxFace(&terminal);
    const QString stopped = QStringLiteral("watch stopped.");
    printError(stopped);
    subLogNote(kModule, stopped);
    return 0;
}

} // namespace hx::cli
