#include "sim/SimController.h"

#include "platform/LastError.h"
#include "protocol/KestPacket2.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace fk {

namespace {

constexpr std::int64_t NsPerMs = 1'000'000;
constexpr std::int64_t NsPerS = 1'000'000'000;
constexpr unsigned BitsPerByte = 11; // start bit, 8 data bits, parity, stop bit

std::int64_t Now() noexcept
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * NsPerS + ts.tv_nsec;
}

bool Fail() noexcept
{
    SetLastErrorFromErrno(errno);
    return false;
}

speed_t SpeedOf(unsigned baud) noexcept
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return 0;
    }
}

// Raw mode, with 8O1 at speed when one is given.
bool MakeRaw(int fd, speed_t speed) noexcept
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return Fail();
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    if (speed != 0) {
        t.c_cflag = (t.c_cflag & ~(CSIZE | CSTOPB)) | CS8 | PARENB | PARODD;
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
    }
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        return Fail();
    return true;
}

std::string Hex(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFF);
    return buf;
}

} // namespace

TSimController::TSimController(const TSimOptions& options, TSimLog& log)
    : options_(options),
      log_(log),
      device_(options),
      byteNs_(options.Baud ? std::int64_t(BitsPerByte) * NsPerS / options.Baud : 0),
      maxDataLength_(std::max<unsigned>(options.BlockSize, 256))
{
    stop_.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    ended_.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    timer_.Reset(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK));
}

TSimController::~TSimController() { Stop(); }

bool TSimController::OpenPseudoTerminal()
{
    TUniqueFd master(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!master.Valid() || grantpt(master.Get()) != 0 || unlockpt(master.Get()) != 0)
        return Fail();
    char name[PATH_MAX];
    if (ptsname_r(master.Get(), name, sizeof name) != 0)
        return Fail();
    TUniqueFd slave(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!slave.Valid() || !MakeRaw(slave.Get(), B19200) || !MakeRaw(master.Get(), 0))
        return Fail();
    keptSlave_ = std::move(slave);
    return Serve(std::move(master), name);
}

bool TSimController::OpenTty(const std::string& path)
{
    const speed_t speed = SpeedOf(options_.Baud ? options_.Baud : 19200);
    if (speed == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    TUniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid())
        return Fail();
    if (isatty(fd.Get()) && !MakeRaw(fd.Get(), speed))
        return false;
    return Serve(std::move(fd), path);
}

