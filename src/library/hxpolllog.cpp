// The C surface of the component for host programs.
#include "hxpolllog.h"

#include "component/ImportLock.h"
#include "component/Startup.h"
#include "component/clsQX8PollLog.h"
#include "component/modGlobal.h"
#include "import/ImportCommand.h"
#include "messages/LogFiles.h"
#include "messages/MessageBox.h"
#include "rules/clsTCrules.h"
#include "window/frmPollLog.h"

#include <hx_version.h>

#include <QApplication>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

struct HxPollLog {
    hx::clsQX8PollLog component;
    std::string lastError;
};

namespace {
std::atomic<int> g_alive{0};
const char kProgId[] = "HXPollLog.clsQX8PollLog";
const QString kModule = QStringLiteral("clsQX8PollLog");
// As long as the command line waits for an import already running.
constexpr std::chrono::seconds kImportLockWait{600};

// The last failure of this thread, for calls that have no live object.
thread_local std::string t_lastError;

// Every object ever made. A released object's memory is kept, so that its
// address never names a later object and a stale handle stays refused.
struct Registry {
    std::mutex mutex;
    std::unordered_set<const HxPollLog *> live;
    std::vector<std::unique_ptr<HxPollLog>> made;
    std::optional<std::thread::id> owner; // the thread of the first object
};
Registry &registry() {
    static Registry *r = new Registry; // outlives the host's static destructors
    return *r;
}

void recordError(HxPollLog *object, const QString &why) {
    t_lastError = why.toStdString();
    if (object) object->lastError = t_lastError;
}

// Whether the call comes from the thread of the first object; claim makes
// this thread that one when there is none yet.
bool onOwnerThread(const char *function, bool claim = false) {
    Registry &r = registry();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        if (!r.owner && claim) r.owner = std::this_thread::get_id();
        if (!r.owner || *r.owner == std::this_thread::get_id()) return true;
    }
    recordError(nullptr, QString::fromLatin1(function) +
                             QStringLiteral(": called from a thread other than the one that created the "
                                            "first object"));
    return false;
}

// The object when the call may go on; else nullptr with the reason recorded.
HxPollLog *callable(HxPollLog *object, const char *function) {
    if (!onOwnerThread(function)) return nullptr;
    Registry &r = registry();
    QString why;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        if (!object)
            why = QStringLiteral("the object is NULL");
        else if (!r.live.count(object))
            why = QStringLiteral("not a live object: released already, or not made by hx_create_object");
        else
            return object;
    }
    recordError(nullptr, QString::fromLatin1(function) + QStringLiteral(": ") + why);
    return nullptr;
}

