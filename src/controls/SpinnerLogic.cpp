#include "controls/SpinnerLogic.h"

#include "support/MyMath.h"

#include <climits>
#include <cmath>
#include <cstdlib>

namespace fk {

namespace {

// Rounds to the nearest whole number (halves upwards) and keeps it inside what a long long
// holds, so that any typed or dragged amount can be checked into range without overflow.
long long RoundToLong(double x)
{
    if (std::isnan(x))
        return 0;
    const double r = MyMath::floatround(x, 6);
    if (r >= 9.0e18)
        return 9'000'000'000'000'000'000LL;
    if (r <= -9.0e18)
        return -9'000'000'000'000'000'000LL;
    return static_cast<long long>(r);
}

int ClampToInt(long long v)
{
    return v > INT_MAX ? INT_MAX : (v < INT_MIN ? INT_MIN : static_cast<int>(v));
}

bool IsWhole(double v)
{
    return std::floor(v) == v;
}

} // namespace

TSpinnerLogic::TSpinnerLogic(TSpinnerView* view)
    : view_(view ? view : &fallbackView_)
    , sender_(this)
{
    editText_ = TSpinnerText::Format(format_, GetValue(), decimalSeparator_, groupSeparator_);
}

// ---- Properties ------------------------------------------------------------------------

void TSpinnerLogic::SetDefaultPosition(int p)
{
    defaultPosition_ = CheckPosition(p);
}

void TSpinnerLogic::SetIncrement(int v)
{
    if (v != 0)
        increment_ = v;
}

void TSpinnerLogic::SetPosition(int p)
{
    const int checked = CheckPosition(p);
    if (checked != position_)
        ChangePosition(checked);
    else if (modified_)
        UpdateEdit();
}

void TSpinnerLogic::SetMin(int v)
{
    min_ = v;
    if (max_ < v)
        max_ = v;
    defaultPosition_ = CheckPosition(defaultPosition_);
    SetPosition(position_);
}

void TSpinnerLogic::SetMax(int v)
{
    max_ = v;
    if (min_ > v)
        min_ = v;
    defaultPosition_ = CheckPosition(defaultPosition_);
    SetPosition(position_);
}

void TSpinnerLogic::SetSensitivity(double v)
{
    if (std::isfinite(v))
        sensitivity_ = v;
}

void TSpinnerLogic::SetValueMultiplier(double m)
{
    if (m == 0 || !std::isfinite(m) || m == valueMultiplier_)
        return;
    valueMultiplier_ = m;
    UpdateDecimalsAllowed();
    UpdateEdit();
}

void TSpinnerLogic::SetValueOffset(double o)
{
    if (!std::isfinite(o) || o == valueOffset_)
        return;
    valueOffset_ = o;
    UpdateDecimalsAllowed();
    UpdateEdit();
}

double TSpinnerLogic::GetValue() const noexcept
{
    return position_ * valueMultiplier_ + valueOffset_;
}

void TSpinnerLogic::SetValue(double v)
{
    if (std::isfinite(v))
        SetPosition(GetPosition(v));
}

void TSpinnerLogic::SetFormat(const String& pattern)
{
    format_ = pattern;
    UpdateEdit();
}

void TSpinnerLogic::SetSeparators(const QString& decimalSeparator, const QString& groupSeparator)
{
    decimalSeparator_ = decimalSeparator.isEmpty() ? QStringLiteral(".") : decimalSeparator;
    groupSeparator_ = groupSeparator;
    UpdateEdit();
}

void TSpinnerLogic::UpdateDecimalsAllowed()
{
    decimalsAllowed_ = !IsWhole(valueMultiplier_) || !IsWhole(valueOffset_);
}

// ---- Positions -------------------------------------------------------------------------

int TSpinnerLogic::GetPosition(double value) const
{
    return ClampToInt(RoundToLong((value - valueOffset_) / valueMultiplier_));
}

int TSpinnerLogic::GetPosition(const QString& text) const
{
    double value = 0;
    return TSpinnerText::Parse(text, decimalSeparator_, value) ? GetPosition(value) : position_;
}

int TSpinnerLogic::CheckPosition(long long p) const
{
    if (p >= min_ && p <= max_)
        return static_cast<int>(p);
    if (wrap_) {
        const long long span = static_cast<long long>(max_) - min_ + 1;
        long long r = (p - min_) % span;
        if (r < 0)
            r += span;
        return static_cast<int>(min_ + r);
    }
    return p < min_ ? min_ : max_;
}

void TSpinnerLogic::ChangePosition(int p)
{
    position_ = p;
    UpdateEdit();
    Change();
}

void TSpinnerLogic::UpdateEdit()
{
    modified_ = false;
    editText_ = TSpinnerText::Format(format_, GetValue(), decimalSeparator_, groupSeparator_);
    view_->ShowEditText(editText_);
}

void TSpinnerLogic::Change()
{
    OnChange.Invoke(sender_);
}

void TSpinnerLogic::Scroll(TScrollCode code, int& position)
{
    OnScroll.Invoke(sender_, code, position);
}

// ---- Steps -----------------------------------------------------------------------------

bool TSpinnerLogic::DoScroll(TScrollCode code, long long p)
{
    if (code != scEndScroll)
        rightCancelled_ = false;
    const int checked = CheckPosition(p);
    int position = checked;
    if (code == scPosition || code == scEndScroll)
        EndDrag();
    if (holding_ == 0)
        startPosition_ = position_;
    Scroll(code, position);
    if (code == scPosition)
        Scroll(scEndScroll, position);
    if (position != position_) {
        if (position == checked)
            ChangePosition(position);
        else
            SetPosition(position); // the handler chose another position: check it again
    } else if (modified_) {
        UpdateEdit();
    }
    if (holding_ == 0)
        startPosition_ = position_;
    return code != scEndScroll;
}

void TSpinnerLogic::SpinClick(TScrollCode code, long long delta)
{
    if (enabled_)
        DoScroll(code, position_ + delta);
}

void TSpinnerLogic::SetHolding(unsigned bits)
{
    if ((holding_ == 0) != (bits == 0)) {
        startPosition_ = position_;
        holding_ = bits;
        view_->ShowChildHints(bits == 0);
    } else if (holding_ != 0) {
        // A second input cannot join a hold; letting one go keeps the other.
        holding_ &= bits;
    }
}

void TSpinnerLogic::LoseHold()
{
    resetPending_ = false;
    if (holding_ == 0) {
        EndDrag();
        return;
    }
    DoScroll(scEndScroll, dragging_ ? startPosition_ : position_);
    SetHolding(0);
}

void TSpinnerLogic::EndDrag()
{
    if (cursorShown_) {
        cursorShown_ = false;
        view_->ShowDragCursor(false);
    }
    dragging_ = false;
}

// ---- Keys ------------------------------------------------------------------------------

bool TSpinnerLogic::KeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    TScrollCode code;
    long long step;
    switch (key) {
    case Qt::Key_PageUp:
        code = scPageUp;
        step = largeIncrement_;
        break;
    case Qt::Key_PageDown:
        code = scPageDown;
        step = -static_cast<long long>(largeIncrement_);
        break;
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const bool down = key == Qt::Key_Down;
        if (modifiers & Qt::ShiftModifier) {
            code = down ? scPageDown : scPageUp;
            step = largeIncrement_;
        } else {
            code = down ? scLineDown : scLineUp;
            step = (modifiers & Qt::AltModifier) ? (increment_ < 0 ? -1 : 1) : increment_;
        }
        if (down)
            step = -step;
        break;
    }
    default:
        return false;
    }
    SetHolding(holding_ | HoldKeyboard);
    SpinClick(code, step);
    return true;
}

