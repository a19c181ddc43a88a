#pragma once
// Shared pieces of the fuzz targets: a scratch folder that lives as long as
// the process, the core's paths pointed into it, and a check that aborts so
// that libFuzzer keeps the input.
#include "component/modGlobal.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace hx::fuzz {

inline QTemporaryDir &scratch() {
    static QTemporaryDir dir;
    return dir;
}

// Sets the component's folders to app/, polllogs/ and logs/ in the scratch folder.
inline void useScratchFolders() {
    QDir d(scratch().path());
    for (const char *folder : {"app", "polllogs", "logs"})
        d.mkpath(QLatin1String(folder));
    subSetApplicationPath(d.filePath(QStringLiteral("app")));
    subSetPollLogPath(d.filePath(QStringLiteral("polllogs")));
    subSetErrorLogPath(d.filePath(QStringLiteral("logs")));
}

// The log of the error reports grows with every input; keep it small.
inline void trimLog() {
    static int calls = 0;
    if (++calls % 256 == 0) QFile::remove(QDir(strGetErrorLogPath()).filePath(QStringLiteral("QX8log.txt")));
}

[[noreturn]] inline void fail(const char *what, const QString &detail = QString()) {
    std::fprintf(stderr, "fuzz check failed: %s %s\n", what, detail.toLocal8Bit().constData());
    std::abort();
}

inline void check(bool condition, const char *what, const QString &detail = QString()) {
    if (!condition) fail(what, detail);
}

} // namespace hx::fuzz
