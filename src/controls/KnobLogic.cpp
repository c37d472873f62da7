#include "controls/KnobLogic.h"

#include "support/MyMath.h"

#include <QLocale>
#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

namespace fk {

namespace {

constexpr double DegreesPerRadian = 180.0 / std::numbers::pi;

// floor(x + 0.5), the rounding of positions and shown values.
double RoundHalfUp(double x) noexcept
{
    return MyMath::floatround(x, 6);
}

// A computed position as an int: out-of-range values stop at the int limits (they are clamped
// to Min..Max afterwards), NaN gives the fallback.
long long ToPosition(double x, int fallback) noexcept
{
    if (std::isnan(x))
        return fallback;
    if (x <= static_cast<double>(INT_MIN))
        return INT_MIN;
    if (x >= static_cast<double>(INT_MAX))
        return INT_MAX;
    return static_cast<long long>(x);
}

QString DecimalSeparator()
{
    return QLocale().decimalPoint();
}

} // namespace

TKnobLogic::TKnobLogic(THost& host)
    : host_(host)
{
    TurnsFromAngle();
}

double TKnobLogic::AngleWrap(double x) noexcept
{
    return std::fmod(x + 180.0, 360.0) - 180.0;
}

int TKnobLogic::Clamp(long long p) const noexcept
{
    if (p < min_)
        return min_;
    if (p > max_)
        return max_;
    return static_cast<int>(p);
}

void TKnobLogic::TurnsFromAngle() noexcept
{
    const double t = std::trunc((angle_ + 180.0) / 360.0);
    turns_ = static_cast<int>(std::clamp(t, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

void TKnobLogic::setHolding(int holding)
{
    if (holding_ == holding)
        return;
    holding_ = holding;
    host_.KnobHoldingChanged(holding);
}

void TKnobLogic::RaiseStartMove()
{
    // One OnStartMove per move: repeated spin steps of one hold (auto-repeat, a held arrow key)
    // belong to the move the first step began.
    if (moveStarted_)
        return;
    moveStarted_ = true;
    host_.KnobStartMove();
}

// --- properties

void TKnobLogic::setMin(int m)
{
    min_ = m;
    if (zeroPosition_ < m)
        setZeroPosition(m);
    if (position_ < m)
        SpinChange(m, scStartMove | scEndMove, 0, true);
}

void TKnobLogic::setMax(int m)
{
    max_ = m;
    if (zeroPosition_ > m)
        setZeroPosition(m);
    if (position_ > m)
        SpinChange(m, scStartMove | scEndMove, 0, true);
}

void TKnobLogic::setPosition(int p)
{
    SpinChange(Clamp(p), scStartMove | scEndMove, 0, true);
}

void TKnobLogic::setValue(double v)
{
    // NaN (also 0 / 0 and inf / inf) names no position: nothing changes.
    const double p = RoundHalfUp(v / valueMultiplier_);
    if (std::isnan(p))
        return;
    setPosition(Clamp(ToPosition(p, position_)));
}

void TKnobLogic::setZeroPosition(int p)
{
    zeroPosition_ = Clamp(p);
    UpdateKnob(true);
}

void TKnobLogic::setZeroAngle(double z)
{
    if (!std::isfinite(z))
        return;
    angle_ += z - zeroAngle_;
    TurnsFromAngle();
    zeroAngle_ = z;
    host_.KnobShow();
}

void TKnobLogic::setAngle(double a)
{
    if (!std::isfinite(a))
        return;
    long long p = ToPosition(std::trunc(a / angleMultiplier_ + 0.5), position_) + zeroPosition_;
    if (p < min_ || p > max_) {
        p = Clamp(p);
        a = angleMultiplier_ * (static_cast<double>(p) - zeroPosition_);
    }
    angle_ = a + zeroAngle_;
    TurnsFromAngle();
    SpinChange(static_cast<int>(p), scStartMove | scEndMove, 0, false);
}

void TKnobLogic::setIncrement(int i)
{
    if (i == 0)
        i = 1;
    if (i == INT_MIN) // keeps -Increment representable
        i = -INT_MAX;
    if ((i < 0) != (sensitivity_ < 0))
        sensitivity_ = -sensitivity_;
    increment_ = i;
}

void TKnobLogic::setSensitivity(double s)
{
    if (std::isnan(s) || std::isinf(s))
        return; // a drag divides by it
    if (s == 0)
        s = 1;
    if ((s < 0) != (increment_ < 0))
        increment_ = -increment_;
    sensitivity_ = s;
}

void TKnobLogic::setAngleMultiplier(double m)
{
    if (m == 0 || !std::isfinite(m))
        m = max_ == min_ ? -3.6 : -360.0 / (static_cast<double>(max_) - min_);
    angleMultiplier_ = m;
    UpdateKnob(true);
}

void TKnobLogic::setValueMultiplier(double m)
{
    if (m == 0 || !std::isfinite(m))
        return;
    valueMultiplier_ = m;
    UpdateKnob(false);
}

void TKnobLogic::setDot(unsigned d)
{
    if (d > MaxDot)
        return; // more decimals than any int shows
    dot_ = d;
    UpdateKnob(false);
}

void TKnobLogic::setCanMove(bool canMove)
{
    canMove_ = canMove;
    if (!canMove)
        LoseHold();
}

// --- dead zones

bool TKnobLogic::AddDeadZone(int a, int b)
{
    const int low = Clamp(std::min(a, b));
    const int high = Clamp(std::max(a, b));
    if (static_cast<long long>(high) - low <= 1)
        return false;
    // Zones that share inner positions with the new one are merged with it into their union,
    // so every dead position lies strictly inside exactly one stored zone and a position
    // pushed out of a zone can never land inside another. Zones that only touch (20..30 and
    // 30..40) stay apart: their common end is a live position. The result is true when the
    // list grew by one (the new zone overlapped nothing).
    TDeadZone merged{low, high};
    const auto overlaps = [&](const TDeadZone& z) { return merged.first < z.second && z.first < merged.second; };
    bool grew = true;
    for (bool again = true; again;) {
        again = false;
        for (auto it = deadZones_.begin(); it != deadZones_.end(); ++it) {
            if (overlaps(*it)) {
                merged = {std::min(merged.first, it->first), std::max(merged.second, it->second)};
                deadZones_.erase(it);
                grew = false;
                again = true;
                break;
            }
        }
    }
    deadZones_.push_back(merged);
    return grew;
}

// --- the core

void TKnobLogic::SpinChange(int position, unsigned flags, int direction, bool updateAngle)
{
    if (flags & scStartMove)
        RaiseStartMove();
    position = Clamp(position);
    for (const TDeadZone& z : deadZones_) {
        if (z.first < position && position < z.second) {
            if (direction < 0) {
                position = z.first;
            } else if (direction > 0) {
                position = z.second;
            } else {
                const long long mid = (static_cast<long long>(z.first) + z.second) / 2; // toward zero
                position = position > mid ? z.second : z.first;
            }
            break;
        }
    }
    if (!updateAngle) {
        // The face turns freely, but not beyond the angles of Min and Max.
        double a = zeroAngle_ + angleMultiplier_ * (static_cast<double>(min_) - zeroPosition_);
        double b = zeroAngle_ + angleMultiplier_ * (static_cast<double>(max_) - zeroPosition_);
        if (a > b)
            std::swap(a, b);
        angle_ = std::clamp(angle_, a, b);
    }
    const bool changed = position != position_;
    position_ = position;
    UpdateKnob(updateAngle);
    if (flags & scMove)
        host_.KnobMove();
    if (changed)
        host_.KnobChangePosition();
    if (flags & scEndMove)
        EndMove(false);
}

void TKnobLogic::RecoverAngle()
{
    angle_ = (static_cast<double>(position_) - zeroPosition_) * angleMultiplier_ + zeroAngle_;
    TurnsFromAngle();
}

void TKnobLogic::UpdateKnob(bool updateAngle)
{
    if (updateAngle)
        RecoverAngle();
    edited_ = false;
    editText_ = PositionText(position_, valueMultiplier_, dot_, DecimalSeparator());
    host_.KnobShow();
}

void TKnobLogic::ResetMove()
{
    if (moving_)
        host_.KnobDragCursor(false);
    setHolding(hNone);
    edited_ = false;
    moving_ = false;
    clicksDetached_ = false;
    moveStarted_ = false;
    wheeling_ = false;
}

void TKnobLogic::EndMove(bool cancel)
{
    const bool revert = cancel && (moving_ || clicksDetached_);
    ResetMove();
    if (revert) {
        SpinChange(startPosition_, scEndMove, 0, true);
        return;
    }
    host_.KnobEndMove();
}

int TKnobLogic::GetEditPosition() const
{
    bool ok = false;
    const double number = QLocale().toDouble(editText_, &ok);
    if (!ok)
        return position_;
    const double p = RoundHalfUp(number * std::pow(10.0, dot_) / valueMultiplier_);
    return static_cast<int>(ToPosition(p, position_));
}

// --- text

QString TKnobLogic::PositionText(int position, double valueMultiplier, unsigned dot, const QString& separator)
{
    const double n = RoundHalfUp(position * valueMultiplier);
    const double limit = 9.0e18; // within long long
    QString s = QString::number(static_cast<long long>(std::clamp(n, -limit, limit)));
    if (dot == 0)
        return s;
    const int k = s.startsWith(QLatin1Char('-')) ? 1 : 0;
    const long long digits = s.size() - k;
    if (digits < dot)
        s.insert(k, QStringLiteral("0") + separator + QString(static_cast<qsizetype>(dot - digits), QLatin1Char('0')));
    else if (digits == dot)
        s.insert(k, QStringLiteral("0") + separator);
    else
        s.insert(s.size() - static_cast<qsizetype>(dot), separator);
    return s;
}

TKnobLogic::TEditFix TKnobLogic::FilterEdit(const QString& text, int caret, unsigned dot, const QString& separator)
{
    if (caret <= 0 || caret > text.size())
        return {text, caret};
    const QChar c = text.at(caret - 1);
    QString rest = text;
    rest.remove(caret - 1, 1);
    const bool separatorAllowed = dot > 0 && !separator.isEmpty() && !rest.contains(separator);
    const bool isSign = c == QLatin1Char('-') || c == QLatin1Char('+');
    const bool signAllowed = caret == 1 && !rest.contains(QLatin1Char('-')) && !rest.contains(QLatin1Char('+'));
    const bool isSeparator = separator.size() == 1 && c == separator.at(0);
    if (c.isDigit() && c.unicode() < 128)
        return {text, caret};
    if (isSign && signAllowed)
        return {text, caret};
    if (isSeparator && separatorAllowed)
        return {text, caret};
    if ((c == QLatin1Char('.') || c == QLatin1Char(',')) && separatorAllowed) {
        rest.insert(caret - 1, separator);
        return {rest, caret - 1 + static_cast<int>(separator.size())};
    }
    return {rest, caret - 1};
}

TKnobLogic::TEditFix TKnobLogic::EditChanged(const QString& text, int caret)
{
    edited_ = true;
    TEditFix fix = FilterEdit(text, caret, dot_, DecimalSeparator());
    editText_ = fix.text;
    return fix;
}

TKnobLogic::TCaret TKnobLogic::EditKeyDown(TEditKey key, bool& handled)
{
    handled = true;
    switch (key) {
    case ekEnter:
        if (canMove_)
            SpinChange(GetEditPosition(), scStartMove | scEndMove, 0, true);
        return crKeep;
    case ekEscape:
        if (edited_)
            UpdateKnob(true);
        else
            handled = false;
        return crKeep;
    case ekUp:
    case ekDown:
        if (edited_)
            SpinChange(GetEditPosition(), scStartMove | scEndMove, 0, true);
        else
            ArrowKeyDown(key == ekUp);
        return key == ekUp ? crStart : crEnd;
    }
    handled = false;
    return crKeep;
}

TKnobLogic::TCaret TKnobLogic::EditKeyUp(TEditKey key)
{
    if (key != ekUp && key != ekDown)
        return crKeep;
    ArrowKeyUp();
    return key == ekUp ? crStart : crEnd;
}

void TKnobLogic::EditExit()
{
    if (edited_)
        SpinChange(GetEditPosition(), scStartMove | scEndMove, 0, true);
}

void TKnobLogic::LoseHold()
{
    spinPressed_ = false;
    facePressed_ = false;
    pendingReset_ = false;
    if (moveStarted_)
        EndMove(true);
    else
        ResetMove();
}

// --- the mouse wheel

bool TKnobLogic::WheelStep(int notches)
{
    if (!canMove_ || spinPressed_ || facePressed_ || moving_)
        return false;
    if (notches == 0)
        return true;
    const long long step = static_cast<long long>(notches) * increment_;
    if ((position_ == min_ && step <= 0) || (position_ == max_ && step >= 0))
        return true; // at the end of the range: taken, nothing moves
    if (!wheeling_) {
        // A move of another input (an arrow key, a step) ends before the wheel's begins.
        if (moveStarted_)
            EndMove(false);
        startPosition_ = position_;
        wheeling_ = true;
    }
    SpinChange(Clamp(static_cast<long long>(position_) + step), scStartMove, step < 0 ? -1 : 1, true);
    return true;
}

void TKnobLogic::WheelEnd()
{
    if (!wheeling_)
        return;
    wheeling_ = false;
    if (moveStarted_)
        EndMove(false);
}

// --- spin buttons and arrow keys

void TKnobLogic::SpinClick(bool up)
{
    if (moving_ || !canMove_)
        return;
    if (holding_ != hSpin) {
        startPosition_ = position_;
        setHolding(hSpin);
    }
    const int step = up ? increment_ : -increment_;
    if ((position_ == min_ && step <= 0) || (position_ == max_ && step >= 0))
        return;
    SpinChange(Clamp(static_cast<long long>(position_) + step), scStartMove, step, true);
}

void TKnobLogic::ArrowKeyDown(bool up)
{
    if (!canMove_)
        return;
    WheelEnd();
    SpinClick(up);
    setHolding(hNone);
}

void TKnobLogic::ArrowKeyUp()
{
    // Only a key that moved the knob has a move to end; a refused step (at Min or Max, or
    // CanMove false) raises nothing.
    if (moveStarted_)
        EndMove(true);
}

bool TKnobLogic::JumpTo(int position)
{
    if (!canMove_ || spinPressed_ || facePressed_ || moving_)
        return false;
    WheelEnd();
    if (moveStarted_)
        EndMove(false); // a move of another input ends before this one begins
    position = Clamp(position);
    if (position == position_)
        return true; // at that end already: taken, nothing moves
    startPosition_ = position_;
    SpinChange(position, scStartMove | scEndMove, position < position_ ? -1 : 1, true);
    return true;
}

void TKnobLogic::SpinLeftDown(int y)
{
    if (!canMove_)
        return;
    WheelEnd();
    pendingReset_ = false;
    if (holding_ != hSpin)
        startPosition_ = position_;
    setHolding(hSpin);
    pressY_ = y;
    spinPressed_ = true;
}

int TKnobLogic::SpinDragOffset(int y) const
{
    const double m = RoundHalfUp((static_cast<double>(accumulator_) + pressY_ - y) / sensitivity_);
    return Clamp(ToPosition(m, 0) + startPosition_);
}

void TKnobLogic::SpinMouseMove(int y, int spinHeight, int screenY, int screenHeight)
{
    if (!spinPressed_ || holding_ != hSpin)
        return;
    if (!moving_) {
        if (std::abs(y - pressY_) < MouseSensitivity)
            return;
        // The pointer goes to the buttons' middle plus what was dragged already, so that the
        // drag has room both ways. Where the pointer cannot be moved it stays where it is.
        const int dy = spinHeight / 2 - pressY_;
        if (dy == 0 || host_.KnobWarpPointer(dy)) {
            pressY_ = spinHeight / 2;
            y += dy;
            screenY += dy;
        }
        host_.KnobDragCursor(true);
        accumulator_ = 0;
        moving_ = true;
        lastScreenY_ = screenY;
        RaiseStartMove();
    }
    // At the top or bottom screen row the pointer jumps to the other end and the accumulator
    // keeps the distance, so a drag can go on as far as the range needs.
    if (screenY <= 0 && screenY < lastScreenY_) {
        const int dy = (screenHeight - 2) - screenY;
        if (host_.KnobWarpPointer(dy)) {
            accumulator_ += dy;
            y += dy;
            screenY += dy;
        }
    } else if (screenY >= screenHeight - 1 && screenY > lastScreenY_) {
        const int dy = 1 - screenY;
        if (host_.KnobWarpPointer(dy)) {
            accumulator_ += dy;
            y += dy;
            screenY += dy;
        }
    }
    lastScreenY_ = screenY;
    SpinChange(SpinDragOffset(y), scMove, 0, true);
}

void TKnobLogic::SpinLeftUp(int y, bool rightDown)
{
    if (!spinPressed_)
        return;
    spinPressed_ = false;
    if (rightDown)
        SpinChange(startPosition_, scEndMove, 0, true);
    else if (moving_)
        SpinChange(SpinDragOffset(y), scEndMove, 0, true);
    else if (moveStarted_)
        EndMove(false);
    else
        ResetMove(); // a press that moved nothing (a refused step at Min or Max) ends quietly
}

// --- faces

void TKnobLogic::FaceLeftDown(int x, int y, int width, int height)
{
    if (!canMove_)
        return;
    WheelEnd();
    pendingReset_ = false;
    const int cx = width / 2;
    const int cy = height / 2;
    grabOffset_ = (x == cx && y == cy) ? 0.0 : AngleWrap(angle_ - std::atan2(cy - y, x - cx) * DegreesPerRadian);
    startPosition_ = position_;
    setHolding(hFace);
    pressX_ = x;
    pressY_ = y;
    lastWrapped_ = AngleWrap(angle_);
    facePressed_ = true;
}

void TKnobLogic::FaceMouseMove(int x, int y, int width, int height)
{
    if (!facePressed_ || holding_ != hFace)
        return;
    if (!moving_) {
        const long long dx = x - pressX_;
        const long long dy = y - pressY_;
        if (dx * dx + dy * dy < 4)
            return;
        accumulator_ = 0;
        moving_ = true;
        RaiseStartMove();
        clicksDetached_ = true;
    }
    const int cx = width / 2;
    const int cy = height / 2;
    const int dx = x - cx;
    const int dy = cy - y;
    if (dx == 0 && dy == 0)
        return;
    const double t = AngleWrap(std::atan2(dy, dx) * DegreesPerRadian + grabOffset_);
    if (lastWrapped_ - t > 180)
        ++turns_;
    else if (lastWrapped_ - t < -180)
        --turns_;
    angle_ = turns_ * 360.0 + t;
    lastWrapped_ = t;
    long long p = ToPosition(std::trunc((angle_ - zeroAngle_) / angleMultiplier_ + 0.5), position_) + zeroPosition_;
    if (p < min_ || p > max_) {
        p = Clamp(p);
        angle_ = zeroAngle_ + angleMultiplier_ * (static_cast<double>(p) - zeroPosition_);
    }
    SpinChange(static_cast<int>(p), scMove, 0, false);
}

void TKnobLogic::FaceLeftUp(bool rightDown)
{
    if (!facePressed_)
        return;
    facePressed_ = false;
    if (rightDown && holding_ == hFace)
        SpinChange(startPosition_, scEndMove, 0, true);
    else
        SpinChange(position_, scEndMove, 0, true);
}

bool TKnobLogic::FaceClick()
{
    if (clicksDetached_)
        return false;
    setHolding(hNone);
    return true;
}

// --- right button

void TKnobLogic::RightDown(bool leftDown)
{
    if (!canMove_)
        return;
    clicksDetached_ = true;
    if (!leftDown)
        pendingReset_ = true;
}

void TKnobLogic::RightUp()
{
    if (!pendingReset_)
        return;
    pendingReset_ = false;
    SpinChange(zeroPosition_, scEndMove, 0, true);
}

int TKnobLogic::PointerOver(bool over) noexcept
{
    if (over == pointerInside_)
        return 0;
    pointerInside_ = over;
    return over ? 1 : -1;
}

} // namespace fk
