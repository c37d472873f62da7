// The wireless modules in the main window, against simulated modules on 127.0.0.x: their rows
// in the port list, the connection through a module, the Configure pop-up and the module
// dialog it opens, the session's hold-off while the module link is busy; screenshots.
#include "AppTestHarness.h"
#include "ModuleTestSupport.h"
#include "app/FormKCConfig.h"
#include "app/ModuleEntries.h"
#include "controls/MyListView.h"
#include "ports/PortImageList.h"
#include "session/ModuleSession.h"
#include "ScreenshotUtil.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QMenu>

namespace fk::test {
namespace {

class MainFormModules : public MainFormTest {
protected:
    void TearDown() override
    {
        MainFormTest::TearDown();
        sims_.Clear();
    }

    // A window listing the modules on the simulated modules' ports and the serial ports given.
    void MakeModuleForm(std::vector<TExtraPort> serial = {{"ttyUSB0", "USB serial"}})
    {
        TMainFormSetup setup;
        setup.ExtraPorts = std::move(serial);
        setup.ModuleTCPPort = sims_.TCPPort;
        setup.ModuleUDPPort = sims_.UDPPort;
        MakeForm(setup);
        Comm().SetModemTimeout(400); // a silent module leaves soon
        Comm().SetConnectTimeout(1500);
    }

    TKestConnectComm& Comm() { return *form_->Modules().LANPort().ConnectComm; }
    TModuleSession& Session() { return static_cast<TModuleSession&>(form_->Session()); }

    QStringList Rows() const
    {
        QStringList out;
        for (const auto& e : form_->Session().Ports().List())
            out << QString::fromStdString(e.PortName + " " + e.GetDeviceDescription());
        return out;
    }
    int RowOf(const String& name) const
    {
        const auto& list = form_->Session().Ports().List();
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i].PortName == name)
                return int(i);
        return -1;
    }
    bool Listed(const QStringList& rows) { return SpinUntil([&] { return Rows() == rows; }); }

    // The context-menu key on a row.
    void MenuKeyOn(int row)
    {
        TPortListBox& box = form_->PortListBox();
        box.setCurrentRow(row);
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(), box.mapToGlobal(QPoint()));
        QApplication::sendEvent(&box, &event);
    }
    QMenu& Popup() { return *form_->findChild<QMenu*>(QLatin1String(names::PortListMenu)); }

    TSimModules sims_;
};

TEST_F(MainFormModules, ModulesAppearSortedWithTheSerialPortsAndVanishWhenSilent)
{
    sims_.Start("127.0.0.10", [](TSimModuleOptions& o) { o.Name = "KC Mixer"; o.AnnounceIntervalMs = 100; });
    MakeModuleForm();
    ASSERT_TRUE(Listed({"127.0.0.10 KC Mixer", "ttyUSB0 USB serial"})) << Rows().join('|').toStdString();
    TSimModule& pump = sims_.Start("127.0.0.2", [](TSimModuleOptions& o) { o.Name = "KC Pump"; o.AnnounceIntervalMs = 100; });
    // Natural order of the names, modules and serial ports alike: .2 before .10.
    ASSERT_TRUE(Listed({"127.0.0.2 KC Pump", "127.0.0.10 KC Mixer", "ttyUSB0 USB serial"})) << Rows().join('|').toStdString();
    const auto& entry = form_->Session().Ports().List()[0];
    EXPECT_EQ(entry.PortType, TModuleEntries::ModulePortType);
    EXPECT_EQ(entry.ImageIndex, TPortImageList::iiNetwork);
    EXPECT_EQ(form_->PortListBox().count(), 3);

    // The selection stays on its row while the list changes around it.
    ClickRow(2);
    pump.SetAnnouncing(false);
    ASSERT_TRUE(Listed({"127.0.0.10 KC Mixer", "ttyUSB0 USB serial"})) << Rows().join('|').toStdString();
    EXPECT_EQ(form_->Session().Ports().ItemIndex(), 1);
}

