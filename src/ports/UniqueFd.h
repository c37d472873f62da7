#pragma once
// An owned file descriptor: closed when the owner goes away or takes another one.
#include <unistd.h>

#include <utility>

namespace fk {

class TUniqueFd {
public:
    TUniqueFd() noexcept = default;
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

    void Reset(int fd = -1) noexcept
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

} // namespace fk
