#include "controls/DesignScale.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace fk {

TDesignScale::TDesignScale(double logicalDpi) noexcept
    : factor_(logicalDpi > 0 ? logicalDpi / DesignDpi : 1.0)
{
}

TDesignScale TDesignScale::ForWidget(const QWidget* widget)
{
    const QScreen* screen = widget ? widget->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return TDesignScale(screen ? screen->logicalDotsPerInch() : DesignDpi);
}

int TDesignScale::operator()(int designPixels) const noexcept
{
    if (designPixels == 0)
        return 0;
    const long scaled = std::lround(designPixels * factor_);
    if (scaled == 0)
        return designPixels > 0 ? 1 : -1;
    return static_cast<int>(scaled);
}

} // namespace fk
