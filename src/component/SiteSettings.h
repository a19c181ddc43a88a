#pragma once
// The site's paths from settings files and the environment, shared by every
// host: /etc/hxpolllog/hxpolllog.conf, then the user's QX8 settings (the
// store the window keeps its column widths in), then a file the host names
// (or HXPOLLLOG_CONFIG); later files override earlier ones, and the
// environment overrides them all. Group [Site], keys Database,
// ApplicationPath, PollLogPath, ErrorLogPath; relative paths are taken from
// the file's folder. Other groups are left to their owners ([PollLog] is the
// window's).
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace hx {

enum class SitePath { Database, Application, PollLog, ErrorLog };
constexpr std::array<SitePath, 4> kSitePaths = {SitePath::Database, SitePath::Application, SitePath::PollLog,
                                                SitePath::ErrorLog};

struct PathSource {
    enum Kind { Default, File, Environment, Option } kind = Default;
    QString where; // the file, the variable or the option
};

struct SiteSettings {
    std::array<QString, 4> values; // empty: the default applies
    std::array<PathSource, 4> sources;
    // The viewer command of [PollLog], empty when no file names one.
    QString viewer;
    QStringList filesRead;

    const QString &value(SitePath p) const { return values[size_t(p)]; }
    const PathSource &source(SitePath p) const { return sources[size_t(p)]; }
    // Sets a path unless value is empty.
    void set(SitePath p, const QString &value, PathSource source);
};

QString siteSettingsKey(SitePath p);         // "Database", "ApplicationPath", ...
QString siteEnvironmentVariable(SitePath p); // "HXPOLLLOG_DB", ...

// The system-wide and the per-user settings file.
QString strSystemSettingsFile();
QString strUserSettingsFile();

// A path as given relative to base: folders and database names with a
// folder in them are made absolute; a bare database name stays bare (it is
// looked up in the application folder) and a connection URL stays as it is.
QString resolveSitePath(SitePath p, const QString &value, const QString &base);

// Reads the optional files that exist, then the required one (a file the
// host named: it must exist), then the environment. Nullopt and *error
// (naming the file, and the key when one is at fault) when a file cannot be
// read, is not valid INI, or names an unknown key in [Site].
std::optional<SiteSettings> readSiteSettings(const QStringList &optionalFiles, const QString &requiredFile,
                                             QString *error);
// The system file, the user file and configFile, else HXPOLLLOG_CONFIG.
std::optional<SiteSettings> loadSiteSettings(const QString &configFile, QString *error);

// Stores the paths that are set in the process-wide paths, and the viewer.
void applySiteSettings(const SiteSettings &settings);
// The viewer the applied settings named, empty when none.
QString strSettingsViewer();

} // namespace hx
