#include "app/ModuleEntries.h"

#include "app/FormKCConfig.h"
#include "app/PortListBox.h"
#include "session/ModuleSession.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>

namespace fk {

TModuleEntries::TModuleEntries(TModuleSession& session, TPortListBox& box, QMenu& popupMenu, QAction& menuConfigure,
                               QWidget* window)
    : session_(session)
    , box_(box)
    , portListMenu_(popupMenu)
    , menuConfigure_(menuConfigure)
    , dialog_(std::make_unique<TFormKCConfig>(window))
{
    dialog_->setWindowFlag(Qt::Dialog);
    TKestLANPort& lan = LANPort();
    lan.OnModemListUpdate = TNotifyEvent(this, &TModuleEntries::KestLANModemListUpdate);
    lan.OnModemStatusUpdate = TNotifyEvent(this, &TModuleEntries::KestLANModemStatusUpdate);
    lan.OnModemSuspend = TNotifyEvent(this, &TModuleEntries::KestLANModemSuspend);
    // The pop-up is shown here, for module rows only.
    box_.SetPopupMenu(nullptr);
    box_.installEventFilter(this);
    box_.viewport()->installEventFilter(this);
    connect(&menuConfigure_, &QAction::triggered, this, [this] { MenuPropertiesClick(); });
}

TModuleEntries::~TModuleEntries()
{
    box_.removeEventFilter(this);
    box_.viewport()->removeEventFilter(this);
    TKestLANPort& lan = LANPort();
    lan.OnModemListUpdate = nullptr;
    lan.OnModemStatusUpdate = nullptr;
    lan.OnModemSuspend = nullptr;
    dialog_->OnHideClick = nullptr;
    dialog_->ConnectComm = nullptr;
}

TKestLANPort& TModuleEntries::LANPort() const noexcept { return *session_.KestLANPort1(); }

void TModuleEntries::SetModulePorts(u16 tcpPort, u16 udpPort)
{
    TKestConnectComm* comm = LANPort().ConnectComm;
    if (!comm)
        return;
    if (tcpPort != 0)
        comm->SetTCPPort(tcpPort);
    if (udpPort != 0)
        comm->SetUDPPort(udpPort);
}

const TKestConnectStatus* TModuleEntries::FindModule(const String& ip, TIdIPVersion ipVersion) const
{
    const TKestConnectStatusList* list = LANPort().GetDeviceList();
    if (!list || ip.empty())
        return nullptr;
    for (const TKestConnectStatus& module : *list)
        if (module.IPVersion == ipVersion && module.IP == ip)
            return &module;
    return nullptr;
}

TCommEnumerator::TCommPortInfo TModuleEntries::ModuleEntry(const TKestConnectStatus& module) const
{
    return TModuleSession::ModuleEntry(module.IP, codePage_.Decode(module.Config.Name));
}

void TModuleEntries::AppendModuleEntries(TCommEnumerator::TCommPortList_& list)
{
    const TKestConnectStatusList* modules = LANPort().GetDeviceList();
    bool found = configuredModule_.IP.empty();
    if (modules) {
        for (const TKestConnectStatus& module : *modules) {
            list.push_back(ModuleEntry(module));
            if (module.IPVersion == configuredModule_.IPVersion && module.IP == configuredModule_.IP)
                found = true;
        }
    }
    if (!found) {
        // The module left the network: its pop-up goes, and Configure does nothing now.
        configuredModule_.IP.clear();
        portListMenu_.close();
    }
    dialog_->SetDeviceList(modules);
}

void TModuleEntries::KestLANModemListUpdate(TObject* sender)
{
    if (RefreshPortList)
        RefreshPortList();
    KestLANModemStatusUpdate(sender);
}

void TModuleEntries::KestLANModemStatusUpdate(TObject*)
{
    if (!dialog_->isVisible())
        return;
    const TKestConnectStatus& shown = dialog_->ModemStatus;
    if (const TKestConnectStatus* module = FindModule(shown.IP, shown.IPVersion))
        dialog_->SetModemStatus(*module);
}

void TModuleEntries::KestLANModemSuspend(TObject*)
{
    // Nothing to do: the session holds its timers back while the link is suspended and
    // resumes them on the adapter's resume event.
}

void TModuleEntries::ListBox1ContextPopup(QPoint pos, bool fromKeyboard)
{
    if (!fromKeyboard) {
        if (QListWidgetItem* item = box_.itemAt(pos))
            box_.setCurrentItem(item); // selecting reports the row to the session
    }
    const int row = session_.Ports().ItemIndex();
    const QList<QListWidgetItem*> selected = box_.selectedItems();
    if (row < 0 || std::size_t(row) >= session_.Ports().List().size() || selected.isEmpty() ||
        box_.row(selected.constFirst()) != row)
        return;
    const QRect rect = box_.visualItemRect(selected.constFirst());
    QPoint at;
    if (fromKeyboard) {
        at = rect.bottomLeft();
    } else {
        if (!rect.contains(pos))
            return;
        at = pos;
    }
    at = box_.viewport()->mapToGlobal(at);
    const TCommEnumerator::TCommPortInfo& entry = session_.Ports().List()[std::size_t(row)];
    popupKind_ = entry.PortType;
    if (popupKind_ != ModulePortType)
        return;
    const TKestConnectStatus* module = FindModule(entry.PortName, Id_IPv4);
    if (!module)
        return;
    configuredModule_ = *module;
    menuConfigure_.setEnabled(true);
    portListMenu_.popup(at);
}

void TModuleEntries::MenuPropertiesClick()
{
    if (popupKind_ != ModulePortType || configuredModule_.IP.empty())
        return;
    dialog_->ConnectComm = LANPort().ConnectComm;
    // Another module than the one the open dialog shows starts over, as choosing it there does.
    dialog_->SelectModule(configuredModule_);
    dialog_->OnHideClick = TNotifyEvent(this, &TModuleEntries::HideClick);
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
}

void TModuleEntries::HideClick(TObject*)
{
    if (OnHideChanged)
        OnHideChanged(dialog_->HidePassword());
}

bool TModuleEntries::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == &box_ || watched == box_.viewport()) && event->type() == QEvent::ContextMenu) {
        const auto* menu = static_cast<QContextMenuEvent*>(event);
        const bool keyboard = menu->reason() == QContextMenuEvent::Keyboard;
        ListBox1ContextPopup(keyboard ? QPoint() : box_.viewport()->mapFromGlobal(menu->globalPos()), keyboard);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace fk
