#pragma once
// The commands of the command-line host. Each gets the arguments after its
// name (the global options taken out), parses them with its own
// QCommandLineParser (parseCommandLine) and returns the process exit status
// (0 success, 1 failure, 2 usage).
#include "component/SiteSettings.h"

#include <QCommandLineParser>
#include <QStringList>
#include <optional>

namespace hx::cli {

int cmdInitDb(const QStringList &args);
int cmdRules(const QStringList &args);
int cmdImport(const QStringList &args);
int cmdDemo(const QStringList &args);
int cmdShow(const QStringList &args);
int cmdList(const QStringList &args);
int cmdPrint(const QStringList &args);
int cmdView(const QStringList &args);
int cmdPaths(const QStringList &args);
// report exceptions: open pairs, error codes, schedule violations, long
// pairs, unknown badges and refused access of a range of days.
int cmdReport(const QStringList &args);
// Moves the files the window would prune into Pruned/ (--dry-run: tells only).
int cmdPrune(const QStringList &args);
// watch: imports poll log files as they arrive, until SIGTERM or SIGINT.
int cmdWatch(const QStringList &args);

// Opens gConn as the window's start-up does and loads gTCRules; prints the
// reason to standard error and returns false when the database cannot be opened.
bool openSession();
void closeSession();

// ---- output ----
enum class Verbosity { Quiet, Normal, Verbose };
void setVerbosity(Verbosity v);
Verbosity verbosity();
// "hxpolllog: error: " and the text, on standard error.
void printError(const QString &text);
// "hxpolllog: " and the text, on standard error, unless --quiet.
void printNote(const QString &text);

// ---- parsing ----
// Parses a command's arguments after adding --help. The status to exit with
// when the command is done already (0 after --help, 2 after a usage error,
// which is printed), else nullopt.
std::optional<int> parseCommandLine(QCommandLineParser &parser, const QString &command,
                                    const QString &synopsis, const QStringList &args);
// Prints a usage error of a command and the hint to its help; returns 2.
int usageError(const QString &command, const QString &why);

// The paths in force and where each came from, as main settled them.
const SiteSettings &activeSettings();
void setActiveSettings(const SiteSettings &settings);

// The closest of the names to a mistyped one, empty when none is close.
QString closestName(const QString &typed, const QStringList &names);

} // namespace hx::cli
