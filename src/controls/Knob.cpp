#include "controls/Knob.h"

#include "controls/DesignScale.h"
#include "controls/KnobColors.h"
#include "controls/KnobLayout.h"
#include "controls/KnobSpinButtons.h"
#include "controls/ValueAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QWheelEvent>

#include <algorithm>
#include <climits>

namespace fk {

namespace {

// The edit box's keys the knob handles; false for any other key.
bool EditKey(int key, TKnobLogic::TEditKey& out)
{
    switch (key) {
    case Qt::Key_Up:
        out = TKnobLogic::ekUp;
        return true;
    case Qt::Key_Down:
        out = TKnobLogic::ekDown;
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        out = TKnobLogic::ekEnter;
        return true;
    case Qt::Key_Escape:
        out = TKnobLogic::ekEscape;
        return true;
    default:
        return false;
    }
}

} // namespace

TKnob::TKnob(QWidget* parent)
    : QWidget(parent)
    , logic_(*this)
{
    TValueAccessible::Install();
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(true);
    QFont shared = font();
    shared.setPointSize(8);
    setFont(shared);

    background_ = new TCustomKnob(this);
    knob_ = new TCustomKnob(this);
    for (TCustomKnob* face : {background_, knob_}) {
        face->OnMouseDown = TKnobPart::TMouseEvent(this, &TKnob::FaceMouseDown);
        face->OnMouseMove = TKnobPart::TMouseMoveEvent(this, &TKnob::FaceMouseMove);
        face->OnMouseUp = TKnobPart::TMouseEvent(this, &TKnob::FaceMouseUp);
        face->OnClick = TNotifyEvent(this, &TKnob::FaceClick);
        face->OnDblClick = TNotifyEvent(this, &TKnob::FaceDblClick);
    }
    edit_ = new QLineEdit(QStringLiteral("0"), this);
    edit_->setFrame(true);
    edit_->setTextMargins(0, 0, 0, 0);
    edit_->installEventFilter(this);
    QObject::connect(edit_, &QLineEdit::textEdited, this, [this](const QString& text) { EditTextEdited(text); });
    spin_ = new TKnobSpinButtons(this);
    spin_->setFocusPolicy(Qt::NoFocus);
    spin_->OnMouseDown = TKnobPart::TMouseEvent(this, &TKnob::SpinMouseDown);
    spin_->OnMouseMove = TKnobPart::TMouseMoveEvent(this, &TKnob::SpinMouseMove);
    spin_->OnMouseUp = TKnobPart::TMouseEvent(this, &TKnob::SpinMouseUp);
    spin_->OnSpin = TEvent<TObject*, bool>(this, &TKnob::SpinStep);
    for (QWidget* part : {static_cast<QWidget*>(background_), static_cast<QWidget*>(knob_), static_cast<QWidget*>(spin_)})
        part->installEventFilter(this); // for the wheel
    caption_ = new QLabel(this);
    unit_ = new QLabel(this);
    for (QLabel* label : {caption_, unit_}) {
        label->installEventFilter(this);
        label->setMouseTracking(true);
        label->hide();
    }
    QObject::connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) { FocusChanged(old, now); });
    keyUpTimer_.setSingleShot(true);
    keyUpTimer_.setInterval(KeyReleaseSettle);
    QObject::connect(&keyUpTimer_, &QTimer::timeout, this, [this] { ArrowKeySettled(); });
    wheelTimer_.setSingleShot(true);
    wheelTimer_.setInterval(WheelBurstEnd);
    QObject::connect(&wheelTimer_, &QTimer::timeout, this, [this] {
        wheelRemainder_ = 0;
        logic_.WheelEnd();
    });

    enabledApplied_ = !isEnabled();
    ApplyEnabled(isEnabled());
    logic_.UpdateKnob(true);
    laidOut_ = true;
    UpdateSize(autoSize_);
}

