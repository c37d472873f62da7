#include "cli/Tool.h"

#include "cli/CommandLine.h"
#include "cli/DeviceCommand.h"
#include "cli/DeviceText.h"
#include "cli/FlashCommand.h"
#include "cli/ImageCommand.h"
#include "cli/InventoryCommand.h"
#include "cli/JournalCommand.h"
#include "cli/JsonWriter.h"
#include "cli/ModuleCommand.h"
#include "ports/CommEnumerator.h"
#include "ports/TakenAdapters.h"
#include "session/PortHolderText.h"
#include "support/TraceSink.h"
#include "support/VersionInfo.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace fk {

namespace {

// One command of the tool: how it is called, what the overview says of it, what its own
// usage adds, and the options it takes.
struct TCommandInfo {
    const char* name;
    const char* synopsis; // after "ferrovan "
    const char* summary;  // the overview's description, lines after the first indented
    const char* details;  // the command's own usage: what it does and its options
    bool devicePort;      // the PORT note and the module ports apply
    std::vector<TOptionSpec> options;
};

const char* const PortNote =
    "PORT is a device path (/dev/ttyUSB0, a pseudo-terminal), a port name as `ferrovan ports`\n"
    "shows it, or module:ADDRESS for a controller behind a wireless module.\n";
const char* const ModulePortsNote =
    "  --module-tcp-port N     the modules' command port (default 90)\n"
    "  --udp-port N            the UDP port of the module link (default 13873)\n";
const char* const TimeoutNote =
    "  --timeout SECONDS       the command ends within this time (default 10)\n";
const char* const JsonNote = "  --json                  print one JSON object\n";
const char* const ExitNote = "exit status: 0 success, 1 the port or the device failed, 2 wrong usage\n";
const char* const TraceNote = "  --trace FILE            write a diagnostic trace to FILE (JSON lines: packets, states,\n"
                              "                          status texts, port events; never a pass phrase)\n";

// The commands that talk to a device or a module take --trace.
bool TakesTrace(const TCommandInfo& c)
{
    const std::string name = c.name;
    return c.devicePort || name == "modules" || name == "module-ap" || name == "flash" || name == "inventory";
}

std::vector<TCommandInfo> WithTrace(std::vector<TCommandInfo> commands)
{
    for (TCommandInfo& c : commands)
        if (TakesTrace(c))
            c.options.push_back({"trace", true});
    return commands;
}

const std::vector<TCommandInfo>& Commands()
{
    static const std::vector<TCommandInfo> commands = WithTrace({
        {"ports", "ports [--json]", "list the machine's serial ports",
         "Lists the machine's serial ports in natural order, with their descriptions.\n\n"
         "  --json                  print a JSON array\n",
         false, {{"json", false}}},
        {"info", "info PORT [--stay SECONDS] [--timeout SECONDS] [--json]",
         "connect, identify and describe the device; --stay\n"
         "keeps it connected (polling) SECONDS after printing",
         "Connects, identifies and describes the device: identifier, serial number, firmware version\n"
         "and build date, run mode, open time and break time. When the device does not give every\n"
         "part, what it gave is printed and the message names what is missing.\n\n"
         "  --stay SECONDS          stay connected (polling) for SECONDS after printing, for\n"
         "                          measurements; the device must still be connected at the end\n",
         true, {{"json", false}, {"timeout", true}, {"module-tcp-port", true}, {"udp-port", true}, {"stay", true}}},
        {"set", "set PORT [--open-time N] [--break-time N] [--timeout SECONDS] [--json]",
         "write the open time (10..50 ms) and the break time\n"
         "(tens of seconds, within the device's range), then\n"
         "read the parameters back",
         "Writes the open time and the break time, waits for the device's acknowledgement, reads\n"
         "the parameters back and describes the device. Values out of range are refused before\n"
         "anything is sent.\n\n"
         "  --open-time N           the valve's open time in ms, 10..50\n"
         "  --break-time N          the break time in tens of seconds: 1..30 (10..300 s) or, on\n"
         "                          firmware whose second version number is 1, 30..90 (300..900 s)\n",
         true,
         {{"json", false}, {"timeout", true}, {"module-tcp-port", true}, {"udp-port", true}, {"open-time", true},
          {"break-time", true}}},
        {"vent", "vent PORT [--timeout SECONDS] [--json]", "toggle venting",
         "Toggles venting of the connected device.\n\n", true,
         {{"json", false}, {"timeout", true}, {"module-tcp-port", true}, {"udp-port", true}}},
        {"reboot", "reboot PORT [--timeout SECONDS] [--json]", "restart the device",
         "Restarts the device (also one that is identified but cannot be connected).\n\n", true,
         {{"json", false}, {"timeout", true}, {"module-tcp-port", true}, {"udp-port", true}}},
        {"save", "save PORT FILE [--timeout SECONDS] [--json]",
         "write the controller's settings to a settings file",
         "Connects, identifies the controller and writes its settings to FILE (JSON): the format\n"
         "and its version, the device's identifier, model, serial number, firmware version and\n"
         "build date, the time, and the open time (ms) and break time (s and the device's steps).\n\n"
         "  --json                  print the file's content\n",
         true, {{"json", false}, {"timeout", true}, {"module-tcp-port", true}, {"udp-port", true}}},
        {"apply", "apply PORT FILE [--dry-run] [--timeout SECONDS] [--json]",
         "apply a settings file: print the differences, write\n"
         "only what differs, read back and check",
         "Reads the controller, prints the differences to FILE (\"open time 30 ms -> 22 ms\"),\n"
         "writes only what differs, reads the parameters back and checks them: exit status 0\n"
         "only when the controller holds the file's values. A file saved from another model, or\n"
         "holding a value outside this controller's range, is refused and nothing is written\n"
         "(exit status 1); a damaged file or one of another program is refused before the port\n"
         "is opened (exit status 2).\n\n"
         "  --dry-run               print the differences, write nothing\n",
         true,
         {{"json", false}, {"timeout", true}, {"module-tcp-port", true}, {"udp-port", true}, {"dry-run", false}}},
        {"journal", "journal [--device SERIAL] [--since DATE] [--json | --csv]",
         "print the service journal: every change made to a\n"
         "controller and each connection",
         "Prints the service journal ($XDG_DATA_HOME/ferrovan-kest/journal.jsonl and its numbered\n"
         "copies), oldest first: one line per record, or JSON lines, or CSV for a spreadsheet.\n\n"
         "  --device SERIAL         only the records of the controller with this serial number\n"
         "  --since DATE            only records from DATE on (YYYY-MM-DD or YYYY-MM-DDTHH:MM, UTC)\n"
         "  --json                  print the records as they are stored (JSON lines)\n"
         "  --csv                   print CSV: time, program, port, user, device, event, description\n",
         false, {{"device", true}, {"since", true}, {"json", false}, {"csv", false}}},
        {"modules", "modules [--listen SECONDS] [--json]",
         "list the wireless modules heard within SECONDS\n"
         "(default 3), their configuration and networks",
         "Listens for wireless modules and lists those heard, with their configuration and the\n"
         "networks they see.\n\n"
         "  --listen SECONDS        how long to listen (default 3)\n"
         "  --json                  print a JSON array\n",
         false, {{"module-tcp-port", true}, {"udp-port", true}, {"listen", true}, {"json", false}}},
        {"inventory", "inventory [--listen SECONDS] [--port PORT]... [--timeout SECONDS] [--json | --csv]",
         "every controller behind the modules heard within\n"
         "SECONDS (default 3) and on the ports named: one row\n"
         "each, or the reason it could not be read",
         "Listens for wireless modules and reads the controller behind each module heard, and the\n"
         "controller on each serial port named with --port (no other serial port is opened), several\n"
         "at once: one row per controller with where it is, its identifier and model, serial number,\n"
         "firmware version and build date, run mode, open and break time, or the reason it could not\n"
         "be read. Ends within --listen plus one --timeout; exit status 1 when a controller could not\n"
         "be read.\n\n"
         "  --listen SECONDS        how long to listen for modules (default 3)\n"
         "  --port PORT             also read the controller on PORT (repeatable; a serial port or\n"
         "                          module:ADDRESS)\n"
         "  --timeout SECONDS       the longest one controller may take (default 10)\n"
         "  --json                  print a JSON array\n"
         "  --csv                   print comma-separated values with a header line\n",
         false,
         {{"module-tcp-port", true}, {"udp-port", true}, {"listen", true}, {"port", true}, {"timeout", true},
          {"json", false}, {"csv", false}}},
        {"module-ap", "module-ap ADDRESS --ssid SSID [--password PASS] [--timeout SECONDS]",
         "tell a module which access point to join",
         "Tells the module at ADDRESS which access point to join and waits for its confirmation.\n"
         "The SSID and the pass phrase must be writable in the code page of the user's language.\n\n"
         "  --ssid SSID             the access point's network name\n"
         "  --password PASS         its pass phrase (default none)\n"
         "  --timeout SECONDS       how long to wait for the confirmation (default 10)\n",
         false,
         {{"module-tcp-port", true}, {"udp-port", true}, {"ssid", true}, {"password", true}, {"timeout", true}}},
        {"flash", "flash PORT IMAGE [--timeout SECONDS] [--json]",
         "replace the device's firmware with an image file\n"
         "(Ctrl-C aborts and restarts the device)",
         "Replaces the device's firmware with an image file: checks the file, brings the device into\n"
         "its bootloader, sends the payload and restarts the device. It succeeds when the device\n"
         "answers in its application with the image's identifier. Ctrl-C aborts and restarts the\n"
         "device. Works over a serial port and through a wireless module (module:ADDRESS).\n\n"
         "  --timeout SECONDS       the longest the device may take for one step: entering its\n"
         "                          bootloader, one block, starting its new application (default 10)\n"
         "  --json                  print one JSON object\n",
         false, {{"json", false}, {"timeout", true}, {"module-tcp-port", true}, {"udp-port", true}}},
        {"image-info", "image-info IMAGE [--json]", "describe and check an image file",
         "Describes an image file (size, identifier, model, payload) and checks its digest.\n\n"
         "  --json                  print one JSON object\n",
         false, {{"json", false}}},
        {"make-image", "make-image --id ID --payload FILE --out FILE",
         "build an image file (ID: the device identifier,\n"
         "decimal or 0x...)",
         "Builds an image file around a payload.\n\n"
         "  --id ID                 the device identifier, decimal or 0x hexadecimal\n"
         "  --payload FILE          the bytes sent to the device\n"
         "  --out FILE              the image file to write\n",
         false, {{"id", true}, {"payload", true}, {"out", true}}},
        {"help", "help [COMMAND]", "show this text, or one command's usage",
         "Shows the overview of the commands, or the usage of one command (as COMMAND --help does).\n", false,
         {}},
    });
    return commands;
}

const TCommandInfo* FindCommand(const std::string& name)
{
    for (const TCommandInfo& c : Commands())
        if (name == c.name)
            return &c;
    return nullptr;
}

} // namespace

