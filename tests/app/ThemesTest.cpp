#include "app/Themes.h"
#include "controls/KnobColors.h"
#include "ScreenshotUtil.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <cmath>
#include <gtest/gtest.h>

namespace fk {
namespace {

// Relative luminance and contrast ratio as accessibility guidelines define them.
double Luminance(const QColor& c)
{
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}
double Contrast(const QColor& a, const QColor& b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Leaves the platform's own skin active whatever a test did.
class ThemesTest : public ::testing::Test {
protected:
    void TearDown() override { themes_.ApplySkin(themes_.PlatformName()); }
    TThemes themes_;
};

TEST_F(ThemesTest, PlatformStyleFirstThenOurThemesSortedByName)
{
    QStringList names = themes_.Names();
    ASSERT_GE(names.size(), 7);
    EXPECT_EQ(names.first().toLower(), QApplication::style()->name().toLower());
    EXPECT_TRUE(QStyleFactory::keys().contains(names.first())); // as the factory spells it
    EXPECT_EQ(themes_.ActiveName(), names.first());
    QStringList ours = names.mid(1);
    QStringList sorted = ours;
    std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    EXPECT_EQ(ours, sorted);
    EXPECT_EQ(names.removeDuplicates(), 0);
    int dark = 0;
    for (const QString& name : ours)
        dark += themes_.IsDark(name);
    EXPECT_GE(dark, 2);
    EXPECT_FALSE(themes_.IsDark(names.first()));
}

TEST_F(ThemesTest, ApplyingByNameSetsStyleAndPaletteAndUnknownNamesChangeNothing)
{
    const QPalette platform = QApplication::palette();
    const QString dark = QStringLiteral("Graphite");
    ASSERT_TRUE(themes_.Contains(dark));
    ASSERT_TRUE(themes_.ApplySkin(dark));
    EXPECT_EQ(themes_.ActiveName(), dark);
    EXPECT_EQ(QApplication::style()->name().toLower(), QStringLiteral("fusion"));
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), themes_.Palette(dark).color(QPalette::Window));
    QWidget widget; // a window made now takes the theme
    EXPECT_EQ(widget.palette().color(QPalette::Base), themes_.Palette(dark).color(QPalette::Base));

    for (const QString& bad : {QStringLiteral("No Such Theme"), QStringLiteral("graphite"), QString()}) {
        EXPECT_FALSE(themes_.ApplySkin(bad)) << bad.toStdString();
        EXPECT_EQ(themes_.ActiveName(), dark);
        EXPECT_EQ(QApplication::palette().color(QPalette::Window), themes_.Palette(dark).color(QPalette::Window));
    }

    ASSERT_TRUE(themes_.ApplySkin(themes_.PlatformName()));
    EXPECT_EQ(QApplication::style()->name().toLower(), themes_.PlatformName().toLower());
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), platform.color(QPalette::Window));
    EXPECT_EQ(QApplication::palette().color(QPalette::Text), platform.color(QPalette::Text));
}

// A desktop theme that gives a kind of widget a palette of its own (white selected text, as
// some give lists) does not leak into a skin of ours; the platform's skin gets it back. The
// message box label stands for every such kind here: no other test looks at its colours.
TEST(ThemesPlatformPalettes, ASkinReplacesAPlatformsOwnPaletteOfAKindAndGivesItBack)
{
    const char* kind = "QMessageBoxLabel";
    QPalette own = QApplication::palette();
    own.setColor(QPalette::HighlightedText, Qt::white);
    own.setColor(QPalette::WindowText, QColor(1, 2, 3));
    QApplication::setPalette(own, kind);
    {
        TThemes themes;
        const QString amber = QStringLiteral("Midnight Amber");
        ASSERT_TRUE(themes.ApplySkin(amber));
        EXPECT_EQ(QApplication::palette(kind).color(QPalette::HighlightedText),
                  themes.Palette(amber).color(QPalette::HighlightedText));
        ASSERT_TRUE(themes.ApplySkin(themes.PlatformName()));
        EXPECT_EQ(QApplication::palette(kind).color(QPalette::WindowText), QColor(1, 2, 3));
    }
    QApplication::setPalette(QApplication::palette(), kind);
}

