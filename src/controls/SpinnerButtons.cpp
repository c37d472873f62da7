#include "controls/SpinnerButtons.h"

#include "controls/SpinnerLogic.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>

namespace fk {

TSpinnerButtons::TSpinnerButtons(TSpinnerLogic& logic, QWidget* parent)
    : QWidget(parent)
    , logic_(logic)
{
    setFocusPolicy(Qt::NoFocus);
    repeat_.setSingleShot(false);
    connect(&repeat_, &QTimer::timeout, this, &TSpinnerButtons::Repeat);
}

QSize TSpinnerButtons::sizeHint() const
{
    return QSize(15, 21);
}

void TSpinnerButtons::CancelPress()
{
    repeat_.stop();
    if (pressed_ != hNone) {
        pressed_ = hNone;
        update();
    }
}

TSpinnerButtons::THalf TSpinnerButtons::HalfAt(const QPoint& pos) const
{
    if (!rect().contains(pos))
        return hNone;
    return pos.y() < height() / 2 ? hUp : hDown;
}

void TSpinnerButtons::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int upHeight = height() / 2;
    const QRect halves[2] = {QRect(0, 0, width(), upHeight), QRect(0, upHeight, width(), height() - upHeight)};
    for (int i = 0; i < 2; ++i) {
        const bool sunken = pressed_ == (i == 0 ? hUp : hDown) && !logic_.Dragging();
        QStyleOptionButton bevel;
        bevel.initFrom(this);
        bevel.rect = halves[i];
        bevel.state |= sunken ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &bevel, &painter, this);

        QStyleOptionSpinBox arrow;
        arrow.initFrom(this);
        arrow.rect = halves[i].adjusted(2, 1, -2, -1);
        arrow.frame = false;
        arrow.subControls = i == 0 ? QStyle::SC_SpinBoxUp : QStyle::SC_SpinBoxDown;
        if (sunken) {
            arrow.state |= QStyle::State_Sunken;
            arrow.activeSubControls = arrow.subControls;
        }
        style()->drawPrimitive(i == 0 ? QStyle::PE_IndicatorSpinUp : QStyle::PE_IndicatorSpinDown, &arrow,
                               &painter, this);
    }
}

void TSpinnerButtons::mousePressEvent(QMouseEvent* event)
{
    lastGlobal_ = event->globalPosition().toPoint();
    const int y = event->position().toPoint().y();
    if (event->button() == Qt::LeftButton) {
        // The buttons take no focus; a click gives it to the spinner's edit.
        if (QWidget* spinner = parentWidget(); spinner && !spinner->hasFocus() && spinner->isEnabled())
            spinner->setFocus(Qt::MouseFocusReason);
        pressed_ = HalfAt(event->position().toPoint());
        if (pressed_ != hNone) {
            // The button steps first, as an up/down control does on its press; then the press
            // starts a hold that a drag may turn into a track.
            logic_.SpinChanging(pressed_ == hUp);
            repeat_.start(style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatThreshold, nullptr, this));
        }
        update();
    }
    logic_.SpinMouseDown(event->button(), event->buttons(), y);
    event->accept();
}

void TSpinnerButtons::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A quick second click is a second press.
    mousePressEvent(event);
}

void TSpinnerButtons::Repeat()
{
    if (pressed_ == hNone || logic_.Dragging()) {
        repeat_.stop();
        update();
        return;
    }
    repeat_.setInterval(style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatRate, nullptr, this));
    if (HalfAt(mapFromGlobal(QCursor::pos(screen()))) == pressed_)
        logic_.SpinChanging(pressed_ == hUp);
}

void TSpinnerButtons::mouseMoveEvent(QMouseEvent* event)
{
    lastGlobal_ = event->globalPosition().toPoint();
    const QScreen* s = screen();
    const QRect screenRect = s ? s->geometry() : QRect(0, 0, 1, 1);
    TSpinnerLogic::TPointer pointer;
    pointer.y = event->position().toPoint().y();
    pointer.screenY = lastGlobal_.y();
    pointer.screenTop = screenRect.top();
    pointer.screenHeight = screenRect.height();
    pointer.buttonsHeight = height();
    const bool wasDragging = logic_.Dragging();
    logic_.SpinMouseMove(pointer);
    if (wasDragging != logic_.Dragging())
        update();
    event->accept();
}

void TSpinnerButtons::mouseReleaseEvent(QMouseEvent* event)
{
    lastGlobal_ = event->globalPosition().toPoint();
    if (event->button() == Qt::LeftButton) {
        repeat_.stop();
        pressed_ = hNone;
        update();
    }
    logic_.SpinMouseUp(event->button(), event->buttons(), event->position().toPoint().y());
    event->accept();
}

int TSpinnerButtons::MoveCursorBy(int dy)
{
    if (dy == 0)
        return 0;
    QScreen* s = screen();
    const QPoint target = lastGlobal_ + QPoint(0, dy);
    QCursor::setPos(s, target);
    // Some platforms (Wayland) do not let a program move the pointer.
    if (QCursor::pos(s) != target)
        return 0;
    lastGlobal_ = target;
    return dy;
}

} // namespace fk
