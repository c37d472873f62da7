#include "ports/PortMonitor.h"

#include "platform/LastError.h"
#include "ports/KernelUevent.h"
#include "ports/SerialPortScanner.h"
#include "ports/Sysfs.h"
#include "ports/UdevDatabase.h"
#include "support/TraceSink.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <libudev.h>
#include <linux/netlink.h>
#include <sys/socket.h>

#include <cerrno>
#include <vector>

namespace fk {

namespace {

// The kernel's multicast group of device events.
constexpr unsigned kKernelEventGroup = 1;
// Messages handled per wake-up, so that a flood cannot hold the event loop.
constexpr int kMaxMessagesPerWakeup = 256;

// A port name fit to be reported: a plain node name.
bool PlainName(const String& name)
{
    if (name.empty() || name.size() > 64 || name == "." || name == "..")
        return false;
    for (unsigned char c : name)
        if (c <= ' ' || c == '/' || c == '\\' || c >= 0x7F)
            return false;
    return true;
}

} // namespace

void TPortMonitor::UdevDeleter::operator()(struct udev* u) const noexcept
{
    udev_unref(u);
}

void TPortMonitor::MonitorDeleter::operator()(udev_monitor* m) const noexcept
{
    udev_monitor_unref(m);
}

TPortMonitor::TPortMonitor(TComponent* owner)
    : TComponent(owner)
{
}

TPortMonitor::~TPortMonitor()
{
    *alive_ = false;
    Close();
}

bool TPortMonitor::Open()
{
    if (TUdevDatabase::DaemonRunning() && OpenUdev())
        return true;
    return OpenKernel();
}

bool TPortMonitor::OpenUdev()
{
    Close();
    std::unique_ptr<struct udev, UdevDeleter> u(udev_new());
    if (!u) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    std::unique_ptr<udev_monitor, MonitorDeleter> m(udev_monitor_new_from_netlink(u.get(), "udev"));
    if (!m || udev_monitor_filter_add_match_subsystem_devtype(m.get(), "tty", nullptr) < 0
        || udev_monitor_enable_receiving(m.get()) < 0) {
        SetLastError(ERROR_OPEN_FAILED);
        return false;
    }
    const int fd = udev_monitor_get_fd(m.get());
    udev_ = std::move(u);
    monitor_ = std::move(m);
    if (!Watch(fd, msUdev)) {
        const DWORD err = GetLastError();
        Close();
        SetLastError(err);
        return false;
    }
    return true;
}

bool TPortMonitor::OpenKernel()
{
    Close();
    TUniqueFd fd(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT));
    if (!fd.Valid()) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    sockaddr_nl addr {};
    addr.nl_family = AF_NETLINK;
    addr.nl_groups = kKernelEventGroup;
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    // Room for a burst (a hub with several adapters); a smaller buffer still works.
    const int size = 1 << 20;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    fd_ = std::move(fd);
    return Watch(fd_.Get(), msKernel) || (fd_.Reset(), false);
}

bool TPortMonitor::OpenSocket(int fd)
{
    Close();
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    fd_.Reset(fd);
    return Watch(fd_.Get(), msKernel) || (fd_.Reset(), false);
}

bool TPortMonitor::Watch(int fd, TMonitorSource source)
{
    if (!QCoreApplication::instance()) {
        SetLastError(ERROR_NOT_READY);
        return false;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { ReadReady(); });
    source_ = source;
    SetLastError(ERROR_SUCCESS);
    return true;
}

void TPortMonitor::Close() noexcept
{
    if (notifier_) {
        notifier_->setEnabled(false);
        QObject::disconnect(notifier_.get(), nullptr, nullptr, nullptr);
        // Closed from a handler: the notifier is still delivering its signal.
        if (dispatching_)
            notifier_.release()->deleteLater();
        else
            notifier_.reset();
    }
    monitor_.reset();
    udev_.reset();
    fd_.Reset();
    source_ = msNone;
}

void TPortMonitor::ReadReady()
{
    const std::shared_ptr<bool> alive = alive_;
    dispatching_ = true;
    for (int i = 0; i < kMaxMessagesPerWakeup; ++i) {
        const TMonitorSource source = source_;
        bool more = false;
        if (source == msUdev)
            more = ReadUdevMessage();
        else if (source == msKernel)
            more = ReadKernelMessage();
        // A handler may have closed or freed the monitor.
        if (!*alive)
            return;
        if (!more || source_ != source)
            break;
    }
    dispatching_ = false;
}

bool TPortMonitor::ReadKernelMessage()
{
    std::vector<char> buf(TKernelUevent::MaxSize + 1);
    sockaddr_nl sender {};
    iovec iov { buf.data(), buf.size() };
    msghdr msg {};
    msg.msg_name = &sender;
    msg.msg_namelen = sizeof sender;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    const ssize_t n = ::recvmsg(fd_.Get(), &msg, MSG_DONTWAIT);
    if (n < 0)
        return errno == EINTR || errno == ENOBUFS; // ENOBUFS: events were lost, read on
    if (n == 0 || (msg.msg_flags & MSG_TRUNC))
        return n != 0;
    // On the netlink socket only the kernel's own messages count.
    if (msg.msg_namelen >= sizeof(sockaddr_nl) && sender.nl_family == AF_NETLINK && sender.nl_pid != 0)
        return true;
    HandleKernelMessage(buf.data(), static_cast<std::size_t>(n));
    return true;
}

bool TPortMonitor::ReadUdevMessage()
{
    struct DeviceDeleter {
        void operator()(udev_device* d) const noexcept { udev_device_unref(d); }
    };
    std::unique_ptr<udev_device, DeviceDeleter> d(udev_monitor_receive_device(monitor_.get()));
    if (!d)
        return false;
    const auto str = [](const char* s) { return s ? String(s) : String(); };
    HandleChange(str(udev_device_get_action(d.get())), str(udev_device_get_subsystem(d.get())),
                 str(udev_device_get_devpath(d.get())), str(udev_device_get_sysname(d.get())));
    return true;
}

bool TPortMonitor::HandleKernelMessage(const void* data, std::size_t size)
{
    TKernelUevent ev;
    if (!TKernelUevent::Parse(data, size, ev))
        return false;
    return HandleChange(ev.Action, ev.Subsystem, ev.DevPath, ev.DevName);
}

bool TPortMonitor::HandleChange(const String& action, const String& subsystem, const String& devPath, const String& devName)
{
    if (subsystem != "tty" || (action != "add" && action != "remove"))
        return false;
    const String name = devName.empty() ? devPath.substr(devPath.rfind('/') + 1) : devName;
    if (!PlainName(name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (action == "add") {
        const TSysfs sysfs(paths_.SysRoot, paths_.DevRoot);
        const TSerialPortScanner scanner(sysfs, nullptr);
        TCommEnumerator::TCommPortInfo info;
        if (!scanner.Describe(name, info))
            return false;
        TTraceSink::Port("arrived", name);
        DoOnPortArrival(name);
        return true;
    }
    const bool hardware = devPath.rfind("/devices/virtual/", 0) != 0;
    if (!hardware && name.rfind("rfcomm", 0) != 0)
        return false;
    TTraceSink::Port("removed", name);
    DoOnPortRemoval(name);
    return true;
}

void TPortMonitor::DoOnPortArrival(const String& portName)
{
    OnPortArrival.Invoke(this, portName);
}

void TPortMonitor::DoOnPortRemoval(const String& portName)
{
    OnPortRemoval.Invoke(this, portName);
}

} // namespace fk
