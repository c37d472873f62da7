// The knob widget driven like a user drives it: real mouse presses, drags and keys through
// QTest on the offscreen platform, and pictures of every style for a reviewer.
#include "controls/Knob.h"
#include "controls/KnobSpinButtons.h"
#include "ScreenshotUtil.h"

#include <QApplication>
#include <QLabel>
#include <QStyle>
#include <QWheelEvent>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>

namespace fk {
namespace {

// Collects the knob's events as letters: S start, M move, C change, E end, K click, D double.
class TKnobEvents {
public:
    explicit TKnobEvents(TKnob& knob)
    {
        knob.OnStartMove = TNotifyEvent(this, &TKnobEvents::Start);
        knob.OnMove = TNotifyEvent(this, &TKnobEvents::Move);
        knob.OnChangePosition = TNotifyEvent(this, &TKnobEvents::Change);
        knob.OnEndMove = TNotifyEvent(this, &TKnobEvents::End);
        knob.OnKnobClick = TNotifyEvent(this, &TKnobEvents::Click);
    }
    std::string Take()
    {
        std::string e;
        e.swap(events);
        return e;
    }
    // The letters without the moves of a drag.
    std::string TakeWithoutMoves()
    {
        std::string e = Take();
        std::erase(e, 'M');
        return e;
    }
    std::string events;

private:
    void Start(TObject*) { events += 'S'; }
    void Move(TObject*) { events += 'M'; }
    void Change(TObject*) { events += 'C'; }
    void End(TObject*) { events += 'E'; }
    void Click(TObject*) { events += 'K'; }
};

class KnobWidget : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = QLocale();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        window_ = std::make_unique<QWidget>();
        window_->resize(200, 120);
        knob_ = new TKnob(window_.get());
        knob_->move(20, 20);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        events_ = std::make_unique<TKnobEvents>(*knob_);
    }
    void TearDown() override
    {
        window_.reset();
        QLocale::setDefault(saved_);
    }
    QWidget* Spin() const { return knob_->SpinButtons(); }
    QPoint UpButton() const { return QPoint(Spin()->width() / 2, 3); }
    QPoint DownButton() const { return QPoint(Spin()->width() / 2, Spin()->height() - 3); }
    // A point on a circle around the turning face's centre, at an angle in degrees.
    QPoint OnFace(double degrees) const
    {
        const double r = degrees * std::numbers::pi / 180;
        const QWidget* face = knob_->KnobFace();
        const double radius = face->width() * 0.4;
        return QPoint(face->width() / 2 + static_cast<int>(std::lround(radius * std::cos(r))),
                      face->height() / 2 - static_cast<int>(std::lround(radius * std::sin(r))));
    }

    QLocale saved_;
    std::unique_ptr<QWidget> window_;
    TKnob* knob_ = nullptr;
    std::unique_ptr<TKnobEvents> events_;
};

TEST_F(KnobWidget, SpinClicksStepAndEndEachMoveOnce)
{
    knob_->setMax(3);
    QTest::mouseClick(Spin(), Qt::LeftButton, {}, UpButton());
    EXPECT_EQ(knob_->Position(), 1);
    EXPECT_EQ(events_->Take(), "SCE");
    EXPECT_EQ(knob_->Edit()->text(), QStringLiteral("1"));
    QTest::mouseClick(Spin(), Qt::LeftButton, {}, DownButton());
    EXPECT_EQ(knob_->Position(), 0);
    EXPECT_EQ(events_->Take(), "SCE");
    // At Min a step down is refused: no event at all.
    QTest::mouseClick(Spin(), Qt::LeftButton, {}, DownButton());
    EXPECT_EQ(events_->Take(), "");
    knob_->setPosition(3);
    events_->Take();
    QTest::mouseClick(Spin(), Qt::LeftButton, {}, UpButton());
    EXPECT_EQ(knob_->Position(), 3);
    EXPECT_EQ(events_->Take(), "");
    EXPECT_TRUE(knob_->hasFocus()); // a press on the buttons takes the focus
}

