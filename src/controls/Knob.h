#pragma once
// TKnob: an integer position between Min and Max that the user sets by turning a round face,
// by clicking or dragging the spin buttons, with the arrow keys, or by typing into the edit
// box. The edit box shows the position as a scaled value (Position x ValueMultiplier, with Dot
// decimals) followed by the unit label; the turning face shows it as an angle.
//
// Children: a fixed background face (its pointer marks ZeroPosition), the turning knob face, the
// edit box, the spin buttons, the caption label and the unit label. Design sizes (faces, edit
// box, spin buttons, gaps) are pixels at 96 dpi, scaled to the screen's density.
//
// Every change of the position goes through SpinChange, which raises OnStartMove, OnMove,
// OnChangePosition and ends the move as its flags say. A move that began with OnStartMove ends
// with exactly one OnEndMove, committed or cancelled. Setting Position from the program gives
// OnStartMove, OnChangePosition (when it changed) and OnEndMove.
//
// The knob also speaks Qt signals: moveStarted, positionChanged and moveEnded come right after
// the handlers of OnStartMove, OnChangePosition and OnEndMove. While its signals are blocked
// (QSignalBlocker) the knob calls nobody back: neither these signals nor the four move events
// (OnStartMove, OnMove, OnChangePosition, OnEndMove). That is how the program sets a position
// silently.
//
// The shared font is the knob's own font (QWidget::font), size 8 by default; it is used by the
// edit box and both labels.
#include "controls/CustomKnob.h"
#include "controls/KnobLogic.h"

#include <QColor>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

class QLabel;
class QLineEdit;

namespace fk {

class TKnobSpinButtons;

enum TKnobStyle {
    kstAll,      // faces, edit box and spin buttons
    kstKnobOnly, // faces only
    kstSpinOnly, // edit box and spin buttons, no faces
};

class TKnob : public QWidget, public TObject, private TKnobLogic::THost {
    Q_OBJECT
public:
    static constexpr int DPI_Design = 96;     // design pixel density
    static constexpr int EditSpace = 3;       // gap between the faces and the edit box
    static constexpr int LabelSpace = 2;      // gap above the caption label
    static constexpr int LabelUnitSpace = 2;  // gap before the unit label
    static constexpr int MouseSensitivity = TKnobLogic::MouseSensitivity;
    static constexpr int WheelBurstEnd = 300;   // ms after the last wheel notch: the move ends
    static constexpr int KeyReleaseSettle = 100; // ms a released arrow key waits for a repeat
    static constexpr int KeyRepeatDelay = 200;   // ms held before a key may be repeating

    explicit TKnob(QWidget* parent = nullptr);
    ~TKnob() override;

    // --- position
    int Min() const noexcept { return logic_.Min(); }
    void setMin(int m) { logic_.setMin(m); }
    int Max() const noexcept { return logic_.Max(); }
    void setMax(int m) { logic_.setMax(m); }
    int Position() const noexcept { return logic_.Position(); }
    // Clamped to Min..Max; raises OnStartMove, OnChangePosition (when changed), OnEndMove.
    void setPosition(int p) { logic_.setPosition(p); }
    // Min, Max and Position in one: the range is widened first, so the position is never
    // clamped by the old range, then narrowed to min..max. Raises the events of the setters
    // above (none while the signals are blocked). A knob that shows them already is left alone:
    // a move the user has under way goes on.
    void setRangeAndPosition(int min, int max, int position);
    int Increment() const noexcept { return logic_.Increment(); }
    void setIncrement(int i) { logic_.setIncrement(i); }
    int ZeroPosition() const noexcept { return logic_.ZeroPosition(); }
    void setZeroPosition(int p) { logic_.setZeroPosition(p); }
    double ZeroAngle() const noexcept { return logic_.ZeroAngle(); }
    void setZeroAngle(double z);
    double AngleMultiplier() const noexcept { return logic_.AngleMultiplier(); }
    void setAngleMultiplier(double m) { logic_.setAngleMultiplier(m); }
    double ValueMultiplier() const noexcept { return logic_.ValueMultiplier(); }
    void setValueMultiplier(double m) { logic_.setValueMultiplier(m); }
    double Sensitivity() const noexcept { return logic_.Sensitivity(); }
    void setSensitivity(double s) { logic_.setSensitivity(s); }
    unsigned Dot() const noexcept { return logic_.Dot(); }
    void setDot(unsigned d) { logic_.setDot(d); }
    // Position x ValueMultiplier; setting rounds halves up to the nearest position.
    double getValue() const noexcept { return logic_.getValue(); }
    double Value() const noexcept { return logic_.getValue(); }
    void setValue(double v) { logic_.setValue(v); }
    // The face's angle in degrees (ZeroAngle at ZeroPosition); setting it moves the position.
    double Angle() const noexcept { return logic_.Angle(); }
    void setAngle(double a) { logic_.setAngle(a); }

