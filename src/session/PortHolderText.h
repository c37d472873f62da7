#pragma once
// What the user is told about the holder of a busy port: who it is and, for the holders we
// know, what to do about it. Each text has a language key and a built-in English text; "%s"
// stands for a name, "%d" for a process id.
#include "platform/Types.h"
#include "ports/PortHolder.h"

#include <functional>

namespace fk {

class TPortHolderText {
public:
    // A language's text of a key; empty: the English text is used.
    using TLookup = std::function<String(const String& key)>;

    // The hint for a holder; empty when nobody was found.
    static String Hint(const TPortHolderReport& holder, const TLookup& lookup = {});
    // brltty took a known USB serial adapter (named by product) so that it has no port.
    static String BrlttyTookAdapter(const String& adapter, const TLookup& lookup = {});

    // Other programs that have the port open and may take the replies: the long text (tool,
    // tool tip) and the short one (the window's status); empty for none.
    static String AlsoOpen(const std::vector<TFileHolder>& others, const TLookup& lookup = {});
    static String AlsoOpenShort(const std::vector<TFileHolder>& others, const TLookup& lookup = {});
    static constexpr const char* AlsoOpenKey = "inf_holder-also-open";
    static constexpr const char* AlsoOpenShortKey = "sta_holder-also-open";
    static constexpr const char* OthersKey = "inf_holder-others";

    // ModemManager wrote modem commands into the port we held (bytes dropped).
    static String ModemManagerTouched(u32 bytes, const TLookup& lookup = {});

    // The key and English text of a culprit (pcNone: empty).
    static const char* Key(TPortCulprit culprit) noexcept;
    static const char* DefaultText(TPortCulprit culprit) noexcept;
    static constexpr const char* BrlttyTakenKey = "inf_holder-brltty-taken";
    static const char* BrlttyTakenText() noexcept;
    static constexpr const char* ModemManagerTouchedKey = "inf_holder-mm-touched";
    static const char* ModemManagerTouchedText() noexcept;
};

} // namespace fk
