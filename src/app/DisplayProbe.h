#pragma once
// Whether the window has a display to go to, checked before Qt is started: Qt ends the program
// with an abort when DISPLAY or WAYLAND_DISPLAY names a display it cannot reach (a stale ssh
// session's forwarded X display), so the program looks first and explains instead.
#include <string>
#include <vector>

namespace fk {

class TDisplayProbe {
public:
    struct TEnvironment {
        std::string Display, WaylandDisplay, Platform, RuntimeDir;
        bool PlatformArgument = false; // -platform on the command line
    };
    static TEnvironment FromProcess(int argc, char** argv);

    // Empty when the window can be shown; else one line saying why not. installed: the
    // program runs from an installed tree (bin/), not a build folder.
    static std::string Problem(const TEnvironment& env, bool installed);
    // Whether this program runs from a bin/ folder (installed) rather than a build folder.
    static bool RunsInstalled();

    // The sockets a display name stands for, tried in order: "unix:PATH" or "tcp:HOST:PORT".
    static std::vector<std::string> XAddresses(const std::string& display);
    static std::string WaylandAddress(const std::string& name, const std::string& runtimeDir);
    // Whether something accepts a connection at address (within timeoutMs).
    static bool Reachable(const std::string& address, int timeoutMs);
};

} // namespace fk
