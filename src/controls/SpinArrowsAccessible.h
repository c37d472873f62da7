#pragma once
// The knob's spin buttons as assistive technology sees them: two push buttons ("Increase open
// time", "Decrease open time") whose press is one step of the knob, a whole move.
#include <QAccessibleWidget>

namespace fk {

class TKnobSpinButtons;

class TSpinArrowsAccessible : public QAccessibleWidget {
public:
    explicit TSpinArrowsAccessible(TKnobSpinButtons* buttons);
    ~TSpinArrowsAccessible() override;

    int childCount() const override { return 2; }
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

    TKnobSpinButtons* Buttons() const;

private:
    mutable QAccessible::Id arrows_[2] = {0, 0};
};

} // namespace fk
