#pragma once
// TSessionClosing: how the device session's port closes, and what the close leaves behind.
//
// Before the port closes at the user's word (Disconnect, another port opened, the window
// closed), the farewell goes on the line: an upload under way is aborted (the device restarted)
// and a device left in its bootloader with sound firmware is restarted into its application.
// The close, or the open of the other port, follows the farewell's answer, at the latest after
// FarewellTime. A port that leaves the system's list while its line still works says the
// farewell as well (an upload under way is then told as interrupted by the lost port); a line
// that is gone (the send refused, a hang-up) closes at once.
//
// The close's status is shown once, by the closing event, and kept by the closed event: a lost
// port says what was lost (and an interrupted upload), the user's own close "Disconnected".
//
// A part of TDeviceSession: it acts on the session's connection, queue and state, on the main
// thread.
#include "platform/Types.h"
#include "ports/CommTypes.h"

#include <optional>

namespace fk {

class TDeviceSession;
class TObject;
class TTimer;

class TSessionClosing {
public:
    // How long the farewell is waited for before the port closes (or the next one opens), ms.
    static constexpr unsigned FarewellTime = 500;

    explicit TSessionClosing(TDeviceSession& session);
    TSessionClosing(const TSessionClosing&) = delete;
    TSessionClosing& operator=(const TSessionClosing&) = delete;

    // The farewell before a close at the user's word; true when a request was queued.
    bool SayFarewell();
    // The farewell has not been answered and the port is still open.
    bool FarewellPending() const;
    // The user closes the port: after the farewell, or at once when there is none.
    void Disconnect();
    // The open port goes with the open of port: true when a farewell was queued (the open
    // follows its answer); false when the caller opens at once.
    bool OpenAfterFarewell(const String& port);
    // The port left the system's list (status: what the status line says about it).
    void PortLost(int status);
    // The line itself went away (hang-up, end of file): the port closes at once.
    void ModemLost();

    // The port events.
    void Opening();
    void Opened() noexcept { portOpened_ = true; }
    void Closing(TCommCloseReason reason);
    void Closed(TCommCloseReason reason);
    // The close's effects (also a fresh window's start).
    void CommonClose(TCommCloseReason reason);
    // A device message was handled: an answered farewell lets the port close (or the next open).
    void MessageHandled();
    // The connection refused the request sent last.
    void RequestRefused() noexcept { requestRefused_ = true; }
    // A close is being handled: the fall to no device shows no status of its own.
    bool InClose() const noexcept { return inClose_; }
    // The session goes: the farewell timer calls nothing any more.
    void Detach();

private:
    void ShowCloseStatus(TCommCloseReason reason, bool hadDevice);
    bool InterruptUpload();
    void WaitForFarewell();
    void FarewellTimerTimer(TObject* sender);

    TDeviceSession& session_;
    TTimer* farewellTimer_ = nullptr; // owned by the session (child component)
    bool portLost_ = false;   // the port lost its device (and lostStatus_ says so)
    bool portOpened_ = false; // the open succeeded: an end of the port by itself is a loss
    int lostStatus_ = 0;
    bool userClose_ = false;
    bool inClose_ = false;
    bool closeStatusShown_ = false; // the closing event has shown the close's status
    bool closeAfterFarewell_ = false;
    bool requestRefused_ = false;   // the connection refused the last request sent
    std::optional<String> openAfterFarewell_; // the entry to open once the farewell is answered
};

} // namespace fk
