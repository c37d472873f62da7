#pragma once
// TPortChoice: the ports the device session can connect to, which one is selected, which one
// is open, and the port names remembered between runs.
//
// The list is filled by the window's port list or by the tool; the selected row (-1: none) is
// the session's, and the window's list follows it. The current port is the one last opened
// (or being opened); the connected port the one whose device was connected last. Both are kept
// by the window's settings and dropped when the port leaves the list.
#include "platform/Types.h"
#include "ports/CommPortInfo.h"

#include <utility>

namespace fk {

class TPortChoice {
public:
    using TList = TCommEnumerator::TCommPortList_;

    const TList& List() const noexcept { return list_; }
    void SetList(TList list) { list_ = std::move(list); }
    // An entry at the end, made of args (an entry, or a port name).
    template <class... A>
    void Add(A&&... args)
    {
        list_.emplace_back(std::forward<A>(args)...);
    }
    // The index of the entry with exactly that port name, -1 when none has it.
    int Find(const String& name) const;
    // index names an entry of the list.
    bool Holds(int index) const noexcept { return index >= 0 && static_cast<std::size_t>(index) < list_.size(); }

    // The selected row, -1: none. ConnectToEntry, StartUpload and ForgetStale read it.
    int ItemIndex() const noexcept { return itemIndex_; }
    void SetItemIndex(int index) noexcept { itemIndex_ = index; }
    // The port list has connected once (every ConnectToEntry sets it): no automatic connect.
    bool AutoConnectDone() const noexcept { return autoConnectDone_; }
    void SetAutoConnectDone(bool done) noexcept { autoConnectDone_ = done; }
    // The entry being opened or open (-1: none); the list was rebuilt: it moved to index.
    int ConnectedIndex() const noexcept { return connectedIndex_; }
    void SetConnectedIndex(int index) noexcept { connectedIndex_ = index; }

    const String& CurrentPort() const noexcept { return currentPort_; }
    const String& ConnectedPort() const noexcept { return connectedPort_; }
    void SetCurrentPort(const String& name) { currentPort_ = name; }
    void SetConnectedPort(const String& name) { connectedPort_ = name; }
    // Drops the remembered port names that are no longer in the list (only while a row is
    // selected, so an empty or unselected list forgets nothing).
    void ForgetStale();

private:
    TList list_;
    int itemIndex_ = -1;
    bool autoConnectDone_ = false;
    int connectedIndex_ = -1;
    String currentPort_;
    String connectedPort_;
};

} // namespace fk
