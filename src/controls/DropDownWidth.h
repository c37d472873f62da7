#pragma once
// How wide a combo box's drop-down list is made: the widest item text plus a margin, wider
// when the list scrolls (a scroll bar takes room). Sizes for a 96-dpi screen are scaled.
namespace fk {

class TDropDownWidth {
public:
    static constexpr int Margin = 8;           // design pixels beside the widest text
    static constexpr int ScrollingMargin = 24; // ... when a scroll bar shows as well

    // The margin for a list of itemCount items of which dropDownCount show at once, on a
    // screen of pixelsPerInch: (ppi * margin + 48) / 96.
    static int MarginFor(int itemCount, int dropDownCount, int pixelsPerInch);
    // The drop-down width for the widest item text.
    static int WidthFor(int widestText, int itemCount, int dropDownCount, int pixelsPerInch);
};

} // namespace fk
