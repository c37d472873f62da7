#pragma once
// Where the parts of a list view's header item lie: a check box at the left, a split
// (drop-down) button at the right, the caption and sort arrow between them. The header widget
// draws and hit-tests its items with it.
#include "platform/Types.h"

#include <QPoint>
#include <QRect>

namespace fk {

class TListHeaderLayout {
public:
    enum TPart { hpNone, hpItem, hpCheckBox, hpSplitButton };

    // Sizes in the header's pixels.
    int margin = 4;          // between the item's edge, the check box and the caption
    int checkBoxSize = 13;   // the check box indicator's side
    int splitWidth = 16;     // the drop-down button's width

    // Empty when the format has no check box / split button (TMyListColumn's format flags).
    QRect CheckBoxRect(const QRect& item, u32 format) const;
    QRect SplitButtonRect(const QRect& item, u32 format) const;
    // What is left for the caption and the sort arrow.
    QRect ContentRect(const QRect& item, u32 format) const;
    // The width the check box and the split button take from an item.
    int ExtraWidth(u32 format) const;
    TPart HitTest(const QRect& item, u32 format, const QPoint& point) const;
};

} // namespace fk
