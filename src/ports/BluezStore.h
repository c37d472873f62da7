#pragma once
// The names of known Bluetooth devices as BlueZ keeps them in its storage folder
// (/var/lib/bluetooth/<adapter>/<device>/info, and the cache of devices seen but not
// paired). The folder is usually readable by root only; without access there are simply
// no names.
#include "platform/Types.h"

#include <utility>
#include <vector>

namespace fk {

class TBluezStore {
public:
    explicit TBluezStore(const String& root = "/var/lib/bluetooth");

    // Every device with a name, each address once: paired devices first, then the cache,
    // per adapter in folder-name order. The user's alias wins over the device's own name.
    std::vector<std::pair<u64, String>> Devices() const;

    // "AA:BB:CC:DD:EE:FF" (either case) as a 48-bit number; false for anything else.
    static bool ParseAddress(const String& text, u64& address);

private:
    String root_;
};

} // namespace fk