TKnob::~TKnob()
{
    KnobDragCursor(false); // a drag cut short by the knob's end gives the cursor back
}

// --- host of the logic

// Blocked signals silence the move events too: the program sets the knob without hearing it back.
void TKnob::KnobStartMove()
{
    if (signalsBlocked())
        return;
    DoOnStartMove();
    emit moveStarted();
}

void TKnob::KnobMove()
{
    if (!signalsBlocked())
        DoOnMove();
}

void TKnob::KnobChangePosition()
{
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent changed(this, Value());
        QAccessible::updateAccessibility(&changed);
    }
    if (signalsBlocked())
        return;
    DoOnChangePosition();
    emit positionChanged(Position());
}

void TKnob::KnobEndMove()
{
    if (signalsBlocked())
        return;
    DoOnEndMove();
    emit moveEnded();
}

void TKnob::KnobShow()
{
    background_->SetAngle(logic_.ZeroAngle());
    knob_->SetAngle(logic_.Angle());
    if (edit_->text() != logic_.EditText())
        edit_->setText(logic_.EditText()); // setText raises no textEdited: the filter stays out
}

void TKnob::KnobHoldingChanged(int)
{
    ApplyHint();
}

void TKnob::KnobDragCursor(bool dragging)
{
    if (dragging) {
        spin_->StopRepeat();
        if (!cursorSaved_) {
            QGuiApplication::setOverrideCursor(Qt::SizeVerCursor);
            cursorSaved_ = true;
        }
    } else if (cursorSaved_) {
        QGuiApplication::restoreOverrideCursor();
        cursorSaved_ = false;
    }
}

bool TKnob::KnobWarpPointer(int dy)
{
    // Platforms that do not let programs move the pointer (Wayland) leave it where it is; the
    // drag then goes on without jumping.
    const QPoint target = spinGlobal_ + QPoint(0, dy);
    warping_ = true;
    QCursor::setPos(spin_->screen(), target);
    warping_ = false;
    if (QCursor::pos(spin_->screen()) != target)
        return false;
    spinGlobal_ = target;
    return true;
}

void TKnob::setRangeAndPosition(int min, int max, int position)
{
    if (Min() == min && Max() == max && Position() == position)
        return;
    setMin(std::min(min, Min()));
    setMax(std::max(max, Max()));
    setPosition(position);
    setMin(min);
    setMax(max);
}

// --- setters with layout

void TKnob::setZeroAngle(double z)
{
    logic_.setZeroAngle(z);
    UpdateSize(autoSize_); // the spare pixel between the faces follows the zero angle
}

void TKnob::setStyle(TKnobStyle style)
{
    style_ = style;
    knob_->setHidden(style == kstSpinOnly);
    background_->setHidden(knob_->isHidden());
    spin_->setHidden(style == kstKnobOnly);
    edit_->setHidden(spin_->isHidden());
    ApplyUnitVisibility();
    UpdateSize(autoSize_);
}

bool TKnob::ShowKnob() const
{
    return !knob_->isHidden();
}

void TKnob::setShowKnob(bool show)
{
    knob_->setHidden(!show);
    background_->setHidden(!show);
    UpdateSize(autoSize_);
}

bool TKnob::ShowSpin() const
{
    return !spin_->isHidden();
}

void TKnob::setShowSpin(bool show)
{
    spin_->setHidden(!show);
    UpdateSize(autoSize_);
}

bool TKnob::ShowEdit() const
{
    return !edit_->isHidden();
}

void TKnob::setShowEdit(bool show)
{
    edit_->setHidden(!show);
    ApplyUnitVisibility();
    UpdateSize(autoSize_);
}

void TKnob::setLabelToKnob(bool toKnob)
{
    labelToKnob_ = toKnob;
    UpdateSize(autoSize_);
}

void TKnob::setAutoSize(bool autoSize)
{
    autoSize_ = autoSize;
    UpdateSize(autoSize_);
}

