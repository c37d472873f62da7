#pragma once
// What a simulated wireless module is and how it misbehaves: a plain record, filled with the
// defaults below, changed by tests directly and by `ferrovan-sim module` from its options.
#include "platform/Types.h"

#include <string>
#include <utility>
#include <vector>

namespace fk {

struct TSimModuleOptions {
    // Where the module lives and whom it talks to.
    std::string Address = "127.0.0.2";           // its own address (loopback only)
    std::string ConfiguratorAddress = "127.0.0.1"; // where announcements and device data go
    u16 TCPPort = 90;                            // its command port
    u16 UDPPort = 13873;                         // its own UDP port and the configurator's
    unsigned AnnounceIntervalMs = 1000;          // "IP" every this many ms

    // What it reports.
    std::string Name = "KC-SIM";
    std::string Version = "1.0.0";
    std::string SSID = "Workshop";
    std::string Password = "secret";
    std::string APAddress = "0.0.0.0";           // its address on the access point's network
    bool Joined = false;
    std::vector<std::pair<std::string, int>> Networks = {{"Workshop", -48}, {"Office", -71}};

    // Faults.
    bool RefuseLink = false;       // answer "CONREJ" to the link command
    bool NoAnnounce = false;       // never announce
    bool IgnoreDisconnect = false; // never echo the close command
    bool Mute = false;             // take commands and never answer
    bool AnswerAlconn = false;     // answer "ALCONN" to the link command instead of its echo
    bool TrailingNul = false;      // end every reply with a NUL byte
};

} // namespace fk
