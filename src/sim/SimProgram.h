#pragma once
// `ferrovan-sim`: the command word, the options of each command, and running a command.
//
//   ferrovan-sim controller [OPTIONS]   the simulated lubricator controller
//   ferrovan-sim module [OPTIONS]       simulated wireless modules, each with a controller
//
// Exit status: 0 after a clean stop (SIGINT, SIGTERM, the hang-up the options asked for, or the
// end of the control input), 1 when the line could not be opened or went away, 2 on wrong usage.
#include "ports/UniqueFd.h"
#include "sim/SimModuleOptions.h"
#include "sim/SimOptions.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace fk {

class TSimController;
class TSimLog;

class TSimProgram {
public:
    TSimProgram(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    int Run(const std::vector<std::string>& args);

    // What the controller command takes besides the device options.
    struct TControllerSettings {
        TSimOptions Options;
        std::string Tty;     // serve this tty instead of a new pseudo-terminal
        int LineFd = -1;     // serve this inherited descriptor instead
        bool Control = false; // take commands on the standard input
        std::string Replay;  // answer as the controller recorded in this trace did
        std::string LogPath; // log to this file instead of the standard error stream
        bool Quiet = false;  // no log at all
        bool Help = false;
    };
    // Parses the controller command's options; false with error set on wrong usage.
    static bool ParseController(const std::vector<std::string>& args, TControllerSettings& settings,
                                std::string& error);
    static std::string ControllerHelp();
    // The answer to one line of the controller's control input (without its line end):
    //   state    "state application|bootloader open-time N break-time N": what the device holds
    //   silent   "ok": the device stops answering (what comes in meanwhile waits) ...
    //   answer   "ok": ... and answers again
    // Anything else: "error: " and why.
    static std::string ControlReply(TSimController& controller, const std::string& command);

    // What the module command takes.
    struct TModuleSettings {
        TSimModuleOptions Module;
        unsigned Count = 1;         // modules on consecutive addresses from Module.Address
        bool Controllers = true;    // a simulated controller behind each module
        bool NetworksGiven = false; // --network replaces the default list
        std::string Replay;         // the controllers answer as the one recorded in this trace
        std::string LogPath;
        bool Quiet = false;
        bool Help = false;
    };
    static bool ParseModule(const std::vector<std::string>& args, TModuleSettings& settings, std::string& error);
    static std::string ModuleHelp();

private:
    int RunController(const TControllerSettings& settings);
    int RunModules(const TModuleSettings& settings);
    int Usage(const std::string& message);
    // Where the log goes: the file, else the standard error stream unless quiet; false
    // (with the reason told) when the file cannot be created.
    bool OpenLog(const std::string& path, bool quiet, TSimLog& log);
    TUniqueFd WatchSignals();
    // Sets what the trace at path tells of its controller on options and logs which parts
    // came from it; false (with the reason told) when it cannot be replayed.
    bool LoadReplay(const std::string& path, TSimOptions& options, TSimLog& log);

    std::ostream& out_;
    std::ostream& err_;
};

} // namespace fk
