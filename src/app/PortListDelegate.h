#pragma once
// Draws one row of the port list: the port's icon, its name, and its description in a
// column. The row of the port in use shows the device's state as an overlay on its icon
// (a problem while no device answers, waiting while the application is being identified,
// none when connected or in the bootloader); while a row is in use the other rows' icons
// and texts are dimmed.
//
// Geometry, for a row of height h: the icon at h/8 from the left (1 for rows of 15 pixels
// or less) and centred vertically when there are more than 3 pixels to spare (else 1 from
// the top); the name h/4 right of the icon; the description " (...)" at a column that
// starts after the widest name of the list (at least the width of "ttyUSB00").
#include <QStyledItemDelegate>

namespace fk {

class TPortImageList;

class TPortListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // Data of a row: Qt::DisplayRole the port name, these roles the rest.
    enum : int {
        DescriptionRole = Qt::UserRole + 1,
        ImageIndexRole,
    };

    TPortListDelegate(const TPortImageList* images, QObject* parent = nullptr);

    // The port images the rows draw (none: rows without icons).
    void SetImages(const TPortImageList* images) noexcept { images_ = images; }

    // The row in use (-1: none) and the overlay its icon carries (TPortImageList ov*).
    void SetConnectedRow(int row, int overlay) noexcept;
    int ConnectedRow() const noexcept { return connectedRow_; }
    int ConnectedOverlay() const noexcept { return overlay_; }
    // Height of every row, in pixels.
    void SetRowHeight(int height) noexcept { rowHeight_ = height; }
    // The left edge of the description column, from the left edge of the name.
    void SetNameColumnWidth(int width) noexcept { nameColumn_ = width; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Where the icon of a row of height h at top-left (0, 0) goes, for an icon of that size.
    static QPoint IconOffset(int rowHeight, int iconSize) noexcept;
    // How far right of the icon the text starts, and how far down for a text of that height.
    static QPoint TextOffset(int rowHeight, int textHeight) noexcept;

private:
    const TPortImageList* images_;
    int connectedRow_ = -1;
    int overlay_ = 0;
    int rowHeight_ = 20;
    int nameColumn_ = 0;
};

} // namespace fk
