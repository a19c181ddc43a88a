// Connection strings and data-link files: any text is a connection or a
// reason why not, and what the driver is handed says exactly that connection.
#include "FuzzSupport.h"
#include "component/Database.h"
#include "component/modGlobal.h"

#include <QFile>
#include <cstdint>
#include <libpq-fe.h>

using namespace hx;

namespace {
// The connection string the driver makes of a PostgreSQL target (its own
// fields quoted, then the connect options with every ";" as a blank), read
// back by libpq, holds the target's values and nothing else.
void checkDriverText(const ConnectionSpec &target, const QString &text) {
    QString error;
    const std::optional<QString> options = driverConnectOptions(target, &error);
    fuzz::check(options.has_value(), "a parsed target can be handed to the driver", text);
    QString conninfo;
    for (QStringView field : {u"host", u"dbname", u"user", u"password"}) {
        const QString value = target.option(field);
        if (!value.isEmpty())
            conninfo += QLatin1Char(' ') + field.toString() + QLatin1Char('=') + quoteConnectionOption(value);
    }
    conninfo += QLatin1Char(' ') + QString(*options).replace(QLatin1Char(';'), QLatin1Char(' '));
    char *why = nullptr;
    PQconninfoOption *parsed = PQconninfoParse(conninfo.toUtf8().constData(), &why);
    PQfreemem(why);
    fuzz::check(parsed != nullptr, "libpq reads the driver's connection string", text);
    ConnectionSpec back;
    for (const PQconninfoOption *o = parsed; o->keyword; ++o)
        if (o->val) back.setOption(QString::fromUtf8(o->keyword), QString::fromUtf8(o->val));
    PQconninfoFree(parsed);
    for (const auto &[keyword, value] : target.options)
        fuzz::check(back.option(keyword) == value || (value.isEmpty() && !back.hasOption(keyword)),
                    "a value reaches libpq as given", text);
    for (const auto &[keyword, value] : back.options)
        fuzz::check(target.hasOption(keyword) || keyword == QLatin1String("connect_timeout"),
                    "no value adds a keyword", text);
}

void parseOne(const QString &text) {
    QString error;
    const auto target = ConnectionSpec::parse(text, QStringLiteral("/base"), &error);
    if (!target) {
        fuzz::check(!error.isEmpty(), "a refused connection string says why", text);
        return;
    }
    if (target->engine == Engine::SQLite) {
        fuzz::check(!target->sqliteFile.isEmpty(), "an SQLite connection names its file", text);
        return;
    }
    for (const QString &port : target->option(u"port").split(QLatin1Char(','))) {
        bool ok = port.trimmed().isEmpty();
        const int n = ok ? 1 : port.trimmed().toInt(&ok);
        fuzz::check(ok && n > 0 && n <= 65535, "a PostgreSQL port is a port", text);
    }
    checkDriverText(*target, text);
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
