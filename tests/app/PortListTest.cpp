// The window's port list: hot-plug rebuilds through the fake device tree keep the selection,
// the open port's removal closes the connection, and the automatic connection at start-up
// follows the stored preferences.
#include "AppTestHarness.h"
#include "FakeDeviceTree.h"
#include "ScreenshotUtil.h"

#include "app/AppSettings.h"
#include "ports/PortMonitor.h"

#include <filesystem>
#include <fstream>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fk::test {
namespace {

using namespace std::string_literals;

std::string Uevent(const std::string& action, const std::string& devpath, const std::string& devname)
{
    return action + "@" + devpath + '\0' + "ACTION=" + action + '\0' + "DEVPATH=" + devpath + '\0' + "SUBSYSTEM=tty"
        + '\0' + "DEVNAME=" + devname + '\0' + "SEQNUM=1" + '\0';
}

const std::string kHub = "pci0000:00/0000:00:14.0/usb1";

class PortListTest : public MainFormTest {
protected:
    // A window over the fake machine, its hot-plug monitor fed through a socket pair.
    void MakeFakeMachineForm(std::vector<TExtraPort> extra = {}, bool build = true)
    {
        if (build)
            tree_.BuildStandardMachine();
        TMainFormSetup setup;
        setup.Paths = {tree_.Sys(), tree_.Dev(), tree_.Bluetooth()};
        setup.ExtraPorts = std::move(extra);
        setup.WatchPorts = false;
        form_ = std::make_unique<TTestForm>(setup);
        form_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, fds), 0);
        ASSERT_TRUE(form_->Ports().Monitor().OpenSocket(fds[0]));
        sender_ = fds[1];
    }
    void Send(const std::string& m) { ASSERT_EQ(::send(sender_, m.data(), m.size(), 0), static_cast<ssize_t>(m.size())); }
    void TearDown() override
    {
        MainFormTest::TearDown();
        if (sender_ >= 0)
            ::close(sender_);
    }

    QStringList Rows() const
    {
        QStringList rows;
        for (int i = 0; i < form_->PortListBox().count(); ++i)
            rows << form_->PortListBox().item(i)->text();
        return rows;
    }
    QString Selected() const
    {
        const int i = form_->Session().Ports().ItemIndex();
        return i < 0 ? QString() : form_->PortListBox().item(i)->text();
    }
    int RowOf(const QString& name) const { return static_cast<int>(Rows().indexOf(name)); }

    FakeDeviceTree tree_;
    int sender_ = -1;
};

