// The knob's behaviour without widgets: mappings, clamping with events, dead zones, the edit
// text and its filter, drags and keys, under a full-stop and a comma locale.
#include "controls/KnobLogic.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <numbers>

#include <string>
#include <vector>

namespace fk {
namespace {

// Records what the knob asks of its widget, as one letter per event.
class TRecordingHost : public TKnobLogic::THost {
public:
    void KnobStartMove() override { events += 'S'; }
    void KnobMove() override { events += 'M'; }
    void KnobChangePosition() override { events += 'C'; }
    void KnobEndMove() override { events += 'E'; }
    void KnobShow() override { ++shows; }
    void KnobDragCursor(bool dragging) override { events += dragging ? '[' : ']'; }
    bool KnobWarpPointer(int dy) override
    {
        warps.push_back(dy);
        return warpWorks;
    }

    std::string Take()
    {
        std::string e;
        e.swap(events);
        return e;
    }

    std::string events;
    int shows = 0;
    bool warpWorks = true;
    std::vector<int> warps;
};

// Runs a test body under a locale and restores the default afterwards.
class TLocaleScope {
public:
    explicit TLocaleScope(QLocale::Language language, QLocale::Territory territory)
        : saved_(QLocale())
    {
        QLocale::setDefault(QLocale(language, territory));
    }
    ~TLocaleScope() { QLocale::setDefault(saved_); }

private:
    QLocale saved_;
};

class KnobLogic : public ::testing::Test {
protected:
    TLocaleScope locale{QLocale::English, QLocale::UnitedStates};
    TRecordingHost host;
    TKnobLogic knob{host};
};

TEST_F(KnobLogic, SettingThePositionClampsAndRaisesOneMove)
{
    knob.setMin(10);
    knob.setMax(50);
    host.Take();
    EXPECT_EQ(knob.Position(), 10); // setMin pulled it up
    knob.setPosition(5);
    EXPECT_EQ(knob.Position(), 10);
    EXPECT_EQ(host.Take(), "SE"); // unchanged: no OnChangePosition
    knob.setPosition(70);
    EXPECT_EQ(knob.Position(), 50);
    EXPECT_EQ(host.Take(), "SCE");
    EXPECT_EQ(knob.EditText(), QStringLiteral("50"));
    knob.setMax(40);
    EXPECT_EQ(knob.Position(), 40);
    EXPECT_EQ(host.Take(), "SCE");
    // ZeroPosition follows a range that leaves it behind.
    knob.setMin(30);
    EXPECT_EQ(knob.ZeroPosition(), 30);
}

TEST_F(KnobLogic, ValueRoundsHalvesUpAndIgnoresNaN)
{
    knob.setValueMultiplier(10);
    knob.setPosition(3);
    EXPECT_DOUBLE_EQ(knob.getValue(), 30);
    EXPECT_EQ(knob.EditText(), QStringLiteral("30"));
    knob.setValue(34);
    EXPECT_EQ(knob.Position(), 3);
    knob.setValue(35);
    EXPECT_EQ(knob.Position(), 4);
    knob.setValue(-14);
    EXPECT_EQ(knob.Position(), 0);
    host.Take();
    knob.setValue(std::nan(""));
    EXPECT_EQ(knob.Position(), 0);
    EXPECT_EQ(host.Take(), "");
    knob.setValue(1e300); // far beyond int: clamps to Max instead of overflowing
    EXPECT_EQ(knob.Position(), 100);
    knob.setValueMultiplier(0); // ignored
    knob.setValueMultiplier(std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ(knob.ValueMultiplier(), 10);
}

TEST_F(KnobLogic, DotTextsInsertTheSeparator)
{
    const QString dot = QStringLiteral(".");
    EXPECT_EQ(TKnobLogic::PositionText(5, 1, 2, dot), QStringLiteral("0.05"));
    EXPECT_EQ(TKnobLogic::PositionText(12, 1, 2, dot), QStringLiteral("0.12"));
    EXPECT_EQ(TKnobLogic::PositionText(123, 1, 2, dot), QStringLiteral("1.23"));
    EXPECT_EQ(TKnobLogic::PositionText(-5, 1, 2, dot), QStringLiteral("-0.05"));
    EXPECT_EQ(TKnobLogic::PositionText(7, 1, 1, dot), QStringLiteral("0.7"));
    EXPECT_EQ(TKnobLogic::PositionText(-7, 1, 1, dot), QStringLiteral("-0.7"));
    EXPECT_EQ(TKnobLogic::PositionText(0, 1, 1, dot), QStringLiteral("0.0"));
    EXPECT_EQ(TKnobLogic::PositionText(3, 2.5, 0, dot), QStringLiteral("8")); // 7.5 rounds up
    EXPECT_EQ(TKnobLogic::PositionText(15, 1, 1, QStringLiteral(",")), QStringLiteral("1,5"));

    knob.setMin(-100);
    knob.setDot(1);
    knob.setPosition(-7);
    EXPECT_EQ(knob.EditText(), QStringLiteral("-0.7"));
}

TEST_F(KnobLogic, EditFilterUnderAFullStopLocale)
{
    const QString dot = QStringLiteral(".");
    // A letter goes and the caret stays where it was.
    auto fix = TKnobLogic::FilterEdit(QStringLiteral("1a2"), 2, 1, dot);
    EXPECT_EQ(fix.text, QStringLiteral("12"));
    EXPECT_EQ(fix.caret, 1);
    // A comma becomes the separator.
    fix = TKnobLogic::FilterEdit(QStringLiteral("1,"), 2, 1, dot);
    EXPECT_EQ(fix.text, QStringLiteral("1."));
    EXPECT_EQ(fix.caret, 2);
    // A second separator is refused, in either spelling.
    EXPECT_EQ(TKnobLogic::FilterEdit(QStringLiteral("1.5."), 4, 1, dot).text, QStringLiteral("1.5"));
    EXPECT_EQ(TKnobLogic::FilterEdit(QStringLiteral("1.5,"), 4, 1, dot).text, QStringLiteral("1.5"));
    // Without decimals there is no separator at all.
    EXPECT_EQ(TKnobLogic::FilterEdit(QStringLiteral("1."), 2, 0, dot).text, QStringLiteral("1"));
    // A sign only in front, and only one.
    EXPECT_EQ(TKnobLogic::FilterEdit(QStringLiteral("-5"), 1, 0, dot).text, QStringLiteral("-5"));
    EXPECT_EQ(TKnobLogic::FilterEdit(QStringLiteral("5-"), 2, 0, dot).text, QStringLiteral("5"));
    EXPECT_EQ(TKnobLogic::FilterEdit(QStringLiteral("+-5"), 1, 0, dot).text, QStringLiteral("-5"));
    // Nothing is checked at caret 0 (a deletion at the front).
    EXPECT_EQ(TKnobLogic::FilterEdit(QStringLiteral("x"), 0, 0, dot).text, QStringLiteral("x"));

    // Typing "1,5" with one decimal gives 1.5 and, applied, position 15.
    knob.setDot(1);
    host.Take();
    knob.EditChanged(QStringLiteral("1"), 1);
    auto typed = knob.EditChanged(QStringLiteral("1,"), 2);
    typed = knob.EditChanged(typed.text + QStringLiteral("5"), 3);
    EXPECT_EQ(typed.text, QStringLiteral("1.5"));
    EXPECT_TRUE(knob.Edited());
    EXPECT_EQ(knob.GetEditPosition(), 15);
    bool handled = false;
    knob.EditKeyDown(TKnobLogic::ekEnter, handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(knob.Position(), 15);
    EXPECT_EQ(host.Take(), "SCE");
    EXPECT_FALSE(knob.Edited());
}

TEST_F(KnobLogic, EditFilterAndParsingUnderACommaLocale)
{
    TLocaleScope german(QLocale::German, QLocale::Germany);
    knob.setDot(2);
    knob.setPosition(5);
    EXPECT_EQ(knob.EditText(), QStringLiteral("0,05"));
    // A full stop typed becomes the comma; a second one is refused.
    auto fix = knob.EditChanged(QStringLiteral("2."), 2);
    EXPECT_EQ(fix.text, QStringLiteral("2,"));
    fix = knob.EditChanged(QStringLiteral("2,5,"), 4);
    EXPECT_EQ(fix.text, QStringLiteral("2,5"));
    EXPECT_EQ(knob.GetEditPosition(), 250);
    // A text that is no number keeps the position.
    knob.EditChanged(QStringLiteral("-"), 1);
    EXPECT_EQ(knob.GetEditPosition(), 5);
    // A huge number stops at the int limit instead of overflowing; the range clamps it.
    knob.EditChanged(QStringLiteral("99999999999999999999"), 20);
    EXPECT_EQ(knob.GetEditPosition(), INT_MAX);
    knob.EditExit();
    EXPECT_EQ(knob.Position(), 100);
}

TEST_F(KnobLogic, EditKeysApplyOrRestoreTheText)
{
    bool handled = false;
    knob.setPosition(20);
    host.Take();
    // Escape with an edited text restores it.
    knob.EditChanged(QStringLiteral("33"), 2);
    knob.EditKeyDown(TKnobLogic::ekEscape, handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(knob.EditText(), QStringLiteral("20"));
    EXPECT_EQ(host.Take(), "");
    // Escape without one is left to others.
    knob.EditKeyDown(TKnobLogic::ekEscape, handled);
    EXPECT_FALSE(handled);
    // Up while edited applies the text; its release raises no second end.
    knob.EditChanged(QStringLiteral("33"), 2);
    EXPECT_EQ(knob.EditKeyDown(TKnobLogic::ekUp, handled), TKnobLogic::crStart);
    EXPECT_EQ(knob.Position(), 33);
    EXPECT_EQ(knob.EditKeyUp(TKnobLogic::ekUp), TKnobLogic::crStart);
    EXPECT_EQ(host.Take(), "SCE");
    // Down while not edited steps, and the release ends the move.
    EXPECT_EQ(knob.EditKeyDown(TKnobLogic::ekDown, handled), TKnobLogic::crEnd);
    EXPECT_EQ(knob.Position(), 32);
    EXPECT_EQ(knob.EditKeyUp(TKnobLogic::ekDown), TKnobLogic::crEnd);
    EXPECT_EQ(host.Take(), "SCE");
    // Enter does nothing while the user may not move the knob.
    knob.setCanMove(false);
    knob.EditChanged(QStringLiteral("40"), 2);
    knob.EditKeyDown(TKnobLogic::ekEnter, handled);
    EXPECT_EQ(knob.Position(), 32);
}

TEST_F(KnobLogic, SpinStepsStopAtTheEndsWithoutEvents)
{
    knob.setPosition(99);
    host.Take();
    knob.ArrowKeyDown(true);
    knob.ArrowKeyDown(true); // auto-repeat at Max: nothing more
    knob.ArrowKeyUp();
    EXPECT_EQ(knob.Position(), 100);
    EXPECT_EQ(host.Take(), "SCE");
    knob.ArrowKeyDown(true);
    knob.ArrowKeyUp();
    EXPECT_EQ(host.Take(), "");
    // A mouse click at Max ends quietly too.
    knob.SpinLeftDown(3);
    knob.SpinClick(true);
    knob.SpinLeftUp(3, false);
    EXPECT_EQ(host.Take(), "");
    EXPECT_EQ(knob.Holding(), TKnobLogic::hNone);
    // Increment 0 means 1.
    knob.setIncrement(0);
    EXPECT_EQ(knob.Increment(), 1);
    knob.SpinLeftDown(15);
    knob.SpinClick(false);
    knob.SpinClick(false); // auto-repeat of the held button
    knob.SpinLeftUp(15, false);
    EXPECT_EQ(knob.Position(), 98);
    EXPECT_EQ(host.Take(), "SCCE");
    // The right button held at the release cancels back to where the hold began.
    knob.SpinLeftDown(15);
    knob.SpinClick(false);
    knob.SpinLeftUp(15, true);
    EXPECT_EQ(knob.Position(), 98);
    EXPECT_EQ(host.Take(), "SCCE");
    // Nothing at all while the user may not move the knob.
    knob.setCanMove(false);
    knob.SpinLeftDown(15);
    knob.SpinClick(true);
    knob.SpinLeftUp(15, false);
    knob.ArrowKeyDown(true);
    knob.ArrowKeyUp();
    EXPECT_EQ(knob.Position(), 98);
    EXPECT_EQ(host.Take(), "");
}

TEST_F(KnobLogic, SensitivityAndIncrementShareTheirSign)
{
    knob.setSensitivity(-2);
    EXPECT_EQ(knob.Increment(), -1);
    knob.setIncrement(3);
    EXPECT_DOUBLE_EQ(knob.Sensitivity(), 2);
    knob.setSensitivity(0);
    EXPECT_DOUBLE_EQ(knob.Sensitivity(), 1);
    knob.setSensitivity(std::nan(""));
    EXPECT_DOUBLE_EQ(knob.Sensitivity(), 1);
    // A negative increment turns the buttons round.
    knob.setIncrement(-5);
    knob.setPosition(50);
    knob.ArrowKeyDown(true);
    EXPECT_EQ(knob.Position(), 45);
}

TEST_F(KnobLogic, DeadZonesPushPositionsToTheirEnds)
{
    EXPECT_FALSE(knob.AddDeadZone(20, 21));
    EXPECT_TRUE(knob.AddDeadZone(30, 20)); // either order
    knob.setPosition(20);
    knob.ArrowKeyDown(true);
    EXPECT_EQ(knob.Position(), 30);
    knob.ArrowKeyDown(false);
    EXPECT_EQ(knob.Position(), 20);
    knob.setPosition(25);
    EXPECT_EQ(knob.Position(), 20);
    knob.setPosition(26);
    EXPECT_EQ(knob.Position(), 30);
    // Overlapping zones become their union; touching ones stay apart.
    EXPECT_FALSE(knob.AddDeadZone(28, 40));
    ASSERT_EQ(knob.DeadZones().size(), 1u);
    EXPECT_EQ(knob.DeadZones()[0], TKnobLogic::TDeadZone(20, 40));
    EXPECT_TRUE(knob.AddDeadZone(40, 45));
    EXPECT_TRUE(knob.AddDeadZone(5, 10));
    EXPECT_FALSE(knob.AddDeadZone(8, 42)); // bridges all three
    ASSERT_EQ(knob.DeadZones().size(), 1u);
    EXPECT_EQ(knob.DeadZones()[0], TKnobLogic::TDeadZone(5, 45));
    // Zones are clamped to the range.
    knob.ClearDeadZones();
    EXPECT_FALSE(knob.AddDeadZone(99, 200)); // 99..100 is too narrow
    EXPECT_TRUE(knob.AddDeadZone(90, 200));
    EXPECT_EQ(knob.DeadZones()[0], TKnobLogic::TDeadZone(90, 100));
}

TEST_F(KnobLogic, AngleFollowsThePositionAndTheZero)
{
    EXPECT_DOUBLE_EQ(knob.Angle(), 90);
    knob.setPosition(25);
    EXPECT_DOUBLE_EQ(knob.Angle(), 0); // a quarter turn clockwise
    knob.setPosition(75);
    EXPECT_DOUBLE_EQ(knob.Angle(), -180);
    EXPECT_EQ(knob.Turns(), 0);
    knob.setPosition(100);
    EXPECT_DOUBLE_EQ(knob.Angle(), -270);
    knob.setZeroAngle(180);
    EXPECT_DOUBLE_EQ(knob.Angle(), -180);
    EXPECT_DOUBLE_EQ(knob.ZeroAngle(), 180);

    knob.setAngleMultiplier(0);
    EXPECT_DOUBLE_EQ(knob.AngleMultiplier(), -3.6);
    knob.setMax(50);
    knob.setAngleMultiplier(0);
    EXPECT_DOUBLE_EQ(knob.AngleMultiplier(), -7.2);
    knob.setMax(0);
    knob.setAngleMultiplier(std::nan(""));
    EXPECT_DOUBLE_EQ(knob.AngleMultiplier(), -3.6);
}

TEST_F(KnobLogic, SetAngleRoundsAndClampsToTheRange)
{
    host.Take();
    knob.setAngle(-36.1); // 10.03 steps
    EXPECT_EQ(knob.Position(), 10);
    EXPECT_DOUBLE_EQ(knob.Angle(), 90 - 36.1); // the face keeps the exact angle
    EXPECT_EQ(host.Take(), "SCE");
    knob.setAngle(-1000); // beyond Max: the angle of Max
    EXPECT_EQ(knob.Position(), 100);
    EXPECT_DOUBLE_EQ(knob.Angle(), -270);
    knob.setAngle(500);
    EXPECT_EQ(knob.Position(), 0);
    EXPECT_DOUBLE_EQ(knob.Angle(), 90);
}

TEST_F(KnobLogic, AngleWrapKeepsInputsBelowMinus180)
{
    EXPECT_DOUBLE_EQ(TKnobLogic::AngleWrap(190), -170);
    EXPECT_DOUBLE_EQ(TKnobLogic::AngleWrap(-170), -170);
    EXPECT_DOUBLE_EQ(TKnobLogic::AngleWrap(540), -180);
    EXPECT_DOUBLE_EQ(TKnobLogic::AngleWrap(-300), -300);
    EXPECT_DOUBLE_EQ(TKnobLogic::AngleWrap(-630), -270);
}

// Positions on a circle around the centre of a 100-pixel face.
struct TPoint {
    int x, y;
};
TPoint OnCircle(double degrees)
{
    const double r = degrees * std::numbers::pi / 180;
    return {50 + static_cast<int>(std::lround(40 * std::cos(r))), 50 - static_cast<int>(std::lround(40 * std::sin(r)))};
}

TEST_F(KnobLogic, TurningAFaceCountsWholeTurns)
{
    knob.setMax(1000);
    knob.setAngleMultiplier(-1); // one position per degree: 1000 needs almost three turns
    host.Take();
    TPoint p = OnCircle(90);
    knob.FaceLeftDown(p.x, p.y, 100, 100);
    // Clockwise in 10-degree steps through 720 degrees.
    for (int a = 80; a >= 90 - 720; a -= 10) {
        p = OnCircle(a);
        knob.FaceMouseMove(p.x, p.y, 100, 100);
    }
    EXPECT_NEAR(knob.Position(), 720, 1);
    EXPECT_NEAR(knob.Angle(), 90 - 720, 1);
    // Back a quarter turn.
    for (int a = 90 - 710; a <= 180 - 720; a += 10) {
        p = OnCircle(a);
        knob.FaceMouseMove(p.x, p.y, 100, 100);
    }
    EXPECT_NEAR(knob.Position(), 630, 1);
    const int before = knob.Position();
    knob.FaceLeftUp(false);
    EXPECT_EQ(knob.Position(), before);
    EXPECT_DOUBLE_EQ(knob.Angle(), 90.0 - before); // snapped to the position
    const std::string events = host.Take();
    EXPECT_EQ(events.front(), 'S');
    EXPECT_EQ(events.substr(events.size() - 1), "E");
    EXPECT_EQ(std::count(events.begin(), events.end(), 'S'), 1);
    EXPECT_EQ(std::count(events.begin(), events.end(), 'E'), 1);
    EXPECT_FALSE(knob.ClicksDetached()); // a later click on the face counts again
    EXPECT_TRUE(knob.FaceClick());
}

TEST_F(KnobLogic, TurningStopsAtTheEndsAndCancelsWithTheRightButton)
{
    knob.setPosition(50);
    host.Take();
    // Grab the face off its pointer: the offset is kept, the face does not jump.
    TPoint p = OnCircle(0);
    knob.FaceLeftDown(p.x, p.y, 100, 100);
    p = OnCircle(-30);
    knob.FaceMouseMove(p.x, p.y, 100, 100);
    EXPECT_NEAR(knob.Position(), 58, 1);
    EXPECT_TRUE(knob.ClicksDetached()); // the release is no click
    knob.RightDown(true);
    knob.FaceLeftUp(true);
    EXPECT_EQ(knob.Position(), 50);
    std::string events = host.Take();
    EXPECT_EQ(events.front(), 'S');
    EXPECT_EQ(std::count(events.begin(), events.end(), 'E'), 1);
    knob.RightUp(); // no reset armed: the left button was down
    EXPECT_EQ(host.Take(), "");

    // Turning anticlockwise past Min stops at Min's angle.
    knob.setPosition(5);
    p = OnCircle(90);
    knob.FaceLeftDown(p.x, p.y, 100, 100);
    for (int a = 100; a <= 200; a += 10) {
        p = OnCircle(a);
        knob.FaceMouseMove(p.x, p.y, 100, 100);
    }
    EXPECT_EQ(knob.Position(), 0);
    EXPECT_DOUBLE_EQ(knob.Angle(), 90);
    knob.FaceLeftUp(false);
}

TEST_F(KnobLogic, RightClickResetsToTheZeroPosition)
{
    knob.setZeroPosition(30);
    knob.setPosition(70);
    host.Take();
    knob.RightDown(false);
    EXPECT_FALSE(knob.FaceClick()); // detached by the right press
    knob.RightUp();
    EXPECT_EQ(knob.Position(), 30);
    EXPECT_EQ(host.Take(), "CE");
    EXPECT_TRUE(knob.FaceClick());
}

TEST_F(KnobLogic, SpinDragCountsPixelsAndWrapsAtTheScreenEdges)
{
    knob.setMax(1000);
    knob.setPosition(50);
    host.Take();
    // Pressed at row 3 of 21-pixel buttons, on screen row 300 of 600.
    knob.SpinLeftDown(3);
    knob.SpinMouseMove(4, 21, 301, 600); // 1 pixel: no drag yet
    EXPECT_EQ(host.Take(), "");
    knob.SpinMouseMove(1, 21, 298, 600);
    // The pointer went to the middle (row 10) plus the 2 pixels dragged: row 8.
    ASSERT_EQ(host.warps.size(), 1u);
    EXPECT_EQ(host.warps[0], 7);
    EXPECT_EQ(knob.Position(), 51); // 2 pixels at sensitivity 2
    EXPECT_EQ(host.Take(), "[SMC");
    // 20 pixels further up: 10 more.
    knob.SpinMouseMove(-12, 21, 285, 600);
    EXPECT_EQ(knob.Position(), 61);
    // At the top row the pointer jumps to the bottom and the count goes on.
    knob.SpinMouseMove(10 - 305, 21, 0, 600);
    EXPECT_EQ(host.warps.back(), 598);
    const int atTop = knob.Position();
    knob.SpinMouseMove(10 - 305 + 598 - 10, 21, 588, 600); // 10 more pixels up after the jump
    EXPECT_EQ(knob.Position(), atTop + 5);
    host.Take();
    knob.SpinLeftUp(10 - 305 + 598 - 10, false);
    EXPECT_EQ(knob.Position(), atTop + 5);
    EXPECT_EQ(host.Take(), "]E");
}

TEST_F(KnobLogic, SpinDragWithoutPointerWarpsStillCounts)
{
    host.warpWorks = false;
    knob.setPosition(50);
    knob.SpinLeftDown(3);
    knob.SpinMouseMove(-1, 21, 296, 600); // 4 pixels up: 2 steps, no jump to the middle
    EXPECT_EQ(knob.Position(), 52);
    knob.SpinMouseMove(-5, 21, 0, 600); // top row, the pointer cannot jump
    EXPECT_EQ(knob.Position(), 54);
    knob.SpinMouseMove(13, 21, 310, 600); // below the press: down
    EXPECT_EQ(knob.Position(), 45);
    host.Take();
    // Cancelled with the right button.
    knob.SpinLeftUp(13, true);
    EXPECT_EQ(knob.Position(), 50);
    EXPECT_EQ(host.Take(), "C]E");
    // A drag ends when the user may no longer move the knob.
    knob.SpinLeftDown(3);
    knob.SpinMouseMove(-7, 21, 290, 600);
    EXPECT_EQ(knob.Position(), 55);
    host.Take();
    knob.setCanMove(false);
    EXPECT_EQ(knob.Position(), 50);
    EXPECT_EQ(host.Take(), "]CE");
    EXPECT_FALSE(knob.Moving());
}

TEST_F(KnobLogic, PointerEnterAndLeaveOncePerVisit)
{
    EXPECT_EQ(knob.PointerOver(true), 1);
    EXPECT_EQ(knob.PointerOver(true), 0);
    EXPECT_EQ(knob.PointerOver(false), -1);
    EXPECT_EQ(knob.PointerOver(false), 0);
}

} // namespace
} // namespace fk
