#include "controls/KnobColors.h"

#include <algorithm>
#include <cmath>

namespace fk {

namespace {

const QColor Silver(0xC0, 0xC0, 0xC0);
const QColor Black(Qt::black);
const QColor White(Qt::white);

// preferred when it keeps the contrast on ground, else black or white, whichever keeps more.
QColor Legible(const QColor& preferred, const QColor& ground, double contrast)
{
    if (TKnobColors::Contrast(preferred, ground) >= contrast)
        return preferred;
    return TKnobColors::Contrast(Black, ground) >= TKnobColors::Contrast(White, ground) ? Black : White;
}

} // namespace

double TKnobColors::Luminance(const QColor& c)
{
    const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double TKnobColors::Contrast(const QColor& a, const QColor& b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TKnobColors TKnobColors::For(const QPalette& palette, bool skinColors, bool enabled, bool canMove, const QColor& color1,
                             const QColor& color2, const QColor& color3)
{
    TKnobColors c;
    if (enabled) {
        c.BackgroundBrush = color2;
        c.KnobBrush = color1;
        c.BackgroundPen = c.KnobPen = Black;
        if (skinColors) {
            c.BackgroundPen = Legible(Black, color2, TextContrast);
            c.KnobPen = Legible(Black, color1, TextContrast);
        }
    } else if (!skinColors) {
        c.BackgroundBrush = c.BackgroundPen = c.KnobPen = Silver;
        c.KnobBrush = White;
    } else {
        // A disabled face lies on the window like a disabled button: its rim and pointer
        // in the disabled button text.
        c.BackgroundBrush = c.KnobBrush = palette.color(QPalette::Disabled, QPalette::Button);
        c.BackgroundPen = c.KnobPen =
            Legible(palette.color(QPalette::Disabled, QPalette::ButtonText), c.KnobBrush, DisabledContrast);
    }
    if (canMove && skinColors) {
        // A skin's spin buttons are buttons of that skin, not the written cyan.
        c.Spin = palette.color(QPalette::Active, QPalette::Button);
        c.SpinArrow = Legible(palette.color(QPalette::Active, QPalette::ButtonText), c.Spin, TextContrast);
    } else if (canMove) {
        c.Spin = color3;
        c.SpinArrow = palette.color(QPalette::Active, QPalette::ButtonText);
    } else if (!skinColors) {
        c.Spin = White;
        c.SpinArrow = palette.color(QPalette::Disabled, QPalette::ButtonText);
        c.Text = Silver;
    } else {
        c.Spin = palette.color(QPalette::Disabled, QPalette::Button);
        c.SpinArrow = Legible(palette.color(QPalette::Disabled, QPalette::ButtonText), c.Spin, DisabledContrast);
        // Invalid: the edit and the labels keep the palette's disabled text.
    }
    return c;
}

} // namespace fk