void TKnob::setKnobSize(unsigned size)
{
    knobSize_ = size;
    backgroundSize_ = std::max(backgroundSize_, size);
    UpdateSize(autoSize_);
}

void TKnob::setBackgroundSize(unsigned size)
{
    backgroundSize_ = size;
    knobSize_ = std::min(knobSize_, size);
    UpdateSize(autoSize_);
}

void TKnob::setEditLeft(int left)
{
    editLeft_ = left;
    UpdateSize(autoSize_);
}

void TKnob::setEditWidth(int width)
{
    editWidth_ = width;
    edit_->setHidden(width <= 0);
    ApplyUnitVisibility();
    UpdateSize(autoSize_);
}

void TKnob::setEditHeight(int height)
{
    editHeight_ = height;
    edit_->setHidden(height <= 0);
    ApplyUnitVisibility();
    UpdateSize(autoSize_);
}

QString TKnob::Caption() const
{
    return caption_->text();
}

void TKnob::setCaption(const QString& caption)
{
    caption_->setText(caption);
    caption_->setHidden(caption.isEmpty());
    UpdateSize(autoSize_);
}

QString TKnob::Unit() const
{
    return unit_->text();
}

void TKnob::setUnit(const QString& unit)
{
    unit_->setText(unit);
    ApplyUnitVisibility();
    UpdateSize(autoSize_);
}

void TKnob::ApplyUnitVisibility()
{
    unit_->setHidden(edit_->isHidden() || unit_->text().isEmpty());
}

void TKnob::setColor1(const QColor& color)
{
    color1_ = color;
    ApplyColors();
}

void TKnob::setColor2(const QColor& color)
{
    color2_ = color;
    ApplyColors();
}

void TKnob::setColor3(const QColor& color)
{
    color3_ = color;
    ApplyColors();
}

void TKnob::setSkinColors(bool skinColors)
{
    skinColors_ = skinColors;
    ApplyColors();
}

void TKnob::ApplyColors()
{
    const TKnobColors c =
        TKnobColors::For(palette(), skinColors_, enabledApplied_, CanMove(), color1_, color2_, color3_);
    background_->SetBrush(c.BackgroundBrush);
    background_->SetPen(QPen(c.BackgroundPen));
    knob_->SetBrush(c.KnobBrush);
    knob_->SetPen(QPen(c.KnobPen));
    spin_->SetColor(c.Spin);
    spin_->SetArrowColor(c.SpinArrow);
    // Texts without a colour of their own take the active theme's (from the parent, so a later
    // change of theme reaches them too).
    for (QWidget* w : {static_cast<QWidget*>(edit_), static_cast<QWidget*>(caption_), static_cast<QWidget*>(unit_)}) {
        if (c.Text.isValid())
            SetTextColor(w, c.Text);
        else
            w->setPalette(QPalette());
    }
}

void TKnob::setHint(const QString& hint)
{
    hint_ = hint;
    ApplyHint();
}

void TKnob::setShowHint(bool show)
{
    showHint_ = show;
    ApplyHint();
}

void TKnob::ApplyHint()
{
    // No tips while a face or the spin buttons are held: they would cover the control.
    setToolTip(showHint_ && logic_.Holding() == TKnobLogic::hNone ? hint_ : QString());
}

void TKnob::SetTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Text, color);
        palette.setColor(group, QPalette::WindowText, color);
    }
    widget->setPalette(palette);
}

void TKnob::setCanSpin(bool canMove)
{
    if (!canMove)
        DropHold();
    logic_.setCanMove(canMove);
    ApplyColors();
    edit_->setReadOnly(!canMove);
    for (QWidget* w : {static_cast<QWidget*>(edit_), static_cast<QWidget*>(spin_), static_cast<QWidget*>(caption_),
                       static_cast<QWidget*>(unit_)})
        w->setEnabled(canMove);
}

