#pragma once
// Runs a message box of the configurator's windows and reports it to the diagnostic trace
// once it is closed: a box with one button as a "message", any other as a "question" with
// the answer given ("ok", "yes", "no", "cancel", or the caption of another button).
// Every message box of the window and its dialogs goes through Exec (or Show).
#include <QMessageBox>

namespace fk {

class TTracedMessageBox {
public:
    // box.exec(), traced; returns what exec returned.
    static int Exec(QMessageBox& box);
    // Shows a box that does not wait for its answer (non-modal), traced as a message when shown.
    static void Show(QMessageBox* box);
    // The trace's name of the button that closed box.
    static QString AnswerName(const QMessageBox& box, int result);
};

} // namespace fk
