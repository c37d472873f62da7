#include "FakeDeviceTree.h"

#include "platform/LastError.h"
#include "ports/KernelUevent.h"
#include "ports/PortMonitor.h"
#include "support/TraceSink.h"
#include "TraceReader.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>

namespace fk {
namespace {

using namespace std::string_literals;

// A message as the kernel sent it on this machine for `echo add > .../ttyS0/uevent`.
const std::string kRealAdd =
    "add@/devices/pnp0/00:00/00:00:0/00:00:0.0/tty/ttyS0\0ACTION=add\0DEVPATH=/devices/pnp0/00:00/00:00:0/00:00:0.0/tty/ttyS0\0"
    "SUBSYSTEM=tty\0SYNTH_UUID=0\0MAJOR=4\0MINOR=64\0DEVNAME=ttyS0\0SEQNUM=838\0"s;

std::string Uevent(const std::string& action, const std::string& devpath, const std::string& devname,
                   const std::string& subsystem = "tty")
{
    return action + "@" + devpath + '\0' + "ACTION=" + action + '\0' + "DEVPATH=" + devpath + '\0' + "SUBSYSTEM=" + subsystem
        + '\0' + "DEVNAME=" + devname + '\0' + "SEQNUM=1" + '\0';
}

const std::string kUsbPath = "/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0";

TEST(KernelUeventTest, ParsesARealMessage)
{
    TKernelUevent ev;
    ASSERT_TRUE(TKernelUevent::Parse(kRealAdd.data(), kRealAdd.size(), ev));
    EXPECT_EQ(ev.Action, "add");
    EXPECT_EQ(ev.DevPath, "/devices/pnp0/00:00/00:00:0/00:00:0.0/tty/ttyS0");
    EXPECT_EQ(ev.Subsystem, "tty");
    EXPECT_EQ(ev.DevName, "ttyS0");
    EXPECT_EQ(ev.SeqNum, 838u);
    EXPECT_EQ(ev.Properties.at("MINOR"), "64");
    EXPECT_EQ(ev.Properties.at("SYNTH_UUID"), "0");
}

TEST(KernelUeventTest, RejectsMalformedMessagesWithoutTouchingTheResult)
{
    const std::string head = "add@/devices/x/tty/ttyS9\0"s;
    const std::string bad[] = {
        "",
        "add/devices/x/tty/ttyS9\0ACTION=add\0DEVPATH=/devices/x/tty/ttyS9\0SUBSYSTEM=tty\0"s, // no '@'
        head + "ACTION=add\0DEVPATH=/devices/x/tty/ttyS9\0SUBSYSTEM=tty", // last field not terminated
        head + "ACTION=add\0DEVPATH=/devices/x/tty/ttyS9\0SUBSYSTEM=tty\0garbage\0"s, // field without '='
        head + "ACTION=remove\0DEVPATH=/devices/x/tty/ttyS9\0SUBSYSTEM=tty\0"s, // head and ACTION differ
        head + "ACTION=add\0DEVPATH=/devices/y/tty/ttyS9\0SUBSYSTEM=tty\0"s, // head and DEVPATH differ
        head + "ACTION=add\0DEVPATH=/devices/x/tty/ttyS9\0"s, // no SUBSYSTEM
        head + "ACTION=add\0DEVPATH=/devices/x/tty/ttyS9\0SUBSYSTEM=tty\0SEQNUM=12x\0"s,
        "libudev\0\xfe\xed\xca\xfe"s + std::string(32, '\0'), // udev's own format
        "@\0"s,
    };
    for (const std::string& m : bad) {
        TKernelUevent ev;
        ev.Action = "untouched";
        SetLastError(0);
        EXPECT_FALSE(TKernelUevent::Parse(m.data(), m.size(), ev)) << m;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(ev.Action, "untouched");
    }
    const std::string huge = Uevent("add", "/devices/x/tty/ttyS9", "ttyS9") + "X=" + std::string(TKernelUevent::MaxSize, 'a') + '\0';
    TKernelUevent ev;
    EXPECT_FALSE(TKernelUevent::Parse(huge.data(), huge.size(), ev));
    EXPECT_FALSE(TKernelUevent::Parse(nullptr, 10, ev));
}

// Runs the event loop until done() or the time is up.
bool RunUntil(const std::function<bool()>& done, int ms)
{
    QEventLoop loop;
    QTimer deadline, check;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&check, &QTimer::timeout, [&] { if (done()) loop.quit(); });
    deadline.start(ms);
    check.start(5);
    if (!done())
        loop.exec();
    return done();
}

class PortMonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree.BuildStandardMachine();
        monitor = Make<TPortMonitor>();
        monitor->SetPaths({ tree.Sys(), tree.Dev(), tree.Bluetooth() });
        monitor->OnPortArrival = TPortChangeEvent::Bind(this, [this](TObject* sender, const String& name) {
            EXPECT_EQ(sender, monitor.get());
            seen.push_back("+" + name);
        });
        monitor->OnPortRemoval = TPortChangeEvent::Bind(this, [this](TObject*, const String& name) { seen.push_back("-" + name); });
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, fds), 0);
        ASSERT_TRUE(monitor->OpenSocket(fds[0]));
        sender = fds[1];
    }
    void TearDown() override { ::close(sender); }

    void Send(const std::string& m) { ASSERT_EQ(::send(sender, m.data(), m.size(), 0), static_cast<ssize_t>(m.size())); }

    test::FakeDeviceTree tree;
    TOwned<TPortMonitor> monitor;
    std::vector<std::string> seen;
    int sender = -1;
};

