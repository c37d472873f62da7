#include "controls/MyComboBox.h"
#include "controls/MyListHeader.h"
#include "controls/MyListView.h"
#include "controls/MyPageControl.h"
#include "ScreenshotUtil.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fk {
namespace {

using Events = std::vector<std::string>;

// What the window system delivers for a double click: press, release, double click, release.
void DoubleClick(QWidget* widget, const QPoint& pos)
{
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, pos);
    QTest::mouseDClick(widget, Qt::LeftButton, Qt::NoModifier, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, pos);
}

// A list of four columns: SSID (takes the free width), Signal (65 fixed, right-aligned),
// Band (check box, resizable 40..200), Channel (split button, resizable from 50).
class ListViewWidget : public ::testing::Test {
protected:
    void SetUp() override
    {
        view = std::make_unique<TMyListView>();
        TMyListColumns& columns = view->Columns();
        TMyListColumn* ssid = columns.Add();
        ssid->SetCaption(QStringLiteral("SSID"));
        ssid->SetAutoSize(true);
        TMyListColumn* signal = columns.Add();
        signal->SetCaption(QStringLiteral("Signal"));
        signal->SetAlignment(Qt::AlignRight);
        signal->SetMinWidth(65);
        signal->SetMaxWidth(65);
        TMyListColumn* band = columns.Add();
        band->SetCaption(QStringLiteral("Band"));
        band->SetMinWidth(40);
        band->SetMaxWidth(200);
        band->SetWidth(90);
        band->SetShowCheckBox(true);
        band->SetChecked(true);
        TMyListColumn* channel = columns.Add();
        channel->SetCaption(QStringLiteral("Channel"));
        channel->SetMinWidth(50);
        channel->SetWidth(100);
        channel->SetSplitButton(true);

        view->OnColumnClick = TLVMyColumnClickEvent::Bind(this, [this](TObject* sender, TMyListColumn* c) {
            EXPECT_EQ(sender, static_cast<TObject*>(view.get()));
            events.push_back("click " + std::to_string(c->Index()));
        });
        view->OnColumnDblClick = TLVMyColumnClickEvent::Bind(this, [this](TObject*, TMyListColumn* c) {
            events.push_back("dblclick " + std::to_string(c->Index()));
        });
        view->OnColumnRightClick = TLVMyColumnRClickEvent::Bind(this, [this](TObject*, TMyListColumn* c, QPoint p) {
            events.push_back("rclick " + std::to_string(c->Index()));
            point = p;
        });
        view->OnColumnStateIconClick = TLVMyColumnClickEvent::Bind(this, [this](TObject*, TMyListColumn* c) {
            events.push_back("check " + std::to_string(c->Index()));
        });
        view->OnColumnSplitClick = TLVMyColumnRectEvent::Bind(this, [this](TObject*, TMyListColumn* c, QRect r) {
            events.push_back("split " + std::to_string(c->Index()));
            rect = r;
        });
        view->resize(520, 200);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    TMyListHeader* Header() const { return view->GetHeaderHandle(); }
    QPoint SectionPoint(int i, int dx = 0) const
    {
        // Inside the caption area: a third of the way into the item, away from the edges.
        return QPoint(Header()->sectionViewportPosition(i) + Header()->sectionSize(i) / 3 + dx, Header()->height() / 2);
    }
    Events Take()
    {
        Events out;
        out.swap(events);
        return out;
    }

    std::unique_ptr<TMyListView> view;
    Events events;
    QPoint point;
    QRect rect;
};

TEST_F(ListViewWidget, HeaderClicksReachTheHandlers)
{
    QWidget* header = Header()->viewport();
    QTest::mouseClick(header, Qt::LeftButton, Qt::NoModifier, SectionPoint(1));
    EXPECT_EQ(Take(), (Events{"click 1"}));
    DoubleClick(header, SectionPoint(0));
    QTest::mouseClick(header, Qt::LeftButton, Qt::NoModifier, SectionPoint(3, 2)); // after a pause: a click again
    EXPECT_EQ(Take(), (Events{"click 0", "dblclick 0", "click 3"}));
    QTest::mouseClick(header, Qt::RightButton, Qt::NoModifier, SectionPoint(2, 1));
    EXPECT_EQ(Take(), (Events{"rclick 2"}));
    EXPECT_EQ(point, SectionPoint(2, 1));

    const QRect box = Header()->CheckBoxRect(2);
    ASSERT_FALSE(box.isEmpty());
    QTest::mouseClick(header, Qt::LeftButton, Qt::NoModifier, box.center());
    EXPECT_EQ(Take(), (Events{"check 2"}));
    // A press on the check box let go elsewhere is no click.
    QTest::mousePress(header, Qt::LeftButton, Qt::NoModifier, box.center());
    QTest::mouseRelease(header, Qt::LeftButton, Qt::NoModifier, SectionPoint(2) + QPoint(30, 0));
    EXPECT_TRUE(Take().empty());

    const QRect split = Header()->DropDownRect(3);
    ASSERT_FALSE(split.isEmpty());
    QTest::mousePress(header, Qt::LeftButton, Qt::NoModifier, split.center());
    EXPECT_EQ(Take(), (Events{"split 3"})); // on the press, so a menu can drop down
    QTest::mouseRelease(header, Qt::LeftButton, Qt::NoModifier, split.center());
    EXPECT_TRUE(Take().empty());
    EXPECT_EQ(rect, split);
    const QRect item(Header()->sectionViewportPosition(3), 0, Header()->sectionSize(3), Header()->height());
    EXPECT_TRUE(item.contains(rect));
    EXPECT_EQ(rect.right(), item.right());

    // Without handlers a double click does nothing.
    view->OnColumnDblClick = nullptr;
    DoubleClick(header, SectionPoint(1));
    EXPECT_EQ(Take(), (Events{"click 1"}));
}

TEST_F(ListViewWidget, SortArrowFollowsSortDirection)
{
    TMyListColumn* signal = view->Columns().GetItem(1);
    auto picture = [&] { return Header()->grab().toImage(); };
    const QImage none = picture();
    signal->SetSortDirection(updUp);
    EXPECT_TRUE(Header()->SectionFormat(1) & TMyListColumn::hdfSortUp);
    const QImage up = picture();
    signal->SetSortDirection(updDown);
    EXPECT_EQ(Header()->SectionFormat(1) & (TMyListColumn::hdfSortUp | TMyListColumn::hdfSortDown),
              TMyListColumn::hdfSortDown);
    const QImage down = picture();
    signal->SetSortDirection(updNone);
    EXPECT_EQ(Header()->SectionFormat(1) & (TMyListColumn::hdfSortUp | TMyListColumn::hdfSortDown), 0u);
    EXPECT_NE(none, up);
    EXPECT_NE(none, down);
    EXPECT_NE(up, down);
    EXPECT_EQ(picture(), none);

    // The three-state sort of a column click: descending, ascending, none.
    int state = 0;
    view->OnColumnClick = TLVMyColumnClickEvent::Bind(this, [&](TObject*, TMyListColumn* c) {
        state = state > 0 ? -state : (state < 0 ? 0 : c->Index() + 1);
        c->SetSortDirection(state > 0 ? updDown : (state < 0 ? updUp : updNone));
    });
    QTest::mouseClick(Header()->viewport(), Qt::LeftButton, Qt::NoModifier, SectionPoint(1));
    EXPECT_EQ(signal->SortDirection(), updDown);
    QTest::mouseClick(Header()->viewport(), Qt::LeftButton, Qt::NoModifier, SectionPoint(1));
    EXPECT_EQ(signal->SortDirection(), updUp);
    EXPECT_TRUE(Header()->SectionFormat(1) & TMyListColumn::hdfSortUp);
}

TEST_F(ListViewWidget, ColumnWidthsAndStyles)
{
    EXPECT_EQ(Header()->sectionResizeMode(0), QHeaderView::Stretch);
    EXPECT_EQ(Header()->sectionResizeMode(1), QHeaderView::Fixed);
    EXPECT_EQ(Header()->sectionSize(1), 65);
    EXPECT_EQ(Header()->sectionResizeMode(2), QHeaderView::Interactive);
    EXPECT_EQ(Header()->sectionSize(2), 90);
    EXPECT_TRUE(Header()->SectionFormat(1) & TMyListColumn::hdfFixedWidth);
    TMyListColumn* plain = view->Columns().Add(); // minimum and maximum 0: fixed
    EXPECT_EQ(view->columnCount(), 5);
    EXPECT_EQ(Header()->sectionResizeMode(4), QHeaderView::Fixed);
    EXPECT_EQ(Header()->sectionSize(4), TMyListColumn::DefaultWidth);
    plain->SetWidth(70);
    EXPECT_EQ(Header()->sectionSize(4), 70);

    // A resize keeps the column's limits and is remembered.
    Header()->resizeSection(2, 500);
    EXPECT_EQ(Header()->sectionSize(2), 200);
    EXPECT_EQ(view->Columns().GetItem(2)->Width(), 200);
    Header()->resizeSection(2, 10);
    EXPECT_EQ(Header()->sectionSize(2), 40);

    EXPECT_EQ(view->ColumnStyles().Bits(), TColumnHeaderStyles::Default);
    EXPECT_TRUE(Header()->sectionsClickable());
    EXPECT_TRUE(Header()->sectionsMovable());
    view->SetColumnStyles(TColumnHeaderStyles(view->ColumnStyles()).Include(chsNoSizing).Exclude(chsCheckboxes));
    EXPECT_EQ(Header()->sectionResizeMode(2), QHeaderView::Fixed);
    EXPECT_TRUE(Header()->CheckBoxRect(2).isEmpty());
    view->SetColumnStyles(TColumnHeaderStyles(1u << chsHidden));
    EXPECT_FALSE(Header()->sectionsClickable());
    EXPECT_FALSE(Header()->sectionsMovable());
    EXPECT_TRUE(Header()->isHidden());

    // Captions and alignment reach the header item and the rows.
    QTreeWidgetItem* row = view->AddItem(QStringLiteral("net"), {QStringLiteral("-40 dBm")});
    EXPECT_EQ(view->headerItem()->text(1), QStringLiteral("Signal"));
    EXPECT_EQ(row->textAlignment(1) & Qt::AlignHorizontal_Mask, Qt::AlignRight);
}

TEST_F(ListViewWidget, AlphaSortUsesTheCompareEvent)
{
    for (const char* name : {"b", "a", "c", "a2"})
        view->AddItem(QString::fromUtf8(name));
    view->AlphaSort();
    auto order = [&] {
        QStringList out;
        for (int i = 0; i < view->topLevelItemCount(); ++i)
            out << view->topLevelItem(i)->text(0);
        return out;
    };
    EXPECT_EQ(order(), (QStringList{"a", "a2", "b", "c"}));
    view->OnCompare = TLVCompareEvent::Bind(this, [](TObject*, QTreeWidgetItem* a, QTreeWidgetItem* b, int data, int& c) {
        EXPECT_EQ(data, 3);
        c = QString::compare(b->text(0), a->text(0)); // reversed
    });
    view->AlphaSort(3);
    EXPECT_EQ(order(), (QStringList{"c", "b", "a2", "a"}));
}

TEST(MyComboBox, DropDownFitsTheWidestItem)
{
    TMyComboBox box;
    box.AdjustDropDown();
    EXPECT_EQ(box.DropDownWidth(), 8); // empty: the margin alone (96 dpi)
    box.addItems({QStringLiteral("short"), QStringLiteral("a much longer item text")});
    box.AdjustDropDown();
    const int widest = box.fontMetrics().horizontalAdvance(QStringLiteral("a much longer item text"));
    EXPECT_EQ(box.DropDownWidth(), widest + 8);
    for (int i = 0; i < 8; ++i)
        box.addItem(QStringLiteral("x"));
    box.AdjustDropDown();
    EXPECT_EQ(box.DropDownWidth(), widest + 24); // more than DropDownCount: room for a scroll bar
}

TEST(MyPageControl, TabsOnEverySide)
{
    TMyPageControl pages;
    EXPECT_EQ(pages.PageOrientation(), toBottom);
    EXPECT_EQ(pages.tabPosition(), QTabWidget::South);
    pages.SetPageOrientation(toLeft);
    EXPECT_EQ(pages.tabPosition(), QTabWidget::West);
    pages.SetPageOrientation(toRight);
    EXPECT_EQ(pages.tabPosition(), QTabWidget::East);
    pages.SetPageOrientation(toTop);
    EXPECT_EQ(pages.tabPosition(), QTabWidget::North);
    pages.SetPageOrientation(static_cast<TPageOrientation>(9));
    EXPECT_EQ(pages.PageOrientation(), toTop);
}

TEST(ListViewScreenshot, HeaderPartsDrawLegibly)
{
    TMyListView view;
    TMyListColumns& columns = view.Columns();
    TMyListColumn* ssid = columns.Add();
    ssid->SetCaption(QStringLiteral("SSID"));
    ssid->SetAutoSize(true);
    ssid->SetSortDirection(updDown);
    TMyListColumn* signal = columns.Add();
    signal->SetCaption(QStringLiteral("Signal"));
    signal->SetAlignment(Qt::AlignRight);
    signal->SetMinWidth(80);
    signal->SetMaxWidth(80);
    signal->SetSortDirection(updUp);
    TMyListColumn* band = columns.Add();
    band->SetCaption(QStringLiteral("5 GHz"));
    band->SetWidth(90);
    band->SetMaxWidth(200);
    band->SetShowCheckBox(true);
    band->SetChecked(true);
    TMyListColumn* channel = columns.Add();
    channel->SetCaption(QStringLiteral("Channel"));
    channel->SetWidth(110);
    channel->SetMaxWidth(200);
    channel->SetSplitButton(true);
    const char* rows[][4] = {{"Workshop-AP", "-41 dBm", "yes", "36"},
                             {"Engine room 2", "-67 dBm", "no", "6"},
                             {"KESTConnect_0A12", "-80 dBm", "no", "11"}};
    for (const auto& r : rows)
        view.AddItem(QString::fromUtf8(r[0]), {QString::fromUtf8(r[1]), QString::fromUtf8(r[2]), QString::fromUtf8(r[3])});
    view.resize(480, 140);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    // Every caption fits beside its arrow, check box and button.
    const TMyListHeader* header = view.GetHeaderHandle();
    for (int i = 0; i < columns.Count(); ++i)
        EXPECT_GE(header->sectionSize(i), header->sectionSizeHint(i) - 1) << i;
    EXPECT_FALSE(test::SaveScreenshot(view, QStringLiteral("controls"), QStringLiteral("listview")).isEmpty());
}

} // namespace
} // namespace fk
