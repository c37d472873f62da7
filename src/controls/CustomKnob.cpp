#include "controls/CustomKnob.h"

#include "controls/DesignScale.h"
#include "controls/KnobFaceGeometry.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>
#include <numbers>

namespace fk {

TCustomKnob::TCustomKnob(QWidget* parent)
    : QWidget(parent)
    , pen_(Qt::black)
    , brush_(Qt::white)
{
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    const int size = TDesignScale::ForWidget(this)(DefaultSize);
    resize(size, size);
}

double TCustomKnob::Angle() const noexcept
{
    return angle_ * 180.0 / std::numbers::pi;
}

void TCustomKnob::SetAngle(double degrees)
{
    angle_ = degrees * std::numbers::pi / 180.0;
    update();
}

void TCustomKnob::SetPen(const QPen& pen)
{
    pen_ = pen;
    update();
}

void TCustomKnob::SetBrush(const QBrush& brush)
{
    brush_ = brush;
    update();
}

QSize TCustomKnob::sizeHint() const
{
    const int size = TDesignScale::ForWidget(this)(DefaultSize);
    return QSize(size, size);
}

void TCustomKnob::paintEvent(QPaintEvent*)
{
    const int w = width();
    const int h = height();
    if (w == 0 || h == 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Pen widths are design pixels: thicker where the screen's density is higher.
    const double scale = TDesignScale::ForWidget(this).Factor();
    QPen pen = pen_;
    const double rim = std::max(1.0, pen.widthF()) * scale;
    pen.setWidthF(rim);
    painter.setPen(pen);
    painter.setBrush(brush_);
    // The ellipse over (0, 0, w, h) with its outline inside the control.
    painter.drawEllipse(QRectF(rim / 2, rim / 2, w - rim, h - rim));
    // The pointer between the rounded pixel points of the design, 2 pixels wide.
    pen.setWidthF(2 * scale);
    pen.setCapStyle(Qt::FlatCap);
    painter.setPen(pen);
    // An even width centred on the pixel corners covers whole pixels: the line stays crisp.
    painter.drawLine(TKnobFaceGeometry::PointerLine(w, h, angle_));
}

void TCustomKnob::Press(QMouseEvent* event)
{
    if (window() && !window()->isActiveWindow())
        OnMouseActivate.Invoke(this);
    const QPoint p = event->position().toPoint();
    OnMouseDown.Invoke(this, event->button(), event->buttons(), event->modifiers(), p.x(), p.y());
}

void TCustomKnob::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        clicked_ = true;
    Press(event);
}

void TCustomKnob::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click: the double click, then the press itself (which
    // makes no further click on its release).
    if (event->button() == Qt::LeftButton) {
        clicked_ = false;
        OnDblClick.Invoke(this);
    }
    Press(event);
}

void TCustomKnob::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    OnMouseMove.Invoke(this, event->buttons(), event->modifiers(), p.x(), p.y());
}

void TCustomKnob::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    // As on a button: the click comes before the release is reported.
    if (event->button() == Qt::LeftButton && clicked_) {
        clicked_ = false;
        if (rect().contains(p))
            OnClick.Invoke(this);
    }
    OnMouseUp.Invoke(this, event->button(), event->buttons(), event->modifiers(), p.x(), p.y());
}

void TCustomKnob::enterEvent(QEnterEvent*)
{
    OnMouseEnter.Invoke(this);
}

void TCustomKnob::leaveEvent(QEvent*)
{
    OnMouseLeave.Invoke(this);
}

} // namespace fk
