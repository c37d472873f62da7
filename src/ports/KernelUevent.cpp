#include "ports/KernelUevent.h"

#include "platform/LastError.h"

#include <charconv>
#include <cstring>

namespace fk {

namespace {

bool Fail()
{
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
}

} // namespace

bool TKernelUevent::Parse(const void* data, std::size_t size, TKernelUevent& out)
{
    if (!data || size == 0 || size > MaxSize)
        return Fail();
    const char* p = static_cast<const char*>(data);
    const char* end = p + size;
    // Every field, the head included, ends in a NUL inside the message.
    if (end[-1] != '\0')
        return Fail();

    const std::size_t headLen = std::strlen(p);
    const String head(p, headLen);
    const auto at = head.find('@');
    if (at == String::npos || at == 0 || at + 1 == head.size())
        return Fail(); // also rejects udev's "libudev" messages
    TKernelUevent ev;
    const String headAction = head.substr(0, at);
    const String headPath = head.substr(at + 1);

    for (p += headLen + 1; p < end; p += std::strlen(p) + 1) {
        const String field(p);
        const auto eq = field.find('=');
        if (eq == String::npos || eq == 0)
            return Fail();
        ev.Properties[field.substr(0, eq)] = field.substr(eq + 1);
    }

    const auto get = [&ev](const char* key) {
        const auto it = ev.Properties.find(key);
        return it == ev.Properties.end() ? String() : it->second;
    };
    ev.Action = get("ACTION");
    ev.DevPath = get("DEVPATH");
    ev.Subsystem = get("SUBSYSTEM");
    ev.DevName = get("DEVNAME");
    if (ev.Action != headAction || ev.DevPath != headPath || ev.Subsystem.empty() || ev.DevPath[0] != '/')
        return Fail();
    if (const String seq = get("SEQNUM"); !seq.empty()) {
        auto [last, ec] = std::from_chars(seq.data(), seq.data() + seq.size(), ev.SeqNum);
        if (ec != std::errc() || last != seq.data() + seq.size())
            return Fail();
    }
    out = std::move(ev);
    SetLastError(ERROR_SUCCESS);
    return true;
}

} // namespace fk
