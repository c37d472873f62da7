#include "app/ConnectionPorts.h"

#include "app/PortListBox.h"
#include "app/PortListDelegate.h"
#include "connection/KestConnection.h"
#include "platform/SystemClock.h"
#include "ports/PortMonitor.h"
#include "ports/TakenAdapters.h"
#include "session/PortHolderText.h"
#include "session/DeviceSession.h"

#include <QTimer>

#include <algorithm>
#include <filesystem>

namespace fk {

TConnectionPorts::TConnectionPorts(TDeviceSession& session, TPortListBox& box, QObject* parent)
    : QObject(parent)
    , session_(session)
    , box_(box)
    , monitor_(Make<TPortMonitor>())
{
    Clock = [] { return GetTickCount(); };
    images_.LoadClassImages();
    monitor_->OnPortArrival = TPortChangeEvent(this, &TConnectionPorts::PortArrival);
    monitor_->OnPortRemoval = TPortChangeEvent(this, &TConnectionPorts::PortRemoval);
    connect(&box_, &TPortListBox::RowClicked, this, [this](int) { RowClicked(); });
    connect(&box_, &TPortListBox::SelectedRowChanged, this, [this](int row) { SelectedRowChanged(row); });
}

TConnectionPorts::~TConnectionPorts()
{
    monitor_->OnPortArrival = nullptr;
    monitor_->OnPortRemoval = nullptr;
    monitor_->Close();
}

void TConnectionPorts::SetPaths(const TCommEnumerator::TDiscoveryPaths& paths)
{
    paths_ = paths;
    monitor_->SetPaths(paths);
}

bool TConnectionPorts::WatchPorts() { return monitor_->Open(); }

int TConnectionPorts::Find(const String& name) const
{
    const auto& list = session_.Ports().List();
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].PortName == name)
            return static_cast<int>(i);
    return -1;
}

int TConnectionPorts::FindIdentity(const String& identity, bool* ambiguous) const
{
    const auto matches = TCommEnumerator::IdentityMatches(session_.Ports().List(), identity);
    if (ambiguous)
        *ambiguous = matches.size() > 1;
    return matches.size() == 1 ? static_cast<int>(matches.front()) : -1;
}

int TConnectionPorts::Resolve(const String& name, bool& ambiguous) const
{
    ambiguous = false;
    if (const int i = Find(name); i >= 0)
        return i;
    if (TCommEnumerator::TCommPortInfo::IsIdentity(name))
        return FindIdentity(name, &ambiguous);
    if (name.find('/') == String::npos)
        return -1;
    // A device path or a link to one: the entry whose node is the same file.
    std::error_code error;
    const auto target = std::filesystem::canonical(name, error);
    if (error)
        return -1;
    const auto& list = session_.Ports().List();
    for (std::size_t i = 0; i < list.size(); ++i) {
        const String node = list[i].PortName.find('/') == String::npos ? paths_.DevRoot + "/" + list[i].PortName
                                                                        : list[i].PortName;
        std::error_code e;
        if (std::filesystem::canonical(node, e) == target && !e)
            return static_cast<int>(i);
    }
    return -1;
}

void TConnectionPorts::TellAmbiguous(const String& identity)
{
    QStringList names;
    for (const std::size_t i : TCommEnumerator::IdentityMatches(session_.Ports().List(), identity)) {
        const auto& e = session_.Ports().List()[i];
        names << QString::fromStdString(e.StableLocation.empty() ? e.PortName : e.PortName + " (" + e.StableLocation + ")");
    }
    session_.Ports().SetAutoConnectDone(true);
    emit IdentityAmbiguous(QString::fromStdString(identity), names);
}

void TConnectionPorts::SetRememberedIdentities(const String& current, const String& connected)
{
    currentId_ = current;
    connectedId_ = connected;
}

