#pragma once
// `ferrovan-sim controller` as a separate program on a line the test keeps: the line's
// descriptor becomes the program's descriptor 3 (--line-fd 3), and the program takes commands
// on its standard input (--control), answering each with one line. Killing it and starting
// another on the same line is a device swapped or power-cycled without the line going away.
#include "ChildProcess.h"
#include "ports/UniqueFd.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <vector>

extern char** environ;

namespace fk::test {

class TSimProcess {
public:
    TSimProcess() = default;
    TSimProcess(const TSimProcess&) = delete;
    TSimProcess& operator=(const TSimProcess&) = delete;
    // Its input ends: the program ends (killed when it does not within a few seconds).
    ~TSimProcess()
    {
        in_.Reset(-1);
        if (pid_ > 0)
            WaitChild(pid_, 5000);
    }

    // Starts the program on line with the given controller options; false when it could not
    // start or did not print its port line.
    bool Start(int line, const std::vector<std::string>& options)
    {
        int toChild[2], fromChild[2];
        if (::pipe2(toChild, O_CLOEXEC) != 0)
            return false;
        TUniqueFd childIn(toChild[0]);
        in_.Reset(toChild[1]);
        if (::pipe2(fromChild, O_CLOEXEC) != 0)
            return false;
        TUniqueFd childOut(fromChild[1]);
        out_.Reset(fromChild[0]);
        // Above 3, so that dup2 onto 3 always makes a descriptor the program inherits.
        TUniqueFd lineCopy(::fcntl(line, F_DUPFD_CLOEXEC, 10));
        std::vector<std::string> args = {FK_FERROVAN_SIM_PATH, "controller", "--line-fd", "3", "--control"};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, childIn.Get(), 0);
        posix_spawn_file_actions_adddup2(&actions, childOut.Get(), 1);
        posix_spawn_file_actions_adddup2(&actions, lineCopy.Get(), 3);
        const int failed = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (failed != 0) {
            pid_ = -1;
            return false;
        }
        port_ = ReadLine(10000);
        return !port_.empty();
    }

    // The answer to one control command; empty when none came within the deadline.
    std::string Ask(const std::string& command, int deadlineMs = 5000)
    {
        const std::string line = command + "\n";
        if (!in_.Valid() || ::write(in_.Get(), line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            return {};
        return ReadLine(deadlineMs);
    }

    // Killed at once, without a word to its line.
    void Kill()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            WaitChild(pid_, 5000);
            pid_ = -1;
        }
        in_.Reset(-1);
        out_.Reset(-1);
    }

    const std::string& PortLine() const noexcept { return port_; }

private:
    std::string ReadLine(int deadlineMs)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs);
        for (;;) {
            if (const std::size_t end = buffer_.find('\n'); end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
            pollfd p{out_.Get(), POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0)
                return {};
            char chunk[256];
            const ssize_t n = ::read(out_.Get(), chunk, sizeof chunk);
            if (n <= 0)
                return {};
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    pid_t pid_ = -1;
    TUniqueFd in_, out_;
    std::string buffer_, port_;
};

} // namespace fk::test
