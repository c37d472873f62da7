// The window end to end against the simulated controller: connecting, the device's
// description and parameters, the knobs' writes, Venting, Reboot and the keyboard.
#include "AppTestHarness.h"
#include "PortHoldingProcess.h"

#include "app/PortListDelegate.h"
#include "controls/Knob.h"
#include "ports/PortImageList.h"
#include "session/DeviceSession.h"

#include <QLineEdit>

#include <QLabel>
#include <QScrollBar>
#include <QStyleHints>

namespace fk::test {
namespace {

TEST_F(MainFormTest, ConnectsShowsTheDeviceAndWritesAKnobOnceOnRelease)
{
    StartSim();
    MakeForm();
    // A fresh window: nothing selected, nothing connected, the controls off.
    EXPECT_TRUE(Button(names::ConnectButton)->isEnabled());
    EXPECT_TRUE(Button(names::ConnectButton)->isDefault());
    EXPECT_FALSE(Button(names::DisconnectButton)->isEnabled());
    EXPECT_FALSE(Button(names::RebootButton)->isEnabled());
    EXPECT_FALSE(Find<QWidget>(names::DeviceControls)->isEnabled());
    EXPECT_EQ(form_->Session().Ports().ItemIndex(), -1);
    EXPECT_EQ(Status(), QString());

    ConnectThroughWindow();
    EXPECT_EQ(form_->Session().Ports().ItemIndex(), 0);
    EXPECT_EQ(form_->PortListBox().currentRow(), 0);
    EXPECT_TRUE(Find<QWidget>(names::DeviceControls)->isEnabled());
    EXPECT_TRUE(Button(names::RebootButton)->isEnabled());
    EXPECT_TRUE(Button(names::DisconnectButton)->isEnabled());
    EXPECT_FALSE(Button(names::ConnectButton)->isDefault());
    EXPECT_TRUE(Find<QLabel>(names::DeviceVersionLabel)->text().contains(QStringLiteral("1.2.0")));
    EXPECT_TRUE(Find<QLabel>(names::DeviceVersionLabel)->text().contains(QStringLiteral("2024-05-17")));
    EXPECT_EQ(Find<QLabel>(names::DeviceInfoLabel)->text(), QStringLiteral("Info: Ferrovan-Kest simulator, S/N: FK-SIM-0001"));
    EXPECT_EQ(form_->StatusLine().PortName(), QString::fromStdString(sim_->PortPath()));
    auto* bar1 = Find<QScrollBar>(names::OpenTimeScrollBar);
    auto* bar2 = Find<QScrollBar>(names::BreakTimeScrollBar);
    EXPECT_EQ(bar1->value(), 20);
    EXPECT_EQ(bar2->value(), 5);
    EXPECT_EQ(bar2->maximum(), 30);
    auto* knob1 = Find<TKnob>(names::OpenTimeKnob);
    auto* knob2 = Find<TKnob>(names::BreakTimeKnob);
    EXPECT_EQ(knob1->Position(), 20);
    EXPECT_EQ(knob1->Edit()->text(), QStringLiteral("20"));
    EXPECT_EQ(knob2->Position(), 5);
    EXPECT_EQ(knob2->Edit()->text(), QStringLiteral("50"));

    // Dragging writes nothing; releasing writes once.
    bar1->setSliderDown(true);
    for (int v = 21; v <= 30; ++v)
        bar1->setSliderPosition(v);
    Settle(300);
    EXPECT_EQ(LogCount("parameters written"), 0);
    EXPECT_EQ(form_->Session().Knobs().Knob(skOpenTime).Position, 30);
    bar1->setSliderDown(false);
    ASSERT_TRUE(WaitFor([&] { return sim_->Parameters().OpenTime() == 30; }));
    Settle(200);
    EXPECT_EQ(LogCount("parameters written"), 1);

    // A page step is a whole move: one write. Moving to the value the device holds writes nothing.
    bar2->triggerAction(QAbstractSlider::SliderPageStepAdd);
    ASSERT_TRUE(WaitFor([&] { return sim_->Parameters().BreakTime() == 10; }));
    EXPECT_EQ(knob2->Position(), 10);
    bar1->setSliderDown(true);
    bar1->setSliderPosition(25);
    bar1->setSliderPosition(30);
    bar1->setSliderDown(false);
    Settle(300);
    EXPECT_EQ(LogCount("parameters written"), 2);

    // The knob itself: a spin step is a whole move and writes once; the scroll bar follows.
    knob1->SpinChange(31, TKnobLogic::scStartMove | TKnobLogic::scEndMove, 1, true); // one step up
    ASSERT_TRUE(WaitFor([&] { return sim_->Parameters().OpenTime() == 31; }));
    EXPECT_EQ(bar1->value(), 31);
    Settle(200);
    EXPECT_EQ(LogCount("parameters written"), 3);
}

TEST_F(MainFormTest, VentingAndRebootReachTheDevice)
{
    StartSim();
    MakeForm();
    ConnectThroughWindow();
    QTest::mouseClick(Button(names::VentingButton), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return sim_->Venting(); }));
    QTest::mouseClick(Button(names::VentingButton), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !sim_->Venting(); }));

    QTest::mouseClick(Button(names::RebootButton), Qt::LeftButton);
    // Controls off while the device restarts, then the window is connected again.
    ASSERT_TRUE(WaitFor([&] { return !Find<QWidget>(names::DeviceControls)->isEnabled(); }));
    EXPECT_FALSE(Button(names::RebootButton)->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return LogCount("restarted: the application runs") == 1; }));
    ASSERT_TRUE(WaitFor([&] { return Find<QWidget>(names::DeviceControls)->isEnabled(); }));
    EXPECT_EQ(Status(), QStringLiteral("Connected"));
    EXPECT_EQ(LogCount("restarting into the application"), 1);
}