TEST_F(KnobWidget, SpinDragFollowsThePointerAndCancelsWithTheRightButton)
{
    knob_->setPosition(50);
    events_->Take();
    const QPoint press = UpButton();
    const int middle = Spin()->height() / 2;
    QTest::mousePress(Spin(), Qt::LeftButton, {}, press);
    QTest::mouseMove(Spin(), press - QPoint(0, 1)); // below the threshold
    EXPECT_EQ(knob_->Position(), 51);               // only the press's own step
    QTest::mouseMove(Spin(), press - QPoint(0, 20));
    EXPECT_EQ(knob_->Position(), 60); // 20 pixels at 2 pixels per step, from 50
    // The pointer was put on the buttons' middle plus the distance dragged.
    EXPECT_EQ(Spin()->mapFromGlobal(QCursor::pos()).y(), middle - 20);
    const QPoint back(press.x(), middle - 10);
    QTest::mouseMove(Spin(), back);
    EXPECT_EQ(knob_->Position(), 55);
    QTest::mouseRelease(Spin(), Qt::LeftButton, {}, back);
    EXPECT_EQ(knob_->Position(), 55);
    EXPECT_EQ(events_->TakeWithoutMoves(), "SCCCE");

    // The same drag, cancelled: the right button is down when the left one is released.
    QTest::mousePress(Spin(), Qt::LeftButton, {}, press);
    QTest::mouseMove(Spin(), press - QPoint(0, 20));
    EXPECT_EQ(knob_->Position(), 65);
    const QPoint at(press.x(), middle - 20);
    QTest::mousePress(Spin(), Qt::RightButton, {}, at);
    QTest::mouseRelease(Spin(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(Spin(), Qt::RightButton, {}, at);
    EXPECT_EQ(knob_->Position(), 55);
    EXPECT_EQ(events_->TakeWithoutMoves(), "SCCCE");
}

TEST_F(KnobWidget, SpinDragGoesOnPastTheTopOfTheScreen)
{
    knob_->setMax(2000);
    knob_->setPosition(1000);
    const QPoint press = UpButton();
    const int top = Spin()->mapToGlobal(QPoint(0, 0)).y() - Spin()->screen()->geometry().top();
    const int screenHeight = Spin()->screen()->geometry().height();
    QTest::mousePress(Spin(), Qt::LeftButton, {}, press);
    QTest::mouseMove(Spin(), press - QPoint(0, 4));
    events_->Take();
    const int local = Spin()->mapFromGlobal(QCursor::pos()).y();
    // Up to the top screen row: the pointer reappears near the bottom.
    QTest::mouseMove(Spin(), QPoint(press.x(), -top));
    const int atTop = knob_->Position();
    EXPECT_EQ(atTop, 1000 + 1 + (local + top) / 2 + 2);
    EXPECT_EQ(QCursor::pos().y() - Spin()->screen()->geometry().top(), screenHeight - 2);
    // 20 pixels further up from there: 10 steps more.
    const QPoint after(press.x(), Spin()->mapFromGlobal(QCursor::pos()).y() - 20);
    QTest::mouseMove(Spin(), after);
    EXPECT_EQ(knob_->Position(), atTop + 10);
    QTest::mouseRelease(Spin(), Qt::LeftButton, {}, after);
    EXPECT_EQ(knob_->Position(), atTop + 10);
    EXPECT_EQ(events_->TakeWithoutMoves().back(), 'E');
}

TEST_F(KnobWidget, FocusAndPointerEventsComeOncePerVisit)
{
    std::string seen;
    knob_->OnEnter = TNotifyEvent::Bind(&seen, [&seen](TObject*) { seen += "<"; });
    knob_->OnExit = TNotifyEvent::Bind(&seen, [&seen](TObject*) { seen += ">"; }, 1);
    knob_->OnEditEnter = TNotifyEvent::Bind(&seen, [&seen](TObject*) { seen += "e"; }, 2);
    knob_->OnEditExit = TNotifyEvent::Bind(&seen, [&seen](TObject*) { seen += "x"; }, 3);
    auto* other = new QLineEdit(window_.get());
    other->move(20, 90);
    other->show();
    window_->activateWindow();
    other->setFocus();
    seen.clear();
    knob_->Edit()->setFocus();
    knob_->setFocus(); // from the edit box to the knob: still inside
    other->setFocus();
    EXPECT_EQ(seen, "<ex>");
    // Leaving the edit box applies what was typed, before OnEditExit.
    knob_->Edit()->setFocus();
    knob_->Edit()->selectAll();
    QTest::keyClicks(knob_->Edit(), QStringLiteral("42"));
    events_->Take();
    other->setFocus();
    EXPECT_EQ(knob_->Position(), 42);
    EXPECT_EQ(events_->Take(), "SCE");

    // The pointer across the parts: one enter, one leave.
    std::string pointer;
    knob_->OnMouseEnter = TNotifyEvent::Bind(&pointer, [&pointer](TObject*) { pointer += "["; });
    knob_->OnMouseLeave = TNotifyEvent::Bind(&pointer, [&pointer](TObject*) { pointer += "]"; }, 1);
    QTest::mouseMove(window_.get(), QPoint(5, 5));
    for (QWidget* part : {static_cast<QWidget*>(knob_->KnobFace()), static_cast<QWidget*>(knob_->Edit()),
                          static_cast<QWidget*>(Spin()), static_cast<QWidget*>(knob_->BackgroundFace())})
        QTest::mouseMove(part, QPoint(2, 2));
    QTest::mouseMove(window_.get(), QPoint(5, 5));
    EXPECT_EQ(pointer, "[]");
}

TEST_F(KnobWidget, ArrowKeysStepTheKnob)
{
    knob_->setFocus();
    QTest::keyClick(knob_, Qt::Key_Up);
    QTest::keyClick(knob_, Qt::Key_Up);
    EXPECT_EQ(knob_->Position(), 2);
    EXPECT_EQ(events_->Take(), "SCESCE");
    QTest::keyClick(knob_, Qt::Key_Down);
    EXPECT_EQ(knob_->Position(), 1);
    knob_->setPosition(100);
    events_->Take();
    QTest::keyClick(knob_, Qt::Key_Up);
    EXPECT_EQ(events_->Take(), "");
}

TEST_F(KnobWidget, PageKeysAndHomeEndAreOneWholeMoveEach)
{
    knob_->setMax(12);
    knob_->setIncrement(2);
    knob_->setFocus();
    QTest::keyClick(knob_, Qt::Key_PageUp); // five steps
    EXPECT_EQ(knob_->Position(), 10);
    EXPECT_EQ(events_->Take(), "SCE");
    QTest::keyClick(knob_, Qt::Key_PageUp); // clamped at the end
    EXPECT_EQ(knob_->Position(), 12);
    QTest::keyClick(knob_, Qt::Key_PageUp); // already there: nothing
    EXPECT_EQ(events_->Take(), "SCE");
    QTest::keyClick(knob_, Qt::Key_Home);
    EXPECT_EQ(knob_->Position(), 0);
    EXPECT_EQ(events_->Take(), "SCE");
    // In the edit box too; Home and End move the caret while a number is being typed.
    QLineEdit* edit = knob_->Edit();
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_End);
    EXPECT_EQ(knob_->Position(), 12);
    EXPECT_EQ(events_->Take(), "SCE");
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("4"));
    QTest::keyClick(edit, Qt::Key_Home);
    EXPECT_EQ(edit->cursorPosition(), 0);
    EXPECT_EQ(knob_->Position(), 12);
    QTest::keyClick(edit, Qt::Key_PageDown); // the typed 4 counts first, then five steps down
    EXPECT_EQ(knob_->Position(), 0);
    EXPECT_EQ(events_->Take(), "SCESCE");
    // A knob that may not move takes none of them.
    knob_->setCanMove(false);
    QTest::keyClick(knob_, Qt::Key_End);
    EXPECT_EQ(knob_->Position(), 0);
    EXPECT_EQ(events_->Take(), "");
}

