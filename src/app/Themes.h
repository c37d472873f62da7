#pragma once
// The skins of the Skin menu: the platform's own style first (under its own name, for example
// "Fusion"), then the configurator's themes sorted by name. Each theme of ours is Qt's Fusion
// style with a palette of its own; some are dark. Activating a skin sets the application's
// style and palette, so every window follows.
#include <QByteArray>
#include <QPalette>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace fk {

class TThemes {
public:
    // Remembers the application's style at this moment as the platform's own.
    TThemes();

    // Every skin name, the platform's own style first, then the themes sorted by name.
    const QStringList& Names() const { return names_; }
    const QString& PlatformName() const { return names_.first(); }
    bool Contains(const QString& name) const { return names_.contains(name); }

    // Makes the named skin the active one. An unknown name, or a style that cannot be made,
    // changes nothing and gives false.
    bool ApplySkin(const QString& name);
    // The name of the active skin.
    const QString& ActiveName() const { return active_; }

    // The palette a skin sets (for the platform's own: the application's palette at start).
    QPalette Palette(const QString& name) const;
    // True for a theme with light text on dark ground.
    bool IsDark(const QString& name) const;

private:
    struct TTheme {
        QString Name;
        QPalette Palette;
        bool Dark;
    };
    const TTheme* Find(const QString& name) const;

    std::vector<TTheme> themes_;
    QStringList names_;
    QString active_;
    QPalette platformPalette_;
    // The palettes the platform gives some kinds of widgets of its own (a desktop's theme may
    // set the selected row's text of lists, the menus' colours): our skins replace them, the
    // platform's skin puts them back.
    std::vector<std::pair<QByteArray, QPalette>> platformClassPalettes_;
};

} // namespace fk
