#include "sim/SimProgram.h"

#include "platform/LastError.h"
#include "session/FirmwareImage.h"
#include "sim/SimController.h"
#include "sim/SimModule.h"
#include "sim/SimReplay.h"
#include "support/VersionInfo.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace fk {

namespace {

using TSettings = TSimProgram::TControllerSettings;

// A whole number in decimal or 0x-hexadecimal within [min, max].
bool ParseNumber(const std::string& text, unsigned long long min, unsigned long long max,
                 unsigned long long& out)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
        return false;
    errno = 0;
    const unsigned long long v = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
    if (errno != 0 || v < min || v > max)
        return false;
    out = v;
    return true;
}

// Numbers separated by sep, each within [min, max], exactly count of them.
bool ParseNumbers(const std::string& text, char sep, std::size_t count, unsigned long long min,
                  unsigned long long max, std::vector<unsigned long long>& out)
{
    out.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(sep, start);
        unsigned long long v;
        if (!ParseNumber(text.substr(start, end - start), min, max, v))
            return false;
        out.push_back(v);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return out.size() == count;
}

// One option of a command whose settings are S.
template <class S>
struct TOptionOf {
    const char* Name;
    const char* Value; // null: a flag
    const char* Help;
    // Stores the value; false when it is not acceptable (the message says what is).
    std::function<bool(S&, const std::string&)> Apply;
    const char* Expected = "";
};

using TOption = TOptionOf<TSettings>;

// Reads "--name value", "--name=value" and "--flag" arguments into settings.
template <class S>
bool ParseOptions(const std::vector<TOptionOf<S>>& options, const std::vector<std::string>& args, S& settings,
                  std::string& error)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0 || arg.size() == 2) {
            error = "unexpected argument '" + arg + "'";
            return false;
        }
        std::string name = arg.substr(2), value;
        const std::size_t eq = name.find('=');
        const bool inlineValue = eq != std::string::npos;
        if (inlineValue) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const auto it = std::find_if(options.begin(), options.end(), [&](const auto& o) { return name == o.Name; });
        if (it == options.end()) {
            error = "unknown option '--" + name + "'";
            return false;
        }
        if (!it->Value && inlineValue) {
            error = "option '--" + name + "' takes no value";
            return false;
        }
        if (it->Value && !inlineValue) {
            if (i + 1 >= args.size()) {
                error = "option '--" + name + "' needs a value (" + it->Value + ")";
                return false;
            }
            value = args[++i];
        }
        if (!it->Apply(settings, value)) {
            error = "option '--" + name + "': '" + value + "' is not " + it->Expected;
            return false;
        }
    }
    return true;
}

// The usage text: the head, then one line per option.
template <class S>
std::string OptionsHelp(std::string text, const std::vector<TOptionOf<S>>& options)
{
    for (const auto& o : options) {
        std::string head = std::string("  --") + o.Name + (o.Value ? std::string(" ") + o.Value : "");
        head.resize(std::max<std::size_t>(head.size() + 1, 28), ' ');
        text += head + o.Help + "\n";
    }
    return text;
}

template <class T>
std::function<bool(TSettings&, const std::string&)> Number(T TSimOptions::*field, unsigned long long min,
                                                            unsigned long long max)
{
    return [=](TSettings& s, const std::string& v) {
        unsigned long long n;
        if (!ParseNumber(v, min, max, n))
            return false;
        s.Options.*field = static_cast<T>(n);
        return true;
    };
}

std::function<bool(TSettings&, const std::string&)> Flag(bool TSimOptions::*field)
{
    return [=](TSettings& s, const std::string&) { return (s.Options.*field = true); };
}

std::function<bool(TSettings&, const std::string&)> Text(std::string TSimOptions::*field)
{
    return [=](TSettings& s, const std::string& v) {
        if (v.size() > 32)
            return false;
        s.Options.*field = v;
        return true;
    };
}

