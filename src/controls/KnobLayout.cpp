#include "controls/KnobLayout.h"

#include "controls/KnobLogic.h"

#include <algorithm>

namespace fk {

TKnobLayout::TResult TKnobLayout::Arrange(const TInput& in)
{
    TResult r;
    const bool faces = in.backgroundVisible || in.knobVisible;
    const int faceHeight = in.backgroundVisible ? in.backgroundSize : in.knobVisible ? in.knobSize : 0;
    const int spinHeight = SpinHeight(in.editHeight);
    // The edit box and the spin buttons share their bottom edge; that block and the faces are
    // centred on each other.
    const int block = std::max(in.editVisible ? in.editHeight : 0, in.spinVisible ? spinHeight : 0);
    const int facesTop = faceHeight < block ? (block - faceHeight) / 2 : 0;
    const int blockTop = faceHeight > block ? (faceHeight - block) / 2 : 0;
    const int blockBottom = blockTop + block;

    // 1. Faces; an odd spare pixel goes by the quadrant the zero angle points into.
    r.background = QRect(0, facesTop, in.backgroundSize, in.backgroundSize);
    if (in.backgroundVisible) {
        const int d = in.backgroundSize - in.knobSize;
        const double q = TKnobLogic::AngleWrap(in.zeroAngle);
        int top = (d + 1) / 2;
        int left = (d + 1) / 2;
        if (q < -90) {
            top = d / 2;
        } else if (q < 0) {
            top = d / 2;
            left = d / 2;
        } else if (q < 90) {
            left = d / 2;
        }
        r.knob = QRect(left, facesTop + top, in.knobSize, in.knobSize);
    } else {
        r.knob = QRect(0, facesTop, in.knobSize, in.knobSize);
    }

    // 2. Edit box, spin buttons and unit label rows.
    const int editTop = blockBottom - in.editHeight;
    const int editBottom = editTop + in.editHeight;
    const int unitTop = editTop + (in.editHeight - in.unitSize.height()) / 2 + in.labelUnitSpace;

    // 3. Left edge of the edit box.
    int c = 0;
    if (in.backgroundVisible)
        c = in.backgroundSize + in.editSpace;
    else if (in.knobVisible)
        c = in.knobSize + in.editSpace;
    c = std::max(c, in.editLeft);

    // 4. Caption.
    QPoint caption;
    if (in.labelToKnob) {
        if (faces) {
            const int faceBottom = facesTop + faceHeight;
            caption = QPoint(0, std::max(faceBottom + in.labelSpace, in.editVisible ? editBottom : blockBottom));
        } else {
            caption = QPoint(0, editTop + (in.editHeight - in.captionSize.height()) / 2);
            if (in.captionVisible)
                c = std::max(c, in.captionSize.width() + in.editSpace);
        }
    } else {
        caption = QPoint(c, in.editVisible ? editBottom + in.labelSpace : unitTop);
    }
    r.caption = QRect(caption, in.captionSize);

    // 5. Left to right: edit box, spin buttons, unit label.
    r.edit = QRect(c, editTop, in.editWidth, in.editHeight);
    const int spinLeft = in.editVisible ? r.edit.left() + in.editWidth : c;
    r.spin = QRect(spinLeft, blockBottom - spinHeight, in.spinWidth, spinHeight);
    const int unitLeft = in.spinVisible ? spinLeft + in.spinWidth : in.editVisible ? spinLeft : c;
    r.unit = QRect(unitLeft + in.labelUnitSpace, unitTop, in.unitSize.width(), in.unitSize.height());

    // 6. The size that holds every visible part.
    const auto grow = [&](bool visible, const QRect& rect) {
        if (!visible || rect.isEmpty())
            return;
        r.size = r.size.expandedTo(QSize(rect.x() + rect.width(), rect.y() + rect.height()));
    };
    r.size = QSize(0, 0);
    grow(in.backgroundVisible, r.background);
    grow(in.knobVisible, r.knob);
    grow(in.editVisible, r.edit);
    grow(in.spinVisible, r.spin);
    grow(in.captionVisible, r.caption);
    grow(in.unitVisible, r.unit);
    return r;
}

} // namespace fk
