#pragma once
// Sizes of the controls are given for a 96-dpi screen (a 24-pixel knob face, a 40 x 21 edit,
// 15-pixel spin buttons). TDesignScale turns such design pixels into the pixels of the screen a
// widget is on, by the screen's logical density / 96. Qt already multiplies by the device pixel
// ratio on high-density screens, so this factor covers only a larger logical font density.
class QWidget;

namespace fk {

class TDesignScale {
public:
    static constexpr double DesignDpi = 96.0;

    explicit TDesignScale(double logicalDpi = DesignDpi) noexcept;
    // The factor of the screen the widget is on (of the primary screen before it is shown).
    static TDesignScale ForWidget(const QWidget* widget);

    double Factor() const noexcept { return factor_; }
    // Design pixels to screen pixels, rounded half away from zero; never 0 for a non-zero size.
    int operator()(int designPixels) const noexcept;

private:
    double factor_;
};

} // namespace fk
