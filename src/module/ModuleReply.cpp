#include "module/ModuleReply.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace fk {

namespace {

constexpr std::size_t NameSize = 6;

} // namespace

TModuleReply::TModuleReply(const u8* data, std::size_t size) noexcept
    : data_(data)
    , size_(data && size > 0 ? (data[size - 1] == 0 ? size - 1 : size) : 0)
{
}

bool TModuleReply::IsShort(std::string_view name) const noexcept
{
    return size_ == NameSize && name.size() >= NameSize && std::memcmp(data_, name.data(), NameSize) == 0;
}

bool TModuleReply::IsLong(std::string_view name) const noexcept
{
    return size_ > NameSize && name.size() >= NameSize && std::memcmp(data_, name.data(), NameSize) == 0;
}

std::vector<AnsiString> TModuleReply::Fields() const
{
    if (size_ <= NameSize)
        return {};
    return Fields(data_ + NameSize + 1, size_ - NameSize - 1);
}

bool TModuleReply::Collect(TByteString& reply, const u8* chunk, std::size_t size)
{
    const std::size_t room = reply.size() < SizeLimit ? SizeLimit - reply.size() : 0;
    const std::size_t taken = std::min(room, size);
    if (chunk && taken > 0)
        reply.insert(reply.end(), chunk, chunk + taken);
    return reply.size() >= SizeLimit;
}

bool TModuleReply::IsAnnouncement(const u8* data, std::size_t size) noexcept
{
    return size == 2 && data[0] == 'I' && data[1] == 'P';
}

bool TModuleReply::ReadConfig(const std::vector<AnsiString>& fields, TKestConnectConfig& config, bool& changed)
{
    changed = false;
    const std::size_t count = std::min<std::size_t>(fields.size(), 8);
    for (std::size_t i = 0; i < count; ++i) {
        const AnsiString& f = fields[i];
        switch (i) {
        case 0:
            changed = changed || config.Version != f;
            config.Version = f;
            break;
        case 1:
            changed = changed || config.Name != f;
            config.Name = f;
            break;
        case 2: config.AccessPoint.SSID = f; break;
        case 3: config.AccessPoint.Password = f; break;
        case 4: config.AccessPoint.IP = f; break;
        case 5: config.APConnected = IntDef(f, 0) != 0; break;
        case 6: config.Flag2 = IntDef(f, 0) != 0; break;
        case 7: config.Value7 = IntDef(f, 0); break;
        }
    }
    return fields.size() >= 2;
}

std::list<TWLANItem> TModuleReply::ReadNetworks(const std::vector<AnsiString>& fields)
{
    std::list<TWLANItem> networks;
    for (std::size_t i = 0; i + 1 < fields.size(); i += 2)
        networks.emplace_back(fields[i], IntDef(fields[i + 1], INT_MIN));
    return networks;
}

std::vector<AnsiString> TModuleReply::Fields(const u8* text, std::size_t size)
{
    std::vector<AnsiString> fields(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (text[i] == ',')
            fields.emplace_back();
        else
            fields.back().push_back(char(text[i]));
    }
    return fields;
}

std::int32_t TModuleReply::IntDef(const AnsiString& field, std::int32_t def) noexcept
{
    const char* first = field.data();
    const char* last = first + field.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-')
            return def;
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value, 10);
    if (error != std::errc() || end != last || first == last)
        return def;
    return value;
}

bool TModuleReply::FieldSafe(const AnsiString& text) noexcept
{
    return text.find_first_of(std::string_view(",\r\n\0", 4)) == AnsiString::npos;
}

AnsiString TModuleReply::WithoutPassPhrase(const u8* data, std::size_t size)
{
    AnsiString text(reinterpret_cast<const char*>(data), data ? size : 0);
    constexpr std::string_view hidden = "***";
    if (text.rfind("NEWAPN,", 0) == 0) {
        // Everything behind the SSID but the closing CR; without a second comma, everything
        // behind the first one.
        std::size_t from = text.find(',', NameSize + 1);
        from = from == AnsiString::npos ? NameSize + 1 : from + 1;
        const bool cr = text.size() > from && text.back() == '\r';
        text.replace(from, text.size() - from - (cr ? 1 : 0), hidden);
        return text;
    }
    const TModuleReply reply(data, size);
    if (!reply.IsLong("KCCONF"))
        return text;
    std::size_t from = NameSize + 1;
    for (int field = 0; field < 3; ++field) {
        const std::size_t comma = text.find(',', from);
        if (comma == AnsiString::npos || comma >= reply.Size())
            return text; // no pass-phrase field
        from = comma + 1;
    }
    std::size_t end = text.find(',', from);
    if (end == AnsiString::npos || end > reply.Size())
        end = reply.Size();
    text.replace(from, end - from, hidden);
    return text;
}

} // namespace fk
