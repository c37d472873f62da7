#include "cli/InventoryCommand.h"

#include "cli/DeviceCommand.h"
#include "cli/InventoryProbe.h"
#include "cli/JsonWriter.h"
#include "cli/Tool.h"
#include "module/UDPServer.h"
#include "platform/LastError.h"

#include <QEventLoop>
#include <QTimer>

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iomanip>

namespace fk {

namespace {

int ToMs(double seconds) { return static_cast<int>(seconds * 1000.0 + 0.5); }


// An IPv4 address as a number for ordering; names and other addresses after them.
u64 AddressOrder(const String& address)
{
    in_addr a{};
    return inet_pton(AF_INET, address.c_str(), &a) == 1 ? u64(ntohl(a.s_addr)) : u64(1) << 32;
}

String CsvField(const String& text)
{
    if (text.find_first_of(",\"\r\n") == String::npos)
        return text;
    String out = "\"";
    for (const char c : text)
        out += c == '"' ? String("\"\"") : String(1, c);
    return out + "\"";
}

} // namespace

TInventoryCommand::TInventoryCommand(TInventoryOptions options, std::ostream& out, std::ostream& err)
    : options_(std::move(options))
    , out_(out)
    , err_(err)
    , codePage_(options_.codePage)
    , text_(codePage_)
{
}

TInventoryCommand::~TInventoryCommand()
{
    if (listener_) {
        listener_->OnModemAnnounce = nullptr;
        if (TUDPServer* server = listener_->UDPServer())
            server->OnUDPRead = nullptr;
    }
    probes_.clear();
    listener_.reset();
}

void TInventoryCommand::Add(const TCommEnumerator::TCommPortInfo& entry)
{
    for (const auto& p : probes_)
        if (p->Entry().PortName == entry.PortName && p->Entry().PortType == entry.PortType)
            return;
    probes_.push_back(
        std::make_unique<TInventoryProbe>(entry, options_.timeout, options_.moduleTcpPort, options_.udpPort));
    TInventoryProbe& probe = *probes_.back();
    probe.OnFinished = [this] { CheckDone(); };
    probe.Start();
}

void TInventoryCommand::AddHeardModules()
{
    if (!listener_)
        return;
    // Adding may run the event loop's handlers; the lists are copied first.
    TKestConnectStatusList heard = listener_->DeviceList();
    heard.insert(heard.end(), listener_->AnnouncedList().begin(), listener_->AnnouncedList().end());
    for (const TKestConnectStatus& m : heard)
        if (m.IPVersion == Id_IPv4)
            Add(TModuleSession::ModuleEntry(m.IP));
}

void TInventoryCommand::RouteDatagram(TObject* sender, const TByteString& data, const TUDPBinding& binding)
{
    listener_->OnUDPRead(sender, data, binding);
    for (std::size_t i = 0; i < probes_.size(); ++i) {
        TKestConnectComm* link = probes_[i]->Link();
        if (link && link->LinkStatus() != hsDisconnected
            && (binding.PeerIP == link->ModuleAddress() || binding.PeerIP == link->ModuleIP()))
            link->OnUDPRead(sender, data, binding);
    }
}

void TInventoryCommand::ListenEnded()
{
    listening_ = false;
    AddHeardModules();
    CheckDone();
}

void TInventoryCommand::CheckDone()
{
    if (listening_ || !loop_)
        return;
    for (const auto& p : probes_)
        if (!p->Finished())
            return;
    loop_->quit();
}

int TInventoryCommand::Run()
{
    const auto start = std::chrono::steady_clock::now();
    bool listenFailed = false;
    listener_ = Make<TKestConnectComm>();
    listener_->SetTCPPort(options_.moduleTcpPort);
    listener_->SetUDPPort(options_.udpPort);
    TUDPServer* server = listener_->UDPServer();
    if (!server || !server->Active()) {
        err_ << "ferrovan inventory: "
             << (server && !server->ActivationError().empty()
                     ? server->ActivationError()
                     : "cannot listen on UDP port " + std::to_string(options_.udpPort) + ": "
                         + ErrorText(GetLastError()))
             << "; no module was listened for\n";
        listenFailed = true;
        listener_.reset();
    } else {
        server->OnUDPRead = TUDPReadEvent::Bind(this, [this](TObject* sender, const TByteString& data,
                                                             const TUDPBinding& binding) {
            RouteDatagram(sender, data, binding);
        });
        // A module is reached as soon as it is heard; its link asks for its name itself.
        listener_->OnModemAnnounce = THostAnnounceEvent::Bind(this, [this](TObject*, const TUDPBinding& from) {
            if (listening_ && from.IPVersion == Id_IPv4)
                Add(TModuleSession::ModuleEntry(from.PeerIP));
        });
    }

    QEventLoop loop;
    loop_ = &loop;
    listening_ = listener_ != nullptr;
    for (const String& port : options_.ports) {
        TCommEnumerator::TCommPortList_ list;
        int index = -1;
        if (TDeviceCommand::ResolvePort(port, list, index))
            Add(list[std::size_t(index)]);
    }
    if (listening_) {
        QTimer::singleShot(ToMs(options_.listen), &loop, [this] { ListenEnded(); });
        loop.exec();
    } else {
        CheckDone();
        if (std::any_of(probes_.begin(), probes_.end(), [](const auto& p) { return !p->Finished(); }))
            loop.exec();
    }

    // The ports close within what is left of --listen plus --timeout, and never less than a
    // moment for ports that close at once (a muted module never confirms its close).
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double left = (listener_ ? options_.listen : 0) + options_.timeout - elapsed;
    auto allClosed = [this] {
        return std::all_of(probes_.begin(), probes_.end(), [](const auto& p) { return p->Closed(); });
    };
    if (!allClosed()) {
        QEventLoop closing;
        for (const auto& p : probes_)
            p->OnClosed = [&] {
                if (allClosed())
                    closing.quit();
            };
        QTimer::singleShot(std::clamp(ToMs(left), 200, 2000), &closing, [&] { closing.quit(); });
        closing.exec();
        for (const auto& p : probes_)
            p->OnClosed = nullptr;
    }
    loop_ = nullptr;

    const std::vector<const TInventoryProbe*> rows = Rows();
    if (options_.json)
        PrintJson(rows);
    else if (options_.csv)
        PrintCsv(rows);
    else
        PrintText(rows);
    const bool allRead = std::all_of(rows.begin(), rows.end(), [](const TInventoryProbe* p) { return p->Read(); });
    return allRead && !listenFailed ? exitOk : exitFailed;
}

std::vector<const TInventoryProbe*> TInventoryCommand::Rows() const
{
    std::vector<const TInventoryProbe*> named, modules;
    for (const auto& p : probes_) {
        const bool wasNamed = std::find_if(options_.ports.begin(), options_.ports.end(), [&](const String& port) {
                                  return port == p->Entry().PortName || port == ModulePortPrefix + p->Entry().PortName;
                              }) != options_.ports.end();
        (wasNamed && !p->IsModule() ? named : modules).push_back(p.get());
    }
    std::stable_sort(modules.begin(), modules.end(), [](const TInventoryProbe* a, const TInventoryProbe* b) {
        return AddressOrder(a->Entry().PortName) < AddressOrder(b->Entry().PortName);
    });
    named.insert(named.end(), modules.begin(), modules.end());
    return named;
}

String TInventoryCommand::Where(const TInventoryProbe& p) const
{
    if (!p.IsModule())
        return TDeviceText::Escaped(p.Entry().PortName);
    String where = "module " + TDeviceText::Escaped(p.Entry().PortName);
    if (const AnsiString* name = ModuleName(p); name && !name->empty())
        where += " (" + text_.Printable(*name) + ")";
    return where;
}

const AnsiString* TInventoryCommand::ModuleName(const TInventoryProbe& p) const
{
    // The module's own link asked for its configuration; the listener may have it as well.
    TKestConnectStatusList::iterator item;
    for (TKestConnectComm* link : {p.Link(), listener_.get()}) {
        if (!link)
            continue;
        const String& ip = link == p.Link() && !link->ModuleIP().empty() ? link->ModuleIP() : p.Entry().PortName;
        if (link->GetModemStatus(ip, Id_IPv4, item) && !item->Config.Name.empty())
            return &item->Config.Name;
    }
    return nullptr;
}

void TInventoryCommand::PrintText(const std::vector<const TInventoryProbe*>& rows) const
{
    if (rows.empty()) {
        out_ << "No controllers found: no module was heard and no port named.\n";
        return;
    }
    using TRow = std::vector<String>;
    std::vector<TRow> table{{"WHERE", "IDENTIFIER", "SERIAL NUMBER", "FIRMWARE", "BUILD DATE", "RUN MODE", "OPEN",
                             "BREAK"}};
    for (const TInventoryProbe* p : rows) {
        if (!p->Read()) {
            table.push_back({Where(*p), "not read: " + TDeviceText::Escaped(p->Reason())});
            continue;
        }
        const TDeviceInfo& d = p->DeviceInfo();
        const TFirmwareInfo& f = p->FirmwareInfo();
        table.push_back({Where(*p), IdentifierText(d.Identifier()) + " (model " + std::to_string(d.Model()) + ")",
                         text_.Printable(d.SerialNumber()), f.VersionText(), f.BuildDateText(),
                         d.ApplicationRuns() ? "application" : "bootloader",
                         std::to_string(p->Parameters().OpenTime()) + " ms",
                         std::to_string(p->Parameters().BreakTime() * TParameterWrites::BreakTimeSeconds) + " s"});
    }
    std::vector<std::size_t> width(table.front().size(), 0);
    for (const TRow& r : table)
        for (std::size_t i = 0; i < r.size() && (i == 0 || r.size() == width.size()); ++i)
            width[i] = std::max(width[i], r[i].size());
    for (const TRow& r : table) {
        String line;
        for (std::size_t i = 0; i < r.size(); ++i) {
            line += r[i];
            if (i + 1 < r.size())
                line += String(std::max<std::size_t>(width[i], r[i].size()) - r[i].size() + 2, ' ');
        }
        out_ << line << "\n";
    }
}

void TInventoryCommand::PrintJson(const std::vector<const TInventoryProbe*>& rows) const
{
    TJsonWriter w;
    w.BeginArray();
    for (const TInventoryProbe* p : rows) {
        const TDeviceInfo& d = p->DeviceInfo();
        const TFirmwareInfo& f = p->FirmwareInfo();
        w.BeginObject().Member("where", Where(*p));
        if (p->IsModule()) {
            w.Key("port").Null().Member("module", p->Entry().PortName);
            if (const AnsiString* name = ModuleName(*p))
                w.Member("module_name", text_.Utf8(*name));
            else
                w.Key("module_name").Null();
        } else {
            w.Member("port", p->Entry().PortName).Key("module").Null().Key("module_name").Null();
        }
        w.Member("read", p->Read());
        if (p->Identified())
            w.Member("identifier", d.Identifier())
                .Member("model", d.Model())
                .Member("serial_number", text_.Utf8(d.SerialNumber()))
                .Member("run_mode", d.ApplicationRuns() ? "application" : "bootloader");
        else
            w.Key("identifier").Null().Key("model").Null().Key("serial_number").Null().Key("run_mode").Null();
        if (p->Identified() && p->FirmwareKnown())
            w.Member("firmware_version", f.VersionText()).Member("build_date", f.BuildDateText());
        else
            w.Key("firmware_version").Null().Key("build_date").Null();
        if (p->Read())
            w.Member("open_time", p->Parameters().OpenTime())
                .Member("break_time", p->Parameters().BreakTime())
                .Member("break_time_seconds", p->Parameters().BreakTime() * TParameterWrites::BreakTimeSeconds)
                .Key("reason")
                .Null();
        else
            w.Key("open_time").Null().Key("break_time").Null().Key("break_time_seconds").Null().Member(
                "reason", p->Reason());
        w.EndObject();
    }
    w.EndArray();
    out_ << w.Text() << "\n";
}

void TInventoryCommand::PrintCsv(const std::vector<const TInventoryProbe*>& rows) const
{
    out_ << "where,identifier,model,serial_number,firmware_version,build_date,run_mode,open_time_ms,"
            "break_time_s,reason\n";
    for (const TInventoryProbe* p : rows) {
        const TDeviceInfo& d = p->DeviceInfo();
        const TFirmwareInfo& f = p->FirmwareInfo();
        const bool known = p->Identified();
        const bool firmware = known && p->FirmwareKnown();
        out_ << CsvField(Where(*p)) << "," << (known ? IdentifierText(d.Identifier()) : "") << ","
             << (known ? std::to_string(d.Model()) : "") << "," << (known ? CsvField(text_.Printable(d.SerialNumber())) : "")
             << "," << (firmware ? f.VersionText() : "") << "," << (firmware ? f.BuildDateText() : "") << ","
             << (known ? (d.ApplicationRuns() ? "application" : "bootloader") : "") << ","
             << (p->Read() ? std::to_string(p->Parameters().OpenTime()) : "") << ","
             << (p->Read() ? std::to_string(p->Parameters().BreakTime() * TParameterWrites::BreakTimeSeconds) : "")
             << "," << (p->Read() ? "" : CsvField(TDeviceText::Escaped(p->Reason()))) << "\n";
    }
}

} // namespace fk