TEST_F(MainFormModules, ConnectingToAModuleRowIdentifiesTheDeviceBehindIt)
{
    sims_.Start("127.0.0.3", {}, true);
    MakeModuleForm({});
    ASSERT_TRUE(Listed({"127.0.0.3 KC-SIM"}));
    qint64 openedAt = -1, firstWriteAt = -1;
    QElapsedTimer clock;
    clock.start();
    TKestLANPort& lan = form_->Modules().LANPort();
    const auto opened = TCommOpenEvent::Bind(this, [&](TObject*, const String&, u32 r) {
        if (r == 0)
            openedAt = clock.elapsed();
    });
    const auto wrote = TCommTransferEvent::Bind(this, [&](TObject*, const void*, u32, u32, u32, u32) {
        if (firstWriteAt < 0)
            firstWriteAt = clock.elapsed();
    });
    lan.EventList.OnOpen.Add(opened);
    lan.EventList.OnWrite.Add(wrote);
    ConnectThroughWindow();
    EXPECT_EQ(form_->Session().Serial()->CommPort(), &lan);
    EXPECT_EQ(form_->Session().DeviceInfo().SerialNumber(), "FK-SIM-0001");
    ASSERT_GE(openedAt, 0);
    EXPECT_GE(firstWriteAt - openedAt, qint64(TDeviceSession::ModuleFirstRequestDelay) - 5);
    lan.EventList.OnOpen.Remove(opened);
    lan.EventList.OnWrite.Remove(wrote);
}

TEST_F(MainFormModules, ConfigureIsOfferedOnModuleRowsOnlyAndOpensTheDialogOnThatModule)
{
    sims_.Start("127.0.0.4", [](TSimModuleOptions& o) { o.Name = "KC Yard"; });
    MakeModuleForm();
    ASSERT_TRUE(Listed({"127.0.0.4 KC Yard", "ttyUSB0 USB serial"}));

    MenuKeyOn(1); // a serial port: nothing
    EXPECT_FALSE(Popup().isVisible());
    EXPECT_EQ(form_->Modules().PopupKind(), 0);
    form_->Modules().MenuPropertiesClick();
    EXPECT_FALSE(form_->Modules().Dialog().isVisible());

    MenuKeyOn(0); // a module: "Configure" under the row
    ASSERT_TRUE(SpinUntil([&] { return Popup().isVisible(); }));
    TPortListBox& box = form_->PortListBox();
    const QPoint corner = box.viewport()->mapToGlobal(box.visualItemRect(box.item(0)).bottomLeft());
    EXPECT_LE((Popup().pos() - corner).manhattanLength(), 2);
    EXPECT_EQ(form_->Modules().ConfiguredModule().IP, "127.0.0.4");
    Popup().close();

    form_->Modules().MenuPropertiesClick();
    TFormKCConfig& dialog = form_->Modules().Dialog();
    ASSERT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.ConnectComm, &Comm());
    EXPECT_EQ(dialog.ModemStatus.IP, "127.0.0.4");
    EXPECT_EQ(dialog.ModuleList()->count(), 1);
    // The window passes the module's fresh records on: the networks it reports arrive.
    ASSERT_TRUE(SpinUntil([&] { return dialog.NetworkList()->topLevelItemCount() == 2; }));

    // The Hide box is the window's "show password" option, the other way round.
    EXPECT_TRUE(dialog.HideBox()->isChecked());
    dialog.HideBox()->click();
    EXPECT_TRUE(form_->Settings().Has(optShowPassword));
    TAppSettings s = form_->Settings();
    s.Set(optShowPassword, false);
    form_->ApplySettings(s);
    EXPECT_TRUE(dialog.HideBox()->isChecked());
    EXPECT_FALSE(form_->Settings().Has(optShowPassword));
    dialog.close();
}

