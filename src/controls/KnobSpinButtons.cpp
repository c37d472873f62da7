#include "controls/KnobSpinButtons.h"

#include <QMouseEvent>
#include <qdrawutil.h>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace fk {

TKnobSpinButtons::TKnobSpinButtons(QWidget* parent)
    : TKnobPart(parent)
    , color_(Qt::cyan)
{
    repeat_.setSingleShot(true);
    QObject::connect(&repeat_, &QTimer::timeout, this, [this] { Repeat(); });
}

void TKnobSpinButtons::SetColor(const QColor& color)
{
    color_ = color;
    update();
}

void TKnobSpinButtons::SetSpokenNames(const QString& increase, const QString& decrease)
{
    spoken_[0] = increase;
    spoken_[1] = decrease;
    setAccessibleName(increase + QStringLiteral(", ") + decrease);
}

void TKnobSpinButtons::SetArrowColor(const QColor& color)
{
    arrowColor_ = color;
    update();
}

void TKnobSpinButtons::StopRepeat()
{
    repeat_.stop();
}

void TKnobSpinButtons::CancelPress()
{
    repeat_.stop();
    if (pressed_ != btNone) {
        pressed_ = btNone;
        update();
    }
}

QRect TKnobSpinButtons::ButtonRect(TButton button) const
{
    // The height is odd: the upper button gets the middle row's half, both arrows equal.
    const int half = height() / 2;
    if (button == btUp)
        return QRect(0, 0, width(), half);
    return QRect(0, height() - half, width(), half);
}

void TKnobSpinButtons::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Button, color_);
    if (arrowColor_.isValid()) {
        for (const QPalette::ColorRole role : {QPalette::ButtonText, QPalette::WindowText, QPalette::Text})
            palette.setColor(role, arrowColor_);
    }
    painter.fillRect(rect(), color_);
    for (const TButton b : {btUp, btDown}) {
        QStyleOption option;
        option.initFrom(this);
        option.palette = palette;
        option.rect = ButtonRect(b);
        const bool down = pressed_ == b && isEnabled();
        option.state |= down ? QStyle::State_Sunken : QStyle::State_Raised;
        if (down)
            option.state |= QStyle::State_On;
        qDrawShadePanel(&painter, option.rect, palette, down, 1);
        // The arrow in the middle of the button, one pixel lower while it is pressed.
        option.rect = option.rect.adjusted(1, 1, -1, -1).translated(down ? 1 : 0, down ? 1 : 0);
        style()->drawPrimitive(b == btUp ? QStyle::PE_IndicatorSpinUp : QStyle::PE_IndicatorSpinDown, &option, &painter, this);
    }
}

void TKnobSpinButtons::mousePressEvent(QMouseEvent* event)
{
    ReportPress(event);
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint p = event->position().toPoint();
    pressed_ = ButtonRect(btUp).contains(p) ? btUp : ButtonRect(btDown).contains(p) ? btDown : btNone;
    update();
    if (pressed_ == btNone)
        return;
    OnSpin.Invoke(this, pressed_ == btUp);
    repeat_.start(style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatThreshold, nullptr, this));
}

void TKnobSpinButtons::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A second quick click is one more step.
    mousePressEvent(event);
}

void TKnobSpinButtons::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        repeat_.stop();
        pressed_ = btNone;
        update();
    }
    ReportRelease(event);
}

void TKnobSpinButtons::Repeat()
{
    if (pressed_ == btNone)
        return;
    OnSpin.Invoke(this, pressed_ == btUp);
    repeat_.start(style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatRate, nullptr, this));
}

} // namespace fk
