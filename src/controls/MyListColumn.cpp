#include "controls/MyListColumn.h"

#include "controls/MyListColumns.h"

#include <algorithm>

namespace fk {

int TMyListColumn::Index() const
{
    return owner_ ? owner_->IndexOf(this) : -1;
}

template <class T>
void TMyListColumn::Store(T& field, const T& value)
{
    if (field == value)
        return; // an unchanged value does not refresh the header
    field = value;
    DoChange();
}

void TMyListColumn::SetCaption(const QString& caption)
{
    Store(caption_, caption);
}

void TMyListColumn::SetWidth(int width)
{
    Store(width_, std::max(width, 0));
}

void TMyListColumn::SetMinWidth(int width)
{
    Store(minWidth_, std::max(width, 0));
}

void TMyListColumn::SetMaxWidth(int width)
{
    Store(maxWidth_, std::max(width, 0));
}

void TMyListColumn::SetAlignment(Qt::Alignment alignment)
{
    Store(alignment_, alignment & Qt::AlignHorizontal_Mask);
}

void TMyListColumn::SetAutoSize(bool on)
{
    Store(autoSize_, on);
}

void TMyListColumn::SetSortDirection(TUpDownDirection direction)
{
    if (direction < updNone || direction > updDown)
        return;
    Store(sortDirection_, direction);
}

void TMyListColumn::SetSplitButton(bool on)
{
    Store(splitButton_, on);
}

void TMyListColumn::SetShowCheckBox(bool on)
{
    Store(showCheckBox_, on);
}

void TMyListColumn::SetChecked(bool on)
{
    Store(checked_, on);
}

int TMyListColumn::EffectiveWidth() const noexcept
{
    if (FixedWidth() && maxWidth_ > 0)
        return maxWidth_;
    int w = std::max(width_, minWidth_);
    if (maxWidth_ > 0)
        w = std::min(w, maxWidth_);
    return w;
}

u32 TMyListColumn::HeaderFormat(u32 format) const noexcept
{
    format &= ~hdfColumnFlags;
    if (FixedWidth())
        format |= hdfFixedWidth;
    if (splitButton_)
        format |= hdfSplitButton;
    if (showCheckBox_)
        format |= hdfCheckBox;
    if (checked_)
        format |= hdfChecked;
    if (sortDirection_ == updUp)
        format |= hdfSortUp;
    else if (sortDirection_ == updDown)
        format |= hdfSortDown;
    return format;
}

void TMyListColumn::Assign(const TMyListColumn& other)
{
    if (&other == this)
        return;
    caption_ = other.caption_;
    width_ = other.width_;
    minWidth_ = other.minWidth_;
    maxWidth_ = other.maxWidth_;
    alignment_ = other.alignment_;
    autoSize_ = other.autoSize_;
    sortDirection_ = other.sortDirection_;
    splitButton_ = other.splitButton_;
    showCheckBox_ = other.showCheckBox_;
    checked_ = other.checked_;
    DoChange();
}

void TMyListColumn::DoChange()
{
    if (owner_)
        owner_->Changed(this);
}

} // namespace fk
