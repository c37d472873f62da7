// The window's knobs end to end against the simulated controller: the device always ends up
// holding what the window shows, a held button never outlives the link, a value outside the
// firmware's range is reported and left alone, and every skin keeps the knobs legible.
#include "AppTestHarness.h"

#include "controls/Knob.h"
#include "controls/KnobColors.h"
#include "controls/KnobSpinButtons.h"
#include "session/DeviceSession.h"

#include <QLineEdit>
#include <QScrollBar>

namespace fk::test {
namespace {

class MainFormKnobTest : public MainFormTest {
protected:
    TKnob* Knob1() const { return Find<TKnob>(names::OpenTimeKnob); }
    TKnob* Knob2() const { return Find<TKnob>(names::BreakTimeKnob); }
    // One step of a knob, as a spin click makes it.
    static void Step(TKnob* knob, int by)
    {
        knob->SpinChange(knob->Position() + by, TKnobLogic::scStartMove | TKnobLogic::scEndMove, by, true);
    }
    bool AtRest() const { return form_->Session().Requests().Empty(); }
};

// A move undone before the device answered the first write: the second write goes out once
// the first is acknowledged, for the knob and for the scroll bar alike.
TEST_F(MainFormKnobTest, AMoveUndoneWithinOneRoundTripIsWrittenToo)
{
    TSimOptions o;
    o.ReplyDelayMs = 200;
    StartSim(o);
    MakeForm();
    ConnectThroughWindow();
    ASSERT_EQ(sim_->Parameters().OpenTime(), 20);
    Step(Knob1(), +1);
    Step(Knob1(), -1);
    // (A slow reply may be resent: the writes are not counted.)
    ASSERT_TRUE(WaitFor([&] { return AtRest() && sim_->Parameters().OpenTime() == 20; })) << LogText();
    EXPECT_GE(LogCount("parameters written: 1 bytes at offset 0"), 2);
    EXPECT_EQ(Knob1()->Position(), 20);

    auto* bar = Find<QScrollBar>(names::BreakTimeScrollBar);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    ASSERT_TRUE(WaitFor([&] { return AtRest() && sim_->Parameters().BreakTime() == 5; })) << LogText();
    EXPECT_GE(LogCount("parameters written: 1 bytes at offset 1"), 2);
    EXPECT_EQ(Knob2()->Position(), 5);
}

// The link goes while a spin button is held: the hold ends with the link, and after the next
// connection the knob neither climbs by itself nor writes.
TEST_F(MainFormKnobTest, AHeldButtonEndsWithTheLink)
{
    StartSim();
    MakeForm();
    ConnectThroughWindow();
    QWidget* spin = Knob1()->SpinButtons();
    QTest::mousePress(spin, Qt::LeftButton, {}, QPoint(spin->width() / 2, 3));
    EXPECT_EQ(Knob1()->Position(), 21);
    Button(names::DisconnectButton)->click(); // the button held down meanwhile
    ASSERT_TRUE(WaitFor([&] { return !Button(names::DisconnectButton)->isEnabled(); }));
    Button(names::ConnectButton)->click();
    ASSERT_TRUE(WaitStatus(QStringLiteral("Connected"))) << Status().toStdString();
    Settle(spin->style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatThreshold) + 300);
    QTest::mouseRelease(spin, Qt::LeftButton, {}, QPoint(spin->width() / 2, 3));
    Settle(300);
    EXPECT_EQ(Knob1()->Position(), 20);
    EXPECT_EQ(sim_->Parameters().OpenTime(), 20);
    EXPECT_EQ(LogCount("parameters written"), 0);
}

// Firmware 1.1 takes break times 30..90; a device holding 5 is reported, the knob shows the
// nearest end, and nothing is written to that parameter until the user moves its knob.
TEST_F(MainFormKnobTest, ADeviceValueOutsideTheRangeIsReportedAndLeftAlone)
{
    TSimOptions o;
    o.Version[1] = 1;
    o.BreakTime = 5;
    StartSim(o);
    MakeForm();
    ClickRow(0);
    QTest::mouseClick(Button(names::ConnectButton), Qt::LeftButton);
    const QString warning = QStringLiteral("The device's break time lies outside its firmware's range: 50 s");
    ASSERT_TRUE(WaitStatus(warning)) << Status().toStdString();
    EXPECT_EQ(form_->StatusLine().StatusIconClass(), icWarning);
    EXPECT_EQ(Knob2()->Position(), 30);
    EXPECT_EQ(form_->Session().DeviceState(), dsConnected);

    Step(Knob1(), +1); // the other knob: its own write only
    ASSERT_TRUE(WaitFor([&] { return AtRest() && sim_->Parameters().OpenTime() == 21; }));
    EXPECT_EQ(sim_->Parameters().BreakTime(), 5);
    EXPECT_EQ(Status(), warning);

    Step(Knob2(), +1);
    ASSERT_TRUE(WaitFor([&] { return AtRest() && sim_->Parameters().BreakTime() == 31; }));
    EXPECT_EQ(Status(), QStringLiteral("Connected"));
    EXPECT_EQ(LogCount("parameters written"), 2);
}

// Every skin: the arrows keep the text contrast on the spin colour, and a disabled knob keeps
// the disabled-text contrast without bright faces or buttons on a dark window. The platform's
// own skin keeps the written colours.
TEST_F(MainFormKnobTest, EverySkinKeepsTheKnobsLegible)
{
    MakeForm();
    QWidget* group = Find<QWidget>(names::DeviceControls);
    TKnob* knob = Knob1();
    for (const QString& name : form_->Themes().Names()) {
        SCOPED_TRACE(name.toStdString());
        form_->ApplySkin(name);
        const QColor ground = form_->Themes().Palette(name).color(QPalette::Window);
        ASSERT_TRUE(WaitFor([&] { return knob->palette().color(QPalette::Window) == ground; })); // posted to the windows
        const bool platform = name == form_->Themes().PlatformName();
        const QPalette p = knob->palette();
        const bool dark = form_->Themes().IsDark(name);
        const auto contrast = [](const QColor& a, const QColor& b) { return TKnobColors::Contrast(a, b); };
        group->setEnabled(true);
        const TKnobSpinButtons* spin = knob->SpinButtons();
        // The written cyan on the platform's skin; the skin's own buttons on the others.
        EXPECT_EQ(spin->Color(), platform ? knob->Color3() : p.color(QPalette::Active, QPalette::Button));
        EXPECT_GE(contrast(spin->ArrowColor(), spin->Color()), 7.0);
        EXPECT_GE(contrast(knob->KnobFace()->Pen().color(), knob->KnobFace()->Brush().color()), 7.0);

        group->setEnabled(false);
        if (platform) {
            EXPECT_EQ(spin->Color(), QColor(Qt::white));
            EXPECT_EQ(knob->KnobFace()->Brush().color(), QColor(Qt::white));
            EXPECT_EQ(knob->BackgroundFace()->Brush().color(), QColor(0xC0, 0xC0, 0xC0));
            EXPECT_EQ(knob->Edit()->palette().color(QPalette::Disabled, QPalette::Text), QColor(0xC0, 0xC0, 0xC0));
            continue;
        }
        EXPECT_GE(contrast(spin->ArrowColor(), spin->Color()), 2.0);
        EXPECT_GE(contrast(knob->KnobFace()->Pen().color(), knob->KnobFace()->Brush().color()), 2.0);
        const QPalette edit = knob->Edit()->palette();
        EXPECT_GE(contrast(edit.color(QPalette::Disabled, QPalette::Text), edit.color(QPalette::Disabled, QPalette::Base)),
                  2.0);
        if (dark) {
            // Nothing of a disabled knob stands out brighter than a disabled button.
            const QColor window = p.color(QPalette::Window);
            EXPECT_LT(contrast(knob->KnobFace()->Brush().color(), window), 2.0);
            EXPECT_LT(contrast(spin->Color(), window), 2.0);
        }
    }
    form_->ApplySkin(form_->Themes().PlatformName());
}

} // namespace
} // namespace fk::test
