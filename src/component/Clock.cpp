#include "component/Clock.h"

#include "component/DateTime.h"

#include <QMutex>
#include <QMutexLocker>

namespace hx::Clock {
namespace {
QMutex g_mutex;
bool g_envRead = false;
std::optional<QDateTime> g_fixed;

std::optional<QDateTime> parseMoment(const QString &text) {
    const QString t = text.trimmed();
    for (const char *fmt : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-dd"}) {
        QDateTime dt = QDateTime::fromString(t, QString::fromLatin1(fmt));
        if (dt.isValid()) return dt;
    }
    return std::nullopt;
}

void readEnvLocked() {
    if (g_envRead) return;
    g_envRead = true;
    const QByteArray env = qgetenv("HXPOLLLOG_NOW");
    if (!env.isEmpty() && !g_fixed) g_fixed = parseMoment(QString::fromLocal8Bit(env));
}
} // namespace

QDateTime now() {
    QMutexLocker lock(&g_mutex);
    readEnvLocked();
    if (g_fixed) return *g_fixed;
    QDateTime n = QDateTime::currentDateTime();
    n.setTime(QTime(n.time().hour(), n.time().minute(), n.time().second()));
    return n;
}

double nowSerial() {
    return fromQDateTime(now());
}

double today() {
    return fromQDate(now().date());
}

void setFixed(std::optional<QDateTime> moment) {
    QMutexLocker lock(&g_mutex);
    g_envRead = true; // an explicit setting wins over the environment
    g_fixed = std::move(moment);
}

bool setFixedFromText(const QString &text) {
    auto m = parseMoment(text);
    if (!m) return false;
    setFixed(m);
    return true;
}

} // namespace hx::Clock
