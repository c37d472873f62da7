#pragma once
// TMyListView: a report-style list (rows of a caption and sub-items under a header) whose
// header items show what their columns ask for: a sort arrow, a split (drop-down) button, a
// check box, a fixed width. It raises events for clicks, right clicks and double clicks on a
// header item, for a click on an item's check box and for a press on its split button.
//
// Column events carry the TMyListColumn; points and rectangles are in the header's coordinates
// (GetHeaderHandle()->mapToGlobal turns them into screen points, e.g. for a drop-down menu).
#include "controls/ColumnHeaderStyles.h"
#include "controls/MyListColumns.h"

#include <QTreeWidget>

namespace fk {

class TMyListHeader;

using TLVMyColumnClickEvent = TEvent<TObject*, TMyListColumn*>;
using TLVMyColumnRClickEvent = TEvent<TObject*, TMyListColumn*, QPoint>;
using TLVMyColumnRectEvent = TEvent<TObject*, TMyListColumn*, QRect>;
// Sender, Item1, Item2, Data, Compare: Compare < 0 puts Item1 first.
using TLVCompareEvent = TEvent<TObject*, QTreeWidgetItem*, QTreeWidgetItem*, int, int&>;

class TMyListView : public QTreeWidget, public TObject {
public:
    explicit TMyListView(QWidget* parent = nullptr);
    ~TMyListView() override;

    TColumnHeaderStyles ColumnStyles() const noexcept { return columnStyles_; }
    void SetColumnStyles(TColumnHeaderStyles styles);
    // Applies ColumnStyles to the header when it differs.
    void UpdateColumnStyles();

    // The Columns property.
    TMyListColumns& GetListColumns() noexcept { return columns_; }
    const TMyListColumns& GetListColumns() const noexcept { return columns_; }
    void SetListColumns(const TMyListColumns& columns) { columns_.Assign(columns); }
    TMyListColumns& Columns() noexcept { return columns_; }

    // The in-place editor while a caption is edited (else nullptr), and the header.
    QWidget* GetEditHandle() const;
    TMyListHeader* GetHeaderHandle() const noexcept { return header_; }

    TLVMyColumnClickEvent OnColumnClick;
    TLVMyColumnRClickEvent OnColumnRightClick;
    TLVMyColumnClickEvent OnColumnDblClick;
    TLVMyColumnClickEvent OnColumnStateIconClick;
    TLVMyColumnRectEvent OnColumnSplitClick;

    // Rows: a caption and the texts of the further columns, aligned as their columns are.
    QTreeWidgetItem* AddItem(const QString& caption, const QStringList& subItems = {});
    // Sorts the rows by OnCompare (by caption when no handler is assigned); equal rows keep
    // their order.
    void AlphaSort(int data = 0);
    TLVCompareEvent OnCompare;
    int Tag() const noexcept { return tag_; }
    void SetTag(int tag) noexcept { tag_ = tag; }

protected:
    // Header notifications.
    void NotifyOnColumnChange(int index);
    void NotifyOnColumnDblClick(int index);
    void NotifyOnColumnStateIconClick(int index);
    void NotifyOnColumnSplitButtonClick(int index, const QRect& rect);

    // Raisers; DoOnColumnChange runs after a header item took its column's format.
    virtual void DoOnColumnChange(TMyListColumn* column);
    virtual void DoOnColumnDblClick(TMyListColumn* column);
    virtual void DoOnColumnStateIconClick(TMyListColumn* column);
    virtual void DoOnColumnSplitButtonClick(TMyListColumn* column, const QRect& rect);

private:
    void ColumnsChanged(TObject* sender, TMyListColumn* column);
    void RebuildColumns();
    void ApplySectionSize(int index);
    void SectionResized(int index, int oldSize, int newSize);

    TMyListColumns columns_;
    TMyListHeader* header_ = nullptr;
    TColumnHeaderStyles columnStyles_;
    int tag_ = 0;
    bool applyingSize_ = false;
};

} // namespace fk
