#pragma once
// TMyComboBox: a combo box whose drop-down list can be widened to show its widest item.
#include <QComboBox>

namespace fk {

class TMyComboBox : public QComboBox {
public:
    static constexpr int DefaultDropDownCount = 8;

    explicit TMyComboBox(QWidget* parent = nullptr);

    // Items the drop-down shows without scrolling.
    int DropDownCount() const { return maxVisibleItems(); }
    void SetDropDownCount(int count) { setMaxVisibleItems(count); }
    // The drop-down list's width (it is never narrower than the box itself).
    int DropDownWidth() const;
    // Makes the drop-down list as wide as the widest item text plus a margin.
    void AdjustDropDown();
};

} // namespace fk
