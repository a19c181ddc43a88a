#include "cli/TerminalFace.h"

#include "cli/TerminalProgress.h"
#include "messages/LogFiles.h"

#include <QStringList>
#include <unistd.h>

namespace hx::cli {
namespace {
QString choices(const std::vector<int> &answers) {
    QStringList names;
    for (int a : answers)
        names << answerName(a);
    return names.join(QLatin1Char('/'));
}

bool offers(int buttons, int answer) {
    for (int a : answersOf(buttons))
        if (a == answer) return true;
    return false;
}

// One line of input without its line end; nullopt at end of input.
std::optional<QString> readLine(std::FILE *in) {
    QByteArray line;
    int c;
    while ((c = std::fgetc(in)) != EOF) {
        if (c == '\n') return QString::fromLocal8Bit(line);
        line.append(char(c));
    }
    if (line.isEmpty()) return std::nullopt;
    return QString::fromLocal8Bit(line);
}
} // namespace

TerminalMessageBox::TerminalMessageBox(std::FILE *out, std::FILE *in) : m_out(out), m_in(in) {}

int TerminalMessageBox::presetAnswer(PresetAnswer preset, int buttons) {
    if (preset == PresetAnswer::Yes) {
        for (int a : {Answer::Yes, Answer::Ok, Answer::Retry})
            if (offers(buttons, a)) return a;
    } else if (preset == PresetAnswer::No && offers(buttons, Answer::No)) {
        return Answer::No;
    }
    return safeAnswer(buttons);
}

std::optional<int> TerminalMessageBox::parseAnswer(const QString &typed, int buttons) {
    const QString t = typed.trimmed();
    if (t.isEmpty()) return std::nullopt;
    bool isNumber = false;
    const int n = t.toInt(&isNumber);
    if (isNumber) return offers(buttons, n) ? std::optional<int>(n) : std::nullopt;
    std::optional<int> found;
    for (int a : answersOf(buttons)) {
        if (answerName(a).startsWith(t, Qt::CaseInsensitive)) {
            if (found) return std::nullopt; // ambiguous
            found = a;
        }
    }
    return found;
}

bool TerminalMessageBox::interactive() const {
    if (m_interactive) return *m_interactive;
    return isatty(fileno(m_in)) == 1;
}

void TerminalMessageBox::write(const QString &text) {
    if (m_muted) return;
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
    std::fflush(m_out);
}

int TerminalMessageBox::show(const QString &title, const QString &prompt, int buttons, int) {
    const std::vector<int> answers = answersOf(buttons);
    // --quiet keeps the boxes that report a failure and the questions asked here.
    const bool asks = answers.size() > 1 && m_preset == PresetAnswer::None && interactive();
    // Reporters count an error before they show its box.
    const long errors = lngReportedErrors();
    const bool failure = errors != m_errorsSeen || (buttons & 0x70) == Buttons::Critical ||
                         title.contains(QLatin1String("error"), Qt::CaseInsensitive);
    m_errorsSeen = errors;
    m_muted = m_quiet && !asks && !failure;
    if (!m_muted) eraseLiveLine();
    QString body = prompt;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    body.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    write(QStringLiteral("[") + title + QStringLiteral("]\n") + body + QLatin1Char('\n'));

    if (answers.size() == 1) return answers.front();

    if (m_preset != PresetAnswer::None) {
        const int a = presetAnswer(m_preset, buttons);
        write(QStringLiteral("%1? %2 (%3)\n")
                  .arg(choices(answers), answerName(a),
                       m_preset == PresetAnswer::Yes ? QStringLiteral("--yes") : QStringLiteral("--no")));
        return a;
    }
    if (interactive()) {
        for (;;) {
            write(choices(answers) + QStringLiteral("? "));
            const std::optional<QString> line = readLine(m_in);
            if (!line) {
                const int a = safeAnswer(buttons);
                write(QStringLiteral("\n%1 (end of input)\n").arg(answerName(a)));
                return a;
            }
            // An empty answer takes the safe one, as a box's default should.
            if (line->trimmed().isEmpty()) {
                const int a = safeAnswer(buttons);
                write(answerName(a) + QLatin1Char('\n'));
                return a;
            }
            if (auto a = parseAnswer(*line, buttons)) return *a;
            write(QStringLiteral("Please answer %1 (or the number of the answer).\n").arg(choices(answers)));
        }
    }
    const int a = safeAnswer(buttons);
    write(QStringLiteral("%1? %2 (no terminal to ask: the safe answer)\n")
              .arg(choices(answers), answerName(a)));
    return a;
}

TerminalMessageBox &installTerminalFace() {
    static TerminalMessageBox face;
    setMessageBoxFace(&face);
    return face;
}

} // namespace hx::cli
