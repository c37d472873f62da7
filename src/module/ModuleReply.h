#pragma once
// TModuleReply: how a module's reply on the command channel reads, and the small text helpers
// of that channel.
//
// A reply is everything the module sent on one command connection (collected until it closes
// the connection or goes quiet). A trailing NUL byte is dropped before any test. Six bytes
// are a short reply ("APOKKK", "ALCONN", "CONREJ", "KCDISC", "NEWAPN"); seven or more are a
// long reply: a six-byte name ("KCCONF", "APLIST"), a separator byte of any value, and
// comma-separated fields to the end. Anything shorter than six bytes means nothing.
#include "module/ModuleTypes.h"
#include "platform/Types.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace fk {

class TModuleReply {
public:
    // Largest reply kept from one command connection; bytes beyond it are dropped, and a reply
    // that reaches it is complete.
    static constexpr std::size_t SizeLimit = 16384;

    TModuleReply(const u8* data, std::size_t size) noexcept;

    // Length without the dropped NUL.
    std::size_t Size() const noexcept { return size_; }
    // The six-byte short reply `name` (its first six bytes), exactly.
    bool IsShort(std::string_view name) const noexcept;
    // A long reply named by the first six bytes of `name`.
    bool IsLong(std::string_view name) const noexcept;
    // The fields of a long reply (none for anything else).
    std::vector<AnsiString> Fields() const;

    // Appends a received chunk to a reply being collected, up to SizeLimit; true when the
    // reply has reached the limit (complete).
    static bool Collect(TByteString& reply, const u8* chunk, std::size_t size);
    // Exactly the two-byte announcement "IP" a module sends by UDP.
    static bool IsAnnouncement(const u8* data, std::size_t size) noexcept;

    // Stores the fields of a configuration reply into config, field by field (fields that are
    // missing keep their values). changed tells whether Version or Name differ now. True when
    // the reply is a configuration report (it has at least one separator).
    static bool ReadConfig(const std::vector<AnsiString>& fields, TKestConnectConfig& config, bool& changed);
    // The networks of a network-list reply, in reply order; a trailing SSID without a signal
    // is dropped, a signal that is not a number is INT_MIN.
    static std::list<TWLANItem> ReadNetworks(const std::vector<AnsiString>& fields);

    // The comma-separated fields of text; always at least one (possibly empty) field.
    static std::vector<AnsiString> Fields(const u8* text, std::size_t size);
    // A decimal integer with an optional sign filling the whole field, or def.
    static std::int32_t IntDef(const AnsiString& field, std::int32_t def) noexcept;
    // True when text can travel as one field: no comma, CR, LF or NUL.
    static bool FieldSafe(const AnsiString& text) noexcept;

    // A command or a reply as the diagnostic trace may show it: the pass phrase of an
    // access-point command ("NEWAPN,SSID,PASS") and of a configuration reply (its fourth
    // field, as ReadConfig reads it) replaced by "***", whatever their length.
    static AnsiString WithoutPassPhrase(const u8* data, std::size_t size);

private:
    const u8* data_;
    std::size_t size_;
};

} // namespace fk
