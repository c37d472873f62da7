#include "support/VersionBlock.h"

#include <QString>
#include <cstring>

namespace fk {

namespace {

constexpr unsigned NodeHeaderSize = 6;

void PutU16(TByteString& out, u16 v)
{
    out.push_back(static_cast<u8>(v));
    out.push_back(static_cast<u8>(v >> 8));
}

void PutU32(TByteString& out, u32 v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<u8>(v >> (8 * i)));
}

u16 GetU16(const u8* p) { return static_cast<u16>(p[0] | (p[1] << 8)); }
u32 GetU32(const u8* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<u32>(p[3]) << 24); }

void Align4(TByteString& out)
{
    while (out.size() % 4)
        out.push_back(0);
}

void PutText(TByteString& out, const String& utf8)
{
    const QString s = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    for (QChar c : s)
        PutU16(out, c.unicode());
    PutU16(out, 0);
}

// A node in the making: children are appended between Open and Close, which fills in the length.
struct TNodeWriter {
    TByteString& out;
    std::size_t start;

    TNodeWriter(TByteString& o, const String& key, const TByteString& value, bool text, u16 valueLength)
        : out(o), start(o.size())
    {
        PutU16(out, 0); // length, filled in by Close
        PutU16(out, valueLength);
        PutU16(out, text ? 1 : 0);
        PutText(out, key);
        Align4(out);
        out.insert(out.end(), value.begin(), value.end());
        Align4(out);
    }
    void Close()
    {
        const std::size_t length = out.size() - start;
        out[start] = static_cast<u8>(length);
        out[start + 1] = static_cast<u8>(length >> 8);
    }
};

void PutStringNode(TByteString& out, const String& name, const String& value)
{
    TByteString text;
    PutText(text, value);
    TNodeWriter node(out, name, text, true, static_cast<u16>(text.size() / 2));
    node.Close();
}

bool KeyEquals(const u8* key, unsigned maxChars, std::string_view name)
{
    // ASCII keys only need to match; other characters must match exactly.
    unsigned i = 0;
    for (; i < name.size(); ++i) {
        if (i >= maxChars)
            return false;
        const u16 c = GetU16(key + 2 * i);
        auto lower = [](u16 ch) -> u16 { return (ch >= 'A' && ch <= 'Z') ? static_cast<u16>(ch + 32) : ch; };
        if (lower(c) != lower(static_cast<u8>(name[i])))
            return false;
    }
    return i < maxChars && GetU16(key + 2 * i) == 0;
}

// A parsed node header within [begin, end).
struct TNode {
    const u8* begin = nullptr;
    unsigned length = 0;
    unsigned valueLength = 0;
    bool text = false;
    const u8* key = nullptr;
    unsigned keyChars = 0; // characters available for the key, up to the zero
    const u8* value = nullptr;
    unsigned valueBytes = 0;
    const u8* children = nullptr;
};

std::size_t AlignUp(std::size_t n) { return (n + 3) & ~std::size_t(3); }

std::optional<TNode> ReadNode(const u8* base, const u8* p, const u8* end)
{
    if (end - p < static_cast<std::ptrdiff_t>(NodeHeaderSize))
        return std::nullopt;
    TNode n;
    n.begin = p;
    n.length = GetU16(p);
    n.valueLength = GetU16(p + 2);
    n.text = GetU16(p + 4) == 1;
    if (n.length < NodeHeaderSize + 2 || n.length > static_cast<std::size_t>(end - p))
        return std::nullopt;
    const u8* nodeEnd = p + n.length;
    n.key = p + NodeHeaderSize;
    const u8* k = n.key;
    while (k + 2 <= nodeEnd && GetU16(k) != 0)
        k += 2;
    if (k + 2 > nodeEnd)
        return std::nullopt; // key without its zero
    n.keyChars = static_cast<unsigned>((k - n.key) / 2) + 1;
    const std::size_t valueOffset = AlignUp(static_cast<std::size_t>(k + 2 - base));
    n.valueBytes = n.text ? n.valueLength * 2 : n.valueLength;
    if (valueOffset + n.valueBytes > static_cast<std::size_t>(nodeEnd - base))
        return std::nullopt;
    n.value = base + valueOffset;
    const std::size_t childOffset = AlignUp(valueOffset + n.valueBytes);
    n.children = base + std::min(childOffset, static_cast<std::size_t>(nodeEnd - base));
    return n;
}

} // namespace