TEST_F(PortListTest, ArrivalAndRemovalMoveTheRowsAndKeepTheSelection)
{
    MakeFakeMachineForm();
    const QStringList before = Rows();
    ASSERT_TRUE(before.contains(QStringLiteral("ttyUSB0")));
    ASSERT_TRUE(before.contains(QStringLiteral("ttyS2")));
    EXPECT_LT(RowOf(QStringLiteral("ttyS2")), RowOf(QStringLiteral("ttyS10"))); // natural order
    ClickRow(RowOf(QStringLiteral("ttyS2")));
    EXPECT_EQ(Selected(), QStringLiteral("ttyS2"));

    // A second adapter arrives: it is listed, ttyS2 stays selected.
    tree_.Device(kHub + "/1-4", "usb", "usb", {{"idVendor", "10c4"}, {"idProduct", "ea60"}, {"product", "CP2102 UART"}});
    tree_.Device(kHub + "/1-4/1-4:1.0", "usb", "cp210x");
    tree_.Device(kHub + "/1-4/1-4:1.0/ttyUSB1", "usb-serial", "cp210x");
    tree_.Tty(kHub + "/1-4/1-4:1.0/ttyUSB1", "ttyUSB1");
    Send(Uevent("add", "/devices/" + kHub + "/1-4/1-4:1.0/ttyUSB1/tty/ttyUSB1", "ttyUSB1"));
    ASSERT_TRUE(WaitFor([&] { return Rows().contains(QStringLiteral("ttyUSB1")); }));
    EXPECT_EQ(Rows().size(), before.size() + 1);
    EXPECT_EQ(Selected(), QStringLiteral("ttyS2"));
    EXPECT_EQ(form_->PortListBox().currentRow(), RowOf(QStringLiteral("ttyS2")));

    // The first adapter leaves: its row goes, the selection stays.
    std::filesystem::remove_all(tree_.Sys() + "/class/tty/ttyUSB0");
    std::filesystem::remove_all(tree_.Sys() + "/devices/" + kHub + "/1-1");
    Send(Uevent("remove", "/devices/" + kHub + "/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0", "ttyUSB0"));
    ASSERT_TRUE(WaitFor([&] { return !Rows().contains(QStringLiteral("ttyUSB0")); }));
    EXPECT_EQ(Selected(), QStringLiteral("ttyS2"));

    // The selected port itself leaves: nothing is selected.
    std::filesystem::remove_all(tree_.Sys() + "/class/tty/ttyUSB1");
    std::filesystem::remove_all(tree_.Sys() + "/devices/" + kHub + "/1-4");
    ClickRow(RowOf(QStringLiteral("ttyUSB1")));
    Send(Uevent("remove", "/devices/" + kHub + "/1-4/1-4:1.0/ttyUSB1/tty/ttyUSB1", "ttyUSB1"));
    ASSERT_TRUE(WaitFor([&] { return !Rows().contains(QStringLiteral("ttyUSB1")); }));
    EXPECT_EQ(form_->Session().Ports().ItemIndex(), -1);
    EXPECT_TRUE(form_->PortListBox().selectedItems().isEmpty());
}

TEST_F(PortListTest, RemovingTheOpenPortClosesTheConnection)
{
    StartSim();
    // The adapter's device node is the simulator's line.
    FakeDeviceTree& tree = tree_;
    tree.BuildStandardMachine();
    const std::string node = tree.Dev() + "/ttyUSB0";
    std::filesystem::remove(node);
    std::filesystem::create_symlink(sim_->PortPath(), node);
    MakeFakeMachineForm({{node, "the simulator behind ttyUSB0"}}, false);
    ASSERT_TRUE(form_->ConnectToName(node));
    ASSERT_TRUE(WaitStatus(QStringLiteral("Connected")));
    EXPECT_EQ(Selected(), QString::fromStdString(node));

    std::filesystem::remove_all(tree.Sys() + "/class/tty/ttyUSB0");
    Send(Uevent("remove", "/devices/" + kHub + "/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0", "ttyUSB0"));
    ASSERT_TRUE(WaitFor([&] { return !Button(names::DisconnectButton)->isEnabled(); }));
    EXPECT_EQ(form_->Session().DeviceState(), dsNone);
    EXPECT_FALSE(form_->Session().Serial()->IsValid());
    EXPECT_EQ(form_->StatusLine().PortName(), QString());
    EXPECT_EQ(Status(), QStringLiteral("Port inactive")); // the port is gone, and the status says so
}

