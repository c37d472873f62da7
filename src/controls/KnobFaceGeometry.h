#pragma once
// The pointer line of a round knob face of w x h pixels turned to an angle (radians,
// counter-clockwise, 0 = pointing right): from the rim, 1 pixel inside the edge, to an inner
// point an eighth of the size from the centre; every coordinate is rounded half up.
#include <QLine>

namespace fk {

class TKnobFaceGeometry {
public:
    static QLine PointerLine(int width, int height, double angle) noexcept;
};

} // namespace fk
