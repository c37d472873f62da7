#include "controls/DropDownWidth.h"

namespace fk {

int TDropDownWidth::MarginFor(int itemCount, int dropDownCount, int pixelsPerInch)
{
    const int margin = itemCount > dropDownCount ? ScrollingMargin : Margin;
    return (pixelsPerInch * margin + 48) / 96;
}

int TDropDownWidth::WidthFor(int widestText, int itemCount, int dropDownCount, int pixelsPerInch)
{
    return MarginFor(itemCount, dropDownCount, pixelsPerInch) + (widestText > 0 ? widestText : 0);
}

} // namespace fk
