#pragma once
// Where the spinner's edit and buttons go inside the control.
#include "controls/SpinnerTypes.h"

#include <QRect>

namespace fk {

class TSpinnerLayout {
public:
    QRect edit;
    QRect buttons; // empty when the buttons are hidden

    // The full height is used; the buttons are three quarters of it wide (none when hidden) and
    // the edit takes the rest, the buttons on the side AlignButton names.
    static TSpinnerLayout Arrange(int width, int height, bool buttonsVisible, TUDAlignButton align);
    // A new control is three times as wide as it is high.
    static int DefaultWidth(int height) { return 3 * height; }
};

} // namespace fk
