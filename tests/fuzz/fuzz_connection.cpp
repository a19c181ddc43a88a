// Connection strings and data-link files: any text is a connection or a
// reason why not, and a connection names what it needs.
#include "FuzzSupport.h"
#include "component/Database.h"
#include "component/modGlobal.h"

#include <QFile>
#include <cstdint>

using namespace hx;

namespace {
void parseOne(const QString &text) {
    QString error;
    const auto target = ConnectionSpec::parse(text, QStringLiteral("/base"), &error);
    if (!target) {
        fuzz::check(!error.isEmpty(), "a refused connection string says why", text);
        return;
    }
    if (target->engine == Engine::SQLite) {
        fuzz::check(!target->sqliteFile.isEmpty(), "an SQLite connection names its file", text);
    } else {
        fuzz::check(!target->database.isEmpty(), "a PostgreSQL connection names its database", text);
        fuzz::check(target->port > 0 && target->port <= 65535, "a PostgreSQL port is a port", text);
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    parseOne(QString::fromUtf8(bytes));

    // The same bytes as a data-link file, in whatever encoding its mark says.
    const QString path = QDir(fuzz::scratch().path()).filePath(QStringLiteral("site.udl"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) fuzz::fail("cannot write the data link");
        f.write(bytes);
    }
    QString error;
    if (const auto text = dataLinkConnectionString(path, &error)) {
        fuzz::check(!text->isEmpty(), "a data link gives a line", *text);
        parseOne(*text);
    } else {
        fuzz::check(!error.isEmpty(), "an empty data link says why");
    }
    return 0;
}