TEST_F(PortMonitorTest, ReportsRealPortsFromTheSocketAndIgnoresTheRest)
{
    EXPECT_EQ(monitor->Source(), TPortMonitor::msKernel);
    Send(Uevent("add", "/devices/virtual/tty/tty1", "tty1"));                       // a console
    Send(Uevent("add", "/devices/platform/serial8250/tty/ttyS1", "ttyS1"));         // phantom UART
    Send(Uevent("change", kUsbPath, "ttyUSB0"));                                    // not an arrival
    Send(Uevent("add", "/devices/pci0000:00/0000:00:14.0/usb1/1-1", "bus/usb/001/002", "usb"));
    Send("add@/devices/x\0garbage\0"s);                                            // malformed
    Send(Uevent("add", "/devices/x/tty/ttyUSB9", "../../etc/passwd"));              // not a plain name
    Send(Uevent("add", kUsbPath, "ttyUSB0"));
    Send(Uevent("add", "/devices/virtual/tty/rfcomm0", "rfcomm0"));
    Send(Uevent("remove", "/devices/virtual/tty/tty3", "tty3"));
    Send(Uevent("remove", kUsbPath, "ttyUSB0"));
    Send(Uevent("remove", "/devices/virtual/tty/rfcomm0", "rfcomm0"));
    ASSERT_TRUE(RunUntil([&] { return seen.size() >= 4; }, 3000));
    EXPECT_EQ(seen, (std::vector<std::string> { "+ttyUSB0", "+rfcomm0", "-ttyUSB0", "-rfcomm0" }));

    // Closed, it hears nothing more; messages already queued are dropped with the socket.
    monitor->Close();
    EXPECT_FALSE(monitor->Active());
    ::send(sender, "x", 1, 0);
    RunUntil([] { return false; }, 50);
    EXPECT_EQ(seen.size(), 4u);
}

TEST_F(PortMonitorTest, ArrivalsAndRemovalsAreTraced)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("t.jsonl").toStdString();
    TTraceSink trace;
    ASSERT_TRUE(trace.Open(path));
    TTraceSink::SetActive(&trace);
    Send(Uevent("add", "/devices/virtual/tty/tty1", "tty1")); // not a port: not traced
    Send(Uevent("add", kUsbPath, "ttyUSB0"));
    Send(Uevent("remove", kUsbPath, "ttyUSB0"));
    const bool heard = RunUntil([&] { return seen.size() >= 2; }, 3000);
    TTraceSink::SetActive(nullptr);
    ASSERT_TRUE(heard);
    const test::TTraceReader read(path);
    ASSERT_TRUE(read.Valid()) << read.Error();
    EXPECT_EQ(read.Field("port", "action"), (QStringList{"arrived", "removed"}));
    EXPECT_EQ(read.Field("port", "port"), (QStringList{"ttyUSB0", "ttyUSB0"}));
}

