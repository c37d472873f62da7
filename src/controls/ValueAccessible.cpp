#include "controls/ValueAccessible.h"

#include "controls/Knob.h"
#include "controls/KnobSpinButtons.h"
#include "controls/SpinArrowsAccessible.h"
#include "controls/Spinner.h"

#include <QLineEdit>

#include <cmath>

namespace fk {

TValueAccessible::TValueAccessible(QWidget* widget, TModel model)
    : QAccessibleWidget(widget, QAccessible::SpinBox)
    , model_(std::move(model))
{
}

void* TValueAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString TValueAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return model_.Text();
    return QAccessibleWidget::text(t);
}

QAccessible::State TValueAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    // The edit box inside holds the keyboard focus for the control.
    if (const QWidget* focus = widget()->focusWidget(); focus && widget()->isAncestorOf(focus) && focus->hasFocus())
        s.focused = true;
    return s;
}

QVariant TValueAccessible::currentValue() const { return model_.Value(); }
void TValueAccessible::setCurrentValue(const QVariant& value) { model_.SetValue(value.toDouble()); }
QVariant TValueAccessible::maximumValue() const { return model_.Max(); }
QVariant TValueAccessible::minimumValue() const { return model_.Min(); }
QVariant TValueAccessible::minimumStepSize() const { return model_.Step(); }

QStringList TValueAccessible::actionNames() const
{
    return QStringList{increaseAction(), decreaseAction()} + QAccessibleWidget::actionNames();
}

void TValueAccessible::doAction(const QString& actionName)
{
    if (actionName == increaseAction())
        model_.SetValue(model_.Value() + model_.Step());
    else if (actionName == decreaseAction())
        model_.SetValue(model_.Value() - model_.Step());
    else
        QAccessibleWidget::doAction(actionName);
}

QAccessibleInterface* TValueAccessible::Factory(const QString& className, QObject* object)
{
    (void)className; // the knob is told by its type; the spinner has no meta-object of its own
    if (auto* knob = qobject_cast<TKnob*>(object)) {
        TModel m;
        m.Value = [knob] { return knob->Value(); };
        m.Min = [knob] { return knob->Min() * knob->ValueMultiplier(); };
        m.Max = [knob] { return knob->Max() * knob->ValueMultiplier(); };
        m.Step = [knob] { return knob->Increment() * knob->ValueMultiplier(); };
        m.SetValue = [knob](double v) { knob->MoveTo(static_cast<int>(std::lround(v / knob->ValueMultiplier()))); };
        m.Text = [knob] { return knob->Edit()->text() + QLatin1Char(' ') + knob->Unit(); };
        return new TValueAccessible(knob, std::move(m));
    }
    if (auto* arrows = dynamic_cast<TKnobSpinButtons*>(object))
        return new TSpinArrowsAccessible(arrows);
    auto* widget = qobject_cast<QWidget*>(object);
    if (auto* spinner = dynamic_cast<TSpinner*>(widget)) {
        TModel m;
        m.Value = [spinner] { return spinner->GetValue(); };
        m.Min = [spinner] { return spinner->Min() * spinner->ValueMultiplier() + spinner->ValueOffset(); };
        m.Max = [spinner] { return spinner->Max() * spinner->ValueMultiplier() + spinner->ValueOffset(); };
        m.Step = [spinner] { return spinner->Increment() * spinner->ValueMultiplier(); };
        m.SetValue = [spinner](double v) { spinner->SetValue(v); };
        m.Text = [spinner] { return spinner->Edit()->text(); };
        return new TValueAccessible(spinner, std::move(m));
    }
    return nullptr;
}

void TValueAccessible::Install()
{
    // Function-local: installed once, however many controls are made.
    [[maybe_unused]] static const bool installed = (QAccessible::installFactory(&TValueAccessible::Factory), true);
}

} // namespace fk
