#include "session/PortHolderText.h"

namespace fk {

namespace {

String Fill(String text, const String& name, int pid)
{
    for (auto pos = text.find("%s"); pos != String::npos; pos = text.find("%s", pos + name.size()))
        text.replace(pos, 2, name);
    const String id = std::to_string(pid);
    for (auto pos = text.find("%d"); pos != String::npos; pos = text.find("%d", pos + id.size()))
        text.replace(pos, 2, id);
    return text;
}

String Text(const char* key, const char* english, const TPortHolderText::TLookup& lookup)
{
    String text = lookup ? lookup(key) : String();
    return text.empty() ? String(english) : text;
}

} // namespace

const char* TPortHolderText::Key(TPortCulprit culprit) noexcept
{
    switch (culprit) {
    case pcProcess: return "inf_holder-process";
    case pcOtherUser: return "inf_holder-other-user";
    case pcModemManager: return "inf_holder-modemmanager";
    case pcBrltty: return "inf_holder-brltty";
    case pcConfigurator: return "inf_holder-configurator";
    case pcTool: return "inf_holder-tool";
    case pcLikelyModemManager: return "inf_holder-likely-modemmanager";
    case pcLikelyBrltty: return "inf_holder-likely-brltty";
    default: return "";
    }
}

const char* TPortHolderText::DefaultText(TPortCulprit culprit) noexcept
{
    switch (culprit) {
    case pcProcess: return "The port is held by %s (process %d).";
    case pcOtherUser: return "The port is held by another user's program.";
    case pcModemManager:
        return "ModemManager (process %d) is probing the port to see whether it is a modem; it lets go within "
               "half a minute. To keep it off this adapter for good, add a udev rule that sets "
               "ENV{ID_MM_DEVICE_IGNORE}=\"1\" for it.";
    case pcBrltty:
        return "brltty (process %d), the braille display service, holds the port. Remove the brltty package, "
               "or mask its udev rules and its service.";
    case pcConfigurator:
        return "The port is held by the Ferrovan-Kest configurator (process %d), in another window or session. "
               "Disconnect there first.";
    case pcTool:
        return "The port is held by the ferrovan command-line tool (process %d). Wait for it to end, or stop it.";
    case pcLikelyModemManager:
        return "The port is held by a program of another user, most likely ModemManager (process %d), which probes "
               "new ports to see whether they are modems and lets go within half a minute. To keep it off this "
               "adapter for good, add a udev rule that sets ENV{ID_MM_DEVICE_IGNORE}=\"1\" for it.";
    case pcLikelyBrltty:
        return "The port is held by a program of another user, most likely brltty (process %d), the braille display "
               "service. Remove the brltty package, or mask its udev rules and its service.";
    default: return "";
    }
}

const char* TPortHolderText::BrlttyTakenText() noexcept
{
    return "brltty, the braille display service, has taken this USB serial adapter (%s), so it has no port. "
           "Remove the brltty package, or mask its udev rules and its service.";
}

const char* TPortHolderText::ModemManagerTouchedText() noexcept
{
    return "ModemManager wrote modem commands into this port while it was in use here (%d bytes were "
           "dropped). Add a udev rule that sets ENV{ID_MM_DEVICE_IGNORE}=\"1\" for this adapter.";
}

String TPortHolderText::ModemManagerTouched(u32 bytes, const TLookup& lookup)
{
    return Fill(Text(ModemManagerTouchedKey, ModemManagerTouchedText(), lookup), String(), int(bytes));
}

// "cat (process 4711), minicom (process 12)".
static String Processes(const std::vector<TFileHolder>& list, const TPortHolderText::TLookup& lookup)
{
    String text;
    for (const TFileHolder& h : list)
        text += (text.empty() ? "" : ", ") + Fill(Text("inf_holder-process-id", "%s (process %d)", lookup), h.Name, h.Pid);
    return text;
}

String TPortHolderText::Hint(const TPortHolderReport& holder, const TLookup& lookup)
{
    if (holder.Culprit == pcNone)
        return {};
    String text = Fill(Text(Key(holder.Culprit), DefaultText(holder.Culprit), lookup), holder.Name, holder.Pid);
    if (!holder.Others.empty())
        text += " " + Fill(Text(OthersKey, "It is also open in %s.", lookup), Processes(holder.Others, lookup), 0);
    return text;
}

String TPortHolderText::AlsoOpen(const std::vector<TFileHolder>& others, const TLookup& lookup)
{
    if (others.empty())
        return {};
    return Fill(Text(AlsoOpenKey, "%s also has this port open and may be taking the replies.", lookup),
                Processes(others, lookup), 0);
}

String TPortHolderText::AlsoOpenShort(const std::vector<TFileHolder>& others, const TLookup& lookup)
{
    if (others.empty())
        return {};
    return Fill(Text(AlsoOpenShortKey, "%s also has the port open", lookup), Processes(others, lookup), 0);
}

String TPortHolderText::BrlttyTookAdapter(const String& adapter, const TLookup& lookup)
{
    return Fill(Text(BrlttyTakenKey, BrlttyTakenText(), lookup), adapter, 0);
}

} // namespace fk