std::string TTool::Usage()
{
    std::string text = "usage: ferrovan COMMAND [ARGUMENTS] [OPTIONS]\n"
                       "\n"
                       "commands (COMMAND --help shows one command's usage):\n";
    const std::string indent(35, ' ');
    for (const TCommandInfo& c : Commands()) {
        std::string line = std::string("  ") + c.synopsis;
        if (line.size() + 1 < indent.size())
            line.resize(indent.size(), ' ');
        else
            line += "\n" + indent;
        for (const char* p = c.summary; *p; ++p) {
            line += *p;
            if (*p == '\n')
                line += indent;
        }
        text += line + "\n";
    }
    text += "  --version                      show the product name and version\n\n";
    text += PortNote;
    text += "--module-tcp-port N (default 90) and --udp-port N (default 13873) set the module ports.\n"
            "--timeout SECONDS bounds every device command (default 10); for flash it bounds each\n"
            "step of the device.\n"
            "--trace FILE writes a diagnostic trace of a device or module command to FILE.\n"
            "\n";
    text += ExitNote;
    return text;
}

std::string TTool::CommandUsage(const std::string& command)
{
    const TCommandInfo* c = FindCommand(command);
    if (!c)
        return {};
    std::string text = std::string("usage: ferrovan ") + c->synopsis + "\n\n" + c->details;
    if (TakesTrace(*c))
        text += TraceNote;
    if (c->devicePort) {
        text += TimeoutNote;
        text += JsonNote;
        text += ModulePortsNote;
        text += "\n";
        text += PortNote;
    } else if (std::string(c->name) == "modules" || std::string(c->name) == "module-ap"
               || std::string(c->name) == "inventory" || std::string(c->name) == "flash") {
        text += ModulePortsNote;
    }
    text += "\n";
    text += ExitNote;
    return text;
}