void TKnob::ApplyEnabled(bool enabled)
{
    enabledApplied_ = enabled;
    setCanSpin(enabled);
}

void TKnob::DropHold()
{
    spin_->CancelPress();
    keyUpTimer_.stop();
    wheelTimer_.stop();
    wheelRemainder_ = 0;
    logic_.LoseHold();
}

void TKnob::hideEvent(QHideEvent* event)
{
    DropHold();
    QWidget::hideEvent(event);
}

void TKnob::changeEvent(QEvent* event)
{
    // A window that is no longer active gets no release of a button held on the knob.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        DropHold();
    // Enabling follows the effective state, so a disabled parent (a group box) greys the knob too.
    if (event->type() == QEvent::EnabledChange && isEnabled() != enabledApplied_)
        ApplyEnabled(isEnabled());
    else if (event->type() == QEvent::FontChange && laidOut_)
        UpdateSize(autoSize_);
    else if (event->type() == QEvent::PaletteChange)
        ApplyColors();
    QWidget::changeEvent(event);
}

// --- layout

void TKnob::UpdateSize(bool autoSize)
{
    if (!laidOut_)
        return;
    const TDesignScale scale = TDesignScale::ForWidget(this);
    TKnobLayout::TInput in;
    in.backgroundVisible = !background_->isHidden();
    in.knobVisible = !knob_->isHidden();
    in.backgroundSize = scale(static_cast<int>(backgroundSize_));
    in.knobSize = scale(static_cast<int>(knobSize_));
    in.editVisible = !edit_->isHidden();
    in.editWidth = scale(editWidth_);
    in.editHeight = scale(editHeight_);
    in.spinVisible = !spin_->isHidden();
    in.spinWidth = scale(TKnobSpinButtons::DefaultWidth);
    in.captionVisible = !caption_->isHidden();
    in.captionSize = caption_->sizeHint();
    in.unitVisible = !unit_->isHidden();
    in.unitSize = unit_->sizeHint();
    in.labelToKnob = labelToKnob_;
    in.editLeft = scale(editLeft_);
    in.zeroAngle = logic_.ZeroAngle();
    in.editSpace = scale(EditSpace);
    in.labelSpace = scale(LabelSpace);
    in.labelUnitSpace = scale(LabelUnitSpace);
    const TKnobLayout::TResult r = TKnobLayout::Arrange(in);
    background_->setGeometry(r.background);
    knob_->setGeometry(r.knob);
    edit_->setGeometry(r.edit);
    spin_->setGeometry(r.spin);
    caption_->setGeometry(r.caption);
    unit_->setGeometry(r.unit);
    updateGeometry();
    if (autoSize) {
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        resize(r.size);
    }
}

QSize TKnob::sizeHint() const
{
    QSize size(0, 0);
    for (const QWidget* part : {static_cast<const QWidget*>(background_), static_cast<const QWidget*>(knob_),
                                static_cast<const QWidget*>(edit_), static_cast<const QWidget*>(spin_),
                                static_cast<const QWidget*>(caption_), static_cast<const QWidget*>(unit_)}) {
        if (!part->isHidden())
            size = size.expandedTo(QSize(part->geometry().right() + 1, part->geometry().bottom() + 1));
    }
    return size;
}

void TKnob::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    DoOnResize();
}

// --- mouse

QWidget* TKnob::Part(TObject* sender) const
{
    return dynamic_cast<QWidget*>(sender);
}

void TKnob::TakeFocus()
{
    if (!hasFocus())
        setFocus(Qt::MouseFocusReason);
}

void TKnob::FaceMouseDown(TObject* sender, Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, int x, int y)
{
    QWidget* face = Part(sender);
    TakeFocus();
    if (button == Qt::LeftButton)
        logic_.FaceLeftDown(x, y, face->width(), face->height());
    else if (button == Qt::RightButton)
        logic_.RightDown(buttons & Qt::LeftButton);
    const QPoint p = face->mapTo(this, QPoint(x, y));
    OnMouseDown.Invoke(this, button, buttons, mods, p.x(), p.y());
}