const std::vector<TOption>& ControllerOptions()
{
    static const std::vector<TOption> options = {
        {"tty", "PATH", "serve this tty instead of a new pseudo-terminal",
         [](TSettings& s, const std::string& v) { s.Tty = v; return !v.empty(); }, "a path"},
        {"line-fd", "N",
         "serve the inherited descriptor N (such as the side of a pseudo-terminal its caller keeps, so "
         "that another simulator can serve the same line later)",
         [](TSettings& s, const std::string& v) {
             unsigned long long n;
             if (!ParseNumber(v, 3, INT_MAX, n) || fcntl(static_cast<int>(n), F_GETFD) < 0)
                 return false;
             s.LineFd = static_cast<int>(n);
             return true;
         }, "an open descriptor from 3 on"},
        {"control", nullptr,
         "take commands on the standard input, one a line, each answered with one line: state (what "
         "the device holds), silent, answer; the program ends when its input ends",
         [](TSettings& s, const std::string&) { return (s.Control = true); }},
        {"replay", "TRACE",
         "answer as the controller recorded in a diagnostic trace (--trace of ferrovan or ferrovan-kest) did: "
         "its identity, firmware, parameters, and its silence or late replies from the same request on; "
         "the trace wins over the identity options",
         [](TSettings& s, const std::string& v) { s.Replay = v; return !v.empty(); }, "a path"},
        {"identifier", "N", "device identifier (u32); byte 2 is the model (default 0x00060001)",
         Number(&TSimOptions::Identifier, 0, 0xFFFFFFFFull), "a number up to 0xFFFFFFFF"},
        {"model", "N", "model byte of the identifier (default 6)",
         [](TSettings& s, const std::string& v) {
             unsigned long long n;
             if (!ParseNumber(v, 0, 255, n))
                 return false;
             s.Options.Identifier = (s.Options.Identifier & ~0x00FF0000u) | u32(n) << 16;
             return true;
         }, "a number 0..255"},
        {"serial", "TEXT", "serial number (default FK-SIM-0001)", Text(&TSimOptions::SerialNumber),
         "at most 32 characters"},
        {"info", "TEXT", "information text of the firmware", Text(&TSimOptions::InfoText),
         "at most 32 characters"},
        {"firmware-version", "A.B.C", "firmware version (default 1.2.0; B selects the break-time range)",
         [](TSettings& s, const std::string& v) {
             std::vector<unsigned long long> n;
             if (!ParseNumbers(v, '.', 3, 0, 255, n))
                 return false;
             for (int i = 0; i < 3; ++i)
                 s.Options.Version[i] = static_cast<u8>(n[i]);
             return true;
         }, "three numbers 0..255 such as 1.2.0"},
        {"build-date", "YYYY-MM-DD", "firmware build date (default 2024-05-17)",
         [](TSettings& s, const std::string& v) {
             std::vector<unsigned long long> n;
             if (!ParseNumbers(v, '-', 3, 0, 2255, n) || n[0] < 2000 || n[1] < 1 || n[1] > 12 || n[2] < 1
                 || n[2] > 31)
                 return false;
             s.Options.BuildYear = static_cast<unsigned>(n[0]);
             s.Options.BuildMonth = static_cast<u8>(n[1]);
             s.Options.BuildDay = static_cast<u8>(n[2]);
             return true;
         }, "a date from 2000-01-01 to 2255-12-31"},
        {"block-size", "N", "firmware block size in bytes (default 256)",
         Number(&TSimOptions::BlockSize, 1, 65525), "a number 1..65525"},
        {"block-count", "N", "number of firmware blocks (default 256)",
         Number(&TSimOptions::BlockCount, 0, 65535), "a number 0..65535"},
        {"support", "N", "support byte of the device information; 2 and above: unsupported (default 0)",
         Number(&TSimOptions::Support, 0, 255), "a number 0..255"},
        {"open-time", "N", "parameter byte 0, the open time (default 20)",
         Number(&TSimOptions::OpenTime, 0, 255), "a number 0..255"},
        {"break-time", "N", "parameter byte 1, the break time (default 5)",
         Number(&TSimOptions::BreakTime, 0, 255), "a number 0..255"},
        {"bootloader", nullptr, "start in the bootloader", Flag(&TSimOptions::StartInBootloader)},
        {"corrupt", nullptr, "report the application firmware corrupted; it cannot start until a new one is transferred",
         Flag(&TSimOptions::FirmwareCorrupt)},
        {"refuse-bootloader", nullptr, "answer enter-bootloader but come back in the application",
         Flag(&TSimOptions::RefuseBootloader)},
        {"stay-in-bootloader", nullptr, "answer restart but come back in the bootloader",
         Flag(&TSimOptions::StayInBootloader)},
        {"boot-time", "MS", "silence after a restart reply (default 200)",
         Number(&TSimOptions::BootTimeMs, 0, 600000), "milliseconds 0..600000"},
        {"reply-delay", "MS", "delay before each reply (default 0)",
         Number(&TSimOptions::ReplyDelayMs, 0, 600000), "milliseconds 0..600000"},
        {"baud", "N", "send at this line rate, 11 bits a byte (default: no pacing; 19200 on --tty)",
         Number(&TSimOptions::Baud, 50, 4000000), "a number 50..4000000"},
        {"drop-every", "N", "never send every Nth reply", Number(&TSimOptions::DropEvery, 1, 1000000),
         "a number 1..1000000"},
        {"drop-block-reply", "N", "never send the reply to the Nth firmware block (resends counted)",
         Number(&TSimOptions::DropBlockReply, 1, 1000000), "a number 1..1000000"},
        {"drop-block-replies", "N", "with --drop-block-reply: drop that many block replies in a row (default 1)",
         Number(&TSimOptions::DropBlockReplies, 1, 1000000), "a number 1..1000000"},
        {"garble-every", "N", "damage one byte of every Nth reply", Number(&TSimOptions::GarbleEvery, 1, 1000000),
         "a number 1..1000000"},
        {"garble-reply-to", "CODE", "damage one byte of the first reply to message CODE (0x01: enter bootloader)",
         [](TSettings& s, const std::string& v) {
             unsigned long long n;
             if (!ParseNumber(v, 0, 255, n))
                 return false;
             s.Options.GarbleReplyTo = static_cast<int>(n);
             return true;
         }, "a message code 0..255"},
        {"hangup-after", "N", "close the line once N bytes have come in",
         Number(&TSimOptions::HangupAfter, 1, ~0ull), "a number from 1"},
        {"dedupe", nullptr, "drop a firmware block that resends one whose reply was lost (default: append it, as a real device does)",
         Flag(&TSimOptions::Dedupe)},
        {"expect-image", "FILE",
         "the firmware image this device is meant to receive: a transfer is complete only when its "
         "payload came in whole (without it: when the last block is shorter than the block size)",
         [](TSettings& s, const std::string& v) {
             TByteString image;
             if (!TFirmwareImage::Load(v, image, nullptr))
                 return false;
             const u8* payload = TFirmwareImage::Payload(image);
             s.Options.ExpectedFirmware.assign(payload, payload + TFirmwareImage::PayloadLength(image));
             return true;
         }, "a firmware image file that loads (see ferrovan image-info)"},
        {"dump-firmware", "FILE", "write each installed firmware payload to FILE",
         [](TSettings& s, const std::string& v) { s.Options.DumpFirmwarePath = v; return !v.empty(); }, "a path"},
        {"log", "FILE", "log to FILE instead of the standard error stream",
         [](TSettings& s, const std::string& v) { s.LogPath = v; return !v.empty(); }, "a path"},
        {"quiet", nullptr, "no log", [](TSettings& s, const std::string&) { return (s.Quiet = true); }},
        {"help", nullptr, "show this help", [](TSettings& s, const std::string&) { return (s.Help = true); }},
    };
    return options;
}