const std::vector<TOptionSpec>& TTool::Options(const std::string& command)
{
    static const std::vector<TOptionSpec> none;
    const TCommandInfo* c = FindCommand(command);
    return c ? c->options : none;
}

int TTool::Run(const std::vector<std::string>& args)
{
    if (args.empty()) {
        err_ << Usage();
        return exitUsage;
    }
    const std::string& command = args.front();
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "help" || command == "--help" || command == "-h") {
        if (std::find_if(rest.begin(), rest.end(), [](const std::string& a) { return a == "--help" || a == "-h"; })
            != rest.end()) {
            out_ << CommandUsage("help");
            return exitOk;
        }
        if (rest.empty()) {
            out_ << Usage();
            return exitOk;
        }
        if (!FindCommand(rest.front())) {
            err_ << "ferrovan help: unknown command \"" << rest.front() << "\"\n\n" << Usage();
            return exitUsage;
        }
        out_ << CommandUsage(rest.front());
        return exitOk;
    }
    if (command == "--version" || command == "version") {
        const TFileVersionInfo version;
        const String text = version.ProductAndVersion();
        out_ << (text.empty() ? String("ferrovan (this build carries no version information)") : text) << "\n";
        return exitOk;
    }
    if (!FindCommand(command)) {
        err_ << "ferrovan: unknown command \"" << command << "\"\n\n" << Usage();
        return exitUsage;
    }
    {
        // --help and -h after any command show its usage, whatever else the line holds.
        TCommandLine probe;
        probe.Parse(rest, Options(command));
        if (probe.HelpRequested()) {
            out_ << CommandUsage(command);
            return exitOk;
        }
    }
    TTraceSink trace;
    if (!OpenTrace(command, rest, trace))
        return exitUsage;
    const int status = RunCommand(command, rest);
    TTraceSink::Exit(status);
    return status;
}

