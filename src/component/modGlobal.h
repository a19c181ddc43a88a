#pragma once
// Process-wide paths, the one database connection and the small data helpers
// every subsystem uses.
#include "component/Database.h"

#include <QString>
#include <QVariant>
#include <cstdint>
#include <memory>
#include <optional>

namespace hx {

// ---- paths (process-wide storage behind clsQX8PollLog) ----
QString strGetDatabaseFilePath();
QString strGetApplicationPath();
QString strGetPollLogPath();
QString strGetErrorLogPath();
void subSetDatabaseFilePath(const QString &value);
void subSetApplicationPath(const QString &value);
void subSetPollLogPath(const QString &value);
void subSetErrorLogPath(const QString &value);
// The stored application folder, empty when the host set none.
// The database name as set, empty when none was (the default then applies).
QString strStoredDatabaseFilePath();
QString strStoredApplicationPath();

// Removes every trailing "/" ("/data//" -> "/data", "/" -> "").
QString strRemoveTrailingSlash(const QString &path);
// True when a file of that exact path exists; a wildcard pattern counts as
// found when anything in its folder matches.
bool blnFileExists(const QString &path);
// The suite's name, used in message box titles.
QString strAppRegistryName();
// The folder of the binary that holds the component.
QString strComponentFolder();
// True when the component runs from its build tree (its folder, or the folder
// above it, holds CMakeCache.txt, and it may write there): the defaults are
// then the component's folder. An installed component never writes into its
// own folder: its application folder defaults to strStateFolder() and its log
// folder to strLogsFolder().
bool blnRunningFromBuildTree();
// $STATE_DIRECTORY (systemd's StateDirectory=), else $XDG_STATE_HOME/hxpolllog
// (~/.local/state/hxpolllog); created when missing.
QString strStateFolder();
// $LOGS_DIRECTORY (systemd's LogsDirectory=), else strStateFolder() + "/log";
// created when missing.
QString strLogsFolder();
// Where the default of a folder comes from, in words ("the program's folder",
// "$STATE_DIRECTORY", ...); application = false asks about the log folder.
QString strDefaultFolderOrigin(bool application);
// A folder and a name joined with one "/".
QString strJoinPath(const QString &folder, const QString &name);

// ---- the session ----
extern std::unique_ptr<Database> gConn;
// gConn, raising "the object is closed" when there is none.
Database &conn();

// -1 opened (or a connection object already existed), 100 database not found,
// 0 opening failed after the user was told: "Error: N", "Description: " the
// reason (libpq's own words for a server), then what to check.
int32_t lngOpenConnection(std::unique_ptr<Database> &connection, const QString &databaseName,
                          QString &extraProperties);
bool blnOpenDatabase(std::unique_ptr<Database> &connection, const QString &databaseName,
                     QString &extraProperties);
// The connection string of a data-link (.udl) file: its first line that is
// neither empty, a ";" comment nor a "[section]". Nullopt and *error set when
// the file cannot be read or holds none.
std::optional<QString> dataLinkConnectionString(const QString &path, QString *error);
// The full path the connection rule makes of a database name; a connection
// text (a URI or libpq key=value string) stays as given.
QString strDatabaseFullPath(const QString &databaseName);
// Where a full database name leads: a connection URI or libpq key=value
// string, the connection string of a data-link file (".udl", any case; either
// form, or the suite's Engine= pairs) or an SQLite file. Sets *error (never
// quoting a password) and returns nullopt when the name cannot be used.
std::optional<ConnectionSpec> connectionTarget(const QString &fullPath, QString *error);
void subCloseConnection(std::unique_ptr<Database> &connection);
void subCloseRecordset(Recordset &rs);
bool blnHasRecords(const Recordset &rs);

// ---- null reading ----
QString strNullToText(const QVariant &value);
int32_t lngNullToZero(const QVariant &value);
double dtmNullToDate(const QVariant &value);
// First column of the first row, or the empty text when there is no row.
// Errors reach the caller.
QVariant varFirstColumnValue(const QString &sql, const QVariantList &params = {});
// A column of the first TCRULES row (any case), or the empty text; never raises.
QVariant varTCRulesField(const QString &columnName);

} // namespace hx
