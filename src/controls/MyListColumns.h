#pragma once
// The columns of a TMyListView, in display order. The collection owns its columns and tells
// its owner, through OnChange, of a changed column (the column) or of columns added, removed
// or replaced (no column).
#include "controls/MyListColumn.h"

#include <memory>
#include <vector>

namespace fk {

class TMyListColumns : public TObject {
public:
    using TChangeEvent = TEvent<TObject*, TMyListColumn*>;

    TMyListColumns() = default;
    TMyListColumns(const TMyListColumns&) = delete;
    TMyListColumns& operator=(const TMyListColumns&) = delete;

    int Count() const noexcept { return static_cast<int>(items_.size()); }
    // nullptr for an index outside 0..Count()-1.
    TMyListColumn* GetItem(int index) const noexcept;
    // The column at index takes the properties of column.
    void SetItem(int index, const TMyListColumn& column);
    TMyListColumn* Add();
    void Delete(int index);
    void Clear();
    // The same columns as other.
    void Assign(const TMyListColumns& other);
    int IndexOf(const TMyListColumn* column) const noexcept;

    TChangeEvent OnChange;

    // Called by a column whose value changed.
    void Changed(TMyListColumn* column);

private:
    std::vector<std::unique_ptr<TMyListColumn>> items_;
};

} // namespace fk
