#pragma once
// TModuleEntries: the wireless modules in the main window. The modules the LAN port adapter
// knows become entries of the connection port list (the module kind, its address as the
// name, its name as the description, the network icon), sorted together with the serial
// ports; a change of the adapter's module list rebuilds the port list; the list's pop-up
// offers "Configure" on a module row only, which opens the module configuration dialog on
// that module; the dialog is kept up to date while it is shown, and the pop-up closes when
// its module leaves the network.
//
// The window owns it (before the session goes) and hands it the port-list rebuild and the
// place where the Hide box's state is stored.
#include "module/ModuleTypes.h"
#include "platform/Event.h"
#include "ports/CommPortInfo.h"
#include "support/AnsiCodePage.h"

#include <QObject>
#include <QPoint>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QWidget;

namespace fk {

class TFormKCConfig;
class TKestLANPort;
class TModuleSession;
class TPortListBox;

class TModuleEntries : public QObject, public TObject {
    Q_OBJECT
public:
    // The port-list kind of a module entry.
    static constexpr int ModulePortType = 3;

    TModuleEntries(TModuleSession& session, TPortListBox& box, QMenu& popupMenu, QAction& menuConfigure,
                   QWidget* window);
    ~TModuleEntries() override;

    // The module ports (0 keeps the default: TCP 90, UDP 13873).
    void SetModulePorts(u16 tcpPort, u16 udpPort);

    TKestLANPort& LANPort() const noexcept;
    TFormKCConfig& Dialog() const noexcept { return *dialog_; }
    // The module whose row the pop-up was last opened on (no IP once it left the network).
    const TKestConnectStatus& ConfiguredModule() const noexcept { return configuredModule_; }
    int PopupKind() const noexcept { return popupKind_; }

    // The window's port-list rebuild (run on a change of the module list).
    std::function<void()> RefreshPortList;
    // The Hide box changed: hide true means the pass phrase is masked.
    std::function<void(bool hide)> OnHideChanged;

    // The port list's module step: one entry per known module, appended to list; a module
    // configured from the pop-up that is gone closes the pop-up; the dialog gets the list.
    void AppendModuleEntries(TCommEnumerator::TCommPortList_& list);
    // A port-list entry for a module record.
    TCommEnumerator::TCommPortInfo ModuleEntry(const TKestConnectStatus& module) const;

    // --- handlers of the adapter's events
    void KestLANModemListUpdate(TObject* sender);
    void KestLANModemStatusUpdate(TObject* sender);
    void KestLANModemSuspend(TObject* sender);

    // The list's context menu: from the mouse at pos (list coordinates), or from the keyboard
    // (fromKeyboard). Shows "Configure" on a module row only.
    void ListBox1ContextPopup(QPoint pos, bool fromKeyboard);
    void MenuPropertiesClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void HideClick(TObject* sender);
    const TKestConnectStatus* FindModule(const String& ip, TIdIPVersion ipVersion) const;

    TModuleSession& session_;
    TPortListBox& box_;
    QMenu& portListMenu_;
    QAction& menuConfigure_;
    TAnsiCodePage codePage_;
    std::unique_ptr<TFormKCConfig> dialog_;
    TKestConnectStatus configuredModule_;
    int popupKind_ = -1;
};

} // namespace fk
