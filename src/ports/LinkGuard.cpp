#include "ports/LinkGuard.h"

namespace fk {

TLinkGuard::TLinkGuard(std::shared_ptr<TCommLink> link)
    : link_(std::move(link))
{
    link_->Lock();
}

TLinkGuard::~TLinkGuard() { link_->Unlock(); }

} // namespace fk
