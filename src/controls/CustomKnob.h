#pragma once
// A plain round knob face: an ellipse filling the control with a pointer line at an angle.
// The knob control (TKnob) uses two of them, a fixed background disc and the face that turns.
// The face paints on its parent's background (no fill of its own outside the ellipse).
#include "platform/Event.h"

#include <QBrush>
#include <QPen>
#include <QWidget>

namespace fk {

class TCustomKnob : public QWidget, public TObject {
public:
    // (Sender, button, buttons held, keyboard modifiers, x, y); points in the face's pixels.
    using TMouseEvent = TEvent<TObject*, Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers, int, int>;
    // (Sender, buttons held, keyboard modifiers, x, y).
    using TMouseMoveEvent = TEvent<TObject*, Qt::MouseButtons, Qt::KeyboardModifiers, int, int>;

    // Design size of a face (pixels at 96 dpi).
    static constexpr int DefaultSize = 24;

    explicit TCustomKnob(QWidget* parent = nullptr);

    // Degrees, counter-clockwise, 0 = pointing right (stored in radians).
    double Angle() const noexcept;
    void SetAngle(double degrees);
    const QPen& Pen() const noexcept { return pen_; }
    void SetPen(const QPen& pen);
    const QBrush& Brush() const noexcept { return brush_; }
    void SetBrush(const QBrush& brush);

    QSize sizeHint() const override;

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    // A press on the face while its window is not the active one (it is activated by the press).
    TNotifyEvent OnMouseActivate;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void Press(QMouseEvent* event);

    double angle_ = 0.0; // radians
    QPen pen_;
    QBrush brush_;
    bool clicked_ = false; // a left press that a release inside the face makes a click
};

} // namespace fk
