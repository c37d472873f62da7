#include "cli/Tool.h"

#include "cli/CommandLine.h"
#include "cli/DeviceCommand.h"
#include "cli/FlashCommand.h"
#include "cli/ImageCommand.h"
#include "cli/JsonWriter.h"
#include "cli/ModuleCommand.h"
#include "ports/CommEnumerator.h"
#include "support/VersionInfo.h"

#include <algorithm>

namespace fk {

std::string TTool::Usage()
{
    return "usage: ferrovan COMMAND [ARGUMENTS] [OPTIONS]\n"
           "\n"
           "commands:\n"
           "  ports [--json]                 list the machine's serial ports with their descriptions\n"
           "  info PORT [--json]             connect, identify and describe the device\n"
           "  set PORT [--open-time N] [--break-time N] [--json]\n"
           "                                 write the open time (10..50 ms) and the break time (within\n"
           "                                 the device's range), then read the parameters back\n"
           "  vent PORT                      toggle venting\n"
           "  reboot PORT                    restart the device\n"
           "  modules [--listen SECONDS] [--json]\n"
           "                                 list the wireless modules heard within SECONDS (default 3),\n"
           "                                 with their configuration and the networks they see\n"
           "  module-ap ADDRESS --ssid SSID [--password PASS]\n"
           "                                 tell a module which access point to join\n"
           "  flash PORT IMAGE [--json]      replace the device's firmware with an image file (Ctrl-C aborts\n"
           "                                 and restarts the device)\n"
           "  image-info IMAGE [--json]      describe and check an image file\n"
           "  make-image --id ID --payload FILE --out FILE\n"
           "                                 build an image file (ID: the device identifier, decimal or 0x...)\n"
           "  help                           show this text\n"
           "  --version                      show the product name and version\n"
           "\n"
           "PORT is a device path (/dev/ttyUSB0, a pseudo-terminal), a port name as `ports` shows it,\n"
           "or module:ADDRESS for a controller behind a wireless module.\n"
           "--module-tcp-port N (default 90) and --udp-port N (default 13873) set the module ports.\n"
           "--timeout SECONDS bounds every device command (default 10); for flash it bounds the\n"
           "silence of the device.\n"
           "\n"
           "exit status: 0 success, 1 the port or the device failed, 2 wrong usage\n";
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
        out_ << Usage();
        return exitOk;
    }
    if (command == "--version" || command == "version") {
        const TFileVersionInfo version;
        const String text = version.ProductAndVersion();
        out_ << (text.empty() ? String("ferrovan (this build carries no version information)") : text) << "\n";
        return exitOk;
    }
    if (command == "ports")
        return Ports(rest);
    if (command == "info" || command == "set" || command == "vent" || command == "reboot")
        return Device(command, rest);
    if (command == "modules" || command == "module-ap")
        return Module(command, rest);
    if (command == "flash")
        return Flash(rest);
    if (command == "image-info")
        return TImageCommand(out_, err_).Info(rest);
    if (command == "make-image")
        return TImageCommand(out_, err_).Make(rest);
    err_ << "ferrovan: unknown command \"" << command << "\"\n\n" << Usage();
    return exitUsage;
}

int TTool::Ports(const std::vector<std::string>& args)
{
    TCommandLine cl;
    if (!cl.Parse(args, {{"json", false}}) || !cl.Positional().empty()) {
        err_ << "ferrovan ports: " << (cl.Error().empty() ? "takes no arguments" : cl.Error()) << "\n";
        return exitUsage;
    }
    TCommEnumerator::TCommPortList_ list;
    if (!TCommEnumerator::GetPortList(list, true)) {
        err_ << "ferrovan ports: the serial ports could not be listed\n";
        return exitFailed;
    }
    std::sort(list.begin(), list.end());
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
                .Member("stable_path", p.StablePath)
                .EndObject();
        }
        w.EndArray();
        out_ << w.Text() << "\n";
        return exitOk;
    }
    if (list.empty()) {
        out_ << "No serial ports found.\n";
        return exitOk;
    }
    for (const auto& p : list) {
        out_ << p.PortName << "\t" << p.GetDeviceDescription();
        if (!p.Service.empty())
            out_ << " (" << p.Service << ")";
        out_ << "\n";
    }
    return exitOk;
}