TEST_F(MainFormModules, ThePopUpClosesWhenItsModuleLeavesAndConfigureThenDoesNothing)
{
    TSimModule& module = sims_.Start("127.0.0.5", [](TSimModuleOptions& o) { o.AnnounceIntervalMs = 100; });
    MakeModuleForm();
    ASSERT_TRUE(Listed({"127.0.0.5 KC-SIM", "ttyUSB0 USB serial"}));
    TPortListBox& box = form_->PortListBox();
    const QPoint inRow = box.visualItemRect(box.item(0)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, inRow, box.viewport()->mapToGlobal(inRow));
    QApplication::sendEvent(box.viewport(), &event);
    ASSERT_TRUE(SpinUntil([&] { return Popup().isVisible(); }));
    module.SetAnnouncing(false);
    ASSERT_TRUE(SpinUntil([&] { return !Popup().isVisible(); }));
    EXPECT_TRUE(form_->Modules().ConfiguredModule().IP.empty());
    form_->Modules().MenuPropertiesClick();
    EXPECT_FALSE(form_->Modules().Dialog().isVisible());
}

TEST_F(MainFormModules, NoPollAndNoTimeOutWhileTheModuleLinkIsBusyAndTheSessionStays)
{
    TSimModule& busy = sims_.Start("127.0.0.6", {}, true);
    MakeModuleForm({});
    Comm().SetConnectTimeout(int(TDeviceSession::PollInterval) + 800);
    ASSERT_TRUE(Listed({"127.0.0.6 KC-SIM"}));
    ConnectThroughWindow();

    // A command the module takes and never answers keeps the link busy until it times out.
    busy.SetMute(true);
    const std::size_t asked = CommandCount(busy, "KCCONF");
    ASSERT_TRUE(Comm().RequestConfig("127.0.0.6", Id_IPv4));
    ASSERT_TRUE(SpinUntil([&] { return CommandCount(busy, "KCCONF") > asked; }));
    ASSERT_TRUE(Comm().ConnectedModemSuspended());
    ASSERT_TRUE(SpinUntil([&] { return Session().Requests().HeldBack(hoPoll); })); // a poll held back
    EXPECT_EQ(Session().DeviceState(), dsConnected);
    // Only now: the module records a command before it looks at its mute switch.
    busy.SetMute(false);
    ASSERT_TRUE(SpinUntil([&] { return !Comm().ConnectedModemSuspended(); }, 6000));
    EXPECT_EQ(Session().Requests().HeldBack(), unsigned(hoNone));
    EXPECT_EQ(Session().DeviceState(), dsConnected);
    EXPECT_EQ(Status(), QStringLiteral("Connected"));
}

TEST_F(MainFormModules, ConfigureOnASecondModuleStartsTheOpenDialogOverOnIt)
{
    TSimModule& first = sims_.Start("127.0.0.7", [](TSimModuleOptions& o) { o.Name = "KC First"; o.SSID = "FirstNet"; });
    TSimModule& second = sims_.Start("127.0.0.8", [](TSimModuleOptions& o) {
        o.Name = "KC Second";
        o.SSID = "SecondNet";
        o.Password = "other";
        o.Networks = {{"Yard", -60}};
    });
    MakeModuleForm({});
    ASSERT_TRUE(Listed({"127.0.0.7 KC First", "127.0.0.8 KC Second"}));
    TFormKCConfig& dialog = form_->Modules().Dialog();
    MenuKeyOn(0);
    ASSERT_TRUE(SpinUntil([&] { return Popup().isVisible(); }));
    Popup().close();
    form_->Modules().MenuPropertiesClick();
    ASSERT_TRUE(SpinUntil([&] { return dialog.SSIDEdit()->text() == "FirstNet"; }));
    dialog.PasswordEdit()->setText("typed-for-first");

    MenuKeyOn(1);
    ASSERT_TRUE(SpinUntil([&] { return Popup().isVisible(); }));
    Popup().close();
    const std::size_t lists = CommandCount(second, "APLIST");
    form_->Modules().MenuPropertiesClick();
    EXPECT_EQ(dialog.ModemStatus.IP, "127.0.0.8");
    ASSERT_TRUE(SpinUntil([&] { return CommandCount(second, "APLIST") > lists; })); // asked for its networks
    ASSERT_TRUE(SpinUntil([&] { return dialog.NetworkList()->topLevelItemCount() == 1; }));
    ASSERT_TRUE(SpinUntil([&] { return dialog.SSIDEdit()->text() == "SecondNet"; }));
    EXPECT_EQ(dialog.PasswordEdit()->text(), "other");
    // Enter sends the second module what the boxes now hold, none of the first's.
    dialog.SSIDEdit()->setText("NewNet");
    QTest::keyClick(dialog.SSIDEdit(), Qt::Key_Return);
    ASSERT_TRUE(SpinUntil([&] { return CommandCount(second, "NEWAPN") == 1; }));
    EXPECT_EQ(CommandCount(second, "NEWAPN,NewNet,other"), 1u);
    EXPECT_EQ(CommandCount(first, "NEWAPN"), 0u);
    dialog.close();
}

