#pragma once
// TWakeUp: an eventfd that a blocked poll watches, so another thread can wake it.
#include "ports/UniqueFd.h"

namespace fk {

class TWakeUp {
public:
    TWakeUp() noexcept;

    bool Valid() const noexcept { return fd_.Valid(); }
    int Fd() const noexcept { return fd_.Get(); }
    // Makes the descriptor readable until the next Drain.
    void Signal() const noexcept;
    void Drain() const noexcept;

private:
    TUniqueFd fd_;
};

} // namespace fk
