#pragma once
// The message box face of the window: a QMessageBox with the buttons and the
// symbol of the button set, answering 1 to 7, preceded by the system beep.
#include "messages/MessageBox.h"

class QMessageBox;
class QWidget;

namespace hx {

class QtMessageBox : public MessageBoxFace {
public:
    // Boxes are centred on the active window, or on the screen.
    int show(const QString &title, const QString &prompt, int buttons, int helpId) override;
    void beep() override;

    // The box show() runs, built but not shown (for its looks and its tests).
    static QMessageBox *build(const QString &title, const QString &prompt, int buttons, QWidget *parent);
    // The answer of a box built by build() after it has run.
    static int answerOf(QMessageBox *box);
};

} // namespace hx
