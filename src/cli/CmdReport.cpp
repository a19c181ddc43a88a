// report exceptions: what to look at after an import, as text, JSON or PDF.
#include "cli/Commands.h"
#include "cli/WindowProgram.h"
#include "component/DateTime.h"
#include "component/Error.h"
#include "component/modGlobal.h"
#include "hours/ExceptionsReport.h"

#include <algorithm>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTextStream>

namespace hx::cli {
namespace {
const char *const kUsage =
    "report exceptions [--since DATE] [--until DATE] [--longer-than HOURS] [--pdf FILE | --json]";

int usage(const QString &why) {
    if (!why.isEmpty()) printError(why);
    printError(QStringLiteral("usage: hxpolllog [global options] %1").arg(QLatin1String(kUsage)));
    return 2;
}

std::optional<double> isoDay(const QString &text) {
    const QDate d = QDate::fromString(text, Qt::ISODate);
    if (!d.isValid()) return std::nullopt;
    return fromQDate(d);
}

void printText(const ExceptionsReport &report) {
    QTextStream out(stdout);
    out << exceptionsTitle(report) << '\n';
    for (const ExceptionsSection &s : exceptionsSections(report)) {
        const QString indent = s.sub ? QStringLiteral("  ") : QString();
        out << '\n' << indent << s.heading << '\n';
        for (const QStringList &row : s.rows) {
            QString line = indent + QStringLiteral("  %1  %2  %3  %4  %5")
                                        .arg(row.value(0), -10)
                                        .arg(row.value(1), -28)
                                        .arg(row.value(2), -11)
                                        .arg(row.value(3), -36)
                                        .arg(row.value(4));
            while (line.endsWith(u' '))
                line.chop(1);
            out << line << '\n';
        }
    }
}
} // namespace

int cmdReport(const QStringList &args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "report exceptions: what to look at after an import, for a range of days (by default from the "
        "earliest punch of the last saved import to today): pairs without an out punch on days before "
        "today, pairs with error codes by code, schedule violations, pairs longer than a number of hours, "
        "badges of no employee and refused access events. Text, --json or --pdf FILE."));
    parser.addPositionalArgument(QStringLiteral("exceptions"), QStringLiteral("The report."));
    const QCommandLineOption since(QStringLiteral("since"), QStringLiteral("First day (YYYY-MM-DD)."),
                                   QStringLiteral("date"));
    const QCommandLineOption until(QStringLiteral("until"), QStringLiteral("Last day (YYYY-MM-DD)."),
                                   QStringLiteral("date"));
    const QCommandLineOption longer(QStringLiteral("longer-than"),
                                    QStringLiteral("Pairs longer than this many hours (default 16)."),
                                    QStringLiteral("hours"));
    const QCommandLineOption pdf(QStringLiteral("pdf"), QStringLiteral("Write the printed report."),
                                 QStringLiteral("file"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print one JSON object."));
    parser.addOptions({since, until, longer, pdf, json});
    if (auto done = parseCommandLine(parser, QStringLiteral("report"),
                                     QStringLiteral("exceptions [--since DATE] [--until DATE] [--longer-than HOURS] "
                                                    "[--pdf FILE | --json]"),
                                     args))
        return *done;
    const QStringList positional = parser.positionalArguments();
    if (positional != QStringList{QStringLiteral("exceptions")})
        return usage(positional.isEmpty()
                         ? QStringLiteral("report needs the report's name: exceptions.")
                         : QStringLiteral("unknown report \"%1\".").arg(positional.join(u' ')));
    if (parser.isSet(pdf) && parser.isSet(json))
        return usage(QStringLiteral("--pdf and --json exclude each other."));

    auto [from, to] = defaultExceptionsRange();
    for (const auto &[option, day] : {std::pair{&since, &from}, std::pair{&until, &to}}) {
        if (!parser.isSet(*option)) continue;
        const auto value = isoDay(parser.value(*option));
        if (!value)
            return usage(QStringLiteral("--%1 takes a date YYYY-MM-DD, not \"%2\".")
                             .arg(option->names().first(), parser.value(*option)));
        *day = *value;
    }
    if (from > to) return usage(QStringLiteral("--since is after --until."));
    double hours = kDefaultLongerThanHours;
    if (parser.isSet(longer)) {
        bool ok = false;
        hours = parser.value(longer).toDouble(&ok);
        if (!ok || !(hours > 0) || hours > 24 * 366)
            return usage(QStringLiteral("--longer-than takes a number of hours above 0, not \"%1\".")
                             .arg(parser.value(longer)));
    }

    if (!openSession()) return 1;
    // By default from the earliest punch of the last saved import.
    if (!parser.isSet(since)) from = std::min(defaultExceptionsRange(gConn.get()).first, to);
    ExceptionsReport report;
    try {
        report = collectExceptions(*gConn, from, to, hours);
    } catch (const std::exception &e) {
        printError(QStringLiteral("the report could not be read: %1").arg(errorDescription(e)));
        closeSession();
        return 1;
    }
    closeSession();

    if (parser.isSet(pdf)) {
        QString why;
        if (!blnWriteExceptionsPdf(report, QFileInfo(parser.value(pdf)).absoluteFilePath(), &why)) {
            printError(why);
            return 1;
        }
    } else if (parser.isSet(json)) {
        QTextStream(stdout) << QJsonDocument(exceptionsJson(report)).toJson(QJsonDocument::Indented);
    } else {
        printText(report);
    }
    return 0;
}

} // namespace hx::cli
