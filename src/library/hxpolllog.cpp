// The C surface of the component for host programs.
#include "hxpolllog.h"

#include "component/clsQX8PollLog.h"
#include "messages/LogFiles.h"
#include "window/frmPollLog.h"

#include <QApplication>
#include <atomic>
#include <cstring>

struct HxPollLog {
    hx::clsQX8PollLog component;
};

namespace {
std::atomic<int> g_alive{0};
const char kProgId[] = "HXPollLog.clsQX8PollLog";

enum class Property { DatabaseFilePath, ApplicationPath, PollLogPath, ErrorLogPath, Unknown };

Property propertyOf(const char *name) {
    if (!name) return Property::Unknown;
    if (std::strcmp(name, "DatabaseFilePath") == 0) return Property::DatabaseFilePath;
    if (std::strcmp(name, "ApplicationPath") == 0) return Property::ApplicationPath;
    if (std::strcmp(name, "PollLogPath") == 0) return Property::PollLogPath;
    if (std::strcmp(name, "ErrorLogPath") == 0) return Property::ErrorLogPath;
    return Property::Unknown;
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
} // namespace

extern "C" {

HxPollLog *hx_create_object(const char *prog_id) {
    try {
        if (!prog_id || std::strcmp(prog_id, kProgId) != 0) return nullptr;
        auto *object = new HxPollLog;
        ++g_alive;
        return object;
    } catch (...) {
        return nullptr;
    }
}

void hx_release(HxPollLog *object) {
    if (!object) return;
    delete object;
    --g_alive;
}

int hx_set_property(HxPollLog *object, const char *name, const char *utf8_value) {
    try {
        if (!object) return -1;
        const QString value = QString::fromUtf8(utf8_value ? utf8_value : "");
        hx::clsQX8PollLog &c = object->component;
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
            break;
        }
    } catch (...) {
    }
    return -1;
}

size_t hx_get_property(HxPollLog *object, const char *name, char *buffer, size_t size) {
    try {
        if (!object) return size_t(-1);
        const hx::clsQX8PollLog &c = object->component;
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
            return size_t(-1);
        }
        const QByteArray utf8 = value.toUtf8();
        if (buffer && size > 0) {
            const size_t n = std::min(size - 1, size_t(utf8.size()));
            std::memcpy(buffer, utf8.constData(), n);
            buffer[n] = '\0';
        }
        return size_t(utf8.size());
    } catch (...) {
        return size_t(-1);
    }
}

int hx_show_poll_log(HxPollLog *object) {
    try {
        if (!object) return 0;
        if (!QCoreApplication::instance()) {
            if (!haveDisplay()) {
                hx::subLogNote(QStringLiteral("clsQX8PollLog"),
                               QStringLiteral("ShowPollLog: no display (DISPLAY, WAYLAND_DISPLAY or "
                                              "QT_QPA_PLATFORM) to show the window on."));
                return 0;
            }
            ownApplication();
        }
        return hx::ShowPollLog() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int hx_can_unload_now(void) {
    return g_alive.load() == 0 ? 1 : 0;
}

} // extern "C"