bool TTool::OpenTrace(const std::string& command, const std::vector<std::string>& args, TTraceSink& trace)
{
    // Usage errors are the command's to report; a trace file that cannot be written is one.
    TCommandLine cl;
    if (!cl.Parse(args, Options(command)) || !cl.Has("trace"))
        return true;
    const std::string path = *cl.Value("trace");
    if (!trace.Open(path)) {
        err_ << "ferrovan " << command << ": " << TTraceSink::OpenFailureText(path) << "\n";
        return false;
    }
    TTraceSink::SetActive(&trace);
    TTraceSink::Start("ferrovan " + command, TFileVersionInfo().ProductAndVersion());
    return true;
}

int TTool::RunCommand(const std::string& command, const std::vector<std::string>& rest)
{
    const int status = Dispatch(command, rest);
    // The result of a command is its output: one that could not be written (a full disk, a
    // closed pipe) fails the command, whatever the command itself achieved.
    errno = 0;
    out_.flush();
    if (!out_.fail())
        return status;
    const int err = errno;
    err_ << "ferrovan " << command << ": the output could not be written"
         << (err != 0 ? std::string(" (") + std::strerror(err) + ")" : std::string()) << "\n";
    return status == exitOk ? exitFailed : status;
}

int TTool::Dispatch(const std::string& command, const std::vector<std::string>& rest)
{
    if (command == "ports")
        return Ports(rest);
    if (command == "info" || command == "set" || command == "vent" || command == "reboot" || command == "save"
        || command == "apply")
        return Device(command, rest);
    if (command == "journal")
        return TJournalCommand(out_, err_).Run(rest, Options(command));
    if (command == "modules" || command == "module-ap")
        return Module(command, rest);
    if (command == "flash")
        return Flash(rest);
    if (command == "inventory")
        return Inventory(rest);
    if (command == "image-info")
        return TImageCommand(out_, err_).Info(rest);
    return TImageCommand(out_, err_).Make(rest);
}

