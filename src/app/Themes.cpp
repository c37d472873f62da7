#include "app/Themes.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

#include <algorithm>

namespace fk {

namespace {

// The colours a theme is made from; the palette's other roles are derived from them.
struct TThemeColours {
    const char* Name;
    bool Dark;
    QRgb Window, WindowText, Base, AlternateBase, Text, Button, ButtonText, Highlight, HighlightedText,
        Link;
};

constexpr TThemeColours kThemes[] = {
    {"Amethyst", false, 0xECE6F2, 0x1E1428, 0xFFFFFF, 0xF4EFF9, 0x1E1428, 0xDDD2E9, 0x1E1428, 0x6A3D9A,
     0xFFFFFF, 0x5B2A91},
    {"Birch", false, 0xF2EEE6, 0x2A2418, 0xFFFDF8, 0xF6F1E7, 0x2A2418, 0xE4DDCF, 0x2A2418, 0x7A4F17,
     0xFFFFFF, 0x6B4410},
    {"Cobalt Night", true, 0x1B2433, 0xE6ECF5, 0x111827, 0x1A2335, 0xE6ECF5, 0x273349, 0xE6ECF5, 0x2563EB,
     0xFFFFFF, 0x8AB4FF},
    {"Emerald", false, 0xE8F2EC, 0x10261A, 0xFFFFFF, 0xF0F7F2, 0x10261A, 0xD2E6DA, 0x10261A, 0x1E7A46,
     0xFFFFFF, 0x14693A},
    {"Graphite", true, 0x2D2D2D, 0xE8E8E8, 0x1E1E1E, 0x262626, 0xE8E8E8, 0x3A3A3A, 0xE8E8E8, 0x3D6A99,
     0xFFFFFF, 0x8CB8E8},
    {"Harbour", false, 0xE6EEF5, 0x142233, 0xFFFFFF, 0xEEF3F8, 0x142233, 0xD0DEEB, 0x142233, 0x1F5F99,
     0xFFFFFF, 0x18508A},
    {"Midnight Amber", true, 0x1C1914, 0xF0E6D2, 0x13110D, 0x1A1712, 0xF0E6D2, 0x2D281E, 0xF0E6D2, 0xC98A2E,
     0x15120C, 0xE8B35C},
    {"Sandstone", false, 0xEFE7DA, 0x2B2216, 0xFFFBF3, 0xF5EEE2, 0x2B2216, 0xE2D6C2, 0x2B2216, 0x9C4A1A,
     0xFFFFFF, 0x8A3F12},
};

// a and b mixed, weight of a in 0..1.
QColor Mix(const QColor& a, const QColor& b, double weightA)
{
    const double wb = 1.0 - weightA;
    return QColor::fromRgbF(float(a.redF() * weightA + b.redF() * wb), float(a.greenF() * weightA + b.greenF() * wb),
                            float(a.blueF() * weightA + b.blueF() * wb));
}

QPalette MakePalette(const TThemeColours& c)
{
    const QColor window(c.Window), windowText(c.WindowText), base(c.Base), text(c.Text), button(c.Button),
        buttonText(c.ButtonText), highlight(c.Highlight), highlightedText(c.HighlightedText);
    QPalette p;
    // The bevel shades: on dark ground lighter shades stay subtle, darker ones go to black.
    const QColor light = c.Dark ? button.lighter(135) : button.lighter(112);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, windowText);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(c.AlternateBase));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, buttonText);
    p.setColor(QPalette::Light, light);
    p.setColor(QPalette::Midlight, Mix(light, button, 0.5));
    p.setColor(QPalette::Mid, button.darker(c.Dark ? 140 : 125));
    p.setColor(QPalette::Dark, button.darker(c.Dark ? 180 : 160));
    p.setColor(QPalette::Shadow, c.Dark ? QColor(0x05, 0x05, 0x05) : button.darker(300));
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, highlightedText);
    p.setColor(QPalette::BrightText, c.Dark ? QColor(0xFF, 0x8A, 0x80) : QColor(0xB0, 0x10, 0x10));
    p.setColor(QPalette::Link, QColor(c.Link));
    p.setColor(QPalette::LinkVisited, Mix(QColor(c.Link), windowText, 0.7));
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, Mix(text, base, 0.55));

    // Disabled: text a little more than half way to its ground, so it reads as unavailable
    // but stays readable (3:1 or more on its ground).
    constexpr double DisabledWeight = 0.58;
    const QColor disabledText = Mix(windowText, window, DisabledWeight);
    p.setColor(QPalette::Disabled, QPalette::WindowText, disabledText);
    p.setColor(QPalette::Disabled, QPalette::Text, Mix(text, base, DisabledWeight));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, Mix(buttonText, button, DisabledWeight));
    p.setColor(QPalette::Disabled, QPalette::Base, window);
    p.setColor(QPalette::Disabled, QPalette::Highlight, Mix(highlight, window, 0.4));
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, Mix(highlightedText, window, 0.6));
    p.setColor(QPalette::Disabled, QPalette::Light, window);
    p.setColor(QPalette::Disabled, QPalette::PlaceholderText, Mix(text, base, 0.35));
    return p;
}

} // namespace

