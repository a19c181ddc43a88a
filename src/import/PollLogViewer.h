#pragma once
// View: a poll log opened in a text viewer, without waiting for it and
// without a shell (the path is one argument, spaces and all).
#include <QString>
#include <QStringList>

namespace hx {

// The viewer command, split into words by QProcess::splitCommand (double
// quotes group): HXPOLLLOG_VIEWER, else the setting "Viewer" of [PollLog]
// (the settings files read at start-up, else the user's QX8 settings), else
// $VISUAL, else the desktop's opener "xdg-open". An entry that splits into
// nothing is passed over.
QStringList viewerCommand();
// Starts the viewer on the file. When it cannot be started the user is told
// (and the log gets the message); the result is then false.
bool blnViewPollLog(const QString &path);

} // namespace hx