void TKnob::FaceMouseMove(TObject* sender, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, int x, int y)
{
    QWidget* face = Part(sender);
    logic_.FaceMouseMove(x, y, face->width(), face->height());
    const QPoint p = face->mapTo(this, QPoint(x, y));
    OnMouseMove.Invoke(this, buttons, mods, p.x(), p.y());
}

void TKnob::FaceMouseUp(TObject* sender, Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, int x, int y)
{
    if (button == Qt::LeftButton)
        logic_.FaceLeftUp(buttons & Qt::RightButton);
    else if (button == Qt::RightButton)
        logic_.RightUp();
    const QPoint p = Part(sender)->mapTo(this, QPoint(x, y));
    OnMouseUp.Invoke(this, button, buttons, mods, p.x(), p.y());
}

void TKnob::FaceClick(TObject*)
{
    if (logic_.FaceClick())
        DoOnKnobClick();
}

void TKnob::FaceDblClick(TObject*)
{
    if (logic_.FaceClick())
        DoOnKnobDblClick();
}

void TKnob::DoOnKnobDblClick()
{
    if (OnKnobDblClick)
        OnKnobDblClick.Invoke(this);
    else
        DoOnKnobClick();
}

void TKnob::SpinMouseDown(TObject*, Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, int x, int y)
{
    TakeFocus();
    if (button == Qt::LeftButton)
        logic_.SpinLeftDown(y);
    else if (button == Qt::RightButton)
        logic_.RightDown(buttons & Qt::LeftButton);
    const QPoint p = spin_->mapTo(this, QPoint(x, y));
    OnMouseDown.Invoke(this, button, buttons, mods, p.x(), p.y());
}

void TKnob::SpinMouseMove(TObject*, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, int x, int y)
{
    if (warping_)
        return;
    spinGlobal_ = spin_->mapToGlobal(QPoint(x, y));
    const QRect screen = spin_->screen() ? spin_->screen()->geometry() : QRect(0, 0, 1, 1);
    logic_.SpinMouseMove(y, spin_->height(), spinGlobal_.y() - screen.top(), screen.height());
    const QPoint p = spin_->mapTo(this, QPoint(x, y));
    OnMouseMove.Invoke(this, buttons, mods, p.x(), p.y());
}

void TKnob::SpinMouseUp(TObject*, Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, int x, int y)
{
    if (button == Qt::LeftButton)
        logic_.SpinLeftUp(y, buttons & Qt::RightButton);
    else if (button == Qt::RightButton)
        logic_.RightUp();
    const QPoint p = spin_->mapTo(this, QPoint(x, y));
    OnMouseUp.Invoke(this, button, buttons, mods, p.x(), p.y());
}

void TKnob::SpinStep(TObject*, bool up)
{
    logic_.SpinClick(up);
}

void TKnob::ForwardMouse(QWidget* part, QEvent* event)
{
    const auto* me = static_cast<QMouseEvent*>(event);
    const QPoint p = part->mapTo(this, me->position().toPoint());
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        OnMouseDown.Invoke(this, me->button(), me->buttons(), me->modifiers(), p.x(), p.y());
        break;
    case QEvent::MouseButtonRelease:
        OnMouseUp.Invoke(this, me->button(), me->buttons(), me->modifiers(), p.x(), p.y());
        break;
    case QEvent::MouseMove:
        OnMouseMove.Invoke(this, me->buttons(), me->modifiers(), p.x(), p.y());
        break;
    default:
        break;
    }
}

bool TKnob::PointerOverKnob() const
{
    return rect().contains(mapFromGlobal(QCursor::pos()));
}

