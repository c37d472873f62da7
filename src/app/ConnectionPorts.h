#pragma once
// What the connection port list holds and when it changes: the machine's serial ports from
// port discovery plus the ports given on the command line, sorted in natural order, rebuilt
// whenever the hot-plug monitor reports a port arriving or leaving (the open port's removal
// closes the connection), with the user's selection kept across rebuilds. The first rebuild
// that has a selected row may connect on its own, once per run, by the preferences (or to
// the entry named on the command line). The session's PortList and ItemIndex are the list's
// content and selection; the list box only shows them.
#include "app/AppCommandLine.h"
#include "platform/Component.h"
#include "ports/CommEnumerator.h"
#include "ports/PortImageList.h"

#include <QObject>

class QTimer;

#include <functional>
#include <optional>

namespace fk {

class TDeviceSession;
class TPortListBox;
class TPortMonitor;

class TConnectionPorts : public QObject {
    Q_OBJECT
public:
    // The preference bits the automatic connection at start-up follows.
    struct TAutoConnectRule {
        bool ConnectAtStartup = false;
        bool RememberConnection = false;
        bool WasConnected = false;
    };

    TConnectionPorts(TDeviceSession& session, TPortListBox& box, QObject* parent = nullptr);
    ~TConnectionPorts() override;

    // Where discovery looks (tests hand in a tree of their own); Discover false lists only
    // the extra ports.
    void SetPaths(const TCommEnumerator::TDiscoveryPaths& paths);
    void SetDiscover(bool discover) noexcept { discover_ = discover; }
    void SetExtraPorts(std::vector<TExtraPort> ports) { extra_ = std::move(ports); }
    void SetAutoConnectRule(const TAutoConnectRule& rule) noexcept { rule_ = rule; }
    // The entry to connect to, instead of the preference rule: at once when it is listed,
    // else as soon as a rebuild lists it (a module heard later, an adapter plugged in). After
    // timeoutMs without it the wait ends with the status "No port selected" (or "No connection
    // ports available" for an empty list). A connection the user makes meanwhile ends the wait.
    void SetConnectName(std::optional<String> name, int timeoutMs = TAppCommandLine::DefaultConnectTimeoutMs);
    // A name is still awaited.
    bool WaitingForName() const noexcept { return connectName_.has_value(); }

    // Starts the hot-plug monitor (udev, else the kernel's events); false with the last error.
    bool WatchPorts();
    TPortMonitor& Monitor() noexcept { return *monitor_; }
    const TPortImageList& Images() const noexcept { return images_; }

    // Adds further entries (the wireless modules) to each rebuild, before the sorting.
    std::function<void(TCommEnumerator::TCommPortList_& list)> AddEntries;

    // Rebuilds the list and the rows; may connect (see above).
    void RefreshPortList();
    // Connects to the entry with exactly this port name; a name that is not in the list
    // shows the session's status (no port selected, or none available) and connects nothing.
    bool ConnectToName(const String& name);

    // --- adapters known by identity (vendor, product, serial number or USB socket)
    // The identities stored beside the remembered port names: a remembered name that is not
    // in the list stands for the entry with its identity (the adapter came back renamed).
    void SetRememberedIdentities(const String& current, const String& connected);
    // The identity of the entry with that name, else the one remembered for it; empty if none.
    String IdentityOf(const String& name) const;
    // The adapter of the open port was pulled out: if it comes back (under any name) within
    // ReturnWindowMs, it is selected and connected again. The user's Disconnect cancels that.
    static constexpr u32 ReturnWindowMs = 60000;
    void CancelReturn() { returning_.clear(); }
    bool AwaitingReturn() const noexcept { return !returning_.empty(); }
    // The millisecond tick the window is measured with (tests move it).
    std::function<u32()> Clock;

    // --- adapters brltty took: listed after the ports as rows that cannot be chosen,
    // saying what happened and what to do (texts through Translate; English without it).
    std::function<String(const String& key)> Translate;
    String ProcRoot = "/proc"; // where brltty is looked for (tests move it)
    // A port's description as shown: the plain descriptions port discovery gives when the
    // device names none ("Serial port", "RFCOMM channel 2") in the language shown.
    QString ShownDescription(const String& description) const;
    // Puts the descriptions on the rows again (after a change of language).
    void RelabelRows();

signals:
    // The adapter of a port that was pulled out came back as newName and is being connected.
    void AdapterReturned(const QString& oldName, const QString& newName);
    // An identity to connect to fits several ports (both halves of a dual adapter, clones
    // sharing a serial number): none is chosen, the user picks one of names.
    void IdentityAmbiguous(const QString& identity, const QStringList& names);

public:
    // The row in use and its overlay, from the session's state, redrawn.
    void RepaintList();
    // The overlay the connected row's icon shows now (TPortImageList ov*).
    int ConnectedOverlay() const noexcept;

private:
    void PortArrival(TObject* sender, const String& portName);
    void PortRemoval(TObject* sender, const String& portName);
    void RowClicked();
    void SelectedRowChanged(int row);
    int Find(const String& name) const;
    // The one entry with that identity; -1 when none or several (*ambiguous tells which).
    int FindIdentity(const String& identity, bool* ambiguous = nullptr) const;
    // The entry a name given to connect to stands for: a port name, an identity, a device
    // path or a link to it (/dev/serial/by-id/...); -1 when none (or several).
    int Resolve(const String& name, bool& ambiguous) const;
    void TellAmbiguous(const String& identity);
    // The new name of a remembered name that is gone, by identity; empty when none.
    String RenamedTo(const String& name, const String& identity) const;
    void FollowIdentities();
    int ReturnedEntry();
    void ReconnectReturned(int index);
    void ShowTakenAdapters();
    // Connects to the awaited name once it is listed; true when the wait is over.
    bool ConnectWhenListed();
    void ConnectWaitOver();

    TDeviceSession& session_;
    TPortListBox& box_;
    TPortImageList images_;
    TOwned<TPortMonitor> monitor_;
    TCommEnumerator::TDiscoveryPaths paths_;
    bool discover_ = true;
    std::vector<TExtraPort> extra_;
    TAutoConnectRule rule_;
    std::optional<String> connectName_;
    String currentId_, connectedId_;   // identities of the remembered names
    String returning_;                 // identity of the pulled adapter awaited back
    String returningName_;
    u32 pulledAt_ = 0;
    QTimer* connectWait_ = nullptr;
    bool listed_ = false;              // the list has been built once
};

} // namespace fk
