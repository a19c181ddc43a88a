#include "component/modGlobal.h"

#include "component/DateTime.h"
#include "component/Numbers.h"
#include "component/Values.h"
#include "messages/MessageBox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QTextStream>
#include <dlfcn.h>

namespace hx {
namespace {
struct PathStore {
    QMutex mutex;
    QString database, application, pollLog, errorLog;
};
PathStore &paths() {
    static PathStore s;
    return s;
}
QString read(QString PathStore::*field) {
    QMutexLocker lock(&paths().mutex);
    return paths().*field;
}
void write(QString PathStore::*field, const QString &value) {
    QMutexLocker lock(&paths().mutex);
    paths().*field = value;
}

bool isDataLinkFile(const QString &name) {
    return name.endsWith(QLatin1String(".udl"), Qt::CaseInsensitive);
}
} // namespace

// First line of a data-link file that is neither empty nor a ";" comment.
std::optional<QString> dataLinkConnectionString(const QString &path, QString *error) {
    // A data link holds one short line: a pipe could block, and a huge file
    // without line ends would be read whole into memory.
    constexpr qint64 kMaxDataLinkSize = 1024 * 1024;
    const QFileInfo fi(path);
    if (fi.exists() && (!fi.isFile() || fi.size() > kMaxDataLinkSize)) {
        *error = QStringLiteral("The data link file is not a plain file of at most 1 MB: ") + path;
        return std::nullopt;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("The data link file cannot be read: ") + path;
        return std::nullopt;
    }
    QTextStream in(&f);
    while (!in.atEnd()) {
        QString line = in.readLine().trimmed();
        if (line.startsWith(QChar(0xFEFF))) line = line.mid(1);
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('[')))
            continue;
        return line;
    }
    *error = QStringLiteral("The data link file holds no connection string: ") + path;
    return std::nullopt;
}

namespace {

// The embedded engine would quietly make a new database of a missing or empty
// file; a name that leads to anything but an existing database is an error.
void requireSqliteDatabase(const QString &path) {
    QFileInfo fi(path);
    if (!fi.isFile()) throw HxError(QStringLiteral("Could not find file '%1'.").arg(path), ErrNo::Database);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw HxError(QStringLiteral("The database file '%1' cannot be read: %2").arg(path, f.errorString()),
                      ErrNo::Database);
    static const QByteArray kHeader("SQLite format 3\0", 16);
    if (f.read(kHeader.size()) != kHeader)
        throw HxError(QStringLiteral("The file '%1' is not a database.").arg(path), ErrNo::Database);
}
} // namespace

std::unique_ptr<Database> gConn;

// ---------------------------------------------------------------- paths

QString strComponentFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&strComponentFolder), &info) && info.dli_fname && *info.dli_fname) {
        QFileInfo fi(QFile::decodeName(info.dli_fname));
        if (fi.isRelative()) {
            // dladdr reports the main program by the name it was started with.
            QFileInfo self(QStringLiteral("/proc/self/exe"));
            if (self.exists()) return strRemoveTrailingSlash(QFileInfo(self.symLinkTarget()).absolutePath());
        }
        return strRemoveTrailingSlash(fi.absolutePath());
    }
    return strRemoveTrailingSlash(QDir::currentPath());
}

bool blnRunningFromBuildTree() {
    static const bool fromBuildTree = [] {
        const QString folder = strComponentFolder();
        // The library is built into lib/ below the build folder.
        for (const QString &dir : {folder, QFileInfo(folder).absolutePath()})
            if (QFileInfo(strJoinPath(dir, QStringLiteral("CMakeCache.txt"))).isFile())
                return QFileInfo(folder).isWritable();
        return false;
    }();
    return fromBuildTree;
}

namespace {
// The first folder of a systemd directory variable (it may list several,
// separated by ":"), empty when unset.
QString systemdFolder(const char *name) {
    const QString v = qEnvironmentVariable(name).section(QLatin1Char(':'), 0, 0);
    return QDir::isAbsolutePath(v) ? strRemoveTrailingSlash(v) : QString();
}

QString xdgStateHome() {
    const QString xdg = qEnvironmentVariable("XDG_STATE_HOME");
    // The base directory rules ignore a relative value.
    if (QDir::isAbsolutePath(xdg)) return strRemoveTrailingSlash(xdg);
    return strJoinPath(QDir::homePath(), QStringLiteral(".local/state"));
}

QString created(const QString &folder) {
    QDir().mkpath(folder);
    return folder;
}
} // namespace