using TModuleSettings = TSimProgram::TModuleSettings;

using TModuleOption = TOptionOf<TModuleSettings>;

std::function<bool(TModuleSettings&, const std::string&)> ModuleText(std::string TSimModuleOptions::*field)
{
    // The module cuts its replies at commas: no field may hold one.
    return [=](TModuleSettings& s, const std::string& v) {
        if (v.size() > 32 || v.find_first_of(std::string(",\r\n\0", 4)) != std::string::npos)
            return false;
        s.Module.*field = v;
        return true;
    };
}

std::function<bool(TModuleSettings&, const std::string&)> ModuleFlag(bool TSimModuleOptions::*field)
{
    return [=](TModuleSettings& s, const std::string&) { return (s.Module.*field = true); };
}

std::function<bool(TModuleSettings&, const std::string&)> Port(u16 TSimModuleOptions::*field)
{
    return [=](TModuleSettings& s, const std::string& v) {
        unsigned long long n;
        if (!ParseNumber(v, 1, 65535, n))
            return false;
        s.Module.*field = static_cast<u16>(n);
        return true;
    };
}

const std::vector<TModuleOption>& ModuleOptions()
{
    static const std::vector<TModuleOption> options = {
        {"count", "N", "number of modules, on consecutive addresses (default 1)",
         [](TModuleSettings& s, const std::string& v) {
             unsigned long long n;
             if (!ParseNumber(v, 1, 250, n))
                 return false;
             s.Count = static_cast<unsigned>(n);
             return true;
         }, "a number 1..250"},
        {"address", "IP", "address of the first module, within 127.0.0.0/8 (default 127.0.0.2)",
         [](TModuleSettings& s, const std::string& v) { s.Module.Address = v; return v.rfind("127.", 0) == 0; },
         "a loopback address"},
        {"configurator", "IP", "where announcements and device data go (default 127.0.0.1)",
         [](TModuleSettings& s, const std::string& v) { s.Module.ConfiguratorAddress = v; return v.rfind("127.", 0) == 0; },
         "a loopback address"},
        {"tcp-port", "N", "the modules' command port (default 90)", Port(&TSimModuleOptions::TCPPort), "a port 1..65535"},
        {"udp-port", "N", "the UDP port of modules and configurator (default 13873)", Port(&TSimModuleOptions::UDPPort),
         "a port 1..65535"},
        {"announce-ms", "MS", "interval of the announcements (default 1000)",
         [](TModuleSettings& s, const std::string& v) {
             unsigned long long n;
             if (!ParseNumber(v, 10, 600000, n))
                 return false;
             s.Module.AnnounceIntervalMs = static_cast<unsigned>(n);
             return true;
         }, "milliseconds 10..600000"},
        {"name", "TEXT", "module name (default KC-SIM; numbered when --count > 1)", ModuleText(&TSimModuleOptions::Name),
         "at most 32 characters without a comma"},
        {"version", "TEXT", "firmware version text (default 1.0.0)", ModuleText(&TSimModuleOptions::Version),
         "at most 32 characters without a comma"},
        {"ssid", "TEXT", "access point it is set to (default Workshop)", ModuleText(&TSimModuleOptions::SSID),
         "at most 32 characters without a comma"},
        {"password", "TEXT", "its pass phrase (default secret)", ModuleText(&TSimModuleOptions::Password),
         "at most 32 characters without a comma"},
        {"ap-ip", "IP", "its address on the access point's network (default 0.0.0.0)",
         ModuleText(&TSimModuleOptions::APAddress), "an address"},
        {"joined", nullptr, "report the access point joined", ModuleFlag(&TSimModuleOptions::Joined)},
        {"network", "SSID:DBM", "a network it sees (repeatable; replaces Workshop:-48, Office:-71)",
         [](TModuleSettings& s, const std::string& v) {
             const std::size_t colon = v.rfind(':');
             if (colon == std::string::npos || colon == 0 || v.find(',') != std::string::npos)
                 return false;
             char* end = nullptr;
             const long dbm = std::strtol(v.c_str() + colon + 1, &end, 10);
             if (*end != '\0' || colon + 1 == v.size() || dbm < -200 || dbm > 50)
                 return false;
             if (!s.NetworksGiven)
                 s.Module.Networks.clear();
             s.NetworksGiven = true;
             s.Module.Networks.emplace_back(v.substr(0, colon), static_cast<int>(dbm));
             return true;
         }, "an SSID without a comma, a colon and a signal in dBm such as Office:-60"},
        {"refuse", nullptr, "refuse the link (CONREJ)", ModuleFlag(&TSimModuleOptions::RefuseLink)},
        {"no-announce", nullptr, "never announce", ModuleFlag(&TSimModuleOptions::NoAnnounce)},
        {"ignore-disconnect", nullptr, "never echo the close command", ModuleFlag(&TSimModuleOptions::IgnoreDisconnect)},
        {"mute", nullptr, "take commands and never answer", ModuleFlag(&TSimModuleOptions::Mute)},
        {"alconn", nullptr, "answer ALCONN to the link command instead of its echo",
         ModuleFlag(&TSimModuleOptions::AnswerAlconn)},
        {"trailing-nul", nullptr, "end every reply with a NUL byte", ModuleFlag(&TSimModuleOptions::TrailingNul)},
        {"replay", "TRACE", "the controllers answer as the one recorded in a diagnostic trace did (see controller --help)",
         [](TModuleSettings& s, const std::string& v) { s.Replay = v; return !v.empty(); }, "a path"},
        {"no-controller", nullptr, "no simulated controller behind the modules",
         [](TModuleSettings& s, const std::string&) { s.Controllers = false; return true; }},
        {"log", "FILE", "log to FILE instead of the standard error stream",
         [](TModuleSettings& s, const std::string& v) { s.LogPath = v; return !v.empty(); }, "a path"},
        {"quiet", nullptr, "no log", [](TModuleSettings& s, const std::string&) { return (s.Quiet = true); }},
        {"help", nullptr, "show this help", [](TModuleSettings& s, const std::string&) { return (s.Help = true); }},
    };
    return options;
}

