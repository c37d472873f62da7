#pragma once
// The spinner without its widgets: an integer Position within Min..Max shown as the value
// Position * ValueMultiplier + ValueOffset, changed by keys, by the up/down buttons, by typing
// and by dragging vertically on the buttons. Every change goes through DoScroll, which raises
// OnScroll (whose handler may change the position) and, when the position changed, OnChange.
//
// The widget (TSpinner) feeds key, edit and mouse input in and shows what TSpinnerView is told.
// Keys and buttons are Qt's key codes and mouse buttons; nothing here needs a window.
#include "controls/SpinnerTypes.h"
#include "controls/SpinnerText.h"
#include "controls/SpinnerView.h"
#include "platform/Types.h"

#include <QString>
#include <QtCore/qnamespace.h>

namespace fk {

class TSpinnerLogic : public TObject {
public:
    // Holding bits: what holds the control while a step sequence runs.
    static constexpr unsigned HoldKeyboard = 1;
    static constexpr unsigned HoldMouse = 2;

    // Where the pointer is during a move on the buttons: y in the buttons' coordinates, the
    // same point on the screen, the screen's top and height, and the buttons' height.
    struct TPointer {
        int y = 0;
        int screenY = 0;
        int screenTop = 0;
        int screenHeight = 0;
        int buttonsHeight = 0;
    };

    explicit TSpinnerLogic(TSpinnerView* view = nullptr);

    // Published properties.
    int DefaultPosition() const noexcept { return defaultPosition_; }
    void SetDefaultPosition(int p);
    int Increment() const noexcept { return increment_; }
    void SetIncrement(int v); // 0 is refused
    int LargeIncrement() const noexcept { return largeIncrement_; }
    void SetLargeIncrement(int v) { largeIncrement_ = v; }
    int Position() const noexcept { return position_; }
    void SetPosition(int p);
    int Min() const noexcept { return min_; }
    void SetMin(int v);
    int Max() const noexcept { return max_; }
    void SetMax(int v);
    bool Wrap() const noexcept { return wrap_; }
    void SetWrap(bool on) { wrap_ = on; }
    bool CanDefaultReset() const noexcept { return canDefaultReset_; }
    void SetMbCanReset(bool on) { canDefaultReset_ = on; }
    double Sensitivity() const noexcept { return sensitivity_; }
    void SetSensitivity(double v); // not-a-number and infinite values are ignored
    double ValueMultiplier() const noexcept { return valueMultiplier_; }
    void SetValueMultiplier(double m);
    double ValueOffset() const noexcept { return valueOffset_; }
    void SetValueOffset(double o);
    double GetValue() const noexcept;
    void SetValue(double v);
    const String& Format() const noexcept { return format_; }
    void SetFormat(const String& pattern);

    TNotifyEvent OnChange;  // after Position changed
    TScrollEvent OnScroll;  // every step; may change the position

    // The locale's separators for the edit's text, and the pointer distance that starts a drag.
    void SetSeparators(const QString& decimalSeparator, const QString& groupSeparator);
    const QString& DecimalSeparator() const noexcept { return decimalSeparator_; }
    void SetDragThreshold(int pixels) { dragThreshold_ = pixels < 0 ? 0 : pixels; }
    void SetEnabled(bool on) { enabled_ = on; }
    bool Enabled() const noexcept { return enabled_; }
    // The Sender of the events (the logic itself unless set).
    void SetSender(TObject* sender) { sender_ = sender ? sender : this; }

    // State.
    unsigned GetHolding() const noexcept { return holding_; }
    void SetHolding(unsigned bits);
    int StartPosition() const noexcept { return startPosition_; }
    bool Modified() const noexcept { return modified_; }
    bool DecimalsAllowed() const noexcept { return decimalsAllowed_; }
    bool Dragging() const noexcept { return dragging_; }
    // The left button was let go with the right one down (the drag was cancelled); cleared by
    // the next step that is not an end of scroll. The widget opens no context menu then.
    bool RightCancelled() const noexcept { return rightCancelled_; }
    const QString& EditText() const noexcept { return editText_; }

    // Positions from values and texts.
    int GetPosition(double value) const;
    int GetPosition(const QString& text) const; // the current Position when the text is no number
    int GetEditPosition() const { return GetPosition(editText_); }
    int CheckPosition(long long p) const;

    // Something took the input away (disabled, hidden, the mouse grab lost): every hold ends
    // with its end of scroll; a drag goes back to where it began, steps already made stay.
    void LoseHold();

    // Steps.
    bool DoScroll(TScrollCode code, long long p);
    void SpinClick(TScrollCode code, long long delta);
    void UpdateEdit();
    // The control's text: setting it sets the Position from the text.
    void SetText(const QString& text) { SetPosition(GetPosition(text)); }

    // Keys on the control; true when the key was used.
    bool KeyDown(int key, Qt::KeyboardModifiers modifiers);
    void KeyUp(int key);
    // Keys in the edit; true when the key was used and must not reach the edit.
    bool EditKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void EditKeyUp(int key);
    // The edit's text changed by the user; returns what the edit must show instead when the
    // typing filter changed it.
    TSpinnerText::TEdit EditChange(const QString& text, int caret);
    // The edit lost the focus: a typed value is taken.
    void EditExit();

    // The up/down buttons: a step of the buttons (press and auto-repeat), and the mouse.
    void SpinChanging(bool up);
    void SpinMouseDown(Qt::MouseButton button, Qt::MouseButtons buttonsDown, int y);
    void SpinMouseMove(const TPointer& pointer);
    void SpinMouseUp(Qt::MouseButton button, Qt::MouseButtons buttonsDown, int y);

protected:
    // Raisers: OnChange, OnScroll.
    virtual void Change();
    virtual void Scroll(TScrollCode code, int& position);

private:
    void ChangePosition(int p);
    void EndDrag();
    long long DragPosition(int y) const;
    void UpdateDecimalsAllowed();

    TSpinnerView fallbackView_;
    TSpinnerView* view_;
    TObject* sender_;

    int defaultPosition_ = 0;
    int increment_ = 1;
    int largeIncrement_ = 10;
    int position_ = 0;
    int min_ = 0;
    int max_ = 100;
    bool wrap_ = false;
    bool canDefaultReset_ = true;
    double sensitivity_ = 0.5;
    double valueMultiplier_ = 1.0;
    double valueOffset_ = 0.0;
    String format_ = "0";
    QString decimalSeparator_ = QStringLiteral(".");
    QString groupSeparator_ = QStringLiteral(",");
    int dragThreshold_ = 4;
    bool enabled_ = true;

    QString editText_;
    unsigned holding_ = 0;
    int startPosition_ = 0;
    bool modified_ = false;
    bool decimalsAllowed_ = false;
    bool dragging_ = false;
    bool cursorShown_ = false; // the drag shape replaces the pointer
    int dragAnchor_ = 0;
    int wrapOffset_ = 0;
    int lastY_ = 0;
    bool resetPending_ = false;
    double dragSensitivity_ = 0.5;
    bool rightCancelled_ = false;
};

} // namespace fk
