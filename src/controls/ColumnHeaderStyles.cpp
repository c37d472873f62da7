#include "controls/ColumnHeaderStyles.h"

#include "controls/MyListColumn.h"

namespace fk {

TColumnHeaderStyles& TColumnHeaderStyles::Include(TColumnHeaderStyleBit bit) noexcept
{
    if (bit >= 0 && bit < 16)
        bits_ = static_cast<u16>(bits_ | (1u << bit));
    return *this;
}

TColumnHeaderStyles& TColumnHeaderStyles::Exclude(TColumnHeaderStyleBit bit) noexcept
{
    if (bit >= 0 && bit < 16)
        bits_ = static_cast<u16>(bits_ & ~(1u << bit));
    return *this;
}

u32 TColumnHeaderStyles::VisibleFormat(u32 itemFormat) const noexcept
{
    if (!Contains(chsCheckboxes))
        itemFormat &= ~(TMyListColumn::hdfCheckBox | TMyListColumn::hdfChecked);
    return itemFormat;
}

} // namespace fk
