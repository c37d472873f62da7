#include "app/AppImages.h"
#include "app/AppSettings.h"
#include "ScreenshotUtil.h"

#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <gtest/gtest.h>

namespace fk {
namespace {

TEST(AppImages, ListChosenByTheScreensDensity)
{
    constexpr auto sizes = TAppImages::ImageSizes;
    const std::pair<int, int> cases[] = {
        {72, 0}, {96, 0}, {120, 0}, {140, 0}, {141, 1}, {144, 1}, {168, 1}, {188, 1}, {189, 2}, {192, 2}, {288, 2},
    };
    for (const auto& [dpi, list] : cases)
        EXPECT_EQ(TAppImages::ListForDpi(dpi, sizes), list) << dpi;

    const TAppImages normal(96);
    EXPECT_EQ(normal.ImageSize(), 16);
    EXPECT_EQ(normal.FlagSize(), QSize(24, 16));
    const TAppImages dense(144);
    EXPECT_EQ(dense.ImageSize(), 24);
    EXPECT_EQ(dense.FlagSize(), QSize(32, 24));
    // On a screen of ratio 2 the 32-pixel images take the space of 16 design pixels.
    const TAppImages retina(192, 2.0);
    EXPECT_EQ(retina.FlagList(), 2);
    const QPixmap icon = retina.StatusIcon(icWarning);
    EXPECT_EQ(icon.size(), QSize(32, 32));
    EXPECT_EQ(icon.deviceIndependentSize(), QSizeF(16, 16));
    EXPECT_EQ(retina.Flag(lngPolish).size(), QSize(48, 32));
}

TEST(AppImages, EveryIconClassMenuImageAndLanguageHasItsOwnImage)
{
    const TAppImages images(96);
    QList<QImage> seen;
    for (const TIconClass c : {icError, icQuestion, icWarning, icInformation}) {
        const QImage image = images.StatusIcon(c).toImage();
        ASSERT_FALSE(image.isNull()) << c;
        EXPECT_FALSE(seen.contains(image)) << c;
        seen << image;
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << c; // transparent around the shape
        EXPECT_EQ(image.pixelColor(8, 8).alpha(), 255) << c;
    }
    EXPECT_TRUE(images.StatusIcon(icNone).isNull());
    EXPECT_TRUE(images.StatusIcon(TIconClass(0x50)).isNull());
    for (int i = 0; i < miCount; ++i)
        EXPECT_FALSE(images.MenuImage(TMenuImage(i)).isNull()) << i;
    EXPECT_TRUE(images.MenuImage(miCount).isNull());
    EXPECT_TRUE(images.Flag(3).isNull());
    EXPECT_TRUE(images.Flag(-1).isNull());
}

TEST(AppImages, FlagStripesSitOnWholePixelsAtEverySize)
{
    for (const int dpi : {96, 144, 192}) {
        SCOPED_TRACE(dpi);
        const TAppImages images(dpi);
        const QSize size = images.FlagSize();
        const int midX = size.width() / 2;
        const QImage polish = images.Flag(lngPolish).toImage();
        EXPECT_EQ(polish.pixelColor(midX, size.height() / 2 - 1), QColor(Qt::white));
        EXPECT_EQ(polish.pixelColor(midX, size.height() / 2), QColor(0xDC, 0x14, 0x3C));
        const QImage russian = images.Flag(lngRussian).toImage();
        EXPECT_EQ(russian.pixelColor(midX, size.height() / 2), QColor(0x00, 0x39, 0xA6));
        EXPECT_EQ(russian.pixelColor(midX, 1), QColor(Qt::white));
        EXPECT_EQ(russian.pixelColor(midX, size.height() - 2), QColor(0xD5, 0x2B, 0x1E));
        const QImage english = images.Flag(lngEnglish).toImage();
        EXPECT_EQ(english.pixelColor(midX, size.height() / 2), QColor(0xC8, 0x10, 0x2E)); // the red cross
        EXPECT_EQ(english.pixelColor(midX, 1), QColor(0xC8, 0x10, 0x2E));
        // The blue field between the arms.
        EXPECT_EQ(english.pixelColor(size.width() / 4 + 1, 1).blue() > 0x50, true);
    }
}

// Everything the window shows from these lists, at the sheet's own density, on light and dark
// ground, with the three lists side by side below.
class ImageSheet : public QWidget {
public:
    ImageSheet() { setFixedSize(3 * 190, 2 * 110); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const double ratio = devicePixelRatioF();
        for (int list = 0; list < TAppImages::ListCount; ++list) {
            // The lists as the 96, 144 and 192 dpi screens get them, each in its own pixels.
            const TAppImages images(96 + 48 * list, ratio);
            const bool chosen = images.ImageList() == TAppImages::ForWidget(this).ImageList();
            for (int ground = 0; ground < 2; ++ground) {
                const QRect cell(list * 190, ground * 110, 190, 110);
                p.fillRect(cell, ground ? QColor(0x2D, 0x2D, 0x2D) : QColor(Qt::white));
                if (chosen)
                    p.fillRect(QRect(cell.left(), cell.top(), cell.width(), 3), QColor(0x1A, 0x73, 0xE8));
                const double step = images.ImageSize() / ratio + 4;
                double x = cell.left() + 6;
                for (const TIconClass c : {icError, icQuestion, icWarning, icInformation}) {
                    p.drawPixmap(QPointF(x, cell.top() + 8), images.StatusIcon(c));
                    x += step;
                }
                x = cell.left() + 6;
                for (int i = 0; i < miCount; ++i) {
                    p.drawPixmap(QPointF(x, cell.top() + 8 + step), images.MenuImage(TMenuImage(i)));
                    x += step;
                }
                x = cell.left() + 6;
                for (int language = 0; language < lngCount; ++language) {
                    p.drawPixmap(QPointF(x, cell.top() + 8 + 2 * step), images.Flag(language));
                    x += images.FlagSize().width() / ratio + 6;
                }
            }
        }
    }
};

TEST(AppImages, ScreenshotOfTheImageLists)
{
    ImageSheet sheet;
    const QString path = test::SaveScreenshot(sheet, QStringLiteral("main"), QStringLiteral("images"));
    ASSERT_FALSE(path.isEmpty());
    EXPECT_GT(QFileInfo(path).size(), 0);
    // The lists chosen for this sheet's screen follow its density.
    const TAppImages chosen = TAppImages::ForWidget(&sheet);
    EXPECT_EQ(chosen.Dpi(), test::ScreenDpi(sheet));
    EXPECT_EQ(chosen.ImageSize(), test::ScreenDpi(sheet) >= 189 ? 32 : 16);
}

} // namespace
} // namespace fk
