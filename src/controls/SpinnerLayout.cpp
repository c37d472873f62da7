#include "controls/SpinnerLayout.h"

#include <algorithm>

namespace fk {

TSpinnerLayout TSpinnerLayout::Arrange(int width, int height, bool buttonsVisible, TUDAlignButton align)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    const int buttonWidth = buttonsVisible ? std::min(height * 3 / 4, width) : 0;
    const int editWidth = width - buttonWidth;
    TSpinnerLayout l;
    if (align == udLeft) {
        l.buttons = QRect(0, 0, buttonWidth, height);
        l.edit = QRect(buttonWidth, 0, editWidth, height);
    } else {
        l.edit = QRect(0, 0, editWidth, height);
        l.buttons = QRect(editWidth, 0, buttonWidth, height);
    }
    return l;
}

} // namespace fk