void TKnob::PointerRule(bool over)
{
    const int change = logic_.PointerOver(over);
    if (change > 0)
        DoOnMouseEnter();
    else if (change < 0)
        DoOnMouseLeave();
}

void TKnob::enterEvent(QEnterEvent* event)
{
    // Qt sends no leave to the knob while the pointer moves between its parts: one enter and
    // one leave per real visit.
    PointerRule(true);
    QWidget::enterEvent(event);
}

void TKnob::leaveEvent(QEvent* event)
{
    PointerRule(false);
    QWidget::leaveEvent(event);
}

void TKnob::FocusChanged(QWidget*, QWidget* now)
{
    // No widget has the focus while the application is not the active one; the focus comes
    // back to the same place, so that is neither an exit nor an entry.
    if (!now)
        return;
    if (now == this || isAncestorOf(now))
        FocusEnters();
    else
        FocusLeaves();
}

void TKnob::FocusEnters()
{
    // The knob's OnEnter comes before its edit box's OnEditEnter, its OnExit after OnEditExit.
    if (focusInside_)
        return;
    focusInside_ = true;
    PointerRule(PointerOverKnob());
    DoOnEnter();
}

void TKnob::FocusLeaves()
{
    if (!focusInside_)
        return;
    focusInside_ = false;
    PointerRule(PointerOverKnob());
    DoOnExit();
}

void TKnob::SetSpokenNames(const QString& name, const QString& increase, const QString& decrease)
{
    setAccessibleName(name);
    edit_->setAccessibleName(name);
    spin_->SetSpokenNames(increase, decrease);
}

void TKnob::focusInEvent(QFocusEvent* event)
{
    FocusEnters();
    QWidget::focusInEvent(event);
}

// --- keys and the edit box

void TKnob::wheelEvent(QWheelEvent* event)
{
    const QPoint angle = event->angleDelta();
    const int delta = angle.y() != 0 ? angle.y() : angle.x();
    if (!isEnabled() || !CanMove()) {
        event->ignore();
        return;
    }
    // 120 eighths of a degree are one notch; a fine-grained wheel adds up to whole ones.
    wheelRemainder_ += delta;
    const int notches = wheelRemainder_ / 120;
    wheelRemainder_ %= 120;
    if (!logic_.WheelStep(notches)) {
        wheelRemainder_ = 0;
        event->ignore();
        return;
    }
    if (logic_.Wheeling())
        wheelTimer_.start();
    event->accept();
}

void TKnob::ArrowKeyPressed(bool autoRepeat)
{
    // A press that follows a release within the settle time is the key held down: some servers
    // send its repeats as plain release and press pairs, without the auto-repeat flag.
    if (autoRepeat || keyUpTimer_.isActive()) {
        keyUpTimer_.stop(); // the key is still held: its move goes on
        keyRepeating_ = true;
        return;
    }
    keyRepeating_ = false;
    keyHeld_.start();
}

void TKnob::ArrowKeyReleased(bool fromEdit, TKnobLogic::TEditKey key)
{
    keyUpFromEdit_ = fromEdit;
    keyUpKey_ = key;
    // A key tapped (released before it could repeat) ends its move now. A key that repeats, or
    // was held long enough to, may be released as one half of a repeat pair, flagged or not:
    // its move ends when no press follows within the settle time.
    if (keyRepeating_ || (keyHeld_.isValid() && keyHeld_.elapsed() >= KeyRepeatDelay))
        keyUpTimer_.start();
    else
        ArrowKeySettled();
}

void TKnob::ArrowKeySettled()
{
    if (!keyUpFromEdit_) {
        logic_.ArrowKeyUp();
        return;
    }
    const TKnobLogic::TCaret caret = logic_.EditKeyUp(keyUpKey_);
    if (caret == TKnobLogic::crStart)
        edit_->home(false);
    else if (caret == TKnobLogic::crEnd)
        edit_->end(false);
}

