#include "session/FirmwareImage.h"

#include "platform/LastError.h"
#include "support/MessageDigest5.h"
#include "support/MyMath.h"
#include "support/BitOrder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace fk {

namespace {

// Closes the descriptor on every path out.
class TFileCloser {
public:
    explicit TFileCloser(int fd) noexcept : fd_(fd) {}
    ~TFileCloser()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFileCloser(const TFileCloser&) = delete;
    TFileCloser& operator=(const TFileCloser&) = delete;

private:
    int fd_;
};

// Reads exactly size bytes; false with the last error set (ErrorNotAnImage for an early end
// of file).
bool ReadAll(int fd, u8* to, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, to + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                SetLastError(ErrorNotAnImage); // a non-blocking source: not a firmware file
                return false;
            }
            SetLastErrorFromErrno(errno);
            return false;
        }
        if (n == 0) {
            SetLastError(ErrorNotAnImage); // shorter than its size said
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

namespace {

// Opens an image file and checks its size against the limits and, with a description, the
// payload against the device's capacity, before anything is read. The descriptor, or -1 with
// the failure code as the last error.
int OpenImage(const String& fileName, const TDeviceInfo* info, u64& size)
{
    // Non-blocking, so that a FIFO or a device name cannot hang the open; such files are
    // refused below for not being regular files.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        SetLastErrorFromErrno(errno);
        ::close(fd);
        return -1;
    }
    size = S_ISREG(st.st_mode) && st.st_size > 0 ? static_cast<u64>(st.st_size) : 0;
    DWORD code = ERROR_SUCCESS;
    if (size < TFirmwareImage::MinSize || size >= TFirmwareImage::SizeLimit)
        code = ErrorNotAnImage;
    else if (info && size - TFirmwareImage::HeadSize - TFirmwareImage::DigestSize > info->Capacity())
        code = ErrorImageTooBig;
    if (code != ERROR_SUCCESS) {
        ::close(fd);
        SetLastError(code);
        return -1;
    }
    return fd;
}

// Copies the part of the file range [from, from + length) that lies in a chunk read at offset
// at into to (indexed from from).
void CopyOverlap(const u8* chunk, u64 at, std::size_t count, u64 from, std::size_t length, u8* to) noexcept
{
    const u64 begin = std::max(at, from);
    const u64 end = std::min(at + count, from + length);
    if (begin < end)
        std::memcpy(to + (begin - from), chunk + (begin - at), static_cast<std::size_t>(end - begin));
}

} // namespace

