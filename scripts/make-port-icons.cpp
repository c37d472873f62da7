// Draws the port-kind icons of the port list into resources/ports/ (16 and 32 pixels).
// Run once after changing a drawing; the PNG files are committed and compiled in as
// Qt resources. Build and run:
//   g++ -std=c++20 -fPIC scripts/make-port-icons.cpp -o /tmp/make-port-icons \
//       $(pkg-config --cflags --libs Qt6Gui) && /tmp/make-port-icons resources/ports
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>

namespace {

using Draw = std::function<void(QPainter&)>;

// Every drawing is made on a 32 x 32 canvas and scaled.
void Save(const QString& dir, const char* name, const Draw& draw)
{
    for (int size : { 16, 32 }) {
        QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        draw(p);
        p.end();
        const QString file = QStringLiteral("%1/%2-%3.png").arg(dir, QLatin1String(name)).arg(size);
        if (!img.save(file))
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    }
}

void BuiltInPort(QPainter& p)
{
    // A 9-pin D connector seen from the front.
    QPainterPath shell;
    shell.moveTo(2, 8);
    shell.lineTo(30, 8);
    shell.lineTo(26, 24);
    shell.lineTo(6, 24);
    shell.closeSubpath();
    p.setPen(QPen(QColor(60, 60, 70), 2));
    p.setBrush(QColor(170, 175, 185));
    p.drawPath(shell);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 50));
    for (int i = 0; i < 5; ++i)
        p.drawEllipse(QPointF(7 + i * 4.5, 13), 1.6, 1.6);
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(QPointF(9.25 + i * 4.5, 19), 1.6, 1.6);
}

void UsbAdapter(QPainter& p)
{
    // The USB trident.
    const QColor blue(30, 90, 190);
    p.setPen(QPen(blue, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(16, 4), QPointF(16, 26));
    p.drawPolyline(QVector<QPointF> { { 16, 21 }, { 8, 15 }, { 8, 11 } });
    p.drawPolyline(QVector<QPointF> { { 16, 18 }, { 24, 12 }, { 24, 9 } });
    p.setPen(Qt::NoPen);
    p.setBrush(blue);
    p.drawPolygon(QPolygonF(QVector<QPointF> { { 16, 1 }, { 20, 7 }, { 12, 7 } }));
    p.drawEllipse(QPointF(8, 10), 2.6, 2.6);
    p.drawRect(QRectF(21.5, 6, 5, 5));
    p.drawEllipse(QPointF(16, 27.5), 3.5, 3.5);
}

void Bluetooth(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 110, 210));
    p.drawRoundedRect(QRectF(5, 1, 22, 30), 10, 10);
    p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QVector<QPointF> { { 10, 10 }, { 22, 21 }, { 16, 27 }, { 16, 5 }, { 22, 11 }, { 10, 22 } });
}

void Modem(QPainter& p)
{
    // A box with status lights and an antenna.
    p.setPen(QPen(QColor(50, 50, 60), 2));
    p.drawLine(QPointF(24, 14), QPointF(27, 3));
    p.setBrush(QColor(215, 215, 225));
    p.drawRoundedRect(QRectF(2, 14, 28, 13), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 170, 60));
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(QPointF(7 + i * 5, 20.5), 1.8, 1.8);
}

void Network(QPainter& p)
{
    // A wireless module: a small box under three radio arcs.
    p.setBrush(QColor(215, 225, 240));
    p.setPen(QPen(QColor(50, 60, 80), 1.8));
    p.drawRoundedRect(QRectF(7, 20, 18, 10), 2.5, 2.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 170, 60));
    p.drawEllipse(QPointF(11.5, 25), 1.8, 1.8);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(30, 90, 200), 2.6, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i) {
        const double r = 4.5 + i * 4.5;
        p.drawArc(QRectF(16 - r, 16 - r, 2 * r, 2 * r), 45 * 16, 90 * 16);
    }
}

void OverlayProblem(QPainter& p)
{
    // A warning triangle in the lower left corner.
    p.setPen(QPen(QColor(120, 80, 0), 1.5));
    p.setBrush(QColor(250, 200, 20));
    p.drawPolygon(QPolygonF(QVector<QPointF> { { 8, 15 }, { 15.5, 30 }, { 0.5, 30 } }));
    p.setPen(QPen(Qt::black, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 20), QPointF(8, 25));
    p.drawPoint(QPointF(8, 28));
}

void OverlayWaiting(QPainter& p)
{
    // A round badge with a downward arrow in the lower left corner.
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    p.setBrush(QColor(235, 235, 235));
    p.drawEllipse(QPointF(8, 24), 7, 7);
    p.setPen(QPen(QColor(40, 40, 40), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(8, 19.5), QPointF(8, 28));
    p.drawPolyline(QVector<QPointF> { { 4.5, 24.5 }, { 8, 28 }, { 11.5, 24.5 } });
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    Save(dir, "builtin", BuiltInPort);
    Save(dir, "usb", UsbAdapter);
    Save(dir, "bluetooth", Bluetooth);
    Save(dir, "modem", Modem);
    Save(dir, "network", Network);
    Save(dir, "overlay-problem", OverlayProblem);
    Save(dir, "overlay-waiting", OverlayWaiting);
    return 0;
}
