#pragma once
// TMyPageControl: pages with their tabs on any side (at the bottom unless told otherwise).
#include <QTabWidget>

namespace fk {

enum TPageOrientation : int { toBottom = 0, toLeft = 1, toRight = 2, toTop = 3 };

class TMyPageControl : public QTabWidget {
public:
    explicit TMyPageControl(QWidget* parent = nullptr);

    TPageOrientation PageOrientation() const noexcept { return orientation_; }
    void SetPageOrientation(TPageOrientation orientation);

    // Where Qt puts the tabs for an orientation. Side tabs stack in one column: Qt's tab bar
    // has no rows of tabs, it scrolls instead when they do not fit.
    static QTabWidget::TabPosition TabPositionFor(TPageOrientation orientation);

private:
    TPageOrientation orientation_ = toBottom;
};

} // namespace fk