int TTool::Device(const std::string& command, const std::vector<std::string>& args)
{
    const TDeviceCommandKind kind = command == "info" ? dcmInfo
        : command == "set"                            ? dcmSet
        : command == "vent"                           ? dcmVent
                                                      : dcmReboot;
    std::vector<TOptionSpec> specs = {{"json", false}, {"timeout", true}, {"module-tcp-port", true}, {"udp-port", true}};
    if (kind == dcmInfo)
        specs.push_back({"stay", true}); // stays connected (polling) after printing; for measurements
    if (kind == dcmSet) {
        specs.push_back({"open-time", true});
        specs.push_back({"break-time", true});
    }
    const std::string prefix = "ferrovan " + command + ": ";
    TCommandLine cl;
    if (!cl.Parse(args, specs)) {
        err_ << prefix << cl.Error() << "\n";
        return exitUsage;
    }
    if (cl.Positional().size() != 1 || cl.Positional().front().empty()) {
        err_ << prefix << (cl.Positional().empty() ? "needs a PORT" : "takes one PORT") << "\n";
        return exitUsage;
    }
    TDeviceCommandOptions options;
    options.port = cl.Positional().front();
    options.json = cl.Has("json");
    long long n = 0;
    bool ok = !cl.Has("timeout") || cl.Seconds("timeout", 3600, options.timeout);
    ok = ok && (!cl.Has("stay") || cl.Seconds("stay", 86400, options.stay));
    ok = ok && ModulePorts(cl, options.moduleTcpPort, options.udpPort);
    // Out-of-range values never reach the device. The break-time range depends on the device
    // (1..30 or 30..90); it is checked again against the device's own range before writing.
    if (ok && cl.Has("open-time") && (ok = cl.Integer("open-time", TDeviceSession::OpenTimeMin,
                                                       TDeviceSession::OpenTimeMax, n)))
        options.openTime = static_cast<int>(n);
    if (ok && cl.Has("break-time") && (ok = cl.Integer("break-time", TDeviceSession::BreakTimeMin,
                                                        TDeviceSession::LongBreakTimeMax, n)))
        options.breakTime = static_cast<int>(n);
    if (!ok) {
        err_ << prefix << cl.Error() << "\n";
        return exitUsage;
    }
    if (kind == dcmSet && !options.openTime && !options.breakTime) {
        err_ << prefix << "give --open-time, --break-time or both\n";
        return exitUsage;
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
    std::vector<TOptionSpec> specs = {{"module-tcp-port", true}, {"udp-port", true}};
    if (list) {
        specs.push_back({"listen", true});
        specs.push_back({"json", false});
    } else {
        specs.push_back({"ssid", true});
        specs.push_back({"password", true});
        specs.push_back({"timeout", true});
    }
    const std::string prefix = "ferrovan " + command + ": ";
    TCommandLine cl;
    TModuleCommandOptions options;
    bool ok = cl.Parse(args, specs) && ModulePorts(cl, options.moduleTcpPort, options.udpPort);
    ok = ok && (!cl.Has("listen") || cl.Seconds("listen", 3600, options.listen));
    ok = ok && (!cl.Has("timeout") || cl.Seconds("timeout", 3600, options.timeout));
    if (!ok) {
        err_ << prefix << cl.Error() << "\n";
        return exitUsage;
    }
    options.json = cl.Has("json");
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

int TTool::Flash(const std::vector<std::string>& args)
{
    const std::string prefix = "ferrovan flash: ";
    TCommandLine cl;
    if (!cl.Parse(args, {{"json", false}, {"timeout", true}})) {
        err_ << prefix << cl.Error() << "\n";
        return exitUsage;
    }
    const auto& positional = cl.Positional();
    if (positional.size() != 2 || positional[0].empty() || positional[1].empty()) {
        err_ << prefix << (positional.size() < 2 ? "needs a PORT and an IMAGE" : "takes one PORT and one IMAGE")
             << "\n";
        return exitUsage;
    }
    if (positional[0].rfind(ModulePortPrefix, 0) == 0) {
        // A firmware upload through a wireless module is not supported by this tool.
        err_ << prefix << "firmware can only be flashed over a serial port, not through a wireless module\n";
        return exitUsage;
    }
    TFlashOptions options;
    options.port = positional[0];
    options.image = positional[1];
    options.json = cl.Has("json");
    options.terminal = terminal_ && !options.json;
    if (cl.Has("timeout") && !cl.Seconds("timeout", 3600, options.timeout)) {
        err_ << prefix << cl.Error() << "\n";
        return exitUsage;
    }
    TFlashCommand flash(options, out_, err_);
    return flash.Run();
}

} // namespace fk