bool TKnob::JumpKey(const QKeyEvent* event, bool inEdit)
{
    if (event->modifiers() & ~(Qt::KeypadModifier))
        return false;
    const long long page = static_cast<long long>(TKnobLogic::PageStep) * Increment();
    long long target = 0;
    switch (event->key()) {
    case Qt::Key_PageUp:
        target = Position() + page;
        break;
    case Qt::Key_PageDown:
        target = Position() - page;
        break;
    case Qt::Key_Home:
    case Qt::Key_End:
        // While a number is being typed they move the caret, as in any edit box.
        if (inEdit && logic_.Edited())
            return false;
        target = event->key() == Qt::Key_Home ? Min() : Max();
        break;
    default:
        return false;
    }
    if (inEdit && logic_.Edited()) {
        bool handled = false;
        logic_.EditKeyDown(TKnobLogic::ekEnter, handled); // the typed number counts first
        target = event->key() == Qt::Key_PageUp ? Position() + page : Position() - page;
    }
    return logic_.JumpTo(static_cast<int>(std::clamp<long long>(target, INT_MIN, INT_MAX)));
}

void TKnob::keyPressEvent(QKeyEvent* event)
{
    if (JumpKey(event, false)) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
        ArrowKeyPressed(event->isAutoRepeat());
        logic_.ArrowKeyDown(event->key() == Qt::Key_Up);
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TKnob::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
        if (!event->isAutoRepeat())
            ArrowKeyReleased(false, event->key() == Qt::Key_Up ? TKnobLogic::ekUp : TKnobLogic::ekDown);
        event->accept();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void TKnob::EditTextEdited(const QString& text)
{
    const TKnobLogic::TEditFix fix = logic_.EditChanged(text, edit_->cursorPosition());
    if (fix.text != text) {
        edit_->setText(fix.text);
        edit_->setCursorPosition(fix.caret);
    }
}

bool TKnob::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
        // The spin buttons and the faces report their mouse themselves.
        if (watched != spin_ && watched != knob_ && watched != background_)
            ForwardMouse(static_cast<QWidget*>(watched), event);
        break;
    case QEvent::Wheel:
        // The wheel over any part turns the knob (a part that is not the knob would keep it).
        wheelEvent(static_cast<QWheelEvent*>(event));
        if (event->isAccepted())
            return true;
        break;
    default:
        break;
    }
    if (watched != edit_)
        return QWidget::eventFilter(watched, event);
    const auto applyCaret = [this](TKnobLogic::TCaret caret) {
        if (caret == TKnobLogic::crStart)
            edit_->home(false);
        else if (caret == TKnobLogic::crEnd)
            edit_->end(false);
    };
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (JumpKey(key, true))
            return true;
        TKnobLogic::TEditKey k;
        if (!EditKey(key->key(), k))
            break;
        if (k == TKnobLogic::ekUp || k == TKnobLogic::ekDown)
            ArrowKeyPressed(key->isAutoRepeat());
        bool handled = false;
        applyCaret(logic_.EditKeyDown(k, handled));
        return handled;
    }
    case QEvent::ShortcutOverride: {
        // Escape with an edited text belongs to the edit box, not to a dialog's shortcut.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && logic_.Edited())
            event->accept();
        break;
    }
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        TKnobLogic::TEditKey k;
        if (key->isAutoRepeat() || !EditKey(key->key(), k) || (k != TKnobLogic::ekUp && k != TKnobLogic::ekDown))
            break;
        applyCaret(k == TKnobLogic::ekUp ? TKnobLogic::crStart : TKnobLogic::crEnd);
        ArrowKeyReleased(true, k);
        return true;
    }
    case QEvent::FocusIn:
        FocusEnters();
        DoOnEditEnter();
        break;
    case QEvent::FocusOut: {
        // Switching to another window or opening a menu keeps the edit box's place.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            break;
        logic_.EditExit();
        DoOnEditExit();
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace fk
