// The conventions every command shares: the error style, --quiet, one
// QCommandLineParser per command with its --help, the suggestion for a
// mistyped name.
#include "cli/Commands.h"

#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace hx::cli {
namespace {
Verbosity g_verbosity = Verbosity::Normal;
SiteSettings g_settings;

void toStderr(const QString &text) {
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

int editDistance(const QString &a, const QString &b) {
    std::vector<int> row(size_t(b.size()) + 1);
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[size_t(j)];
            row[size_t(j)] = std::min({above + 1, row[size_t(j - 1)] + 1,
                                       diagonal + (a[i - 1].toLower() == b[j - 1].toLower() ? 0 : 1)});
            diagonal = above;
        }
    }
    return row.back();
}
// Qt prints the description as it is; lines of at most 79 columns.
QString wrapped(const QString &text) {
    QString out, line;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > 79) {
            out += line + QLatin1Char('\n');
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    return out + line;
}
} // namespace

void setVerbosity(Verbosity v) {
    g_verbosity = v;
}
Verbosity verbosity() {
    return g_verbosity;
}

void printError(const QString &text) {
    toStderr(QStringLiteral("hxpolllog: error: ") + text + QLatin1Char('\n'));
}

void printNote(const QString &text) {
    if (g_verbosity != Verbosity::Quiet) toStderr(QStringLiteral("hxpolllog: ") + text + QLatin1Char('\n'));
}

int usageError(const QString &command, const QString &why) {
    printError(why);
    toStderr(command.isEmpty() ? QStringLiteral("Try 'hxpolllog --help'.\n")
                               : QStringLiteral("Try 'hxpolllog %1 --help'.\n").arg(command));
    return 2;
}

std::optional<int> parseCommandLine(QCommandLineParser &parser, const QString &command,
                                    const QString &synopsis, const QStringList &args) {
    // Not addHelpOption: its --help-all would pass unnoticed through parse().
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Print this help."));
    parser.addOption(help);
    if (!parser.parse(QStringList{QStringLiteral("hxpolllog ") + command} + args))
        return usageError(command, parser.errorText());
    if (parser.isSet(help)) {
        parser.setApplicationDescription(wrapped(parser.applicationDescription()));
        // Qt's first line names the program by its path; ours names the command.
        QTextStream(stdout)
            << "Usage: hxpolllog [global options] " << command
            << (synopsis.isEmpty() ? QString() : QLatin1Char(' ') + synopsis) << '\n'
            << parser.helpText().section(QLatin1Char('\n'), 1)
            << "\nGlobal options (--db, --app-dir, --poll-dir, --log-dir, --config, --now,\n"
               "--quiet, --verbose) go before or after the command; see 'hxpolllog --help'.\n";
        return 0;
    }
    return std::nullopt;
}

const SiteSettings &activeSettings() {
    return g_settings;
}
void setActiveSettings(const SiteSettings &settings) {
    g_settings = settings;
}

QString closestName(const QString &typed, const QStringList &names) {
    QString best;
    int bestDistance = std::max<int>(2, int(typed.size()) / 3) + 1;
    for (const QString &n : names) {
        const int d = editDistance(typed, n);
        if (d < bestDistance) {
            bestDistance = d;
            best = n;
        }
    }
    return best;
}

} // namespace hx::cli
