#include "app/PortListDelegate.h"

#include "ports/PortImageList.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace fk {

TPortListDelegate::TPortListDelegate(const TPortImageList* images, QObject* parent)
    : QStyledItemDelegate(parent)
    , images_(images)
{
}

void TPortListDelegate::SetConnectedRow(int row, int overlay) noexcept
{
    connectedRow_ = row;
    overlay_ = overlay;
}

QPoint TPortListDelegate::IconOffset(int rowHeight, int iconSize) noexcept
{
    const int x = rowHeight > 15 ? rowHeight / 8 : 1;
    const int spare = rowHeight - iconSize;
    return {x, spare > 3 ? spare / 2 : 1};
}

QPoint TPortListDelegate::TextOffset(int rowHeight, int textHeight) noexcept
{
    const int x = rowHeight > 7 ? rowHeight / 4 : 1;
    const int spare = rowHeight - textHeight;
    return {x, spare > 3 ? spare / 2 : 1};
}

QSize TPortListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(rowHeight_);
    return size;
}

void TPortListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    // The background (selection, hover, focus) as the style draws it, without its text and icon.
    opt.text.clear();
    opt.icon = QIcon();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const QRect rect = option.rect;
    const int h = rect.height();
    const bool inUse = connectedRow_ >= 0;
    const bool thisInUse = index.row() == connectedRow_;
    const bool dimmed = inUse && !thisInUse;
    const bool selected = (option.state & QStyle::State_Selected) != 0;

    painter->save();
    int textStart = rect.left();
    const int image = index.data(ImageIndexRole).toInt();
    const int iconSize = std::min(16, h);
    if (images_ && image >= 0 && image < images_->Count()) {
        const QPoint at = rect.topLeft() + IconOffset(h, iconSize);
        const QRect iconRect(at, QSize(iconSize, iconSize));
        const bool large = painter->device() && painter->device()->devicePixelRatioF() > 1.0;
        if (dimmed)
            painter->setOpacity(0.35);
        painter->drawImage(iconRect, images_->Image(image, large));
        if (thisInUse && overlay_ > 0)
            painter->drawImage(iconRect, images_->OverlayImage(overlay_, large));
        painter->setOpacity(1.0);
        textStart = iconRect.right() + 1;
    }

    const QString name = index.data(Qt::DisplayRole).toString();
    const QString description = index.data(DescriptionRole).toString();
    const QFontMetrics metrics(opt.font);
    const QPoint textAt = TextOffset(h, metrics.height());
    const int x = textStart + textAt.x();
    const int y = rect.top() + textAt.y();
    const QPalette::ColorGroup group = dimmed && !selected ? QPalette::Disabled : QPalette::Normal;
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    const QRect nameRect(x, y, rect.right() - x, metrics.height());
    painter->drawText(nameRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, name);
    if (!description.isEmpty()) {
        const int column = x + std::max(metrics.horizontalAdvance(name), nameColumn_);
        const QRect descriptionRect(column, y, std::max(0, rect.right() - column), metrics.height());
        const QString text = metrics.elidedText(QStringLiteral(" (") + description + QLatin1Char(')'), Qt::ElideRight,
                                                descriptionRect.width());
        painter->drawText(descriptionRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    }
    painter->restore();
}

} // namespace fk
