#include "app/ElidedLabel.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>

namespace fk {

TElidedLabel::TElidedLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

QString TElidedLabel::ShownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

QSize TElidedLabel::sizeHint() const
{
    const QSize full = QLabel::sizeHint();
    const QMargins m = contentsMargins();
    return QSize(std::min(full.width(), fontMetrics().averageCharWidth() * 24 + m.left() + m.right()), full.height());
}

QSize TElidedLabel::minimumSizeHint() const
{
    // A few letters and the ellipsis, or the whole text when it is shorter.
    const QSize full = QLabel::minimumSizeHint();
    const QMargins m = contentsMargins();
    const int few = fontMetrics().horizontalAdvance(text().left(3) + QChar(0x2026)) + m.left() + m.right();
    return QSize(std::min(full.width(), few), full.height());
}

void TElidedLabel::paintEvent(QPaintEvent*)
{
    UpdateToolTip();
    QPainter p(this);
    style()->drawItemText(&p, contentsRect(), int(alignment()) | Qt::TextSingleLine, palette(), isEnabled(),
                          ShownText(), foregroundRole());
}

void TElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    UpdateToolTip();
}

bool TElidedLabel::event(QEvent* event)
{
    // A new text or font changes what fits.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::LayoutRequest ||
        event->type() == QEvent::Polish || event->type() == QEvent::ToolTip)
        UpdateToolTip();
    return QLabel::event(event);
}

void TElidedLabel::SetHint(const QString& hint)
{
    hint_ = hint;
    UpdateToolTip();
}

void TElidedLabel::UpdateToolTip()
{
    QString tip = Elided() ? text() : QString();
    if (!hint_.isEmpty())
        tip += (tip.isEmpty() ? QString() : QStringLiteral("\n\n")) + hint_;
    if (tip != toolTip())
        setToolTip(tip);
}

} // namespace fk
