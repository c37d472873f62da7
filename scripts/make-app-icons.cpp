// Build step: renders the program's icon, from the same drawing its windows show, into a
// freedesktop icon theme folder: ICON_DIR/hicolor/<N>x<N>/apps/ID.png for N = 16, 24, 32, 48,
// 64, 128 and 256. Run by CMake with the offscreen platform; not installed.
//   make-app-icons ICON_DIR ID
#include "app/AppImages.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-app-icons ICON_DIR ID\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QString id = QString::fromLocal8Bit(argv[2]);
    const QIcon icon = fk::TAppImages::ApplicationIcon();
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1/hicolor/%2x%2/apps").arg(root).arg(size);
        const QPixmap pixmap = icon.pixmap(size, size);
        if (!QDir().mkpath(dir) || pixmap.width() != size || !pixmap.save(dir + QLatin1Char('/') + id + ".png", "PNG")) {
            std::fprintf(stderr, "make-app-icons: could not write the %dx%d icon into %s\n", size, size,
                         qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
