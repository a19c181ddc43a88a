#include "component/SiteSettings.h"

#include "component/Database.h"

#include "component/modGlobal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSettings>

namespace hx {
namespace {
QMutex viewerMutex;
QString viewerSetting;

// QSettings reads an unquoted value with a comma as a list.
QString settingText(const QVariant &v) {
    return v.metaType().id() == QMetaType::QStringList ? v.toStringList().join(QLatin1Char(','))
                                                       : v.toString();
}

bool readFile(const QString &file, SiteSettings &out, QString *error) {
    const QFileInfo fi(file);
    QFile probe(file);
    if (!fi.isFile() || !probe.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the settings file %1%2")
                     .arg(file, fi.exists() ? QStringLiteral(" (%1)").arg(probe.errorString())
                                            : QStringLiteral(" (no such file)"));
        return false;
    }
    probe.close();
    QSettings s(file, QSettings::IniFormat);
    if (s.status() != QSettings::NoError) {
        *error = QStringLiteral("the settings file %1 is not valid INI").arg(file);
        return false;
    }
    const QString base = fi.absolutePath();
    s.beginGroup(QStringLiteral("Site"));
    QStringList unknown = s.childGroups();
    for (const QString &key : s.childKeys()) {
        bool known = false;
        for (SitePath p : kSitePaths) {
            if (key != siteSettingsKey(p)) continue;
            known = true;
            out.set(p, resolveSitePath(p, settingText(s.value(key)).trimmed(), base),
                    {PathSource::File, fi.absoluteFilePath()});
        }
        if (!known) unknown << key;
    }
    s.endGroup();
    if (!unknown.isEmpty()) {
        *error =
            QStringLiteral("the settings file %1 names the unknown key \"%2\" in [Site] (known: Database, "
                           "ApplicationPath, PollLogPath, ErrorLogPath)")
                .arg(file, unknown.first());
        return false;
    }
    const QString viewer = settingText(s.value(QStringLiteral("PollLog/Viewer"))).trimmed();
    if (!viewer.isEmpty()) out.viewer = viewer;
    out.filesRead << fi.absoluteFilePath();
    return true;
}
} // namespace

void SiteSettings::set(SitePath p, const QString &value, PathSource source) {
    if (value.isEmpty()) return;
    values[size_t(p)] = value;
    sources[size_t(p)] = std::move(source);
}

QString siteSettingsKey(SitePath p) {
    switch (p) {
    case SitePath::Database:
        return QStringLiteral("Database");
    case SitePath::Application:
        return QStringLiteral("ApplicationPath");
    case SitePath::PollLog:
        return QStringLiteral("PollLogPath");
    case SitePath::ErrorLog:
        return QStringLiteral("ErrorLogPath");
    }
    return QString();
}

QString siteEnvironmentVariable(SitePath p) {
    switch (p) {
    case SitePath::Database:
        return QStringLiteral("HXPOLLLOG_DB");
    case SitePath::Application:
        return QStringLiteral("HXPOLLLOG_APP_DIR");
    case SitePath::PollLog:
        return QStringLiteral("HXPOLLLOG_POLL_DIR");
    case SitePath::ErrorLog:
        return QStringLiteral("HXPOLLLOG_LOG_DIR");
    }
    return QString();
}

QString strSystemSettingsFile() {
    return QStringLiteral("/etc/hxpolllog/hxpolllog.conf");
}

QString strUserSettingsFile() {
    // The window's store: it follows XDG_CONFIG_HOME as QSettings does.
    return QSettings(QStringLiteral("QX8"), QStringLiteral("QX8")).fileName();
}

QString resolveSitePath(SitePath p, const QString &value, const QString &base) {
    if (value.isEmpty() || QDir::isAbsolutePath(value)) return value;
    // A connection text (a URI, libpq's key=value pairs) is used as given.
    if (p == SitePath::Database && (isConnectionText(value) || !value.contains(QLatin1Char('/'))))
        return value;
    return QDir::cleanPath(QDir(base).absoluteFilePath(value));
}

std::optional<SiteSettings> readSiteSettings(const QStringList &optionalFiles, const QString &requiredFile,
                                             QString *error) {
    SiteSettings out;
    for (const QString &file : optionalFiles) {
        // A missing optional file is no error; a broken link or an unreadable file is.
        if (!QFileInfo(file).exists() && !QFileInfo(file).isSymLink()) continue;
        if (!readFile(file, out, error)) return std::nullopt;
    }
    if (!requiredFile.isEmpty() && !readFile(requiredFile, out, error)) return std::nullopt;
    const QString cwd = QDir::currentPath();
    for (SitePath p : kSitePaths) {
        const QString name = siteEnvironmentVariable(p);
        out.set(p, resolveSitePath(p, qEnvironmentVariable(name.toLatin1().constData()), cwd),
                {PathSource::Environment, name});
    }
    return out;
}

std::optional<SiteSettings> loadSiteSettings(const QString &configFile, QString *error) {
    const QString required = configFile.isEmpty() ? qEnvironmentVariable("HXPOLLLOG_CONFIG") : configFile;
    return readSiteSettings({strSystemSettingsFile(), strUserSettingsFile()},
                            required.isEmpty() ? QString() : QFileInfo(required).absoluteFilePath(), error);
}

void applySiteSettings(const SiteSettings &settings) {
    if (!settings.value(SitePath::Database).isEmpty())
        subSetDatabaseFilePath(settings.value(SitePath::Database));
    if (!settings.value(SitePath::Application).isEmpty())
        subSetApplicationPath(settings.value(SitePath::Application));
    if (!settings.value(SitePath::PollLog).isEmpty()) subSetPollLogPath(settings.value(SitePath::PollLog));
    if (!settings.value(SitePath::ErrorLog).isEmpty()) subSetErrorLogPath(settings.value(SitePath::ErrorLog));
    QMutexLocker lock(&viewerMutex);
    viewerSetting = settings.viewer;
}

QString strSettingsViewer() {
    QMutexLocker lock(&viewerMutex);
    return viewerSetting;
}

} // namespace hx
