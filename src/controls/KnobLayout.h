#pragma once
// Where the parts of a knob go (no widgets involved): the two faces, the edit box with the spin
// buttons right of it, the unit label behind them and the caption label, from the parts' sizes
// and visibility in screen pixels. The control's own size is the largest right and bottom edge
// of its visible parts.
#include <QRect>
#include <QSize>

namespace fk {

class TKnobLayout {
public:
    struct TInput {
        bool backgroundVisible = true;
        bool knobVisible = true;
        int backgroundSize = 24;
        int knobSize = 20;
        bool editVisible = true;
        int editWidth = 40;
        int editHeight = 21;
        bool spinVisible = true;
        int spinWidth = 15;
        bool captionVisible = false;
        QSize captionSize;
        bool unitVisible = false;
        QSize unitSize;
        bool labelToKnob = false;
        int editLeft = 0;        // smallest left edge of the edit box
        double zeroAngle = 90.0; // decides where an odd spare pixel between the faces goes
        int editSpace = 3;       // faces to edit box
        int labelSpace = 2;      // above the caption
        int labelUnitSpace = 2;  // before the unit label, and how much lower it sits
    };

    struct TResult {
        QRect background;
        QRect knob;
        QRect edit;
        QRect spin;
        QRect caption;
        QRect unit;
        QSize size; // right and bottom edge of everything visible
    };

    static TResult Arrange(const TInput& in);
    // The spin buttons are as high as the edit box, made odd so the two arrows split evenly.
    static int SpinHeight(int editHeight) noexcept { return editHeight | 1; }
};

} // namespace fk