size_t copyOut(const std::string &text, char *buffer, size_t size) {
    if (buffer && size > 0) {
        const size_t n = std::min(size - 1, text.size());
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    return text.size();
}

enum class Property { DatabaseFilePath, ApplicationPath, PollLogPath, ErrorLogPath, Unknown };

Property propertyOf(const char *name) {
    if (!name) return Property::Unknown;
    if (std::strcmp(name, "DatabaseFilePath") == 0) return Property::DatabaseFilePath;
    if (std::strcmp(name, "ApplicationPath") == 0) return Property::ApplicationPath;
    if (std::strcmp(name, "PollLogPath") == 0) return Property::PollLogPath;
    if (std::strcmp(name, "ErrorLogPath") == 0) return Property::ErrorLogPath;
    return Property::Unknown;
}

QString unknownProperty(const char *function, const char *name) {
    return QStringLiteral("%1: unknown property \"%2\" (DatabaseFilePath, ApplicationPath, PollLogPath or "
                          "ErrorLogPath)")
        .arg(QString::fromLatin1(function), QString::fromUtf8(name ? name : "(null)"));
}

// Widgets need a display; without one Qt would end the host process.
bool haveDisplay() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// The application object of a host without Qt; it lives as long as the process.
QApplication *ownApplication() {
    static int argc = 1;
    static char name[] = "hxpolllog";
    static char *argv[] = {name, nullptr};
    static QApplication *app = new QApplication(argc, argv);
    return app;
}

// The boxes of an import the host started: its call was the Yes to the
// confirmation; every other box takes OK where offered, else the safe answer.
// The prompts a failure is explained by are kept.
class HostCallFace : public hx::MessageBoxFace {
public:
    HostCallFace() : m_previous(hx::hasMessageBoxFace() ? &hx::messageBoxFace() : nullptr) {
        hx::setMessageBoxFace(this);
    }
    ~HostCallFace() override { hx::setMessageBoxFace(m_previous); }
    int show(const QString &title, const QString &prompt, int buttons, int) override {
        if (title == QLatin1String("Import Poll Log") && (buttons & 0x0F) == hx::Buttons::YesNo)
            return hx::Answer::Yes;
        if (title == QLatin1String("ERROR") || title == QLatin1String("HXPollLog")) lastFailure = prompt;
        const std::vector<int> offered = hx::answersOf(buttons);
        return std::find(offered.begin(), offered.end(), hx::Answer::Ok) != offered.end()
                   ? hx::Answer::Ok
                   : hx::safeAnswer(buttons);
    }
    QString lastFailure;

private:
    hx::MessageBoxFace *m_previous;
};

// gConn from the session's start to the end of the call, whatever happens.
struct SessionScope {
    int32_t opened = hx::lngStartSession();
    ~SessionScope() {
        if (opened == -1) hx::subEndSession();
    }
};

void fillSummary(const hx::ImportSummary &s, hx_import_summary *out) {
    if (!out) return;
    const size_t room = out->struct_size;
#define HX_FILL(field, value)                                                                                \
    if (offsetof(hx_import_summary, field) + sizeof(out->field) <= room) out->field = value
    HX_FILL(files, s.files);
    HX_FILL(records_read, s.recordsRead);
    HX_FILL(records_skipped_seen, s.recordsSkippedSeen);
    HX_FILL(bad_lines, s.badLines);
    HX_FILL(punches_new, s.punchesNew);
    HX_FILL(duplicates_removed, s.duplicatesRemoved);
    HX_FILL(pairs_opened, s.pairsOpened);
    HX_FILL(pairs_closed, s.pairsClosed);
    HX_FILL(scheduled_pairs, s.scheduledPairs);
    HX_FILL(rows_recalculated, s.rowsRecalculated);
    HX_FILL(employees, s.employees);
    HX_FILL(errors, s.errors);
    HX_FILL(seconds, s.seconds);
#undef HX_FILL
}

int runImport(HxPollLog *o, const std::vector<hx::ImportFile> &files, unsigned flags,
              hx_import_summary *summary) {
    auto fail = [o](int status, const QString &why) {
        recordError(o, QStringLiteral("hx_import: ") + why);
        return status;
    };
    if (hx::gConn)
        return fail(HX_IMPORT_REFUSED, QStringLiteral("the database is open in the poll log window"));

    HostCallFace face;
    SessionScope session;
    if (session.opened != -1) return fail(1, hx::strStartFailure(session.opened, face.lastFailure));
    QString why;
    auto lock = hx::ImportLock::acquire(
        hx::conn(), std::chrono::duration_cast<std::chrono::milliseconds>(kImportLockWait), &why);
    if (!lock) {
        hx::subLogNote(QStringLiteral("frmPollLog"), QStringLiteral("Import not started: ") + why);
        return fail(1, why);
    }
    // The rules as they stand now that no other import can change them.
    hx::gTCRules = std::make_unique<hx::clsTCrules>();
    hx::gTCRules->ReadValues();

    hx::ImportOptions options;
    options.source = hx::ImportSource::Library;
    options.importSeen = (flags & HX_IMPORT_SKIP_SEEN) == 0;
    options.dryRun = (flags & HX_IMPORT_DRY_RUN) != 0;
    std::shared_ptr<hx::clsMessage> channel; // no window: the progress goes nowhere
    const hx::ImportResult r = hx::runImportCommand(files, channel, options);
    fillSummary(r.summary, summary);

    switch (r.outcome) {
    case hx::ImportOutcome::RolledBack:
        return fail(1, QStringLiteral("nothing was imported: ") + r.failure);
    case hx::ImportOutcome::NotConfirmed:
        return fail(1, QStringLiteral("the import was not confirmed"));
    case hx::ImportOutcome::Cancelled:
        return fail(1, QStringLiteral("the import was cancelled; nothing was imported"));
    case hx::ImportOutcome::FileLoadError: {
        const QString name = files[size_t(r.lastFile)].name;
        return fail(1, QStringLiteral("nothing was imported: the poll log %1 could not be read%2")
                           .arg(name, face.lastFailure.isEmpty() ? QString() : ": " + face.lastFailure));
    }
    case hx::ImportOutcome::PostingFailed:
    case hx::ImportOutcome::Imported:
        break;
    }
    if (r.errorsReported > 0 || r.outcome == hx::ImportOutcome::PostingFailed)
        return fail(3, QStringLiteral("the import was %1, but %2 error(s) were reported on the way (see %3)")
                           .arg(options.dryRun ? QStringLiteral("run and rolled back as asked")
                                               : QStringLiteral("saved"))
                           .arg(std::max<long>(r.errorsReported, 1))
                           .arg(hx::strLogFilePath()));
    return 0;
}
} // namespace

