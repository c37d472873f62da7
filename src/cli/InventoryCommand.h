#pragma once
// `ferrovan inventory [--listen SECONDS] [--port PORT]... [--json | --csv]`: every controller
// of a plant at a glance.
//
// It listens for wireless modules (as `modules` does) and reaches the controller behind each
// module as soon as the module is heard, and the controllers on the serial ports named with
// --port from the start (no other serial port is ever opened). Every controller has a device
// session of its own, all of them at once on the one event loop: the module links share the
// inventory's UDP listener, which hands each link its module's datagrams. Each is bounded by
// --timeout, so the command ends within --listen plus one --timeout. One row per controller:
// what it is, or why it could not be read.
#include "cli/DeviceText.h"
#include "module/KestConnectComm.h"
#include "platform/Component.h"
#include "platform/Types.h"
#include "ports/CommEnumerator.h"

#include <memory>
#include <ostream>
#include <vector>

class QEventLoop;

namespace fk {

class TInventoryProbe;

struct TInventoryOptions {
    double listen = 3;       // seconds to listen for modules
    double timeout = 10;     // seconds for each controller
    std::vector<String> ports; // serial ports (or module:ADDRESS) named with --port
    bool json = false;
    bool csv = false;
    unsigned codePage = 0;   // of the device's and the modules' texts; 0: the user's locale's
    u16 moduleTcpPort = TKestConnectComm::DefaultTCPPort;
    u16 udpPort = TKestConnectComm::DefaultUDPPort;
};

class TInventoryCommand {
public:
    TInventoryCommand(TInventoryOptions options, std::ostream& out, std::ostream& err);
    ~TInventoryCommand();
    TInventoryCommand(const TInventoryCommand&) = delete;
    TInventoryCommand& operator=(const TInventoryCommand&) = delete;

    // Runs on the calling (main) thread's event loop; the exit status: 0 every controller
    // was read, 1 some could not be (or the modules could not be listened for).
    int Run();

private:
    // Starts a probe for a port-list entry unless one has it already.
    void Add(const TCommEnumerator::TCommPortInfo& entry);
    // Every module the listener has heard (one whose announcement was missed while listening
    // ended is still reached).
    void AddHeardModules();
    void RouteDatagram(TObject* sender, const TByteString& data, const TUDPBinding& binding);
    void ListenEnded();
    void CheckDone();
    // The rows, in order: the named ports as given, then the modules by address.
    std::vector<const TInventoryProbe*> Rows() const;
    void PrintText(const std::vector<const TInventoryProbe*>& rows) const;
    void PrintJson(const std::vector<const TInventoryProbe*>& rows) const;
    void PrintCsv(const std::vector<const TInventoryProbe*>& rows) const;
    // Where a controller is: the port, or the module's address and name.
    String Where(const TInventoryProbe& p) const;
    // The name a module reported, null when none arrived.
    const AnsiString* ModuleName(const TInventoryProbe& p) const;

    TInventoryOptions options_;
    std::ostream& out_;
    std::ostream& err_;
    TAnsiCodePage codePage_;
    TDeviceText text_;
    TOwned<TKestConnectComm> listener_;
    std::vector<std::unique_ptr<TInventoryProbe>> probes_;
    QEventLoop* loop_ = nullptr;
    bool listening_ = false;
};

} // namespace fk
