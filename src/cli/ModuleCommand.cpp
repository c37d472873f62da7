#include "cli/ModuleCommand.h"

#include "cli/JsonWriter.h"
#include "cli/Tool.h"
#include "module/UDPServer.h"
#include "platform/LastError.h"

#include <QEventLoop>
#include <QTimer>
#include <climits>

namespace fk {

namespace {

int ToMs(double seconds) { return static_cast<int>(seconds * 1000.0 + 0.5); }

} // namespace

TModuleCommand::TModuleCommand(TModuleCommandOptions options, std::ostream& out, std::ostream& err)
    : options_(std::move(options))
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
    out_ << (options_.json ? ModulesJson(link->DeviceList()) : ModulesText(link->DeviceList()));
    link->OnModemConnected = nullptr;
    return exitOk;
}

std::string TModuleCommand::ModulesJson(const TKestConnectStatusList& modules)
{
    TJsonWriter w;
    w.BeginArray();
    for (const TKestConnectStatus& m : modules) {
        w.BeginObject()
            .Member("ip", m.IP)
            .Member("name", m.Config.Name)
            .Member("version", m.Config.Version)
            .Key("access_point")
            .BeginObject()
            .Member("ssid", m.Config.AccessPoint.SSID)
            .Member("ip", m.Config.AccessPoint.IP)
            .EndObject()
            .Member("joined", m.Config.APConnected)
            .Key("networks")
            .BeginArray();
        for (const TWLANItem& n : m.Networks) {
            w.BeginObject().Member("ssid", n.SSID).Key("signal");
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

std::string TModuleCommand::ModulesText(const TKestConnectStatusList& modules)
{
    if (modules.empty())
        return "No modules heard.\n";
    std::string text;
    for (const TKestConnectStatus& m : modules) {
        text += m.IP + "\t" + m.Config.Name + "\tversion " + m.Config.Version + "\taccess point \""
            + m.Config.AccessPoint.SSID + "\" " + (m.Config.APConnected ? "joined" : "not joined") + " ("
            + m.Config.AccessPoint.IP + ")\n";
        for (const TWLANItem& n : m.Networks)
            text += "\t" + n.SSID + "\t" + (n.Signal == INT_MIN ? std::string("?") : std::to_string(n.Signal))
                + " dBm\n";
    }
    return text;
}

int TModuleCommand::SetAccessPoint()
{
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
    if (!link->SetModemAccesPoint(options_.address, Id_IPv4, options_.ssid, options_.password)) {
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
        out_ << "The module " << options_.address << " joins \"" << options_.ssid << "\".\n";
        return exitOk;
    }
    err_ << "ferrovan module-ap: " << options_.address
         << (outcome == failed ? " cannot be reached" : " did not confirm the access point") << "\n";
    return exitFailed;
}

} // namespace fk
