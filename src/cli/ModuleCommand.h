#pragma once
// The module commands of the `ferrovan` tool:
//   modules [--listen SECONDS] [--json]   the modules heard, with their configuration and the
//                                         networks they see
//   module-ap ADDRESS --ssid SSID [--password PASS]
//                                         tell a module which access point to join and wait for
//                                         its echo
// Both run a module link (TKestConnectComm) on the calling thread's event loop.
#include "module/KestConnectComm.h"
#include "platform/Component.h"

#include <ostream>

namespace fk {

struct TModuleCommandOptions {
    double listen = 3;       // modules: seconds to listen
    double timeout = 10;     // module-ap: seconds to wait for the echo
    bool json = false;
    String address;          // module-ap
    AnsiString ssid;
    AnsiString password;
    u16 moduleTcpPort = TKestConnectComm::DefaultTCPPort;
    u16 udpPort = TKestConnectComm::DefaultUDPPort;
};

class TModuleCommand {
public:
    TModuleCommand(TModuleCommandOptions options, std::ostream& out, std::ostream& err);

    // Both return the tool's exit status.
    int ListModules();
    int SetAccessPoint();

    // The device list as the tool prints it.
    static std::string ModulesJson(const TKestConnectStatusList& modules);
    static std::string ModulesText(const TKestConnectStatusList& modules);

private:
    TOwned<TKestConnectComm> MakeLink();

    TModuleCommandOptions options_;
    std::ostream& out_;
    std::ostream& err_;
};

} // namespace fk