bool TSimController::Serve(TUniqueFd fd, const std::string& name)
{
    if (!fd.Valid() || thread_.joinable() || !stop_.Valid() || !timer_.Valid() || !ended_.Valid()) {
        SetLastError(fd.Valid() ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return false;
    }
    const int flags = fcntl(fd.Get(), F_GETFL);
    if (flags < 0 || fcntl(fd.Get(), F_SETFL, flags | O_NONBLOCK) != 0)
        return Fail();
    line_ = std::move(fd);
    path_ = name;
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool TSimController::Start()
{
    if (!line_.Valid() || thread_.joinable()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    // A simulator stopped before starts again as a device that falls silent and resumes: what
    // came in meanwhile is answered then. The stop request of last time is taken back first.
    u64 stopped = 0;
    [[maybe_unused]] const ssize_t n = ::read(stop_.Get(), &stopped, sizeof stopped);
    thread_ = std::thread([this] { Execute(); });
    return true;
}

void TSimController::Stop()
{
    if (!thread_.joinable())
        return;
    const u64 one = 1;
    [[maybe_unused]] const ssize_t n = ::write(stop_.Get(), &one, sizeof one);
    thread_.join();
}

bool TSimController::InBootloader() const
{
    std::lock_guard lock(mutex_);
    return device_.InBootloader();
}

bool TSimController::FirmwareCorrupt() const
{
    std::lock_guard lock(mutex_);
    return device_.FirmwareCorrupt();
}

bool TSimController::Venting() const
{
    std::lock_guard lock(mutex_);
    return device_.Venting();
}

TDeviceParameters TSimController::Parameters() const
{
    std::lock_guard lock(mutex_);
    return device_.Parameters();
}

TByteString TSimController::InstalledFirmware() const
{
    std::lock_guard lock(mutex_);
    return device_.InstalledFirmware();
}

TByteString TSimController::ReceivedFirmware() const
{
    std::lock_guard lock(mutex_);
    return device_.ReceivedFirmware();
}

unsigned TSimController::DuplicateBlocks() const
{
    std::lock_guard lock(mutex_);
    return device_.DuplicateBlocks();
}

// ---------------------------------------------------------------------------------------------
// The thread.

void TSimController::Execute()
{
    log_.Line("controller (node 8) on " + path_ + (options_.Baud ? ", paced at " + std::to_string(options_.Baud) + " baud" : "")
              + (device_.InBootloader() ? ", bootloader running" : ", application running"));
    for (;;) {
        const std::int64_t now = Now();
        if (restarting_ && now >= bootEnd_)
            FinishRestart();
        if (!Flush(now))
            break;

        const std::int64_t deadline = NextDeadline();
        itimerspec when{};
        if (deadline > 0) {
            // An absolute time already past fires at once; 0 would disarm instead.
            when.it_value.tv_sec = deadline / NsPerS;
            when.it_value.tv_nsec = std::max<std::int64_t>(deadline % NsPerS, 1);
        }
        timerfd_settime(timer_.Get(), TFD_TIMER_ABSTIME, &when, nullptr);

        pollfd fds[3] = {{line_.Get(), short(POLLIN | (outBlocked_ ? POLLOUT : 0)), 0},
                         {stop_.Get(), POLLIN, 0},
                         {timer_.Get(), POLLIN, 0}};
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            log_.Line("poll failed: " + ErrorText(ErrorFromErrno(errno)));
            break;
        }
        if (fds[1].revents)
            break;
        if (fds[2].revents & POLLIN) {
            u64 expirations;
            [[maybe_unused]] const ssize_t n = ::read(timer_.Get(), &expirations, sizeof expirations);
        }
        if (fds[0].revents & POLLOUT)
            outBlocked_ = false;
        if (fds[0].revents & POLLIN) {
            if (!Receive(Now()))
                break;
        } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            log_.Line("the line went away");
            break;
        }
    }
    const u64 one = 1;
    [[maybe_unused]] const ssize_t n = ::write(ended_.Get(), &one, sizeof one);
}

bool TSimController::Receive(std::int64_t now)
{
    u8 buf[4096];
    const ssize_t r = ::read(line_.Get(), buf, sizeof buf);
    if (r < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    if (r <= 0) {
        log_.Line("the line went away");
        return false;
    }
    const auto n = static_cast<std::size_t>(r);
    if (options_.HangupAfter && received_ + n >= options_.HangupAfter) {
        HangUp("hanging up after " + std::to_string(options_.HangupAfter) + " bytes received");
        return false;
    }
    received_ += n;
    std::int64_t done = now;
    if (byteNs_) {
        inFree_ = std::max(inFree_, now) + std::int64_t(n) * byteNs_;
        done = inFree_;
    }
    if (restarting_) {
        log_.Line(std::to_string(n) + " bytes lost: the device is restarting");
        return true;
    }
    in_.insert(in_.end(), buf, buf + n);
    ProcessInput(done);
    return true;
}

void TSimController::ProcessInput(std::int64_t done)
{
    std::size_t consumed = 0;
    while (consumed < in_.size()) {
        unsigned pos = static_cast<unsigned>(consumed);
        unsigned length = 0;
        if (!TKestPacket2::RetreivePacket(in_.data(), static_cast<unsigned>(in_.size()), pos,
                                          maxDataLength_, length)) {
            const std::size_t keep = KeepFrom(consumed);
            if (keep > consumed)
                log_.Line(std::to_string(keep - consumed) + " bytes of garbage skipped");
            consumed = keep;
            break;
        }
        if (pos > consumed)
            log_.Line(std::to_string(pos - consumed) + " bytes of garbage skipped");
        HandlePacket(in_.data() + pos, length, done);
        consumed = pos + length;
        if (restarting_) {
            if (consumed < in_.size())
                log_.Line(std::to_string(in_.size() - consumed) + " bytes lost: the device is restarting");
            consumed = in_.size();
        }
    }
    in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(consumed));
}

// The first position from `from` on where a packet may still be arriving: a start byte with
// less than a header behind it, or a header of acceptable length whose data are not all here.
std::size_t TSimController::KeepFrom(std::size_t from) const
{
    const std::size_t size = in_.size();
    for (std::size_t k = from; k < size; ++k) {
        if (in_[k] != KestPacketHeader2_t_::StartConstant)
            continue;
        if (size - k < KestPacketHeader2_t_::DataOffset)
            return k;
        const auto* h = reinterpret_cast<const KestPacketHeader2_t_*>(in_.data() + k);
        if (h->IsValid() && h->GetDataLength() <= maxDataLength_ && size - k < h->GetPacketLength())
            return k;
    }
    return size;
}

void TSimController::HandlePacket(const u8* packet, unsigned length, std::int64_t done)
{
    TKestPacket2 request(packet, length);
    request.RetreiveData();
    const KestPacketHeader2_t_& h = *request.GetHeader();
    const unsigned n = h.GetDataLength();
    const std::string what = std::string(TSimDevice::CodeName(h.GetCode())) + " (" + Hex(h.GetCode())
        + ") from node " + std::to_string(h.GetSource()) + ", " + std::to_string(n) + " data bytes";
    if (h.GetDestination() != dtController) {
        log_.Line(what + " for node " + std::to_string(h.GetDestination()) + ": ignored");
        return;
    }
    ++requests_;
    if (options_.SilentFrom && requests_ >= options_.SilentFrom) {
        log_.Line(what + ": request #" + std::to_string(requests_) + " not answered (silent from request #"
                  + std::to_string(options_.SilentFrom) + " on)");
        return;
    }
    const bool late = options_.LateFrom && requests_ >= options_.LateFrom;
    std::lock_guard lock(mutex_);
    const TSimDevice::TOutcome outcome = device_.Handle(h, h.Data(), n);
    log_.Line(what + ": " + outcome.Note
              + (late && outcome.Reply ? ", " + std::to_string(options_.LateMs) + " ms late" : std::string()));
    std::int64_t end = done;
    if (outcome.Reply)
        end = SendReply(h, outcome.ReplyData, late ? done + std::int64_t(options_.LateMs) * NsPerMs : done);
    if (outcome.Restart) {
        restarting_ = true;
        bootEnd_ = end + std::int64_t(options_.BootTimeMs) * NsPerMs;
        in_.clear();
    }
}

// Queues the reply to request; returns when its last byte has left (or would have).
std::int64_t TSimController::SendReply(const KestPacketHeader2_t_& request, const TByteString& data,
                                       std::int64_t done)
{
    KestPacketHeader2_t_ h;
    h.Initialize(dtController, request.GetSource(), request.GetCode(), KestPacketHeader2_t_::DataOffset);
    h.Match = request.Match;
    TKestPacket2 reply(h, data.data(), static_cast<unsigned>(data.size()));
    TOutgoing out;
    if (!reply.PrepareSend(out.Bytes)) {
        log_.Line("reply could not be built: " + ErrorText(GetLastError()));
        return done;
    }
    ++replies_;
    out.Start = std::max(done + std::int64_t(options_.ReplyDelayMs) * NsPerMs, outFree_);
    const std::int64_t end = out.Start + std::int64_t(out.Bytes.size()) * byteNs_;
    const std::string which = "reply #" + std::to_string(replies_) + " (" + std::to_string(out.Bytes.size()) + " bytes)";
    bool dropBlock = false;
    if (request.GetCode() == dcFirmwareBlock && request.GetDataLength() > 0) {
        ++blockReplies_;
        dropBlock = options_.DropBlockReply && blockReplies_ >= options_.DropBlockReply
            && blockReplies_ - options_.DropBlockReply < options_.DropBlockReplies;
    }
    if (dropBlock || (options_.DropEvery && replies_ % options_.DropEvery == 0)) {
        device_.ReplyLost();
        ++dropped_;
        log_.Line(which + " dropped");
        return end;
    }
    const bool garbleThis = options_.GarbleReplyTo == int(request.GetCode()) && !garbledReplyTo_;
    if (garbleThis)
        garbledReplyTo_ = true;
    if (garbleThis || (options_.GarbleEvery && replies_ % options_.GarbleEvery == 0)) {
        // One damaged byte always breaks the 8-bit checksum: the configurator loses the reply.
        out.Bytes[out.Bytes.size() / 2] ^= 0xA5;
        device_.ReplyLost();
        log_.Line(which + " sent with byte " + std::to_string(out.Bytes.size() / 2) + " damaged");
    }
    ++sent_;
    out_.push_back(std::move(out));
    outFree_ = end;
    return end;
}

// Writes every byte whose line time has passed; false when the line went away.
bool TSimController::Flush(std::int64_t now)
{
    while (!out_.empty() && !outBlocked_) {
        TOutgoing& o = out_.front();
        if (now < o.Start + (byteNs_ ? byteNs_ : 0))
            return true;
        std::size_t due = o.Bytes.size();
        if (byteNs_)
            due = std::min<std::size_t>(due, static_cast<std::size_t>((now - o.Start) / byteNs_));
        if (due > o.Sent) {
            const ssize_t w = ::write(line_.Get(), o.Bytes.data() + o.Sent, due - o.Sent);
            if (w < 0) {
                if (errno == EAGAIN) {
                    outBlocked_ = true;
                    return true;
                }
                if (errno == EINTR)
                    continue;
                log_.Line("the line went away: " + ErrorText(ErrorFromErrno(errno)));
                return false;
            }
            o.Sent += static_cast<std::size_t>(w);
        }
        if (o.Sent < o.Bytes.size())
            return true;
        out_.pop_front();
    }
    return true;
}

// The next moment the thread has something to do without input: a byte due, or a boot over.
std::int64_t TSimController::NextDeadline() const
{
    std::int64_t deadline = restarting_ ? bootEnd_ : 0;
    if (!out_.empty() && !outBlocked_) {
        const TOutgoing& o = out_.front();
        const std::int64_t due = o.Start + std::int64_t(o.Sent + 1) * byteNs_;
        deadline = deadline ? std::min(deadline, due) : due;
    }
    return deadline;
}

void TSimController::FinishRestart()
{
    std::lock_guard lock(mutex_);
    restarting_ = false;
    const bool installed = device_.FinishRestart();
    log_.Line(std::string("restarted: the ") + (device_.InBootloader() ? "bootloader" : "application") + " runs");
    if (!device_.RestartNote().empty())
        log_.Line(device_.RestartNote());
    if (!installed)
        return;
    const TByteString& payload = device_.InstalledFirmware();
    log_.Line("new firmware installed: " + std::to_string(payload.size()) + " bytes");
    if (options_.DumpFirmwarePath.empty())
        return;
    std::ofstream file(options_.DumpFirmwarePath, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(payload.data()), static_cast<std::streamsize>(payload.size()));
    file.close();
    log_.Line(file ? "firmware written to " + options_.DumpFirmwarePath
                   : "firmware could not be written to " + options_.DumpFirmwarePath);
}

void TSimController::HangUp(const std::string& why)
{
    log_.Line(why);
    hungUp_ = true;
    out_.clear();
    line_.Reset();
    keptSlave_.Reset();
}

} // namespace fk