TEST_F(KnobWidget, TypingIsFilteredAndEnterApplies)
{
    knob_->setDot(1);
    QLineEdit* edit = knob_->Edit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("1x,5,"));
    EXPECT_EQ(edit->text(), QStringLiteral("1.5"));
    EXPECT_EQ(knob_->Position(), 0);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(knob_->Position(), 15);
    EXPECT_EQ(events_->Take(), "SCE");
    // The arrow keys in the edit box step, and the caret goes to the end (down) or start (up).
    QTest::keyClick(edit, Qt::Key_Down);
    EXPECT_EQ(knob_->Position(), 14);
    EXPECT_EQ(edit->text(), QStringLiteral("1.4"));
    EXPECT_EQ(edit->cursorPosition(), 3);
    QTest::keyClick(edit, Qt::Key_Up);
    EXPECT_EQ(edit->cursorPosition(), 0);
    EXPECT_EQ(events_->Take(), "SCESCE");
    // Escape brings the text back; leaving the box applies an edited text.
    edit->end(false);
    QTest::keyClicks(edit, QStringLiteral("9"));
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(edit->text(), QStringLiteral("1.5"));
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("2"));
    knob_->setFocus();
    EXPECT_EQ(knob_->Position(), 20);
    EXPECT_EQ(events_->Take(), "SCE");
}

