#pragma once
// USB serial adapters that brltty (the braille display service) has taken: brltty claims the
// generic USB-serial bridges (CH340/CH341, CP210x, FT232R) as possible braille displays, and
// the adapter's serial port disappears a moment after it appeared. Such an adapter is still
// in the device tree, without a tty; it is reported only while a brltty process runs.
#include "platform/Types.h"
#include "ports/CommEnumerator.h"

#include <vector>

namespace fk {

struct TTakenAdapter {
    String UsbPath;   // its place on the USB tree, e.g. 1-1.4
    u16 VendorId = 0;
    u16 ProductId = 0;
    String Product;   // the bridge's product string, else its chip ("CH340")
};

class TTakenAdapters {
public:
    // The known bridges without a serial port below paths.SysRoot, when a process named
    // brltty runs below procRoot; none otherwise.
    static std::vector<TTakenAdapter> Find(const TCommEnumerator::TDiscoveryPaths& paths,
                                           const String& procRoot = "/proc");
    // The chip of a known USB-serial bridge ("CH340"); empty for any other device.
    static String BridgeChip(u16 vendorId, u16 productId) noexcept;
};

} // namespace fk
