#include "app/ScreenSnap.h"

#include "controls/DesignScale.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cstdlib>

namespace fk {

namespace {

// The offset that puts the span [lo, hi) on the area's span [areaLo, areaHi) at the nearer
// end within distance, 0 when neither end is that close.
int SpanShift(int lo, int hi, int areaLo, int areaHi, int distance)
{
    const int toLo = areaLo - lo;
    const int toHi = areaHi - hi;
    const bool nearLo = std::abs(toLo) <= distance;
    const bool nearHi = std::abs(toHi) <= distance;
    if (nearLo && (!nearHi || std::abs(toLo) <= std::abs(toHi)))
        return toLo;
    return nearHi ? toHi : 0;
}

// An edge position snapped onto target when within distance.
int SnapEdge(int edge, int target, int distance)
{
    return std::abs(target - edge) <= distance ? target : edge;
}

} // namespace

QRect TScreenSnap::SnapMove(const QRect& window, const QRect& area, int distance)
{
    const int dx = SpanShift(window.left(), window.left() + window.width(), area.left(),
                             area.left() + area.width(), distance);
    const int dy = SpanShift(window.top(), window.top() + window.height(), area.top(),
                             area.top() + area.height(), distance);
    return window.translated(dx, dy);
}

QRect TScreenSnap::SnapResize(const QRect& window, const QRect& area, int distance, Qt::Edges edges)
{
    // Edges as exclusive coordinates, so a window filling the area has right == area right.
    int left = window.left(), top = window.top();
    int right = left + window.width(), bottom = top + window.height();
    if (edges & Qt::LeftEdge)
        left = SnapEdge(left, area.left(), distance);
    if (edges & Qt::RightEdge)
        right = SnapEdge(right, area.left() + area.width(), distance);
    if (edges & Qt::TopEdge)
        top = SnapEdge(top, area.top(), distance);
    if (edges & Qt::BottomEdge)
        bottom = SnapEdge(bottom, area.top() + area.height(), distance);
    if (right <= left || bottom <= top)
        return window;
    return QRect(left, top, right - left, bottom - top);
}

int TScreenSnap::Distance(double logicalDpi) { return TDesignScale(logicalDpi)(DesignDistance); }

bool TScreenSnap::PlatformPlacesWindows()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"), Qt::CaseInsensitive);
}

TScreenSnap::TScreenSnap(QObject* parent)
    : QObject(parent)
{
}

void TScreenSnap::Watch(QWidget* window)
{
    if (!window || frames_.contains(window))
        return;
    frames_.insert(window, window->frameGeometry());
    window->installEventFilter(this);
    connect(window, &QObject::destroyed, this, [this](QObject* gone) { frames_.remove(gone); });
}

bool TScreenSnap::eventFilter(QObject* watched, QEvent* event)
{
    if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) && watched->isWidgetType())
        Snap(static_cast<QWidget*>(watched));
    return QObject::eventFilter(watched, event);
}

void TScreenSnap::Snap(QWidget* window)
{
    const QRect before = frames_.value(window);
    const QRect frame = window->frameGeometry();
    frames_[window] = frame;
    if (!before.isValid() || !enabled_ || placing_ || !window->isWindow() || !window->isVisible() || !PlatformPlacesWindows()
        || (window->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const int distance = TDesignScale::ForWidget(window)(DesignDistance);

    QRect snapped;
    if (frame.size() == before.size()) {
        snapped = SnapMove(frame, area, distance);
    } else {
        Qt::Edges edges;
        if (frame.left() != before.left())
            edges |= Qt::LeftEdge;
        if (frame.top() != before.top())
            edges |= Qt::TopEdge;
        if (frame.left() + frame.width() != before.left() + before.width())
            edges |= Qt::RightEdge;
        if (frame.top() + frame.height() != before.top() + before.height())
            edges |= Qt::BottomEdge;
        snapped = SnapResize(frame, area, distance, edges);
    }
    if (snapped == frame)
        return;
    placing_ = true;
    if (snapped.size() == frame.size()) {
        window->move(snapped.topLeft()); // a window's position is its frame's
    } else {
        // The client area moves with the frame's edges; the frame's own width stays.
        const QRect client = window->geometry();
        window->setGeometry(client.adjusted(snapped.left() - frame.left(), snapped.top() - frame.top(),
                                            snapped.right() - frame.right(), snapped.bottom() - frame.bottom()));
    }
    placing_ = false;
    frames_[window] = window->frameGeometry();
}

} // namespace fk