namespace {

// Who an adapter is, beside its name: USB ids, its place on the bus, its stable names.
void AddIdentity(TJsonWriter& w, const TCommEnumerator::TCommPortInfo& p)
{
    char id[8];
    std::snprintf(id, sizeof id, "%04x", p.UsbVendorId);
    w.Member("vendor_id", p.UsbVendorId || p.UsbProductId ? String(id) : String());
    std::snprintf(id, sizeof id, "%04x", p.UsbProductId);
    w.Member("product_id", p.UsbVendorId || p.UsbProductId ? String(id) : String());
    w.Member("usb_path", p.UsbPath).Member("by_path", p.StableLocation).Member("identity", p.Identity());
}

String TakenAdapterText(const TTakenAdapter& a)
{
    return TPortHolderText::BrlttyTookAdapter(a.Product);
}

// An adapter brltty has taken: it has no port, and the entry says why and what to do.
void AddTakenAdapter(TJsonWriter& w, const TTakenAdapter& a)
{
    char vendor[8], product[8];
    std::snprintf(vendor, sizeof vendor, "%04x", a.VendorId);
    std::snprintf(product, sizeof product, "%04x", a.ProductId);
    w.BeginObject()
        .Member("port", String())
        .Member("description", a.Product)
        .Member("vendor_id", String(vendor))
        .Member("product_id", String(product))
        .Member("usb_path", a.UsbPath)
        .Member("taken_by", String("brltty"))
        .Member("hint", TakenAdapterText(a))
        .EndObject();
}

} // namespace

std::string TTool::NotASerialDevice(const std::string& port)
{
    // Only what surely is no serial device is refused here; anything else (a missing name, a
    // device node) is left to the port's own open, which says what is wrong with it.
    struct stat st {};
    if (port.rfind(ModulePortPrefix, 0) == 0 || ::stat(port.c_str(), &st) != 0)
        return {};
    if (S_ISDIR(st.st_mode))
        return "not a serial device (it is a folder)";
    if (S_ISREG(st.st_mode))
        return "not a serial device (it is a regular file)";
    if (S_ISSOCK(st.st_mode))
        return "not a serial device (it is a socket)";
    if (S_ISFIFO(st.st_mode))
        return "not a serial device (it is a pipe)";
    // Character devices of the memory driver (null, zero, full, random, ...) and the
    // pseudo-terminal multiplexer, which only hands out new pairs.
    if (S_ISCHR(st.st_mode) && major(st.st_rdev) == 1)
        return "not a serial device (it is a memory device such as /dev/null)";
    if (S_ISCHR(st.st_mode) && major(st.st_rdev) == 5 && minor(st.st_rdev) == 2)
        return "not a serial device (it is the pseudo-terminal multiplexer; use the /dev/pts/N it gives out)";
    return {};
}

int TTool::Ports(const std::vector<std::string>& args)
{
    TCommandLine cl;
    if (!cl.Parse(args, Options("ports")) || !cl.Positional().empty()) {
        err_ << "ferrovan ports: " << (cl.Error().empty() ? "takes no arguments" : cl.Error()) << "\n";
        return exitUsage;
    }
    TCommEnumerator::TCommPortList_ list;
    if (!TCommEnumerator::GetPortList(list, true, paths_, nullptr)) {
        err_ << "ferrovan ports: the serial ports could not be listed\n";
        return exitFailed;
    }
    std::sort(list.begin(), list.end());
    const std::vector<TTakenAdapter> taken = TTakenAdapters::Find(paths_, procRoot_);
    if (cl.Has("json")) {
        TJsonWriter w;
        w.BeginArray();
        for (const auto& p : list) {
            w.BeginObject()
                .Member("port", p.PortName)
                .Member("path", TCommEnumerator::CommFileName(p.PortName))
                .Member("description", p.GetDeviceDescription())
                .Member("driver", p.Service)
                .Member("class", p.ClassPath)
                .Member("system_port", p.SystemPort)
                .Member("serial_number", p.SerialNumber)
                .Member("stable_path", p.StablePath);
            AddIdentity(w, p);
            w.EndObject();
        }
        for (const TTakenAdapter& a : taken)
            AddTakenAdapter(w, a);
        w.EndArray();
        out_ << w.Text() << "\n";
        return exitOk;
    }
    for (const TTakenAdapter& a : taken)
        out_ << TDeviceText::Escaped(a.UsbPath) << "\t" << TDeviceText::Escaped(TakenAdapterText(a)) << "\n";
    if (list.empty()) {
        if (taken.empty())
            out_ << "No serial ports found.\n";
        return exitOk;
    }
    for (const auto& p : list) {
        // Descriptions come from the devices themselves (USB strings): shown escaped.
        out_ << TDeviceText::Escaped(p.PortName) << "\t" << TDeviceText::Escaped(p.GetDeviceDescription());
        if (!p.Service.empty())
            out_ << " (" << TDeviceText::Escaped(p.Service) << ")";
        out_ << "\n";
    }
    return exitOk;
}