String TConnectionPorts::IdentityOf(const String& name) const
{
    if (name.empty())
        return {};
    // An entry given by its device path is the discovered port of that node.
    for (const auto& entry : session_.Ports().List())
        if ((entry.PortName == name || paths_.DevRoot + "/" + entry.PortName == name) && !entry.Identity().empty())
            return entry.Identity();
    if (name == session_.Ports().ConnectedPort() && !connectedId_.empty())
        return connectedId_;
    return name == session_.Ports().CurrentPort() ? currentId_ : String();
}

String TConnectionPorts::RenamedTo(const String& name, const String& identity) const
{
    const int i = name.empty() || Find(name) >= 0 ? -1 : FindIdentity(identity);
    return i < 0 ? String() : session_.Ports().List()[std::size_t(i)].PortName;
}

void TConnectionPorts::FollowIdentities()
{
    // A remembered adapter that now has another name is remembered under that name.
    if (const String name = RenamedTo(session_.Ports().ConnectedPort(), connectedId_); !name.empty())
        session_.Ports().SetConnectedPort(name);
    if (const String name = RenamedTo(session_.Ports().CurrentPort(), currentId_); !name.empty())
        session_.Ports().SetCurrentPort(name);
    // Names in the list carry their identity from now on.
    if (const int i = Find(session_.Ports().ConnectedPort()); i >= 0)
        connectedId_ = session_.Ports().List()[std::size_t(i)].Identity();
    if (const int i = Find(session_.Ports().CurrentPort()); i >= 0)
        currentId_ = session_.Ports().List()[std::size_t(i)].Identity();
}

int TConnectionPorts::ReturnedEntry()
{
    if (returning_.empty())
        return -1;
    if (TickDiff(Clock(), pulledAt_) > ReturnWindowMs) {
        returning_.clear(); // too late: the user decides
        return -1;
    }
    if (session_.Serial()->IsValid())
        return -1;
    bool ambiguous = false;
    const int i = FindIdentity(returning_, &ambiguous);
    if (ambiguous) {
        // Two ports fit the pulled adapter: the user chooses.
        const String identity = returning_;
        returning_.clear();
        TellAmbiguous(identity);
    }
    return i;
}

void TConnectionPorts::ReconnectReturned(int index)
{
    const String oldName = returningName_;
    const String newName = session_.Ports().List()[std::size_t(index)].PortName;
    returning_.clear();
    session_.Ports().SetAutoConnectDone(true);
    session_.ConnectToEntry(newName, true);
    emit AdapterReturned(QString::fromStdString(oldName), QString::fromStdString(newName));
}

void TConnectionPorts::ShowTakenAdapters()
{
    if (!discover_)
        return;
    for (const TTakenAdapter& a : TTakenAdapters::Find(paths_, ProcRoot)) {
        const QString text = QString::fromStdString(TPortHolderText::BrlttyTookAdapter(a.Product, Translate));
        auto* item = new QListWidgetItem(QString::fromStdString(a.UsbPath), &box_);
        item->setData(TPortListDelegate::DescriptionRole, text);
        item->setData(TPortListDelegate::ImageIndexRole, images_.ClassImageIndex(TCommEnumerator::GUID_DEVCLASS_USB));
        item->setToolTip(text);
        item->setFlags(Qt::ItemIsEnabled); // shown, never chosen: it has no port to connect to
    }
}

QString TConnectionPorts::ShownDescription(const String& description) const
{
    static constexpr std::pair<const char*, const char*> plain[] = {
        {"Serial port", "txt_port-serial"},
        {"USB serial port", "txt_port-usb"},
        {"Bluetooth serial port", "txt_port-bluetooth"},
    };
    const QString english = QString::fromStdString(description);
    if (!Translate)
        return english;
    for (const auto& [text, key] : plain)
        if (description == text) {
            const String shown = Translate(key);
            return shown.empty() ? english : QString::fromStdString(shown);
        }
    static const String channel = "RFCOMM channel ";
    if (description.rfind(channel, 0) == 0) {
        const String shown = Translate("txt_port-rfcomm");
        if (!shown.empty())
            return QString::fromStdString(shown).arg(QString::fromStdString(description.substr(channel.size())));
    }
    return english;
}

