#include "app/AppImages.h"

#include "app/AppSettings.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace fk {

static_assert(lngCount == 3, "one flag per language");

namespace {

// --- the images, drawn on a 16-unit design grid scaled to the image size

const QColor kErrorRed(0xD9, 0x30, 0x25);
const QColor kInfoBlue(0x1A, 0x73, 0xE8);
const QColor kQuestionBlue(0x15, 0x65, 0xC0);
const QColor kWarningAmber(0xF9, 0xAB, 0x00);
const QColor kInk(0x20, 0x21, 0x24);

// A transparent square pixmap of size device pixels with a painter scaled to the 16-unit grid.
class TCanvas {
public:
    explicit TCanvas(int size)
        : pixmap_(size, size)
    {
        pixmap_.fill(Qt::transparent);
        painter_.begin(&pixmap_);
        painter_.setRenderHint(QPainter::Antialiasing);
        painter_.scale(size / 16.0, size / 16.0);
    }
    QPainter& operator*() { return painter_; }
    QPainter* operator->() { return &painter_; }
    QPixmap Take(double ratio)
    {
        painter_.end();
        pixmap_.setDevicePixelRatio(ratio);
        return pixmap_;
    }

private:
    QPixmap pixmap_;
    QPainter painter_;
};

QPen RoundPen(const QColor& colour, double width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Disc(QPainter& p, const QColor& fill)
{
    p.setPen(QPen(fill.darker(140), 0.8));
    p.setBrush(fill);
    p.drawEllipse(QRectF(0.6, 0.6, 14.8, 14.8));
}

void Dot(QPainter& p, const QColor& colour, QPointF centre, double radius)
{
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(centre, radius, radius);
}

void DrawError(QPainter& p)
{
    Disc(p, kErrorRed);
    p.setPen(RoundPen(Qt::white, 2.0));
    p.drawLine(QPointF(5.2, 5.2), QPointF(10.8, 10.8));
    p.drawLine(QPointF(10.8, 5.2), QPointF(5.2, 10.8));
}

void DrawQuestion(QPainter& p)
{
    Disc(p, kQuestionBlue);
    QPainterPath hook;
    const QRectF bow(5.5, 3.3, 5.0, 5.0);
    hook.arcMoveTo(bow, 160);
    hook.arcTo(bow, 160, -250);
    hook.lineTo(8.0, 9.6);
    p.setPen(RoundPen(Qt::white, 1.8));
    p.setBrush(Qt::NoBrush);
    p.drawPath(hook);
    Dot(p, Qt::white, QPointF(8.0, 12.2), 1.15);
}

void DrawWarning(QPainter& p)
{
    QPolygonF triangle;
    triangle << QPointF(8.0, 1.0) << QPointF(15.2, 14.6) << QPointF(0.8, 14.6);
    p.setPen(RoundPen(kWarningAmber.darker(160), 0.9));
    p.setBrush(kWarningAmber);
    p.drawPolygon(triangle);
    p.setPen(RoundPen(kInk, 1.9));
    p.drawLine(QPointF(8.0, 5.6), QPointF(8.0, 9.6));
    Dot(p, kInk, QPointF(8.0, 12.2), 1.1);
}

void DrawInformation(QPainter& p)
{
    Disc(p, kInfoBlue);
    Dot(p, Qt::white, QPointF(8.0, 4.6), 1.25);
    p.setPen(RoundPen(Qt::white, 2.0));
    p.drawLine(QPointF(8.0, 7.4), QPointF(8.0, 11.8));
}

void DrawGlobe(QPainter& p)
{
    const QColor sea(0x3D, 0x8B, 0xD6);
    Disc(p, sea);
    p.setPen(QPen(QColor(255, 255, 255, 220), 0.9));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(4.6, 0.9, 6.8, 14.2));
    p.drawLine(QPointF(8.0, 0.9), QPointF(8.0, 15.1));
    p.drawLine(QPointF(0.9, 8.0), QPointF(15.1, 8.0));
    p.drawLine(QPointF(2.3, 4.6), QPointF(13.7, 4.6));
    p.drawLine(QPointF(2.3, 11.4), QPointF(13.7, 11.4));
}

void DrawPalette(QPainter& p)
{
    QPainterPath board;
    board.addEllipse(QRectF(0.8, 1.8, 14.4, 12.6));
    QPainterPath thumb;
    thumb.addEllipse(QRectF(8.6, 9.0, 3.2, 3.0));
    p.setPen(QPen(QColor(0x8A, 0x6A, 0x3A), 0.9));
    p.setBrush(QColor(0xEF, 0xD9, 0xAE));
    p.drawPath(board.subtracted(thumb));
    Dot(p, QColor(0xD9, 0x30, 0x25), QPointF(4.6, 6.6), 1.6);
    Dot(p, QColor(0xF9, 0xAB, 0x00), QPointF(7.8, 4.6), 1.6);
    Dot(p, QColor(0x1E, 0x8E, 0x3E), QPointF(11.2, 5.6), 1.6);
    Dot(p, QColor(0x1A, 0x73, 0xE8), QPointF(5.0, 10.4), 1.6);
}

void DrawGear(QPainter& p)
{
    QPainterPath gear;
    gear.addEllipse(QPointF(8.0, 8.0), 5.3, 5.3);
    for (int i = 0; i < 8; ++i) {
        QTransform turn;
        turn.translate(8.0, 8.0);
        turn.rotate(i * 45.0);
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-1.5, -7.6, 3.0, 4.0), 0.6, 0.6);
        gear = gear.united(turn.map(tooth));
    }
    QPainterPath hole;
    hole.addEllipse(QPointF(8.0, 8.0), 2.2, 2.2);
    p.setPen(QPen(QColor(0x3C, 0x46, 0x50), 0.8));
    p.setBrush(QColor(0x7A, 0x86, 0x94));
    p.drawPath(gear.subtracted(hole));
}