const char* const MainHelp =
    "usage: ferrovan-sim COMMAND [OPTIONS]\n"
    "  controller   the simulated lubricator controller (node 8) on a pseudo-terminal\n"
    "  module       simulated wireless modules on loopback addresses, each with a controller\n"
    "  --version    print the product name and version\n"
    "ferrovan-sim COMMAND --help lists the options of a command.\n";

} // namespace

std::string TSimProgram::ControllerHelp()
{
    return OptionsHelp("usage: ferrovan-sim controller [OPTIONS]\n"
                       "Prints the path of the line to connect to on its first output line, then serves\n"
                       "until SIGINT or SIGTERM. Options:\n",
                       ControllerOptions());
}

std::string TSimProgram::ControlReply(TSimController& controller, const std::string& line)
{
    std::string command = line;
    if (!command.empty() && command.back() == '\r')
        command.pop_back();
    if (command == "state") {
        const TDeviceParameters held = controller.Parameters();
        return std::string("state ") + (controller.InBootloader() ? "bootloader" : "application") + " open-time "
            + std::to_string(held.OpenTime()) + " break-time " + std::to_string(held.BreakTime());
    }
    if (command == "silent") {
        controller.Stop();
        return "ok";
    }
    if (command == "answer") {
        if (!controller.Serving() && !controller.Start())
            return "error: cannot answer: " + ErrorText(GetLastError());
        return "ok";
    }
    return "error: unknown command '" + command + "' (state, silent, answer)";
}

