#pragma once
// The module commands of the `ferrovan` tool:
//   modules [--listen SECONDS] [--json]   the modules heard, with their configuration and the
//                                         networks they see
//   module-ap ADDRESS --ssid SSID [--password PASS]
//                                         tell a module which access point to join and wait for
//                                         its echo
// Both run a module link (TKestConnectComm) on the calling thread's event loop.
#include "cli/DeviceText.h"
#include "module/KestConnectComm.h"
#include "platform/Component.h"

#include <ostream>

namespace fk {

struct TModuleCommandOptions {
    double listen = 3;       // modules: seconds to listen
    double timeout = 10;     // module-ap: seconds to wait for the echo
    bool json = false;
    String address;          // module-ap
    String ssid;             // as typed (UTF-8); sent in the code page below
    String password;
    unsigned codePage = 0;   // of the modules' texts; 0: the user's locale's
    u16 moduleTcpPort = TKestConnectComm::DefaultTCPPort;
    u16 udpPort = TKestConnectComm::DefaultUDPPort;
};

class TModuleCommand {
public:
    TModuleCommand(TModuleCommandOptions options, std::ostream& out, std::ostream& err);

    // Both return the tool's exit status.
    int ListModules();
    int SetAccessPoint();

    // The device list as the tool prints it; the modules' texts are decoded with text.
    static std::string ModulesJson(const TKestConnectStatusList& modules, const TDeviceText& text);
    static std::string ModulesText(const TKestConnectStatusList& modules, const TDeviceText& text);

private:
    TOwned<TKestConnectComm> MakeLink();

    TModuleCommandOptions options_;
    TAnsiCodePage codePage_;
    std::ostream& out_;
    std::ostream& err_;
};

} // namespace fk