QString strStateFolder() {
    const QString systemd = systemdFolder("STATE_DIRECTORY");
    return created(systemd.isEmpty() ? strJoinPath(xdgStateHome(), QStringLiteral("hxpolllog")) : systemd);
}

QString strLogsFolder() {
    const QString systemd = systemdFolder("LOGS_DIRECTORY");
    return created(systemd.isEmpty() ? strJoinPath(strStateFolder(), QStringLiteral("log")) : systemd);
}

QString strDefaultFolderOrigin(bool application) {
    if (blnRunningFromBuildTree()) return QStringLiteral("the program's folder (build tree)");
    if (!application && !systemdFolder("LOGS_DIRECTORY").isEmpty()) return QStringLiteral("$LOGS_DIRECTORY");
    const QString state = !systemdFolder("STATE_DIRECTORY").isEmpty() ? QStringLiteral("$STATE_DIRECTORY")
                          : QDir::isAbsolutePath(qEnvironmentVariable("XDG_STATE_HOME"))
                              ? QStringLiteral("$XDG_STATE_HOME/hxpolllog")
                              : QStringLiteral("~/.local/state/hxpolllog");
    return application ? state : state + QStringLiteral("/log");
}

QString strRemoveTrailingSlash(const QString &path) {
    QString p = path;
    while (!p.isEmpty() && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return p;
}

QString strJoinPath(const QString &folder, const QString &name) {
    return folder + QLatin1Char('/') + name;
}

bool blnFileExists(const QString &path) {
    if (path.isEmpty()) return false;
    if (path.contains(QLatin1Char('*')) || path.contains(QLatin1Char('?'))) {
        QFileInfo fi(path);
        QDir dir = fi.dir();
        return !dir.entryList({fi.fileName()}, QDir::Files | QDir::Hidden | QDir::System).isEmpty();
    }
    QFileInfo fi(path);
    return fi.exists() && fi.isFile();
}

QString strAppRegistryName() {
    return QStringLiteral("Horalis");
}

QString strGetDatabaseFilePath() {
    QString v = read(&PathStore::database);
    return v.isEmpty() ? QStringLiteral("ChronbaseV7.mde") : v;
}
QString strGetApplicationPath() {
    QString v = read(&PathStore::application);
    if (!v.isEmpty()) return v;
    return blnRunningFromBuildTree() ? strComponentFolder() : strStateFolder();
}
QString strGetPollLogPath() {
    QString v = read(&PathStore::pollLog);
    return v.isEmpty() ? strJoinPath(strGetApplicationPath(), QStringLiteral("PollLogs")) : v;
}
QString strGetErrorLogPath() {
    QString v = read(&PathStore::errorLog);
    if (!v.isEmpty()) return v;
    return blnRunningFromBuildTree() ? strComponentFolder() : strLogsFolder();
}
QString strStoredDatabaseFilePath() {
    return read(&PathStore::database);
}
QString strStoredApplicationPath() {
    return read(&PathStore::application);
}

void subSetDatabaseFilePath(const QString &value) {
    write(&PathStore::database, value);
}
void subSetApplicationPath(const QString &value) {
    write(&PathStore::application, strRemoveTrailingSlash(value));
}
void subSetPollLogPath(const QString &value) {
    write(&PathStore::pollLog, strRemoveTrailingSlash(value));
}
void subSetErrorLogPath(const QString &value) {
    write(&PathStore::errorLog, strRemoveTrailingSlash(value));
}

// ---------------------------------------------------------------- session

Database &conn() {
    if (!gConn) throw HxError(QStringLiteral("Operation is not allowed when the object is closed."), 3704);
    return *gConn;
}

QString strDatabaseFullPath(const QString &databaseName) {
    if (QDir::isAbsolutePath(databaseName) || isConnectionText(databaseName)) return databaseName;
    return strJoinPath(strGetApplicationPath(), databaseName);
}

std::optional<ConnectionSpec> connectionTarget(const QString &fullPath, QString *error) {
    if (isConnectionText(fullPath)) return ConnectionSpec::parse(fullPath, QString(), error);
    if (isDataLinkFile(fullPath)) {
        auto text = dataLinkConnectionString(fullPath, error);
        if (!text) return std::nullopt;
        return ConnectionSpec::parse(*text, QFileInfo(fullPath).absolutePath(), error);
    }
    return ConnectionSpec::forSqliteFile(fullPath);
}

namespace {
// What a Linux administrator can check when a connection fails, by what
// failed: the name itself, an SQLite file or a PostgreSQL server.
const QString kNameHint = QStringLiteral(
    "Check the database name or the data-link file: an SQLite file, a postgresql:// URI, libpq "
    "key=value pairs (host=... dbname=...), or Engine=PostgreSQL;... or Engine=SQLite;... pairs.");
const QString kSqliteHint = QStringLiteral(
    "Check that the file is an SQLite database and that this user may read and write it and its folder.");
const QString kServerHint = QStringLiteral(
    "Check that the PostgreSQL server is running and listens on that host and port (or socket directory), "
    "and that pg_hba.conf, the password (or pass file) and the SSL settings let this user reach the "
    "database.");
} // namespace

int32_t lngOpenConnection(std::unique_ptr<Database> &connection, const QString &databaseName,
                          QString &extraProperties) {
    const QString fullPath = strDatabaseFullPath(databaseName);
    const bool text = isConnectionText(databaseName);
    if (databaseName.isEmpty() || (!text && !blnFileExists(fullPath))) return 100;
    if (connection) return -1;
    const QString *hint = &kNameHint;
    const auto tell = [&](long number, const QString &description) {
        const QString prompt = QStringLiteral("Error: ") + QString::number(number) + QStringLiteral("\r\n") +
                               QStringLiteral("Description: ") + maskPassword(description) +
                               QStringLiteral("\r\n\r\n") + *hint;
        messageBoxFace().show(QStringLiteral("HXPollLog"), prompt, 0, 0);
        return 0;
    };
    try {
        QString error;
        const std::optional<ConnectionSpec> parsed = connectionTarget(fullPath, &error);
        if (!parsed) throw HxError(error, ErrNo::Database);
        const ConnectionSpec target = *parsed;
        hint = target.engine == Engine::SQLite ? &kSqliteHint : &kServerHint;
        // Extra properties have no meaning for the embedded engine; they are
        // kept as the caller gave them, with the separator added.
        if (!text && !isDataLinkFile(fullPath) && !extraProperties.isEmpty())
            extraProperties += QLatin1Char(';');
        if (target.engine == Engine::SQLite) requireSqliteDatabase(target.sqliteFile);
        connection = Database::open(target);
        return -1;
    } catch (const HxError &e) {
        return tell(e.number(), e.description());
    } catch (const std::exception &e) {
        return tell(0, QString::fromLocal8Bit(e.what()));
    }
}

bool blnOpenDatabase(std::unique_ptr<Database> &connection, const QString &databaseName,
                     QString &extraProperties) {
    return lngOpenConnection(connection, databaseName, extraProperties) == -1;
}

void subCloseConnection(std::unique_ptr<Database> &connection) {
    if (connection && connection->isOpen()) {
        connection->close();
        connection.reset();
    }
}

void subCloseRecordset(Recordset &rs) {
    if (rs.isOpen()) rs.close();
}

bool blnHasRecords(const Recordset &rs) {
    return rs.isOpen() && !(rs.bof() && rs.eof());
}

// ---------------------------------------------------------------- null reading

QString strNullToText(const QVariant &value) {
    return isNullOrEmpty(value) ? QString() : valueText(value);
}

int32_t lngNullToZero(const QVariant &value) {
    // An integer column, as the engines return one, without the general conversions.
    if (value.typeId() == QMetaType::LongLong && !value.isNull())
        return toInt32(double(*static_cast<const qlonglong *>(value.constData())));
    if (isNullOrEmpty(value)) return 0;
    return toInt32(toDouble(value));
}

double dtmNullToDate(const QVariant &value) {
    if (isNullOrEmpty(value)) return kNullDate;
    return toDateTimeValue(value);
}

QVariant varFirstColumnValue(const QString &sql, const QVariantList &params) {
    auto v = conn().firstValue(sql, params);
    return v ? *v : QVariant(QString());
}

QVariant varTCRulesField(const QString &columnName) {
    try {
        Recordset rs = conn().openRecordset(QStringLiteral("SELECT * FROM \"TCRULES\" ORDER BY \"ID\""));
        if (!blnHasRecords(rs)) return QString();
        QVariant v = rs.value(columnName);
        if (isNullOrEmpty(v)) return QString();
        return v;
    } catch (...) {
        return QString();
    }
}

} // namespace hx
