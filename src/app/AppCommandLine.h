#pragma once
// The configurator's command line:
//
//   ferrovan-kest [--port PATH[=DESCRIPTION]]... [--connect NAME]
//                 [--module-tcp-port N] [--udp-port N]
//                 [--screenshot-to DIR] [--quit-after-connect] [--exit-when-shown] [--help]
//                 [--trace FILE]
//
// --port adds a port that discovery does not list (a pseudo-terminal, a link made by socat);
// --connect connects to the entry with that port name once the port list is filled;
// --module-tcp-port and --udp-port set the wireless modules' ports (as the tool has them);
// --screenshot-to writes pictures of the window before and after connecting into DIR;
// --quit-after-connect ends the program once the connection is made or has failed;
// --exit-when-shown prints the wall-clock time (ns since the epoch) at which the window was
// first on screen with its port list filled, and ends (start-up measurements);
// --trace writes the diagnostic trace (JSON lines) to FILE.
#include "platform/Types.h"

#include <optional>
#include <vector>

namespace fk {

struct TExtraPort {
    String Path;
    String Description;
};

struct TAppCommandLine {
    std::vector<TExtraPort> Ports;
    std::optional<String> Connect;
    String ScreenshotDir;
    String TraceFile; // empty: no trace
    u16 ModuleTCPPort = 0; // 0: the default (90)
    u16 UDPPort = 0;       // 0: the default (13873)
    bool QuitAfterConnect = false;
    bool ExitWhenShown = false;
    bool Help = false;
    bool Version = false; // --version

    // Parses the arguments after the program name; false with error set on wrong usage.
    static bool Parse(const std::vector<String>& args, TAppCommandLine& result, String& error);
    static const char* Usage() noexcept;
};

} // namespace fk
