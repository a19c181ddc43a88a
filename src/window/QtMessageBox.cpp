#include "window/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <memory>

namespace hx {
namespace {
QMessageBox::StandardButton standardButton(int answer) {
    switch (answer) {
    case Answer::Ok:
        return QMessageBox::Ok;
    case Answer::Cancel:
        return QMessageBox::Cancel;
    case Answer::Abort:
        return QMessageBox::Abort;
    case Answer::Retry:
        return QMessageBox::Retry;
    case Answer::Ignore:
        return QMessageBox::Ignore;
    case Answer::Yes:
        return QMessageBox::Yes;
    default:
        return QMessageBox::No;
    }
}

QMessageBox::Icon iconOf(int buttons) {
    switch (buttons & 0x70) {
    case Buttons::Critical:
        return QMessageBox::Critical;
    case Buttons::Question:
        return QMessageBox::Question;
    case Buttons::Exclamation:
        return QMessageBox::Warning;
    case Buttons::Information:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}
} // namespace

QMessageBox *QtMessageBox::build(const QString &title, const QString &prompt, int buttons, QWidget *parent) {
    auto *box = new QMessageBox(parent);
    box->setWindowTitle(title);
    // The prompts break lines with CR LF.
    QString text = prompt;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    box->setText(text);
    box->setIcon(iconOf(buttons));
    const std::vector<int> answers = answersOf(buttons);
    for (int a : answers)
        box->addButton(standardButton(a));
    // 256 and 512 make the second and third button the default one.
    const size_t defaultIndex = (buttons & 0x300) == 0x200 ? 2 : (buttons & 0x300) == 0x100 ? 1 : 0;
    box->setDefaultButton(standardButton(answers[std::min(defaultIndex, answers.size() - 1)]));
    // Escape gives the answer that does no harm; a box with OK alone is closed with OK.
    box->setEscapeButton(box->button(standardButton(safeAnswer(buttons))));
    return box;
}

int QtMessageBox::answerOf(QMessageBox *box) {
    const auto pressed = box->standardButton(box->clickedButton());
    for (int a = Answer::Ok; a <= Answer::No; ++a)
        if (pressed == standardButton(a)) return a;
    return safeAnswer(0);
}

int QtMessageBox::show(const QString &title, const QString &prompt, int buttons, int) {
    std::unique_ptr<QMessageBox> box(build(title, prompt, buttons, QApplication::activeWindow()));
    box->exec();
    const int answer = box->clickedButton() ? answerOf(box.get()) : safeAnswer(buttons);
    return answer;
}

void QtMessageBox::beep() {
    QApplication::beep();
}

} // namespace hx
