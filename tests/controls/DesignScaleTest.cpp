#include "controls/DesignScale.h"
#include "ScreenshotUtil.h"

#include <QLabel>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace fk {

TEST(DesignScale, DesignSizesFollowTheLogicalDensity)
{
    EXPECT_EQ(TDesignScale(96)(24), 24);
    EXPECT_EQ(TDesignScale(192)(15), 30);
    EXPECT_EQ(TDesignScale(144)(21), 32); // 31.5 rounds away from zero
    EXPECT_EQ(TDesignScale(144)(-21), -32);
    EXPECT_EQ(TDesignScale(24)(1), 1);     // a visible size never vanishes
    EXPECT_EQ(TDesignScale(24)(0), 0);
    EXPECT_DOUBLE_EQ(TDesignScale(0).Factor(), 1.0); // no density known: design size
}

TEST(DesignScale, ScreenshotHelperWritesAPictureAtTheWidgetsDensity)
{
    QLabel label(QStringLiteral("Zażółć gęślą jaźń · Съешь же ещё"));
    label.adjustSize();
    const QString path = test::SaveScreenshot(label, QStringLiteral("controls"), QStringLiteral("font-check"));
    ASSERT_FALSE(path.isEmpty());
    EXPECT_TRUE(path.endsWith(QStringLiteral("@%1dpi.png").arg(test::ScreenDpi(label))));
    EXPECT_GT(QFileInfo(path).size(), 0);
}

} // namespace fk