TEST_F(KnobWidget, TypingUnderACommaLocale)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    knob_->setDot(2);
    knob_->setPosition(5);
    QLineEdit* edit = knob_->Edit();
    EXPECT_EQ(edit->text(), QStringLiteral("0,05"));
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("0.4"));
    EXPECT_EQ(edit->text(), QStringLiteral("0,4"));
    QTest::keyClick(edit, Qt::Key_Enter);
    EXPECT_EQ(knob_->Position(), 40);
    EXPECT_EQ(edit->text(), QStringLiteral("0,40"));
}

TEST_F(KnobWidget, TurningTheFaceMovesThePositionWithoutAClick)
{
    QWidget* face = knob_->KnobFace();
    QTest::mousePress(face, Qt::LeftButton, {}, OnFace(90));
    for (int a = 80; a >= 0; a -= 10)
        QTest::mouseMove(face, OnFace(a));
    EXPECT_NEAR(knob_->Position(), 25, 2);
    QTest::mouseRelease(face, Qt::LeftButton, {}, OnFace(0));
    EXPECT_NEAR(knob_->Position(), 25, 2);
    EXPECT_DOUBLE_EQ(knob_->Angle(), 90 - 3.6 * knob_->Position()); // snapped to the position
    // One start, changes while turning, one end, and no click.
    const std::string e = events_->TakeWithoutMoves();
    EXPECT_EQ(e, "S" + std::string(e.size() - 2, 'C') + "E");
    EXPECT_GE(e.size(), 6u);
}

TEST_F(KnobWidget, AClickOnAFaceIsAClickAndARightClickResets)
{
    knob_->setZeroPosition(30);
    knob_->setPosition(70);
    events_->Take();
    QTest::mouseClick(knob_->KnobFace(), Qt::LeftButton, {}, OnFace(45));
    EXPECT_EQ(knob_->Position(), 70);
    EXPECT_EQ(events_->Take(), "KE");
    QTest::mouseClick(knob_->BackgroundFace(), Qt::RightButton, {}, QPoint(1, 12));
    EXPECT_EQ(knob_->Position(), 30);
    EXPECT_EQ(events_->Take(), "CE");
}

TEST_F(KnobWidget, DisablingGreysTheKnobAndStopsTheUser)
{
    knob_->setEnabled(false);
    EXPECT_FALSE(knob_->CanMove());
    EXPECT_TRUE(knob_->Edit()->isReadOnly());
    EXPECT_EQ(knob_->KnobFace()->Pen().color(), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(knob_->BackgroundFace()->Brush().color(), QColor(0xC0, 0xC0, 0xC0));
    // A disabled parent disables the knob as well; enabling it again lets the user move it.
    knob_->setEnabled(true);
    window_->setEnabled(false);
    EXPECT_FALSE(knob_->CanMove());
    window_->setEnabled(true);
    EXPECT_TRUE(knob_->CanMove());
    EXPECT_EQ(knob_->BackgroundFace()->Brush().color(), knob_->Color2());
    // CanMove false: the buttons and the edit box refuse, the program still sets positions.
    knob_->setCanMove(false);
    QTest::mouseClick(Spin(), Qt::LeftButton, {}, UpButton());
    EXPECT_EQ(knob_->Position(), 0);
    EXPECT_FALSE(knob_->Edit()->isEnabled());
    knob_->setPosition(7);
    EXPECT_EQ(knob_->Edit()->text(), QStringLiteral("7"));
}

TEST_F(KnobWidget, SpinOnlyLayoutPutsTheUnitBehindTheButtons)
{
    knob_->setStyle(kstSpinOnly);
    knob_->setMin(1);
    knob_->setMax(30);
    knob_->setValueMultiplier(10);
    knob_->setUnit(QStringLiteral("s"));
    knob_->setPosition(3);
    EXPECT_EQ(knob_->Edit()->text(), QStringLiteral("30"));
    EXPECT_TRUE(knob_->KnobFace()->isHidden());
    EXPECT_TRUE(knob_->BackgroundFace()->isHidden());
    const QRect edit = knob_->Edit()->geometry();
    const QRect spin = Spin()->geometry();
    const QRect unit = knob_->UnitLabel()->geometry();
    EXPECT_EQ(edit.left(), 0);
    EXPECT_EQ(spin.left(), edit.right() + 1);
    EXPECT_EQ(spin.bottom(), edit.bottom());
    EXPECT_EQ(spin.height() % 2, 1);
    EXPECT_GT(unit.left(), spin.right());
    EXPECT_FALSE(knob_->UnitLabel()->isHidden());
    EXPECT_EQ(knob_->size(), QSize(unit.right() + 1, std::max(edit.bottom(), unit.bottom()) + 1));
    EXPECT_EQ(knob_->sizeHint(), knob_->size());
}

// A held spin button that loses its knob (disabled as when the link drops, or hidden) stops
// stepping and ends its move; its late release does nothing.
TEST_F(KnobWidget, AHeldSpinButtonLetsGoWhenTheKnobIsDisabledOrHidden)
{
    const int repeat = Spin()->style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatThreshold) + 100;
    for (const bool hide : {false, true}) {
        SCOPED_TRACE(hide ? "hidden" : "disabled");
        knob_->setPosition(0);
        events_->Take();
        QTest::mousePress(Spin(), Qt::LeftButton, {}, UpButton());
        EXPECT_EQ(events_->Take(), "SC");
        if (hide)
            knob_->hide();
        else
            window_->setEnabled(false);
        EXPECT_EQ(events_->Take(), "E");
        const int held = knob_->Position();
        QTest::qWait(repeat);
        window_->setEnabled(true);
        knob_->show();
        QTest::qWait(repeat);
        EXPECT_EQ(knob_->Position(), held);
        QTest::mouseRelease(Spin(), Qt::LeftButton, {}, UpButton());
        EXPECT_EQ(events_->Take(), "");
    }
}

