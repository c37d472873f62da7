#pragma once
// TSimModule: a simulated KESTConnect wireless module on a loopback address.
//
// It announces itself ("IP") to the configurator's UDP port at a set interval, answers the
// text commands on its TCP port (one reply per command, the connection left for the
// configurator to close), and while a link is open relays device bytes: datagrams to its UDP
// port go to the simulated controller, the controller's bytes go to the configurator as
// datagrams of at most 128 bytes. Its thread blocks in poll on every socket, the controller's
// line and a wake-up descriptor, with the next announcement as the only time-out.
//
// The faults of its options can be switched while it runs.
#include "ports/UniqueFd.h"
#include "sim/SimController.h"
#include "sim/SimLog.h"
#include "sim/SimModuleOptions.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace fk {

class TSimModule {
public:
    // Largest device datagram the module sends.
    static constexpr std::size_t DatagramLimit = 128;
    // Command connections kept open at most; the oldest goes first.
    static constexpr std::size_t ClientLimit = 32;

    TSimModule(const TSimModuleOptions& options, TSimLog& log);
    ~TSimModule();
    TSimModule(const TSimModule&) = delete;
    TSimModule& operator=(const TSimModule&) = delete;

    // Binds the UDP and TCP sockets on the module's address (with SO_REUSEADDR, and the UDP
    // one with SO_REUSEPORT, so that the configurator can hold the same UDP port on every
    // address). False with the last error
    // (87 for an address outside 127.0.0.0/8).
    bool Open();
    // Puts a simulated controller behind the module, on a socket pair; before Start.
    bool AddController(const TSimOptions& options);
    bool Start();
    void Stop();

    const TSimModuleOptions& Options() const noexcept { return options_; }
    TSimController* Controller() const noexcept { return controller_.get(); }

    // Faults, switched while running.
    void SetAnnouncing(bool on);
    void SetMute(bool on) noexcept { mute_.store(on); }
    // While on, what the controller sends is lost instead of relayed (a module busy with a
    // command exchange that drops the device's bytes).
    void SetDropDeviceData(bool on) noexcept { dropData_.store(on); }
    void SetRefuseLink(bool on) noexcept { refuse_.store(on); }
    void SetIgnoreDisconnect(bool on) noexcept { ignoreDisconnect_.store(on); }

    bool Linked() const noexcept { return linked_.load(); }
    unsigned Announcements() const noexcept { return announcements_.load(); }
    // Every command received, in order, without its CR.
    std::vector<std::string> Commands() const;
    // The access point as last set by a command.
    std::string AccessPointSSID() const;
    std::string AccessPointPassword() const;

private:
    struct TClient {
        TUniqueFd Fd;
        std::string Input;
    };

    void Execute();
    void Announce();
    void ReceiveDatagrams();
    void AcceptClients();
    void ServeClient(TClient& client, bool& closed);
    std::string Answer(const std::string& command);
    void RelayLine();
    void SendToConfigurator(const u8* data, std::size_t size);

    const TSimModuleOptions options_;
    TSimLog& log_;
    TUniqueFd udp_;
    TUniqueFd listener_;
    TUniqueFd line_;  // our side of the controller's socket pair
    TUniqueFd wake_;  // eventfd: stop, or the announcing switch changed
    std::unique_ptr<TSimController> controller_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> announcing_;
    std::atomic<bool> mute_;
    std::atomic<bool> dropData_{false};
    std::atomic<bool> refuse_;
    std::atomic<bool> ignoreDisconnect_;
    std::atomic<bool> linked_{false};
    std::atomic<unsigned> announcements_{0};

    mutable std::mutex mutex_; // guards what follows
    std::vector<std::string> commands_;
    std::string ssid_;
    std::string password_;
    bool joined_;

    // Thread state.
    std::vector<TClient> clients_;
};

} // namespace fk
