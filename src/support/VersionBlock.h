#pragma once
// The executable's version block: a tree of named nodes, each with an optional value, in the
// layout the version queries expect. A node is
//   u16 length (the node with its children, in bytes), u16 value length, u16 type (0 binary,
//   1 text), its key in UTF-16LE ending in a zero character, padding to 4 bytes, the value,
//   padding to 4 bytes, then the child nodes.
// A text value is UTF-16LE with its terminating zero, and its value length counts characters
// (the zero included); a binary value's length counts bytes. All numbers are little-endian.
// The root node "VS_VERSION_INFO" carries the fixed information (version numbers) as its value
// and has the children "StringFileInfo" (string tables named by translation, e.g. "040904E4")
// and "VarFileInfo" (the value "Translation": 32-bit language / code-page pairs).
#include "platform/Types.h"

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace fk {

// The fixed information record: 13 little-endian 32-bit words, 52 bytes.
struct TFixedFileInfo {
    static constexpr u32 SignatureValue = 0xFEEF04BD;
    static constexpr unsigned Size = 52;

    u32 Signature = SignatureValue;
    u32 StrucVersion = 0x00010000;
    u32 FileVersionMS = 0; // major << 16 | minor
    u32 FileVersionLS = 0; // release << 16 | build
    u32 ProductVersionMS = 0;
    u32 ProductVersionLS = 0;
    u32 FileFlagsMask = 0x3F;
    u32 FileFlags = 0;
    u32 FileOS = 0;
    u32 FileType = 1; // an application
    u32 FileSubtype = 0;
    u32 FileDateMS = 0;
    u32 FileDateLS = 0;

    TByteString Bytes() const;
    // False when fewer than Size bytes are given or the signature is wrong.
    static bool Parse(const u8* data, unsigned length, TFixedFileInfo& out);
};

// One string table of the block: its translation name ("040904E4") and name/value pairs.
struct TVersionStringTable {
    String Translation;
    std::vector<std::pair<String, String>> Strings;
};

class TVersionBlock {
public:
    // What a query finds: a pointer into the block and the value's length (bytes for binary
    // values, characters with the terminating zero for text values).
    struct TValue {
        const u8* Data = nullptr;
        unsigned Length = 0;
        bool Text = false;
    };

    // Lays out a whole block. Keys and values are UTF-8 here and stored as UTF-16LE.
    static TByteString Build(const TFixedFileInfo& fixed, const std::vector<u32>& translations,
                             const std::vector<TVersionStringTable>& tables);

    // Looks up a sub-block: "\" is the root's value, "\VarFileInfo\Translation" and
    // "\StringFileInfo\040904E4\ProductName" walk the children (keys compared without regard to
    // ASCII case). Nothing is read outside block; a damaged node ends the search with no result.
    static std::optional<TValue> Query(const TByteString& block, std::string_view subBlock);

    // A text value as UTF-8, without its terminating zero.
    static String TextOf(const TValue& value);
};

} // namespace fk
