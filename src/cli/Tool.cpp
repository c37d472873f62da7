#include "cli/Tool.h"

#include "cli/CommandLine.h"
#include "cli/JsonWriter.h"
#include "ports/CommEnumerator.h"

#include <algorithm>

namespace fk {

std::string TTool::Usage()
{
    return "usage: ferrovan COMMAND [ARGUMENTS] [OPTIONS]\n"
           "\n"
           "commands:\n"
           "  ports [--json]     list the machine's serial ports with their descriptions\n"
           "  help               show this text\n"
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
    if (command == "ports")
        return Ports(rest);
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

} // namespace fk