void TConnectionPorts::RelabelRows()
{
    const auto& ports = session_.Ports().List();
    for (std::size_t i = 0; i < ports.size() && i < static_cast<std::size_t>(box_.count()); ++i)
        box_.SetDescription(static_cast<int>(i), ShownDescription(ports[i].GetDeviceDescription()));
}

void TConnectionPorts::RefreshPortList()
{
    const auto& old = session_.Ports().List();
    const int oldIndex = session_.Ports().ItemIndex();
    const String previous = oldIndex >= 0 && static_cast<std::size_t>(oldIndex) < old.size()
        ? old[static_cast<std::size_t>(oldIndex)].PortName
        : String();

    TCommEnumerator::TCommPortList_ list;
    if (discover_)
        TCommEnumerator::GetPortList(list, true, paths_, nullptr);
    for (const TExtraPort& port : extra_) {
        if (std::any_of(list.begin(), list.end(), [&](const auto& e) { return e.PortName == port.Path; }))
            continue;
        TCommEnumerator::TCommPortInfo entry(port.Path);
        entry.Description = port.Description;
        entry.DeviceClass = "Ports";
        entry.ClassGuid = TCommEnumerator::GUID_DEVCLASS_PORTS;
        entry.SystemPort = true; // drawn with the serial port's icon, described by its description
        list.push_back(std::move(entry));
    }
    if (AddEntries)
        AddEntries(list);
    for (auto& entry : list)
        entry.ImageIndex = images_.ClassImageIndex(entry.GetDeviceGuid());
    std::stable_sort(list.begin(), list.end());
    list.Images = &images_;
    session_.Ports().SetList(std::move(list));
    const auto& ports = session_.Ports().List();
    if (session_.View())
        session_.View()->EnableConnect(!ports.empty());

    // The entry in use follows the list.
    const String& open = session_.Serial()->CurrentPortName();
    if (!open.empty() && (session_.Serial()->IsValid() || session_.Ports().ConnectedIndex() >= 0))
        session_.Ports().SetConnectedIndex(Find(open));

    FollowIdentities();
    int selected = previous.empty() ? -1 : Find(previous);
    if (selected < 0 && !session_.Ports().ConnectedPort().empty())
        selected = Find(session_.Ports().ConnectedPort());
    if (selected < 0 && !session_.Ports().CurrentPort().empty())
        selected = Find(session_.Ports().CurrentPort());
    const int returned = ReturnedEntry();
    if (returned >= 0)
        selected = returned;
    session_.Ports().SetItemIndex(selected);

    std::vector<TPortListBox::TRow> rows;
    rows.reserve(ports.size());
    for (const auto& entry : ports)
        rows.push_back({QString::fromStdString(entry.PortName), ShownDescription(entry.GetDeviceDescription()),
                        entry.ImageIndex});
    box_.SetRows(rows, selected);
    listed_ = true;
    ShowTakenAdapters();
    RepaintList();

    if (returned >= 0) {
        ReconnectReturned(returned);
    } else if (connectName_) {
        ConnectWhenListed(); // no preference rule while a named entry is awaited
    } else if (selected >= 0 && !session_.Ports().AutoConnectDone()) {
        session_.Ports().SetAutoConnectDone(true);
        if (rule_.ConnectAtStartup) {
            session_.ConnectToEntry(std::nullopt, true);
        } else if (rule_.RememberConnection && rule_.WasConnected) {
            const String name = !session_.Ports().CurrentPort().empty() ? session_.Ports().CurrentPort() : session_.Ports().ConnectedPort();
            session_.ConnectToEntry(name, true);
        }
    }
    session_.Ports().ForgetStale();
    if (session_.View())
        session_.View()->ShowPortInStatusBar();
}

