#pragma once
// TLinkGuard: holds a TCommLink's lock for one scope.
#include "ports/CommLink.h"

#include <memory>

namespace fk {

class TLinkGuard {
public:
    explicit TLinkGuard(std::shared_ptr<TCommLink> link);
    ~TLinkGuard();
    TLinkGuard(const TLinkGuard&) = delete;
    TLinkGuard& operator=(const TLinkGuard&) = delete;
    TCommLink* Link() const noexcept { return link_.get(); }

private:
    std::shared_ptr<TCommLink> link_;
};

} // namespace fk
