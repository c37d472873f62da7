#include "app/PortListBox.h"

#include "app/PortListDelegate.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include <algorithm>

namespace fk {

TPortListBox::TPortListBox(const TPortImageList* images, QWidget* parent)
    : QListWidget(parent)
    , delegate_(new TPortListDelegate(images, this))
{
    setItemDelegate(delegate_);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideRight);
    // The selection, not the current row: focus alone makes a row current without selecting it.
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (quiet_)
            return;
        const QList<QListWidgetItem*> items = selectedItems();
        emit SelectedRowChanged(items.isEmpty() ? -1 : row(items.constFirst()));
    });
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) { emit RowClicked(index.row()); });
}

int TPortListBox::RowHeight(int designItemHeight, int dpi) noexcept
{
    return ((designItemHeight * 6 + 16) * dpi + 288) / 576;
}

void TPortListBox::SetRowHeight(int height)
{
    delegate_->SetRowHeight(height);
    doItemsLayout();
}

void TPortListBox::SetRows(const std::vector<TRow>& rows, int selected)
{
    quiet_ = true;
    clear();
    for (const TRow& row : rows) {
        auto* item = new QListWidgetItem(row.Name, this);
        item->setData(TPortListDelegate::ImageIndexRole, row.ImageIndex);
        SetDescription(count() - 1, row.Description);
    }
    UpdateNameColumn();
    quiet_ = false;
    SelectRow(selected);
}

void TPortListBox::SetDescription(int row, const QString& description)
{
    QListWidgetItem* it = item(row);
    if (!it)
        return;
    it->setData(TPortListDelegate::DescriptionRole, description);
    it->setToolTip(description.isEmpty() ? it->text() : it->text() + QStringLiteral(" (") + description + ')');
}

void TPortListBox::SelectRow(int row)
{
    quiet_ = true;
    if (row >= 0 && row < count()) {
        setCurrentRow(row);
        scrollToItem(item(row));
    } else {
        setCurrentRow(-1);
        clearSelection();
    }
    quiet_ = false;
}

void TPortListBox::UpdateNameColumn()
{
    const QFontMetrics metrics(font());
    int width = metrics.horizontalAdvance(QStringLiteral("ttyUSB00"));
    for (int i = 0; i < count(); ++i)
        width = std::max(width, metrics.horizontalAdvance(item(i)->text()));
    delegate_->SetNameColumnWidth(width);
}

void TPortListBox::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        emit ConnectRequested();
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void TPortListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
        emit ConnectRequested();
}

void TPortListBox::contextMenuEvent(QContextMenuEvent* event)
{
    if (popup_)
        popup_->popup(event->globalPos());
}

} // namespace fk
