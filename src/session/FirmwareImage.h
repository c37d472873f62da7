#pragma once
// A firmware image file (*.img): a 59-byte head, the payload sent to the device, and the MD5
// digest of everything before it in the last 16 bytes. Multi-byte fields are little-endian.
//
//   offset  length     meaning
//   0       16         our head, part 1 (below); never sent, never compared
//   16      4          device identifier (u32): bytes 0..3 of the device's TDeviceInfo
//   20      39         our head, part 2 (below); never sent, never compared
//   59      size - 75  payload
//   size-16 16         MD5 of bytes 0 .. size - 17
//
// The bytes the device ignores are laid out by Build as: 0..7 Magic, 8..9 LayoutVersion,
// 10..11 HeadSize, 12..15 payload length (u32), 20..58 zero. Load does not rely on them, so
// images from other tools load as well.
//
// Loading leaves a failure code as the thread's last error (the names below):
//   the platform's own code       the file could not be opened or read
//   ErrorNotAnImage (14)          size below 76 bytes or 4 GiB and more, short read, not a
//                                 file, no memory for it
//   ErrorImageTooBig (8)          payload larger than the device's block size x block count
//   ErrorImageMismatch (2023)     identifier differs from the device's
//   ErrorImageDigest (23)         the digest does not match
#include "platform/LastError.h"
#include "platform/Types.h"
#include "protocol/DeviceMessages.h"

#include <cstddef>

namespace fk {

// What a refused image file was found to be. The numbers are the platform's (messages, the
// tests and the diagnostic trace show them); each image check reads back by these names.
inline constexpr DWORD ErrorNotAnImage = ERROR_OUTOFMEMORY;
inline constexpr DWORD ErrorImageTooBig = ERROR_NOT_ENOUGH_MEMORY;
inline constexpr DWORD ErrorImageMismatch = ERROR_FIRMWARE_MISMATCH;
inline constexpr DWORD ErrorImageDigest = ERROR_CRC;

// What a look at an image file found, without holding it.
struct TImageFacts {
    u64 Size = 0;
    u32 Identifier = 0;
    bool DigestMatches = false;
};

class TFirmwareImage {
public:
    static constexpr unsigned HeadSize = 59;
    static constexpr unsigned IdentifierOffset = 16;
    static constexpr unsigned DigestSize = 16;
    static constexpr u64 MinSize = HeadSize + DigestSize + 1; // a payload of at least one byte
    static constexpr u64 SizeLimit = u64(1) << 32;              // files this large are refused
    static constexpr u64 MaxPayload = SizeLimit - 1 - HeadSize - DigestSize;
    static constexpr char Magic[8] = {'F', 'K', '-', 'I', 'M', 'G', '\0', '\0'};
    static constexpr u16 LayoutVersion = 1;

    // Checks a file as Load does, reading it in small chunks: the memory used does not grow
    // with the file. facts holds what was found (Size 0 when the file could not be opened or
    // its size is refused).
    static bool Inspect(const String& fileName, TImageFacts& facts, const TDeviceInfo* info);

    // Reads and checks a file into image. With info, the payload must fit the device's
    // capacity and the identifier must be the device's. True only when every check passed;
    // image keeps what was read even after a failure. A file that fails its checks is refused
    // before its size is taken in memory (see Inspect).
    static bool Load(const String& fileName, TByteString& image, const TDeviceInfo* info);

    // The start-of-transfer check against a description: the identifier (ErrorImageMismatch),
    // then the capacity (ErrorImageTooBig). False with the code as the last error.
    static bool Fits(const TByteString& image, const TDeviceInfo& info);

    // The fields of a held image; 0 / null for anything shorter than MinSize.
    static u32 Identifier(const TByteString& image) noexcept;
    static u32 PayloadLength(const TByteString& image) noexcept;
    static const u8* Payload(const TByteString& image) noexcept;
    // The last 16 bytes are the MD5 of the rest (false for anything shorter than MinSize).
    static bool DigestMatches(const TByteString& image) noexcept;

    // Builds an image of our layout around payload. False with ERROR_INVALID_PARAMETER for an
    // empty or too large payload, ERROR_OUTOFMEMORY without memory; image unchanged then.
    static bool Build(u32 identifier, const u8* payload, std::size_t length, TByteString& image);
};

} // namespace fk