TByteString TFixedFileInfo::Bytes() const
{
    TByteString out;
    for (u32 v : { Signature, StrucVersion, FileVersionMS, FileVersionLS, ProductVersionMS, ProductVersionLS,
                   FileFlagsMask, FileFlags, FileOS, FileType, FileSubtype, FileDateMS, FileDateLS })
        PutU32(out, v);
    return out;
}

bool TFixedFileInfo::Parse(const u8* data, unsigned length, TFixedFileInfo& out)
{
    if (!data || length < Size || GetU32(data) != SignatureValue)
        return false;
    u32* fields[] = { &out.Signature, &out.StrucVersion, &out.FileVersionMS, &out.FileVersionLS,
                      &out.ProductVersionMS, &out.ProductVersionLS, &out.FileFlagsMask, &out.FileFlags,
                      &out.FileOS, &out.FileType, &out.FileSubtype, &out.FileDateMS, &out.FileDateLS };
    for (unsigned i = 0; i < 13; ++i)
        *fields[i] = GetU32(data + 4 * i);
    return true;
}

TByteString TVersionBlock::Build(const TFixedFileInfo& fixed, const std::vector<u32>& translations,
                                 const std::vector<TVersionStringTable>& tables)
{
    TByteString out;
    const TByteString fixedBytes = fixed.Bytes();
    TNodeWriter root(out, "VS_VERSION_INFO", fixedBytes, false, static_cast<u16>(fixedBytes.size()));
    {
        TNodeWriter sfi(out, "StringFileInfo", {}, true, 0);
        for (const auto& table : tables) {
            TNodeWriter t(out, table.Translation, {}, true, 0);
            for (const auto& [name, value] : table.Strings)
                PutStringNode(out, name, value);
            t.Close();
        }
        sfi.Close();
    }
    {
        TNodeWriter vfi(out, "VarFileInfo", {}, true, 0);
        TByteString list;
        for (u32 t : translations)
            PutU32(list, t);
        TNodeWriter var(out, "Translation", list, false, static_cast<u16>(list.size()));
        var.Close();
        vfi.Close();
    }
    root.Close();
    return out;
}

std::optional<TVersionBlock::TValue> TVersionBlock::Query(const TByteString& block, std::string_view subBlock)
{
    const u8* base = block.data();
    const u8* end = base + block.size();
    auto root = ReadNode(base, base, end);
    if (!root)
        return std::nullopt;
    TNode node = *root;
    std::size_t pos = 0;
    while (pos < subBlock.size()) {
        while (pos < subBlock.size() && subBlock[pos] == '\\')
            ++pos;
        if (pos >= subBlock.size())
            break;
        const std::size_t next = subBlock.find('\\', pos);
        const std::string_view name = subBlock.substr(pos, next == std::string_view::npos ? std::string_view::npos : next - pos);
        pos = next == std::string_view::npos ? subBlock.size() : next;
        const u8* nodeEnd = node.begin + node.length;
        const u8* child = node.children;
        std::optional<TNode> found;
        while (child < nodeEnd) {
            auto c = ReadNode(base, child, nodeEnd);
            if (!c)
                return std::nullopt;
            if (KeyEquals(c->key, c->keyChars, name)) {
                found = c;
                break;
            }
            child = base + AlignUp(static_cast<std::size_t>(c->begin + c->length - base));
        }
        if (!found)
            return std::nullopt;
        node = *found;
    }
    return TValue{ node.value, node.valueLength, node.text };
}

String TVersionBlock::TextOf(const TValue& value)
{
    if (!value.Text || !value.Data)
        return {};
    QString s;
    for (unsigned i = 0; i < value.Length; ++i) {
        const u16 c = GetU16(value.Data + 2 * i);
        if (c == 0)
            break;
        s.append(QChar(c));
    }
    return s.toStdString();
}

} // namespace fk
