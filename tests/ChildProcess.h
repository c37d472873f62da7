#pragma once
// Waits for a forked child with a deadline: its wait status, or -1 when it had not ended by
// then (it is killed, so a hang fails the test instead of stopping the run).
#include <csignal>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fk::test {

inline int WaitChild(pid_t child, int deadlineMs)
{
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    bool ended = false;
    if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        ended = ::poll(&p, 1, deadlineMs) == 1;
        ::close(pidfd);
    }
    if (!ended)
        ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    return ended ? status : -1;
}

} // namespace fk::test