    bool AddDeadZone(int a, int b) { return logic_.AddDeadZone(a, b); }
    void ClearDeadZones() { logic_.ClearDeadZones(); }
    int GetEditPosition() const { return logic_.GetEditPosition(); }
    void SpinChange(int position, unsigned flags, int direction, bool updateAngle)
    {
        logic_.SpinChange(position, flags, direction, updateAngle);
    }
    void UpdateKnob(bool updateAngle) { logic_.UpdateKnob(updateAngle); }
    void EndMove(bool cancel) { logic_.EndMove(cancel); }

    // --- look
    TKnobStyle Style() const noexcept { return style_; }
    void setStyle(TKnobStyle style);
    bool ShowKnob() const;
    void setShowKnob(bool show);
    bool ShowSpin() const;
    void setShowSpin(bool show);
    bool ShowEdit() const;
    void setShowEdit(bool show);
    bool CanMove() const noexcept { return logic_.CanMove(); }
    void setCanMove(bool canMove) { setCanSpin(canMove); }
    void setCanSpin(bool canMove);
    bool LabelToKnob() const noexcept { return labelToKnob_; }
    void setLabelToKnob(bool toKnob);
    bool AutoSize() const noexcept { return autoSize_; }
    void setAutoSize(bool autoSize);
    // Sizes in design pixels.
    unsigned KnobSize() const noexcept { return knobSize_; }
    void setKnobSize(unsigned size);
    unsigned BackgroundSize() const noexcept { return backgroundSize_; }
    void setBackgroundSize(unsigned size);
    int EditLeft() const noexcept { return editLeft_; }
    void setEditLeft(int left);
    int EditWidth() const noexcept { return editWidth_; }
    void setEditWidth(int width);
    int EditHeight() const noexcept { return editHeight_; }
    void setEditHeight(int height);
    QString Caption() const;
    void setCaption(const QString& caption);
    QString Unit() const;
    void setUnit(const QString& unit);
    // Knob face, background face, spin buttons.
    QColor Color1() const { return color1_; }
    void setColor1(const QColor& color);
    QColor Color2() const { return color2_; }
    void setColor2(const QColor& color);
    QColor Color3() const { return color3_; }
    void setColor3(const QColor& color);
    // False (the default): the written colours above, with black, white and silver, made for a
    // light window. True: colours that keep their contrast on the palette of the active skin
    // (see TKnobColors); they follow every change of the palette.
    bool SkinColors() const noexcept { return skinColors_; }
    void setSkinColors(bool skinColors);
    // Tool tip text, shown when ShowHint is on and nothing is held.
    QString Hint() const { return hint_; }
    void setHint(const QString& hint);
    bool ShowHint() const noexcept { return showHint_; }
    void setShowHint(bool show);
    // Enables or disables the knob (also through a parent): colours, CanMove and children follow.
    void SetEnabled(bool enabled) { setEnabled(enabled); }
    void UpdateSize(bool autoSize);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // The parts, for tests and screenshots.
    TCustomKnob* BackgroundFace() const noexcept { return background_; }
    TCustomKnob* KnobFace() const noexcept { return knob_; }
    QLineEdit* Edit() const noexcept { return edit_; }
    // Moves to position as one whole move (one end-of-move event), as Page Up or Home do.
    bool MoveTo(int position) { return logic_.JumpTo(position); }
    // The names assistive technology reads: name for the control and its edit box ("Open time
    // (ms)"), increase and decrease for its spin buttons.
    void SetSpokenNames(const QString& name, const QString& increase, const QString& decrease);
    TKnobSpinButtons* SpinButtons() const noexcept { return spin_; }
    QLabel* CaptionLabel() const noexcept { return caption_; }
    QLabel* UnitLabel() const noexcept { return unit_; }

