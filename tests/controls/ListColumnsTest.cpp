#include "controls/ColumnHeaderStyles.h"
#include "controls/DropDownWidth.h"
#include "controls/ListHeaderLayout.h"
#include "controls/MyListColumns.h"

#include <gtest/gtest.h>
#include <vector>

namespace fk {
namespace {

using C = TMyListColumn;

TEST(MyListColumn, HeaderFormatFollowsTheColumn)
{
    TMyListColumns columns;
    C* c = columns.Add();
    // Minimum and maximum both 0: fixed width.
    EXPECT_EQ(c->HeaderFormat(), C::hdfFixedWidth);
    c->SetMinWidth(65);
    EXPECT_EQ(c->HeaderFormat(), 0u);
    c->SetMaxWidth(65);
    EXPECT_EQ(c->HeaderFormat(), C::hdfFixedWidth);
    EXPECT_EQ(c->EffectiveWidth(), 65);
    c->SetMaxWidth(100);
    c->SetWidth(500);
    EXPECT_EQ(c->EffectiveWidth(), 100);
    c->SetWidth(10);
    EXPECT_EQ(c->EffectiveWidth(), 65);

    c->SetSortDirection(updUp);
    c->SetSplitButton(true);
    c->SetShowCheckBox(true);
    c->SetChecked(true);
    // Flags of the item that are not the column's stay; stale column flags go.
    const u32 other = 0x4000 | 0x2;
    EXPECT_EQ(c->HeaderFormat(other | C::hdfSortDown | C::hdfFixedWidth),
              other | C::hdfSortUp | C::hdfSplitButton | C::hdfCheckBox | C::hdfChecked);
    c->SetSortDirection(updDown);
    c->SetChecked(false);
    EXPECT_EQ(c->HeaderFormat() & (C::hdfSortUp | C::hdfSortDown | C::hdfChecked), C::hdfSortDown);
    c->SetSortDirection(static_cast<TUpDownDirection>(7)); // not a direction: ignored
    EXPECT_EQ(c->SortDirection(), updDown);
}

TEST(MyListColumns, OnlyRealChangesReachTheOwner)
{
    TMyListColumns columns;
    std::vector<int> changes; // index of the changed column, -1 for the set
    columns.OnChange = TMyListColumns::TChangeEvent::Bind(&changes, [&](TObject* sender, C* column) {
        EXPECT_EQ(sender, &columns);
        changes.push_back(column ? column->Index() : -1);
    });
    C* first = columns.Add();
    C* second = columns.Add();
    second->SetSortDirection(updNone); // already so: no refresh
    second->SetSortDirection(updDown);
    second->SetSortDirection(updDown);
    first->SetCaption(QStringLiteral("SSID"));
    first->SetCaption(QStringLiteral("SSID"));
    EXPECT_EQ(changes, (std::vector<int>{-1, -1, 1, 0}));
    EXPECT_EQ(columns.GetItem(1), second);
    EXPECT_EQ(columns.GetItem(2), nullptr);
    EXPECT_EQ(columns.GetItem(-1), nullptr);

    // SetItem copies the properties into the column at the index; Assign copies the set.
    columns.SetItem(0, *second);
    EXPECT_EQ(first->SortDirection(), updDown);
    EXPECT_TRUE(first->Caption().isEmpty());
    TMyListColumns copy;
    copy.Add()->SetCaption(QStringLiteral("old"));
    copy.Assign(columns);
    ASSERT_EQ(copy.Count(), 2);
    EXPECT_EQ(copy.GetItem(1)->SortDirection(), updDown);
    EXPECT_EQ(copy.GetItem(0)->Collection(), &copy);
    changes.clear();
    columns.Delete(0);
    EXPECT_EQ(second->Index(), 0);
    columns.Delete(5);
    EXPECT_EQ(changes, (std::vector<int>{-1}));
}

TEST(ColumnHeaderStyles, SixteenBitSetWithItsDefault)
{
    const TColumnHeaderStyles def;
    EXPECT_EQ(def.Bits(), 1218);
    for (TColumnHeaderStyleBit bit : {chsButtons, chsDragDrop, chsFullDrag, chsCheckboxes})
        EXPECT_TRUE(def.Contains(bit)) << bit;
    for (TColumnHeaderStyleBit bit : {chsUnknown0, chsHotTrack, chsHidden, chsFilerBar, chsFlat, chsNoSizing, chsOverflow})
        EXPECT_FALSE(def.Contains(bit)) << bit;
    TColumnHeaderStyles s = def;
    s.Include(chsNoSizing).Exclude(chsButtons).Include(static_cast<TColumnHeaderStyleBit>(16));
    EXPECT_EQ(s.Bits(), 1218 - 2 + 2048);
    // The low half of a window style becomes the set, the high half stays.
    EXPECT_EQ(def.ApplyTo(0x5000FFFFu), 0x50000000u | 1218u);
    // Check boxes show only when the header allows them.
    const u32 format = C::hdfCheckBox | C::hdfChecked | C::hdfSortUp;
    EXPECT_EQ(def.VisibleFormat(format), format);
    EXPECT_EQ(TColumnHeaderStyles(def).Exclude(chsCheckboxes).VisibleFormat(format), C::hdfSortUp);
}

TEST(ListHeaderLayout, PartsOfAnItem)
{
    TListHeaderLayout l;
    l.margin = 4;
    l.checkBoxSize = 13;
    l.splitWidth = 16;
    const QRect item(100, 0, 120, 24);
    const u32 both = C::hdfCheckBox | C::hdfSplitButton;
    EXPECT_EQ(l.CheckBoxRect(item, both), QRect(104, 5, 13, 13));
    EXPECT_EQ(l.SplitButtonRect(item, both), QRect(204, 0, 16, 24));
    EXPECT_EQ(l.ContentRect(item, both), QRect(117, 0, 87, 24));
    EXPECT_EQ(l.ContentRect(item, 0), item);
    EXPECT_TRUE(l.CheckBoxRect(item, C::hdfSplitButton).isNull());
    EXPECT_EQ(l.ExtraWidth(both), 33);
    EXPECT_EQ(l.HitTest(item, both, QPoint(110, 12)), TListHeaderLayout::hpCheckBox);
    EXPECT_EQ(l.HitTest(item, both, QPoint(210, 3)), TListHeaderLayout::hpSplitButton);
    EXPECT_EQ(l.HitTest(item, both, QPoint(150, 12)), TListHeaderLayout::hpItem);
    EXPECT_EQ(l.HitTest(item, 0, QPoint(210, 3)), TListHeaderLayout::hpItem);
    EXPECT_EQ(l.HitTest(item, both, QPoint(99, 12)), TListHeaderLayout::hpNone);
}

TEST(DropDownWidth, MarginRule)
{
    // An empty list: the margin alone, scaled to the screen.
    EXPECT_EQ(TDropDownWidth::WidthFor(0, 0, 8, 96), 8);
    EXPECT_EQ(TDropDownWidth::WidthFor(0, 0, 8, 144), 12);
    EXPECT_EQ(TDropDownWidth::WidthFor(0, 0, 8, 120), 10); // (120 * 8 + 48) / 96
    EXPECT_EQ(TDropDownWidth::WidthFor(100, 8, 8, 96), 108);
    EXPECT_EQ(TDropDownWidth::WidthFor(100, 9, 8, 96), 124); // a scroll bar needs room
    EXPECT_EQ(TDropDownWidth::WidthFor(100, 9, 8, 192), 148);
}

} // namespace
} // namespace fk