// Two CH340 adapters without serial numbers, in sockets 1-4 and 1-5; the one in 1-4 is the
// simulator's line (its node links to the simulator), connected through its device path.
class AdapterReturnTest : public PortListTest {
protected:
    void AddAdapter(const std::string& socket, const std::string& tty, bool node = true)
    {
        const std::string dev = kHub + "/" + socket;
        tree_.Device(dev, "usb", "usb", {{"idVendor", "1a86"}, {"idProduct", "7523"}, {"product", "USB Serial"}});
        tree_.Device(dev + "/" + socket + ":1.0", "usb", "ch341");
        tree_.Device(dev + "/" + socket + ":1.0/" + tty, "usb-serial", "ch341");
        tree_.Tty(dev + "/" + socket + ":1.0/" + tty, tty, {}, node);
    }
    void Pull(const std::string& socket, const std::string& tty)
    {
        std::filesystem::remove_all(tree_.Sys() + "/class/tty/" + tty);
        std::filesystem::remove_all(tree_.Sys() + "/devices/" + kHub + "/" + socket);
        std::filesystem::remove(tree_.Sys() + "/bus/usb/devices/" + socket);
        Send(Uevent("remove", "/devices/" + kHub + "/" + socket + "/" + socket + ":1.0/" + tty + "/tty/" + tty, tty));
        ASSERT_TRUE(WaitFor([&] { return !Rows().contains(QString::fromStdString(tty)); }));
    }
    void Return(const std::string& socket, const std::string& tty, bool node = true)
    {
        AddAdapter(socket, tty, node);
        Send(Uevent("add", "/devices/" + kHub + "/" + socket + "/" + socket + ":1.0/" + tty + "/tty/" + tty, tty));
        ASSERT_TRUE(WaitFor([&] { return Rows().contains(QString::fromStdString(tty)); }));
    }
    void ConnectToSocket14()
    {
        StartSim();
        tree_.BuildStandardMachine();
        AddAdapter("1-4", "ttyUSB3");
        AddAdapter("1-5", "ttyUSB4");
        node_ = tree_.Dev() + "/ttyUSB3";
        std::filesystem::remove(node_);
        std::filesystem::create_symlink(sim_->PortPath(), node_);
        MakeFakeMachineForm({{node_, "the simulator behind ttyUSB3"}}, false);
        form_->Ports().Clock = [this] { return now_; };
        QObject::connect(&form_->Ports(), &TConnectionPorts::AdapterReturned, form_.get(),
                [this](const QString& from, const QString& to) { returns_ << from + QStringLiteral(">") + to; });
        ASSERT_TRUE(form_->ConnectToName(node_));
        ASSERT_TRUE(WaitStatus(QStringLiteral("Connected")));
    }

    std::string node_;
    u32 now_ = 1000;
    QStringList returns_;
};

TEST_F(AdapterReturnTest, APulledAdapterThatComesBackUnderANewNameIsConnectedAgain)
{
    ConnectToSocket14();
    Pull("1-4", "ttyUSB3");
    EXPECT_TRUE(form_->Ports().AwaitingReturn());
    now_ += 59000;
    // The twin adapter in the other socket stays where it is; the one from 1-4 is taken.
    Return("1-4", "ttyUSB5");
    ASSERT_TRUE(WaitFor([&] { return !returns_.isEmpty(); }));
    EXPECT_EQ(returns_, QStringList{QString::fromStdString(node_) + QStringLiteral(">ttyUSB5")});
    EXPECT_EQ(Selected(), QStringLiteral("ttyUSB5"));
    EXPECT_EQ(form_->Session().Ports().CurrentPort(), "ttyUSB5");
    EXPECT_TRUE(form_->AdapterReturnedText().endsWith(QStringLiteral("came back as ttyUSB5")));
    EXPECT_FALSE(form_->Ports().AwaitingReturn());
}

TEST_F(AdapterReturnTest, AnAdapterBackAfterTheUsersDisconnectOrAfterSixtyOneSecondsIsLeftAlone)
{
    ConnectToSocket14();
    Pull("1-4", "ttyUSB3");
    ASSERT_TRUE(form_->Ports().AwaitingReturn());
    // The user disconnects (Esc twice) before it is back.
    for (int i = 0; i < 2; ++i)
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : form_.get(), Qt::Key_Escape);
    EXPECT_FALSE(form_->Ports().AwaitingReturn());
    Return("1-4", "ttyUSB3", false); // its node is still the simulator's line
    Settle(200);
    EXPECT_TRUE(returns_.isEmpty());
    EXPECT_NE(Status(), QStringLiteral("Connected"));

    // Connected again, pulled, and back a second too late.
    ASSERT_TRUE(form_->ConnectToName(node_));
    ASSERT_TRUE(WaitStatus(QStringLiteral("Connected")));
    Pull("1-4", "ttyUSB3");
    ASSERT_TRUE(form_->Ports().AwaitingReturn());
    now_ += 61000;
    Return("1-4", "ttyUSB5");
    Settle(200);
    EXPECT_TRUE(returns_.isEmpty());
    EXPECT_NE(form_->Session().Ports().CurrentPort(), "ttyUSB5");
    EXPECT_FALSE(form_->Ports().AwaitingReturn());
}