void DrawBook(QPainter& p)
{
    const QColor cover(0x2F, 0x6D, 0xB5);
    p.setPen(QPen(QColor(0x9A, 0xA0, 0xA6), 0.7));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.2, 2.4, 10.0, 12.6)); // the pages behind the cover
    p.setPen(QPen(cover.darker(150), 0.8));
    p.setBrush(cover);
    p.drawRoundedRect(QRectF(1.8, 1.0, 10.6, 12.8), 0.8, 0.8);
    p.setPen(QPen(cover.darker(170), 0.9));
    p.drawLine(QPointF(3.6, 1.4), QPointF(3.6, 13.4)); // spine
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 230));
    p.drawRect(QRectF(5.4, 3.6, 5.2, 1.6)); // title
    p.drawRect(QRectF(5.4, 6.2, 3.6, 1.0));
}

void DrawWiring(QPainter& p)
{
    p.setPen(QPen(QColor(0x2E, 0x36, 0x40), 0.8));
    p.setBrush(QColor(0x5F, 0x6B, 0x7A));
    p.drawRoundedRect(QRectF(0.8, 2.2, 4.8, 11.6), 0.8, 0.8);
    p.setBrush(QColor(0x9C, 0xB0, 0xC6));
    p.drawRoundedRect(QRectF(11.0, 4.4, 4.2, 7.2), 0.8, 0.8);
    const QColor wires[] = {QColor(0xD9, 0x30, 0x25), kInk, QColor(0x1E, 0x8E, 0x3E)};
    for (int i = 0; i < 3; ++i) {
        const double y = 5.6 + i * 2.4;
        p.setPen(RoundPen(wires[i], 1.3));
        p.drawLine(QPointF(5.6, y), QPointF(11.0, y));
        Dot(p, QColor(0xE8, 0xC0, 0x5A), QPointF(5.6, y), 0.9);
    }
}

// --- flags, drawn in device pixels so their stripes sit on whole pixels

// Horizontal stripes of equal height, their borders on whole pixels.
void Stripes(QPainter& p, QSize size, std::initializer_list<QColor> colours)
{
    const int n = static_cast<int>(colours.size());
    int i = 0;
    for (const QColor& c : colours) {
        const int top = (size.height() * i + n / 2) / n;
        const int bottom = (size.height() * (i + 1) + n / 2) / n;
        p.fillRect(QRect(0, top, size.width(), bottom - top), c);
        ++i;
    }
}

void DrawUnionFlag(QPainter& p, QSize size)
{
    const int w = size.width(), h = size.height();
    const double unit = h / 30.0; // the flag's own proportions are given on a height of 30
    p.fillRect(QRect(0, 0, w, h), QColor(0x01, 0x21, 0x69));
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(QRect(0, 0, w, h));
    const QLineF diagonals[] = {QLineF(0, 0, w, h), QLineF(w, 0, 0, h)};
    p.setPen(QPen(Qt::white, 6 * unit, Qt::SolidLine, Qt::FlatCap));
    for (const QLineF& d : diagonals)
        p.drawLine(d);
    p.setPen(QPen(QColor(0xC8, 0x10, 0x2E), 2 * unit, Qt::SolidLine, Qt::FlatCap));
    for (const QLineF& d : diagonals)
        p.drawLine(d);
    p.setRenderHint(QPainter::Antialiasing, false);
    auto cross = [&](double width, const QColor& colour) {
        const int t = std::max(1, static_cast<int>(std::lround(width)));
        p.fillRect(QRect((w - t) / 2, 0, t, h), colour);
        p.fillRect(QRect(0, (h - t) / 2, w, t), colour);
    };
    cross(10 * unit, Qt::white);
    cross(6 * unit, QColor(0xC8, 0x10, 0x2E));
}

