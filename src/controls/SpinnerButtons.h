#pragma once
// The spinner's up/down buttons: drawn with the current style's spin-box arrows, stepping on a
// press and again while held (at the style's auto-repeat delay and rate), and feeding the
// mouse into the spinner's logic, which turns a vertical drag into a position.
#include <QPoint>
#include <QTimer>
#include <QWidget>

namespace fk {

class TSpinnerLogic;

class TSpinnerButtons : public QWidget {
public:
    TSpinnerButtons(TSpinnerLogic& logic, QWidget* parent);

    // Moves the pointer dy pixels vertically from where the last mouse event put it; returns
    // the distance it really moved (0 where the platform refuses to move the pointer).
    int MoveCursorBy(int dy);
    QSize sizeHint() const override;
    // Lets go of a held button without a release: no further step, the button drawn raised.
    void CancelPress();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    enum THalf { hNone, hUp, hDown };
    THalf HalfAt(const QPoint& pos) const;
    void Repeat();

    TSpinnerLogic& logic_;
    QTimer repeat_;
    THalf pressed_ = hNone;
    QPoint lastGlobal_; // the pointer on the screen at the last mouse event
};

} // namespace fk