extern "C" {

const char *hx_version(void) {
    return HX_VERSION_STRING;
}

HxPollLog *hx_create_object(const char *prog_id) {
    try {
        if (!onOwnerThread("hx_create_object", true)) return nullptr;
        if (!prog_id || std::strcmp(prog_id, kProgId) != 0) {
            recordError(
                nullptr,
                QStringLiteral("hx_create_object: unknown id \"%1\"; the component is \"%2\"")
                    .arg(QString::fromUtf8(prog_id ? prog_id : "(null)"), QString::fromLatin1(kProgId)));
            return nullptr;
        }
        auto object = std::make_unique<HxPollLog>();
        HxPollLog *handle = object.get();
        Registry &r = registry();
        {
            std::lock_guard<std::mutex> lock(r.mutex);
            r.made.push_back(std::move(object));
            r.live.insert(handle);
        }
        ++g_alive;
        return handle;
    } catch (...) {
        recordError(nullptr, QStringLiteral("hx_create_object: out of memory"));
        return nullptr;
    }
}

void hx_release(HxPollLog *object) {
    try {
        if (!object) return; // as free(NULL)
        if (!callable(object, "hx_release")) return;
        Registry &r = registry();
        {
            std::lock_guard<std::mutex> lock(r.mutex);
            r.live.erase(object);
        }
        object->lastError.clear();
        object->lastError.shrink_to_fit();
        --g_alive;
    } catch (...) {
    }
}

int hx_set_property(HxPollLog *object, const char *name, const char *utf8_value) {
    try {
        HxPollLog *o = callable(object, "hx_set_property");
        if (!o) return -1;
        const QString value = QString::fromUtf8(utf8_value ? utf8_value : "");
        hx::clsQX8PollLog &c = o->component;
        switch (propertyOf(name)) {
        case Property::DatabaseFilePath:
            c.setDatabaseFilePath(value);
            return 0;
        case Property::ApplicationPath:
            c.setApplicationPath(value);
            return 0;
        case Property::PollLogPath:
            c.setPollLogPath(value);
            return 0;
        case Property::ErrorLogPath:
            c.setErrorLogPath(value);
            return 0;
        case Property::Unknown:
            recordError(o, unknownProperty("hx_set_property", name));
            return -1;
        }
    } catch (...) {
        recordError(nullptr, QStringLiteral("hx_set_property failed"));
    }
    return -1;
}

size_t hx_get_property(HxPollLog *object, const char *name, char *buffer, size_t size) {
    try {
        HxPollLog *o = callable(object, "hx_get_property");
        if (!o) return size_t(-1);
        const hx::clsQX8PollLog &c = o->component;
        QString value;
        switch (propertyOf(name)) {
        case Property::DatabaseFilePath:
            value = c.DatabaseFilePath();
            break;
        case Property::ApplicationPath:
            value = c.ApplicationPath();
            break;
        case Property::PollLogPath:
            value = c.PollLogPath();
            break;
        case Property::ErrorLogPath:
            value = c.ErrorLogPath();
            break;
        case Property::Unknown:
            recordError(o, unknownProperty("hx_get_property", name));
            return size_t(-1);
        }
        return copyOut(value.toStdString(), buffer, size);
    } catch (...) {
        recordError(nullptr, QStringLiteral("hx_get_property failed"));
        return size_t(-1);
    }
}

int hx_show_poll_log(HxPollLog *object) {
    HxPollLog *o = nullptr;
    try {
        o = callable(object, "hx_show_poll_log");
        if (!o) return 0;
        if (!QCoreApplication::instance()) {
            if (!haveDisplay()) {
                const QString why = QStringLiteral("no display (DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM) "
                                                   "to show the window on");
                hx::subLogNote(kModule, QStringLiteral("ShowPollLog: ") + why + QStringLiteral("."));
                recordError(o, QStringLiteral("hx_show_poll_log: ") + why);
                return 0;
            }
            ownApplication();
        }
        QString why;
        if (hx::ShowPollLog(&why)) return 1;
        recordError(o, QStringLiteral("hx_show_poll_log: ") + why);
    } catch (...) {
        recordError(o, QStringLiteral("hx_show_poll_log: the window failed"));
    }
    return 0;
}

int hx_can_unload_now(void) {
    return g_alive.load() == 0 ? 1 : 0;
}

size_t hx_last_error(HxPollLog *object, char *buffer, size_t size) {
    try {
        const std::string *text = &t_lastError;
        if (object) {
            Registry &r = registry();
            std::lock_guard<std::mutex> lock(r.mutex);
            if (r.live.count(object) && r.owner == std::this_thread::get_id()) text = &object->lastError;
        }
        return copyOut(*text, buffer, size);
    } catch (...) {
        return 0;
    }
}

int hx_import(HxPollLog *object, const char *const *names, size_t count, unsigned flags,
              hx_import_summary *summary) {
    HxPollLog *o = nullptr;
    try {
        o = callable(object, "hx_import");
        if (!o) return HX_IMPORT_REFUSED;
        auto bad = [o](const QString &why) {
            recordError(o, QStringLiteral("hx_import: ") + why);
            return HX_IMPORT_BAD_CALL;
        };
        if (!names || count == 0) return bad(QStringLiteral("no poll log named"));
        if ((flags & ~(HX_IMPORT_SKIP_SEEN | HX_IMPORT_DRY_RUN)) != 0)
            return bad(QStringLiteral("unknown flags 0x%1").arg(flags, 0, 16));
        if (summary && summary->struct_size < sizeof(size_t))
            return bad(QStringLiteral("summary->struct_size is not set (sizeof(hx_import_summary))"));
        std::vector<hx::ImportFile> files;
        for (size_t i = 0; i < count; ++i) {
            if (!names[i] || !*names[i]) return bad(QStringLiteral("name %1 is empty").arg(i));
            const QString name = QString::fromUtf8(names[i]);
            // A bare name is a file of the poll log folder; one with a folder
            // in it is the path it is.
            const QString path =
                name.contains(QLatin1Char('/')) ? name : hx::strJoinPath(hx::strGetPollLogPath(), name);
            files.push_back({name, path});
        }
        return runImport(o, files, flags, summary);
    } catch (const std::exception &e) {
        recordError(o, QStringLiteral("hx_import: ") + hx::errorDescription(e));
    } catch (...) {
        recordError(o, QStringLiteral("hx_import failed"));
    }
    return 1;
}

} // extern "C"