TThemes::TThemes()
{
    // The style's own name is its factory key in lower case; show the key as the factory
    // spells it ("Fusion", "Windows").
    const QStyle* style = QApplication::style();
    QString platform = style ? style->name() : QStringLiteral("Fusion");
    for (const QString& key : QStyleFactory::keys())
        if (key.compare(platform, Qt::CaseInsensitive) == 0)
            platform = key;
    platformPalette_ = QApplication::palette();
    for (const char* kind : {"QAbstractItemView", "QMenu", "QMenuBar", "QComboBox", "QHeaderView", "QLineEdit",
                             "QTextEdit", "QAbstractButton", "QToolButton", "QCheckBox", "QRadioButton", "QTabBar",
                             "QLabel", "QGroupBox", "QMessageBoxLabel", "QTextControl"})
        if (const QPalette own = QApplication::palette(kind); own != platformPalette_)
            platformClassPalettes_.emplace_back(kind, own);
    for (const TThemeColours& c : kThemes)
        if (QString::fromLatin1(c.Name).compare(platform, Qt::CaseInsensitive) != 0)
            themes_.push_back({QString::fromLatin1(c.Name), MakePalette(c), c.Dark});
    std::sort(themes_.begin(), themes_.end(), [](const TTheme& a, const TTheme& b) {
        return a.Name.compare(b.Name, Qt::CaseInsensitive) < 0;
    });
    names_ << platform;
    for (const TTheme& t : themes_)
        names_ << t.Name;
    active_ = platform;
}

const TThemes::TTheme* TThemes::Find(const QString& name) const
{
    for (const TTheme& t : themes_)
        if (t.Name == name)
            return &t;
    return nullptr;
}

bool TThemes::ApplySkin(const QString& name)
{
    const TTheme* theme = Find(name);
    if (!theme && name != PlatformName())
        return false;
    QStyle* style = QStyleFactory::create(theme ? QStringLiteral("Fusion") : name);
    if (!style)
        return false;
    QApplication::setStyle(style); // the application owns it from here
    // An empty palette hands the platform's own colours back (and keeps following them).
    QApplication::setPalette(theme ? theme->Palette : QPalette());
    // A skin of ours is the same in every kind of widget: no white text of the platform's
    // list palette on a skin's amber selection.
    for (const auto& [kind, own] : platformClassPalettes_)
        QApplication::setPalette(theme ? theme->Palette : own, kind.constData());
    active_ = name;
    return true;
}

QPalette TThemes::Palette(const QString& name) const
{
    if (const TTheme* theme = Find(name))
        return theme->Palette;
    return platformPalette_;
}

bool TThemes::IsDark(const QString& name) const
{
    const TTheme* theme = Find(name);
    return theme && theme->Dark;
}

} // namespace fk