bool TFirmwareImage::Inspect(const String& fileName, TImageFacts& facts, const TDeviceInfo* info)
{
    facts = {};
    u64 size = 0;
    const int fd = OpenImage(fileName, info, size);
    if (fd < 0)
        return false;
    TFileCloser closer(fd);
    facts.Size = size;
    // One chunk at a time: the memory used does not grow with the file.
    constexpr std::size_t kChunk = 64 * 1024;
    TByteString chunk(kChunk);
    u8 identifier[4] = {};
    u8 stored[DigestSize] = {};
    const u64 covered = size - DigestSize;
    TMessageDigest5 md5;
    for (u64 at = 0; at < size;) {
        const std::size_t count = static_cast<std::size_t>(std::min<u64>(kChunk, size - at));
        if (!ReadAll(fd, chunk.data(), count))
            return false;
        CopyOverlap(chunk.data(), at, count, IdentifierOffset, sizeof identifier, identifier);
        CopyOverlap(chunk.data(), at, count, covered, DigestSize, stored);
        if (at < covered)
            md5.AddData(chunk.data(), static_cast<unsigned>(std::min<u64>(count, covered - at)));
        at += count;
    }
    facts.Identifier = BitOrder::GetLE32(identifier);
    u8 computed[DigestSize];
    md5.FinalDigest(computed);
    facts.DigestMatches = MyMath::memeq(computed, stored, DigestSize);
    if (info && facts.Identifier != info->Identifier()) {
        SetLastError(ErrorImageMismatch);
        return false;
    }
    if (!facts.DigestMatches) {
        SetLastError(ErrorImageDigest);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool TFirmwareImage::Load(const String& fileName, TByteString& image, const TDeviceInfo* info)
{
    // The file is checked chunk by chunk first, so that a file that is no image for this
    // device (however large) is refused without taking its size in memory.
    TImageFacts facts;
    if (!Inspect(fileName, facts, info))
        return false;
    u64 size = 0;
    const int fd = OpenImage(fileName, info, size);
    if (fd < 0)
        return false;
    TFileCloser closer(fd);
    // Without memory for it: ERROR_OUTOFMEMORY, the number of ErrorNotAnImage, so a file this
    // machine cannot hold is refused as no usable image.
    try {
        image.assign(static_cast<std::size_t>(size), 0);
    } catch (const std::bad_alloc&) {
        image.clear();
        SetLastError(ERROR_OUTOFMEMORY);
        return false;
    } catch (const std::length_error&) {
        image.clear();
        SetLastError(ERROR_OUTOFMEMORY);
        return false;
    }
    if (!ReadAll(fd, image.data(), image.size()))
        return false;
    // Checked again on what is held: the file may have changed since it was inspected.
    if (info && Identifier(image) != info->Identifier()) {
        SetLastError(ErrorImageMismatch);
        return false;
    }
    if (!DigestMatches(image)) {
        SetLastError(ErrorImageDigest);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool TFirmwareImage::Fits(const TByteString& image, const TDeviceInfo& info)
{
    if (image.size() < MinSize || Identifier(image) != info.Identifier()) {
        SetLastError(ErrorImageMismatch);
        return false;
    }
    if (PayloadLength(image) > info.Capacity()) {
        SetLastError(ErrorImageTooBig);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

u32 TFirmwareImage::Identifier(const TByteString& image) noexcept
{
    return image.size() < MinSize ? 0 : BitOrder::GetLE32(image.data() + IdentifierOffset);
}

u32 TFirmwareImage::PayloadLength(const TByteString& image) noexcept
{
    if (image.size() < MinSize || image.size() >= SizeLimit)
        return 0;
    return static_cast<u32>(image.size() - HeadSize - DigestSize);
}

const u8* TFirmwareImage::Payload(const TByteString& image) noexcept
{
    return PayloadLength(image) == 0 ? nullptr : image.data() + HeadSize;
}

bool TFirmwareImage::DigestMatches(const TByteString& image) noexcept
{
    if (image.size() < MinSize || image.size() >= SizeLimit)
        return false;
    const unsigned covered = static_cast<unsigned>(image.size() - DigestSize);
    const u8* stored = image.data() + covered;
    // Start from the complement of the stored digest: a digest that is never written (the
    // MD5 of an empty message is never produced) can then never pass for a match.
    u8 computed[DigestSize];
    for (unsigned i = 0; i < DigestSize; ++i)
        computed[i] = static_cast<u8>(~stored[i]);
    TMessageDigest5 md5(image.data(), covered);
    md5.FinalDigest(computed);
    return MyMath::memeq(computed, stored, DigestSize);
}

bool TFirmwareImage::Build(u32 identifier, const u8* payload, std::size_t length, TByteString& image)
{
    if (!payload || length == 0 || length > MaxPayload) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    TByteString out;
    try {
        out.assign(HeadSize + length + DigestSize, 0);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return false;
    }
    std::memcpy(out.data(), Magic, sizeof Magic);
    BitOrder::PutLE16(out.data() + 8, LayoutVersion);
    BitOrder::PutLE16(out.data() + 10, HeadSize);
    BitOrder::PutLE32(out.data() + 12, static_cast<u32>(length));
    BitOrder::PutLE32(out.data() + IdentifierOffset, identifier);
    std::memcpy(out.data() + HeadSize, payload, length);
    const unsigned covered = static_cast<unsigned>(out.size() - DigestSize);
    TMessageDigest5 md5(out.data(), covered);
    md5.FinalDigest(out.data() + covered);
    image.swap(out);
    SetLastError(ERROR_SUCCESS);
    return true;
}

} // namespace fk
