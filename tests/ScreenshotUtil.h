#pragma once
// Screenshots for reviewers: GUI tests save what they show as PNG files under
// <build>/screenshots/<group>/, named after the picture and the density it was drawn at
// (name@96dpi.png, name@192dpi.png), so a run at 2x scale does not overwrite the 1x pictures.
#include <QDir>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <QWindow>
#include <cmath>

namespace fk::test {

inline QString ScreenshotDir(const QString& group)
{
#ifdef FK_SCREENSHOT_DIR
    const QString dir = QStringLiteral(FK_SCREENSHOT_DIR) + QLatin1Char('/') + group;
#else
    const QString dir = QDir::tempPath() + QStringLiteral("/fk-screenshots/") + group;
#endif
    QDir().mkpath(dir);
    return dir;
}

// Density the widget is drawn at, in dots per inch (96 at scale 1).
inline int ScreenDpi(const QWidget& widget)
{
    return static_cast<int>(std::lround(96.0 * widget.devicePixelRatioF()));
}

// Grabs the widget (painted as it is now) and writes it; returns the file's path, empty on failure.
inline QString SaveScreenshot(QWidget& widget, const QString& group, const QString& name)
{
    const QString path = ScreenshotDir(group) + QLatin1Char('/') + name + QLatin1Char('@') +
                         QString::number(ScreenDpi(widget)) + QStringLiteral("dpi.png");
    const QPixmap pixmap = widget.grab();
    return pixmap.save(path, "PNG") ? path : QString();
}

} // namespace fk::test