void TConnectionPorts::SetConnectName(std::optional<String> name, int timeoutMs)
{
    if (!connectWait_) {
        connectWait_ = new QTimer(this);
        connectWait_->setSingleShot(true);
        connect(connectWait_, &QTimer::timeout, this, [this] { ConnectWaitOver(); });
    }
    connectWait_->stop();
    connectName_ = std::move(name);
    if (!connectName_)
        return;
    if (!ConnectWhenListed())
        connectWait_->start(std::max(0, timeoutMs));
}

bool TConnectionPorts::ConnectWhenListed()
{
    if (!connectName_)
        return true;
    if (session_.Serial()->IsValid()) {
        connectName_.reset(); // the user connected meanwhile
    } else {
        bool ambiguous = false;
        const int i = Resolve(*connectName_, ambiguous);
        if (ambiguous) {
            const String identity = *connectName_;
            connectName_.reset();
            TellAmbiguous(identity);
        } else if (i < 0) {
            // A path that discovery does not list (a pseudo-terminal) is connected to as it is.
            std::error_code error;
            if (!listed_ || connectName_->find('/') == String::npos || !std::filesystem::exists(*connectName_, error))
                return false; // (before the first rebuild the list is not known yet)
            extra_.push_back({*connectName_, String()});
            RefreshPortList(); // lists it, and connects to it from there
            return !connectName_;
        } else {
            const String name = session_.Ports().List()[std::size_t(i)].PortName;
            connectName_.reset();
            ConnectToName(name);
        }
    }
    if (connectWait_)
        connectWait_->stop();
    return true;
}

void TConnectionPorts::ConnectWaitOver()
{
    if (ConnectWhenListed())
        return;
    const String name = *connectName_;
    connectName_.reset();
    ConnectToName(name); // not listed: says so
}

bool TConnectionPorts::ConnectToName(const String& name)
{
    if (Find(name) < 0) {
        session_.Ports().SetAutoConnectDone(true);
        session_.ShowStatus(session_.Ports().List().empty() ? staNoPorts : staNoPortSelected, icWarning);
        return false;
    }
    return session_.ConnectToEntry(name, true);
}

int TConnectionPorts::ConnectedOverlay() const noexcept
{
    switch (session_.DeviceState()) {
    case dsNone:
        return TPortImageList::ovProblem;
    case dsIdentifying:
        return session_.DeviceInfo().RunMode() == 0 ? TPortImageList::ovNone : TPortImageList::ovWaiting;
    default:
        return TPortImageList::ovNone;
    }
}

void TConnectionPorts::RepaintList()
{
    const int row = session_.Ports().ConnectedIndex();
    const bool valid = row >= 0 && static_cast<std::size_t>(row) < session_.Ports().List().size();
    box_.Delegate()->SetConnectedRow(valid ? row : -1, valid ? ConnectedOverlay() : 0);
    box_.viewport()->update();
}

void TConnectionPorts::PortArrival(TObject*, const String&) { RefreshPortList(); }

void TConnectionPorts::PortRemoval(TObject*, const String& portName)
{
    // The open port's device went away: its connection closes, and the status says the port
    // is gone. Entries given by path match by their device path under the discovery's device
    // folder.
    const String& open = session_.Serial()->CurrentPortName();
    if (!open.empty()
        && (open == portName || TCommEnumerator::CommFileName(open) == paths_.DevRoot + "/" + portName)) {
        // Awaited back while the session had the port open; known by identity only.
        const bool inUse = session_.Serial()->IsValid() || session_.Ports().ConnectedIndex() >= 0
            || session_.StatusIndex() == staConnectionLost || session_.StatusIndex() == staPortInactive;
        if (const String id = IdentityOf(open); !id.empty() && inUse) {
            returning_ = id;
            returningName_ = open;
            pulledAt_ = Clock();
        }
        session_.PortLost(staPortInactive);
    }
    RefreshPortList();
}

void TConnectionPorts::RowClicked()
{
    session_.Ports().SetAutoConnectDone(true);
    session_.Ports().ForgetStale();
}

void TConnectionPorts::SelectedRowChanged(int row) { session_.Ports().SetItemIndex(row); }

} // namespace fk
