#pragma once
// TPortHolder: who keeps a serial port busy, for telling the user. The holder is the process
// that has the device open (TFileHolders), else the running process named in the port's
// "LCK.." lock file; a holder that cannot be seen is "another user's program". The lock
// holder that /proc/locks names (whoever it runs as) comes first; a lock file whose process
// does not hold the port (its id was reused) names nobody. Some holders
// are known by name, each with its own advice: ModemManager probing a new port, brltty taking
// an adapter for a braille display, and this program's own window or tool.
#include "platform/Types.h"
#include "ports/FileHolders.h"

#include <vector>

namespace fk {

enum TPortCulprit : int {
    pcNone = 0,         // nobody found
    pcProcess,          // a process, named
    pcOtherUser,        // a holder we may not see
    pcModemManager,     // ModemManager probing the port
    pcBrltty,           // the braille display service
    pcConfigurator,     // ferrovan-kest, in another window or session
    pcTool,             // ferrovan, the command-line tool
    pcLikelyModemManager, // not seen, but ModemManager runs (as root) and is the likely holder
    pcLikelyBrltty,       // not seen, but brltty runs and is the likely holder
};

struct TPortHolderReport {
    TPortCulprit Culprit = pcNone;
    int Pid = 0;
    String Name;
    // Further processes that have the port open (after the holder), named with their ids.
    std::vector<TFileHolder> Others;
};

class TPortHolder {
public:
    // Looks for the holder of devicePath through procRoot (normally /proc) and the lock
    // folder (empty: no lock file is read).
    static TPortHolderReport Find(const String& devicePath, const String& procRoot = "/proc",
                                  const String& lockDirectory = String());
    // The culprit a process of that command name is.
    static TPortCulprit Classify(const String& processName);
    // The processes other than this one that have the device open (a terminal program or
    // `cat` reading it without a lock takes the replies meant for us).
    static std::vector<TFileHolder> OtherOpeners(const String& devicePath, const String& procRoot = "/proc");
};

} // namespace fk
