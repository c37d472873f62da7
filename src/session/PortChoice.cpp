#include "session/PortChoice.h"

namespace fk {

int TPortChoice::Find(const String& name) const
{
    for (std::size_t i = 0; i < list_.size(); ++i)
        if (list_[i].PortName == name)
            return static_cast<int>(i);
    return -1;
}

void TPortChoice::ForgetStale()
{
    if (itemIndex_ < 0)
        return;
    if (!connectedPort_.empty() && Find(connectedPort_) < 0)
        connectedPort_.clear();
    if (!currentPort_.empty() && Find(currentPort_) < 0)
        currentPort_.clear();
}

} // namespace fk
