#pragma once
// TUniqueFd: owns one file descriptor and closes it when it goes.
#include <unistd.h>
#include <utility>

namespace fk {

class TUniqueFd {
public:
    TUniqueFd() = default;
    explicit TUniqueFd(int fd) noexcept : fd_(fd) {}
    ~TUniqueFd() { Reset(); }
    TUniqueFd(TUniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    TUniqueFd& operator=(TUniqueFd&& other) noexcept
    {
        if (this != &other)
            Reset(std::exchange(other.fd_, -1));
        return *this;
    }
    TUniqueFd(const TUniqueFd&) = delete;
    TUniqueFd& operator=(const TUniqueFd&) = delete;

    int Get() const noexcept { return fd_; }
    bool Valid() const noexcept { return fd_ >= 0; }
    int Release() noexcept { return std::exchange(fd_, -1); }
    // Closes the descriptor held (if any) and takes `fd`; returns the result of close().
    int Reset(int fd = -1) noexcept
    {
        int r = 0;
        if (fd_ >= 0)
            r = ::close(fd_);
        fd_ = fd;
        return r;
    }

private:
    int fd_ = -1;
};

} // namespace fk
