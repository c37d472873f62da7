#pragma once
// The `ferrovan` tool: runs one command and returns its exit status.
//   0 success, 1 the port or the device failed, or the result could not be written out,
//   2 wrong usage.
#include "cli/CommandLine.h"
#include "platform/Types.h"
#include "ports/CommEnumerator.h"

#include <ostream>
#include <string>
#include <vector>

namespace fk {

class TCommandLine;
class TTraceSink;

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

    // The overview of every command, and one command's own usage (empty for an unknown one).
    static std::string Usage();
    static std::string CommandUsage(const std::string& command);
    // The options a command takes (none for an unknown one).
    static const std::vector<TOptionSpec>& Options(const std::string& command);

    // The code page of the device's and the modules' 8-bit texts; 0 (the default): the one
    // of the user's locale.
    void SetCodePage(unsigned codePage) noexcept { codePage_ = codePage; }

    // Standard output is a terminal: progress is drawn as a bar redrawn in place.
    void SetTerminal(bool terminal) noexcept { terminal_ = terminal; }

    // Where `ports` looks for the machine's ports and for brltty (tests hand in trees of their own).
    void SetDiscoveryPaths(const TCommEnumerator::TDiscoveryPaths& paths, const String& procRoot)
    {
        paths_ = paths;
        procRoot_ = procRoot;
    }

    // Why a PORT argument names no serial device (a folder, a regular file); empty when it
    // may be one.
    static std::string NotASerialDevice(const std::string& port);

private:
    // --trace FILE of a device or module command: the trace file opened and made active;
    // false (the error told) when it cannot be opened.
    bool OpenTrace(const std::string& command, const std::vector<std::string>& args, TTraceSink& trace);
    // Runs a command; a result that could not be written out fails it.
    int RunCommand(const std::string& command, const std::vector<std::string>& rest);
    int Dispatch(const std::string& command, const std::vector<std::string>& rest);
    int Ports(const std::vector<std::string>& args);
    int Module(const std::string& command, const std::vector<std::string>& args);
    // --module-tcp-port and --udp-port; false with the command line's error set.
    static bool ModulePorts(TCommandLine& cl, u16& tcpPort, u16& udpPort);
    int Device(const std::string& command, const std::vector<std::string>& args);
    int Flash(const std::vector<std::string>& args);
    int Inventory(const std::vector<std::string>& args);

    std::ostream& out_;
    std::ostream& err_;
    bool terminal_ = false;
    unsigned codePage_ = 0;
    TCommEnumerator::TDiscoveryPaths paths_;
    String procRoot_ = "/proc";
};

} // namespace fk