// X11 reports a held key as release and press pairs and marks only the first release as an
// auto-repeat: the whole hold is still one move.
TEST_F(KnobWidget, AHeldArrowKeyInTheEditIsOneMove)
{
    knob_->Edit()->setFocus();
    const auto send = [&](QEvent::Type type, bool autoRepeat) {
        QKeyEvent key(type, Qt::Key_Up, Qt::NoModifier, QString(), autoRepeat);
        QApplication::sendEvent(knob_->Edit(), &key);
    };
    send(QEvent::KeyPress, false);
    send(QEvent::KeyRelease, true);
    send(QEvent::KeyPress, true);
    for (int i = 0; i < 3; ++i) {
        send(QEvent::KeyRelease, false);
        send(QEvent::KeyPress, true);
    }
    send(QEvent::KeyRelease, false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return events_->events.ends_with('E'); }));
    EXPECT_EQ(events_->events, "SCCCCCE");
    EXPECT_EQ(knob_->Position(), 5);
}

// One wheel notch is one increment over the edit, the buttons or the knob; a burst of notches
// is one move. A knob that cannot move lets the wheel go by.
TEST_F(KnobWidget, AWheelBurstIsOneMove)
{
    knob_->setIncrement(2);
    const auto wheel = [&](QWidget* target, int delta) {
        const QPointF at(2, 2);
        QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
        return event.isAccepted();
    };
    EXPECT_TRUE(wheel(knob_->Edit(), 120));
    EXPECT_TRUE(wheel(Spin(), 240));
    EXPECT_TRUE(wheel(knob_, 60)); // half a notch: nothing yet
    EXPECT_TRUE(wheel(knob_, 60));
    EXPECT_EQ(knob_->Position(), 8);
    EXPECT_EQ(events_->events, "SCCC");
    EXPECT_TRUE(QTest::qWaitFor([&] { return events_->events.ends_with('E'); }));
    EXPECT_EQ(events_->events, "SCCCE");
    events_->Take();
    wheel(knob_->Edit(), -120);
    EXPECT_EQ(knob_->Position(), 6);
    EXPECT_TRUE(QTest::qWaitFor([&] { return events_->events.ends_with('E'); }));
    EXPECT_EQ(events_->events, "SCE");
    events_->Take();

    knob_->setCanMove(false);
    EXPECT_FALSE(wheel(knob_->Edit(), 120));
    knob_->setCanMove(true);
    knob_->setEnabled(false);
    wheel(knob_, 120);
    knob_->setEnabled(true);
    QTest::qWait(TKnob::WheelBurstEnd + 100);
    EXPECT_EQ(knob_->Position(), 6);
    EXPECT_EQ(events_->Take(), "");
}