// An adapter brltty took has no port: its place in the list says so and cannot be chosen.
TEST_F(PortListTest, AnAdapterBrlttyTookIsShownInItsPlaceWithWhatToDo)
{
    tree_.BuildStandardMachine();
    tree_.Device(kHub + "/1-6", "usb", "usb", {{"idVendor", "1a86"}, {"idProduct", "7523"}, {"product", "USB Serial"}});
    tree_.Device(kHub + "/1-6/1-6:1.0", "usb", "ch341");
    // A process table of the test's own: another test may run a real process named brltty.
    const std::string proc = tree_.Root() + "/proc";
    std::filesystem::create_directories(proc + "/813");
    MakeFakeMachineForm({}, false);
    form_->Ports().ProcRoot = proc;
    form_->Ports().RefreshPortList();
    EXPECT_FALSE(Rows().contains(QStringLiteral("1-6"))); // brltty is not running
    std::ofstream(proc + "/813/comm") << "brltty\n";
    form_->SetLanguage(lngRussian);
    form_->Ports().RefreshPortList();
    ASSERT_TRUE(Rows().contains(QStringLiteral("1-6")));
    QListWidgetItem* row = form_->PortListBox().item(RowOf(QStringLiteral("1-6")));
    EXPECT_TRUE(row->toolTip().startsWith(QStringLiteral("brltty, служба брайлевских дисплеев"))) << row->toolTip().toStdString();
    EXPECT_FALSE(row->flags() & Qt::ItemIsSelectable);
    ClickRow(RowOf(QStringLiteral("1-6")));
    EXPECT_EQ(form_->Session().Ports().ItemIndex(), -1);
    form_->PortListBox().scrollToItem(row);
    EXPECT_FALSE(SaveScreenshot(*form_, QStringLiteral("portlist"), QStringLiteral("brltty-ru")).isEmpty());
}

// An older settings file knows the port by name only; a newer one keeps the adapter's identity
// beside it, which finds the adapter at start-up when its name changed meanwhile.
TEST_F(PortListTest, ARememberedAdapterIsFoundByItsIdentityUnderItsNewName)
{
    TAppSettings settings;
    TStoredPlaces places;
    places.CurrentPort = places.ConnectedPort = "ttyUSB7";
    places.CurrentPortIdentity = places.ConnectedPortIdentity = "usb:0403:6001:A50285BI";
    ASSERT_TRUE(SaveSettings(settings, places));
    MakeFakeMachineForm();
    // The window starts closed: the connected port becomes the current one, found by identity.
    EXPECT_EQ(form_->Session().Ports().CurrentPort(), "ttyUSB0");
    EXPECT_EQ(Selected(), QStringLiteral("ttyUSB0"));
    form_->SaveSettings();
    TStoredPlaces stored;
    ASSERT_TRUE(LoadSettings(settings, stored));
    EXPECT_EQ(stored.CurrentPort, "ttyUSB0");
    EXPECT_EQ(stored.CurrentPortIdentity, "usb:0403:6001:A50285BI");
}

// An identity that fits both ports of a dual adapter is never chosen: the status names the
// candidates. A link to one port (by-path) or its device path connects to that port.
TEST_F(PortListTest, AnAmbiguousIdentityIsLeftToTheUserAndALinkFindsItsPort)
{
    tree_.BuildStandardMachine();
    tree_.DualAdapter("1-7", "FT2X", "ttyUSB5", "ttyUSB6");
    MakeFakeMachineForm({}, false);
    form_->Ports().SetConnectName("usb:0403:6010:FT2X", 0);
    EXPECT_TRUE(Status().startsWith(QStringLiteral("No port selected: usb:0403:6010:FT2X fits more than one port: ttyUSB5 (")))
        << Status().toStdString();
    EXPECT_TRUE(Status().contains(QStringLiteral("ttyUSB6 (") + QString::fromStdString(tree_.Dev())
                                  + QStringLiteral("/serial/by-path/pci-0000:00:14.0-usb-0:7:1.1-port0)")));
    Settle(200);
    EXPECT_FALSE(form_->Session().Serial()->IsValid());

    // The link names the second port: it is the one connected to.
    form_->Ports().SetConnectName(tree_.Dev() + "/serial/by-path/pci-0000:00:14.0-usb-0:7:1.1-port0");
    EXPECT_EQ(form_->Session().Ports().CurrentPort(), "ttyUSB6");
    EXPECT_FALSE(form_->Ports().WaitingForName());
}

