#include "controls/ListHeaderLayout.h"

#include "controls/MyListColumn.h"

namespace fk {

QRect TListHeaderLayout::CheckBoxRect(const QRect& item, u32 format) const
{
    if (!(format & TMyListColumn::hdfCheckBox) || item.isEmpty())
        return QRect();
    const int side = std::min(checkBoxSize, item.height());
    const int top = item.top() + (item.height() - side) / 2;
    return QRect(item.left() + margin, top, side, side);
}

QRect TListHeaderLayout::SplitButtonRect(const QRect& item, u32 format) const
{
    if (!(format & TMyListColumn::hdfSplitButton) || item.isEmpty())
        return QRect();
    const int w = std::min(splitWidth, item.width());
    return QRect(item.right() + 1 - w, item.top(), w, item.height());
}

QRect TListHeaderLayout::ContentRect(const QRect& item, u32 format) const
{
    QRect r = item;
    const QRect box = CheckBoxRect(item, format);
    if (!box.isNull())
        r.setLeft(box.right() + 1);
    const QRect split = SplitButtonRect(item, format);
    if (!split.isNull())
        r.setRight(split.left() - 1);
    return r;
}

int TListHeaderLayout::ExtraWidth(u32 format) const
{
    int w = 0;
    if (format & TMyListColumn::hdfCheckBox)
        w += margin + checkBoxSize;
    if (format & TMyListColumn::hdfSplitButton)
        w += splitWidth;
    return w;
}

TListHeaderLayout::TPart TListHeaderLayout::HitTest(const QRect& item, u32 format, const QPoint& point) const
{
    if (!item.contains(point))
        return hpNone;
    const QRect split = SplitButtonRect(item, format);
    if (!split.isNull() && split.contains(point))
        return hpSplitButton;
    // The check box answers a little around its square, as small targets should.
    const QRect box = CheckBoxRect(item, format);
    if (!box.isNull() && box.adjusted(-margin / 2, -margin / 2, margin / 2, margin / 2).contains(point))
        return hpCheckBox;
    return hpItem;
}

} // namespace fk
