// Fuzzes the firmware image loader on files of any content, against a device description.
// Input: 9 bytes of device description (bit 0 of byte 0: check against it; bytes 1..4
// identifier, 5..6 block size, 7..8 block count, little-endian), then the file's content.
// Rules: a file loads only when its size, digest, identifier and the device's capacity allow
// it, and then the loaded fields agree with the file; a failure names its cause; an image
// built around the loaded payload loads again with the same identifier and payload.
#include "platform/LastError.h"
#include "session/FirmwareImage.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using fk::TByteString;
using fk::TFirmwareImage;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// The content as a file (in memory), loaded the way the program loads a file.
bool LoadBytes(const std::uint8_t* data, std::size_t size, TByteString& image, const fk::TDeviceInfo* info)
{
    const int fd = ::memfd_create("image", MFD_CLOEXEC);
    Check(fd >= 0);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        Check(n > 0);
        done += std::size_t(n);
    }
    const bool loaded = TFirmwareImage::Load("/proc/self/fd/" + std::to_string(fd), image, info);
    const fk::DWORD error = fk::GetLastError();
    ::close(fd);
    fk::SetLastError(error);
    return loaded;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 9 || size > (1u << 20))
        return 0;
    fk::TDeviceInfo device{};
    std::memcpy(&device.Bytes[0], data + 1, 4);
    std::memcpy(&device.Bytes[49], data + 5, 4);
    const fk::TDeviceInfo* info = (data[0] & 1) ? &device : nullptr;
    const std::uint8_t* file = data + 9;
    const std::size_t fileSize = size - 9;

    TByteString image;
    const bool loaded = LoadBytes(file, fileSize, image, info);
    const fk::DWORD error = fk::GetLastError();
    if (loaded) {
        Check(error == fk::ERROR_SUCCESS);
        Check(image.size() == fileSize && std::memcmp(image.data(), file, fileSize) == 0);
        Check(fileSize >= TFirmwareImage::MinSize && TFirmwareImage::DigestMatches(image));
        Check(TFirmwareImage::PayloadLength(image) == fileSize - TFirmwareImage::HeadSize - TFirmwareImage::DigestSize);
        Check(TFirmwareImage::Payload(image) == image.data() + TFirmwareImage::HeadSize);
        if (info) {
            Check(TFirmwareImage::Identifier(image) == device.Identifier());
            Check(TFirmwareImage::PayloadLength(image) <= device.Capacity());
            Check(TFirmwareImage::Fits(image, device));
        }
        // Built again around what was loaded: the same identifier and payload come back.
        TByteString rebuilt;
        Check(TFirmwareImage::Build(TFirmwareImage::Identifier(image), TFirmwareImage::Payload(image),
                                    TFirmwareImage::PayloadLength(image), rebuilt));
        TByteString reloaded;
        Check(LoadBytes(rebuilt.data(), rebuilt.size(), reloaded, info));
        Check(TFirmwareImage::Identifier(reloaded) == TFirmwareImage::Identifier(image));
        Check(TFirmwareImage::PayloadLength(reloaded) == TFirmwareImage::PayloadLength(image));
        Check(std::memcmp(TFirmwareImage::Payload(reloaded), TFirmwareImage::Payload(image),
                          TFirmwareImage::PayloadLength(image)) == 0);
        return 0;
    }
    // Every refusal has its documented cause, and the cause is really in the file's bytes: the
    // loader refuses most files before reading them into memory, so the causes are checked on
    // the input itself, not on what the loader held.
    const TByteString bytes(file, file + fileSize);
    const bool sized = fileSize >= TFirmwareImage::MinSize;
    switch (error) {
    case fk::ErrorNotAnImage: Check(!sized); break;
    case fk::ErrorImageTooBig:
        Check(sized && info && fileSize - TFirmwareImage::HeadSize - TFirmwareImage::DigestSize > device.Capacity());
        break;
    case fk::ErrorImageMismatch: Check(sized && info && TFirmwareImage::Identifier(bytes) != device.Identifier()); break;
    case fk::ErrorImageDigest:
        Check(sized && !TFirmwareImage::DigestMatches(bytes));
        Check(!info || TFirmwareImage::Identifier(bytes) == device.Identifier());
        break;
    default: Check(false);
    }
    // Whatever the loader kept is the file's content or nothing.
    Check(image.empty() || (image.size() == fileSize && std::memcmp(image.data(), file, fileSize) == 0));
    return 0;
}
