#pragma once
// A part of the knob that reports the mouse (the faces and the spin buttons): presses,
// moves and releases as events in the part's own pixels, with the button, the buttons held
// and the keyboard modifiers.
#include "platform/Event.h"

#include <QWidget>

class QMouseEvent;

namespace fk {

class TKnobPart : public QWidget, public TObject {
public:
    // (Sender, button, buttons held, keyboard modifiers, x, y).
    using TMouseEvent = TEvent<TObject*, Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers, int, int>;
    // (Sender, buttons held, keyboard modifiers, x, y).
    using TMouseMoveEvent = TEvent<TObject*, Qt::MouseButtons, Qt::KeyboardModifiers, int, int>;

    explicit TKnobPart(QWidget* parent = nullptr);

    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;

protected:
    void ReportPress(const QMouseEvent* event);
    void ReportRelease(const QMouseEvent* event);
    void mouseMoveEvent(QMouseEvent* event) override;
};

} // namespace fk
