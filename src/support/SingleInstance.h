#pragma once
// Keeps the configurator to one running instance per instance name, and lets a second start find
// the first instance and bring its window forward.
//
// The guard is a lock file held with flock in the user's runtime folder (mode 0700), named by
// the MD5 digest of the instance name, so any name gives a valid file name. While the guard is
// on, a local socket in the abstract namespace (named by the user id and the digest of the runtime
// folder and the name, so it fits whatever the folder's path; both sides check that the peer is
// this user) answers the instance name's message: a second start connects, sends the name and takes the first instance only when the same name comes back, within
// 200 ms, so a hung first instance is skipped. A "show" request makes the first instance raise
// its window through the handler its main window installs.
//
// Used from the main thread only. The state (the held lock, the listening socket, the show
// handler) is process-wide, as the guard itself is.
#include "platform/LastError.h"
#include "platform/Types.h"

#include <functional>
#include <optional>

namespace fk::SingleInstance {

// Time a second start waits for the first instance's answer.
constexpr int AnswerTimeoutMs = 200;

// The last error when another instance holds the guard (the platform's "already exists").
constexpr DWORD ErrorOtherInstance = ERROR_ALREADY_EXISTS;

// The first instance as GetWindow finds it: the socket that answered.
struct TInstanceWindow {
    String SocketPath;
    String Name;
};

// True when another holder of the guard with this name exists (its lock file is locked).
bool InstanceExists(const String& name);
// The instance that answers the name's message within AnswerTimeoutMs, if any.
std::optional<TInstanceWindow> GetWindow(const String& name);
// Asks that instance to bring its window to the foreground (restoring it when minimised).
// False when it could not be asked.
bool ShowWindow(const std::optional<TInstanceWindow>& window);

// The guard is on: this process holds the lock.
bool GetState();
// On: take the lock (true when held already or taken; false with ErrorOtherInstance when
// another process holds it, or another error when the lock file cannot be made) and answer
// the name's message. Off: let go of both; always true.
bool SetState(bool on, const String& name);
// Why the last SetState(true) could not take the guard for a reason of this machine (the
// runtime folder is another user's, not a folder, not writable; the lock file cannot be
// opened), or took it without its socket (the name is taken: a second start cannot reach
// this one), for telling the user; empty when it was taken whole or another instance holds it.
const String& GuardProblem();

// The descriptor to watch for readability while the guard is on (-1 otherwise); when it is
// readable, call WndProc, which answers the waiting requests. True when it handled any.
int ListenHandle();
bool WndProc();
// Called on a "show" request (the main window raises and activates itself).
void SetShowHandler(std::function<void()> handler);

// Scopes of CreateExclusionName.
enum : unsigned {
    esGlobal = 0,      // the name unchanged
    esSession = 1,     // one per graphical session (desktop)
    esLoginSession = 2,// one per login session
    esUser = 3,        // one per user (and host)
};
// The name limited to a scope; unchanged for unknown scopes or when the scope cannot be told.
String CreateExclusionName(const String& name, unsigned scope);

// The folder of the lock files and sockets ($XDG_RUNTIME_DIR/ferrovan-kest, else
// /tmp/ferrovan-kest-UID), made with mode 0700 when missing; "" when it cannot be made safely,
// with the reason in *problem when given.
String RuntimeFolder(String* problem = nullptr);
// Lock file of a name, and the socket address ("@" + abstract name) of a name.
String LockPath(const String& name);
String SocketPath(const String& name);

} // namespace fk::SingleInstance
