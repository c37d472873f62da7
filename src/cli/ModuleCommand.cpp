#include "cli/ModuleCommand.h"

#include "cli/JsonWriter.h"
#include "cli/Tool.h"
#include "module/UDPServer.h"
#include "platform/LastError.h"

#include <QEventLoop>
#include <QTimer>
#include <climits>
#include <cstdio>

namespace fk {

namespace {

int ToMs(double seconds) { return static_cast<int>(seconds * 1000.0 + 0.5); }

} // namespace

TModuleCommand::TModuleCommand(TModuleCommandOptions options, std::ostream& out, std::ostream& err)
    : options_(std::move(options))
    , codePage_(options_.codePage)
    , out_(out)
    , err_(err)
{
}

TOwned<TKestConnectComm> TModuleCommand::MakeLink()
{
    auto link = Make<TKestConnectComm>();
    link->SetTCPPort(options_.moduleTcpPort);
    link->SetUDPPort(options_.udpPort);
    return link;
}

int TModuleCommand::ListModules()
{
    auto link = MakeLink();
    if (!link->UDPServer() || !link->UDPServer()->Active()) {
        err_ << "ferrovan modules: "
             << (link->UDPServer() && !link->UDPServer()->ActivationError().empty()
                     ? link->UDPServer()->ActivationError()
                     : "cannot listen on UDP port " + std::to_string(options_.udpPort) + ": "
                         + ErrorText(GetLastError()))
             << "\n";
        return exitFailed;
    }
    // Every module whose configuration arrives is asked for the networks it sees as well.
    link->OnModemConnected = TNotifyEvent::Bind(this, [&](TObject*) {
        for (const TKestConnectStatus& m : link->DeviceList())
            if (m.Networks.empty())
                link->RequestNetworkList(m.IP, m.IPVersion);
    });
    QEventLoop loop;
    QTimer::singleShot(ToMs(options_.listen), &loop, [&] { loop.quit(); });
    loop.exec();
    const TDeviceText text(codePage_);
    out_ << (options_.json ? ModulesJson(link->DeviceList(), text) : ModulesText(link->DeviceList(), text));
    link->OnModemConnected = nullptr;
    return exitOk;
}

std::string TModuleCommand::ModulesJson(const TKestConnectStatusList& modules, const TDeviceText& text)
{
    TJsonWriter w;
    w.BeginArray();
    for (const TKestConnectStatus& m : modules) {
        w.BeginObject()
            .Member("ip", m.IP)
            .Member("name", text.Utf8(m.Config.Name))
            .Member("version", text.Utf8(m.Config.Version))
            .Key("access_point")
            .BeginObject()
            .Member("ssid", text.Utf8(m.Config.AccessPoint.SSID))
            .Member("ip", text.Utf8(m.Config.AccessPoint.IP))
            .EndObject()
            .Member("joined", m.Config.APConnected)
            .Key("networks")
            .BeginArray();
        for (const TWLANItem& n : m.Networks) {
            w.BeginObject().Member("ssid", text.Utf8(n.SSID)).Key("signal");
            if (n.Signal == INT_MIN)
                w.Null();
            else
                w.Number(std::int64_t(n.Signal));
            w.EndObject();
        }
        w.EndArray().EndObject();
    }
    w.EndArray();
    return w.Text() + "\n";
}

std::string TModuleCommand::ModulesText(const TKestConnectStatusList& modules, const TDeviceText& text)
{
    if (modules.empty())
        return "No modules heard.\n";
    std::string out;
    for (const TKestConnectStatus& m : modules) {
        out += TDeviceText::Escaped(m.IP) + "\t" + text.Printable(m.Config.Name) + "\tversion "
            + text.Printable(m.Config.Version) + "\taccess point \"" + text.Printable(m.Config.AccessPoint.SSID)
            + "\" " + (m.Config.APConnected ? "joined" : "not joined") + " ("
            + text.Printable(m.Config.AccessPoint.IP) + ")\n";
        for (const TWLANItem& n : m.Networks)
            out += "\t" + text.Printable(n.SSID) + "\t"
                + (n.Signal == INT_MIN ? std::string("?") : std::to_string(n.Signal)) + " dBm\n";
    }
    return out;
}

int TModuleCommand::SetAccessPoint()
{
    // The module takes 8-bit texts: what was typed goes out in the user's code page.
    auto encode = [this](const char* name, const String& typed, AnsiString& sent) {
        char32_t bad = 0;
        if (codePage_.Encode(typed, sent, &bad))
            return true;
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(bad));
        err_ << "ferrovan module-ap: the " << name << " holds a character (" << code << ") that code page "
             << codePage_.CodePage() << " cannot carry\n";
        return false;
    };
    AnsiString ssid, password;
    if (!encode("SSID", options_.ssid, ssid) || !encode("pass phrase", options_.password, password))
        return exitUsage;
    auto link = MakeLink();
    enum { waiting, echoed, failed } outcome = waiting;
    QEventLoop loop;
    link->OnTCPRead = TNetworkTransferEvent::Bind(
        this, [&](TObject*, const String&, TIdIPVersion, u16, const TByteString& data) {
            const std::string reply(data.begin(), data.end());
            if (reply.rfind("NEWAPN", 0) == 0 && outcome == waiting) {
                outcome = echoed;
                loop.quit();
            }
        });
    link->OnTCPConnect = TNotifyEvent::Bind(this, [&](TObject*) {
        if (!link->TTCPConnection::IsConnected() && outcome == waiting) {
            outcome = failed;
            loop.quit();
        }
    });
    if (!link->SetModemAccesPoint(options_.address, Id_IPv4, ssid, password)) {
        const bool badText = GetLastError() == ERROR_INVALID_PARAMETER;
        err_ << "ferrovan module-ap: "
             << (badText ? "the SSID and the pass phrase may not contain a comma, CR, LF or NUL"
                         : "the command could not be sent: " + ErrorText(GetLastError()))
             << "\n";
        return badText ? exitUsage : exitFailed;
    }
    if (outcome == waiting) {
        QTimer::singleShot(ToMs(options_.timeout), &loop, [&] { loop.quit(); });
        loop.exec();
    }
    link->OnTCPRead = nullptr;
    link->OnTCPConnect = nullptr;
    if (outcome == echoed) {
        out_ << "The module " << TDeviceText::Escaped(options_.address) << " joins \""
             << TDeviceText::Escaped(options_.ssid) << "\".\n";
        return exitOk;
    }
    err_ << "ferrovan module-ap: " << options_.address
         << (outcome == failed ? " cannot be reached" : " did not confirm the access point") << "\n";
    return exitFailed;
}

} // namespace fk