bool TSimProgram::ParseController(const std::vector<std::string>& args, TControllerSettings& settings,
                                  std::string& error)
{
    return ParseOptions(ControllerOptions(), args, settings, error);
}

bool TSimProgram::OpenLog(const std::string& path, bool quiet, TSimLog& log)
{
    if (path.empty()) {
        if (!quiet)
            log.ToStderr();
        return true;
    }
    if (log.ToFile(path))
        return true;
    err_ << "ferrovan-sim: cannot create the log " << path << ": " << ErrorText(GetLastError()) << "\n";
    return false;
}

// SIGINT and SIGTERM arrive through the returned descriptor; the threads started afterwards
// inherit the mask, so no thread is interrupted by them.
TUniqueFd TSimProgram::WatchSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    TUniqueFd signalFd(signalfd(-1, &signals, SFD_CLOEXEC));
    if (!signalFd.Valid())
        err_ << "ferrovan-sim: cannot watch for signals: " << ErrorText(ErrorFromErrno(errno)) << "\n";
    return signalFd;
}

bool TSimProgram::LoadReplay(const std::string& path, TSimOptions& options, TSimLog& log)
{
    TSimReplay replay;
    if (!replay.Load(path)) {
        err_ << "ferrovan-sim: cannot replay " << path << ": " << replay.Error() << "\n";
        return false;
    }
    replay.Apply(options);
    log.Line("replaying " + path + ", from the trace:");
    for (const std::string& note : replay.Notes())
        log.Line("  " + note);
    return true;
}

