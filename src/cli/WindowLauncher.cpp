// In hxpolllog: the drawing commands run in hxpolllog-window, which takes
// this process's place with the same arguments.
#include "cli/Commands.h"
#include "cli/WindowProgram.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace hx::cli {
namespace {
char **gArguments = nullptr;

// Beside this program in the build tree; installed, in its own folder of
// the library executables.
QString windowProgramPath() {
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString &candidate :
         {here.filePath(QStringLiteral("hxpolllog-window")),
          QDir::cleanPath(here.filePath(QStringLiteral(HX_BIN_TO_LIBEXEC "/hxpolllog-window")))})
        if (QFileInfo(candidate).isExecutable()) return candidate;
    return QString();
}
} // namespace

bool blnHandsOverToWindowProgram(const QString &command, const QStringList &args) {
    if (command == QLatin1String("show") || command == QLatin1String("print")) return true;
    if (command != QLatin1String("report")) return false;
    for (const QString &a : args) {
        if (a == QLatin1String("--")) break;
        if (a == QLatin1String("--pdf") || a.startsWith(QLatin1String("--pdf="))) return true;
    }
    return false;
}

void rememberArguments(char **argv) {
    gArguments = argv;
}

int runWindowProgram() {
    const QString path = windowProgramPath();
    if (path.isEmpty() || !gArguments) {
        printError(QStringLiteral("hxpolllog-window was not found beside hxpolllog or in %1; the window, "
                                  "print and report --pdf need it.")
                       .arg(QDir::cleanPath(QDir(QCoreApplication::applicationDirPath())
                                                .filePath(QStringLiteral(HX_BIN_TO_LIBEXEC)))));
        return 1;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const QByteArray file = QFile::encodeName(path);
    ::execv(file.constData(), gArguments);
    printError(QStringLiteral("cannot run %1: %2.").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    return 1;
}

int cmdShow(const QStringList &) {
    return runWindowProgram();
}
int cmdPrint(const QStringList &) {
    return runWindowProgram();
}

std::unique_ptr<QCoreApplication> makeDrawingApplication(const QString &, int &, char **) {
    return nullptr;
}

bool blnWriteExceptionsPdf(const ExceptionsReport &, const QString &, QString *why) {
    // main hands report --pdf to hxpolllog-window before it gets here.
    if (why) *why = QStringLiteral("report --pdf runs in hxpolllog-window.");
    return false;
}

} // namespace hx::cli
