// paths: the four paths in force, where each came from, and the settings
// files read.
#include "cli/Commands.h"
#include "component/Database.h"
#include "component/modGlobal.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace hx::cli {
namespace {
struct Row {
    const char *label, *key;
    SitePath path;
};
const Row kRows[] = {{"Database", "database", SitePath::Database},
                     {"Application folder", "application_path", SitePath::Application},
                     {"Poll log folder", "poll_log_path", SitePath::PollLog},
                     {"Log folder", "error_log_path", SitePath::ErrorLog}};

QString inForce(SitePath p) {
    switch (p) {
    case SitePath::Database:
        return maskPassword(strDatabaseFullPath(strGetDatabaseFilePath()));
    case SitePath::Application:
        return strGetApplicationPath();
    case SitePath::PollLog:
        return strGetPollLogPath();
    case SitePath::ErrorLog:
        return strGetErrorLogPath();
    }
    return QString();
}

QString kindName(PathSource::Kind k) {
    switch (k) {
    case PathSource::Default:
        return QStringLiteral("default");
    case PathSource::File:
        return QStringLiteral("settings");
    case PathSource::Environment:
        return QStringLiteral("environment");
    case PathSource::Option:
        return QStringLiteral("option");
    }
    return QString();
}

// The detail of a default: what it follows.
QString defaultOrigin(SitePath p) {
    switch (p) {
    case SitePath::Database:
        return QStringLiteral("ChronbaseV7.mde in the application folder");
    case SitePath::Application:
        return strDefaultFolderOrigin(true);
    case SitePath::PollLog:
        return QStringLiteral("PollLogs in the application folder");
    case SitePath::ErrorLog:
        return strDefaultFolderOrigin(false);
    }
    return QString();
}
} // namespace

int cmdPaths(const QStringList &args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prints the database and the three folders in force, where each comes from (option, environment, "
        "settings file, default), and the settings files read. Opens nothing."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print a JSON object."));
    parser.addOption(json);
    if (auto done = parseCommandLine(parser, QStringLiteral("paths"), QStringLiteral("[--json]"), args))
        return *done;
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("paths"), QStringLiteral("paths takes no arguments."));
    const SiteSettings &s = activeSettings();
    QTextStream out(stdout);
    if (parser.isSet(json)) {
        QJsonObject o;
        for (const Row &r : kRows) {
            const PathSource &src = s.source(r.path);
            o.insert(QLatin1String(r.key),
                     QJsonObject{{QStringLiteral("path"), inForce(r.path)},
                                 {QStringLiteral("source"), kindName(src.kind)},
                                 {QStringLiteral("from"),
                                  src.kind == PathSource::Default ? defaultOrigin(r.path) : src.where}});
        }
        o.insert(QStringLiteral("settings_files"), QJsonArray::fromStringList(s.filesRead));
        out << QJsonDocument(o).toJson(QJsonDocument::Indented);
        return 0;
    }
    for (const Row &r : kRows) {
        const PathSource &src = s.source(r.path);
        const QString from = src.kind == PathSource::Default
                                 ? QStringLiteral("default: ") + defaultOrigin(r.path)
                                 : kindName(src.kind) + QStringLiteral(" ") + src.where;
        out << QStringLiteral("%1  %2  (%3)\n").arg(QLatin1String(r.label), -18).arg(inForce(r.path), from);
    }
    out << QStringLiteral("%1  %2\n")
               .arg(QStringLiteral("Settings files"), -18)
               .arg(s.filesRead.isEmpty() ? QStringLiteral("none") : s.filesRead.join(QStringLiteral(", ")));
    return 0;
}

} // namespace hx::cli
