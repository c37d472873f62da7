#pragma once
// The simulated lubricator controller on a serial line: node 8 at the far end of a
// pseudo-terminal (or of a tty or descriptor it is given).
//
// Its own thread blocks in poll on the line, a stop eventfd and a timerfd, cuts what comes in
// into protocol-2 packets, skips garbage and packets for other nodes, lets TSimDevice decide
// what the device does, and sends the replies: prepared for sending (fresh key, scrambled data,
// checksum), after the reply delay, paced at the baud rate when one is set (11 bits a byte),
// and with the line faults of the options (dropped replies, damaged replies, hang-up).
// A device that restarts ignores everything it receives until its boot time has passed.
//
// The device state can be read from any thread while the simulator runs.
#include "ports/UniqueFd.h"
#include "sim/SimDevice.h"
#include "sim/SimLog.h"
#include "sim/SimOptions.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace fk {

class TSimController {
public:
    TSimController(const TSimOptions& options, TSimLog& log);
    ~TSimController();
    TSimController(const TSimController&) = delete;
    TSimController& operator=(const TSimController&) = delete;

    // Creates a pseudo-terminal (raw mode) whose other side PortPath() names. The simulator
    // keeps that side open itself, so the line stays up while no configurator has it open.
    // False with the last error.
    bool OpenPseudoTerminal();
    // Serves an existing tty: raw, 8 data bits, odd parity, 1 stop bit, at the pacing baud
    // rate or 19200. False with the last error (87 for a baud rate the tty cannot take).
    bool OpenTty(const std::string& path);
    // Serves a descriptor it takes over (a tty is not reconfigured).
    bool Serve(TUniqueFd fd, const std::string& name);

    // Starts the thread; false when no line is open or it already runs.
    bool Start();
    // Stops the thread and waits for it; the line stays open until destruction.
    void Stop();

    // The thread runs (started and neither stopped nor ended by itself). For the thread that
    // starts and stops it.
    bool Serving() const noexcept { return thread_.joinable(); }

    const std::string& PortPath() const noexcept { return path_; }
    // Readable once the thread has ended by itself (hang-up, the line went away) or was stopped.
    int EndedFd() const noexcept { return ended_.Get(); }
    bool HungUp() const noexcept { return hungUp_.load(); }

    // The device, read under the simulator's lock.
    bool InBootloader() const;
    bool Venting() const;
    bool FirmwareCorrupt() const;
    TDeviceParameters Parameters() const;
    TByteString InstalledFirmware() const;
    TByteString ReceivedFirmware() const;
    unsigned DuplicateBlocks() const;

    unsigned RepliesSent() const noexcept { return sent_.load(); }
    unsigned RepliesDropped() const noexcept { return dropped_.load(); }

private:
    // One reply on its way out: bytes go out from Start on, one per byte time.
    struct TOutgoing {
        TByteString Bytes;
        std::size_t Sent = 0;
        std::int64_t Start = 0;
    };

    void Execute();
    bool Receive(std::int64_t now);
    void ProcessInput(std::int64_t done);
    std::size_t KeepFrom(std::size_t from) const;
    void HandlePacket(const u8* packet, unsigned length, std::int64_t done);
    std::int64_t SendReply(const KestPacketHeader2_t_& request, const TByteString& data, std::int64_t done);
    bool Flush(std::int64_t now);
    std::int64_t NextDeadline() const;
    void FinishRestart();
    void HangUp(const std::string& why);

    TSimOptions options_;
    TSimLog& log_;
    TSimDevice device_;
    mutable std::mutex mutex_; // guards device_

    TUniqueFd line_;
    TUniqueFd keptSlave_; // the pseudo-terminal's other side, held open by the simulator
    TUniqueFd stop_;
    TUniqueFd timer_;
    TUniqueFd ended_;
    std::string path_;
    std::thread thread_;
    std::atomic<bool> hungUp_{false};
    std::atomic<unsigned> sent_{0};
    std::atomic<unsigned> dropped_{0};

    // Thread state.
    const std::int64_t byteNs_;     // line time of one byte, 0 without pacing
    const unsigned maxDataLength_;
    TByteString in_;
    std::deque<TOutgoing> out_;
    bool outBlocked_ = false;       // the line takes no more bytes for now
    std::int64_t outFree_ = 0;      // when the sending line is free again
    std::int64_t inFree_ = 0;       // when the receiving line has carried what came in
    bool restarting_ = false;
    std::int64_t bootEnd_ = 0;
    u64 received_ = 0;
    unsigned replies_ = 0;
    unsigned requests_ = 0;         // requests for the controller's node taken so far
    unsigned blockReplies_ = 0;     // replies to firmware blocks with data
    bool garbledReplyTo_ = false;   // the reply damaged by GarbleReplyTo has gone out
};

} // namespace fk
