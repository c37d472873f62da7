#pragma once
// A second process that holds a serial device as our ports hold one (opened, flock, TIOCEXCL),
// under a command name of the test's choosing (ModemManager, ferrovan, ...), until it goes.
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace fk::test {

class PortHoldingProcess {
public:
    PortHoldingProcess(const std::string& device, const char* name)
    {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::prctl(PR_SET_NAME, name);
            const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0)
                ::_exit(2);
            ::ioctl(fd, TIOCEXCL);
            (void)!::write(ready[1], "r", 1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char c = 0;
        held_ = pid_ > 0 && ::read(ready[0], &c, 1) == 1;
        ::close(ready[0]);
    }
    ~PortHoldingProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    PortHoldingProcess(const PortHoldingProcess&) = delete;
    PortHoldingProcess& operator=(const PortHoldingProcess&) = delete;

    bool Held() const { return held_; }
    int Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    bool held_ = false;
};

} // namespace fk::test