TEST_F(ThemesTest, EveryThemeIsLegible)
{
    for (const QString& name : themes_.Names()) {
        SCOPED_TRACE(name.toStdString());
        const QPalette p = themes_.Palette(name);
        const auto c = [&](QPalette::ColorGroup g, QPalette::ColorRole r) { return p.color(g, r); };
        for (const QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
            EXPECT_GE(Contrast(c(g, QPalette::WindowText), c(g, QPalette::Window)), 7.0);
            EXPECT_GE(Contrast(c(g, QPalette::Text), c(g, QPalette::Base)), 7.0);
            EXPECT_GE(Contrast(c(g, QPalette::ButtonText), c(g, QPalette::Button)), 7.0);
            EXPECT_GE(Contrast(c(g, QPalette::ToolTipText), c(g, QPalette::ToolTipBase)), 4.5);
        }
        if (name == themes_.PlatformName())
            continue; // the rest is the platform's choice, ours are held to it
        // The selected row (focused or not), links on the window and in lists: AA, 4.5:1.
        for (const QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
            EXPECT_GE(Contrast(c(g, QPalette::HighlightedText), c(g, QPalette::Highlight)), 4.5);
            EXPECT_GE(Contrast(c(g, QPalette::Link), c(g, QPalette::Window)), 4.5);
            EXPECT_GE(Contrast(c(g, QPalette::Link), c(g, QPalette::Base)), 4.5);
        }
        // Disabled text must look unavailable, yet still be readable (3:1).
        const double disabled =
            Contrast(c(QPalette::Disabled, QPalette::WindowText), c(QPalette::Disabled, QPalette::Window));
        EXPECT_GE(disabled, 3.0);
        EXPECT_LT(disabled, Contrast(c(QPalette::Active, QPalette::WindowText), c(QPalette::Active, QPalette::Window)));
        EXPECT_GE(Contrast(c(QPalette::Disabled, QPalette::ButtonText), c(QPalette::Disabled, QPalette::Button)), 3.0);
        EXPECT_GE(Contrast(c(QPalette::Disabled, QPalette::Text), c(QPalette::Disabled, QPalette::Base)), 3.0);
        // The knobs' spin buttons are the skin's buttons, their arrows legible on them.
        const TKnobColors knob = TKnobColors::For(p, true, true, true, Qt::white, Qt::cyan, Qt::cyan);
        EXPECT_EQ(knob.Spin, c(QPalette::Active, QPalette::Button));
        EXPECT_GE(Contrast(knob.SpinArrow, knob.Spin), 4.5);
    }
}

TEST_F(ThemesTest, ScreenshotOfEveryTheme)
{
    for (const QString& name : themes_.Names()) {
        ASSERT_TRUE(themes_.ApplySkin(name));
        QGroupBox box(QStringLiteral(" %1 ").arg(name));
        auto* grid = new QGridLayout(&box);
        grid->addWidget(new QLabel(QStringLiteral("Open Time")), 0, 0);
        auto* edit = new QLineEdit(QStringLiteral("Zażółć gęślą jaźń"));
        grid->addWidget(edit, 0, 1);
        auto* list = new QListWidget;
        list->addItems({QStringLiteral("ttyS0 (Built-in)"), QStringLiteral("ttyUSB0 (USB serial)"),
                        QStringLiteral("ttyACM0 (Съешь же ещё)")});
        list->setCurrentRow(1);
        list->setFixedHeight(64);
        grid->addWidget(list, 1, 0, 1, 2);
        grid->addWidget(new QPushButton(QStringLiteral("Connect")), 2, 0);
        auto* disabled = new QPushButton(QStringLiteral("Disconnect"));
        disabled->setEnabled(false);
        grid->addWidget(disabled, 2, 1);
        auto* check = new QCheckBox(QStringLiteral("Screen snap"));
        check->setChecked(true);
        grid->addWidget(check, 3, 0);
        auto* off = new QLabel(QStringLiteral("Disabled label"));
        off->setEnabled(false);
        grid->addWidget(off, 3, 1);
        box.resize(box.sizeHint());
        QString file = name;
        file.replace(QLatin1Char(' '), QLatin1Char('-'));
        EXPECT_FALSE(test::SaveScreenshot(box, QStringLiteral("main"), QStringLiteral("theme-") + file).isEmpty());
    }
}

} // namespace
} // namespace fk