QPixmap MakeFlag(int language, QSize size, double ratio)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    switch (language) {
    case lngEnglish:
        DrawUnionFlag(p, size);
        break;
    case lngPolish:
        Stripes(p, size, {Qt::white, QColor(0xDC, 0x14, 0x3C)});
        break;
    default:
        Stripes(p, size, {Qt::white, QColor(0x00, 0x39, 0xA6), QColor(0xD5, 0x2B, 0x1E)});
        break;
    }
    // A fine rim keeps the white stripes apart from a white menu.
    p.setClipping(false);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(0, 0, 0, 80));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(0, 0, size.width() - 1, size.height() - 1));
    p.end();
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

void DrawApplication(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1D, 0x3F, 0x6E));
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    // The knob: a light face with its pointer at the two o'clock position.
    p.setPen(QPen(QColor(0x0B, 0x1F, 0x3A), 0.6));
    p.setBrush(QColor(0xF2, 0xF5, 0xFA));
    p.drawEllipse(QPointF(7, 8.5), 4.8, 4.8);
    p.setPen(RoundPen(QColor(0xC0, 0x39, 0x2B), 1.3));
    p.drawLine(QPointF(7, 8.5), QPointF(10.2, 6.2));
    // A drop of lubricant at the top right.
    QPainterPath drop;
    drop.moveTo(13, 1.6);
    drop.cubicTo(QPointF(14.6, 3.8), QPointF(15.0, 4.6), QPointF(13, 5.6));
    drop.cubicTo(QPointF(11.0, 4.6), QPointF(11.4, 3.8), QPointF(13, 1.6));
    p.setPen(Qt::NoPen);
    p.setBrush(kWarningAmber);
    p.drawPath(drop);
}

QPixmap Draw(int size, double ratio, void (*draw)(QPainter&))
{
    TCanvas canvas(size);
    draw(*canvas);
    return canvas.Take(ratio);
}

} // namespace

int TAppImages::ListForDpi(int dpi, const std::array<int, ListCount>& heights) noexcept
{
    const int s = (dpi * 16 + 48) / 96;
    int list = 0;
    for (int i = 1; i < ListCount; ++i)
        if (heights[i] <= s)
            list = i;
    return list;
}

int TAppImages::DpiOf(const QWidget* widget)
{
    const QScreen* screen = widget ? widget->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const double logical = screen ? screen->logicalDotsPerInch() : 96.0;
    const double ratio = widget ? widget->devicePixelRatioF() : (screen ? screen->devicePixelRatio() : 1.0);
    return static_cast<int>(std::lround(logical * ratio));
}

TAppImages TAppImages::ForWidget(const QWidget* widget)
{
    const double ratio = widget ? widget->devicePixelRatioF() : qApp->devicePixelRatio();
    return TAppImages(DpiOf(widget), ratio);
}

TAppImages::TAppImages(int dpi, double devicePixelRatio)
    : dpi_(dpi)
    , ratio_(devicePixelRatio > 0 ? devicePixelRatio : 1.0)
    , imageList_(ListForDpi(dpi, ImageSizes))
    , flagList_(ListForDpi(dpi, {FlagSizes[0].height(), FlagSizes[1].height(), FlagSizes[2].height()}))
{
    const int size = ImageSize();
    status_ = {Draw(size, ratio_, DrawError), Draw(size, ratio_, DrawQuestion), Draw(size, ratio_, DrawWarning),
               Draw(size, ratio_, DrawInformation)};
    menu_ = {Draw(size, ratio_, DrawGlobe), Draw(size, ratio_, DrawPalette), Draw(size, ratio_, DrawGear),
             Draw(size, ratio_, DrawBook),  Draw(size, ratio_, DrawWiring),  Draw(size, ratio_, DrawInformation)};
    for (int language = 0; language < lngCount; ++language)
        flags_[language] = MakeFlag(language, FlagSize(), ratio_);
}

QPixmap TAppImages::StatusIcon(TIconClass iconClass) const
{
    switch (iconClass) {
    case icError:
        return status_[0];
    case icQuestion:
        return status_[1];
    case icWarning:
        return status_[2];
    case icInformation:
        return status_[3];
    default:
        return {};
    }
}

QPixmap TAppImages::MenuImage(TMenuImage image) const
{
    return image >= 0 && image < miCount ? menu_[image] : QPixmap();
}

QIcon TAppImages::ApplicationIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(Draw(size, 1.0, DrawApplication));
    return icon;
}

QPixmap TAppImages::Flag(int language) const
{
    return language >= 0 && language < lngCount ? flags_[language] : QPixmap();
}

} // namespace fk