TEST_F(MainFormTest, DoubleEscDisconnectsSingleEscAndEscKeyEscDoNot)
{
    StartSim();
    MakeForm();
    ConnectThroughWindow();
    form_->activateWindow();
    const auto key = [&](Qt::Key k) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : form_.get();
        QTest::keyClick(target, k);
    };
    key(Qt::Key_Escape);
    Settle(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
    key(Qt::Key_Escape); // too late for a pair
    Settle(100);
    EXPECT_EQ(Status(), QStringLiteral("Connected"));
    Settle(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
    key(Qt::Key_Escape);
    key(Qt::Key_X);
    key(Qt::Key_Escape);
    Settle(100);
    EXPECT_EQ(Status(), QStringLiteral("Connected"));
    EXPECT_TRUE(Button(names::DisconnectButton)->isEnabled());

    Settle(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
    key(Qt::Key_Escape);
    key(Qt::Key_Escape);
    // Closed by the user: "Disconnected", and it stays once the port has closed.
    ASSERT_TRUE(WaitFor([&] { return !Button(names::DisconnectButton)->isEnabled(); }));
    EXPECT_EQ(form_->Session().DeviceState(), dsNone);
    EXPECT_EQ(Status(), QStringLiteral("Disconnected"));
    EXPECT_TRUE(Button(names::ConnectButton)->isDefault());
    EXPECT_EQ(Find<QLabel>(names::DeviceVersionLabel)->text(), QString());
    EXPECT_EQ(form_->StatusLine().PortName(), QString());
}

TEST_F(MainFormTest, ALostDeviceSaysSoUntilTheUserActs)
{
    StartSim();
    MakeForm();
    ConnectThroughWindow();
    sim_.reset(); // the simulator ends: the line hangs up
    ASSERT_TRUE(WaitFor([&] { return !Button(names::DisconnectButton)->isEnabled(); })) << Status().toStdString();
    Settle(100);
    EXPECT_EQ(Status(), QStringLiteral("Connection lost"));
    EXPECT_EQ(form_->StatusLine().StatusIconClass(), icWarning);
}

// While a silent controller is being asked, its row carries the "no device answering" overlay
// and the other rows are set apart, from the open on.
TEST_F(MainFormTest, TheRowInUseShowsTheDeviceStateFromTheOpenOn)
{
    TSimOptions silent;
    silent.DropEvery = 1;
    StartSim(silent);
    TMainFormSetup setup;
    setup.ExtraPorts.push_back({sim_->PortPath(), "Simulated controller"});
    setup.ExtraPorts.push_back({"/dev/ttyFERROVAN-other", "another port"});
    MakeForm(setup);
    const int row = form_->Session().Ports().List()[0].PortName == sim_->PortPath() ? 0 : 1;
    ClickRow(row);
    QTest::mouseClick(Button(names::ConnectButton), Qt::LeftButton);
    ASSERT_TRUE(WaitStatus(QStringLiteral("Connecting ..."))) << Status().toStdString();
    const TPortListDelegate* delegate = form_->PortListBox().Delegate();
    EXPECT_EQ(delegate->ConnectedRow(), row);
    EXPECT_EQ(delegate->ConnectedOverlay(), TPortImageList::ovProblem);
}

TEST_F(MainFormTest, APortThatCannotBeOpenedShowsWhyAndNameNotInTheListConnectsNothing)
{
    TMainFormSetup setup;
    const QString plain = dir_.filePath(QStringLiteral("not-a-tty"));
    QFile file(plain);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    setup.ExtraPorts.push_back({plain.toStdString(), "a plain file"});
    MakeForm(setup);
    ClickRow(0);
    QTest::mouseClick(Button(names::ConnectButton), Qt::LeftButton);
    ASSERT_TRUE(WaitStatus(QStringLiteral("Can not open the port"))) << Status().toStdString();
    EXPECT_EQ(form_->StatusLine().StatusIconClass(), icWarning);
    const QString reason = form_->StatusLine().StatusHint();
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_FALSE(Button(names::DisconnectButton)->isEnabled());
    EXPECT_TRUE(Button(names::ConnectButton)->isDefault());
    // The reason is told in the language shown.
    form_->SetLanguage(lngPolish);
    QTest::mouseClick(Button(names::ConnectButton), Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] {
        const QString hint = form_->StatusLine().StatusHint();
        return !hint.isEmpty() && hint != reason;
    })) << form_->StatusLine().StatusHint().toStdString();
    EXPECT_EQ(Status(), QStringLiteral("Nie można otworzyć portu"));
    form_->SetLanguage(lngEnglish);

    EXPECT_FALSE(form_->ConnectToName("ttyNOTHERE"));
    EXPECT_EQ(Status(), QStringLiteral("No port selected"));
    EXPECT_FALSE(Button(names::DisconnectButton)->isEnabled());
}