// A program that opened the port before the window (cat) may take the replies: when the device
// stays silent the status names it, short, and its tool tip says it whole.
TEST_F(PortListTest, AnotherReaderOfThePortIsNamedWhenTheConnectionIsLost)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_TRUE(::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const std::string slave = ::ptsname(master);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t cat = ::fork();
    if (cat == 0) {
        ::prctl(PR_SET_NAME, "cat");
        const int fd = ::open(slave.c_str(), O_RDONLY | O_NOCTTY);
        (void)!::write(ready[1], fd >= 0 ? "r" : "x", 1);
        for (;;)
            ::pause();
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    MakeForm({.ExtraPorts = {{slave, "a line nobody answers"}}});
    ASSERT_TRUE(form_->ConnectToName(slave));
    const QString expected = QStringLiteral("Connection lost: cat (process %1) also has the port open").arg(cat);
    EXPECT_TRUE(WaitStatus(expected, 15000)) << Status().toStdString();
    EXPECT_EQ(form_->StatusLine().StatusHint(),
              QStringLiteral("cat (process %1) also has this port open and may be taking the replies.").arg(cat));
    ::kill(cat, SIGKILL);
    ::waitpid(cat, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    ::close(master);
}

// Stored preferences, then a window over the simulator's port.
class AutoConnectTest : public MainFormTest {
protected:
    void Store(u8 options, const String& currentPort, const String& connectedPort)
    {
        TAppSettings settings;
        settings.Options = options;
        TStoredPlaces places;
        places.CurrentPort = currentPort;
        places.ConnectedPort = connectedPort;
        ASSERT_TRUE(SaveSettings(settings, places));
    }
    bool Connects()
    {
        return WaitFor([&] { return Status() == QStringLiteral("Connected"); }, 1500);
    }
};

TEST_F(AutoConnectTest, NoSelectionAndNothingRememberedConnectsNothing)
{
    StartSim();
    Store(optConnectAtStartup | optRememberConnection | optWasConnected, "", "");
    MakeForm();
    EXPECT_FALSE(Connects());
    EXPECT_EQ(form_->Session().Ports().ItemIndex(), -1);
    EXPECT_FALSE(Button(names::DisconnectButton)->isEnabled());
}

TEST_F(AutoConnectTest, ConnectAtStartupTakesTheRememberedPort)
{
    StartSim();
    Store(optConnectAtStartup, "", sim_->PortPath());
    MakeForm();
    EXPECT_TRUE(Connects());
    EXPECT_EQ(form_->Session().Ports().ItemIndex(), 0);
}

TEST_F(AutoConnectTest, RememberedConnectionReconnectsOnlyWhenTheLastRunEndedConnected)
{
    StartSim();
    Store(optRememberConnection, sim_->PortPath(), "");
    MakeForm();
    EXPECT_FALSE(Connects());
    EXPECT_EQ(form_->Session().Ports().ItemIndex(), 0); // selected, not connected
    form_->StopOnSignal();
    form_.reset();

    Store(optRememberConnection | optWasConnected, sim_->PortPath(), "");
    MakeForm();
    EXPECT_TRUE(Connects());
    // Closing while connected stores that it was connected.
    form_->close();
    TAppSettings loaded;
    TStoredPlaces places;
    ASSERT_TRUE(LoadSettings(loaded, places));
    EXPECT_TRUE(loaded.Has(optWasConnected));
    EXPECT_EQ(places.ConnectedPort, sim_->PortPath());
}

} // namespace
} // namespace fk::test
