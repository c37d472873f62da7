#include "app/LanguageApplier.h"

#include "app/LanguageTexts.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QVariant>
#include <QWidget>

#include <algorithm>

namespace fk {

void TLanguageApplier::SetKey(QWidget* widget, const char* key)
{
    if (widget)
        widget->setProperty(KeyProperty, QString::fromLatin1(key));
}

void TLanguageApplier::SetHintKey(QWidget* widget, const char* key)
{
    if (widget)
        widget->setProperty(HintKeyProperty, QString::fromLatin1(key));
}

void TLanguageApplier::Apply(QWidget* window, TLanguageTexts& texts, const QString& mainCaption)
{
    if (!window)
        return;
    ApplyTo(window, true, texts, mainCaption);
    for (QWidget* child : window->findChildren<QWidget*>())
        ApplyTo(child, false, texts, mainCaption);
    PadButtons(window);
    // Longer texts widen the window rather than being cut.
    if (window->layout()) {
        Remeasure(window);
        window->resize(window->size().expandedTo(window->sizeHint()));
        window->layout()->activate();
    }
}

void TLanguageApplier::PadButtons(QWidget* window)
{
    // A caption keeps the room of a character or so from its button's border, however short
    // the style draws its buttons; a window's own minimum width of a button stays the least.
    static constexpr const char* DesignWidth = "fkDesignMinWidth";
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->window() != window || button->text().isEmpty())
            continue;
        if (!button->property(DesignWidth).isValid())
            button->setProperty(DesignWidth, button->minimumWidth());
        const QFontMetrics metrics = button->fontMetrics();
        QString caption = button->text();
        caption.remove(QRegularExpression(QStringLiteral("&(?!&)")));
        int needed = metrics.horizontalAdvance(caption) + 2 * metrics.averageCharWidth() +
            2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        if (!button->icon().isNull())
            needed += button->iconSize().width() + metrics.averageCharWidth();
        button->setMinimumWidth(std::max(button->property(DesignWidth).toInt(), needed));
    }
}

void TLanguageApplier::Remeasure(QWidget* window)
{
    // A widget's size hint is cached by the layout that holds it, and a new text refreshes only
    // the level right above it at once (the others follow one event-loop round per level).
    // Refresh every level now, innermost first, so the window is measured with the new texts.
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    std::reverse(widgets.begin(), widgets.end()); // children before their parents
    widgets.append(window);
    for (QWidget* w : widgets) {
        if (QLayout* layout = w->layout())
            layout->invalidate();
        w->updateGeometry();
    }
    for (QWidget* w : widgets)
        if (QLayout* layout = w->layout())
            layout->activate();
}

void TLanguageApplier::ApplyTo(QWidget* widget, bool isWindow, TLanguageTexts& texts, const QString& mainCaption)
{
    if (const QVariant hintKey = widget->property(HintKeyProperty); hintKey.isValid()) {
        const QString hint = QString::fromStdString(texts.Translate(hintKey.toString().toStdString()));
        if (!hint.isEmpty())
            widget->setToolTip(hint);
    }
    QString text;
    const QVariant key = widget->property(KeyProperty);
    if (key.isValid()) {
        const String k = key.toString().toStdString();
        text = QString::fromStdString(texts.Translate(k));
        const QString hint = QString::fromStdString(texts.Translate(k + ":hint"));
        if (!hint.isEmpty())
            widget->setToolTip(hint);
    } else if (const QVariant context = widget->property(ContextProperty); context.isValid()) {
        const int c = context.toInt();
        if (c <= 0)
            return;
        text = QString::fromStdString(texts.MessageText(c - 1));
    } else {
        return;
    }
    if (text.isEmpty())
        return;
    if (isWindow) {
        widget->setWindowTitle(mainCaption + QStringLiteral(" : ") + text);
        return;
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(QLatin1Char(' ') + text + QLatin1Char(' '));
        return;
    }
    // A status-bar label shows the plain text, as any other control not in a marked panel.
    const QWidget* parent = widget->parentWidget();
    if (parent && parent->property(ColonProperty).toBool())
        text += QStringLiteral(" : ");
    if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(text);
}

} // namespace fk
