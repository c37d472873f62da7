// Fuzzes what a module sends: the UDP announcement test and a command reply collected from
// chunks and read as the link reads it (short replies, configuration, network list).
// Input: one byte that cuts the rest into chunks (chunk sizes 1 + (byte >> k) % 17, cycling
// k), then the bytes the module sent on one command connection.
// Rules: the collected reply is the sent bytes up to the size limit, whatever the chunks;
// the classification agrees with the reply's length; fields and networks never outnumber the
// bytes they come from; a configuration or network list read, printed as a module prints it
// and read again gives the same values.
#include "module/ModuleReply.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using fk::AnsiString;
using fk::TKestConnectConfig;
using fk::TModuleReply;
using fk::TWLANItem;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

AnsiString ConfigText(const TKestConnectConfig& c)
{
    return "KCCONF," + c.Version + "," + c.Name + "," + c.AccessPoint.SSID + "," + c.AccessPoint.Password + ","
        + c.AccessPoint.IP + "," + (c.APConnected ? "1" : "0") + "," + (c.Flag2 ? "1" : "0") + ","
        + std::to_string(c.Value7);
}

AnsiString NetworkListText(const std::list<TWLANItem>& networks)
{
    AnsiString text = "APLIST";
    for (const TWLANItem& n : networks)
        text += "," + n.SSID + "," + std::to_string(n.Signal);
    if (networks.empty())
        text += ",";
    return text;
}

bool SameConfig(const TKestConnectConfig& a, const TKestConnectConfig& b)
{
    return a.Version == b.Version && a.Name == b.Name && a.AccessPoint.SSID == b.AccessPoint.SSID
        && a.AccessPoint.Password == b.AccessPoint.Password && a.AccessPoint.IP == b.AccessPoint.IP
        && a.APConnected == b.APConnected && a.Flag2 == b.Flag2 && a.Value7 == b.Value7;
}

std::vector<AnsiString> FieldsOf(const AnsiString& text)
{
    const TModuleReply reply(reinterpret_cast<const fk::u8*>(text.data()), text.size());
    return reply.Fields();
}

void CheckReply(const fk::TByteString& bytes)
{
    const TModuleReply reply(bytes.data(), bytes.size());
    Check(reply.Size() <= bytes.size() && reply.Size() + 1 >= bytes.size());
    for (const char* name : {"APOKKK", "ALCONN", "CONREJ", "KCDISC", "NEWAPN"})
        Check(!reply.IsShort(name) || (reply.Size() == 6 && std::memcmp(bytes.data(), name, 6) == 0));
    const bool config = reply.IsLong("KCCONF");
    const bool list = reply.IsLong("APLIST");
    Check(!(config || list) || reply.Size() >= 7);
    const std::vector<AnsiString> fields = reply.Fields();
    Check(reply.Size() < 7 ? fields.empty() : fields.size() <= reply.Size() - 6);
    std::size_t chars = 0;
    for (const AnsiString& f : fields)
        chars += f.size() + 1;
    Check(chars <= reply.Size());

    TKestConnectConfig read;
    bool changed = false;
    const bool report = TModuleReply::ReadConfig(fields, read, changed);
    Check(report == (fields.size() >= 2));
    TKestConnectConfig again;
    Check(TModuleReply::ReadConfig(FieldsOf(ConfigText(read)), again, changed));
    Check(SameConfig(read, again));
    Check(TModuleReply::ReadConfig(FieldsOf(ConfigText(read)), again, changed) && !changed);

    const std::list<TWLANItem> networks = TModuleReply::ReadNetworks(fields);
    Check(networks.size() <= fields.size() / 2);
    const std::list<TWLANItem> back = TModuleReply::ReadNetworks(FieldsOf(NetworkListText(networks)));
    Check(back.size() == networks.size());
    for (auto a = networks.begin(), b = back.begin(); a != networks.end(); ++a, ++b)
        Check(a->SSID == b->SSID && a->Signal == b->Signal);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::uint8_t pattern = data[0];
    const std::uint8_t* sent = data + 1;
    const std::size_t total = size - 1;

    Check(TModuleReply::IsAnnouncement(sent, total) == (total == 2 && sent[0] == 'I' && sent[1] == 'P'));

    fk::TByteString reply;
    bool complete = false;
    std::size_t at = 0;
    for (unsigned k = 0; at < total && !complete; k = (k + 1) % 8) {
        const std::size_t chunk = std::min<std::size_t>(total - at, 1 + (pattern >> k) % 17 * (k + 1));
        complete = TModuleReply::Collect(reply, sent + at, chunk);
        Check(reply.size() <= TModuleReply::SizeLimit);
        at += chunk;
    }
    const std::size_t kept = std::min(total, TModuleReply::SizeLimit);
    Check(reply.size() == kept && (kept == 0 || std::memcmp(reply.data(), sent, kept) == 0));
    Check(complete == (total >= TModuleReply::SizeLimit));
    CheckReply(reply);
    return 0;
}
