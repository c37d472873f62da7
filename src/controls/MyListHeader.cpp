#include "controls/MyListHeader.h"

#include "controls/DesignScale.h"
#include "controls/MyListColumn.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace fk {

TMyListHeader::TMyListHeader(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    setSortIndicatorShown(false); // the columns' own arrows are drawn instead
    setStretchLastSection(false);
    setTextElideMode(Qt::ElideRight);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A release after a double click is no click here: the double click is not passed to
    // Qt's header, which then has no pressed item.
    connect(this, &QHeaderView::sectionClicked, this, [this](int logicalIndex) {
        if (onItemClick)
            onItemClick(logicalIndex);
    });
    SetColumnStyles(TColumnHeaderStyles());
}

void TMyListHeader::SetSectionFormat(int logicalIndex, u32 format)
{
    if (logicalIndex < 0)
        return;
    if (formats_.size() <= static_cast<std::size_t>(logicalIndex))
        formats_.resize(static_cast<std::size_t>(logicalIndex) + 1, 0);
    if (formats_[static_cast<std::size_t>(logicalIndex)] == format)
        return;
    formats_[static_cast<std::size_t>(logicalIndex)] = format;
    viewport()->update();
}

u32 TMyListHeader::SectionFormat(int logicalIndex) const
{
    return logicalIndex >= 0 && static_cast<std::size_t>(logicalIndex) < formats_.size()
               ? formats_[static_cast<std::size_t>(logicalIndex)]
               : 0;
}

u32 TMyListHeader::VisibleFormat(int logicalIndex) const
{
    return styles_.VisibleFormat(SectionFormat(logicalIndex));
}

// The style bits on Qt's header:
//   chsButtons    items are clickable (setSectionsClickable)
//   chsHotTrack   the item under the pointer is drawn hovered (hover events on)
//   chsHidden     the header is hidden
//   chsDragDrop   items can be moved (setSectionsMovable)
//   chsCheckboxes the items' check boxes are shown
//   chsNoSizing   no item can be resized by the user (the list view fixes every section)
//   chsFullDrag   Qt's header always shows the columns while an item is resized: always on
// chsUnknown0, chsUnknown4, chsUnknown5, chsFilerBar (filter bar), chsFlat and chsOverflow
// have no Qt counterpart; they are kept in the set and change nothing.
void TMyListHeader::SetColumnStyles(TColumnHeaderStyles styles)
{
    // Applied every time: the tree view sets some of these itself when it takes the header.
    styles_ = styles;
    setSectionsClickable(styles.Contains(chsButtons));
    setSectionsMovable(styles.Contains(chsDragDrop));
    setAttribute(Qt::WA_Hover, styles.Contains(chsHotTrack));
    viewport()->setAttribute(Qt::WA_Hover, styles.Contains(chsHotTrack));
    setHidden(styles.Contains(chsHidden));
    viewport()->update();
}

TListHeaderLayout TMyListHeader::Layout() const
{
    const TDesignScale scale = TDesignScale::ForWidget(this);
    TListHeaderLayout l;
    l.margin = scale(4);
    l.checkBoxSize = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
    l.splitWidth = scale(16);
    return l;
}

QRect TMyListHeader::ItemRect(int logicalIndex) const
{
    if (logicalIndex < 0 || logicalIndex >= count() || isSectionHidden(logicalIndex))
        return QRect();
    return QRect(sectionViewportPosition(logicalIndex), 0, sectionSize(logicalIndex), height());
}

QRect TMyListHeader::CheckBoxRect(int logicalIndex) const
{
    return Layout().CheckBoxRect(ItemRect(logicalIndex), VisibleFormat(logicalIndex));
}

QRect TMyListHeader::DropDownRect(int logicalIndex) const
{
    return Layout().SplitButtonRect(ItemRect(logicalIndex), VisibleFormat(logicalIndex));
}

TListHeaderLayout::TPart TMyListHeader::PartAt(const QPoint& pos, int& logicalIndex) const
{
    logicalIndex = logicalIndexAt(pos);
    if (logicalIndex < 0)
        return TListHeaderLayout::hpNone;
    return Layout().HitTest(ItemRect(logicalIndex), VisibleFormat(logicalIndex), pos);
}

void TMyListHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    if (!rect.isValid())
        return;
    const u32 format = VisibleFormat(logicalIndex);
    const TListHeaderLayout layout = Layout();

    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = rect;
    initStyleOptionForIndex(&opt, logicalIndex);
    opt.rect = rect;
    opt.sortIndicator = (format & TMyListColumn::hdfSortUp)     ? QStyleOptionHeader::SortUp
                        : (format & TMyListColumn::hdfSortDown) ? QStyleOptionHeader::SortDown
                                                                : QStyleOptionHeader::None;
    const QString caption = model() ? model()->headerData(logicalIndex, orientation()).toString() : QString();

    painter->save();
    painter->setClipRect(rect);
    style()->drawControl(QStyle::CE_HeaderSection, &opt, painter, this);

    // Caption and arrow share what the check box and the split button leave.
    QStyleOptionHeader content = opt;
    content.rect = layout.ContentRect(rect, format);
    QStyleOptionHeader label = content;
    label.rect = style()->subElementRect(QStyle::SE_HeaderLabel, &content, this);
    label.text = fontMetrics().elidedText(caption, textElideMode(), label.rect.width());
    if (label.rect.isValid())
        style()->drawControl(QStyle::CE_HeaderLabel, &label, painter, this);
    if (opt.sortIndicator != QStyleOptionHeader::None) {
        QStyleOptionHeader arrow = content;
        arrow.rect = style()->subElementRect(QStyle::SE_HeaderArrow, &content, this);
        style()->drawPrimitive(QStyle::PE_IndicatorHeaderArrow, &arrow, painter, this);
    }

    const QRect box = layout.CheckBoxRect(rect, format);
    if (!box.isNull()) {
        QStyleOptionButton check;
        check.initFrom(this);
        check.rect = box;
        check.state &= ~(QStyle::State_MouseOver | QStyle::State_HasFocus);
        check.state |= (format & TMyListColumn::hdfChecked) ? QStyle::State_On : QStyle::State_Off;
        style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &check, painter, this);
    }

    const QRect split = layout.SplitButtonRect(rect, format);
    if (!split.isNull()) {
        // A divider and a drop-down arrow.
        painter->setPen(opt.palette.color(QPalette::Mid));
        const int inset = rect.height() / 5;
        painter->drawLine(split.left(), split.top() + inset, split.left(), split.bottom() - inset);
        QStyleOption arrow;
        arrow.initFrom(this);
        const int side = std::min(split.width(), split.height()) / 2;
        arrow.rect = QRect(split.center().x() - side / 2 + 1, split.center().y() - side / 2, side, side);
        style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, painter, this);
    }
    painter->restore();
}

QSize TMyListHeader::sectionSizeFromContents(int logicalIndex) const
{
    QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    size.rwidth() += Layout().ExtraWidth(VisibleFormat(logicalIndex));
    return size;
}

void TMyListHeader::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        int logicalIndex = -1;
        switch (PartAt(event->position().toPoint(), logicalIndex)) {
        case TListHeaderLayout::hpCheckBox:
            checkPressed_ = logicalIndex;
            event->accept();
            return;
        case TListHeaderLayout::hpSplitButton:
            // The drop-down opens on the press, so a menu can follow the button down.
            if (onDropDown)
                onDropDown(logicalIndex, DropDownRect(logicalIndex));
            event->accept();
            return;
        default:
            break;
        }
    }
    QHeaderView::mousePressEvent(event);
}

void TMyListHeader::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && checkPressed_ >= 0) {
        const int pressed = checkPressed_;
        checkPressed_ = -1;
        int logicalIndex = -1;
        if (PartAt(event->position().toPoint(), logicalIndex) == TListHeaderLayout::hpCheckBox &&
            logicalIndex == pressed && onStateIconClick)
            onStateIconClick(logicalIndex);
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton) {
        const int logicalIndex = logicalIndexAt(event->position().toPoint());
        if (logicalIndex >= 0 && onItemRightClick)
            onItemRightClick(logicalIndex, event->position().toPoint());
        event->accept();
        return;
    }
    QHeaderView::mouseReleaseEvent(event);
}

void TMyListHeader::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QHeaderView::mouseDoubleClickEvent(event);
        return;
    }
    int logicalIndex = -1;
    const TListHeaderLayout::TPart part = PartAt(event->position().toPoint(), logicalIndex);
    if (part == TListHeaderLayout::hpCheckBox || part == TListHeaderLayout::hpSplitButton) {
        mousePressEvent(event); // a quick second click on a check box or button is a click
        return;
    }
    // The divider between two items keeps Qt's meaning (fit the width to the contents).
    const QPoint pos = event->position().toPoint();
    const int grip = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
    if (logicalIndex < 0 || logicalIndexAt(pos.x() - grip) != logicalIndex ||
        logicalIndexAt(pos.x() + grip) != logicalIndex) {
        QHeaderView::mouseDoubleClickEvent(event);
        return;
    }
    if (onItemDblClick)
        onItemDblClick(logicalIndex);
    event->accept();
}

} // namespace fk
