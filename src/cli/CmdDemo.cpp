// demo: builds a demonstration site and imports its poll logs through the
// import command, then shows what was posted.
#include "cli/Commands.h"
#include "cli/DemoSite.h"
#include "cli/TerminalFace.h"
#include "component/Clock.h"
#include "component/Schema.h"
#include "component/modGlobal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>

namespace hx::cli {
namespace {
// Marks a folder as made by this command, so that running it again may
// replace the folder's content.
const QString kMarker = QStringLiteral(".hxpolllog-demo");
const QString kDatabase = QStringLiteral("site.db");

// What the command creates inside the folder; nothing else is removed.
const QStringList &demoEntries() {
    static const QStringList e = {kMarker,
                                  kDatabase,
                                  kDatabase + QStringLiteral("-wal"),
                                  kDatabase + QStringLiteral("-shm"),
                                  kDatabase + QStringLiteral("-journal"),
                                  kDatabase + QStringLiteral(".import.lock"),
                                  QStringLiteral("app"),
                                  QStringLiteral("polllogs"),
                                  QStringLiteral("logs")};
    return e;
}

// An empty or missing folder is taken; a previous demonstration site is
// cleared; any other folder is refused.
bool prepareFolder(const QString &dir) {
    QDir d(dir);
    if (d.exists()) {
        const bool empty = d.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        if (!empty) {
            if (!QFileInfo(d.filePath(kMarker)).isFile()) {
                printError(QStringLiteral("%1 exists and is not a demonstration site; choose an empty or new "
                                          "folder.")
                               .arg(dir));
                return false;
            }
            for (const QString &name : demoEntries()) {
                const QFileInfo fi(d.filePath(name));
                const bool removed = fi.isDir() && !fi.isSymLink()
                                         ? QDir(fi.filePath()).removeRecursively()
                                         : (!fi.exists() && !fi.isSymLink()) || QFile::remove(fi.filePath());
                if (!removed) {
                    printError(QStringLiteral("cannot remove %1 of the previous demonstration site.")
                                   .arg(fi.filePath()));
                    return false;
                }
            }
        }
    }
    for (const char *sub : {"app", "polllogs", "logs"}) {
        if (!d.mkpath(QString::fromLatin1(sub))) {
            printError(QStringLiteral("cannot create %1.").arg(d.filePath(QString::fromLatin1(sub))));
            return false;
        }
    }
    QFile marker(d.filePath(kMarker));
    if (!marker.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        printError(QStringLiteral("cannot write %1.").arg(marker.fileName()));
        return false;
    }
    marker.write("Demonstration site of hxpolllog; \"hxpolllog demo\" may replace this folder's content.\n");
    return true;
}
// This program as the user may type it: relative to the current directory
// when it lies below it, else in full.
QString programName() {
    const QString self = QCoreApplication::applicationFilePath();
    const QString relative = QDir::current().relativeFilePath(self);
    return relative.startsWith(QLatin1String("..")) ? self : relative;
}
} // namespace

int cmdDemo(const QStringList &args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Builds a demonstration site in DIR (default ./demo-site) and imports its poll logs. With --db the "
        "tables go into that (empty) database instead."));
    parser.addPositionalArgument(QStringLiteral("DIR"), QStringLiteral("The folder of the site."),
                                 QStringLiteral("[DIR]"));
    if (auto done = parseCommandLine(parser, QStringLiteral("demo"), QStringLiteral("[DIR]"), args))
        return *done;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return usageError(QStringLiteral("demo"), QStringLiteral("demo takes one folder."));
    installTerminalFace().setPreset(PresetAnswer::Yes);
    const QString dir =
        QFileInfo(positional.isEmpty() ? QStringLiteral("demo-site") : positional[0]).absoluteFilePath();
    if (!prepareFolder(dir)) return 1;

    QDir d(dir);
    // --db names where the tables go (an empty server database, say); the
    // poll logs and the logs stay in the folder. Only the option does: a
    // site's settings must not lead the demonstration into its own database.
    const QString givenDatabase = activeSettings().source(SitePath::Database).kind == PathSource::Option
                                      ? strStoredDatabaseFilePath()
                                      : QString();
    std::optional<ConnectionSpec> target = ConnectionSpec::forSqliteFile(d.filePath(kDatabase));
    if (givenDatabase.isEmpty()) {
        subSetDatabaseFilePath(d.filePath(kDatabase));
    } else {
        QString error;
        target = connectionTarget(strDatabaseFullPath(givenDatabase), &error);
        if (!target) {
            printError(
                QStringLiteral("cannot use the database %1: %2").arg(maskPassword(givenDatabase), error));
            return 1;
        }
        if (target->engine == Engine::SQLite && QFileInfo::exists(target->sqliteFile)) {
            printError(QStringLiteral("%1 already exists; the demonstration builds a new database only.")
                           .arg(target->sqliteFile));
            return 1;
        }
    }
    subSetApplicationPath(d.filePath(QStringLiteral("app")));
    subSetPollLogPath(d.filePath(QStringLiteral("polllogs")));
    subSetErrorLogPath(d.filePath(QStringLiteral("logs")));

    const demo::DemoSite site(Clock::now().date());
    const std::vector<demo::PollFile> files = site.pollFiles();
    try {
        auto db = Database::open(*target);
        const QString existing = firstExistingSchemaTable(*db);
        if (!existing.isEmpty()) {
            printError(
                QStringLiteral("%1 already holds the table %2; the demonstration needs an empty database.")
                    .arg(db->describe(), existing));
            return 1;
        }
        Transaction tx(*db);
        createSchema(*db);
        site.seed(*db);
        tx.commit();
    } catch (const HxError &e) {
        printError(QStringLiteral("cannot create the demonstration database: %1")
                       .arg(maskPassword(e.description())));
        return 1;
    }
    QStringList names;
    int records = 0;
    for (const demo::PollFile &f : files) {
        if (!demo::writePollFile(strJoinPath(strGetPollLogPath(), f.name), f.lines)) {
            printError(QStringLiteral("cannot write the poll log %1.").arg(f.name));
            return 1;
        }
        names << f.name;
        for (const QByteArray &line : f.lines)
            records += line.startsWith(';') ? 0 : 1; // records, not the header's comments
    }

    QTextStream out(stdout);
    out << "Demonstration site " << dir << "\n"
        << "  " << files.size() << " poll logs of the week " << site.firstDay().toString(Qt::ISODate)
        << " to " << site.firstDay().addDays(6).toString(Qt::ISODate) << " (" << records << " lines) in "
        << strGetPollLogPath() << "\n"
        << "  Importing them; the messages of the import follow on standard error.\n\n";
    out.flush();
    std::fflush(stdout);

    const int status = cmdImport(QStringList{QStringLiteral("--yes")} + names);

    if (!openSession()) return 1;
    out << "\n"
        << (status == 0   ? "Imported and posted."
            : status == 3 ? "Imported and posted; the import reported the errors above on the way."
                          : "The import did not succeed; see the messages above.")
        << "\n\n";
    try {
        for (const QString &line : demo::DemoSite::summary(conn()))
            out << line << "\n";
    } catch (const HxError &e) {
        printError(QStringLiteral("cannot read the summary: %1").arg(e.description()));
        closeSession();
        return 1;
    }
    out << "\nLog: " << strJoinPath(strGetErrorLogPath(), QStringLiteral("QX8log.txt")) << "\n"
        << "Run a command on this site (rules, list, show, import NAME...) with:\n  " << programName()
        << " --db " << maskPassword(strGetDatabaseFilePath()) << " --app-dir " << strGetApplicationPath()
        << " --poll-dir " << strGetPollLogPath() << " --log-dir " << strGetErrorLogPath() << " rules\n";
    out.flush();
    closeSession();
    // The demonstration's poll logs hold a bad line on purpose.
    return status == 3 ? 0 : status;
}

} // namespace hx::cli
