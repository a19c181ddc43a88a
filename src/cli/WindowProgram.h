#pragma once
// The commands that draw (the window, the printed list, the printed report)
// need Qt's GUI libraries, whose loading is most of a start-up. They live in
// hxpolllog-window, built from the same commands; hxpolllog runs it in its
// own place for them, so every other command starts without those libraries.
#include "hours/ExceptionsReport.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <memory>

namespace hx::cli {

// True when hxpolllog is to hand the command to hxpolllog-window: show,
// print and report --pdf (help included). Always false in hxpolllog-window.
bool blnHandsOverToWindowProgram(const QString &command, const QStringList &args);
// Keeps the arguments to hand to hxpolllog-window unchanged.
void rememberArguments(char **argv);
// Replaces this process by hxpolllog-window with the same arguments. Returns
// only when it cannot (1, after saying why).
int runWindowProgram();
// The application object a drawing command needs, or nullptr when a
// QCoreApplication will do.
std::unique_ptr<QCoreApplication> makeDrawingApplication(const QString &command, int &argc, char **argv);
bool blnWriteExceptionsPdf(const ExceptionsReport &report, const QString &file, QString *why);

} // namespace hx::cli
