#include "app/ScreenSnap.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

namespace fk {
namespace {

const QRect kArea(0, 0, 1920, 1040); // a screen above a task bar

TEST(ScreenSnap, MovedWindowsSnapToTheNearerEdgeWithinTheDistance)
{
    const QSize size(400, 300);
    struct Case {
        QPoint at;
        QPoint snapped;
    };
    const Case cases[] = {
        {{10, 500}, {0, 500}},       // 10 px from the left edge: snaps
        {{11, 500}, {11, 500}},      // 11 px: stays
        {{-8, -10}, {0, 0}},         // partly off the screen, within reach of both edges
        {{-11, 500}, {-11, 500}},
        {{1525, 735}, {1520, 740}},  // right edge 5 px inside, bottom edge 5 px off: both snap
        {{1531, 200}, {1531, 200}},  // right edge 11 px off
        {{700, 300}, {700, 300}},    // in the middle: nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.at.x() << "," << c.at.y());
        EXPECT_EQ(TScreenSnap::SnapMove(QRect(c.at, size), kArea, 10), QRect(c.snapped, size));
    }
    // A window nearly as wide as the area goes to the edge it is nearer to.
    EXPECT_EQ(TScreenSnap::SnapMove(QRect(3, 100, 1910, 200), kArea, 10).left(), 0);
    EXPECT_EQ(TScreenSnap::SnapMove(QRect(8, 100, 1910, 200), kArea, 10).left(), 10);
    // An area that does not start at the origin (a second screen, a panel on the left).
    const QRect right(1920, 32, 1280, 992);
    EXPECT_EQ(TScreenSnap::SnapMove(QRect(1925, 40, 300, 200), right, 10).topLeft(), QPoint(1920, 32));
}

TEST(ScreenSnap, ResizedWindowsSnapOnlyTheDraggedEdges)
{
    const QRect window(5, 5, 1908, 1028); // every edge within 10 px of the area
    EXPECT_EQ(TScreenSnap::SnapResize(window, kArea, 10, Qt::RightEdge), QRect(5, 5, 1915, 1028));
    EXPECT_EQ(TScreenSnap::SnapResize(window, kArea, 10, Qt::LeftEdge | Qt::TopEdge), QRect(0, 0, 1913, 1033));
    EXPECT_EQ(TScreenSnap::SnapResize(window, kArea, 10, Qt::BottomEdge), QRect(5, 5, 1908, 1035));
    EXPECT_EQ(TScreenSnap::SnapResize(QRect(5, 5, 1900, 1020), kArea, 10, Qt::RightEdge | Qt::BottomEdge),
              QRect(5, 5, 1900, 1020)); // 15 and 15 px away: too far
    EXPECT_EQ(TScreenSnap::SnapResize(window, kArea, 10, {}), window);
    EXPECT_EQ(TScreenSnap::SnapResize(QRect(100, 100, 300, 200), kArea, 10,
                                      Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge),
              QRect(100, 100, 300, 200));
    // A snap that would leave nothing of the window changes nothing.
    EXPECT_EQ(TScreenSnap::SnapResize(QRect(1915, 5, 3, 100), kArea, 10, Qt::LeftEdge), QRect(1915, 5, 3, 100));
}

TEST(ScreenSnap, DistanceFollowsTheDensity)
{
    EXPECT_EQ(TScreenSnap::Distance(96), 10);
    EXPECT_EQ(TScreenSnap::Distance(144), 15);
    EXPECT_EQ(TScreenSnap::Distance(192), 20);
    // At 192 dpi a window 15 px from the edge snaps; at 96 it does not.
    const QRect w(15, 400, 300, 200);
    EXPECT_EQ(TScreenSnap::SnapMove(w, kArea, TScreenSnap::Distance(192)).left(), 0);
    EXPECT_EQ(TScreenSnap::SnapMove(w, kArea, TScreenSnap::Distance(96)).left(), 15);
}

TEST(ScreenSnap, WatchedWindowSnapsOnlyWhileSwitchedOn)
{
    if (!TScreenSnap::PlatformPlacesWindows())
        GTEST_SKIP() << "the platform places windows itself";
    QWidget window;
    window.resize(200, 150);
    window.move(300, 200);
    window.show();
    const QRect area = window.screen()->availableGeometry();
    const int distance = TScreenSnap::Distance(window.screen()->logicalDotsPerInch());
    TScreenSnap snap;
    snap.Watch(&window);
    snap.Watch(&window); // once is enough

    window.move(area.left() + distance - 1, area.top() + 100);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.frameGeometry().left(), area.left() + distance - 1); // off: nothing

    snap.SetEnabled(true);
    window.move(area.left() + distance, area.top() + 100);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.frameGeometry().topLeft(), QPoint(area.left(), area.top() + 100));

    window.move(area.left() + 150, area.top() + 120); // well away: stays where it was put
    QCoreApplication::processEvents();
    EXPECT_EQ(window.frameGeometry().topLeft(), QPoint(area.left() + 150, area.top() + 120));

    // Dragging the bottom edge near the area's bottom stretches it there; the top stays.
    const QRect before = window.frameGeometry();
    window.resize(window.width(), area.bottom() - before.top() - distance / 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.frameGeometry().top(), before.top());
    EXPECT_EQ(window.frameGeometry().bottom(), area.bottom());
}

} // namespace
} // namespace fk
