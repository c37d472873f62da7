#pragma once
// What a knob does, without any widget: the position with its range, increment and dead zones,
// the mapping of positions to angles (with whole turns) and to the edit box's text, the typing
// filter of the edit box, the arithmetic of turning a face and of dragging the spin buttons,
// the decisions for the keys, and the bookkeeping that gives every move exactly one end.
//
// The knob widget (TKnob) owns one TKnobLogic and is its host: the logic tells the host when to
// raise an event, when the faces and the edit text have to be shown again, and asks it to move
// the pointer during a spin drag. Coordinates are pixels of the pressed part (a face or the spin
// buttons). The decimal separator is the one of the default locale (QLocale()).
#include <QString>

#include <utility>
#include <vector>

namespace fk {

class TKnobLogic {
public:
    class THost {
    public:
        virtual ~THost() = default;
        virtual void KnobStartMove() = 0;
        virtual void KnobMove() = 0;
        virtual void KnobChangePosition() = 0;
        virtual void KnobEndMove() = 0;
        // The knob's angle, the zero angle or the edit text changed: show them again.
        virtual void KnobShow() = 0;
        // Something was taken hold of (1 spin buttons, 2 a face) or let go (0).
        virtual void KnobHoldingChanged(int holding) { (void)holding; }
        // A spin drag began (save the cursor, show the vertical-resize one) or ended (restore).
        virtual void KnobDragCursor(bool dragging) { (void)dragging; }
        // Moves the pointer dy pixels down (up when negative); false when the platform refused.
        virtual bool KnobWarpPointer(int dy)
        {
            (void)dy;
            return false;
        }
    };

    // SpinChange flags.
    enum : unsigned {
        scStartMove = 1, // raise OnStartMove first
        scEndMove = 2,   // end the move afterwards
        scMove = 4,      // raise OnMove
    };
    // Holding states.
    enum : int { hNone = 0, hSpin = 1, hFace = 2 };
    // Keys the edit box passes on.
    enum TEditKey { ekUp, ekDown, ekEnter, ekEscape };
    // Where the edit box's caret goes after a key.
    enum TCaret { crKeep, crStart, crEnd };

    using TDeadZone = std::pair<int, int>;

    // Most decimal places the edit box shows; larger Dot values are refused.
    static constexpr unsigned MaxDot = 18;
    // Pixels the pointer must move before a press becomes a drag.
    static constexpr int MouseSensitivity = 2;

    explicit TKnobLogic(THost& host);
    TKnobLogic(const TKnobLogic&) = delete;
    TKnobLogic& operator=(const TKnobLogic&) = delete;

    // fmod(x + 180, 360) - 180 with the sign of fmod's first operand: inputs below -180 stay
    // below -180 (they are not folded into one turn).
    static double AngleWrap(double x) noexcept;

    // --- properties
    int Min() const noexcept { return min_; }
    int Max() const noexcept { return max_; }
    int Position() const noexcept { return position_; }
    int Increment() const noexcept { return increment_; }
    int ZeroPosition() const noexcept { return zeroPosition_; }
    double ZeroAngle() const noexcept { return zeroAngle_; }
    double AngleMultiplier() const noexcept { return angleMultiplier_; }
    double ValueMultiplier() const noexcept { return valueMultiplier_; }
    double Sensitivity() const noexcept { return sensitivity_; }
    unsigned Dot() const noexcept { return dot_; }
    bool CanMove() const noexcept { return canMove_; }
    double getValue() const noexcept { return position_ * valueMultiplier_; }

    void setMin(int m);
    void setMax(int m);
    void setPosition(int p);
    void setValue(double v);
    void setZeroPosition(int p);
    void setZeroAngle(double z);
    void setAngle(double a);
    void setIncrement(int i);
    void setSensitivity(double s);
    void setAngleMultiplier(double m);
    void setValueMultiplier(double m);
    void setDot(unsigned d);
    // The logical part of CanMove: a drag under way is cancelled when moving is forbidden.
    void setCanMove(bool canMove);

    // --- state
    double Angle() const noexcept { return angle_; } // degrees, not limited to one turn
    int Turns() const noexcept { return turns_; }
    int Holding() const noexcept { return holding_; }
    bool Moving() const noexcept { return moving_; }
    bool Edited() const noexcept { return edited_; }
    // A move began (OnStartMove raised) and has not ended yet.
    bool MoveStarted() const noexcept { return moveStarted_; }
    // The faces' click handlers are detached (a drag or a right press must not count as a click).
    bool ClicksDetached() const noexcept { return clicksDetached_; }
    int StartPosition() const noexcept { return startPosition_; }
    const QString& EditText() const noexcept { return editText_; }

