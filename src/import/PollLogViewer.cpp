#include "import/PollLogViewer.h"

#include "messages/LogFiles.h"
#include "messages/MessageBox.h"

#include <QProcess>
#include <QSettings>

namespace hx {

QString strViewerProgram() {
    const QString env = qEnvironmentVariable("HXPOLLLOG_VIEWER").trimmed();
    if (!env.isEmpty()) return env;
    QSettings settings(QStringLiteral("QX8"), QStringLiteral("QX8"));
    const QString set = settings.value(QStringLiteral("PollLog/Viewer")).toString().trimmed();
    return set.isEmpty() ? QStringLiteral("xdg-open") : set;
}

bool blnViewPollLog(const QString &path) {
    const QString program = strViewerProgram();
    QProcess process;
    process.setProgram(program);
    process.setArguments({path});
    process.setStandardInputFile(QProcess::nullDevice());
    if (process.startDetached()) return true;
    intShowMessage(
        QStringLiteral("frmPollLog"), QStringLiteral("barPollLog"), QStringLiteral("ButtonClick"), path,
        QStringLiteral("View Log"),
        QStringLiteral("The viewer \"%1\" could not be started for %2 (%3). Set HXPOLLLOG_VIEWER to a "
                       "text viewer program.")
            .arg(program, path, process.errorString()),
        Buttons::OkOnly, 0);
    return false;
}

} // namespace hx
