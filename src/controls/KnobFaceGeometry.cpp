#include "controls/KnobFaceGeometry.h"

#include "support/MyMath.h"

#include <cmath>

namespace fk {

namespace {

int RoundHalfUp(double v) noexcept
{
    return static_cast<int>(MyMath::floatround(v, 6));
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
