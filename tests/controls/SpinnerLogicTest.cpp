#include "controls/SpinnerLayout.h"
#include "controls/SpinnerLogic.h"
#include "controls/SpinnerText.h"

#include <climits>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fk {
namespace {

// Watches the logic: what it shows, and every event in order ("scroll <code> <pos>", "change <pos>").
class TWatchedSpinner : public TSpinnerView {
public:
    TWatchedSpinner()
        : logic(this)
    {
        logic.OnScroll = TScrollEvent::Bind(this, [this](TObject* sender, TScrollCode code, int& p) {
            EXPECT_EQ(sender, &logic);
            events.push_back("scroll " + std::to_string(code) + " " + std::to_string(p));
            if (scrollOverride && code == scEndScroll)
                p = *scrollOverride;
        });
        logic.OnChange = TNotifyEvent::Bind(this, [this](TObject*) {
            events.push_back("change " + std::to_string(logic.Position()));
        });
    }

    void ShowEditText(const QString& text) override { shown = text; }
    void ShowDragCursor(bool dragging) override { dragCursor = dragging; }
    int MoveCursorBy(int dy) override
    {
        moves.push_back(dy);
        return cursorMovable ? dy : 0;
    }

    std::vector<std::string> Take()
    {
        std::vector<std::string> out;
        out.swap(events);
        return out;
    }