    // --- dead zones
    bool AddDeadZone(int a, int b);
    void ClearDeadZones() noexcept { deadZones_.clear(); }
    const std::vector<TDeadZone>& DeadZones() const noexcept { return deadZones_; }

    // --- the core
    void SpinChange(int position, unsigned flags, int direction, bool updateAngle);
    void UpdateKnob(bool updateAngle);
    void EndMove(bool cancel);
    int GetEditPosition() const;

    // --- text
    // The edit text of a position: floor(position * valueMultiplier + 0.5) with dot decimals.
    static QString PositionText(int position, double valueMultiplier, unsigned dot, const QString& separator);
    struct TEditFix {
        QString text;
        int caret;
    };
    // Checks the character just before the caret (caret = characters before it, 0 checks nothing).
    static TEditFix FilterEdit(const QString& text, int caret, unsigned dot, const QString& separator);
    // The user changed the edit text: the knob counts as edited; returns the corrected text.
    TEditFix EditChanged(const QString& text, int caret);
    // A key in the edit box; returns where the caret goes. handled tells whether the key was used.
    TCaret EditKeyDown(TEditKey key, bool& handled);
    TCaret EditKeyUp(TEditKey key);
    // The edit box lost the focus: an edited text is applied.
    void EditExit();

    // --- the whole move
    // Something took the knob's input away (disabled, hidden, the mouse grab lost): whatever
    // holds the knob lets go and a move under way ends (a drag goes back to its start, steps
    // already made stay), so every OnStartMove still gets its OnEndMove.
    void LoseHold();

    // --- the mouse wheel
    // notches wheel notches (positive: up), each one Increment. A burst of notches is one move:
    // the first raises OnStartMove, WheelEnd (the host's timer, after the last notch) ends it.
    // False when the knob does not take the wheel (CanMove false, or a press holds the knob).
    bool WheelStep(int notches);
    void WheelEnd();
    bool Wheeling() const noexcept { return wheeling_; }

    // --- spin buttons and arrow keys
    void SpinClick(bool up);
    void ArrowKeyDown(bool up);
    void ArrowKeyUp();
    // Page Up/Down (steps of PageStep increments) and Home/End (the range's ends): each key
    // press is one whole move to position, ended at once (one end-of-move, so one write).
    // False when the knob does not take it (CanMove false, or a press holds the knob).
    bool JumpTo(int position);
    static constexpr int PageStep = 5;
    void SpinLeftDown(int y);
    // y: pointer row in the spin buttons; screenY: its row on the screen (0 = top row).
    void SpinMouseMove(int y, int spinHeight, int screenY, int screenHeight);
    void SpinLeftUp(int y, bool rightDown);

    // --- faces
    void FaceLeftDown(int x, int y, int width, int height);
    void FaceMouseMove(int x, int y, int width, int height);
    void FaceLeftUp(bool rightDown);
    // A click on a face; false when it does not count (handlers detached).
    bool FaceClick();

    // --- right button on a face or the spin buttons
    void RightDown(bool leftDown);
    void RightUp();

    // The pointer is over the control (or one of its parts) or not: +1 enter, -1 leave, 0 nothing.
    int PointerOver(bool over) noexcept;

private:
    int Clamp(long long p) const noexcept;
    void setHolding(int holding);
    void RaiseStartMove();
    void TurnsFromAngle() noexcept;
    void RecoverAngle(); // the angle of the position
    void ResetMove();    // lets go of everything a move held, without raising an event
    int SpinDragOffset(int y) const;

    THost& host_;
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
    int increment_ = 1;
    int zeroPosition_ = 0;
    double zeroAngle_ = 90.0;
    double angleMultiplier_ = -3.6;
    double valueMultiplier_ = 1.0;
    double sensitivity_ = 2.0;
    unsigned dot_ = 0;
    bool canMove_ = true;

    double angle_ = 90.0;
    int turns_ = 0;
    double lastWrapped_ = 0.0;
    double grabOffset_ = 0.0;
    int startPosition_ = 0;
    int holding_ = hNone;
    bool moving_ = false;
    bool edited_ = false;
    bool pendingReset_ = false;
    bool pointerInside_ = false;
    bool moveStarted_ = false;
    bool clicksDetached_ = false;
    bool spinPressed_ = false;
    bool facePressed_ = false;
    bool wheeling_ = false;
    int pressX_ = 0;
    int pressY_ = 0;
    int lastScreenY_ = 0;
    int accumulator_ = 0;
    QString editText_ = QStringLiteral("0");
    std::vector<TDeadZone> deadZones_;
};

} // namespace fk