void TSpinnerLogic::KeyUp(int key)
{
    if (key != Qt::Key_Up && key != Qt::Key_Down && key != Qt::Key_PageUp && key != Qt::Key_PageDown)
        return;
    if (holding_ & HoldKeyboard) {
        DoScroll(scEndScroll, position_);
        SetHolding(holding_ & ~HoldKeyboard);
    }
}

bool TSpinnerLogic::EditKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        DoScroll(scEndScroll, GetEditPosition());
        view_->SelectAllText();
        return true;
    case Qt::Key_Escape:
        if (!modified_)
            return false; // nothing to undo: the key goes on (a dialog may close)
        UpdateEdit();
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (modified_)
            DoScroll(scEndScroll, GetEditPosition());
        KeyDown(key, modifiers);
        return true;
    default:
        return false;
    }
}

void TSpinnerLogic::EditKeyUp(int key)
{
    if (key == Qt::Key_Up || key == Qt::Key_Down)
        KeyUp(key);
}

TSpinnerText::TEdit TSpinnerLogic::EditChange(const QString& text, int caret)
{
    modified_ = true;
    TSpinnerText::TEdit edit = TSpinnerText::Filter(editText_, text, caret, decimalsAllowed_, decimalSeparator_);
    editText_ = edit.text;
    return edit;
}

