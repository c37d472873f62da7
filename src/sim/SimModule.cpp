#include "sim/SimModule.h"

#include "platform/LastError.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

namespace fk {

namespace {

// A loopback IPv4 address with the given port; false for anything else.
bool LoopbackAddress(const std::string& text, u16 port, sockaddr_in& out)
{
    out = {};
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    if (inet_pton(AF_INET, text.c_str(), &out.sin_addr) != 1)
        return false;
    return (ntohl(out.sin_addr.s_addr) >> 24) == 127;
}

std::int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string Printable(const std::string& text)
{
    std::string out;
    for (const char c : text)
        out += (c >= 0x20 && c < 0x7F) ? std::string(1, c) : (c == '\r' ? "\\r" : c == '\0' ? "\\0" : "?");
    return out;
}

} // namespace

TSimModule::TSimModule(const TSimModuleOptions& options, TSimLog& log)
    : options_(options)
    , log_(log)
    , wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    , announcing_(!options.NoAnnounce)
    , mute_(options.Mute)
    , refuse_(options.RefuseLink)
    , ignoreDisconnect_(options.IgnoreDisconnect)
    , ssid_(options.SSID)
    , password_(options.Password)
    , joined_(options.Joined)
{
}

TSimModule::~TSimModule() { Stop(); }

bool TSimModule::Open()
{
    sockaddr_in address{}, configurator{};
    if (!LoopbackAddress(options_.Address, options_.UDPPort, address)
        || !LoopbackAddress(options_.ConfiguratorAddress, options_.UDPPort, configurator) || !wake_.Valid()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const int one = 1;
    TUniqueFd udp(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    // SO_REUSEPORT as well: the configurator's listener on every address shares its port
    // only with sockets that ask for that (and belong to the same user).
    if (!udp.Valid() || ::setsockopt(udp.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0
        || ::setsockopt(udp.Get(), SOL_SOCKET, SO_REUSEPORT, &one, sizeof one) != 0
        || ::bind(udp.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    address.sin_port = htons(options_.TCPPort);
    TUniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listener.Valid() || ::setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0
        || ::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener.Get(), 16) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    udp_ = std::move(udp);
    listener_ = std::move(listener);
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool TSimModule::AddController(const TSimOptions& options)
{
    int pair[2];
    if (thread_.joinable() || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0) {
        SetLastError(thread_.joinable() ? ERROR_INVALID_HANDLE : ErrorFromErrno(errno));
        return false;
    }
    TUniqueFd ours(pair[0]);
    auto controller = std::make_unique<TSimController>(options, log_);
    if (!controller->Serve(TUniqueFd(pair[1]), "controller behind " + options_.Address))
        return false;
    line_ = std::move(ours);
    controller_ = std::move(controller);
    return true;
}

bool TSimModule::Start()
{
    if (!udp_.Valid() || thread_.joinable() || (controller_ && !controller_->Start())) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    stop_.store(false);
    thread_ = std::thread([this] { Execute(); });
    return true;
}

void TSimModule::Stop()
{
    if (thread_.joinable()) {
        stop_.store(true);
        const u64 one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_.Get(), &one, sizeof one);
        thread_.join();
    }
    if (controller_)
        controller_->Stop();
}

void TSimModule::SetAnnouncing(bool on)
{
    announcing_.store(on);
    const u64 one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_.Get(), &one, sizeof one);
}

std::vector<std::string> TSimModule::Commands() const
{
    std::lock_guard lock(mutex_);
    return commands_;
}

std::string TSimModule::AccessPointSSID() const
{
    std::lock_guard lock(mutex_);
    return ssid_;
}

std::string TSimModule::AccessPointPassword() const
{
    std::lock_guard lock(mutex_);
    return password_;
}

void TSimModule::SendToConfigurator(const u8* data, std::size_t size)
{
    sockaddr_in to{};
    LoopbackAddress(options_.ConfiguratorAddress, options_.UDPPort, to);
    ::sendto(udp_.Get(), data, size, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

void TSimModule::Announce()
{
    static const u8 text[2] = {'I', 'P'};
    SendToConfigurator(text, sizeof text);
    announcements_.fetch_add(1);
}

void TSimModule::Execute()
{
    const std::int64_t interval = std::max<unsigned>(options_.AnnounceIntervalMs, 1);
    std::int64_t nextAnnounce = NowMs();
    while (!stop_.load()) {
        std::vector<pollfd> fds = {{wake_.Get(), POLLIN, 0}, {udp_.Get(), POLLIN, 0}, {listener_.Get(), POLLIN, 0}};
        if (line_.Valid())
            fds.push_back({line_.Get(), POLLIN, 0});
        const std::size_t firstClient = fds.size();
        for (const TClient& c : clients_)
            fds.push_back({c.Fd.Get(), POLLIN, 0});
        int timeout = -1;
        if (announcing_.load()) {
            const std::int64_t now = NowMs();
            if (now >= nextAnnounce) {
                Announce();
                nextAnnounce = now + interval;
            }
            timeout = int(nextAnnounce - now);
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR)
                continue;
            log_.Line("module " + options_.Address + ": poll failed, stopping");
            return;
        }
        if (fds[0].revents & POLLIN) {
            u64 count;
            [[maybe_unused]] const ssize_t n = ::read(wake_.Get(), &count, sizeof count);
        }
        if (fds[1].revents & POLLIN)
            ReceiveDatagrams();
        if (line_.Valid() && (fds[3].revents & (POLLIN | POLLHUP)))
            RelayLine();
        // Clients: serve the ones with input, drop the closed ones.
        std::vector<bool> closed(clients_.size(), false);
        for (std::size_t i = 0; i < clients_.size(); ++i) {
            if (fds[firstClient + i].revents != 0) {
                bool gone = false;
                ServeClient(clients_[i], gone);
                closed[i] = gone;
            }
        }
        for (std::size_t i = clients_.size(); i-- > 0;)
            if (closed[i])
                clients_.erase(clients_.begin() + std::ptrdiff_t(i));
        if (fds[2].revents & POLLIN)
            AcceptClients();
    }
}

void TSimModule::ReceiveDatagrams()
{
    for (;;) {
        const ssize_t size = ::recv(udp_.Get(), nullptr, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
        if (size < 0)
            return;
        std::vector<u8> data(std::size_t(size) + 1);
        const ssize_t n = ::recv(udp_.Get(), data.data(), data.size(), MSG_DONTWAIT);
        if (n < 0)
            return;
        if (linked_.load() && line_.Valid() && n > 0) {
            [[maybe_unused]] const ssize_t w = ::send(line_.Get(), data.data(), std::size_t(n), MSG_NOSIGNAL);
        }
    }
}

void TSimModule::RelayLine()
{
    u8 buffer[4096];
    const ssize_t n = ::recv(line_.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        log_.Line("module " + options_.Address + ": the controller's line closed");
        line_.Reset();
        return;
    }
    if (n <= 0 || !linked_.load())
        return;
    if (dropData_.load()) {
        log_.Line("module " + options_.Address + ": " + std::to_string(n) + " bytes of the controller dropped");
        return;
    }
    for (ssize_t at = 0; at < n; at += ssize_t(DatagramLimit))
        SendToConfigurator(buffer + at, std::min<std::size_t>(DatagramLimit, std::size_t(n - at)));
}

void TSimModule::AcceptClients()
{
    for (;;) {
        TUniqueFd fd(::accept4(listener_.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd.Valid())
            return;
        if (clients_.size() >= ClientLimit)
            clients_.erase(clients_.begin());
        clients_.push_back(TClient{std::move(fd), {}});
    }
}

void TSimModule::ServeClient(TClient& client, bool& closed)
{
    char buffer[512];
    const ssize_t n = ::recv(client.Fd.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        closed = true;
        return;
    }
    if (n < 0)
        return;
    client.Input.append(buffer, std::size_t(n));
    for (std::size_t cr; (cr = client.Input.find('\r')) != std::string::npos;) {
        const std::string command = client.Input.substr(0, cr);
        client.Input.erase(0, cr + 1);
        {
            std::lock_guard lock(mutex_);
            commands_.push_back(command);
        }
        if (mute_.load()) {
            log_.Line("module " + options_.Address + ": " + Printable(command) + " (not answered)");
            continue;
        }
        std::string reply = Answer(command);
        if (reply.empty()) {
            log_.Line("module " + options_.Address + ": " + Printable(command) + " (no answer)");
            if (command.rfind("KCDISC", 0) != 0)
                closed = true; // an unknown command ends the connection
            continue;
        }
        if (options_.TrailingNul)
            reply.push_back('\0');
        log_.Line("module " + options_.Address + ": " + Printable(command) + " -> " + Printable(reply));
        [[maybe_unused]] const ssize_t w = ::send(client.Fd.Get(), reply.data(), reply.size(), MSG_NOSIGNAL);
    }
    if (client.Input.size() > 4096)
        closed = true; // no command is that long
}

std::string TSimModule::Answer(const std::string& command)
{
    if (command == "APOKKK") {
        if (refuse_.load())
            return "CONREJ";
        linked_.store(true);
        return options_.AnswerAlconn ? "ALCONN" : "APOKKK";
    }
    if (command == "KCDISC") {
        if (ignoreDisconnect_.load())
            return {};
        linked_.store(false);
        return "KCDISC";
    }
    if (command == "KCCONF") {
        std::lock_guard lock(mutex_);
        return "KCCONF," + options_.Version + "," + options_.Name + "," + ssid_ + "," + password_ + ","
            + options_.APAddress + "," + (joined_ ? "1" : "0") + ",0,0";
    }
    if (command == "APLIST") {
        std::string reply = "APLIST,";
        for (std::size_t i = 0; i < options_.Networks.size(); ++i) {
            if (i)
                reply += ",";
            reply += options_.Networks[i].first + "," + std::to_string(options_.Networks[i].second);
        }
        return reply;
    }
    if (command.rfind("NEWAPN,", 0) == 0) {
        const std::string rest = command.substr(7);
        const std::size_t comma = rest.find(',');
        if (comma == std::string::npos)
            return {};
        std::lock_guard lock(mutex_);
        ssid_ = rest.substr(0, comma);
        password_ = rest.substr(comma + 1);
        joined_ = true;
        return "NEWAPN";
    }
    return {};
}

} // namespace fk