// With its signals blocked the program sets the knob without hearing it back; a user's move
// afterwards raises the events and the signals again, each signal after its event.
TEST_F(KnobWidget, BlockedSignalsSetTheKnobSilentlyAndAMoveSpeaksAgain)
{
    std::string& heard = events_->events; // signals in lower case beside the events
    QObject::connect(knob_, &TKnob::moveStarted, knob_, [&] { heard += 's'; });
    QObject::connect(knob_, &TKnob::positionChanged, knob_, [&](int p) { heard += 'c' + std::to_string(p); });
    QObject::connect(knob_, &TKnob::moveEnded, knob_, [&] { heard += 'e'; });
    {
        const QSignalBlocker block(knob_);
        knob_->setRangeAndPosition(150, 200, 160); // above the old range 0..100: widened first
        knob_->setPosition(170);
    }
    EXPECT_EQ(knob_->Min(), 150);
    EXPECT_EQ(knob_->Max(), 200);
    EXPECT_EQ(knob_->Position(), 170);
    EXPECT_EQ(knob_->Edit()->text(), QStringLiteral("170"));
    EXPECT_EQ(events_->Take(), "");

    QTest::mouseClick(Spin(), Qt::LeftButton, {}, UpButton());
    EXPECT_EQ(events_->Take(), "SsCc171Ee");
}

// Knobs in every style, enabled and disabled, side by side in one picture.
TEST(KnobScreenshot, AllStylesEnabledAndDisabled)
{
    QWidget window;
    window.setAutoFillBackground(true);
    const struct {
        TKnobStyle style;
        const char* caption;
    } styles[] = {{kstAll, "All"}, {kstKnobOnly, "Knob only"}, {kstSpinOnly, "Spin only"}};
    int y = 6;
    for (const auto& s : styles) {
        int x = 6;
        int rowHeight = 0;
        for (const bool enabled : {true, false}) {
            auto* knob = new TKnob(&window);
            knob->setStyle(s.style);
            knob->setCaption(QString::fromLatin1(s.caption) + (enabled ? QString() : QStringLiteral(" (off)")));
            knob->setUnit(s.style == kstSpinOnly ? QStringLiteral("s") : QStringLiteral("ms"));
            knob->setMin(1);
            knob->setMax(50);
            knob->setPosition(25);
            if (s.style == kstSpinOnly) {
                knob->setValueMultiplier(10);
                knob->setMax(30);
            }
            knob->setEnabled(enabled);
            knob->move(x, y);
            x += std::max(knob->width(), 110) + 12;
            rowHeight = std::max(rowHeight, knob->height());
        }
        y += rowHeight + 10;
    }
    window.resize(270, y);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_FALSE(test::SaveScreenshot(window, QStringLiteral("controls"), QStringLiteral("knob-styles")).isEmpty());
}

} // namespace
} // namespace fk

namespace fk {

// The edit and the unit follow the window's theme: a dark palette given after the knob was
// made reaches them, and a knob that cannot move shows them in silver.
TEST(KnobTheme, TextsFollowTheParentsPaletteAfterAThemeChange)
{
    QWidget parent;
    auto* knob = new TKnob(&parent);
    knob->setUnit(QStringLiteral("ms"));
    auto* edit = knob->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    QPalette dark = parent.palette();
    dark.setColor(QPalette::Text, QColor(0xEE, 0xEE, 0xEE));
    dark.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
    dark.setColor(QPalette::Base, QColor(0x20, 0x20, 0x28));
    parent.setPalette(dark);
    EXPECT_EQ(edit->palette().color(QPalette::Active, QPalette::Text), QColor(0xEE, 0xEE, 0xEE));
    knob->setCanSpin(false);
    EXPECT_EQ(edit->palette().color(QPalette::Active, QPalette::Text), QColor(0xC0, 0xC0, 0xC0));
    knob->setCanSpin(true);
    EXPECT_EQ(edit->palette().color(QPalette::Active, QPalette::Text), QColor(0xEE, 0xEE, 0xEE));
    for (QLabel* label : knob->findChildren<QLabel*>())
        EXPECT_EQ(label->palette().color(QPalette::Active, QPalette::WindowText), QColor(0xEE, 0xEE, 0xEE));
}

} // namespace fk
