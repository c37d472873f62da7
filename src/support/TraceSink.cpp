#include "support/TraceSink.h"

#include "platform/FaultReport.h"
#include "platform/LastError.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace fk {

std::atomic<TTraceSink*> TTraceSink::active_{nullptr};

void TTraceSink::SetActive(TTraceSink* sink) noexcept
{
    active_.store(sink, std::memory_order_release);
    if (sink)
        TFaultReport::SetReporter(&TTraceSink::Fault);
}

namespace {

constexpr std::size_t CopyChunk = 64 * 1024; // bytes moved at a time when the file is trimmed

void AppendHex(std::string& out, const void* bytes, std::size_t size)
{
    static constexpr char digits[] = "0123456789abcdef";
    const auto* p = static_cast<const u8*>(bytes);
    out += '"';
    for (std::size_t i = 0; bytes && i < size; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    out += '"';
}

// Length of the UTF-8 sequence at s[i], 0 when it is not a valid one.
std::size_t Utf8Length(std::string_view s, std::size_t i) noexcept
{
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    std::size_t n = 0;
    unsigned min = 0;
    unsigned cp = 0;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (b(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

} // namespace

TTraceSink::~TTraceSink()
{
    TTraceSink* self = this;
    active_.compare_exchange_strong(self, nullptr);
    Close();
}

void TTraceSink::AppendMember(std::string& out, std::string_view name, std::string_view value)
{
    out += ",\"";
    out += name;
    out += "\":";
    AppendJsonString(out, value);
}

void TTraceSink::AppendNumber(std::string& out, std::string_view name, long long value)
{
    out += ",\"";
    out += name;
    out += "\":";
    out += std::to_string(value);
}

bool TTraceSink::Open(const String& path, u64 limit)
{
    if (path.empty() || limit == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    // Read and write: trimming reads the newer half back. Not emptied before it is known to be
    // a regular file; O_NONBLOCK keeps a FIFO without a reader from blocking the open.
    // A symbolic link is never followed (it could make the trace overwrite another file), a
    // file of another user is not emptied, and a new file is for its user's eyes only: the
    // trace holds the device's serial number and everything sent to it.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW, 0600);
    if (fd < 0) {
        if (errno == ELOOP)
            SetLastError(ErrorSymbolicLink);
        else
            SetLastErrorFromErrno(errno, TErrnoUse::Open); // a folder: ErrorNotRegularFile
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        SetLastError(ErrorNotRegularFile);
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        ::close(fd);
        SetLastError(ErrorOtherOwner);
        return false;
    }
    if (::ftruncate(fd, 0) != 0) {
        SetLastErrorFromErrno(errno);
        ::close(fd);
        return false;
    }
    std::lock_guard lock(mutex_);
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
    path_ = path;
    limit_ = limit;
    size_ = 0;
    writeFailed_ = false;
    status_.clear();
    start_ = std::chrono::steady_clock::now();
    return true;
}

void TTraceSink::Close() noexcept
{
    std::lock_guard lock(mutex_);
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

u64 TTraceSink::Size() const noexcept
{
    std::lock_guard lock(mutex_);
    return size_;
}

String TTraceSink::OpenFailureText(const String& path)
{
    const DWORD error = GetLastError();
    const String reason = error == ErrorNotRegularFile ? String("It is not a regular file.")
        : error == ErrorSymbolicLink                   ? String("It is a symbolic link.")
        : error == ErrorOtherOwner                     ? String("It belongs to another user.")
                                                       : ErrorText(error);
    return "cannot open the trace file " + path + ": " + reason;
}

void TTraceSink::AppendJsonString(std::string& out, std::string_view s)
{
    out += '"';
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            char esc[8];
            switch (c) {
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                out += esc;
            }
            ++i;
        } else if (const std::size_t n = Utf8Length(s, i); n > 0) {
            out.append(s.substr(i, n));
            i += n;
        } else {
            out += "\xEF\xBF\xBD"; // U+FFFD for a byte that starts no valid sequence
            ++i;
        }
    }
    out += '"';
}

std::string TTraceSink::Begin(std::string_view event) const
{
    const auto elapsed = std::chrono::steady_clock::now() - start_;
    const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    char time[48];
    std::snprintf(time, sizeof time, "{\"time\":%lld.%03lld,\"event\":", ms / 1000, ms % 1000);
    std::string line = time;
    AppendJsonString(line, event);
    return line;
}

void TTraceSink::Finish(std::string& line)
{
    line += "}\n";
    std::lock_guard lock(mutex_);
    WriteLocked(line);
}

void TTraceSink::WriteLocked(const std::string& line)
{
    if (fd_ < 0 || line.size() > limit_)
        return;
    std::string note; // what was dropped, told after the line (it is stamped later than the line)
    if (size_ + line.size() > limit_) {
        const u64 before = size_;
        if (!DropOldestHalf()) {
            writeFailed_ = true;
            return;
        }
        if (size_ + line.size() > limit_ && ::ftruncate(fd_, 0) == 0)
            size_ = 0; // the newest half alone leaves no room: start afresh
        note = Begin("trace-trimmed");
        AppendNumber(note, "dropped", static_cast<long long>(before - size_));
        note += "}\n";
        if (size_ + line.size() + note.size() > limit_)
            note.clear();
    }
    const ssize_t written = ::pwrite(fd_, line.data(), line.size(), static_cast<off_t>(size_));
    if (written == static_cast<ssize_t>(line.size())) {
        size_ += line.size();
        if (!note.empty())
            WriteLocked(note);
        return;
    }
    // A torn line would spoil the next one: the file ends at the last whole line.
    writeFailed_ = true;
    if (written > 0 && ::ftruncate(fd_, static_cast<off_t>(size_)) != 0)
        size_ += static_cast<u64>(written);
}

// Keeps the lines that start in the newer half of the file, moved to its front in chunks.
bool TTraceSink::DropOldestHalf()
{
    std::vector<char> buffer(CopyChunk);
    u64 cut = size_ / 2;
    // The kept part starts behind the first line end at or after the middle.
    for (;;) {
        if (cut >= size_) {
            cut = size_;
            break;
        }
        const ssize_t n = ::pread(fd_, buffer.data(), std::min<u64>(buffer.size(), size_ - cut), static_cast<off_t>(cut));
        if (n <= 0)
            return false;
        const auto end = buffer.begin() + n;
        const auto nl = std::find(buffer.begin(), end, '\n');
        if (nl != end) {
            cut += static_cast<u64>(nl - buffer.begin()) + 1;
            break;
        }
        cut += static_cast<u64>(n);
    }
    u64 from = cut, to = 0;
    while (from < size_) {
        const ssize_t n = ::pread(fd_, buffer.data(), std::min<u64>(buffer.size(), size_ - from), static_cast<off_t>(from));
        if (n <= 0 || ::pwrite(fd_, buffer.data(), static_cast<std::size_t>(n), static_cast<off_t>(to)) != n)
            return false;
        from += static_cast<u64>(n);
        to += static_cast<u64>(n);
    }
    if (::ftruncate(fd_, static_cast<off_t>(to)) != 0)
        return false;
    size_ = to;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Lines

void TTraceSink::WriteStart(std::string_view program, std::string_view version)
{
    std::string line = Begin("start");
    AppendMember(line, "program", program);
    AppendMember(line, "version", version);
    AppendNumber(line, "pid", static_cast<long long>(::getpid()));
    Finish(line);
}

void TTraceSink::WritePacket(bool sent, std::string_view port, int code, std::string_view name, const void* bytes,
                             std::size_t size)
{
    std::string line = Begin(sent ? "tx" : "rx");
    AppendMember(line, "port", port);
    AppendNumber(line, "code", code);
    AppendMember(line, "name", name);
    line += ",\"hex\":";
    AppendHex(line, bytes, size);
    Finish(line);
}

void TTraceSink::WriteDropped(std::string_view port, std::string_view reason, const void* bytes, std::size_t size)
{
    std::string line = Begin("rx-dropped");
    AppendMember(line, "port", port);
    AppendMember(line, "reason", reason);
    line += ",\"hex\":";
    AppendHex(line, bytes, size);
    Finish(line);
}

void TTraceSink::WriteModuleText(bool sent, std::string_view module, std::string_view text)
{
    std::string line = Begin(sent ? "module-tx" : "module-rx");
    AppendMember(line, "module", module);
    AppendMember(line, "text", text);
    Finish(line);
}

void TTraceSink::WriteState(std::string_view device, std::string_view upload)
{
    std::string line = Begin("state");
    AppendMember(line, "device", device);
    AppendMember(line, "upload", upload);
    Finish(line);
}

void TTraceSink::WriteText(std::string_view event, std::string_view text)
{
    std::string line = Begin(event);
    AppendMember(line, "text", text);
    Finish(line);
}

void TTraceSink::WriteStatus(std::string_view text)
{
    {
        std::lock_guard lock(mutex_);
        if (text == status_)
            return;
        status_ = text;
    }
    WriteText("status", text);
}

void TTraceSink::WriteExit(int status)
{
    std::string line = Begin("exit");
    AppendNumber(line, "status", status);
    Finish(line);
}

void TTraceSink::WriteFault(std::string_view where, std::string_view what)
{
    std::string line = Begin("fault");
    AppendMember(line, "where", where);
    AppendMember(line, "what", what);
    Finish(line);
}

void TTraceSink::WriteQuestion(std::string_view text, std::string_view answer)
{
    std::string line = Begin("question");
    AppendMember(line, "text", text);
    AppendMember(line, "answer", answer);
    Finish(line);
}

void TTraceSink::WritePort(std::string_view action, std::string_view port, std::string_view reason, u32 error)
{
    std::string line = Begin("port");
    AppendMember(line, "action", action);
    AppendMember(line, "port", port);
    if (!reason.empty())
        AppendMember(line, "reason", reason);
    if (error != 0) {
        AppendNumber(line, "error", error);
        AppendMember(line, "error_text", ErrorText(error));
    }
    Finish(line);
}

} // namespace fk
