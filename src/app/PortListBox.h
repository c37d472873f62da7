#pragma once
// The connection port list widget: one row per port (name, description, icon) drawn by
// TPortListDelegate. Double click and Enter ask for a connection (ConnectRequested); a
// click on a row is reported as RowClicked; the context menu is the port list's pop-up.
#include <QListWidget>

namespace fk {

class TPortImageList;
class TPortListDelegate;

class TPortListBox : public QListWidget {
    Q_OBJECT
public:
    struct TRow {
        QString Name;
        QString Description;
        int ImageIndex = -1;
    };

    TPortListBox(const TPortImageList* images, QWidget* parent = nullptr);

    TPortListDelegate* Delegate() const noexcept { return delegate_; }

    // Replaces every row and selects `selected` (-1: none) without reporting a change.
    void SetRows(const std::vector<TRow>& rows, int selected);
    // A row's description and its tool tip.
    void SetDescription(int row, const QString& description);
    // Selects a row (-1: none) without reporting a change.
    void SelectRow(int row);
    // Row height from the design's item height and the density (dots per inch).
    static int RowHeight(int designItemHeight, int dpi) noexcept;
    void SetRowHeight(int height);

    // The pop-up menu for the rows (none: no context menu).
    void SetPopupMenu(QMenu* menu) noexcept { popup_ = menu; }

signals:
    void ConnectRequested();
    void RowClicked(int row);
    void SelectedRowChanged(int row);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void UpdateNameColumn();

    TPortListDelegate* delegate_;
    QMenu* popup_ = nullptr;
    bool quiet_ = false;
};

} // namespace fk
