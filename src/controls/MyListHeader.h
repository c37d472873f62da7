#pragma once
// The header of a TMyListView: each item draws the format its column gives (sort arrow, check
// box, split button) and the header reports clicks on the parts of an item to its list view.
// The column header style bits are applied here as far as Qt's header has them.
#include "controls/ColumnHeaderStyles.h"
#include "controls/ListHeaderLayout.h"

#include <QHeaderView>
#include <functional>
#include <vector>

namespace fk {

class TMyListHeader : public QHeaderView {
public:
    explicit TMyListHeader(QWidget* parent = nullptr);

    // The format flags of an item (TMyListColumn's hdf* flags).
    void SetSectionFormat(int logicalIndex, u32 format);
    u32 SectionFormat(int logicalIndex) const;

    TColumnHeaderStyles ColumnStyles() const noexcept { return styles_; }
    void SetColumnStyles(TColumnHeaderStyles styles);

    TListHeaderLayout Layout() const;
    // In the header's coordinates; empty when the item has no such part.
    QRect CheckBoxRect(int logicalIndex) const;
    QRect DropDownRect(int logicalIndex) const;

    // What the list view hears of: an item clicked (also after a drag that did not move it),
    // double-clicked, right-clicked (with the point), its check box clicked, its split button
    // pressed (with the button's rectangle).
    std::function<void(int)> onItemClick;
    std::function<void(int)> onItemDblClick;
    std::function<void(int, const QPoint&)> onItemRightClick;
    std::function<void(int)> onStateIconClick;
    std::function<void(int, const QRect&)> onDropDown;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    QSize sectionSizeFromContents(int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QRect ItemRect(int logicalIndex) const;
    u32 VisibleFormat(int logicalIndex) const;
    TListHeaderLayout::TPart PartAt(const QPoint& pos, int& logicalIndex) const;

    std::vector<u32> formats_;
    TColumnHeaderStyles styles_;
    int checkPressed_ = -1; // the item whose check box the left button went down on
};

} // namespace fk
