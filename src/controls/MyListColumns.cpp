#include "controls/MyListColumns.h"

namespace fk {

TMyListColumn* TMyListColumns::GetItem(int index) const noexcept
{
    return index >= 0 && index < Count() ? items_[static_cast<std::size_t>(index)].get() : nullptr;
}

void TMyListColumns::SetItem(int index, const TMyListColumn& column)
{
    if (TMyListColumn* item = GetItem(index))
        item->Assign(column);
}

TMyListColumn* TMyListColumns::Add()
{
    items_.push_back(std::make_unique<TMyListColumn>(this));
    Changed(nullptr);
    return items_.back().get();
}

void TMyListColumns::Delete(int index)
{
    if (index < 0 || index >= Count())
        return;
    items_.erase(items_.begin() + index);
    Changed(nullptr);
}

void TMyListColumns::Clear()
{
    if (items_.empty())
        return;
    items_.clear();
    Changed(nullptr);
}

void TMyListColumns::Assign(const TMyListColumns& other)
{
    if (&other == this)
        return;
    // Built quietly, announced once.
    const TChangeEvent handler = OnChange;
    OnChange = nullptr;
    items_.clear();
    for (const auto& column : other.items_) {
        items_.push_back(std::make_unique<TMyListColumn>(this));
        items_.back()->Assign(*column);
    }
    OnChange = handler;
    Changed(nullptr);
}

int TMyListColumns::IndexOf(const TMyListColumn* column) const noexcept
{
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == column)
            return static_cast<int>(i);
    return -1;
}

void TMyListColumns::Changed(TMyListColumn* column)
{
    OnChange.Invoke(this, column);
}

} // namespace fk
