// The log writer: whatever the fields of an entry hold, the entry is its
// four or five lines and nothing else.
#include "FuzzSupport.h"
#include "messages/LogFiles.h"

#include <QFile>
#include <cstdint>

using namespace hx;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    static QCoreApplication app(*argc, *argv);
    fuzz::useScratchFolders();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    // First byte: the entry kind and the answer; then five fields split at 0xFF.
    const char *kinds[] = {"M", "E", "N"};
    const QString kind = QString::fromLatin1(kinds[data[0] % 3]);
    const int response = data[0] / 3 % 9;
    const QList<QByteArray> parts =
        QByteArray(reinterpret_cast<const char *>(data) + 1, qsizetype(size) - 1).split('\xff');
    auto part = [&](int i) { return QString::fromUtf8(parts.value(i)); };

    const QString file = strLogFilePath();
    QFile::remove(file);
    subWriteLogEntry(kind, part(0), part(1), response, data[1] % 3, long(data[1]) - 128, part(2), part(3),
                     part(4));
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) fuzz::fail("the entry was not written");
    const QByteArray all = f.readAll();
    // Every line ends with CR LF; no CR or LF stands anywhere else.
    const qsizetype lines = all.count("\r\n");
    fuzz::check(all.count('\r') == lines && all.count('\n') == lines, "no line break inside a line");
    // The header's four lines, then When, Where, What, perhaps Other, and the separator.
    fuzz::check(lines == 8 || lines == 9, "one entry of four or five lines", QString::number(lines));
    fuzz::check(all.endsWith("--------------------------------------\r\n"),
                "the entry ends with its separator");
    return 0;
}
