#include "import/PollLogViewer.h"

#include "component/SiteSettings.h"
#include "messages/LogFiles.h"
#include "messages/MessageBox.h"

#include <QProcess>
#include <QSettings>

namespace hx {

QStringList viewerCommand() {
    const QString candidates[] = {
        qEnvironmentVariable("HXPOLLLOG_VIEWER"),
        strSettingsViewer(),
        QSettings(QStringLiteral("QX8"), QStringLiteral("QX8"))
            .value(QStringLiteral("PollLog/Viewer"))
            .toString(),
        qEnvironmentVariable("VISUAL"),
    };
    for (const QString &c : candidates) {
        const QStringList words = QProcess::splitCommand(c);
        if (!words.isEmpty()) return words;
    }
    return {QStringLiteral("xdg-open")};
}

bool blnViewPollLog(const QString &path) {
    QStringList command = viewerCommand();
    QProcess process;
    process.setProgram(command.takeFirst());
    process.setArguments(command << path);
    process.setStandardInputFile(QProcess::nullDevice());
    if (process.startDetached()) return true;
    intShowMessage(
        QStringLiteral("frmPollLog"), QStringLiteral("barPollLog"), QStringLiteral("ButtonClick"), path,
        QStringLiteral("View Log"),
        QStringLiteral("The viewer \"%1\" could not be started for %2 (%3). Set HXPOLLLOG_VIEWER to a "
                       "text viewer program.")
            .arg(process.program(), path, process.errorString()),
        Buttons::OkOnly, 0);
    return false;
}

} // namespace hx
