#pragma once
// The knob's pair of spin buttons (up above down), drawn with the current style's spin-box
// arrows on the knob's spin colour. A left press on a button reports the press and then one
// step in its direction; holding the button repeats the step at the style's rate until the
// button is released or the knob starts a drag. Presses, moves and releases are reported with
// the same mouse events as a knob face.
#include "controls/KnobPart.h"

#include <QColor>
#include <QString>
#include <QTimer>

namespace fk {

class TKnobSpinButtons : public TKnobPart {
public:
    // Design width of the buttons (pixels at 96 dpi).
    static constexpr int DefaultWidth = 15;

    explicit TKnobSpinButtons(QWidget* parent = nullptr);

    const QColor& Color() const noexcept { return color_; }
    void SetColor(const QColor& color);
    // The arrows' colour; invalid: the palette's button text.
    const QColor& ArrowColor() const noexcept { return arrowColor_; }
    void SetArrowColor(const QColor& color);
    // Ends the repetition of a held button (a drag took over).
    void StopRepeat();
    // Lets go of a held button without a release (the knob was disabled or hidden, or lost
    // the mouse): no further step, the button drawn raised.
    void CancelPress();

    // The names assistive technology reads for the buttons, and where each is drawn.
    void SetSpokenNames(const QString& increase, const QString& decrease);
    QString SpokenName(bool up) const { return spoken_[up ? 0 : 1]; }
    QRect ArrowRect(bool up) const { return ButtonRect(up ? btUp : btDown); }

    // (Sender, up): a step of a button.
    TEvent<TObject*, bool> OnSpin;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum TButton { btNone, btUp, btDown };
    QRect ButtonRect(TButton button) const;
    void Repeat();

    QColor color_;
    QColor arrowColor_;
    QString spoken_[2] = {QStringLiteral("Increase"), QStringLiteral("Decrease")};
    TButton pressed_ = btNone;
    QTimer repeat_;
};

} // namespace fk
