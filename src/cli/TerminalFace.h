#pragma once
// The message box face of the command-line host: every box is printed to
// standard error (title, then the prompt); a box with a choice is answered by
// the command's --yes or --no, else asked on standard input when that is a
// terminal, else given the safe answer (No, Cancel, Abort). Answers are the
// numbers 1 to 7 that the log records.
#include "messages/MessageBox.h"

#include <QString>
#include <cstdio>
#include <optional>

namespace hx::cli {

enum class PresetAnswer { None, Yes, No };

class TerminalMessageBox : public MessageBoxFace {
public:
    explicit TerminalMessageBox(std::FILE *out = stderr, std::FILE *in = stdin);

    void setPreset(PresetAnswer preset) { m_preset = preset; }
    PresetAnswer preset() const { return m_preset; }
    // Whether questions may be asked on the input; unset decides by whether
    // the input is a terminal.
    void setInteractive(std::optional<bool> interactive) { m_interactive = interactive; }
    // Quiet: only boxes that report a failure, and questions asked on the terminal.
    void setQuiet(bool quiet) { m_quiet = quiet; }

    int show(const QString &title, const QString &prompt, int buttons, int helpId) override;

    // The answer a preset gives for a button set: --yes takes Yes, else OK,
    // else Retry; --no takes No, else the safe answer.
    static int presetAnswer(PresetAnswer preset, int buttons);
    // Reads a typed answer: a name or its first letters ("y", "yes", "OK"),
    // or its number (6); nullopt when it names none of the offered answers.
    static std::optional<int> parseAnswer(const QString &typed, int buttons);

private:
    bool interactive() const;
    void write(const QString &text);

    std::FILE *m_out;
    std::FILE *m_in;
    PresetAnswer m_preset = PresetAnswer::None;
    std::optional<bool> m_interactive;
    bool m_quiet = false;
    bool m_muted = false;
    long m_errorsSeen = 0;
};

// The process-wide terminal face, made the message box face of the program.
// Installing it again changes nothing; commands set its preset.
TerminalMessageBox &installTerminalFace();

} // namespace hx::cli