int TTool::Device(const std::string& command, const std::vector<std::string>& args)
{
    const TDeviceCommandKind kind = command == "info" ? dcmInfo
        : command == "set"                            ? dcmSet
        : command == "vent"                           ? dcmVent
        : command == "save"                           ? dcmSave
        : command == "apply"                          ? dcmApply
                                                      : dcmReboot;
    const bool withFile = kind == dcmSave || kind == dcmApply;
    const std::string prefix = "ferrovan " + command + ": ";
    TCommandLine cl;
    if (!cl.Parse(args, Options(command))) {
        err_ << prefix << cl.Error() << "\n";
        return exitUsage;
    }
    const auto& positional = cl.Positional();
    if (withFile && (positional.size() != 2 || positional[0].empty() || positional[1].empty())) {
        err_ << prefix << (positional.size() < 2 ? "needs a PORT and a FILE" : "takes one PORT and one FILE") << "\n";
        return exitUsage;
    }
    if (!withFile && (positional.size() != 1 || positional.front().empty())) {
        err_ << prefix << (positional.empty() ? "needs a PORT" : "takes one PORT") << "\n";
        return exitUsage;
    }
    TDeviceCommandOptions options;
    options.port = cl.Positional().front();
    if (withFile) {
        options.settingsPath = positional[1];
        options.dryRun = cl.Has("dry-run");
    }
    if (kind == dcmApply) {
        // The file is read before the port is touched: one that cannot be used changes nothing.
        String error;
        if (!TSettingsFile::Load(options.settingsPath, options.settings, error)) {
            err_ << prefix << TDeviceText::Escaped(options.settingsPath) << " " << TDeviceText::Escaped(error)
                 << "; nothing was written\n";
            return error.rfind("cannot be read", 0) == 0 ? exitFailed : exitUsage;
        }
    }
    options.json = cl.Has("json");
    options.codePage = codePage_;
    long long n = 0;
    bool ok = !cl.Has("timeout") || cl.Seconds("timeout", 3600, options.timeout);
    ok = ok && (!cl.Has("stay") || cl.Seconds("stay", 86400, options.stay));
    ok = ok && ModulePorts(cl, options.moduleTcpPort, options.udpPort);
    // Out-of-range values never reach the device. The break-time range depends on the device
    // (1..30 or 30..90); it is checked again against the device's own range before writing.
    if (ok && cl.Has("open-time") && (ok = cl.Integer("open-time", TParameterWrites::OpenTimeMin,
                                                       TParameterWrites::OpenTimeMax, n)))
        options.openTime = static_cast<int>(n);
    if (ok && cl.Has("break-time") && (ok = cl.Integer("break-time", TParameterWrites::BreakTimeMin,
                                                        TParameterWrites::LongBreakTimeMax, n)))
        options.breakTime = static_cast<int>(n);
    if (!ok) {
        err_ << prefix << cl.Error() << "\n";
        return exitUsage;
    }
    if (kind == dcmSet && !options.openTime && !options.breakTime) {
        err_ << prefix << "give --open-time, --break-time or both\n";
        return exitUsage;
    }
    if (const std::string why = NotASerialDevice(cl.Positional().front()); !why.empty()) {
        err_ << prefix << TDeviceText::Escaped(cl.Positional().front()) << ": " << why << "\n";
        return exitFailed;
    }
    TDeviceCommand device(kind, options, out_, err_);
    return device.Run();
}

bool TTool::ModulePorts(TCommandLine& cl, u16& tcpPort, u16& udpPort)
{
    long long n = 0;
    if (cl.Has("module-tcp-port")) {
        if (!cl.Integer("module-tcp-port", 1, 65535, n))
            return false;
        tcpPort = static_cast<u16>(n);
    }
    if (cl.Has("udp-port")) {
        if (!cl.Integer("udp-port", 1, 65535, n))
            return false;
        udpPort = static_cast<u16>(n);
    }
    return true;
}

