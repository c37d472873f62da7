#pragma once
// The style bits of a list view's column header, kept as a 16-bit set.
#include "platform/Types.h"

namespace fk {

// Bit n of the set stands for the header style 1 << n.
enum TColumnHeaderStyleBit : int {
    chsUnknown0 = 0,
    chsButtons = 1,    // items act as buttons (they can be clicked)
    chsHotTrack = 2,   // the item under the pointer is highlighted
    chsHidden = 3,     // the header is not shown
    chsUnknown4 = 4,
    chsUnknown5 = 5,
    chsDragDrop = 6,   // items can be dragged to another place
    chsFullDrag = 7,   // the columns follow while an item is resized
    chsFilerBar = 8,   // a filter bar under the items
    chsFlat = 9,
    chsCheckboxes = 10, // items may show check boxes
    chsNoSizing = 11,   // items cannot be resized by the user
    chsOverflow = 12,   // an overflow button when the items do not fit
};

class TColumnHeaderStyles {
public:
    // {chsButtons, chsDragDrop, chsFullDrag, chsCheckboxes}
    static constexpr u16 Default = 1218;

    constexpr TColumnHeaderStyles() noexcept = default;
    constexpr explicit TColumnHeaderStyles(u16 bits) noexcept : bits_(bits) {}

    constexpr u16 Bits() const noexcept { return bits_; }
    constexpr bool Contains(TColumnHeaderStyleBit bit) const noexcept
    {
        return bit >= 0 && bit < 16 && (bits_ >> bit) & 1u;
    }
    TColumnHeaderStyles& Include(TColumnHeaderStyleBit bit) noexcept;
    TColumnHeaderStyles& Exclude(TColumnHeaderStyleBit bit) noexcept;

    // A window style word with its low 16 bits replaced by the set and its high bits kept.
    constexpr u32 ApplyTo(u32 windowStyle) const noexcept { return (windowStyle & 0xFFFF0000u) | bits_; }

    // The header item format flags drawn and hit-tested: an item's check box shows only when
    // the header allows check boxes.
    u32 VisibleFormat(u32 itemFormat) const noexcept;

    friend constexpr bool operator==(TColumnHeaderStyles a, TColumnHeaderStyles b) noexcept
    {
        return a.bits_ == b.bits_;
    }

private:
    u16 bits_ = Default;
};

} // namespace fk