// The holder of a busy port is named in the status line's tool tip, in the window's language.
TEST_F(MainFormTest, APortInUseNamesItsHolderInTheStatusToolTip)
{
    StartSim();
    PortHoldingProcess brltty(sim_->PortPath(), "brltty");
    ASSERT_TRUE(brltty.Held());
    MakeForm();
    form_->SetLanguage(lngPolish);
    ClickRow(0);
    QTest::mouseClick(Button(names::ConnectButton), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return form_->Session().StatusIndex() == staPortInUse; }, 15000)) << Status().toStdString();
    const QString hint = form_->StatusLine().StatusHint();
    EXPECT_TRUE(hint.startsWith(QStringLiteral("brltty (proces ") + QString::number(brltty.Pid()))) << hint.toStdString();
    EXPECT_EQ(form_->Session().Diagnosis().PortHolder().Culprit, pcBrltty);
}

TEST_F(MainFormTest, CommandLineConnectNameConnectsOnceTheListIsFilled)
{
    StartSim();
    TMainFormSetup setup;
    setup.ConnectName = sim_->PortPath();
    MakeForm(setup);
    ASSERT_TRUE(WaitStatus(QStringLiteral("Connected")));
    EXPECT_FALSE(form_->Settings().Has(optConnectAtStartup));
}

} // namespace
} // namespace fk::test
