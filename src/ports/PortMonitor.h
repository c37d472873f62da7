#pragma once
// Reports serial ports that arrive and go (a USB adapter plugged in or pulled, an RFCOMM
// port bound or released), with the port name, on the main thread.
//
// The monitor watches one socket from the Qt event loop (QSocketNotifier), so it needs no
// thread of its own: the udev monitor when udevd runs (its events come after udev has set
// up the device and its /dev/serial links), the kernel's device-event socket otherwise.
// An arriving device is reported only when discovery would list it (the tree is read
// below Paths(), the real /sys and /dev unless told otherwise); a leaving device is
// reported when it had hardware of its own (or was an RFCOMM port), since its sysfs entry
// is already gone by then.
#include "platform/Component.h"
#include "ports/CommEnumerator.h"
#include "ports/UniqueFd.h"

#include <memory>

class QSocketNotifier;
struct udev;
struct udev_monitor;

namespace fk {

struct TKernelUevent;

using TPortChangeEvent = TEvent<TObject*, const String&>;

class TPortMonitor : public TComponent {
public:
    enum TMonitorSource { msNone, msUdev, msKernel };

    explicit TPortMonitor(TComponent* owner = nullptr);
    ~TPortMonitor() override;

    // Starts watching: udev when its daemon runs, else the kernel's events. Needs the
    // Qt application object. False with the last error when no socket could be set up.
    bool Open();
    bool OpenUdev();
    bool OpenKernel();
    // Watches a socket that delivers messages in the kernel's format (for another
    // source of events, and for tests). The monitor takes the descriptor over.
    bool OpenSocket(int fd);
    void Close() noexcept;

    bool Active() const noexcept { return source_ != msNone; }
    TMonitorSource Source() const noexcept { return source_; }

    // Where arriving devices are looked up.
    const TCommEnumerator::TDiscoveryPaths& Paths() const noexcept { return paths_; }
    void SetPaths(const TCommEnumerator::TDiscoveryPaths& paths) { paths_ = paths; }

    // Takes one kernel-format message; true when it reported a port.
    bool HandleKernelMessage(const void* data, std::size_t size);

    TPortChangeEvent OnPortArrival; // (Sender, port name)
    TPortChangeEvent OnPortRemoval; // (Sender, port name)

protected:
    virtual void DoOnPortArrival(const String& portName);
    virtual void DoOnPortRemoval(const String& portName);

private:
    struct UdevDeleter {
        void operator()(struct udev* u) const noexcept;
    };
    struct MonitorDeleter {
        void operator()(udev_monitor* m) const noexcept;
    };

    bool Watch(int fd, TMonitorSource source);
    void ReadReady();
    bool ReadKernelMessage();
    bool ReadUdevMessage();
    // Decides and reports one change; true when a port was reported.
    bool HandleChange(const String& action, const String& subsystem, const String& devPath, const String& devName);

    TMonitorSource source_ = msNone;
    TCommEnumerator::TDiscoveryPaths paths_;
    TUniqueFd fd_; // the kernel (or handed-in) socket
    std::unique_ptr<struct udev, UdevDeleter> udev_;
    std::unique_ptr<udev_monitor, MonitorDeleter> monitor_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool dispatching_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace fk
