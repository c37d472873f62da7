#include "app/KeyTracker.h"

#include <Qt>

namespace fk {

TKeyAction TKeyTracker::KeyUp(int key, bool modifiers, std::int64_t timeMs, int doubleClickMs) noexcept
{
    if (key != pressed_)
        return kaNone;
    TKeyAction action = kaNone;
    switch (key) {
    case Qt::Key_Escape:
        if (!modifiers && released_ == Qt::Key_Escape && releasedPlain_ && timeMs - releasedAt_ <= doubleClickMs)
            action = kaDisconnect;
        break;
    case Qt::Key_A:
        action = modifiers ? kaNone : kaAbout;
        break;
    case Qt::Key_P:
        action = modifiers ? kaNone : kaPreferences;
        break;
    case Qt::Key_S:
        action = modifiers ? kaNone : kaWiring;
        break;
    case Qt::Key_F1:
        action = kaManual;
        break;
    default:
        break;
    }
    // A completed pair does not start the next one: a third Esc needs a fourth.
    released_ = action == kaDisconnect ? 0 : key;
    releasedPlain_ = !modifiers;
    releasedAt_ = timeMs;
    return action;
}

void TKeyTracker::Forget() noexcept
{
    pressed_ = 0;
    released_ = 0;
    releasedPlain_ = false;
    releasedAt_ = 0;
}

} // namespace fk
