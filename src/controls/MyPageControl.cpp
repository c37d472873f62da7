#include "controls/MyPageControl.h"

namespace fk {

TMyPageControl::TMyPageControl(QWidget* parent)
    : QTabWidget(parent)
{
    setTabPosition(TabPositionFor(orientation_));
}

QTabWidget::TabPosition TMyPageControl::TabPositionFor(TPageOrientation orientation)
{
    switch (orientation) {
    case toLeft:
        return QTabWidget::West;
    case toRight:
        return QTabWidget::East;
    case toTop:
        return QTabWidget::North;
    case toBottom:
    default:
        return QTabWidget::South;
    }
}

void TMyPageControl::SetPageOrientation(TPageOrientation orientation)
{
    if (orientation < toBottom || orientation > toTop || orientation == orientation_)
        return;
    orientation_ = orientation;
    setTabPosition(TabPositionFor(orientation));
}

} // namespace fk
