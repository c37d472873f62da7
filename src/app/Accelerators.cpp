#include "app/Accelerators.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <set>

namespace fk {

QChar TAccelerators::Of(const QString& text)
{
    for (int i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&'))
            continue;
        if (text[i + 1] == QLatin1Char('&')) {
            ++i;
            continue;
        }
        return text[i + 1].toLower();
    }
    return {};
}

QString TAccelerators::Strip(const QString& text)
{
    QString plain;
    plain.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i; // "&x" is x, "&&" is "&"
        plain += text[i];
    }
    return plain;
}

QStringList TAccelerators::Assign(const QStringList& texts)
{
    QStringList out(texts.size());
    std::set<QChar> used;
    // Accelerators the texts carry come first, in order.
    for (int i = 0; i < texts.size(); ++i) {
        const QChar c = Of(texts[i]);
        if (!c.isNull() && used.insert(c).second)
            out[i] = texts[i];
    }
    for (int i = 0; i < texts.size(); ++i) {
        if (!out[i].isNull() || texts[i].isEmpty()) {
            if (out[i].isNull())
                out[i] = texts[i];
            continue;
        }
        const QString plain = Strip(texts[i]);
        int at = -1;
        for (const bool wordStart : {true, false}) {
            for (int k = 0; k < plain.size() && at < 0; ++k) {
                const QChar c = plain[k];
                const bool starts = k == 0 || !plain[k - 1].isLetterOrNumber();
                if (c.isLetterOrNumber() && (starts || !wordStart) && !used.count(c.toLower()))
                    at = k;
            }
            if (at >= 0)
                break;
        }
        QString marked = plain;
        marked.replace(QLatin1Char('&'), QStringLiteral("&&"));
        if (at >= 0) {
            used.insert(plain[at].toLower());
            // Literal ampersands before the letter were doubled: count them in.
            const int shift = static_cast<int>(plain.left(at).count(QLatin1Char('&')));
            marked.insert(at + shift, QLatin1Char('&'));
        }
        out[i] = marked;
    }
    return out;
}

void TAccelerators::ApplyToMenu(QMenu* menu)
{
    QList<QAction*> items;
    QStringList texts;
    for (QAction* item : menu->actions())
        if (!item->isSeparator() && !item->text().isEmpty()) {
            items << item;
            texts << item->text();
        }
    const QStringList marked = Assign(texts);
    for (int i = 0; i < items.size(); ++i) {
        if (items[i]->text() != marked[i])
            items[i]->setText(marked[i]);
        if (QMenu* sub = items[i]->menu())
            ApplyToMenu(sub);
    }
}

void TAccelerators::Apply(QWidget* window)
{
    if (!window)
        return;
    QList<QObject*> owners;
    QStringList texts;
    QList<QMenu*> menus;
    if (auto* main = qobject_cast<QMainWindow*>(window); main && main->menuWidget()) {
        for (QAction* title : main->menuBar()->actions())
            if (!title->text().isEmpty()) {
                owners << title;
                texts << title->text();
                if (title->menu())
                    menus << title->menu();
            }
    }
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->window() != window)
            continue; // a dialog or message box of its own
        if (auto* button = qobject_cast<QAbstractButton*>(w); button && !button->text().isEmpty()) {
            owners << button;
            texts << button->text();
        } else if (auto* label = qobject_cast<QLabel*>(w); label && label->buddy() && !label->text().isEmpty()) {
            owners << label;
            texts << label->text();
        }
    }
    // Menus the window owns that no menu title leads to (context menus).
    for (QMenu* menu : window->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        if (!menus.contains(menu))
            menus << menu;
    const QStringList marked = Assign(texts);
    for (int i = 0; i < owners.size(); ++i) {
        if (auto* action = qobject_cast<QAction*>(owners[i]))
            action->setText(marked[i]);
        else if (auto* button = qobject_cast<QAbstractButton*>(owners[i]))
            button->setText(marked[i]);
        else if (auto* label = qobject_cast<QLabel*>(owners[i]))
            label->setText(marked[i]);
    }
    for (QMenu* menu : menus)
        ApplyToMenu(menu);
}

} // namespace fk
