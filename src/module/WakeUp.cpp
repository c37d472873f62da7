#include "module/WakeUp.h"

#include <cstdint>
#include <sys/eventfd.h>

namespace fk {

TWakeUp::TWakeUp() noexcept
    : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

void TWakeUp::Signal() const noexcept
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd_.Get(), &one, sizeof(one));
}

void TWakeUp::Drain() const noexcept
{
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd_.Get(), &count, sizeof(count));
}

} // namespace fk
