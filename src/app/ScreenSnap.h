#pragma once
// Screen snap: a window moved or resized so that an edge comes within a short distance (10
// design pixels) of its screen's available area lands exactly on that edge. The geometry is
// plain functions over rectangles; TScreenSnap itself is an event filter a window installs,
// acting only while switched on, and never where programs cannot place their windows
// (Wayland).
#include <QHash>
#include <QObject>
#include <QRect>

class QWidget;

namespace fk {

class TScreenSnap : public QObject {
    Q_OBJECT
public:
    // The snap distance in design pixels (96 dpi).
    static constexpr int DesignDistance = 10;

    // A window moved as a whole: shifted so that an edge within distance of the area's
    // matching edge lies on it (the nearer edge wins); the size stays.
    static QRect SnapMove(const QRect& window, const QRect& area, int distance);
    // A window resized by dragging edges: only those edges snap.
    static QRect SnapResize(const QRect& window, const QRect& area, int distance, Qt::Edges edges);
    // The snap distance in screen pixels for a logical density.
    static int Distance(double logicalDpi);
    // False where the platform does not let programs place windows (Wayland).
    static bool PlatformPlacesWindows();

    explicit TScreenSnap(QObject* parent = nullptr);

    // Switched by the "Screen snap" preference; off at first.
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    bool Enabled() const { return enabled_; }
    // Installs the filter on a window.
    void Watch(QWidget* window);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Snap(QWidget* window);

    bool enabled_ = false;
    bool placing_ = false;          // our own move or resize is under way
    QHash<QObject*, QRect> frames_; // each watched window's frame as last seen
};

} // namespace fk