void TSpinnerLogic::EditExit()
{
    if (modified_)
        DoScroll(scEndScroll, GetEditPosition());
}

// ---- Buttons and mouse -----------------------------------------------------------------

void TSpinnerLogic::SpinChanging(bool up)
{
    if (dragging_)
        return;
    SetHolding(holding_ | HoldMouse);
    if (up)
        SpinClick(scLineUp, increment_);
    else
        SpinClick(scLineDown, -static_cast<long long>(increment_));
}

void TSpinnerLogic::SpinMouseDown(Qt::MouseButton button, Qt::MouseButtons buttonsDown, int y)
{
    if (button == Qt::LeftButton) {
        SetHolding(holding_ | HoldMouse);
        DoScroll(scTrack, position_);
        dragAnchor_ = y;
        lastY_ = y;
        resetPending_ = false;
    } else if (button == Qt::RightButton && !(buttonsDown & Qt::LeftButton)) {
        resetPending_ = canDefaultReset_;
    }
    // A middle press needs no capture here: the pressed widget gets every move until release.
}

long long TSpinnerLogic::DragPosition(int y) const
{
    const double moved = (static_cast<double>(wrapOffset_) + dragAnchor_ - y) * dragSensitivity_;
    return static_cast<long long>(startPosition_) + RoundToLong(moved);
}

void TSpinnerLogic::SpinMouseMove(const TPointer& pointer)
{
    int y = pointer.y;
    int screenY = pointer.screenY;
    if (!(holding_ & HoldMouse)) {
        lastY_ = y;
        return;
    }
    const bool movingUp = y < lastY_;
    const bool movingDown = y > lastY_;
    if (!dragging_) {
        if (std::abs(y - dragAnchor_) < dragThreshold_) {
            lastY_ = y;
            return;
        }
        dragging_ = true;
        cursorShown_ = true;
        view_->ShowDragCursor(true);
        wrapOffset_ = 0;
        dragSensitivity_ = sensitivity_;
        // The pointer goes to the buttons' middle, as far from it as it was from the press
        // point, and the anchor with it; where the pointer cannot be moved the anchor stays.
        const int moved = view_->MoveCursorBy(pointer.buttonsHeight / 2 - dragAnchor_);
        dragAnchor_ += moved;
        y += moved;
        screenY += moved;
    }
    const int top = pointer.screenTop;
    const int bottom = pointer.screenTop + pointer.screenHeight - 1;
    int wrapped = 0;
    if (screenY <= top && movingUp)
        wrapped = view_->MoveCursorBy(top + pointer.screenHeight - 2 - screenY);
    else if (screenY >= bottom && movingDown)
        wrapped = view_->MoveCursorBy(top + 1 - screenY);
    if (wrapped != 0) {
        // Jumped to the other edge: the offset keeps the distance dragged.
        wrapOffset_ += wrapped;
        lastY_ = y + wrapped;
        return;
    }
    lastY_ = y;
    DoScroll(scTrack, DragPosition(y));
}

void TSpinnerLogic::SpinMouseUp(Qt::MouseButton button, Qt::MouseButtons buttonsDown, int y)
{
    if (button == Qt::LeftButton) {
        if (!(holding_ & HoldMouse))
            return;
        if (buttonsDown & Qt::RightButton) {
            DoScroll(scEndScroll, startPosition_); // the right button cancels the drag
            rightCancelled_ = true;
        } else if (dragging_) {
            DoScroll(scPosition, DragPosition(y));
        } else {
            DoScroll(scEndScroll, position_);
        }
        SetHolding(holding_ & ~HoldMouse);
    } else if (button == Qt::RightButton) {
        if (resetPending_) {
            resetPending_ = false;
            DoScroll(scEndScroll, defaultPosition_);
        }
    }
}

} // namespace fk