TEST_F(PortMonitorTest, AHandlerMayFreeTheMonitor)
{
    monitor->OnPortArrival = TPortChangeEvent::Bind(this, [this](TObject*, const String& name) {
        seen.push_back(name);
        monitor.reset();
    });
    Send(Uevent("add", kUsbPath, "ttyUSB0"));
    Send(Uevent("add", kUsbPath, "ttyUSB0"));
    ASSERT_TRUE(RunUntil([&] { return !monitor; }, 3000));
    RunUntil([] { return false; }, 50);
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(PortMonitorTest, AHandlerMayCloseAndReopen)
{
    int reopened = -1;
    monitor->OnPortRemoval = TPortChangeEvent::Bind(this, [&](TObject*, const String& name) {
        seen.push_back("-" + name);
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, fds), 0);
        monitor->OpenSocket(fds[0]);
        reopened = fds[1];
    });
    Send(Uevent("remove", kUsbPath, "ttyUSB0"));
    Send(Uevent("remove", kUsbPath, "ttyUSB0")); // goes with the old socket
    ASSERT_TRUE(RunUntil([&] { return reopened >= 0; }, 3000));
    const std::string m = Uevent("add", kUsbPath, "ttyUSB0");
    ASSERT_EQ(::send(reopened, m.data(), m.size(), 0), static_cast<ssize_t>(m.size()));
    ASSERT_TRUE(RunUntil([&] { return seen.size() >= 2; }, 3000));
    EXPECT_EQ(seen, (std::vector<std::string> { "-ttyUSB0", "+ttyUSB0" }));
    ::close(reopened);
}

// The kernel's own socket. Root may make the kernel announce an existing device again
// (writing "add" to its uevent file); messages that another process sends to the same
// multicast group must not count.
TEST(PortMonitorKernelTest, HearsTheKernelAndNotImpostors)
{
    std::ifstream type("/sys/class/tty/ttyS0/type");
    int t = 0;
    if (::geteuid() != 0 || !(type >> t) || t == 0)
        GTEST_SKIP() << "needs root and a ttyS0 with a UART to make the kernel send an event";

    // Discovery reads a fake tree that has both ttyS0 and ttyUSB0.
    test::FakeDeviceTree tree;
    tree.BuildStandardMachine();
    auto monitor = Make<TPortMonitor>();
    monitor->SetPaths({ tree.Sys(), tree.Dev(), tree.Bluetooth() });
    std::vector<std::string> seen;
    monitor->OnPortArrival = TPortChangeEvent::Bind(&seen, [&](TObject*, const String& name) { seen.push_back(name); });
    ASSERT_TRUE(monitor->OpenKernel()) << ErrorText(GetLastError());
    EXPECT_EQ(monitor->Source(), TPortMonitor::msKernel);

    const int spoof = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
    ASSERT_GE(spoof, 0);
    sockaddr_nl to {};
    to.nl_family = AF_NETLINK;
    to.nl_groups = 1;
    const std::string fake = Uevent("add", kUsbPath, "ttyUSB0");
    const bool spoofSent = ::sendto(spoof, fake.data(), fake.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) >= 0;
    ::close(spoof);

    {
        std::ofstream trigger("/sys/class/tty/ttyS0/uevent");
        trigger << "add\n";
        trigger.flush();
        if (!trigger)
            GTEST_SKIP() << "the kernel refused the uevent trigger";
    }
    if (!RunUntil([&] { return !seen.empty(); }, 3000))
        GTEST_SKIP() << "no kernel uevents reach this process (network namespace?)";
    EXPECT_EQ(seen, (std::vector<std::string> { "ttyS0" })) << (spoofSent ? "impostor sent" : "impostor not sent");
}

TEST(PortMonitorOpenTest, OpenPicksASourceAndCloseStops)
{
    auto monitor = Make<TPortMonitor>();
    EXPECT_FALSE(monitor->Active());
    ASSERT_TRUE(monitor->Open()) << ErrorText(GetLastError());
    EXPECT_NE(monitor->Source(), TPortMonitor::msNone);
    monitor->Close();
    EXPECT_EQ(monitor->Source(), TPortMonitor::msNone);
    EXPECT_FALSE(monitor->OpenSocket(-1));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

} // namespace
} // namespace fk
