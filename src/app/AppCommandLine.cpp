#include "app/AppCommandLine.h"

namespace fk {

namespace {

// "--name VALUE" or "--name=VALUE"; false when arg is not this option.
bool TakeValue(const std::vector<String>& args, std::size_t& i, const char* name, String& value, bool& missing)
{
    const String& arg = args[i];
    const String option(name);
    if (arg == option) {
        if (i + 1 >= args.size()) {
            missing = true;
            return true;
        }
        value = args[++i];
        return true;
    }
    if (arg.compare(0, option.size() + 1, option + "=") == 0) {
        value = arg.substr(option.size() + 1);
        return true;
    }
    return false;
}

// A port number 1..65535, decimal.
bool ParsePort(const String& text, u16& port)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != String::npos)
        return false;
    const unsigned long value = std::stoul(text);
    if (value < 1 || value > 65535)
        return false;
    port = static_cast<u16>(value);
    return true;
}

// Seconds 0..3600, decimal with an optional fraction, as milliseconds.
bool ParseSeconds(const String& text, int& ms)
{
    if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789.") != String::npos ||
        text.find('.') != text.rfind('.') || text.front() == '.' || text.back() == '.')
        return false;
    const double seconds = std::stod(text);
    if (seconds > 3600)
        return false;
    ms = static_cast<int>(seconds * 1000 + 0.5);
    return true;
}

} // namespace

const char* TAppCommandLine::Usage() noexcept
{
    return "usage: ferrovan-kest [--port PATH[=DESCRIPTION]]... [--connect NAME] [--connect-timeout SECONDS]\n"
           "                     [--module-tcp-port N] [--udp-port N]\n"
           "                     [--screenshot-to DIR] [--quit-after-connect] [--exit-when-shown]\n"
           "                     [--trace FILE] [--version] [--help]\n"
           "  --port PATH[=DESCRIPTION]  add a serial port that discovery does not list (repeatable)\n"
           "  --connect NAME             connect to the port list entry NAME once it is listed (a module\n"
           "                             heard later, an adapter plugged in after the start); NAME may\n"
           "                             also be a device path, a /dev/serial link or an adapter's identity\n"
           "  --connect-timeout SECONDS  how long --connect waits for NAME to be listed (default 10)\n"
           "  --module-tcp-port N        the wireless modules' command port (default 90)\n"
           "  --udp-port N               the UDP port of the module link (default 13873)\n"
           "  --screenshot-to DIR        save pictures of the window before and after connecting in DIR\n"
           "  --quit-after-connect       quit once the connection is made or has failed\n"
           "  --exit-when-shown          print when the window was first shown (ns since the epoch) and quit\n"
           "  --trace FILE               write a diagnostic trace to FILE (JSON lines)\n"
           "  --version                  print the product name and version\n"
           "  --help                     print this text\n";
}

bool TAppCommandLine::Parse(const std::vector<String>& args, TAppCommandLine& result, String& error)
{
    TAppCommandLine parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const String& arg = args[i];
        String value;
        bool missing = false;
        if (arg == "--version") {
            parsed.Version = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            parsed.Help = true;
        } else if (arg == "--quit-after-connect") {
            parsed.QuitAfterConnect = true;
        } else if (arg == "--exit-when-shown") {
            parsed.ExitWhenShown = true;
        } else if (TakeValue(args, i, "--port", value, missing)) {
            if (missing) {
                error = "--port needs a device path";
                return false;
            }
            TExtraPort port;
            const auto eq = value.find('=');
            port.Path = value.substr(0, eq);
            if (eq != String::npos)
                port.Description = value.substr(eq + 1);
            if (port.Path.empty()) {
                error = "--port needs a device path before '='";
                return false;
            }
            if (port.Path.find('\n') != String::npos || port.Description.find('\n') != String::npos) {
                error = "--port: line breaks are not allowed";
                return false;
            }
            parsed.Ports.push_back(std::move(port));
        } else if (TakeValue(args, i, "--connect", value, missing)) {
            if (missing || value.empty()) {
                error = "--connect needs a port name";
                return false;
            }
            if (parsed.Connect) {
                error = "--connect given twice";
                return false;
            }
            parsed.Connect = value;
        } else if (TakeValue(args, i, "--connect-timeout", value, missing)) {
            if (missing || !ParseSeconds(value, parsed.ConnectTimeoutMs)) {
                error = "--connect-timeout needs a number of seconds 0..3600";
                return false;
            }
        } else if (TakeValue(args, i, "--module-tcp-port", value, missing)) {
            if (missing || !ParsePort(value, parsed.ModuleTCPPort)) {
                error = "--module-tcp-port needs a port number 1..65535";
                return false;
            }
        } else if (TakeValue(args, i, "--udp-port", value, missing)) {
            if (missing || !ParsePort(value, parsed.UDPPort)) {
                error = "--udp-port needs a port number 1..65535";
                return false;
            }
        } else if (TakeValue(args, i, "--screenshot-to", value, missing)) {
            if (missing || value.empty()) {
                error = "--screenshot-to needs a folder";
                return false;
            }
            parsed.ScreenshotDir = value;
        } else if (TakeValue(args, i, "--trace", value, missing)) {
            if (missing || value.empty()) {
                error = "--trace needs a file name";
                return false;
            }
            parsed.TraceFile = value;
        } else {
            error = "unknown argument '" + arg + "'";
            return false;
        }
    }
    result = std::move(parsed);
    return true;
}

} // namespace fk
