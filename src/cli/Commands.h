#pragma once
// The commands of the command-line host. Each gets the arguments after its
// name and returns the process exit status (0 success, 1 failure, 2 usage).
#include <QStringList>

namespace hx::cli {

int cmdInitDb(const QStringList &args);
int cmdRules(const QStringList &args);
int cmdImport(const QStringList &args);
int cmdDemo(const QStringList &args);
int cmdShow(const QStringList &args);
int cmdList(const QStringList &args);
int cmdPrint(const QStringList &args);
int cmdView(const QStringList &args);
// report exceptions: open pairs, error codes, schedule violations, long
// pairs, unknown badges and refused access of a range of days.
int cmdReport(const QStringList &args);
// Moves the files the window would prune into Pruned/ (--dry-run: tells only).
int cmdPrune(const QStringList &args);
// import --all: every file of the poll log list, in its order.
int cmdImportAll(const QStringList &args);
// watch: imports poll log files as they arrive, until SIGTERM or SIGINT.
int cmdWatch(const QStringList &args);

// Opens gConn as the window's start-up does and loads gTCRules; prints the
// reason to standard error and returns false when the database cannot be opened.
bool openSession();
void closeSession();

// Prints "hxpolllog: " and the text to standard error.
void printError(const QString &text);

} // namespace hx::cli