int TSimProgram::Usage(const std::string& message)
{
    err_ << "ferrovan-sim: " << message << "\n" << "Try 'ferrovan-sim --help'.\n";
    return 2;
}

int TSimProgram::Run(const std::vector<std::string>& args)
{
    if (args.empty())
        return Usage("a command is needed: controller or module");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out_ << MainHelp;
        return 0;
    }
    if (command == "--version") {
        const String text = TFileVersionInfo().ProductAndVersion();
        out_ << (text.empty() ? String("ferrovan-sim (this build carries no version information)") : text) << "\n";
        return 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "module") {
        TModuleSettings settings;
        std::string error;
        if (!ParseModule(rest, settings, error))
            return Usage(error);
        if (settings.Help) {
            out_ << ModuleHelp();
            return 0;
        }
        return RunModules(settings);
    }
    if (command != "controller")
        return Usage("unknown command '" + command + "'");
    TControllerSettings settings;
    std::string error;
    if (!ParseController(rest, settings, error))
        return Usage(error);
    if (settings.Help) {
        out_ << ControllerHelp();
        return 0;
    }
    return RunController(settings);
}

int TSimProgram::RunController(const TControllerSettings& settings)
{
    TSimLog log;
    if (!OpenLog(settings.LogPath, settings.Quiet, log))
        return 1;
    TUniqueFd signalFd = WatchSignals();
    if (!signalFd.Valid())
        return 1;

    TSimOptions options = settings.Options;
    if (!settings.Replay.empty() && !LoadReplay(settings.Replay, options, log))
        return 1;
    TSimController controller(options, log);
    bool opened;
    std::string what = settings.Tty.empty() ? "a pseudo-terminal" : settings.Tty;
    if (settings.LineFd >= 0) {
        // Named as the pseudo-terminal's other side when it is one.
        char name[PATH_MAX];
        what = "descriptor " + std::to_string(settings.LineFd);
        opened = controller.Serve(TUniqueFd(settings.LineFd),
                                  ptsname_r(settings.LineFd, name, sizeof name) == 0 ? std::string(name) : what);
    } else {
        opened = settings.Tty.empty() ? controller.OpenPseudoTerminal() : controller.OpenTty(settings.Tty);
    }
    if (!opened || !controller.Start()) {
        err_ << "ferrovan-sim: cannot open " << what << ": " << ErrorText(GetLastError()) << "\n";
        return 1;
    }
    out_ << controller.PortPath() << std::endl;

    pollfd fds[3] = {{signalFd.Get(), POLLIN, 0}, {controller.EndedFd(), POLLIN, 0},
                     {settings.Control ? STDIN_FILENO : -1, POLLIN, 0}};
    std::string input;
    bool inputEnded = false;
    for (;;) {
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents & POLLIN)
            break;
        if (fds[1].revents & POLLIN) {
            if (controller.Serving())
                break; // the line went away or was hung up
            // Stopped on a command: the device is silent, not gone.
            u64 count;
            [[maybe_unused]] const ssize_t n = ::read(controller.EndedFd(), &count, sizeof count);
        }
        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[512];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                log.Line("stopping: the control input ended");
                inputEnded = true;
                break;
            }
            input.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t end; (end = input.find('\n')) != std::string::npos; input.erase(0, end + 1))
                out_ << ControlReply(controller, input.substr(0, end)) << std::endl;
        }
    }
    if (fds[0].revents & POLLIN) {
        signalfd_siginfo info{};
        [[maybe_unused]] const ssize_t n = ::read(signalFd.Get(), &info, sizeof info);
        log.Line(std::string("stopping on ") + (info.ssi_signo == SIGINT ? "SIGINT" : "SIGTERM"));
    }
    controller.Stop();
    return fds[0].revents & POLLIN || inputEnded || controller.HungUp() ? 0 : 1;
}

