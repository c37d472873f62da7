#include "controls/KnobFaceGeometry.h"

#include "support/MyMath.h"

#include <cmath>

namespace fk {

namespace {

// floor(v + 0.5). sin and cos of whole quarter turns are not exactly 0 in doubles (sin(pi) is
// about 1.2e-16): a hair's allowance keeps such exact halves rounding up, so a pointer at 0, 90,
// 180 or 270 degrees is straight.
int RoundHalfUp(double v) noexcept
{
    return static_cast<int>(MyMath::floatround(v + 1e-9, 6));
}

} // namespace

QLine TKnobFaceGeometry::PointerLine(int width, int height, double angle) noexcept
{
    const double w = width;
    const double h = height;
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    return QLine(RoundHalfUp(w / 2 + c * (w - 2) / 2 - 0.5), RoundHalfUp(h / 2 - s * (h - 2) / 2 - 0.5),
                 RoundHalfUp(w / 2 + c * w / 8 - 0.5), RoundHalfUp(h / 2 - s * h / 8 - 0.5));
}

} // namespace fk
