#include "controls/KnobPart.h"

#include <QMouseEvent>

namespace fk {

TKnobPart::TKnobPart(QWidget* parent)
    : QWidget(parent)
{
    setMouseTracking(true);
}

void TKnobPart::ReportPress(const QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    OnMouseDown.Invoke(this, event->button(), event->buttons(), event->modifiers(), p.x(), p.y());
}

void TKnobPart::ReportRelease(const QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    OnMouseUp.Invoke(this, event->button(), event->buttons(), event->modifiers(), p.x(), p.y());
}

void TKnobPart::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    OnMouseMove.Invoke(this, event->buttons(), event->modifiers(), p.x(), p.y());
}

} // namespace fk
