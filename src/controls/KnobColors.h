#pragma once
// The colours a knob paints with. With the written colours (the default) the faces, the spin
// buttons and the disabled texts take the knob's Color1..Color3, black, white and silver, as
// designed for a light window. With skin colours every part keeps its contrast on the window's
// palette: the spin arrows are dark or light as the spin colour needs, and a disabled knob takes
// the palette's disabled colours (no bright disc or white buttons on a dark window).
#include <QColor>
#include <QPalette>

namespace fk {

struct TKnobColors {
    QColor BackgroundBrush, BackgroundPen; // the fixed background face
    QColor KnobBrush, KnobPen;             // the turning face
    QColor Spin, SpinArrow;                // the spin buttons and their arrows
    QColor Text;                           // edit and labels; invalid: the palette's own

    // color1..color3: knob face, background face, spin buttons. enabled: the knob is enabled;
    // canMove: the user may move it (the spin buttons and texts follow this one).
    static TKnobColors For(const QPalette& palette, bool skinColors, bool enabled, bool canMove, const QColor& color1,
                           const QColor& color2, const QColor& color3);

    // Relative luminance and contrast ratio as accessibility guidelines define them.
    static double Luminance(const QColor& c);
    static double Contrast(const QColor& a, const QColor& b);
    // Contrast an enabled text keeps with its ground, and a disabled one.
    static constexpr double TextContrast = 7.0;
    static constexpr double DisabledContrast = 2.0;
};

} // namespace fk
