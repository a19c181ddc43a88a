#pragma once
// The one message box interface. Faces: the Qt box of the window, the
// terminal face of the command-line host, the scripted face of the tests. The
// default face shows nothing and gives the safe answer.
#include <QString>
#include <deque>
#include <vector>

namespace hx {

// Answers, as the platform's message box returns them.
namespace Answer {
constexpr int Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7;
}
// Button sets: the low nibble picks the buttons, 16/32/48/64 the symbol.
namespace Buttons {
constexpr int OkOnly = 0, OkCancel = 1, AbortRetryIgnore = 2, YesNoCancel = 3, YesNo = 4, RetryCancel = 5;
constexpr int Critical = 16, Question = 32, Exclamation = 48, Information = 64;
} // namespace Buttons

class MessageBoxFace {
public:
    virtual ~MessageBoxFace() = default;
    // Shows the box and returns the answer (1 to 7).
    virtual int show(const QString &title, const QString &prompt, int buttons, int helpId) = 0;
    // The system beep that precedes a box.
    virtual void beep() {}
};

// The answer that does no harm: No, Cancel, Abort, or OK where OK is all.
int safeAnswer(int buttons);
// The answers a button set offers, in button order.
std::vector<int> answersOf(int buttons);
// "Yes", "No", "OK", … for an answer.
QString answerName(int answer);

class SilentMessageBox : public MessageBoxFace {
public:
    int show(const QString &, const QString &, int buttons, int) override { return safeAnswer(buttons); }
};

// Records every box and answers from a queue (then with the safe answer).
class ScriptedMessageBox : public MessageBoxFace {
public:
    struct Shown {
        QString title;
        QString prompt;
        int buttons;
        int helpId;
        int answer;
    };
    void pushAnswer(int answer) { m_answers.push_back(answer); }
    int show(const QString &title, const QString &prompt, int buttons, int helpId) override;
    const std::vector<Shown> &shown() const { return m_shown; }
    // How many boxes carried that title.
    int count(const QString &title) const;
    void clear() {
        m_shown.clear();
        m_answers.clear();
    }

private:
    std::deque<int> m_answers;
    std::vector<Shown> m_shown;
};

// The face in use; the default is silent. The face is not owned.
MessageBoxFace &messageBoxFace();
void setMessageBoxFace(MessageBoxFace *face);
// Whether a face was installed (else the silent default is in use).
bool hasMessageBoxFace();

} // namespace hx