    TSpinnerLogic logic;
    std::vector<std::string> events;
    std::vector<int> moves;
    QString shown;
    bool dragCursor = false;
    bool cursorMovable = true;
    const int* scrollOverride = nullptr;
};

using Events = std::vector<std::string>;

// A pointer at y on the buttons (21 high, middle 10), with the buttons at screen y 300 on a
// 600-pixel screen.
TSpinnerLogic::TPointer At(int y, int buttonsTop = 300)
{
    return TSpinnerLogic::TPointer{y, buttonsTop + y, 0, 600, 21};
}

TEST(SpinnerLogic, StepsWrapOrStopAtTheEnds)
{
    TWatchedSpinner s;
    s.logic.SetMax(9);
    s.logic.SetPosition(9);
    s.Take();
    s.logic.KeyDown(Qt::Key_Up, Qt::NoModifier);
    EXPECT_EQ(s.logic.Position(), 9);
    EXPECT_EQ(s.Take(), (Events{"scroll 0 9"})); // no change at the end
    s.logic.SetWrap(true);
    s.logic.KeyDown(Qt::Key_Up, Qt::NoModifier);
    EXPECT_EQ(s.logic.Position(), 0);
    s.logic.KeyDown(Qt::Key_Down, Qt::NoModifier);
    EXPECT_EQ(s.logic.Position(), 9);
    s.logic.SetWrap(false);
    s.logic.SetPosition(0);
    s.logic.KeyDown(Qt::Key_Down, Qt::NoModifier);
    EXPECT_EQ(s.logic.Position(), 0);

    // Wrapping counts round the range; far and extreme values neither overflow nor escape it.
    s.logic.SetWrap(true);
    EXPECT_EQ(s.logic.CheckPosition(-11), 9);
    EXPECT_EQ(s.logic.CheckPosition(25), 5);
    s.logic.SetMin(INT_MIN);
    s.logic.SetMax(INT_MAX);
    EXPECT_EQ(s.logic.CheckPosition(static_cast<long long>(INT_MAX) + 1), INT_MIN);
    s.logic.SetWrap(false);
    s.logic.SetPosition(INT_MAX - 1);
    s.logic.SetLargeIncrement(INT_MAX);
    s.logic.KeyDown(Qt::Key_PageUp, Qt::NoModifier);
    EXPECT_EQ(s.logic.Position(), INT_MAX);
}

TEST(SpinnerLogic, KeysPickStepAndCode)
{
    TWatchedSpinner s;
    s.logic.SetPosition(50);
    s.logic.SetIncrement(3);
    s.Take();
    s.logic.KeyDown(Qt::Key_Up, Qt::ShiftModifier); // page step
    s.logic.KeyDown(Qt::Key_Down, Qt::AltModifier); // a step of one
    s.logic.KeyDown(Qt::Key_PageDown, Qt::NoModifier);
    EXPECT_EQ(s.Take(), (Events{"scroll 2 60", "change 60", "scroll 1 59", "change 59", "scroll 3 49", "change 49"}));
    EXPECT_EQ(s.logic.GetHolding(), TSpinnerLogic::HoldKeyboard);
    EXPECT_EQ(s.logic.StartPosition(), 50); // the hold began at 50
    s.logic.KeyUp(Qt::Key_PageDown);
    EXPECT_EQ(s.Take(), (Events{"scroll 8 49"}));
    EXPECT_EQ(s.logic.GetHolding(), 0u);
    EXPECT_EQ(s.logic.StartPosition(), 49);
    EXPECT_FALSE(s.logic.KeyDown(Qt::Key_A, Qt::NoModifier));

    // Alt steps by one in the direction of a negative increment too.
    s.logic.SetIncrement(-2);
    s.logic.KeyDown(Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(s.logic.Position(), 48);
}

TEST(SpinnerLogic, RefusedSettingsKeepTheOldValues)
{
    TWatchedSpinner s;
    s.logic.SetIncrement(5);
    s.logic.SetIncrement(0);
    EXPECT_EQ(s.logic.Increment(), 5);
    s.logic.SetValueMultiplier(0.5);
    s.logic.SetValueMultiplier(0);
    s.logic.SetValueMultiplier(std::numeric_limits<double>::quiet_NaN());
    s.logic.SetValueMultiplier(std::numeric_limits<double>::infinity());
    EXPECT_EQ(s.logic.ValueMultiplier(), 0.5);
    s.logic.SetValueOffset(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(s.logic.ValueOffset(), 0.0);
    s.logic.SetValue(std::numeric_limits<double>::infinity());
    EXPECT_EQ(s.logic.Position(), 0);

    // Min above Max moves Max; the default and the position follow into range.
    s.logic.SetDefaultPosition(5);
    s.logic.SetPosition(7);
    s.logic.SetMin(150);
    EXPECT_EQ(s.logic.Max(), 150);
    EXPECT_EQ(s.logic.DefaultPosition(), 150);
    EXPECT_EQ(s.logic.Position(), 150);
    s.logic.SetMax(-3);
    EXPECT_EQ(s.logic.Min(), -3);
    EXPECT_EQ(s.logic.Position(), -3);
}

TEST(SpinnerLogic, ValueAndTextFollowTheLocale)
{
    TWatchedSpinner s;
    s.logic.SetValueMultiplier(0.1);
    s.logic.SetFormat("0.0");
    s.logic.SetPosition(15);
    EXPECT_EQ(s.shown, QStringLiteral("1.5"));
    EXPECT_TRUE(s.logic.DecimalsAllowed());
    EXPECT_DOUBLE_EQ(s.logic.GetValue(), 1.5);
    s.logic.SetSeparators(QStringLiteral(","), QStringLiteral("."));
    EXPECT_EQ(s.shown, QStringLiteral("1,5"));
    EXPECT_EQ(s.logic.GetPosition(QStringLiteral("2,34")), 23);
    EXPECT_EQ(s.logic.GetPosition(QStringLiteral("2.3")), 15); // no number here: unchanged
    s.logic.SetValueMultiplier(0.5);                            // halves round upwards
    EXPECT_EQ(s.logic.GetPosition(QStringLiteral("1,25")), 3);
    EXPECT_EQ(s.logic.GetPosition(QStringLiteral("-1,25")), -2);
    EXPECT_EQ(s.logic.GetPosition(1e300), INT_MAX); // far values stay representable

    // A whole multiplier and offset allow no decimals.
    s.logic.SetValueMultiplier(2);
    EXPECT_FALSE(s.logic.DecimalsAllowed());
    s.logic.SetValueOffset(0.5);
    EXPECT_TRUE(s.logic.DecimalsAllowed());
}

TEST(SpinnerLogic, TypingFilterKeepsANumber)
{
    const QString dot = QStringLiteral(".");
    const QString comma = QStringLiteral(",");
    auto filter = [](const char* oldText, const char* newText, int caret, bool decimals, const QString& sep) {
        return TSpinnerText::Filter(QString::fromUtf8(oldText), QString::fromUtf8(newText), caret, decimals, sep);
    };
    TSpinnerText::TEdit e = filter("12", "1x2", 2, true, dot);
    EXPECT_EQ(e.text, QStringLiteral("12"));
    EXPECT_EQ(e.caret, 1);
    EXPECT_TRUE(e.changed);
    e = filter("1", "1,", 2, true, dot); // a comma becomes the separator
    EXPECT_EQ(e.text, QStringLiteral("1."));
    EXPECT_EQ(e.caret, 2);
    e = filter("1.5", "1.5,", 4, true, dot); // a second separator is refused, typed either way
    EXPECT_EQ(e.text, QStringLiteral("1.5"));
    e = filter("1.5", "1.5.", 4, true, dot);
    EXPECT_EQ(e.text, QStringLiteral("1.5"));
    e = filter("1", "1.", 2, true, comma); // under a comma locale the full stop turns into a comma
    EXPECT_EQ(e.text, QStringLiteral("1,"));
    e = filter("1", "1,", 2, false, comma); // no decimals: no separator at all
    EXPECT_EQ(e.text, QStringLiteral("1"));
    e = filter("5", "-5", 1, false, dot);
    EXPECT_EQ(e.text, QStringLiteral("-5"));
    EXPECT_FALSE(e.changed);
    e = filter("-5", "--5", 1, false, dot); // only one sign, only in front
    EXPECT_EQ(e.text, QStringLiteral("-5"));
    e = filter("5", "5-", 2, false, dot);
    EXPECT_EQ(e.text, QStringLiteral("5"));
    // A pasted run is filtered character by character; the caret stays behind what is kept.
    e = filter("9", "1a2b39", 5, true, dot);
    EXPECT_EQ(e.text, QStringLiteral("1239"));
    EXPECT_EQ(e.caret, 3);
    // Removing text is never refused; a character outside the BMP goes as a whole.
    EXPECT_FALSE(filter("123", "13", 1, false, dot).changed);
    e = TSpinnerText::Filter(QStringLiteral("1"), QStringLiteral("1") + QString::fromUcs4(U"\U0001F600"), 3,
                             false, dot);
    EXPECT_EQ(e.text, QStringLiteral("1"));
    EXPECT_EQ(e.caret, 1);
}

TEST(SpinnerLogic, TypedNumbersAreReadStrictly)
{
    double v = 0;
    EXPECT_TRUE(TSpinnerText::Parse(QStringLiteral(" +12,5 "), QStringLiteral(","), v));
    EXPECT_DOUBLE_EQ(v, 12.5);
    EXPECT_TRUE(TSpinnerText::Parse(QStringLiteral("-1e2"), QStringLiteral("."), v));
    EXPECT_DOUBLE_EQ(v, -100);
    for (const char* bad : {"", "-", "+-1", "1.5", "1,5,", "12a", "1e999", "inf", "nan"})
        EXPECT_FALSE(TSpinnerText::Parse(QString::fromUtf8(bad), QStringLiteral(","), v)) << bad;
    EXPECT_DOUBLE_EQ(v, -100); // untouched by the failures
}

TEST(SpinnerLogic, EditKeysTakeOrDropTheTypedValue)
{
    TWatchedSpinner s;
    s.logic.SetPosition(10);
    s.Take();
    s.logic.EditChange(QStringLiteral("42"), 2);
    EXPECT_TRUE(s.logic.Modified());
    EXPECT_TRUE(s.logic.EditKeyDown(Qt::Key_Escape, Qt::NoModifier));
    EXPECT_EQ(s.shown, QStringLiteral("10"));
    EXPECT_FALSE(s.logic.EditKeyDown(Qt::Key_Escape, Qt::NoModifier)); // nothing to undo: passed on
    s.logic.EditChange(QStringLiteral("42"), 2);
    EXPECT_TRUE(s.logic.EditKeyDown(Qt::Key_Return, Qt::NoModifier));
    EXPECT_EQ(s.logic.Position(), 42);
    EXPECT_EQ(s.Take(), (Events{"scroll 8 42", "change 42"}));
    // Up with a typed value: the value is taken first, then the step.
    s.logic.EditChange(QStringLiteral("7"), 1);
    EXPECT_TRUE(s.logic.EditKeyDown(Qt::Key_Up, Qt::NoModifier));
    EXPECT_EQ(s.logic.Position(), 8);
    EXPECT_EQ(s.Take(), (Events{"scroll 8 7", "change 7", "scroll 0 8", "change 8"}));
    s.logic.EditKeyUp(Qt::Key_Up);
    EXPECT_EQ(s.Take(), (Events{"scroll 8 8"}));
    // A text that is no number leaves the position and shows it again.
    s.logic.EditChange(QStringLiteral(""), 0);
    s.logic.EditExit();
    EXPECT_EQ(s.logic.Position(), 8);
    EXPECT_EQ(s.shown, QStringLiteral("8"));
    EXPECT_FALSE(s.logic.Modified());
}

TEST(SpinnerLogic, DragMovesByDistanceTimesSensitivity)
{
    TWatchedSpinner s;
    s.logic.SetDragThreshold(4);
    s.logic.SetPosition(20);
    s.Take();
    s.logic.SpinMouseDown(Qt::LeftButton, Qt::LeftButton, 10);
    s.logic.SpinMouseMove(At(7)); // below the threshold: nothing
    EXPECT_FALSE(s.logic.Dragging());
    s.logic.SpinMouseMove(At(0));
    EXPECT_TRUE(s.logic.Dragging());
    EXPECT_TRUE(s.dragCursor);
    s.logic.SpinMouseMove(At(-10));
    EXPECT_EQ(s.logic.Position(), 30); // 20 pixels up at 0.5
    s.logic.SpinMouseUp(Qt::LeftButton, Qt::NoButton, -10);
    EXPECT_FALSE(s.logic.Dragging());
    EXPECT_FALSE(s.dragCursor);
    EXPECT_EQ(s.Take(), (Events{"scroll 5 20", "scroll 5 25", "change 25", "scroll 5 30", "change 30", "scroll 4 30",
                                "scroll 8 30"}));
    EXPECT_EQ(s.logic.GetHolding(), 0u);

    // Moving down lowers the value; a sensitivity change during a drag waits for the next one.
    s.logic.SpinMouseDown(Qt::LeftButton, Qt::LeftButton, 10);
    s.logic.SpinMouseMove(At(20));
    s.logic.SetSensitivity(5);
    s.logic.SpinMouseMove(At(30));
    EXPECT_EQ(s.logic.Position(), 20);
    s.logic.SpinMouseUp(Qt::LeftButton, Qt::NoButton, 30);
}

TEST(SpinnerLogic, DragStartsFromTheMiddleAndWrapsAtTheScreenEdges)
{
    TWatchedSpinner s;
    s.logic.SetDragThreshold(4);
    s.logic.SetMax(1000);
    s.logic.SetPosition(500);
    s.logic.SetSensitivity(1);
    // Pressed at y 2: the pointer goes to the middle (10) as far from it as it moved.
    s.logic.SpinMouseDown(Qt::LeftButton, Qt::LeftButton, 2);
    s.logic.SpinMouseMove(At(-3, 5));
    EXPECT_EQ(s.moves, (std::vector<int>{8}));
    EXPECT_EQ(s.logic.Position(), 505);
    // At the top of the screen, moving up: the pointer jumps to the bottom, the count goes on.
    s.logic.SpinMouseMove(At(-5, 5)); // screen y 0
    EXPECT_EQ(s.logic.Position(), 505);
    EXPECT_EQ(s.moves.back(), 598);
    s.logic.SpinMouseMove(At(592, 5)); // screen y 597: one more pixel up, 16 in all
    EXPECT_EQ(s.logic.Position(), 516);
    // At the bottom, moving down: it jumps to the top.
    s.logic.SpinMouseMove(At(594, 5)); // screen y 599
    EXPECT_EQ(s.moves.back(), -598);
    s.logic.SpinMouseMove(At(-3, 5)); // screen y 2: three pixels down from 16 up
    EXPECT_EQ(s.logic.Position(), 513);
    s.logic.SpinMouseUp(Qt::LeftButton, Qt::NoButton, -3);
    EXPECT_EQ(s.logic.Position(), 513);

    // Where the pointer cannot be moved the drag still counts from the press point.
    TWatchedSpinner fixed;
    fixed.cursorMovable = false;
    fixed.logic.SetDragThreshold(4);
    fixed.logic.SetSensitivity(1);
    fixed.logic.SpinMouseDown(Qt::LeftButton, Qt::LeftButton, 2);
    fixed.logic.SpinMouseMove(At(12, 295));
    fixed.logic.SpinMouseMove(At(22, 295));
    EXPECT_EQ(fixed.logic.Position(), 0); // dragged down 20 from 0: clamped
    fixed.logic.SpinMouseMove(At(-8, 295));
    fixed.logic.SpinMouseMove(TSpinnerLogic::TPointer{-5, 0, 0, 600, 21}); // top edge, not moving up
    EXPECT_EQ(fixed.logic.Position(), 7);
    fixed.logic.SpinMouseMove(TSpinnerLogic::TPointer{-6, 0, 0, 600, 21}); // top edge, moving up: no jump possible
    EXPECT_EQ(fixed.logic.Position(), 8);
}

TEST(SpinnerLogic, RightButtonResetsOrCancels)
{
    TWatchedSpinner s;
    s.logic.SetDefaultPosition(5);
    s.logic.SetPosition(40);
    s.Take();
    s.logic.SpinMouseDown(Qt::RightButton, Qt::RightButton, 10);
    s.logic.SpinMouseUp(Qt::RightButton, Qt::NoButton, 10);
    EXPECT_EQ(s.logic.Position(), 5);
    EXPECT_EQ(s.Take(), (Events{"scroll 8 5", "change 5"}));
    s.logic.SetMbCanReset(false);
    s.logic.SetPosition(40);
    s.logic.SpinMouseDown(Qt::RightButton, Qt::RightButton, 10);
    s.logic.SpinMouseUp(Qt::RightButton, Qt::NoButton, 10);
    EXPECT_EQ(s.logic.Position(), 40);

    // The right button during a left drag cancels it: back to where the drag began, and
    // its own release resets nothing.
    s.logic.SetMbCanReset(true);
    s.Take();
    s.logic.SpinMouseDown(Qt::LeftButton, Qt::LeftButton, 10);
    s.logic.SpinMouseMove(At(-10));
    EXPECT_EQ(s.logic.Position(), 50);
    s.logic.SpinMouseDown(Qt::RightButton, Qt::LeftButton | Qt::RightButton, -10);
    s.logic.SpinMouseUp(Qt::LeftButton, Qt::RightButton, -10);
    EXPECT_EQ(s.logic.Position(), 40);
    EXPECT_TRUE(s.logic.RightCancelled());
    EXPECT_FALSE(s.logic.Dragging());
    s.logic.SpinMouseUp(Qt::RightButton, Qt::NoButton, -10);
    EXPECT_EQ(s.logic.Position(), 40);
    EXPECT_EQ(s.Take(), (Events{"scroll 5 40", "scroll 5 50", "change 50", "scroll 8 40", "change 40"}));
}

TEST(SpinnerLogic, ScrollHandlerMayMoveThePosition)
{
    TWatchedSpinner s;
    const int wanted = 250; // out of range: checked again
    s.scrollOverride = &wanted;
    s.logic.SetPosition(10);
    s.Take();
    s.logic.KeyDown(Qt::Key_Up, Qt::NoModifier);
    s.logic.KeyUp(Qt::Key_Up);
    EXPECT_EQ(s.logic.Position(), 100);
    EXPECT_EQ(s.Take(), (Events{"scroll 0 11", "change 11", "scroll 8 11", "change 100"}));

    // A handler that throws is dropped; the step goes on.
    s.logic.OnScroll = TScrollEvent::Bind(&s, [](TObject*, TScrollCode, int&) { throw 1; });
    s.logic.SetPosition(0);
    s.logic.KeyDown(Qt::Key_Up, Qt::NoModifier);
    EXPECT_EQ(s.logic.Position(), 1);
}

TEST(SpinnerLogic, OneHoldAtATime)
{
    TWatchedSpinner s;
    s.logic.SetPosition(10);
    s.logic.KeyDown(Qt::Key_Up, Qt::NoModifier);
    // The mouse cannot join a keyboard hold: no drag starts.
    s.logic.SpinMouseDown(Qt::LeftButton, Qt::LeftButton, 10);
    EXPECT_EQ(s.logic.GetHolding(), TSpinnerLogic::HoldKeyboard);
    s.logic.SpinMouseMove(At(-30));
    EXPECT_FALSE(s.logic.Dragging());
    s.logic.SpinMouseUp(Qt::LeftButton, Qt::NoButton, -30);
    EXPECT_EQ(s.logic.GetHolding(), TSpinnerLogic::HoldKeyboard);
    s.logic.KeyUp(Qt::Key_Up);
    EXPECT_EQ(s.logic.GetHolding(), 0u);
    // Button steps are ignored during a drag.
    s.logic.SpinChanging(true);
    s.logic.SpinMouseDown(Qt::LeftButton, Qt::LeftButton, 10);
    s.logic.SpinMouseMove(At(0));
    const int p = s.logic.Position();
    s.logic.SpinChanging(true);
    EXPECT_EQ(s.logic.Position(), p);
}

TEST(SpinnerLayout, ButtonsTakeThreeQuartersOfTheHeight)
{
    TSpinnerLayout l = TSpinnerLayout::Arrange(63, 21, true, udRight);
    EXPECT_EQ(l.edit, QRect(0, 0, 48, 21));
    EXPECT_EQ(l.buttons, QRect(48, 0, 15, 21));
    l = TSpinnerLayout::Arrange(63, 21, true, udLeft);
    EXPECT_EQ(l.buttons, QRect(0, 0, 15, 21));
    EXPECT_EQ(l.edit, QRect(15, 0, 48, 21));
    l = TSpinnerLayout::Arrange(63, 21, false, udRight);
    EXPECT_EQ(l.edit, QRect(0, 0, 63, 21));
    EXPECT_EQ(l.buttons.width(), 0);
    EXPECT_EQ(TSpinnerLayout::Arrange(10, 40, true, udRight).buttons.width(), 10); // never wider than the control
    EXPECT_EQ(TSpinnerLayout::DefaultWidth(21), 63);
}

} // namespace
} // namespace fk