    TNotifyEvent OnStartMove;
    TNotifyEvent OnMove;
    TNotifyEvent OnEndMove;
    TNotifyEvent OnChangePosition;
    TNotifyEvent OnKnobClick;
    TNotifyEvent OnKnobDblClick;
    TNotifyEvent OnEditEnter;
    TNotifyEvent OnEditExit;
    TNotifyEvent OnResize;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    // Presses, releases and moves on the knob or any of its parts, in the knob's pixels.
    TKnobPart::TMouseEvent OnMouseDown;
    TKnobPart::TMouseMoveEvent OnMouseMove;
    TKnobPart::TMouseEvent OnMouseUp;

signals:
    void moveStarted();                 // after OnStartMove
    void positionChanged(int position); // after OnChangePosition
    void moveEnded();                   // after OnEndMove

protected:
    virtual void DoOnStartMove() { OnStartMove.Invoke(this); }
    virtual void DoOnMove() { OnMove.Invoke(this); }
    virtual void DoOnEndMove() { OnEndMove.Invoke(this); }
    virtual void DoOnChangePosition() { OnChangePosition.Invoke(this); }
    virtual void DoOnKnobClick() { OnKnobClick.Invoke(this); }
    virtual void DoOnKnobDblClick();
    virtual void DoOnEditEnter() { OnEditEnter.Invoke(this); }
    virtual void DoOnEditExit() { OnEditExit.Invoke(this); }
    virtual void DoOnResize() { OnResize.Invoke(this); }
    virtual void DoOnMouseEnter() { OnMouseEnter.Invoke(this); }
    virtual void DoOnMouseLeave() { OnMouseLeave.Invoke(this); }
    virtual void DoOnEnter() { OnEnter.Invoke(this); }
    virtual void DoOnExit() { OnExit.Invoke(this); }

    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    // Page Up/Down and Home/End on the knob or its edit box; false for any other key.
    bool JumpKey(const QKeyEvent* event, bool inEdit);
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // TKnobLogic::THost
    void KnobStartMove() override;
    void KnobMove() override;
    void KnobChangePosition() override;
    void KnobEndMove() override;
    void KnobShow() override;
    void KnobHoldingChanged(int holding) override;
    void KnobDragCursor(bool dragging) override;
    bool KnobWarpPointer(int dy) override;

    // Handlers on the parts.
    void FaceMouseDown(TObject* sender, Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, int x, int y);
    void FaceMouseMove(TObject* sender, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, int x, int y);
    void FaceMouseUp(TObject* sender, Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, int x, int y);
    void FaceClick(TObject* sender);
    void FaceDblClick(TObject* sender);
    void SpinMouseDown(TObject* sender, Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, int x, int y);
    void SpinMouseMove(TObject* sender, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, int x, int y);
    void SpinMouseUp(TObject* sender, Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, int x, int y);
    void SpinStep(TObject* sender, bool up);
    void EditTextEdited(const QString& text);

    QWidget* Part(TObject* sender) const;
    void ForwardMouse(QWidget* part, QEvent* event);
    void TakeFocus();
    void PointerRule(bool over);
    bool PointerOverKnob() const;
    void FocusChanged(QWidget* old, QWidget* now);
    void FocusEnters();
    void FocusLeaves();
    void ApplyEnabled(bool enabled);
    void ApplyColors();
    void ApplyHint();
    void ApplyUnitVisibility();
    static void SetTextColor(QWidget* widget, const QColor& color);
    // Whatever holds the knob lets go, and the move under way ends (see TKnobLogic::LoseHold).
    void DropHold();
    void ArrowKeyPressed(bool autoRepeat);
    void ArrowKeyReleased(bool fromEdit, TKnobLogic::TEditKey key);
    void ArrowKeySettled();

    TKnobLogic logic_;
    TCustomKnob* background_ = nullptr;
    TCustomKnob* knob_ = nullptr;
    QLineEdit* edit_ = nullptr;
    TKnobSpinButtons* spin_ = nullptr;
    QLabel* caption_ = nullptr;
    QLabel* unit_ = nullptr;

    TKnobStyle style_ = kstAll;
    bool labelToKnob_ = false;
    bool autoSize_ = true;
    unsigned knobSize_ = 20;
    unsigned backgroundSize_ = 24;
    int editLeft_ = 0;
    int editWidth_ = 40;
    int editHeight_ = 21;
    QColor color1_ = QColor(0xFF, 0xFF, 0xFF);
    QColor color2_ = QColor(0x00, 0xFF, 0xFF);
    QColor color3_ = QColor(0x00, 0xFF, 0xFF);
    QString hint_;
    bool showHint_ = true;
    bool skinColors_ = false;
    bool enabledApplied_ = true;
    bool laidOut_ = false;
    bool warping_ = false;  // a pointer warp is delivering its own move: ignore it
    QPoint spinGlobal_;     // global pointer position of the spin event being handled
    bool cursorSaved_ = false;
    bool focusInside_ = false; // the knob or its edit box has the keyboard focus
    // The release of a repeating arrow key ends its move only when no repeated press follows
    // at once: X11 reports a held key as release and press pairs and marks only the first
    // release as an auto-repeat, so each later pair would end the move and write.
    QTimer keyUpTimer_;
    QElapsedTimer keyHeld_; // since the arrow key's first press
    bool keyRepeating_ = false; // the held key has repeated
    bool keyUpFromEdit_ = false;
    TKnobLogic::TEditKey keyUpKey_ = TKnobLogic::ekUp;
    // A burst of wheel notches is one move, ended this long after the last notch.
    QTimer wheelTimer_;
    int wheelRemainder_ = 0; // eighths of a degree short of a whole notch
};

} // namespace fk
