#pragma once
// Keyboard accelerators ("&" before a letter: Alt+letter) for every menu, menu item, button and
// labelled field of a window, in whatever language it shows. A text that carries one keeps it
// while no earlier text of its group took the letter; the others get the first free letter
// that starts a word, else any free letter or digit. A group is one window's menu titles,
// buttons and labels with a buddy together, or the items of one menu.
#include <QChar>
#include <QString>
#include <QStringList>

class QMenu;
class QWidget;

namespace fk {

class TAccelerators {
public:
    // The texts with one accelerator each, unique within the list where letters allow.
    static QStringList Assign(const QStringList& texts);
    // The accelerator of a text, in lower case; a null character when it has none.
    static QChar Of(const QString& text);
    // The text without its accelerator ("&&" stays a plain "&").
    static QString Strip(const QString& text);
    // Assigns them to window and the menus it holds.
    static void Apply(QWidget* window);

private:
    static void ApplyToMenu(QMenu* menu);
};

} // namespace fk
