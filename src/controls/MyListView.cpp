#include "controls/MyListView.h"

#include "controls/MyListHeader.h"

#include <QApplication>
#include <algorithm>

namespace fk {

TMyListView::TMyListView(QWidget* parent)
    : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setColumnCount(0);

    header_ = new TMyListHeader(this);
    setHeader(header_);
    header_->onItemClick = [this](int i) { OnColumnClick.Invoke(this, columns_.GetItem(i)); };
    header_->onItemRightClick = [this](int i, const QPoint& p) {
        OnColumnRightClick.Invoke(this, columns_.GetItem(i), p);
    };
    header_->onItemDblClick = [this](int i) { NotifyOnColumnDblClick(i); };
    header_->onStateIconClick = [this](int i) { NotifyOnColumnStateIconClick(i); };
    header_->onDropDown = [this](int i, const QRect& r) { NotifyOnColumnSplitButtonClick(i, r); };
    connect(header_, &QHeaderView::sectionResized, this,
            [this](int i, int oldSize, int newSize) { SectionResized(i, oldSize, newSize); });

    columns_.OnChange = TMyListColumns::TChangeEvent(this, &TMyListView::ColumnsChanged);
    header_->SetColumnStyles(columnStyles_);
}

TMyListView::~TMyListView()
{
    columns_.OnChange = nullptr;
}

void TMyListView::SetColumnStyles(TColumnHeaderStyles styles)
{
    columnStyles_ = styles;
    UpdateColumnStyles();
}

void TMyListView::UpdateColumnStyles()
{
    if (!header_ || header_->ColumnStyles() == columnStyles_)
        return;
    header_->SetColumnStyles(columnStyles_);
    for (int i = 0; i < columns_.Count(); ++i)
        ApplySectionSize(i); // chsNoSizing fixes every item
}

QWidget* TMyListView::GetEditHandle() const
{
    if (state() != QAbstractItemView::EditingState)
        return nullptr;
    QWidget* focus = QApplication::focusWidget();
    return focus && viewport()->isAncestorOf(focus) ? focus : nullptr;
}

void TMyListView::ColumnsChanged(TObject*, TMyListColumn* column)
{
    if (!column) {
        RebuildColumns();
        return;
    }
    NotifyOnColumnChange(column->Index());
}

void TMyListView::RebuildColumns()
{
    setColumnCount(columns_.Count());
    for (int i = 0; i < columns_.Count(); ++i)
        NotifyOnColumnChange(i);
}

void TMyListView::NotifyOnColumnChange(int index)
{
    TMyListColumn* column = columns_.GetItem(index);
    if (!column)
        return;
    if (columnCount() != columns_.Count())
        setColumnCount(columns_.Count());
    QTreeWidgetItem* head = headerItem();
    head->setText(index, column->Caption());
    head->setTextAlignment(index, column->Alignment() | Qt::AlignVCenter);
    header_->SetSectionFormat(index, column->HeaderFormat(header_->SectionFormat(index)));
    ApplySectionSize(index);
    DoOnColumnChange(column);
}

void TMyListView::ApplySectionSize(int index)
{
    const TMyListColumn* column = columns_.GetItem(index);
    if (!column || index >= header_->count())
        return;
    QHeaderView::ResizeMode mode = QHeaderView::Interactive;
    if (column->AutoSize())
        mode = QHeaderView::Stretch;
    else if (column->FixedWidth() || columnStyles_.Contains(chsNoSizing))
        mode = QHeaderView::Fixed;
    applyingSize_ = true;
    header_->setSectionResizeMode(index, mode);
    if (mode != QHeaderView::Stretch)
        header_->resizeSection(index, column->EffectiveWidth());
    applyingSize_ = false;
}

void TMyListView::SectionResized(int index, int, int newSize)
{
    if (applyingSize_)
        return;
    TMyListColumn* column = columns_.GetItem(index);
    if (!column || column->AutoSize() || header_->sectionResizeMode(index) == QHeaderView::Stretch)
        return;
    // The user dragged the item's edge: keep the column's limits and remember its width.
    int size = std::max(newSize, column->MinWidth());
    if (column->MaxWidth() > 0)
        size = std::min(size, column->MaxWidth());
    applyingSize_ = true;
    if (size != newSize)
        header_->resizeSection(index, size);
    column->SetWidth(size);
    applyingSize_ = false;
}

void TMyListView::NotifyOnColumnDblClick(int index)
{
    if (TMyListColumn* column = columns_.GetItem(index))
        DoOnColumnDblClick(column);
}

void TMyListView::NotifyOnColumnStateIconClick(int index)
{
    if (TMyListColumn* column = columns_.GetItem(index))
        DoOnColumnStateIconClick(column);
}

void TMyListView::NotifyOnColumnSplitButtonClick(int index, const QRect& rect)
{
    TMyListColumn* column = columns_.GetItem(index);
    if (column && !rect.isEmpty())
        DoOnColumnSplitButtonClick(column, rect);
}

void TMyListView::DoOnColumnChange(TMyListColumn*) {}

void TMyListView::DoOnColumnDblClick(TMyListColumn* column)
{
    OnColumnDblClick.Invoke(this, column);
}

void TMyListView::DoOnColumnStateIconClick(TMyListColumn* column)
{
    OnColumnStateIconClick.Invoke(this, column);
}

void TMyListView::DoOnColumnSplitButtonClick(TMyListColumn* column, const QRect& rect)
{
    OnColumnSplitClick.Invoke(this, column, rect);
}

QTreeWidgetItem* TMyListView::AddItem(const QString& caption, const QStringList& subItems)
{
    auto* item = new QTreeWidgetItem(this);
    item->setText(0, caption);
    for (int i = 0; i < subItems.size(); ++i)
        item->setText(i + 1, subItems[i]);
    for (int i = 0; i < columns_.Count(); ++i)
        item->setTextAlignment(i, columns_.GetItem(i)->Alignment() | Qt::AlignVCenter);
    return item;
}

void TMyListView::AlphaSort(int data)
{
    QTreeWidgetItem* current = currentItem();
    const QList<QTreeWidgetItem*> selected = selectedItems();
    QList<QTreeWidgetItem*> rows = invisibleRootItem()->takeChildren();
    std::stable_sort(rows.begin(), rows.end(), [&](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        int compare = 0;
        if (OnCompare)
            OnCompare.Invoke(this, a, b, data, compare);
        else
            compare = QString::localeAwareCompare(a->text(0), b->text(0));
        return compare < 0;
    });
    invisibleRootItem()->addChildren(rows);
    if (current)
        setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    for (QTreeWidgetItem* item : selected)
        item->setSelected(true);
}

} // namespace fk
