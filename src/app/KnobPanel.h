#pragma once
// TKnobPanel: the main window's device controls (" Control "): the open time and the break
// time, each with its label, scroll bar and knob, and the Venting button.
//
// The panel shows what the window gives it (ShowKnob) and tells what the user does through
// its signals; the window passes both on to and from the device session. A scroll bar's
// handle dragged or turned by the wheel moves its knob; the end of the move (the handle
// released, the wheel at rest for TKnob::WheelBurstEnd, a step or a page) is reported as
// ended. Nothing shown here goes back through the signals.
#include "session/SessionView.h"

#include <QGroupBox>
#include <QString>

class QLabel;
class QPushButton;
class QScrollBar;
class QTimer;

namespace fk {

class TDesignScale;
class TKnob;

class TKnobPanel : public QGroupBox {
    Q_OBJECT
public:
    struct TRange {
        int Position = 0;
        int Min = 0;
        int Max = 100;
    };

    // The knobs start at these ranges and positions (open time, break time).
    TKnobPanel(const TRange& openTime, const TRange& breakTime, QWidget* parent);

    TKnob* Knob(TSessionKnob knob) const noexcept { return knob_[knob]; }
    QScrollBar* ScrollBar(TSessionKnob knob) const noexcept { return scrollBar_[knob]; }

    // Shows a knob's range and position without reporting it back.
    void ShowKnob(TSessionKnob knob, int position, int min, int max);
    // Skin colours on the knobs (false: the platform's own skin keeps their written colours).
    void SetSkinColors(bool skin);
    // The units shown (ms, s) and the names a screen reader speaks for both controls of a
    // time: its label with the unit; increase and decrease hold %1 for the label.
    void ApplyTexts(const QString (&units)[2], const QString& increase, const QString& decrease);
    void ApplyDensity(const TDesignScale& scale);

signals:
    // A scroll bar moved its knob to position; ended: the move is over.
    void ScrollBarScrolled(TSessionKnob knob, bool ended, int position);
    void KnobPositionChanged(TSessionKnob knob, int position);
    void KnobMoveEnded(TSessionKnob knob);
    void VentingClicked();

private:
    void Scrolled(TSessionKnob knob, int action);

    QLabel* label_[2] = {};
    QScrollBar* scrollBar_[2] = {};
    QTimer* scrollBurst_[2] = {}; // a wheel burst over a scroll bar ends when it runs out
    TKnob* knob_[2] = {};
    QPushButton* ventingButton_ = nullptr;
};

} // namespace fk