TEST_F(MainFormModules, EnterSendsNothingToAModuleThatHasLeftTheList)
{
    TSimModule& module = sims_.Start("127.0.0.9", [](TSimModuleOptions& o) { o.AnnounceIntervalMs = 100; });
    MakeModuleForm({});
    ASSERT_TRUE(Listed({"127.0.0.9 KC-SIM"}));
    MenuKeyOn(0);
    ASSERT_TRUE(SpinUntil([&] { return Popup().isVisible(); }));
    Popup().close();
    form_->Modules().MenuPropertiesClick();
    TFormKCConfig& dialog = form_->Modules().Dialog();
    ASSERT_TRUE(dialog.isVisible());
    dialog.SSIDEdit()->setText("Elsewhere");
    module.SetAnnouncing(false);
    ASSERT_TRUE(SpinUntil([&] { return !dialog.ModemPresent; }));
    QTest::keyClick(dialog.SSIDEdit(), Qt::Key_Return);
    QTest::keyClick(dialog.PasswordEdit(), Qt::Key_Return);
    // Back on the network, the module must not receive anything held for it.
    module.SetAnnouncing(true);
    ASSERT_TRUE(SpinUntil([&] { return dialog.ModemPresent; }));
    SpinFor(300);
    EXPECT_EQ(CommandCount(module, "NEWAPN"), 0u);
    dialog.close();
}

TEST_F(MainFormModules, ConnectNameWaitsForAModuleHeardAfterTheStart)
{
    TMainFormSetup setup;
    setup.ExtraPorts = {{"ttyUSB0", "USB serial"}};
    setup.ModuleTCPPort = sims_.TCPPort;
    setup.ModuleUDPPort = sims_.UDPPort;
    setup.ConnectName = "127.0.0.11";
    MakeForm(setup);
    SpinFor(300);
    EXPECT_TRUE(form_->Ports().WaitingForName());
    sims_.Start("127.0.0.11", {}, true);
    ASSERT_TRUE(WaitStatus(QStringLiteral("Connected"))) << Status().toStdString();
    EXPECT_EQ(form_->Session().Serial()->CurrentPortName(), "127.0.0.11");

    // A name that never appears ends the wait with the status.
    form_->StopOnSignal();
    form_.reset();
    setup.ConnectName = "127.0.0.99";
    setup.ConnectTimeoutMs = 300;
    MakeForm(setup);
    ASSERT_TRUE(WaitStatus(QStringLiteral("No port selected"))) << Status().toStdString();
    EXPECT_FALSE(form_->Ports().WaitingForName());
}

TEST_F(MainFormModules, ScreenshotOfTheWindowWithModuleRows)
{
    sims_.Start("127.0.0.2", [](TSimModuleOptions& o) { o.Name = "KC Pump-House"; });
    sims_.Start("127.0.0.12", [](TSimModuleOptions& o) { o.Name = "KC Mixer"; });
    MakeModuleForm({{"ttyUSB0", "USB serial adapter"}, {"ttyS0", "Built-in port"}});
    ASSERT_TRUE(SpinUntil([&] { return form_->Session().Ports().List().size() == 4; }));
    MenuKeyOn(0);
    ASSERT_TRUE(SpinUntil([&] { return Popup().isVisible(); }));
    QTest::qWait(50);
    EXPECT_FALSE(SaveScreenshot(*form_, QStringLiteral("modules"), QStringLiteral("main-window")).isEmpty());
    EXPECT_FALSE(SaveScreenshot(Popup(), QStringLiteral("modules"), QStringLiteral("main-window-popup")).isEmpty());
    Popup().close();
}

} // namespace
} // namespace fk::test
