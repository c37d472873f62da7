#pragma once
// The `ferrovan` tool: runs one command and returns its exit status.
//   0 success, 1 the port or the device failed, 2 wrong usage.
#include "platform/Types.h"

#include <ostream>
#include <string>
#include <vector>

namespace fk {

class TCommandLine;

enum TExitStatus : int { exitOk = 0, exitFailed = 1, exitUsage = 2 };

class TTool {
public:
    TTool(std::ostream& out, std::ostream& err)
        : out_(out)
        , err_(err)
    {
    }

    // args without the program name.
    int Run(const std::vector<std::string>& args);

    static std::string Usage();

    // Standard output is a terminal: progress is drawn as a bar redrawn in place.
    void SetTerminal(bool terminal) noexcept { terminal_ = terminal; }

private:
    int Ports(const std::vector<std::string>& args);
    int Module(const std::string& command, const std::vector<std::string>& args);
    // --module-tcp-port and --udp-port; false with the command line's error set.
    static bool ModulePorts(TCommandLine& cl, u16& tcpPort, u16& udpPort);
    int Device(const std::string& command, const std::vector<std::string>& args);
    int Flash(const std::vector<std::string>& args);

    std::ostream& out_;
    std::ostream& err_;
    bool terminal_ = false;
};

} // namespace fk
