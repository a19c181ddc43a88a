#pragma once
// View: a poll log opened in a text viewer, without waiting for it and
// without a shell (the path is one argument, spaces and all).
#include <QString>

namespace hx {

// The viewer: the program named by HXPOLLLOG_VIEWER, else by the setting
// "Viewer" (QX8, section PollLog), else the desktop's opener "xdg-open".
QString strViewerProgram();
// Starts the viewer on the file. When it cannot be started the user is told
// (and the log gets the message); the result is then false.
bool blnViewPollLog(const QString &path);

} // namespace hx
