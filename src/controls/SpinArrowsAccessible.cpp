#include "controls/SpinArrowsAccessible.h"

#include "controls/Knob.h"
#include "controls/KnobSpinButtons.h"

namespace fk {

namespace {

// One spin button: index 0 the upper (increase), 1 the lower (decrease).
class TArrowAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TArrowAccessible(const TSpinArrowsAccessible* parent, int index) : parent_(parent), index_(index) {}

    bool isValid() const override { return parent_->isValid(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return parent_->window(); }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return const_cast<TSpinArrowsAccessible*>(parent_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? parent_->Buttons()->SpokenName(index_ == 0) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        const TKnobSpinButtons* b = parent_->Buttons();
        const QRect r = b->ArrowRect(index_ == 0);
        return QRect(b->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        const TKnobSpinButtons* b = parent_->Buttons();
        s.disabled = !b->isEnabled();
        s.invisible = !b->isVisible();
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }
    void doAction(const QString& name) override
    {
        auto* knob = qobject_cast<TKnob*>(parent_->Buttons()->parentWidget());
        if (name == pressAction() && knob && knob->isEnabled())
            knob->MoveTo(knob->Position() + (index_ == 0 ? knob->Increment() : -knob->Increment()));
    }

private:
    const TSpinArrowsAccessible* parent_;
    int index_;
};

} // namespace

TSpinArrowsAccessible::TSpinArrowsAccessible(TKnobSpinButtons* buttons)
    : QAccessibleWidget(buttons, QAccessible::Grouping)
{
}

TSpinArrowsAccessible::~TSpinArrowsAccessible()
{
    for (QAccessible::Id id : arrows_)
        if (id)
            QAccessible::deleteAccessibleInterface(id);
}

TKnobSpinButtons* TSpinArrowsAccessible::Buttons() const { return static_cast<TKnobSpinButtons*>(widget()); }

QAccessibleInterface* TSpinArrowsAccessible::child(int index) const
{
    if (index < 0 || index > 1)
        return nullptr;
    if (!arrows_[index])
        arrows_[index] = QAccessible::registerAccessibleInterface(new TArrowAccessible(this, index));
    return QAccessible::accessibleInterface(arrows_[index]);
}

int TSpinArrowsAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    for (int i = 0; i < 2; ++i)
        if (arrows_[i] && QAccessible::accessibleInterface(arrows_[i]) == child)
            return i;
    return -1;
}

QAccessibleInterface* TSpinArrowsAccessible::childAt(int x, int y) const
{
    for (int i = 0; i < 2; ++i)
        if (QAccessibleInterface* c = child(i); c && c->rect().contains(x, y))
            return c;
    return nullptr;
}

} // namespace fk