std::string TSimProgram::ModuleHelp()
{
    return OptionsHelp("usage: ferrovan-sim module [OPTIONS]\n"
                       "Prints one line per module (address, command port, UDP port), then serves until\n"
                       "SIGINT or SIGTERM. Options:\n",
                       ModuleOptions());
}

bool TSimProgram::ParseModule(const std::vector<std::string>& args, TModuleSettings& settings, std::string& error)
{
    return ParseOptions(ModuleOptions(), args, settings, error);
}

int TSimProgram::RunModules(const TModuleSettings& settings)
{
    TSimLog log;
    if (!OpenLog(settings.LogPath, settings.Quiet, log))
        return 1;
    TUniqueFd signalFd = WatchSignals();
    if (!signalFd.Valid())
        return 1;

    in_addr first{};
    if (inet_pton(AF_INET, settings.Module.Address.c_str(), &first) != 1) {
        err_ << "ferrovan-sim: " << settings.Module.Address << " is not an IPv4 address\n";
        return 2;
    }
    TSimOptions controllerOptions;
    if (!settings.Replay.empty() && !LoadReplay(settings.Replay, controllerOptions, log))
        return 1;
    std::vector<std::unique_ptr<TSimModule>> modules;
    for (unsigned i = 0; i < settings.Count; ++i) {
        TSimModuleOptions o = settings.Module;
        in_addr a{};
        a.s_addr = htonl(ntohl(first.s_addr) + i);
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &a, text, sizeof text);
        o.Address = text;
        if (settings.Count > 1)
            o.Name += "-" + std::to_string(i + 1);
        auto module = std::make_unique<TSimModule>(o, log);
        if (!module->Open() || (settings.Controllers && !module->AddController(controllerOptions)) || !module->Start()) {
            err_ << "ferrovan-sim: cannot start the module on " << o.Address << ": " << ErrorText(GetLastError())
                 << "\n";
            return 1;
        }
        out_ << o.Address << " tcp " << o.TCPPort << " udp " << o.UDPPort << std::endl;
        modules.push_back(std::move(module));
    }

    pollfd fd{signalFd.Get(), POLLIN, 0};
    while (poll(&fd, 1, -1) < 0 && errno == EINTR) {
    }
    signalfd_siginfo info{};
    [[maybe_unused]] const ssize_t n = ::read(signalFd.Get(), &info, sizeof info);
    log.Line(std::string("stopping on ") + (info.ssi_signo == SIGINT ? "SIGINT" : "SIGTERM"));
    modules.clear();
    return 0;
}

} // namespace fk
