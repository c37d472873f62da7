#pragma once
// What the spinner's logic asks of the widgets it drives. The widget implements it over its
// edit and button children; tests implement it to watch the logic without a window.
#include <QString>

namespace fk {

class TSpinnerView {
public:
    virtual ~TSpinnerView() = default;

    // The edit shows text (its change handler does not run for this).
    virtual void ShowEditText(const QString& text) { (void)text; }
    // The edit's whole text is selected.
    virtual void SelectAllText() {}
    // While a drag runs the pointer shows the vertical-split shape instead of the arrow.
    virtual void ShowDragCursor(bool dragging) { (void)dragging; }
    // Moves the pointer dy pixels down (up for a negative dy), keeping its horizontal place.
    // Returns how far it really moved: 0 where the platform does not let programs move it.
    virtual int MoveCursorBy(int dy) { (void)dy; return 0; }
    // Tool tips of the edit and the buttons are shown (false while a key or button holds).
    virtual void ShowChildHints(bool show) { (void)show; }
};

} // namespace fk
