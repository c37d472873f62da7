#include "support/ElfFile.h"

#include "platform/LastError.h"

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace fk {

namespace {

// Reads size bytes at offset into out; false when they are not all there.
using TReadAt = std::function<bool(u64 offset, u64 size, TByteString& out)>;

// Header sections hold at most this many entries here; more means a damaged file.
constexpr u64 MaxSections = 1u << 16;

u64 Get(const TByteString& b, std::size_t at, unsigned size, bool bigEndian)
{
    u64 v = 0;
    for (unsigned i = 0; i < size; ++i)
        v = (v << 8) | b[at + (bigEndian ? i : size - 1 - i)];
    return v;
}

bool Fail(DWORD code, TByteString& out)
{
    out.clear();
    SetLastError(code);
    return false;
}

// Only the ELF header, the section headers, the section-name table and the wanted section are
// read, so looking into a large executable stays cheap.
bool Find(const TReadAt& readAt, std::string_view sectionName, TByteString& out)
{
    TByteString head;
    if (!readAt(0, 16, head) || head[0] != 0x7F || head[1] != 'E' || head[2] != 'L' || head[3] != 'F')
        return Fail(ERROR_BAD_FILE_TYPE, out);
    if ((head[4] != 1 && head[4] != 2) || (head[5] != 1 && head[5] != 2))
        return Fail(ERROR_INVALID_DATA, out);
    const bool is64 = head[4] == 2;
    const bool be = head[5] == 2;
    const unsigned addr = is64 ? 8 : 4;
    const std::size_t shoffPos = is64 ? 0x28 : 0x20;
    const std::size_t shentPos = is64 ? 0x3A : 0x2E;
    if (!readAt(0, shentPos + 6, head))
        return Fail(ERROR_INVALID_DATA, out);
    const u64 shoff = Get(head, shoffPos, addr, be);
    const u64 shentsize = Get(head, shentPos, 2, be);
    u64 shnum = Get(head, shentPos + 2, 2, be);
    u64 shstrndx = Get(head, shentPos + 4, 2, be);
    const u64 minEntry = is64 ? 64 : 40;
    if (shoff == 0 || shentsize < minEntry || shentsize > 256)
        return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, out);

    const std::size_t sizePos = is64 ? 0x20 : 0x14;
    auto readHeader = [&](u64 i, u64& nameOff, u64& offset, u64& size) {
        TByteString h;
        if (!readAt(shoff + i * shentsize, shentsize, h))
            return false;
        nameOff = Get(h, 0, 4, be);
        offset = Get(h, is64 ? 0x18 : 0x10, addr, be);
        size = Get(h, sizePos, addr, be);
        if (i == 0) { // large counts and indexes live in section 0
            if (shnum == 0)
                shnum = size;
            if (shstrndx == 0xFFFF)
                shstrndx = Get(h, is64 ? 0x2C : 0x18, 4, be);
        }
        return true;
    };
    u64 n0 = 0, o0 = 0, s0 = 0;
    if (!readHeader(0, n0, o0, s0))
        return Fail(ERROR_INVALID_DATA, out);
    if (shnum > MaxSections || shstrndx >= shnum)
        return Fail(ERROR_INVALID_DATA, out);

    u64 strName = 0, strOff = 0, strSize = 0;
    TByteString names;
    if (!readHeader(shstrndx, strName, strOff, strSize) || strSize > TElfFile::MaxSectionSize ||
        !readAt(strOff, strSize, names))
        return Fail(ERROR_INVALID_DATA, out);

    for (u64 i = 1; i < shnum; ++i) {
        u64 nameOff = 0, offset = 0, size = 0;
        if (!readHeader(i, nameOff, offset, size))
            return Fail(ERROR_INVALID_DATA, out);
        if (nameOff >= names.size() || names.size() - nameOff <= sectionName.size())
            continue;
        const char* name = reinterpret_cast<const char*>(names.data() + nameOff);
        if (std::string_view(name, sectionName.size()) != sectionName || name[sectionName.size()] != 0)
            continue;
        if (size > TElfFile::MaxSectionSize || !readAt(offset, size, out))
            return Fail(ERROR_INVALID_DATA, out);
        SetLastError(ERROR_SUCCESS);
        return true;
    }
    return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, out);
}

} // namespace

bool TElfFile::ReadSection(const String& fileName, std::string_view sectionName, TByteString& out)
{
    out.clear();
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Fail(ErrorFromErrno(errno), out);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Fail(ERROR_BAD_FILE_TYPE, out);
    }
    const u64 fileSize = static_cast<u64>(st.st_size);
    const TReadAt readAt = [fd, fileSize](u64 offset, u64 size, TByteString& buf) {
        if (offset > fileSize || size > fileSize - offset)
            return false;
        buf.resize(static_cast<std::size_t>(size));
        std::size_t got = 0;
        while (got < buf.size()) {
            const ssize_t n = ::pread(fd, buf.data() + got, buf.size() - got, static_cast<off_t>(offset + got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            got += static_cast<std::size_t>(n);
        }
        return true;
    };
    const bool found = Find(readAt, sectionName, out);
    const DWORD error = GetLastError();
    ::close(fd);
    SetLastError(error);
    return found;
}

bool TElfFile::FindSection(const TByteString& file, std::string_view sectionName, TByteString& out)
{
    const TReadAt readAt = [&file](u64 offset, u64 size, TByteString& buf) {
        if (offset > file.size() || size > file.size() - offset)
            return false;
        buf.assign(file.begin() + static_cast<std::ptrdiff_t>(offset),
                   file.begin() + static_cast<std::ptrdiff_t>(offset + size));
        return true;
    };
    return Find(readAt, sectionName, out);
}

} // namespace fk