int TTool::Module(const std::string& command, const std::vector<std::string>& args)
{
    const bool list = command == "modules";
    const std::string prefix = "ferrovan " + command + ": ";
    TCommandLine cl;
    TModuleCommandOptions options;
    bool ok = cl.Parse(args, Options(command)) && ModulePorts(cl, options.moduleTcpPort, options.udpPort);
    ok = ok && (!cl.Has("listen") || cl.Seconds("listen", 3600, options.listen));
    ok = ok && (!cl.Has("timeout") || cl.Seconds("timeout", 3600, options.timeout));
    if (!ok) {
        err_ << prefix << cl.Error() << "\n";
        return exitUsage;
    }
    options.json = cl.Has("json");
    options.codePage = codePage_;
    if (list) {
        if (!cl.Positional().empty()) {
            err_ << prefix << "takes no arguments\n";
            return exitUsage;
        }
        return TModuleCommand(options, out_, err_).ListModules();
    }
    if (cl.Positional().size() != 1 || cl.Positional().front().empty()) {
        err_ << prefix << (cl.Positional().empty() ? "needs the module's ADDRESS" : "takes one ADDRESS") << "\n";
        return exitUsage;
    }
    if (!cl.Has("ssid") || cl.Value("ssid")->empty()) {
        err_ << prefix << "needs --ssid SSID\n";
        return exitUsage;
    }
    options.address = cl.Positional().front();
    options.ssid = *cl.Value("ssid");
    options.password = cl.Value("password").value_or("");
    return TModuleCommand(options, out_, err_).SetAccessPoint();
}

int TTool::Inventory(const std::vector<std::string>& args)
{
    const std::string prefix = "ferrovan inventory: ";
    TCommandLine cl;
    TInventoryOptions options;
    bool ok = cl.Parse(args, Options("inventory")) && ModulePorts(cl, options.moduleTcpPort, options.udpPort);
    ok = ok && (!cl.Has("listen") || cl.Seconds("listen", 3600, options.listen));
    ok = ok && (!cl.Has("timeout") || cl.Seconds("timeout", 3600, options.timeout));
    if (!ok) {
        err_ << prefix << cl.Error() << "\n";
        return exitUsage;
    }
    if (!cl.Positional().empty() || (cl.Has("json") && cl.Has("csv"))) {
        err_ << prefix << (cl.Positional().empty() ? "give --json or --csv, not both" : "takes no arguments (name a port with --port)") << "\n";
        return exitUsage;
    }
    for (const std::string& port : cl.Values("port")) {
        if (port.empty() || port == ModulePortPrefix) {
            err_ << prefix << "--port needs a port name or module:ADDRESS\n";
            return exitUsage;
        }
    }
    options.ports = cl.Values("port");
    options.json = cl.Has("json");
    options.csv = cl.Has("csv");
    options.codePage = codePage_;
    return TInventoryCommand(options, out_, err_).Run();
}

int TTool::Flash(const std::vector<std::string>& args)
{
    const std::string prefix = "ferrovan flash: ";
    TCommandLine cl;
    if (!cl.Parse(args, Options("flash"))) {
        err_ << prefix << cl.Error() << "\n";
        return exitUsage;
    }
    const auto& positional = cl.Positional();
    if (positional.size() != 2 || positional[0].empty() || positional[1].empty()) {
        err_ << prefix << (positional.size() < 2 ? "needs a PORT and an IMAGE" : "takes one PORT and one IMAGE")
             << "\n";
        return exitUsage;
    }
    TFlashOptions options;
    options.port = positional[0];
    options.image = positional[1];
    options.json = cl.Has("json");
    options.terminal = terminal_ && !options.json;
    if ((cl.Has("timeout") && !cl.Seconds("timeout", 3600, options.timeout))
        || !ModulePorts(cl, options.moduleTcpPort, options.udpPort)) {
        err_ << prefix << cl.Error() << "\n";
        return exitUsage;
    }
    if (const std::string why = NotASerialDevice(positional[0]); !why.empty()) {
        err_ << prefix << TDeviceText::Escaped(positional[0]) << ": " << why << "\n";
        return exitFailed;
    }
    TFlashCommand flash(options, out_, err_);
    return flash.Run();
}

} // namespace fk
