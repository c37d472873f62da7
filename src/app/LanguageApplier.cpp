#include "app/LanguageApplier.h"

#include "app/LanguageTexts.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QVariant>
#include <QWidget>

namespace fk {

void TLanguageApplier::SetKey(QWidget* widget, const char* key)
{
    if (widget)
        widget->setProperty(KeyProperty, QString::fromLatin1(key));
}

void TLanguageApplier::Apply(QWidget* window, TLanguageTexts& texts, const QString& mainCaption)
{
    if (!window)
        return;
    ApplyTo(window, true, texts, mainCaption);
    for (QWidget* child : window->findChildren<QWidget*>())
        ApplyTo(child, false, texts, mainCaption);
    // Longer texts widen the window rather than being cut.
    if (QLayout* layout = window->layout()) {
        for (QLayout* inner : window->findChildren<QLayout*>())
            inner->invalidate();
        layout->activate();
        window->resize(window->size().expandedTo(window->sizeHint()));
    }
}

void TLanguageApplier::ApplyTo(QWidget* widget, bool isWindow, TLanguageTexts& texts, const QString& mainCaption)
{
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
