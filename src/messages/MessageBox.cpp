#include "messages/MessageBox.h"

namespace hx {
namespace {
SilentMessageBox g_silent;
MessageBoxFace *g_face = nullptr;
} // namespace

std::vector<int> answersOf(int buttons) {
    switch (buttons & 0x0F) {
    case Buttons::OkCancel:
        return {Answer::Ok, Answer::Cancel};
    case Buttons::AbortRetryIgnore:
        return {Answer::Abort, Answer::Retry, Answer::Ignore};
    case Buttons::YesNoCancel:
        return {Answer::Yes, Answer::No, Answer::Cancel};
    case Buttons::YesNo:
        return {Answer::Yes, Answer::No};
    case Buttons::RetryCancel:
        return {Answer::Retry, Answer::Cancel};
    default:
        return {Answer::Ok};
    }
}

int safeAnswer(int buttons) {
    switch (buttons & 0x0F) {
    case Buttons::OkCancel:
    case Buttons::RetryCancel:
    case Buttons::YesNoCancel:
        return Answer::Cancel;
    case Buttons::AbortRetryIgnore:
        return Answer::Abort;
    case Buttons::YesNo:
        return Answer::No;
    default:
        return Answer::Ok;
    }
}

QString answerName(int answer) {
    switch (answer) {
    case Answer::Ok:
        return QStringLiteral("OK");
    case Answer::Cancel:
        return QStringLiteral("Cancel");
    case Answer::Abort:
        return QStringLiteral("Abort");
    case Answer::Retry:
        return QStringLiteral("Retry");
    case Answer::Ignore:
        return QStringLiteral("Ignore");
    case Answer::Yes:
        return QStringLiteral("Yes");
    case Answer::No:
        return QStringLiteral("No");
    default:
        return QString();
    }
}

int ScriptedMessageBox::show(const QString &title, const QString &prompt, int buttons, int helpId) {
    int answer = safeAnswer(buttons);
    if (!m_answers.empty()) {
        answer = m_answers.front();
        m_answers.pop_front();
    }
    m_shown.push_back({title, prompt, buttons, helpId, answer});
    return answer;
}

int ScriptedMessageBox::count(const QString &title) const {
    int n = 0;
    for (const auto &s : m_shown)
        if (s.title == title) ++n;
    return n;
}

MessageBoxFace &messageBoxFace() {
    return g_face ? *g_face : g_silent;
}

void setMessageBoxFace(MessageBoxFace *face) {
    g_face = face;
}

bool hasMessageBoxFace() {
    return g_face != nullptr;
}

} // namespace hx
